// Fuzz target: the launcher's JPEG decoder on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "platform/Jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::PixelImage image;
    std::string error;
    if (platform::DecodeJpeg(data, size, image, &error)) {
        if (image.pixels.size() != static_cast<size_t>(image.width) * image.height) __builtin_trap();
    }
    return 0;
}
