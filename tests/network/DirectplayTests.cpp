// Several network engines in one process on loopback: hosting, searching, joining, the players
// table, the phase protocol, game messages, admission and host migration.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "NetworkTestSupport.h"
#include "support/TestSupport.h"

using namespace torvane;
using nettest::FindHost;
using nettest::Names;
using nettest::Player;
using nettest::WaitFor;

namespace {

class SessionTest : public testing::Test {
  protected:
    platform::PeerOptions options = nettest::PrivateOptions();
    std::vector<std::unique_ptr<Player>> players;
    testsupport::ErrorBoxes errors;

    Player& Add(const std::string& name) {
        players.push_back(std::make_unique<Player>(name, options));
        return *players.back();
    }

    std::vector<DirectPlay*> Engines() {
        std::vector<DirectPlay*> engines;
        for (auto& p : players) {
            if (p->engine)
                engines.push_back(p->engine.get());
        }
        return engines;
    }

    bool TablesHold(int count) {
        for (auto* engine : Engines()) {
            if (engine->PlayerCount() != count)
                return false;
        }
        return true;
    }

    // A session of `count` players named P0 (host), P1, ...
    void MakeSession(int count) {
        ASSERT_TRUE(Add("P0").engine->HostGame("Partie"));
        Player& first = Add("P1");
        const HostAddress host = FindHost(*first.engine);
        ASSERT_TRUE(first.engine->JoinGame(host));
        for (int i = 2; i < count; ++i) {
            ASSERT_TRUE(Add("P" + std::to_string(i)).engine->JoinGame(host)) << i;
        }
        ASSERT_TRUE(WaitFor([&] { return TablesHold(count); }));
    }
};

TEST_F(SessionTest, HostWithEmptyNameIsFoundUnderThePlayersNameAndVersion) {
    Player& host = Add("Albert");
    EXPECT_FALSE(host.engine->IsHost());  // nothing reported yet
    ASSERT_TRUE(host.engine->HostGame(""));
    EXPECT_TRUE(host.engine->IsHost());
    EXPECT_EQ(host.engine->PlayerCount(), 1);
    PlayerInfo self;
    ASSERT_TRUE(host.engine->CopyPlayer(host.engine->LocalPlayerId(), self));
    EXPECT_EQ(self.Name(), "Albert");
    EXPECT_EQ(self.playerId, host.engine->LocalPlayerId());

    Player& browser = Add("Bea");
    browser.engine->EnumerateGames("");  // this machine: broadcast is off in tests
    // Reached on the shared discovery port and on its own port, it is listed once.
    ASSERT_EQ(browser.engine->PartyCount(), 1);
    const EnumeratedParty* party = browser.engine->GetParty(0);
    ASSERT_NE(party, nullptr);
    EXPECT_EQ(party->version, "3.00a");
    EXPECT_EQ(party->gameName, "Albert");
    EXPECT_EQ(party->currentPlayers, 1);
    EXPECT_GE(party->latency, 0);
    EXPECT_LT(party->latency, 250);
    EXPECT_EQ(browser.engine->GetParty(1), nullptr);
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(SessionTest, GameNameOfTwoWordsStaysWholeAndSearchesForgetEarlierResults) {
    ASSERT_TRUE(Add("Host").engine->HostGame("Grande Guerre"));
    Player& browser = Add("Bea");
    browser.engine->EnumerateGames("localhost");
    ASSERT_EQ(browser.engine->PartyCount(), 1);
    EXPECT_EQ(browser.engine->GetParty(0)->gameName, "Grande Guerre");
    EXPECT_EQ(browser.engine->GetParty(0)->version, "3.00a");
    browser.engine->EnumerateGames("localhost");
    EXPECT_EQ(browser.engine->PartyCount(), 1);
    players[0].reset();  // the host leaves
    browser.engine->EnumerateGames("localhost");
    EXPECT_EQ(browser.engine->PartyCount(), 0);
}

TEST_F(SessionTest, SeveralHostsOnOneMachineAreAllFound) {
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(Add("H" + std::to_string(i)).engine->HostGame(""));
    Player& browser = Add("Bea");
    browser.engine->EnumerateGames("");
    ASSERT_EQ(browser.engine->PartyCount(), 3);
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i)
        names.push_back(browser.engine->GetParty(i)->gameName);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"H0", "H1", "H2"}));
}

