// Conversion of sound levels in hundredths of a decibel into the gain factors mixers use.
#include "platform/AudioLevel.h"

#include <cmath>

namespace platform {

double HundredthsOfDecibelToGain(int32_t hundredthsOfDecibel) {
    if (hundredthsOfDecibel >= 0)
        return 1.0;
    return std::pow(10.0, hundredthsOfDecibel / 2000.0);
}

}  // namespace platform
