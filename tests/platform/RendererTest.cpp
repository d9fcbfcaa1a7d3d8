// The SDL renderer stand-in: texture pool, device reset through the event queue, display modes on
// a real (dummy-driver) window, and the key latch of the window's event pump.
#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/Application.h"
#include "platform/Renderer.h"
#include "platform/ScriptedWindow.h"

namespace {

class RendererTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/torvane-renderer-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
    std::string Write(const std::string& name, int w, int h, uint32_t argb) {
        const std::string path = (folder / name).string();
        std::vector<uint32_t> pixels(static_cast<size_t>(w * h), argb);
        EXPECT_TRUE(platform::WritePicture(path, w, h, pixels.data()));
        return path;
    }
    std::filesystem::path folder;
};

TEST_F(RendererTest, HeadlessRendererDrawsOffScreen) {
    platform::ScriptedWindow window;
    platform::Renderer::CreateError error;
    auto renderer = platform::Renderer::Create(&window, true, &error);
    ASSERT_TRUE(renderer);
    EXPECT_EQ(error, platform::Renderer::CreateError::NoError);
    EXPECT_FALSE(renderer->HasWindow());
    EXPECT_FALSE(renderer->IsPaced());  // tests and tools are never held back
    ASSERT_TRUE(renderer->Clear(0xFF102030));
    EXPECT_TRUE(renderer->Present());
    EXPECT_EQ(renderer->PixelAt(0, 0), 0xFF102030u);
    EXPECT_EQ(renderer->PixelAt(639, 479), 0xFF102030u);
    EXPECT_EQ(renderer->PixelAt(640, 0), 0u);
}

TEST_F(RendererTest, SquareTexturesArePowerOfTwoSquaresAndReportTheFileSize) {
    platform::ScriptedWindow window;
    auto renderer = platform::Renderer::Create(&window, false, nullptr);
    ASSERT_TRUE(renderer);
    const std::string big = Write("big.png", 640, 480, 0xFF00FF00);
    int32_t w = 0;
    int32_t h = 0;
    const int32_t square = renderer->LoadTexture(big, 0, true, &w, &h);
    ASSERT_GE(square, 0);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_EQ(renderer->TextureWidth(square), 1024);
    EXPECT_EQ(renderer->TextureHeight(square), 1024);
    const int32_t plain = renderer->LoadTexture(big, 0, false, &w, &h);
    EXPECT_EQ(renderer->TextureWidth(plain), 640);
    const int32_t one = renderer->LoadTexture(Write("one.bmp", 1, 1, 0xFF0000FF), 0, true, &w, &h);
    EXPECT_EQ(renderer->TextureWidth(one), 1);

    EXPECT_EQ(renderer->LoadTexture((folder / "none.png").string(), 0, false, &w, &h), -1);
    EXPECT_EQ(w, 1);  // a failed load leaves the sizes of the last one alone
}

TEST_F(RendererTest, ReleasedIdsAreReusedAndStaleIdsDrawNothing) {
    platform::ScriptedWindow window;
    auto renderer = platform::Renderer::Create(&window, false, nullptr);
    ASSERT_TRUE(renderer);
    const int32_t a = renderer->CreateSolidTexture(0xFFFFFFFF);
    const int32_t b = renderer->CreateSolidTexture(0xFFFFFFFF);
    EXPECT_NE(a, b);
    renderer->ReleaseTexture(a);
    renderer->ReleaseTexture(a);  // twice is harmless
    EXPECT_FALSE(renderer->DrawTexture(a, 0, 0, 0xFFFFFFFF, 1, 1, 0, 0, 0));
    EXPECT_FALSE(renderer->DrawTexture(-1, 0, 0, 0xFFFFFFFF, 1, 1, 0, 0, 0));
    EXPECT_FALSE(renderer->DrawTexture(9999, 0, 0, 0xFFFFFFFF, 1, 1, 0, 0, 0));
    EXPECT_EQ(renderer->CreateSolidTexture(0xFF000000), a);
}

