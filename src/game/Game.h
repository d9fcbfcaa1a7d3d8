// The world of 104 territories, the eight nations, the three governments and their texts.
// All text is Windows-1252.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace torvane {

inline constexpr int TerritoryCount = 104;
inline constexpr int NationCount = 8;
inline constexpr int GovernmentCount = 3;
inline constexpr int ContinentCount = 6;

enum Continent : int32_t {
    NorthAmerica = 0,
    SouthAmerica = 1,
    Africa = 2,
    Europe = 3,
    Asia = 4,
    Oceania = 5,
};

// One row of the world table.
struct Territory {
    int32_t x;  // map position in pixels
    int32_t y;
    int32_t coastal;                    // 1 on the sea (every island), 0 inland
    std::array<int32_t, 8> neighbours;  // neighbour index + 1, 0 = empty; used slots first
    const char* name;
    int32_t continent;
};

// The territory at `index` (0..103); indexes outside the world yield nullptr.
const Territory* TerritoryAt(int index);

// The continent of a territory, or -1 for an index outside the world.
int ContinentOf(int index);

// Land neighbours of a territory as indexes, in ascending order.
struct NeighbourList {
    std::array<int, 8> index{};
    int count = 0;
};
NeighbourList NeighboursOf(int index);

// Nations, index 0..7.
struct Nation {
    const char* name;  // display name
    const char* stem;  // art file stem
    const char* demonym;
    uint32_t colour;  // ARGB
    int startingTerritory;
};
const Nation* NationAt(int index);  // nullptr outside 0..7

std::string NationName(int index);          // "En cours..." outside 0..7
uint32_t NationColour(int index);           // grey outside 0..7
int StartingTerritory(int index);           // 103 outside 0..6
std::string NationFlagPath(int index);      // "..\Ressources\Graphics\Pays\<stem>.png"
std::string NationPortraitPath(int index);  // "..\Ressources\Graphics\Personnage\<stem>.png"

// Governments, index 0..2.
struct Government {
    const char* name;
    const char* description;  // two lines joined by CR LF
    int32_t revenueBonus;     // percent
    int32_t armyValue;
    int32_t boatValue;
    int32_t espionageValue;
    int32_t counterEspionageMin;  // percent
    int32_t counterEspionageMax;  // percent
    uint8_t scandal;
    uint8_t shootOnSight;
    uint8_t propaganda;
    uint8_t reserved;
};
const Government* GovernmentAt(int index);  // nullptr outside 0..2

std::string GovernmentName(int index);                           // "En cours..." outside 0..2
std::string GovernmentEmblemPath(int index, bool lobbyPicture);  // .png, or .jpg for the lobby

// "<leader title> des <demonym>", e.g. "Président des irakiens", "Titre des peuple".
std::string LeaderTitle(int nation, int government);

// Digits grouped by three with one space: 1234567 -> "1 234 567"; below 1000 unchanged.
std::string FormatAmount(int32_t amount);

// The government figures as the lobby shows them.
std::string RevenueText(const Government& government);           // "+10%"
std::string CounterEspionageText(const Government& government);  // "0% - 30%"
std::string AbilitiesText(const Government& government);         // "Scandale & Propagande"

}  // namespace torvane
