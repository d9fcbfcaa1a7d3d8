// The screen engine on a real window of the dummy video driver: the drawn picture, and F11 / F12
// switching the window between full screen and the 640 x 480 window.
#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/Application.h"
#include "platform/Settings.h"
#include "support/ScreenFixture.h"

namespace {

class WindowScreenTest : public testsupport::ScreenFixture {
  protected:
    void SetUp() override {
        ScreenFixture::SetUp();
        WriteCursor();
        platform::FormOptions options;
        options.title = "Torvane";
        options.visible = true;
        form = app.CreateForm(options);
        ASSERT_NE(form->NativeHandle(), nullptr);
        form->Activate();
    }

    void Key(SDL_Scancode scancode, bool down) {
        SDL_Event event{};
        event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        event.key.windowID = SDL_GetWindowID(Window());
        event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        event.key.keysym.scancode = scancode;
        event.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
        ASSERT_EQ(SDL_PushEvent(&event), 1);
        app.ProcessMessages();
    }

    SDL_Window* Window() const { return static_cast<SDL_Window*>(form->NativeHandle()); }
    bool WindowIsFullScreen() const {
        return (SDL_GetWindowFlags(Window()) & SDL_WINDOW_FULLSCREEN) != 0;
    }

    platform::Application app;
    std::unique_ptr<platform::Form> form;
};

TEST_F(WindowScreenTest, DrawsTheSamePictureAsHeadless) {
    platform::SetBoolSetting("FullScreen", false);
    WriteSolid("Graphics/Dot.png", 1, 1, 0xFFFFFFFF);
    WriteSolid("Graphics/Dim.png", 1, 1, 0xFF4A3822);
    torvane::DirectScreen onWindow(form.get());
    torvane::DirectScreen offScreen(&window);
    ASSERT_TRUE(onWindow.IsReady());
    for (torvane::DirectScreen* screen : {&onWindow, &offScreen}) {
        auto dot = screen->LoadImage("..\\Ressources\\Graphics\\Dot.png", 0);
        auto dim = screen->LoadImage("..\\Ressources\\Graphics\\Dim.png", 0);
        ASSERT_TRUE(dot && dim);
        screen->BeginFrame();
        dot->Draw(100, 100, 0xFFFF8000, 30.0f, 20.0f, 15, 10, 0.4f);
        screen->DrawText(320, 200, "Torvane", 0xFFFFFFFF, 2, 9, 1);
        // Stretched one-pixel pictures, translucent and modulated, over the text and the dot:
        // the window fills them as rectangles, the off-screen picture stretches them.
        dim->Draw(250, 180, 0x80FFFFFF, 150.0f, 60.0f, 0, 0, 0.0f);
        dim->Draw(90, 95, 0xC0FF80FF, 40.5f, 12.25f, 0, 0, 0.0f);
        dim->Draw(10, 400, 0xFFFFFFFF, 30.0f, 30.0f, 0, 0, 0.0f);
        screen->EndFrame(false);
    }
    EXPECT_EQ(Picture(onWindow), Picture(offScreen));
    EXPECT_EQ(onWindow.PixelAt(115, 110), 0xFFFF8000u);
}

TEST_F(WindowScreenTest, F11AndF12SwitchTheDisplayOnlyWhileHeld) {
    platform::SetBoolSetting("FullScreen", false);
    torvane::DirectScreen screen(form.get());
    ASSERT_TRUE(screen.IsReady());
    auto frame = [&] {
        app.ProcessMessages();
        screen.BeginFrame();
        screen.EndFrame(true);
    };
    frame();
    EXPECT_FALSE(WindowIsFullScreen());

    Key(SDL_SCANCODE_F11, true);
    frame();
    EXPECT_TRUE(WindowIsFullScreen());
    Key(SDL_SCANCODE_F11, false);
    frame();
    EXPECT_TRUE(WindowIsFullScreen());  // nothing resets the device after the key is let go

    Key(SDL_SCANCODE_F12, true);
    frame();
    EXPECT_FALSE(WindowIsFullScreen());
    int x = -1;
    int y = -1;
    SDL_GetWindowPosition(Window(), &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    Key(SDL_SCANCODE_F12, false);
    EXPECT_FALSE(platform::GetBoolSetting("FullScreen", true));
    EXPECT_TRUE(boxes.texts.empty());
}

}  // namespace
