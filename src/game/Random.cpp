// The game's pseudo-random generator, seeded from the clock when the game window opens.
#include "game/Random.h"

#include <chrono>

namespace torvane {
namespace {

uint64_t SplitMix(uint64_t& x) {
    uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t RotateLeft(uint64_t x, int k) {
    return (x << k) | (x >> (64 - k));
}

}  // namespace

RandomGenerator::RandomGenerator(uint64_t seed) {
    Seed(seed);
}

void RandomGenerator::Seed(uint64_t seed) {
    for (uint64_t& word : state_)
        word = SplitMix(seed);
}

GeneratorState RandomGenerator::State() const {
    return {state_[0], state_[1], state_[2], state_[3]};
}

bool RandomGenerator::Restore(const GeneratorState& state) {
    if (state == GeneratorState{})
        return false;
    for (size_t i = 0; i < state.size(); ++i)
        state_[i] = state[i];
    return true;
}

uint64_t RandomGenerator::NextBits() {
    const uint64_t result = RotateLeft(state_[1] * 5, 7) * 9;
    const uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = RotateLeft(state_[3], 45);
    return result;
}

int RandomGenerator::Next(int range) {
    if (range < 1)
        return 0;
    // Rejection of the top partial block keeps every value equally likely.
    const uint64_t span = static_cast<uint64_t>(range);
    const uint64_t limit = UINT64_MAX - UINT64_MAX % span;
    uint64_t bits = NextBits();
    while (bits >= limit)
        bits = NextBits();
    return static_cast<int>(bits % span);
}

int RandomGenerator::Between(int low, int high) {
    if (high <= low)
        return low;
    return low + Next(high - low + 1);
}

RandomGenerator& GameGenerator() {
    static RandomGenerator generator;
    return generator;
}

void Randomize() {
    const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    GameGenerator().Seed(static_cast<uint64_t>(now));
}

void RandomSeed(uint64_t seed) {
    GameGenerator().Seed(seed);
}

int Random(int range) {
    return GameGenerator().Next(range);
}

}  // namespace torvane
