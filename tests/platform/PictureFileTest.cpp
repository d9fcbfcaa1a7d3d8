// One-value-per-pixel PNG pictures: grey and palette files read back value for value, every other
// pixel format refused, and damaged or hostile files refused without harm.
#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>

#include <stdlib.h>
#include <algorithm>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/PictureFile.h"
#include "platform/Renderer.h"

namespace {

using platform::IndexPicture;

// PNG chunk checksums, computed here independently of the game's reader.
uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBig32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    bytes[at] = static_cast<uint8_t>(value >> 24);
    bytes[at + 1] = static_cast<uint8_t>(value >> 16);
    bytes[at + 2] = static_cast<uint8_t>(value >> 8);
    bytes[at + 3] = static_cast<uint8_t>(value);
}

// A chunk of `type` with its length and checksum.
std::vector<uint8_t> Chunk(const char* type, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> chunk(12 + data.size());
    PutBig32(chunk, 0, static_cast<uint32_t>(data.size()));
    std::copy(type, type + 4, chunk.begin() + 4);
    std::copy(data.begin(), data.end(), chunk.begin() + 8);
    PutBig32(chunk, chunk.size() - 4, Crc32(chunk.data() + 4, data.size() + 4));
    return chunk;
}

// The header of a PNG starts at byte 8: length, "IHDR", width, height, depth, colour type...
constexpr size_t kWidthAt = 16;
constexpr size_t kHeightAt = 20;
constexpr size_t kDepthAt = 24;
constexpr size_t kColourTypeAt = 25;
constexpr size_t kHeaderEnd = 33;  // after the header chunk's checksum

// Rewrites the header's size and pixel format and its checksum.
void Reformat(std::vector<uint8_t>& png, uint32_t width, uint8_t depth, uint8_t colourType) {
    ASSERT_EQ(std::memcmp(png.data() + 12, "IHDR", 4), 0);
    PutBig32(png, kWidthAt, width);
    png[kDepthAt] = depth;
    png[kColourTypeAt] = colourType;
    PutBig32(png, 29, Crc32(png.data() + 12, 17));
}

class PictureFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/torvane-picture-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }

    std::string Path(const std::string& name) const { return (folder / name).string(); }

    static IndexPicture Pattern(int32_t width, int32_t height, int modulo = 256) {
        IndexPicture picture;
        picture.width = width;
        picture.height = height;
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x)
                picture.values.push_back(static_cast<uint8_t>((x * 37 + y * 11 + x * y) % modulo));
        }
        return picture;
    }

    std::vector<uint8_t> Bytes(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::string Store(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string path = Path(name);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // A read that must fail and leave the picture as it was.
    void ExpectRefused(const std::string& path) {
        IndexPicture out;
        out.width = 3;
        out.height = 1;
        out.values = {7, 8, 9};
        EXPECT_FALSE(platform::ReadIndexPicture(path, out)) << path;
        EXPECT_EQ(out.width, 3);
        EXPECT_EQ(out.height, 1);
        EXPECT_EQ(out.values, (std::vector<uint8_t>{7, 8, 9}));
    }

    std::filesystem::path folder;
};

TEST_F(PictureFileTest, GreyPictureReadsBackItsGreyLevels) {
    IndexPicture written = Pattern(7, 5);
    written.values[0] = 0;
    written.values[1] = 255;
    written.values[34] = 128;
    const std::string path = Path("grey.png");
    ASSERT_TRUE(platform::WriteIndexPicture(path, written));
    const auto bytes = Bytes(path);
    ASSERT_GT(bytes.size(), kHeaderEnd);
    EXPECT_EQ(bytes[kDepthAt], 8);
    EXPECT_EQ(bytes[kColourTypeAt], 0);  // grey, no palette

    IndexPicture read;
    ASSERT_TRUE(platform::ReadIndexPicture(path, read));
    EXPECT_EQ(read.width, 7);
    EXPECT_EQ(read.height, 5);
    EXPECT_EQ(read.values, written.values);

    // SDL_image itself sees an 8-bit picture of those greys.
    SDL_Surface* surface = IMG_Load(path.c_str());
    ASSERT_NE(surface, nullptr) << IMG_GetError();
    EXPECT_EQ(surface->format->BitsPerPixel, 8);
    const uint8_t last = static_cast<const uint8_t*>(surface->pixels)[4 * surface->pitch + 6];
    EXPECT_EQ(surface->format->palette->colors[last].r, written.values[34]);
    SDL_FreeSurface(surface);
}

TEST_F(PictureFileTest, PalettePictureReadsBackItsIndicesNotItsColours) {
    const IndexPicture written = Pattern(9, 6, 200);
    std::vector<uint32_t> palette(200);
    for (size_t i = 0; i < palette.size(); ++i)
        palette[i] = 0xFF000000u | static_cast<uint32_t>((199 - i) * 0x010101u);
    const std::string path = Path("palette.png");
    ASSERT_TRUE(platform::WriteIndexPicture(path, written, palette));
    EXPECT_EQ(Bytes(path)[kColourTypeAt], 3);
    IndexPicture read;
    ASSERT_TRUE(platform::ReadIndexPicture(path, read));
    EXPECT_EQ(read.width, 9);
    EXPECT_EQ(read.height, 6);
    EXPECT_EQ(read.values, written.values);
}

TEST_F(PictureFileTest, TransparencyInTheFileDoesNotTurnIndicesIntoColours) {
    const IndexPicture written = Pattern(8, 8, 16);
    std::vector<uint32_t> palette(16, 0xFF336699);
    palette[0] = 0x00000000;  // the usual transparent first entry
    palette[5] = 0x80FFFFFF;
    const std::string path = Path("keyed.png");
    ASSERT_TRUE(platform::WriteIndexPicture(path, written, palette));
    IndexPicture read;
    ASSERT_TRUE(platform::ReadIndexPicture(path, read));
    EXPECT_EQ(read.values, written.values);

    // A grey picture with a transparent grey, a gamma and a text chunk reads as plain greys; a
    // critical chunk nobody knows makes it unreadable.
    const IndexPicture grey = Pattern(5, 4);
    const std::string plain = Path("plain.png");
    ASSERT_TRUE(platform::WriteIndexPicture(plain, grey));
    auto bytes = Bytes(plain);
    for (const auto& extra :
         {Chunk("tRNS", {0x00, grey.values[3]}), Chunk("gAMA", {0x00, 0x00, 0xB1, 0x8F}),
          Chunk("tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'x'})}) {
        bytes.insert(bytes.begin() + kHeaderEnd, extra.begin(), extra.end());
    }
    ASSERT_TRUE(platform::ReadIndexPicture(Store("extras.png", bytes), read));
    EXPECT_EQ(read.values, grey.values);
    const auto unknown = Chunk("ZZZZ", {1, 2, 3});
    bytes.insert(bytes.begin() + kHeaderEnd, unknown.begin(), unknown.end());
    ExpectRefused(Store("unknown.png", bytes));
}

TEST_F(PictureFileTest, AMapSizedPictureRoundTrips) {
    IndexPicture written;
    written.width = 1216;
    written.height = 640;
    written.values.resize(static_cast<size_t>(written.width * written.height));
    std::mt19937 random(1871);
    for (uint8_t& value : written.values)
        value = static_cast<uint8_t>(random());
    const std::string path = Path("map.png");
    ASSERT_TRUE(platform::WriteIndexPicture(path, written));
    IndexPicture read;
    ASSERT_TRUE(platform::ReadIndexPicture(path, read));
    EXPECT_EQ(read.width, 1216);
    EXPECT_EQ(read.height, 640);
    EXPECT_TRUE(read.values == written.values);
}

TEST_F(PictureFileTest, FilesFromAnotherEncoderReadAsWell) {
    // Written by another PNG encoder, compressed, the palette one with a transparent entry.
    const auto corpus =
        std::filesystem::path(TORVANE_SOURCE_DIR) / "tests/fuzz/corpus/index_picture";
    IndexPicture grey;
    ASSERT_TRUE(platform::ReadIndexPicture((corpus / "grey.png").string(), grey));
    ASSERT_EQ(grey.width, 6);
    ASSERT_EQ(grey.height, 5);
    IndexPicture palette;
    ASSERT_TRUE(platform::ReadIndexPicture((corpus / "palette.png").string(), palette));
    ASSERT_EQ(palette.width, 7);
    ASSERT_EQ(palette.height, 3);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(grey.values[static_cast<size_t>(y * 6 + x)], (x * 37 + y * 11) % 256);
    }
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(palette.values[static_cast<size_t>(y * 7 + x)], (x * 19 + y * 7) % 256);
    }
    ExpectRefused((corpus / "rgba.png").string());
    ExpectRefused((corpus / "palette4.png").string());  // sixteen colours, four bits a pixel
    ExpectRefused((corpus / "truncated.png").string());
}

TEST_F(PictureFileTest, ColourPicturesAreRefused) {
    std::vector<uint32_t> argb(12, 0xFF808080);
    argb[5] = 0x80102030;
    const std::string rgba = Path("rgba.png");
    ASSERT_TRUE(platform::WritePicture(rgba, 4, 3, argb.data()));
    ASSERT_EQ(Bytes(rgba)[kColourTypeAt], 6);
    ExpectRefused(rgba);
    // Not a PNG at all, though a picture.
    const std::string bmp = Path("grey.bmp");
    ASSERT_TRUE(platform::WritePicture(bmp, 4, 3, argb.data()));
    ExpectRefused(bmp);
}

TEST_F(PictureFileTest, APictureAppearsWholeOrNotAtAll) {
    const std::vector<uint32_t> argb(12, 0xFF204060);
    const std::filesystem::path shot = Path("shot.png");
    ASSERT_TRUE(platform::WritePicture(shot.string(), 4, 3, argb.data()));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(shot.parent_path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"shot.png"});  // no partial file left beside it
    EXPECT_FALSE(platform::WritePicture(Path("missing/shot.png"), 4, 3, argb.data()));
    EXPECT_FALSE(std::filesystem::exists(Path("missing")));
}

