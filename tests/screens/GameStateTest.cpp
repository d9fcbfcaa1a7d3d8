// Game screens of several players in one process on loopback, driven frame by frame on headless
// screens with scripted input and clocks: the start of a game, lost players, a host that leaves,
// hostile messages and the in-game panels.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/Statemain.h"
#include "campaign/Gamerules.h"
#include "game/Objectif.h"
#include "game/Random.h"
#include "game/Stategame.h"
#include "input/Directinput.h"
#include "network/ChildPeer.h"
#include "network/NetworkTestSupport.h"
#include "platform/ScriptedWindow.h"
#include "screen/Directscreen.h"
#include "support/TestSupport.h"

#include "screens/GameSession.h"

using namespace gametest;
using nettest::ChildPeer;

namespace {

TEST_F(GameSession, EveryPlayerStoresItsObjectiveAndReachesTheFirstYearWithOneWorld) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3, -1));
    ASSERT_NO_FATAL_FAILURE(OpenScreens());
    for (auto& seat : seats)
        EXPECT_EQ(seat->game->GetMode(), GameState::Waiting);
    StartGame();
    ASSERT_EQ(seats[0]->game->History().Count(), 1);
    const TerritoryTable world = *seats[0]->game->History().TableAt(0);
    for (auto& seat : seats) {
        EXPECT_EQ(seat->game->History().Count(), 1);
        ASSERT_NE(seat->game->History().TableAt(0), nullptr);
        EXPECT_EQ(*seat->game->History().TableAt(0), world);
        const PlayerInfo self = seat->Self();
        EXPECT_EQ(self.objective, 0);  // "Monde"
        EXPECT_EQ(seat->game->PendingObjective(), 255);
        // Each nation's capital is on its starting territory.
        const TerritoryInfo& capital = world[static_cast<size_t>(StartingTerritory(self.nation))];
        EXPECT_EQ(capital.owner, self.nation);
        EXPECT_EQ(capital.wealth, 300000);
        EXPECT_FALSE(seat->game->Leaving());
    }
    EXPECT_TRUE(seats[0]->game->MapDealt());
    EXPECT_FALSE(seats[1]->game->MapDealt());
    // Every player's table sees every record in phase 2 of the session, status 4.
    for (auto& seat : seats) {
        PlayerInfo record;
        ASSERT_TRUE(WaitFor([&] {
            for (uint8_t i = 0; seat->network->CopyPlayerAt(i, record); ++i) {
                if (record.syncStatus != 4u)
                    return false;
            }
            return true;
        }));
    }
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(GameSession, PersonaliseDealsEachPlayerAnObjectiveFromOneToFour) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3, -2));
    ASSERT_NO_FATAL_FAILURE(OpenScreens(false));
    StartGame();
    for (auto& seat : seats) {
        const int8_t objective = seat->Self().objective;
        EXPECT_GE(objective, 1);
        EXPECT_LE(objective, 4);
        EXPECT_EQ(seat->game->History().Count(), 1);
    }
}