TEST_F(SessionTest, UnknownHostNameFailsWithAMessageAndNoParties) {
    Player& browser = Add("Bea");
    browser.engine->EnumerateGames("no-such-host.invalid");
    EXPECT_EQ(browser.engine->PartyCount(), 0);
    ASSERT_EQ(errors.texts.size(), 1u);
    EXPECT_EQ(errors.texts[0], "Impossible d'énumérer les parties.");
}

TEST_F(SessionTest, JoinedPlayersAppearInEveryTableWithHostAndLocalIds) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3));
    const int32_t hostId = players[0]->engine->LocalPlayerId();
    for (auto& p : players) {
        EXPECT_EQ(Names(*p->engine), (std::vector<std::string>{"P0", "P1", "P2"}));
        EXPECT_EQ(p->engine->HostPlayerId(), hostId);
        EXPECT_NE(p->engine->LocalPlayerId(), 0);
        EXPECT_EQ(p->engine->IsHost(), p.get() == players[0].get());
        PlayerInfo self;
        ASSERT_TRUE(p->engine->CopyPlayer(p->engine->LocalPlayerId(), self));
        EXPECT_EQ(self.playerId, p->engine->LocalPlayerId());
    }
    // Every player was reported joined once on the host, the host itself first.
    ASSERT_TRUE(WaitFor([&] { return players[0]->listener.joined.size() >= 3; },
                        std::chrono::milliseconds(2000), Engines()));
    EXPECT_EQ(players[0]->listener.joined, (std::vector<std::string>{"P0", "P1", "P2"}));
    // The last joiner saw everyone, itself included, when its join completed.
    std::vector<std::string> seen = players[2]->listener.joined;
    WaitFor([&] { return false; }, std::chrono::milliseconds(50), Engines());
    seen = players[2]->listener.joined;
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"P0", "P1", "P2"}));
    // Latency is measured for remote players once heartbeats have gone round.
    EXPECT_TRUE(WaitFor(
        [&] { return players[1]->engine->GetLatency(players[0]->engine->LocalPlayerId()) >= 0; }));
    EXPECT_EQ(players[1]->engine->GetLatency(12345), -1);
}

TEST_F(SessionTest, PublishedRecordsReachEveryTable) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(4));
    DirectPlay& third = *players[2]->engine;
    PlayerInfo mine;
    ASSERT_TRUE(third.CopyPlayer(third.LocalPlayerId(), mine));
    mine.nation = 5;
    mine.government = 2;
    ASSERT_TRUE(third.PublishLocalPlayer(mine));
    // The own table has it at once.
    PlayerInfo copy;
    ASSERT_TRUE(third.CopyPlayer(third.LocalPlayerId(), copy));
    EXPECT_EQ(copy.nation, 5);
    const int32_t id = third.LocalPlayerId();
    EXPECT_TRUE(WaitFor([&] {
        for (auto* engine : Engines()) {
            PlayerInfo seen;
            if (!engine->CopyPlayer(id, seen) || seen.nation != 5 || seen.government != 2) {
                return false;
            }
        }
        return true;
    }));
    // Table positions stay where they were.
    EXPECT_EQ(players[0]->engine->PlayerCount(), 4);
}

TEST_F(SessionTest, CopyPlayerOfAnUnknownIdLeavesTheRecordUntouched) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    PlayerInfo record;
    record.SetName("Intact");
    record.nation = 3;
    const PlayerInfo before = record;
    EXPECT_FALSE(players[0]->engine->CopyPlayer(987654, record));
    EXPECT_EQ(record, before);
    EXPECT_FALSE(players[0]->engine->CopyPlayerAt(2, record));
    EXPECT_EQ(record, before);
}

