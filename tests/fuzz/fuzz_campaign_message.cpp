// Fuzz target: the campaign's messages (state, orders, report, end, seats and history). Whatever a
// decoder accepts must encode back to a message that decodes to the same thing, within the layout's
// bounds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "campaign/Campaignmessages.h"
#include "network/Directplay.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace torvane;
    const std::span<const uint8_t> bytes(data, size);

    StateMessage state;
    if (DecodeState(bytes, state)) {
        const auto again = EncodeState(state.status, state.state);
        StateMessage twice;
        Check(again.size() == kStateMessageSize && DecodeState(again, twice));
        Check(twice.status == state.status && twice.state == state.state);
    }

    OrdersMessage orders;
    if (DecodeOrders(bytes, orders)) {
        Check(orders.orders.size() <= kMaxOrders && size == 7 + 8 * orders.orders.size());
        const auto again = EncodeOrders(orders.status, orders.nation, orders.orders);
        Check(std::equal(again.begin(), again.end(), bytes.begin(), bytes.end()));
    }

    PhaseReport report;
    if (DecodeReport(bytes, report)) {
        Check(size <= kMaxReportSize && report.battles.size() <= kMaxBattles);
        const auto again = EncodeReport(report);
        Check(std::equal(again.begin(), again.end(), bytes.begin(), bytes.end()));
    }

    uint8_t winners = 0;
    if (DecodeEnd(bytes, winners))
        Check(winners != 0 && size == 2);

    Seating seating;
    if (DecodeSeating(bytes, seating)) {
        Seating twice;
        Check(DecodeSeating(EncodeSeating(seating), twice) && twice == seating);
        for (const SeatRecord& seat : seating)
            Check(seat.name.back() == '\0' && (seat.returnStatus == 0 || seat.computer));
    }

    int8_t nation = -1;
    uint64_t token = 0;
    if (DecodeSeat(bytes, nation, token)) {
        const auto again = EncodeSeat(nation, token);
        Check(nation >= 0 && nation < NationCount && token != 0 &&
              std::equal(again.begin(), again.end(), bytes.begin(), bytes.end()));
    }

    HistoryEntry entry;
    if (DecodeHistoryEntry(bytes, entry)) {
        Check(entry.index < entry.count && entry.count <= kMaxHistoryEntries);
        HistoryEntry twice;
        Check(DecodeHistoryEntry(EncodeHistoryEntry(entry), twice) && twice.index == entry.index &&
              twice.table == entry.table && twice.infos.values == entry.infos.values);
    }

    // The engine's decoder takes the same messages through the same gate.
    GameMessage message;
    if (DecodeGameMessage(bytes, message))
        Check(message.type <= kHistoryMessage);
    return 0;
}
