// The game's pseudo-random generator, seeded from the clock when the game window opens.
#pragma once

#include <cstdint>

namespace torvane {

// Seeds the generator from the clock.
void Randomize();
// Seeds the generator with a fixed value (tests, replays).
void RandomSeed(uint64_t seed);
// A uniform integer from 0 to range - 1; 0 when range is below 1.
int Random(int range);

}  // namespace torvane
