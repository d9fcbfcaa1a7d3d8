// The campaign: the rules that carry a game from the deal, year after year, until a nation wins.
//
// Every order goes through one walk per step, shared by the board's preview (CheckOrders) and by
// the host's resolution: the walk checks each order against what the earlier orders of the same
// list left (money, troops, boats, the year's mission), so that the board never announces a
// purchase or a move the host then drops, nor the reverse. Spies are the one exception: a
// mission is paid with what the nation holds when its turn comes, after the nations before it
// have spied (and perhaps stolen from it).
#include "campaign/Campaign.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>

#include "campaign/Gamerules.h"
#include "game/Game.h"
#include "game/Objectif.h"
#include "game/Random.h"

namespace torvane {
namespace {

// Both sides of a battle are products of troops and three factors; 128 bits hold them, and the
// survivors' products, with room to spare.
__extension__ typedef __int128 Wide;

constexpr int kEmpire = 1;

// Battle percentages and chance factors are held to 0..10000 whatever the constants say: with
// troops below 2^32 no product of a battle can then come near 2^127.
constexpr int64_t kMaxFactor = 10000;

int64_t Factor(int32_t value) {
    return std::clamp<int64_t>(value, 0, kMaxFactor);
}

// A divisor of the constants table, never zero.
int64_t Divisor(int32_t value) {
    return std::max<int64_t>(value, 1);
}

int64_t Percent(int32_t value) {
    return std::clamp<int64_t>(value, 0, 100);
}

// A ceiling of the constants table as the 32-bit fields of the state can hold it.
int64_t Limit(int64_t limit) {
    return std::clamp<int64_t>(limit, 0, INT32_MAX);
}

// `value` held to 0..limit.
int32_t Saturate(int64_t value, int64_t limit) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, 0, Limit(limit)));
}

int64_t NonNegative(int64_t value) {
    return std::max<int64_t>(value, 0);
}

bool ValidNation(int nation) {
    return nation >= 0 && nation < NationCount;
}

const Government* GovernmentOf(const Governments& governments, int nation) {
    return ValidNation(nation) ? GovernmentAt(governments[static_cast<size_t>(nation)]) : nullptr;
}

bool IsCapital(const TerritoryInfo& territory) {
    return territory.wealth == kCapitalWealth;
}

bool IsCoastal(int index) {
    const Territory* territory = TerritoryAt(index);
    return territory && territory->coastal != 0;
}

bool AreNeighbours(int from, int to) {
    const NeighbourList list = NeighboursOf(from);
    return std::find(list.index.begin(), list.index.begin() + list.count, to) !=
           list.index.begin() + list.count;
}

bool InGame(const TerritoryTable& table, const Governments& governments, int nation) {
    return GovernmentOf(governments, nation) != nullptr && OwnsTerritory(table, nation);
}

int32_t& Ledger(CampaignState& state, LedgerRow row, int nation) {
    return state.ledger.values[static_cast<size_t>(row)][static_cast<size_t>(nation)];
}

TerritoryInfo& At(TerritoryTable& table, int index) {
    return table[static_cast<size_t>(index)];
}

const TerritoryInfo& At(const TerritoryTable& table, int index) {
    return table[static_cast<size_t>(index)];
}

bool BelongsTo(OrderKind kind, CampaignStep step) {
    switch (step) {
        case CampaignStep::Purchases:
            return kind == OrderKind::Recruit || kind == OrderKind::Fortify ||
                   kind == OrderKind::Improve || kind == OrderKind::Boats;
        case CampaignStep::Moves:
            return kind == OrderKind::Move;
        case CampaignStep::Spies:
            return kind == OrderKind::Spy;
        default:
            return false;
    }
}

// What every order meets first, whatever its step: a nation that no longer plays gives no
// orders; a list longer than one message may carry has its extra orders refused as a bad amount
// (of orders), so that the answer still holds one entry per order; and each step takes its own
// kinds of order only.
Refusal FrontCheck(bool inGame, CampaignStep step, const Order& order, size_t position) {
    if (!inGame)
        return Refusal::NotInGame;
    if (position >= kMaxOrders)
        return Refusal::BadAmount;
    if (!BelongsTo(order.kind, step))
        return Refusal::WrongStep;
    return Refusal::None;
}

