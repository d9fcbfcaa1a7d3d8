// What the host spends resolving each phase of a campaign year: eight nations sharing the whole
// world, 64 player-like orders each. Every iteration starts again from the same state, so the
// figures include one copy of the state (about 3 KB).
#include <benchmark/benchmark.h>

#include <algorithm>

#include "campaign/Campaign.h"
#include "campaign/Gamerules.h"
#include "game/Random.h"
#include "support/CampaignOrders.h"

using namespace torvane;

namespace {

constexpr int kOrdersPerNation = 64;

struct MidGame {
    Governments governments{};
    CampaignState state;
    NationOrders purchases;
    NationOrders moves;
    NationOrders missions;
};

// The deal of an eight-player game, then every territory nobody holds shared out among the
// nations, each coastal one with three boats and every treasury rich enough that most purchases
// go through; the orders are drawn once from a fixed seed.
const MidGame& Game() {
    static const MidGame game = [] {
        MidGame made;
        RandomSeed(2024);
        const int8_t nations[] = {0, 1, 2, 3, 4, 5, 6, 7};
        for (int nation = 0; nation < NationCount; ++nation)
            made.governments[static_cast<size_t>(nation)] = static_cast<int8_t>(nation % 3);
        made.state = StartCampaign(DealMap(nations), made.governments);
        for (int index = 0; index < TerritoryCount; ++index) {
            TerritoryInfo& entry = made.state.table[static_cast<size_t>(index)];
            if (entry.owner < 0)
                entry.owner = static_cast<int8_t>(index % NationCount);
            entry.ownerOnlyA = TerritoryAt(index)->coastal ? 3 : 0;
        }
        for (int nation = 0; nation < NationCount; ++nation)
            made.state.ledger.values[Treasury][static_cast<size_t>(nation)] = 5000000;
        RandomGenerator players(77);
        for (int nation = 0; nation < NationCount; ++nation) {
            const auto n = static_cast<size_t>(nation);
            made.purchases[n] = test::PlayerLikeOrders(made.state, nation, CampaignStep::Purchases,
                                                       kOrdersPerNation, players);
            made.moves[n] = test::PlayerLikeOrders(made.state, nation, CampaignStep::Moves,
                                                   kOrdersPerNation, players);
            made.missions[n] = test::PlayerLikeOrders(made.state, nation, CampaignStep::Spies,
                                                      kOrdersPerNation, players);
        }
        return made;
    }();
    return game;
}

// Orders carried out, of the 512 given.
double Accepted(const PhaseReport& report) {
    size_t accepted = 0;
    for (const auto& refusals : report.refusals)
        accepted +=
            static_cast<size_t>(std::count(refusals.begin(), refusals.end(), Refusal::None));
    return static_cast<double>(accepted);
}

void BM_Income(benchmark::State& state) {
    const MidGame& game = Game();
    for (auto _ : state) {
        CampaignState copy = game.state;
        ResolveIncome(copy, game.governments);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_Income)->Unit(benchmark::kMicrosecond);

void BM_Purchases(benchmark::State& state) {
    const MidGame& game = Game();
    for (auto _ : state) {
        CampaignState copy = game.state;
        PhaseReport report = ResolvePurchases(copy, game.governments, game.purchases);
        benchmark::DoNotOptimize(report);
        state.counters["accepted"] = Accepted(report);
    }
}
BENCHMARK(BM_Purchases)->Unit(benchmark::kMicrosecond);

void BM_Moves(benchmark::State& state) {
    const MidGame& game = Game();
    for (auto _ : state) {
        CampaignState copy = game.state;
        RandomGenerator random(9);
        PhaseReport report = ResolveMoves(copy, game.governments, game.moves, random);
        benchmark::DoNotOptimize(report);
        state.counters["accepted"] = Accepted(report);
        state.counters["battles"] = static_cast<double>(report.battles.size());
    }
}
BENCHMARK(BM_Moves)->Unit(benchmark::kMicrosecond);

void BM_Missions(benchmark::State& state) {
    const MidGame& game = Game();
    for (auto _ : state) {
        CampaignState copy = game.state;
        RandomGenerator random(9);
        PhaseReport report = ResolveMissions(copy, game.governments, game.missions, random);
        benchmark::DoNotOptimize(report);
        state.counters["accepted"] = Accepted(report);
    }
}
BENCHMARK(BM_Missions)->Unit(benchmark::kMicrosecond);

void BM_CloseYear(benchmark::State& state) {
    const MidGame& game = Game();
    for (auto _ : state) {
        CampaignState copy = game.state;
        CloseYear(copy);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_CloseYear)->Unit(benchmark::kMicrosecond);

// The board's preview of one nation's 64 moves, run whenever the player edits its list.
void BM_CheckMoves(benchmark::State& state) {
    const MidGame& game = Game();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            CheckOrders(game.state, game.governments, 0, CampaignStep::Moves, game.moves[0]));
    }
}
BENCHMARK(BM_CheckMoves)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
