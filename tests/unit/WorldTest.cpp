// The world table: counts, adjacency, components, names.
#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "game/Game.h"

using namespace torvane;

namespace {

bool Adjacent(int a, int b) {
    const NeighbourList list = NeighboursOf(a);
    for (int i = 0; i < list.count; ++i) {
        if (list.index[static_cast<size_t>(i)] == b)
            return true;
    }
    return false;
}

// Connected parts of the land graph, each as a sorted set of indexes.
std::set<std::set<int>> Components() {
    std::vector<int> parent(TerritoryCount);
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](int x) {
        while (parent[static_cast<size_t>(x)] != x)
            x = parent[static_cast<size_t>(x)];
        return x;
    };
    for (int a = 0; a < TerritoryCount; ++a) {
        const NeighbourList list = NeighboursOf(a);
        for (int i = 0; i < list.count; ++i) {
            parent[static_cast<size_t>(find(a))] = find(list.index[static_cast<size_t>(i)]);
        }
    }
    std::vector<std::set<int>> groups(TerritoryCount);
    for (int i = 0; i < TerritoryCount; ++i)
        groups[static_cast<size_t>(find(i))].insert(i);
    std::set<std::set<int>> result;
    for (auto& group : groups) {
        if (!group.empty())
            result.insert(group);
    }
    return result;
}

std::set<int> Range(int first, int last) {
    std::set<int> s;
    for (int i = first; i <= last; ++i)
        s.insert(i);
    return s;
}

}  // namespace

TEST(World, ContinentCounts) {
    std::array<int, ContinentCount> counts{};
    for (int i = 0; i < TerritoryCount; ++i) {
        const int continent = ContinentOf(i);
        ASSERT_GE(continent, 0);
        ASSERT_LT(continent, ContinentCount);
        ++counts[static_cast<size_t>(continent)];
    }
    EXPECT_EQ(counts, (std::array<int, ContinentCount>{23, 13, 18, 11, 32, 7}));
    EXPECT_EQ(ContinentOf(73), Africa);
    EXPECT_EQ(ContinentOf(57), Europe);
    EXPECT_EQ(ContinentOf(56), Asia);
    EXPECT_EQ(ContinentOf(-1), -1);
    EXPECT_EQ(ContinentOf(104), -1);
    EXPECT_EQ(TerritoryAt(104), nullptr);
}

TEST(World, NeighbourSlotsAreIndexPlusOneAscendingAndSymmetric) {
    for (int a = 0; a < TerritoryCount; ++a) {
        const Territory* t = TerritoryAt(a);
        bool ended = false;
        int previous = 0;
        for (int32_t slot : t->neighbours) {
            if (slot == 0) {
                ended = true;
                continue;
            }
            EXPECT_FALSE(ended) << "used slot after an empty one in " << a;
            EXPECT_GT(slot, previous) << "neighbours of " << a << " not ascending";
            EXPECT_LE(slot, TerritoryCount);
            previous = slot;
            const int b = slot - 1;
            EXPECT_NE(a, b);
            EXPECT_TRUE(Adjacent(b, a)) << a << " -> " << b << " is one-way";
        }
    }
    EXPECT_EQ(NeighboursOf(29).count, 8);  // Mato Grosso
    const NeighbourList yukon = NeighboursOf(1);
    ASSERT_EQ(yukon.count, 3);
    EXPECT_EQ(yukon.index[0], 0);
    EXPECT_EQ(yukon.index[1], 2);
    EXPECT_EQ(yukon.index[2], 3);
    EXPECT_FALSE(Adjacent(0, 95));  // no Bering link
}

TEST(World, LandGraphComponents) {
    std::set<int> americas = Range(0, 17);
    americas.insert(21);
    for (int i = 23; i <= 35; ++i)
        americas.insert(i);
    std::set<int> oldWorld = Range(36, 70);
    for (int i = 74; i <= 95; ++i)
        oldWorld.insert(i);
    std::set<std::set<int>> expected = {americas, {18, 19, 20}, oldWorld, Range(99, 103)};
    for (int lone : {22, 71, 72, 73, 96, 97, 98}) {
        expected.insert({lone});
        EXPECT_EQ(NeighboursOf(lone).count, 0) << lone;
    }
    EXPECT_EQ(Components(), expected);
}

