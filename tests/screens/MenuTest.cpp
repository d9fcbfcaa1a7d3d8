// The title menu with its options and credits sub-screens.
#include <gtest/gtest.h>

#include "states/Statecredits.h"
#include "states/Statemenu.h"
#include "states/Stateoptions.h"
#include "support/FrontendHarness.h"

using namespace torvane;

namespace {

class Menu : public testsupport::FrontendHarness {
  protected:
    void SetUp() override {
        FrontendHarness::SetUp();
        menu = std::make_unique<MenuState>(screen.get(), audio.get(), input.get());
        // Let the frame slide in and rest.
        RunFrames(*menu, 150);
    }
    std::unique_ptr<MenuState> menu;
};

}  // namespace

TEST_F(Menu, OpensWithFillInAndSlidesToItsPlace) {
    EXPECT_EQ(sounds.Count("FillIn.wav"), 1);
    // At rest within one pixel below its place.
    EXPECT_GT(menu->FrameTop(), 179.0f);
    EXPECT_LE(menu->FrameTop(), 180.0f);
    EXPECT_EQ(menu->Highlight(), 0);
    // The highlighted item has brightened fully, the others rest at alpha 95.
    EXPECT_EQ(menu->ItemColours()[0], 0xFF132819u);
    EXPECT_EQ(menu->ItemColours()[1], 0x5F132819u);
}

TEST_F(Menu, ArrowsWrapAround) {
    Press(*menu, 38);
    EXPECT_EQ(menu->Highlight(), 3);
    Press(*menu, 40);
    EXPECT_EQ(menu->Highlight(), 0);
    EXPECT_EQ(sounds.Count("hit.wav"), 2);
}

TEST_F(Menu, QuitAnswersSevenOnlyAfterTheFadeAndTheSlide) {
    Press(*menu, 38);
    ASSERT_EQ(Press(*menu, 13), 0);
    EXPECT_TRUE(menu->Closing());
    EXPECT_EQ(sounds.Count("FillOut.wav"), 1);
    int elapsed = 20;  // the frame after the press
    int32_t code = 0;
    float lastTop = 0;
    while (code == 0 && elapsed < 5000) {
        lastTop = menu->FrameTop();
        code = Frame(*menu);
        elapsed += 20;
    }
    EXPECT_EQ(code, QuitCode);
    EXPECT_GE(elapsed, 1000);
    EXPECT_LT(lastTop, -250.0f);
}

TEST_F(Menu, OnSlowFramesTheLightBandStopsOnItsItem) {
    // A loaded machine, or a window being dragged: frames of half a second.
    Press(*menu, 40, 480);
    ASSERT_EQ(menu->Highlight(), 1);
    ExpectSettlesWithoutOvershoot(
        *menu, [&] { return menu->LightOffset(); }, 65.0f, 480);
    Press(*menu, 38, 480);
    ExpectSettlesWithoutOvershoot(
        *menu, [&] { return menu->LightOffset(); }, 25.0f, 480);
}

TEST_F(Menu, ShortcutChoosesWithoutFade) {
    Press(*menu, 'J');
    EXPECT_TRUE(menu->Closing());
    const int32_t code = RunUntil(*menu, [](int32_t c) { return c != 0; });
    EXPECT_EQ(code, PlayerNameCode);
    EXPECT_TRUE(screen->FadeDone());
}

TEST_F(Menu, EscapeSelectsQuit) {
    Press(*menu, 27);
    EXPECT_EQ(menu->Highlight(), 3);
    EXPECT_EQ(RunUntil(*menu, [](int32_t c) { return c != 0; }), QuitCode);
}

TEST_F(Menu, TheMouseBandHoldsTheHighlightAgainstTheArrows) {
    window.SetCursor(320, 180 + 100);  // inside the band of "- crédits -"
    Frame(*menu);
    EXPECT_EQ(menu->Highlight(), 2);
    Press(*menu, 38);
    EXPECT_EQ(menu->Highlight(), 2);
    window.SetCursor(420, 180 + 100);  // right of the menu column
    Press(*menu, 38);
    EXPECT_EQ(menu->Highlight(), 1);
}

TEST_F(Menu, ClickOnAnItemChoosesIt) {
    window.SetCursor(300, 180 + 150);
    Press(*menu, 1);
    EXPECT_EQ(menu->Highlight(), 3);
    EXPECT_TRUE(menu->Closing());
    EXPECT_FALSE(screen->FadeDone());  // quitting fades to black
}

TEST_F(Menu, ClosingIgnoresInput) {
    Press(*menu, 'J');
    Press(*menu, 40);
    EXPECT_EQ(menu->Highlight(), 0);
}

TEST_F(Menu, DrawsTheItemsInTheFrame) {
    // The frame's dark-green text lies around y 180 + 25 at x 320; the highlighted item is
    // lit by the band, so the pixel under its text differs from the dimmed frame around it.
    Frame(*menu);
    const uint32_t left = screen->PixelAt(180, 300);
    const uint32_t outside = screen->PixelAt(20, 300);
    EXPECT_NE(left, outside);  // the frame is drawn at x 165
}

namespace {

class Options : public Menu {
  protected:
    void SetUp() override {
        Menu::SetUp();
        audio->PlayMedia("..\\Ressources\\Music\\Music.wma");
        platform::SetIntSetting("SoundEffectVolume", 95);
        Press(*menu, 'O');
        RunUntil(*menu, [this](int32_t) { return menu->SubScreen() != nullptr; });
        options = dynamic_cast<OptionState*>(menu->SubScreen());
        if (options)
            RunUntil(*menu, [this](int32_t) { return options->FrameTop() > 179.0f; });
    }
    OptionState* options = nullptr;
};

}  // namespace

