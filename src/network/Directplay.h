// The network engine: the session, the players table, the phase protocol and the game messages.
//
// Game messages (little-endian, one buffer each, type byte first):
//   0  0x00 | int32 number | zero-terminated text   -> OnTextMessage(sender, text, number)
//         (a chat line: network/Chat.h says which texts are refused, and at what pace)
//   1  0x01 | 104 x TerritoryInfo (2912 bytes)      -> OnTerritories(sender, table)
//   2  0x02 | int32 number                          -> OnValueMessage(sender, number)
//   3  0x03 | uint8 value                           -> OnByteMessage(sender, value)
//   4..7  the campaign's state, orders, report and end (campaign/Campaignmessages.h)
//                                   -> OnCampaignState, OnOrders, OnReport, OnGameEnd
//   8..10 the campaign's seats: who plays which nation, a player's own seat token, and an
//         entry of the history for a player coming back     -> OnSeating, OnSeat, OnHistory
// Anything shorter than its layout, and any other type, is dropped. Types 1, 3, 4 and 6 to 10
// change a player's game, so only the current host may send them; from anyone else they are
// dropped and counted (TrustStats). Orders (5) come from every player; the host checks them.
//
// A running campaign's seats: once it runs, the session is closed to newcomers but answers
// searches (EnumeratedParty::running, with the year), and admits a player only with the token
// of a seat the host's computer holds, shown as the join's secret: 8 bytes of token and the
// nation's byte. The host checks it against the seat's lock (campaign/Seatlock.h) and tells its
// screen (OnSeatClaimed).
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "campaign/Campaignmessages.h"
#include "network/Chat.h"
#include "network/Playerinfo.h"
#include "platform/PeerSession.h"

