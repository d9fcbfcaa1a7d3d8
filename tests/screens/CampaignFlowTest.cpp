// The campaign between real engines on loopback: game screens without windows play whole years
// with scripted orders (and one player with the keyboard alone), the host resolves, and every
// player ends every status holding the host's state; forged orders change nothing; a lost player
// ends the game; a victory ends it on every player with the same winners.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "campaign/Campaign.h"
#include "campaign/Campaignmessages.h"
#include "campaign/Computer.h"
#include "campaign/Orders.h"
#include "campaign/Savedgame.h"
#include "campaign/Seatlock.h"
#include "platform/SaveStore.h"
#include "screens/GameSession.h"

using namespace gametest;

namespace {

// A player whose decisions come from a test: `plan` fills the orders of each order step, and
// the player holds back from status `stopAt` on.
class ScriptedPlayer : public OrdersInterface {
  public:
    using Plan = std::function<void(const TurnView&, std::vector<Order>&)>;
    explicit ScriptedPlayer(Plan plan = {}) : plan_(std::move(plan)) {}

    bool Decide(const TurnView& view, std::vector<Order>& orders) override {
        if (view.status >= stopAt)
            return false;
        if (plan_ && TakesOrders(view.step))
            plan_(view, orders);
        ++decisions[view.step];
        lastStatus = view.status;
        return true;
    }

    bool CloseEnd() override { return leaveAtEnd; }

    uint32_t stopAt = UINT32_MAX;  // holds back from this status on
    bool leaveAtEnd = true;        // closes the victory or defeat panel at once
    uint32_t lastStatus = 0;
    std::map<CampaignStep, int> decisions;

  private:
    Plan plan_;
};

// Recruits and fortifies at home, builds a boat, attacks the first foreign land neighbours with
// half of each army, and sabotages a rival when it can pay a spy.
void Aggressive(const TurnView& view, std::vector<Order>& orders) {
    const CampaignState& state = *view.state;
    const int capital = CapitalOf(state, view.nation);
    if (view.step == CampaignStep::Purchases && capital >= 0) {
        const auto home = static_cast<uint8_t>(capital);
        orders.push_back({OrderKind::Recruit, home, 0, 10});
        if (!state.table[home].fortified)
            orders.push_back({OrderKind::Fortify, home, 0, 0});
        orders.push_back({OrderKind::Boats, home, 0, 1});
    } else if (view.step == CampaignStep::Moves) {
        for (int from = 0; from < TerritoryCount && orders.size() < 6; ++from) {
            const TerritoryInfo& entry = state.table[static_cast<size_t>(from)];
            if (entry.owner != view.nation || entry.army < 2)
                continue;
            const NeighbourList neighbours = NeighboursOf(from);
            for (int k = 0; k < neighbours.count; ++k) {
                const int to = neighbours.index[static_cast<size_t>(k)];
                if (state.table[static_cast<size_t>(to)].owner != view.nation) {
                    orders.push_back({OrderKind::Move, static_cast<uint8_t>(from),
                                      static_cast<uint8_t>(to), entry.army / 2});
                    break;
                }
            }
        }
    } else if (view.step == CampaignStep::Spies) {
        for (int i = 0; i < TerritoryCount; ++i) {
            const int owner = state.table[static_cast<size_t>(i)].owner;
            if (owner >= 0 && owner != view.nation) {
                orders.push_back({OrderKind::Spy, 0, static_cast<uint8_t>(i),
                                  static_cast<int32_t>(Mission::Sabotage)});
                break;
            }
        }
    }
}

class CampaignFlow : public GameSession {
  protected:
    // Scripted players on seats [0, scripted); the others play with the keyboard.
    void Script(size_t scripted, ScriptedPlayer::Plan plan) {
        for (size_t i = 0; i < seats.size(); ++i) {
            players.push_back(std::make_unique<ScriptedPlayer>(plan));
            if (i < scripted)
                seats[i]->game->SetOrdersInterface(players.back().get());
        }
    }
    void TearDown() override {
        for (auto& seat : seats) {
            if (seat->game)
                seat->game->SetOrdersInterface(nullptr);
        }
        GameSession::TearDown();
    }

    // Notes the state each game holds whenever it holds a new one: a game holds each state for
    // at least a frame (it acts in a status only once it holds its state, and the host moves on
    // only once everybody has acted).
    void RecordStates() {
        seen.resize(seats.size());
        for (size_t i = 0; i < seats.size(); ++i) {
            const GameState* game = seats[i]->game.get();
            if (!game || game->HeldStatus() < 4)
                continue;
            auto& held = seen[i][game->HeldStatus()];
            if (held.empty())
                held = EncodeState(game->HeldStatus(), game->HeldState());
        }
    }

    bool EveryGameOver() const {
        return std::all_of(seats.begin(), seats.end(),
                           [](const auto& seat) { return seat->game->GameOver(); });
    }