TEST(World, ExactlySevenLinksCrossContinents) {
    std::set<std::pair<int, int>> crossing;
    for (int a = 0; a < TerritoryCount; ++a) {
        const NeighbourList list = NeighboursOf(a);
        for (int i = 0; i < list.count; ++i) {
            const int b = list.index[static_cast<size_t>(i)];
            if (a < b && ContinentOf(a) != ContinentOf(b))
                crossing.insert({a, b});
        }
    }
    const std::set<std::pair<int, int>> expected = {{21, 23}, {47, 53}, {55, 57}, {57, 59},
                                                    {57, 62}, {62, 63}, {63, 74}};
    EXPECT_EQ(crossing, expected);
}

TEST(World, InlandTerritories) {
    const std::set<int> inland = {5,  9,  14, 25, 28, 29, 33, 42, 45, 50, 59, 60,
                                  62, 75, 76, 77, 78, 81, 82, 83, 87, 88, 89};
    for (int i = 0; i < TerritoryCount; ++i) {
        EXPECT_EQ(TerritoryAt(i)->coastal, inland.count(i) ? 0 : 1) << i;
    }
}

TEST(World, NamesAndPositions) {
    EXPECT_STREQ(TerritoryAt(0)->name, "Alaska");
    EXPECT_STREQ(TerritoryAt(5)->name, "Gde Plaines");
    EXPECT_STREQ(TerritoryAt(6)->name, "C\xF4te Ouest");
    EXPECT_STREQ(TerritoryAt(22)->name, "Jama\xEFque");
    EXPECT_STREQ(TerritoryAt(49)->name, "C\xF4te d'Ivoire");
    EXPECT_STREQ(TerritoryAt(73)->name, "Madagascrar");
    EXPECT_STREQ(TerritoryAt(74)->name, "Nvlle Zemble");
    EXPECT_STREQ(TerritoryAt(75)->name, "Sib\xE9rie Occidentale");
    EXPECT_STREQ(TerritoryAt(98)->name,
                 "Nvlle Guin\xE9"
                 "e");
    EXPECT_STREQ(TerritoryAt(103)->name, "Queensland");
    int minX = 10000, maxX = 0, minY = 10000, maxY = 0;
    for (int i = 0; i < TerritoryCount; ++i) {
        minX = std::min(minX, TerritoryAt(i)->x);
        maxX = std::max(maxX, TerritoryAt(i)->x);
        minY = std::min(minY, TerritoryAt(i)->y);
        maxY = std::max(maxY, TerritoryAt(i)->y);
    }
    EXPECT_EQ(minX, 39);
    EXPECT_EQ(maxX, 1177);
    EXPECT_EQ(minY, 31);
    EXPECT_EQ(maxY, 596);
    EXPECT_EQ(TerritoryAt(95)->x, 1177);
    EXPECT_EQ(TerritoryAt(95)->y, 89);
}

TEST(World, NamesakesAndStartingTerritories) {
    const std::array<int, NationCount> namesakes = {55, 47, 22, 13, 69, 91, 96, 102};
    std::set<int> starts;
    for (int n = 0; n < NationCount; ++n) {
        EXPECT_EQ(StartingTerritory(n), namesakes[static_cast<size_t>(n)] + 1) << n;
        starts.insert(StartingTerritory(n));
    }
    EXPECT_EQ(starts.size(), 8u);
    EXPECT_STREQ(TerritoryAt(13)->name, "Etats-Unis");
    EXPECT_STREQ(TerritoryAt(91)->name, "Russie");
    EXPECT_EQ(StartingTerritory(-1), 103);
    EXPECT_EQ(StartingTerritory(8), 103);
    EXPECT_EQ(StartingTerritory(127), 103);
}
