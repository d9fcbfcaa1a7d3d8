// Conversion of sound levels in hundredths of a decibel into the gain factors mixers use.
#pragma once

#include <cstdint>

namespace platform {

// 10^(level / 2000), never above 1: the back ends cannot amplify, so a level above 0 dB plays
// at unity.
double HundredthsOfDecibelToGain(int32_t hundredthsOfDecibel);

}  // namespace platform