    std::vector<std::map<uint32_t, std::vector<uint8_t>>> seen;
    std::vector<std::unique_ptr<ScriptedPlayer>> players;
};

TEST_F(CampaignFlow, ThreePlayersPlayThreeYearsAndEveryStatusEndsWithTheHostsState) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3, -1));
    ASSERT_NO_FATAL_FAILURE(OpenScreens(false));
    // Two scripted players; the third passes every step with Return alone.
    Script(2, Aggressive);
    Seat& keyboard = *seats[2];
    const uint32_t target = 4 + 22 * 3;  // the first status of 1873: everybody stops there
    for (auto& player : players)
        player->stopAt = target;
    int frame = 0;
    ASSERT_TRUE(RunUntil(
        [&] {
            RecordStates();
            // Return every fourth frame, held for one frame, until 1873.
            keyboard.window.SetKeyDown(
                13, ++frame % 4 == 0 && keyboard.network->LocalStatus() < target);
            for (auto& seat : seats) {
                if (seat->network->LocalStatus() != target || seat->game->HeldStatus() != target)
                    return false;
            }
            return true;
        },
        std::chrono::milliseconds(60000)));
    RecordStates();
    keyboard.window.SetKeyDown(13, false);

    // Every player held the state of every status of the three years, byte for byte the host's.
    ASSERT_EQ(seen[0].size(), 34u);
    uint32_t expected = 4;
    for (const auto& [status, bytes] : seen[0]) {
        EXPECT_EQ(status, expected);
        expected += 2;
    }
    for (size_t i = 1; i < seats.size(); ++i)
        EXPECT_TRUE(seen[i] == seen[0]) << "player " << i << " held other states than the host";

    // Every history holds the deal and one table per year, the same everywhere, with the year's
    // figures beside each year's table.
    const DirectLog& hostHistory = seats[0]->game->History();
    ASSERT_EQ(hostHistory.Count(), 4);
    for (auto& seat : seats) {
        const DirectLog& history = seat->game->History();
        ASSERT_EQ(history.Count(), 4);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(*history.TableAt(i), *hostHistory.TableAt(i));
        EXPECT_EQ(*history.TableAt(3), seat->game->HeldState().table);
        EXPECT_EQ(history.InfosAt(3)->values, seat->game->HeldState().ledger.values);
        // Everybody holds the same reports of the three years.
        ASSERT_EQ(seat->game->Reports().size(), 3u);
        for (size_t y = 0; y < 3; ++y) {
            EXPECT_EQ(seat->game->Reports()[y].year, 1870 + static_cast<int>(y));
            EXPECT_EQ(seat->game->Reports()[y].battles, seats[0]->game->Reports()[y].battles);
            EXPECT_EQ(seat->game->Reports()[y].missions, seats[0]->game->Reports()[y].missions);
        }
        EXPECT_FALSE(seat->game->GameOver());
        EXPECT_FALSE(seat->game->Leaving());
    }
    // The scripted players' orders were carried out: they fought, and their capitals are
    // fortified; the keyboard player gave none.
    const CampaignState& state = seats[0]->game->HeldState();
    for (size_t i = 0; i < 2; ++i) {
        const int nation = seats[i]->Self().nation;
        const int capital = CapitalOf(state, nation);
        ASSERT_GE(capital, 0);
        EXPECT_EQ(state.table[static_cast<size_t>(capital)].fortified, 1);
        EXPECT_EQ(players[i]->decisions[CampaignStep::Purchases], 3);
        EXPECT_EQ(players[i]->decisions[CampaignStep::Moves], 3);
    }
    size_t battles = 0;
    for (const auto& year : seats[0]->game->Reports())
        battles += year.battles.battles.size();
    EXPECT_GT(battles, 0u);
    const int keyboardCapital = CapitalOf(state, keyboard.Self().nation);
    ASSERT_GE(keyboardCapital, 0);
    EXPECT_EQ(state.table[static_cast<size_t>(keyboardCapital)].fortified, 0);
    EXPECT_EQ(seats[0]->game->RefusedOrders(), 0u);
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(CampaignFlow, ForgedOrdersChangeNothing) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3, -1));
    ASSERT_NO_FATAL_FAILURE(OpenScreens(false));
    // Everybody recruits 10 troops at home in "Achats"; the third player waits for the test.
    Script(3, [](const TurnView& view, std::vector<Order>& orders) {
        const int capital = CapitalOf(*view.state, view.nation);
        if (view.step == CampaignStep::Purchases && capital >= 0)
            orders.push_back({OrderKind::Recruit, static_cast<uint8_t>(capital), 0, 10});
    });
    const uint32_t purchases = 4 + 4;
    players[2]->stopAt = purchases;
    ASSERT_TRUE(RunUntil([&] {
        return seats[1]->network->LocalStatus() == purchases + 1 &&
               seats[0]->game->HeldStatus() == purchases;
    }));
    DirectPlay& forger = *seats[1]->network;
    const int8_t ownNation = seats[1]->Self().nation;
    const int8_t victim = seats[2]->Self().nation;
    const CampaignState before = seats[0]->game->HeldState();
    const auto victimHome = static_cast<uint8_t>(CapitalOf(before, victim));
    const auto ownHome = static_cast<uint8_t>(CapitalOf(before, ownNation));
    const std::vector<Order> spend = {{OrderKind::Recruit, victimHome, 0, 90}};
    const std::vector<Order> more = {{OrderKind::Recruit, ownHome, 0, 50}};
    forger.SendOrders(purchases, victim, spend);        // another nation's orders
    forger.SendOrders(purchases + 4, ownNation, more);  // another status's
    forger.SendOrders(purchases, ownNation, more);      // its nation's second orders
    ASSERT_TRUE(RunUntil([&] { return seats[0]->game->RefusedOrders() == 3; }));
    players[2]->stopAt = UINT32_MAX;
    ASSERT_TRUE(RunUntil([&] { return seats[0]->game->HeldStatus() == purchases + 2; }));
    const CampaignState& after = seats[0]->game->HeldState();
    // Each nation recruited its own 10, paid for them, and nothing else.
    EXPECT_EQ(after.table[victimHome].reserve, before.table[victimHome].reserve + 10);
    EXPECT_EQ(after.table[ownHome].reserve, before.table[ownHome].reserve + 10);
    const Government& victimGovernment = *GovernmentAt(seats[2]->Self().government);
    EXPECT_EQ(after.ledger.values[Treasury][victim],
              before.ledger.values[Treasury][victim] - 10 * victimGovernment.armyValue / 100);
    EXPECT_EQ(seats[0]->game->RefusedOrders(), 3u);
}

