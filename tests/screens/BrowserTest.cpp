// The network browser: searching, the address entry, creating and joining games, the list.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <filesystem>
#include <string>
#include <utility>

#include "campaign/Seatlock.h"
#include "network/Directplay.h"
#include "network/NetworkTestSupport.h"
#include "platform/PeerSession.h"
#include "platform/SeatStore.h"
#include "states/Statenetwork.h"
#include "support/FrontendHarness.h"

using namespace torvane;

namespace {

class Browser : public testsupport::FrontendHarness {
  protected:
    void SetUp() override {
        FrontendHarness::SetUp();
        // Private ports, and the browser's engine finds them through the environment.
        options = nettest::PrivateOptions();
        ::setenv("TORVANE_PORT", std::to_string(options.basePort).c_str(), 1);
        ::setenv("TORVANE_DISCOVERY_PORT", std::to_string(options.discoveryPort).c_str(), 1);
    }
    void TearDown() override {
        browser.reset();
        network.reset();
        ::unsetenv("TORVANE_PORT");
        ::unsetenv("TORVANE_DISCOVERY_PORT");
    }
    void Open() {
        browser = std::make_unique<NetworkState>(screen.get(), audio.get(), input.get(), &network);
        RunFrames(*browser, 150);
    }
    int32_t Leave() {
        return RunUntil(*browser, [](int32_t c) { return c != 0; });
    }
    // Runs frames until the browser has slid out, acted, and is open again.
    void RunUntilOpenAgain() {
        RunUntil(
            *browser, [this](int32_t) { return browser->Closing(); }, 10);
        RunUntil(*browser, [this](int32_t) { return !browser->Closing(); });
        RunFrames(*browser, 150);
    }

    platform::PeerOptions options;
    std::unique_ptr<DirectPlay> network;
    std::unique_ptr<NetworkState> browser;
};

}  // namespace

TEST_F(Browser, CreatesItsEngineAndSearchesAtOnce) {
    // An engine left in the slot (its game created, then abandoned) is replaced: its session
    // is gone when the new engine searches.
    network = std::make_unique<DirectPlay>("Ancien", options);
    ASSERT_TRUE(network->HostGame("Abandonnee"));
    Open();
    ASSERT_NE(network, nullptr);
    EXPECT_EQ(network->PartyCount(), 0);
    EXPECT_FALSE(network->IsHost());
    EXPECT_EQ(sounds.Count("Search.wav"), 1);
    EXPECT_EQ(sounds.Count("FillIn.wav"), 1);
}

TEST_F(Browser, WithNoGameTheMenuIsCentredAndTheListCannotTakeTheHighlight) {
    Open();
    EXPECT_EQ(network->PartyCount(), 0);
    EXPECT_FLOAT_EQ(browser->Shift(), 176.0f);
    Press(*browser, 39);
    EXPECT_EQ(browser->Highlight(), 0);
    Press(*browser, 37);
    EXPECT_EQ(browser->Highlight(), 0);
    // The menu's mouse column follows the frame to the middle.
    window.SetCursor(300, 180 + 140);
    Frame(*browser);
    EXPECT_EQ(browser->Highlight(), 2);
    window.SetCursor(500, 180 + 140);
    Press(*browser, 40);
    EXPECT_EQ(browser->Highlight(), 3);
}

TEST_F(Browser, OnSlowFramesTheLightBandStopsOnItsItem) {
    Open();
    Press(*browser, 40, 480);
    ASSERT_EQ(browser->Highlight(), 1);
    ExpectSettlesWithoutOvershoot(
        *browser, [&] { return browser->LightOffset(); }, 80.0f, 480);
    Press(*browser, 38, 480);
    ExpectSettlesWithoutOvershoot(
        *browser, [&] { return browser->LightOffset(); }, 43.0f, 480);
}

TEST_F(Browser, TypingADigitMovesTheHighlightToTheAddress) {
    Open();
    Press(*browser, 40);
    Press(*browser, 40);
    ASSERT_EQ(browser->Highlight(), 2);
    Press(*browser, '5');
    EXPECT_EQ(browser->Highlight(), 1);
    EXPECT_EQ(browser->Address(), "192.168.0.15");
}

TEST_F(Browser, ReturnOnAnIncompleteAddressOnlyClicks) {
    platform::SetStringSetting("ConnectIP", "192.168.0.");
    Open();
    Press(*browser, 40);
    ASSERT_EQ(browser->Highlight(), 1);
    const int hits = sounds.Count("hit.wav");
    Press(*browser, 13);
    EXPECT_FALSE(browser->Closing());
    EXPECT_EQ(sounds.Count("hit.wav"), hits + 1);
}

