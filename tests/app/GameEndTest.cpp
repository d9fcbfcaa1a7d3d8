// Ways the game ends: a close arriving while a frame waits for a lost device, a screen engine
// that failed, a game window that could not be created.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/Main.h"
#include "app/Statemain.h"
#include "network/Directplay.h"
#include "platform/Application.h"
#include "platform/Settings.h"
#include "screen/Directscreen.h"
#include "support/TestSupport.h"

using namespace torvane;

namespace {

// A screen that draws real frames and lets the test act in the middle of frame number `n`
// (counted from 1), between BeginFrame and EndFrame.
struct FrameScript {
    std::function<void(int frame)> duringFrame;
    int frames = 0;
    bool running = false;
    bool destroyedWhileRunning = false;
    bool destroyed = false;
};

class DrawingState : public DirectState {
  public:
    DrawingState(FrameScript& script, const EngineSlots& slots) : script(script), slots(slots) {}
    ~DrawingState() override {
        script.destroyed = true;
        script.destroyedWhileRunning = script.running;
    }
    int32_t Run() override {
        script.running = true;
        ++script.frames;
        DirectScreen* screen = slots.screen->get();
        screen->BeginFrame();
        screen->DrawText(320, 240, "Torvane", 0xFFFFFFFF, 1, 6, 1);
        if (script.duringFrame)
            script.duringFrame(script.frames);
        screen->EndFrame(true);
        script.running = false;
        // A bound, so that a game that never ends fails instead of hanging.
        return script.frames >= 50 ? QuitCode : StayCode;
    }

  private:
    FrameScript& script;
    EngineSlots slots;
};

// While it lives the game finds its resource folder empty: no font, so the screen engine fails.
class NoFont {
  public:
    NoFont() {
        const char* original = std::getenv("TORVANE_RESOURCES");
        saved = original ? original : "";
        char pattern[] = "/tmp/torvane-nofont-XXXXXX";
        folder = ::mkdtemp(pattern) ? pattern : "";
        ::setenv("TORVANE_RESOURCES", folder.c_str(), 1);
    }
    ~NoFont() {
        ::setenv("TORVANE_RESOURCES", saved.c_str(), 1);
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
    NoFont(const NoFont&) = delete;
    NoFont& operator=(const NoFont&) = delete;

  private:
    std::string saved;
    std::string folder;
};

constexpr const char* kNoFontText =
    "Impossible d'utiliser la police de caract\xE8"
    "res Book Antiqua.";

class GameEnd : public testing::Test {
  protected:
    void SetUp() override {
        testsupport::ClearSettings();
        platform::SetBoolSetting("NoSoundCard", false);
        // Only a full-screen picture is lost when its window is iconified.
        platform::SetBoolSetting("FullScreen", true);
    }

    StateFactory Drawing() {
        return [this](int32_t, const EngineSlots& slots) -> std::unique_ptr<DirectState> {
            return std::make_unique<DrawingState>(frames, slots);
        };
    }

    std::unique_ptr<TMainScreen> OpenGame(StateFactory factory) {
        return std::make_unique<TMainScreen>(
            application,
            [this] {
                ++closes;
                application.Terminate();
            },
            std::move(factory));
    }

    // Frame 2 iconifies the window; frame 3 finds the device lost in EndFrame and waits for
    // it, pumping messages, while `quit` asks the game to end.
    void LoseTheDeviceAndQuit(const std::function<void(platform::Form&)>& quit) {
        auto game = OpenGame(Drawing());
        ASSERT_NE(game->Form()->NativeHandle(), nullptr);
        game->Show();
        platform::Form& form = *game->Form();
        frames.duringFrame = [&](int frame) {
            if (frame == 2)
                application.InjectMinimized(form, true);
            if (frame == 3) {
                // Back from the icon right after the quit, so the wait ends soon.
                application.InjectMinimized(form, false);
                quit(form);
            }
        };
        application.Run();

        EXPECT_EQ(frames.frames, 3);
        EXPECT_TRUE(frames.destroyed);
        EXPECT_FALSE(frames.destroyedWhileRunning);
        EXPECT_TRUE(game->Closed());
        EXPECT_EQ(game->Driver(), nullptr);
        EXPECT_EQ(closes, 1);
        EXPECT_TRUE(boxes.texts.empty());
    }