// Every table of two histories, and the figures with them, are the same.
void ExpectSameHistory(const DirectLog& a, const DirectLog& b) {
    ASSERT_EQ(a.Count(), b.Count());
    for (int i = 0; i < a.Count(); ++i) {
        ASSERT_TRUE(a.TableAt(i) && b.TableAt(i) && a.InfosAt(i) && b.InfosAt(i));
        EXPECT_TRUE(*a.TableAt(i) == *b.TableAt(i)) << "table " << i;
        EXPECT_EQ(a.InfosAt(i)->values, b.InfosAt(i)->values) << "figures " << i;
    }
}

TEST_F(CampaignFlow, APlayerLostMidYearIsPlayedOnByTheHostsComputerToTheEnd) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3, -2));  // personal objectives: a game of some years
    ASSERT_NO_FATAL_FAILURE(OpenScreens(true));   // the notice and the bar are looked at
    Script(3, Aggressive);
    for (auto& player : players)
        player->leaveAtEnd = false;
    const uint32_t moves = 4 + 8;
    ASSERT_TRUE(RunUntil([&] { return seats[0]->game->HeldStatus() == moves; }));
    // The third player's links go silent both ways, as if its machine had died.
    Seat& lost = *seats[2];
    const int8_t nation = lost.Self().nation;
    ASSERT_EQ(nation, 5);  // Russie
    lost.paused = true;
    for (size_t i = 0; i < 2; ++i)
        lost.network->SeverLinkForTest(seats[i]->network->LocalPlayerId());
    ASSERT_TRUE(RunUntil([&] {
        return seats[0]->game->ComputerNations() != 0 && seats[1]->game->ComputerNations() != 0;
    }));
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(seats[i]->game->ComputerNations(), 1u << nation);
        EXPECT_EQ(seats[i]->game->LostNotice(),
                  "P2 a quitt\xE9 la partie :\nl'ordinateur joue la Russie");
        EXPECT_FALSE(seats[i]->game->Disconnected());
    }
    // Every board says so under its bar, and marks Russia's flag as played by the computer.
    Frames(3);
    for (size_t i = 0; i < 2; ++i) {
        std::vector<uint32_t> picture;
        ASSERT_TRUE(seats[i]->screen->ReadPicture(picture));
        // Orange letters on a dark veil, where the map is light.
        int orange = 0, dark = 0;
        for (int y = 48; y < 94; ++y) {
            for (int x = 40; x < 360; ++x) {
                const uint32_t c = picture[static_cast<size_t>(y * 640 + x)];
                const int r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
                orange += r > 150 && r > g + 40 && g > b + 40;
                dark += r < 90 && g < 100 && b < 80;
            }
        }
        EXPECT_GT(orange, 150) << "no notice on board " << i;
        EXPECT_GT(dark, 4000) << "no veil under the notice on board " << i;
        if (const char* folder = std::getenv("TORVANE_GAME_SHOTS")) {
            seats[i]->screen->SaveScreenshot(std::string(folder) + "/player-left-" +
                                             std::to_string(i) + ".png");
        }
    }
    // The game goes on to its end: the host resolves a status only with the orders of every
    // nation still in the game, Russia's coming from its computer.
    ASSERT_TRUE(RunUntil([&] { return seats[0]->game->GameOver() && seats[1]->game->GameOver(); },
                         std::chrono::milliseconds(120000)))
        << "year " << YearOf(seats[0]->game->HeldStatus());
    EXPECT_NE(seats[0]->game->Winners(), 0u);
    EXPECT_EQ(seats[0]->game->Winners(), seats[1]->game->Winners());
    // Years were played after the loss, every one of them recorded.
    EXPECT_GT(YearOf(seats[0]->network->LocalStatus()), 1871);
    EXPECT_GT(seats[0]->game->History().Count(), 2);
    ExpectSameHistory(seats[0]->game->History(), seats[1]->game->History());
    EXPECT_EQ(seats[0]->game->RefusedOrders(), 0u);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_FALSE(seats[i]->game->Disconnected());
}

