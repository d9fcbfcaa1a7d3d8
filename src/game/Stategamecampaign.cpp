// The game screen's campaign: the flow of the year's statuses, the players' orders, the host's
// resolutions and the end of the game.
//
// Only the host resolves. In every status a player acts only once it holds the host's state for
// that status (the host sends it before it advances, but the state travels through the event
// queue while the phase is read from the players table, so the phase may be seen first). A
// player sends its orders before it becomes ready; the host resolves a status once everybody is
// ready and the orders of every nation still in the game are in.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <random>
#include <string>

#include "campaign/Gamerules.h"
#include "campaign/Seatlock.h"
#include "game/Objectif.h"
#include "game/Random.h"
#include "game/Stateboard.h"
#include "game/Stategame.h"
#include "input/Directinput.h"
#include "platform/SaveStore.h"
#include "states/Frontend.h"

namespace torvane {
namespace {

// The article each nation takes in "l'ordinateur joue ...".
constexpr const char* kArticles[NationCount] = {"l'",  "l'",  "la ", "les ",
                                                "la ", "la ", "le ", "l'"};

constexpr uint32_t kOrange = 0xFFFF9F31;
constexpr uint32_t kRed = 0xFFB02020;

// Long enough for a player who was ending phases with Return to see that the game is over.
constexpr float kEndPanelGuardSeconds = 1.5f;

bool ValidNationIndex(int nation) {
    return nation >= 0 && nation < NationCount;
}

uint32_t EvenStatus(uint32_t status) {
    return status & ~1u;
}

int32_t WidthOf(const std::unique_ptr<Image>& image) {
    return image ? image->GetWidth() : 0;
}

int32_t HeightOf(const std::unique_ptr<Image>& image) {
    return image ? image->GetHeight() : 0;
}

}  // namespace

void GameState::KnowPlayers(DirectPlay& network) {
    if (playersKnown)
        return;
    playersKnown = true;
    PlayerInfo record;
    for (unsigned index = 0;
         index < 256 && network.CopyPlayerAt(static_cast<uint8_t>(index), record); ++index) {
        if (!ValidNationIndex(record.nation) || nationPlayers[record.nation] != 0)
            continue;  // a nation is played by the first player that holds it
        const auto nation = static_cast<size_t>(record.nation);
        nationPlayers[nation] = record.playerId;
        governments[nation] = record.government >= 0 && record.government < GovernmentCount
                                  ? record.government
                                  : int8_t{0};
        nationObjectives[nation] = record.objective;
        nationNames[nation] = record.Name();
        for (const auto& [id, objective] : hostCampaign.dealtObjectives) {
            if (id == record.playerId)
                nationObjectives[nation] = static_cast<int8_t>(objective);
        }
        if (record.playerId == network.LocalPlayerId())
            localNation = record.nation;
    }
    campaignHostId = network.HostPlayerId();
}

bool GameState::CampaignHostGone(const DirectPlay& network) const {
    PlayerInfo host;
    return network.HostPlayerId() != campaignHostId || !network.CopyPlayer(campaignHostId, host);
}

void GameState::PlayerGone() {
    DirectPlay* network = Network();
    if (!network) {
        Leave();
        disconnected = true;
        return;
    }
    // A lost host hands over once the session agrees on its successor (FollowHostChange).
    if (!CampaignHostGone(*network))
        HoldLostNations(*network);
}

void GameState::FollowHostChange(DirectPlay& network) {
    if (!playersKnown || gameOver)
        return;
    const int32_t host = network.HostPlayerId();
    PlayerInfo record;
    if (host == campaignHostId || host == 0 || !network.CopyPlayer(host, record))
        return;  // the same host, or still changing hands
    campaignHostId = host;
    HoldLostNations(network);  // the old host's nation goes to the computer
    if (network.IsHost())
        TakeOverCampaign(network);
    // Orders already given in this status went to the old host: the new one hears them again.
    const uint32_t status = network.LocalStatus();
    const bool living =
        ValidNationIndex(localNation) && (LivingNations(held, governments) >> localNation) & 1;
    if ((status & 1) != 0 && TakesOrders(StepOf(status)) && heldStatus == EvenStatus(status) &&
        living) {
        network.SendOrders(EvenStatus(status), localNation, draft);
    }
}

// Every player holds the host's state byte for byte, with its generator: the new host goes on
// from the status it holds, resolving only what the old one had not sent the outcome of.
void GameState::TakeOverCampaign(DirectPlay& network) {
    if (hostCampaign.started || heldStatus < 4)
        return;
    ++takeOvers;
    hostCampaign.started = true;
    hostCampaign.state = held;
    hostCampaign.resolvedStatus = heldStatus - 2;
    hostCampaign.ordersStatus = 0;
    hostCampaign.received = 0;
    for (auto& list : hostCampaign.orders)
        list.clear();
    GameGenerator().Restore(heldGenerator);
    PublishSeats(network);
    // What the old host may not have finished sending: the state to be in, and the year's
    // table (with the end of the game) when it had just closed a year.
    network.SendState(heldStatus, held, GameGenerator().State());
    const TerritoryTable* last = history.TableAt(history.Count() - 1);
    if (StepOf(heldStatus) == CampaignStep::YearStart && YearOf(heldStatus) > 1870 &&
        (!last || !(*last == held.table))) {
        MeasureYear(network);
    }
}

void GameState::ShowNotice(const std::string& first, const std::string& second) {
    lostNotice = first + "\n" + second;
    lostNoticeWidth =
        screen ? std::max(screen->TextWidth(2, first), screen->TextWidth(2, second)) : 0;
    lostNoticeLeft = 10.0f;
}

void GameState::HoldLostNations(DirectPlay& network) {
    PlayerInfo record;
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        const int32_t id = nationPlayers[n];
        if (id == 0 || network.CopyPlayer(id, record))
            continue;
        if ((computerNations >> nation) & 1) {
            // Back, then lost again before it played: the computer keeps the nation.
            returnStatus[n] = 0;
            continue;
        }
        computerNations = static_cast<uint8_t>(computerNations | 1u << nation);
        ShowNotice(nationNames[n] + " a quitt\xE9 la partie :",
                   std::string("l'ordinateur joue ") + kArticles[n] + NationName(nation));
    }
    PublishSeats(network);
}