TEST_F(RendererTest, DeviceResetEventRecreatesTexturesFromKeptPixels) {
    platform::ScriptedWindow window;
    auto renderer = platform::Renderer::Create(&window, false, nullptr);
    ASSERT_TRUE(renderer);
    const std::string path = Write("tex.png", 4, 4, 0xFFAA5500);
    int32_t w = 0;
    int32_t h = 0;
    const int32_t id = renderer->LoadTexture(path, 0, false, &w, &h);
    ASSERT_GE(id, 0);
    std::filesystem::remove(path);

    EXPECT_EQ(renderer->TestCooperativeLevel(), platform::Renderer::Status::Ready);
    SDL_Event event{};
    event.type = SDL_RENDER_DEVICE_RESET;
    ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
    EXPECT_EQ(renderer->TestCooperativeLevel(), platform::Renderer::Status::NeedsReset);
    EXPECT_FALSE(renderer->Present());  // nothing is shown until the device is reset
    ASSERT_TRUE(renderer->Reset(false));
    EXPECT_EQ(renderer->TestCooperativeLevel(), platform::Renderer::Status::Ready);

    renderer->Clear(0xFF000000);
    EXPECT_TRUE(renderer->DrawTexture(id, 10, 10, 0xFFFFFFFF, 1, 1, 0, 0, 0));
    EXPECT_TRUE(renderer->Present());
    EXPECT_EQ(renderer->PixelAt(12, 12), 0xFFAA5500u);
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

TEST_F(RendererTest, FontsNeedAReadableFace) {
    platform::ScriptedWindow window;
    auto renderer = platform::Renderer::Create(&window, false, nullptr);
    ASSERT_TRUE(renderer);
    const int heights[] = {16, 19};
    EXPECT_FALSE(renderer->LoadFonts((folder / "missing.otf").string(), heights));
    const std::string junk = Write("junk.bmp", 2, 2, 0);
    EXPECT_FALSE(renderer->LoadFonts(junk, heights));
    EXPECT_FALSE(renderer->DrawText(0, 0, 0, "A", 0xFFFFFFFF, 0));
    EXPECT_EQ(renderer->TextWidth(0, "A"), 0);
}

// --- on a window of the dummy video driver -------------------------------------------------

class WindowRendererTest : public RendererTest {
  protected:
    void SetUp() override {
        RendererTest::SetUp();
        ::setenv("TORVANE_FRAME_CAP", "0", 1);
        platform::FormOptions options;
        options.title = "Torvane";
        options.visible = true;
        form = app.CreateForm(options);
        ASSERT_NE(form->NativeHandle(), nullptr);
    }
    platform::Application app;
    std::unique_ptr<platform::Form> form;
};

TEST_F(WindowRendererTest, WindowModeIsThe640By480WindowAtTheTopLeftCorner) {
    auto renderer = platform::Renderer::Create(form.get(), false, nullptr);
    ASSERT_TRUE(renderer);
    EXPECT_TRUE(renderer->HasWindow());
    auto* window = static_cast<SDL_Window*>(form->NativeHandle());
    int w = 0;
    int h = 0;
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    int x = -1;
    int y = -1;
    SDL_GetWindowPosition(window, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN, 0u);

    const int32_t solid = renderer->CreateSolidTexture(0xFF00FF00);
    renderer->Clear(0xFF000000);
    renderer->DrawTexture(solid, 600, 400, 0xFFFFFFFF, 40, 80, 0, 0, 0);
    EXPECT_TRUE(renderer->Present());
    // The picture stays readable after it was shown.
    EXPECT_EQ(renderer->PixelAt(639, 479), 0xFF00FF00u);
    EXPECT_EQ(renderer->PixelAt(599, 479), 0xFF000000u);
}

TEST_F(WindowRendererTest, FullScreenScalesThePictureAndMapsTheCursorBack) {
    auto renderer = platform::Renderer::Create(form.get(), true, nullptr);
    ASSERT_TRUE(renderer);
    EXPECT_TRUE(renderer->IsFullScreen());
    auto* window = static_cast<SDL_Window*>(form->NativeHandle());
    EXPECT_NE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN, 0u);
    renderer->Clear(0xFF000000);
    EXPECT_TRUE(renderer->Present());
    int w = 0;
    int h = 0;
    SDL_GetWindowSize(window, &w, &h);
    ASSERT_GT(w, 0);

    // The mouse at the window's centre is the picture's centre, whatever the desktop size.
    SDL_WarpMouseInWindow(window, w / 2, h / 2);
    app.ProcessMessages();
    const platform::Point centre = form->CursorPosition();
    EXPECT_NEAR(centre.x, 320, 1);
    EXPECT_NEAR(centre.y, 240, 1);

    ASSERT_TRUE(renderer->Reset(false));
    EXPECT_FALSE(renderer->IsFullScreen());
    EXPECT_EQ(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN, 0u);
    renderer->Present();
    SDL_WarpMouseInWindow(window, 100, 50);
    app.ProcessMessages();
    EXPECT_EQ(form->CursorPosition().x, 100);
    EXPECT_EQ(form->CursorPosition().y, 50);
}

