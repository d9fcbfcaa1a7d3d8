// The campaign: the rules that carry a game from the deal, year after year, until a nation wins.
//
// Pure and deterministic: every function here works on a state and the orders of the nations,
// draws its chances from the generator it is given, and needs no engine. Only the host resolves;
// the players receive the results. No order is trusted: every index, amount and ownership is
// checked against the state, and an order that fails is dropped alone and reported.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "game/Directlog.h"
#include "network/Playerinfo.h"

namespace torvane {

class RandomGenerator;

// Every number of the campaign, in one place so that balance is tuned here.
struct CampaignRules {
    int32_t startingTreasury = 200000;
    // Income of a territory: wealth / incomeDivisor, x improvedIncomePercent / 100 when improved.
    int32_t incomeDivisor = 7;
    int32_t improvedIncomePercent = 150;
    // Prices, from the government's figures: recruiting n troops costs n x armyValue /
    // recruitDivisor, fortifying armyValue / fortifyDivisor, improving a territory its wealth /
    // improveDivisor, building n boats n x boatValue / boatDivisor.
    int32_t recruitDivisor = 100;
    int32_t fortifyDivisor = 2;
    int32_t improveDivisor = 2;
    int32_t boatDivisor = 10;
    int32_t troopsPerBoat = 100;
    // Battles, in percent of the troops: attack of an "Empire", defence of a fortified territory
    // and of a capital; each side's chance factor is drawn in per mille between the two bounds.
    int32_t empireAttackPercent = 93;
    int32_t fortifiedDefencePercent = 150;
    int32_t capitalDefencePercent = 125;
    int32_t chanceMinPerMille = 900;
    int32_t chanceMaxPerMille = 1100;
    // Spies: what a theft takes from the target's treasury, what a caught spy costs a government
    // with "Scandale", the share of the army a sabotage destroys (army / sabotageDivisor), the
    // troops below which a territory revolts under propaganda (army + reserve), and what is left
    // of its army after the revolt (army / revoltDivisor).
    int32_t theftPercent = 10;
    int32_t scandalPercent = 10;
    int32_t sabotageDivisor = 4;
    int32_t propagandaTroops = 50;
    int32_t revoltDivisor = 2;
    int32_t missionsPerYear = 1;
    // No territory holds more troops or boats, and no treasury more money, than this: sums stay
    // far from overflowing however long a game lasts.
    int32_t maxTroops = 1000000000;
    int32_t maxTreasury = 2000000000;
};
inline constexpr CampaignRules kCampaignRules{};

// The figures kept per nation (a CInfos record): row 0 the treasury, row 1 what the nation earned
// at the last "Recettes", row 2 the territories it took during the current year. Nations not in
// the game hold -1 everywhere.
enum LedgerRow : int { Treasury = 0, Income = 1, Conquests = 2 };

struct CampaignState {
    TerritoryTable table{};
    CInfos ledger;
    bool operator==(const CampaignState& other) const {
        return table == other.table && ledger.values == other.ledger.values;
    }
};

// The government of each nation in the game (0..2), -1 for a nation nobody plays.
using Governments = std::array<int8_t, NationCount>;

// What one status of the year asks of the players, from the status's place in the year.
enum class CampaignStep : uint8_t {
    None,          // not a status of a year (the start of the game)
    YearStart,     // r 0: the banner and the statistics panel; everybody closes them
    Income,        // r 2: nobody acts; the host credits the income at its end
    Purchases,     // r 4: orders
    PurchasesEnd,  // r 6: nobody acts
    Moves,         // r 8: orders
    MovesEnd,      // r 10: nobody acts
    WarReport,     // r 12: everybody reads the year's battles
    WarReportEnd,  // r 14: nobody acts
    Spies,         // r 16: orders (at most one mission)
    SpiesEnd,      // r 18: nobody acts
    Review,        // r 20: nobody acts; the host closes the year at its end
};
CampaignStep StepOf(uint32_t status);
// True for the steps in which the players give orders (Purchases, Moves, Spies).
bool TakesOrders(CampaignStep step);
// True for the steps in which a player acts before it is ready (orders, the year's panels, the
// war report); in the others everybody is ready at once.
bool PlayersAct(CampaignStep step);
// The name of the phase of the year shown to the players: "Nouvelle année", "Recettes",
// "Achats", "Mouvements", "Guerres", "Espionnage", "Bilan"; empty outside a year.
const char* PhaseName(uint32_t status);

enum class OrderKind : uint8_t {
    Recruit = 1,  // from: territory, amount: troops
    Fortify = 2,  // from: territory
    Improve = 3,  // from: territory
    Boats = 4,    // from: territory, amount: boats
    Move = 5,     // from -> to, amount: troops (an attack when `to` is not the nation's)
    Spy = 6,      // to: target territory, amount: the mission (Mission)
};
inline constexpr uint8_t kFirstOrderKind = 1;
inline constexpr uint8_t kLastOrderKind = 6;

enum class Mission : uint8_t { Sabotage = 0, Theft = 1, Propaganda = 2 };
inline constexpr int32_t kMissionCount = 3;

struct Order {
    OrderKind kind = OrderKind::Recruit;
    uint8_t from = 0;
    uint8_t to = 0;
    int32_t amount = 0;
    bool operator==(const Order&) const = default;
};
// What one orders message may carry.
inline constexpr size_t kMaxOrders = 128;

// Why an order was dropped; None when it was carried out.
enum class Refusal : uint8_t {
    None = 0,
    WrongStep,      // not an order of this step
    NoTerritory,    // an index outside the world
    NotOwned,       // the territory is not the nation's
    NotAffordable,  // the treasury cannot pay
    AlreadyDone,    // already fortified / improved
    Capital,        // capitals are not improved, nor roused by propaganda
    NotCoastal,     // boats and landings need the sea
    BadAmount,      // amount below 1, above the troops left, or not a mission
    NotReachable,   // neither a land neighbour nor reachable by sea
    NoBoats,        // not enough boats in the harbour to carry the troops
    NotForeign,     // a spy's target must belong to another nation
    NoPropaganda,   // the government has not the "Propagande" ability
    MissionSpent,   // one mission per nation per year
    TooManyTroops,  // propaganda needs fewer troops on the target
    NotInGame,      // the nation has no government, or no territory left
};
inline constexpr uint8_t kLastRefusal = static_cast<uint8_t>(Refusal::NotInGame);

struct Battle {
    int8_t attacker = -1;
    int8_t defender = -1;  // -1: nobody's territory
    uint8_t territory = 0;
    bool taken = false;
    bool bySea = false;
    int32_t troops = 0;     // attacking troops
    int32_t defenders = 0;  // army + reserve of the territory when attacked
    int32_t survivors = 0;  // the winner's troops left in the territory
    bool operator==(const Battle&) const = default;
};

struct MissionResult {
    int8_t spy = -1;     // the spying nation
    int8_t target = -1;  // the nation that owned the target territory
    uint8_t territory = 0;
    Mission mission = Mission::Sabotage;
    bool success = false;
    bool caught = false;
    bool named = false;  // the target shot the spy and names the spying nation
    int32_t amount = 0;  // money stolen, or troops the sabotage or the revolt cost
    bool operator==(const MissionResult&) const = default;
};

// What one resolution did: its battles, its missions, and for every nation the fate of each of
// its orders in their order (Refusal::None for carried out).
struct PhaseReport {
    uint32_t status = 0;  // the status whose orders were resolved
    std::vector<Battle> battles;
    std::vector<MissionResult> missions;
    std::array<std::vector<Refusal>, NationCount> refusals;
    bool operator==(const PhaseReport&) const = default;
};

using NationOrders = std::array<std::vector<Order>, NationCount>;

// The state at the start of the campaign: the dealt table, every nation in the game with the
// starting treasury, the others -1.
CampaignState StartCampaign(const TerritoryTable& deal, const Governments& governments,
                            const CampaignRules& rules = kCampaignRules);

// True while the nation owns at least one territory.
bool OwnsTerritory(const TerritoryTable& table, int nation);
// The nations (bit n = nation n) in the game that still own territory.
uint8_t LivingNations(const CampaignState& state, const Governments& governments);

// What each order of `orders` would meet if `nation` gave them, in this order, in `step`: the
// running cost, the troops and boats taken and the one mission are counted across the list. The
// board explains refused orders before they are sent; the resolution uses the same checks.
std::vector<Refusal> CheckOrders(const CampaignState& state, const Governments& governments,
                                 int nation, CampaignStep step, std::span<const Order> orders,
                                 const CampaignRules& rules = kCampaignRules);

// What an order costs a nation under `government` on `table` (a move costs nothing; the
// order's other checks are CheckOrders').
int64_t OrderPrice(const Order& order, const TerritoryTable& table, const Government& government,
                   const CampaignRules& rules = kCampaignRules);

// Recettes: credits every living nation's income and starts its year's conquests at 0.
void ResolveIncome(CampaignState& state, const Governments& governments,
                   const CampaignRules& rules = kCampaignRules);
// Achats: applies each nation's purchases in order, nation 0 first.
PhaseReport ResolvePurchases(CampaignState& state, const Governments& governments,
                             const NationOrders& orders,
                             const CampaignRules& rules = kCampaignRules);
// Mouvements: every order's troops leave, moves arrive, then the battles are fought territory by
// territory (index order), attackers in descending order of troops.
PhaseReport ResolveMoves(CampaignState& state, const Governments& governments,
                         const NationOrders& orders, RandomGenerator& random,
                         const CampaignRules& rules = kCampaignRules);
// Espionnage: at most one mission per nation, nation 0 first.
PhaseReport ResolveMissions(CampaignState& state, const Governments& governments,
                            const NationOrders& orders, RandomGenerator& random,
                            const CampaignRules& rules = kCampaignRules);
// Bilan: every reserve joins its territory's army.
void CloseYear(CampaignState& state);

// The winners (bit n = nation n) once the year's table is the newest of `history`: every living
// nation whose objective is complete, or the last nation that still owns territory; 0 while the
// game goes on. `objectives` holds each nation's objective number (-1 for a nation not in the
// game).
uint8_t Winners(const DirectLog& history, const CampaignState& state,
                const Governments& governments, const std::array<int8_t, NationCount>& objectives);

}  // namespace torvane
