// The campaign rules: the steps of the year, income, purchases, moves and battles, spies, the
// year's end and the winners.
//
// Where chance must not matter, battles use constants that fix both chance factors at 1000 per
// mille. Where it does, the test replays the rules' draws, in their order, on a probe generator
// of the same seed, and picks (or checks) seeds from what the probe drew.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "campaign/Campaign.h"
#include "campaign/Gamerules.h"
#include "game/Directlog.h"
#include "game/Objectif.h"
#include "game/Random.h"
#include "support/CampaignOrders.h"

using namespace torvane;

namespace {

using enum Refusal;

constexpr int8_t kDem = 0;  // Démocratie: +10 %, no shooting on sight, scandal, propaganda
constexpr int8_t kEmp = 1;  // Empire: +5 %, shoots on sight, scandal, no propaganda
constexpr int8_t kCom = 2;  // Communisme: shoots on sight, propaganda, no scandal
constexpr int32_t kMax = kCampaignRules.maxTroops;

Governments Playing(std::initializer_list<int8_t> list) {
    Governments governments;
    governments.fill(-1);
    std::copy(list.begin(), list.end(), governments.begin());
    return governments;
}

// A world nobody owns: every territory worth 100000, without troops.
CampaignState World(const Governments& governments) {
    TerritoryTable table{};
    for (TerritoryInfo& entry : table)
        entry.wealth = 100000;
    return StartCampaign(table, governments);
}

TerritoryInfo& Give(CampaignState& state, int index, int nation, int32_t army, int32_t reserve = 0,
                    int32_t boats = 0) {
    TerritoryInfo& entry = state.table[static_cast<size_t>(index)];
    entry.owner = static_cast<int8_t>(nation);
    entry.army = army;
    entry.reserve = reserve;
    entry.ownerOnlyA = boats;
    return entry;
}

int32_t& Money(CampaignState& state, int nation) {
    return state.ledger.values[Treasury][static_cast<size_t>(nation)];
}

Order Recruit(int at, int32_t n) {
    return {OrderKind::Recruit, static_cast<uint8_t>(at), 0, n};
}
Order Fortify(int at) {
    return {OrderKind::Fortify, static_cast<uint8_t>(at), 0, 0};
}
Order Improve(int at) {
    return {OrderKind::Improve, static_cast<uint8_t>(at), 0, 0};
}
Order Boats(int at, int32_t n) {
    return {OrderKind::Boats, static_cast<uint8_t>(at), 0, n};
}
Order Move(int from, int to, int32_t n) {
    return {OrderKind::Move, static_cast<uint8_t>(from), static_cast<uint8_t>(to), n};
}
Order Spy(int target, int32_t mission) {
    return {OrderKind::Spy, 0, static_cast<uint8_t>(target), mission};
}
constexpr int32_t kSabotage = 0;
constexpr int32_t kTheft = 1;
constexpr int32_t kPropaganda = 2;

// An order with the refusal it must meet.
struct Listed {
    Order order;
    Refusal refusal;
};
std::vector<Order> OrdersOf(const std::vector<Listed>& list) {
    std::vector<Order> orders;
    for (const Listed& item : list)
        orders.push_back(item.order);
    return orders;
}
std::vector<Refusal> RefusalsOf(const std::vector<Listed>& list) {
    std::vector<Refusal> refusals;
    for (const Listed& item : list)
        refusals.push_back(item.refusal);
    return refusals;
}

NationOrders Only(int nation, std::vector<Order> orders) {
    NationOrders all;
    all[static_cast<size_t>(nation)] = std::move(orders);
    return all;
}

// Constants whose battles leave nothing to chance.
// The empire's attack is set here rather than taken from the table, so that the cases below
// keep an empire bonus to check whatever the balance makes of it.
CampaignRules FixedOdds() {
    CampaignRules rules;
    rules.chanceMinPerMille = 1000;
    rules.chanceMaxPerMille = 1000;
    rules.empireAttackPercent = 110;
    return rules;
}

PhaseReport Moves(CampaignState& state, const Governments& governments, const NationOrders& orders,
                  uint64_t seed = 5, const CampaignRules& rules = FixedOdds()) {
    RandomGenerator random(seed);
    return ResolveMoves(state, governments, orders, random, rules);
}

// The first seed whose first mission against a territory of government `guard` is caught, or
// not, as asked: the rules draw the guard's chance, then a roll below 100.
uint64_t MissionSeed(int guard, bool caught) {
    const Government* government = GovernmentAt(guard);
    for (uint64_t seed = 1; seed < 10000; ++seed) {
        RandomGenerator probe(seed);
        const int chance =
            probe.Between(government->counterEspionageMin, government->counterEspionageMax);
        if ((probe.Next(100) < chance) == caught)
            return seed;
    }
    ADD_FAILURE() << "no seed for guard " << guard;
    return 0;
}

PhaseReport Missions(CampaignState& state, const Governments& governments,
                     const NationOrders& orders, uint64_t seed) {
    RandomGenerator random(seed);
    return ResolveMissions(state, governments, orders, random);
}

}  // namespace

// ---- The year ----------------------------------------------------------------------------------

TEST(CampaignYear, StepsWhoActsAndPhaseNames) {
    struct Step {
        CampaignStep step;
        bool orders;
        bool act;
        const char* name;
    };
    const Step year[] = {
        {CampaignStep::YearStart, false, true,
         "Nouvelle ann\xE9"
         "e"},
        {CampaignStep::Income, false, false, "Recettes"},
        {CampaignStep::Purchases, true, true, "Achats"},
        {CampaignStep::PurchasesEnd, false, false, "Achats"},
        {CampaignStep::Moves, true, true, "Mouvements"},
        {CampaignStep::MovesEnd, false, false, "Mouvements"},
        {CampaignStep::WarReport, false, true, "Guerres"},
        {CampaignStep::WarReportEnd, false, false, "Guerres"},
        {CampaignStep::Spies, true, true, "Espionnage"},
        {CampaignStep::SpiesEnd, false, false, "Espionnage"},
        {CampaignStep::Review, false, false, "Bilan"},
    };
    for (uint32_t first : {4u, 26u, 4u + 22u * 37u}) {
        for (uint32_t i = 0; i < 11; ++i) {
            for (uint32_t status : {first + 2 * i, first + 2 * i + 1}) {  // the ready bit
                EXPECT_EQ(StepOf(status), year[i].step) << status;
                EXPECT_STREQ(PhaseName(status), year[i].name) << status;
            }
            EXPECT_EQ(TakesOrders(year[i].step), year[i].orders) << i;
            EXPECT_EQ(PlayersAct(year[i].step), year[i].act) << i;
        }
    }
    for (uint32_t status : {0u, 1u, 2u, 3u}) {
        EXPECT_EQ(StepOf(status), CampaignStep::None);
        EXPECT_STREQ(PhaseName(status), "");
    }
    EXPECT_FALSE(PlayersAct(CampaignStep::None));
    EXPECT_NE(StepOf(0xFFFFFFFFu), CampaignStep::None);
}

