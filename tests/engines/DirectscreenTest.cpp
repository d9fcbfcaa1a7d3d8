// The screen engine drawn headless: pictures, text, fades, cursor, frame clock and error boxes.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>

#include "platform/Cp1252.h"
#include "platform/Settings.h"
#include "screen/Directscreen.h"
#include "support/ScreenFixture.h"

namespace {

using testsupport::Bounds;
using torvane::DirectScreen;
using torvane::Image;

class DirectScreenTest : public testsupport::ScreenFixture {
  protected:
    void SetUp() override {
        ScreenFixture::SetUp();
        WriteCursor();
        WriteSolid("Graphics/White.png", 1, 1, 0xFFFFFFFF);
        WriteSolid("Graphics/Red.png", 20, 10, 0xFFFF0000);
    }

    // A white picture over the whole screen, for drawings that need a light background.
    void WhiteBackground(DirectScreen& screen) {
        if (!white)
            white = screen.LoadImage("..\\Ressources\\Graphics\\White.png", 0);
        ASSERT_TRUE(white);
        white->Draw(0, 0, 0xFFFFFFFF, 640.0f, 480.0f);
    }

    // Frames of `ms` milliseconds on the scripted clock.
    void Frame(DirectScreen& screen, int ms, bool cursor = false) {
        window.AdvanceTime(ms);
        screen.BeginFrame();
        screen.EndFrame(cursor);
    }

    static bool IsRed(uint32_t c) { return Red(c) > 200 && Green(c) < 60 && Blue(c) < 60; }
    static bool IsLit(uint32_t c) { return Red(c) > 100 || Green(c) > 100 || Blue(c) > 100; }

