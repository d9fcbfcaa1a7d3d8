// Pictures of one value per pixel (the world map's region numbers, masks): 8-bit grey or 8-bit
// palette PNG files, read as the grey level or the palette index of each pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

struct IndexPicture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> values;  // width x height, row by row
};

// Pictures larger than this on either side are refused before they are decoded.
inline constexpr int32_t kMaxIndexPictureSide = 4096;
// Files larger than this are refused without being read whole.
inline constexpr size_t kMaxIndexPictureFileBytes = 64u << 20;

// Reads an 8-bit grey or 8-bit palette picture file (PNG) as one value per pixel: the grey level
// or the palette index. False, with `out` untouched, for a missing or broken file, any other
// pixel format, or a picture larger than 4096 x 4096.
bool ReadIndexPicture(const std::string& path, IndexPicture& out);

// The same for a PNG held in memory: the file's bytes are untrusted, any of them may be wrong.
bool DecodeIndexPicture(std::span<const uint8_t> png, IndexPicture& out);

// Writes `picture` as an 8-bit PNG: grey levels when `palette` is empty, else palette indices
// with up to 256 ARGB entries (an entry's alpha below 255 is kept as the file's transparency).
// False for an empty or inconsistent picture, one over 65536 on a side, a palette of more than
// 256 entries, or a file that cannot be written.
bool WriteIndexPicture(const std::string& path, const IndexPicture& picture,
                       std::span<const uint32_t> palette = {});

}  // namespace platform