TEST_F(PictureFileTest, OtherDepthsAndChannelLayoutsAreRefusedThoughValid) {
    // The rows of an 8-bit grey picture of width 6 are, byte for byte, those of a 16-bit grey or
    // grey-and-alpha picture of width 3, an RGB picture of width 2 or a 4-bit picture of width 12:
    // only the header changes, and each file is a picture SDL_image decodes.
    const std::string base = Path("base.png");
    ASSERT_TRUE(platform::WriteIndexPicture(base, Pattern(6, 4)));
    struct Layout {
        const char* name;
        uint32_t width;
        uint8_t depth;
        uint8_t colourType;
    };
    for (const Layout& layout : {Layout{"grey16.png", 3, 16, 0}, Layout{"greyalpha.png", 3, 8, 4},
                                 Layout{"rgb.png", 2, 8, 2}, Layout{"grey4.png", 12, 4, 0}}) {
        auto bytes = Bytes(base);
        Reformat(bytes, layout.width, layout.depth, layout.colourType);
        const std::string path = Store(layout.name, bytes);
        SDL_Surface* decoded = IMG_Load(path.c_str());
        ASSERT_NE(decoded, nullptr) << layout.name << ": " << IMG_GetError();
        EXPECT_EQ(decoded->w, static_cast<int>(layout.width));
        SDL_FreeSurface(decoded);
        ExpectRefused(path);
    }
    // A 4-bit palette picture (a palette chunk added after the header).
    auto bytes = Bytes(base);
    Reformat(bytes, 12, 4, 3);
    std::vector<uint8_t> colours(16 * 3, 0x40);
    const auto palette = Chunk("PLTE", colours);
    bytes.insert(bytes.begin() + kHeaderEnd, palette.begin(), palette.end());
    ExpectRefused(Store("palette4.png", bytes));
}

