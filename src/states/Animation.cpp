// The animation rules the front-end screens share: the frame slide, the highlight fade and the
// light band behind the highlighted item.
#include "states/Animation.h"

#include <algorithm>
#include <cmath>

#include "screen/Directscreen.h"

namespace torvane {
namespace {

constexpr uint32_t kBandColour = 0x7FFFFFFF;

uint32_t WithAlpha(uint32_t colour, int alpha) {
    return (static_cast<uint32_t>(std::clamp(alpha, 0, 255)) << 24) | (colour & 0x00FFFFFFu);
}

// Draws `dim` stretched over a rectangle given in pixels.
void DimRectangle(const Image& dim, int x, int y, int width, int height) {
    const float scaleX = static_cast<float>(width) / static_cast<float>(dim.GetWidth());
    const float scaleY = static_cast<float>(height) / static_cast<float>(dim.GetHeight());
    dim.Draw(x, y, kBandColour, scaleX, scaleY, 0, 0, 0.0f);
}

}  // namespace

float SlideToward(float p, int32_t t, int32_t ft) {
    const float target = static_cast<float>(t);
    const float time = static_cast<float>(ft);
    if (std::floor(p) <= target && std::ceil(p) < target) {
        p += std::max(time * (target - p) * 0.005f, time * 0.005f);
    } else if (std::floor(p) > target) {
        p += std::min(time * (target - p) * 0.005f, -(time * 0.005f));
    }
    return p;
}

float SlideTowardNoOvershoot(float p, int32_t t, int32_t ft) {
    const float target = static_cast<float>(t);
    const float moved = SlideToward(p, t, ft);
    if (p < target)
        return std::min(moved, target);
    if (p > target)
        return std::max(moved, target);
    return moved;
}

void FadeHighlight(std::span<uint32_t> colours, int highlighted, int32_t ft) {
    const int alphaStep = ft / 4 + 1;
    for (size_t i = 0; i < colours.size(); ++i) {
        uint32_t& colour = colours[i];
        const int alpha = static_cast<int>(colour >> 24);
        if (static_cast<int>(i) == highlighted) {
            colour = WithAlpha(colour, alpha + alphaStep > 255 ? 255 : alpha + alphaStep);
        } else {
            colour = WithAlpha(colour, alpha - alphaStep < 95 ? 95 : alpha - alphaStep);
        }
    }
}

void DrawLightBand(const Image* dim, const Image* light, int x0, int top, int iw, int ih, int lx,
                   int ly) {
    if (!dim || !light || dim->GetWidth() <= 0 || dim->GetHeight() <= 0)
        return;
    const int lw = light->GetWidth();
    const int lh = light->GetHeight();
    DimRectangle(*dim, x0, top, iw, ly - top);
    DimRectangle(*dim, x0, ly + lh, iw, ih - (ly - top + lh));
    DimRectangle(*dim, x0, ly, lx - x0, lh);
    DimRectangle(*dim, lx + lw, ly, iw - (lx - x0 + lw), lh);
    light->Draw(lx, ly, kBandColour, 1.0f, 1.0f, 0, 0, 0.0f);
}

}  // namespace torvane
