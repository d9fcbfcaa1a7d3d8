// The network engine: the session, the players table, the phase protocol and the game messages.
#include "network/Directplay.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "campaign/Seatlock.h"
#include "platform/Cp1252.h"
#include "platform/MessageBox.h"

namespace torvane {
namespace {

constexpr uint8_t kTextMessage = 0;
constexpr uint8_t kTerritoryMessage = 1;
constexpr uint8_t kValueMessage = 2;
constexpr uint8_t kByteMessage = 3;
constexpr size_t kMaxVersionLength = 16;
constexpr size_t kMaxPartyNameLength = 64;

// Seconds on a clock that never goes back, for the pace of the chat.
double SecondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::u16string ToWide(const std::string& text) {
    std::u16string wide;
    wide.reserve(text.size());
    for (char c : text) {
        wide.push_back(static_cast<char16_t>(platform::Cp1252ToCodePoint(static_cast<uint8_t>(c))));
    }
    return wide;
}

std::string FromWide(const std::u16string& wide) {
    std::string text;
    text.reserve(wide.size());
    for (char16_t unit : wide) {
        // A lone surrogate half has no Windows-1252 form either; both read as '?'.
        const bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
        text.push_back(surrogate ? '?' : platform::CodePointToCp1252(unit));
    }
    return text;
}

int32_t ReadInt32(const uint8_t* bytes) {
    return static_cast<int32_t>(
        static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
        (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24));
}

}  // namespace

void SplitSessionName(const std::string& sessionName, std::string& version, std::string& gameName) {
    std::string clean = sessionName;
    // Text from another machine is drawn on screen: no control characters get through.
    for (char& c : clean) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '?';
    }
    const size_t blank = clean.find(' ');
    if (blank == std::string::npos) {
        version = clean.substr(0, kMaxVersionLength);
        gameName.clear();
        return;
    }
    version = clean.substr(0, std::min(blank, kMaxVersionLength));
    gameName = clean.substr(blank + 1, kMaxPartyNameLength);
}

bool DecodeGameMessage(std::span<const uint8_t> bytes, GameMessage& out) {
    if (bytes.empty())
        return false;
    switch (bytes[0]) {
        case kTextMessage: {
            if (bytes.size() < 6)
                return false;
            const auto text = bytes.subspan(5);
            const auto end = std::find(text.begin(), text.end(), uint8_t{0});
            if (end == text.end())
                return false;
            out.type = kTextMessage;
            out.number = ReadInt32(bytes.data() + 1);
            out.text.assign(text.begin(), end);
            return true;
        }
        case kTerritoryMessage:
            if (bytes.size() < 1 + kTerritoryTableSize)
                return false;
            out.type = kTerritoryMessage;
            return DecodeTable(bytes.subspan(1, kTerritoryTableSize), out.table);
        case kValueMessage:
            if (bytes.size() < 5)
                return false;
            out.type = kValueMessage;
            out.number = ReadInt32(bytes.data() + 1);
            return true;
        case kByteMessage:
            if (bytes.size() < 2)
                return false;
            out.type = kByteMessage;
            out.value = bytes[1];
            return true;
        case kStateMessage:
            out.type = kStateMessage;
            return DecodeState(bytes, out.state);
        case kOrdersMessage:
            out.type = kOrdersMessage;
            return DecodeOrders(bytes, out.orders);
        case kReportMessage:
            out.type = kReportMessage;
            return DecodeReport(bytes, out.report);
        case kEndMessage:
            out.type = kEndMessage;
            return DecodeEnd(bytes, out.value);
        case kSeatingMessage:
            out.type = kSeatingMessage;
            return DecodeSeating(bytes, out.seating);
        case kSeatMessage:
            out.type = kSeatMessage;
            return DecodeSeat(bytes, out.nation, out.token);
        case kHistoryMessage:
            out.type = kHistoryMessage;
            return DecodeHistoryEntry(bytes, out.entry);
        default:
            return false;
    }
}

// Receives the session's events on its thread and hands them to the engine.
class DirectPlay::Handler final : public platform::PeerHandler {
  public:
    explicit Handler(DirectPlay& engine) : engine_(engine) {}

