// Fuzz target: discovery queries and answers as they arrive on the UDP ports.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/PeerWire.h"

using namespace platform::wire;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> datagram(data, size);
    uint64_t nonce = 0;
    if (DecodeQuery(datagram, nonce) && size != kQuerySize)
        __builtin_trap();
    Answer answer;
    if (DecodeAnswer(datagram, answer)) {
        if (answer.name.size() > kMaxNameUnits)
            __builtin_trap();
        // What decodes re-encodes to the same bytes, and never outweighs a query.
        if (EncodeAnswer(answer).size() != size || size >= kQuerySize)
            __builtin_trap();
    }
    return 0;
}
