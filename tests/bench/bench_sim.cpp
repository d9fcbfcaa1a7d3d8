// What torvane-sim spends on whole games: a fixed batch of ten four-player games between medium
// computer players, from the deal to the victory (or 60 years).
#include <benchmark/benchmark.h>

#include "campaign/Simulation.h"

using namespace torvane;

namespace {

void BM_TenGames(benchmark::State& state) {
    const auto level = static_cast<ComputerLevel>(state.range(0));
    int64_t years = 0;
    for (auto _ : state) {
        for (uint64_t seed = 1; seed <= 10; ++seed) {
            SimulationSetup setup;
            setup.seed = seed;
            setup.level = level;
            const SimulatedGame game = SimulateGame(setup);
            years += game.years;
            benchmark::DoNotOptimize(game.winners);
        }
    }
    state.counters["years"] =
        benchmark::Counter(static_cast<double>(years), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TenGames)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
