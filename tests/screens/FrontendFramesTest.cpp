// Once built, the front-end screens draw their frames without allocating.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "network/Directplay.h"
#include "network/NetworkTestSupport.h"
#include "states/Statemenu.h"
#include "states/Statename.h"
#include "states/Statenetwork.h"
#include "support/AllocationCounter.h"
#include "support/FrontendHarness.h"

using namespace torvane;

namespace {

class FrontendFrames : public testsupport::FrontendHarness {
  protected:
    long CountedFrames(DirectState& state, int count) {
        testsupport::StartCountingAllocations();
        for (int i = 0; i < count; ++i)
            Frame(state);
        return testsupport::StopCountingAllocations();
    }
};

}  // namespace

TEST_F(FrontendFrames, MenuOptionsAndCredits) {
    MenuState menu(screen.get(), audio.get(), input.get());
    RunFrames(menu, 10);
    EXPECT_EQ(CountedFrames(menu, 100), 0);  // sliding in, fading the highlight
    Press(menu, 'O');
    RunUntil(menu, [&](int32_t) { return menu.SubScreen() != nullptr; });
    Frame(menu);
    EXPECT_EQ(CountedFrames(menu, 100), 0);
    Press(menu, 27);
    RunUntil(menu, [&](int32_t) { return menu.SubScreen() == nullptr; });
    Press(menu, 'C');
    RunUntil(menu, [&](int32_t) { return menu.SubScreen() != nullptr; });
    Frame(menu);
    EXPECT_EQ(CountedFrames(menu, 200), 0);
}

TEST_F(FrontendFrames, PlayerNameWithItsBlinkingCaret) {
    platform::SetStringSetting("PlayerName", "Garance");
    NameState name(screen.get(), audio.get(), input.get());
    RunFrames(name, 10);
    EXPECT_EQ(CountedFrames(name, 150), 0);
}

TEST_F(FrontendFrames, BrowserWithAGameInItsList) {
    platform::PeerOptions options = nettest::PrivateOptions();
    ::setenv("TORVANE_PORT", std::to_string(options.basePort).c_str(), 1);
    ::setenv("TORVANE_DISCOVERY_PORT", std::to_string(options.discoveryPort).c_str(), 1);
    DirectPlay host("Hote", options);
    ASSERT_TRUE(host.HostGame("Partie"));
    std::unique_ptr<DirectPlay> network;
    {
        NetworkState browser(screen.get(), audio.get(), input.get(), &network);
        // The host's game is listed (a test running beside this one may add its own).
        bool listed = false;
        for (int i = 0; i < network->PartyCount(); ++i) {
            const EnumeratedParty* party = network->GetParty(i);
            listed = listed || (party && party->hostAddress.port == host.ListenPort());
        }
        ASSERT_TRUE(listed);
        RunFrames(browser, 10);
        EXPECT_EQ(CountedFrames(browser, 150), 0);
    }
    ::unsetenv("TORVANE_PORT");
    ::unsetenv("TORVANE_DISCOVERY_PORT");
}