// Plays as `Aggressive` until status `from`, then as the host's computer plays a nation whose
// player left: a "moyen" computer player of that nation's seed, asked in the order steps only.
class ThenComputer : public OrdersInterface {
  public:
    ThenComputer(uint32_t from, int nation)
        : from_(from),
          computer_(ComputerLevel::Medium, 0x5EA7ED00u + static_cast<uint64_t>(nation)) {}
    bool Decide(const TurnView& view, std::vector<Order>& orders) override {
        if (TakesOrders(view.step)) {
            if (view.status >= from_) {
                ++decided;
                return computer_.Decide(view, orders);
            }
            Aggressive(view, orders);
        }
        return true;
    }
    bool CloseEnd() override { return false; }
    int decided = 0;  // order steps its computer decided

  private:
    uint32_t from_;
    ComputerPlayer computer_;
};

// The running game as a search finds it, or nothing.
std::optional<EnumeratedParty> RunningGame(DirectPlay& searcher, const DirectPlay& host) {
    searcher.EnumerateGames("127.0.0.1");
    for (int i = 0; i < searcher.PartyCount(); ++i) {
        const EnumeratedParty* party = searcher.GetParty(i);
        if (party && party->hostAddress.port == host.ListenPort())
            return *party;
    }
    return std::nullopt;
}

TEST_F(CampaignFlow, APlayerLostComesBackWithItsTokenAndPlaysItsNationToTheEnd) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3, -2));
    ASSERT_NO_FATAL_FAILURE(OpenScreens(false));
    Script(3, Aggressive);
    for (auto& player : players)
        player->leaveAtEnd = false;
    const uint32_t moves = 4 + 8;
    ASSERT_TRUE(RunUntil([&] { return seats[0]->game->HeldStatus() == moves; }));
    DirectPlay& host = *seats[0]->network;
    const uint64_t session = host.SessionId();
    ASSERT_NE(session, 0u);
    // Every player keeps its own seat; everybody holds every seat's lock, nobody a token.
    std::array<platform::Seat, 3> kept;
    for (size_t i = 0; i < 3; ++i) {
        const std::string name = "P" + std::to_string(i);
        const std::optional<platform::Seat> seat = seatStore.Load(session, name);
        ASSERT_TRUE(seat.has_value()) << name;
        EXPECT_EQ(seat->nation, seats[i]->Self().nation);
        kept[i] = *seat;
        for (auto& other : seats) {
            const SeatRecord& record = other->game->Seats()[static_cast<size_t>(seat->nation)];
            EXPECT_EQ(record.lock, SeatLock(session, seat->nation, seat->token));
            EXPECT_EQ(record.playerId, seats[i]->network->LocalPlayerId());
        }
    }
    // A game that runs tells the searches it does, and that nobody may join it.
    DirectPlay stranger("Inconnu", options);
    std::optional<EnumeratedParty> found = RunningGame(stranger, host);
    ASSERT_TRUE(found.has_value());
    EXPECT_TRUE(found->running);
    EXPECT_EQ(found->year, 1870);
    EXPECT_EQ(found->session, session);
    EXPECT_FALSE(stranger.JoinGame(found->hostAddress));

    // Russia's player is lost; the computer plays on for it into the next years.
    const int8_t nation = kept[2].nation;
    Seat& lost = *seats[2];
    lost.paused = true;
    for (size_t i = 0; i < 2; ++i)
        lost.network->SeverLinkForTest(seats[i]->network->LocalPlayerId());
    ASSERT_TRUE(RunUntil([&] {
        return seats[0]->game->ComputerNations() != 0 && seats[1]->game->ComputerNations() != 0;
    }));
    lost.game->SetOrdersInterface(nullptr);
    lost.game.reset();
    lost.network.reset();
    ASSERT_TRUE(RunUntil([&] { return YearOf(seats[0]->game->HeldStatus()) >= 1872; },
                         std::chrono::milliseconds(60000)));
    ASSERT_FALSE(seats[0]->game->GameOver());

    // Joins that are not the seat's own are refused, and nobody sees them.
    const uint64_t refusedBefore = host.Trust().refusedSeatClaims;
    auto comer = std::make_unique<DirectPlay>("P2", options);
    found = RunningGame(*comer, host);
    ASSERT_TRUE(found.has_value());
    EXPECT_TRUE(found->running);
    EXPECT_GE(found->year, 1872);
    const HostAddress address = found->hostAddress;
    EXPECT_FALSE(comer->JoinGame(address));                                 // no token
    EXPECT_FALSE(comer->JoinGame(address, kept[2].token + 1, nation));      // a wrong one
    EXPECT_FALSE(comer->JoinGame(address, kept[2].token, kept[1].nation));  // another seat's
    EXPECT_FALSE(comer->JoinGame(address, kept[1].token, kept[1].nation));  // a person plays it
    EXPECT_EQ(host.Trust().refusedSeatClaims, refusedBefore + 4);
    Frames(20);
    EXPECT_EQ(host.PlayerCount(), 2);
    EXPECT_EQ(seats[1]->network->PlayerCount(), 2);

    // With its own token the player is back: seated from the next status, its history filled in.
    ASSERT_TRUE(comer->JoinGame(address, kept[2].token, nation));
    EXPECT_TRUE(comer->Rejoined());
    auto back = std::make_unique<Seat>();
    back->network = std::move(comer);
    seats[2] = std::move(back);
    Seat& returned = *seats[2];
    ASSERT_NO_FATAL_FAILURE(OpenScreen(returned, false));
    // As a computer player back under its name would, it plays its nation by itself.
    ThenComputer again(0, nation);
    returned.game->SetOrdersInterface(&again);
    ASSERT_TRUE(RunUntil([&] {
        for (auto& seat : seats) {
            if (seat->game->ComputerNations() != 0)
                return false;
        }
        return returned.game->LocalNation() == nation;
    }));
    EXPECT_EQ(returned.Self().nation, nation);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(seats[i]->game->LostNotice(), "P2 est de retour :\nil joue de nouveau la Russie");
    }
    // The seat is its own again: nobody may take it now, not even with its token.
    DirectPlay thief("P2", options);
    EXPECT_FALSE(thief.JoinGame(address, kept[2].token, nation));

    ASSERT_TRUE(RunUntil([&] { return EveryGameOver(); }, std::chrono::milliseconds(120000)))
        << "year " << YearOf(seats[0]->game->HeldStatus()) << " living "
        << int(LivingNations(seats[0]->game->HeldState(), seats[0]->game->NationGovernments()))
        << " over " << seats[0]->game->GameOver() << seats[1]->game->GameOver()
        << seats[2]->game->GameOver() << " objectives " << int(seats[0]->Self().objective) << ","
        << int(seats[1]->Self().objective) << "," << int(seats[2]->Self().objective);
    // It played its nation, and everybody ends with one history and the same winners.
    EXPECT_GT(again.decided, 0);
    for (size_t i = 1; i < 3; ++i) {
        ExpectSameHistory(seats[0]->game->History(), seats[i]->game->History());
        EXPECT_EQ(seats[i]->game->Winners(), seats[0]->game->Winners());
        EXPECT_FALSE(seats[i]->game->Disconnected());
    }
    EXPECT_EQ(seats[0]->game->RefusedOrders(), 0u);
    // Once the game is over its seats are gone, and a token is worth nothing.
    EXPECT_FALSE(seatStore.Load(session, "P2").has_value());
    DirectPlay late("P2", options);
    EXPECT_FALSE(late.JoinGame(address, kept[2].token, nation));
    returned.game->SetOrdersInterface(nullptr);
}

