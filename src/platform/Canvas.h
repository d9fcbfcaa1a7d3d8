// A simple drawing surface for a dialog form: pictures, rectangles and text, drawn on demand.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class Form;
struct PixelImage;

// Reads a BMP file into ARGB pixels; needs no window, so a missing file is told apart from a
// dialog that cannot draw.
bool DecodeBmpFile(const std::string& path, PixelImage& out, std::string* error = nullptr);

class Canvas {
  public:
    explicit Canvas(Form& form);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool Valid() const;

    // Pictures: an id (0 and up), or -1 when the picture cannot be made.
    int AddPicture(const PixelImage& image);
    int PictureWidth(int picture) const;
    int PictureHeight(int picture) const;

    // Fonts: `file` at the largest size whose line height is at most `lineHeight` pixels.
    int OpenFont(const std::string& file, int lineHeight);

    void Clear(uint32_t argb);
    void DrawPicture(int picture, int x, int y);
    void FillRect(int x, int y, int width, int height, uint32_t argb);
    void FrameRect(int x, int y, int width, int height, uint32_t argb);
    void DrawLine(int x1, int y1, int x2, int y2, uint32_t argb);
    // Windows-1252 text with its top-left corner at (x, y); rendered once, then cached.
    void DrawText(int font, int x, int y, const std::string& text, uint32_t argb);
    int TextWidth(int font, const std::string& text);
    int TextHeight(int font) const;
    void Present();

    // The drawn picture before Present (tests).
    uint32_t PixelAt(int x, int y) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
