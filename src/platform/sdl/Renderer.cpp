// The drawing device on SDL2: sprites, glyph-atlas text, a texture pool that survives device
// resets, full-screen scaling and frame pacing.
#include "platform/Renderer.h"

#include <SDL.h>
#include <SDL_syswm.h>
// Xlib names that clash with ours.
#undef Status
#undef None
#undef Bool
#include <SDL_image.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <thread>

#include "platform/Application.h"
#include "platform/Cp1252.h"
#include "platform/Settings.h"
#include "platform/sdl/RendererSelect.h"

namespace platform {
namespace {

constexpr Uint32 kPixelFormat = SDL_PIXELFORMAT_ARGB8888;
// The game window's size outside full screen, as the player left it.
constexpr const char* kWindowWidthSetting = "WindowWidth";
constexpr const char* kWindowHeightSetting = "WindowHeight";
constexpr int kMinWindowWidth = kPictureWidth / 2;
constexpr int kMinWindowHeight = kPictureHeight / 2;
constexpr int kMaxWindowSide = 16384;

struct SurfaceDeleter {
    void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

struct Glyph {
    SDL_Rect source{};    // in the atlas, cropped to the inked pixels; empty for no ink
    int16_t offsetX = 0;  // where the inked pixels start, right of the pen
    int16_t offsetY = 0;  // and below the line's top
    int16_t advance = 0;
};

// The smallest rectangle holding every pixel with some alpha; empty when there is none.
SDL_Rect InkBounds(SDL_Surface* surface) {
    int left = surface->w;
    int right = -1;
    int top = surface->h;
    int bottom = -1;
    for (int y = 0; y < surface->h; ++y) {
        const auto* line =
            reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(surface->pixels) +
                                              static_cast<ptrdiff_t>(y) * surface->pitch);
        for (int x = 0; x < surface->w; ++x) {
            if ((line[x] >> 24) == 0)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < left)
        return {0, 0, 0, 0};
    return {left, top, right - left + 1, bottom - top + 1};
}

struct FontSize {
    TTF_Font* font = nullptr;
    bool built = false;
    int32_t atlas = -1;
    int32_t lineHeight = 0;
    std::array<Glyph, 256> glyphs{};
};

// Frame pacing can be switched off (TORVANE_FRAME_CAP=0) so headless runs go at full speed.
bool FrameCapEnabled() {
    const char* hint = std::getenv("TORVANE_FRAME_CAP");
    return !(hint && std::strcmp(hint, "0") == 0);
}

}  // namespace

struct Renderer::Impl {
    Window* window = nullptr;
    SDL_Window* sdlWindow = nullptr;
    SurfacePtr offscreen;
    SDL_Renderer* renderer = nullptr;
    // In a window everything is drawn into this 640 x 480 target, then scaled onto the window, so
    // the picture can always be read back and full screen keeps the picture's proportions.
    SDL_Texture* picture = nullptr;
    // The software renderer draws into the window's own pixels: the picture then has the window's
    // pixel format, so scaling it is one straight pass, and a window of exactly 640 x 480 is drawn
    // on directly, without the picture and the copy of it each frame.
    bool software = false;
    bool direct = false;
    Uint32 pictureFormat = kPixelFormat;
    // Filtering only where the picture is resized: 1:1 stays pixel for pixel.
    SDL_ScaleMode pictureScaleMode = SDL_ScaleModeNearest;
    bool fullScreen = false;
    // Without a window manager a full-screen request leaves the window as it was; after a few
    // frames we check and, if so, cover the display with the borderless window ourselves.
    int fullScreenCheck = 0;
    bool emulatedFullScreen = false;
    // A size the player gave the window, written to the settings once it has held for a moment
    // (a drag reports many).
    bool sizePending = false;
    int pendingWidth = 0;
    int pendingHeight = 0;
    Uint64 pendingSince = 0;
    bool vsync = false;
    bool ttfStarted = false;
    bool eventsStarted = false;

    struct Entry {
        SurfacePtr pixels;
        SDL_Texture* texture = nullptr;
        bool used = false;
        // Every pixel fully opaque: drawn untranslucent, it is copied instead of blended.
        bool opaque = false;
        // Written by the game (UpdateTexture) rather than loaded once.
        bool streaming = false;
        // The picture held, at the texture's top-left corner: smaller than the texture when it
        // was padded to a square.
        int32_t pictureWidth = 0;
        int32_t pictureHeight = 0;
    };
    std::vector<Entry> pool;

    std::vector<uint8_t> fontData;
    std::unique_ptr<std::array<FontSize, kFontCount>> fonts;
    int fontCount = 0;

    std::atomic<bool> deviceReset{false};

    // Our own pacing, where vsync does not hold frames back: the earliest moment the next frame
    // may be shown.
    bool paced = false;
    std::chrono::steady_clock::duration period{};
    std::chrono::steady_clock::time_point nextPresent{};

    // Last picture placement reported to the window, to report only changes.
    double mappedScale = 0.0;
    int mappedX = -1;
    int mappedY = -1;

    ~Impl() {
        for (Entry& entry : pool) {
            if (entry.texture)
                SDL_DestroyTexture(entry.texture);
        }
        pool.clear();
        if (fonts) {
            for (FontSize& size : *fonts) {
                if (size.font)
                    TTF_CloseFont(size.font);
            }
        }
        if (picture)
            SDL_DestroyTexture(picture);
        if (renderer)
            SDL_DestroyRenderer(renderer);
        SDL_DelEventWatch(&Impl::WatchEvents, this);
        if (eventsStarted)
            SDL_QuitSubSystem(SDL_INIT_EVENTS);
        if (ttfStarted)
            TTF_Quit();
    }