void GameState::DrawLostNotice() {
    if (lostNotice.empty())
        return;
    lostNoticeLeft -= static_cast<float>(FrameTime(screen)) / 1000.0f;
    if (lostNoticeLeft <= 0.0f) {
        lostNotice.clear();
        return;
    }
    if (!screen)
        return;
    // Under the top bar, left of the orders panel, on a veil of its own so that it reads on any
    // colour of the map.
    constexpr int32_t kCentre = 200;
    screen->FillRect(kCentre - lostNoticeWidth / 2 - 10, 46, lostNoticeWidth + 20, 50, 0xB0102D19);
    screen->DrawText(kCentre, 48, lostNotice, kOrange, 1, 2, 1);
}

// Orders of another status than the host's last ones start from nothing.
void GameState::OrdersFor(uint32_t status) {
    if (hostCampaign.ordersStatus == status)
        return;
    hostCampaign.ordersStatus = status;
    hostCampaign.received = 0;
    for (auto& list : hostCampaign.orders)
        list.clear();
}

// The host's computer decides for the nations whose players left, with what any player sees.
// Orders a player sent before it left still count for that status.
void GameState::PlayStandIns(uint32_t status) {
    const CampaignStep step = StepOf(status);
    const uint8_t wanted = computerNations & LivingNations(hostCampaign.state, governments);
    if (!TakesOrders(step) || wanted == 0)
        return;
    OrdersFor(status);
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        if (!((wanted >> nation) & 1) || (hostCampaign.received >> nation) & 1)
            continue;
        if (!standIns[n]) {
            standIns[n] = std::make_unique<ComputerPlayer>(
                ComputerLevel::Medium, 0x5EA7ED00u + static_cast<uint64_t>(nation));
        }
        TurnView view;
        view.status = status;
        view.step = step;
        view.nation = static_cast<int8_t>(nation);
        view.government = governments[n];
        view.objective = nationObjectives[n];
        view.state = &hostCampaign.state;
        view.governments = &governments;
        view.history = &history;
        view.battles = reports.empty() ? nullptr : &reports.back().battles;
        view.yearPanelClosed = true;
        std::vector<Order>& orders = hostCampaign.orders[n];
        orders.clear();
        standIns[n]->Decide(view, orders);
        if (orders.size() > kMaxOrders)
            orders.resize(kMaxOrders);
        hostCampaign.received = static_cast<uint8_t>(hostCampaign.received | 1u << nation);
    }
}

void GameState::BeginCampaign(DirectPlay& network) {
    KnowPlayers(network);
    if (hostCampaign.started)
        return;
    const TerritoryTable* deal = history.TableAt(history.Count() - 1);
    if (!deal)
        return;
    hostCampaign.started = true;
    hostCampaign.state = StartCampaign(*deal, governments);
    // The first status of 1870 follows the start.
    const uint32_t first = EvenStatus(network.LocalStatus()) + 2;
    hostCampaign.resolvedStatus = EvenStatus(network.LocalStatus());
    network.SendState(first, hostCampaign.state, GameGenerator().State());
    DealSeats(network);
}

