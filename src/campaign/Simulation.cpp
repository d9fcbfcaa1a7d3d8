// Whole campaigns played by computer players in one process.
#include "campaign/Simulation.h"

#include <algorithm>
#include <bit>
#include <memory>

#include "campaign/Gamerules.h"
#include "campaign/Orders.h"
#include "game/Directlog.h"
#include "game/Objectif.h"
#include "game/Random.h"

namespace torvane {
namespace {

constexpr uint32_t kFirstYearStatus = 4;
constexpr uint32_t kStatusesPerYear = 22;

// Offsets of the order steps within a year.
constexpr uint32_t kYearStart = 0;
constexpr uint32_t kPurchases = 4;
constexpr uint32_t kMoves = 8;
constexpr uint32_t kWarReport = 12;
constexpr uint32_t kSpies = 16;

uint64_t PlayerSeed(uint64_t seed, int nation) {
    return seed * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(nation + 1) * 0xD1B54A32D192ED03ull;
}

}  // namespace

SimulatedGame SimulateGame(const SimulationSetup& setup) {
    if (ObjectiveCount() == 0)
        BuildObjectives();
    SimulatedGame game;
    game.governments.fill(-1);
    game.objectives.fill(-1);
    RandomSeed(setup.seed);

    // The lobby: distinct nations, each with a government.
    const int players = std::clamp(setup.players, 1, NationCount);
    std::vector<int8_t> free;
    for (int nation = 0; nation < NationCount; ++nation)
        free.push_back(static_cast<int8_t>(nation));
    for (int p = 0; p < players; ++p) {
        const auto pick = static_cast<size_t>(Random(static_cast<int>(free.size())));
        const int8_t nation = free[pick];
        free.erase(free.begin() + static_cast<std::ptrdiff_t>(pick));
        game.nations.push_back(nation);
        game.governments[static_cast<size_t>(nation)] =
            static_cast<int8_t>(Random(GovernmentCount));
    }
    // The deal, then one objective per player in the players' order.
    const TerritoryTable deal = DealMap(game.nations);
    for (const int8_t nation : game.nations) {
        game.objectives[static_cast<size_t>(nation)] =
            static_cast<int8_t>(DealObjective(true, ObjectiveCount()));
    }

    CampaignState state = StartCampaign(deal, game.governments);
    DirectLog history;
    history.Append(deal);
    if (setup.keepTables)
        game.tables.push_back(deal);
    std::array<std::unique_ptr<ComputerPlayer>, NationCount> computers;
    for (const int8_t nation : game.nations) {
        computers[static_cast<size_t>(nation)] =
            std::make_unique<ComputerPlayer>(setup.level, PlayerSeed(setup.seed, nation));
    }
    PhaseReport battles;

    // Asks every living nation (that can pay for the step) for its orders.
    const auto ask = [&](uint32_t status, CampaignStep step) {
        NationOrders orders;
        const uint8_t living = LivingNations(state, game.governments);
        for (const int8_t nation : game.nations) {
            const auto n = static_cast<size_t>(nation);
            if (!((living >> nation) & 1))
                continue;
            if (step == CampaignStep::Spies) {
                const Government* government = GovernmentAt(game.governments[n]);
                if (!government || state.ledger.values[Treasury][n] < government->espionageValue)
                    continue;
            }
            TurnView view;
            view.status = status;
            view.step = step;
            view.nation = nation;
            view.government = game.governments[n];
            view.objective = game.objectives[n];
            view.state = &state;
            view.governments = &game.governments;
            view.history = &history;
            view.battles = &battles;
            view.yearPanelClosed = true;
            std::vector<Order> list;
            while (!computers[n]->Decide(view, list))
                list.clear();
            if (TakesOrders(step)) {
                if (list.size() > kMaxOrders)
                    list.resize(kMaxOrders);
                orders[n] = std::move(list);
            }
        }
        return orders;
    };
    const auto count = [&](const NationOrders& orders, const PhaseReport& report) {
        for (int nation = 0; nation < NationCount; ++nation) {
            const auto n = static_cast<size_t>(nation);
            game.orders += static_cast<int64_t>(orders[n].size());
            game.refused += std::count_if(report.refusals[n].begin(), report.refusals[n].end(),
                                          [](Refusal r) { return r != Refusal::None; });
        }
    };

    for (int year = 0; year < setup.maxYears; ++year) {
        const uint32_t base = kFirstYearStatus + kStatusesPerYear * static_cast<uint32_t>(year);
        ask(base + kYearStart, CampaignStep::YearStart);
        ResolveIncome(state, game.governments);
        NationOrders orders = ask(base + kPurchases, CampaignStep::Purchases);
        count(orders, ResolvePurchases(state, game.governments, orders));
        orders = ask(base + kMoves, CampaignStep::Moves);
        battles = ResolveMoves(state, game.governments, orders, GameGenerator());
        battles.status = base + kMoves;
        count(orders, battles);
        game.battles += static_cast<int64_t>(battles.battles.size());
        ask(base + kWarReport, CampaignStep::WarReport);
        orders = ask(base + kSpies, CampaignStep::Spies);
        count(orders, ResolveMissions(state, game.governments, orders, GameGenerator()));
        CloseYear(state);
        history.Append(state.table, state.ledger);
        if (setup.keepTables)
            game.tables.push_back(state.table);
        game.years = year + 1;
        game.winners = Winners(history, state, game.governments, game.objectives);
        if (game.winners != 0) {
            const uint8_t living = LivingNations(state, game.governments);
            game.lastStanding = std::popcount(living) == 1;
            // Met objectives take precedence in the count of who won how.
            for (int nation = 0; nation < NationCount && game.lastStanding; ++nation) {
                if ((game.winners >> nation) & 1) {
                    const Objectif* objective =
                        ObjectiveAt(game.objectives[static_cast<size_t>(nation)]);
                    if (Progress(objective, &history, nation, 0) == 100)
                        game.lastStanding = false;
                }
            }
            break;
        }
    }
    for (const int8_t nation : game.nations) {
        const auto n = static_cast<size_t>(nation);
        game.progress[n] = OwnsTerritory(state.table, nation)
                               ? Progress(ObjectiveAt(game.objectives[n]), &history, nation, 0)
                               : -1;
    }
    return game;
}

}  // namespace torvane
