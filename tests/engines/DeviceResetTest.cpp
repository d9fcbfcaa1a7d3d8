// The screen engine after the renderer reports a device reset through the SDL event queue.
#include <SDL.h>
#include <gtest/gtest.h>

#include "support/ScreenFixture.h"

namespace {

class DeviceResetTest : public testsupport::ScreenFixture {};

void PushEvent(Uint32 type) {
    SDL_Event event{};
    event.type = type;
    ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

TEST_F(DeviceResetTest, PicturesAndTextSurviveAResetWithoutTheirFiles) {
    WriteCursor();
    WritePicture("Graphics/Pair.png", 2, 1, {0xFFFF0000, 0xFF00FF00});
    auto screen = MakeScreen();
    auto pair = screen->LoadImage("..\\Ressources\\Graphics\\Pair.png", 0);
    ASSERT_TRUE(pair);
    auto draw = [&] {
        window.AdvanceTime(16);
        screen->BeginFrame();
        pair->Draw(10, 10, 0xFFFFFFFF, 8.0f, 8.0f);
        screen->DrawText(100, 100, "Torvane", 0xFFFFFFFF, 1, 6, 0);
        window.SetCursor(300, 300);
        screen->EndFrame(true);
        std::vector<uint32_t> picture;
        EXPECT_TRUE(screen->ReadPicture(picture));
        return picture;
    };
    const auto before = draw();
    // The files are gone: whatever is drawn after the reset comes from the kept pixels.
    std::filesystem::remove_all(root / "Graphics");

    for (Uint32 type : {SDL_RENDER_DEVICE_RESET, SDL_RENDER_TARGETS_RESET}) {
        PushEvent(type);
        draw();  // this frame is not shown; the engine recovers inside EndFrame
        EXPECT_EQ(draw(), before);
    }
    EXPECT_TRUE(boxes.texts.empty());
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

TEST_F(DeviceResetTest, CreatedPicturesKeepTheirLastPixelsThroughAReset) {
    WriteCursor();
    auto screen = MakeScreen();
    auto overlay = screen->CreateImage(3, 2);
    ASSERT_TRUE(overlay);
    ASSERT_TRUE(overlay->SetPixels(std::vector<uint32_t>(6, 0xFF00FF00)));
    std::vector<uint32_t> pixels = {0xFFFF0000, 0x800000FF, 0xFF00FF00,
                                    0x00000000, 0xFFFFFFFF, 0xC0FF00FF};
    ASSERT_TRUE(overlay->SetPixels(pixels));
    auto draw = [&] {
        window.AdvanceTime(16);
        screen->BeginFrame();
        screen->FillRect(0, 0, 640, 480, 0xFF406080);
        overlay->Draw(10, 10, 0xFFFFFFFF, 6.0f, 6.0f);
        overlay->DrawRegion(1, 0, 2, 2, 100, 10);
        screen->EndFrame(false);
        std::vector<uint32_t> picture;
        EXPECT_TRUE(screen->ReadPicture(picture));
        return picture;
    };
    const auto before = draw();
    EXPECT_EQ(before[12 * 640 + 12], 0xFFFF0000u);

    PushEvent(SDL_RENDER_DEVICE_RESET);
    draw();
    EXPECT_EQ(draw(), before);

    // And they are still written to after it.
    pixels[0] = 0xFF0000FF;
    ASSERT_TRUE(overlay->SetPixels(pixels));
    EXPECT_EQ(draw()[12 * 640 + 12], 0xFF0000FFu);
    EXPECT_TRUE(boxes.texts.empty());
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

}  // namespace
