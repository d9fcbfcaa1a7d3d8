// The computer players a game starts: the registry's names and process ends, the lobby's F3 and
// Suppr with real torvane-bot processes, and leaving the lobby or the game ending them all.
#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/ComputerSeats.h"
#include "app/Statemain.h"
#include "game/Objectif.h"
#include "game/Stategame.h"
#include "input/Directinput.h"
#include "lobby/Statepaysgov.h"
#include "network/NetworkTestSupport.h"
#include "platform/ChildProcess.h"
#include "platform/ScriptedWindow.h"
#include "platform/Settings.h"
#include "screen/Directscreen.h"
#include "support/TestSupport.h"

using namespace torvane;
using namespace std::chrono_literals;

namespace {

constexpr int kReturn = 13;
constexpr int kEscape = 27;
constexpr int kDelete = 46;
constexpr int kF3 = 114;

// Whether a process of that id exists at all (a zombie still counts).
bool Exists(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno != ESRCH);
}

bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    return testsupport::StepUntil(
        done, [] { std::this_thread::sleep_for(5ms); }, limit);
}

// A stand-in program for the registry alone: a shell script that sleeps, and ignores SIGTERM
// when asked to (the ignored signal stays ignored through exec).
std::string SleeperScript(bool ignoreTerm) {
    const std::string path = std::string(::testing::TempDir()) + "/sleeper" +
                             (ignoreTerm ? "-stubborn" : "") + std::to_string(::getpid()) + ".sh";
    std::ofstream script(path);
    script << "#!/bin/sh\n" << (ignoreTerm ? "trap '' TERM\n" : "") << "exec sleep 30\n";
    script.close();
    ::chmod(path.c_str(), 0755);
    return path;
}

PlayerInfo Named(const std::string& name) {
    PlayerInfo record;
    record.SetName(name);
    return record;
}

class Registry : public testing::Test {
  protected:
    void TearDown() override {
        seats.EndAll();
        EXPECT_EQ(seats.Count(), 0u);
    }
    ComputerSeats seats;
};

TEST_F(Registry, NamesTakeTheFirstFreeNumberAndRemovingEndsTheProcess) {
    seats.SetProgram(SleeperScript(false));
    const std::vector<PlayerInfo> table = {Named("Hote"), Named("Ordi 1"), Named("Ordi 3")};
    EXPECT_EQ(seats.Add(2302, table), "Ordi 2");
    EXPECT_EQ(seats.Add(2302, table), "Ordi 4");
    EXPECT_EQ(seats.Add(0, table), "") << "no port, no computer player";
    EXPECT_EQ(seats.Count(), 2u);
    EXPECT_EQ(seats.Joining(table), 2u);
    const std::vector<PlayerInfo> joined = {Named("Hote"), Named("Ordi 2")};
    EXPECT_EQ(seats.Joining(joined), 1u);
    const pid_t second = seats.PidOf("Ordi 2");
    const pid_t fourth = seats.PidOf("Ordi 4");
    ASSERT_TRUE(Exists(second));
    ASSERT_TRUE(Exists(fourth));
    EXPECT_TRUE(seats.Started("Ordi 2"));
    EXPECT_FALSE(seats.Started("Ordi 1")) << "a record of the table is not one of ours";
    EXPECT_FALSE(seats.Remove("Ordi 1"));

    ASSERT_TRUE(seats.Remove("Ordi 2"));
    EXPECT_FALSE(seats.Started("Ordi 2"));
    EXPECT_FALSE(seats.Remove("Ordi 2")) << "already leaving";
    ASSERT_TRUE(Eventually([&] {
        seats.Update();
        return seats.Count() == 1;
    }));
    EXPECT_FALSE(Exists(second));
    EXPECT_TRUE(Exists(fourth));
    // Its number is free again.
    EXPECT_EQ(seats.Add(2302, table), "Ordi 2");
}