    static int SDLCALL WatchEvents(void* data, SDL_Event* event) {
        auto* impl = static_cast<Impl*>(data);
        if (event->type == SDL_RENDER_DEVICE_RESET || event->type == SDL_RENDER_TARGETS_RESET) {
            impl->deviceReset = true;
        } else if (event->type == SDL_WINDOWEVENT &&
                   event->window.event == SDL_WINDOWEVENT_SIZE_CHANGED && impl->sdlWindow &&
                   event->window.windowID == SDL_GetWindowID(impl->sdlWindow)) {
            impl->WindowResized(event->window.data1, event->window.data2);
        }
        return 0;
    }

    // The window's size in a window, as the settings keep it (FirstWindowFactor's until the
    // player sizes it).
    void StoredWindowSize(int& w, int& h) const {
        w = GetIntSetting(kWindowWidthSetting, 0);
        h = GetIntSetting(kWindowHeightSetting, 0);
        if (w <= 0 || h <= 0) {
            SDL_Rect usable{};
            const int display = sdlWindow ? SDL_GetWindowDisplayIndex(sdlWindow) : -1;
            const int factor = display >= 0 && SDL_GetDisplayUsableBounds(display, &usable) == 0
                                   ? FirstWindowFactor(usable.w, usable.h)
                                   : 1;
            w = kPictureWidth * factor;
            h = kPictureHeight * factor;
        }
        w = std::clamp(w, kMinWindowWidth, kMaxWindowSide);
        h = std::clamp(h, kMinWindowHeight, kMaxWindowSide);
    }

    void WindowResized(int w, int h) {
        // Full screen (real or ours) is not the window's size.
        if (fullScreen || emulatedFullScreen || w <= 0 || h <= 0 ||
            (SDL_GetWindowFlags(sdlWindow) & SDL_WINDOW_FULLSCREEN) != 0) {
            return;
        }
        sizePending = true;
        pendingWidth = w;
        pendingHeight = h;
        pendingSince = SDL_GetTicks64();
    }

    // Called each frame: a file is written only once a new size has held for half a second.
    void StoreWindowSize() {
        if (!sizePending || SDL_GetTicks64() - pendingSince < 500)
            return;
        sizePending = false;
        int w = 0;
        int h = 0;
        StoredWindowSize(w, h);
        if (w == pendingWidth && h == pendingHeight)
            return;
        SetIntSetting(kWindowWidthSetting, pendingWidth);
        SetIntSetting(kWindowHeightSetting, pendingHeight);
    }

    Entry* Find(int32_t id) {
        if (id < 0 || id >= static_cast<int32_t>(pool.size()))
            return nullptr;
        Entry& entry = pool[static_cast<size_t>(id)];
        return entry.used ? &entry : nullptr;
    }
    const Entry* Find(int32_t id) const { return const_cast<Impl*>(this)->Find(id); }

    static bool IsOpaque(SDL_Surface* pixels) {
        for (int row = 0; row < pixels->h; ++row) {
            const auto* line =
                reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(pixels->pixels) +
                                                  static_cast<ptrdiff_t>(row) * pixels->pitch);
            for (int x = 0; x < pixels->w; ++x) {
                if ((line[x] >> 24) != 0xFF)
                    return false;
            }
        }
        return true;
    }

    SDL_Texture* MakeTexture(SDL_Surface* pixels, bool opaque) {
        SDL_Texture* texture = nullptr;
        if (software && opaque && pixels->format->format != pictureFormat) {
            // The software renderer copies an opaque picture drawn untranslucent row by row when
            // it already has the target's pixel format; otherwise it converts every pixel of
            // every frame (a full-screen background is most of a menu's cost).
            SurfacePtr converted(SDL_ConvertSurfaceFormat(pixels, pictureFormat, 0));
            if (converted)
                texture = SDL_CreateTextureFromSurface(renderer, converted.get());
        }
        if (!texture)
            texture = SDL_CreateTextureFromSurface(renderer, pixels);
        if (texture)
            SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
        return texture;
    }

    // A texture the game rewrites, in the kept pixels' own format so that an update is one
    // straight copy, filled from those pixels.
    SDL_Texture* MakeStreamingTexture(SDL_Surface* pixels) {
        SDL_Texture* texture = SDL_CreateTexture(renderer, kPixelFormat,
                                                 SDL_TEXTUREACCESS_STREAMING, pixels->w, pixels->h);
        if (!texture)
            return nullptr;
        if (SDL_UpdateTexture(texture, nullptr, pixels->pixels, pixels->pitch) != 0) {
            SDL_DestroyTexture(texture);
            return nullptr;
        }
        SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
        return texture;
    }

    SDL_Texture* Remake(const Entry& entry) {
        return entry.streaming ? MakeStreamingTexture(entry.pixels.get())
                               : MakeTexture(entry.pixels.get(), entry.opaque);
    }

    // `pictureWidth` x `pictureHeight` is the part of `pixels` that holds the picture; 0 x 0
    // means all of it.
    int32_t Add(SurfacePtr pixels, int32_t pictureWidth = 0, int32_t pictureHeight = 0,
                bool streaming = false) {
        Entry made;
        made.streaming = streaming;
        made.opaque = !streaming && IsOpaque(pixels.get());
        made.pictureWidth = pictureWidth > 0 ? pictureWidth : pixels->w;
        made.pictureHeight = pictureHeight > 0 ? pictureHeight : pixels->h;
        made.pixels = std::move(pixels);
        made.texture = Remake(made);
        if (!made.texture)
            return -1;
        made.used = true;
        size_t slot = 0;
        while (slot < pool.size() && pool[slot].used)
            ++slot;
        if (slot == pool.size())
            pool.emplace_back();
        pool[slot] = std::move(made);
        return static_cast<int32_t>(slot);
    }