TEST(CampaignYear, StartGivesTheNationsInTheGameTheirTreasury) {
    RandomSeed(1870);
    const int8_t nations[] = {0, 3, 5};
    const TerritoryTable deal = DealMap(nations);
    const Governments governments = Playing({kEmp, -1, -1, kDem, -1, kCom});
    const CampaignState state = StartCampaign(deal, governments);
    EXPECT_EQ(state.table, deal);
    for (int nation = 0; nation < NationCount; ++nation) {
        const bool playing = nation == 0 || nation == 3 || nation == 5;
        EXPECT_EQ(state.ledger.values[Treasury][nation],
                  playing ? kCampaignRules.startingTreasury : -1)
            << nation;
        EXPECT_EQ(state.ledger.values[Income][nation], playing ? 0 : -1) << nation;
        EXPECT_EQ(state.ledger.values[Conquests][nation], playing ? 0 : -1) << nation;
    }
    EXPECT_EQ(LivingNations(state, governments), 0b101001);
    EXPECT_FALSE(OwnsTerritory(state.table, 1));
    EXPECT_FALSE(OwnsTerritory(state.table, -1));
    EXPECT_FALSE(OwnsTerritory(state.table, 8));
}

TEST(CampaignYear, IncomeFromWealthImprovementsCapitalsAndBonus) {
    // Each of nations 0..2 holds a capital, a territory of 100000 and an improved one of 55555
    // (with the table's divisor of 10: 30000 + 10000 + 5555 x 1.5 = 8332 rounded down, 48332
    // before its bonus).
    const Governments governments = Playing({kDem, kEmp, kCom, kDem});
    CampaignState state = World(governments);
    for (int nation = 0; nation < 3; ++nation) {
        Give(state, 10 * nation, nation, 5).wealth = kCapitalWealth;
        Give(state, 10 * nation + 1, nation, 0);
        TerritoryInfo& improved = Give(state, 10 * nation + 2, nation, 0);
        improved.wealth = 55555;
        improved.improved = 1;
        state.ledger.values[Conquests][nation] = 3;
    }
    // Nation 3 plays but has lost everything; nation 5 does not play.
    state.ledger.values[Income][3] = 777;
    ResolveIncome(state, governments);
    const int32_t divisor = kCampaignRules.incomeDivisor;
    const int64_t before = kCapitalWealth / divisor + 100000 / divisor +
                           55555 / divisor * kCampaignRules.improvedIncomePercent / 100;
    const int32_t bonus[] = {10, 5, 0};  // +10 %, +5 %, +0 %, rounded down
    for (int nation = 0; nation < 3; ++nation) {
        const auto expected = static_cast<int32_t>(before * (100 + bonus[nation]) / 100);
        EXPECT_EQ(state.ledger.values[Income][nation], expected);
        EXPECT_EQ(Money(state, nation), kCampaignRules.startingTreasury + expected);
        EXPECT_EQ(state.ledger.values[Conquests][nation], 0);
    }
    EXPECT_EQ(Money(state, 3), kCampaignRules.startingTreasury);
    EXPECT_EQ(state.ledger.values[Income][3], 0);
    EXPECT_EQ(state.ledger.values[Income][5], -1);

    // The treasury and the income row stop at their ceiling.
    for (int index = 0; index < TerritoryCount; ++index)
        Give(state, index, 0, 0).wealth = INT32_MAX;
    Money(state, 0) = kCampaignRules.maxTreasury - 5;
    ResolveIncome(state, governments);
    EXPECT_EQ(Money(state, 0), kCampaignRules.maxTreasury);
    EXPECT_EQ(state.ledger.values[Income][0], kCampaignRules.maxTreasury);
}

TEST(CampaignYear, ReservesJoinTheArmiesAtTheEnd) {
    CampaignState state = World(Playing({kDem}));
    Give(state, 1, 0, 10, 5);
    Give(state, 2, -1, 3, 4);
    Give(state, 3, 0, kMax - 1, kMax);
    CloseYear(state);
    EXPECT_EQ(state.table[1].army, 15);
    EXPECT_EQ(state.table[2].army, 7);
    EXPECT_EQ(state.table[3].army, kMax);
    for (const TerritoryInfo& entry : state.table)
        EXPECT_EQ(entry.reserve, 0);
}

// ---- Achats ------------------------------------------------------------------------------------

TEST(CampaignPurchases, PricesFollowTheGovernment) {
    struct Prices {
        int8_t government;
        int32_t recruitSeven, fortify, threeBoats;
    };
    for (const Prices& prices : {Prices{kDem, 7000, 50000, 12000}, Prices{kEmp, 5950, 42500, 9000},
                                 Prices{kCom, 6650, 47500, 11700}}) {
        const Governments governments = Playing({prices.government});
        CampaignState state = World(governments);
        Give(state, 2, 0, 10, 5, 1).wealth = 123457;
        Money(state, 0) = 500000;
        const auto orders = Only(0, {Recruit(2, 7), Fortify(2), Improve(2), Boats(2, 3)});
        const PhaseReport report = ResolvePurchases(state, governments, orders);
        EXPECT_EQ(report.refusals[0], std::vector<Refusal>(4, None));
        // Improving costs half the territory's wealth, whatever the government.
        EXPECT_EQ(Money(state, 0),
                  500000 - prices.recruitSeven - prices.fortify - 61728 - prices.threeBoats);
        TerritoryInfo expected = state.table[2];
        expected.army = 10;
        expected.reserve = 12;
        expected.fortified = expected.improved = 1;
        expected.ownerOnlyA = 4;
        EXPECT_EQ(state.table[2], expected);
    }
}