TEST_F(Registry, AProgramThatIgnoresTheRequestIsKilledAfterTheGrace) {
    seats.SetProgram(SleeperScript(true));
    ASSERT_EQ(seats.Add(2302, {}), "Ordi 1");
    const pid_t pid = seats.PidOf("Ordi 1");
    std::this_thread::sleep_for(200ms);  // the script has reached its sleep
    ASSERT_TRUE(seats.Remove("Ordi 1"));
    const auto asked = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(300ms);
    seats.Update();
    EXPECT_EQ(seats.Count(), 1u) << "still within its grace";
    EXPECT_TRUE(Exists(pid));
    ASSERT_TRUE(Eventually([&] {
        seats.Update();
        return seats.Count() == 0;
    }));
    EXPECT_GE(std::chrono::steady_clock::now() - asked, ComputerSeats::kGrace);
    EXPECT_FALSE(Exists(pid));

    // Ending them all does not wait for ever either.
    ASSERT_EQ(seats.Add(2302, {}), "Ordi 1");
    const pid_t again = seats.PidOf("Ordi 1");
    std::this_thread::sleep_for(200ms);
    seats.EndAll();
    EXPECT_EQ(seats.Count(), 0u);
    EXPECT_FALSE(Exists(again));
}

TEST(ChildProcessTest, ReportsItsEndAndNeverRunsAShell) {
    platform::ChildProcess child;
    ASSERT_TRUE(child.Spawn({"/bin/sh", "-c", "exit 3"}));
    ASSERT_TRUE(child.Wait(5s));
    EXPECT_FALSE(child.Running());
    EXPECT_TRUE(WIFEXITED(child.RawStatus()));
    EXPECT_EQ(WEXITSTATUS(child.RawStatus()), 3);
    // Arguments reach the program as they are, blanks and quotes included.
    platform::ChildProcess literal;
    ASSERT_TRUE(literal.Spawn({"/bin/sh", "-c", "test \"$0\" = 'a b;c'", "a b;c"}));
    ASSERT_TRUE(literal.Wait(5s));
    EXPECT_EQ(WEXITSTATUS(literal.RawStatus()), 0);
    // A quiet program writes to /dev/null, and reads from it like any other.
    platform::ChildProcess quiet;
    ASSERT_TRUE(quiet.Spawn(
        {"/bin/sh", "-c", "[ /proc/$$/fd/1 -ef /dev/null ] && [ /proc/$$/fd/0 -ef /dev/null ]"},
        true));
    ASSERT_TRUE(quiet.Wait(5s));
    EXPECT_EQ(WEXITSTATUS(quiet.RawStatus()), 0);
    // A missing program ends at once with status 127.
    platform::ChildProcess missing;
    ASSERT_TRUE(missing.Spawn({"/nonexistent/torvane-bot"}));
    ASSERT_TRUE(missing.Wait(5s));
    EXPECT_EQ(WEXITSTATUS(missing.RawStatus()), 127);
    EXPECT_FALSE(platform::ExecutableFolder().empty());
}

// ---------------------------------------------------------------------------------------------
// The lobby with real computer players

class ComputerLobby : public testing::Test {
  protected:
    void SetUp() override {
        DirectInput::ResetClock();
        Computers().SetProgram(TORVANE_BOT);
        // The computer players the lobby starts inherit this test's private ports.
        ::setenv("TORVANE_PORT", std::to_string(options.basePort).c_str(), 1);
        ::setenv("TORVANE_DISCOVERY_PORT", std::to_string(options.discoveryPort).c_str(), 1);
        network = std::make_unique<DirectPlay>("Hote", options);
        ASSERT_TRUE(network->HostGame(""));
        screen = std::make_unique<DirectScreen>(&window);
        input = std::make_unique<DirectInput>(&window);
        lobby = std::make_unique<PaysGovState>(screen.get(), nullptr, input.get(), &network);
    }
    void TearDown() override {
        lobby.reset();
        network.reset();
        Computers().EndAll();
        Computers().SetProgram("");
        ::unsetenv("TORVANE_PORT");
        ::unsetenv("TORVANE_DISCOVERY_PORT");
    }

