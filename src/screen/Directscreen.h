// The screen engine: frame cycle and clock, pictures drawn as sprites (whole or in parts), pictures
// whose pixels the game writes, filled rectangles, text in forty sizes, fades, the frame-rate line
// and the game's own mouse cursor.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Window.h"

namespace platform {
class Renderer;
}

namespace torvane {

// One picture, loaded from a file or made by the game (DirectScreen::CreateImage). It draws with
// the engine that made it and draws nothing once that engine is gone.
class Image {
  public:
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // Scaled by (scaleX, scaleY), rotated by `rotation` radians around (centreX, centreY) of the
    // scaled picture, its top-left corner moved to (x, y); `colour` modulates it (alpha makes it
    // translucent, RGB tints it). A negative scale mirrors it about its corner.
    void Draw(int32_t x, int32_t y, uint32_t colour = 0xFFFFFFFF, float scaleX = 1.0f,
              float scaleY = 1.0f, int32_t centreX = 0, int32_t centreY = 0,
              float rotation = 0.0f) const;
    // The part (srcX, srcY, srcWidth, srcHeight) of the picture, clipped to the picture, scaled
    // by (scaleX, scaleY), its top-left corner at (x, y); `colour` modulates it as in Draw.
    void DrawRegion(int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight, int32_t x,
                    int32_t y, uint32_t colour = 0xFFFFFFFF, float scaleX = 1.0f,
                    float scaleY = 1.0f) const;
    // For a picture made by DirectScreen::CreateImage: replaces all its pixels (GetWidth() x
    // GetHeight() ARGB words, row by row, straight alpha; blended when drawn). False for a
    // picture loaded from a file, a wrong size, or a lost engine.
    bool SetPixels(std::span<const uint32_t> argb);
    // The picture's size in its file (not the texture's).
    int32_t GetWidth() const { return width; }
    int32_t GetHeight() const { return height; }

  private:
    friend class DirectScreen;
    Image(std::weak_ptr<platform::Renderer> renderer, int32_t texture, int32_t width,
          int32_t height, bool writable);

    std::weak_ptr<platform::Renderer> renderer;
    int32_t texture;
    int32_t width;
    int32_t height;
    // Made by CreateImage: its pixels come from SetPixels.
    bool writable;
};

class DirectScreen {
  public:
    static constexpr int kFontSizes = 40;

    // Errors are shown in the error box; the engine is then incomplete: it draws nothing, loads
    // no picture (without another box) and lets fades run their course unseen.
    explicit DirectScreen(platform::Window* window);
    ~DirectScreen();
    DirectScreen(const DirectScreen&) = delete;
    DirectScreen& operator=(const DirectScreen&) = delete;

    void BeginFrame();
    void EndFrame(bool drawCursor);

    int32_t GetFrameTime() const { return frameTime; }
    int32_t GetFps() const { return fps; }
    // Loading time must not count as one long frame: screens call this after loading.
    void ResetFrameClock();

    // Null after the error box. `colourKey` (ARGB, 0 = none) turns exactly that colour transparent.
    std::unique_ptr<Image> LoadImage(const std::string& path, uint32_t colourKey);
    // A transparent picture of that size whose pixels the game sets (SetPixels); null when the
    // engine is not ready or the size is not 1..4096 in each direction.
    std::unique_ptr<Image> CreateImage(int32_t width, int32_t height);
    // A filled rectangle, alpha blended.
    void FillRect(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour);
    // Windows-1252 text, top at y; align 0 starts at x, 1 centres on x, 2 ends at x (per line).
    // A non-zero shadow first draws the text in black at half its alpha, offset by `shadow`.
    void DrawText(int32_t x, int32_t y, const std::string& text, uint32_t colour, int32_t shadow,
                  int32_t fontIndex, int32_t align);
    // Width in pixels of one line of Windows-1252 text in font size `fontIndex` (0..39).
    int32_t TextWidth(int32_t fontIndex, const std::string& line);

    // Fades the picture to `colour` (fadeOut) or from it over `durationMs`; 0 removes the fade.
    void Fade(bool fadeOut, uint32_t durationMs, uint32_t colour);
    // False while a fade runs; true once it has run its course (the fade is then removed) or when
    // there is none.
    bool FadeDone();

    // The current picture, as a PNG file.
    bool SaveScreenshot(const std::string& pngPath) const;
    // One pixel of the current picture (ARGB, opaque); 0 outside it or without a device.
    uint32_t PixelAt(int x, int y) const;
    // The whole current picture, row by row (ARGB, opaque).
    bool ReadPicture(std::vector<uint32_t>& argb) const;
    // False when construction failed at some step.
    bool IsReady() const { return ready; }
    bool IsFullScreen() const;

    // Pixel height of font size `fontIndex`: 12 + 2 x index points at 96 dpi.
    static int FontPixelHeight(int fontIndex);

  private:
    void DrawFadeOverlay();
    void AdvanceFade();
    void CheckScreenshotKey();

    platform::Window* window;
    std::shared_ptr<platform::Renderer> renderer;
    bool ready = false;
    bool showDebugInfo = false;
    platform::ClockReading lastTime{};
    int32_t fpsTime = 0;
    int32_t fpsFrames = 0;
    int32_t fps = 0;
    int32_t frameTime = 0;
    uint32_t fadeColour = 0;
    bool fadeOut = false;
    uint32_t fadeDuration = 0;
    uint32_t fadeElapsed = 0;
    int32_t fadeTexture = -1;
    bool fadeFailed = false;
    std::unique_ptr<Image> cursor;
    bool screenshotKeyDown = false;
    std::string fpsLine;
};

}  // namespace torvane
