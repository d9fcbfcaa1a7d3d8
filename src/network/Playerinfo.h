// The player record every participant publishes about itself, and the 28-byte territory entry.
//
// Wire layouts (little-endian; padding bytes are written as zero and ignored when read):
//
//   PlayerInfo, 2952 bytes                 TerritoryInfo, 28 bytes
//   0     11  name, zero-terminated          0   1  owner (int8, negative = nobody)
//   11     1  padding                        1   3  padding
//   12     4  playerId (int32)               4   4  wealth (int32)
//   16     1  nation (int8)                  8   1  fortified (uint8)
//   17     1  government (int8)              9   1  improved (uint8)
//   18     2  padding                        10  2  padding
//   20     4  reservedWord (int32)           12  4  army (int32)
//   24     1  reservedByteA (int8)           16  4  reserve (int32)
//   25     1  reservedByteB (int8)           20  4  ownerOnlyA (int32)
//   26     8  reservedPerNation (8 x int8)   24  4  ownerOnlyB (int32)
//   34     1  objective (int8)
//   35     1  padding
//   36  2912  territories (104 x 28)
//   2948   4  syncStatus (uint32): bit 0 ready, the rest / 2 the phase
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "game/Game.h"

namespace torvane {

inline constexpr size_t kTerritoryInfoSize = 28;
inline constexpr size_t kTerritoryTableSize = kTerritoryInfoSize * TerritoryCount;  // 2912
inline constexpr size_t kPlayerInfoSize = 2952;
inline constexpr size_t kPlayerNameSize = 11;  // ten characters and the zero byte
// reservedByteA of a computer player's record (torvane-bot); -1 for a person.
inline constexpr int8_t kComputerPlayerMark = 1;

struct TerritoryInfo {
    int8_t owner = -1;
    int32_t wealth = 0;
    uint8_t fortified = 0;
    uint8_t improved = 0;
    int32_t army = 0;
    int32_t reserve = 0;
    int32_t ownerOnlyA = 0;
    int32_t ownerOnlyB = 0;

    bool operator==(const TerritoryInfo&) const = default;
};

using TerritoryTable = std::array<TerritoryInfo, TerritoryCount>;

struct PlayerInfo {
    std::array<char, kPlayerNameSize> name{};  // Windows-1252, always zero-terminated
    int32_t playerId = 0;
    int8_t nation = -1;
    int8_t government = -1;
    int32_t reservedWord = 0;
    int8_t reservedByteA = -1;
    int8_t reservedByteB = -1;
    std::array<int8_t, 8> reservedPerNation = {-1, -1, -1, -1, -1, -1, -1, -1};
    int8_t objective = -1;  // lobby (host): -1 "Monde", -2 "Personnalisé"; game: dealt number
    TerritoryTable territories{};
    uint32_t syncStatus = 0;

    bool operator==(const PlayerInfo&) const = default;

    // The name as text, up to its zero byte.
    std::string Name() const;
    // Stores the first ten characters of `text` and the zero byte.
    void SetName(std::string_view text);

    bool IsReady() const { return (syncStatus & 1u) != 0; }
    bool IsComputer() const { return reservedByteA == kComputerPlayerMark; }
    uint32_t Phase() const { return syncStatus >> 1; }
};

// Sets every field to its initial value.
void Initialise(PlayerInfo& record);

// Byte-exact encoding of the records.
void EncodeTerritory(const TerritoryInfo& entry, std::span<uint8_t, kTerritoryInfoSize> out);
TerritoryInfo DecodeTerritory(std::span<const uint8_t, kTerritoryInfoSize> in);

void EncodeTable(const TerritoryTable& table, std::span<uint8_t, kTerritoryTableSize> out);
// False (and `table` untouched) unless `in` holds exactly one table.
bool DecodeTable(std::span<const uint8_t> in, TerritoryTable& table);

void EncodePlayer(const PlayerInfo& record, std::span<uint8_t, kPlayerInfoSize> out);
std::array<uint8_t, kPlayerInfoSize> EncodePlayer(const PlayerInfo& record);
// False (and `record` untouched) unless `in` holds exactly 2952 bytes. A name without its zero
// byte is cut to ten characters.
bool DecodePlayer(std::span<const uint8_t> in, PlayerInfo& record);

}  // namespace torvane