    std::unique_ptr<Image> white;
};

// --- pictures ------------------------------------------------------------------------------

TEST_F(DirectScreenTest, ColourKeyTurnsOnlyThatExactColourTransparent) {
    WritePicture("Graphics/Keyed.png", 3, 1, {0xFF800080, 0xFF800081, 0xFF810080});
    auto screen = MakeScreen();
    auto keyed = screen->LoadImage("..\\Ressources\\graphics\\KEYED.png", 0xFF800080);
    ASSERT_TRUE(keyed);
    EXPECT_EQ(keyed->GetWidth(), 3);
    EXPECT_EQ(keyed->GetHeight(), 1);
    screen->BeginFrame();
    WhiteBackground(*screen);
    keyed->Draw(10, 10);
    screen->EndFrame(false);
    EXPECT_EQ(screen->PixelAt(10, 10), 0xFFFFFFFFu);
    EXPECT_EQ(screen->PixelAt(11, 10), 0xFF800081u);
    EXPECT_EQ(screen->PixelAt(12, 10), 0xFF810080u);

    auto unkeyed = screen->LoadImage("..\\Ressources\\Graphics\\Keyed.png", 0);
    ASSERT_TRUE(unkeyed);
    screen->BeginFrame();
    WhiteBackground(*screen);
    unkeyed->Draw(10, 10);
    screen->EndFrame(false);
    EXPECT_EQ(screen->PixelAt(10, 10), 0xFF800080u);
}

TEST_F(DirectScreenTest, ColourModulatesTintAndTranslucency) {
    auto screen = MakeScreen();
    auto image = screen->LoadImage("..\\Ressources\\Graphics\\White.png", 0);
    ASSERT_TRUE(image);
    screen->BeginFrame();
    image->Draw(0, 0, 0xFF00FF00, 10.0f, 10.0f);   // tinted green
    image->Draw(20, 0, 0x80FFFFFF, 10.0f, 10.0f);  // half transparent over black
    image->Draw(40, 0, 0x00FFFFFF, 10.0f, 10.0f);  // fully transparent
    screen->EndFrame(false);
    EXPECT_EQ(screen->PixelAt(5, 5), 0xFF00FF00u);
    const uint32_t half = screen->PixelAt(25, 5);
    EXPECT_NEAR(Red(half), 128, 2);
    EXPECT_NEAR(Green(half), 128, 2);
    EXPECT_EQ(screen->PixelAt(45, 5), 0xFF000000u);
}

TEST_F(DirectScreenTest, RotationTurnsClockwiseAroundCentreOfScaledPicture) {
    auto screen = MakeScreen();
    auto red = screen->LoadImage("..\\Ressources\\Graphics\\Red.png", 0);
    ASSERT_TRUE(red);
    const float quarter = static_cast<float>(std::numbers::pi / 2);

    // Around the corner: the 20 x 10 picture swings down-left of (100, 100).
    screen->BeginFrame();
    red->Draw(100, 100, 0xFFFFFFFF, 1.0f, 1.0f, 0, 0, quarter);
    screen->EndFrame(false);
    Bounds around = Find(Picture(*screen), IsRed);
    EXPECT_NEAR(around.left, 90, 1);
    EXPECT_NEAR(around.right, 99, 1);
    EXPECT_NEAR(around.top, 100, 1);
    EXPECT_NEAR(around.bottom, 119, 1);

    // Scaled 2x, centre given in scaled picture space (the middle of the 40 x 20 picture).
    screen->BeginFrame();
    red->Draw(100, 100, 0xFFFFFFFF, 2.0f, 2.0f, 20, 10, quarter);
    screen->EndFrame(false);
    Bounds middle = Find(Picture(*screen), IsRed);
    EXPECT_NEAR(middle.left, 110, 1);
    EXPECT_NEAR(middle.right, 129, 1);
    EXPECT_NEAR(middle.top, 90, 1);
    EXPECT_NEAR(middle.bottom, 129, 1);
}

TEST_F(DirectScreenTest, OnePixelPictureStretchesToRectangle) {
    auto screen = MakeScreen();
    auto image = screen->LoadImage("..\\Ressources\\Graphics\\White.png", 0);
    ASSERT_TRUE(image);
    screen->BeginFrame();
    image->Draw(200, 100, 0xFF0000FF, 50.0f, 20.0f);
    screen->EndFrame(false);
    Bounds bounds = Find(Picture(*screen), IsLit);
    EXPECT_EQ(bounds.left, 200);
    EXPECT_EQ(bounds.top, 100);
    EXPECT_EQ(bounds.right, 249);
    EXPECT_EQ(bounds.bottom, 119);
    EXPECT_EQ(screen->PixelAt(220, 110), 0xFF0000FFu);
}

TEST_F(DirectScreenTest, NegativeScaleMirrorsAboutTheCornerAndZeroDrawsNothing) {
    WritePicture("Graphics/TwoTone.png", 2, 1, {0xFFFF0000, 0xFF0000FF});
    auto screen = MakeScreen();
    auto image = screen->LoadImage("..\\Ressources\\Graphics\\TwoTone.png", 0);
    ASSERT_TRUE(image);
    screen->BeginFrame();
    image->Draw(300, 300, 0xFFFFFFFF, -5.0f, 4.0f);
    image->Draw(100, 100, 0xFFFFFFFF, 0.0f, 4.0f);
    screen->EndFrame(false);
    Bounds bounds = Find(Picture(*screen), IsLit);
    EXPECT_EQ(bounds.left, 290);
    EXPECT_EQ(bounds.right, 299);
    EXPECT_EQ(bounds.top, 300);
    EXPECT_EQ(bounds.bottom, 303);
    // Mirrored: the first column (red) now ends at the corner.
    EXPECT_EQ(screen->PixelAt(298, 301), 0xFFFF0000u);
    EXPECT_EQ(screen->PixelAt(291, 301), 0xFF0000FFu);
}

TEST_F(DirectScreenTest, SquareTexturesKeepPictureSizeAndTransparentPadding) {
    platform::SetBoolSetting("SquareTexturesOnly", true);
    WriteSolid("Graphics/Odd.png", 3, 5, 0xFFFF0000);
    WriteSolid("Graphics/Big.png", 640, 480, 0xFFFF0000);
    auto screen = MakeScreen();
    auto odd = screen->LoadImage("..\\Ressources\\Graphics\\Odd.png", 0);
    auto big = screen->LoadImage("..\\Ressources\\Graphics\\Big.png", 0);
    ASSERT_TRUE(odd);
    ASSERT_TRUE(big);
    EXPECT_EQ(odd->GetWidth(), 3);
    EXPECT_EQ(odd->GetHeight(), 5);
    EXPECT_EQ(big->GetWidth(), 640);
    EXPECT_EQ(big->GetHeight(), 480);

    screen->BeginFrame();
    WhiteBackground(*screen);
    odd->Draw(10, 10);
    screen->EndFrame(false);
    Bounds bounds = Find(Picture(*screen), IsRed);
    EXPECT_EQ(bounds.left, 10);
    EXPECT_EQ(bounds.right, 12);
    EXPECT_EQ(bounds.top, 10);
    EXPECT_EQ(bounds.bottom, 14);
    EXPECT_EQ(screen->PixelAt(13, 10), 0xFFFFFFFFu);  // padding is transparent
    EXPECT_EQ(screen->PixelAt(10, 15), 0xFFFFFFFFu);

    // Read at every load: switched off, the next picture loads at its own size.
    platform::SetBoolSetting("SquareTexturesOnly", false);
    auto plain = screen->LoadImage("..\\Ressources\\Graphics\\Odd.png", 0);
    ASSERT_TRUE(plain);
    screen->BeginFrame();
    WhiteBackground(*screen);
    plain->Draw(10, 10, 0xFFFFFFFF, 2.0f, 2.0f);
    screen->EndFrame(false);
    bounds = Find(Picture(*screen), IsRed);
    EXPECT_EQ(bounds.right, 15);
    EXPECT_EQ(bounds.bottom, 19);
}

TEST_F(DirectScreenTest, MissingPictureShowsErrorAndYieldsNull) {
    auto screen = MakeScreen();
    EXPECT_TRUE(boxes.texts.empty());
    auto missing = screen->LoadImage("..\\Ressources\\Graphics\\Nowhere.png", 0);
    EXPECT_EQ(missing, nullptr);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0],
              platform::Utf8ToCp1252("Impossible de créer l'image à partir du fichier"));
}

