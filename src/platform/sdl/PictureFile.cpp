// One-value-per-pixel PNG pictures. The file's chunk structure is checked here (sizes, order,
// checksums, pixel format) before SDL_image decodes anything, and only the chunks that carry the
// values reach the decoder: transparency or colour-space chunks never turn an indexed picture
// into colours.
#include "platform/PictureFile.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <memory>

namespace platform {
namespace {

constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t kGrey = 0;
constexpr uint8_t kPalette = 3;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint32_t Crc(uint32_t crc, const uint8_t* data, size_t size) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = kCrcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t ReadBig32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void AppendBig32(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

bool TypeIs(const uint8_t* type, const char* name) {
    return std::memcmp(type, name, 4) == 0;
}

struct Header {
    int32_t width = 0;
    int32_t height = 0;
    uint8_t colourType = 0;
};

// Walks the chunks of `png`, checking each one whole with its checksum, and copies the signature
// and the chunks that make the picture (IHDR, PLTE for a palette, IDAT, IEND) into `kept`.
// Ancillary chunks are left out. False for anything but a well-formed 8-bit grey or palette PNG
// within the size limit.
bool CheckChunks(std::span<const uint8_t> png, Header& header, std::vector<uint8_t>& kept) {
    if (png.size() < kSignature.size() ||
        std::memcmp(png.data(), kSignature.data(), kSignature.size()) != 0) {
        return false;
    }
    kept.clear();
    kept.reserve(png.size());
    kept.insert(kept.end(), kSignature.begin(), kSignature.end());

    size_t at = kSignature.size();
    bool seenHeader = false;
    bool seenPalette = false;
    bool seenData = false;
    bool dataEnded = false;
    while (true) {
        if (png.size() - at < 12)
            return false;  // truncated: every chunk has a length, a type and a checksum
        const uint8_t* chunk = png.data() + at;
        const uint32_t length = ReadBig32(chunk);
        if (length > png.size() - at - 12)
            return false;
        const uint8_t* type = chunk + 4;
        const uint8_t* data = chunk + 8;
        for (int i = 0; i < 4; ++i) {
            const uint8_t c = type[i];
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
                return false;
        }
        if (Crc(0, type, size_t{length} + 4) != ReadBig32(data + length))
            return false;
        const size_t whole = size_t{length} + 12;
        at += whole;

        bool keep = false;
        if (!seenHeader) {
            // The header comes first and says everything needed to refuse a picture early.
            if (!TypeIs(type, "IHDR") || length != 13)
                return false;
            const uint32_t width = ReadBig32(data);
            const uint32_t height = ReadBig32(data + 4);
            const uint8_t depth = data[8];
            const uint8_t colourType = data[9];
            if (width == 0 || height == 0 || width > kMaxIndexPictureSide ||
                height > kMaxIndexPictureSide || depth != 8 ||
                (colourType != kGrey && colourType != kPalette) || data[10] != 0 || data[11] != 0 ||
                data[12] > 1) {
                return false;
            }
            header.width = static_cast<int32_t>(width);
            header.height = static_cast<int32_t>(height);
            header.colourType = colourType;
            seenHeader = true;
            keep = true;
        } else if (TypeIs(type, "IHDR")) {
            return false;
        } else if (TypeIs(type, "PLTE")) {
            if (seenPalette || seenData || length == 0 || length % 3 != 0 || length > 3 * 256)
                return false;
            seenPalette = true;
            // A suggested palette in a grey picture says nothing about its values.
            keep = header.colourType == kPalette;
        } else if (TypeIs(type, "IDAT")) {
            if (dataEnded || (header.colourType == kPalette && !seenPalette))
                return false;
            seenData = true;
            keep = true;
        } else if (TypeIs(type, "IEND")) {
            if (!seenData || length != 0)
                return false;
            kept.insert(kept.end(), chunk, chunk + whole);
            return true;  // whatever follows the end is not part of the picture
        } else if ((type[0] & 0x20) == 0) {
            return false;  // a critical chunk we do not know
        }
        if (seenData && !TypeIs(type, "IDAT"))
            dataEnded = true;
        if (keep)
            kept.insert(kept.end(), chunk, chunk + whole);
    }
}

struct SurfaceDeleter {
    void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};

void AppendChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size) {
    AppendBig32(out, static_cast<uint32_t>(size));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    if (size != 0)
        out.insert(out.end(), data, data + size);
    AppendBig32(out, Crc(0, out.data() + typeAt, size + 4));
}

}  // namespace

bool DecodeIndexPicture(std::span<const uint8_t> png, IndexPicture& out) {
    Header header;
    std::vector<uint8_t> kept;
    if (!CheckChunks(png, header, kept))
        return false;
    SDL_RWops* source = SDL_RWFromConstMem(kept.data(), static_cast<int>(kept.size()));
    if (!source)
        return false;
    std::unique_ptr<SDL_Surface, SurfaceDeleter> surface(IMG_LoadPNG_RW(source));
    SDL_RWclose(source);
    if (!surface || surface->format->format != SDL_PIXELFORMAT_INDEX8 ||
        surface->w != header.width || surface->h != header.height || !surface->format->palette) {
        return false;
    }
    // A grey picture comes back with a ramp of greys as its palette: its values are the greys.
    std::array<uint8_t, 256> level{};
    for (int i = 0; i < 256; ++i)
        level[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    if (header.colourType == kGrey) {
        const SDL_Palette& palette = *surface->format->palette;
        for (int i = 0; i < 256; ++i) {
            level[static_cast<size_t>(i)] =
                i < palette.ncolors ? palette.colors[i].r : static_cast<uint8_t>(i);
        }
    }
    std::vector<uint8_t> values(static_cast<size_t>(header.width) *
                                static_cast<size_t>(header.height));
    if (SDL_LockSurface(surface.get()) != 0)
        return false;
    for (int32_t row = 0; row < header.height; ++row) {
        const auto* line = static_cast<const uint8_t*>(surface->pixels) +
                           static_cast<ptrdiff_t>(row) * surface->pitch;
        uint8_t* target = values.data() + static_cast<size_t>(row) * header.width;
        for (int32_t x = 0; x < header.width; ++x)
            target[x] = level[line[x]];
    }
    SDL_UnlockSurface(surface.get());
    out.width = header.width;
    out.height = header.height;
    out.values = std::move(values);
    return true;
}

bool ReadIndexPicture(const std::string& path, IndexPicture& out) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return false;
    const std::streamoff size = in.tellg();
    if (size <= 0 || static_cast<unsigned long long>(size) > kMaxIndexPictureFileBytes)
        return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size))
        return false;
    return DecodeIndexPicture(bytes, out);
}

