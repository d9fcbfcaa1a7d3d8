// Frame cost of the game screen on a headless screen: the objective panel, the year banner with
// the ring of players, and the statistics panel.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <memory>

#include "game/Objectif.h"
#include "game/Stategame.h"
#include "input/Directinput.h"
#include "network/Directplay.h"
#include "platform/ScriptedWindow.h"
#include "screen/Directscreen.h"

using namespace torvane;

namespace {

// A lone host's game driven to the panel `panel` shows: 0 objective, 1 banner, 2 statistics.
void BM_GameFrame(benchmark::State& state) {
    ::setenv("SDL_VIDEODRIVER", "dummy", 0);
    ::setenv("SDL_RENDER_DRIVER", "software", 0);
    BuildObjectives();
    platform::ScriptedWindow window;
    DirectScreen screen(&window);
    DirectInput input(&window);
    platform::PeerOptions options;
    options.discoveryPort = 46073;
    options.basePort = 46074;
    options.lastPort = 46090;
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

}  // namespace

BENCHMARK_MAIN();