namespace torvane {

struct SavedGame;

// The version every host announces before its game name, and the only one the browser joins.
inline constexpr const char* kProtocolVersionText = "3.00a";
inline constexpr size_t kMaxGameNameLength = 58;  // keeps the whole session name on the wire

struct HostAddress {
    uint32_t ipv4 = 0;  // host byte order
    uint16_t port = 0;
    bool operator==(const HostAddress&) const = default;
};

struct EnumeratedParty {
    std::string gameName;  // Windows-1252
    int32_t currentPlayers = 0;
    int32_t latency = 0;
    std::string version;  // Windows-1252
    HostAddress hostAddress;
    uint64_t session = 0;  // the game's session id
    bool running = false;  // its campaign runs: only a player with a seat token may join
    int32_t year = 0;      // the campaign's year, when running
};

// What a running game's host publishes in its search answers.
inline constexpr uint32_t kRunningGameInfo = 0x80000000u;
uint32_t RunningGameInfo(int32_t year);
bool ReadRunningGameInfo(uint32_t info, int32_t& year);

// Splits a session name at its first blank into version and game name; without a blank the
// whole name is the version. Control characters are replaced and both parts are capped.
void SplitSessionName(const std::string& sessionName, std::string& version, std::string& gameName);

// Decodes one received game message; false (nothing set) when it is not a complete, known
// message.
struct GameMessage {
    uint8_t type = 0;
    int32_t number = 0;
    uint8_t value = 0;
    std::string text;
    TerritoryTable table{};
    StateMessage state;
    OrdersMessage orders;
    PhaseReport report;
    Seating seating{};
    int8_t nation = -1;
    uint64_t token = 0;
    HistoryEntry entry;
};
bool DecodeGameMessage(std::span<const uint8_t> bytes, GameMessage& out);

class Listener {
  public:
    virtual ~Listener() = default;
    virtual void OnPlayerJoined(const std::string& name) = 0;
    virtual void OnPlayerLost(const std::string& name) = 0;
    virtual void OnPlayerRemoved(const std::string& name) = 0;
    virtual void OnTextMessage(int32_t senderId, const std::string& text, int32_t number) = 0;
    // Tables and objectives reach a listener only when their sender was the host on arrival.
    virtual void OnTerritories(int32_t senderId, const TerritoryTable& table) = 0;
    virtual void OnValueMessage(int32_t senderId, int32_t number) = 0;
    virtual void OnByteMessage(int32_t senderId, uint8_t value) = 0;
    virtual void OnSessionTerminated() = 0;
    // The campaign's messages; a screen that plays no campaign ignores them. The state, the
    // report and the end reach a listener only from the host, like the tables.
    virtual void OnCampaignState(int32_t senderId, const StateMessage& message) {}
    virtual void OnOrders(int32_t senderId, const OrdersMessage& message) {}
    virtual void OnReport(int32_t senderId, const PhaseReport& report) {}
    virtual void OnGameEnd(int32_t senderId, uint8_t winners) {}
    // The campaign's seats, from the host like the state.
    virtual void OnSeating(int32_t senderId, const Seating& seating) {}
    virtual void OnSeat(int32_t senderId, int8_t nation, uint64_t token) {}
    virtual void OnHistory(int32_t senderId, const HistoryEntry& entry) {}
    // The host only: `playerId` was admitted with the token of `nation`'s seat.
    virtual void OnSeatClaimed(int32_t playerId, int8_t nation) {}
};

// What the engine refused from other players so far; the counters only grow.
struct TrustStats {
    // Tables, objectives, states, reports and ends whose sender was not the host when they
    // arrived.
    uint64_t refusedHostMessages = 0;
    // Joins of a running game without a valid seat token (none, a wrong one, or a seat the
    // computer does not hold).
    uint64_t refusedSeatClaims = 0;
    // Players dropped as lost because their messages outran their queue budget.
    uint64_t floodingPeersDropped = 0;
    // Of those, hosts whose tables and objectives outran their queue budget.
    uint64_t hostMessagesOverBudget = 0;
    // Text messages that were no chat line (too long, empty, control characters).
    uint64_t refusedChatLines = 0;
    // Chat lines of a sender talking faster than the pace allows.
    uint64_t droppedChatLines = 0;
};

class DirectPlay {
  public:
    // The listener queue holds, besides the roster events (never dropped) and what the local
    // player sends itself (never dropped either), at most this many of the host's tables and
    // objectives, and this many text and value messages per other player. A player beyond its
    // budget is flooding: its queued messages go and it is dropped as lost.
    static constexpr size_t kHostMessageBudget = 1024;
    static constexpr size_t kChatterBudget = 256;
    // Events handed to the listener by one DeliverEvents call; the rest waits for the next frame.
    static constexpr int kMaxEventsPerDelivery = 64;

    explicit DirectPlay(const std::string& playerName);
    // Tests and tools choose ports and time-outs.
    DirectPlay(const std::string& playerName, const platform::PeerOptions& options);
    ~DirectPlay();
    DirectPlay(const DirectPlay&) = delete;
    DirectPlay& operator=(const DirectPlay&) = delete;

    // `sessionId` 0 gives the game a new id; a saved game taken up again keeps its own.
    bool HostGame(const std::string& gameName, uint64_t sessionId = 0);
    // The saved game this host takes up again, from the browser to the lobby and the game
    // (null for a new game).
    void SetResumedGame(std::shared_ptr<const SavedGame> game) { resumed_ = std::move(game); }
    const SavedGame* ResumedGame() const { return resumed_.get(); }
    // The last seating the host sent (a game taken up again tells its saved seats in the lobby);
    // false before any.
    bool CopyHostSeating(Seating& out) const;
    void EnumerateGames(const std::string& hostName);
    int PartyCount() const;
    const EnumeratedParty* GetParty(int index) const;
    void ClearParties();
    // With a seat token, joins a running game to play `nation` again.
    bool JoinGame(const HostAddress& hostAddress, uint64_t seatToken = 0, int8_t seatNation = -1);
    // This player came back to a running game with its seat token.
    bool Rejoined() const { return rejoined_; }
    // The session's id, the same for every player of one game (0 outside one).
    uint64_t SessionId() const;
    const std::string& PlayerName() const { return playerName_; }
    // The host of a running campaign: the seats' locks, the nations a player may come back to
    // (their seats' tokens open them) and the year the searches show. Closing them ends both.
    void OpenSeats(const std::array<uint64_t, NationCount>& locks, uint8_t open, int32_t year);
    void CloseSeats();
    void StopAcceptingPlayers();
    // A start that was refused leaves the lobby open to newcomers again.
    void ResumeAcceptingPlayers();
    bool IsHost() const;
    // The TCP port this player listens on (the one others join a host at), 0 outside a session.
    uint16_t ListenPort() const;

