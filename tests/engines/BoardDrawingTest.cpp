// What the world-map board draws with: parts of large pictures, pictures whose pixels the game
// writes, blended rectangles and measured text, drawn headless and read back pixel by pixel.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "platform/Settings.h"
#include "screen/Directscreen.h"
#include "support/AllocationCounter.h"
#include "support/ScreenFixture.h"

namespace {

using testsupport::Bounds;
using torvane::DirectScreen;
using torvane::Image;

constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr int kMapWidth = 64;
constexpr int kMapHeight = 48;

// Every pixel of the test pictures differs from every other and from black and white.
uint32_t Source(int x, int y) {
    return 0xFF000000u | static_cast<uint32_t>(3 + x * 4) << 16 |
           static_cast<uint32_t>(2 + y * 5) << 8 | static_cast<uint32_t>((x + 2 * y) % 200 + 20);
}

struct Region {
    int srcX, srcY, w, h, x, y;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
};

class BoardDrawingTest : public testsupport::ScreenFixture {
  protected:
    void SetUp() override {
        ScreenFixture::SetUp();
        WriteCursor();
        WriteSolid("Graphics/White.png", 1, 1, kWhite);
        WriteSource("Graphics/Map.png", kMapWidth, kMapHeight);
    }

    void WriteSource(const std::string& relative, int width, int height) {
        std::vector<uint32_t> pixels;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                pixels.push_back(Source(x, y));
        }
        WritePicture(relative, width, height, pixels);
    }

    // One frame of `draw` over a black or white background, read back whole.
    template <typename Draw>
    std::vector<uint32_t> Frame(DirectScreen& screen, uint32_t background, Draw draw) {
        window.AdvanceTime(16);
        screen.BeginFrame();
        if (background == kWhite) {
            if (!white)
                white = screen.LoadImage("..\\Ressources\\Graphics\\White.png", 0);
            if (white)
                white->Draw(0, 0, kWhite, 640.0f, 480.0f);
        }
        draw();
        screen.EndFrame(false);
        return Picture(screen);
    }

    // A region drawn with nearest sampling: each screen pixel shows the region pixel under its
    // centre, when that pixel lies in the picture.
    static std::vector<uint32_t> Expected(int pictureWidth, int pictureHeight, const Region& r,
                                          uint32_t background) {
        std::vector<uint32_t> picture(640 * 480, background);
        for (int py = 0; py < 480; ++py) {
            const int row = static_cast<int>(std::floor((py + 0.5f - r.y) / r.scaleY));
            const int64_t sourceRow = int64_t{r.srcY} + row;
            if (row < 0 || row >= r.h || sourceRow < 0 || sourceRow >= pictureHeight)
                continue;
            for (int px = 0; px < 640; ++px) {
                const int column = static_cast<int>(std::floor((px + 0.5f - r.x) / r.scaleX));
                const int64_t sourceColumn = int64_t{r.srcX} + column;
                if (column >= 0 && column < r.w && sourceColumn >= 0 &&
                    sourceColumn < pictureWidth) {
                    picture[static_cast<size_t>(py * 640 + px)] =
                        Source(static_cast<int>(sourceColumn), static_cast<int>(sourceRow));
                }
            }
        }
        return picture;
    }

    // Pixels that differ, the first one reported.
    static int Differences(const std::vector<uint32_t>& actual,
                           const std::vector<uint32_t>& expected) {
        int count = 0;
        for (size_t i = 0; i < actual.size(); ++i) {
            if (actual[i] != expected[i] && count++ == 0) {
                ADD_FAILURE() << "first difference at (" << i % 640 << ", " << i / 640
                              << "): " << std::hex << actual[i] << " instead of " << expected[i];
            }
        }
        return count;
    }

    std::unique_ptr<Image> Load(DirectScreen& screen, const char* name) {
        return screen.LoadImage(std::string("..\\Ressources\\Graphics\\") + name, 0);
    }

    std::unique_ptr<Image> white;
};

// --- parts of pictures ---------------------------------------------------------------------

