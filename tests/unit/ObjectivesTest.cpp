// The objective list, the five checks and the history they read.
#include <gtest/gtest.h>

#include "game/Directlog.h"
#include "game/Game.h"
#include "game/Objectif.h"

using namespace torvane;

namespace {

class Objectives : public testing::Test {
  protected:
    void SetUp() override { BuildObjectives(); }
    void TearDown() override { DestroyObjectives(); }

    static TerritoryTable Fresh() { return TerritoryTable{}; }

    static int32_t Check(int number, const DirectLog& history, int nation, int back = 0) {
        return Progress(ObjectiveAt(number), &history, nation, back);
    }
};

}  // namespace

TEST_F(Objectives, ListInOrder) {
    ASSERT_EQ(ObjectiveCount(), 5);
    EXPECT_EQ(ObjectiveAt(0)->title, "Conqu\xE8te du monde");
    EXPECT_EQ(ObjectiveAt(1)->title, "Coloniser l'Asie");
    EXPECT_EQ(ObjectiveAt(2)->title, "Coloniser l'Am\xE9rique");
    EXPECT_EQ(ObjectiveAt(3)->title, "Conqu\xE8te fulgurante");
    EXPECT_EQ(ObjectiveAt(4)->title, "Sup\xE9matie mondiale");
    EXPECT_EQ(ObjectiveAt(0)->description,
              "Pour vaincre vous devez \xE9liminer tous vos adversaires");
    EXPECT_EQ(ObjectiveAt(5), nullptr);
    EXPECT_EQ(ObjectiveAt(-1), nullptr);
    EXPECT_EQ(ObjectiveAt(255), nullptr);
    BuildObjectives();  // rebuilding replaces, never appends
    EXPECT_EQ(ObjectiveCount(), 5);
    DestroyObjectives();
    EXPECT_EQ(ObjectiveCount(), 0);
    EXPECT_EQ(ObjectiveAt(0), nullptr);
}

TEST_F(Objectives, MissingObjectiveOrCheckGivesZero) {
    DirectLog history;
    EXPECT_EQ(Progress(nullptr, &history, 0, 0), 0);
    Objectif noCheck;
    EXPECT_EQ(Progress(&noCheck, &history, 0, 0), 0);
}

TEST_F(Objectives, EmptyOrShortHistory) {
    DirectLog empty;
    EXPECT_EQ(Check(0, empty, 0), -1);
    EXPECT_EQ(Check(1, empty, 0), -1);
    EXPECT_EQ(Check(2, empty, 0), -1);
    EXPECT_EQ(Check(3, empty, 0), 0);
    EXPECT_EQ(Check(4, empty, 0), -1);
    EXPECT_EQ(Progress(ObjectiveAt(0), nullptr, 0, 0), -1);

    DirectLog one;
    one.Append(Fresh());
    EXPECT_EQ(Check(0, one, 0, 1), -1);
    EXPECT_EQ(Check(1, one, 0, 1), -1);
    EXPECT_EQ(Check(2, one, 0, 1), -1);
    EXPECT_EQ(Check(3, one, 0, 1), 0);
    EXPECT_EQ(Check(4, one, 0, 1), -1);
    EXPECT_EQ(Check(0, one, 0, -1), -1);  // a table after the newest does not exist
    EXPECT_EQ(Check(3, one, 0, -1), 0);
}

TEST_F(Objectives, WorldConquest) {
    TerritoryTable table = Fresh();
    DirectLog history;
    table[56].owner = 0;
    table[56].wealth = 300000;
    history.Append(table);
    EXPECT_EQ(Check(0, history, 0), 0);  // one territory: 100 / 104 -> 0
    for (int i = 0; i < 52; ++i)
        table[static_cast<size_t>(i)].owner = 2;
    history.Append(table);
    EXPECT_EQ(Check(0, history, 2), 50);
    for (auto& t : table)
        t.owner = 2;
    history.Append(table);
    EXPECT_EQ(Check(0, history, 2), 100);
    EXPECT_EQ(Check(0, history, 2, 1), 50);
    // Nobody (-1, or a byte 255) never matches a nation, nor a nation index out of range.
    EXPECT_EQ(Check(0, history, -1), 0);
    EXPECT_EQ(Check(0, history, 255), 0);
}

TEST_F(Objectives, ColoniseAsiaCountsArmiesUpToFive) {
    TerritoryTable table = Fresh();
    // Three Asian territories with armies 0, 3 and 20: 5 + 8 + 10 = 23 -> 10 * 23 / 32 = 7.
    table[53].owner = 1;
    table[53].army = 0;
    table[54].owner = 1;
    table[54].army = 3;
    table[55].owner = 1;
    table[55].army = 20;
    table[0].owner = 1;  // not in Asia
    table[0].army = 50;
    DirectLog history;
    history.Append(table);
    EXPECT_EQ(Check(1, history, 1), 7);

    // A negative army reads as huge and counts as 5.
    table[53].army = -3;
    history.Append(table);
    EXPECT_EQ(Check(1, history, 1), 10 * 28 / 32);

    TerritoryTable all = Fresh();
    for (int i = 0; i < TerritoryCount; ++i) {
        if (ContinentOf(i) == Asia)
            all[static_cast<size_t>(i)].owner = 6;
    }
    history.Append(all);
    EXPECT_EQ(Check(1, history, 6), 50);
    for (auto& t : all)
        t.army = 5;
    history.Append(all);
    EXPECT_EQ(Check(1, history, 6), 100);
}