TEST_F(PictureFileTest, PicturesOverFourThousandNinetySixOnASideAreRefused) {
    const std::string side = Path("side.png");
    ASSERT_TRUE(platform::WriteIndexPicture(side, Pattern(4096, 2)));
    IndexPicture read;
    EXPECT_TRUE(platform::ReadIndexPicture(side, read));
    EXPECT_EQ(read.width, 4096);

    const std::string wide = Path("wide.png");
    ASSERT_TRUE(platform::WriteIndexPicture(wide, Pattern(4097, 2)));
    ExpectRefused(wide);
    const std::string tall = Path("tall.png");
    ASSERT_TRUE(platform::WriteIndexPicture(tall, Pattern(1, 4097)));
    ExpectRefused(tall);

    // A header that claims an enormous picture over a few bytes of data.
    auto bytes = Bytes(Path("side.png"));
    PutBig32(bytes, kHeightAt, 60000);
    PutBig32(bytes, kWidthAt, 60000);
    PutBig32(bytes, 29, Crc32(bytes.data() + 12, 17));
    ExpectRefused(Store("huge.png", bytes));
}

TEST_F(PictureFileTest, MissingEmptyAndFolderPathsAreRefused) {
    ExpectRefused(Path("nowhere.png"));
    ExpectRefused(Store("empty.png", {}));
    ExpectRefused(folder.string());
}

TEST_F(PictureFileTest, EveryTruncationOfAFileIsRefused) {
    const std::string path = Path("whole.png");
    ASSERT_TRUE(platform::WriteIndexPicture(path, Pattern(40, 30)));
    const auto bytes = Bytes(path);
    ASSERT_GT(bytes.size(), 1200u);
    for (size_t length = 0; length < bytes.size(); ++length) {
        IndexPicture out;
        out.width = 1;
        ASSERT_FALSE(platform::DecodeIndexPicture(std::span(bytes.data(), length), out))
            << "cut at " << length;
        ASSERT_EQ(out.width, 1);
        ASSERT_TRUE(out.values.empty());
    }
    ExpectRefused(
        Store("half.png", std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2)));
}

TEST_F(PictureFileTest, RandomBytesAreRefused) {
    std::mt19937 random(20240611);
    const std::array<uint8_t, 8> signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> bytes(static_cast<size_t>(random() % 2000));
        for (uint8_t& byte : bytes)
            byte = static_cast<uint8_t>(random());
        // Half of them get past the signature check.
        if (round % 2 == 1 && bytes.size() >= signature.size())
            std::copy(signature.begin(), signature.end(), bytes.begin());
        IndexPicture out;
        ASSERT_FALSE(platform::DecodeIndexPicture(bytes, out)) << "round " << round;
        ASSERT_TRUE(out.values.empty());
    }
    std::vector<uint8_t> garbage(4096);
    for (uint8_t& byte : garbage)
        byte = static_cast<uint8_t>(random());
    ExpectRefused(Store("garbage.png", garbage));
}

TEST_F(PictureFileTest, ADamagedByteNeverYieldsOtherValues) {
    const IndexPicture written = Pattern(24, 16);
    const std::string path = Path("sound.png");
    ASSERT_TRUE(platform::WriteIndexPicture(path, written));
    const auto bytes = Bytes(path);
    std::mt19937 random(7);
    int refused = 0;
    for (size_t at = 0; at < bytes.size(); ++at) {
        auto damaged = bytes;
        damaged[at] ^= static_cast<uint8_t>(1 + random() % 255);
        IndexPicture out;
        if (platform::DecodeIndexPicture(damaged, out)) {
            // Only damage the picture does not depend on may pass (after its end marker).
            EXPECT_EQ(out.values, written.values) << "byte " << at;
        } else {
            ++refused;
        }
    }
    // Every byte up to the end marker's own checksum is covered by a checksum or the structure.
    EXPECT_GE(refused, static_cast<int>(bytes.size()) - 4);
}

TEST_F(PictureFileTest, TheWriterRefusesInconsistentPictures) {
    IndexPicture picture = Pattern(3, 3);
    picture.values.pop_back();
    EXPECT_FALSE(platform::WriteIndexPicture(Path("short.png"), picture));
    EXPECT_FALSE(platform::WriteIndexPicture(Path("empty.png"), IndexPicture{}));
    const std::vector<uint32_t> tooMany(257, 0xFF000000);
    EXPECT_FALSE(platform::WriteIndexPicture(Path("many.png"), Pattern(2, 2), tooMany));
    EXPECT_FALSE(
        platform::WriteIndexPicture((folder / "no" / "folder.png").string(), Pattern(2, 2)));
    EXPECT_FALSE(std::filesystem::exists(Path("short.png")));
}

}  // namespace