TEST(CampaignPurchases, RefusedOrdersAreDroppedAloneAndTheTreasuryRunsDown) {
    const Governments governments = Playing({kDem, kEmp});
    CampaignState state = World(governments);
    TerritoryInfo& coast = Give(state, 2, 0, 10);
    coast.fortified = coast.improved = 1;
    Give(state, 5, 0, 10);  // inland
    Give(state, 56, 0, 20, 5).wealth = kCapitalWealth;
    Give(state, 4, 1, 10);
    Money(state, 0) = 60000;
    const std::vector<Listed> list = {
        {Recruit(3, 1), NotOwned},  // nobody's
        {Recruit(4, 1), NotOwned},  // another nation's
        {Recruit(200, 1), NoTerritory},
        {Recruit(2, 0), BadAmount},
        {Recruit(2, -5), BadAmount},
        {Recruit(2, INT32_MAX), NotAffordable},  // and no overflow on the way
        {Fortify(2), AlreadyDone},
        {Improve(2), AlreadyDone},
        {Improve(56), Capital},
        {Boats(5, 1), NotCoastal},
        {Boats(2, 0), BadAmount},
        {Boats(255, 1), NoTerritory},
        {Move(2, 1, 1), WrongStep},
        {Spy(4, kTheft), WrongStep},
        {Order{OrderKind{0}, 2, 0, 1}, WrongStep},
        {Order{OrderKind{9}, 2, 0, 1}, WrongStep},
        {Fortify(5), None},  // 50000: 10000 left
        {Recruit(5, 11), NotAffordable},
        {Recruit(5, 10), None},  // nothing left
        {Boats(2, 1), NotAffordable},
    };
    const CampaignState before = state;
    EXPECT_EQ(CheckOrders(state, governments, 0, CampaignStep::Purchases, OrdersOf(list)),
              RefusalsOf(list));
    EXPECT_EQ(state, before);  // the preview changes nothing
    const PhaseReport report = ResolvePurchases(state, governments, Only(0, OrdersOf(list)));
    EXPECT_EQ(report.refusals[0], RefusalsOf(list));
    EXPECT_TRUE(report.refusals[1].empty());
    EXPECT_EQ(Money(state, 0), 0);
    EXPECT_EQ(state.table[5].fortified, 1);
    EXPECT_EQ(state.table[5].reserve, 10);
    for (int index : {2, 4, 56})
        EXPECT_EQ(state.table[index], before.table[index]);
}

TEST(CampaignPurchases, CeilingsOfReservesHarboursAndMessages) {
    const Governments governments = Playing({kEmp});
    CampaignState state = World(governments);
    Give(state, 2, 0, 0, kMax - 10, kMax - 1);
    Give(state, 3, 0, 0);
    Money(state, 0) = kCampaignRules.maxTreasury;
    auto orders = Only(0, {Recruit(2, 1000000), Boats(2, 1000), Boats(2, INT32_MAX)});
    EXPECT_EQ(ResolvePurchases(state, governments, orders).refusals[0],
              (std::vector<Refusal>{None, None, NotAffordable}));
    EXPECT_EQ(state.table[2].reserve, kMax);
    EXPECT_EQ(state.table[2].ownerOnlyA, kMax);
    EXPECT_EQ(Money(state, 0), kCampaignRules.maxTreasury - 850000000 - 3000000);

    // A list longer than one message has its extra orders refused.
    orders[0].assign(kMaxOrders + 2, Recruit(3, 1));
    std::vector<Refusal> expected(kMaxOrders, None);
    expected.insert(expected.end(), {BadAmount, BadAmount});
    EXPECT_EQ(CheckOrders(state, governments, 0, CampaignStep::Purchases, orders[0]), expected);
    EXPECT_EQ(ResolvePurchases(state, governments, orders).refusals[0], expected);
    EXPECT_EQ(state.table[3].reserve, static_cast<int32_t>(kMaxOrders));
}

TEST(CampaignPurchases, OnlyNationsInTheGameGiveOrdersAndOnlyInTheirStep) {
    // Nation 1 has no government yet owns a territory in this forged table; nation 2 plays but
    // has lost everything.
    const Governments governments = Playing({kDem, -1, kEmp});
    CampaignState state = World(governments);
    Give(state, 2, 0, 10);
    Give(state, 3, 1, 10);
    const std::vector<Order> orders = {Recruit(3, 1), Move(3, 2, 1), Spy(2, kTheft)};
    const std::vector<Refusal> out(orders.size(), NotInGame);
    for (CampaignStep step : {CampaignStep::Purchases, CampaignStep::Moves, CampaignStep::Spies,
                              CampaignStep::Review}) {
        for (int nation : {1, 2, -1, 8})
            EXPECT_EQ(CheckOrders(state, governments, nation, step, orders), out) << nation;
    }
    NationOrders all = Only(1, orders);
    all[2] = orders;
    const CampaignState before = state;
    const PhaseReport report = ResolvePurchases(state, governments, all);
    EXPECT_EQ(report.refusals[1], out);
    EXPECT_EQ(report.refusals[2], out);
    EXPECT_EQ(state, before);
    for (CampaignStep step : {CampaignStep::None, CampaignStep::YearStart, CampaignStep::Income,
                              CampaignStep::PurchasesEnd, CampaignStep::WarReport}) {
        EXPECT_EQ(CheckOrders(state, governments, 0, step, orders),
                  std::vector<Refusal>(3, WrongStep));
    }
}

// ---- Mouvements --------------------------------------------------------------------------------

