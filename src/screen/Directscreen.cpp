// The screen engine: frame cycle and clock, pictures drawn as sprites (whole or in parts), pictures
// whose pixels the game writes, filled rectangles, text in forty sizes, fades, the frame-rate line
// and the game's own mouse cursor.
#include "screen/Directscreen.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "platform/MessageBox.h"
#include "platform/PicturesFolder.h"
#include "platform/Renderer.h"
#include "platform/ResourcePath.h"
#include "platform/Settings.h"

namespace torvane {
namespace {

// Windows-1252 texts of the error boxes.
constexpr const char* kNoDirectX =
    "Veuillez installer DirectX 8.1 ou plus r\xE9"
    "cent.";
constexpr const char* kNoDevice =
    "Impossible d'initialiser la carte 3D primaire en 640x480 32 bits.";
constexpr const char* kNoSprite =
    "Impossible de cr\xE9"
    "er le moteur de sprite.";
constexpr const char* kNoFont =
    "Impossible d'utiliser la police de caract\xE8"
    "res Book Antiqua.";
constexpr const char* kNoScene =
    "Impossible de d\xE9"
    "buter la sc\xE8"
    "ne.";
constexpr const char* kNoImage =
    "Impossible de cr\xE9"
    "er l'image \xE0 partir du fichier";
constexpr const char* kNoFadeTexture =
    "Impossible de cr\xE9"
    "er une texture pour le fader.";
constexpr const char* kNoFadeDraw =
    "Impossible de r\xE9"
    "aliser l'effet de fading.";
constexpr const char* kNoScreenshot =
    "Impossible d'enregistrer la capture d'\xE9"
    "cran.";

constexpr const char* kCursorPath = "..\\Ressources\\Graphics\\Icones\\Cursor.png";
constexpr uint32_t kCursorKey = 0xFF800080;
constexpr const char* kBundledFont = "..\\Ressources\\Fonts\\texgyrepagella-regular.otf";

constexpr int kKeyF11 = 122;
constexpr int kKeyF12 = 123;
constexpr int kKeyPrintScreen = 44;

// A lost device is waited for this many times (a little sleep each), then the frame gives up
// and the next one tries again, so the window never hangs.
constexpr int kRecoveryTries = 200;
constexpr auto kRecoveryPause = std::chrono::milliseconds(10);

std::string FontFile() {
    const char* bundledOnly = std::getenv("TORVANE_BUNDLED_FONT");
    if (!(bundledOnly && *bundledOnly && *bundledOnly != '0')) {
        std::string installed = platform::FindFontFile("Book Antiqua");
        if (!installed.empty())
            return installed;
    }
    return platform::ResolveResource(kBundledFont);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Image

Image::Image(std::weak_ptr<platform::Renderer> renderer, int32_t texture, int32_t width,
             int32_t height, bool writable)
    : renderer(std::move(renderer)),
      texture(texture),
      width(width),
      height(height),
      writable(writable) {}

Image::~Image() {
    if (auto device = renderer.lock())
        device->ReleaseTexture(texture);
}

void Image::Draw(int32_t x, int32_t y, uint32_t colour, float scaleX, float scaleY, int32_t centreX,
                 int32_t centreY, float rotation) const {
    if (auto device = renderer.lock()) {
        device->DrawTexture(texture, static_cast<float>(x), static_cast<float>(y), colour, scaleX,
                            scaleY, static_cast<float>(centreX), static_cast<float>(centreY),
                            rotation);
    }
}

void Image::DrawRegion(int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight, int32_t x,
                       int32_t y, uint32_t colour, float scaleX, float scaleY) const {
    if (auto device = renderer.lock()) {
        device->DrawTextureRegion(texture, srcX, srcY, srcWidth, srcHeight, static_cast<float>(x),
                                  static_cast<float>(y), colour, scaleX, scaleY);
    }
}

bool Image::SetPixels(std::span<const uint32_t> argb) {
    if (!writable || argb.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        return false;
    }
    auto device = renderer.lock();
    return device && device->UpdateTexture(texture, argb);
}

// ---------------------------------------------------------------------------------------------
// DirectScreen

int DirectScreen::FontPixelHeight(int fontIndex) {
    const int points = 12 + 2 * std::clamp(fontIndex, 0, kFontSizes - 1);
    return static_cast<int>(std::lround(points * 96.0 / 72.0));
}

DirectScreen::DirectScreen(platform::Window* window) : window(window) {
    fpsLine.reserve(32);
    const bool fullScreen = platform::GetBoolSetting("FullScreen", true);
    showDebugInfo = platform::GetBoolSetting("ShowDebugInfo", false);

    platform::Renderer::CreateError error = platform::Renderer::CreateError::NoError;
    std::unique_ptr<platform::Renderer> device =
        platform::Renderer::Create(window, fullScreen, &error);
    if (!device) {
        platform::ShowErrorBox(error == platform::Renderer::CreateError::NoDriver ? kNoDirectX
                                                                                  : kNoDevice);
        return;
    }
    renderer = std::move(device);

    std::array<int, kFontSizes> heights{};
    for (int i = 0; i < kFontSizes; ++i)
        heights[static_cast<size_t>(i)] = FontPixelHeight(i);
    if (!renderer->LoadFonts(FontFile(), heights)) {
        platform::ShowErrorBox(kNoFont);
        return;
    }
    ready = true;
    lastTime = {};
    fpsTime = 0;
    fpsFrames = 0;
    cursor = LoadImage(kCursorPath, kCursorKey);
}

DirectScreen::~DirectScreen() {
    cursor.reset();
    if (renderer && fadeTexture >= 0)
        renderer->ReleaseTexture(fadeTexture);
}

void DirectScreen::ResetFrameClock() {
    if (window)
        lastTime = window->Now();
}

void DirectScreen::BeginFrame() {
    const platform::ClockReading now = window ? window->Now() : platform::ClockReading{};
    if (lastTime.seconds == 0)
        lastTime = now;
    frameTime = platform::MillisecondsBetween(lastTime, now);
    lastTime = now;
    ++fpsFrames;
    fpsTime += frameTime;
    if (fpsFrames >= 60) {
        fps = fpsTime != 0 ? 60000 / fpsTime : 0;
        fpsFrames = 0;
        fpsTime = 0;
    }
    if (!ready)
        return;
    if (!renderer->Clear(0))
        platform::ShowErrorBox(kNoScene);
}

void DirectScreen::EndFrame(bool drawCursor) {
    if (!ready) {
        // Nothing can be shown, but a screen waiting for its fade must still be able to leave.
        if (fadeDuration != 0)
            AdvanceFade();
        return;
    }
    if (fadeDuration != 0) {
        DrawFadeOverlay();
        AdvanceFade();
    }
    if (showDebugInfo) {
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, fps).ptr;
        fpsLine.assign("FPS : ");
        fpsLine.append(digits, end);
        DrawText(620, 20, fpsLine, 0xFF0FCF0F, 1, 12, 2);
    }
    if (drawCursor && cursor && window) {
        const platform::Point position = window->CursorPosition();
        cursor->Draw(position.x - 16, position.y - 11, 0xFFFFFFFF, 1.0f, 1.0f, 0, 0, 0.0f);
    }
    CheckScreenshotKey();

    const bool presented = renderer->Present();
    const bool f11 = window && window->IsKeyDown(kKeyF11);
    const bool f12 = window && window->IsKeyDown(kKeyF12);
    if (presented && !f11 && !f12)
        return;

    // The display mode always falls back to the stored choice; F11 / F12 override it while held.
    bool fullScreen = platform::GetBoolSetting("FullScreen", true);
    showDebugInfo = platform::GetBoolSetting("ShowDebugInfo", false);
    if (f11) {
        fullScreen = true;
    } else if (f12) {
        fullScreen = false;
    }
    if ((f11 || f12) && !renderer->Reset(fullScreen)) {
        platform::ShowErrorBox(kNoSprite);
        return;
    }
    for (int attempt = 0; attempt < kRecoveryTries; ++attempt) {
        switch (renderer->TestCooperativeLevel()) {
            case platform::Renderer::Status::Ready:
                return;
            case platform::Renderer::Status::Lost:
                if (window)
                    window->ProcessMessages();
                std::this_thread::sleep_for(kRecoveryPause);
                break;
            case platform::Renderer::Status::NeedsReset:
                if (!renderer->Reset(fullScreen)) {
                    platform::ShowErrorBox(kNoSprite);
                    return;
                }
                break;
        }
    }
}

void DirectScreen::DrawFadeOverlay() {
    // Without a texture (its creation was reported) or after a failed draw (reported once), the
    // fade still runs its course unseen, so screens waiting on it go on.
    if (fadeTexture < 0 || fadeFailed)
        return;
    const uint32_t level =
        static_cast<uint32_t>(static_cast<uint64_t>(fadeElapsed) * 255u / fadeDuration);
    const uint32_t alpha = fadeOut ? level : 255u - level;
    const float scaleX = static_cast<float>(platform::kPictureWidth) /
                         static_cast<float>(std::max(1, renderer->TextureWidth(fadeTexture)));
    const float scaleY = static_cast<float>(platform::kPictureHeight) /
                         static_cast<float>(std::max(1, renderer->TextureHeight(fadeTexture)));
    if (!renderer->DrawTexture(fadeTexture, 0.0f, 0.0f, (alpha << 24) | 0xFFFFFF, scaleX, scaleY,
                               0.0f, 0.0f, 0.0f)) {
        fadeFailed = true;
        platform::ShowErrorBox(kNoFadeDraw);
    }
}

void DirectScreen::AdvanceFade() {
    // A frame time below zero (clock set back) does not move the fade.
    if (frameTime <= 0)
        return;
    const uint64_t elapsed = static_cast<uint64_t>(fadeElapsed) + static_cast<uint64_t>(frameTime);
    fadeElapsed = static_cast<uint32_t>(std::min<uint64_t>(elapsed, fadeDuration));
}

void DirectScreen::Fade(bool out, uint32_t durationMs, uint32_t colour) {
    fadeOut = out;
    fadeColour = colour;
    fadeDuration = durationMs;
    fadeElapsed = 0;
    fadeFailed = false;
    if (renderer && fadeTexture >= 0)
        renderer->ReleaseTexture(fadeTexture);
    fadeTexture = -1;
    if (!ready || durationMs == 0)
        return;
    fadeTexture = renderer->CreateSolidTexture(colour | 0xFF000000u);
    if (fadeTexture < 0)
        platform::ShowErrorBox(kNoFadeTexture);
}

bool DirectScreen::FadeDone() {
    if (fadeDuration != fadeElapsed)
        return false;
    fadeDuration = 0;
    fadeElapsed = 0;
    if (renderer && fadeTexture >= 0)
        renderer->ReleaseTexture(fadeTexture);
    fadeTexture = -1;
    return true;
}

std::unique_ptr<Image> DirectScreen::LoadImage(const std::string& path, uint32_t colourKey) {
    // The engine's own failure has been shown once; a box per picture would only repeat it.
    if (!ready)
        return nullptr;
    const bool squareOnly = platform::GetBoolSetting("SquareTexturesOnly", false);
    int32_t width = 0;
    int32_t height = 0;
    const int32_t texture = renderer->LoadTexture(platform::ResolveResource(path), colourKey,
                                                  squareOnly, &width, &height);
    if (texture < 0) {
        platform::ShowErrorBox(kNoImage);
        return nullptr;
    }
    return std::unique_ptr<Image>(new Image(renderer, texture, width, height, false));
}

std::unique_ptr<Image> DirectScreen::CreateImage(int32_t width, int32_t height) {
    constexpr int32_t kLargest = 4096;
    if (!ready || width < 1 || height < 1 || width > kLargest || height > kLargest)
        return nullptr;
    const bool squareOnly = platform::GetBoolSetting("SquareTexturesOnly", false);
    const int32_t texture = renderer->CreateStreamingTexture(width, height, squareOnly);
    if (texture < 0)
        return nullptr;
    return std::unique_ptr<Image>(new Image(renderer, texture, width, height, true));
}

void DirectScreen::FillRect(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour) {
    if (ready)
        renderer->FillRect(x, y, width, height, colour);
}

void DirectScreen::DrawText(int32_t x, int32_t y, const std::string& text, uint32_t colour,
                            int32_t shadow, int32_t fontIndex, int32_t align) {
    if (!ready)
        return;
    fontIndex = std::clamp(fontIndex, 0, kFontSizes - 1);
    const int32_t flags = align == 1 || align == 2 ? align : 0;
    if (shadow != 0) {
        const uint32_t shadowColour = ((colour & 0xFF000000u) >> 1) & 0xFF000000u;
        renderer->DrawText(fontIndex, x + shadow, y + shadow, text, shadowColour, flags);
    }
    renderer->DrawText(fontIndex, x, y, text, colour, flags);
}

int32_t DirectScreen::TextWidth(int32_t fontIndex, const std::string& line) {
    if (!ready)
        return 0;
    return renderer->TextWidth(std::clamp(fontIndex, 0, kFontSizes - 1), line);
}

void DirectScreen::CheckScreenshotKey() {
    const bool down = window && window->IsKeyDown(kKeyPrintScreen);
    if (down && !screenshotKeyDown) {
        if (!SaveScreenshot(platform::ScreenshotPath(platform::PicturesFolder()))) {
            platform::ShowErrorBox(kNoScreenshot);
        }
    }
    screenshotKeyDown = down;
}

bool DirectScreen::SaveScreenshot(const std::string& pngPath) const {
    return ready && renderer->SavePicture(pngPath);
}

bool DirectScreen::ReadPicture(std::vector<uint32_t>& argb) const {
    return ready && renderer->ReadPicture(argb);
}

uint32_t DirectScreen::PixelAt(int x, int y) const {
    return ready ? renderer->PixelAt(x, y) : 0;
}

bool DirectScreen::IsFullScreen() const {
    return renderer && renderer->IsFullScreen();
}

}  // namespace torvane
