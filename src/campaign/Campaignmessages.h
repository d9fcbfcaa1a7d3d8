// The campaign's game messages: the host's state, report and end of the game, and the players'
// orders. Every layout is bounded and little-endian; every decoder refuses a message that is
// short, long, or holds a value outside its range, and then leaves its output untouched.
//
//   4 state   0x04 | u32 status | 104 x 28-byte territory entries | 24 x i32 ledger
//             (rows in order: treasury, income, conquests, eight nations each)
//             | 4 x u64 the host's generator (zeros: not given)                        3045 bytes
//   5 orders  0x05 | u32 status | i8 nation | u8 count (<= 128)
//             | count x { u8 kind | u8 from | u8 to | u8 zero | i32 amount }      7 + 8 x count
//   6 report  0x06 | u32 status | u16 battles (<= 832) | u8 missions (<= 8)
//             | battles x { i8 attacker | i8 defender | u8 territory | u8 flags (1 taken, 2 by
//               sea) | i32 troops | i32 defenders | i32 survivors }
//             | missions x { i8 spy | i8 target | u8 territory | u8 mission | u8 flags (1
//               success, 2 caught, 4 named) | 3 zero bytes | i32 amount }
//             | 8 x { u8 count (<= 128) | count x u8 refusal }          at most 14448 bytes
//   7 end     0x07 | u8 winners (bit n: nation n; never 0)                          2 bytes
//   8 seating 0x08 | 8 x { i32 player (0: nobody) | i8 government | i8 objective | u8 flags
//               (1: the host's computer plays it) | u32 return status (0, or the status from
//               which its player plays it again) | u64 lock | 11 bytes name, zero-terminated }
//                                                                                  241 bytes
//   9 seat    0x09 | i8 nation | u64 token (never 0)                               10 bytes
//  10 history 0x0A | u16 index | u16 count (index < count <= 4096) | 104 x 28-byte territory
//               entries | 24 x i32 ledger                                          3013 bytes
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "campaign/Campaign.h"
#include "game/Random.h"

namespace torvane {

inline constexpr uint8_t kStateMessage = 4;
inline constexpr uint8_t kOrdersMessage = 5;
inline constexpr uint8_t kReportMessage = 6;
inline constexpr uint8_t kEndMessage = 7;
inline constexpr uint8_t kSeatingMessage = 8;
inline constexpr uint8_t kSeatMessage = 9;
inline constexpr uint8_t kHistoryMessage = 10;

inline constexpr size_t kStateMessageSize = 1 + 4 + kTerritoryTableSize + 24 * 4 + 4 * 8;
inline constexpr size_t kSeatRecordSize = 4 + 1 + 1 + 1 + 4 + 8 + kPlayerNameSize;
inline constexpr size_t kSeatingMessageSize = 1 + NationCount * kSeatRecordSize;
inline constexpr size_t kSeatMessageSize = 10;
inline constexpr size_t kHistoryMessageSize = 1 + 2 + 2 + kTerritoryTableSize + 24 * 4;
inline constexpr size_t kMaxHistoryEntries = 4096;
inline constexpr size_t kOrderRecordSize = 8;
inline constexpr size_t kBattleRecordSize = 16;
inline constexpr size_t kMissionRecordSize = 12;
// One battle per attacking nation and territory at most.
inline constexpr size_t kMaxBattles = static_cast<size_t>(NationCount) * TerritoryCount;
inline constexpr size_t kMaxReportSize = 1 + 4 + 2 + 1 + kMaxBattles * kBattleRecordSize +
                                         NationCount * kMissionRecordSize +
                                         NationCount * (1 + kMaxOrders);

struct StateMessage {
    uint32_t status = 0;  // the status this state is for (even, from 4)
    CampaignState state;
    // Where the host's generator stands once it has resolved what led to this state; all zeros
    // when the sender did not say.
    GeneratorState generator{};
};

struct OrdersMessage {
    uint32_t status = 0;  // the status whose orders these are
    int8_t nation = -1;
    std::vector<Order> orders;
};

std::vector<uint8_t> EncodeState(uint32_t status, const CampaignState& state,
                                 const GeneratorState& generator = {});
bool DecodeState(std::span<const uint8_t> bytes, StateMessage& out);

std::vector<uint8_t> EncodeOrders(uint32_t status, int8_t nation, std::span<const Order> orders);
bool DecodeOrders(std::span<const uint8_t> bytes, OrdersMessage& out);

// A report beyond the bounds above (more battles, missions or refusals than a resolution can
// make) is encoded cut to them.
std::vector<uint8_t> EncodeReport(const PhaseReport& report);
bool DecodeReport(std::span<const uint8_t> bytes, PhaseReport& out);

std::vector<uint8_t> EncodeEnd(uint8_t winners);
bool DecodeEnd(std::span<const uint8_t> bytes, uint8_t& winners);

// Who plays each nation of the campaign, as the host says.
struct SeatRecord {
    int32_t playerId = 0;  // 0: nobody plays it
    int8_t government = -1;
    int8_t objective = -1;
    bool computer = false;      // the host's computer plays it now
    uint32_t returnStatus = 0;  // from this status on its player plays it again (0: not back)
    uint64_t lock = 0;          // SeatLock of its token (0: it has none)
    std::array<char, kPlayerNameSize> name{};  // always zero-terminated
    bool operator==(const SeatRecord&) const = default;
};
using Seating = std::array<SeatRecord, NationCount>;

struct HistoryEntry {
    uint16_t index = 0;  // its place in the history, oldest first
    uint16_t count = 0;  // how many the whole history holds
    TerritoryTable table{};
    CInfos infos;
};

std::vector<uint8_t> EncodeSeating(const Seating& seating);
bool DecodeSeating(std::span<const uint8_t> bytes, Seating& out);

std::vector<uint8_t> EncodeSeat(int8_t nation, uint64_t token);
bool DecodeSeat(std::span<const uint8_t> bytes, int8_t& nation, uint64_t& token);

std::vector<uint8_t> EncodeHistoryEntry(const HistoryEntry& entry);
bool DecodeHistoryEntry(std::span<const uint8_t> bytes, HistoryEntry& out);

// A status a campaign message may name: even, from the first status of 1870 on.
bool IsCampaignStatus(uint32_t status);

// A campaign table holds only what the rules can make of a deal: owners -1..7, no negative
// wealth, fortified and improved 0 or 1, troops 0..kCampaignRules.maxTroops.
bool IsValidCampaignTable(const TerritoryTable& table);

}  // namespace torvane