TEST_F(GameSession, APlayerLostWhileWaitingSendsEveryoneBackToTheBrowser) {
    // A third player, in a separate process, joins before the game starts, is never ready and
    // dies without a goodbye, so the others are still waiting for it.
    std::unique_ptr<ChildPeer> child;
    MakeSession(2, -1, [&] {
        child = std::make_unique<ChildPeer>(std::vector<std::string>{
            "join", "--name", "Fantome", "--host", "127.0.0.1", "--discovery",
            std::to_string(options.discoveryPort), "--base", std::to_string(options.basePort),
            "--last", std::to_string(options.lastPort), "--search-ms", "250", "--heartbeat", "100",
            "--timeout", "800"});
        ASSERT_TRUE(child->WaitLine("READY", std::chrono::milliseconds(5000)));
        ASSERT_TRUE(WaitFor([&] { return AllSee(3); }));
    });
    ASSERT_NE(child, nullptr);
    ASSERT_NO_FATAL_FAILURE(OpenScreens());
    Frames(60);
    for (auto& seat : seats) {
        EXPECT_EQ(seat->game->GetMode(), GameState::Waiting);
        EXPECT_FALSE(seat->game->Disconnected());
        // "Attente" has no dot during its first second.
        EXPECT_NEAR(seat->game->WaitTimer(), 0.96f, 0.01f);
    }
    // One more dot each second, then back to none after five.
    Frames(260);
    EXPECT_NEAR(seats[0]->game->WaitTimer(), 0.112f, 0.01f);
    const char* shots = std::getenv("TORVANE_GAME_SHOTS");
    if (shots)
        seats[1]->screen->SaveScreenshot(std::string(shots) + "/waiting.png");
    child->Kill();
    ASSERT_TRUE(
        RunUntil([&] { return seats[0]->game->Disconnected() && seats[1]->game->Disconnected(); }));
    for (auto& seat : seats) {
        EXPECT_TRUE(seat->game->Leaving());
        EXPECT_NE(seat->network, nullptr);  // the fade runs first
    }
    // "Déconnecté !" is drawn in orange over the waiting box.
    Frame();
    const auto orange = [](uint32_t c) {
        return ((c >> 16) & 0xFF) > 150 && ((c >> 8) & 0xFF) > 80 && ((c >> 8) & 0xFF) < 150 &&
               (c & 0xFF) < 60;
    };
    int orangePixels = 0;
    for (int y = 216; y < 250; ++y) {
        for (int x = 257; x < 440; ++x)
            orangePixels += orange(seats[1]->screen->PixelAt(x, y));
    }
    EXPECT_GT(orangePixels, 50);
    if (shots)
        seats[1]->screen->SaveScreenshot(std::string(shots) + "/disconnected.png");
    ASSERT_TRUE(RunUntil([&] { return seats[0]->code != 0 && seats[1]->code != 0; }));
    for (auto& seat : seats) {
        EXPECT_EQ(seat->code, NetworkBrowserCode);
        EXPECT_EQ(seat->network, nullptr);
        // About one second of fade at 16 ms a frame.
        EXPECT_GT(seat->frames, 60 + 55);
    }
}

TEST_F(GameSession, AHostLeavingAfterDealingLeavesANewHostThatFinishesTheStart) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3, -2));
    ASSERT_NO_FATAL_FAILURE(OpenScreens(false));
    // The host deals in its first frame, then leaves before it has advanced anybody.
    Seat& host = *seats[0];
    host.window.AdvanceTime(16);
    EXPECT_EQ(host.game->Run(), 0);
    EXPECT_TRUE(host.game->MapDealt());
    host.paused = true;
    ASSERT_TRUE(RunUntil([&] {
        return seats[1]->network->LocalStatus() == 3u && seats[2]->network->LocalStatus() == 3u;
    }));
    const int8_t firstObjective = seats[1]->Self().objective;
    const int8_t secondObjective = seats[2]->Self().objective;
    seats[0]->game.reset();
    seats[0]->network.reset();
    ASSERT_TRUE(
        RunUntil([&] { return seats[1]->network->IsHost() || seats[2]->network->IsHost(); }));
    StartGame();
    // The world was not dealt again, and the objectives stayed those of the first host.
    for (size_t i = 1; i < seats.size(); ++i) {
        EXPECT_EQ(seats[i]->game->History().Count(), 1) << i;
        EXPECT_FALSE(seats[i]->game->Leaving());
    }
    EXPECT_EQ(seats[1]->Self().objective, firstObjective);
    EXPECT_EQ(seats[2]->Self().objective, secondObjective);
    EXPECT_GE(firstObjective, 1);
    EXPECT_LE(firstObjective, 4);
    EXPECT_EQ(*seats[1]->game->History().TableAt(0), *seats[2]->game->History().TableAt(0));
}