TEST(CampaignMoves, ByLandAndBySea) {
    // Yukon (1) and Rocheuses (2) are land neighbours, Gde Plaines (5) is inland, Alaska (0),
    // Jamaïque (22) and Royaume Uni (71) are on the sea.
    const Governments governments = Playing({kDem});
    CampaignState state = World(governments);
    Give(state, 1, 0, 30);
    Give(state, 2, 0, 10);
    Give(state, 5, 0, 2, 50);  // its reserve never moves
    Give(state, 0, 0, 300, 0, 3);
    Give(state, 22, 0, 1);
    Give(state, 71, 0, 1);
    const std::vector<Listed> list = {
        {Move(1, 2, 20), None},  // 10 left on Yukon
        {Move(1, 2, 11), BadAmount},
        {Move(1, 2, 10), None},
        {Move(1, 0, INT32_MAX), BadAmount},
        {Move(2, 2, 5), NotReachable},
        {Move(200, 2, 1), NoTerritory},
        {Move(2, 200, 1), NoTerritory},
        {Move(4, 2, 1), NotOwned},
        {Move(2, 3, 0), BadAmount},
        {Move(5, 2, 3), BadAmount},  // only 2 may move
        {Move(2, 22, 1), NoBoats},
        {Move(2, 25, 1), NotCoastal},  // Amazonie is inland
        {Move(5, 22, 1), NotCoastal},
        {Recruit(2, 1), WrongStep},
        {Move(2, 5, 4), None},
        {Move(0, 22, 150), None},  // two boats
        {Move(0, 71, 101), NoBoats},
        {Move(0, 71, 100), None},  // the last boat
        {Move(0, 22, 1), NoBoats},
        {Move(0, 1, 50), None},  // by land, no boat
    };
    EXPECT_EQ(CheckOrders(state, governments, 0, CampaignStep::Moves, OrdersOf(list)),
              RefusalsOf(list));
    RandomGenerator random(7);
    const PhaseReport report = ResolveMoves(state, governments, Only(0, OrdersOf(list)), random);
    EXPECT_EQ(report.refusals[0], RefusalsOf(list));
    EXPECT_TRUE(report.battles.empty());
    EXPECT_EQ(RandomGenerator(7).NextBits(), random.NextBits());  // no battle, no draw
    const std::pair<int, std::array<int32_t, 3>> expected[] = {
        {0, {0, 0, 0}},  {1, {50, 0, 0}},   {2, {36, 0, 0}},
        {5, {6, 50, 0}}, {22, {151, 0, 2}}, {71, {101, 0, 1}},  // the boats moor
    };
    for (const auto& [index, fields] : expected) {
        const TerritoryInfo& entry = state.table[static_cast<size_t>(index)];
        EXPECT_EQ((std::array{entry.army, entry.reserve, entry.ownerOnlyA}), fields) << index;
    }
}

TEST(CampaignMoves, ArmiesNearTheCeilingStopThere) {
    const Governments governments = Playing({kDem});
    CampaignState state = World(governments);
    Give(state, 1, 0, kMax, 0, kMax);
    Give(state, 0, 0, kMax - 1, 0, kMax);
    Give(state, 22, 0, kMax);
    const PhaseReport report =
        Moves(state, governments, Only(0, {Move(1, 0, kMax), Move(0, 22, kMax - 1)}));
    EXPECT_EQ(report.refusals[0], (std::vector<Refusal>{None, None}));
    EXPECT_EQ(state.table[0].army, kMax);
    EXPECT_EQ(state.table[22].army, kMax);
    EXPECT_EQ(state.table[0].ownerOnlyA, kMax - 10000000);  // a boat per hundred
    EXPECT_EQ(state.table[22].ownerOnlyA, 10000000);
}

// ---- Guerres -----------------------------------------------------------------------------------