    bool OnEnumQuery() override {
        if (engine_.acceptingPlayers_.load())
            return true;
        std::lock_guard lock(engine_.seatsLock_);
        return engine_.seatsOpen_;
    }
    bool OnIndicateConnect(std::span<const uint8_t> secret) override {
        // The lobby takes anybody; a running game only a player with its seat's token.
        if (engine_.acceptingPlayers_.load())
            return true;
        return engine_.AdmitToSeat(secret);
    }

    void OnEnumResponse(const platform::SessionAnswer& answer) override {
        auto party = std::make_unique<EnumeratedParty>();
        SplitSessionName(FromWide(answer.sessionName), party->version, party->gameName);
        party->currentPlayers = answer.currentPlayers;
        party->latency = answer.latency;
        party->hostAddress = {answer.address.ipv4, answer.address.port};
        party->session = answer.session;
        party->running = ReadRunningGameInfo(answer.info, party->year);
        std::lock_guard lock(engine_.partiesLock_);
        engine_.parties_.push_back(std::move(party));
    }

    void OnCreatePlayer(int32_t playerId) override {
        engine_.UpdatePlayer(playerId);
        engine_.SeatAdmitted(playerId);
    }
    void OnPeerInfo(int32_t playerId) override { engine_.UpdatePlayer(playerId); }
    void OnDestroyPlayer(int32_t playerId, platform::DestroyReason reason) override {
        engine_.DestroyPlayer(playerId, reason);
    }
    void OnHostMigrate(int32_t newHostId) override { engine_.hostPlayerId_ = newHostId; }
    void OnReceive(int32_t senderId, std::span<const uint8_t> bytes) override {
        engine_.Receive(senderId, bytes);
    }
    void OnTerminateSession() override {
        engine_.QueueRoster([](Listener& listener) { listener.OnSessionTerminated(); });
    }

  private:
    DirectPlay& engine_;
};

DirectPlay::DirectPlay(const std::string& playerName)
    : DirectPlay(playerName, platform::PeerOptionsFromEnvironment()) {}

DirectPlay::DirectPlay(const std::string& playerName, const platform::PeerOptions& options)
    : playerName_(playerName), handler_(std::make_unique<Handler>(*this)) {
    players_.emplace();
    Create(options);
}

void DirectPlay::Create(const platform::PeerOptions& options) {
    peer_ = platform::PeerSession::Create(*handler_, options);
    if (!peer_) {
        platform::ShowErrorBox("Impossible d'initialiser DirectPlay 8.");
        return;
    }
    PlayerInfo record;
    record.SetName(playerName_);
    PublishLocalPlayer(record);
}

DirectPlay::~DirectPlay() {
    ClearParties();
    {
        std::lock_guard lock(listenerLock_);
        listener_ = nullptr;
        handOver_ = false;
        ForgetQueue();
    }
    {
        std::lock_guard lock(playersLock_);
        players_.reset();
    }
    // Leaving says goodbye to every peer; what the session still reports finds no table.
    if (peer_)
        peer_->Close();
    peer_.reset();
}

bool DirectPlay::HostGame(const std::string& gameName, uint64_t sessionId) {
    const std::string name =
        (gameName.empty() ? playerName_ : gameName).substr(0, kMaxGameNameLength);
    ClearParties();
    if (!peer_) {
        platform::ShowErrorBox("Impossible de créer une partie.");
        return false;
    }
    const std::string sessionName = std::string(kProtocolVersionText) + " " + name;
    switch (peer_->Host(ToWide(sessionName), platform::kMaxSessionPlayers,
                        platform::kSessionMigrateHost, sessionId)) {
        case platform::PeerResult::Ok:
            return true;
        case platform::PeerResult::AddressFailed:
            platform::ShowErrorBox("Impossible de créer une adresse réseau.");
            return false;
        case platform::PeerResult::ProtocolFailed:
            platform::ShowErrorBox("Impossible d'initialiser les protocoles TCP/IP.");
            return false;
        default:
            platform::ShowErrorBox("Impossible de créer une partie.");
            return false;
    }
}