int64_t PriceOfOrder(const Order& order, const TerritoryTable& table, const Government& government,
                     const CampaignRules& rules) {
    switch (order.kind) {
        case OrderKind::Recruit:
            return int64_t{order.amount} * government.armyValue / Divisor(rules.recruitDivisor);
        case OrderKind::Fortify:
            return government.armyValue / Divisor(rules.fortifyDivisor);
        case OrderKind::Improve:
            return order.from < TerritoryCount
                       ? table[order.from].wealth / Divisor(rules.improveDivisor)
                       : 0;
        case OrderKind::Boats:
            return int64_t{order.amount} * government.boatValue / Divisor(rules.boatDivisor);
        case OrderKind::Spy:
            return government.espionageValue;
        case OrderKind::Move:
            return 0;
    }
    return 0;
}

// ---- Achats ----------------------------------------------------------------------------------

// Checks one purchase against the running state and, when it is allowed and paid for, carries
// it out there.
Refusal Purchase(CampaignState& running, const Government& government, int nation,
                 const Order& order, const CampaignRules& rules) {
    if (order.from >= TerritoryCount)
        return Refusal::NoTerritory;
    TerritoryInfo& territory = At(running.table, order.from);
    if (territory.owner != nation)
        return Refusal::NotOwned;
    switch (order.kind) {
        case OrderKind::Recruit:
            if (order.amount < 1)
                return Refusal::BadAmount;
            break;
        case OrderKind::Fortify:
            if (territory.fortified != 0)
                return Refusal::AlreadyDone;
            break;
        case OrderKind::Improve:
            if (IsCapital(territory))
                return Refusal::Capital;
            if (territory.improved != 0)
                return Refusal::AlreadyDone;
            break;
        case OrderKind::Boats:
            if (!IsCoastal(order.from))
                return Refusal::NotCoastal;
            if (order.amount < 1)
                return Refusal::BadAmount;
            break;
        default:
            return Refusal::WrongStep;
    }
    int32_t& treasury = Ledger(running, Treasury, nation);
    const int64_t price = NonNegative(PriceOfOrder(order, running.table, government, rules));
    if (price > treasury)
        return Refusal::NotAffordable;
    treasury = static_cast<int32_t>(treasury - price);
    switch (order.kind) {
        case OrderKind::Recruit:
            territory.reserve =
                Saturate(NonNegative(territory.reserve) + order.amount, rules.maxTroops);
            break;
        case OrderKind::Fortify:
            territory.fortified = 1;
            break;
        case OrderKind::Improve:
            territory.improved = 1;
            break;
        default:
            territory.ownerOnlyA =
                Saturate(NonNegative(territory.ownerOnlyA) + order.amount, rules.maxTroops);
            break;
    }
    return Refusal::None;
}

std::vector<Refusal> WalkPurchases(CampaignState& running, const Governments& governments,
                                   int nation, std::span<const Order> orders,
                                   const CampaignRules& rules) {
    std::vector<Refusal> refusals;
    refusals.reserve(orders.size());
    const bool inGame = InGame(running.table, governments, nation);
    for (size_t i = 0; i < orders.size(); ++i) {
        Refusal refusal = FrontCheck(inGame, CampaignStep::Purchases, orders[i], i);
        if (refusal == Refusal::None) {
            refusal =
                Purchase(running, *GovernmentOf(governments, nation), nation, orders[i], rules);
        }
        refusals.push_back(refusal);
    }
    return refusals;
}

// ---- Mouvements ------------------------------------------------------------------------------

struct PlannedMove {
    int nation = 0;
    int from = 0;
    int to = 0;
    int32_t troops = 0;
    int32_t boats = 0;
    bool bySea = false;
};

// What a nation's list may still take from each territory: its army and its boats at the start
// of the phase, less what the earlier orders of the list took.
struct MoveBudget {
    std::array<int32_t, TerritoryCount> army{};
    std::array<int32_t, TerritoryCount> boats{};
};

