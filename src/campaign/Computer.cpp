// Computer players: one heuristic per objective, on top of the same habits for every nation
// (guard the threatened borders and the capital, take boats where the sea is the only way, spy
// when the treasury overflows).
//
// Everything is read from the view: the state every player holds, the governments and the
// history. The three levels see and may do the same; they differ in how carefully they weigh a
// battle, how many targets and plans they compare and how far ahead they save.
#include "campaign/Computer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numeric>

#include "campaign/Gamerules.h"
#include "game/Game.h"

namespace torvane {
namespace {

constexpr int kFar = 1000;
constexpr int kEmpire = 1;
constexpr int kColoniseTroops = 5;   // what a colony must hold at the year's end
constexpr int kSwiftCount = 12;      // conquests in one year for the swift conquest
constexpr int kLastTerritories = 3;  // a rival this small is worth finishing off

enum Objective : int {
    WorldConquest = 0,
    ColoniseAsia = 1,
    ColoniseAmericas = 2,
    SwiftConquest = 3,
    WorldSupremacy = 4,
};

// How well a level plans.
struct Skill {
    int candidates;       // targets weighed each year
    int plans;            // orderings of those targets compared
    bool exactOdds;       // counts fortifications, capitals, the empire's bonus and the chances
    double margin;        // troops sent over the troops the estimate asks for; 0: enough to
                          // win on the worst draw of the chances
    double guard;         // share of the enemies' neighbouring armies kept at home
    int saveYears;        // years of income the swift conquest may wait for
    double spyWealth;     // spies once the treasury holds that many spy prices
    bool improves;        // invests in its rich territories when nothing threatens
    int capitalGarrison;  // troops always left in the capital
    double wear;          // attacks an enemy with that share of the troops a victory needs
    double follow;        // share of the idle troops next to a won territory that follow
};

constexpr Skill kSkills[3] = {
    {4, 1, false, 1.10, 0.5, 0, 4.0, false, 5, 0.0, 0.5},
    {24, 3, true, 1.12, 0.8, 1, 2.5, true, 10, 0.7, 1.0},
    {40, 4, true, 0.0, 1.0, 2, 2.0, true, 15, 0.7, 1.0},
};

bool InContinent(int index, int objective) {
    const int continent = ContinentOf(index);
    if (objective == ColoniseAsia)
        return continent == Asia;
    if (objective == ColoniseAmericas)
        return continent == NorthAmerica || continent == SouthAmerica;
    return false;
}

// The land mass of each territory (the lowest index it reaches by land).
int LandMassOf(int index) {
    static const std::array<int, TerritoryCount> masses = [] {
        std::array<int, TerritoryCount> mass{};
        mass.fill(-1);
        for (int start = 0; start < TerritoryCount; ++start) {
            if (mass[static_cast<size_t>(start)] >= 0)
                continue;
            std::vector<int> queue = {start};
            mass[static_cast<size_t>(start)] = start;
            for (size_t head = 0; head < queue.size(); ++head) {
                const NeighbourList list = NeighboursOf(queue[head]);
                for (int k = 0; k < list.count; ++k) {
                    const int next = list.index[static_cast<size_t>(k)];
                    if (mass[static_cast<size_t>(next)] < 0) {
                        mass[static_cast<size_t>(next)] = start;
                        queue.push_back(next);
                    }
                }
            }
        }
        return mass;
    }();
    return index >= 0 && index < TerritoryCount ? masses[static_cast<size_t>(index)] : -1;
}

bool Coastal(int index) {
    const Territory* territory = TerritoryAt(index);
    return territory && territory->coastal != 0;
}

// Everything a decision needs, read once from the view.
class Planner {
  public:
    Planner(const TurnView& view, const Skill& skill, RandomGenerator& random)
        : view_(view),
          state_(*view.state),
          table_(view.state->table),
          me_(view.nation),
          skill_(skill),
          random_(random),
          government_(GovernmentAt(view.government)) {
        for (int i = 0; i < TerritoryCount; ++i) {
            neighbours_[static_cast<size_t>(i)] = NeighboursOf(i);
            if (Mine(i))
                owned_.push_back(i);
        }
        treasury_ = state_.ledger.values[Treasury][static_cast<size_t>(me_)];
        FindGoals();
        Distances();
        Threats();
    }

    std::vector<Order> Purchases();
    std::vector<Order> Moves();
    std::vector<Order> Spies();

  private:
    struct Attack {
        int target = 0;
        int32_t need = 0;
        double value = 0;
        bool enemy = false;  // another nation's: worth wearing down
    };
    struct Plan {
        std::vector<Order> orders;
        std::vector<int> taken;
        double value = 0;
    };

    const TerritoryInfo& At(int i) const { return table_[static_cast<size_t>(i)]; }
    bool Mine(int i) const { return At(i).owner == me_; }
    bool Capital(int i) const { return At(i).wealth == kCapitalWealth; }
    static int32_t Troops(const TerritoryInfo& t) {
        return std::max(t.army, 0) + std::max(t.reserve, 0);
    }