TEST_F(BoardDrawingTest, RegionsAreCopiedPixelForPixelClippedToThePicture) {
    auto screen = MakeScreen();
    auto map = Load(*screen, "Map.png");
    ASSERT_TRUE(map);
    const Region regions[] = {
        {10, 5, 20, 15, 100, 200},                                  // inside
        {-5, -3, 20, 10, 100, 100},                                 // over the top-left corner
        {50, 40, 30, 30, 300, 200},                                 // over the bottom-right corner
        {-10, 10, 100, 5, 20, 400},                                 // wider than the picture
        {4, 4, 5, 5, 300, 300, 2.0f, 3.0f},                         // scaled
        {-2, 0, 4, 4, 100, 100, 2.0f, 2.0f},                        // clipped and scaled
        {0, 0, 3, 2, 300, 300, -4.0f, 2.0f},                        // mirrored about its corner
        {kMapWidth, 0, 10, 10, 10, 10},                             // outside: nothing
        {-20, -20, 20, 20, 50, 10},                                 // outside: nothing
        {5, 5, 0, 10, 70, 10},                                      // empty
        {5, 5, 10, -3, 90, 10},                                     // empty
        {5, 5, 10, 10, 110, 10, 0.0f, 1.0f},                        // no width on screen
        {2147483600, 2147483600, 2147483647, 2147483647, 130, 10},  // no overflow
    };
    for (const Region& r : regions) {
        const auto picture = Frame(*screen, kBlack, [&] {
            map->DrawRegion(r.srcX, r.srcY, r.w, r.h, r.x, r.y, kWhite, r.scaleX, r.scaleY);
        });
        EXPECT_EQ(Differences(picture, Expected(kMapWidth, kMapHeight, r, kBlack)), 0)
            << "region " << r.srcX << ", " << r.srcY << " x " << r.scaleX;
    }
    // The same, by hand: the inside of a corner region starts 5 columns and 3 rows into it.
    const auto corner = Frame(*screen, kBlack, [&] { map->DrawRegion(-5, -3, 20, 10, 100, 100); });
    const Bounds bounds = Find(corner, [](uint32_t c) { return c != kBlack; });
    EXPECT_EQ(corner[103 * 640 + 105], Source(0, 0));
    EXPECT_EQ(bounds.left, 105);
    EXPECT_EQ(bounds.top, 103);
    EXPECT_EQ(bounds.right, 119);  // columns 0 to 14 of the picture, rows 0 to 6
    EXPECT_EQ(bounds.bottom, 109);
}

TEST_F(BoardDrawingTest, SquareTexturesStillAddressThePicturesOwnPixels) {
    platform::SetBoolSetting("SquareTexturesOnly", true);
    WriteSource("Graphics/Odd.png", 40, 24);  // padded to 64 x 64
    auto screen = MakeScreen();
    auto odd = Load(*screen, "Odd.png");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->GetWidth(), 40);
    for (const Region& r :
         {Region{3, 2, 20, 10, 50, 60}, Region{30, 10, 20, 20, 100, 100},
          Region{-4, 20, 50, 30, 200, 300, 2.0f, 2.0f}, Region{45, 30, 10, 10, 5, 5}}) {
        const auto picture = Frame(*screen, kWhite, [&] {
            odd->DrawRegion(r.srcX, r.srcY, r.w, r.h, r.x, r.y, kWhite, r.scaleX, r.scaleY);
        });
        EXPECT_EQ(Differences(picture, Expected(40, 24, r, kWhite)), 0) << "region " << r.srcX;
    }
}

TEST_F(BoardDrawingTest, RegionColourTintsAndMakesTranslucent) {
    auto screen = MakeScreen();
    auto map = Load(*screen, "Map.png");
    ASSERT_TRUE(map);
    const auto picture = Frame(*screen, kBlack, [&] {
        map->DrawRegion(0, 0, 10, 10, 0, 0, 0x80FFFFFF);
        map->DrawRegion(0, 0, 10, 10, 20, 0, 0xFF00FFFF);
    });
    const uint32_t source = Source(7, 5);
    EXPECT_NEAR(Red(picture[5 * 640 + 7]), Red(source) / 2, 2);
    EXPECT_NEAR(Blue(picture[5 * 640 + 7]), Blue(source) / 2, 2);
    EXPECT_EQ(picture[5 * 640 + 27], source & 0xFF00FFFFu);
}

// --- pictures the game writes --------------------------------------------------------------