TEST_F(DirectScreenTest, CorruptPictureFileIsRefusedLikeAMissingOne) {
    {
        std::ofstream file(root / "Graphics" / "Broken.png", std::ios::binary);
        file << "\x89PNG\r\n\x1a\n this is not a picture";
    }
    auto screen = MakeScreen();
    EXPECT_EQ(screen->LoadImage("..\\Ressources\\Graphics\\Broken.png", 0), nullptr);
    EXPECT_EQ(boxes.texts.size(), 1u);
}

TEST_F(DirectScreenTest, MissingCursorShowsOneErrorAndFramesGoOn) {
    std::filesystem::remove(root / "Graphics" / "Icones" / "Cursor.png");
    auto screen = MakeScreen();
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0],
              platform::Utf8ToCp1252("Impossible de créer l'image à partir du fichier"));
    Frame(*screen, 16, true);
    EXPECT_EQ(boxes.texts.size(), 1u);
}

TEST_F(DirectScreenTest, AnEngineWithoutItsFontSaysSoOnceAndStillEndsItsFades) {
    std::filesystem::remove(root / "Fonts");
    DirectScreen screen(&window);
    EXPECT_FALSE(screen.IsReady());
    EXPECT_EQ(screen.LoadImage("..\\Ressources\\Graphics\\Red.png", 0), nullptr);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], platform::Utf8ToCp1252(
                                  "Impossible d'utiliser la police de caractères Book Antiqua."));
    screen.Fade(true, 1000, 0);
    screen.ResetFrameClock();
    for (int frame = 0; frame < 49; ++frame)
        Frame(screen, 20);
    EXPECT_FALSE(screen.FadeDone());
    Frame(screen, 20);
    EXPECT_TRUE(screen.FadeDone());
    EXPECT_EQ(boxes.texts.size(), 1u);
}