    void SetColour(SDL_Texture* texture, uint32_t colour, bool opaque) {
        SDL_SetTextureColorMod(texture, (colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
        SDL_SetTextureAlphaMod(texture, colour >> 24);
        SDL_SetTextureBlendMode(
            texture, opaque && (colour >> 24) == 0xFF ? SDL_BLENDMODE_NONE : SDL_BLENDMODE_BLEND);
    }

    void UpdatePacing() {
        paced = false;
        if (!sdlWindow || vsync || !FrameCapEnabled())
            return;
        int refresh = 60;
        SDL_DisplayMode mode;
        const int display = SDL_GetWindowDisplayIndex(sdlWindow);
        if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 &&
            mode.refresh_rate > 0) {
            refresh = mode.refresh_rate;
        }
        paced = true;
        period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(1.0 / refresh));
    }

    void Pace() {
        if (!paced)
            return;
        using clock = std::chrono::steady_clock;
        const auto now = clock::now();
        if (now < nextPresent) {
            std::this_thread::sleep_until(nextPresent);
            nextPresent += period;
        } else {
            // A frame that came late does not earn the next ones a burst.
            nextPresent = now + period;
        }
    }

    // Where the 640 x 480 picture goes in the window, in window coordinates.
    SDL_Rect Placement() {
        int width = kPictureWidth;
        int height = kPictureHeight;
        SDL_GetRendererOutputSize(renderer, &width, &height);
        if (width <= 0 || height <= 0)
            return {0, 0, kPictureWidth, kPictureHeight};
        const double scale = std::min(static_cast<double>(width) / kPictureWidth,
                                      static_cast<double>(height) / kPictureHeight);
        const int w = static_cast<int>(std::lround(kPictureWidth * scale));
        const int h = static_cast<int>(std::lround(kPictureHeight * scale));
        SDL_Rect rect{(width - w) / 2, (height - h) / 2, w, h};

        // The cursor comes in window units, which differ from output pixels on high-density
        // screens.
        int windowWidth = width;
        int windowHeight = height;
        SDL_GetWindowSize(sdlWindow, &windowWidth, &windowHeight);
        const double unit = windowWidth > 0 ? static_cast<double>(width) / windowWidth : 1.0;
        const double mapScale = scale / unit;
        const int mapX = static_cast<int>(std::lround(rect.x / unit));
        const int mapY = static_cast<int>(std::lround(rect.y / unit));
        if (mapScale != mappedScale || mapX != mappedX || mapY != mappedY) {
            mappedScale = mapScale;
            mappedX = mapX;
            mappedY = mapY;
            if (auto* form = dynamic_cast<Form*>(window))
                form->SetPictureMapping(mapScale, mapX, mapY);
        }
        return rect;
    }

    // Chooses where the next frame is drawn: on the window itself when it shows the picture
    // pixel for pixel with the software renderer, else into the picture.
    bool ChooseTarget() {
        // Sizes are the window's only while it is the target.
        SDL_SetRenderTarget(renderer, nullptr);
        const SDL_Rect placement = Placement();
        int width = 0;
        int height = 0;
        SDL_GetRendererOutputSize(renderer, &width, &height);
        direct = software && placement.x == 0 && placement.y == 0 && width == kPictureWidth &&
                 height == kPictureHeight;
        return SDL_SetRenderTarget(renderer, direct ? nullptr : picture) == 0;
    }

    bool CreatePicture() {
        picture = SDL_CreateTexture(renderer, pictureFormat, SDL_TEXTUREACCESS_TARGET,
                                    kPictureWidth, kPictureHeight);
        if (!picture)
            return false;
        pictureScaleMode = SDL_ScaleModeNearest;
        SDL_SetTextureScaleMode(picture, pictureScaleMode);
        return true;
    }

    // The size the window system really gave the window. SDL reports the size it asked for,
    // which an X server without a window manager never grants to a full-screen request.
    bool RealWindowSize(int& w, int& h) const {
        SDL_GetWindowSize(sdlWindow, &w, &h);
#ifdef SDL_VIDEO_DRIVER_X11
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (SDL_GetWindowWMInfo(sdlWindow, &info) && info.subsystem == SDL_SYSWM_X11) {
            ::Window root = 0;
            int x = 0;
            int y = 0;
            unsigned width = 0;
            unsigned height = 0;
            unsigned border = 0;
            unsigned depth = 0;
            if (XGetGeometry(info.info.x11.display, info.info.x11.window, &root, &x, &y, &width,
                             &height, &border, &depth)) {
                w = static_cast<int>(width);
                h = static_cast<int>(height);
            }
        }
#endif
        return true;
    }

    void CheckFullScreen() {
        if (fullScreenCheck <= 0 || --fullScreenCheck > 0 || !fullScreen || !sdlWindow)
            return;
        SDL_Rect bounds{};
        const int display = SDL_GetWindowDisplayIndex(sdlWindow);
        if (display < 0 || SDL_GetDisplayBounds(display, &bounds) != 0)
            return;
        int w = 0;
        int h = 0;
        RealWindowSize(w, h);
        if (w == bounds.w && h == bounds.h)
            return;
        // Nobody made the window full screen: cover the display with it ourselves.
        SDL_SetWindowFullscreen(sdlWindow, 0);
        SDL_SetWindowPosition(sdlWindow, bounds.x, bounds.y);
        SDL_SetWindowSize(sdlWindow, bounds.w, bounds.h);
        SDL_RaiseWindow(sdlWindow);
        emulatedFullScreen = true;
    }

