// Frame cost of the board on a headless screen (software renderer): the map, its tints, the 104
// markers, arrows of a full draft of moves, the bar, the overview and the panels; and the cost
// of rebuilding the tints when the state changes.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <memory>

#include "campaign/Campaign.h"
#include "campaign/Gamerules.h"
#include "game/Random.h"
#include "game/Stateboard.h"
#include "input/Directinput.h"
#include "platform/ScriptedWindow.h"
#include "screen/Directscreen.h"

using namespace torvane;

namespace {

struct Bench {
    Bench() {
        ::setenv("SDL_VIDEODRIVER", "dummy", 0);
        ::setenv("SDL_RENDER_DRIVER", "software", 0);
        screen = std::make_unique<DirectScreen>(&window);
        input = std::make_unique<DirectInput>(&window);
        board = std::make_unique<BoardView>(screen.get(), nullptr, input.get());
        RandomSeed(3);
        const std::array<int8_t, 8> nations = {0, 1, 2, 3, 4, 5, 6, 7};
        governments = {0, 1, 2, 0, 1, 2, 0, 1};
        state = StartCampaign(DealMap(nations), governments);
        // Every territory owned, so that every region is tinted and marked.
        for (int i = 0; i < TerritoryCount; ++i) {
            TerritoryInfo& entry = state.table[static_cast<size_t>(i)];
            if (entry.owner < 0)
                entry.owner = static_cast<int8_t>(i % 8);
            entry.reserve = i % 3 == 0 ? 12 : 0;
            entry.fortified = i % 4 == 0;
            entry.ownerOnlyA = i % 5 == 0 ? 2 : 0;
        }
        frame.state = &state;
        frame.governments = &governments;
        frame.nation = 4;
        frame.holdsState = true;
        frame.interactive = true;
        frame.playingNations = 0xFF;
        frame.status = 26 + 8;  // the moves of 1871
    }
    void Run() {
        window.AdvanceTime(16);
        input->Update();
        screen->BeginFrame();
        board->Frame(frame);
        screen->EndFrame(false);
    }

    platform::ScriptedWindow window;
    std::unique_ptr<DirectScreen> screen;
    std::unique_ptr<DirectInput> input;
    std::unique_ptr<BoardView> board;
    Governments governments{};
    CampaignState state;
    BoardFrame frame;
};

void BM_BoardFrame(benchmark::State& state) {
    Bench bench;
    if (!bench.board->Ready()) {
        state.SkipWithError("no map");
        return;
    }
    bench.window.SetCursor(320, 240);  // over a territory: the hover panel shows
    for (int i = 0; i < 10; ++i)
        bench.Run();
    for (auto _ : state)
        bench.Run();
}
BENCHMARK(BM_BoardFrame)->Unit(benchmark::kMicrosecond);

// A new state each frame: the tints, the highlight and the markers' texts are rebuilt.
void BM_BoardNewState(benchmark::State& state) {
    Bench bench;
    if (!bench.board->Ready()) {
        state.SkipWithError("no map");
        return;
    }
    int32_t army = 0;
    for (auto _ : state) {
        bench.state.table[0].army = ++army;
        bench.Run();
    }
}
BENCHMARK(BM_BoardNewState)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
