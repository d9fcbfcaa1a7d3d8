// The launcher dialog: options written at opening and on clicks, keys, mouse, play and close.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "app/Enter.h"
#include "platform/Settings.h"
#include "support/TestSupport.h"

using namespace torvane;

namespace {

// A driver with no screens at all: the game window opens and closes on its first frame.
StateFactory NoScreens() {
    return [](int32_t, const EngineSlots&) -> std::unique_ptr<DirectState> { return nullptr; };
}

class Launcher : public testing::Test {
  protected:
    void SetUp() override { testsupport::ClearSettings(); }

    TEnterScreen::GameWindowFactory TestGame() {
        return [this](TEnterScreen& launcher) {
            ++gamesOpened;
            // Sound stays off in tests whatever the box says.
            platform::SetBoolSetting("NoSoundCard", false);
            return std::make_unique<TMainScreen>(
                application, [&launcher] { launcher.CloseButtonClick(); }, NoScreens());
        };
    }

    void Press(TEnterScreen& launcher, int key) {
        application.InjectKey(*launcher.Form(), key, true);
        application.ProcessMessages();
        application.InjectKey(*launcher.Form(), key, false);
        application.ProcessMessages();
    }

    void Click(TEnterScreen& launcher, int x, int y) {
        application.InjectMouseButton(*launcher.Form(), x, y, 1, true);
        application.InjectMouseButton(*launcher.Form(), x, y, 1, false);
        application.ProcessMessages();
    }

    platform::Application application;
    int gamesOpened = 0;
};

}  // namespace

TEST_F(Launcher, FirstStartStoresFullScreenAndSound) {
    TEnterScreen launcher(application, TestGame());
    ASSERT_TRUE(launcher.Loaded());
    EXPECT_TRUE(launcher.Checked(1));
    EXPECT_FALSE(launcher.Checked(2));
    EXPECT_TRUE(launcher.Checked(3));
    EXPECT_FALSE(launcher.Checked(4));
    EXPECT_EQ(platform::GetIntSetting("FullScreen", -5), 1);
    EXPECT_EQ(platform::GetIntSetting("NoSoundCard", -5), 1);
    EXPECT_EQ(platform::GetIntSetting("ShowDebugInfo", -5), -5);
    EXPECT_EQ(platform::GetIntSetting("SquareTexturesOnly", -5), -5);
}

TEST_F(Launcher, BoxesShowTheStoredOptions) {
    platform::SetBoolSetting("FullScreen", false);
    platform::SetBoolSetting("ShowDebugInfo", true);
    platform::SetBoolSetting("SquareTexturesOnly", true);
    TEnterScreen launcher(application, TestGame());
    EXPECT_FALSE(launcher.Checked(1));
    EXPECT_TRUE(launcher.Checked(2));
    EXPECT_TRUE(launcher.Checked(4));
    EXPECT_EQ(platform::GetIntSetting("FullScreen", -5), 0);
}

TEST_F(Launcher, ClicksStoreAtOnce) {
    TEnterScreen launcher(application, TestGame());
    launcher.Show();
    Click(launcher, 85, 170);  // "Activer le son"
    EXPECT_FALSE(launcher.Checked(3));
    EXPECT_FALSE(platform::GetBoolSetting("NoSoundCard", true));
    Click(launcher, 120, 130);  // on the label "Voir la vitesse d'affichage"
    EXPECT_TRUE(platform::GetBoolSetting("ShowDebugInfo", false));
    Click(launcher, 30, 30);  // nothing there
    EXPECT_TRUE(platform::GetBoolSetting("ShowDebugInfo", false));
    launcher.CheckBoxClick(4);
    EXPECT_TRUE(platform::GetBoolSetting("SquareTexturesOnly", false));
}

TEST_F(Launcher, TabWalksTheBoxesAndSpaceToggles) {
    TEnterScreen launcher(application, TestGame());
    launcher.Show();
    EXPECT_EQ(launcher.FocusedBox(), 1);
    Press(launcher, 9);
    EXPECT_EQ(launcher.FocusedBox(), 2);
    Press(launcher, 9);
    Press(launcher, 9);
    EXPECT_EQ(launcher.FocusedBox(), 4);
    Press(launcher, 9);
    EXPECT_EQ(launcher.FocusedBox(), 1);
    Press(launcher, 32);
    EXPECT_FALSE(platform::GetBoolSetting("FullScreen", true));
}

TEST_F(Launcher, EscapeEndsTheProgram) {
    TEnterScreen launcher(application, TestGame());
    launcher.Show();
    Press(launcher, 27);
    EXPECT_TRUE(application.Terminated());
    EXPECT_EQ(gamesOpened, 0);
}