    void ApplyDisplayMode(bool full) {
        fullScreen = full;
        if (!sdlWindow)
            return;
        const Uint32 flags = SDL_GetWindowFlags(sdlWindow);
        const bool isFull = (flags & SDL_WINDOW_FULLSCREEN) != 0;
        if (full && !isFull && !emulatedFullScreen) {
            SDL_SetWindowFullscreen(sdlWindow, SDL_WINDOW_FULLSCREEN_DESKTOP);
            fullScreenCheck = 10;
        } else if (!full) {
            emulatedFullScreen = false;
            fullScreenCheck = 0;
            if (isFull)
                SDL_SetWindowFullscreen(sdlWindow, 0);
            // The size the player last gave the window (640 x 480 until then).
            int wanted = 0;
            int wantedHeight = 0;
            StoredWindowSize(wanted, wantedHeight);
            int w = 0;
            int h = 0;
            SDL_GetWindowSize(sdlWindow, &w, &h);
            if (w != wanted || h != wantedHeight) {
                sizePending = false;
                SDL_SetWindowSize(sdlWindow, wanted, wantedHeight);
            }
            int x = 0;
            int y = 0;
            SDL_GetWindowPosition(sdlWindow, &x, &y);
            if (x != 0 || y != 0)
                SDL_SetWindowPosition(sdlWindow, 0, 0);
        }
        UpdatePacing();
        if (renderer)
            Placement();
    }

    bool BuildAtlas(FontSize& size) {
        size.built = true;
        if (!size.font)
            return false;
        size.lineHeight = TTF_FontHeight(size.font);
        std::array<SurfacePtr, 256> rendered;
        std::array<SDL_Rect, 256> inkRects{};
        const int atlasWidth = size.lineHeight > 48 ? 2048 : 1024;
        int x = 0;
        int y = 0;
        for (int byte = 32; byte < 256; ++byte) {
            const char32_t codePoint = Cp1252ToCodePoint(static_cast<uint8_t>(byte));
            if (codePoint == 0xFFFD || !TTF_GlyphIsProvided32(size.font, codePoint))
                continue;
            int minX = 0;
            int maxX = 0;
            int minY = 0;
            int maxY = 0;
            int advance = 0;
            if (TTF_GlyphMetrics32(size.font, codePoint, &minX, &maxX, &minY, &maxY, &advance) !=
                0) {
                continue;
            }
            Glyph& glyph = size.glyphs[static_cast<size_t>(byte)];
            glyph.advance = static_cast<int16_t>(advance);
            SDL_Surface* surface =
                TTF_RenderGlyph32_Blended(size.font, codePoint, {255, 255, 255, 255});
            if (!surface)
                continue;
            SurfacePtr owned(SDL_ConvertSurfaceFormat(surface, kPixelFormat, 0));
            SDL_FreeSurface(surface);
            if (!owned)
                continue;
            // Only the inked pixels go into the atlas: every pixel drawn is a pixel blended.
            const SDL_Rect ink = InkBounds(owned.get());
            if (ink.w <= 0 || ink.w > atlasWidth)
                continue;
            if (x + ink.w > atlasWidth) {
                x = 0;
                y += size.lineHeight + 1;
            }
            // The rendered picture starts at the pen, or left of it for a glyph reaching back.
            glyph.offsetX = static_cast<int16_t>(std::min(0, minX) + ink.x);
            glyph.offsetY = static_cast<int16_t>(ink.y);
            glyph.source = {x, y, ink.w, std::min(ink.h, size.lineHeight + 1)};
            inkRects[static_cast<size_t>(byte)] = ink;
            x += ink.w + 1;
            rendered[static_cast<size_t>(byte)] = std::move(owned);
        }
        const int atlasHeight = y + size.lineHeight + 1;
        SurfacePtr atlas(
            SDL_CreateRGBSurfaceWithFormat(0, atlasWidth, atlasHeight, 32, kPixelFormat));
        if (!atlas)
            return false;
        SDL_FillRect(atlas.get(), nullptr, 0);
        for (int byte = 32; byte < 256; ++byte) {
            SDL_Surface* glyphPicture = rendered[static_cast<size_t>(byte)].get();
            if (!glyphPicture)
                continue;
            SDL_Rect target = size.glyphs[static_cast<size_t>(byte)].source;
            const SDL_Rect& ink = inkRects[static_cast<size_t>(byte)];
            SDL_Rect source{ink.x, ink.y, target.w, target.h};
            SDL_SetSurfaceBlendMode(glyphPicture, SDL_BLENDMODE_NONE);
            SDL_BlitSurface(glyphPicture, &source, atlas.get(), &target);
        }
        size.atlas = Add(std::move(atlas));
        return size.atlas >= 0;
    }

