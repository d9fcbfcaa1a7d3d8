// Fuzz target: saved game files. Whatever the reader accepts must be exactly the file the writer
// makes of the game it read, and a valid game. The input is tried as it is, then sealed anew:
// past a wrong seal nothing else would ever be read.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "campaign/Savedgame.h"
#include "campaign/Seatlock.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void Decode(std::span<const uint8_t> bytes) {
    using namespace torvane;
    SavedGame game;
    std::string error;
    if (!DecodeSavedGame(bytes, game, &error)) {
        Check(!error.empty() && game == SavedGame{});
        return;
    }
    Check(error.empty() && IsValidSavedGame(game));
    const std::vector<uint8_t> again = EncodeSavedGame(game);
    Check(std::equal(again.begin(), again.end(), bytes.begin(), bytes.end()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace torvane;
    const std::span<const uint8_t> bytes(data, size);
    Decode(bytes);
    if (size < kSavedGameSealSize)
        return 0;
    std::vector<uint8_t> sealed(bytes.begin(), bytes.end());
    const auto seal = Sha256(bytes.first(size - kSavedGameSealSize));
    std::copy(seal.begin(), seal.end(), sealed.end() - kSavedGameSealSize);
    Decode(sealed);
    return 0;
}