void DirectPlay::EnumerateGames(const std::string& hostName) {
    ClearParties();
    if (!peer_) {
        platform::ShowErrorBox("Impossible d'énumérer les parties.");
        return;
    }
    switch (peer_->EnumHosts(hostName)) {
        case platform::PeerResult::Ok:
            return;
        case platform::PeerResult::ProtocolFailed:
            platform::ShowErrorBox("Impossible d'initialiser les protocoles TCP/IP.");
            return;
        default:
            ClearParties();
            platform::ShowErrorBox("Impossible d'énumérer les parties.");
            return;
    }
}

int DirectPlay::PartyCount() const {
    std::lock_guard lock(partiesLock_);
    return static_cast<int>(parties_.size());
}

const EnumeratedParty* DirectPlay::GetParty(int index) const {
    std::lock_guard lock(partiesLock_);
    if (index < 0 || index >= static_cast<int>(parties_.size()))
        return nullptr;
    return parties_[static_cast<size_t>(index)].get();
}

void DirectPlay::ClearParties() {
    std::lock_guard lock(partiesLock_);
    parties_.clear();
}

bool DirectPlay::JoinGame(const HostAddress& hostAddress, uint64_t seatToken, int8_t seatNation) {
    if (!peer_)
        return false;
    std::array<uint8_t, 9> secret{};
    const bool seat = seatToken != 0;
    if (seat) {
        if (seatNation < 0 || seatNation >= NationCount)
            return false;
        for (size_t i = 0; i < 8; ++i)
            secret[i] = static_cast<uint8_t>(seatToken >> (8 * i));
        secret[8] = static_cast<uint8_t>(seatNation);
    }
    {
        // What the game screen is sent as soon as it is in must wait for it.
        std::lock_guard lock(listenerLock_);
        if (seat && !listener_)
            handOver_ = true;
    }
    const auto result =
        peer_->Connect({hostAddress.ipv4, hostAddress.port},
                       seat ? std::span<const uint8_t>(secret) : std::span<const uint8_t>());
    if (result != platform::PeerResult::Ok) {
        std::lock_guard lock(listenerLock_);
        if (!listener_) {
            handOver_ = false;
            ForgetQueue();
        }
        return false;
    }
    rejoined_ = seat;
    if (seat)
        acceptingPlayers_ = false;
    ClearParties();
    return true;
}

uint64_t DirectPlay::SessionId() const {
    return peer_ ? peer_->SessionId() : 0;
}

uint32_t RunningGameInfo(int32_t year) {
    return kRunningGameInfo | static_cast<uint32_t>(std::clamp(year, 0, 0xFFFF));
}

bool ReadRunningGameInfo(uint32_t info, int32_t& year) {
    year = 0;
    if ((info & kRunningGameInfo) == 0)
        return false;
    year = static_cast<int32_t>(info & 0xFFFF);
    return true;
}

void DirectPlay::OpenSeats(const std::array<uint64_t, NationCount>& locks, uint8_t open,
                           int32_t year) {
    {
        std::lock_guard lock(seatsLock_);
        seatsOpen_ = true;
        seatLocks_ = locks;
        openSeats_ = open;
    }
    if (peer_)
        peer_->SetAnswerInfo(RunningGameInfo(year));
}

void DirectPlay::CloseSeats() {
    {
        std::lock_guard lock(seatsLock_);
        seatsOpen_ = false;
        openSeats_ = 0;
        admittedSeat_ = -1;
    }
    if (peer_)
        peer_->SetAnswerInfo(0);
}