MoveBudget BudgetOf(const TerritoryTable& table) {
    MoveBudget budget;
    for (size_t i = 0; i < table.size(); ++i) {
        budget.army[i] = std::max(table[i].army, 0);
        budget.boats[i] = std::max(table[i].ownerOnlyA, 0);
    }
    return budget;
}

Refusal PlanMove(const TerritoryTable& start, MoveBudget& budget, int nation, const Order& order,
                 const CampaignRules& rules, PlannedMove& plan) {
    if (order.from >= TerritoryCount || order.to >= TerritoryCount)
        return Refusal::NoTerritory;
    if (At(start, order.from).owner != nation)
        return Refusal::NotOwned;
    int32_t& armyLeft = budget.army[order.from];
    int32_t& boatsLeft = budget.boats[order.from];
    if (order.amount < 1 || order.amount > armyLeft)
        return Refusal::BadAmount;
    int32_t boats = 0;
    const bool byLand = AreNeighbours(order.from, order.to);
    if (!byLand) {
        // Anything that is not a land neighbour is reached by sea, one boat per load of troops.
        if (order.from == order.to)
            return Refusal::NotReachable;
        if (!IsCoastal(order.from) || !IsCoastal(order.to))
            return Refusal::NotCoastal;
        const int64_t load = Divisor(rules.troopsPerBoat);
        const int64_t needed = (int64_t{order.amount} + load - 1) / load;
        if (needed > boatsLeft)
            return Refusal::NoBoats;
        boats = static_cast<int32_t>(needed);
    }
    armyLeft -= order.amount;
    boatsLeft -= boats;
    plan = {nation, order.from, order.to, order.amount, boats, !byLand};
    return Refusal::None;
}

std::vector<Refusal> WalkMoves(const TerritoryTable& start, const Governments& governments,
                               int nation, std::span<const Order> orders,
                               const CampaignRules& rules, std::vector<PlannedMove>* accepted) {
    std::vector<Refusal> refusals;
    refusals.reserve(orders.size());
    const bool inGame = InGame(start, governments, nation);
    MoveBudget budget = inGame ? BudgetOf(start) : MoveBudget{};
    for (size_t i = 0; i < orders.size(); ++i) {
        Refusal refusal = FrontCheck(inGame, CampaignStep::Moves, orders[i], i);
        PlannedMove plan;
        if (refusal == Refusal::None)
            refusal = PlanMove(start, budget, nation, orders[i], rules, plan);
        if (refusal == Refusal::None && accepted)
            accepted->push_back(plan);
        refusals.push_back(refusal);
    }
    return refusals;
}

// One nation's attack on one territory: all its orders on that territory fight as one, so that
// none of them ever lands on a territory its own nation has just taken: they arrive together.
struct Force {
    int64_t troops = 0;
    int64_t boats = 0;
    bool bySea = false;
    bool present = false;
};