TEST(CampaignBattles, ArithmeticWithFixedOdds) {
    struct Case {
        const char* name;
        int8_t attacker;
        int32_t army, reserve;
        bool fortified, capital;
        int32_t troops;
        bool taken;
        int32_t survivors, armyAfter, reserveAfter;
    };
    const Case cases[] = {
        {"plain", kDem, 60, 0, false, false, 100, true, 40, 40, 0},
        {"an empire wins equal troops", kEmp, 100, 0, false, false, 100, true, 10, 10, 0},
        {"a tie leaves nobody", kDem, 100, 0, false, false, 100, false, 0, 0, 0},
        {"fortified", kCom, 60, 0, true, false, 100, true, 10, 10, 0},
        {"fortified capital", kDem, 30, 10, true, true, 80, true, 5, 5, 0},
        {"capital", kCom, 80, 0, false, true, 102, true, 2, 2, 0},
        {"losses fall on the army first", kDem, 70, 30, false, false, 50, false, 50, 20, 30},
        {"then on the reserve", kDem, 20, 80, false, false, 60, false, 40, 0, 40},
        {"defenders rounded down", kDem, 9, 0, true, false, 4, false, 6, 6, 0},
        {"an exact fraction", kDem, 7, 0, true, false, 3, false, 5, 5, 0},
        {"thinnest win", kDem, 999, 0, false, false, 1000, true, 1, 1, 0},
        {"empire on a fortified capital", kEmp, 100, 0, true, true, 138, false, 19, 19, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Governments governments = Playing({c.attacker, kDem});
        CampaignState state = World(governments);
        Give(state, 1, 0, c.troops);
        TerritoryInfo& target = Give(state, 2, 1, c.army, c.reserve, 3);
        target.fortified = c.fortified ? 1 : 0;
        target.improved = 1;
        target.wealth = c.capital ? kCapitalWealth : 100000;
        Give(state, 3, 1, 1);
        TerritoryInfo expected = target;
        const PhaseReport report = Moves(state, governments, Only(0, {Move(1, 2, c.troops)}));
        EXPECT_EQ(report.battles, (std::vector<Battle>{{0, 1, 2, c.taken, false, c.troops,
                                                        c.army + c.reserve, c.survivors}}));
        // A conqueror keeps the fortifications and improvements, not the defender's boats.
        expected.owner = c.taken ? 0 : 1;
        expected.army = c.armyAfter;
        expected.reserve = c.reserveAfter;
        expected.ownerOnlyA = c.taken ? 0 : 3;
        EXPECT_EQ(state.table[2], expected);
        EXPECT_EQ(state.table[1].army, 0);
        EXPECT_EQ(state.ledger.values[Conquests][0], c.taken ? 1 : 0);
    }
}

TEST(CampaignBattles, ChancesAreDrawnForEveryBattleAttackerFirst) {
    // Yukon (1) sends one troop into empty Alaska (0), then forty against forty of nobody's on
    // Rocheuses (2). Alaska, the lower index, is fought first, and always falls; its two draws
    // still count, so Rocheuses' factors are the third and fourth. Among the first thousand
    // seeds some draw equal factors, and then nobody survives.
    const Governments governments = Playing({kDem});
    int ties = 0, wins = 0, losses = 0;
    for (uint64_t seed = 1; seed <= 1000; ++seed) {
        RandomGenerator probe(seed);
        probe.Between(900, 1100);
        probe.Between(900, 1100);
        const int64_t a = probe.Between(900, 1100);
        const int64_t d = probe.Between(900, 1100);
        CampaignState state = World(governments);
        Give(state, 1, 0, 41);
        Give(state, 2, -1, 40);
        RandomGenerator random(seed);
        const PhaseReport report =
            ResolveMoves(state, governments, Only(0, {Move(1, 2, 40), Move(1, 0, 1)}), random);
        EXPECT_EQ(random.NextBits(), probe.NextBits());
        ASSERT_EQ(report.battles.size(), 2u);
        EXPECT_EQ(report.battles[0], (Battle{0, -1, 0, true, false, 1, 0, 1}));
        const Battle& battle = report.battles[1];
        EXPECT_EQ(battle.taken, a > d);
        if (a > d) {
            ++wins;
            EXPECT_EQ(battle.survivors, (40 * (a - d) + a - 1) / a) << seed;
        } else {
            ++(a == d ? ties : losses);
            EXPECT_EQ(battle.survivors, 40 * (d - a) / d) << seed;
            EXPECT_EQ(state.table[2].army, battle.survivors);
        }
        EXPECT_EQ(state.table[2].owner, a > d ? 0 : -1);
    }
    EXPECT_GT(ties, 0);
    EXPECT_GT(wins, 0);
    EXPECT_GT(losses, 0);
}

TEST(CampaignBattles, AttackersFightInDescendingOrderOfTroops) {
    // Three nations converge on empty Gde Plaines (5): nation 2 (50) first, the lower of two
    // fifties; nation 3 (50) ties with it and both are wiped out; nation 1 (30) walks in.
    const Governments governments = Playing({kDem, kDem, kDem, kDem});
    CampaignState state = World(governments);
    Give(state, 2, 1, 30);
    Give(state, 4, 2, 50);
    Give(state, 6, 3, 50);
    NationOrders all = Only(3, {Move(6, 5, 50)});
    all[1] = {Move(2, 5, 30)};
    all[2] = {Move(4, 5, 50)};
    const PhaseReport report = Moves(state, governments, all);
    EXPECT_EQ(report.battles, (std::vector<Battle>{{2, -1, 5, true, false, 50, 0, 50},
                                                   {3, 2, 5, false, false, 50, 50, 0},
                                                   {1, 2, 5, true, false, 30, 0, 30}}));
    EXPECT_EQ(state.table[5].owner, 1);
    EXPECT_EQ(state.table[5].army, 30);
    EXPECT_EQ(state.ledger.values[Conquests][1], 1);
    EXPECT_EQ(state.ledger.values[Conquests][2], 1);
    EXPECT_EQ(state.ledger.values[Conquests][3], 0);
}

TEST(CampaignBattles, OneNationsOrdersOnOneTargetFightAsOneForce) {
    // Thirty and thirty against fifty: alone each would fail, together they take Gde Plaines,
    // the second part simply arriving with the first. On Rocheuses, a landing from Jamaïque
    // joins the troops from Yukon: the force came by sea and its boat moors there.
    const Governments governments = Playing({kDem, kDem});
    CampaignState state = World(governments);
    Give(state, 4, 1, 30);
    Give(state, 6, 1, 30);
    Give(state, 5, -1, 50);
    Give(state, 1, 1, 20);
    Give(state, 22, 1, 100, 0, 1);
    Give(state, 2, -1, 50);
    const PhaseReport report =
        Moves(state, governments,
              Only(1, {Move(4, 5, 30), Move(1, 2, 20), Move(6, 5, 30), Move(22, 2, 100)}));
    EXPECT_EQ(report.battles, (std::vector<Battle>{{1, -1, 2, true, true, 120, 50, 70},
                                                   {1, -1, 5, true, false, 60, 50, 10}}));
    EXPECT_EQ(state.table[2].ownerOnlyA, 1);
    EXPECT_EQ(state.table[22].ownerOnlyA, 0);
    EXPECT_EQ(state.ledger.values[Conquests][1], 2);
}

TEST(CampaignBattles, TroopsLeaveAndReinforcementsArriveBeforeAnyBattle) {
    // Nation 0 brings 40 into Rocheuses (2), sends 5 on to Ile Victoria and 5 at nation 1's Gde
    // Plaines, while nation 1 throws all its 54 at Rocheuses: 10 - 5 - 5 + 40 = 40 defend it and
    // fall; Gde Plaines, emptied, falls too.
    const Governments governments = Playing({kDem, kCom});
    CampaignState state = World(governments);
    Give(state, 1, 0, 40);
    Give(state, 2, 0, 10);
    Give(state, 3, 0, 0);
    Give(state, 5, 1, 54);
    NationOrders all = Only(0, {Move(1, 2, 40), Move(2, 3, 5), Move(2, 5, 5)});
    all[1] = {Move(5, 2, 54)};
    const PhaseReport report = Moves(state, governments, all);
    EXPECT_EQ(report.battles, (std::vector<Battle>{{1, 0, 2, true, false, 54, 40, 14},
                                                   {0, 1, 5, true, false, 5, 0, 5}}));
    EXPECT_EQ(state.table[3].army, 5);
    EXPECT_EQ(state.table[1].army, 0);
}

TEST(CampaignBattles, BoatsMoorWithAVictoryAndSinkWithADefeat) {
    const Governments governments = Playing({kDem, kEmp});
    CampaignState state = World(governments);
    Give(state, 0, 0, 300, 0, 5);
    Give(state, 22, 1, 10, 0, 4);
    Give(state, 71, 1, 100, 0, 2);
    const PhaseReport report =
        Moves(state, governments, Only(0, {Move(0, 22, 250), Move(0, 71, 50)}));
    EXPECT_EQ(report.battles, (std::vector<Battle>{{0, 1, 22, true, true, 250, 10, 240},
                                                   {0, 1, 71, false, true, 50, 100, 50}}));
    EXPECT_EQ(state.table[0].ownerOnlyA, 1);
    EXPECT_EQ(state.table[22].ownerOnlyA, 3);  // the defender's four are lost
    EXPECT_EQ(state.table[71].ownerOnlyA, 2);  // the attacker's one is lost
}

TEST(CampaignBattles, ANationWithoutTerritoryIsOut) {
    const Governments governments = Playing({kDem, kEmp});
    CampaignState state = World(governments);
    Give(state, 1, 0, 50);
    Give(state, 2, 1, 5);
    EXPECT_EQ(LivingNations(state, governments), 0b11);
    Moves(state, governments, Only(0, {Move(1, 2, 50)}), 5, kCampaignRules);
    EXPECT_EQ(LivingNations(state, governments), 0b01);
    EXPECT_EQ(CheckOrders(state, governments, 1, CampaignStep::Purchases,
                          std::vector<Order>{Recruit(2, 1)}),
              std::vector<Refusal>{NotInGame});
    ResolveIncome(state, governments);
    EXPECT_EQ(state.ledger.values[Income][1], 0);
}

TEST(CampaignBattles, HugeArmiesNeverOverflow) {
    // Two armies at the ceiling merge into one force of the ceiling, against a fortified capital
    // holding twice the ceiling: whatever the chances, the defence keeps between
    // 2e9 x (1 - empire x 1.1 / 3.375) and 2e9 x (1 - empire x 0.9 / 4.125), all losses on its
    // army. A billion
    // landing against one defender keeps all but a troop or two.
    const Governments governments = Playing({kEmp});
    CampaignState state = World(governments);
    Give(state, 1, 0, kMax);
    Give(state, 3, 0, kMax);
    TerritoryInfo& capital = Give(state, 2, -1, kMax, kMax);
    capital.wealth = kCapitalWealth;
    capital.fortified = 1;
    Give(state, 22, -1, 1);
    Give(state, 0, 0, kMax, 0, kMax);
    const PhaseReport report =
        Moves(state, governments, Only(0, {Move(1, 2, kMax), Move(3, 2, kMax), Move(0, 22, kMax)}),
              17, kCampaignRules);
    ASSERT_EQ(report.battles.size(), 2u);
    const Battle& big = report.battles[0];
    EXPECT_EQ(big.troops, kMax);
    EXPECT_EQ(big.defenders, 2 * kMax);
    EXPECT_FALSE(big.taken);
    // With the table's empire attack of 110: 1282962962 and 1520000000.
    const double empire = kCampaignRules.empireAttackPercent / 100.0;
    const double low = kCampaignRules.chanceMinPerMille / 1000.0;
    const double high = kCampaignRules.chanceMaxPerMille / 1000.0;
    const double walls = kCampaignRules.fortifiedDefencePercent / 100.0 *
                         kCampaignRules.capitalDefencePercent / 100.0;
    EXPECT_GE(big.survivors,
              static_cast<int64_t>(2.0 * kMax * (1 - empire * high / (2 * walls * low))) - 1);
    EXPECT_LE(big.survivors,
              static_cast<int64_t>(2.0 * kMax * (1 - empire * low / (2 * walls * high))) + 1);
    EXPECT_EQ(state.table[2].reserve, kMax);
    EXPECT_EQ(int64_t{state.table[2].army} + kMax, big.survivors);
    const Battle& landing = report.battles[1];
    EXPECT_TRUE(landing.taken);
    EXPECT_GE(landing.survivors, kMax - 2);
    EXPECT_LE(landing.survivors, kMax);

    // Percentages and chances beyond 10000 count as 10000: an empire's billion attacks at
    // 10000 % x 10000 per mille (beyond 64 bits) a fortified billion at 150 % x 10000 per mille,
    // and keeps exactly 98.5 % of its troops.
    CampaignRules extreme;
    extreme.empireAttackPercent = INT32_MAX;
    extreme.chanceMinPerMille = extreme.chanceMaxPerMille = INT32_MAX;
    state = World(governments);
    Give(state, 1, 0, kMax);
    Give(state, 2, -1, kMax).fortified = 1;
    const PhaseReport last = Moves(state, governments, Only(0, {Move(1, 2, kMax)}), 17, extreme);
    ASSERT_EQ(last.battles.size(), 1u);
    EXPECT_EQ(last.battles[0].survivors, 985000000);
}

// ---- Espionnage --------------------------------------------------------------------------------

TEST(CampaignMissions, RefusedMissions) {
    const Governments governments = Playing({kDem, kEmp, kCom});
    CampaignState state = World(governments);
    Give(state, 1, 0, 10);
    Give(state, 2, 1, 10);
    Give(state, 48, 2, 5).wealth = kCapitalWealth;
    Give(state, 3, 2, 40, 10);  // fifty troops in all
    Give(state, 4, 2, 39, 10);  // forty-nine
    Money(state, 0) = 150000;
    Money(state, 1) = 50000;
    const std::vector<Listed> first = {
        {Spy(1, kSabotage), NotForeign},  // its own
        {Spy(5, kSabotage), NotForeign},  // nobody's
        {Spy(200, kTheft), NoTerritory},
        {Spy(2, 3), BadAmount},
        {Spy(2, -1), BadAmount},
        {Spy(48, kPropaganda), Capital},
        {Spy(3, kPropaganda), TooManyTroops},
        {Recruit(1, 1), WrongStep},
        {Spy(4, kPropaganda), None},
        {Spy(2, kTheft), MissionSpent},
    };
    const std::vector<Listed> second = {{Spy(4, kPropaganda), NoPropaganda},
                                        {Spy(1, kTheft), NotAffordable}};
    EXPECT_EQ(CheckOrders(state, governments, 0, CampaignStep::Spies, OrdersOf(first)),
              RefusalsOf(first));
    EXPECT_EQ(CheckOrders(state, governments, 1, CampaignStep::Spies, OrdersOf(second)),
              RefusalsOf(second));
    NationOrders all = Only(0, OrdersOf(first));
    all[1] = OrdersOf(second);
    const PhaseReport report = Missions(state, governments, all, MissionSeed(kCom, false));
    EXPECT_EQ(report.refusals[0], RefusalsOf(first));
    EXPECT_EQ(report.refusals[1], RefusalsOf(second));
    ASSERT_EQ(report.missions.size(), 1u);
    EXPECT_EQ(report.missions[0].territory, 4);
    EXPECT_EQ(Money(state, 0), 50000);
    EXPECT_EQ(Money(state, 1), 50000);
}

TEST(CampaignMissions, SuccessfulMissions) {
    // Nation 0 (Démocratie, spies at 100000) and nation 2 (Communisme, at 30000); every seed is
    // one where the target's guards miss the spy.
    const Governments governments = Playing({kDem, -1, kCom});
    const uint64_t missDem = MissionSeed(kDem, false);
    const auto fresh = [&] {
        CampaignState state = World(governments);
        Give(state, 1, 0, 41, 7);
        Give(state, 3, 2, 21, 3, 2);  // nation 2's only territory
        Money(state, 0) = 123456;
        return state;
    };
    for (bool fortified : {false, true}) {
        CampaignState state = fresh();
        state.table[1].fortified = fortified ? 1 : 0;
        const PhaseReport report =
            Missions(state, governments, Only(2, {Spy(1, kSabotage)}), missDem);
        EXPECT_EQ(report.missions,
                  (std::vector<MissionResult>{{2, 0, 1, Mission::Sabotage, true, false, false,
                                               fortified ? 0 : 10}}));  // a quarter of 41
        EXPECT_EQ(state.table[1].fortified, 0);
        EXPECT_EQ(state.table[1].army, fortified ? 41 : 31);
        EXPECT_EQ(state.table[1].reserve, 7);
        EXPECT_EQ(Money(state, 2), kCampaignRules.startingTreasury - 30000);
    }

    CampaignState state = fresh();
    PhaseReport report = Missions(state, governments, Only(2, {Spy(1, kTheft)}), missDem);
    EXPECT_EQ(report.missions,
              (std::vector<MissionResult>{{2, 0, 1, Mission::Theft, true, false, false, 12345}}));
    EXPECT_EQ(Money(state, 0), 111111);
    EXPECT_EQ(Money(state, 2), kCampaignRules.startingTreasury - 30000 + 12345);

    // Near its ceiling the spy's treasury takes what it can hold; the rest stays put.
    state = fresh();
    Money(state, 0) = 1000000000;
    Money(state, 2) = kCampaignRules.maxTreasury;
    report = Missions(state, governments, Only(2, {Spy(1, kTheft)}), missDem);
    EXPECT_EQ(report.missions.at(0).amount, 30000);
    EXPECT_EQ(Money(state, 2), kCampaignRules.maxTreasury);
    EXPECT_EQ(Money(state, 0), 1000000000 - 30000);

    // Propaganda: the territory becomes nobody's with half its army, and nation 2 is out.
    state = fresh();
    Money(state, 0) = 100000;
    report = Missions(state, governments, Only(0, {Spy(3, kPropaganda)}), MissionSeed(kCom, false));
    EXPECT_EQ(report.missions,
              (std::vector<MissionResult>{{0, 2, 3, Mission::Propaganda, true, false, false, 11}}));
    EXPECT_EQ(state.table[3].owner, -1);
    EXPECT_EQ(state.table[3].army, 10);
    EXPECT_EQ(state.table[3].reserve, 3);
    EXPECT_EQ(Money(state, 0), 0);
    EXPECT_EQ(LivingNations(state, governments), 0b001);
}

TEST(CampaignMissions, ACaughtSpyDoesNothingAndMayCostItsNation) {
    struct Case {
        int8_t spy, guard;
        bool named;        // the guard shoots on sight
        int32_t treasury;  // the spy's, from 200000
    };
    for (const Case& c : {Case{kDem, kEmp, true, 90000},      // 100000, then a 10 % scandal
                          Case{kCom, kDem, false, 170000},    // 30000, no scandal
                          Case{kEmp, kCom, true, 108000}}) {  // 80000, then a 10 % scandal
        SCOPED_TRACE(int{c.spy});
        const Governments governments = Playing({c.spy, c.guard});
        CampaignState state = World(governments);
        Give(state, 1, 0, 10);
        Give(state, 2, 1, 30).fortified = 1;
        Money(state, 0) = 200000;
        const CampaignState before = state;
        const PhaseReport report =
            Missions(state, governments, Only(0, {Spy(2, kSabotage)}), MissionSeed(c.guard, true));
        EXPECT_EQ(
            report.missions,
            (std::vector<MissionResult>{{0, 1, 2, Mission::Sabotage, false, true, c.named, 0}}));
        EXPECT_EQ(state.table, before.table);
        EXPECT_EQ(Money(state, 0), c.treasury);
        EXPECT_EQ(Money(state, 1), kCampaignRules.startingTreasury);
    }
}

TEST(CampaignMissions, EachNationPaysWithWhatItHoldsWhenItsTurnComes) {
    // The preview sees nation 1 able to pay 80000 from 85000; but nation 0 spies first and
    // steals 8500 from it, and 76500 no longer pays.
    const Governments governments = Playing({kDem, kEmp});
    CampaignState state = World(governments);
    Give(state, 1, 0, 10);
    Give(state, 2, 1, 10);
    Money(state, 1) = 85000;
    NationOrders all = Only(0, {Spy(2, kTheft)});
    all[1] = {Spy(1, kSabotage)};
    EXPECT_EQ(CheckOrders(state, governments, 1, CampaignStep::Spies, all[1]),
              std::vector<Refusal>{None});
    const PhaseReport report = Missions(state, governments, all, MissionSeed(kEmp, false));
    EXPECT_EQ(report.refusals[1], std::vector<Refusal>{NotAffordable});
    ASSERT_EQ(report.missions.size(), 1u);
    EXPECT_EQ(Money(state, 1), 76500);
}

// ---- Winners -----------------------------------------------------------------------------------

namespace {

class CampaignWinners : public testing::Test {
  protected:
    void SetUp() override { BuildObjectives(); }
    void TearDown() override { DestroyObjectives(); }

    // Nation 0 holds all of Asia with five troops each, nation 1 both Americas with seven,
    // nation 2 one African territory; nation 4, with no government, holds Oceania.
    static CampaignState Split(const Governments& governments) {
        CampaignState state = World(governments);
        for (int index = 0; index < TerritoryCount; ++index) {
            const int continent = ContinentOf(index);
            if (continent == Asia)
                Give(state, index, 0, 5);
            else if (continent == NorthAmerica || continent == SouthAmerica)
                Give(state, index, 1, 7);
            else if (continent == Oceania)
                Give(state, index, 4, 5);
        }
        Give(state, 36, 2, 1);
        return state;
    }

    const Governments governments_ = Playing({kDem, kEmp, kCom});
};

}  // namespace

TEST_F(CampaignWinners, EveryLivingNationThatMetItsObjectiveOnTheYearsTable) {
    const CampaignState complete = Split(governments_);
    DirectLog history;
    history.Append(complete.table);
    std::array<int8_t, NationCount> objectives = {1, 2, 0, -1, 1, -1, -1, -1};
    EXPECT_EQ(Winners(history, complete, governments_, objectives), 0b011);
    objectives[1] = 1;
    EXPECT_EQ(Winners(history, complete, governments_, objectives), 0b001);
    // Only the newest table counts: one Asian territory short of troops this year.
    CampaignState state = complete;
    Give(state, 56, 0, 4);
    history.Append(state.table);
    EXPECT_EQ(Winners(history, state, governments_, objectives), 0);
    // Objectives outside the list are never met.
    objectives = {77, -1, 5, -1, -1, -1, -1, -1};
    EXPECT_EQ(Winners(history, state, governments_, objectives), 0);
    // The world.
    for (int index = 0; index < TerritoryCount; ++index)
        Give(state, index, 2, 1);
    history.Append(state.table);
    objectives[2] = 0;
    EXPECT_EQ(Winners(history, state, governments_, objectives), 0b100);
}

TEST_F(CampaignWinners, TheLastNationStandingWinsWhateverItsObjective) {
    CampaignState state = World(governments_);
    Give(state, 36, 2, 1);
    Give(state, 37, 5, 1);  // a nation with no government does not count
    DirectLog history;
    history.Append(state.table);
    std::array<int8_t, NationCount> objectives = {0, 0, 0, -1, -1, 0, -1, -1};
    EXPECT_EQ(Winners(history, state, governments_, objectives), 0b100);
    objectives[2] = 77;
    EXPECT_EQ(Winners(history, state, governments_, objectives), 0b100);
    EXPECT_EQ(Winners(history, World(governments_), governments_, objectives), 0);
}

// ---- Whole years -------------------------------------------------------------------------------

namespace {

struct Playthrough {
    std::vector<CampaignState> states;
    std::vector<PhaseReport> reports;
};

// `years` years of a four-nation game dealt from `dealSeed`, with player-like orders (and a
// garbled one), and battles and missions drawn from `seed`. On the way, the preview of every
// nation's purchases and moves must announce exactly what the resolution then does.
Playthrough PlayYears(uint64_t dealSeed, uint64_t seed, int years) {
    RandomSeed(dealSeed);
    const int8_t nations[] = {0, 2, 4, 6};
    const Governments governments = Playing({kDem, -1, kEmp, -1, kCom, -1, kEmp});
    CampaignState state = StartCampaign(DealMap(nations), governments);
    RandomGenerator chances(seed);
    RandomGenerator players(seed ^ 0xABCDEF);
    Playthrough run;
    const auto ordersFor = [&](CampaignStep step, int count) {
        NationOrders orders;
        for (int nation : nations) {
            orders[nation] = test::PlayerLikeOrders(state, nation, step, count, players);
            // And one order as a broken or hostile peer might send it.
            orders[nation].push_back({static_cast<OrderKind>(players.Next(8)),
                                      static_cast<uint8_t>(players.Next(256)),
                                      static_cast<uint8_t>(players.Next(256)),
                                      static_cast<int32_t>(players.NextBits())});
        }
        return orders;
    };
    const auto resolved = [&](CampaignStep step, const NationOrders& orders, PhaseReport report,
                              const CampaignState& before) {
        if (step != CampaignStep::Spies) {
            for (int nation = 0; nation < NationCount; ++nation)
                EXPECT_EQ(CheckOrders(before, governments, nation, step, orders[nation]),
                          report.refusals[nation]);
        }
        run.reports.push_back(std::move(report));
        run.states.push_back(state);
    };
    for (int year = 0; year < years; ++year) {
        ResolveIncome(state, governments);
        NationOrders orders = ordersFor(CampaignStep::Purchases, 3);
        CampaignState before = state;
        resolved(CampaignStep::Purchases, orders, ResolvePurchases(state, governments, orders),
                 before);
        orders = ordersFor(CampaignStep::Moves, 20);
        before = state;
        resolved(CampaignStep::Moves, orders, ResolveMoves(state, governments, orders, chances),
                 before);
        orders = ordersFor(CampaignStep::Spies, 2);
        resolved(CampaignStep::Spies, orders, ResolveMissions(state, governments, orders, chances),
                 state);
        CloseYear(state);
        run.states.push_back(state);
    }
    return run;
}

}  // namespace

TEST(CampaignDeterminism, SameSeedSameYearsAndStatesWithinBounds) {
    const Playthrough first = PlayYears(42, 7, 12);
    const Playthrough second = PlayYears(42, 7, 12);
    EXPECT_EQ(first.states, second.states);
    EXPECT_EQ(first.reports, second.reports);
    // No still life: battles and missions happened, and another seed plays out differently.
    size_t battles = 0, missions = 0;
    for (const PhaseReport& report : first.reports) {
        battles += report.battles.size();
        missions += report.missions.size();
    }
    EXPECT_GT(battles, 20u);
    EXPECT_GT(missions, 4u);
    EXPECT_NE(PlayYears(42, 8, 12).states, first.states);

    for (uint64_t seed = 1; seed <= 3; ++seed) {
        for (const CampaignState& state : PlayYears(seed, seed * 31, 15).states) {
            for (const TerritoryInfo& entry : state.table) {
                EXPECT_TRUE(entry.owner >= -1 && entry.owner < NationCount);
                EXPECT_TRUE(entry.army >= 0 && entry.army <= kMax);
                EXPECT_TRUE(entry.reserve >= 0 && entry.ownerOnlyA >= 0);
            }
            for (int nation : {0, 2, 4, 6})
                EXPECT_GE(state.ledger.values[Treasury][nation], 0);
        }
    }
}
