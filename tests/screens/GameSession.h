// Game screens of several players in one process on loopback, driven frame by frame on headless
// screens with scripted input and clocks: the session, the seats and their frames.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "campaign/Campaign.h"
#include "campaign/Gamerules.h"
#include "campaign/Savedgame.h"
#include "game/Objectif.h"
#include "game/Random.h"
#include "game/Stategame.h"
#include "input/Directinput.h"
#include "network/NetworkTestSupport.h"
#include "platform/ScriptedWindow.h"
#include "platform/SeatStore.h"
#include "screen/Directscreen.h"
#include "support/TestSupport.h"

namespace gametest {

using namespace torvane;
using nettest::WaitFor;

constexpr int kLeftButton = 1;
constexpr int kTab = 9;
constexpr int kReturn = 13;
constexpr int kShift = 16;
constexpr int kEscape = 27;
constexpr int kLeft = 37;
constexpr int kRight = 39;

// One player's machine: window, engines in their slots and the game screen.
struct Seat {
    platform::ScriptedWindow window;
    std::unique_ptr<DirectScreen> screen;
    std::unique_ptr<DirectInput> input;
    std::unique_ptr<DirectPlay> network;
    std::unique_ptr<GameState> game;
    int32_t code = 0;
    int frames = 0;
    bool paused = false;  // its frames are not run

    PlayerInfo Self() const {
        PlayerInfo record;
        if (network)
            network->CopyPlayer(network->LocalPlayerId(), record);
        return record;
    }
};

class GameSession : public testing::Test {
  protected:
    void SetUp() override {
        BuildObjectives();
        RandomSeed(2024);
        options.heartbeatMs = 100;
        options.timeoutMs = 800;
    }
    void TearDown() override {
        // Screens first: each forgets its registration through its own slot.
        for (auto& seat : seats)
            seat->game.reset();
        seats.clear();
        DestroyObjectives();
        std::error_code error;
        std::filesystem::remove_all(seatFolder, error);
    }

    // The machines of a test keep their seat tokens in a folder of their own.
    static std::string MakeSeatFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "torvane-seats-XXXXXX").string();
        return ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    std::string seatFolder = MakeSeatFolder();
    platform::SeatStore seatStore{seatFolder};

    // `count` players in a session, named P0 (host), P1, ..., with nations 4, 0, 5, 3, ... and
    // governments 0, 1, 2, 0, ...; the host's record holds the lobby's objective choice.
    // `lateJoiner` runs once the seats are in the session, before the lobby ends; it may bring
    // in players that never become ready, and the host then starts the game regardless.
    // With `resumed`, the host takes that saved game up again (under its id), its record saying
    // so the way its lobby does.
    void MakeSession(int count, int8_t hostObjective, const std::function<void()>& lateJoiner = {},
                     std::shared_ptr<const SavedGame> resumed = nullptr) {
        static const int8_t kNations[8] = {4, 0, 5, 3, 6, 1, 7, 2};
        for (int i = 0; i < count; ++i) {
            auto seat = std::make_unique<Seat>();
            seat->network = std::make_unique<DirectPlay>("P" + std::to_string(i), options);
            seats.push_back(std::move(seat));
        }
        ASSERT_TRUE(seats[0]->network->HostGame("Partie", resumed ? resumed->gameId : 0));
        if (resumed)
            seats[0]->network->SetResumedGame(resumed);
        hostAddress = nettest::FindGameOf(*seats[1]->network, *seats[0]->network);
        ASSERT_NE(hostAddress.port, 0);
        for (int i = 1; i < count; ++i)
            ASSERT_TRUE(seats[i]->network->JoinGame(hostAddress));
        ASSERT_TRUE(WaitFor([&] { return AllSee(count); }));
        if (lateJoiner)
            lateJoiner();
        for (int i = 0; i < count; ++i) {
            PlayerInfo record = seats[i]->Self();
            record.nation = kNations[i];
            record.government = static_cast<int8_t>(i % 3);
            if (i == 0) {
                record.objective = hostObjective;
                if (hostClock >= 0)
                    record.reservedByteB = hostClock;
                if (resumed)
                    record.reservedWord = static_cast<int32_t>(resumed->status);
            }
            seats[i]->network->PublishLocalPlayer(record);
        }
        ASSERT_TRUE(WaitFor([&] {
            for (auto& seat : seats) {
                for (auto& other : seats) {
                    PlayerInfo record;
                    if (!seat->network->CopyPlayer(other->network->LocalPlayerId(), record) ||
                        record.nation < 0 || record.government < 0)
                        return false;
                }
            }
            return true;
        }));
        // The lobby's end: everybody ready, the host advances, the others follow.
        for (auto& seat : seats)
            seat->network->SetReady();
        if (lateJoiner) {
            // Someone is not ready: the host moves to the game's first phase by itself.
            PlayerInfo host = seats[0]->Self();
            host.syncStatus = 2;
            seats[0]->network->PublishLocalPlayer(host);
        } else {
            ASSERT_TRUE(WaitFor([&] { return seats[0]->network->AllReady(); }));
            seats[0]->network->AdvancePhase();
        }
        ASSERT_TRUE(WaitFor([&] {
            for (auto& seat : seats)
                seat->network->FollowHostPhase();
            for (auto& seat : seats) {
                if (seat->network->LocalStatus() != 2u)
                    return false;
            }
            return true;
        }));
    }