// Every player of the campaign gets a secret token for its seat, and everybody the seat's lock:
// whoever is host when the player comes back checks the token against it.
void GameState::DealSeats(DirectPlay& network) {
    std::random_device device;
    const uint64_t session = network.SessionId();
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        seating[n].lock = 0;
        if (nationPlayers[n] == 0)
            continue;
        uint64_t token = 0;
        while (token == 0)
            token = static_cast<uint64_t>(device()) << 32 ^ device();
        seating[n].lock = SeatLock(session, nation, token);
        if (nationPlayers[n] == network.LocalPlayerId()) {
            KeepSeat(network, static_cast<int8_t>(nation), token);
        } else {
            network.SendSeat(nationPlayers[n], static_cast<int8_t>(nation), token);
        }
    }
    BuildSeating();
    network.SendSeating(seating);
    PublishSeats(network);
}

void GameState::BuildSeating() {
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        SeatRecord& seat = seating[n];
        seat.playerId = nationPlayers[n];
        // A nation of a saved game nobody took is in the game with nobody's seat: the computer
        // plays it.
        const bool computer = ((computerNations >> nation) & 1) != 0;
        const bool inGame = seat.playerId != 0 || (computer && governments[n] >= 0);
        seat.government = inGame ? governments[n] : int8_t{-1};
        seat.objective = inGame ? nationObjectives[n] : int8_t{-1};
        seat.computer = inGame && computer;
        seat.returnStatus = seat.computer ? returnStatus[n] : 0;
        seat.name.fill('\0');
        const std::string& name = nationNames[n];
        std::copy_n(name.begin(), std::min(name.size(), seat.name.size() - 1), seat.name.begin());
    }
}

// The searches show the running game and its year; the seats the computer holds open to their
// tokens, until the game is over.
void GameState::PublishSeats(DirectPlay& network) {
    if (!network.IsHost())
        return;
    if (gameOver || winners != 0) {
        network.CloseSeats();
        return;
    }
    std::array<uint64_t, NationCount> locks{};
    uint8_t open = 0;
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        locks[n] = seating[n].lock;
        if (((computerNations >> nation) & 1) && returnStatus[n] == 0 && locks[n] != 0)
            open = static_cast<uint8_t>(open | 1u << nation);
    }
    seatsYear = YearOf(std::max<uint32_t>(heldStatus, 4));
    network.OpenSeats(locks, open, seatsYear);
}

platform::SeatStore& GameState::SeatFiles() {
    if (seatStore)
        return *seatStore;
    if (!ownSeatStore)
        ownSeatStore = std::make_unique<platform::SeatStore>();
    return *ownSeatStore;
}

void GameState::KeepSeat(DirectPlay& network, int8_t nation, uint64_t token) {
    platform::Seat seat;
    seat.session = network.SessionId();
    seat.player = network.PlayerName();
    seat.token = token;
    seat.nation = nation;
    seat.year = std::min(YearOf(std::max<uint32_t>(heldStatus, 4)), platform::kSeatLastYear);
    std::string error;
    if (!SeatFiles().Save(seat, error))
        std::fprintf(stderr, "torvane: le si\xE8ge ne peut \xEAtre gard\xE9 : %s\n", error.c_str());
}

void GameState::OnSeat(int32_t, int8_t nation, uint64_t token) {
    DirectPlay* network = Network();
    if (!network || gameOver)
        return;
    // A token for a nation another player plays is not ours to keep.
    if (playersKnown && nation != localNation)
        return;
    KeepSeat(*network, nation, token);
}

void GameState::OnSeating(int32_t, const Seating& seats) {
    DirectPlay* network = Network();
    if (!network || gameOver)
        return;
    seating = seats;
    if (!playersKnown) {
        // A player coming back learns the campaign from the seating that names it.
        if (rejoined)
            KnowSeating(*network, seats);
        return;
    }
    // A player back in its seat plays it from the status the host named; until then the
    // computer goes on.
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        const SeatRecord& seat = seats[n];
        if (seat.playerId == 0 || !seat.computer || seat.returnStatus == 0 ||
            seat.returnStatus <= currentStatus) {
            continue;
        }
        computerNations = static_cast<uint8_t>(computerNations | 1u << nation);
        nationPlayers[n] = seat.playerId;
        nationNames[n] = std::string(seat.name.data());
        returnStatus[n] = seat.returnStatus;
    }
}

void GameState::KnowSeating(DirectPlay& network, const Seating& seats) {
    const int32_t self = network.LocalPlayerId();
    const auto mine = std::find_if(seats.begin(), seats.end(), [self](const SeatRecord& seat) {
        return seat.playerId == self;
    });
    if (self == 0 || mine == seats.end())
        return;
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        const SeatRecord& seat = seats[n];
        nationPlayers[n] = seat.playerId;
        const bool inGame = seat.playerId != 0 || seat.computer;
        governments[n] = inGame ? seat.government : int8_t{-1};
        nationObjectives[n] = inGame ? seat.objective : int8_t{-1};
        nationNames[n] = std::string(seat.name.data());
        returnStatus[n] = seat.computer ? seat.returnStatus : 0;
        if (seat.computer)
            computerNations = static_cast<uint8_t>(computerNations | 1u << nation);
    }
    localNation = static_cast<int8_t>(mine - seats.begin());
    campaignHostId = network.HostPlayerId();
    playersKnown = true;
}