void Fight(CampaignState& state, const Governments& governments, int attacker, int index,
           const Force& force, RandomGenerator& random, const CampaignRules& rules,
           PhaseReport& report) {
    TerritoryInfo& land = At(state.table, index);
    const int64_t troops = force.troops;
    const int64_t army = NonNegative(land.army);
    const int64_t reserve = NonNegative(land.reserve);
    const int64_t defenders = army + reserve;
    // Both chances are drawn for every battle, even against an empty territory, so that one
    // battle more or less never shifts the chances of the others.
    const int64_t chanceA =
        Factor(random.Between(rules.chanceMinPerMille, rules.chanceMaxPerMille));
    const int64_t chanceD =
        Factor(random.Between(rules.chanceMinPerMille, rules.chanceMaxPerMille));
    const bool empire = governments[static_cast<size_t>(attacker)] == kEmpire;
    const int64_t attackPercent = empire ? Factor(rules.empireAttackPercent) : 100;
    const int64_t fortPercent = land.fortified != 0 ? Factor(rules.fortifiedDefencePercent) : 100;
    const int64_t capitalPercent = IsCapital(land) ? Factor(rules.capitalDefencePercent) : 100;
    // Both sides carry the same scale: troops x percent x percent x per mille.
    const Wide attack = Wide{troops} * attackPercent * 100 * chanceA;
    const Wide defence = Wide{defenders} * fortPercent * capitalPercent * chanceD;

    Battle battle;
    battle.attacker = static_cast<int8_t>(attacker);
    battle.defender = land.owner >= 0 ? land.owner : int8_t{-1};
    battle.territory = static_cast<uint8_t>(index);
    battle.bySea = force.bySea;
    battle.troops = Saturate(troops, INT32_MAX);
    battle.defenders = Saturate(defenders, INT32_MAX);
    if (attack > defence) {
        // The attackers keep the share of their strength the defence did not absorb, rounded up.
        const Wide margin = attack - defence;
        const int64_t kept = static_cast<int64_t>((Wide{troops} * margin + attack - 1) / attack);
        const int64_t survivors = std::max<int64_t>(1, kept);
        land.owner = static_cast<int8_t>(attacker);
        land.army = Saturate(survivors, rules.maxTroops);
        land.reserve = 0;
        land.ownerOnlyA = Saturate(force.boats, rules.maxTroops);
        int32_t& conquests = Ledger(state, Conquests, attacker);
        conquests = Saturate(NonNegative(conquests) + 1, INT32_MAX);
        battle.taken = true;
        battle.survivors = land.army;
    } else {
        // The defenders keep the share of their strength the attack did not absorb, rounded
        // down; the losses fall on the army first, then on the reserve.
        const int64_t kept =
            defence > 0 ? static_cast<int64_t>(Wide{defenders} * (defence - attack) / defence) : 0;
        int64_t losses = defenders - kept;
        const int64_t fromArmy = std::min(losses, army);
        losses -= fromArmy;
        land.army = static_cast<int32_t>(army - fromArmy);
        land.reserve = static_cast<int32_t>(reserve - losses);
        battle.survivors = Saturate(kept, INT32_MAX);
    }
    report.battles.push_back(battle);
}

// ---- Espionnage ------------------------------------------------------------------------------

// Checks one mission against the territories at the start of the phase and the nation's
// treasury as it stands now.
Refusal PlanMission(const TerritoryTable& start, int64_t treasury, int missionsDone,
                    const Government& government, int nation, const Order& order,
                    const CampaignRules& rules) {
    if (missionsDone >= rules.missionsPerYear)
        return Refusal::MissionSpent;
    if (order.to >= TerritoryCount)
        return Refusal::NoTerritory;
    if (order.amount < 0 || order.amount >= kMissionCount)
        return Refusal::BadAmount;
    const TerritoryInfo& target = At(start, order.to);
    if (target.owner < 0 || target.owner == nation)
        return Refusal::NotForeign;
    if (static_cast<Mission>(order.amount) == Mission::Propaganda) {
        if (government.propaganda == 0)
            return Refusal::NoPropaganda;
        if (IsCapital(target))
            return Refusal::Capital;
        if (NonNegative(target.army) + NonNegative(target.reserve) >= rules.propagandaTroops)
            return Refusal::TooManyTroops;
    }
    if (government.espionageValue > treasury)
        return Refusal::NotAffordable;
    return Refusal::None;
}

// Walks one nation's missions; `carryOut` pays for (and, at the host, carries out) each
// accepted mission on `running` before the next order is checked.
template <typename CarryOut>
std::vector<Refusal> WalkMissions(const TerritoryTable& start, CampaignState& running,
                                  const Governments& governments, int nation,
                                  std::span<const Order> orders, const CampaignRules& rules,
                                  CarryOut&& carryOut) {
    std::vector<Refusal> refusals;
    refusals.reserve(orders.size());
    const bool inGame = InGame(start, governments, nation);
    int missionsDone = 0;
    for (size_t i = 0; i < orders.size(); ++i) {
        Refusal refusal = FrontCheck(inGame, CampaignStep::Spies, orders[i], i);
        if (refusal == Refusal::None) {
            refusal = PlanMission(start, Ledger(running, Treasury, nation), missionsDone,
                                  *GovernmentOf(governments, nation), nation, orders[i], rules);
        }
        if (refusal == Refusal::None) {
            ++missionsDone;
            carryOut(orders[i]);
        }
        refusals.push_back(refusal);
    }
    return refusals;
}

