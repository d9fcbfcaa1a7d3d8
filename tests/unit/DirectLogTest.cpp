// The game history: its cap, and starting it over with one table.
#include <gtest/gtest.h>

#include "game/Directlog.h"

using namespace torvane;

namespace {

TerritoryTable Numbered(int32_t number) {
    TerritoryTable table{};
    table[0].army = number;
    table[103].wealth = number;
    return table;
}

TEST(DirectLogTest, AFullHistoryRefusesMoreTablesAndKeepsWhatItHas) {
    DirectLog history;
    EXPECT_FALSE(history.Append(nullptr));
    EXPECT_EQ(history.Count(), 0);
    for (int32_t i = 0; i < DirectLog::kMaxTables; ++i)
        ASSERT_TRUE(history.Append(Numbered(i))) << i;
    EXPECT_FALSE(history.Append(Numbered(-1)));
    EXPECT_FALSE(history.Append(Numbered(-2)));
    ASSERT_EQ(history.Count(), DirectLog::kMaxTables);
    EXPECT_EQ(*history.TableAt(0), Numbered(0));
    EXPECT_EQ(*history.TableAt(DirectLog::kMaxTables - 1), Numbered(DirectLog::kMaxTables - 1));
    EXPECT_EQ(history.TableAt(DirectLog::kMaxTables), nullptr);
    EXPECT_EQ(history.InfosAt(DirectLog::kMaxTables), nullptr);
}

TEST(DirectLogTest, StartingOverKeepsOnlyTheNewTableAndRoomForMore) {
    DirectLog history;
    for (int32_t i = 0; i < DirectLog::kMaxTables; ++i)
        history.Append(Numbered(i));
    history.StartOver(Numbered(77));
    ASSERT_EQ(history.Count(), 1);
    EXPECT_EQ(*history.TableAt(0), Numbered(77));
    ASSERT_NE(history.InfosAt(0), nullptr);
    EXPECT_EQ(history.InfosAt(0)->values[2][7], -1);
    EXPECT_EQ(history.TableAt(1), nullptr);
    EXPECT_TRUE(history.Append(Numbered(78)));
    EXPECT_EQ(history.Count(), 2);
    EXPECT_EQ(*history.TableAt(1), Numbered(78));
}

}  // namespace