// On the session's thread, before the joiner gets an id: the seat is held for it a while, so
// that two joins with one token cannot both get in.
bool DirectPlay::AdmitToSeat(std::span<const uint8_t> secret) {
    const auto now = std::chrono::steady_clock::now();
    bool admitted = false;
    {
        std::lock_guard lock(seatsLock_);
        if (seatsOpen_ && secret.size() == 9 && secret[8] < NationCount && peer_) {
            uint64_t token = 0;
            for (size_t i = 0; i < 8; ++i)
                token |= static_cast<uint64_t>(secret[i]) << (8 * i);
            const int nation = secret[8];
            const auto n = static_cast<size_t>(nation);
            admitted = token != 0 && ((openSeats_ >> nation) & 1) != 0 && seatLocks_[n] != 0 &&
                       now >= seatReserved_[n] &&
                       SeatLock(peer_->SessionId(), nation, token) == seatLocks_[n];
            if (admitted) {
                seatReserved_[n] = now + std::chrono::seconds(15);
                admittedSeat_ = static_cast<int8_t>(nation);
            }
        }
    }
    if (!admitted) {
        std::lock_guard lock(listenerLock_);
        ++trust_.refusedSeatClaims;
    }
    return admitted;
}

// The session creates the player it has just admitted right after admitting it.
void DirectPlay::SeatAdmitted(int32_t playerId) {
    int8_t nation = -1;
    {
        std::lock_guard lock(seatsLock_);
        std::swap(nation, admittedSeat_);
    }
    if (nation >= 0) {
        QueueRoster(
            [playerId, nation](Listener& listener) { listener.OnSeatClaimed(playerId, nation); });
    }
}

void DirectPlay::StopAcceptingPlayers() {
    acceptingPlayers_ = false;
}

void DirectPlay::ResumeAcceptingPlayers() {
    acceptingPlayers_ = true;
}

uint16_t DirectPlay::ListenPort() const {
    return peer_ ? peer_->ListenPort() : 0;
}

bool DirectPlay::IsHost() const {
    const int32_t local = localPlayerId_.load();
    return local != 0 && local == hostPlayerId_.load();
}

int DirectPlay::PlayerCount() const {
    std::lock_guard lock(playersLock_);
    return players_ ? static_cast<int>(players_->size()) : 0;
}

bool DirectPlay::CopyPlayer(int32_t playerId, PlayerInfo& out) const {
    std::lock_guard lock(playersLock_);
    if (!players_)
        return false;
    for (const PlayerInfo& record : *players_) {
        if (record.playerId == playerId) {
            out = record;
            return true;
        }
    }
    return false;
}

bool DirectPlay::CopyPlayerAt(uint8_t index, PlayerInfo& out) const {
    std::lock_guard lock(playersLock_);
    if (!players_ || index >= players_->size())
        return false;
    out = (*players_)[index];
    return true;
}

int32_t DirectPlay::GetLatency(int32_t playerId) const {
    if (!peer_)
        return -1;
    return peer_->GetLatency(playerId);
}

bool DirectPlay::PublishLocalPlayer(const PlayerInfo& record) {
    const auto bytes = EncodePlayer(record);
    if (!peer_ || !peer_->SetPeerInfo(bytes)) {
        platform::ShowErrorBox("Impossible de créer le joueur local.");
        return false;
    }
    return true;
}

void DirectPlay::SendTerritoryTable(const TerritoryTable& table) {
    if (!peer_)
        return;
    std::array<uint8_t, 1 + kTerritoryTableSize> buffer{};
    buffer[0] = kTerritoryMessage;
    EncodeTable(table, std::span(buffer).subspan<1, kTerritoryTableSize>());
    peer_->SendTo(platform::kAllPlayers, buffer);
}

bool DirectPlay::SendText(int32_t playerId, int32_t number, const std::string& text) {
    if (!peer_ || text.find('\0') != std::string::npos || text.size() > kMaxTextMessage)
        return false;
    std::vector<uint8_t> buffer(1 + 4 + text.size() + 1, 0);
    buffer[0] = kTextMessage;
    for (int i = 0; i < 4; ++i)
        buffer[1 + static_cast<size_t>(i)] =
            static_cast<uint8_t>(static_cast<uint32_t>(number) >> (8 * i));
    std::copy(text.begin(), text.end(), buffer.begin() + 5);
    return peer_->SendTo(playerId, buffer);
}