// What the window shows, row by row (the software renderer draws into the window's own pixels).
std::vector<uint32_t> WindowPixels(SDL_Window* window, int* width, int* height) {
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    std::vector<uint32_t> pixels;
    if (!surface || surface->format->BytesPerPixel != 4)
        return pixels;
    *width = surface->w;
    *height = surface->h;
    for (int y = 0; y < surface->h; ++y) {
        const auto* row =
            reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(surface->pixels) +
                                              static_cast<ptrdiff_t>(y) * surface->pitch);
        pixels.insert(pixels.end(), row, row + surface->w);
    }
    return pixels;
}

TEST_F(WindowRendererTest, PictureIsScaledSmoothlyAtUnevenFactorsAndTheCursorStillMaps) {
    auto renderer = platform::Renderer::Create(form.get(), false, nullptr);
    ASSERT_TRUE(renderer);
    auto* window = static_cast<SDL_Window*>(form->NativeHandle());
    // Grey rising by 4 from each row to the next, starting again every 64 rows.
    std::vector<uint32_t> ramp(640 * 480);
    for (int y = 0; y < 480; ++y) {
        const uint32_t grey = static_cast<uint32_t>(y % 64) * 4;
        std::fill_n(ramp.begin() + y * 640, 640, 0xFF000000u | grey << 16 | grey << 8 | grey);
    }
    const std::string path = (folder / "ramp.png").string();
    ASSERT_TRUE(platform::WritePicture(path, 640, 480, ramp.data()));
    const int32_t id = renderer->LoadTexture(path, 0, false, nullptr, nullptr);
    ASSERT_GE(id, 0);
    auto frame = [&] {
        app.ProcessMessages();
        renderer->Clear(0xFF000000);
        renderer->DrawTexture(id, 0, 0, 0xFFFFFFFF, 1, 1, 0, 0, 0);
        EXPECT_TRUE(renderer->Present());
    };

    // 1366 x 768, as on many laptops: the picture is 1.6 times as large, 171 pixels in from the
    // left.
    SDL_SetWindowSize(window, 1366, 768);
    frame();
    frame();
    int w = 0;
    int h = 0;
    std::vector<uint32_t> shown = WindowPixels(window, &w, &h);
    ASSERT_EQ(w, 1366);
    ASSERT_EQ(h, 768);
    auto at = [&](int x, int y) { return shown[static_cast<size_t>(y * w + x)] & 0xFF; };
    for (int y : {0, 300, 767}) {
        EXPECT_EQ(at(170, y), 0u) << y;   // letterbox, left
        EXPECT_EQ(at(1195, y), 0u) << y;  // and right
    }
    // Nearest-pixel scaling repeats every third row or so; blended, each row differs from the next.
    int pairs = 0;
    int repeated = 0;
    for (int y = 0; y + 1 < h; ++y) {
        const uint32_t a = at(683, y);
        const uint32_t b = at(683, y + 1);
        if (b < a)
            continue;  // where the ramp starts again
        ++pairs;
        repeated += a == b ? 1 : 0;
    }
    EXPECT_GT(pairs, 600);
    EXPECT_LT(repeated, pairs / 50) << repeated << " of " << pairs << " rows repeat the one above";
    // The picture itself is not touched by the scaling.
    EXPECT_EQ(renderer->PixelAt(300, 1), 0xFF040404u);
    EXPECT_EQ(renderer->PixelAt(300, 2), 0xFF080808u);

    SDL_WarpMouseInWindow(window, 171 + 160, 80);
    app.ProcessMessages();
    EXPECT_EQ(form->CursorPosition().x, 100);
    EXPECT_EQ(form->CursorPosition().y, 50);
    SDL_WarpMouseInWindow(window, 171, 0);
    app.ProcessMessages();
    EXPECT_EQ(form->CursorPosition().x, 0);
    EXPECT_EQ(form->CursorPosition().y, 0);
    SDL_WarpMouseInWindow(window, 1194, 767);
    app.ProcessMessages();
    EXPECT_EQ(form->CursorPosition().x, 639);
    EXPECT_EQ(form->CursorPosition().y, 479);

    // Back at 640 x 480 the picture is shown pixel for pixel again.
    SDL_SetWindowSize(window, 640, 480);
    frame();
    frame();
    shown = WindowPixels(window, &w, &h);
    ASSERT_EQ(w, 640);
    for (int y = 0; y < 480; ++y)
        ASSERT_EQ(at(320, y), (ramp[static_cast<size_t>(y * 640)] & 0xFF)) << y;
    EXPECT_EQ(renderer->PixelAt(300, 2), 0xFF080808u);
    SDL_WarpMouseInWindow(window, 100, 50);
    app.ProcessMessages();
    EXPECT_EQ(form->CursorPosition().x, 100);
}

