// The player record and territory entry: initial values and byte-exact wire layouts.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "network/Playerinfo.h"

using namespace torvane;

namespace {

uint32_t Read32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

TEST(PlayerRecord, FreshRecord) {
    PlayerInfo record;
    record.nation = 3;
    record.syncStatus = 7;
    record.territories[5].army = 9;
    Initialise(record);
    EXPECT_EQ(record.Name(), "");
    EXPECT_EQ(record.playerId, 0);
    EXPECT_EQ(record.nation, -1);
    EXPECT_EQ(record.government, -1);
    EXPECT_EQ(record.objective, -1);
    EXPECT_EQ(record.reservedByteA, -1);
    EXPECT_EQ(record.reservedByteB, -1);
    for (int8_t v : record.reservedPerNation)
        EXPECT_EQ(v, -1);
    EXPECT_EQ(record.Phase(), 0u);
    EXPECT_FALSE(record.IsReady());
    for (const TerritoryInfo& t : record.territories) {
        EXPECT_EQ(t.owner, -1);
        EXPECT_EQ(t.wealth, 0);
        EXPECT_EQ(t.army, 0);
        EXPECT_EQ(t.reserve, 0);
        EXPECT_EQ(t.fortified, 0);
        EXPECT_EQ(t.improved, 0);
    }
}

TEST(PlayerRecord, StatusBits) {
    PlayerInfo record;
    record.syncStatus = 5;
    EXPECT_EQ(record.Phase(), 2u);
    EXPECT_TRUE(record.IsReady());
}

TEST(PlayerRecord, NameIsCutToTenCharacters) {
    PlayerInfo record;
    record.SetName("Bartholomew the Great");
    EXPECT_EQ(record.Name(), "Bartholome");
    const auto bytes = EncodePlayer(record);
    EXPECT_EQ(std::memcmp(bytes.data(), "Bartholome", 10), 0);
    EXPECT_EQ(bytes[10], 0);
    record.SetName("Zo\xE9");
    EXPECT_EQ(record.Name(), "Zo\xE9");
}

TEST(PlayerRecord, WireLayoutOffsets) {
    PlayerInfo record;
    record.SetName("Anonymous");
    record.playerId = 0x11223344;
    record.nation = 7;
    record.government = 2;
    record.reservedWord = -2;
    record.objective = -2;
    record.territories[0].owner = 4;
    record.territories[0].wealth = 300000;
    record.territories[0].fortified = 1;
    record.territories[0].improved = 2;
    record.territories[0].army = -20;
    record.territories[0].reserve = 5;
    record.territories[0].ownerOnlyA = 6;
    record.territories[0].ownerOnlyB = 7;
    record.territories[103].army = 0x0A0B0C0D;
    record.syncStatus = 0xCAFEBABE;

    const auto bytes = EncodePlayer(record);
    ASSERT_EQ(bytes.size(), 2952u);
    EXPECT_EQ(Read32(&bytes[12]), 0x11223344u);
    EXPECT_EQ(bytes[16], 7);
    EXPECT_EQ(bytes[17], 2);
    EXPECT_EQ(Read32(&bytes[20]), 0xFFFFFFFEu);
    EXPECT_EQ(bytes[24], 0xFF);
    EXPECT_EQ(bytes[25], 0xFF);
    for (int i = 26; i < 34; ++i)
        EXPECT_EQ(bytes[static_cast<size_t>(i)], 0xFF) << i;
    EXPECT_EQ(bytes[34], 0xFE);
    // Territory 0 at offset 36.
    EXPECT_EQ(bytes[36], 4);
    EXPECT_EQ(Read32(&bytes[40]), 300000u);
    EXPECT_EQ(bytes[44], 1);
    EXPECT_EQ(bytes[45], 2);
    EXPECT_EQ(Read32(&bytes[48]), static_cast<uint32_t>(-20));
    EXPECT_EQ(Read32(&bytes[52]), 5u);
    EXPECT_EQ(Read32(&bytes[56]), 6u);
    EXPECT_EQ(Read32(&bytes[60]), 7u);
    // Territory 103 at 36 + 28 * 103; its army at +12.
    EXPECT_EQ(Read32(&bytes[36 + 28 * 103 + 12]), 0x0A0B0C0Du);
    EXPECT_EQ(bytes[36 + 28 * 1], 0xFF);  // territory 1 owner -1
    EXPECT_EQ(Read32(&bytes[2948]), 0xCAFEBABEu);
    // Padding is written as zero.
    for (int offset : {11, 18, 19, 35, 37, 38, 39, 46, 47}) {
        EXPECT_EQ(bytes[static_cast<size_t>(offset)], 0) << offset;
    }
}

TEST(PlayerRecord, RoundTrip) {
    PlayerInfo record;
    record.SetName("Marie");
    record.playerId = 42;
    record.nation = 1;
    record.government = 0;
    record.syncStatus = 3;
    for (int i = 0; i < TerritoryCount; ++i) {
        record.territories[static_cast<size_t>(i)].owner = static_cast<int8_t>(i % 9 - 1);
        record.territories[static_cast<size_t>(i)].wealth = i * 5000;
        record.territories[static_cast<size_t>(i)].army = i * 3 - 50;
    }
    const auto bytes = EncodePlayer(record);
    PlayerInfo decoded;
    ASSERT_TRUE(DecodePlayer(bytes, decoded));
    EXPECT_EQ(decoded, record);
}

TEST(PlayerRecord, DecodeRefusesWrongSizes) {
    PlayerInfo record;
    record.nation = 5;
    std::vector<uint8_t> shortData(2951, 0);
    EXPECT_FALSE(DecodePlayer(shortData, record));
    std::vector<uint8_t> longData(2953, 0);
    EXPECT_FALSE(DecodePlayer(longData, record));
    EXPECT_FALSE(DecodePlayer({}, record));
    EXPECT_EQ(record.nation, 5);  // untouched
}

TEST(PlayerRecord, NameWithoutZeroByteIsCut) {
    std::vector<uint8_t> bytes(2952, 'A');
    PlayerInfo record;
    ASSERT_TRUE(DecodePlayer(bytes, record));
    EXPECT_EQ(record.Name(), "AAAAAAAAAA");
    EXPECT_EQ(record.name[10], '\0');
    // Whatever arrives, a decoded nation byte of 0x41 is just a number the screens must check.
    EXPECT_EQ(record.nation, 0x41);
}

TEST(TerritoryEntry, LayoutAndOwnerSign) {
    std::array<uint8_t, kTerritoryInfoSize> bytes{};
    bytes[0] = 255;
    bytes[4] = 0x50;
    bytes[5] = 0xC3;  // 50000
    const TerritoryInfo entry = DecodeTerritory(bytes);
    EXPECT_EQ(entry.owner, -1);
    EXPECT_EQ(entry.wealth, 50000);
    bytes[0] = 200;
    EXPECT_LT(DecodeTerritory(bytes).owner, 0);
}

TEST(TerritoryEntry, TableRoundTripAndSize) {
    TerritoryTable table{};
    table[10].owner = 3;
    table[10].wealth = 125000;
    table[50].army = 400;
    std::array<uint8_t, kTerritoryTableSize> bytes{};
    EncodeTable(table, bytes);
    EXPECT_EQ(kTerritoryTableSize, 2912u);
    TerritoryTable decoded{};
    ASSERT_TRUE(DecodeTable(bytes, decoded));
    EXPECT_EQ(decoded, table);
    EXPECT_FALSE(DecodeTable(std::span<const uint8_t>(bytes.data(), 2911), decoded));
}