TEST_F(GameSession, AHostLeavingBeforeDealingLeavesANewHostThatDealsInTheLobbysMode) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3, -2));
    ASSERT_NO_FATAL_FAILURE(OpenScreens(false));
    seats[0]->game.reset();
    seats[0]->network.reset();
    StartGame();
    for (size_t i = 1; i < seats.size(); ++i) {
        EXPECT_EQ(seats[i]->game->History().Count(), 1) << i;
        const int8_t objective = seats[i]->Self().objective;
        EXPECT_GE(objective, 1) << "the new host dealt in the mode the lobby chose";
        EXPECT_LE(objective, 4);
    }
    EXPECT_EQ(*seats[1]->game->History().TableAt(0), *seats[2]->game->History().TableAt(0));
}

// The first host deals and stores its own objective, but its deal reaches only the player at
// `holder`, as if it had died while sending; the other player's screen opens afterwards, still
// under the first host. Then the first host leaves, and the oldest remaining player takes over.
// Returns the first host's deal.
}  // namespace

TerritoryTable gametest::GameSession::DealReachingOnly(size_t holder) {
    const size_t other = holder == 1 ? 2 : 1;
    OpenScreen(*seats[0], false);
    OpenScreen(*seats[holder], false);
    if (HasFatalFailure())
        return {};
    const int32_t firstHost = seats[0]->network->LocalPlayerId();
    // The first host's record moves on after its deal and objectives went out on the same
    // connections: once the other player sees it, it has had (and dropped) them.
    EXPECT_TRUE(RunUntil([&] {
        PlayerInfo seen;
        return seats[holder]->network->LocalStatus() == 3u &&
               seats[other]->network->CopyPlayer(firstHost, seen) && seen.syncStatus == 3u;
    }));
    EXPECT_EQ(seats[holder]->game->History().Count(), 1);
    TerritoryTable deal{};
    if (const TerritoryTable* table = seats[holder]->game->History().TableAt(0))
        deal = *table;
    OpenScreen(*seats[other], false);
    if (HasFatalFailure())
        return deal;
    Frames(5);
    seats[0]->game.reset();
    seats[0]->network.reset();
    EXPECT_TRUE(RunUntil([&] { return seats[1]->network->IsHost(); }));
    return deal;
}

namespace {

TEST_F(GameSession, ANewHostSendsTheDealItHoldsToThePlayersThatMissedIt) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3, -2));
    const TerritoryTable deal = DealReachingOnly(1);
    EXPECT_EQ(seats[2]->game->History().Count(), 0);
    StartGame();
    for (size_t i = 1; i < seats.size(); ++i) {
        ASSERT_EQ(seats[i]->game->History().Count(), 1) << i;
        EXPECT_EQ(*seats[i]->game->History().TableAt(0), deal) << i;
        EXPECT_GE(seats[i]->Self().objective, 1) << i;
    }
}

TEST_F(GameSession, ANewHostWithoutTheDealDealsOnceAndItReplacesTheOldWorldEverywhere) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3, -2));
    const TerritoryTable oldDeal = DealReachingOnly(2);
    const int8_t storedObjective = seats[2]->Self().objective;
    EXPECT_EQ(seats[1]->game->History().Count(), 0);
    StartGame();
    ASSERT_EQ(seats[1]->game->History().Count(), 1);
    const TerritoryTable newDeal = *seats[1]->game->History().TableAt(0);
    EXPECT_NE(newDeal, oldDeal);
    ASSERT_EQ(seats[2]->game->History().Count(), 1);
    EXPECT_EQ(*seats[2]->game->History().TableAt(0), newDeal);
    // The objective already stored stays; the one still owed was dealt in the lobby's mode.
    EXPECT_EQ(seats[2]->Self().objective, storedObjective);
    EXPECT_GE(seats[1]->Self().objective, 1);
    EXPECT_LE(seats[1]->Self().objective, 4);
}

