// The SDL side of choosing a renderer (platform/RendererChoice.h): what a renderer says of
// itself, and a renderer for a window that is the accelerated one only where a GPU draws.
#pragma once

#include <SDL.h>

#include "platform/RendererChoice.h"

namespace platform {

// What `renderer` reports: SDL's name and flags, and for an OpenGL renderer its GL_RENDERER.
RendererReport ReportOf(SDL_Renderer* renderer);

// The accelerated renderer where a GPU is behind it, SDL's software renderer where there is
// none or the accelerated one is a software rasteriser (or when no accelerated one can be made).
// `flags` adds SDL_RENDERER_PRESENTVSYNC and the like. Null when neither can be made.
SDL_Renderer* CreateCheapestRenderer(SDL_Window* window, Uint32 flags);

}  // namespace platform