TEST_F(CampaignFlow, ALostHostComesBackToItsSuccessorsGameAndPlaysItsNationAgain) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3, -2));
    ASSERT_NO_FATAL_FAILURE(OpenScreens(false));
    Script(3, Aggressive);
    for (auto& player : players)
        player->leaveAtEnd = false;
    ASSERT_TRUE(RunUntil([&] { return seats[0]->game->HeldStatus() == 4 + 8; }));
    const uint64_t session = seats[0]->network->SessionId();
    const std::optional<platform::Seat> kept = seatStore.Load(session, "P0");
    ASSERT_TRUE(kept.has_value());
    Seat& old = *seats[0];
    old.paused = true;
    for (size_t i = 1; i < 3; ++i)
        old.network->SeverLinkForTest(seats[i]->network->LocalPlayerId());
    ASSERT_TRUE(RunUntil([&] { return seats[1]->game->TakeOvers() == 1; }));
    old.game->SetOrdersInterface(nullptr);
    old.game.reset();
    old.network.reset();
    ASSERT_TRUE(RunUntil([&] { return YearOf(seats[1]->game->HeldStatus()) >= 1871; },
                         std::chrono::milliseconds(30000)));

    // The new host answers for the running game, in the same session, and knows the old
    // host's seat by its lock alone.
    auto comer = std::make_unique<DirectPlay>("P0", options);
    const std::optional<EnumeratedParty> found = RunningGame(*comer, *seats[1]->network);
    ASSERT_TRUE(found.has_value());
    EXPECT_TRUE(found->running);
    EXPECT_EQ(found->session, session);
    ASSERT_TRUE(comer->JoinGame(found->hostAddress, kept->token, kept->nation));
    auto back = std::make_unique<Seat>();
    back->network = std::move(comer);
    seats[0] = std::move(back);
    ASSERT_NO_FATAL_FAILURE(OpenScreen(*seats[0], false));
    ThenComputer again(0, kept->nation);
    seats[0]->game->SetOrdersInterface(&again);
    ASSERT_TRUE(RunUntil([&] {
        for (auto& seat : seats) {
            if (seat->game->ComputerNations() != 0)
                return false;
        }
        return seats[0]->game->LocalNation() == kept->nation;
    }));
    ASSERT_TRUE(RunUntil([&] { return EveryGameOver(); }, std::chrono::milliseconds(120000)));
    EXPECT_GT(again.decided, 0);
    for (size_t i = 0; i < 3; i += 2) {
        ExpectSameHistory(seats[1]->game->History(), seats[i]->game->History());
        EXPECT_EQ(seats[i]->game->Winners(), seats[1]->game->Winners());
    }
    seats[0]->game->SetOrdersInterface(nullptr);
}

