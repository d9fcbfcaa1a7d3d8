// Frame cost of the game screen on a headless screen: the objective panel, the year banner with
// the ring of players, and the statistics panel; and a board that waits for another player.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "campaign/Computer.h"
#include "game/Objectif.h"
#include "game/Stategame.h"
#include "input/Directinput.h"
#include "network/Directplay.h"
#include "platform/ScriptedWindow.h"
#include "screen/Directscreen.h"
#include "support/AllocationCounter.h"

using namespace torvane;

namespace {

// Headless drawing, the game's objectives, and ports of this benchmark's own from `first` on
// (never broadcast).
platform::PeerOptions Prepare(uint16_t first) {
    ::setenv("SDL_VIDEODRIVER", "dummy", 0);
    ::setenv("SDL_RENDER_DRIVER", "software", 0);
    BuildObjectives();
    platform::PeerOptions options;
    options.discoveryPort = first;
    options.basePort = static_cast<uint16_t>(first + 1);
    options.lastPort = static_cast<uint16_t>(first + 17);
    options.broadcastSearch = false;
    return options;
}

// A lone host's game driven to the panel `panel` shows: 0 objective, 1 banner, 2 statistics.
void BM_GameFrame(benchmark::State& state) {
    const platform::PeerOptions options = Prepare(46073);
    platform::ScriptedWindow window;
    DirectScreen screen(&window);
    DirectInput input(&window);
    auto network = std::make_unique<DirectPlay>("Banc", options);
    if (!network->HostGame("Banc")) {
        state.SkipWithError("no session");
        return;
    }
    PlayerInfo self;
    network->CopyPlayer(network->LocalPlayerId(), self);
    self.nation = 6;
    self.government = 1;
    network->PublishLocalPlayer(self);
    network->SetReady();
    network->AdvancePhase();
    GameState game(&screen, nullptr, &input, &network);
    const auto frame = [&] {
        window.AdvanceTime(16);
        game.Run();
    };
    const auto press = [&](int key) {
        window.SetKeyDown(key, true);
        frame();
        window.SetKeyDown(key, false);
        frame();
    };
    for (int i = 0; i < 2000 && game.GetMode() != GameState::ShowingObjective; ++i)
        frame();
    if (state.range(0) >= 1)
        press(27);
    if (state.range(0) >= 2)
        press(13);
    for (int i = 0; i < 300; ++i)
        frame();
    for (auto _ : state)
        frame();
    DestroyObjectives();
}
BENCHMARK(BM_GameFrame)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The board of a host that has finished its phase and waits for the other player, whose game
// no longer runs: "Attente des autres joueurs" for as long as it takes. Such a frame does what
// the display needs and nothing else: no allocation.
void BM_WaitingBoardFrame(benchmark::State& state) {
    const platform::PeerOptions options = Prepare(46173);
    platform::ScriptedWindow window;
    DirectScreen screen(&window);
    DirectInput input(&window);
    auto host = std::make_unique<DirectPlay>("Banc", options);
    auto other = std::make_unique<DirectPlay>("Autre", options);
    if (!host->HostGame("Banc") || !other->JoinGame({0x7F000001u, host->ListenPort()})) {
        state.SkipWithError("no session");
        return;
    }
    const auto seat = [](DirectPlay& engine, int8_t nation) {
        PlayerInfo self;
        engine.CopyPlayer(engine.LocalPlayerId(), self);
        self.nation = nation;
        self.government = 0;
        engine.PublishLocalPlayer(self);
        engine.SetReady();
    };
    const auto settle = [&](const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return done();
    };
    if (!settle([&] { return host->PlayerCount() == 2 && other->PlayerCount() == 2; })) {
        state.SkipWithError("the other player did not join");
        return;
    }
    seat(*host, 4);
    seat(*other, 0);
    if (!settle([&] { return host->AllReady(); }) || !host->AdvancePhase() ||
        !settle([&] { return other->FollowHostPhase() || other->LocalStatus() == 2; })) {
        state.SkipWithError("the lobby did not end");
        return;
    }
    GameState game(&screen, nullptr, &input, &host);
    GameState away(nullptr, nullptr, nullptr, &other);
    ComputerPlayer brain(ComputerLevel::Medium, 7);
    away.SetOrdersInterface(&brain);
    bool awayRuns = true;
    const auto frame = [&] {
        window.AdvanceTime(16);
        game.Run();
        if (awayRuns)
            away.Run();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    };
    const auto press = [&](int key) {
        window.SetKeyDown(key, true);
        frame();
        window.SetKeyDown(key, false);
        frame();
    };
    constexpr uint32_t kPurchases = 8;
    for (int i = 0; i < 3000 && game.GetMode() != GameState::ShowingObjective; ++i)
        frame();
    press(27);  // the objective
    for (int i = 0; i < 3000 && game.HeldStatus() < kPurchases; ++i) {
        press(13);  // the banner, the statistics
        frame();
    }
    // The other player stops; this one finishes what it has to do and waits.
    awayRuns = false;
    for (int i = 0; i < 20; ++i) {
        press(13);
        for (int j = 0; j < 100; ++j)
            frame();
    }
    if (game.HeldStatus() < kPurchases || (host->LocalStatus() & 1) == 0) {
        state.SkipWithError("the board does not wait for the other player");
        return;
    }
    testsupport::StartCountingAllocations();
    long long frames = 0;
    for (auto _ : state) {
        window.AdvanceTime(16);
        game.Run();
        ++frames;
    }
    state.counters["allocations_per_frame"] =
        static_cast<double>(testsupport::StopCountingAllocations()) /
        static_cast<double>(frames > 0 ? frames : 1);
    away.SetOrdersInterface(nullptr);
    DestroyObjectives();
}
BENCHMARK(BM_WaitingBoardFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