TEST_F(DirectScreenTest, PicturesOutliveNothingTheyDoNotOwn) {
    auto screen = MakeScreen();
    auto image = screen->LoadImage("..\\Ressources\\Graphics\\Red.png", 0);
    ASSERT_TRUE(image);
    screen.reset();
    image->Draw(0, 0);  // the engine is gone: nothing to draw with, and no crash
    EXPECT_EQ(image->GetWidth(), 20);
}

// --- text --------------------------------------------------------------------------------

TEST_F(DirectScreenTest, FontSizesFollowPointsAtNinetySixDpi) {
    EXPECT_EQ(DirectScreen::FontPixelHeight(0), 16);
    EXPECT_EQ(DirectScreen::FontPixelHeight(1), 19);    // 14 pt = 18.67 px
    EXPECT_EQ(DirectScreen::FontPixelHeight(39), 120);  // 90 pt
    EXPECT_EQ(DirectScreen::FontPixelHeight(-3), 16);
    EXPECT_EQ(DirectScreen::FontPixelHeight(70), 120);
}

TEST_F(DirectScreenTest, TextAlignsLeftCentredAndRightOnX) {
    auto screen = MakeScreen();
    auto bounds = [&](int align) {
        screen->BeginFrame();
        screen->DrawText(320, 100, "Torvane", 0xFFFFFFFF, 0, 5, align);
        screen->EndFrame(false);
        return Find(Picture(*screen), IsLit);
    };
    const Bounds left = bounds(0);
    const Bounds centred = bounds(1);
    const Bounds right = bounds(2);
    ASSERT_FALSE(left.Empty());
    EXPECT_NEAR(left.left, 320, 3);
    EXPECT_NEAR(right.right, 320, 3);
    EXPECT_NEAR((centred.left + centred.right) / 2, 320, 3);
    const int width = left.right - left.left;
    EXPECT_GT(width, 40);
    EXPECT_NEAR(right.right - right.left, width, 1);
    // The line's top is at y: capitals start a little below it, never above.
    EXPECT_GE(left.top, 100);
    EXPECT_LT(left.top, 110);
    // Any other align value is left-aligned.
    const Bounds other = bounds(7);
    EXPECT_EQ(other.left, left.left);
}

TEST_F(DirectScreenTest, ShadowIsHalfAlphaBlackOffsetByShadow) {
    auto screen = MakeScreen();
    auto draw = [&](int shadow) {
        screen->BeginFrame();
        WhiteBackground(*screen);
        screen->DrawText(100, 100, "MW", 0xFFFF0000, shadow, 10, 0);
        screen->EndFrame(false);
        return Picture(*screen);
    };
    auto grey = [](uint32_t c) {
        return Red(c) < 200 && Green(c) < 200 && std::abs(Red(c) - Green(c)) < 30;
    };

    const auto plain = draw(0);
    EXPECT_TRUE(Find(plain, grey).Empty());

    const auto shadowed = draw(3);
    const Bounds text = Find(shadowed, IsRed);
    const Bounds shadow = Find(shadowed, grey);
    ASSERT_FALSE(shadow.Empty());
    EXPECT_EQ(shadow.right, text.right + 3);
    EXPECT_EQ(shadow.bottom, text.bottom + 3);
    // Half the text's alpha over white: a mid grey, not black.
    const uint32_t darkest = shadowed[static_cast<size_t>(shadow.bottom * 640 + shadow.right)];
    EXPECT_GT(Red(darkest), 100);
}