TEST_F(CampaignFlow, AHostLostMidYearOrAtItsEndHandsTheCampaignToItsSuccessorWhoGoesOnAsItWould) {
    uint32_t lostAt = 0;
    const auto played = [&](bool loseTheHost, DirectLog& history, uint8_t& won) {
        RandomSeed(2024);
        ASSERT_NO_FATAL_FAILURE(MakeSession(3, -2));
        ASSERT_NO_FATAL_FAILURE(OpenScreens(false));
        Script(3, Aggressive);
        const int8_t hostNation = seats[0]->Self().nation;
        ThenComputer standIn(lostAt, hostNation);
        if (!loseTheHost)
            seats[0]->game->SetOrdersInterface(&standIn);
        for (auto& player : players)
            player->leaveAtEnd = false;
        // The game that goes on just passes the status. In the other, the host stops as the
        // status begins (its computer's orders, which the successor's computer gives alike,
        // never leave) and the others finish it, their orders sent to the old host: a host that
        // ran on would resolve it in the frame it saw the last of them ready.
        ASSERT_TRUE(RunUntil([&] {
            Seat& host = *seats[0];
            const uint32_t hostStatus = host.network->LocalStatus() & ~1u;
            if (!loseTheHost)
                return hostStatus > lostAt;
            if (hostStatus == lostAt)
                host.paused = true;
            if (!host.paused)
                return false;
            for (size_t i = 1; i < seats.size(); ++i) {
                if (seats[i]->game->HeldStatus() != lostAt ||
                    (seats[i]->network->LocalStatus() & 1) == 0)
                    return false;
            }
            return true;
        }));
        if (loseTheHost) {
            Seat& host = *seats[0];
            host.paused = true;
            for (size_t i = 1; i < 3; ++i)
                host.network->SeverLinkForTest(seats[i]->network->LocalPlayerId());
            // Another machine's generator stands elsewhere: the successor must take the host's.
            for (int i = 0; i < 17; ++i)
                Random(1000);
        }
        Seat& watcher = *seats[1];
        // Until the end, or 1876 with the last year's table in (it follows the year's state).
        ASSERT_TRUE(RunUntil(
            [&] {
                const int32_t year = YearOf(watcher.game->HeldStatus());
                return watcher.game->GameOver() ||
                       (year >= 1876 && watcher.game->History().Count() >= 1 + year - 1870);
            },
            std::chrono::milliseconds(60000)));
        if (loseTheHost) {
            EXPECT_EQ(seats[1]->game->TakeOvers(), 1);
            EXPECT_TRUE(seats[1]->network->IsHost());
            for (size_t i = 1; i < 3; ++i) {
                EXPECT_FALSE(seats[i]->game->Disconnected()) << i;
                EXPECT_EQ(seats[i]->game->ComputerNations(), 1u << hostNation) << i;
            }
            ExpectSameHistory(seats[1]->game->History(), seats[2]->game->History());
        }
        const DirectLog& seen = watcher.game->History();
        for (int i = 0; i < seen.Count(); ++i)
            history.Append(*seen.TableAt(i), *seen.InfosAt(i));
        won = watcher.game->Winners();
        for (auto& seat : seats) {
            if (seat->game)
                seat->game->SetOrdersInterface(nullptr);
            seat->game.reset();
        }
        seats.clear();
        players.clear();
    };
    // In 1870's "Mouvements", and in its "Bilan", where the host closes the year and measures
    // it.
    for (const uint32_t status : {4u + 8u, 4u + 20u}) {
        SCOPED_TRACE(PhaseName(status));
        lostAt = status;
        DirectLog uninterrupted, handedOver;
        uint8_t wonUninterrupted = 0, wonHandedOver = 0;
        ASSERT_NO_FATAL_FAILURE(played(false, uninterrupted, wonUninterrupted));
        ASSERT_NO_FATAL_FAILURE(played(true, handedOver, wonHandedOver));
        ASSERT_GE(handedOver.Count(), 3);
        // The successor resolved the status the old host never resolved, and every status
        // after, exactly as the old host and its computer would have.
        ExpectSameHistory(handedOver, uninterrupted);
        EXPECT_EQ(wonHandedOver, wonUninterrupted);
    }
}

