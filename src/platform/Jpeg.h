// JPEG decoding with libjpeg, for the launcher's splash picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A decoded picture: width x height pixels, 0xAARRGGBB, rows top to bottom.
struct PixelImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// Pictures larger than this on either side are refused before any allocation.
inline constexpr int kMaxJpegSide = 4096;

// Decodes a JPEG held in memory. On failure `out` is untouched and `error` (when given) says why;
// a damaged file never ends the program.
bool DecodeJpeg(const uint8_t* data, size_t size, PixelImage& out, std::string* error = nullptr);

// Reads and decodes a JPEG file (a game path is resolved by the caller).
bool DecodeJpegFile(const std::string& path, PixelImage& out, std::string* error = nullptr);

}  // namespace platform