// The test plays the host with a bare engine and sends what a hostile host might.
TEST_F(GameSession, ForgedObjectivesAndRecordsNeverBreakThePlayersScreen) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2, -1));
    DirectPlay& host = *seats[0]->network;
    // Bad indexes in the host's record: nation, government and a name with no zero byte.
    PlayerInfo forged = seats[0]->Self();
    forged.nation = 100;
    forged.government = 7;
    forged.name.fill('Z');
    host.PublishLocalPlayer(forged);
    Seat& player = *seats[1];
    ASSERT_NO_FATAL_FAILURE(OpenScreen(player, true));
    const int32_t playerId = player.network->LocalPlayerId();

    // 200 counts as no objective at all: nothing is stored.
    host.SendObjective(playerId, 200);
    Frames(20);
    EXPECT_EQ(player.network->LocalStatus(), 2u);
    EXPECT_EQ(player.Self().objective, -1);

    // 99 is outside the list: stored as sent, shown without a title.
    host.SendTerritoryTable(TerritoryTable{});
    host.SendObjective(playerId, 99);
    ASSERT_TRUE(RunUntil([&] { return player.network->LocalStatus() == 3u; }));
    EXPECT_EQ(player.Self().objective, 99);
    // A repeat after storing is dropped instead of holding the start for ever.
    host.SendObjective(playerId, 3);
    Frames(20);
    EXPECT_EQ(player.game->PendingObjective(), 255);
    host.SetReady();
    ASSERT_TRUE(WaitFor([&] { return host.AllReady(); }));
    host.AdvancePhase();
    ASSERT_TRUE(RunUntil([&] { return player.game->GetMode() == GameState::ShowingObjective; }));
    EXPECT_EQ(player.Self().objective, 99);
    Frames(100);
    Press(player, kEscape);
    EXPECT_EQ(player.game->GetMode(), GameState::Playing);
    Frames(100);  // the ring shows the forged host record
    EXPECT_GT(player.game->BannerY(), 0.0f);
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(GameSession, ObjectivePanelThenBannerThenStatisticsWithTheirInput) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2, -1));
    ASSERT_NO_FATAL_FAILURE(OpenScreens());
    StartGame();
    Seat& first = *seats[0];
    Seat& second = *seats[1];
    // The panel slides in and comes to rest centred.
    Frames(200);
    EXPECT_NEAR(first.game->ObjectivePanelY(), CentredY(305), 1.0f);
    EXPECT_EQ(first.game->FocusedButton(), 0);
    Press(first, kRight);
    EXPECT_EQ(first.game->FocusedButton(), 1);
    Press(first, kRight);
    EXPECT_EQ(first.game->FocusedButton(), 0);
    Press(first, kLeft);
    EXPECT_EQ(first.game->FocusedButton(), 1);
    // Pointing at a button focuses it; clicking beside it does nothing.
    const int y0 = static_cast<int>(first.game->ObjectivePanelY());
    Click(first, 320, y0 + 263 + 30);
    EXPECT_EQ(first.game->GetMode(), GameState::ShowingObjective);
    Click(first, 320, y0 + 263 + 10);
    EXPECT_EQ(first.game->GetMode(), GameState::Playing);
    EXPECT_EQ(first.game->FocusedButton(), 0);
    // The close button closes it as well.
    const int x1 = PanelX(400);
    const int y1 = static_cast<int>(second.game->ObjectivePanelY());
    Click(second, x1 + 366 + 25, y1 + 9 + 12);
    EXPECT_EQ(second.game->GetMode(), GameState::ShowingObjective);
    EXPECT_EQ(second.game->FocusedButton(), 0);
    Click(second, x1 + 366 + 24, y1 + 9 + 12);
    EXPECT_EQ(second.game->GetMode(), GameState::Playing);
    EXPECT_EQ(second.game->FocusedButton(), 1);

    // The panel slides away; the banner comes in; the statistics stay hidden.
    Frames(250);
    EXPECT_NEAR(first.game->ObjectivePanelY(), kHiddenPanelY, 1.0f);
    EXPECT_NEAR(first.game->BannerY(), CentredY(280), 1.0f);
    EXPECT_NEAR(first.game->StatsPanelY(), kHiddenPanelY, 1.0f);
    EXPECT_FALSE(first.game->BannerDismissed());
    // Tab does nothing while the banner shows.
    Press(first, kTab);
    EXPECT_EQ(first.game->StatsTabIndex(), 0);
    // A click beside the OK button leaves the banner; one on it closes it.
    const int okTop = static_cast<int>(140.0f + first.game->BannerY() + 95.0f);
    Click(first, 320 + 41, okTop + 5);
    EXPECT_FALSE(first.game->BannerDismissed());
    Click(first, 320 + 40, okTop + 5);
    EXPECT_TRUE(first.game->BannerDismissed());
    Press(second, kEscape);
    EXPECT_TRUE(second.game->BannerDismissed());

    Frames(250);
    EXPECT_NEAR(first.game->BannerY(), kHiddenPanelY, 1.0f);
    EXPECT_NEAR(first.game->StatsPanelY(), CentredY(336), 1.0f);
    // Tab and Shift+Tab run round the four tabs.
    Press(first, kTab);
    EXPECT_EQ(first.game->StatsTabIndex(), 1);
    Press(first, kTab, kShift);
    EXPECT_EQ(first.game->StatsTabIndex(), 0);
    Press(first, kTab, kShift);
    EXPECT_EQ(first.game->StatsTabIndex(), 3);
    Press(first, kTab);
    EXPECT_EQ(first.game->StatsTabIndex(), 0);
    // A click on a tab selects it; one outside the tabs changes nothing.
    const int x0 = PanelX(500);
    const int tabTop = static_cast<int>(first.game->StatsPanelY()) + 307;
    Click(first, x0 + 36 + 105 * 2 + 50, tabTop + 10);
    EXPECT_EQ(first.game->StatsTabIndex(), 2);
    Click(first, x0 + 36 + 105 * 4 + 5, tabTop + 10);
    EXPECT_EQ(first.game->StatsTabIndex(), 2);
    Click(first, x0 + 36 + 10, tabTop + 10);
    EXPECT_EQ(first.game->StatsTabIndex(), 0);

    // Nothing moves the session on: both stay in the first phase of 1870.
    Frames(30);
    for (auto& seat : seats) {
        EXPECT_EQ(seat->network->LocalStatus(), 4u);
        EXPECT_EQ(YearOf(seat->network->LocalStatus()), 1870);
        EXPECT_EQ(seat->code, 0);
    }
    if (const char* folder = std::getenv("TORVANE_GAME_SHOTS")) {
        first.screen->SaveScreenshot(std::string(folder) + "/statistics.png");
    }
    EXPECT_TRUE(errors.texts.empty());
}