    testsupport::ErrorBoxes boxes;
    platform::Application application;
    FrameScript frames;
    int closes = 0;
};

}  // namespace

TEST_F(GameEnd, ClosingTheWindowWhileTheDeviceIsLostEndsAfterTheFrame) {
    LoseTheDeviceAndQuit([this](platform::Form& form) { application.InjectClose(form); });
}

TEST_F(GameEnd, TerminationWhileTheDeviceIsLostEndsAfterTheFrame) {
    LoseTheDeviceAndQuit([](platform::Form&) { std::raise(SIGTERM); });
}

TEST_F(GameEnd, InterruptionWhileTheDeviceIsLostEndsAfterTheFrame) {
    LoseTheDeviceAndQuit([](platform::Form&) { std::raise(SIGINT); });
}

TEST_F(GameEnd, AScreenEngineThatFailsAtStartEndsTheGameAfterItsOneMessage) {
    platform::SetStringSetting("PlayerName", "Tester");
    bool screenBuilt = false;
    std::unique_ptr<TMainScreen> game;
    {
        NoFont noFont;
        game = OpenGame([&](int32_t, const EngineSlots&) -> std::unique_ptr<DirectState> {
            screenBuilt = true;
            return nullptr;
        });
    }
    game->Show();
    bool done = false;
    game->IdleHandler(done);
    EXPECT_TRUE(done);
    EXPECT_TRUE(game->Closed());
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(screenBuilt);
    EXPECT_EQ(boxes.texts, std::vector<std::string>{kNoFontText});
    EXPECT_EQ(platform::GetStringSetting("PlayerName", ""), "Tester");
    EXPECT_TRUE(platform::GetBoolSetting("FullScreen", false));
}

TEST_F(GameEnd, AScreenEngineThatFailsWhenRebuiltEndsTheGameLeavingTheSession) {
    // Like the intro film, a screen re-creates the screen engine; the new one cannot get its font.
    struct Rebuilder : DirectState {
        Rebuilder(const EngineSlots& slots, bool& networkGoneFirst, int& runs)
            : slots(slots), networkGoneFirst(networkGoneFirst), runs(runs) {}
        ~Rebuilder() override { networkGoneFirst = *slots.network == nullptr; }
        int32_t Run() override {
            ++runs;
            NoFont noFont;
            slots.screen->reset();
            *slots.screen = std::make_unique<DirectScreen>(slots.window);
            return MainMenuCode;
        }
        EngineSlots slots;
        bool& networkGoneFirst;
        int& runs;
    };
    bool networkGoneFirst = false;
    int built = 0;
    int runs = 0;
    auto game = OpenGame([&](int32_t, const EngineSlots& slots) -> std::unique_ptr<DirectState> {
        ++built;
        return std::make_unique<Rebuilder>(slots, networkGoneFirst, runs);
    });
    ASSERT_NE(game->Driver(), nullptr);
    *game->Driver()->Slots().network = std::make_unique<DirectPlay>("Tester");
    bool done = false;
    game->IdleHandler(done);
    ASSERT_EQ(built, 1);  // no menu is built on the failed engine
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(game->Closed());
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(networkGoneFirst);
    EXPECT_EQ(boxes.texts, std::vector<std::string>{kNoFontText});
}

TEST(GameWithoutWindow, ShowsTheErrorAndEndsOnTheFirstIdle) {
    testsupport::ClearSettings();
    platform::SetBoolSetting("NoSoundCard", false);
    testsupport::ErrorBoxes boxes;
    testsupport::NoVideo noVideo;
    platform::Application application;
    int closes = 0;
    bool screenBuilt = false;
    TMainScreen game(
        application, [&] { ++closes; },
        [&](int32_t, const EngineSlots&) -> std::unique_ptr<DirectState> {
            screenBuilt = true;
            return nullptr;
        });
    ASSERT_EQ(game.Form()->NativeHandle(), nullptr);
    EXPECT_EQ(game.Driver(), nullptr);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0],
              "Impossible de cr\xE9"
              "er la fen\xEAtre du jeu.");
    bool done = false;
    game.IdleHandler(done);
    EXPECT_TRUE(game.Closed());
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(screenBuilt);
}