    FontSize* Font(int32_t index) {
        if (!fonts || index < 0 || index >= fontCount)
            return nullptr;
        FontSize& size = (*fonts)[static_cast<size_t>(index)];
        if (!size.built)
            BuildAtlas(size);
        return size.atlas >= 0 ? &size : nullptr;
    }
};

// ---------------------------------------------------------------------------------------------

Renderer::Renderer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Renderer::~Renderer() = default;

std::unique_ptr<Renderer> Renderer::Create(Window* window, bool fullScreen, CreateError* error) {
    auto fail = [error](CreateError what) {
        if (error)
            *error = what;
        return std::unique_ptr<Renderer>();
    };
    if (error)
        *error = CreateError::NoError;
    if (SDL_GetNumRenderDrivers() < 1)
        return fail(CreateError::NoDriver);

    auto impl = std::make_unique<Impl>();
    impl->window = window;
    impl->sdlWindow = window ? static_cast<SDL_Window*>(window->NativeHandle()) : nullptr;
    if (impl->sdlWindow) {
        // SDL holds frames to the refresh rate itself (true vsync, or simulated where there is
        // none); headless runs that asked for full speed get neither.
        const Uint32 vsync = FrameCapEnabled() ? SDL_RENDERER_PRESENTVSYNC : 0;
        // Without a GPU, SDL's software renderer rather than OpenGL emulated on the CPU.
        impl->renderer = CreateCheapestRenderer(impl->sdlWindow, vsync);
        if (!impl->renderer)
            return fail(CreateError::NoDevice);
        SDL_RendererInfo info;
        if (SDL_GetRendererInfo(impl->renderer, &info) == 0) {
            // The software renderer lists vsync among its abilities but presents at once.
            impl->vsync = (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0 &&
                          (info.flags & SDL_RENDERER_SOFTWARE) == 0;
            impl->software = (info.flags & SDL_RENDERER_SOFTWARE) != 0;
        }
        // Same channel layout, so the picture's pixels are what an ARGB picture would hold.
        const Uint32 windowFormat = SDL_GetWindowPixelFormat(impl->sdlWindow);
        if (impl->software &&
            (windowFormat == SDL_PIXELFORMAT_RGB888 || windowFormat == SDL_PIXELFORMAT_ARGB8888)) {
            impl->pictureFormat = windowFormat;
        }
        if (!impl->CreatePicture() || SDL_SetRenderTarget(impl->renderer, impl->picture) != 0)
            return fail(CreateError::NoDevice);
        impl->ApplyDisplayMode(fullScreen);
        if (!impl->ChooseTarget())
            return fail(CreateError::NoDevice);
    } else {
        impl->offscreen.reset(
            SDL_CreateRGBSurfaceWithFormat(0, kPictureWidth, kPictureHeight, 32, kPixelFormat));
        if (!impl->offscreen)
            return fail(CreateError::NoDevice);
        impl->renderer = SDL_CreateSoftwareRenderer(impl->offscreen.get());
        if (!impl->renderer)
            return fail(CreateError::NoDevice);
        impl->fullScreen = fullScreen;
    }
    SDL_SetRenderDrawBlendMode(impl->renderer, SDL_BLENDMODE_NONE);
    // Device resets arrive as events; the queue must exist to watch for them, even headless.
    impl->eventsStarted = SDL_InitSubSystem(SDL_INIT_EVENTS) == 0;
    SDL_AddEventWatch(&Impl::WatchEvents, impl.get());
    return std::unique_ptr<Renderer>(new Renderer(std::move(impl)));
}

int32_t Renderer::LoadTexture(const std::string& file, uint32_t colourKey, bool squareTexture,
                              int32_t* width, int32_t* height) {
    SurfacePtr loaded(IMG_Load(file.c_str()));
    if (!loaded)
        return -1;
    SurfacePtr pixels(SDL_ConvertSurfaceFormat(loaded.get(), kPixelFormat, 0));
    if (!pixels)
        return -1;
    loaded.reset();
    const int w = pixels->w;
    const int h = pixels->h;
    if (colourKey != 0) {
        SDL_LockSurface(pixels.get());
        for (int row = 0; row < h; ++row) {
            auto* line = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels->pixels) +
                                                     static_cast<ptrdiff_t>(row) * pixels->pitch);
            std::replace(line, line + w, colourKey, 0u);
        }
        SDL_UnlockSurface(pixels.get());
    }
    if (squareTexture) {
        int side = 1;
        while (side < std::max(w, h))
            side *= 2;
        SurfacePtr square(SDL_CreateRGBSurfaceWithFormat(0, side, side, 32, kPixelFormat));
        if (!square)
            return -1;
        SDL_FillRect(square.get(), nullptr, 0);
        SDL_SetSurfaceBlendMode(pixels.get(), SDL_BLENDMODE_NONE);
        SDL_Rect target{0, 0, w, h};
        if (SDL_BlitSurface(pixels.get(), nullptr, square.get(), &target) != 0)
            return -1;
        pixels = std::move(square);
    }
    const int32_t id = impl_->Add(std::move(pixels), w, h);
    if (id >= 0) {
        if (width)
            *width = w;
        if (height)
            *height = h;
    }
    return id;
}

int32_t Renderer::CreateSolidTexture(uint32_t argb) {
    SurfacePtr pixels(SDL_CreateRGBSurfaceWithFormat(0, 1, 1, 32, kPixelFormat));
    if (!pixels)
        return -1;
    SDL_FillRect(pixels.get(), nullptr, argb);
    return impl_->Add(std::move(pixels));
}

int32_t Renderer::CreateStreamingTexture(int32_t width, int32_t height, bool squareTexture) {
    if (width < 1 || height < 1 || width > 4096 || height > 4096)
        return -1;
    int textureWidth = width;
    int textureHeight = height;
    if (squareTexture) {
        int side = 1;
        while (side < std::max(width, height))
            side *= 2;
        textureWidth = side;
        textureHeight = side;
    }
    SurfacePtr pixels(
        SDL_CreateRGBSurfaceWithFormat(0, textureWidth, textureHeight, 32, kPixelFormat));
    if (!pixels)
        return -1;
    SDL_FillRect(pixels.get(), nullptr, 0);
    return impl_->Add(std::move(pixels), width, height, true);
}