    void Frame() {
        window.AdvanceTime(50);
        if (code == 0)
            code = lobby->Run();
        std::this_thread::sleep_for(2ms);
    }
    bool Until(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
        return testsupport::StepUntil(
            done, [this] { Frame(); }, limit);
    }
    void Press(int key) {
        window.SetKeyDown(key, true);
        Frame();
        window.SetKeyDown(key, false);
        Frame();
    }
    // The row of the table holding `name`, or -1.
    int RowOf(const std::string& name) const {
        PlayerInfo record;
        for (int row = 0; network && network->CopyPlayerAt(static_cast<uint8_t>(row), record);
             ++row) {
            if (record.Name() == name)
                return row;
        }
        return -1;
    }
    PlayerInfo RecordOf(const std::string& name) const {
        PlayerInfo record;
        const int row = RowOf(name);
        if (row >= 0)
            network->CopyPlayerAt(static_cast<uint8_t>(row), record);
        return record;
    }

    platform::PeerOptions options = nettest::PrivateOptions();
    platform::ScriptedWindow window;
    std::unique_ptr<DirectScreen> screen;
    std::unique_ptr<DirectInput> input;
    std::unique_ptr<DirectPlay> network;
    std::unique_ptr<PaysGovState> lobby;
    int32_t code = 0;
    testsupport::ErrorBoxes errors;
};

TEST_F(ComputerLobby, F3AddsComputerPlayersSupprRemovesOneAndLeavingEndsTheOthers) {
    for (int i = 0; i < 25; ++i)
        Frame();
    // The host takes the first nation and the first government.
    Press(kReturn);
    Press(kReturn);
    ASSERT_EQ(lobby->CurrentMode(), PaysGovState::List);

    Press(kF3);
    ASSERT_EQ(Computers().Count(), 1u);
    const pid_t first = Computers().PidOf("Ordi 1");
    ASSERT_TRUE(Exists(first));
    ASSERT_TRUE(Until([&] {
        const PlayerInfo record = RecordOf("Ordi 1");
        return record.IsComputer() && record.IsReady() && record.nation >= 0 &&
               record.nation != RecordOf("Hote").nation;
    })) << "the computer player joins, on a nation of its own, and gets ready";
    Press(kF3);
    ASSERT_EQ(Computers().Count(), 2u);
    const pid_t second = Computers().PidOf("Ordi 2");
    ASSERT_TRUE(Until([&] { return RecordOf("Ordi 2").IsReady(); }));
    EXPECT_EQ(network->PlayerCount(), 3);
    EXPECT_FALSE(RecordOf("Hote").IsComputer());
    if (const char* folder = std::getenv("TORVANE_LOBBY_SHOTS")) {
        Frame();
        screen->SaveScreenshot(std::string(folder) + "/computers.png");
    }

    // Suppr on the host's own row removes nobody.
    window.SetCursor(300, RowOf("Hote") * 30 + 75);
    Frame();
    Press(kDelete);
    EXPECT_EQ(Computers().Count(), 2u);

    // Suppr with the pointer on the first computer player's row: its process ends and its row
    // goes, and nobody counts as lost.
    const int row = RowOf("Ordi 1");
    ASSERT_GE(row, 1);
    window.SetCursor(300, row * 30 + 75);
    Frame();
    EXPECT_EQ(lobby->ListCursor(), row + 1);
    Press(kDelete);
    EXPECT_FALSE(Computers().Started("Ordi 1"));
    ASSERT_TRUE(Until([&] { return !Exists(first) && RowOf("Ordi 1") < 0; }));
    EXPECT_EQ(network->PlayerCount(), 2);
    EXPECT_TRUE(Exists(second));
    EXPECT_FALSE(lobby->Leaving());
    EXPECT_FALSE(lobby->Disconnected());

    // The next one added takes the freed number.
    Press(kF3);
    const pid_t third = Computers().PidOf("Ordi 1");
    ASSERT_TRUE(Exists(third));
    ASSERT_TRUE(Until([&] { return RowOf("Ordi 1") >= 0; }));

    // Back to the browser: every computer player ends with the lobby.
    Press(kEscape);
    ASSERT_TRUE(Until([&] { return code != 0; }));
    EXPECT_EQ(code, NetworkBrowserCode);
    EXPECT_EQ(Computers().Count(), 0u);
    EXPECT_FALSE(Exists(second));
    EXPECT_FALSE(Exists(third));
    EXPECT_TRUE(errors.texts.empty());
}

