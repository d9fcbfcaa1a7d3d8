// Ways the game ends: a close arriving while a frame waits for a lost device, a screen engine
// that failed, a game window that could not be created.
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>
#include <string>

#include "app/Main.h"
#include "app/Statemain.h"
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