TEST_F(Launcher, ReturnOpensTheGameAndItsEndClosesTheLauncher) {
    TEnterScreen launcher(application, TestGame());
    launcher.Show();
    Press(launcher, 13);
    EXPECT_EQ(gamesOpened, 1);
    ASSERT_NE(launcher.Game(), nullptr);
    EXPECT_FALSE(launcher.Form()->IsVisible());
    EXPECT_TRUE(launcher.Game()->Form()->IsVisible());
    EXPECT_FALSE(application.Terminated());
    // The driver has no screen: the first frame ends the game, which closes the launcher.
    bool done = false;
    launcher.Game()->IdleHandler(done);
    EXPECT_TRUE(launcher.Game()->Closed());
    EXPECT_TRUE(application.Terminated());
}

TEST_F(Launcher, ClickingCloseEnds) {
    TEnterScreen launcher(application, TestGame());
    launcher.Show();
    Click(launcher, 290, 20);
    EXPECT_TRUE(application.Terminated());
    EXPECT_EQ(gamesOpened, 0);
}

TEST_F(Launcher, ClickingPlayOpensTheGame) {
    TEnterScreen launcher(application, TestGame());
    launcher.Show();
    Click(launcher, 160, 214);
    EXPECT_EQ(gamesOpened, 1);
    EXPECT_FALSE(application.Terminated());
}

TEST_F(Launcher, DrawsTheSplashAndTheBoxes) {
    TEnterScreen launcher(application, TestGame());
    launcher.Show();
    ASSERT_NE(launcher.Surface(), nullptr);
    ASSERT_TRUE(launcher.Surface()->Valid());
    launcher.Paint();
    // The box's grey frame, and its white inside.
    EXPECT_EQ(launcher.Surface()->PixelAt(80, 95), 0xFF808080u);
    EXPECT_EQ(launcher.Surface()->PixelAt(84, 90), 0xFFFFFFFFu);
}

TEST_F(Launcher, AMissingSplashEndsWithoutAWindow) {
    const std::filesystem::path empty =
        std::filesystem::temp_directory_path() / ("torvane-empty-" + std::to_string(::getpid()));
    std::filesystem::create_directories(empty);
    const std::string saved =
        std::getenv("TORVANE_RESOURCES") ? std::getenv("TORVANE_RESOURCES") : "";
    ::setenv("TORVANE_RESOURCES", empty.c_str(), 1);
    testsupport::ErrorBoxes boxes;
    {
        TEnterScreen launcher(application, TestGame());
        EXPECT_FALSE(launcher.Loaded());
        EXPECT_FALSE(launcher.Form()->IsVisible());
    }
    ::setenv("TORVANE_RESOURCES", saved.c_str(), 1);
    std::filesystem::remove_all(empty);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_NE(boxes.texts[0].find("Splash.jpg"), std::string::npos);
}

namespace {

// No window system at all, and a resource folder holding only the splash picture and, when
// asked, the close glyph.
class LauncherWithoutWindow : public testing::Test {
  protected:
    void SetUp() override {
        testsupport::ClearSettings();
        const char* original = std::getenv("TORVANE_RESOURCES");
        ASSERT_NE(original, nullptr);
        saved = original;
        char pattern[] = "/tmp/torvane-launcher-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        std::filesystem::create_directories(folder / "Graphics" / "Fond");
        std::filesystem::copy_file(saved / "Graphics" / "Fond" / "Splash.jpg",
                                   folder / "Graphics" / "Fond" / "Splash.jpg");
        ::setenv("TORVANE_RESOURCES", folder.c_str(), 1);
    }
    void TearDown() override {
        ::setenv("TORVANE_RESOURCES", saved.c_str(), 1);
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
    void AddCloseGlyph() {
        std::filesystem::create_directories(folder / "Graphics" / "Icones");
        std::filesystem::copy_file(saved / "Graphics" / "Icones" / "Close.bmp",
                                   folder / "Graphics" / "Icones" / "Close.bmp");
    }

    std::filesystem::path saved;
    std::filesystem::path folder;
    testsupport::ErrorBoxes boxes;
};

}  // namespace

TEST_F(LauncherWithoutWindow, AMissingCloseGlyphIsStillReported) {
    testsupport::NoVideo noVideo;
    platform::Application application;
    TEnterScreen launcher(application);
    ASSERT_EQ(launcher.Form()->NativeHandle(), nullptr);
    EXPECT_FALSE(launcher.Loaded());
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_NE(boxes.texts[0].find("Close.bmp"), std::string::npos);
}

TEST_F(LauncherWithoutWindow, WithAllItsPicturesItSaysItHasNoWindowAndEnds) {
    AddCloseGlyph();
    testsupport::NoVideo noVideo;
    platform::Application application;
    TEnterScreen launcher(application);
    EXPECT_FALSE(launcher.Loaded());
    EXPECT_EQ(boxes.texts, std::vector<std::string>{"Impossible de cr\xE9"
                                                    "er la fen\xEAtre du lanceur."});
}