TEST_F(BoardDrawingTest, ACreatedPictureIsTransparentUntilItsPixelsAreSetThenBlended) {
    auto screen = MakeScreen();
    auto overlay = screen->CreateImage(4, 2);
    ASSERT_TRUE(overlay);
    EXPECT_EQ(overlay->GetWidth(), 4);
    EXPECT_EQ(overlay->GetHeight(), 2);
    const auto nothing = Frame(*screen, kWhite, [] {});
    EXPECT_EQ(
        Differences(Frame(*screen, kWhite, [&] { overlay->Draw(10, 10, kWhite, 5, 5); }), nothing),
        0);

    ASSERT_TRUE(
        overlay->SetPixels(std::vector<uint32_t>{0xFFFF0000, 0x8000FF00, 0x00123456, 0xFF0000FF,
                                                 0x40000000, 0xC0FFFFFF, 0xFF102030, 0x80000080}));
    auto picture = Frame(*screen, kWhite, [&] { overlay->Draw(10, 10); });
    const auto at = [&](int x, int y) { return picture[static_cast<size_t>(y * 640 + x)]; };
    EXPECT_EQ(at(10, 10), 0xFFFF0000u);
    EXPECT_NEAR(Red(at(11, 10)), 127, 2);  // half green over white
    EXPECT_NEAR(Green(at(11, 10)), 255, 2);
    EXPECT_EQ(at(12, 10), kWhite);  // fully transparent
    EXPECT_EQ(at(13, 10), 0xFF0000FFu);
    EXPECT_NEAR(Red(at(10, 11)), 191, 2);  // a quarter black
    EXPECT_NEAR(Blue(at(11, 11)), 255, 2);
    EXPECT_EQ(at(12, 11), 0xFF102030u);
    EXPECT_NEAR(Red(at(13, 11)), 127, 2);  // half navy
    EXPECT_NEAR(Blue(at(13, 11)), 191, 2);
    EXPECT_EQ(at(14, 10), kWhite);
    EXPECT_EQ(at(10, 12), kWhite);

    // Opaque pixels, then translucent ones again: the second set is blended, not copied.
    ASSERT_TRUE(overlay->SetPixels(std::vector<uint32_t>(8, 0xFF00FF00)));
    picture = Frame(*screen, kWhite, [&] { overlay->DrawRegion(1, 1, 2, 1, 50, 50); });
    EXPECT_EQ(at(50, 50), 0xFF00FF00u);
    EXPECT_EQ(at(51, 50), 0xFF00FF00u);
    EXPECT_EQ(at(52, 50), kWhite);
    ASSERT_TRUE(overlay->SetPixels(std::vector<uint32_t>(8, 0x80FF0000)));
    picture = Frame(*screen, kWhite, [&] { overlay->Draw(0, 0); });
    EXPECT_NEAR(Green(at(1, 1)), 127, 2);
    EXPECT_NEAR(Red(at(1, 1)), 255, 2);
}

TEST_F(BoardDrawingTest, PixelsOfTheWrongSizeOrForALoadedPictureAreRefused) {
    auto screen = MakeScreen();
    auto overlay = screen->CreateImage(3, 2);
    ASSERT_TRUE(overlay);
    ASSERT_TRUE(overlay->SetPixels(std::vector<uint32_t>(6, 0xFF0000FF)));
    EXPECT_FALSE(overlay->SetPixels(std::vector<uint32_t>(5, 0xFFFF0000)));
    EXPECT_FALSE(overlay->SetPixels(std::vector<uint32_t>(7, 0xFFFF0000)));
    EXPECT_FALSE(overlay->SetPixels({}));
    const auto picture = Frame(*screen, kWhite, [&] { overlay->Draw(0, 0); });
    const Bounds blue = Find(picture, [](uint32_t c) { return c == 0xFF0000FFu; });
    EXPECT_EQ(blue.right, 2);  // the first pixels, whole
    EXPECT_EQ(blue.bottom, 1);
    EXPECT_TRUE(Find(picture, [](uint32_t c) { return c == 0xFFFF0000u; }).Empty());

    auto map = Load(*screen, "Map.png");
    ASSERT_TRUE(map);
    EXPECT_FALSE(map->SetPixels(std::vector<uint32_t>(kMapWidth * kMapHeight, 0xFFFF0000)));
    EXPECT_EQ(Frame(*screen, kBlack, [&] { map->Draw(0, 0); })[0], Source(0, 0));
}