// Ready at once, never an order.
class Passive : public OrdersInterface {
  public:
    bool Decide(const TurnView&, std::vector<Order>&) override { return true; }
};

TEST_F(ComputerLobby, AComputerPlayerFollowsTheHostsStartIntoTheGameAndPlaysAlong) {
    for (int i = 0; i < 25; ++i)
        Frame();
    Press(kReturn);
    Press(kReturn);
    Press(kF3);
    const pid_t pid = Computers().PidOf("Ordi 1");
    ASSERT_TRUE(Until([&] { return RecordOf("Ordi 1").IsReady() && network->AllReady(); }));
    // "- démarrer -" with the mouse.
    window.SetCursor(516, 375);
    Frame();
    window.SetKeyDown(1, true);
    Frame();
    window.SetKeyDown(1, false);
    ASSERT_TRUE(Until([&] { return code != 0; }));
    ASSERT_EQ(code, GameCode);
    // The lobby goes; its computer player stays for the game.
    lobby.reset();
    EXPECT_TRUE(Exists(pid));
    EXPECT_EQ(Computers().Count(), 1u);
    BuildObjectives();
    Passive passive;
    auto game = std::make_unique<GameState>(nullptr, nullptr, nullptr, &network);
    game->SetOrdersInterface(&passive);
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (game->HeldStatus() < 4 + 22 && std::chrono::steady_clock::now() < end) {
        ASSERT_EQ(game->Run(), StayCode);
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_GE(game->HeldStatus(), 4u + 22) << "a whole year played with the computer player";
    EXPECT_FALSE(game->Disconnected());
    game.reset();
    DestroyObjectives();
}

TEST_F(ComputerLobby, OnlyTheHostAddsComputerPlayers) {
    // A guest's lobby: F3 does nothing there.
    auto guestNetwork = std::make_unique<DirectPlay>("Invite", options);
    ASSERT_TRUE(guestNetwork->JoinGame({0x7F000001u, network->ListenPort()}));
    platform::ScriptedWindow guestWindow;
    DirectInput guestInput(&guestWindow);
    PaysGovState guest(nullptr, nullptr, &guestInput, &guestNetwork);
    auto press = [&](int key) {
        guestWindow.SetKeyDown(key, true);
        guestWindow.AdvanceTime(50);
        guest.Run();
        guestWindow.SetKeyDown(key, false);
        guestWindow.AdvanceTime(50);
        guest.Run();
    };
    press(kReturn);
    press(kReturn);
    ASSERT_EQ(guest.CurrentMode(), PaysGovState::List);
    press(kF3);
    EXPECT_EQ(Computers().Count(), 0u);
    EXPECT_EQ(guestNetwork->PlayerCount(), 2);
}

// Script for the driver's test: one screen that answers the browser's code.
class BackToBrowser : public DirectState {
  public:
    int32_t Run() override { return NetworkBrowserCode; }
};

TEST(DriverComputers, TheDriverEndsEveryComputerPlayerWhenTheGameGoesBackToTheBrowser) {
    testsupport::ClearSettings();
    platform::SetBoolSetting("NoSoundCard", false);
    platform::SetBoolSetting("FullScreen", false);
    platform::ScriptedWindow window;
    Computers().SetProgram(SleeperScript(false));
    ASSERT_EQ(Computers().Add(2302, {}), "Ordi 1");
    const pid_t pid = Computers().PidOf("Ordi 1");
    ASSERT_TRUE(Exists(pid));
    {
        MainState driver(&window, [](int32_t, const EngineSlots&) {
            return std::unique_ptr<DirectState>(std::make_unique<BackToBrowser>());
        });
        EXPECT_EQ(driver.Run(), 0);
        EXPECT_EQ(Computers().Count(), 0u);
        EXPECT_FALSE(Exists(pid));
        // Closing the program ends those started since.
        ASSERT_EQ(Computers().Add(2302, {}), "Ordi 1");
    }
    EXPECT_EQ(Computers().Count(), 0u);
    Computers().SetProgram("");
}

}  // namespace
