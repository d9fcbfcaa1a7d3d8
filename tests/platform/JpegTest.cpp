// The JPEG decoder: good pictures, damaged files and oversized headers.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/Jpeg.h"

namespace {

std::vector<uint8_t> ReadCorpus(const char* name) {
    const std::filesystem::path path =
        std::filesystem::path(TORVANE_SOURCE_DIR) / "tests/fuzz/corpus/jpeg" / name;
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Offset of the height field of the first start-of-frame marker.
size_t FrameHeaderOffset(const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i + 9 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2)) return i + 5;
    }
    return 0;
}

}  // namespace

TEST(Jpeg, DecodesColourAndGreyPictures) {
    platform::PixelImage image;
    std::vector<uint8_t> bytes = ReadCorpus("small.jpg");
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(platform::DecodeJpeg(bytes.data(), bytes.size(), image));
    EXPECT_EQ(image.width, 8);
    EXPECT_EQ(image.height, 6);
    ASSERT_EQ(image.pixels.size(), 48u);
    const uint32_t p = image.pixels[20];
    EXPECT_EQ(p >> 24, 0xFFu);
    EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), 200, 8);
    EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 100, 8);
    EXPECT_NEAR(static_cast<int>(p & 0xFF), 50, 8);

    bytes = ReadCorpus("grey.jpg");
    ASSERT_TRUE(platform::DecodeJpeg(bytes.data(), bytes.size(), image));
    EXPECT_EQ(image.width, 4);
    EXPECT_NEAR(static_cast<int>(image.pixels[0] & 0xFF), 128, 3);

    bytes = ReadCorpus("odd.jpg");  // progressive
    ASSERT_TRUE(platform::DecodeJpeg(bytes.data(), bytes.size(), image));
    EXPECT_EQ(image.width, 17);
    EXPECT_EQ(image.height, 9);
}

TEST(Jpeg, DamagedFilesAreRefusedWithAReason) {
    platform::PixelImage image;
    image.width = 3;
    std::string error;
    const std::vector<uint8_t> garbage = ReadCorpus("garbage.bin");
    EXPECT_FALSE(platform::DecodeJpeg(garbage.data(), garbage.size(), image, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(image.width, 3);  // untouched
    EXPECT_FALSE(platform::DecodeJpeg(nullptr, 0, image, &error));
    const std::vector<uint8_t> header = ReadCorpus("truncated.jpg");
    // A file cut in its header is refused; none of this may end the program.
    EXPECT_FALSE(platform::DecodeJpeg(header.data(), header.size(), image, &error));
    EXPECT_FALSE(platform::DecodeJpegFile("/nonexistent/Splash.jpg", image, &error));
    EXPECT_NE(error.find("Splash.jpg"), std::string::npos);
}

TEST(Jpeg, OversizedPicturesAreRefusedBeforeAllocation) {
    std::vector<uint8_t> bytes = ReadCorpus("small.jpg");
    const size_t at = FrameHeaderOffset(bytes);
    ASSERT_GT(at, 0u);
    bytes[at] = 0xFF;  // height 65000-ish
    bytes[at + 1] = 0xF0;
    bytes[at + 2] = 0xFF;  // width too
    bytes[at + 3] = 0xF0;
    platform::PixelImage image;
    std::string error;
    EXPECT_FALSE(platform::DecodeJpeg(bytes.data(), bytes.size(), image, &error));
    EXPECT_TRUE(image.pixels.empty());
}
