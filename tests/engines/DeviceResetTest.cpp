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

}  // namespace
