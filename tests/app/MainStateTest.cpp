// The driver and the game window: screen changes by code, quitting, clean-up order, idle rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/Main.h"
#include "app/Statemain.h"
#include "audio/Directaudio.h"
#include "game/Objectif.h"
#include "input/Directinput.h"
#include "network/Directplay.h"
#include "platform/ScriptedWindow.h"
#include "platform/Settings.h"
#include "screen/Directscreen.h"
#include "support/TestSupport.h"

using namespace torvane;

namespace {

// A screen that answers scripted codes and writes what happens to it in a shared log.
struct Script {
    std::vector<std::string> log;
    std::vector<int32_t> answers;  // popped front by each Run; 0 when empty
    int created = 0;
    bool networkGoneFirst = false;
    bool screenAliveAtDestruction = false;
};

class RecordingState : public DirectState {
  public:
    RecordingState(Script& script, int32_t code, const EngineSlots& slots)
        : script(script), code(code), slots(slots) {
        script.log.push_back("create " + std::to_string(code));
    }
    ~RecordingState() override {
        script.log.push_back("destroy " + std::to_string(code));
        script.networkGoneFirst = *slots.network == nullptr;
        script.screenAliveAtDestruction = *slots.screen != nullptr;
    }
    int32_t Run() override {
        script.log.push_back("run " + std::to_string(code));
        if (script.answers.empty())
            return 0;
        const int32_t answer = script.answers.front();
        script.answers.erase(script.answers.begin());
        return answer;
    }

  private:
    Script& script;
    int32_t code;
    EngineSlots slots;
};

StateFactory FactoryFor(Script& script, int32_t failCode = -1) {
    return [&script, failCode](int32_t code,
                               const EngineSlots& slots) -> std::unique_ptr<DirectState> {
        ++script.created;
        if (code == failCode)
            return nullptr;
        return std::make_unique<RecordingState>(script, code, slots);
    };
}

class Driver : public testing::Test {
  protected:
    void SetUp() override {
        testsupport::ClearSettings();
        platform::SetBoolSetting("NoSoundCard", false);  // no audio device in tests
        platform::SetBoolSetting("FullScreen", false);
    }
    platform::ScriptedWindow window;
    Script script;
};

}  // namespace

TEST_F(Driver, StartsOnTheNetworkBrowserWithAllEngines) {
    MainState driver(&window, FactoryFor(script));
    EXPECT_EQ(script.log, (std::vector<std::string>{"create 4"}));
    ASSERT_NE(driver.Slots().screen, nullptr);
    EXPECT_NE(driver.Slots().screen->get(), nullptr);
    EXPECT_NE(driver.Slots().audio->get(), nullptr);
    EXPECT_NE(driver.Slots().input->get(), nullptr);
    EXPECT_EQ(driver.Slots().network->get(), nullptr);
}

TEST_F(Driver, CodesOutsideOneToSevenKeepTheScreen) {
    script.answers = {0, 8, -1, 1000};
    MainState driver(&window, FactoryFor(script));
    DirectState* first = driver.Current();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(driver.Run(), 0);
    EXPECT_EQ(driver.Current(), first);
    EXPECT_EQ(script.created, 1);
}

TEST_F(Driver, ChangingScreensDestroysTheOldOneFirst) {
    script.answers = {3, 2, 5, 6, 4, 1};
    MainState driver(&window, FactoryFor(script));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(driver.Run(), 0);
    EXPECT_EQ(script.log,
              (std::vector<std::string>{"create 4", "run 4", "destroy 4", "create 3", "run 3",
                                        "destroy 3", "create 2", "run 2", "destroy 2", "create 5",
                                        "run 5", "destroy 5", "create 6", "run 6", "destroy 6",
                                        "create 4", "run 4", "destroy 4", "create 1"}));
}

TEST_F(Driver, QuitDestroysTheScreenAndAnswersOne) {
    script.answers = {7};
    MainState driver(&window, FactoryFor(script));
    EXPECT_EQ(driver.Run(), 1);
    EXPECT_EQ(driver.Current(), nullptr);
    EXPECT_EQ(script.log.back(), "destroy 4");
    EXPECT_EQ(driver.Run(), 1);
}

TEST_F(Driver, AScreenThatCannotBeBuiltEndsTheProgramOnTheNextFrame) {
    script.answers = {3};
    MainState driver(&window, FactoryFor(script, 3));
    EXPECT_EQ(driver.Run(), 0);
    EXPECT_EQ(driver.Current(), nullptr);
    EXPECT_EQ(driver.Run(), 1);
}