bool Renderer::UpdateTexture(int32_t id, std::span<const uint32_t> argb) {
    Impl::Entry* entry = impl_->Find(id);
    if (!entry || !entry->streaming)
        return false;
    const int32_t width = entry->pictureWidth;
    const int32_t height = entry->pictureHeight;
    if (argb.size() != static_cast<size_t>(width) * static_cast<size_t>(height))
        return false;
    SDL_Surface* pixels = entry->pixels.get();
    bool opaque = width == pixels->w && height == pixels->h;
    for (int32_t row = 0; row < height; ++row) {
        const uint32_t* from = argb.data() + static_cast<size_t>(row) * width;
        auto* to = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels->pixels) +
                                               static_cast<ptrdiff_t>(row) * pixels->pitch);
        std::memcpy(to, from, static_cast<size_t>(width) * 4);
        if (opaque) {
            for (int32_t x = 0; x < width; ++x) {
                if ((from[x] >> 24) != 0xFF) {
                    opaque = false;
                    break;
                }
            }
        }
    }
    entry->opaque = opaque;
    if (!entry->texture)
        return false;
    const SDL_Rect area{0, 0, width, height};
    return SDL_UpdateTexture(entry->texture, &area, pixels->pixels, pixels->pitch) == 0;
}

void Renderer::ReleaseTexture(int32_t id) {
    Impl::Entry* entry = impl_->Find(id);
    if (!entry)
        return;
    if (entry->texture)
        SDL_DestroyTexture(entry->texture);
    entry->texture = nullptr;
    entry->pixels.reset();
    entry->used = false;
    entry->streaming = false;
}

int32_t Renderer::TextureWidth(int32_t id) const {
    const Impl::Entry* entry = impl_->Find(id);
    return entry ? entry->pixels->w : 0;
}

int32_t Renderer::TextureHeight(int32_t id) const {
    const Impl::Entry* entry = impl_->Find(id);
    return entry ? entry->pixels->h : 0;
}

bool Renderer::LoadFonts(const std::string& fontFile, std::span<const int> pixelHeights) {
    if (!impl_->ttfStarted) {
        if (TTF_Init() != 0)
            return false;
        impl_->ttfStarted = true;
    }
    std::ifstream in(fontFile, std::ios::binary);
    if (!in)
        return false;
    impl_->fontData.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (impl_->fontData.empty())
        return false;
    impl_->fonts = std::make_unique<std::array<FontSize, kFontCount>>();
    impl_->fontCount = 0;
    const size_t count = std::min(pixelHeights.size(), static_cast<size_t>(kFontCount));
    for (size_t i = 0; i < count; ++i) {
        SDL_RWops* source =
            SDL_RWFromConstMem(impl_->fontData.data(), static_cast<int>(impl_->fontData.size()));
        TTF_Font* font = source ? TTF_OpenFontRW(source, 1, pixelHeights[i]) : nullptr;
        if (!font)
            return false;
        (*impl_->fonts)[i].font = font;
        impl_->fontCount = static_cast<int>(i + 1);
    }
    return impl_->fontCount == static_cast<int>(pixelHeights.size());
}

int32_t Renderer::TextWidth(int32_t fontIndex, std::string_view line) {
    FontSize* size = impl_->Font(fontIndex);
    if (!size)
        return 0;
    int32_t width = 0;
    for (char c : line)
        width += size->glyphs[static_cast<uint8_t>(c)].advance;
    return width;
}

int32_t Renderer::LineHeight(int32_t fontIndex) {
    FontSize* size = impl_->Font(fontIndex);
    return size ? size->lineHeight : 0;
}

