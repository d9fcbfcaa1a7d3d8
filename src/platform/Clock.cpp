// The game's clock: a monotonic reading in seconds and milliseconds.
#include "platform/Clock.h"

#include <chrono>

namespace platform {

ClockReading ReadClock() {
    using namespace std::chrono;
    const auto since = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    ClockReading reading;
    reading.seconds = static_cast<int32_t>(since / 1000 % 2000000000 + 1);
    reading.milliseconds = static_cast<int16_t>(since % 1000);
    return reading;
}

}  // namespace platform
