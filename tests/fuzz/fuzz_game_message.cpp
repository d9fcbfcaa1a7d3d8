// Fuzz target: received game messages, player records as peer data, session names.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "network/Directplay.h"
#include "network/Playerinfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    torvane::GameMessage message;
    if (torvane::DecodeGameMessage(bytes, message)) {
        if (message.type > 7)
            __builtin_trap();
        if (message.type == 0 && message.text.size() + 6 > size)
            __builtin_trap();
    }
    torvane::PlayerInfo record;
    if (torvane::DecodePlayer(bytes, record)) {
        if (size != torvane::kPlayerInfoSize || record.Name().size() > 10)
            __builtin_trap();
    }
    std::string version, game;
    torvane::SplitSessionName(std::string(bytes.begin(), bytes.end()), version, game);
    for (char c : version + game) {
        if (static_cast<uint8_t>(c) < 0x20 || c == 0x7F)
            __builtin_trap();
    }
    return 0;
}
