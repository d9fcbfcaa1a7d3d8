// The player record every participant publishes about itself, and the 28-byte territory entry.
#include "network/Playerinfo.h"

#include <algorithm>
#include <cstring>

namespace torvane {
namespace {

void Put32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
    out[2] = static_cast<uint8_t>(value >> 16);
    out[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t Get32(const uint8_t* in) {
    return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
           (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
}

int32_t GetInt32(const uint8_t* in) {
    return static_cast<int32_t>(Get32(in));
}

}  // namespace

std::string PlayerInfo::Name() const {
    const auto end = std::find(name.begin(), name.end(), '\0');
    return std::string(name.begin(), end);
}

void PlayerInfo::SetName(std::string_view text) {
    name.fill('\0');
    const size_t length = std::min(text.size(), kPlayerNameSize - 1);
    std::copy_n(text.begin(), length, name.begin());
}

void Initialise(PlayerInfo& record) {
    record = PlayerInfo{};
}

void EncodeTerritory(const TerritoryInfo& entry, std::span<uint8_t, kTerritoryInfoSize> out) {
    uint8_t* p = out.data();
    std::memset(p, 0, kTerritoryInfoSize);
    p[0] = static_cast<uint8_t>(entry.owner);
    Put32(p + 4, static_cast<uint32_t>(entry.wealth));
    p[8] = entry.fortified;
    p[9] = entry.improved;
    Put32(p + 12, static_cast<uint32_t>(entry.army));
    Put32(p + 16, static_cast<uint32_t>(entry.reserve));
    Put32(p + 20, static_cast<uint32_t>(entry.ownerOnlyA));
    Put32(p + 24, static_cast<uint32_t>(entry.ownerOnlyB));
}

TerritoryInfo DecodeTerritory(std::span<const uint8_t, kTerritoryInfoSize> in) {
    const uint8_t* p = in.data();
    TerritoryInfo entry;
    entry.owner = static_cast<int8_t>(p[0]);
    entry.wealth = GetInt32(p + 4);
    entry.fortified = p[8];
    entry.improved = p[9];
    entry.army = GetInt32(p + 12);
    entry.reserve = GetInt32(p + 16);
    entry.ownerOnlyA = GetInt32(p + 20);
    entry.ownerOnlyB = GetInt32(p + 24);
    return entry;
}

void EncodeTable(const TerritoryTable& table, std::span<uint8_t, kTerritoryTableSize> out) {
    for (size_t i = 0; i < table.size(); ++i) {
        EncodeTerritory(table[i], out.subspan(i * kTerritoryInfoSize).first<kTerritoryInfoSize>());
    }
}

bool DecodeTable(std::span<const uint8_t> in, TerritoryTable& table) {
    if (in.size() != kTerritoryTableSize)
        return false;
    for (size_t i = 0; i < table.size(); ++i) {
        table[i] = DecodeTerritory(in.subspan(i * kTerritoryInfoSize).first<kTerritoryInfoSize>());
    }
    return true;
}

void EncodePlayer(const PlayerInfo& record, std::span<uint8_t, kPlayerInfoSize> out) {
    uint8_t* p = out.data();
    std::memset(p, 0, kPlayerInfoSize);
    std::memcpy(p, record.name.data(), kPlayerNameSize);
    p[kPlayerNameSize - 1] = 0;
    Put32(p + 12, static_cast<uint32_t>(record.playerId));
    p[16] = static_cast<uint8_t>(record.nation);
    p[17] = static_cast<uint8_t>(record.government);
    Put32(p + 20, static_cast<uint32_t>(record.reservedWord));
    p[24] = static_cast<uint8_t>(record.reservedByteA);
    p[25] = static_cast<uint8_t>(record.reservedByteB);
    for (size_t i = 0; i < record.reservedPerNation.size(); ++i) {
        p[26 + i] = static_cast<uint8_t>(record.reservedPerNation[i]);
    }
    p[34] = static_cast<uint8_t>(record.objective);
    EncodeTable(record.territories, out.subspan<36, kTerritoryTableSize>());
    Put32(p + 2948, record.syncStatus);
}

std::array<uint8_t, kPlayerInfoSize> EncodePlayer(const PlayerInfo& record) {
    std::array<uint8_t, kPlayerInfoSize> bytes;
    EncodePlayer(record, std::span<uint8_t, kPlayerInfoSize>(bytes));
    return bytes;
}

bool DecodePlayer(std::span<const uint8_t> in, PlayerInfo& record) {
    if (in.size() != kPlayerInfoSize)
        return false;
    const uint8_t* p = in.data();
    PlayerInfo decoded;
    std::memcpy(decoded.name.data(), p, kPlayerNameSize);
    decoded.name[kPlayerNameSize - 1] = '\0';
    decoded.playerId = GetInt32(p + 12);
    decoded.nation = static_cast<int8_t>(p[16]);
    decoded.government = static_cast<int8_t>(p[17]);
    decoded.reservedWord = GetInt32(p + 20);
    decoded.reservedByteA = static_cast<int8_t>(p[24]);
    decoded.reservedByteB = static_cast<int8_t>(p[25]);
    for (size_t i = 0; i < decoded.reservedPerNation.size(); ++i) {
        decoded.reservedPerNation[i] = static_cast<int8_t>(p[26 + i]);
    }
    decoded.objective = static_cast<int8_t>(p[34]);
    DecodeTable(in.subspan(36, kTerritoryTableSize), decoded.territories);
    decoded.syncStatus = Get32(p + 2948);
    record = decoded;
    return true;
}

}  // namespace torvane