TEST_F(CampaignFlow, TheLastNationStandingWinsOnEveryPlayer) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2, -1));
    OpenScreens(true);  // the end panels are looked at
    // The host's nation builds boats and troops in 1870 and takes the other capital by sea in
    // 1871; the other player gives no orders.
    const int8_t defender = seats[1]->Self().nation;
    Script(2, [defender](const TurnView& view, std::vector<Order>& orders) {
        const int capital = CapitalOf(*view.state, view.nation);
        const int target = CapitalOf(*view.state, defender);
        if (view.nation == defender || capital < 0 || target < 0)
            return;
        const auto home = static_cast<uint8_t>(capital);
        if (view.step == CampaignStep::Purchases && YearOf(view.status) == 1870) {
            orders.push_back({OrderKind::Recruit, home, 0, 120});
            orders.push_back({OrderKind::Boats, home, 0, 2});
        } else if (view.step == CampaignStep::Moves && YearOf(view.status) == 1871) {
            orders.push_back({OrderKind::Move, home, static_cast<uint8_t>(target),
                              std::min(200, view.state->table[home].army)});
        }
    });
    for (auto& player : players)
        player->leaveAtEnd = false;
    ASSERT_TRUE(RunUntil([&] { return seats[0]->game->GameOver() && seats[1]->game->GameOver(); },
                         std::chrono::milliseconds(30000)));
    const int8_t attacker = seats[0]->Self().nation;
    for (auto& seat : seats) {
        EXPECT_EQ(seat->game->Winners(), 1u << attacker);
        EXPECT_EQ(YearOf(seat->network->LocalStatus()), 1871);
        EXPECT_FALSE(seat->game->Disconnected());
    }
    EXPECT_EQ(CapitalOf(seats[1]->game->HeldState(), defender), -1);
    // The winner sees the victory panel, the other the defeat panel, over the board.
    Frames(5);
    auto panelPixels = [](Seat& seat) {
        std::vector<uint32_t> picture;
        seat.screen->ReadPicture(picture);
        return picture;
    };
    const std::vector<uint32_t> victory = panelPixels(*seats[0]);
    const std::vector<uint32_t> defeat = panelPixels(*seats[1]);
    ASSERT_EQ(victory.size(), 640u * 480u);
    ASSERT_EQ(defeat.size(), victory.size());
    size_t differ = 0;
    for (int y = 100; y < 380; y += 4) {
        for (int x = 120; x < 520; x += 4) {
            const size_t at = static_cast<size_t>(y) * 640 + static_cast<size_t>(x);
            differ += victory[at] != defeat[at];
        }
    }
    EXPECT_GT(differ, 70u * 100u * 3 / 4) << "two different panels";
    if (const char* folder = std::getenv("TORVANE_GAME_SHOTS")) {
        seats[0]->screen->SaveScreenshot(std::string(folder) + "/victory.png");
        seats[1]->screen->SaveScreenshot(std::string(folder) + "/defeat.png");
    }
    // A Return meant for the last phase, pressed as the panel comes up, leaves it up; one
    // pressed once the player has seen it closes it.
    Seat& loser = *seats[1];
    Press(loser, kReturn);
    Frames(10);
    EXPECT_FALSE(loser.game->Leaving());
    Frames(90);
    Press(loser, kReturn);
    EXPECT_TRUE(loser.game->Leaving());
    ASSERT_TRUE(RunUntil([&] { return loser.code == 4; }));
    // The winner closes its panel by script and leaves for the browser too; the first to leave
    // is no loss to the other.
    players[0]->leaveAtEnd = true;
    ASSERT_TRUE(RunUntil([&] { return seats[0]->code == 4; }));
    for (auto& seat : seats)
        EXPECT_FALSE(seat->game->Disconnected());
}

}  // namespace

namespace {

// Computer players for every nation, as a table full of them plays: each decides from its seed
// and what it sees, whenever it was started.
struct ComputerTable {
    std::array<std::unique_ptr<ComputerPlayer>, NationCount> players;
    void Plan(const TurnView& view, std::vector<Order>& orders) {
        auto& player = players[static_cast<size_t>(view.nation)];
        if (!player) {
            // The seed the host gives the computer that stands in for a nation.
            player = std::make_unique<ComputerPlayer>(
                ComputerLevel::Medium, 0x5EA7ED00u + static_cast<uint64_t>(view.nation));
        }
        player->Decide(view, orders);
    }
};

}  // namespace