TEST_F(DirectScreenTest, LinesBreakAtLineFeedAndCarriageReturnLineFeed) {
    auto screen = MakeScreen();
    auto draw = [&](const std::string& text, int align) {
        screen->BeginFrame();
        screen->DrawText(320, 50, text, 0xFFFFFFFF, 0, 4, align);
        screen->EndFrame(false);
        return Picture(*screen);
    };
    const auto one = draw("Aa", 0);
    const Bounds first = Find(one, IsLit);
    const auto lf = draw("Aa\nAa", 0);
    const auto crlf = draw("Aa\r\nAa", 0);
    EXPECT_EQ(lf, crlf);  // the CR draws nothing and moves nothing
    const Bounds both = Find(lf, IsLit);
    const int lineHeight = both.bottom - first.bottom;
    EXPECT_GT(lineHeight, first.bottom - first.top);
    EXPECT_EQ(both.left, first.left);  // the second line starts at x again

    // Alignment applies per line: two lines of different widths are each centred on x.
    const auto centred = draw("i\r\nWWWWWW", 1);
    const Bounds top = Find(centred, IsLit, 0, 0, 640, first.bottom + 4);
    const Bounds bottom = Find(centred, IsLit, 0, first.bottom + 4, 640, 480);
    EXPECT_NEAR((top.left + top.right) / 2, 320, 3);
    EXPECT_NEAR((bottom.left + bottom.right) / 2, 320, 3);
    EXPECT_GT(bottom.right - bottom.left, 5 * (top.right - top.left));
}

TEST_F(DirectScreenTest, AccentedWindows1252LettersHaveGlyphs) {
    auto screen = MakeScreen();
    screen->BeginFrame();
    screen->DrawText(100, 100, "e", 0xFFFFFFFF, 0, 8, 0);
    screen->DrawText(300, 100, platform::Utf8ToCp1252("é"), 0xFFFFFFFF, 0, 8, 0);
    screen->EndFrame(false);
    const auto picture = Picture(*screen);
    const Bounds plain = Find(picture, IsLit, 0, 0, 250, 480);
    const Bounds accented = Find(picture, IsLit, 250, 0, 640, 480);
    ASSERT_FALSE(accented.Empty());
    EXPECT_LT(accented.top, plain.top);  // the accent reaches above the letter
    EXPECT_EQ(accented.bottom, plain.bottom);
}

TEST_F(DirectScreenTest, FontIndexIsClampedToTheFortySizes) {
    auto screen = MakeScreen();
    auto draw = [&](int index) {
        screen->BeginFrame();
        screen->DrawText(10, 10, "Abc", 0xFFFFFFFF, 0, index, 0);
        screen->EndFrame(false);
        return Picture(*screen);
    };
    EXPECT_EQ(draw(-4), draw(0));
    EXPECT_EQ(draw(100), draw(39));
    EXPECT_NE(draw(0), draw(1));
}

// --- fades, cursor, frame-rate line ------------------------------------------------------

TEST_F(DirectScreenTest, FadeOutAlphaSteps) {
    auto screen = MakeScreen();
    screen->ResetFrameClock();
    screen->Fade(true, 1000, 0xFF0000);
    for (int frame = 0; frame < 50; ++frame) {
        Frame(*screen, 20);
        const int expected = 20 * frame * 255 / 1000;  // 0, 5, 10, 15, 20, 25, ...
        ASSERT_NEAR(Red(screen->PixelAt(320, 240)), expected, 1) << "frame " << frame;
        EXPECT_EQ(Green(screen->PixelAt(320, 240)), 0);
        if (frame < 49) {
            ASSERT_FALSE(screen->FadeDone()) << "frame " << frame;
        }
    }
    EXPECT_TRUE(screen->FadeDone());
    Frame(*screen, 20);
    EXPECT_EQ(screen->PixelAt(320, 240), 0xFF000000u);  // the fade is gone
}

