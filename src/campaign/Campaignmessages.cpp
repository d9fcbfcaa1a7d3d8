// The campaign's game messages: encoders and decoders that trust nothing they read.
#include "campaign/Campaignmessages.h"

#include <algorithm>

namespace torvane {
namespace {

void Put8(std::vector<uint8_t>& out, uint8_t value) {
    out.push_back(value);
}

void Put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// Reads forward through a message; every read past the end fails and poisons the reader.
class Reader {
  public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool Take(size_t count, std::span<const uint8_t>& out) {
        if (!ok_ || bytes_.size() - at_ < count) {
            ok_ = false;
            return false;
        }
        out = bytes_.subspan(at_, count);
        at_ += count;
        return true;
    }
    uint8_t U8() {
        std::span<const uint8_t> b;
        return Take(1, b) ? b[0] : 0;
    }
    int8_t I8() { return static_cast<int8_t>(U8()); }
    uint16_t U16() {
        std::span<const uint8_t> b;
        return Take(2, b) ? static_cast<uint16_t>(b[0] | (b[1] << 8)) : 0;
    }
    uint32_t U32() {
        std::span<const uint8_t> b;
        if (!Take(4, b))
            return 0;
        return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
               (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }

    bool Ok() const { return ok_; }
    // Everything read, and nothing left over.
    bool Done() const { return ok_ && at_ == bytes_.size(); }
    void Fail() { ok_ = false; }

  private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
    bool ok_ = true;
};

bool ValidNationIndex(int value) {
    return value >= 0 && value < NationCount;
}

bool ValidOwner(int value) {
    return value >= -1 && value < NationCount;
}

bool ValidCount(int32_t value) {
    return value >= 0 && value <= kCampaignRules.maxTroops;
}

void Put64(std::vector<uint8_t>& out, uint64_t value) {
    Put32(out, static_cast<uint32_t>(value));
    Put32(out, static_cast<uint32_t>(value >> 32));
}

uint64_t Read64(Reader& reader) {
    const uint64_t low = reader.U32();
    return low | static_cast<uint64_t>(reader.U32()) << 32;
}

void PutLedger(std::vector<uint8_t>& out, const CInfos& infos) {
    for (const auto& row : infos.values) {
        for (int32_t value : row)
            Put32(out, static_cast<uint32_t>(value));
    }
}

void ReadLedger(Reader& reader, CInfos& infos) {
    for (auto& row : infos.values) {
        for (int32_t& value : row) {
            value = reader.I32();
            if (value < -1)
                reader.Fail();
        }
    }
}

}  // namespace

bool IsValidCampaignTable(const TerritoryTable& table) {
    return std::all_of(table.begin(), table.end(), [](const TerritoryInfo& entry) {
        return ValidOwner(entry.owner) && entry.wealth >= 0 && entry.fortified <= 1 &&
               entry.improved <= 1 && ValidCount(entry.army) && ValidCount(entry.reserve) &&
               ValidCount(entry.ownerOnlyA);
    });
}

std::vector<uint8_t> EncodeSeating(const Seating& seating) {
    std::vector<uint8_t> out;
    out.reserve(kSeatingMessageSize);
    Put8(out, kSeatingMessage);
    for (const SeatRecord& seat : seating) {
        Put32(out, static_cast<uint32_t>(seat.playerId));
        Put8(out, static_cast<uint8_t>(seat.government));
        Put8(out, static_cast<uint8_t>(seat.objective));
        Put8(out, seat.computer ? 1 : 0);
        Put32(out, seat.returnStatus);
        Put64(out, seat.lock);
        for (size_t i = 0; i < kPlayerNameSize; ++i)
            Put8(out, i + 1 < kPlayerNameSize ? static_cast<uint8_t>(seat.name[i]) : 0);
    }
    return out;
}

bool DecodeSeating(std::span<const uint8_t> bytes, Seating& out) {
    if (bytes.size() != kSeatingMessageSize || bytes[0] != kSeatingMessage)
        return false;
    Reader reader(bytes.subspan(1));
    Seating seating;
    for (SeatRecord& seat : seating) {
        seat.playerId = reader.I32();
        seat.government = reader.I8();
        seat.objective = reader.I8();
        const uint8_t flags = reader.U8();
        seat.returnStatus = reader.U32();
        seat.lock = Read64(reader);
        std::span<const uint8_t> name;
        if (!reader.Take(kPlayerNameSize, name))
            return false;
        // The name ends at its zero byte, which must be there.
        if (std::find(name.begin(), name.end(), 0) == name.end())
            return false;
        std::copy(name.begin(), name.end(), seat.name.begin());
        std::fill(std::find(seat.name.begin(), seat.name.end(), '\0'), seat.name.end(), '\0');
        const bool played = seat.playerId != 0;
        // A nation of a saved game that nobody took is in the game with nobody's seat: the
        // computer plays it.
        const bool computerOnly = !played && flags == 1;
        const bool validGovernment = seat.government >= 0 && seat.government < GovernmentCount;
        if (flags > 1 || seat.playerId < 0 || ((played || computerOnly) && !validGovernment) ||
            (!played && seat.returnStatus != 0) || (computerOnly && seat.lock != 0) ||
            (seat.returnStatus != 0 && (flags != 1 || !IsCampaignStatus(seat.returnStatus))) ||
            seat.objective < -1) {
            return false;
        }
        seat.computer = flags == 1;
    }
    if (!reader.Done())
        return false;
    out = seating;
    return true;
}

std::vector<uint8_t> EncodeSeat(int8_t nation, uint64_t token) {
    std::vector<uint8_t> out;
    out.reserve(kSeatMessageSize);
    Put8(out, kSeatMessage);
    Put8(out, static_cast<uint8_t>(nation));
    Put64(out, token);
    return out;
}

bool DecodeSeat(std::span<const uint8_t> bytes, int8_t& nation, uint64_t& token) {
    if (bytes.size() != kSeatMessageSize || bytes[0] != kSeatMessage)
        return false;
    Reader reader(bytes.subspan(1));
    const int8_t n = reader.I8();
    const uint64_t t = Read64(reader);
    if (!reader.Done() || !ValidNationIndex(n) || t == 0)
        return false;
    nation = n;
    token = t;
    return true;
}

std::vector<uint8_t> EncodeHistoryEntry(const HistoryEntry& entry) {
    std::vector<uint8_t> out;
    out.reserve(kHistoryMessageSize);
    Put8(out, kHistoryMessage);
    Put16(out, entry.index);
    Put16(out, entry.count);
    const size_t at = out.size();
    out.resize(at + kTerritoryTableSize);
    EncodeTable(entry.table,
                std::span<uint8_t, kTerritoryTableSize>(out.data() + at, kTerritoryTableSize));
    PutLedger(out, entry.infos);
    return out;
}

bool DecodeHistoryEntry(std::span<const uint8_t> bytes, HistoryEntry& out) {
    if (bytes.size() != kHistoryMessageSize || bytes[0] != kHistoryMessage)
        return false;
    Reader reader(bytes.subspan(1));
    HistoryEntry entry;
    entry.index = reader.U16();
    entry.count = reader.U16();
    std::span<const uint8_t> table;
    if (!reader.Take(kTerritoryTableSize, table) || !DecodeTable(table, entry.table))
        return false;
    ReadLedger(reader, entry.infos);
    if (!reader.Done() || entry.index >= entry.count || entry.count > kMaxHistoryEntries ||
        !IsValidCampaignTable(entry.table)) {
        return false;
    }
    out = entry;
    return true;
}

bool IsCampaignStatus(uint32_t status) {
    return status >= 4 && status % 2 == 0;
}

std::vector<uint8_t> EncodeState(uint32_t status, const CampaignState& state,
                                 const GeneratorState& generator) {
    std::vector<uint8_t> out;
    out.reserve(kStateMessageSize);
    Put8(out, kStateMessage);
    Put32(out, status);
    const size_t at = out.size();
    out.resize(at + kTerritoryTableSize);
    EncodeTable(state.table,
                std::span<uint8_t, kTerritoryTableSize>(out.data() + at, kTerritoryTableSize));
    for (const auto& row : state.ledger.values) {
        for (int32_t value : row)
            Put32(out, static_cast<uint32_t>(value));
    }
    for (uint64_t word : generator) {
        Put32(out, static_cast<uint32_t>(word));
        Put32(out, static_cast<uint32_t>(word >> 32));
    }
    return out;
}

bool DecodeState(std::span<const uint8_t> bytes, StateMessage& out) {
    if (bytes.size() != kStateMessageSize || bytes[0] != kStateMessage)
        return false;
    Reader reader(bytes.subspan(1));
    StateMessage message;
    message.status = reader.U32();
    std::span<const uint8_t> table;
    if (!reader.Take(kTerritoryTableSize, table) || !DecodeTable(table, message.state.table))
        return false;
    for (auto& row : message.state.ledger.values) {
        for (int32_t& value : row) {
            value = reader.I32();
            if (value < -1)
                reader.Fail();
        }
    }
    for (uint64_t& word : message.generator) {
        const uint64_t low = reader.U32();
        word = low | static_cast<uint64_t>(reader.U32()) << 32;
    }
    if (!reader.Done() || !IsCampaignStatus(message.status) ||
        !IsValidCampaignTable(message.state.table)) {
        return false;
    }
    out = std::move(message);
    return true;
}

std::vector<uint8_t> EncodeOrders(uint32_t status, int8_t nation, std::span<const Order> orders) {
    const size_t count = std::min(orders.size(), kMaxOrders);
    std::vector<uint8_t> out;
    out.reserve(7 + count * kOrderRecordSize);
    Put8(out, kOrdersMessage);
    Put32(out, status);
    Put8(out, static_cast<uint8_t>(nation));
    Put8(out, static_cast<uint8_t>(count));
    for (size_t i = 0; i < count; ++i) {
        const Order& order = orders[i];
        Put8(out, static_cast<uint8_t>(order.kind));
        Put8(out, order.from);
        Put8(out, order.to);
        Put8(out, 0);
        Put32(out, static_cast<uint32_t>(order.amount));
    }
    return out;
}

bool DecodeOrders(std::span<const uint8_t> bytes, OrdersMessage& out) {
    if (bytes.empty() || bytes[0] != kOrdersMessage)
        return false;
    Reader reader(bytes.subspan(1));
    OrdersMessage message;
    message.status = reader.U32();
    message.nation = reader.I8();
    const size_t count = reader.U8();
    if (!reader.Ok() || count > kMaxOrders || bytes.size() != 7 + count * kOrderRecordSize ||
        !IsCampaignStatus(message.status) || !ValidNationIndex(message.nation)) {
        return false;
    }
    message.orders.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t kind = reader.U8();
        Order order;
        order.from = reader.U8();
        order.to = reader.U8();
        const uint8_t zero = reader.U8();
        order.amount = reader.I32();
        if (kind < kFirstOrderKind || kind > kLastOrderKind || order.from >= TerritoryCount ||
            order.to >= TerritoryCount || zero != 0) {
            return false;
        }
        order.kind = static_cast<OrderKind>(kind);
        message.orders.push_back(order);
    }
    if (!reader.Done())
        return false;
    out = std::move(message);
    return true;
}

std::vector<uint8_t> EncodeReport(const PhaseReport& report) {
    const size_t battles = std::min(report.battles.size(), kMaxBattles);
    const size_t missions = std::min(report.missions.size(), static_cast<size_t>(NationCount));
    std::vector<uint8_t> out;
    out.reserve(kMaxReportSize);
    Put8(out, kReportMessage);
    Put32(out, report.status);
    Put16(out, static_cast<uint16_t>(battles));
    Put8(out, static_cast<uint8_t>(missions));
    for (size_t i = 0; i < battles; ++i) {
        const Battle& battle = report.battles[i];
        Put8(out, static_cast<uint8_t>(battle.attacker));
        Put8(out, static_cast<uint8_t>(battle.defender));
        Put8(out, battle.territory);
        Put8(out, static_cast<uint8_t>((battle.taken ? 1 : 0) | (battle.bySea ? 2 : 0)));
        Put32(out, static_cast<uint32_t>(battle.troops));
        Put32(out, static_cast<uint32_t>(battle.defenders));
        Put32(out, static_cast<uint32_t>(battle.survivors));
    }
    for (size_t i = 0; i < missions; ++i) {
        const MissionResult& mission = report.missions[i];
        Put8(out, static_cast<uint8_t>(mission.spy));
        Put8(out, static_cast<uint8_t>(mission.target));
        Put8(out, mission.territory);
        Put8(out, static_cast<uint8_t>(mission.mission));
        Put8(out, static_cast<uint8_t>((mission.success ? 1 : 0) | (mission.caught ? 2 : 0) |
                                       (mission.named ? 4 : 0)));
        Put8(out, 0);
        Put16(out, 0);
        Put32(out, static_cast<uint32_t>(mission.amount));
    }
    for (const auto& refusals : report.refusals) {
        const size_t count = std::min(refusals.size(), kMaxOrders);
        Put8(out, static_cast<uint8_t>(count));
        for (size_t i = 0; i < count; ++i)
            Put8(out, static_cast<uint8_t>(refusals[i]));
    }
    return out;
}

bool DecodeReport(std::span<const uint8_t> bytes, PhaseReport& out) {
    if (bytes.empty() || bytes[0] != kReportMessage || bytes.size() > kMaxReportSize)
        return false;
    Reader reader(bytes.subspan(1));
    PhaseReport report;
    report.status = reader.U32();
    const size_t battles = reader.U16();
    const size_t missions = reader.U8();
    if (!reader.Ok() || !IsCampaignStatus(report.status) || battles > kMaxBattles ||
        missions > static_cast<size_t>(NationCount) ||
        bytes.size() < 8 + battles * kBattleRecordSize + missions * kMissionRecordSize) {
        return false;
    }
    report.battles.reserve(battles);
    for (size_t i = 0; i < battles; ++i) {
        Battle battle;
        battle.attacker = reader.I8();
        battle.defender = reader.I8();
        battle.territory = reader.U8();
        const uint8_t flags = reader.U8();
        battle.troops = reader.I32();
        battle.defenders = reader.I32();
        battle.survivors = reader.I32();
        if (!ValidNationIndex(battle.attacker) || !ValidOwner(battle.defender) ||
            battle.territory >= TerritoryCount || flags > 3 || !ValidCount(battle.troops) ||
            battle.defenders < 0 || battle.survivors < 0) {
            return false;
        }
        battle.taken = (flags & 1) != 0;
        battle.bySea = (flags & 2) != 0;
        report.battles.push_back(battle);
    }
    report.missions.reserve(missions);
    for (size_t i = 0; i < missions; ++i) {
        MissionResult mission;
        mission.spy = reader.I8();
        mission.target = reader.I8();
        mission.territory = reader.U8();
        const uint8_t kind = reader.U8();
        const uint8_t flags = reader.U8();
        const uint8_t pad = reader.U8();
        const uint16_t pad2 = reader.U16();
        mission.amount = reader.I32();
        if (!ValidNationIndex(mission.spy) || !ValidOwner(mission.target) ||
            mission.territory >= TerritoryCount || kind >= kMissionCount || flags > 7 || pad != 0 ||
            pad2 != 0 || mission.amount < 0) {
            return false;
        }
        mission.mission = static_cast<Mission>(kind);
        mission.success = (flags & 1) != 0;
        mission.caught = (flags & 2) != 0;
        mission.named = (flags & 4) != 0;
        report.missions.push_back(mission);
    }
    for (auto& refusals : report.refusals) {
        const size_t count = reader.U8();
        if (!reader.Ok() || count > kMaxOrders)
            return false;
        refusals.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t reason = reader.U8();
            if (reason > kLastRefusal)
                return false;
            refusals.push_back(static_cast<Refusal>(reason));
        }
    }
    if (!reader.Done())
        return false;
    out = std::move(report);
    return true;
}

std::vector<uint8_t> EncodeEnd(uint8_t winners) {
    return {kEndMessage, winners};
}

bool DecodeEnd(std::span<const uint8_t> bytes, uint8_t& winners) {
    if (bytes.size() != 2 || bytes[0] != kEndMessage || bytes[1] == 0)
        return false;
    winners = bytes[1];
    return true;
}

}  // namespace torvane
