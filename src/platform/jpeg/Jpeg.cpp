// JPEG decoding with libjpeg, for the launcher's splash picture.
//
// libjpeg reports fatal errors through error_exit, which by default ends the process; ours jumps
// back to the decoder instead, which then destroys the decompressor and reports the failure.
#include "platform/Jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace platform {
namespace {

constexpr size_t kMaxFileSize = 64u << 20;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr info) {
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

void SilentMessage(j_common_ptr) {}

// Everything libjpeg touches after setjmp lives here, so nothing with a destructor is skipped
// by the jump.
struct Decoder {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    bool created = false;
    std::vector<uint32_t> pixels;
    std::vector<JSAMPLE> row;
};

bool Decode(Decoder& d, const uint8_t* data, size_t size, PixelImage& out, std::string* error) {
    d.info.err = jpeg_std_error(&d.errors.base);
    d.errors.base.error_exit = ErrorExit;
    d.errors.base.output_message = SilentMessage;
    d.errors.message[0] = '\0';
    if (setjmp(d.errors.jump)) {
        if (error) *error = d.errors.message;
        return false;
    }
    jpeg_create_decompress(&d.info);
    d.created = true;
    jpeg_mem_src(&d.info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&d.info, TRUE);
    if (d.info.image_width == 0 || d.info.image_height == 0 ||
        d.info.image_width > static_cast<JDIMENSION>(kMaxJpegSide) ||
        d.info.image_height > static_cast<JDIMENSION>(kMaxJpegSide)) {
        if (error) *error = "picture too large";
        return false;
    }
    d.info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d.info);
    if (d.info.output_components != 3) {
        if (error) *error = "unexpected colour layout";
        return false;
    }
    const int width = static_cast<int>(d.info.output_width);
    const int height = static_cast<int>(d.info.output_height);
    d.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    d.row.assign(static_cast<size_t>(width) * 3, 0);
    while (d.info.output_scanline < d.info.output_height) {
        const int y = static_cast<int>(d.info.output_scanline);
        JSAMPROW rows[1] = {d.row.data()};
        if (jpeg_read_scanlines(&d.info, rows, 1) != 1) {
            if (error) *error = "truncated picture";
            return false;
        }
        uint32_t* target = d.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            const JSAMPLE* p = d.row.data() + x * 3;
            target[x] = 0xFF000000u | (static_cast<uint32_t>(p[0]) << 16) |
                        (static_cast<uint32_t>(p[1]) << 8) | p[2];
        }
    }
    jpeg_finish_decompress(&d.info);
    out.width = width;
    out.height = height;
    out.pixels = std::move(d.pixels);
    return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, PixelImage& out, std::string* error) {
    if (!data || size == 0) {
        if (error) *error = "empty file";
        return false;
    }
    Decoder decoder;
    PixelImage decoded;
    const bool ok = Decode(decoder, data, size, decoded, error);
    if (decoder.created) jpeg_destroy_decompress(&decoder.info);
    if (ok) out = std::move(decoded);
    return ok;
}

bool DecodeJpegFile(const std::string& path, PixelImage& out, std::string* error) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    const std::streamoff size = in.tellg();
    if (size <= 0 || static_cast<size_t>(size) > kMaxFileSize) {
        if (error) *error = "unreadable file " + path;
        return false;
    }
    in.seekg(0);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    return DecodeJpeg(bytes.data(), bytes.size(), out, error);
}

}  // namespace platform