TEST_F(DirectScreenTest, FinishedFadeOutCoversUntilRemovedAndFadeInClears) {
    auto screen = MakeScreen();
    screen->ResetFrameClock();
    screen->Fade(true, 100, 0x0000FF);
    for (int i = 0; i < 6; ++i)
        Frame(*screen, 20);
    Frame(*screen, 20);
    EXPECT_EQ(screen->PixelAt(5, 5), 0xFF0000FFu);
    Frame(*screen, 20);
    EXPECT_EQ(screen->PixelAt(5, 5), 0xFF0000FFu);
    EXPECT_TRUE(screen->FadeDone());

    screen->Fade(false, 100, 0x0000FF);
    Frame(*screen, 20);
    EXPECT_EQ(screen->PixelAt(5, 5), 0xFF0000FFu);  // a fade-in starts fully covered
    for (int i = 0; i < 6; ++i)
        Frame(*screen, 20);
    EXPECT_EQ(screen->PixelAt(5, 5), 0xFF000000u);
}

TEST_F(DirectScreenTest, ZeroDurationFadeIsDoneAtOnceAndANewFadeRestarts) {
    auto screen = MakeScreen();
    screen->Fade(true, 0, 0xFFFFFF);
    EXPECT_TRUE(screen->FadeDone());
    Frame(*screen, 20);
    EXPECT_EQ(screen->PixelAt(5, 5), 0xFF000000u);

    screen->ResetFrameClock();
    screen->Fade(true, 1000, 0xFFFFFF);
    for (int i = 0; i < 30; ++i)
        Frame(*screen, 20);
    screen->Fade(true, 1000, 0xFFFFFF);
    Frame(*screen, 20);
    EXPECT_EQ(screen->PixelAt(5, 5), 0xFF000000u);  // elapsed restarted at 0
    EXPECT_FALSE(screen->FadeDone());
}

TEST_F(DirectScreenTest, FrameTimeBelowZeroDoesNotRunTheFadeBackwardsOrEndIt) {
    auto screen = MakeScreen();
    screen->ResetFrameClock();
    screen->Fade(true, 1000, 0xFF0000);
    Frame(*screen, 20);
    Frame(*screen, 20);
    window.AdvanceTime(-5000);
    screen->BeginFrame();
    EXPECT_EQ(screen->GetFrameTime(), -5000);  // used as measured by the screens
    screen->EndFrame(false);
    EXPECT_FALSE(screen->FadeDone());
    Frame(*screen, 20);
    EXPECT_NEAR(Red(screen->PixelAt(5, 5)), 10, 1);
}

TEST_F(DirectScreenTest, CursorIsDrawnLastAboveTheFadeAtItsHotSpot) {
    auto screen = MakeScreen();
    EXPECT_TRUE(boxes.texts.empty());
    screen->ResetFrameClock();
    screen->Fade(true, 20, 0xFFFFFF);
    Frame(*screen, 20);
    window.SetCursor(100, 100);
    Frame(*screen, 20, true);
    EXPECT_EQ(screen->PixelAt(300, 300), 0xFFFFFFFFu);  // fully faded to white
    EXPECT_EQ(screen->PixelAt(85, 89), 0xFF00FF00u);    // cursor at (X - 16, Y - 11)
    EXPECT_EQ(screen->PixelAt(87, 92), 0xFF00FF00u);
    EXPECT_EQ(screen->PixelAt(84, 89), 0xFFFFFFFFu);  // its keyed corner is transparent
    EXPECT_EQ(screen->PixelAt(88, 89), 0xFFFFFFFFu);

    Frame(*screen, 20, false);
    EXPECT_EQ(screen->PixelAt(85, 89), 0xFFFFFFFFu);
}

TEST_F(DirectScreenTest, FrameClockStartsAtZeroAndFpsChangesEverySixtyFrames) {
    auto screen = MakeScreen();
    window.AdvanceTime(5000);
    screen->BeginFrame();
    EXPECT_EQ(screen->GetFrameTime(), 0);  // first frame
    screen->EndFrame(false);
    window.AdvanceTime(17);
    screen->BeginFrame();
    EXPECT_EQ(screen->GetFrameTime(), 17);
    screen->EndFrame(false);
    window.AdvanceTime(3000);  // loading
    screen->ResetFrameClock();
    screen->BeginFrame();
    EXPECT_EQ(screen->GetFrameTime(), 0);
    screen->EndFrame(false);

    for (int i = 3; i < 59; ++i) {
        Frame(*screen, 20);
        EXPECT_EQ(screen->GetFps(), 0);
    }
    Frame(*screen, 20);  // the 60th frame: 0 + 17 + 0 + 57 x 20 ms
    EXPECT_EQ(screen->GetFps(), 60000 / (17 + 57 * 20));
    for (int i = 0; i < 59; ++i)
        Frame(*screen, 10);
    EXPECT_EQ(screen->GetFps(), 60000 / (17 + 57 * 20));
    Frame(*screen, 10);
    EXPECT_EQ(screen->GetFps(), 100);
}