TEST_F(SessionTest, PhaseProtocolMovesEveryoneFromLobbyIntoTheGameAndOn) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3));
    DirectPlay& host = *players[0]->engine;
    auto engines = Engines();
    const auto allSee = [&](uint32_t status) {
        for (auto* engine : engines) {
            PlayerInfo record;
            for (uint8_t i = 0; engine->CopyPlayerAt(i, record); ++i) {
                if (record.syncStatus != status)
                    return false;
            }
        }
        return true;
    };
    for (uint32_t phase = 0; phase < 3; ++phase) {
        // Nobody ready: the host cannot advance.
        EXPECT_FALSE(host.AllReady());
        EXPECT_FALSE(host.AdvancePhase());
        EXPECT_EQ(host.LocalStatus(), phase * 2);
        for (auto* engine : engines)
            engine->SetReady();
        ASSERT_TRUE(WaitFor([&] { return allSee(phase * 2 + 1); })) << phase;
        EXPECT_TRUE(host.AllReady());
        // A non-host cannot advance the phase.
        EXPECT_FALSE(players[1]->engine->AdvancePhase());
        EXPECT_EQ(players[1]->engine->LocalStatus(), phase * 2 + 1);
        EXPECT_TRUE(host.AdvancePhase());
        EXPECT_EQ(host.LocalStatus(), phase * 2 + 2);
        // The others follow the host's new phase, not ready.
        ASSERT_TRUE(WaitFor([&] {
            for (auto* engine : engines) {
                if (engine != &host)
                    engine->FollowHostPhase();
            }
            return allSee(phase * 2 + 2);
        })) << phase;
        EXPECT_FALSE(players[2]->engine->FollowHostPhase());
    }
}

TEST_F(SessionTest, APlayerBehindMakesAllReadyFalseWhateverItsReadyBit) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3));
    DirectPlay& host = *players[0]->engine;
    for (auto* engine : Engines())
        engine->SetReady();
    ASSERT_TRUE(WaitFor([&] { return host.AllReady(); }));
    host.AdvancePhase();  // host now in phase 1, not ready; others ready in phase 0
    EXPECT_FALSE(host.AllReady());
    host.SetReady();
    EXPECT_EQ(host.LocalStatus(), 3u);
    // The others are still ready in phase 0 until they follow.
    EXPECT_FALSE(host.AllReady());
    const int32_t hostId = host.LocalPlayerId();
    ASSERT_TRUE(WaitFor([&] {
        PlayerInfo seen;
        return players[1]->engine->CopyPlayer(hostId, seen) && seen.syncStatus == 3u;
    }));
    players[1]->engine->ClearReady();  // follows the host instead of withdrawing
    EXPECT_EQ(players[1]->engine->LocalStatus(), 2u);
}

TEST_F(SessionTest, TerritoryTableReachesEveryListenerTheSenderIncluded) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3));
    TerritoryTable table{};
    table[0].owner = 4;
    table[0].wealth = 300000;
    table[0].reserve = 5;
    table[103].army = 77;
    table[50].owner = static_cast<int8_t>(-100);
    players[0]->engine->SendTerritoryTable(table);
    ASSERT_TRUE(WaitFor(
        [&] {
            return std::all_of(players.begin(), players.end(),
                               [](auto& p) { return p->listener.tables.size() == 1; });
        },
        std::chrono::milliseconds(3000), Engines()));
    for (auto& p : players)
        EXPECT_EQ(p->listener.tables[0], table);
}

TEST_F(SessionTest, ObjectiveReachesOnlyItsPlayer) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3));
    players[0]->engine->SendObjective(players[2]->engine->LocalPlayerId(), 4);
    players[0]->engine->SendObjective(players[0]->engine->LocalPlayerId(), 0);
    ASSERT_TRUE(WaitFor(
        [&] {
            return players[2]->listener.bytes.size() == 1 && players[0]->listener.bytes.size() == 1;
        },
        std::chrono::milliseconds(3000), Engines()));
    WaitFor([] { return false; }, std::chrono::milliseconds(100), Engines());
    EXPECT_EQ(players[2]->listener.bytes, std::vector<uint8_t>{4});
    EXPECT_EQ(players[0]->listener.bytes, std::vector<uint8_t>{0});
    EXPECT_TRUE(players[1]->listener.bytes.empty());
}

TEST_F(SessionTest, MessagesWithoutAListenerAreDroppedButTheTableIsKept) {
    ASSERT_TRUE(Add("P0").engine->HostGame("Partie"));
    // A joiner whose screens never registered (the browser): messages are dropped.
    DirectPlay browser("Navigateur", options);
    ASSERT_TRUE(browser.JoinGame(FindHost(browser)));
    ASSERT_TRUE(WaitFor([&] { return browser.PlayerCount() == 2; }));
    players[0]->engine->SendObjective(browser.LocalPlayerId(), 2);
    PlayerInfo record;
    ASSERT_TRUE(players[0]->engine->CopyPlayer(players[0]->engine->LocalPlayerId(), record));
    record.nation = 1;
    players[0]->engine->PublishLocalPlayer(record);
    ASSERT_TRUE(WaitFor([&] {
        PlayerInfo seen;
        return browser.CopyPlayer(players[0]->engine->LocalPlayerId(), seen) && seen.nation == 1;
    }));
    nettest::RecordingListener late;
    browser.SetListener(&late);
    WaitFor([] { return false; }, std::chrono::milliseconds(100), {&browser});
    EXPECT_TRUE(late.bytes.empty());
    browser.ClearListener(&late);
}