DirectPlay::ChatSend DirectPlay::SendChat(const std::string& line) {
    if (!peer_)
        return ChatSend::NoSession;
    if (!IsValidChatLine(line))
        return ChatSend::Refused;
    {
        std::lock_guard lock(chatLock_);
        if (!sendPace_.Allow(0, SecondsNow()))
            return ChatSend::TooFast;
    }
    return SendText(platform::kAllPlayers, 0, line) ? ChatSend::Sent : ChatSend::NoSession;
}

void DirectPlay::SendValue(int32_t playerId, int32_t number) {
    if (!peer_)
        return;
    std::array<uint8_t, 5> buffer{kValueMessage};
    for (int i = 0; i < 4; ++i)
        buffer[1 + static_cast<size_t>(i)] =
            static_cast<uint8_t>(static_cast<uint32_t>(number) >> (8 * i));
    peer_->SendTo(playerId, buffer);
}

void DirectPlay::SendObjective(int32_t playerId, uint8_t value) {
    if (!peer_)
        return;
    const std::array<uint8_t, 2> buffer = {kByteMessage, value};
    peer_->SendTo(playerId, buffer);
}

void DirectPlay::SendState(uint32_t status, const CampaignState& state,
                           const GeneratorState& generator) {
    if (peer_)
        peer_->SendTo(platform::kAllPlayers, EncodeState(status, state, generator));
}

void DirectPlay::SendState(int32_t playerId, uint32_t status, const CampaignState& state,
                           const GeneratorState& generator) {
    if (peer_)
        peer_->SendTo(playerId, EncodeState(status, state, generator));
}

void DirectPlay::SendSeating(const Seating& seating) {
    if (peer_)
        peer_->SendTo(platform::kAllPlayers, EncodeSeating(seating));
}

void DirectPlay::SendSeat(int32_t playerId, int8_t nation, uint64_t token) {
    if (peer_)
        peer_->SendTo(playerId, EncodeSeat(nation, token));
}

void DirectPlay::SendHistory(int32_t playerId, const HistoryEntry& entry) {
    if (peer_)
        peer_->SendTo(playerId, EncodeHistoryEntry(entry));
}

void DirectPlay::SendReport(int32_t playerId, const PhaseReport& report) {
    if (peer_)
        peer_->SendTo(playerId, EncodeReport(report));
}

void DirectPlay::SendOrders(uint32_t status, int8_t nation, std::span<const Order> orders) {
    if (peer_)
        peer_->SendTo(HostPlayerId(), EncodeOrders(status, nation, orders));
}

void DirectPlay::SendReport(const PhaseReport& report) {
    if (peer_)
        peer_->SendTo(platform::kAllPlayers, EncodeReport(report));
}

void DirectPlay::SendEnd(uint8_t winners) {
    if (peer_)
        peer_->SendTo(platform::kAllPlayers, EncodeEnd(winners));
}

uint32_t DirectPlay::LocalStatus() const {
    PlayerInfo local;
    return CopyPlayer(LocalPlayerId(), local) ? local.syncStatus : 0;
}

bool DirectPlay::FollowHostPhase() {
    PlayerInfo local, host;
    // While the host changes hands the old host's record is gone before the new host is known:
    // following that missing record would send this player back to the lobby's phase.
    if (!CopyPlayer(LocalPlayerId(), local) || !CopyPlayer(HostPlayerId(), host))
        return false;
    const uint32_t hostPhase = host.syncStatus & ~1u;
    // Once the host has left the lobby the game is under way: should this player become host
    // by migration, the session must stay closed to newcomers.
    if (hostPhase != 0)
        acceptingPlayers_ = false;
    if ((local.syncStatus & ~1u) == hostPhase)
        return false;
    local.syncStatus = hostPhase;
    PublishLocalPlayer(local);
    return true;
}

void DirectPlay::SetReady() {
    if (FollowHostPhase())
        return;
    // Without its own record the player would publish a blank one.
    PlayerInfo local;
    if (!CopyPlayer(LocalPlayerId(), local) || local.IsReady())
        return;
    local.syncStatus += 1;
    PublishLocalPlayer(local);
}

void DirectPlay::ClearReady() {
    if (FollowHostPhase())
        return;
    PlayerInfo local;
    if (!CopyPlayer(LocalPlayerId(), local) || !local.IsReady())
        return;
    local.syncStatus -= 1;
    PublishLocalPlayer(local);
}

