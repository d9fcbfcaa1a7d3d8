// Fuzz target: the reader of one-value-per-pixel PNG pictures (map regions) on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/PictureFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::IndexPicture picture;
    if (platform::DecodeIndexPicture(std::span<const uint8_t>(data, size), picture)) {
        if (picture.width < 1 || picture.height < 1 ||
            picture.width > platform::kMaxIndexPictureSide ||
            picture.height > platform::kMaxIndexPictureSide ||
            picture.values.size() != static_cast<size_t>(picture.width) * picture.height) {
            __builtin_trap();
        }
    }
    return 0;
}
