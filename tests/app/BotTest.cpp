// torvane-bot: its command line and nation rules in process, then the program itself as child
// processes against a host held by the test: the lobby, a whole campaign, a computer player lost.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bot/Bot.h"
#include "campaign/Campaign.h"
#include "campaign/Gamerules.h"
#include "game/Game.h"
#include "game/Objectif.h"
#include "game/Random.h"
#include "game/Stategame.h"
#include "lobby/Statepaysgov.h"
#include "network/ChildPeer.h"
#include "network/NetworkTestSupport.h"
#include "support/TestSupport.h"

using namespace torvane;
using namespace std::chrono_literals;

namespace {

PlayerInfo Record(int32_t id, int8_t nation, bool computer = false) {
    PlayerInfo record;
    record.playerId = id;
    record.nation = nation;
    if (computer)
        record.reservedByteA = kComputerPlayerMark;
    return record;
}

bool ExitedCleanly(const nettest::ChildPeer& child) {
    return WIFEXITED(child.RawStatus()) && WEXITSTATUS(child.RawStatus()) == 0;
}

// ---------------------------------------------------------------------------------------------
// In process

TEST(BotCommandLine, ReadsEveryOptionAndRefusesWhatItDoesNotKnow) {
    bot::BotOptions options;
    std::string error;
    const char* full[] = {"--name", "Ordi 3", "--level",   "difficile", "--seed",
                          "123456", "--host", "127.0.0.1", "--port",    "2310"};
    ASSERT_TRUE(bot::ParseArguments(full, options, error)) << error;
    EXPECT_EQ(options.name, "Ordi 3");
    EXPECT_EQ(options.level, ComputerLevel::Hard);
    EXPECT_EQ(options.seed, 123456u);
    EXPECT_EQ(options.host, "127.0.0.1");
    EXPECT_EQ(options.port, 2310);

    bot::BotOptions defaults;
    ASSERT_TRUE(bot::ParseArguments({}, defaults, error));
    EXPECT_EQ(defaults.name, "Ordi");
    EXPECT_EQ(defaults.level, ComputerLevel::Medium);
    EXPECT_TRUE(defaults.host.empty());

    const std::vector<std::vector<const char*>> wrong = {
        {"--name", "Onze lettres"}, {"--name", ""},
        {"--level", "expert"},      {"--seed", "-1"},
        {"--seed", "12a"},          {"--host", "localhost"},
        {"--host", "10.0.0"},       {"--port", "0"},
        {"--port", "65536"},        {"--port"},
        {"--colour", "rouge"},
    };
    for (const auto& arguments : wrong) {
        bot::BotOptions untouched;
        error.clear();
        EXPECT_FALSE(bot::ParseArguments(arguments, untouched, error)) << arguments[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(BotNations, AFreeNationIsNeverOneAnotherRecordHolds) {
    const std::array<PlayerInfo, 4> table = {Record(1, 4), Record(2, 0), Record(3, 6),
                                             Record(9, 4)};
    std::array<int, NationCount> drawn{};
    for (uint64_t seed = 1; seed <= 200; ++seed) {
        RandomGenerator random(seed);
        const int nation = bot::FreeNation(table, 9, random);
        ASSERT_TRUE(nation == 1 || nation == 2 || nation == 3 || nation == 5 || nation == 7)
            << nation;
        ++drawn[static_cast<size_t>(nation)];
    }
    // The draw spreads over every free nation, so that computer players rarely collide.
    for (const int nation : {1, 2, 3, 5, 7})
        EXPECT_GT(drawn[static_cast<size_t>(nation)], 10) << nation;

    std::array<PlayerInfo, NationCount> full;
    for (int i = 0; i < NationCount; ++i)
        full[static_cast<size_t>(i)] = Record(i + 1, static_cast<int8_t>(i));
    RandomGenerator random(5);
    EXPECT_EQ(bot::FreeNation(full, 99, random), -1);
    // Its own nation counts as free for itself.
    EXPECT_EQ(bot::FreeNation(full, 3, random), 2);
}

TEST(BotNations, OfTwoRecordsOnOneNationThePersonKeepsItAndOfTwoComputersTheFirst) {
    const std::array<PlayerInfo, 3> withPerson = {Record(5, 2), Record(7, 2, true),
                                                  Record(8, 3, true)};
    EXPECT_TRUE(bot::MustMoveAway(withPerson, 7));
    EXPECT_FALSE(bot::MustMoveAway(withPerson, 8));

    const std::array<PlayerInfo, 3> computers = {Record(5, 1), Record(7, 3, true),
                                                 Record(8, 3, true)};
    EXPECT_FALSE(bot::MustMoveAway(computers, 7));
    EXPECT_TRUE(bot::MustMoveAway(computers, 8));
    // A person that joined later still keeps the nation.
    const std::array<PlayerInfo, 2> late = {Record(4, 6, true), Record(12, 6)};
    EXPECT_TRUE(bot::MustMoveAway(late, 4));
    const std::array<PlayerInfo, 2> none = {Record(4, -1, true), Record(12, -1)};
    EXPECT_FALSE(bot::MustMoveAway(none, 4));
}

TEST(BotHistory, TheChecksumFollowsEveryTableInOrder) {
    DirectLog a, b, c;
    TerritoryTable first{}, second{};
    second[17].owner = 3;
    second[17].army = 40;
    a.Append(first);
    a.Append(second);
    b.Append(first);
    b.Append(second);
    c.Append(second);
    c.Append(first);
    EXPECT_EQ(bot::HistoryChecksum(a), bot::HistoryChecksum(b));
    EXPECT_NE(bot::HistoryChecksum(a), bot::HistoryChecksum(c));
    DirectLog shorter;
    shorter.Append(first);
    EXPECT_NE(bot::HistoryChecksum(a), bot::HistoryChecksum(shorter));
}

// ---------------------------------------------------------------------------------------------
// The program

// Takes every capital it can reach: recruits all it can pay at home with boats enough, then
// sends its home army, shared out, against every other nation's capital (by sea, or by land from
// a coastal neighbour it took the year before).
class Conqueror : public OrdersInterface {
  public:
    bool Decide(const TurnView& view, std::vector<Order>& orders) override {
        if (!TakesOrders(view.step) || !view.state)
            return true;
        const CampaignState& state = *view.state;
        const int nation = view.nation;
        const int home = Capital(state, nation);
        const Government* government = GovernmentAt(view.government);
        if (home < 0 || !government)
            return true;
        const auto from = static_cast<uint8_t>(home);
        if (view.step == CampaignStep::Purchases) {
            const int64_t treasury = state.ledger.values[Treasury][static_cast<size_t>(nation)];
            const int32_t boatPrice = government->boatValue / kCampaignRules.boatDivisor;
            const int32_t boats = std::max(0, 6 - state.table[from].ownerOnlyA);
            const int64_t left = treasury - int64_t{boats} * boatPrice;
            const int64_t troops = left * kCampaignRules.recruitDivisor / government->armyValue - 1;
            if (boats > 0)
                orders.push_back({OrderKind::Boats, from, 0, boats});
            if (troops > 0)
                orders.push_back({OrderKind::Recruit, from, 0, static_cast<int32_t>(troops)});
        } else if (view.step == CampaignStep::Moves) {
            std::vector<int> targets;
            for (int other = 0; other < NationCount; ++other) {
                const int capital = other == nation ? -1 : Capital(state, other);
                if (capital < 0)
                    continue;
                if (TerritoryAt(capital)->coastal) {
                    targets.push_back(capital);
                    continue;
                }
                const NeighbourList near = NeighboursOf(capital);
                for (int k = 0; k < near.count; ++k) {
                    const int step = near.index[static_cast<size_t>(k)];
                    const TerritoryInfo& land = state.table[static_cast<size_t>(step)];
                    if (land.owner == nation && land.army > 0) {
                        orders.push_back({OrderKind::Move, static_cast<uint8_t>(step),
                                          static_cast<uint8_t>(capital), land.army});
                        break;
                    }
                    if (TerritoryAt(step)->coastal && land.owner < 0) {
                        targets.push_back(step);
                        break;
                    }
                }
            }
            const int32_t army = state.table[from].army;
            if (!targets.empty() && army >= static_cast<int32_t>(targets.size())) {
                const int32_t share = army / static_cast<int32_t>(targets.size());
                for (const int target : targets)
                    orders.push_back({OrderKind::Move, from, static_cast<uint8_t>(target), share});
            }
        }
        return true;
    }
    bool CloseEnd() override { return leaveAtEnd; }
    bool leaveAtEnd = true;

  private:
    static int Capital(const CampaignState& state, int nation) {
        for (int i = 0; i < TerritoryCount; ++i) {
            const TerritoryInfo& entry = state.table[static_cast<size_t>(i)];
            if (entry.owner == nation && entry.wealth == kCapitalWealth)
                return i;
        }
        return -1;
    }
};

// Ready at once, never an order.
class Passive : public OrdersInterface {
  public:
    bool Decide(const TurnView&, std::vector<Order>&) override { return true; }
};

class BotProgram : public testing::Test {
  protected:
    void SetUp() override {
        BuildObjectives();
        RandomSeed(77);
        // The computer players' own ports stay in this test's private range.
        ::setenv("TORVANE_PORT", std::to_string(options.basePort).c_str(), 1);
        ::setenv("TORVANE_DISCOVERY_PORT", std::to_string(options.discoveryPort).c_str(), 1);
        // Seat tokens, the host's and the computer players', go to a folder of this test's.
        std::string pattern =
            (std::filesystem::temp_directory_path() / "torvane-state-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        stateFolder = pattern;
        if (const char* before = std::getenv("XDG_STATE_HOME"))
            stateBefore = before;
        ::setenv("XDG_STATE_HOME", stateFolder.c_str(), 1);
        host = std::make_unique<DirectPlay>("Hote", options);
        ASSERT_TRUE(host->HostGame("Partie"));
        ASSERT_GT(host->ListenPort(), 0);
    }
    void TearDown() override {
        game.reset();
        for (auto& bot : bots)
            bot->Kill();
        bots.clear();
        host.reset();
        guest.reset();
        DestroyObjectives();
        ::unsetenv("TORVANE_PORT");
        ::unsetenv("TORVANE_DISCOVERY_PORT");
        if (stateBefore) {
            ::setenv("XDG_STATE_HOME", stateBefore->c_str(), 1);
        } else {
            ::unsetenv("XDG_STATE_HOME");
        }
        std::error_code error;
        if (!stateFolder.empty())
            std::filesystem::remove_all(stateFolder, error);
    }
    std::string stateFolder;
    std::optional<std::string> stateBefore;

    // At the level F3 starts them at unless said otherwise: "moyen" plays by exact odds, with no
    // chance in its decisions, so that a world the computer players happen to share is always
    // played to the same end.
    nettest::ChildPeer& StartBot(const std::string& name, int seed,
                                 const std::string& level = "moyen") {
        bots.push_back(std::make_unique<nettest::ChildPeer>(
            TORVANE_BOT, std::vector<std::string>{
                             "--host", "127.0.0.1", "--port", std::to_string(host->ListenPort()),
                             "--name", name, "--seed", std::to_string(seed), "--level", level}));
        EXPECT_TRUE(bots.back()->Started());
        return *bots.back();
    }

    static void Choose(DirectPlay& network, int8_t nation, int8_t government) {
        PlayerInfo record;
        ASSERT_TRUE(network.CopyPlayer(network.LocalPlayerId(), record));
        record.nation = nation;
        record.government = government;
        ASSERT_TRUE(network.PublishLocalPlayer(record));
    }

    std::vector<PlayerInfo> Table(const DirectPlay& network) const {
        std::vector<PlayerInfo> table;
        PlayerInfo record;
        while (network.CopyPlayerAt(static_cast<uint8_t>(table.size()), record))
            table.push_back(record);
        return table;
    }
    PlayerInfo Named(const std::string& name) const {
        for (const PlayerInfo& record : Table(*host)) {
            if (record.Name() == name)
                return record;
        }
        return PlayerInfo{};
    }

    // Everybody ready on nations of their own: the host starts the game and opens its screen.
    void StartGame(size_t players, OrdersInterface& orders) {
        host->SetReady();
        ASSERT_TRUE(nettest::WaitFor(
            [&] {
                const std::vector<PlayerInfo> table = Table(*host);
                return table.size() == players && host->AllReady() &&
                       SharedNations(table, false) == 0;
            },
            20s));
        host->StopAcceptingPlayers();
        ASSERT_TRUE(host->AdvancePhase());
        game = std::make_unique<GameState>(nullptr, nullptr, nullptr, &host);
        game->SetOrdersInterface(&orders);
    }

    // The host's players table, for a failure to say who waits for whom.
    std::string Table() {
        std::string text;
        PlayerInfo record;
        for (uint8_t i = 0; host && host->CopyPlayerAt(i, record); ++i) {
            text += record.Name() + " (id " + std::to_string(record.playerId) + ", nation " +
                    std::to_string(record.nation) + ", status " +
                    std::to_string(record.syncStatus) + ") ";
        }
        return text + "computer nations " + std::to_string(game->ComputerNations());
    }

    // Host frames until `done` holds or `limit` passes.
    bool RunHost(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        return testsupport::StepUntil(
            done,
            [this] {
                if (code == 0)
                    code = game->Run();
                std::this_thread::sleep_for(2ms);
            },
            limit);
    }

    platform::PeerOptions options = nettest::PrivateOptions();
    std::unique_ptr<DirectPlay> host;
    std::unique_ptr<DirectPlay> guest;
    std::unique_ptr<GameState> game;
    int32_t code = 0;
    std::vector<std::unique_ptr<nettest::ChildPeer>> bots;
};

TEST_F(BotProgram, JoinsTakesAFreeNationBecomesReadyAndMovesAwayFromAClash) {
    // The host holds France, a person Irak.
    Choose(*host, 4, 0);
    guest = std::make_unique<DirectPlay>("Joueur", options);
    ASSERT_TRUE(guest->JoinGame({0x7F000001u, host->ListenPort()}));
    Choose(*guest, 0, 2);
    ASSERT_TRUE(nettest::WaitFor([&] { return Named("Joueur").nation == 0; }));

    nettest::ChildPeer& bot = StartBot("Ordi 1", 3);
    std::string line;
    ASSERT_TRUE(bot.WaitLine("JOINED", 10s));
    ASSERT_TRUE(bot.WaitLine("NATION", 10s, &line));
    const int nation = std::stoi(line.substr(7));
    EXPECT_NE(nation, 4);
    EXPECT_NE(nation, 0);
    ASSERT_TRUE(bot.WaitLine("READY", 10s));
    // Everybody sees a computer player's record, ready, on that nation, under a government.
    ASSERT_TRUE(nettest::WaitFor([&] {
        const PlayerInfo record = Named("Ordi 1");
        return record.nation == nation && record.IsReady() && record.IsComputer();
    }));
    const PlayerInfo record = Named("Ordi 1");
    EXPECT_GE(record.government, 0);
    EXPECT_LT(record.government, GovernmentCount);
    EXPECT_FALSE(Named("Joueur").IsComputer());

    // The person turns up on the computer player's nation: it takes another free one.
    Choose(*guest, static_cast<int8_t>(nation), 2);
    ASSERT_TRUE(bot.WaitLine("NATION", 10s, &line));
    const int moved = std::stoi(line.substr(7));
    EXPECT_NE(moved, nation);
    EXPECT_NE(moved, 4);
    ASSERT_TRUE(bot.WaitLine("READY", 10s));
    ASSERT_TRUE(nettest::WaitFor([&] {
        const std::vector<PlayerInfo> table = Table(*host);
        return Named("Ordi 1").nation == moved && Named("Ordi 1").IsReady() &&
               SharedNations(table, false) == 0;
    }));

    // The host leaves: the computer player leaves too, and says so.
    host.reset();
    ASSERT_TRUE(bot.WaitLine("FIN deconnecte", 15s));
    ASSERT_TRUE(bot.WaitExit(10s));
    EXPECT_TRUE(ExitedCleanly(bot));
}

TEST_F(BotProgram, ThreeComputerPlayersPlayAWholeCampaignWithTheHostToAVictory) {
    Choose(*host, 4, 1);  // France, an empire
    for (int i = 1; i <= 3; ++i)
        StartBot("Ordi " + std::to_string(i), 10 + i);
    for (auto& bot : bots)
        ASSERT_TRUE(bot->WaitLine("READY", 20s));
    Conqueror conqueror;
    conqueror.leaveAtEnd = false;
    StartGame(4, conqueror);
    std::map<std::string, int8_t> nations;
    for (int i = 1; i <= 3; ++i)
        nations["Ordi " + std::to_string(i)] = Named("Ordi " + std::to_string(i)).nation;

    ASSERT_TRUE(RunHost([&] { return game->GameOver(); }, 80s))
        << "year " << YearOf(host ? host->LocalStatus() : 0)
        << ", nations the host's computer plays " << int{game->ComputerNations()} << ", living "
        << int{LivingNations(game->HeldState(), game->NationGovernments())};
    const uint8_t winners = game->Winners();
    EXPECT_NE(winners, 0);
    // The host stays until every computer player has closed its end panel and said what it saw.
    std::vector<std::string> histories(bots.size()), ends(bots.size());
    ASSERT_TRUE(RunHost(
        [&] {
            for (size_t i = 0; i < bots.size(); ++i) {
                if (histories[i].empty())
                    bots[i]->WaitLine("HISTORY", 10ms, &histories[i]);
                else if (ends[i].empty())
                    bots[i]->WaitLine("FIN", 10ms, &ends[i]);
            }
            return std::none_of(ends.begin(), ends.end(),
                                [](const std::string& end) { return end.empty(); });
        },
        30s))
        << histories[0] << "|" << ends[0] << "|" << histories[1] << "|" << ends[1] << "|"
        << histories[2] << "|" << ends[2] << " code " << code;
    char expected[40];
    std::snprintf(expected, sizeof expected, "HISTORY %016llx",
                  static_cast<unsigned long long>(bot::HistoryChecksum(game->History())));
    EXPECT_GE(game->History().Count(), 2);
    for (size_t i = 0; i < bots.size(); ++i) {
        EXPECT_EQ(histories[i], expected) << "computer player " << i + 1;
        const int8_t nation = nations["Ordi " + std::to_string(i + 1)];
        ASSERT_GE(nation, 0);
        EXPECT_EQ(ends[i], (winners >> nation) & 1u ? "FIN victoire" : "FIN defaite");
        ASSERT_TRUE(bots[i]->WaitExit(10s));
        EXPECT_TRUE(ExitedCleanly(*bots[i]));
    }
    EXPECT_EQ(game->RefusedOrders(), 0u);
    conqueror.leaveAtEnd = true;
    ASSERT_TRUE(RunHost([&] { return code != 0; }, 10s));
    EXPECT_EQ(code, NetworkBrowserCode);
    EXPECT_FALSE(game->Disconnected());
}

TEST_F(BotProgram, AComputerPlayerKilledMidGameIsPlayedOnByTheHostThenComesBackToItsNation) {
    Choose(*host, 4, 0);
    // Easy players leave the game years to run before anybody wins.
    for (int i = 1; i <= 3; ++i)
        StartBot("Ordi " + std::to_string(i), 20 + i, "facile");
    for (auto& bot : bots)
        ASSERT_TRUE(bot->WaitLine("READY", 20s));
    Passive passive;
    StartGame(4, passive);
    const int8_t nation = Named("Ordi 1").nation;
    ASSERT_GE(nation, 0);
    ASSERT_TRUE(RunHost([&] { return game->HeldStatus() >= 4 + 8; }, 30s));
    for (auto& bot : bots)
        ASSERT_TRUE(bot->WaitLine("YEAR 1870", 5s));

    bots[0]->Kill();  // SIGKILL: no goodbye
    ASSERT_TRUE(RunHost([&] { return game->ComputerNations() != 0; }, 20s));
    EXPECT_EQ(game->ComputerNations(), 1u << nation);
    // The year and the next ones go on for everybody left, the host deciding for the lost one.
    ASSERT_TRUE(
        RunHost([&] { return game->GameOver() || YearOf(game->HeldStatus()) >= 1872; }, 60s));
    ASSERT_FALSE(game->GameOver());
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(game->Disconnected());
    for (size_t i = 1; i < bots.size(); ++i) {
        std::string line;
        EXPECT_FALSE(bots[i]->WaitLine("FIN deconnecte", 10ms, &line)) << i;
    }

    // Started again under its name, the computer player finds its seat kept and its nation.
    bots[0]->WaitExit(5s);
    bots[0] = std::make_unique<nettest::ChildPeer>(
        TORVANE_BOT, std::vector<std::string>{"--host", "127.0.0.1", "--port",
                                              std::to_string(host->ListenPort()), "--name",
                                              "Ordi 1", "--seed", "21", "--level", "facile"});
    ASSERT_TRUE(bots[0]->Started());
    ASSERT_TRUE(RunHost([&] { return bots[0]->WaitLine("REJOINED", 10ms); }, 20s));
    std::string line;
    ASSERT_TRUE(RunHost([&] { return bots[0]->WaitLine("NATION", 10ms, &line); }, 20s))
        << "the game is " << (game->GameOver() ? "over" : "on") << " in "
        << YearOf(game->HeldStatus()) << ", status " << game->HeldStatus() << "; " << Table();
    EXPECT_EQ(line, "NATION " + std::to_string(nation));
    ASSERT_TRUE(RunHost([&] { return game->ComputerNations() == 0 || game->GameOver(); }, 30s));
    EXPECT_EQ(Named("Ordi 1").nation, nation);
    // And it plays on with the others, to the end or into the years after.
    const int32_t back = YearOf(game->HeldStatus());
    ASSERT_TRUE(
        RunHost([&] { return game->GameOver() || YearOf(game->HeldStatus()) >= back + 1; }, 60s));
    EXPECT_FALSE(game->Disconnected());
    EXPECT_EQ(game->ComputerNations(), 0u);
}

TEST_F(BotProgram, AHostLostMidGameHandsTheCampaignToAComputerPlayerThatFinishesIt) {
    Choose(*host, 4, 0);
    for (int i = 1; i <= 3; ++i)
        StartBot("Ordi " + std::to_string(i), 30 + i);
    for (auto& bot : bots)
        ASSERT_TRUE(bot->WaitLine("READY", 20s));
    Passive passive;
    StartGame(4, passive);
    ASSERT_TRUE(RunHost([&] { return game->HeldStatus() >= 4 + 8; }, 30s));
    for (auto& bot : bots)
        ASSERT_TRUE(bot->WaitLine("YEAR 1870", 5s));

    // The host's machine falls silent, as if it had died: the oldest computer player takes the
    // session over, and with it the campaign, which the three play to its end.
    for (const PlayerInfo& record : Table(*host)) {
        if (record.playerId != host->LocalPlayerId())
            host->SeverLinkForTest(record.playerId);
    }
    std::vector<std::string> histories(bots.size()), ends(bots.size());
    for (size_t i = 0; i < bots.size(); ++i) {
        ASSERT_TRUE(bots[i]->WaitLine("HISTORY", 90s, &histories[i])) << "computer player " << i;
        ASSERT_TRUE(bots[i]->WaitLine("FIN", 5s, &ends[i]));
        EXPECT_TRUE(ends[i] == "FIN victoire" || ends[i] == "FIN defaite") << ends[i];
        ASSERT_TRUE(bots[i]->WaitExit(10s));
        EXPECT_TRUE(ExitedCleanly(*bots[i]));
    }
    EXPECT_EQ(histories[1], histories[0]);
    EXPECT_EQ(histories[2], histories[0]);
}

TEST_F(BotProgram, SigtermInTheLobbyLeavesTheSessionGracefully) {
    Choose(*host, 4, 0);
    nettest::RecordingListener listener;
    host->SetListener(&listener);
    nettest::ChildPeer& bot = StartBot("Ordi 1", 5);
    ASSERT_TRUE(bot.WaitLine("READY", 10s));
    bot.Signal(SIGTERM);
    ASSERT_TRUE(bot.WaitLine("FIN interrompu", 10s));
    ASSERT_TRUE(bot.WaitExit(10s));
    EXPECT_TRUE(ExitedCleanly(bot));
    ASSERT_TRUE(nettest::WaitFor([&] { return host->PlayerCount() == 1; }, 5s, {host.get()}));
    EXPECT_TRUE(listener.lost.empty()) << "a computer player asked to end is no lost player";
    host->ClearListener(&listener);
}

}  // namespace