// A world in which `nation` owns the first `owned` territories.
TerritoryTable WorldWith(int8_t nation, int owned) {
    TerritoryTable table{};
    for (int i = 0; i < TerritoryCount; ++i) {
        table[static_cast<size_t>(i)].wealth = 100000;
        if (i < owned)
            table[static_cast<size_t>(i)].owner = nation;
    }
    return table;
}

// The test plays the host with a bare engine, so it chooses the tables the player receives.
TEST_F(GameSession, TheProgressBarFillsInTwoSecondsAndTheTrendArrowFollowsTheTables) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2, -1));
    DirectPlay& host = *seats[0]->network;
    Seat& player = *seats[1];
    ASSERT_NO_FATAL_FAILURE(OpenScreen(player, true));
    const int8_t nation = player.Self().nation;
    host.SendTerritoryTable(WorldWith(nation, 52));  // 52 of 104: half a world conquest
    host.SendObjective(player.network->LocalPlayerId(), 0);
    ASSERT_TRUE(RunUntil([&] { return player.network->LocalStatus() == 3u; }));
    host.SetReady();
    ASSERT_TRUE(WaitFor([&] { return host.AllReady(); }));
    host.AdvancePhase();
    ASSERT_TRUE(RunUntil([&] { return player.game->GetMode() == GameState::ShowingObjective; }));
    Frames(62);  // about one second
    EXPECT_NEAR(player.game->ShownProgress(), 25.0f, 1.5f);
    Frames(70);
    EXPECT_EQ(player.game->ShownProgress(), 50.0f);
    // The panel is drawn: its parchment covers the middle of the screen.
    const uint32_t middle = player.screen->PixelAt(320, 200);
    EXPECT_GT((middle >> 16) & 0xFF, 120u);
    const char* shots = std::getenv("TORVANE_GAME_SHOTS");
    if (shots)
        player.screen->SaveScreenshot(std::string(shots) + "/objective.png");

    Press(player, kEscape);
    Frames(250);
    if (shots)
        player.screen->SaveScreenshot(std::string(shots) + "/banner.png");
    Press(player, kReturn);
    Frames(250);
    ASSERT_NEAR(player.game->StatsPanelY(), CentredY(336), 1.0f);
    const int x0 = PanelX(500);
    const int y0 = static_cast<int>(player.game->StatsPanelY());
    const auto arrowArea = [&] {
        std::vector<uint32_t> pixels;
        for (int y = y0 + 95; y < y0 + 113; ++y) {
            for (int x = x0 + 445; x < x0 + 461; ++x)
                pixels.push_back(player.screen->PixelAt(x, y));
        }
        return pixels;
    };
    // One table: no earlier measure, no arrow.
    const auto none = arrowArea();
    host.SendTerritoryTable(WorldWith(nation, 60));
    ASSERT_TRUE(RunUntil([&] { return player.game->History().Count() == 2; }));
    Frame();
    const auto up = arrowArea();
    if (shots)
        player.screen->SaveScreenshot(std::string(shots) + "/trend.png");
    EXPECT_NE(up, none);
    host.SendTerritoryTable(WorldWith(nation, 40));
    ASSERT_TRUE(RunUntil([&] { return player.game->History().Count() == 3; }));
    Frame();
    const auto down = arrowArea();
    EXPECT_NE(down, none);
    EXPECT_NE(down, up);
    host.SendTerritoryTable(WorldWith(nation, 40));
    ASSERT_TRUE(RunUntil([&] { return player.game->History().Count() == 4; }));
    Frame();
    EXPECT_EQ(arrowArea(), none);  // no change, no arrow
    EXPECT_TRUE(errors.texts.empty());
}

