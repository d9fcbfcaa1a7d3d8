// Which renderer draws the game. SDL's first choice is the "accelerated" one, but on a machine
// without a GPU driver (virtual machines, remote desktops, many older laptops) that is OpenGL
// emulated on the CPU by a software rasteriser (Mesa's llvmpipe, softpipe, swrast), which costs
// several times what SDL's own software renderer costs for the same picture. Such a renderer is
// given up for the software one; a real GPU keeps the accelerated path, and a renderer the user
// named (SDL_RENDER_DRIVER) is always kept.
#pragma once

#include <string>

namespace platform {

// What the renderer SDL made says of itself.
struct RendererReport {
    std::string driver;      // SDL's name for it: "opengl", "opengles2", "software", ...
    bool software = false;   // SDL marks it as a software renderer
    std::string glRenderer;  // for an OpenGL driver, what GL_RENDERER says; empty otherwise
};

// Whether this machine has a device a GPU driver draws through (a DRM node under
// `devices`/dri, NVIDIA's own, or the one Linux under Windows reaches its GPU by). Without
// one, any OpenGL there is runs on the CPU, and is not even tried: loading it alone costs tens of
// megabytes that stay with the game.
bool HasGpuDevice(const std::string& devices = "/dev");

// Whether to go straight to SDL's software renderer, without making the accelerated one.
bool SkipAcceleratedRenderer(bool gpuDevice, const char* userDriver);

// Whether a GL_RENDERER string names a rasteriser running on the CPU.
bool IsSoftwareRasteriser(const std::string& glRenderer);

// True when the renderer of `report` should be replaced by SDL's software renderer.
// `userDriver` is SDL_RENDER_DRIVER (null or empty when unset).
bool PreferSoftwareRenderer(const RendererReport& report, const char* userDriver);

// The game window's first size, before the player ever sized it: the picture at the largest
// whole factor that leaves a fifth of the usable desktop free (at least 1), so that a 4K desktop
// does not get a postage stamp.
int FirstWindowFactor(int usableWidth, int usableHeight);

}  // namespace platform