void PayForMission(CampaignState& state, const Government& government, int nation) {
    int32_t& treasury = Ledger(state, Treasury, nation);
    treasury = Saturate(int64_t{treasury} - NonNegative(government.espionageValue), INT32_MAX);
}

void CarryOutMission(CampaignState& state, const TerritoryTable& start,
                     const Governments& governments, int nation, const Order& order,
                     RandomGenerator& random, const CampaignRules& rules, PhaseReport& report) {
    const Government& government = *GovernmentOf(governments, nation);
    PayForMission(state, government, nation);
    MissionResult result;
    result.spy = static_cast<int8_t>(nation);
    result.target = At(start, order.to).owner;
    result.territory = order.to;
    result.mission = static_cast<Mission>(order.amount);
    // The chance of being caught, then the roll: both drawn for every mission.
    const Government* guard = GovernmentOf(governments, result.target);
    const int chance = random.Between(guard ? guard->counterEspionageMin : 0,
                                      guard ? guard->counterEspionageMax : 0);
    result.caught = random.Next(100) < chance;
    result.success = !result.caught;
    int32_t& treasury = Ledger(state, Treasury, nation);
    TerritoryInfo& land = At(state.table, order.to);
    if (result.caught) {
        result.named = guard && guard->shootOnSight != 0;
        if (government.scandal != 0) {
            const int64_t held = NonNegative(treasury);
            treasury = static_cast<int32_t>(held - held * Percent(rules.scandalPercent) / 100);
        }
    } else if (result.mission == Mission::Sabotage) {
        if (land.fortified != 0) {
            land.fortified = 0;
        } else {
            const int64_t army = NonNegative(land.army);
            result.amount = static_cast<int32_t>(army / Divisor(rules.sabotageDivisor));
            land.army = static_cast<int32_t>(army - result.amount);
        }
    } else if (result.mission == Mission::Theft) {
        // What the spy's treasury cannot hold stays with the target: money is never destroyed.
        if (guard) {
            int32_t& robbed = Ledger(state, Treasury, result.target);
            const int64_t taken = NonNegative(robbed) * Percent(rules.theftPercent) / 100;
            const int64_t room = NonNegative(Limit(rules.maxTreasury) - NonNegative(treasury));
            result.amount = static_cast<int32_t>(std::min(taken, room));
            robbed = static_cast<int32_t>(NonNegative(robbed) - result.amount);
            treasury = static_cast<int32_t>(NonNegative(treasury) + result.amount);
        }
    } else if (land.owner >= 0) {
        // Propaganda: the territory revolts and belongs to nobody. A territory that another
        // spy already roused this phase has nothing left to revolt against.
        const int64_t army = NonNegative(land.army);
        const int64_t left = army / Divisor(rules.revoltDivisor);
        result.amount = static_cast<int32_t>(army - left);
        land.owner = -1;
        land.army = static_cast<int32_t>(left);
    }
    report.missions.push_back(result);
}

}  // namespace

int64_t OrderPrice(const Order& order, const TerritoryTable& table, const Government& government,
                   const CampaignRules& rules) {
    return PriceOfOrder(order, table, government, rules);
}

CampaignStep StepOf(uint32_t status) {
    const uint32_t even = status & ~1u;
    if (even < 4)
        return CampaignStep::None;
    const uint32_t r = (even - 4) % 22;
    return static_cast<CampaignStep>(1 + r / 2);
}

bool TakesOrders(CampaignStep step) {
    return step == CampaignStep::Purchases || step == CampaignStep::Moves ||
           step == CampaignStep::Spies;
}

bool PlayersAct(CampaignStep step) {
    return TakesOrders(step) || step == CampaignStep::YearStart || step == CampaignStep::WarReport;
}

const char* PhaseName(uint32_t status) {
    if (StepOf(status) == CampaignStep::None)
        return "";
    // The \xE9 is split from the next letter, which would otherwise read as one more hex digit.
    static constexpr const char* kNames[] = {
        ("Nouvelle ann\xE9"
         "e"),
        "Recettes",
        "Achats",
        "Mouvements",
        "Guerres",
        "Espionnage",
        "Bilan",
    };
    const int32_t phase = PhaseOfYear(status);
    if (phase < 0 || phase >= static_cast<int32_t>(std::size(kNames)))
        return "";
    return kNames[phase];
}

