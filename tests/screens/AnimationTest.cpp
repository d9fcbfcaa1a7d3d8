// The front-end animation rules: frame slide, highlight fade and the light band.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "states/Animation.h"
#include "support/ScreenFixture.h"

namespace {

using torvane::FadeHighlight;
using torvane::SlideToward;

TEST(SlideToward, FrameTimeZeroLeavesThePositionWhereItIs) {
    EXPECT_EQ(SlideToward(-300.0f, 180, 0), -300.0f);
    EXPECT_EQ(SlideToward(500.0f, 180, 0), 500.0f);
}

TEST(SlideToward, OnTargetOrLessThanOnePixelBelowItStays) {
    EXPECT_EQ(SlideToward(180.0f, 180, 16), 180.0f);
    EXPECT_EQ(SlideToward(179.5f, 180, 16), 179.5f);
    EXPECT_EQ(SlideToward(179.01f, 180, 1000), 179.01f);
    // A full pixel below still moves.
    EXPECT_GT(SlideToward(179.0f, 180, 16), 179.0f);
}

TEST(SlideToward, ClosesHalfAPercentOfTheDistancePerMillisecond) {
    EXPECT_FLOAT_EQ(SlideToward(-300.0f, 180, 10), -300.0f + 10 * 480 * 0.005f);
    EXPECT_FLOAT_EQ(SlideToward(100.0f, -300, 20), 100.0f - 20 * 400 * 0.005f);
}

TEST(SlideToward, AboveTheTargetMovesDownByAtLeastFtTimesFiveThousandths) {
    EXPECT_FLOAT_EQ(SlideToward(181.0f, 180, 10), 181.0f - 0.05f);
    EXPECT_FLOAT_EQ(SlideToward(-299.0f, -300, 4), -299.0f - 0.02f);
    // Whose floor is the target is not above it.
    EXPECT_EQ(SlideToward(180.5f, 180, 10), 180.5f);
    // Below, one pixel or more away, the step is at least as large.
    EXPECT_FLOAT_EQ(SlideToward(179.0f, 180, 10), 179.0f + 0.05f);
}

TEST(SlideToward, AFrameOverASecondOvershootsAsMeasured) {
    // 1200 ms x 0.5 % = 6 times the distance: the rule does not clamp, the screens do.
    EXPECT_FLOAT_EQ(SlideToward(0.0f, 100, 1200), 600.0f);
    EXPECT_FLOAT_EQ(SlideToward(-300.0f, 180, 1200), -300.0f + 1200 * 480 * 0.005f);
}

TEST(FadeHighlight, FrameTimeZeroStillMovesEveryAlphaByOne) {
    std::array<uint32_t, 4> colours{0x7F132819, 0x7F132819, 0x7F132819, 0x7F132819};
    FadeHighlight(colours, 1, 0);
    EXPECT_EQ(colours[0], 0x7E132819u);
    EXPECT_EQ(colours[1], 0x80132819u);
    EXPECT_EQ(colours[2], 0x7E132819u);
    EXPECT_EQ(colours[3], 0x7E132819u);
}

TEST(FadeHighlight, StepIsAQuarterOfTheFrameTimePlusOne) {
    std::array<uint32_t, 2> colours{0x80AABBCC, 0x80AABBCC};
    FadeHighlight(colours, 0, 17);  // 17 / 4 + 1 = 5
    EXPECT_EQ(colours[0], 0x85AABBCCu);
    EXPECT_EQ(colours[1], 0x7BAABBCCu);
}

TEST(FadeHighlight, AFrameOverASecondGoesStraightToTheLimits) {
    std::array<uint32_t, 3> colours{0x7F132819, 0xFF132819, 0x60132819};
    FadeHighlight(colours, 0, 1500);
    EXPECT_EQ(colours[0], 0xFF132819u);
    EXPECT_EQ(colours[1], 0x5F132819u);
    EXPECT_EQ(colours[2], 0x5F132819u);
}

TEST(FadeHighlight, LimitsHoldExactlyAt255And95) {
    std::array<uint32_t, 2> colours{0xFD000000, 0x61FFFFFF};
    FadeHighlight(colours, 0, 8);  // step 3
    EXPECT_EQ(colours[0], 0xFF000000u);
    EXPECT_EQ(colours[1], 0x5FFFFFFFu);
    FadeHighlight(colours, 0, 8);
    EXPECT_EQ(colours[0], 0xFF000000u);
    EXPECT_EQ(colours[1], 0x5FFFFFFFu);
}

TEST(FadeHighlight, NegativeFrameTimeNeverWrapsTheAlpha) {
    std::array<uint32_t, 2> colours{0x02FFFFFF, 0xFEFFFFFF};
    FadeHighlight(colours, 0, -40);  // step -9
    EXPECT_EQ(colours[0], 0x00FFFFFFu);
    EXPECT_EQ(colours[1], 0xFFFFFFFFu);
}

TEST(FadeHighlight, IndexOutsideTheListDimsEveryItem) {
    std::array<uint32_t, 2> colours{0xFF000000, 0xFF000000};
    FadeHighlight(colours, -1, 0);
    EXPECT_EQ(colours[0], 0xFE000000u);
    EXPECT_EQ(colours[1], 0xFE000000u);
}

class LightBandTest : public testsupport::ScreenFixture {};

TEST_F(LightBandTest, DimsTheInteriorAroundTheLight) {
    WriteCursor();
    WriteSolid("Graphics/Trans.png", 2, 2, 0xFF000000);  // stretched: its size is the unit
    WriteSolid("Graphics/Light.png", 40, 10, 0xFFFFFFFF);
    WriteSolid("Graphics/Paper.png", 1, 1, 0xFFFFFFFF);
    auto screen = MakeScreen();
    auto dim = screen->LoadImage("..\\Ressources\\Graphics\\Trans.png", 0);
    auto light = screen->LoadImage("..\\Ressources\\Graphics\\Light.png", 0);
    auto paper = screen->LoadImage("..\\Ressources\\Graphics\\Paper.png", 0);
    ASSERT_TRUE(dim && light && paper);

    // Interior 100 x 60 at (50, 40), light at (80, 70).
    screen->BeginFrame();
    paper->Draw(0, 0, 0xFFFFFFFF, 640.0f, 480.0f);
    torvane::DrawLightBand(dim.get(), light.get(), 50, 40, 100, 60, 80, 70);
    screen->EndFrame(false);

    std::vector<uint32_t> picture;
    ASSERT_TRUE(screen->ReadPicture(picture));
    auto at = [&](int x, int y) { return Red(picture[static_cast<size_t>(y * 640 + x)]); };
    // Dimmed once by half-transparent black: mid grey. The light (half-transparent white over
    // undimmed white) stays white. Outside the interior nothing changes.
    for (auto [x, y] : {std::pair{50, 40}, {149, 69}, {50, 80}, {149, 99}, {79, 70}, {120, 79}}) {
        EXPECT_NEAR(at(x, y), 128, 3) << x << "," << y;
    }
    for (auto [x, y] : {std::pair{80, 70}, {119, 79}, {100, 75}}) {
        EXPECT_EQ(at(x, y), 255) << x << "," << y;
    }
    for (auto [x, y] : {std::pair{49, 40}, {150, 70}, {100, 39}, {100, 100}}) {
        EXPECT_EQ(at(x, y), 255) << x << "," << y;
    }

    // Nothing without either picture.
    screen->BeginFrame();
    paper->Draw(0, 0, 0xFFFFFFFF, 640.0f, 480.0f);
    torvane::DrawLightBand(nullptr, light.get(), 50, 40, 100, 60, 80, 70);
    torvane::DrawLightBand(dim.get(), nullptr, 50, 40, 100, 60, 80, 70);
    screen->EndFrame(false);
    ASSERT_TRUE(screen->ReadPicture(picture));
    EXPECT_EQ(at(50, 40), 255);
    EXPECT_EQ(at(100, 75), 255);
}

}  // namespace