TEST_F(DirectScreenTest, FpsLineIsDrawnRightAlignedWhenDebugInfoIsOn) {
    // The same text drawn by hand on an engine without the line is the reference.
    auto reference = MakeScreen();
    auto expected = [&](const std::string& line) {
        reference->BeginFrame();
        reference->DrawText(620, 20, line, 0xFF0FCF0F, 1, 12, 2);
        reference->EndFrame(false);
        return Picture(*reference);
    };
    const auto zero = expected("FPS : 0");
    const auto fifty = expected("FPS : 50");

    platform::SetBoolSetting("ShowDebugInfo", true);
    auto screen = MakeScreen();
    screen->ResetFrameClock();
    for (int i = 0; i < 59; ++i)
        Frame(*screen, 20);
    EXPECT_EQ(Picture(*screen), zero);
    Frame(*screen, 20);
    EXPECT_EQ(screen->GetFps(), 50);
    EXPECT_EQ(Picture(*screen), fifty);
    EXPECT_NE(zero, fifty);
}

TEST_F(DirectScreenTest, ScreenshotIsAPngOfTheCurrentPicture) {
    auto screen = MakeScreen();
    screen->BeginFrame();
    screen->DrawText(20, 20, "Capture", 0xFFFFFF00, 1, 6, 0);
    screen->EndFrame(false);
    const std::string path = (root / "shot.png").string();
    ASSERT_TRUE(screen->SaveScreenshot(path));
    auto again = screen->LoadImage("..\\Ressources\\shot.png", 0);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->GetWidth(), 640);
    EXPECT_EQ(again->GetHeight(), 480);
    const auto original = Picture(*screen);
    screen->BeginFrame();
    again->Draw(0, 0);
    screen->EndFrame(false);
    EXPECT_EQ(Picture(*screen), original);
}

TEST_F(DirectScreenTest, PrintScreenKeySavesOneScreenshotPerPress) {
    const auto pictures = root / "Pictures";
    std::filesystem::create_directories(pictures);
    ::setenv("XDG_PICTURES_DIR", pictures.c_str(), 1);
    auto screen = MakeScreen();
    window.SetKeyDown(44, true);
    Frame(*screen, 20);
    Frame(*screen, 20);
    window.SetKeyDown(44, false);
    Frame(*screen, 20);
    ::unsetenv("XDG_PICTURES_DIR");
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(pictures)) {
        EXPECT_EQ(entry.path().extension(), ".png");
        EXPECT_EQ(entry.path().filename().string().rfind("Torvane ", 0), 0u);
        ++files;
    }
    EXPECT_EQ(files, 1);
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(DirectScreenTest, FullScreenKeysNeverChangeTheStoredSetting) {
    platform::SetBoolSetting("FullScreen", false);
    auto screen = MakeScreen();
    EXPECT_FALSE(screen->IsFullScreen());
    window.SetKeyDown(122, true);  // F11
    Frame(*screen, 20);
    EXPECT_TRUE(screen->IsFullScreen());
    window.SetKeyDown(122, false);
    window.SetKeyDown(123, true);  // F12
    Frame(*screen, 20);
    EXPECT_FALSE(screen->IsFullScreen());
    window.SetKeyDown(123, false);
    EXPECT_FALSE(platform::GetBoolSetting("FullScreen", true));
    EXPECT_TRUE(boxes.texts.empty());
}

}  // namespace
