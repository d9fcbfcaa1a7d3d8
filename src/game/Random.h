// The game's pseudo-random generator, seeded from the clock when the game window opens.
#pragma once

#include <array>
#include <cstdint>

namespace torvane {

// A generator's whole position: the same position draws the same numbers on every machine, so a
// player that takes over as host goes on exactly where the old host was. All zeros is no
// position (the generator can never be there).
using GeneratorState = std::array<uint64_t, 4>;

// A seeded generator whose sequence depends on nothing but its seed: the same seed gives the
// same numbers on every machine and with every standard library (xoshiro256** seeded through
// splitmix64, ranges reduced without bias).
class RandomGenerator {
  public:
    explicit RandomGenerator(uint64_t seed = 0x5EED);
    void Seed(uint64_t seed);
    // A uniform integer from 0 to range - 1; 0 when range is below 1.
    int Next(int range);
    // A uniform integer from low to high, both included; low when high is below low.
    int Between(int low, int high);
    uint64_t NextBits();

    GeneratorState State() const;
    // Goes to `state`; false (nothing changed) for all zeros.
    bool Restore(const GeneratorState& state);

  private:
    uint64_t state_[4];
};

// The process's generator: the host draws the world, the objectives and the campaign's chances
// from it.
RandomGenerator& GameGenerator();

// Seeds the game's generator from the clock.
void Randomize();
// Seeds the game's generator with a fixed value (tests, replays).
void RandomSeed(uint64_t seed);
// A uniform integer from 0 to range - 1 from the game's generator; 0 when range is below 1.
int Random(int range);

}  // namespace torvane