CampaignState StartCampaign(const TerritoryTable& deal, const Governments& governments,
                            const CampaignRules& rules) {
    CampaignState state;
    state.table = deal;
    for (int nation = 0; nation < NationCount; ++nation) {
        if (!GovernmentOf(governments, nation))
            continue;
        Ledger(state, Treasury, nation) = rules.startingTreasury;
        Ledger(state, Income, nation) = 0;
        Ledger(state, Conquests, nation) = 0;
    }
    return state;
}

bool OwnsTerritory(const TerritoryTable& table, int nation) {
    if (!ValidNation(nation))
        return false;
    return std::any_of(table.begin(), table.end(),
                       [nation](const TerritoryInfo& entry) { return entry.owner == nation; });
}

uint8_t LivingNations(const CampaignState& state, const Governments& governments) {
    uint8_t owners = 0;
    for (const TerritoryInfo& entry : state.table) {
        if (ValidNation(entry.owner))
            owners |= static_cast<uint8_t>(1u << entry.owner);
    }
    uint8_t living = 0;
    for (int nation = 0; nation < NationCount; ++nation) {
        if (GovernmentOf(governments, nation) && (owners & (1u << nation)) != 0)
            living |= static_cast<uint8_t>(1u << nation);
    }
    return living;
}

std::vector<Refusal> CheckOrders(const CampaignState& state, const Governments& governments,
                                 int nation, CampaignStep step, std::span<const Order> orders,
                                 const CampaignRules& rules) {
    switch (step) {
        case CampaignStep::Purchases: {
            CampaignState running = state;
            return WalkPurchases(running, governments, nation, orders, rules);
        }
        case CampaignStep::Moves:
            return WalkMoves(state.table, governments, nation, orders, rules, nullptr);
        case CampaignStep::Spies: {
            // The preview cannot know whether a spy will be caught: it counts the price alone.
            CampaignState running = state;
            return WalkMissions(
                state.table, running, governments, nation, orders, rules, [&](const Order&) {
                    PayForMission(running, *GovernmentOf(governments, nation), nation);
                });
        }
        default: {
            const bool inGame = InGame(state.table, governments, nation);
            std::vector<Refusal> refusals;
            refusals.reserve(orders.size());
            for (size_t i = 0; i < orders.size(); ++i)
                refusals.push_back(FrontCheck(inGame, step, orders[i], i));
            return refusals;
        }
    }
}

void ResolveIncome(CampaignState& state, const Governments& governments,
                   const CampaignRules& rules) {
    std::array<int64_t, NationCount> earned{};
    for (const TerritoryInfo& entry : state.table) {
        if (!ValidNation(entry.owner))
            continue;
        int64_t income = NonNegative(entry.wealth) / Divisor(rules.incomeDivisor);
        if (entry.improved != 0)
            income = income * NonNegative(rules.improvedIncomePercent) / 100;
        earned[static_cast<size_t>(entry.owner)] += income;
    }
    // Every nation in the game, living or not: one without territory earns nothing.
    for (int nation = 0; nation < NationCount; ++nation) {
        const Government* government = GovernmentOf(governments, nation);
        if (!government)
            continue;
        const int64_t income = NonNegative(earned[static_cast<size_t>(nation)] *
                                           (100 + government->revenueBonus) / 100);
        int32_t& treasury = Ledger(state, Treasury, nation);
        treasury = Saturate(NonNegative(treasury) + income, rules.maxTreasury);
        Ledger(state, Income, nation) = Saturate(income, rules.maxTreasury);
        Ledger(state, Conquests, nation) = 0;
    }
}

PhaseReport ResolvePurchases(CampaignState& state, const Governments& governments,
                             const NationOrders& orders, const CampaignRules& rules) {
    PhaseReport report;
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        report.refusals[n] = WalkPurchases(state, governments, nation, orders[n], rules);
    }
    return report;
}