    int PlayerCount() const;
    bool CopyPlayer(int32_t playerId, PlayerInfo& out) const;
    bool CopyPlayerAt(uint8_t index, PlayerInfo& out) const;
    int32_t GetLatency(int32_t playerId) const;
    bool PublishLocalPlayer(const PlayerInfo& record);

    void SendTerritoryTable(const TerritoryTable& table);
    // A text message (type 0) to one player or to all (platform::kAllPlayers, the sender
    // included); false for a text with a zero byte or longer than kMaxTextMessage. Receivers
    // take only chat lines (IsValidChatLine).
    static constexpr size_t kMaxTextMessage = kMaxChatLine;
    bool SendText(int32_t playerId, int32_t number, const std::string& text);
    // A chat line to everybody (this player's own screen hears it back like the others): refused
    // when it is no chat line, and held back when this player already said kChatBurst lines in
    // the last kChatWindowSeconds.
    enum class ChatSend { Sent, Refused, TooFast, NoSession };
    ChatSend SendChat(const std::string& line);
    // The conversation as the screens show it: the lobby's lines stay on the game screen. Only
    // the main thread (the screens) touches it.
    ChatLog& Conversation() { return conversation_; }
    void SendObjective(int32_t playerId, uint8_t value);
    // A value message (type 2) to one player.
    void SendValue(int32_t playerId, int32_t number);
    // The campaign: the host's state, report and end go to everybody (the host included), a
    // player's orders to the host.
    void SendState(uint32_t status, const CampaignState& state,
                   const GeneratorState& generator = {});
    void SendOrders(uint32_t status, int8_t nation, std::span<const Order> orders);
    void SendReport(const PhaseReport& report);
    void SendEnd(uint8_t winners);
    // The seats to everybody; a player's own token, and what it missed, to that player alone.
    void SendSeating(const Seating& seating);
    void SendSeat(int32_t playerId, int8_t nation, uint64_t token);
    void SendHistory(int32_t playerId, const HistoryEntry& entry);
    void SendReport(int32_t playerId, const PhaseReport& report);
    void SendState(int32_t playerId, uint32_t status, const CampaignState& state,
                   const GeneratorState& generator);

    // The phase protocol reads the host's record: while it is missing (the host is changing
    // hands) nobody follows it, nor changes its ready mark, nor counts as all ready.
    uint32_t LocalStatus() const;
    bool FollowHostPhase();
    void SetReady();
    void ClearReady();
    bool AllReady() const;
    // False, with nothing published, unless this player is the host and everybody was ready.
    bool AdvancePhase();
    // The host moves on whoever is not ready yet (the phase clock ran out): false, with nothing
    // published, unless this player is the host.
    bool ForceAdvancePhase();
    // The host of a game taken up again moves the session to the saved status (even, later
    // than its own) at once; false, with nothing published, otherwise.
    bool JumpToPhase(uint32_t status);

    int32_t LocalPlayerId() const { return localPlayerId_.load(); }
    int32_t HostPlayerId() const { return hostPlayerId_.load(); }

    // Listener events are queued on the network thread and delivered on the main thread.
    void SetListener(Listener* listener);
    void ClearListener(Listener* listener);
    void DeliverEvents();