TEST_F(Browser, AHandEditedAddressIsRepaired) {
    platform::SetStringSetting("ConnectIP", "10.a0.300.1.2");
    Open();
    EXPECT_TRUE(browser->Address().find_first_not_of("0123456789.") == std::string::npos)
        << browser->Address();
    EXPECT_EQ(NormalizeAddress(browser->Address()), browser->Address());
}

TEST_F(Browser, AHandEditedAddressIsRepairedWholeBeforeTheFirstFrame) {
    const std::pair<const char*, const char*> cases[] = {
        {"localhost", ""},
        {"99999999999", "99"},
        {"192.168.300.1", "192.168.30"},
        {"10.a0.300.1.2", "10."},
    };
    for (const auto& [stored, repaired] : cases) {
        platform::SetStringSetting("ConnectIP", stored);
        EXPECT_EQ(StoredConnectAddress(), repaired) << stored;
    }
    // The browser starts with the repaired address, so its entry has nothing left to cut: no
    // click, and the highlight stays on the first item.
    platform::SetStringSetting("ConnectIP", "localhost");
    Open();
    EXPECT_EQ(browser->Address(), "");
    EXPECT_EQ(browser->Highlight(), 0);
    EXPECT_EQ(sounds.Count("hit.wav"), 0);
}

TEST_F(Browser, AnAddressFillingTheWholeSettingsFileIsRepaired) {
    // The largest settings file that is still read: one address followed by digits.
    const std::string head = "10.0.0.7";
    std::string stored = head + std::string((1 << 20) - 300, '9');
    platform::SetStringSetting("ConnectIP", stored);
    const auto size = std::filesystem::file_size(platform::SettingsFilePath());
    ASSERT_LE(size, 1u << 20);
    ASSERT_GT(size, (1u << 20) - 400);
    ASSERT_EQ(platform::GetStringSetting("ConnectIP", ""), stored);
    EXPECT_EQ(StoredConnectAddress(), "10.0.0.79");
    // Leading zeros are valid, so a long run of them is cut by length alone.
    stored = "10.0.0." + std::string((1 << 20) - 300, '0');
    platform::SetStringSetting("ConnectIP", stored);
    const std::string repaired = StoredConnectAddress();
    EXPECT_GT(repaired.size(), 15u);
    EXPECT_LT(repaired.size(), 100u);
    EXPECT_EQ(repaired, stored.substr(0, repaired.size()));
}

TEST_F(Browser, ReturnLeavesForTheNameAndStoresTheAddress) {
    Open();
    Press(*browser, 27);
    Press(*browser, '7');  // ignored: the frame is closing
    EXPECT_EQ(Leave(), PlayerNameCode);
    EXPECT_EQ(platform::GetStringSetting("ConnectIP", ""), "192.168.0.1");
}

TEST_F(Browser, CreatingAGameLeavesForTheLobbyAsHost) {
    Open();
    ASSERT_EQ(browser->Highlight(), 0);
    Press(*browser, 13);
    EXPECT_EQ(Leave(), LobbyCode);
    ASSERT_NE(network, nullptr);
    EXPECT_TRUE(network->IsHost());
}

TEST_F(Browser, FindsAGameAndJoinsIt) {
    DirectPlay host("Hote", options);
    ASSERT_TRUE(host.HostGame("Partie du soir"));
    Open();
    ASSERT_EQ(network->PartyCount(), 1);
    EXPECT_FLOAT_EQ(browser->Shift(), 0.0f);
    EXPECT_EQ(network->GetParty(0)->gameName, "Partie du soir");
    Press(*browser, 39);
    ASSERT_EQ(browser->Highlight(), NetworkState::kListHighlight);
    Press(*browser, 13);
    EXPECT_TRUE(browser->Closing());
    EXPECT_EQ(Leave(), LobbyCode);
    EXPECT_TRUE(nettest::WaitFor([&] { return host.PlayerCount() == 2; }));
    EXPECT_FALSE(network->IsHost());
}