bool WriteIndexPicture(const std::string& path, const IndexPicture& picture,
                       std::span<const uint32_t> palette) {
    // Larger pictures than the reader takes can be written (to check that it refuses them), up
    // to what one stored stream holds comfortably.
    if (picture.width <= 0 || picture.height <= 0 || picture.width > (1 << 16) ||
        picture.height > (1 << 16) ||
        picture.values.size() !=
            static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) ||
        palette.size() > 256) {
        return false;
    }
    std::vector<uint8_t> file(kSignature.begin(), kSignature.end());

    std::array<uint8_t, 13> ihdr{};
    const auto put32 = [](uint8_t* p, uint32_t v) {
        p[0] = static_cast<uint8_t>(v >> 24);
        p[1] = static_cast<uint8_t>(v >> 16);
        p[2] = static_cast<uint8_t>(v >> 8);
        p[3] = static_cast<uint8_t>(v);
    };
    put32(ihdr.data(), static_cast<uint32_t>(picture.width));
    put32(ihdr.data() + 4, static_cast<uint32_t>(picture.height));
    ihdr[8] = 8;
    ihdr[9] = palette.empty() ? kGrey : kPalette;
    AppendChunk(file, "IHDR", ihdr.data(), ihdr.size());

    if (!palette.empty()) {
        std::vector<uint8_t> colours;
        std::vector<uint8_t> alphas;
        size_t lastTranslucent = 0;
        for (size_t i = 0; i < palette.size(); ++i) {
            colours.push_back(static_cast<uint8_t>(palette[i] >> 16));
            colours.push_back(static_cast<uint8_t>(palette[i] >> 8));
            colours.push_back(static_cast<uint8_t>(palette[i]));
            alphas.push_back(static_cast<uint8_t>(palette[i] >> 24));
            if (alphas.back() != 0xFF)
                lastTranslucent = i + 1;
        }
        AppendChunk(file, "PLTE", colours.data(), colours.size());
        if (lastTranslucent != 0)
            AppendChunk(file, "tRNS", alphas.data(), lastTranslucent);
    }

    // The rows, each behind a "no filter" byte, in stored (uncompressed) deflate blocks of a
    // zlib stream.
    const size_t rowBytes = static_cast<size_t>(picture.width) + 1;
    const size_t raw = rowBytes * static_cast<size_t>(picture.height);
    if (raw > (size_t{1} << 30))
        return false;  // one chunk's length must stay below 2^31
    std::vector<uint8_t> scanlines;
    scanlines.reserve(raw);
    for (int32_t row = 0; row < picture.height; ++row) {
        scanlines.push_back(0);
        const auto first = picture.values.begin() + static_cast<ptrdiff_t>(row) * picture.width;
        scanlines.insert(scanlines.end(), first, first + picture.width);
    }
    std::vector<uint8_t> zlib = {0x78, 0x01};
    constexpr size_t kStoredBlock = 65535;
    for (size_t at = 0; at < raw; at += kStoredBlock) {
        const size_t size = std::min(kStoredBlock, raw - at);
        zlib.push_back(at + size == raw ? 1 : 0);
        zlib.push_back(static_cast<uint8_t>(size));
        zlib.push_back(static_cast<uint8_t>(size >> 8));
        zlib.push_back(static_cast<uint8_t>(~size));
        zlib.push_back(static_cast<uint8_t>(~size >> 8));
        zlib.insert(zlib.end(), scanlines.begin() + static_cast<ptrdiff_t>(at),
                    scanlines.begin() + static_cast<ptrdiff_t>(at + size));
    }
    uint32_t a = 1;
    uint32_t b = 0;
    for (uint8_t byte : scanlines) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    AppendBig32(zlib, (b << 16) | a);
    AppendChunk(file, "IDAT", zlib.data(), zlib.size());
    AppendChunk(file, "IEND", nullptr, 0);

    std::ofstream outFile(path, std::ios::binary | std::ios::trunc);
    if (!outFile)
        return false;
    outFile.write(reinterpret_cast<const char*>(file.data()),
                  static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(outFile.flush());
}

}  // namespace platform
