// The screen engine on a real window of the dummy video driver: the drawn picture, F11 / F12
// switching the window between full screen and a window, and a window the player resizes.
#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

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

// The picture in a window of another size: kept in proportion and centred (black bands), whole
// factors pixel for pixel, the pointer mapped back exactly, and the size kept for next time.
TEST_F(WindowScreenTest, AResizedWindowScalesThePictureMapsThePointerAndIsRemembered) {
    platform::SetBoolSetting("FullScreen", false);
    torvane::DirectScreen screen(form.get());
    ASSERT_TRUE(screen.IsReady());
    auto frame = [&] {
        app.ProcessMessages();
        screen.BeginFrame();
        screen.FillRect(0, 0, 320, 480, 0xFFFF0000);
        screen.FillRect(320, 0, 320, 480, 0xFF0000FF);
        screen.FillRect(100, 100, 1, 1, 0xFFFFFFFF);  // one white pixel
        screen.EndFrame(false);
    };
    auto pixel = [&](int x, int y) {
        SDL_Surface* surface = SDL_GetWindowSurface(Window());
        EXPECT_NE(surface, nullptr);
        if (!surface || x < 0 || y < 0 || x >= surface->w || y >= surface->h)
            return 0u;
        Uint8 r = 0, g = 0, b = 0;
        const auto* row = static_cast<const Uint8*>(surface->pixels) + y * surface->pitch;
        SDL_GetRGB(*reinterpret_cast<const Uint32*>(row + x * surface->format->BytesPerPixel),
                   surface->format, &r, &g, &b);
        return 0xFF000000u | (Uint32{r} << 16) | (Uint32{g} << 8) | b;
    };
    struct Case {
        int width, height;
        double scale;
        int bandX, bandY;  // black bands left and right, or above and below
    };
    for (const Case& c :
         {Case{960, 720, 1.5, 0, 0}, Case{1280, 960, 2.0, 0, 0}, Case{2112, 1584, 3.3, 0, 0},
          Case{1000, 720, 1.5, 20, 0}, Case{1280, 1000, 2.0, 0, 20}}) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        SDL_SetWindowSize(Window(), c.width, c.height);
        frame();
        frame();
        const int w = static_cast<int>(640 * c.scale + 0.5);
        const int h = static_cast<int>(480 * c.scale + 0.5);
        // Bands black, the picture's halves in their colours right up to its edges.
        if (c.bandX > 0) {
            EXPECT_EQ(pixel(c.bandX - 1, c.height / 2), 0xFF000000u);
            EXPECT_EQ(pixel(c.bandX + w, c.height / 2), 0xFF000000u);
        }
        if (c.bandY > 0) {
            EXPECT_EQ(pixel(c.width / 2, c.bandY - 1), 0xFF000000u);
            EXPECT_EQ(pixel(c.width / 2, c.bandY + h), 0xFF000000u);
        }
        EXPECT_EQ(pixel(c.bandX, c.bandY + h / 2), 0xFFFF0000u);
        EXPECT_EQ(pixel(c.bandX + w - 1, c.bandY + h / 2), 0xFF0000FFu);
        EXPECT_EQ(pixel(c.bandX + w / 4, c.bandY + h - 1), 0xFFFF0000u);
        // The pointer: a window point maps to the picture pixel drawn under it.
        const int factor = static_cast<int>(c.scale);
        if (factor == c.scale) {
            // Pixel for pixel: the white pixel is a square of `factor` and nothing blurs it.
            for (int dy = -1; dy <= factor; ++dy) {
                for (int dx = -1; dx <= factor; ++dx) {
                    const bool inside = dx >= 0 && dy >= 0 && dx < factor && dy < factor;
                    EXPECT_EQ(pixel(c.bandX + 100 * factor + dx, c.bandY + 100 * factor + dy),
                              inside ? 0xFFFFFFFFu : 0xFFFF0000u)
                        << dx << ", " << dy;
                }
            }
        }
        EXPECT_EQ(form->PictureFromWindow(c.bandX, c.bandY).x, 0);
        EXPECT_EQ(form->PictureFromWindow(c.bandX, c.bandY).y, 0);
        EXPECT_EQ(form->PictureFromWindow(c.bandX - 1, c.bandY).x, -1);
        EXPECT_EQ(form->PictureFromWindow(c.bandX + w - 1, c.bandY + h - 1).x, 639);
        EXPECT_EQ(form->PictureFromWindow(c.bandX + w - 1, c.bandY + h - 1).y, 479);
        const platform::Point centre = form->PictureFromWindow(c.bandX + w / 2, c.bandY + h / 2);
        EXPECT_EQ(centre.x, 320);
        EXPECT_EQ(centre.y, 240);
        const platform::Point white =
            form->PictureFromWindow(c.bandX + static_cast<int>(100.5 * c.scale),
                                    c.bandY + static_cast<int>(100.5 * c.scale));
        EXPECT_EQ(white.x, 100);
        EXPECT_EQ(white.y, 100);
    }

    // Once it has held a moment, the size is kept in the settings, and a window coming back from
    // full screen takes it again.
    SDL_Delay(600);
    frame();
    EXPECT_EQ(platform::GetIntSetting("WindowWidth", 0), 1280);
    EXPECT_EQ(platform::GetIntSetting("WindowHeight", 0), 1000);
    Key(SDL_SCANCODE_F11, true);
    frame();
    ASSERT_TRUE(WindowIsFullScreen());
    Key(SDL_SCANCODE_F11, false);
    Key(SDL_SCANCODE_F12, true);
    frame();
    Key(SDL_SCANCODE_F12, false);
    int w = 0;
    int h = 0;
    SDL_GetWindowSize(Window(), &w, &h);
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 1000);
    SDL_Delay(600);
    frame();
    EXPECT_EQ(platform::GetIntSetting("WindowWidth", 0), 1280);  // full screen changed nothing
    EXPECT_TRUE(boxes.texts.empty());
}

}  // namespace
