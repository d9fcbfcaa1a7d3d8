// Whole campaigns played by computer players in one process, exactly as a host runs them: the
// deal, the objectives, then year after year the income, the purchases, the moves, the missions
// and the year's end, until a nation wins or the years run out. The balance of the rules is
// measured with it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "campaign/Campaign.h"
#include "campaign/Computer.h"

namespace torvane {

struct SimulationSetup {
    uint64_t seed = 1;
    int players = 4;  // 1..8 distinct nations
    ComputerLevel level = ComputerLevel::Medium;
    int maxYears = 60;
    bool keepTables = false;  // keep every year's table in the result
};

struct SimulatedGame {
    std::vector<int8_t> nations;  // in the order of the players' table
    Governments governments{};
    std::array<int8_t, NationCount> objectives{};
    uint8_t winners = 0;        // bit n = nation n; 0 when the years ran out
    bool lastStanding = false;  // won as the last nation owning territory
    int years = 0;              // years played
    int64_t orders = 0;         // orders given by the computer players
    int64_t refused = 0;        // of which the rules refused
    int64_t battles = 0;
    std::array<int32_t, NationCount> progress{};  // each nation's objective at the end, in %
    std::vector<TerritoryTable> tables;           // the deal, then each year's table (keepTables)
};

// Plays one game from `setup.seed`: the game's generator is seeded with it, then the nations,
// their governments, the world and the objectives are dealt from it, and the battles and
// missions drawn from it.
SimulatedGame SimulateGame(const SimulationSetup& setup);

}  // namespace torvane
