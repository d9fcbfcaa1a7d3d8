// The drawing device behind the screen engine: one 640 x 480 picture built from tinted, scaled and
// rotated sprites and text, shown in the game window or kept off-screen when there is no display.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Window.h"

namespace platform {

// Number of font sizes a renderer holds.
inline constexpr int kFontCount = 40;

class Renderer {
  public:
    enum class CreateError { NoError, NoDriver, NoDevice };
    enum class Status { Ready, Lost, NeedsReset };

    // On the window's native handle: an accelerated renderer with vsync (SDL's software renderer
    // when no accelerated one works), the window in full screen (the desktop-sized window with the
    // picture scaled to fit, aspect kept) or as the 640 x 480 window at the desktop's top-left
    // corner. Without a native handle: the software renderer on an off-screen 640 x 480 picture.
    // Null on failure, with `error` saying which step failed.
    static std::unique_ptr<Renderer> Create(Window* window, bool fullScreen, CreateError* error);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Textures live in a managed pool: their pixels are kept, so they survive a device reset
    // without reading the file again. Ids are small non-negative integers; -1 means none.
    // `colourKey` (ARGB, 0 = none): pixels of exactly that colour become transparent black.
    // `squareTexture`: the picture goes into the top-left corner of the smallest power-of-two
    // square texture holding it, the rest transparent black. `width`/`height` get the file's size.
    int32_t LoadTexture(const std::string& file, uint32_t colourKey, bool squareTexture,
                        int32_t* width, int32_t* height);
    // A 1 x 1 texture of one colour.
    int32_t CreateSolidTexture(uint32_t argb);
    // A texture whose pixels the game writes (UpdateTexture), transparent black at first and
    // blended when drawn. Its pixels are kept like a loaded picture's, so a device reset restores
    // the last ones written. `squareTexture` pads it as LoadTexture does. -1 for a size outside
    // 1..4096 or when the device refuses it.
    int32_t CreateStreamingTexture(int32_t width, int32_t height, bool squareTexture);
    // Replaces every pixel of a texture made by CreateStreamingTexture with `argb` (its picture's
    // width x height words, row by row, straight alpha). Allocates nothing. False for any other
    // texture or a wrong number of pixels, which leave the texture as it was.
    bool UpdateTexture(int32_t id, std::span<const uint32_t> argb);
    void ReleaseTexture(int32_t id);
    // The texture's own size (a square texture's side).
    int32_t TextureWidth(int32_t id) const;
    int32_t TextureHeight(int32_t id) const;

    // Opens one face at kFontCount pixel heights; glyph atlases are built on the first use of each
    // size and kept. False when the face cannot be read at every size.
    bool LoadFonts(const std::string& fontFile, std::span<const int> pixelHeights);
    // Draws Windows-1252 text with its first line's top at y; lines break at LF (a CR before it is
    // dropped). align 0: lines start at x, 1: centred on x, 2: end at x.
    bool DrawText(int32_t fontIndex, int32_t x, int32_t y, std::string_view text, uint32_t colour,
                  int32_t align);
    int32_t TextWidth(int32_t fontIndex, std::string_view line);
    int32_t LineHeight(int32_t fontIndex);

    bool Clear(uint32_t argb);
    // The whole texture scaled by (scaleX, scaleY) from its top-left corner, rotated clockwise on
    // screen by `rotation` radians around (centreX, centreY) of that scaled picture, moved to (x,
    // y) and modulated by the ARGB `colour`. A negative scale mirrors the picture about its corner.
    bool DrawTexture(int32_t id, float x, float y, uint32_t colour, float scaleX, float scaleY,
                     float centreX, float centreY, float rotation);
    // The part (srcX, srcY, srcWidth, srcHeight) of the texture's picture, clipped to that picture
    // (never reaching a square texture's padding), scaled by (scaleX, scaleY) with its top-left
    // corner at (x, y), modulated by `colour`. A clipped part keeps its place: it is drawn where
    // it would be within the whole region. A negative scale mirrors the region about its corner.
    // Pixel for pixel at scale 1. True when nothing needed drawing.
    bool DrawTextureRegion(int32_t id, int32_t srcX, int32_t srcY, int32_t srcWidth,
                           int32_t srcHeight, float x, float y, uint32_t colour, float scaleX,
                           float scaleY);
    // A rectangle of one ARGB colour, blended over the picture (copied when opaque).
    bool FillRect(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb);
    // Shows the picture; in a window, frames are paced to the display's refresh rate when vsync
    // does not already hold them back. False when the picture could not be shown.
    bool Present();

    Status TestCooperativeLevel() const;
    // Applies the display mode and, after a device reset, re-creates every texture from its kept
    // pixels. False when a texture could not be re-created.
    bool Reset(bool fullScreen);
    bool IsFullScreen() const;
    bool HasWindow() const;
    // True when frames are held to the display's refresh rate by vsync or by our own pacing.
    bool IsPaced() const;

    // Reads back the current picture (ARGB, alpha forced opaque).
    uint32_t PixelAt(int x, int y) const;
    bool ReadPicture(std::vector<uint32_t>& argb) const;
    bool SavePicture(const std::string& pngPath) const;

    struct Impl;

  private:
    explicit Renderer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Writes ARGB pixels as a PNG file (BMP when the name ends in ".bmp").
bool WritePicture(const std::string& path, int width, int height, const uint32_t* argb);

// The file of an installed face of `family` (regular style), or empty when the font system has no
// face of that family.
std::string FindFontFile(const std::string& family);

}  // namespace platform