// The host: a player admitted with a seat's token takes its nation back once nothing of the
// campaign is on its way to it, so that what it is sent to catch up is the whole story.
void GameState::OnSeatClaimed(int32_t playerId, int8_t nation) {
    DirectPlay* network = Network();
    if (!network)
        return;
    const bool free = ValidNationIndex(nation) && playersKnown && !gameOver && network->IsHost() &&
                      ((computerNations >> nation) & 1) &&
                      returnStatus[static_cast<size_t>(nation)] == 0 &&
                      std::none_of(waitingSeats.begin(), waitingSeats.end(),
                                   [nation](const WaitingSeat& w) { return w.nation == nation; });
    if (!free) {
        network->DropPlayer(playerId);
        return;
    }
    waitingSeats.push_back({playerId, nation, 0.0f});
}

void GameState::SeatWaitingPlayers(DirectPlay& network) {
    ResendSeats(network);
    if (waitingSeats.empty())
        return;
    const float elapsed = static_cast<float>(FrameTime(screen)) / 1000.0f;
    const uint32_t status = network.LocalStatus();
    const uint32_t even = EvenStatus(status);
    // The host's own state and the year's table have come back to it: its history and state
    // are all that was sent so far.
    const bool settled = heldStatus == even &&
                         history.Count() >= 1 + YearOf(std::max<uint32_t>(heldStatus, 4)) - 1870;
    for (auto it = waitingSeats.begin(); it != waitingSeats.end();) {
        it->waited += elapsed;
        PlayerInfo record;
        if (!network.CopyPlayer(it->playerId, record)) {
            it = waitingSeats.erase(it);  // gone again before it was seated
            continue;
        }
        if (!settled && it->waited < 5.0f) {
            ++it;
            continue;
        }
        const auto n = static_cast<size_t>(it->nation);
        nationPlayers[n] = it->playerId;
        nationNames[n] = record.Name();
        returnStatus[n] = even + 2;
        BuildSeating();
        network.SendSeating(seating);
        SendCampaignTo(network, it->playerId);
        sentSeats.push_back({it->playerId, it->nation, std::chrono::steady_clock::now()});
        it = waitingSeats.erase(it);
        PublishSeats(network);
    }
}

// A player seated again shows its nation in its record as soon as it has what it was sent. One
// that still does not after a few seconds missed it (it arrived before its game listened, on a
// loaded machine): it is sent again, from where the campaign now stands, while the host waits
// for it.
void GameState::ResendSeats(DirectPlay& network) {
    constexpr auto kPatience = std::chrono::seconds(3);
    const auto now = std::chrono::steady_clock::now();
    const uint32_t even = EvenStatus(network.LocalStatus());
    for (auto it = sentSeats.begin(); it != sentSeats.end();) {
        PlayerInfo record;
        const auto n = static_cast<size_t>(it->nation);
        if (!network.CopyPlayer(it->playerId, record) || record.nation == it->nation ||
            nationPlayers[n] != it->playerId) {
            it = sentSeats.erase(it);  // there, gone, or its seat went to somebody else
            continue;
        }
        if (now - it->sentAt >= kPatience && heldStatus == even) {
            if (returnStatus[n] != 0 && returnStatus[n] <= even)
                returnStatus[n] = even + 2;
            BuildSeating();
            network.SendSeating(seating);
            SendCampaignTo(network, it->playerId);
            it->sentAt = now;
        }
        ++it;
    }
}

// What a player seated in a running campaign is sent to catch up: the whole history, the year
// reports and the state it is in.
void GameState::SendCampaignTo(DirectPlay& network, int32_t playerId) {
    const int count = history.Count();
    for (int i = 0; i < count; ++i) {
        HistoryEntry entry;
        entry.index = static_cast<uint16_t>(i);
        entry.count = static_cast<uint16_t>(count);
        entry.table = *history.TableAt(i);
        entry.infos = *history.InfosAt(i);
        network.SendHistory(playerId, entry);
    }
    for (const YearReport& year : reports) {
        if (IsCampaignStatus(year.battles.status))
            network.SendReport(playerId, year.battles);
        if (IsCampaignStatus(year.missions.status))
            network.SendReport(playerId, year.missions);
    }
    network.SendState(playerId, heldStatus, held, heldGenerator);
}