    int32_t RecruitPrice(int32_t n) const {
        return static_cast<int32_t>(int64_t{n} * government_->armyValue /
                                    std::max(kCampaignRules.recruitDivisor, 1));
    }
    int32_t TroopsFor(int64_t money) const {
        const int64_t each = std::max<int64_t>(
            1, government_->armyValue / std::max(kCampaignRules.recruitDivisor, 1));
        return static_cast<int32_t>(std::min<int64_t>(money / each, 1000000));
    }
    int32_t FortifyPrice() const {
        return government_->armyValue / std::max(kCampaignRules.fortifyDivisor, 1);
    }
    int64_t BoatPrice(int32_t n) const {
        return int64_t{n} * government_->boatValue / std::max(kCampaignRules.boatDivisor, 1);
    }
    int32_t SpyPrice() const { return government_->espionageValue; }
    int32_t BoatLoad() const { return std::max(kCampaignRules.troopsPerBoat, 1); }
    // The share of a victory's troops worth throwing at a rival's territory: less against a
    // rival that earns far less, whose losses will not be made up.
    double WearShare(int target) const {
        const int owner = At(target).owner;
        const auto& income = state_.ledger.values[Income];
        if (owner >= 0 && income[static_cast<size_t>(me_)] >
                              2 * int64_t{std::max(income[static_cast<size_t>(owner)], 1)}) {
            return skill_.wear * 0.6;
        }
        return skill_.wear;
    }
    // A spy is worth its price once the treasury, or the year's income, holds several.
    bool SpiesThisYear(int64_t money) const {
        const int32_t income = state_.ledger.values[Income][static_cast<size_t>(me_)];
        return money >= SpyPrice() * skill_.spyWealth ||
               (skill_.exactOdds && money >= SpyPrice() && income >= SpyPrice() * skill_.spyWealth);
    }

    // The troops an attack on `target` should carry.
    int32_t NeedToTake(int target) const;
    // The troops a territory of mine keeps at home this year; `ignored` enemy troops next door
    // (those it attacks) do not count.
    int32_t Garrison(int index, int32_t ignored = 0) const;

    void FindGoals();
    void Distances();
    void Threats();
    double ValueOf(int target) const;
    std::vector<Attack> Candidates(const std::array<int32_t, TerritoryCount>& spare,
                                   const std::array<int32_t, TerritoryCount>& boats) const;
    Plan Allocate(const std::vector<Attack>& order, std::array<int32_t, TerritoryCount> spare,
                  std::array<int32_t, TerritoryCount> boats) const;
    Plan BestPlan(const std::array<int32_t, TerritoryCount>& spare,
                  const std::array<int32_t, TerritoryCount>& boats, bool countOnly) const;
    std::array<int32_t, TerritoryCount> Spare() const;
    std::array<int32_t, TerritoryCount> Harbours() const;
    bool NeedsTheSea() const;
    int BestHarbour() const;

