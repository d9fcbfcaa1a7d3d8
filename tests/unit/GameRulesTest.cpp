// The game screen's pure rules: years and phases, the sliding panels, line breaking, the ring of
// players and the dealing of the world and the objectives.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "campaign/Gamerules.h"
#include "game/Random.h"

using namespace torvane;

namespace {

TEST(YearArithmetic, YearsRunTwentyTwoStatusesFromStatusFour) {
    EXPECT_EQ(YearOf(4), 1870);
    EXPECT_EQ(YearOf(5), 1870);
    EXPECT_EQ(YearOf(25), 1870);
    EXPECT_EQ(YearOf(26), 1871);
    EXPECT_EQ(YearOf(47), 1871);
    EXPECT_EQ(YearOf(48), 1872);
    // The first game phase still counts as 1870 (the division truncates towards zero).
    EXPECT_EQ(YearOf(2), 1870);
    EXPECT_EQ(YearOf(3), 1870);
    // The largest status a peer can publish does not overflow.
    EXPECT_EQ(YearOf(0xFFFFFFFFu), 1870 + (0xFFFFFFFEll - 4) / 22);
}

TEST(YearArithmetic, PhasesOfTheYearFollowTheTable) {
    const std::map<uint32_t, int32_t> expected = {
        {4, 0},  {6, 1},  {8, 2},  {10, 2}, {12, 3}, {14, 3},
        {16, 4}, {18, 4}, {20, 5}, {22, 5}, {24, 6},
    };
    for (const auto& [status, phase] : expected) {
        EXPECT_EQ(PhaseOfYear(status), phase) << status;
        // The ready bit changes nothing.
        EXPECT_EQ(PhaseOfYear(status + 1), phase) << status + 1;
        // Every year repeats the same phases.
        EXPECT_EQ(PhaseOfYear(status + 22), phase) << status + 22;
    }
    EXPECT_EQ(PhaseOfYear(2), -1);
    EXPECT_EQ(PhaseOfYear(3), -1);
    EXPECT_EQ(PhaseOfYear(26), 0);
}

TEST(SlidingPanels, CentreAPictureOnTheScreen) {
    EXPECT_EQ(PanelX(400), 120);
    EXPECT_EQ(PanelX(105), 268);  // halves truncate
    EXPECT_EQ(CentredY(305), 88);
    EXPECT_EQ(CentredY(280), 100);
}

TEST(SlidingPanels, FirstStepIsEightPercentOfTheDistanceInSixteenMilliseconds) {
    const float first = Slide(kHiddenPanelY, true, 305, 16);
    EXPECT_NEAR(first, -400.0f + 0.08f * (88.0f + 400.0f), 0.01f);
    // Hidden and at rest: nothing moves.
    EXPECT_EQ(Slide(kHiddenPanelY, false, 305, 16), kHiddenPanelY);
    // No time, no motion.
    EXPECT_EQ(Slide(-100.0f, true, 305, 0), -100.0f);
}

TEST(SlidingPanels, ComesToRestAtItsCentredPositionAndLeavesAgain) {
    float y = kHiddenPanelY;
    for (int frame = 0; frame < 2000; ++frame)
        y = Slide(y, true, 305, 16);
    EXPECT_NEAR(y, 88.0f, 1.0f);
    EXPECT_LE(y, 88.0f);
    const float rest = y;
    EXPECT_EQ(Slide(rest, true, 305, 16), rest);
    for (int frame = 0; frame < 2000; ++frame)
        y = Slide(y, false, 305, 16);
    EXPECT_NEAR(y, kHiddenPanelY, 1.0f);
    EXPECT_GE(y, kHiddenPanelY);
}

TEST(SlidingPanels, LeavingStartsAsFastAsArriving) {
    EXPECT_NEAR(Slide(88.0f, false, 305, 16), 88.0f - 0.08f * 488.0f, 0.01f);
    // Within one pixel of its target a panel stays where it is.
    EXPECT_EQ(Slide(87.5f, true, 305, 16), 87.5f);
    EXPECT_EQ(Slide(-399.5f, false, 305, 16), -399.5f);
}

TEST(SlidingPanels, ALongFrameNeverThrowsThePanelPastItsTarget) {
    // 600 ms would be a step of three times the distance.
    EXPECT_EQ(Slide(0.0f, false, 305, 600), kHiddenPanelY);
    EXPECT_EQ(Slide(kHiddenPanelY, true, 305, 600), 88.0f);
    // Below its centred place a shown panel is pulled back up at once.
    EXPECT_EQ(Slide(300.0f, true, 305, 16), 88.0f);
}

TEST(LineBreaking, ShortTextsStayOnOneLine) {
    EXPECT_EQ(WrapText("", 43), "");
    const std::string exact(43, 'x');
    EXPECT_EQ(WrapText(exact, 43), exact);
    // A description of 33 characters with its ten-space indent is one line.
    const std::string indented = std::string(10, ' ') + std::string(33, 'd');
    EXPECT_EQ(WrapText(indented, 43), indented);
}

TEST(LineBreaking, BreaksAtTheLastSpaceWithinTheWidthAndDropsIt) {
    EXPECT_EQ(WrapText("aaa bbb ccc", 8), "aaa bbb\nccc");
    // A space right after a full line is not among its characters.
    EXPECT_EQ(WrapText("aaa bbb ccc", 7), "aaa\nbbb ccc");
    EXPECT_EQ(WrapText("aaa bbb ccc", 6), "aaa\nbbb\nccc");
    EXPECT_EQ(WrapText("one two three four", 9), "one two\nthree\nfour");
}

TEST(LineBreaking, AWordLongerThanTheWidthIsCutAtTheWidth) {
    EXPECT_EQ(WrapText("abcdefghij", 4), "abcd\nefgh\nij");
    EXPECT_EQ(WrapText("ab abcdefghij", 4), "ab\nabcd\nefgh\nij");
    // A space just past the width is not reached: the word is cut.
    EXPECT_EQ(WrapText("abcde fg", 4), "abcd\ne fg");
    // No width at all gives the text back rather than looping.
    EXPECT_EQ(WrapText("abc def", 0), "abc def");
}

TEST(LineBreaking, EveryLineOfTheLongestDescriptionFits) {
    const std::string text =
        "          Pour gagner, vous devez poss\xE9"
        "der le pays (fotifi\xE9 et am\xE9lior\xE9) le plus riche et le plus arm\xE9 de "
        "chaque continent (hormis les capitales)";
    const std::string wrapped = WrapText(text, 43);
    size_t start = 0;
    int lines = 0;
    std::string joined;
    while (start <= wrapped.size()) {
        const size_t end = std::min(wrapped.find('\n', start), wrapped.size());
        const std::string line = wrapped.substr(start, end - start);
        EXPECT_LE(line.size(), 43u) << line;
        joined += (lines ? " " : "") + line;
        ++lines;
        start = end + 1;
    }
    EXPECT_EQ(lines, 4);
    // Only the breaking spaces were replaced.
    EXPECT_EQ(joined, text);
}

TEST(PlayerRing, SeatsForOneToFourPlayers) {
    EXPECT_EQ(RingPosition(0, 1), (RingPoint{320, 50}));

    EXPECT_EQ(RingPosition(0, 2), (RingPoint{320, 430}));
    EXPECT_EQ(RingPosition(1, 2), (RingPoint{320, 50}));

    EXPECT_EQ(RingPosition(0, 3), (RingPoint{565, 385}));
    EXPECT_EQ(RingPosition(1, 3), (RingPoint{75, 410}));
    EXPECT_EQ(RingPosition(2, 3), (RingPoint{320, 50}));

    EXPECT_EQ(RingPosition(0, 4), (RingPoint{565, 240}));
    EXPECT_EQ(RingPosition(1, 4), (RingPoint{320, 430}));
    EXPECT_EQ(RingPosition(2, 4), (RingPoint{75, 265}));
    EXPECT_EQ(RingPosition(3, 4), (RingPoint{320, 50}));
}

TEST(PlayerRing, EightSeatsRunClockwiseAroundTheScreen) {
    // Top right, right side, bottom, left side, top left.
    EXPECT_EQ(RingPosition(0, 8), (RingPoint{537, 50}));
    EXPECT_EQ(RingPosition(1, 8), (RingPoint{565, 240}));
    EXPECT_EQ(RingPosition(3, 8), (RingPoint{320, 430}));
    EXPECT_EQ(RingPosition(5, 8), (RingPoint{75, 265}));
    EXPECT_EQ(RingPosition(6, 8), (RingPoint{102, 50}));
    EXPECT_EQ(RingPosition(7, 8), (RingPoint{320, 50}));
    // No players: the one seat there is.
    EXPECT_EQ(RingPosition(0, 0), (RingPoint{320, 50}));
}

// Wealth groups of the dealt world, with their counts and army factors.
struct Group {
    int count;
    float factor;
};
const std::map<int32_t, Group>& Groups() {
    static const std::map<int32_t, Group> groups = {
        {50000, {1, 0.5f}}, {55000, {1, 0.5f}}, {60000, {2, 0.5f}}, {65000, {2, 0.5f}},
        {70000, {2, 0.5f}}, {75000, {3, 0.5f}}, {80000, {3, 1}},    {85000, {3, 1}},
        {90000, {3, 1}},    {95000, {3, 1}},    {100000, {4, 1}},   {105000, {4, 2}},
        {110000, {5, 2}},   {115000, {5, 2}},   {120000, {7, 2}},   {125000, {0, 2}},
        {130000, {7, 2}},   {135000, {5, 2}},   {140000, {5, 2}},   {145000, {4, 2}},
        {150000, {4, 2}},   {155000, {3, 4}},   {160000, {3, 4}},   {165000, {3, 4}},
        {170000, {3, 4}},   {175000, {3, 4}},   {180000, {2, 8}},   {185000, {2, 8}},
        {190000, {2, 8}},   {195000, {1, 10}},  {200000, {1, 10}},
    };
    return groups;
}

void ExpectDealtWorld(const TerritoryTable& table, const std::vector<int8_t>& nations) {
    const int n = static_cast<int>(nations.size());
    std::map<int32_t, int> counts;
    for (int i = 0; i < TerritoryCount; ++i) {
        const TerritoryInfo& entry = table[static_cast<size_t>(i)];
        ASSERT_NE(entry.wealth, 0) << "territory " << i << " was not dealt";
        EXPECT_EQ(entry.fortified, 0);
        EXPECT_EQ(entry.improved, 0);
        EXPECT_EQ(entry.ownerOnlyA, 0);
        EXPECT_EQ(entry.ownerOnlyB, 0);
        ++counts[entry.wealth];
        if (entry.wealth == kCapitalWealth)
            continue;
        EXPECT_EQ(entry.owner, -1) << i;
        EXPECT_EQ(entry.reserve, 0) << i;
        const auto group = Groups().find(entry.wealth);
        ASSERT_NE(group, Groups().end()) << entry.wealth;
        const float factor = group->second.factor;
        EXPECT_GE(entry.army, static_cast<int32_t>(5 * factor)) << entry.wealth;
        EXPECT_LE(entry.army, static_cast<int32_t>(50 * factor)) << entry.wealth;
    }
    EXPECT_EQ(counts[kCapitalWealth], n);
    for (const int8_t nation : nations) {
        const TerritoryInfo& capital = table[static_cast<size_t>(StartingTerritory(nation))];
        EXPECT_EQ(capital.owner, nation);
        EXPECT_EQ(capital.wealth, kCapitalWealth);
        EXPECT_EQ(capital.army, 20);
        EXPECT_EQ(capital.reserve, 5);
    }
    for (const auto& [wealth, group] : Groups()) {
        const int expected = wealth == 125000 ? 8 - n : group.count;
        EXPECT_EQ(counts[wealth], expected) << wealth;
    }
}

TEST(DealingTheWorld, TwoPlayersGetTwoCapitalsAndSixTerritoriesAt125000) {
    RandomSeed(7);
    const std::vector<int8_t> nations = {4, 0};
    const TerritoryTable table = DealMap(nations);
    ExpectDealtWorld(table, nations);
    EXPECT_EQ(std::count_if(table.begin(), table.end(),
                            [](const TerritoryInfo& t) { return t.wealth == 125000; }),
              6);
    // Irak starts on Iran (56), France on Espagne (70).
    EXPECT_EQ(table[56].owner, 0);
    EXPECT_EQ(table[70].owner, 4);
}

TEST(DealingTheWorld, EightPlayersGetEightCapitalsAndNoneAt125000) {
    for (uint64_t seed = 1; seed <= 20; ++seed) {
        RandomSeed(seed);
        const std::vector<int8_t> nations = {7, 6, 5, 4, 3, 2, 1, 0};
        ExpectDealtWorld(DealMap(nations), nations);
    }
}

TEST(DealingTheWorld, ArmiesCoverTheirWholeRangeAndDealsDifferBySeed) {
    std::set<int32_t> halfFactorArmies;
    std::set<int32_t> tenFactorArmies;
    const std::vector<int8_t> nations = {1, 2, 3};
    TerritoryTable first{};
    for (uint64_t seed = 1; seed <= 300; ++seed) {
        RandomSeed(seed);
        const TerritoryTable table = DealMap(nations);
        if (seed == 1)
            first = table;
        for (const TerritoryInfo& t : table) {
            if (t.wealth <= 75000)
                halfFactorArmies.insert(t.army);
            if (t.wealth >= 195000 && t.wealth != kCapitalWealth)
                tenFactorArmies.insert(t.army);
        }
    }
    EXPECT_EQ(*halfFactorArmies.begin(), 2);
    EXPECT_EQ(*halfFactorArmies.rbegin(), 25);
    EXPECT_EQ(*tenFactorArmies.begin(), 50);
    EXPECT_EQ(*tenFactorArmies.rbegin(), 500);
    RandomSeed(2);
    EXPECT_NE(DealMap(nations), first);
    RandomSeed(1);
    EXPECT_EQ(DealMap(nations), first);
}

TEST(DealingTheWorld, ForgedOrSharedNationsStillFillTheWholeWorld) {
    RandomSeed(3);
    // Nation 100 and -1 get no capital; two players holding France share one.
    const std::vector<int8_t> nations = {100, -1, 4, 4};
    const TerritoryTable table = DealMap(nations);
    int capitals = 0;
    for (const TerritoryInfo& t : table) {
        EXPECT_NE(t.wealth, 0);
        EXPECT_TRUE(t.owner == -1 || t.owner == 4);
        capitals += t.wealth == kCapitalWealth;
    }
    EXPECT_EQ(capitals, 1);
    EXPECT_EQ(table[70].owner, 4);
    EXPECT_EQ(std::count_if(table.begin(), table.end(),
                            [](const TerritoryInfo& t) { return t.wealth == 125000; }),
              7);
}

TEST(DealingObjectives, MondeDealsWorldConquestToEverybody) {
    RandomSeed(11);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(DealObjective(false, 5), 0);
}

TEST(DealingObjectives, PersonaliseDealsOneToFourAndNeverWorldConquest) {
    RandomSeed(12);
    std::set<int> seen;
    for (int i = 0; i < 400; ++i) {
        const int objective = DealObjective(true, 5);
        EXPECT_GE(objective, 1);
        EXPECT_LE(objective, 4);
        seen.insert(objective);
    }
    EXPECT_EQ(seen, (std::set<int>{1, 2, 3, 4}));
}

}  // namespace