TEST_F(Options, OpensInsideTheMenuWithTheStoredVolumes) {
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->MusicVolume(), 100);
    EXPECT_EQ(options->EffectVolume(), 95);
    EXPECT_EQ(options->Highlight(), 0);
}

TEST_F(Options, ClicksSetTheMusicVolumeFromTheBarPosition) {
    ASSERT_NE(options, nullptr);
    const int y = 180 + 30;
    for (auto [x, expected] : {std::pair{245, 0}, {330, 47}, {425, 100}, {196, 0}}) {
        window.SetCursor(x, y);
        Press(*menu, 1);
        EXPECT_EQ(options->MusicVolume(), expected) << x;
        EXPECT_EQ(platform::GetIntSetting("MusicVolume", -1), expected) << x;
    }
    EXPECT_EQ(sounds.musicLevels.back(), VolumeToHundredthsOfDecibel(0));
}

TEST_F(Options, RightAtNinetyFiveGivesOneHundredAndReplaysTheSample) {
    ASSERT_NE(options, nullptr);
    Press(*menu, 40);
    ASSERT_EQ(options->Highlight(), 1);
    const int hits = sounds.Count("hit.wav");
    Press(*menu, 39);
    EXPECT_EQ(options->EffectVolume(), 100);
    EXPECT_EQ(platform::GetIntSetting("SoundEffectVolume", -1), 100);
    Press(*menu, 39);
    EXPECT_EQ(options->EffectVolume(), 100);
    EXPECT_EQ(sounds.Count("hit.wav"), hits + 2);
}

TEST_F(Options, ArrowsDoNothingOnReturnAndReturnOnARowIsTaken) {
    ASSERT_NE(options, nullptr);
    Press(*menu, 13);  // on the music row: taken, nothing happens
    EXPECT_EQ(menu->SubScreen(), options);
    Press(*menu, 38);
    ASSERT_EQ(options->Highlight(), 2);
    Press(*menu, 39);
    Press(*menu, 37);
    EXPECT_EQ(options->MusicVolume(), 100);
    EXPECT_EQ(options->EffectVolume(), 95);
}

TEST_F(Options, EscapeClosesAndTheMenuComesBack) {
    ASSERT_NE(options, nullptr);
    const int fills = sounds.Count("FillIn.wav");
    Press(*menu, 27);
    RunUntil(*menu, [this](int32_t) { return menu->SubScreen() == nullptr; });
    EXPECT_EQ(menu->SubScreen(), nullptr);
    EXPECT_EQ(sounds.Count("FillIn.wav"), fills + 1);
    EXPECT_EQ(menu->Highlight(), 1);
    EXPECT_FALSE(menu->Closing());
}

TEST(OptionsWithoutSound, BarsMoveButNothingIsStored) {
    testsupport::ClearSettings();
    platform::ScriptedWindow window;
    DirectInput::ResetClock();
    DirectInput input(&window);
    OptionState options(nullptr, nullptr, &input, nullptr, nullptr, nullptr);
    for (int i = 0; i < 3; ++i) {
        window.SetKeyDown(37, true);
        window.AdvanceTime(20);
        input.Update();
        options.Run();
        window.SetKeyDown(37, false);
        window.AdvanceTime(20);
        input.Update();
        options.Run();
    }
    EXPECT_EQ(options.MusicVolume(), 70);
    EXPECT_EQ(platform::GetIntSetting("MusicVolume", -1), -1);
}

namespace {

class Credits : public Menu {
  protected:
    void SetUp() override {
        Menu::SetUp();
        Press(*menu, 'C');
        RunUntil(*menu, [this](int32_t) { return menu->SubScreen() != nullptr; });
        credits = dynamic_cast<CreditsState*>(menu->SubScreen());
    }
    CreditsState* credits = nullptr;
};

}  // namespace

TEST_F(Credits, ListOfTwentyTwoLinesWithHeadingsAfterEmptyLines) {
    ASSERT_NE(credits, nullptr);
    ASSERT_EQ(credits->Lines().size(), 22u);
    EXPECT_EQ(credits->Lines()[0], "TORVANE");
    EXPECT_TRUE(credits->IsHeading(0));
    EXPECT_FALSE(credits->IsHeading(1));
    EXPECT_TRUE(credits->IsHeading(3));
    EXPECT_TRUE(credits->IsHeading(20));
    EXPECT_FALSE(credits->IsHeading(21));
}

TEST_F(Credits, CloseByThemselvesAfterAboutEightyTwoSeconds) {
    ASSERT_NE(credits, nullptr);
    int elapsed = 0;
    while (menu->SubScreen() && elapsed < 100000) {
        Frame(*menu, 100);
        elapsed += 100;
    }
    EXPECT_GE(elapsed, 81700);
    EXPECT_LE(elapsed, 82100);
}

TEST_F(Credits, AKeyClosesThemAtOnce) {
    ASSERT_NE(credits, nullptr);
    Frame(*menu, 1000);
    EXPECT_NE(menu->SubScreen(), nullptr);
    Press(*menu, 32);
    EXPECT_EQ(menu->SubScreen(), nullptr);
}