bool DirectPlay::AllReady() const {
    PlayerInfo host;
    if (!CopyPlayer(HostPlayerId(), host) || !host.IsReady())
        return false;
    PlayerInfo record;
    for (unsigned index = 0; index <= 255 && CopyPlayerAt(static_cast<uint8_t>(index), record);
         ++index) {
        if ((record.syncStatus & ~1u) != (host.syncStatus & ~1u))
            return false;
        if ((record.syncStatus & 1u) != (host.syncStatus & 1u))
            return false;
    }
    return true;
}

bool DirectPlay::JumpToPhase(uint32_t status) {
    PlayerInfo host;
    if (!IsHost() || (status & 1u) != 0 || !CopyPlayer(HostPlayerId(), host) ||
        status <= host.syncStatus) {
        return false;
    }
    host.syncStatus = status;
    acceptingPlayers_ = false;
    return PublishLocalPlayer(host);
}

bool DirectPlay::CopyHostSeating(Seating& out) const {
    std::lock_guard lock(listenerLock_);
    if (!hostSeating_)
        return false;
    out = *hostSeating_;
    return true;
}

bool DirectPlay::AdvancePhase() {
    if (!IsHost() || !AllReady())
        return false;
    PlayerInfo host;
    if (!CopyPlayer(HostPlayerId(), host))
        return false;
    const uint32_t s = host.syncStatus;
    host.syncStatus = s + 2 - (s & 1u);
    acceptingPlayers_ = false;
    return PublishLocalPlayer(host);
}

bool DirectPlay::ForceAdvancePhase() {
    PlayerInfo host;
    if (!IsHost() || !CopyPlayer(HostPlayerId(), host))
        return false;
    const uint32_t s = host.syncStatus;
    host.syncStatus = s + 2 - (s & 1u);
    acceptingPlayers_ = false;
    return PublishLocalPlayer(host);
}

void DirectPlay::SetListener(Listener* listener) {
    std::lock_guard lock(listenerLock_);
    // A screen taking over from one that just left gets what arrived in between (the lobby
    // leaving for the game hands over the table and objective the host may already have sent);
    // any other new listener starts afresh.
    if (listener_ != listener && !handOver_)
        ForgetQueue();
    handOver_ = false;
    listener_ = listener;
}

void DirectPlay::ClearListener(Listener* listener) {
    std::lock_guard lock(listenerLock_);
    if (listener_ != listener)
        return;
    listener_ = nullptr;
    handOver_ = true;
}

void DirectPlay::DeliverEvents() {
    // Bounded, so that a burst of messages costs a few frames instead of one long one.
    for (int delivered = 0; delivered < kMaxEventsPerDelivery; ++delivered) {
        QueuedEvent event;
        Listener* listener = nullptr;
        {
            std::lock_guard lock(listenerLock_);
            if (!listener_ || events_.empty())
                return;
            event = std::move(events_.front());
            events_.pop_front();
            Forget(event);
            listener = listener_;
        }
        event.deliver(*listener);
    }
}

platform::PeerStats DirectPlay::SessionStats() const {
    return peer_ ? peer_->Stats() : platform::PeerStats{};
}

platform::PeerLinks DirectPlay::SessionLinks() const {
    return peer_ ? peer_->Links() : platform::PeerLinks{};
}

uint32_t DirectPlay::PublicAddress() const {
    return peer_ ? peer_->PublicAddress() : 0;
}

void DirectPlay::DropPlayer(int32_t playerId) {
    if (peer_)
        peer_->DropPlayer(playerId);
}

void DirectPlay::SeverLinkForTest(int32_t playerId) {
    if (peer_)
        peer_->SeverLink(playerId);
}

TrustStats DirectPlay::Trust() const {
    std::lock_guard lock(listenerLock_);
    return trust_;
}

size_t DirectPlay::QueuedEventCount() const {
    std::lock_guard lock(listenerLock_);
    return events_.size();
}