TEST_F(WindowRendererTest, AnIconifiedFullScreenWindowLosesTheDeviceUntilRestored) {
    auto renderer = platform::Renderer::Create(form.get(), true, nullptr);
    ASSERT_TRUE(renderer);
    using Status = platform::Renderer::Status;
    app.InjectMinimized(*form, true);
    app.ProcessMessages();
    EXPECT_TRUE(form->IsMinimized());
    EXPECT_EQ(renderer->TestCooperativeLevel(), Status::Lost);
    EXPECT_FALSE(renderer->Present());
    app.InjectMinimized(*form, false);
    app.ProcessMessages();
    EXPECT_FALSE(form->IsMinimized());
    EXPECT_EQ(renderer->TestCooperativeLevel(), Status::Ready);
    EXPECT_TRUE(renderer->Present());

    // A picture in a window is simply not seen while iconified.
    ASSERT_TRUE(renderer->Reset(false));
    app.InjectMinimized(*form, true);
    app.ProcessMessages();
    EXPECT_EQ(renderer->TestCooperativeLevel(), Status::Ready);
    EXPECT_TRUE(renderer->Present());
}

TEST_F(WindowRendererTest, WindowFramesArePacedUnlessSwitchedOff) {
    ::setenv("TORVANE_FRAME_CAP", "0", 1);
    auto free = platform::Renderer::Create(form.get(), false, nullptr);
    ASSERT_TRUE(free);
    // The dummy driver has no vsync, so nothing holds these frames back.
    EXPECT_FALSE(free->IsPaced());
    free.reset();
    ::setenv("TORVANE_FRAME_CAP", "1", 1);
    auto paced = platform::Renderer::Create(form.get(), false, nullptr);
    ASSERT_TRUE(paced);
    EXPECT_TRUE(paced->IsPaced());
    ::setenv("TORVANE_FRAME_CAP", "0", 1);
}

TEST_F(WindowRendererTest, QuickTapBetweenTwoPumpsIsStillSeenOnce) {
    form->Activate();
    auto* window = static_cast<SDL_Window*>(form->NativeHandle());
    SDL_Event down{};
    down.type = SDL_KEYDOWN;
    down.key.windowID = SDL_GetWindowID(window);
    down.key.state = SDL_PRESSED;
    down.key.keysym.scancode = SDL_SCANCODE_SPACE;
    down.key.keysym.sym = SDLK_SPACE;
    SDL_Event up = down;
    up.type = SDL_KEYUP;
    up.key.state = SDL_RELEASED;
    ASSERT_EQ(SDL_PushEvent(&down), 1);
    ASSERT_EQ(SDL_PushEvent(&up), 1);
    app.ProcessMessages();
    EXPECT_TRUE(form->IsKeyDown(32));  // pressed and released within one frame
    app.ProcessMessages();
    EXPECT_FALSE(form->IsKeyDown(32));
}

}  // namespace

namespace {

TEST(FindFontFile, AnswersOnlyTheFamilyAskedFor) {
    // Font matching always finds some face; a family that is not installed must not pass for it.
    EXPECT_EQ(platform::FindFontFile("Torvane No Such Family"), "");
    const std::string serif = platform::FindFontFile("DejaVu Serif");
    if (!serif.empty()) {
        EXPECT_TRUE(std::filesystem::exists(serif)) << serif;
        EXPECT_EQ(platform::FindFontFile("dejavu serif"), serif);  // without regard to case
    }
}

}  // namespace