TEST_F(CampaignFlow, ASavedYearTakenUpAgainPlaysOnToTheSameTablesAsTheGameThatWentOn) {
    constexpr int32_t kSavedYear = 1874;
    constexpr int32_t kLastYear = 1880;
    std::string saveFolder =
        (std::filesystem::temp_directory_path() / "torvane-saves-XXXXXX").string();
    ASSERT_NE(::mkdtemp(saveFolder.data()), nullptr);
    struct Folder {
        std::string path;
        ~Folder() {
            std::error_code error;
            std::filesystem::remove_all(path, error);
        }
    } cleanup{saveFolder};
    // Each machine saves in a folder of its own.
    std::vector<std::unique_ptr<platform::SaveStore>> stores;
    for (int i = 0; i < 3; ++i) {
        const std::string folder = saveFolder + "/P" + std::to_string(i);
        stores.push_back(std::make_unique<platform::SaveStore>(folder));
    }
    // Until the end, or `kLastYear` with the last year's table in.
    const auto until = [&](int32_t last, Seat& watcher) {
        return RunUntil(
            [&] {
                const int32_t year = YearOf(watcher.game->HeldStatus());
                return watcher.game->GameOver() ||
                       (year >= last && watcher.game->History().Count() >= 1 + year - 1870);
            },
            std::chrono::milliseconds(90000));
    };
    const auto close = [&] {
        for (auto& seat : seats) {
            if (seat->game)
                seat->game->SetOrdersInterface(nullptr);
            seat->game.reset();
        }
        seats.clear();
        players.clear();
    };
    const auto copy = [](const DirectLog& from, DirectLog& to) {
        for (int i = 0; i < from.Count(); ++i)
            to.Append(*from.TableAt(i), *from.InfosAt(i));
    };
    ComputerTable first;
    const auto start = [&](int count, ComputerTable& table,
                           std::shared_ptr<const SavedGame> resumed) {
        ASSERT_NO_FATAL_FAILURE(MakeSession(count, -2, {}, std::move(resumed)));
        ASSERT_NO_FATAL_FAILURE(OpenScreens(false));
        Script(static_cast<size_t>(count),
               [&table](const TurnView& view, std::vector<Order>& orders) {
                   table.Plan(view, orders);
               });
        for (size_t i = 0; i < seats.size(); ++i) {
            seats[i]->game->SetSaveStore(stores[i].get());
            players[i]->leaveAtEnd = false;
        }
    };

    // The game that goes on.
    RandomSeed(2024);
    DirectLog wentOn;
    uint8_t wonWentOn = 0;
    ASSERT_NO_FATAL_FAILURE(start(3, first, nullptr));
    ASSERT_TRUE(until(kLastYear, *seats[1]));
    copy(seats[1]->game->History(), wentOn);
    wonWentOn = seats[1]->game->Winners();
    ASSERT_GT(wentOn.Count(), 1 + kSavedYear - 1870) << "the game ended before the saved year";
    close();

    // The same game, stopped at the start of the saved year on every machine.
    RandomSeed(2024);
    ComputerTable second;
    ASSERT_NO_FATAL_FAILURE(start(3, second, nullptr));
    const uint64_t gameId = seats[0]->network->SessionId();
    ASSERT_TRUE(until(kSavedYear, *seats[1]));
    ASSERT_TRUE(RunUntil([&] {
        for (auto& seat : seats) {
            if (YearOf(seat->game->HeldStatus()) < kSavedYear ||
                seat->game->History().Count() < 1 + kSavedYear - 1870)
                return false;
        }
        return true;
    }));
    Frames(2);
    close();
    std::vector<SavedGame> saved(3);
    for (size_t i = 0; i < 3; ++i) {
        std::string error;
        const std::optional<std::vector<uint8_t>> bytes = stores[i]->Load(gameId, &error);
        ASSERT_TRUE(bytes.has_value()) << i << ": " << error;
        ASSERT_TRUE(DecodeSavedGame(*bytes, saved[i], &error)) << i << ": " << error;
        EXPECT_EQ(SavedYearOf(saved[i]), kSavedYear) << i;
        EXPECT_EQ(saved[i].gameId, gameId);
    }
    // Every machine saved the same game (in the same second or not).
    for (size_t i = 1; i < 3; ++i) {
        saved[i].savedAt = saved[0].savedAt;
        EXPECT_TRUE(saved[i] == saved[0]) << i;
    }
    // Another machine's generator stands elsewhere: the saved one must be taken.
    for (int i = 0; i < 23; ++i)
        Random(1000);

    // Taken up again by its host with one of its players; the third nation nobody takes is the
    // host's computer's, which plays it as its computer player did.
    ComputerTable third;
    ASSERT_NO_FATAL_FAILURE(start(2, third, std::make_shared<SavedGame>(saved[0])));
    EXPECT_EQ(seats[0]->network->SessionId(), gameId);
    ASSERT_TRUE(RunUntil([&] {
        return seats[0]->game->GetMode() != GameState::Waiting &&
               seats[1]->game->GetMode() != GameState::Waiting;
    }));
    const int8_t absent = saved[0].nations[5].government >= 0 ? 5 : -1;
    ASSERT_EQ(absent, 5);  // P2's Russie
    for (auto& seat : seats) {
        EXPECT_TRUE(seat->game->Resumed());
        EXPECT_EQ(seat->game->ComputerNations(), 1u << absent);
        EXPECT_EQ(YearOf(seat->game->HeldStatus()), kSavedYear);
        EXPECT_EQ(seat->game->History().Count(), 1 + kSavedYear - 1870);
    }
    EXPECT_EQ(seats[1]->game->LocalNation(), 0);  // P1 took the nation saved under its name
    ASSERT_TRUE(until(kLastYear, *seats[1]));
    // The host holds the last table too (it reaches the host through its own queue).
    ASSERT_TRUE(RunUntil(
        [&] { return seats[0]->game->History().Count() >= seats[1]->game->History().Count(); }));
    ExpectSameHistory(seats[1]->game->History(), wentOn);
    ExpectSameHistory(seats[0]->game->History(), wentOn);
    EXPECT_EQ(seats[1]->game->Winners(), wonWentOn);
    // The game is saved again under its own id, a year on; a game that is over is not kept.
    std::string error;
    const std::optional<std::vector<uint8_t>> again = stores[1]->Load(gameId, &error);
    if (wonWentOn != 0) {
        EXPECT_FALSE(again.has_value());
    } else {
        ASSERT_TRUE(again.has_value()) << error;
        SavedGame later;
        ASSERT_TRUE(DecodeSavedGame(*again, later, &error)) << error;
        EXPECT_EQ(SavedYearOf(later), kLastYear);
    }
    close();
}