TEST(GameScreen, WithoutEnginesItRunsAndStays) {
    BuildObjectives();
    GameState game(nullptr, nullptr, nullptr, nullptr);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(game.Run(), 0);
    EXPECT_EQ(game.GetMode(), GameState::Waiting);
    std::unique_ptr<DirectPlay> empty;
    GameState noSession(nullptr, nullptr, nullptr, &empty);
    EXPECT_EQ(noSession.Run(), 0);
    // Leaving without a screen does not wait for a fade.
    noSession.OnSessionTerminated();
    EXPECT_EQ(noSession.Run(), NetworkBrowserCode);
    DestroyObjectives();
}

TEST(GameScreen, LeavingDestroysTheEngineInTheSlotAndTheDriverBuildsTheGameForCodeSix) {
    BuildObjectives();
    platform::PeerOptions options = nettest::PrivateOptions();
    std::unique_ptr<DirectPlay> network = std::make_unique<DirectPlay>("Seul", options);
    ASSERT_TRUE(network->HostGame("Partie"));
    EngineSlots slots;
    slots.network = &network;
    std::unique_ptr<DirectState> state = CreateScreenFor(GameCode, slots);
    ASSERT_NE(dynamic_cast<GameState*>(state.get()), nullptr);
    EXPECT_EQ(state->Run(), 0);
    static_cast<GameState*>(state.get())->OnPlayerLost("Autre");
    EXPECT_EQ(state->Run(), NetworkBrowserCode);
    EXPECT_EQ(network, nullptr);
    state.reset();
    DestroyObjectives();
}

TEST(GameScreen, TheDriverClosingTheEngineFirstLeavesTheScreenSafe) {
    BuildObjectives();
    platform::PeerOptions options = nettest::PrivateOptions();
    auto network = std::make_unique<DirectPlay>("Seul", options);
    ASSERT_TRUE(network->HostGame("Partie"));
    auto game = std::make_unique<GameState>(nullptr, nullptr, nullptr, &network);
    EXPECT_EQ(game->Run(), 0);
    network.reset();  // the program closes: engine first, screen after
    EXPECT_EQ(game->Run(), 0);
    game.reset();
    DestroyObjectives();
}

}  // namespace
