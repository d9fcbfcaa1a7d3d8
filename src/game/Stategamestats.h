// What the statistics panel's "Revenus", "Objectif" and "Guerres" tabs show: the figures and
// texts built from the campaign, kept until what they show changes, and where their charts
// stand in the panel.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "game/Game.h"

namespace torvane {

// A chart shows at most the last sixteen years.
inline constexpr int kStatsChartBars = 16;
// Lines under the "Guerres" table: the year's battles, then the missions of the player's.
inline constexpr int kStatsEventLines = 10;
inline constexpr int kStatsBattleLines = 6;

// One figure per year, oldest first.
struct StatsChart {
    int count = 0;
    std::array<int32_t, kStatsChartBars> values{};
    int32_t firstYear = 0;     // the year of the first bar; each next bar is one year later
    int32_t highest = 0;       // the greatest value, 0 without bars
    int highestIndex = -1;     // the first bar that holds it
    std::string firstLabel;    // the year under the first bar
    std::string lastLabel;     // the year under the last bar (empty with one bar)
    std::string highestLabel;  // the greatest value, written over its bar
};

// A chart's place in the panel, from the panel's top-left corner: bars stand on `bottom` and
// reach `top` at the top of the scale; the width is shared in at least `minSlots` slots.
struct StatsChartArea {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t bottom = 0;
    int32_t minSlots = 1;
};
inline constexpr StatsChartArea kIncomeChartArea{70, 160, 390, 276, 8};
inline constexpr StatsChartArea kProgressChartArea{36, 200, 200, 276, 5};

struct StatsBar {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};
// Bar `index` of `chart` drawn on a scale where `scale` fills the area's height, in its slot from
// the left; a bar is never lower than 2 pixels so that a year without anything still shows.
StatsBar ChartBar(const StatsChart& chart, int32_t scale, const StatsChartArea& area, int index);

// "Objectif": one player's way towards its own objective (never named here).
struct StatsPlayerLine {
    int8_t nation = -1;
    int32_t percent = 0;
    bool eliminated = false;
    std::string name;
    std::string nationName;
    std::string percentText;  // "45 %", or "\xE9limin\xE9"
};

// "Guerres": one nation's year.
struct StatsWarRow {
    int8_t nation = -1;
    int32_t battles = 0;  // fought as attacker
    int32_t won = 0;      // of those, the ones that took the territory
    int32_t taken = 0;    // the ledger's conquests
    int32_t lost = 0;     // territories taken from it, or roused against it
    std::string name;
    std::array<std::string, 4> figures;
};

struct StatsFigures {
    // Shown in a chart before the first year has ended.
    std::string noYearText;

    // "Revenus"
    int32_t treasury = 0;
    int32_t income = 0;
    std::string treasuryText;  // "Trésor : 133 000"
    std::string incomeText;    // "Revenu : 33 000"
    std::string incomeHeading;
    StatsChart incomes;

    // "Objectif"
    int32_t percent = 0;
    std::string objectiveTitle;
    std::string objectiveDescription;  // wrapped
    std::string percentText;           // "Réalisé : 45 %"
    std::string progressHeading;
    StatsChart progress;
    std::string playersHeading;
    int playerCount = 0;
    std::array<StatsPlayerLine, NationCount> players;

    // "Guerres"
    int32_t warYear = 0;  // the year of the newest report, 0 without one
    int battleCount = 0;
    std::string warHeading;  // "Guerres de 1870"
    std::string warSummary;  // "2 batailles, 1 territoire pris"
    std::array<std::string, 5> columns;
    int rowCount = 0;
    std::array<StatsWarRow, NationCount> rows;
    int eventCount = 0;
    std::array<std::string, kStatsEventLines> events;  // battles first, then missions
};

}  // namespace torvane
