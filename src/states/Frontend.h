// Small helpers the front-end screens share: null-safe drawing and sounds, the version line.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include <algorithm>

#include "app/Directparameters.h"
#include "audio/Directaudio.h"
#include "screen/Directscreen.h"
#include "states/Animation.h"

namespace torvane {

inline constexpr const char* kBackgroundPath = "..\\Ressources\\Graphics\\Fond\\Background.jpg";
inline constexpr const char* kMiniFramePath = "..\\Ressources\\Graphics\\Fond\\MiniCadre.png";
inline constexpr const char* kDimPath = "..\\Ressources\\Graphics\\Fond\\Trans.png";
inline constexpr const char* kLightPath = "..\\Ressources\\Graphics\\Fond\\Light.png";
inline constexpr const char* kHitPath = "..\\Ressources\\Sounds\\hit.wav";
inline constexpr const char* kFillInPath = "..\\Ressources\\Sounds\\FillIn.wav";
inline constexpr const char* kFillOutPath = "..\\Ressources\\Sounds\\FillOut.wav";
inline constexpr const char* kSearchPath = "..\\Ressources\\Sounds\\Search.wav";
inline constexpr const char* kFailedPath = "..\\Ressources\\Sounds\\Failed.wav";

// Frame colour of the sliding frames, and the dark green of their texts.
inline constexpr uint32_t kFrameColour = 0xCFFFFFFF;
inline constexpr uint32_t kTextGreen = 0xFF102D19;

// Key codes the screens ask for.
namespace key {
inline constexpr int LeftButton = 1;
inline constexpr int Backspace = 8;
inline constexpr int Tab = 9;
inline constexpr int Return = 13;
inline constexpr int Shift = 16;
inline constexpr int Escape = 27;
inline constexpr int Space = 32;
inline constexpr int Left = 37;
inline constexpr int Up = 38;
inline constexpr int Right = 39;
inline constexpr int Down = 40;
inline constexpr int Delete = 46;
inline constexpr int F1 = 112;
inline constexpr int F2 = 113;
inline constexpr int F3 = 114;
inline constexpr int F4 = 115;
inline constexpr int F5 = 116;
inline constexpr int F6 = 117;
inline constexpr int T = 84;
}  // namespace key

inline int32_t Trunc(float value) {
    return static_cast<int32_t>(value);
}

inline std::unique_ptr<Image> Load(DirectScreen* screen, const char* path, uint32_t key = 0) {
    return screen ? screen->LoadImage(path, key) : nullptr;
}

inline std::unique_ptr<SoundEffect> LoadEffect(DirectAudio* audio, const char* path) {
    return audio ? audio->LoadSound(path) : nullptr;
}

// Plays `effect` once; nothing without an engine or a sound.
inline void Play(DirectAudio* audio, SoundEffect* effect) {
    if (audio && effect)
        audio->Play(effect, 1);
}

inline void Draw(const std::unique_ptr<Image>& image, int32_t x, int32_t y,
                 uint32_t colour = 0xFFFFFFFF, float scaleX = 1.0f, float scaleY = 1.0f) {
    if (image)
        image->Draw(x, y, colour, scaleX, scaleY, 0, 0, 0.0f);
}

inline int32_t FrameTime(const DirectScreen* screen) {
    return screen ? screen->GetFrameTime() : 0;
}

// A fade that cannot run (no screen) counts as finished.
inline bool FadeFinished(DirectScreen* screen) {
    return !screen || screen->FadeDone();
}

inline void Fade(DirectScreen* screen, bool fadeOut) {
    if (screen)
        screen->Fade(fadeOut, 1000, 0);
}

// "v 3.00a" at the bottom right of the front-end screens.
inline void DrawVersionLine(DirectScreen* screen) {
    if (screen) {
        screen->DrawText(620, 440, std::string("v ") + kGameVersion, kTextGreen, 1, 2, 2);
    }
}

// Opens a front-end frame: drops a finished fade, begins the frame, draws the background and
// the version line.
inline void BeginFrontendFrame(DirectScreen* screen, const std::unique_ptr<Image>& background) {
    if (!screen)
        return;
    screen->FadeDone();
    screen->BeginFrame();
    Draw(background, 0, 0);
    DrawVersionLine(screen);
}

// One step of a front-end frame sliding to its place at 180, or away to -300 while it closes;
// it never goes below its place.
inline float SlideFrame(float frameTop, bool closing, int32_t ft) {
    return std::min(SlideToward(frameTop, closing ? -300 : 180, ft), 180.0f);
}

// A menu highlight moved past either end comes back at the other (items 0..count-1).
inline int32_t WrapHighlight(int32_t highlight, int32_t count) {
    if (highlight < 0)
        return count - 1;
    if (highlight >= count)
        return 0;
    return highlight;
}

}  // namespace torvane