TEST_F(Objectives, ColoniseAmericasUsesBothContinents) {
    TerritoryTable table = Fresh();
    for (int i = 0; i < TerritoryCount; ++i) {
        const int c = ContinentOf(i);
        if (c == NorthAmerica || c == SouthAmerica) {
            table[static_cast<size_t>(i)].owner = 3;
            table[static_cast<size_t>(i)].army = 7;
        }
    }
    DirectLog history;
    history.Append(table);
    EXPECT_EQ(Check(2, history, 3), 100);
    table[35].owner = 4;  // lose Argentina: 35 territories of 36 -> 10 * 350 / 36 = 97
    history.Append(table);
    EXPECT_EQ(Check(2, history, 3), 97);
}

TEST_F(Objectives, SwiftConquestComparesWithThePreviousTable) {
    TerritoryTable before = Fresh();
    TerritoryTable after = Fresh();
    before[0].owner = 5;  // already held: not counted
    after[0].owner = 5;
    for (int i = 10; i < 16; ++i)
        after[static_cast<size_t>(i)].owner = 5;
    DirectLog history;
    history.Append(before);
    history.Append(after);
    EXPECT_EQ(Check(3, history, 5), 50);  // 6 new
    for (int i = 20; i < 29; ++i)
        after[static_cast<size_t>(i)].owner = 5;
    history.Append(after);
    EXPECT_EQ(Check(3, history, 5), 75);  // 9 more since the table before
    EXPECT_EQ(Check(3, history, 5, 1), 50);
    DirectLog big;
    big.Append(before);
    big.Append(after);  // 15 new
    EXPECT_EQ(Check(3, big, 5), 100);
}

TEST_F(Objectives, WorldSupremacyExcludesCapitals) {
    TerritoryTable table = Fresh();
    // Only a capital: no continent points at all.
    table[56].owner = 0;
    table[56].wealth = 300000;
    table[56].army = 20;
    DirectLog history;
    history.Append(table);
    EXPECT_EQ(Check(4, history, 0), 0);
}

TEST_F(Objectives, WorldSupremacyScoresPerContinent) {
    TerritoryTable table = Fresh();
    for (auto& t : table)
        t.wealth = 50000;
    // Oceania: nation 7 holds the richest (fortified, improved, strongest army).
    table[100].wealth = 200000;
    table[100].owner = 7;
    table[100].army = 100;
    table[100].fortified = 1;
    table[100].improved = 1;
    table[99].army = 99;  // strongest foreign army in Oceania
    DirectLog history;
    history.Append(table);
    EXPECT_EQ(Check(4, history, 7), 100 * 22 / 132);

    // Equal armies: the best army only ties, so no 6 points.
    table[99].army = 100;
    history.Append(table);
    EXPECT_EQ(Check(4, history, 7), 100 * 16 / 132);

    // A foreign army read as unsigned (negative) beats every army.
    table[99].army = -1;
    history.Append(table);
    EXPECT_EQ(Check(4, history, 7), 100 * 16 / 132);
}

TEST_F(Objectives, WorldSupremacyKeepsTheBetterCandidateOnTies) {
    TerritoryTable table = Fresh();
    for (auto& t : table)
        t.wealth = 10000;
    // Two equally rich territories of nation 2 in Africa; the later one is fortified only,
    // the earlier one improved only: equal counts, the earlier stays.
    table[36].owner = 2;
    table[36].wealth = 90000;
    table[36].improved = 1;
    table[37].owner = 2;
    table[37].wealth = 90000;
    table[37].fortified = 1;
    table[38].army = 10;  // foreign
    DirectLog history;
    history.Append(table);
    EXPECT_EQ(Check(4, history, 2), 100 * (10 + 3) / 132);
    // A later candidate with more true statements replaces it.
    table[37].improved = 1;
    history.Append(table);
    EXPECT_EQ(Check(4, history, 2), 100 * (10 + 3 + 3) / 132);
}

TEST(History, AppendCopiesAndIgnoresMissingTables) {
    DirectLog history;
    history.Append(nullptr);
    EXPECT_EQ(history.Count(), 0);
    TerritoryTable table{};
    table[3].army = 11;
    history.Append(table);
    table[3].army = 99;
    EXPECT_EQ(history.Count(), 1);
    ASSERT_NE(history.TableAt(0), nullptr);
    EXPECT_EQ((*history.TableAt(0))[3].army, 11);
    EXPECT_EQ(history.TableAt(1), nullptr);
    EXPECT_EQ(history.TableAt(-1), nullptr);
    ASSERT_NE(history.InfosAt(0), nullptr);
    for (const auto& row : history.InfosAt(0)->values) {
        for (int32_t v : row)
            EXPECT_EQ(v, -1);
    }
    EXPECT_EQ(Count(nullptr), 0);
}