void DirectPlay::QueueRoster(std::function<void(Listener&)> event) {
    Queue(0, EventKind::Roster, std::move(event));
}

// No event is ever pushed out by another: each kind has its own bound. Roster events come only
// from the session's own bookkeeping (a few per player), the local player's messages are its own
// doing, and everything else another machine sends counts against that machine's budget.
DirectPlay::QueueResult DirectPlay::Queue(int32_t senderId, EventKind kind,
                                          std::function<void(Listener&)> event) {
    std::lock_guard lock(listenerLock_);
    if (!listener_ && !handOver_)
        return QueueResult::Dropped;  // nobody listens (the browser): the event is dropped
    const bool remote = senderId != 0 && senderId != localPlayerId_.load();
    if (kind == EventKind::HostGame) {
        if (remote && queuedHostMessages_ >= kHostMessageBudget) {
            // A host that outruns every screen floods like anybody else; what it said before
            // stays queued, in order.
            ++trust_.hostMessagesOverBudget;
            ++trust_.floodingPeersDropped;
            flooders_.push_back(senderId);
            return QueueResult::Flooding;
        }
        ++queuedHostMessages_;
    } else if (kind == EventKind::Chatter) {
        size_t& queued = queuedChatter_[senderId];
        if (remote && queued >= kChatterBudget) {
            // Nothing of it is worth keeping: its chatter goes, the rest of the queue stays.
            std::erase_if(events_, [&](const QueuedEvent& e) {
                return e.senderId == senderId && e.kind == EventKind::Chatter;
            });
            queuedChatter_.erase(senderId);
            flooders_.push_back(senderId);
            ++trust_.floodingPeersDropped;
            return QueueResult::Flooding;
        }
        ++queued;
    }
    events_.push_back({senderId, kind, std::move(event)});
    return QueueResult::Queued;
}

void DirectPlay::Forget(const QueuedEvent& event) {
    if (event.kind == EventKind::HostGame) {
        --queuedHostMessages_;
    } else if (event.kind == EventKind::Chatter) {
        auto queued = queuedChatter_.find(event.senderId);
        if (queued != queuedChatter_.end() && --queued->second == 0)
            queuedChatter_.erase(queued);
    }
}

void DirectPlay::ForgetQueue() {
    events_.clear();
    queuedHostMessages_ = 0;
    queuedChatter_.clear();
}

void DirectPlay::UpdatePlayer(int32_t playerId) {
    std::vector<uint8_t> data;
    uint32_t flags = 0;
    if (!peer_ || !peer_->GetPeerInfo(playerId, data, flags))
        return;
    std::string joinedName;
    bool joined = false;
    {
        std::lock_guard lock(playersLock_);
        if (!players_)
            return;
        auto record = std::find_if(players_->begin(), players_->end(),
                                   [&](const PlayerInfo& p) { return p.playerId == playerId; });
        PlayerInfo fresh;
        // Data of any other size is not a player record; an existing record keeps its last
        // good version.
        const bool valid = DecodePlayer(data, fresh);
        // The id is the one the session vouches for, whatever the sender wrote into it.
        fresh.playerId = playerId;
        if (record == players_->end()) {
            players_->push_back(fresh);
            joined = true;
            joinedName = fresh.Name();
        } else if (valid) {
            *record = fresh;
        }
        if (flags & platform::kPlayerLocal)
            localPlayerId_ = playerId;
        if (flags & platform::kPlayerHost)
            hostPlayerId_ = playerId;
    }
    if (joined) {
        QueueRoster([joinedName](Listener& listener) { listener.OnPlayerJoined(joinedName); });
    }
}

void DirectPlay::DestroyPlayer(int32_t playerId, platform::DestroyReason reason) {
    std::string name;
    {
        std::lock_guard lock(playersLock_);
        if (!players_)
            return;
        auto record = std::find_if(players_->begin(), players_->end(),
                                   [&](const PlayerInfo& p) { return p.playerId == playerId; });
        if (record == players_->end())
            return;
        name = record->Name();
        players_->erase(record);
    }
    if (name.empty())
        return;
    if (reason == platform::DestroyReason::ConnectionLost) {
        QueueRoster([name](Listener& listener) { listener.OnPlayerLost(name); });
    } else if (reason == platform::DestroyReason::HostDestroyedPlayer) {
        QueueRoster([name](Listener& listener) { listener.OnPlayerRemoved(name); });
    }
}