bool Renderer::DrawText(int32_t fontIndex, int32_t x, int32_t y, std::string_view text,
                        uint32_t colour, int32_t align) {
    FontSize* size = impl_->Font(fontIndex);
    if (!size)
        return false;
    Impl::Entry* atlas = impl_->Find(size->atlas);
    if (!atlas || !atlas->texture)
        return false;
    SDL_Texture* texture = atlas->texture;
    SDL_SetTextureColorMod(texture, (colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
    SDL_SetTextureAlphaMod(texture, colour >> 24);
    bool ok = true;
    int32_t top = y;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        int32_t pen = x;
        if (align == 1 || align == 2) {
            const int32_t width = TextWidth(fontIndex, line);
            pen = align == 1 ? x - width / 2 : x - width;
        }
        for (char c : line) {
            const Glyph& glyph = size->glyphs[static_cast<uint8_t>(c)];
            if (glyph.source.w > 0) {
                SDL_Rect target{pen + glyph.offsetX, top + glyph.offsetY, glyph.source.w,
                                glyph.source.h};
                if (SDL_RenderCopy(impl_->renderer, texture, &glyph.source, &target) != 0)
                    ok = false;
            }
            pen += glyph.advance;
        }
        top += size->lineHeight;
        start = end + 1;
    }
    return ok;
}

bool Renderer::Clear(uint32_t argb) {
    SDL_SetRenderDrawColor(impl_->renderer, (argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF,
                           0xFF);
    return SDL_RenderClear(impl_->renderer) == 0;
}

bool Renderer::DrawTexture(int32_t id, float x, float y, uint32_t colour, float scaleX,
                           float scaleY, float centreX, float centreY, float rotation) {
    Impl::Entry* entry = impl_->Find(id);
    if (!entry || !entry->texture)
        return false;
    float width = static_cast<float>(entry->pixels->w) * scaleX;
    float height = static_cast<float>(entry->pixels->h) * scaleY;
    if (width == 0.0f || height == 0.0f || !std::isfinite(width) || !std::isfinite(height)) {
        return true;
    }
    // A negative size lays the picture out to the left of (or above) its corner, mirrored; the
    // rotation centre stays where it was in scaled picture space.
    int flip = SDL_FLIP_NONE;
    float left = 0.0f;
    float top = 0.0f;
    if (width < 0.0f) {
        flip |= SDL_FLIP_HORIZONTAL;
        left = width;
        width = -width;
    }
    if (height < 0.0f) {
        flip |= SDL_FLIP_VERTICAL;
        top = height;
        height = -height;
    }
    const SDL_FRect target{x + left, y + top, width, height};
    if (impl_->software && entry->pixels->w == 1 && entry->pixels->h == 1 && rotation == 0.0f) {
        // A one-pixel picture stretched over a rectangle (the menus' dimmed panels) is a filled
        // rectangle: the software renderer fills and blends it with the same arithmetic as a
        // stretched copy, without resampling every pixel.
        const uint32_t pixel = *static_cast<const uint32_t*>(entry->pixels->pixels);
        const auto modulate = [](uint32_t value, uint32_t by) {
            return static_cast<Uint8>((value & 0xFF) * (by & 0xFF) / 255);
        };
        const Uint8 alpha = modulate(pixel >> 24, colour >> 24);
        SDL_SetRenderDrawColor(impl_->renderer, modulate(pixel >> 16, colour >> 16),
                               modulate(pixel >> 8, colour >> 8), modulate(pixel, colour), alpha);
        SDL_SetRenderDrawBlendMode(impl_->renderer,
                                   alpha == 0xFF ? SDL_BLENDMODE_NONE : SDL_BLENDMODE_BLEND);
        const bool filled = SDL_RenderFillRectF(impl_->renderer, &target) == 0;
        SDL_SetRenderDrawBlendMode(impl_->renderer, SDL_BLENDMODE_NONE);
        return filled;
    }
    SDL_Texture* texture = entry->texture;
    impl_->SetColour(texture, colour, entry->opaque);
    if (rotation == 0.0f && flip == SDL_FLIP_NONE) {
        return SDL_RenderCopyF(impl_->renderer, texture, nullptr, &target) == 0;
    }
    const SDL_FPoint centre{centreX - left, centreY - top};
    const double degrees = static_cast<double>(rotation) * 180.0 / std::numbers::pi;
    return SDL_RenderCopyExF(impl_->renderer, texture, nullptr, &target, degrees, &centre,
                             static_cast<SDL_RendererFlip>(flip)) == 0;
}

bool Renderer::DrawTextureRegion(int32_t id, int32_t srcX, int32_t srcY, int32_t srcWidth,
                                 int32_t srcHeight, float x, float y, uint32_t colour, float scaleX,
                                 float scaleY) {
    Impl::Entry* entry = impl_->Find(id);
    if (!entry || !entry->texture)
        return false;
    if (srcWidth <= 0 || srcHeight <= 0 || scaleX == 0.0f || scaleY == 0.0f ||
        !std::isfinite(scaleX) || !std::isfinite(scaleY) || !std::isfinite(x) ||
        !std::isfinite(y)) {
        return true;
    }
    // Clipped to the picture, in 64 bits so that no region can overflow.
    const int64_t left = std::max<int64_t>(srcX, 0);
    const int64_t top = std::max<int64_t>(srcY, 0);
    const int64_t right = std::min<int64_t>(int64_t{srcX} + srcWidth, entry->pictureWidth);
    const int64_t bottom = std::min<int64_t>(int64_t{srcY} + srcHeight, entry->pictureHeight);
    if (right <= left || bottom <= top)
        return true;
    const SDL_Rect source{static_cast<int>(left), static_cast<int>(top),
                          static_cast<int>(right - left), static_cast<int>(bottom - top)};
    // Where the kept columns and rows land within the whole region; a negative scale lays them
    // out leftwards (or upwards) of the corner, mirrored.
    const float x0 = x + static_cast<float>(left - srcX) * scaleX;
    const float x1 = x + static_cast<float>(right - srcX) * scaleX;
    const float y0 = y + static_cast<float>(top - srcY) * scaleY;
    const float y1 = y + static_cast<float>(bottom - srcY) * scaleY;
    const SDL_FRect target{std::min(x0, x1), std::min(y0, y1), std::fabs(x1 - x0),
                           std::fabs(y1 - y0)};
    int flip = SDL_FLIP_NONE;
    if (scaleX < 0.0f)
        flip |= SDL_FLIP_HORIZONTAL;
    if (scaleY < 0.0f)
        flip |= SDL_FLIP_VERTICAL;
    impl_->SetColour(entry->texture, colour, entry->opaque);
    if (flip == SDL_FLIP_NONE)
        return SDL_RenderCopyF(impl_->renderer, entry->texture, &source, &target) == 0;
    return SDL_RenderCopyExF(impl_->renderer, entry->texture, &source, &target, 0.0, nullptr,
                             static_cast<SDL_RendererFlip>(flip)) == 0;
}

bool Renderer::FillRect(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb) {
    const Uint8 alpha = static_cast<Uint8>(argb >> 24);
    if (width <= 0 || height <= 0 || alpha == 0)
        return true;
    SDL_SetRenderDrawColor(impl_->renderer, (argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF,
                           alpha);
    SDL_SetRenderDrawBlendMode(impl_->renderer,
                               alpha == 0xFF ? SDL_BLENDMODE_NONE : SDL_BLENDMODE_BLEND);
    const SDL_Rect rect{x, y, width, height};
    const bool filled = SDL_RenderFillRect(impl_->renderer, &rect) == 0;
    SDL_SetRenderDrawBlendMode(impl_->renderer, SDL_BLENDMODE_NONE);
    return filled;
}

bool Renderer::Present() {
    Impl& impl = *impl_;
    // Like a lost Direct3D device, a picture that cannot be shown makes the frame wait for the
    // device to come back.
    if (TestCooperativeLevel() != Status::Ready)
        return false;
    if (!impl.sdlWindow) {
        SDL_RenderFlush(impl.renderer);
        return true;
    }
    impl.CheckFullScreen();
    impl.StoreWindowSize();
    bool ok = true;
    if (!impl.direct) {
        ok = SDL_SetRenderTarget(impl.renderer, nullptr) == 0;
        SDL_SetRenderDrawColor(impl.renderer, 0, 0, 0, 0xFF);
        SDL_RenderClear(impl.renderer);
        const SDL_Rect placement = impl.Placement();
        // Nearest-pixel scaling by a factor such as 1.6 or 2.25 doubles some rows and columns and
        // not others; blending neighbours keeps thin lines and letters even. Whole factors stay
        // pixel for pixel: every picture pixel becomes a square of them.
        const bool whole = placement.w % kPictureWidth == 0 && placement.h % kPictureHeight == 0 &&
                           placement.w / kPictureWidth == placement.h / kPictureHeight;
        const SDL_ScaleMode mode = whole ? SDL_ScaleModeNearest : SDL_ScaleModeLinear;
        if (mode != impl.pictureScaleMode) {
            SDL_SetTextureScaleMode(impl.picture, mode);
            impl.pictureScaleMode = mode;
        }
        SDL_SetTextureColorMod(impl.picture, 0xFF, 0xFF, 0xFF);
        SDL_SetTextureAlphaMod(impl.picture, 0xFF);
        SDL_SetTextureBlendMode(impl.picture, SDL_BLENDMODE_NONE);
        ok = SDL_RenderCopy(impl.renderer, impl.picture, nullptr, &placement) == 0 && ok;
    }
    SDL_RenderPresent(impl.renderer);
    ok = impl.ChooseTarget() && ok;
    impl.Pace();
    return ok;
}

Renderer::Status Renderer::TestCooperativeLevel() const {
    if (impl_->deviceReset)
        return Status::NeedsReset;
    // A full-screen game that was switched away from cannot be shown until it comes back.
    if (impl_->window && impl_->fullScreen && impl_->window->IsMinimized())
        return Status::Lost;
    return Status::Ready;
}

bool Renderer::Reset(bool fullScreen) {
    Impl& impl = *impl_;
    impl.ApplyDisplayMode(fullScreen);
    if (!impl.deviceReset.exchange(false))
        return !impl.picture || impl.ChooseTarget();
    bool ok = true;
    if (impl.picture) {
        SDL_DestroyTexture(impl.picture);
        impl.picture = nullptr;
        ok = impl.CreatePicture() && impl.ChooseTarget();
    }
    for (Impl::Entry& entry : impl.pool) {
        if (!entry.used)
            continue;
        if (entry.texture)
            SDL_DestroyTexture(entry.texture);
        entry.texture = impl.Remake(entry);
        if (!entry.texture)
            ok = false;
    }
    return ok;
}

bool Renderer::IsFullScreen() const {
    return impl_->fullScreen;
}
bool Renderer::HasWindow() const {
    return impl_->sdlWindow != nullptr;
}
bool Renderer::IsPaced() const {
    return impl_->vsync || impl_->paced;
}

uint32_t Renderer::PixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= kPictureWidth || y >= kPictureHeight)
        return 0;
    uint32_t pixel = 0;
    const SDL_Rect rect{x, y, 1, 1};
    if (SDL_RenderReadPixels(impl_->renderer, &rect, kPixelFormat, &pixel, 4) != 0)
        return 0;
    return pixel | 0xFF000000u;
}

bool Renderer::ReadPicture(std::vector<uint32_t>& argb) const {
    argb.resize(static_cast<size_t>(kPictureWidth) * kPictureHeight);
    if (SDL_RenderReadPixels(impl_->renderer, nullptr, kPixelFormat, argb.data(),
                             kPictureWidth * 4) != 0) {
        return false;
    }
    for (uint32_t& pixel : argb)
        pixel |= 0xFF000000u;
    return true;
}

bool Renderer::SavePicture(const std::string& pngPath) const {
    std::vector<uint32_t> pixels;
    return ReadPicture(pixels) &&
           WritePicture(pngPath, kPictureWidth, kPictureHeight, pixels.data());
}

bool WritePicture(const std::string& path, int width, int height, const uint32_t* argb) {
    if (width <= 0 || height <= 0 || !argb)
        return false;
    SurfacePtr surface(SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(argb), width,
                                                          height, 32, width * 4, kPixelFormat));
    if (!surface)
        return false;
    const bool bmp =
        path.size() >= 4 && SDL_strcasecmp(path.c_str() + path.size() - 4, ".bmp") == 0;
    // Written beside under a hidden name, then renamed: nobody ever sees half a picture, and a
    // failed write leaves nothing behind.
    const size_t slash = path.find_last_of('/');
    const std::string part = slash == std::string::npos ? "." + path + ".part"
                                                        : path.substr(0, slash + 1) + "." +
                                                              path.substr(slash + 1) + ".part";
    const bool written = (bmp ? SDL_SaveBMP(surface.get(), part.c_str())
                              : IMG_SavePNG(surface.get(), part.c_str())) == 0;
    if (written && std::rename(part.c_str(), path.c_str()) == 0)
        return true;
    std::remove(part.c_str());
    return false;
}

std::string FindFontFile(const std::string& family) {
    if (!FcInit())
        return {};
    std::string file;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    if (match) {
        FcChar8* matchedFamily = nullptr;
        FcChar8* path = nullptr;
        // Font matching always answers something; only the family asked for will do.
        if (FcPatternGetString(match, FC_FAMILY, 0, &matchedFamily) == FcResultMatch &&
            FcStrCmpIgnoreCase(matchedFamily, reinterpret_cast<const FcChar8*>(family.c_str())) ==
                0 &&
            FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
            file = reinterpret_cast<const char*>(path);
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return file;
}

}  // namespace platform