    const TurnView& view_;
    const CampaignState& state_;
    const TerritoryTable& table_;
    int me_;
    const Skill& skill_;
    RandomGenerator& random_;
    const Government* government_;
    int32_t treasury_ = 0;
    std::array<NeighbourList, TerritoryCount> neighbours_{};
    std::vector<int> owned_;
    std::array<bool, TerritoryCount> goal_{};          // where the objective wants to be
    std::array<bool, TerritoryCount> keep_{};          // objective territories held: stay put
    std::array<int, TerritoryCount> distance_{};       // land steps to the nearest goal
    std::array<int32_t, TerritoryCount> threat_{};     // strongest enemy army next door
    std::array<int32_t, ContinentCount> rivalArmy_{};  // strongest army not mine, per continent
};

int32_t Planner::NeedToTake(int target) const {
    const TerritoryInfo& land = At(target);
    const int32_t defenders = Troops(land);
    if (defenders == 0)
        return 1;
    if (!skill_.exactOdds)
        return static_cast<int32_t>(std::ceil(defenders * skill_.margin)) + 1;
    double defence = defenders;
    if (land.fortified != 0)
        defence *= kCampaignRules.fortifiedDefencePercent / 100.0;
    if (Capital(target))
        defence *= kCampaignRules.capitalDefencePercent / 100.0;
    if (view_.government == kEmpire)
        defence /= kCampaignRules.empireAttackPercent / 100.0;
    // The level's margin over the defence, or the worst draw of both chances.
    const double worst = static_cast<double>(kCampaignRules.chanceMaxPerMille) /
                         std::max(kCampaignRules.chanceMinPerMille, 1);
    const double ratio = skill_.margin > 0 ? skill_.margin : worst;
    return static_cast<int32_t>(std::ceil(defence * ratio)) + 1;
}

int32_t Planner::Garrison(int index, int32_t ignored) const {
    const TerritoryInfo& land = At(index);
    double kept = std::max(threat_[static_cast<size_t>(index)] - ignored, 0) * skill_.guard;
    if (land.fortified != 0)
        kept /= kCampaignRules.fortifiedDefencePercent / 100.0;
    int32_t garrison = static_cast<int32_t>(std::ceil(kept)) - std::max(land.reserve, 0);
    if (Capital(index))
        garrison = std::max(garrison, skill_.capitalGarrison);
    if (InContinent(index, view_.objective))
        garrison = std::max(garrison, kColoniseTroops - std::max(land.reserve, 0));
    if (keep_[static_cast<size_t>(index)])
        garrison = land.army;
    return std::clamp(garrison, 0, std::max(land.army, 0));
}

void Planner::FindGoals() {
    const int objective = view_.objective;
    if (objective == ColoniseAsia || objective == ColoniseAmericas) {
        for (int i = 0; i < TerritoryCount; ++i)
            goal_[static_cast<size_t>(i)] = InContinent(i, objective) && !Mine(i);
    } else if (objective == WorldSupremacy) {
        std::array<int32_t, ContinentCount> richest{};
        for (int i = 0; i < TerritoryCount; ++i) {
            const auto c = static_cast<size_t>(ContinentOf(i));
            if (!Capital(i))
                richest[c] = std::max(richest[c], At(i).wealth);
            if (!Mine(i))
                rivalArmy_[c] = std::max(rivalArmy_[c], At(i).army);
        }
        std::array<bool, ContinentCount> held{};
        for (int i = 0; i < TerritoryCount; ++i) {
            const auto c = static_cast<size_t>(ContinentOf(i));
            if (Mine(i) && !Capital(i) && At(i).wealth == richest[c] && !held[c]) {
                held[c] = true;
                keep_[static_cast<size_t>(i)] = true;
            }
        }
        for (int i = 0; i < TerritoryCount; ++i) {
            const auto c = static_cast<size_t>(ContinentOf(i));
            goal_[static_cast<size_t>(i)] =
                !held[c] && !Capital(i) && At(i).wealth == richest[c] && !Mine(i);
        }
    } else if (objective == WorldConquest) {
        for (int i = 0; i < TerritoryCount; ++i)
            goal_[static_cast<size_t>(i)] = At(i).owner >= 0 && !Mine(i);
    }
}

void Planner::Distances() {
    distance_.fill(kFar);
    std::vector<int> queue;
    for (int i = 0; i < TerritoryCount; ++i) {
        if (goal_[static_cast<size_t>(i)]) {
            distance_[static_cast<size_t>(i)] = 0;
            queue.push_back(i);
        }
    }
    for (size_t head = 0; head < queue.size(); ++head) {
        const int at = queue[head];
        const NeighbourList& list = neighbours_[static_cast<size_t>(at)];
        for (int k = 0; k < list.count; ++k) {
            const auto next = static_cast<size_t>(list.index[static_cast<size_t>(k)]);
            if (distance_[next] == kFar) {
                distance_[next] = distance_[static_cast<size_t>(at)] + 1;
                queue.push_back(static_cast<int>(next));
            }
        }
    }
}

void Planner::Threats() {
    for (int i : owned_) {
        const NeighbourList& list = neighbours_[static_cast<size_t>(i)];
        int32_t threat = 0;
        for (int k = 0; k < list.count; ++k) {
            const TerritoryInfo& next = At(list.index[static_cast<size_t>(k)]);
            if (next.owner >= 0 && next.owner != me_)
                threat = std::max(threat, next.army);
        }
        threat_[static_cast<size_t>(i)] = threat;
    }
}

double Planner::ValueOf(int target) const {
    const TerritoryInfo& land = At(target);
    const int objective = view_.objective;
    double value = 1.0 + land.wealth / 100000.0;
    const int distance = distance_[static_cast<size_t>(target)];
    switch (objective) {
        case ColoniseAsia:
        case ColoniseAmericas:
        case WorldSupremacy:
            if (distance < kFar)
                value += (objective == WorldSupremacy ? 8.0 : 5.0) / (1.0 + distance);
            break;
        case WorldConquest:
            // A nation close to its end is the first to finish.
            if (land.owner >= 0) {
                int held = 0;
                for (const TerritoryInfo& entry : table_)
                    held += entry.owner == land.owner ? 1 : 0;
                value += 2.0 + 6.0 / held;
            }
            break;
        default:
            value = 1.0;  // the swift conquest counts territories, whatever they are worth
            break;
    }
    // Whatever the objective, a rival down to its last territories is worth finishing: the
    // last nation standing wins too.
    if (objective != WorldConquest && land.owner >= 0) {
        int held = 0;
        for (const TerritoryInfo& entry : table_)
            held += entry.owner == land.owner ? 1 : 0;
        if (held <= kLastTerritories)
            value += 4.0 / held;
    }
    return value;
}

std::array<int32_t, TerritoryCount> Planner::Spare() const {
    std::array<int32_t, TerritoryCount> spare{};
    for (int i : owned_)
        spare[static_cast<size_t>(i)] = std::max(At(i).army, 0) - Garrison(i);
    return spare;
}

std::array<int32_t, TerritoryCount> Planner::Harbours() const {
    std::array<int32_t, TerritoryCount> boats{};
    for (int i : owned_)
        boats[static_cast<size_t>(i)] = std::max(At(i).ownerOnlyA, 0);
    return boats;
}

std::vector<Planner::Attack> Planner::Candidates(
    const std::array<int32_t, TerritoryCount>& spare,
    const std::array<int32_t, TerritoryCount>& boats) const {
    std::array<bool, TerritoryCount> byLand{};
    bool afloat = false;
    for (int i : owned_) {
        if (boats[static_cast<size_t>(i)] > 0 && spare[static_cast<size_t>(i)] > 0)
            afloat = true;
        const NeighbourList& list = neighbours_[static_cast<size_t>(i)];
        for (int k = 0; k < list.count; ++k) {
            const int next = list.index[static_cast<size_t>(k)];
            if (!Mine(next))
                byLand[static_cast<size_t>(next)] = true;
        }
    }
    std::vector<Attack> attacks;
    for (int t = 0; t < TerritoryCount; ++t) {
        if (Mine(t))
            continue;
        const bool landing = !byLand[static_cast<size_t>(t)] && afloat && Coastal(t);
        if (!byLand[static_cast<size_t>(t)] && !landing)
            continue;
        Attack attack;
        attack.target = t;
        attack.need = NeedToTake(t);
        if (InContinent(t, view_.objective))
            attack.need += kColoniseTroops;  // so that enough stay to hold it
        attack.value = ValueOf(t) * (landing ? 0.8 : 1.0);
        attack.enemy = At(t).owner >= 0 && !landing;
        // The easy level weighs its targets by eye.
        if (!skill_.exactOdds)
            attack.value *= 0.8 + random_.Next(41) / 100.0;
        attacks.push_back(attack);
    }
    std::stable_sort(attacks.begin(), attacks.end(), [](const Attack& a, const Attack& b) {
        return a.value / (a.need + 3) > b.value / (b.need + 3);
    });
    if (attacks.size() > static_cast<size_t>(skill_.candidates))
        attacks.resize(static_cast<size_t>(skill_.candidates));
    return attacks;
}

Planner::Plan Planner::Allocate(const std::vector<Attack>& order,
                                std::array<int32_t, TerritoryCount> spare,
                                std::array<int32_t, TerritoryCount> boats) const {
    Plan plan;
    std::array<int32_t, TerritoryCount> left{};
    for (int i : owned_)
        left[static_cast<size_t>(i)] = std::max(At(i).army, 0);
    // First the attacks that should win, then, with what is left, those that wear an enemy
    // down: a lost battle still costs the defender about as many troops as the attacker.
    for (int pass = 0; pass < (skill_.wear > 0 ? 2 : 1); ++pass) {
        for (const Attack& attack : order) {
            if (std::find(plan.taken.begin(), plan.taken.end(), attack.target) !=
                plan.taken.end()) {
                continue;
            }
            if (pass == 1 && !attack.enemy)
                continue;
            struct Source {
                int from;
                int32_t troops;
                bool sea;
            };
            std::vector<Source> sources;
            int64_t total = 0;
            const NeighbourList& list = neighbours_[static_cast<size_t>(attack.target)];
            const int32_t facing = attack.enemy ? std::max(At(attack.target).army, 0) : 0;
            for (int k = 0; k < list.count; ++k) {
                const int from = list.index[static_cast<size_t>(k)];
                if (!Mine(from))
                    continue;
                const auto f = static_cast<size_t>(from);
                // The troops kept against this very target may go and fight it.
                const int32_t relief = Garrison(from) - Garrison(from, facing);
                const int32_t troops = std::min(left[f], spare[f] + relief);
                if (troops > 0) {
                    sources.push_back({from, troops, false});
                    total += troops;
                }
            }
            if (total < attack.need && Coastal(attack.target) && pass == 0) {
                for (int from : owned_) {
                    const auto f = static_cast<size_t>(from);
                    if (!Coastal(from) || boats[f] <= 0 || spare[f] <= 0 || from == attack.target) {
                        continue;
                    }
                    if (std::find(list.index.begin(), list.index.begin() + list.count, from) !=
                        list.index.begin() + list.count) {
                        continue;
                    }
                    const int32_t carried = static_cast<int32_t>(
                        std::min<int64_t>(spare[f], int64_t{boats[f]} * BoatLoad()));
                    sources.push_back({from, carried, true});
                    total += carried;
                }
            }
            int32_t missing = attack.need;
            if (total < attack.need) {
                if (pass == 0 || total < attack.need * WearShare(attack.target) || total < 20)
                    continue;
                missing = static_cast<int32_t>(total);
            }
            std::stable_sort(sources.begin(), sources.end(),
                             [](const Source& a, const Source& b) { return a.troops > b.troops; });
            for (const Source& source : sources) {
                if (missing <= 0)
                    break;
                const auto f = static_cast<size_t>(source.from);
                int32_t sent = std::min(source.troops, missing);
                if (source.sea) {
                    sent = std::min<int32_t>(sent, boats[f] * BoatLoad());
                    boats[f] -= (sent + BoatLoad() - 1) / BoatLoad();
                }
                if (sent <= 0)
                    continue;
                spare[f] = std::max(spare[f] - sent, 0);
                left[f] -= sent;
                missing -= sent;
                plan.orders.push_back({OrderKind::Move, static_cast<uint8_t>(source.from),
                                       static_cast<uint8_t>(attack.target), sent});
            }
            if (pass == 0) {
                plan.taken.push_back(attack.target);
                plan.value += attack.value;
            } else {
                plan.value += attack.value * static_cast<double>(total) / attack.need / 2;
            }
        }
    }
    return plan;
}

Planner::Plan Planner::BestPlan(const std::array<int32_t, TerritoryCount>& spare,
                                const std::array<int32_t, TerritoryCount>& boats,
                                bool countOnly) const {
    std::vector<Attack> attacks = Candidates(spare, boats);
    Plan best = Allocate(attacks, spare, boats);
    const auto better = [&](const Plan& a, const Plan& b) {
        if (countOnly)
            return a.taken.size() > b.taken.size();
        return a.value > b.value + 1e-9;
    };
    // Other orderings of the same targets: the cheapest first, the most valuable first, then
    // the weighed order with its first choice left out.
    for (int variant = 1; variant < skill_.plans; ++variant) {
        std::vector<Attack> order = attacks;
        if (variant == 1) {
            std::stable_sort(order.begin(), order.end(),
                             [](const Attack& a, const Attack& b) { return a.need < b.need; });
        } else if (variant == 2) {
            std::stable_sort(order.begin(), order.end(),
                             [](const Attack& a, const Attack& b) { return a.value > b.value; });
        } else if (!order.empty()) {
            order.erase(order.begin());
        }
        Plan plan = Allocate(order, spare, boats);
        if (better(plan, best))
            best = std::move(plan);
    }
    return best;
}

bool Planner::NeedsTheSea() const {
    // Nothing left to take by land, or a part of the objective on land no territory of this
    // nation touches.
    bool landTarget = false;
    std::array<bool, TerritoryCount> reached{};
    for (int i : owned_) {
        const NeighbourList& list = neighbours_[static_cast<size_t>(i)];
        for (int k = 0; k < list.count; ++k)
            landTarget = landTarget || !Mine(list.index[static_cast<size_t>(k)]);
        reached[static_cast<size_t>(LandMassOf(i))] = true;
    }
    if (!landTarget)
        return true;
    // The easy level looks no further than the objective's nearest part: it sails only once
    // none of it is left by land.
    bool anyGoal = false;
    bool goalByLand = false;
    for (int i = 0; i < TerritoryCount; ++i) {
        const bool goal = goal_[static_cast<size_t>(i)];
        const bool byLand = reached[static_cast<size_t>(LandMassOf(i))];
        if (goal && !byLand && skill_.exactOdds)
            return true;
        anyGoal = anyGoal || goal;
        goalByLand = goalByLand || (goal && byLand);
    }
    return anyGoal && !goalByLand;
}

int Planner::BestHarbour() const {
    int best = -1;
    for (int i : owned_) {
        if (!Coastal(i))
            continue;
        if (best < 0 || At(i).army > At(best).army)
            best = i;
    }
    return best;
}

std::vector<Order> Planner::Purchases() {
    std::vector<Order> orders;
    int64_t money = treasury_;
    const auto recruit = [&](int at, int32_t n) {
        n = std::min(n, TroopsFor(money));
        if (n <= 0)
            return;
        orders.push_back({OrderKind::Recruit, static_cast<uint8_t>(at), 0, n});
        money -= RecruitPrice(n);
    };
    // True once the territory has its walls, now or from before.
    const auto fortify = [&](int at) {
        if (At(at).fortified != 0)
            return true;
        if (FortifyPrice() > money)
            return false;
        orders.push_back({OrderKind::Fortify, static_cast<uint8_t>(at), 0, 0});
        money -= FortifyPrice();
        return true;
    };
    const auto improve = [&](int at) {
        const int32_t price = At(at).wealth / std::max(kCampaignRules.improveDivisor, 1);
        if (At(at).improved != 0 || Capital(at) || price > money)
            return;
        orders.push_back({OrderKind::Improve, static_cast<uint8_t>(at), 0, 0});
        money -= price;
    };

    // 1. The threatened borders, the capital first.
    std::vector<int> threatened;
    for (int i : owned_) {
        if (threat_[static_cast<size_t>(i)] > 0)
            threatened.push_back(i);
    }
    std::stable_sort(threatened.begin(), threatened.end(), [&](int a, int b) {
        if (Capital(a) != Capital(b))
            return Capital(a);
        return At(a).wealth > At(b).wealth;
    });
    const int64_t defenceBudget = money * (skill_.guard >= 1.0 ? 3 : 2) / 4;
    const int64_t keepAfterDefence = money - defenceBudget;
    for (int i : threatened) {
        const TerritoryInfo& land = At(i);
        const double enemy = threat_[static_cast<size_t>(i)] * skill_.guard * 1.1;
        // A capital worth walls gets them when its troops no longer suffice.
        const bool walls = land.fortified != 0 ||
                           (Capital(i) && enemy > Troops(land) && Troops(land) > 30 && fortify(i));
        double strength = walls ? kCampaignRules.fortifiedDefencePercent / 100.0 : 1.0;
        if (Capital(i))
            strength *= kCampaignRules.capitalDefencePercent / 100.0;
        const double held = Troops(land) * strength;
        if (enemy > held && money > keepAfterDefence) {
            const auto deficit = static_cast<int32_t>(std::ceil((enemy - held) / strength));
            const int32_t affordable = TroopsFor(money - keepAfterDefence);
            recruit(i, std::min(deficit, affordable));
        }
    }

    // 2. What the objective asks to hold.
    if (view_.objective == ColoniseAsia || view_.objective == ColoniseAmericas) {
        for (int i : owned_) {
            if (InContinent(i, view_.objective) && Troops(At(i)) < kColoniseTroops)
                recruit(i, kColoniseTroops - Troops(At(i)));
        }
    }
    if (view_.objective == WorldSupremacy) {
        for (int i : owned_) {
            if (!keep_[static_cast<size_t>(i)])
                continue;
            const auto c = static_cast<size_t>(ContinentOf(i));
            fortify(i);
            const int32_t wanted = rivalArmy_[c] + 1 + rivalArmy_[c] / 10 + 5;
            if (Troops(At(i)) < wanted)
                recruit(i, wanted - Troops(At(i)));
            improve(i);
        }
    }

    // 3. Boats where the sea is the only way.
    if (NeedsTheSea()) {
        const int harbour = BestHarbour();
        if (harbour >= 0) {
            const int32_t troops = std::max(At(harbour).army, 1);
            const int32_t wanted = (troops + BoatLoad() - 1) / BoatLoad();
            const int32_t have = std::max(At(harbour).ownerOnlyA, 0);
            int32_t built = wanted - have;
            if (BoatPrice(built) > money) {
                built = BoatPrice(1) > 0
                            ? static_cast<int32_t>(std::min<int64_t>(money / BoatPrice(1), built))
                            : 0;
            }
            if (built > 0 && BoatPrice(built) <= money) {
                orders.push_back({OrderKind::Boats, static_cast<uint8_t>(harbour), 0, built});
                money -= BoatPrice(built);
            }
        }
    }

    // 4. Investments while nothing threatens.
    if (skill_.improves && threatened.empty() && view_.objective != SwiftConquest) {
        std::vector<int> rich = owned_;
        std::stable_sort(rich.begin(), rich.end(),
                         [&](int a, int b) { return At(a).wealth > At(b).wealth; });
        for (int i : rich) {
            const int32_t price = At(i).wealth / std::max(kCampaignRules.improveDivisor, 1);
            if (money > 3 * int64_t{price})
                improve(i);
        }
    }

    // 5. Troops where next year's attacks start: the territories next to the targets this
    // year's army cannot take.
    std::array<int32_t, TerritoryCount> spare = Spare();
    const std::array<int32_t, TerritoryCount> boats = Harbours();
    const Plan now = BestPlan(spare, boats, view_.objective == SwiftConquest);
    for (const Order& order : now.orders)
        spare[order.from] -= order.amount;
    std::vector<Attack> later = Candidates(spare, boats);
    for (const Attack& attack : later) {
        if (money <= 0)
            break;
        if (std::find(now.taken.begin(), now.taken.end(), attack.target) != now.taken.end())
            continue;
        int best = -1;
        int32_t around = 0;
        const NeighbourList& list = neighbours_[static_cast<size_t>(attack.target)];
        for (int k = 0; k < list.count; ++k) {
            const int from = list.index[static_cast<size_t>(k)];
            if (!Mine(from))
                continue;
            around += std::max(spare[static_cast<size_t>(from)], 0);
            if (best < 0 || spare[static_cast<size_t>(from)] > spare[static_cast<size_t>(best)])
                best = from;
        }
        if (best < 0) {
            best = BestHarbour();
            if (best < 0)
                continue;
        }
        const int32_t deficit = attack.need - around;
        if (deficit > 0) {
            const int32_t n = std::min(deficit, TroopsFor(money));
            recruit(best, n);
            spare[static_cast<size_t>(best)] += n;
        }
    }
    // What is left joins the border that faces the best target, or the capital.
    if (money > 0 && !owned_.empty()) {
        int at = -1;
        if (!later.empty()) {
            const NeighbourList& list = neighbours_[static_cast<size_t>(later.front().target)];
            for (int k = 0; k < list.count && at < 0; ++k) {
                if (Mine(list.index[static_cast<size_t>(k)]))
                    at = list.index[static_cast<size_t>(k)];
            }
        }
        if (at < 0)
            at = BestHarbour();
        if (at < 0)
            at = owned_.front();
        // The careful levels keep a spy's price for the espionage.
        const int64_t kept = SpiesThisYear(money) ? SpyPrice() : 0;
        recruit(at, TroopsFor(money - kept));
    }
    return orders;
}

std::vector<Order> Planner::Moves() {
    std::array<int32_t, TerritoryCount> spare = Spare();
    const std::array<int32_t, TerritoryCount> boats = Harbours();
    std::vector<Order> orders;
    const bool swift = view_.objective == SwiftConquest;
    Plan plan = BestPlan(spare, boats, swift);
    bool attack = true;
    if (swift && skill_.saveYears > 0 && plan.taken.size() < static_cast<size_t>(kSwiftCount)) {
        // Saving for the one great year: hold back while enough cheap targets lie next door
        // and the income of a few years would pay for what is missing.
        std::vector<Attack> all = Candidates(spare, boats);
        if (all.size() >= static_cast<size_t>(kSwiftCount)) {
            std::vector<int32_t> needs;
            for (const Attack& a : all)
                needs.push_back(a.need);
            std::sort(needs.begin(), needs.end());
            const int64_t wanted = std::accumulate(needs.begin(), needs.begin() + kSwiftCount, 0ll);
            int64_t have = 0;
            for (int i : owned_)
                have += std::max(spare[static_cast<size_t>(i)], 0);
            const int32_t income = state_.ledger.values[Income][static_cast<size_t>(me_)];
            const int64_t coming = int64_t{TroopsFor(std::max(income, 0))} * skill_.saveYears;
            // Saving only helps while the troops are short; when they are there but stand in
            // the wrong places, growing the border does more.
            attack = have >= wanted || wanted > have + coming;
        }
    }
    if (attack) {
        for (const Order& order : plan.orders) {
            spare[order.from] = std::max(spare[order.from] - order.amount, 0);
            orders.push_back(order);
        }
        // The idle troops next to a territory about to fall follow the attack: a battle costs
        // the attackers about the defence's strength however many they are, and the survivors
        // carry the border on next year.
        for (int i : owned_) {
            const auto f = static_cast<size_t>(i);
            const auto idle = static_cast<int32_t>(spare[f] * skill_.follow);
            if (idle <= 0)
                continue;
            const NeighbourList& list = neighbours_[f];
            int best = -1;
            for (int k = 0; k < list.count; ++k) {
                const int next = list.index[static_cast<size_t>(k)];
                if (std::find(plan.taken.begin(), plan.taken.end(), next) == plan.taken.end())
                    continue;
                if (best < 0 ||
                    distance_[static_cast<size_t>(next)] < distance_[static_cast<size_t>(best)] ||
                    (distance_[static_cast<size_t>(next)] == distance_[static_cast<size_t>(best)] &&
                     At(next).wealth > At(best).wealth)) {
                    best = next;
                }
            }
            if (best >= 0) {
                orders.push_back(
                    {OrderKind::Move, static_cast<uint8_t>(i), static_cast<uint8_t>(best), idle});
                spare[f] -= idle;
            }
        }
    }
    // The troops no attack needs walk towards the nearest border (or the objective).
    std::array<int, TerritoryCount> steps{};
    steps.fill(kFar);
    std::vector<int> queue;
    for (int i : owned_) {
        const NeighbourList& list = neighbours_[static_cast<size_t>(i)];
        bool border = false;
        for (int k = 0; k < list.count; ++k)
            border = border || !Mine(list.index[static_cast<size_t>(k)]);
        if (border) {
            steps[static_cast<size_t>(i)] = 0;
            queue.push_back(i);
        }
    }
    for (size_t head = 0; head < queue.size(); ++head) {
        const int at = queue[head];
        const NeighbourList& list = neighbours_[static_cast<size_t>(at)];
        for (int k = 0; k < list.count; ++k) {
            const int next = list.index[static_cast<size_t>(k)];
            if (Mine(next) && steps[static_cast<size_t>(next)] == kFar) {
                steps[static_cast<size_t>(next)] = steps[static_cast<size_t>(at)] + 1;
                queue.push_back(next);
            }
        }
    }
    for (int i : owned_) {
        const auto f = static_cast<size_t>(i);
        if (steps[f] == 0 || steps[f] == kFar || spare[f] <= 0)
            continue;
        const NeighbourList& list = neighbours_[f];
        int best = -1;
        for (int k = 0; k < list.count; ++k) {
            const int next = list.index[static_cast<size_t>(k)];
            if (!Mine(next) || steps[static_cast<size_t>(next)] >= steps[f])
                continue;
            if (best < 0 ||
                distance_[static_cast<size_t>(next)] < distance_[static_cast<size_t>(best)])
                best = next;
        }
        if (best >= 0) {
            orders.push_back(
                {OrderKind::Move, static_cast<uint8_t>(i), static_cast<uint8_t>(best), spare[f]});
            spare[f] = 0;
        }
    }
    return orders;
}

std::vector<Order> Planner::Spies() {
    std::vector<Order> orders;
    if (!government_ || !SpiesThisYear(treasury_))
        return orders;
    // The nations before this one spy first and may steal from it: the spy must still be paid
    // for after all of them have.
    int64_t after = treasury_;
    for (int nation = 0; nation < me_; ++nation) {
        if (OwnsTerritory(table_, nation) &&
            GovernmentAt((*view_.governments)[static_cast<size_t>(nation)]))
            after -= after * kCampaignRules.theftPercent / 100 + 1;
    }
    if (after < SpyPrice())
        return orders;
    // The candidates: the richest rival's treasury, the weakest and the strongest of the
    // rivals' territories next door.
    int richest = -1;
    for (int nation = 0; nation < NationCount; ++nation) {
        if (nation == me_ || !OwnsTerritory(table_, nation))
            continue;
        const int32_t money = state_.ledger.values[Treasury][static_cast<size_t>(nation)];
        if (richest < 0 || money > state_.ledger.values[Treasury][static_cast<size_t>(richest)])
            richest = nation;
    }
    if (richest < 0)
        return orders;
    const int64_t loot = int64_t{state_.ledger.values[Treasury][static_cast<size_t>(richest)]} *
                         kCampaignRules.theftPercent / 100;
    int weakest = -1;
    int strongest = -1;
    for (int i : owned_) {
        const NeighbourList& list = neighbours_[static_cast<size_t>(i)];
        for (int k = 0; k < list.count; ++k) {
            const int next = list.index[static_cast<size_t>(k)];
            const TerritoryInfo& land = At(next);
            if (land.owner < 0 || land.owner == me_)
                continue;
            if (!Capital(next) && Troops(land) < kCampaignRules.propagandaTroops &&
                (weakest < 0 || Troops(land) < Troops(At(weakest))))
                weakest = next;
            if (strongest < 0 || Troops(land) > Troops(At(strongest)))
                strongest = next;
        }
    }
    // What each mission is worth, in troops: half the revolting garrison and the territory
    // itself, the stolen money (lost by the rival too), a quarter of the strongest army next
    // door or a third of its strength when it sits behind walls. The easy level goes by habit:
    // propaganda when it can, theft when it pays back the spy, sabotage otherwise.
    const double troopPrice = std::max(1.0, static_cast<double>(RecruitPrice(1000)) / 1000.0);
    const double propaganda =
        government_->propaganda != 0 && weakest >= 0 ? Troops(At(weakest)) / 2.0 + 10.0 : -1.0;
    const double theft = 1.5 * static_cast<double>(loot) / troopPrice;
    double sabotage = -1.0;
    if (strongest >= 0) {
        const TerritoryInfo& land = At(strongest);
        sabotage = land.fortified != 0 ? Troops(land) / 3.0 : std::max(land.army, 0) / 4.0;
    }
    Mission mission = Mission::Sabotage;
    if (!skill_.exactOdds) {
        mission = propaganda >= 0 ? Mission::Propaganda
                                  : (loot >= SpyPrice() / 2 || strongest < 0 ? Mission::Theft
                                                                             : Mission::Sabotage);
    } else if (propaganda >= theft && propaganda >= sabotage) {
        mission = Mission::Propaganda;
    } else if (theft >= sabotage) {
        mission = Mission::Theft;
    }
    if (mission == Mission::Propaganda) {
        orders.push_back({OrderKind::Spy, 0, static_cast<uint8_t>(weakest),
                          static_cast<int32_t>(Mission::Propaganda)});
    } else if (mission == Mission::Theft) {
        for (int i = 0; i < TerritoryCount; ++i) {
            if (At(i).owner == richest) {
                orders.push_back({OrderKind::Spy, 0, static_cast<uint8_t>(i),
                                  static_cast<int32_t>(Mission::Theft)});
                break;
            }
        }
    } else {
        orders.push_back({OrderKind::Spy, 0, static_cast<uint8_t>(strongest),
                          static_cast<int32_t>(Mission::Sabotage)});
    }
    return orders;
}

}  // namespace

const char* LevelName(ComputerLevel level) {
    switch (level) {
        case ComputerLevel::Easy:
            return "facile";
        case ComputerLevel::Hard:
            return "difficile";
        default:
            return "moyen";
    }
}

bool ParseLevel(std::string_view text, ComputerLevel& level) {
    for (ComputerLevel candidate :
         {ComputerLevel::Easy, ComputerLevel::Medium, ComputerLevel::Hard}) {
        if (text == LevelName(candidate)) {
            level = candidate;
            return true;
        }
    }
    return false;
}

ComputerPlayer::ComputerPlayer(ComputerLevel level, uint64_t seed) : level_(level), seed_(seed) {}

bool ComputerPlayer::Decide(const TurnView& view, std::vector<Order>& orders) {
    orders.clear();
    if (!TakesOrders(view.step))
        return true;
    if (!view.state || !view.governments || view.nation < 0 || view.nation >= NationCount ||
        !GovernmentAt(view.government) || !OwnsTerritory(view.state->table, view.nation)) {
        return true;
    }
    const Skill& skill = kSkills[std::min<size_t>(static_cast<size_t>(level_), 2)];
    // The chances of this decision come from the seed and the decision alone.
    const uint64_t decision =
        (static_cast<uint64_t>(view.status) << 8 | static_cast<uint8_t>(view.nation)) + 1;
    RandomGenerator random(seed_ ^ decision * 0x9E3779B97F4A7C15ull);
    Planner planner(view, skill, random);
    switch (view.step) {
        case CampaignStep::Purchases:
            orders = planner.Purchases();
            break;
        case CampaignStep::Moves:
            orders = planner.Moves();
            break;
        default:
            orders = planner.Spies();
            break;
    }
    if (orders.size() > kMaxOrders)
        orders.resize(kMaxOrders);
    // Only what the rules accept leaves: a refused order changes nothing for the others, so
    // dropping it leaves the rest as they were checked.
    for (int pass = 0; pass < 4; ++pass) {
        const std::vector<Refusal> refusals =
            CheckOrders(*view.state, *view.governments, view.nation, view.step, orders);
        std::vector<Order> kept;
        for (size_t i = 0; i < orders.size(); ++i) {
            if (refusals[i] == Refusal::None)
                kept.push_back(orders[i]);
        }
        if (kept.size() == orders.size())
            break;
        orders = std::move(kept);
    }
    return true;
}

}  // namespace torvane
