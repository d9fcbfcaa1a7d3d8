// The game's clock: a monotonic reading in seconds and milliseconds.
#pragma once

#include "platform/Window.h"

namespace platform {

// Reads a monotonic clock. Unlike the wall clock it never jumps when the system time is
// changed, so no frame is ever measured as negative or hours long. Seconds start at 1.
ClockReading ReadClock();

}  // namespace platform