TEST_F(Driver, DestructionLeavesTheSessionBeforeTheScreenAndKeepsEnginesUntilAfter) {
    {
        MainState driver(&window, FactoryFor(script));
        *driver.Slots().network = std::make_unique<DirectPlay>("Tester");
    }
    EXPECT_EQ(script.log.back(), "destroy 4");
    EXPECT_TRUE(script.networkGoneFirst);
    EXPECT_TRUE(script.screenAliveAtDestruction);
}

TEST_F(Driver, AFadeStartedByTheOldScreenContinuesOnTheNext) {
    script.answers = {3};
    MainState driver(&window, FactoryFor(script));
    DirectScreen* screen = driver.Slots().screen->get();
    screen->Fade(true, 1000, 0);
    EXPECT_EQ(driver.Run(), 0);
    EXPECT_EQ(driver.Slots().screen->get(), screen);
    EXPECT_FALSE(screen->FadeDone());
}

namespace {

class GameWindow : public Driver {
  protected:
    platform::Application application;
};

}  // namespace

TEST_F(GameWindow, IdleRunsFramesUntilTheDriverQuitsThenClosesEverything) {
    int closes = 0;
    script.answers = {0, 7};
    TMainScreen game(
        application, [&] { ++closes; }, FactoryFor(script));
    EXPECT_EQ(ObjectiveCount(), 5);
    bool done = true;
    game.IdleHandler(done);
    EXPECT_FALSE(done);
    EXPECT_NE(game.Driver(), nullptr);
    game.IdleHandler(done);
    EXPECT_EQ(game.Driver(), nullptr);
    EXPECT_TRUE(game.Closed());
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(ObjectiveCount(), 0);
}

TEST_F(GameWindow, InBackgroundNoFrameIsDrawn) {
    TMainScreen game(
        application, [] {}, FactoryFor(script));
    game.DeactivateHandler();
    EXPECT_TRUE(game.Inactive());
    bool done = false;
    game.IdleHandler(done);
    EXPECT_TRUE(done);
    EXPECT_EQ(std::count(script.log.begin(), script.log.end(), "run 4"), 0);
    game.ActivateHandler();
    game.IdleHandler(done);
    EXPECT_FALSE(done);
    EXPECT_EQ(std::count(script.log.begin(), script.log.end(), "run 4"), 1);
}

// The others wait on a game in session: in the background it still runs its frames, one per
// idle call (the application sleeps between them), and still ends when its driver quits.
TEST_F(GameWindow, InBackgroundASessionStillRunsFramesAndCanEnd) {
    int closes = 0;
    TMainScreen game(
        application, [&] { ++closes; }, FactoryFor(script));
    ASSERT_NE(game.Driver(), nullptr);
    *game.Driver()->Slots().network = std::make_unique<DirectPlay>("Tester");
    game.DeactivateHandler();
    bool done = false;
    game.IdleHandler(done);
    EXPECT_TRUE(done);
    game.IdleHandler(done);
    EXPECT_EQ(std::count(script.log.begin(), script.log.end(), "run 4"), 2);
    EXPECT_FALSE(game.Closed());

    script.answers = {7};
    game.IdleHandler(done);
    EXPECT_TRUE(done);
    EXPECT_TRUE(game.Closed());
    EXPECT_EQ(closes, 1);
}

TEST_F(GameWindow, ClosingTheWindowCleansUpOnce) {
    int closes = 0;
    TMainScreen game(
        application, [&] { ++closes; }, FactoryFor(script));
    game.CloseHandler();
    game.CloseHandler();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(game.Driver(), nullptr);
    EXPECT_EQ(script.log.back(), "destroy 4");
    EXPECT_EQ(ObjectiveCount(), 0);
}

TEST_F(GameWindow, TheWindowCoversSixFortyByFourEightyAtTheTopLeft) {
    TMainScreen game(
        application, [] {}, FactoryFor(script));
    ASSERT_NE(game.Form(), nullptr);
    EXPECT_FALSE(game.Form()->IsVisible());
    game.Show();
    EXPECT_TRUE(game.Form()->IsVisible());
    const platform::Form::Area area = game.Form()->ClientArea();
    EXPECT_EQ(area.x, 0);
    EXPECT_EQ(area.y, 0);
    EXPECT_EQ(area.width, 640);
    EXPECT_EQ(area.height, 480);
}