TEST_F(BoardDrawingTest, CreatedPicturesTakeSizesFromOneToFourThousandNinetySix) {
    auto screen = MakeScreen();
    for (auto [w, h] : {std::pair{0, 5}, {5, 0}, {-1, 5}, {4097, 1}, {1, 4097}})
        EXPECT_EQ(screen->CreateImage(w, h), nullptr) << w << " x " << h;
    EXPECT_TRUE(screen->CreateImage(4096, 1));
    EXPECT_TRUE(screen->CreateImage(1, 4096));
    auto dot = screen->CreateImage(1, 1);
    ASSERT_TRUE(dot);
    ASSERT_TRUE(dot->SetPixels(std::vector<uint32_t>{0xFFFFFF00}));
    const auto picture = Frame(*screen, kBlack, [&] { dot->Draw(30, 40, kWhite, 10.0f, 10.0f); });
    const Bounds yellow = Find(picture, [](uint32_t c) { return c == 0xFFFFFF00u; });
    EXPECT_EQ(yellow.left, 30);
    EXPECT_EQ(yellow.right, 39);
    EXPECT_EQ(yellow.bottom, 49);
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(BoardDrawingTest, CreatedSquareTexturesKeepTheirOwnSizeAndTransparentPadding) {
    platform::SetBoolSetting("SquareTexturesOnly", true);
    auto screen = MakeScreen();
    auto odd = screen->CreateImage(3, 5);
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->GetWidth(), 3);
    std::vector<uint32_t> pixels(15, 0xFFFF0000);
    pixels[14] = 0xFF0000FF;  // the last pixel of the picture, not of the texture
    ASSERT_TRUE(odd->SetPixels(pixels));
    EXPECT_FALSE(odd->SetPixels(std::vector<uint32_t>(64, 0xFFFF0000)));  // the texture's size
    const auto picture = Frame(*screen, kWhite, [&] { odd->Draw(10, 10); });
    const Bounds drawn = Find(picture, [](uint32_t c) { return c != kWhite; });
    EXPECT_EQ(drawn.left, 10);
    EXPECT_EQ(drawn.top, 10);
    EXPECT_EQ(drawn.right, 12);
    EXPECT_EQ(drawn.bottom, 14);
    EXPECT_EQ(picture[14 * 640 + 12], 0xFF0000FFu);
}

TEST_F(BoardDrawingTest, WithoutAWorkingEngineNothingIsDrawnMadeOrMeasured) {
    auto screen = MakeScreen();
    auto overlay = screen->CreateImage(2, 2);
    auto map = Load(*screen, "Map.png");
    ASSERT_TRUE(overlay);
    ASSERT_TRUE(map);
    screen.reset();
    EXPECT_FALSE(overlay->SetPixels(std::vector<uint32_t>(4, kWhite)));
    overlay->DrawRegion(0, 0, 2, 2, 0, 0);  // nothing to draw with, and no crash
    map->DrawRegion(0, 0, 10, 10, 0, 0);

    std::filesystem::remove(root / "Fonts");
    DirectScreen broken(&window);
    ASSERT_FALSE(broken.IsReady());
    EXPECT_EQ(broken.CreateImage(10, 10), nullptr);
    EXPECT_EQ(broken.TextWidth(5, "Torvane"), 0);
    broken.BeginFrame();
    broken.FillRect(0, 0, 100, 100, kWhite);
    broken.EndFrame(false);
}

// --- rectangles and text -------------------------------------------------------------------

TEST_F(BoardDrawingTest, FilledRectanglesAreBlendedOverThePicture) {
    auto screen = MakeScreen();
    auto picture = Frame(*screen, kWhite, [&] { screen->FillRect(10, 20, 30, 5, 0x80FF0000); });
    const Bounds filled = Find(picture, [](uint32_t c) { return c != kWhite; });
    EXPECT_EQ(filled.left, 10);
    EXPECT_EQ(filled.top, 20);
    EXPECT_EQ(filled.right, 39);
    EXPECT_EQ(filled.bottom, 24);
    EXPECT_NEAR(Red(picture[22 * 640 + 25]), 255, 2);
    EXPECT_NEAR(Green(picture[22 * 640 + 25]), 127, 2);

    // Opaque and partly off the picture, a translucent one over it; empty and clear ones draw
    // nothing.
    picture = Frame(*screen, kBlack, [&] {
        screen->FillRect(-10, -10, 20, 20, 0xFF00FF00);
        screen->FillRect(5, 5, 10, 10, 0x400000FF);
        screen->FillRect(100, 100, 0, 10, kWhite);
        screen->FillRect(100, 100, 10, -1, kWhite);
        screen->FillRect(100, 100, 10, 10, 0x00FFFFFF);
    });
    EXPECT_EQ(picture[9 * 640 + 4], 0xFF00FF00u);
    EXPECT_EQ(picture[10 * 640 + 4], kBlack);
    EXPECT_NEAR(Green(picture[7 * 640 + 7]), 191, 2);  // a quarter blue over the green
    EXPECT_NEAR(Blue(picture[7 * 640 + 7]), 64, 2);
    EXPECT_NEAR(Blue(picture[12 * 640 + 12]), 64, 2);  // and over black
    EXPECT_TRUE(Find(
                    picture, [](uint32_t c) { return c != kBlack; }, 50, 50, 640, 480)
                    .Empty());

    // Pictures drawn after a blended rectangle are copied as before.
    auto map = Load(*screen, "Map.png");
    ASSERT_TRUE(map);
    picture = Frame(*screen, kBlack, [&] {
        screen->FillRect(0, 0, 640, 480, 0x80FFFFFF);
        map->Draw(100, 100);
    });
    EXPECT_EQ(picture[110 * 640 + 110], Source(10, 10));
}

