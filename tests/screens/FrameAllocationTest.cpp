// Once the game screen is built, its frames allocate nothing on the main thread: every text it
// draws is kept from the frame where its value last changed.
#include <gtest/gtest.h>

#include "game/Objectif.h"
#include "game/Stategame.h"
#include "input/Directinput.h"
#include "network/NetworkTestSupport.h"
#include "platform/ScriptedWindow.h"
#include "screen/Directscreen.h"
#include "support/AllocationCounter.h"

using namespace torvane;

namespace {

// A lone host's game, brought into the playing mode with the statistics panel shown on each
// of its tabs.
TEST(GameFrames, DrawingThePanelsAllocatesNothing) {
    BuildObjectives();
    platform::ScriptedWindow window;
    DirectScreen screen(&window);
    ASSERT_TRUE(screen.IsReady());
    DirectInput input(&window);
    auto network = std::make_unique<DirectPlay>("Seul", nettest::PrivateOptions());
    ASSERT_TRUE(network->HostGame("Partie"));
    PlayerInfo self;
    ASSERT_TRUE(network->CopyPlayer(network->LocalPlayerId(), self));
    self.nation = 5;
    self.government = 2;
    network->PublishLocalPlayer(self);
    network->SetReady();
    network->AdvancePhase();
    ASSERT_EQ(network->LocalStatus(), 2u);

    GameState game(&screen, nullptr, &input, &network);
    const auto frames = [&](int count, bool measure) {
        long total = 0;
        for (int i = 0; i < count; ++i) {
            window.AdvanceTime(16);
            if (measure)
                testsupport::StartCountingAllocations();
            EXPECT_EQ(game.Run(), 0);
            if (measure)
                total += testsupport::StopCountingAllocations();
        }
        return total;
    };
    ASSERT_TRUE(nettest::WaitFor([&] {
        frames(1, false);
        return game.GetMode() == GameState::ShowingObjective;
    }));
    // The waiting notice, then the objective panel while it slides in and its bar fills.
    frames(5, false);
    EXPECT_EQ(frames(150, true), 0);
    window.SetKeyDown(27, true);
    frames(1, false);
    window.SetKeyDown(27, false);
    ASSERT_EQ(game.GetMode(), GameState::Playing);
    frames(5, false);
    // The year banner and the ring.
    EXPECT_EQ(frames(150, true), 0);
    window.SetKeyDown(13, true);
    frames(1, false);
    window.SetKeyDown(13, false);
    ASSERT_TRUE(game.BannerDismissed());
    frames(5, false);
    // The statistics panel, then each of its other tabs: a tab's texts are built in the frame
    // that first shows it, and never again while nothing changes.
    EXPECT_EQ(frames(150, true), 0);
    for (int tab = 1; tab < 4; ++tab) {
        window.SetKeyDown(9, true);
        frames(1, false);
        window.SetKeyDown(9, false);
        ASSERT_EQ(game.StatsTabIndex(), tab);
        frames(2, false);
        EXPECT_EQ(frames(150, true), 0) << "tab " << tab;
    }
    DestroyObjectives();
}

}  // namespace