TEST_F(Browser, AnAddressSearchFindsTheGameThere) {
    platform::SetStringSetting("ConnectIP", "127.0.0.");
    Open();
    DirectPlay host("Hote", options);
    ASSERT_TRUE(host.HostGame(""));
    Press(*browser, '1');
    ASSERT_EQ(browser->Highlight(), 1);
    ASSERT_EQ(browser->Address(), "127.0.0.1");
    Press(*browser, 13);
    RunUntilOpenAgain();
    EXPECT_EQ(network->PartyCount(), 1);
    EXPECT_EQ(platform::GetStringSetting("ConnectIP", ""), "127.0.0.1");
    EXPECT_EQ(sounds.Count("Search.wav"), 2);
}

TEST_F(Browser, AGameOfAnotherVersionIsListedButRefused) {
    nettest::BareHandler handler(true);  // an old game that answers every search
    auto old = platform::PeerSession::Create(handler, options);
    ASSERT_NE(old, nullptr);
    ASSERT_EQ(old->Host(u"3.00b Vieille partie", 8, 4), platform::PeerResult::Ok);
    Open();
    ASSERT_EQ(network->PartyCount(), 1);
    EXPECT_EQ(network->GetParty(0)->version, "3.00b");
    Press(*browser, 39);
    ASSERT_EQ(browser->Highlight(), NetworkState::kListHighlight);
    const int failed = sounds.Count("Failed.wav");
    Press(*browser, 13);
    EXPECT_FALSE(browser->Closing());
    EXPECT_EQ(sounds.Count("Failed.wav"), failed + 1);
    old->Close();
}

TEST_F(Browser, ARunningGameIsJoinedOnlyWithTheSeatThisPlayerKeeps) {
    DirectPlay host("Hote", options);
    ASSERT_TRUE(host.HostGame("Partie"));
    host.StopAcceptingPlayers();
    const uint64_t token = 0x5EA75EA75EA75EA7ull;
    std::array<uint64_t, NationCount> locks{};
    locks[3] = SeatLock(host.SessionId(), 3, token);
    host.OpenSeats(locks, 1u << 3, 1874);
    Open();
    ASSERT_EQ(network->PartyCount(), 1);
    EXPECT_TRUE(network->GetParty(0)->running);
    EXPECT_EQ(network->GetParty(0)->year, 1874);
    EXPECT_EQ(network->GetParty(0)->session, host.SessionId());
    // Without a seat kept for it, the game is refused before anything is sent.
    Press(*browser, 39);
    ASSERT_EQ(browser->Highlight(), NetworkState::kListHighlight);
    const int failed = sounds.Count("Failed.wav");
    Press(*browser, 13);
    EXPECT_FALSE(browser->Closing());
    EXPECT_EQ(sounds.Count("Failed.wav"), failed + 1);
    EXPECT_EQ(host.Trust().refusedSeatClaims, 0u);

    // With the seat, kept under this player's name for that game, it goes straight to the game.
    platform::SeatStore seats;
    std::string error;
    ASSERT_TRUE(seats.Save({host.SessionId(), "Anonymous", token, 3, 1874}, error)) << error;
    Press(*browser, 37);  // back to the menu, then search again
    Press(*browser, 116);
    RunUntilOpenAgain();
    ASSERT_EQ(network->PartyCount(), 1);
    Press(*browser, 39);
    Press(*browser, 13);
    EXPECT_TRUE(browser->Closing());
    EXPECT_EQ(Leave(), GameCode);
    EXPECT_TRUE(network->Rejoined());
    EXPECT_TRUE(nettest::WaitFor([&] { return host.PlayerCount() == 2; }));
}

TEST_F(Browser, TheListWrapsAndArrowsGoBackToTheMenu) {
    DirectPlay first("Un", options);
    DirectPlay second("Deux", options);
    ASSERT_TRUE(first.HostGame("Premiere"));
    ASSERT_TRUE(second.HostGame("Seconde"));
    Open();
    ASSERT_EQ(network->PartyCount(), 2);
    Press(*browser, 40);  // to the address
    Press(*browser, 39);  // to the list, remembering the address item
    ASSERT_EQ(browser->Highlight(), NetworkState::kListHighlight);
    EXPECT_EQ(browser->Selected(), 0);
    Press(*browser, 38);
    EXPECT_EQ(browser->Selected(), 1);
    Press(*browser, 38);
    EXPECT_EQ(browser->Selected(), 0);  // up on the last selects the first
    Press(*browser, 40);
    EXPECT_EQ(browser->Selected(), 1);  // down on the first selects the last
    Press(*browser, 37);
    EXPECT_EQ(browser->Highlight(), 1);
}