    // What the session refused so far (diagnostics and tests); zeros without a session.
    platform::PeerStats SessionStats() const;
    // The links to the other players: own connections and pairs relayed by the host.
    platform::PeerLinks SessionLinks() const;
    // The address friends type to reach this game from the internet, when the router forwards
    // the game's ports (host byte order), else 0.
    uint32_t PublicAddress() const;
    // Ends the connection to a player that has no place in the game; it is seen as lost.
    void DropPlayer(int32_t playerId);
    // Test hook: the connection to `playerId` goes silent both ways, as behind a firewall.
    void SeverLinkForTest(int32_t playerId);
    // What the engine refused from other players so far.
    TrustStats Trust() const;
    // Events waiting for the listener (diagnostics and tests).
    size_t QueuedEventCount() const;

  private:
    class Handler;
    friend class Handler;
    // Tests replay session events in an order the network thread can produce them.
    friend struct DirectPlayTestAccess;

    // What a queued event is, for the queue's budgets.
    enum class EventKind : uint8_t {
        Roster,    // joined, lost, removed, session ended: never dropped
        HostGame,  // the host's table or objective
        Chatter,   // text and value messages
    };
    struct QueuedEvent {
        int32_t senderId = 0;  // 0 for the engine's own roster events
        EventKind kind = EventKind::Roster;
        std::function<void(Listener&)> deliver;
    };
    enum class QueueResult { Queued, Dropped, Flooding };

    void Create(const platform::PeerOptions& options);
    void UpdatePlayer(int32_t playerId);
    void DestroyPlayer(int32_t playerId, platform::DestroyReason reason);
    void Receive(int32_t senderId, std::span<const uint8_t> bytes);
    void QueueRoster(std::function<void(Listener&)> event);
    QueueResult Queue(int32_t senderId, EventKind kind, std::function<void(Listener&)> event);
    // Under listenerLock_.
    void Forget(const QueuedEvent& event);
    void ForgetQueue();

    const std::string playerName_;
    std::unique_ptr<Handler> handler_;
    std::unique_ptr<platform::PeerSession> peer_;
    std::atomic<bool> acceptingPlayers_{true};

    mutable std::mutex partiesLock_;
    std::vector<std::unique_ptr<EnumeratedParty>> parties_;

    mutable std::mutex playersLock_;
    std::optional<std::vector<PlayerInfo>> players_;  // empty once the engine is going away

    mutable std::mutex listenerLock_;
    Listener* listener_ = nullptr;
    // Set between a listener leaving and the next one registering: events are kept for it.
    bool handOver_ = false;
    std::deque<QueuedEvent> events_;
    size_t queuedHostMessages_ = 0;
    std::map<int32_t, size_t> queuedChatter_;  // per sender
    // Players dropped for flooding; what they still send before the drop takes effect is
    // ignored. Ids are never reused within a session.
    std::vector<int32_t> flooders_;
    TrustStats trust_;

    // The pace of every sender's chat lines as they arrive (network thread), and of this
    // player's own (main thread).
    std::mutex chatLock_;
    ChatPace arrivalPace_{kChatBurst, kChatWindowSeconds - kChatArrivalSlack};
    ChatPace sendPace_;
    ChatLog conversation_;

    // The running campaign's seats (host), read on the session's thread.
    bool AdmitToSeat(std::span<const uint8_t> secret);
    void SeatAdmitted(int32_t playerId);
    mutable std::mutex seatsLock_;
    bool seatsOpen_ = false;
    std::array<uint64_t, NationCount> seatLocks_{};
    uint8_t openSeats_ = 0;
    std::array<std::chrono::steady_clock::time_point, NationCount> seatReserved_{};
    int8_t admittedSeat_ = -1;  // the seat of the joiner being admitted
    std::atomic<bool> rejoined_{false};
    std::shared_ptr<const SavedGame> resumed_;
    std::optional<Seating> hostSeating_;  // under listenerLock_

    std::atomic<int32_t> localPlayerId_{0};
    std::atomic<int32_t> hostPlayerId_{0};
};

}  // namespace torvane