    bool AllSee(int count) {
        for (auto& seat : seats) {
            if (seat->network->PlayerCount() != count)
                return false;
        }
        return true;
    }

    void OpenScreens(bool withScreens = true) {
        for (auto& seat : seats)
            ASSERT_NO_FATAL_FAILURE(OpenScreen(*seat, withScreens));
    }
    void OpenScreen(Seat& seat, bool withScreen) {
        if (withScreen) {
            seat.screen = std::make_unique<DirectScreen>(&seat.window);
            ASSERT_TRUE(seat.screen->IsReady());
        }
        seat.input = std::make_unique<DirectInput>(&seat.window);
        seat.game = std::make_unique<GameState>(seat.screen.get(), nullptr, seat.input.get(),
                                                &seat.network);
        seat.game->SetSeatStore(&seatStore);
    }

    // One frame of every open game, `ms` apart (on the screen's clock, or told to a game
    // without one).
    void Frame(int ms = 16) {
        for (auto& seat : seats) {
            if (!seat->game || seat->paused || seat->code != 0)
                continue;
            seat->window.AdvanceTime(ms);
            seat->game->SetHeadlessFrameTime(ms);
            seat->code = seat->game->Run();
            ++seat->frames;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    void Frames(int count) {
        for (int i = 0; i < count; ++i)
            Frame();
    }
    // Frames until `done` holds; false after `limit`.
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::milliseconds(8000)) {
        return testsupport::StepUntil(
            done, [this] { Frame(); }, limit);
    }

    bool AllInMode(int32_t mode) {
        for (auto& seat : seats) {
            if (seat->game && seat->game->GetMode() != mode)
                return false;
        }
        return true;
    }

    // Holds a key down for one frame, then releases it for one.
    void Press(Seat& seat, int key, int modifier = 0) {
        if (modifier)
            seat.window.SetKeyDown(modifier, true);
        seat.window.SetKeyDown(key, true);
        Frame();
        seat.window.SetKeyDown(key, false);
        if (modifier)
            seat.window.SetKeyDown(modifier, false);
        Frame();
    }
    void Click(Seat& seat, int x, int y) {
        seat.window.SetCursor(x, y);
        Press(seat, kLeftButton);
    }

    // Every open game reaches the objective panel with its objective stored.
    void StartGame() {
        ASSERT_TRUE(RunUntil([&] {
            if (!AllInMode(GameState::ShowingObjective))
                return false;
            for (auto& seat : seats) {
                if (seat->game && seat->network->LocalStatus() != 4u)
                    return false;
            }
            return true;
        }));
    }

    TerritoryTable DealReachingOnly(size_t holder);

    platform::PeerOptions options = nettest::PrivateOptions();
    // The lobby's phase clock choice in the host's record (-1: the record's own default).
    int8_t hostClock = -1;
    HostAddress hostAddress;
    std::vector<std::unique_ptr<Seat>> seats;
    testsupport::ErrorBoxes errors;
};

// The capital a nation holds in a campaign's state, or -1.
inline int CapitalOf(const CampaignState& state, int nation) {
    for (int i = 0; i < TerritoryCount; ++i) {
        const TerritoryInfo& entry = state.table[static_cast<size_t>(i)];
        if (entry.owner == nation && entry.wealth == kCapitalWealth)
            return i;
    }
    return -1;
}

}  // namespace gametest