TEST_F(SessionTest, WhatArrivesBetweenTwoScreensReachesTheNextOne) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    Player& second = *players[1];
    // The lobby leaves: what the host sends meanwhile is the game screen's.
    second.engine->ClearListener(&second.listener);
    const TerritoryTable table{};
    players[0]->engine->SendTerritoryTable(table);
    players[0]->engine->SendObjective(second.engine->LocalPlayerId(), 3);
    WaitFor([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_TRUE(second.listener.bytes.empty());  // nobody was called meanwhile
    nettest::RecordingListener game;
    second.engine->SetListener(&game);
    ASSERT_TRUE(WaitFor([&] { return game.bytes.size() == 1; }, std::chrono::milliseconds(2000),
                        {second.engine.get()}));
    EXPECT_EQ(game.bytes[0], 3);
    EXPECT_EQ(game.tables.size(), 1u);
    second.engine->ClearListener(&game);
    second.engine->SetListener(&second.listener);
}

TEST_F(SessionTest, StoppingAdmissionHidesTheSessionAndRefusesALateJoin) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    Player& late = Add("Late");
    const HostAddress host = FindHost(*late.engine);
    players[0]->engine->StopAcceptingPlayers();
    late.engine->EnumerateGames("127.0.0.1");
    EXPECT_EQ(late.engine->PartyCount(), 0);
    EXPECT_FALSE(late.engine->JoinGame(host));
    EXPECT_EQ(late.engine->PlayerCount(), 0);
    EXPECT_EQ(players[0]->engine->PlayerCount(), 2);
    EXPECT_EQ(players[1]->engine->PlayerCount(), 2);
    EXPECT_GE(players[0]->engine->SessionStats().refusedConnections, 1u);
}

TEST_F(SessionTest, TheNinthPlayerIsRefused) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(8));
    Player& ninth = Add("P8");
    const HostAddress host = FindHost(*ninth.engine);
    ASSERT_EQ(ninth.engine->GetParty(0)->currentPlayers, 8);
    EXPECT_FALSE(ninth.engine->JoinGame(host));
    players.pop_back();
    EXPECT_TRUE(TablesHold(8));
    for (auto& p : players)
        EXPECT_EQ(Names(*p->engine).size(), 8u);
}

TEST_F(SessionTest, SimultaneousJoinersForTheLastSlotLetExactlyOneIn) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(7));
    Player& a = Add("A");
    Player& b = Add("B");
    const HostAddress host = FindHost(*a.engine);
    std::atomic<int> admitted{0};
    std::thread first([&] { admitted += a.engine->JoinGame(host) ? 1 : 0; });
    std::thread second([&] { admitted += b.engine->JoinGame(host) ? 1 : 0; });
    first.join();
    second.join();
    EXPECT_EQ(admitted.load(), 1);
    Player& out = a.engine->PlayerCount() == 0 ? a : b;
    EXPECT_EQ(out.engine->PlayerCount(), 0);
    ASSERT_TRUE(WaitFor([&] {
        for (auto& p : players) {
            if (p.get() != &out && p->engine->PlayerCount() != 8)
                return false;
        }
        return true;
    }));
}

TEST_F(SessionTest, WhenTheHostLeavesTheOldestPlayerTakesOverAndThePhasesGoOn) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(4));
    const int32_t oldest = players[1]->engine->LocalPlayerId();
    players.erase(players.begin());  // the host closes its engine
    ASSERT_TRUE(WaitFor([&] {
        for (auto& p : players) {
            if (p->engine->HostPlayerId() != oldest || p->engine->PlayerCount() != 3)
                return false;
        }
        return true;
    }));
    EXPECT_TRUE(players[0]->engine->IsHost());
    EXPECT_FALSE(players[1]->engine->IsHost());
    // A graceful departure is no lost connection.
    WaitFor([] { return false; }, std::chrono::milliseconds(50), Engines());
    for (auto& p : players)
        EXPECT_TRUE(p->listener.lost.empty());

    // In the lobby the new host answers searches and admits newcomers.
    Player& late = Add("Late");
    late.engine->EnumerateGames("127.0.0.1");
    ASSERT_EQ(late.engine->PartyCount(), 1);
    EXPECT_EQ(late.engine->GetParty(0)->currentPlayers, 3);
    ASSERT_TRUE(late.engine->JoinGame(late.engine->GetParty(0)->hostAddress));
    ASSERT_TRUE(WaitFor([&] { return TablesHold(4); }));

    DirectPlay& host = *players[0]->engine;
    for (auto* engine : Engines())
        engine->SetReady();
    ASSERT_TRUE(WaitFor([&] { return host.AllReady(); }));
    host.AdvancePhase();
    ASSERT_TRUE(WaitFor([&] {
        for (auto* engine : Engines())
            engine->FollowHostPhase();
        return std::all_of(players.begin(), players.end(),
                           [](auto& p) { return p->engine->LocalStatus() == 2u; });
    }));
}

