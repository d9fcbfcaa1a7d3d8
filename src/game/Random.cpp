// The game's pseudo-random generator, seeded from the clock when the game window opens.
#include "game/Random.h"

#include <chrono>
#include <random>

namespace torvane {
namespace {

std::mt19937_64& Generator() {
    static std::mt19937_64 generator(0x5EED);
    return generator;
}

}  // namespace

void Randomize() {
    const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    Generator().seed(static_cast<uint64_t>(now));
}

void RandomSeed(uint64_t seed) {
    Generator().seed(seed);
}

int Random(int range) {
    if (range < 1)
        return 0;
    std::uniform_int_distribution<int> pick(0, range - 1);
    return pick(Generator());
}

}  // namespace torvane