// From the status the host named, the player that came back plays its nation again.
void GameState::ReturnSeats(DirectPlay& network, uint32_t status) {
    bool changed = false;
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        if (returnStatus[n] == 0 || status < returnStatus[n])
            continue;
        returnStatus[n] = 0;
        computerNations = static_cast<uint8_t>(computerNations & ~(1u << nation));
        standIns[n].reset();
        changed = true;
        ShowNotice(nationNames[n] + " est de retour :",
                   std::string("il joue de nouveau ") + kArticles[n] + NationName(nation));
    }
    if (changed || (network.IsHost() && YearOf(status) != seatsYear))
        PublishSeats(network);
}

// A player back in a status the computer still plays for it is ready at once.
bool GameState::Returning(uint32_t status) const {
    return ValidNationIndex(localNation) && returnStatus[static_cast<size_t>(localNation)] > status;
}

// A player that came back waits for the host to seat it: the seating that names it, the whole
// history and the state it is in.
void GameState::RunRejoin() {
    DirectPlay* network = Network();
    if (!network)
        return;
    rejoinWait += static_cast<float>(FrameTime(screen)) / 1000.0f;
    if (!playersKnown || !rejoinStateHeld) {
        if (rejoinWait > 30.0f) {
            Leave();
            disconnected = true;
        }
        return;
    }
    PlayerInfo self;
    if (!network->CopyPlayer(network->LocalPlayerId(), self))
        return;
    const auto n = static_cast<size_t>(localNation);
    self.nation = localNation;
    self.government = governments[n];
    self.objective = nationObjectives[n];
    self.reservedByteB = static_cast<int8_t>(phaseClockChoice);
    network->PublishLocalPlayer(self);
    mapDealt = true;
    pendingObjective = 255;  // nothing to store: the seat has its objective
    mode = ShowingObjective;
}

void GameState::OnHistory(int32_t, const HistoryEntry& entry) {
    // Only a player coming back is sent what it missed, in order, once.
    if (!rejoined || !playersKnown || entry.index != history.Count() ||
        history.Count() >= entry.count) {
        return;
    }
    history.Append(entry.table, entry.infos);
}

void GameState::OnCampaignState(int32_t, const StateMessage& message) {
    if (playersKnown)
        rejoinStateHeld = true;
    held = message.state;
    heldStatus = message.status;
    heldGenerator = message.generator;
}

void GameState::OnReport(int32_t, const PhaseReport& report) {
    if (rejoined && !playersKnown)
        return;  // what it missed comes again once the host has seated it
    const CampaignStep step = StepOf(report.status);
    YearReport& year = ReportOfYear(YearOf(report.status));
    if (step == CampaignStep::Moves) {
        year.battles = report;
    } else if (step == CampaignStep::Spies) {
        year.missions = report;
    }
}

GameState::YearReport& GameState::ReportOfYear(int32_t year) {
    if (reports.empty() || reports.back().year != year) {
        // A history holds at most one table per year: the reports never outgrow it.
        if (reports.size() >= static_cast<size_t>(DirectLog::kMaxTables))
            reports.erase(reports.begin());
        reports.push_back({});
        reports.back().year = year;
    }
    return reports.back();
}

void GameState::OnGameEnd(int32_t, uint8_t value) {
    if (gameOver || leaving)
        return;
    gameOver = true;
    winners = value;
    endGuardLeft = kEndPanelGuardSeconds;
    BuildEndTexts();
    if (DirectPlay* network = Network()) {
        PublishSeats(*network);
        if (ValidNationIndex(localNation))
            SeatFiles().Forget(network->SessionId(), network->PlayerName());
        // A game that is over is not taken up again.
        std::string error;
        if (!SaveFiles().Remove(network->SessionId(), &error) && !error.empty())
            std::fprintf(stderr, "torvane: %s\n", error.c_str());
    }
    const bool won = ValidNationIndex(localNation) && (winners >> localNation) & 1;
    Play(audio, won ? hitSound.get() : failedSound.get());
}