TEST_F(SessionTest, AGameInProgressStaysClosedWhenItsHostMigrates) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3));
    DirectPlay& host = *players[0]->engine;
    for (auto* engine : Engines())
        engine->SetReady();
    ASSERT_TRUE(WaitFor([&] { return host.AllReady(); }));
    host.StopAcceptingPlayers();
    host.AdvancePhase();
    ASSERT_TRUE(WaitFor([&] {
        for (auto* engine : Engines())
            engine->FollowHostPhase();
        return std::all_of(players.begin(), players.end(),
                           [](auto& p) { return p->engine->LocalStatus() == 2u; });
    }));
    const int32_t oldest = players[1]->engine->LocalPlayerId();
    players.erase(players.begin());
    ASSERT_TRUE(WaitFor([&] { return players[0]->engine->HostPlayerId() == oldest; }));
    // The players that followed the host into the game no longer take newcomers either.
    Player& late = Add("Late");
    late.engine->EnumerateGames("127.0.0.1");
    EXPECT_EQ(late.engine->PartyCount(), 0);
    for (uint32_t port = options.basePort; port <= options.lastPort; ++port) {
        EXPECT_FALSE(late.engine->JoinGame({0x7F000001u, static_cast<uint16_t>(port)})) << port;
    }
    EXPECT_EQ(players[0]->engine->PlayerCount(), 2);
}

TEST_F(SessionTest, LeavingTheListenerBehindIsSafe) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    auto listener = std::make_unique<nettest::RecordingListener>();
    DirectPlay& engine = *players[1]->engine;
    engine.SetListener(listener.get());
    players[0]->engine->SendObjective(engine.LocalPlayerId(), 1);
    ASSERT_TRUE(WaitFor([&] { return false; }, std::chrono::milliseconds(200)) == false);
    // Destroyed before delivery: its queued event goes to the screen that takes over, never to
    // the destroyed one.
    engine.ClearListener(listener.get());
    listener.reset();
    engine.SetListener(&players[1]->listener);
    engine.DeliverEvents();
    EXPECT_EQ(players[1]->listener.bytes, std::vector<uint8_t>{1});
    // Clearing someone else's registration changes nothing.
    nettest::RecordingListener other;
    engine.ClearListener(&other);
    players[0]->engine->SendObjective(engine.LocalPlayerId(), 2);
    EXPECT_TRUE(WaitFor([&] { return players[1]->listener.bytes.size() == 2; },
                        std::chrono::milliseconds(2000), Engines()));
}

}  // namespace

namespace {

TEST_F(SessionTest, MessagesSentJustBeforeLeavingArriveAndTheDepartureIsNormal) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3));
    TerritoryTable table{};
    constexpr int kCount = 200;  // about 580 KB: far more than one socket buffer
    for (int i = 0; i < kCount; ++i) {
        table[0].army = i;
        players[0]->engine->SendTerritoryTable(table);
    }
    // The host leaves at once: what it sent still comes from the host of the moment.
    players.erase(players.begin());
    ASSERT_TRUE(WaitFor([&] { return TablesHold(2); }));
    for (auto& p : players) {
        ASSERT_TRUE(WaitFor([&] { return p->listener.tables.size() == kCount; },
                            std::chrono::milliseconds(3000), Engines()));
        // In order, none lost, and no lost connection reported.
        for (int i = 0; i < kCount; ++i)
            EXPECT_EQ(p->listener.tables[static_cast<size_t>(i)][0].army, i);
        EXPECT_TRUE(p->listener.lost.empty());
    }
}

}  // namespace