TEST_F(BoardDrawingTest, TextWidthGrowsWithTheTextAndTheFontAndMatchesTheDrawing) {
    auto screen = MakeScreen();
    EXPECT_EQ(screen->TextWidth(5, ""), 0);
    const int32_t one = screen->TextWidth(5, "W");
    EXPECT_GT(one, 5);
    EXPECT_EQ(screen->TextWidth(5, "WW"), 2 * one);
    EXPECT_GT(screen->TextWidth(5, "Torvane"), screen->TextWidth(5, "Torva"));
    EXPECT_GT(screen->TextWidth(20, "Torvane"), screen->TextWidth(5, "Torvane"));
    EXPECT_EQ(screen->TextWidth(-3, "Torvane"), screen->TextWidth(0, "Torvane"));
    EXPECT_EQ(screen->TextWidth(99, "Torvane"), screen->TextWidth(39, "Torvane"));
    EXPECT_GT(screen->TextWidth(5, "\xC9tats"), screen->TextWidth(5, "tats"));
    const auto picture =
        Frame(*screen, kBlack, [&] { screen->DrawText(100, 100, "Torvane", kWhite, 0, 10, 0); });
    const Bounds text = Find(picture, [](uint32_t c) { return Red(c) > 60; });
    ASSERT_FALSE(text.Empty());
    EXPECT_NEAR(text.right - text.left + 1, screen->TextWidth(10, "Torvane"), 4);
}

// --- frames --------------------------------------------------------------------------------

TEST_F(BoardDrawingTest, ABoardFrameAllocatesNothing) {
    WriteSource("Graphics/Sprite.png", 12, 12);
    auto screen = MakeScreen();
    auto map = Load(*screen, "Map.png");
    auto sprite = Load(*screen, "Sprite.png");
    auto overlay = screen->CreateImage(64, 48);
    ASSERT_TRUE(map && sprite && overlay);
    std::vector<uint32_t> pixels(64 * 48, 0x80336699);
    const std::string label = "Torvane";
    const auto frame = [&](int index) {
        window.AdvanceTime(16);
        screen->BeginFrame();
        map->DrawRegion(index % 20, 3, 40, 30, 0, 0, kWhite, 2.0f, 2.0f);
        overlay->DrawRegion(0, 0, 64, 48, 0, 0, 0xC0FFFFFF);
        for (int i = 0; i < 30; ++i) {
            sprite->DrawRegion(i % 4, 0, 8, 8, (i * 37) % 600, (i * 53) % 440);
            sprite->Draw((i * 41) % 600, (i * 29) % 440, 0xFFFFC0C0);
        }
        screen->FillRect(20, 400, 600, 60, 0x80000000);
        screen->DrawText(30, 410, label, kWhite, 1, 4, 0);
        screen->FillRect(30, 440, screen->TextWidth(4, label), 2, kWhite);
        if (index % 5 == 0) {
            pixels[static_cast<size_t>(index)] = 0xFFFF0000;
            overlay->SetPixels(pixels);
        }
        screen->EndFrame(false);
    };
    for (int i = 0; i < 5; ++i)
        frame(i);
    testsupport::StartCountingAllocations();
    for (int i = 5; i < 45; ++i)
        frame(i);
    EXPECT_EQ(testsupport::StopCountingAllocations(), 0);
    // The frames did draw: the pixel set in the last changing frame shows, redder than its
    // neighbour that was never set.
    EXPECT_GT(Red(screen->PixelAt(40, 0)), 180);
    EXPECT_GT(Red(screen->PixelAt(40, 0)), Red(screen->PixelAt(41, 0)) + 50);
}

}  // namespace