void GameState::OnOrders(int32_t senderId, const OrdersMessage& message) {
    DirectPlay* network = Network();
    if (network)
        FollowHostChange(*network);  // orders can reach a new host before its next frame
    if (!network || !network->IsHost() || !hostCampaign.started)
        return;
    const uint32_t status = EvenStatus(network->LocalStatus());
    const int nation = message.nation;
    // Orders count only from the player of the nation they name, for the status the host is in,
    // once.
    const bool fromItsPlayer =
        ValidNationIndex(nation) && nationPlayers[static_cast<size_t>(nation)] == senderId;
    const bool forThisStatus = message.status == status && TakesOrders(StepOf(status));
    OrdersFor(status);
    // Too late: the host went on without them (or has just resolved their status without
    // them, and is moving on). Their player is told.
    const bool resolvedWithout = fromItsPlayer && message.status == status &&
                                 hostCampaign.resolvedStatus == status &&
                                 ((hostCampaign.received >> nation) & 1) == 0;
    if (phaseLimit > 0 && fromItsPlayer && IsCampaignStatus(message.status) &&
        TakesOrders(StepOf(message.status)) && (message.status < status || resolvedWithout)) {
        ++hostCampaign.lateOrders;
        std::fprintf(stderr, "torvane: ordres de %s pour %d - %s arriv\xE9s trop tard\n",
                     nationNames[static_cast<size_t>(nation)].c_str(), YearOf(message.status),
                     PhaseName(message.status));
        network->SendValue(senderId, static_cast<int32_t>(message.status));
        return;
    }
    if (!fromItsPlayer || !forThisStatus || (hostCampaign.received >> nation) & 1) {
        ++hostCampaign.refusedMessages;
        return;
    }
    hostCampaign.received = static_cast<uint8_t>(hostCampaign.received | (1u << nation));
    hostCampaign.orders[static_cast<size_t>(nation)] = message.orders;
}

void GameState::RunCampaign() {
    DirectPlay* network = Network();
    if (!network)
        return;
    FollowHostChange(*network);
    if (!network->IsHost())
        network->FollowHostPhase();
    const uint32_t status = network->LocalStatus();
    const uint32_t even = EvenStatus(status);
    const CampaignStep step = StepOf(status);
    if (step == CampaignStep::None)
        return;
    if (even != currentStatus) {
        currentStatus = even;
        if (step == CampaignStep::YearStart)
            yearPanelClosed = false;
        ReturnSeats(*network, even);
    }
    RunPhaseClock(status);
    if ((status & 1) == 0 && heldStatus == even && Returning(even)) {
        network->SetReady();  // the computer still plays this status for us
        phaseClock.readySeen = true;
    } else if ((status & 1) == 0 && heldStatus == even && mode == Playing) {
        TurnView view;
        view.status = even;
        view.step = step;
        view.nation = localNation;
        view.government =
            ValidNationIndex(localNation) ? governments[static_cast<size_t>(localNation)] : -1;
        view.objective =
            ValidNationIndex(localNation) ? nationObjectives[static_cast<size_t>(localNation)] : -1;
        view.state = &held;
        view.governments = &governments;
        view.history = &history;
        view.battles = reports.empty() ? nullptr : &reports.back().battles;
        view.yearPanelClosed = yearPanelClosed;
        draft.clear();
        bool done = Act(view, draft);
        if (!done && phaseClock.expired && phaseClock.status == even) {
            // Out of time: what was drafted goes as it stands.
            draft.clear();
            if (OrdersInterface* decider = Decider())
                decider->Drafted(view, draft);
            done = true;
        }
        if (done) {
            const bool living = ValidNationIndex(localNation) &&
                                (LivingNations(held, governments) >> localNation) & 1;
            if (TakesOrders(step) && living) {
                if (draft.size() > kMaxOrders)
                    draft.resize(kMaxOrders);
                network->SendOrders(even, localNation, draft);
            }
            network->SetReady();
            // Done in time (the host may move on before this player sees its own ready mark).
            phaseClock.readySeen = true;
        }
    }
    if (network->IsHost())
        RunHost(*network, status);
}

bool GameState::Act(const TurnView& view, std::vector<Order>& orders) {
    // A nation without territory watches: it is ready at once.
    if (!ValidNationIndex(view.nation) ||
        !((LivingNations(*view.state, *view.governments) >> view.nation) & 1)) {
        return true;
    }
    if (!PlayersAct(view.step))
        return true;
    if (view.step == CampaignStep::Spies) {
        const Government* government = GovernmentAt(view.government);
        const int32_t treasury = view.state->ledger.values[Treasury][view.nation];
        if (!government || treasury < government->espionageValue)
            return true;  // nothing to pay a spy with
    }
    if (OrdersInterface* decider = Decider())
        return decider->Decide(view, orders);
    // The keyboard: the statistics panel ends the year's start, Return every other step.
    if (view.step == CampaignStep::YearStart)
        return view.yearPanelClosed;
    if (input && input->KeyPressed(key::Return)) {
        Play(audio, hitSound.get());
        return true;
    }
    return false;
}

OrdersInterface* GameState::Decider() const {
    if (ordersInterface)
        return ordersInterface;
    return board && board->Ready() ? board.get() : nullptr;
}

