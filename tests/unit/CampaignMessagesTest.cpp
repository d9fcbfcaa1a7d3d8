// The campaign's messages: what goes out comes back, and what is malformed is refused whole.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "campaign/Campaignmessages.h"
#include "campaign/Gamerules.h"
#include "game/Objectif.h"
#include "game/Random.h"

namespace torvane {
namespace {

CampaignState SampleState() {
    RandomSeed(11);
    const std::array<int8_t, 3> nations = {0, 4, 7};
    CampaignState state;
    state.table = DealMap(nations);
    state.table[5].fortified = 1;
    state.table[5].improved = 1;
    state.table[12].ownerOnlyA = 7;
    state.table[12].reserve = 30;
    for (int nation : {0, 4, 7}) {
        state.ledger.values[Treasury][nation] = 100000 + nation;
        state.ledger.values[Income][nation] = 5000 * nation;
        state.ledger.values[Conquests][nation] = nation;
    }
    return state;
}

PhaseReport FullReport() {
    PhaseReport report;
    report.status = 4 + 22 * 3 + 8;
    for (size_t i = 0; i < kMaxBattles; ++i) {
        Battle battle;
        battle.attacker = static_cast<int8_t>(i % NationCount);
        battle.defender = static_cast<int8_t>(static_cast<int>(i % 9) - 1);
        battle.territory = static_cast<uint8_t>(i % TerritoryCount);
        battle.taken = i % 2 == 0;
        battle.bySea = i % 3 == 0;
        battle.troops = static_cast<int32_t>(i + 1);
        battle.defenders = static_cast<int32_t>(i * 7);
        battle.survivors = static_cast<int32_t>(i % 50);
        report.battles.push_back(battle);
    }
    for (int nation = 0; nation < NationCount; ++nation) {
        MissionResult mission;
        mission.spy = static_cast<int8_t>(nation);
        mission.target = static_cast<int8_t>((nation + 1) % NationCount);
        mission.territory = static_cast<uint8_t>(nation * 13);
        mission.mission = static_cast<Mission>(nation % kMissionCount);
        mission.success = nation % 2 == 0;
        mission.caught = !mission.success;
        mission.named = mission.caught && nation % 3 == 0;
        mission.amount = nation * 1000;
        report.missions.push_back(mission);
        report.refusals[static_cast<size_t>(nation)].assign(kMaxOrders, Refusal::None);
        report.refusals[static_cast<size_t>(nation)][3] = Refusal::NotInGame;
    }
    return report;
}

TEST(CampaignMessages, StateTravelsWholeWithTheHostsGenerator) {
    const CampaignState state = SampleState();
    RandomGenerator generator(77);
    generator.NextBits();
    const GeneratorState position = generator.State();
    const auto bytes = EncodeState(26, state, position);
    ASSERT_EQ(bytes.size(), 3045u);
    StateMessage decoded;
    ASSERT_TRUE(DecodeState(bytes, decoded));
    EXPECT_EQ(decoded.status, 26u);
    EXPECT_EQ(decoded.state, state);
    EXPECT_EQ(decoded.generator, position);
    // A generator restored to that position draws what the host's would have drawn next.
    RandomGenerator follower(1);
    ASSERT_TRUE(follower.Restore(decoded.generator));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(follower.NextBits(), generator.NextBits());
    // A sender that gives no position sends zeros, which no generator can take.
    ASSERT_TRUE(DecodeState(EncodeState(26, state), decoded));
    EXPECT_EQ(decoded.generator, GeneratorState{});
    const GeneratorState before = follower.State();
    EXPECT_FALSE(follower.Restore(decoded.generator));
    EXPECT_EQ(follower.State(), before);
}

TEST(CampaignMessages, MalformedStatesAreRefused) {
    const CampaignState state = SampleState();
    const auto good = EncodeState(26, state);
    StateMessage out;
    out.status = 99;
    auto shorter = good;
    shorter.pop_back();
    auto longer = good;
    longer.push_back(0);
    EXPECT_FALSE(DecodeState(shorter, out));
    EXPECT_FALSE(DecodeState(longer, out));
    EXPECT_FALSE(DecodeState(EncodeState(27, state), out));  // a ready bit is no status
    EXPECT_FALSE(DecodeState(EncodeState(2, state), out));   // before the first year
    auto table = [&](auto change) {
        CampaignState bad = state;
        change(bad);
        return EncodeState(26, bad);
    };
    EXPECT_FALSE(DecodeState(table([](CampaignState& s) { s.table[3].owner = 8; }), out));
    EXPECT_FALSE(DecodeState(table([](CampaignState& s) { s.table[3].army = -1; }), out));
    EXPECT_FALSE(DecodeState(table([](CampaignState& s) { s.table[3].reserve = -5; }), out));
    EXPECT_FALSE(DecodeState(table([](CampaignState& s) { s.table[3].ownerOnlyA = -1; }), out));
    EXPECT_FALSE(DecodeState(table([](CampaignState& s) { s.table[3].fortified = 2; }), out));
    EXPECT_FALSE(DecodeState(table([](CampaignState& s) { s.table[3].wealth = -1; }), out));
    EXPECT_FALSE(DecodeState(
        table([](CampaignState& s) { s.table[3].army = kCampaignRules.maxTroops + 1; }), out));
    EXPECT_FALSE(
        DecodeState(table([](CampaignState& s) { s.ledger.values[Income][2] = -2; }), out));
    auto wrongType = good;
    wrongType[0] = kOrdersMessage;
    EXPECT_FALSE(DecodeState(wrongType, out));
    EXPECT_EQ(out.status, 99u) << "a refused message leaves the output untouched";
}

TEST(CampaignMessages, OrdersTravelWholeUpToTheirBound) {
    std::vector<Order> orders;
    for (size_t i = 0; i < kMaxOrders; ++i) {
        orders.push_back({static_cast<OrderKind>(1 + i % 6), static_cast<uint8_t>(i % 104),
                          static_cast<uint8_t>((i * 7) % 104), static_cast<int32_t>(i) - 3});
    }
    const auto bytes = EncodeOrders(48, 5, orders);
    ASSERT_EQ(bytes.size(), 7 + 8 * kMaxOrders);
    OrdersMessage decoded;
    ASSERT_TRUE(DecodeOrders(bytes, decoded));
    EXPECT_EQ(decoded.status, 48u);
    EXPECT_EQ(decoded.nation, 5);
    EXPECT_EQ(decoded.orders, orders);

    // More than the bound is cut to it when sent.
    orders.push_back(orders.front());
    EXPECT_EQ(EncodeOrders(48, 5, orders).size(), bytes.size());

    const auto none = EncodeOrders(12, 0, {});
    ASSERT_TRUE(DecodeOrders(none, decoded));
    EXPECT_TRUE(decoded.orders.empty());
}

TEST(CampaignMessages, MalformedOrdersAreRefused) {
    const std::vector<Order> one = {{OrderKind::Move, 14, 9, 30}};
    const auto good = EncodeOrders(12, 3, one);
    OrdersMessage out;
    auto edit = [&](size_t at, uint8_t value) {
        auto bytes = good;
        bytes[at] = value;
        return bytes;
    };
    EXPECT_TRUE(DecodeOrders(good, out));
    EXPECT_FALSE(DecodeOrders(edit(5, 8), out));     // nation 8
    EXPECT_FALSE(DecodeOrders(edit(5, 0xFF), out));  // nation -1
    EXPECT_FALSE(DecodeOrders(edit(6, 2), out));     // says two orders, holds one
    EXPECT_FALSE(DecodeOrders(edit(6, 0), out));     // says none, holds one
    EXPECT_FALSE(DecodeOrders(edit(7, 0), out));     // kind 0
    EXPECT_FALSE(DecodeOrders(edit(7, 7), out));     // kind 7
    EXPECT_FALSE(DecodeOrders(edit(8, 104), out));   // from outside the world
    EXPECT_FALSE(DecodeOrders(edit(9, 200), out));   // to outside the world
    EXPECT_FALSE(DecodeOrders(edit(10, 1), out));    // the zero byte
    EXPECT_FALSE(DecodeOrders(edit(1, 13), out));    // an odd status
    auto trailing = good;
    trailing.push_back(0);
    EXPECT_FALSE(DecodeOrders(trailing, out));
    EXPECT_FALSE(DecodeOrders(std::span(good).first(6), out));
    // A count above the bound is refused even when the bytes are all there.
    std::vector<uint8_t> tooMany = {kOrdersMessage, 12, 0, 0, 0, 3, 129};
    for (int i = 0; i < 129; ++i)
        tooMany.insert(tooMany.end(), {1, 0, 0, 0, 1, 0, 0, 0});
    EXPECT_FALSE(DecodeOrders(tooMany, out));
}

TEST(CampaignMessages, TheLargestReportFitsOneMessage) {
    const PhaseReport report = FullReport();
    const auto bytes = EncodeReport(report);
    EXPECT_EQ(bytes.size(), kMaxReportSize);
    // A message travels in one frame of at most 16 KiB with its frame type byte.
    EXPECT_LE(bytes.size() + 1, 16384u);
    PhaseReport decoded;
    ASSERT_TRUE(DecodeReport(bytes, decoded));
    EXPECT_EQ(decoded, report);

    PhaseReport empty;
    empty.status = 12;
    ASSERT_TRUE(DecodeReport(EncodeReport(empty), decoded));
    EXPECT_EQ(decoded, empty);
}

TEST(CampaignMessages, MalformedReportsAreRefused) {
    PhaseReport report;
    report.status = 12;
    report.battles.push_back({2, -1, 40, true, false, 30, 0, 30});
    report.missions.push_back({1, 2, 40, Mission::Theft, true, false, false, 900});
    report.refusals[2] = {Refusal::None, Refusal::NoBoats};
    const auto good = EncodeReport(report);
    PhaseReport out;
    ASSERT_TRUE(DecodeReport(good, out));
    EXPECT_EQ(out, report);
    auto edit = [&](size_t at, uint8_t value) {
        auto bytes = good;
        bytes[at] = value;
        return bytes;
    };
    const size_t battle = 8, mission = 8 + 16, refusals = 8 + 16 + 12;
    EXPECT_FALSE(DecodeReport(edit(battle, 8), out));           // attacker 8
    EXPECT_FALSE(DecodeReport(edit(battle + 1, 0xFE), out));    // defender -2
    EXPECT_FALSE(DecodeReport(edit(battle + 2, 104), out));     // territory
    EXPECT_FALSE(DecodeReport(edit(battle + 3, 4), out));       // unknown flag
    EXPECT_FALSE(DecodeReport(edit(battle + 7, 0x80), out));    // negative troops
    EXPECT_FALSE(DecodeReport(edit(mission + 3, 3), out));      // no such mission
    EXPECT_FALSE(DecodeReport(edit(mission + 5, 1), out));      // padding
    EXPECT_FALSE(DecodeReport(edit(mission + 11, 0x80), out));  // negative amount
    EXPECT_FALSE(DecodeReport(edit(refusals + 2, 3), out));     // nation 2 says 3, holds 2
    const size_t reasons = refusals + 2 + 1;
    EXPECT_FALSE(DecodeReport(edit(reasons + 1, kLastRefusal + 1), out));
    EXPECT_FALSE(DecodeReport(edit(5, 2), out));  // one battle more than given
    auto trailing = good;
    trailing.push_back(0);
    EXPECT_FALSE(DecodeReport(trailing, out));
    EXPECT_FALSE(DecodeReport(std::span(good).first(good.size() - 1), out));
}

TEST(CampaignMessages, EndNamesAtLeastOneWinner) {
    uint8_t winners = 0;
    ASSERT_TRUE(DecodeEnd(EncodeEnd(0x21), winners));
    EXPECT_EQ(winners, 0x21);
    EXPECT_FALSE(DecodeEnd(EncodeEnd(0), winners));
    const std::vector<uint8_t> longer = {kEndMessage, 1, 0};
    EXPECT_FALSE(DecodeEnd(longer, winners));
    const std::vector<uint8_t> wrong = {kStateMessage, 1};
    EXPECT_FALSE(DecodeEnd(wrong, winners));
}

Seating SampleSeating() {
    Seating seating;
    for (int nation = 0; nation < NationCount; nation += 2) {
        SeatRecord& seat = seating[static_cast<size_t>(nation)];
        seat.playerId = nation + 1;
        seat.government = static_cast<int8_t>(nation % GovernmentCount);
        seat.objective = static_cast<int8_t>(nation + 3);
        seat.lock = 0x0123456789ABCDEFull * static_cast<uint64_t>(nation + 1);
        const std::string name = "Joueur" + std::to_string(nation);
        std::copy(name.begin(), name.end(), seat.name.begin());
    }
    seating[2].computer = true;
    seating[4].computer = true;
    seating[4].returnStatus = 4 + 22 * 2 + 4;
    seating[6].name.fill('\xE9');  // ten letters of Windows-1252 and the zero byte
    seating[6].name.back() = '\0';
    return seating;
}

TEST(CampaignMessages, SeatingTravelsWholeAndRefusesWhatNoHostSends) {
    const Seating seating = SampleSeating();
    std::vector<uint8_t> bytes = EncodeSeating(seating);
    ASSERT_EQ(bytes.size(), kSeatingMessageSize);
    Seating decoded;
    ASSERT_TRUE(DecodeSeating(bytes, decoded));
    EXPECT_EQ(decoded, seating);
    // What a record may not say, and what a message may not be.
    const Seating untouched = decoded;
    const auto refused = [&](const std::function<void(std::vector<uint8_t>&)>& spoil) {
        std::vector<uint8_t> copy = bytes;
        spoil(copy);
        return !DecodeSeating(copy, decoded) && decoded == untouched;
    };
    const size_t second = 1 + kSeatRecordSize;  // the second nation's record
    EXPECT_TRUE(refused([](auto& b) { b.pop_back(); }));
    EXPECT_TRUE(refused([](auto& b) { b.push_back(0); }));
    EXPECT_TRUE(refused([](auto& b) { b[0] = kStateMessage; }));
    EXPECT_TRUE(refused([&](auto& b) { b[second + 6] = 2; }));     // unknown flags
    EXPECT_TRUE(refused([&](auto& b) { b[second + 6] = 1; }));     // the computer plays nobody
    EXPECT_TRUE(refused([&](auto& b) { b[second + 3] = 0x80; }));  // a negative player
    // A name without its zero byte.
    EXPECT_TRUE(refused([&](auto& b) {
        std::fill_n(b.begin() + static_cast<long>(1 + kSeatRecordSize - kPlayerNameSize),
                    kPlayerNameSize, uint8_t{'x'});
    }));
    // A government out of range for a played nation; an odd return status.
    EXPECT_TRUE(refused([&](auto& b) { b[1 + 4] = static_cast<uint8_t>(GovernmentCount); }));
    const size_t fifth = 1 + 4 * kSeatRecordSize;
    EXPECT_TRUE(refused([&](auto& b) { b[fifth + 7] |= 1; }));
    // A return for a nation the computer does not hold.
    EXPECT_TRUE(refused([&](auto& b) { b[fifth + 6] = 0; }));
    // A nation of a saved game nobody took: the computer alone plays it, under a government,
    // and no lock opens it.
    std::vector<uint8_t> computerOnly = bytes;
    computerOnly[second + 4] = 1;
    computerOnly[second + 6] = 1;
    Seating alone;
    ASSERT_TRUE(DecodeSeating(computerOnly, alone));
    EXPECT_EQ(alone[1].playerId, 0);
    EXPECT_TRUE(alone[1].computer);
    EXPECT_EQ(alone[1].government, 1);
    EXPECT_TRUE(refused([&](auto& b) {
        b = computerOnly;
        b[second + 11] = 1;
    }));
    // Every shorter message is refused.
    for (size_t size = 0; size < bytes.size(); ++size) {
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(size));
        EXPECT_FALSE(DecodeSeating(cut, decoded)) << size;
    }
}

TEST(CampaignMessages, ASeatNamesANationAndATokenThatIsNotZero) {
    int8_t nation = -1;
    uint64_t token = 0;
    ASSERT_TRUE(DecodeSeat(EncodeSeat(7, 0xFEDCBA9876543210ull), nation, token));
    EXPECT_EQ(nation, 7);
    EXPECT_EQ(token, 0xFEDCBA9876543210ull);
    EXPECT_FALSE(DecodeSeat(EncodeSeat(8, 1), nation, token));
    EXPECT_FALSE(DecodeSeat(EncodeSeat(-1, 1), nation, token));
    EXPECT_FALSE(DecodeSeat(EncodeSeat(3, 0), nation, token));
    std::vector<uint8_t> longer = EncodeSeat(3, 5);
    longer.push_back(0);
    EXPECT_FALSE(DecodeSeat(longer, nation, token));
    EXPECT_EQ(nation, 7);
    EXPECT_EQ(token, 0xFEDCBA9876543210ull);
}

TEST(CampaignMessages, AHistoryEntryKeepsItsTableItsFiguresAndItsPlace) {
    HistoryEntry entry;
    entry.index = 3;
    entry.count = 9;
    entry.table = SampleState().table;
    entry.infos = SampleState().ledger;
    const std::vector<uint8_t> bytes = EncodeHistoryEntry(entry);
    ASSERT_EQ(bytes.size(), kHistoryMessageSize);
    HistoryEntry decoded;
    ASSERT_TRUE(DecodeHistoryEntry(bytes, decoded));
    EXPECT_EQ(decoded.index, 3);
    EXPECT_EQ(decoded.count, 9);
    EXPECT_TRUE(decoded.table == entry.table);
    EXPECT_EQ(decoded.infos.values, entry.infos.values);
    // A place outside the history, a history longer than any, a figure below -1, a table the
    // rules cannot make, or any other length, is refused.
    for (const auto& [index, count] :
         {std::pair<uint16_t, uint16_t>{9, 9}, {0, 0}, {0, kMaxHistoryEntries + 1}}) {
        HistoryEntry wrong = entry;
        wrong.index = index;
        wrong.count = count;
        EXPECT_FALSE(DecodeHistoryEntry(EncodeHistoryEntry(wrong), decoded)) << index;
    }
    HistoryEntry negative = entry;
    negative.infos.values[Treasury][2] = -2;
    EXPECT_FALSE(DecodeHistoryEntry(EncodeHistoryEntry(negative), decoded));
    HistoryEntry owner = entry;
    owner.table[4].owner = 9;
    EXPECT_FALSE(DecodeHistoryEntry(EncodeHistoryEntry(owner), decoded));
    std::vector<uint8_t> cut = bytes;
    cut.pop_back();
    EXPECT_FALSE(DecodeHistoryEntry(cut, decoded));
    EXPECT_EQ(decoded.index, 3);
}

}  // namespace
}  // namespace torvane
