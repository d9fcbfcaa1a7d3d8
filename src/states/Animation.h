// The animation rules the front-end screens share: the frame slide, the highlight fade and the
// light band behind the highlighted item.
#pragma once

#include <cstdint>
#include <span>

namespace torvane {

class Image;

// Moves `p` toward `t` by 0.5 % of the remaining distance per millisecond of the frame time `ft`,
// never slower than 0.005 pixel per millisecond; a position within one pixel below `t` stays.
float SlideToward(float p, int32_t t, int32_t ft);
// SlideToward, stopping on `t` rather than passing it. Beyond 200 ms a frame the plain step is
// longer than the distance left, and beyond 400 ms every overshoot is larger than the last.
float SlideTowardNoOvershoot(float p, int32_t t, int32_t ft);

// Brightens the highlighted colour's alpha toward 255 and dims every other one toward 95 by
// ft / 4 + 1 per frame, keeping each colour's RGB. An index outside the list dims every item.
void FadeHighlight(std::span<uint32_t> colours, int highlighted, int32_t ft);

// Dims a frame's interior (top-left (x0, top), iw x ih pixels) with the stretched `dim` picture
// except where the `light` picture is drawn at (lx, ly). Nothing is drawn unless both exist.
void DrawLightBand(const Image* dim, const Image* light, int x0, int top, int iw, int ih, int lx,
                   int ly);

}  // namespace torvane