void GameState::DrawBoard(uint32_t status, bool interactive) {
    BoardFrame frame;
    frame.status = status;
    frame.holdsState = heldStatus == (status & ~1u);
    frame.state = &held;
    frame.governments = &governments;
    frame.nation = localNation;
    frame.battles = reports.empty() || reports.back().year != YearOf(status)
                        ? nullptr
                        : &reports.back().battles;
    frame.interactive = interactive;
    if (phaseClock.shown >= 0) {
        frame.clockText = &phaseClock.text;
        frame.clockUrgent = phaseClock.shown <= 10;
    }
    if (DirectPlay* network = Network()) {
        PlayerInfo record;
        for (unsigned i = 0; i < 256 && network->CopyPlayerAt(static_cast<uint8_t>(i), record);
             ++i) {
            if (record.nation < 0 || record.nation >= NationCount)
                continue;
            frame.playingNations = static_cast<uint8_t>(frame.playingNations | 1u << record.nation);
            if (record.IsReady())
                frame.readyNations = static_cast<uint8_t>(frame.readyNations | 1u << record.nation);
            if (record.IsComputer())
                frame.computerNations =
                    static_cast<uint8_t>(frame.computerNations | 1u << record.nation);
        }
    }
    // The host's computer plays the nations whose players left, and is always ready.
    frame.playingNations |= computerNations;
    frame.readyNations |= computerNations;
    frame.computerNations |= computerNations;
    board->Frame(frame);
}

void GameState::RunHost(DirectPlay& network, uint32_t status) {
    if (!hostCampaign.started || gameOver || winners != 0)
        return;
    SeatWaitingPlayers(network);
    const uint32_t even = EvenStatus(status);
    // Past the clock (and its grace) nobody is waited for any longer.
    const bool overdue = PhaseOverdue(even);
    if (hostCampaign.resolvedStatus != even) {
        if (!network.AllReady() && !overdue)
            return;
        PlayStandIns(even);
        if (TakesOrders(StepOf(even)) && !overdue) {
            const uint8_t living = LivingNations(hostCampaign.state, governments);
            const uint8_t in = hostCampaign.ordersStatus == even ? hostCampaign.received : 0;
            if ((in & living) != living)
                return;  // a player's orders are still on their way
        }
        if (overdue && !network.AllReady()) {
            ++hostCampaign.overdueStatuses;
            hostCampaign.overdueStatus = even;
        }
        ResolveAsHost(network, even);
        if (winners != 0)
            return;  // the game is over: nobody moves on
    }
    // Advanced once resolved; a refused advance is tried again, never resolved twice. Once
    // resolved without somebody, the host moves on without it: it follows.
    if (hostCampaign.overdueStatus == even)
        network.ForceAdvancePhase();
    else
        network.AdvancePhase();
}

void GameState::ResolveAsHost(DirectPlay& network, uint32_t status) {
    CampaignState& state = hostCampaign.state;
    const NationOrders* orders = &hostCampaign.orders;
    NationOrders none;
    if (hostCampaign.ordersStatus != status)
        orders = &none;
    const CampaignStep step = StepOf(status);
    PhaseReport report;
    bool reported = false;
    switch (step) {
        case CampaignStep::Income:
            ResolveIncome(state, governments);
            break;
        case CampaignStep::Purchases:
            report = ResolvePurchases(state, governments, *orders);
            reported = true;
            break;
        case CampaignStep::Moves:
            report = ResolveMoves(state, governments, *orders, GameGenerator());
            reported = true;
            break;
        case CampaignStep::Spies:
            report = ResolveMissions(state, governments, *orders, GameGenerator());
            reported = true;
            break;
        case CampaignStep::Review:
            CloseYear(state);
            break;
        default:
            break;
    }
    hostCampaign.resolvedStatus = status;
    if (reported) {
        report.status = status;
        network.SendReport(report);
    }
    network.SendState(status + 2, state, GameGenerator().State());
    if (step == CampaignStep::Review)
        MeasureYear(network);
}

// The year's table joins every history; the objectives are measured on it.
void GameState::MeasureYear(DirectPlay& network) {
    const CampaignState& state = hostCampaign.state;
    network.SendTerritoryTable(state.table);
    DirectLog measure;
    if (const TerritoryTable* last = history.TableAt(history.Count() - 1))
        measure.Append(*last);
    measure.Append(state.table);
    const uint8_t won = torvane::Winners(measure, state, governments, nationObjectives);
    if (won != 0) {
        winners = won;
        network.SendEnd(won);
    }
}

