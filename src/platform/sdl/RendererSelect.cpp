#include "platform/sdl/RendererSelect.h"

#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

constexpr unsigned kGlRenderer = 0x1F01;  // GL_RENDERER
using GetString = const unsigned char* (*)(unsigned);

}  // namespace

RendererReport ReportOf(SDL_Renderer* renderer) {
    RendererReport report;
    SDL_RendererInfo info;
    if (!renderer || SDL_GetRendererInfo(renderer, &info) != 0)
        return report;
    report.driver = info.name ? info.name : "";
    report.software = (info.flags & SDL_RENDERER_SOFTWARE) != 0;
    // SDL's OpenGL renderers leave their context current once made.
    if (report.driver.rfind("opengl", 0) == 0 && SDL_GL_GetCurrentContext()) {
        if (auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"))) {
            if (const unsigned char* text = getString(kGlRenderer))
                report.glRenderer = reinterpret_cast<const char*>(text);
        }
    }
    return report;
}

SDL_Renderer* CreateCheapestRenderer(SDL_Window* window, Uint32 flags) {
    if (!window)
        return nullptr;
    const char* userDriver = std::getenv("SDL_RENDER_DRIVER");
    // Looked for once: the launcher and the game window ask the same question.
    static const bool gpuDevice = HasGpuDevice();
    SDL_Renderer* renderer = nullptr;
    if (!SkipAcceleratedRenderer(gpuDevice, userDriver)) {
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | flags);
        if (renderer && PreferSoftwareRenderer(ReportOf(renderer), userDriver)) {
            // A GPU device, but the OpenGL behind it runs on the CPU all the same.
            SDL_DestroyRenderer(renderer);
            renderer = nullptr;
        }
    }
    if (!renderer)
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE | flags);
    return renderer;
}

}  // namespace platform