PhaseReport ResolveMoves(CampaignState& state, const Governments& governments,
                         const NationOrders& orders, RandomGenerator& random,
                         const CampaignRules& rules) {
    PhaseReport report;
    std::vector<PlannedMove> moves;
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        report.refusals[n] = WalkMoves(state.table, governments, nation, orders[n], rules, &moves);
    }
    // 1. Every accepted order's troops, and the boats that carry them, leave.
    for (const PlannedMove& move : moves) {
        TerritoryInfo& from = At(state.table, move.from);
        from.army -= move.troops;
        from.ownerOnlyA -= move.boats;
    }
    // 2. Troops sent to the nation's own territories arrive, and their boats moor there; the
    // others gather, one force per nation and target.
    std::array<std::array<Force, NationCount>, TerritoryCount> forces{};
    for (const PlannedMove& move : moves) {
        TerritoryInfo& to = At(state.table, move.to);
        if (to.owner == move.nation) {
            to.army = Saturate(NonNegative(to.army) + move.troops, rules.maxTroops);
            to.ownerOnlyA = Saturate(NonNegative(to.ownerOnlyA) + move.boats, rules.maxTroops);
            continue;
        }
        Force& force = forces[static_cast<size_t>(move.to)][static_cast<size_t>(move.nation)];
        force.troops = std::min(force.troops + move.troops, Limit(rules.maxTroops));
        force.boats = std::min(force.boats + move.boats, Limit(rules.maxTroops));
        force.bySea = force.bySea || move.bySea;
        force.present = true;
    }
    // 3. The battles, territory by territory; the strongest attacker of a territory fights
    // first (the lower nation on equal troops), each against whoever holds it by then.
    std::array<int, NationCount> attackers{};
    for (int index = 0; index < TerritoryCount; ++index) {
        const auto& onTarget = forces[static_cast<size_t>(index)];
        int count = 0;
        for (int nation = 0; nation < NationCount; ++nation) {
            if (onTarget[static_cast<size_t>(nation)].present)
                attackers[static_cast<size_t>(count++)] = nation;
        }
        std::stable_sort(attackers.begin(), attackers.begin() + count, [&](int a, int b) {
            return onTarget[static_cast<size_t>(a)].troops >
                   onTarget[static_cast<size_t>(b)].troops;
        });
        for (int i = 0; i < count; ++i) {
            const int nation = attackers[static_cast<size_t>(i)];
            Fight(state, governments, nation, index, onTarget[static_cast<size_t>(nation)], random,
                  rules, report);
        }
    }
    // 4. A nation left without territory is out: it simply owns nothing any more.
    return report;
}

PhaseReport ResolveMissions(CampaignState& state, const Governments& governments,
                            const NationOrders& orders, RandomGenerator& random,
                            const CampaignRules& rules) {
    PhaseReport report;
    // Every mission is checked against the territories as they stood when the phase began; the
    // money is what the nation holds when its turn comes.
    const TerritoryTable start = state.table;
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        report.refusals[n] =
            WalkMissions(start, state, governments, nation, orders[n], rules, [&](const Order& o) {
                CarryOutMission(state, start, governments, nation, o, random, rules, report);
            });
    }
    return report;
}

void CloseYear(CampaignState& state) {
    for (TerritoryInfo& entry : state.table) {
        entry.army = Saturate(NonNegative(entry.army) + NonNegative(entry.reserve),
                              kCampaignRules.maxTroops);
        entry.reserve = 0;
    }
}

uint8_t Winners(const DirectLog& history, const CampaignState& state,
                const Governments& governments, const std::array<int8_t, NationCount>& objectives) {
    const uint8_t living = LivingNations(state, governments);
    uint8_t winners = 0;
    for (int nation = 0; nation < NationCount; ++nation) {
        if ((living & (1u << nation)) == 0)
            continue;
        const Objectif* objective = ObjectiveAt(objectives[static_cast<size_t>(nation)]);
        if (Progress(objective, &history, nation, 0) == 100)
            winners |= static_cast<uint8_t>(1u << nation);
    }
    if (winners == 0 && std::popcount(living) == 1)
        winners = living;
    return winners;
}

}  // namespace torvane
