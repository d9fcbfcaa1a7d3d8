// Checks an easing frame by frame: it reaches its target and never passes it on the way.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace testsupport {

// Runs `frame` until `value` reaches `target`; each frame must leave it between where it was
// and the target (an easing that overshoots on long frames fails).
inline void ExpectSettlesWithoutOvershoot(const std::function<void()>& frame,
                                          const std::function<float()>& value, float target,
                                          int frames = 12) {
    float previous = value();
    for (int i = 0; i < frames; ++i) {
        frame();
        const float now = value();
        if (now < std::min(previous, target) || now > std::max(previous, target)) {
            ADD_FAILURE() << "from " << previous << " to " << now << ", target " << target;
            return;
        }
        previous = now;
    }
    EXPECT_FLOAT_EQ(previous, target);
}

}  // namespace testsupport