void GameState::DrawPhase(uint32_t status, bool ready) {
    if (!screen)
        return;
    const uint32_t even = EvenStatus(status);
    if (phaseTextStatus != even || treasuryStatus != heldStatus || phaseText.empty()) {
        phaseTextStatus = even;
        treasuryStatus = heldStatus;
        phaseText = std::to_string(YearOf(status));
        phaseText += " - ";
        phaseText += PhaseName(status);
        treasuryText.clear();
        if (ValidNationIndex(localNation)) {
            treasuryText = "Tr\xE9sor : ";
            treasuryText += FormatAmount(held.ledger.values[Treasury][localNation]);
        }
        finishHint =
            "Entr\xE9"
            "e : Terminer";
        waitingHint = "Attente des autres joueurs";
        eliminatedHint = "Vous avez perdu tous vos territoires";
    }
    Draw(miniFrame, PanelX(WidthOf(miniFrame)), 12);
    screen->DrawText(320, 12 + HeightOf(miniFrame) / 2 - 12, phaseText, kOrange, 1, 6, 1);
    screen->DrawText(320, 20 + HeightOf(miniFrame), treasuryText, kOrange, 1, 2, 1);
    const bool living =
        ValidNationIndex(localNation) && (LivingNations(held, governments) >> localNation) & 1;
    const std::string* hint = nullptr;
    if (heldStatus == even && !living) {
        hint = &eliminatedHint;
    } else if (ready || heldStatus != even) {
        hint = &waitingHint;
    } else if (PlayersAct(StepOf(status))) {
        hint = &finishHint;
    }
    if (hint)
        screen->DrawText(320, 440, *hint, kOrange, 1, 3, 1);
    DrawClock(320, 400, 1, kOrange);
}

void GameState::BuildEndTexts() {
    const bool won = ValidNationIndex(localNation) && (winners >> localNation) & 1;
    endTitle = won ? "Victoire !"
                   : "D\xE9"
                     "faite";
    endLineCount = 0;
    endHeading = std::popcount(winners) > 1 ? "Les vainqueurs :" : "Le vainqueur :";
    DirectPlay* network = Network();
    for (int nation = 0; nation < NationCount; ++nation) {
        if (!((winners >> nation) & 1))
            continue;
        std::string line;
        PlayerInfo record;
        if (network && network->CopyPlayer(nationPlayers[static_cast<size_t>(nation)], record))
            line = record.Name() + " - ";
        else if (!nationNames[static_cast<size_t>(nation)].empty())
            line = nationNames[static_cast<size_t>(nation)] + " - ";  // it left the game
        line += NationName(nation);
        const Objectif* objective = ObjectiveAt(nationObjectives[static_cast<size_t>(nation)]);
        if (objective)
            line += " - " + objective->title;
        endLines[static_cast<size_t>(endLineCount++)] = std::move(line);
    }
}

void GameState::DrawEndPanel() {
    if (!screen)
        return;
    const bool won = ValidNationIndex(localNation) && (winners >> localNation) & 1;
    const std::unique_ptr<Image>& picture =
        won && victoryPanel ? victoryPanel : (!won && defeatPanel ? defeatPanel : statsPanel);
    const int32_t x0 = PanelX(WidthOf(picture));
    const int32_t y0 = CentredY(HeightOf(picture));
    Draw(picture, x0, y0);
    screen->DrawText(320, y0 + 30, endTitle, won ? kTextGreen : kRed, 2, 12, 1);
    screen->DrawText(320, y0 + 110, endHeading, kTextGreen, 0, 2, 1);
    for (int i = 0; i < endLineCount; ++i) {
        screen->DrawText(320, y0 + 140 + 24 * i, endLines[static_cast<size_t>(i)], kTextGreen, 0, 1,
                         1);
    }
    Draw(okButton, 320 - WidthOf(okButton) / 2, EndOkTop());
}

int32_t GameState::EndOkTop() const {
    const bool won = ValidNationIndex(localNation) && (winners >> localNation) & 1;
    const std::unique_ptr<Image>& picture =
        won && victoryPanel ? victoryPanel : (!won && defeatPanel ? defeatPanel : statsPanel);
    return CentredY(HeightOf(picture)) + HeightOf(picture) - 44;
}

void GameState::HandleEndInput() {
    bool close = ordersInterface && ordersInterface->CloseEnd();
    // Without a screen there is nothing to read and no clock to wait on.
    if (!screen)
        endGuardLeft = 0.0f;
    if (endGuardLeft > 0.0f)
        endGuardLeft -= static_cast<float>(FrameTime(screen)) / 1000.0f;
    // Presses while the panel is guarded are read and dropped, never kept for later.
    if (input && endGuardLeft <= 0.0f) {
        const platform::Point pointer = input->CursorPosition();
        const int32_t left = 320 - WidthOf(okButton) / 2;
        const int32_t top = EndOkTop();
        const bool onOk = okButton && pointer.x >= left && pointer.x <= left + WidthOf(okButton) &&
                          pointer.y >= top && pointer.y <= top + HeightOf(okButton);
        close = close || input->KeyPressed(key::Return) || input->KeyPressed(key::Space) ||
                input->KeyPressed(key::Escape) || (onOk && input->KeyPressed(key::LeftButton));
    }
    if (close)
        Leave();
}

}  // namespace torvane
