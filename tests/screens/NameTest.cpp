// The player-name screen: editing, the ten-character cut, leaving either way, storing the name.
#include <gtest/gtest.h>

#include "platform/Cp1252.h"
#include "states/Statename.h"
#include "support/FrontendHarness.h"

using namespace torvane;

namespace {

class Name : public testsupport::FrontendHarness {
  protected:
    void Open() {
        state = std::make_unique<NameState>(screen.get(), audio.get(), input.get());
        RunFrames(*state, 150);
    }
    int32_t Leave() {
        return RunUntil(*state, [](int32_t c) { return c != 0; });
    }
    std::unique_ptr<NameState> state;
};

}  // namespace

TEST_F(Name, StartsFromTheStoredName) {
    platform::SetStringSetting("PlayerName", "Louise");
    Open();
    EXPECT_EQ(state->Name(), "Louise");
    EXPECT_EQ(sounds.Count("FillIn.wav"), 1);
}

TEST_F(Name, TypingIsCutAtTenCharactersAndMovesTheHighlight) {
    Open();  // "Anonymous", nine characters
    Press(*state, 40);
    ASSERT_EQ(state->Highlight(), 1);
    Press(*state, 'B');
    EXPECT_EQ(state->Name(), "Anonymousb");
    EXPECT_EQ(state->Highlight(), 0);
    Press(*state, 'C');
    EXPECT_EQ(state->Name(), "Anonymousb");
}

TEST_F(Name, OnSlowFramesTheLightBandStopsOnItsItem) {
    Open();
    Press(*state, 40, 480);
    ASSERT_EQ(state->Highlight(), 1);
    ExpectSettlesWithoutOvershoot(
        *state, [&] { return state->LightOffset(); }, 72.0f, 480);
    Press(*state, 38, 480);
    ExpectSettlesWithoutOvershoot(
        *state, [&] { return state->LightOffset(); }, 25.0f, 480);
}

TEST_F(Name, SpaceTypesABlankAndDoesNotChoose) {
    platform::SetStringSetting("PlayerName", "Jo");
    Open();
    Press(*state, 32);
    EXPECT_EQ(state->Name(), "Jo ");
    EXPECT_FALSE(state->Closing());
}

TEST_F(Name, ReturnLeavesForTheBrowserAndStoresTheName) {
    platform::SetStringSetting("PlayerName", "Jo");
    Open();
    Press(*state, 'E');
    Press(*state, 13);
    EXPECT_TRUE(state->Closing());
    EXPECT_EQ(platform::GetStringSetting("PlayerName", ""), "Jo");  // not before leaving
    EXPECT_EQ(Leave(), NetworkBrowserCode);
    EXPECT_EQ(platform::GetStringSetting("PlayerName", ""), "Joe");
}

TEST_F(Name, OnAQwertyKeyboardDigitsAndTheFullStopTypeThemselves) {
    platform::SetStringSetting("PlayerName", "R");
    window.SetLayout(platform::KeyboardLayout::kOther);
    Open();
    for (int key : {int{'2'}, 190, 188, int{'D'}})
        Press(*state, key);
    EXPECT_EQ(state->Name(), "R2.,d");
    window.SetLayout(platform::KeyboardLayout::kAzerty);
    for (int key : {int{'2'}, 190, 188})
        Press(*state, key);
    EXPECT_EQ(state->Name(), platform::Utf8ToCp1252("R2.,dé;,"));
}

TEST_F(Name, EscapeAlwaysLeavesForTheMenu) {
    Open();
    Press(*state, 27);
    EXPECT_EQ(state->Highlight(), 1);
    EXPECT_EQ(Leave(), MainMenuCode);
    EXPECT_EQ(platform::GetStringSetting("PlayerName", ""), "Anonymous");
}

TEST_F(Name, AnErasedNameReadsBackAsAnonymous) {
    platform::SetStringSetting("PlayerName", "Victor");
    Open();
    Press(*state, 46);  // Delete
    EXPECT_EQ(state->Name(), "");
    Press(*state, 13);
    Leave();
    EXPECT_EQ(platform::GetStringSetting("PlayerName", "Anonymous"), "Anonymous");
    NameState again(screen.get(), audio.get(), input.get());
    EXPECT_EQ(again.Name(), "Anonymous");
}

TEST_F(Name, ArrowsWrapAndTheMouseChooses) {
    Open();
    Press(*state, 38);
    EXPECT_EQ(state->Highlight(), 1);
    Press(*state, 40);
    EXPECT_EQ(state->Highlight(), 0);
    window.SetCursor(300, 180 + 190);  // on "- retour -"
    Press(*state, 1);
    EXPECT_EQ(state->Highlight(), 1);
    EXPECT_EQ(Leave(), MainMenuCode);
}

TEST_F(Name, TheCaretBlinksEveryHalfSecond) {
    platform::SetStringSetting("PlayerName", "W");
    Open();
    // Let the clock reach the start of a "shown" half second, then compare the picture where
    // the caret sits (after the name, at the frame's text line) half a second later.
    std::vector<uint32_t> shown;
    std::vector<uint32_t> hidden;
    int32_t elapsed = 150 * 20;
    while ((elapsed / 500) % 2 != 0 || elapsed % 500 > 400) {
        Frame(*state, 20);
        elapsed += 20;
    }
    ASSERT_TRUE(screen->ReadPicture(shown));
    Frame(*state, 500);
    ASSERT_TRUE(screen->ReadPicture(hidden));
    int differences = 0;
    for (int y = 180 + 16; y < 180 + 16 + 40; ++y) {
        for (int x = 223; x < 300; ++x) {
            differences +=
                shown[static_cast<size_t>(y * 640 + x)] != hidden[static_cast<size_t>(y * 640 + x)];
        }
    }
    EXPECT_GT(differences, 10);
}