void DirectPlay::Receive(int32_t senderId, std::span<const uint8_t> bytes) {
    {
        std::lock_guard lock(listenerLock_);
        if (!listener_ && !handOver_)
            return;
        if (std::find(flooders_.begin(), flooders_.end(), senderId) != flooders_.end())
            return;
    }
    auto message = std::make_shared<GameMessage>();
    if (!DecodeGameMessage(bytes, *message))
        return;
    QueueResult result = QueueResult::Dropped;
    switch (message->type) {
        case kTextMessage: {
            std::lock_guard lock(chatLock_);
            if (!IsValidChatLine(message->text)) {
                std::lock_guard trustLock(listenerLock_);
                ++trust_.refusedChatLines;
                return;
            }
            if (!arrivalPace_.Allow(senderId, SecondsNow())) {
                std::lock_guard trustLock(listenerLock_);
                ++trust_.droppedChatLines;
                return;
            }
        }
            result = Queue(senderId, EventKind::Chatter, [senderId, message](Listener& listener) {
                listener.OnTextMessage(senderId, message->text, message->number);
            });
            break;
        case kValueMessage:
            result = Queue(senderId, EventKind::Chatter, [senderId, message](Listener& listener) {
                listener.OnValueMessage(senderId, message->number);
            });
            break;
        case kOrdersMessage:
            // Every player sends its orders; the host checks whose they are.
            result = Queue(senderId, EventKind::Chatter, [senderId, message](Listener& listener) {
                listener.OnOrders(senderId, message->orders);
            });
            break;
        case kTerritoryMessage:
        case kByteMessage:
        case kStateMessage:
        case kReportMessage:
        case kEndMessage:
        case kSeatingMessage:
        case kSeatMessage:
        case kHistoryMessage: {
            // The world, the objectives and the campaign's course are the host's to deal: the
            // host as known when the message arrives, on this thread, in order with the
            // session's migrations.
            if (senderId != hostPlayerId_.load()) {
                std::lock_guard lock(listenerLock_);
                ++trust_.refusedHostMessages;
                return;
            }
            std::function<void(Listener&)> deliver;
            switch (message->type) {
                case kTerritoryMessage:
                    deliver = [senderId, message](Listener& listener) {
                        listener.OnTerritories(senderId, message->table);
                    };
                    break;
                case kByteMessage:
                    deliver = [senderId, message](Listener& listener) {
                        listener.OnByteMessage(senderId, message->value);
                    };
                    break;
                case kStateMessage:
                    deliver = [senderId, message](Listener& listener) {
                        listener.OnCampaignState(senderId, message->state);
                    };
                    break;
                case kReportMessage:
                    deliver = [senderId, message](Listener& listener) {
                        listener.OnReport(senderId, message->report);
                    };
                    break;
                case kSeatingMessage: {
                    std::lock_guard lock(listenerLock_);
                    hostSeating_ = message->seating;
                }
                    deliver = [senderId, message](Listener& listener) {
                        listener.OnSeating(senderId, message->seating);
                    };
                    break;
                case kSeatMessage:
                    deliver = [senderId, message](Listener& listener) {
                        listener.OnSeat(senderId, message->nation, message->token);
                    };
                    break;
                case kHistoryMessage:
                    deliver = [senderId, message](Listener& listener) {
                        listener.OnHistory(senderId, message->entry);
                    };
                    break;
                default:
                    deliver = [senderId, message](Listener& listener) {
                        listener.OnGameEnd(senderId, message->value);
                    };
                    break;
            }
            result = Queue(senderId, EventKind::HostGame, std::move(deliver));
            break;
        }
        default:
            break;
    }
    // The session posts the drop to its own thread, so asking from inside its call is safe.
    if (result == QueueResult::Flooding && peer_)
        peer_->DropPlayer(senderId);
}

}  // namespace torvane
