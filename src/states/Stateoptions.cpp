// The options sub-screen of the menu: music and effect volume bars and "retour".
#include "states/Stateoptions.h"

#include <algorithm>

#include "input/Directinput.h"
#include "states/Animation.h"
#include "states/Frontend.h"

namespace torvane {
namespace {

constexpr uint32_t kIconKey = 0xFF8C7B52;

}  // namespace

OptionState::OptionState(DirectScreen* screen, DirectAudio* audio, DirectInput* input,
                         SoundEffect* hitSound, SoundEffect* fillInSound, SoundEffect* fillOutSound)
    : screen(screen),
      audio(audio),
      input(input),
      hitSound(hitSound),
      fillInSound(fillInSound),
      fillOutSound(fillOutSound) {
    rowFrame = Load(screen, kMiniFramePath);
    buttonFrame = Load(screen, "..\\Ressources\\Graphics\\Fond\\FlatCadre.png");
    musicIcon = Load(screen, "..\\Ressources\\Graphics\\Icones\\Music.png", kIconKey);
    effectIcon = Load(screen, "..\\Ressources\\Graphics\\Icones\\Volume.png", kIconKey);
    bar = Load(screen, "..\\Ressources\\Graphics\\Icones\\Bar.png");
    // Shown as stored; clamped only when changed.
    musicVolume = GetIntSetting("MusicVolume", 100);
    effectVolume = GetIntSetting("SoundEffectVolume", 100);
    Play(audio, fillInSound);
}

OptionState::~OptionState() = default;

void OptionState::SetMusic(int32_t volume) {
    musicVolume = volume;
    if (audio)
        audio->SetMusicVolume(volume, false);
}

void OptionState::SetEffects(int32_t volume) {
    effectVolume = volume;
    if (hitSound && audio) {
        audio->SetEffectVolume(hitSound, volume, false);
        Play(audio, hitSound);  // a sample of the new level
    }
}

void OptionState::Close() {
    Play(audio, hitSound);
    highlight = 2;
    closing = true;
    Play(audio, fillOutSound);
}

int32_t OptionState::Run() {
    if (!closing)
        HandleInput();
    if (closing && frameTop < -250.0f)
        return 1;

    const int32_t ft = FrameTime(screen);
    frameTop = SlideFrame(frameTop, closing, ft);
    FadeHighlight(colours, highlight, ft);

    Draw(rowFrame, 185, Trunc(frameTop), kFrameColour);
    Draw(rowFrame, 185, Trunc(frameTop + 90), kFrameColour);
    Draw(buttonFrame, 185, Trunc(frameTop + 180), kFrameColour);
    Draw(musicIcon, 205, Trunc(frameTop + 15), colours[0]);
    Draw(effectIcon, 205, Trunc(frameTop + 105), colours[1]);
    if (screen)
        screen->DrawText(310, Trunc(frameTop + 187), "- retour -", colours[2], 1, 3, 1);

    if (bar) {
        for (int k = 0; k < 10; ++k) {
            const int f = 10 * k;
            const float h = 0.2f + static_cast<float>(f) * 0.8f * 0.01f;
            const int x = 245 + 18 * k;
            const uint32_t musicColour =
                f <= musicVolume ? colours[0] : (highlight == 0 ? 0x7FFFFFFF : 0x0FFFFFFF);
            const uint32_t effectColour =
                f <= effectVolume ? colours[1] : (highlight == 1 ? 0x7FFFFFFF : 0x0FFFFFFF);
            bar->Draw(x, Trunc(frameTop + 50 - 37 * h), musicColour, 1.0f, h, 0, 0, 0.0f);
            bar->Draw(x, Trunc(frameTop + 140 - 37 * h), effectColour, 1.0f, h, 0, 0, 0.0f);
        }
    }
    return 0;
}

void OptionState::HandleInput() {
    if (!input)
        return;
    if (input->KeyPressed(key::Up)) {
        Play(audio, hitSound);
        highlight -= 1;
    } else if (input->KeyPressed(key::Down)) {
        Play(audio, hitSound);
        highlight += 1;
    } else if (input->KeyPressed('R') || input->KeyPressed(key::Escape) ||
               input->KeyPressed(key::Space) ||
               (input->KeyPressed(key::Return) && highlight == 2)) {
        // Return is taken (and does nothing) on the two volume rows.
        Close();
        return;
    } else if (input->KeyPressed(key::Right)) {
        if (highlight == 1)
            SetEffects(std::min(effectVolume + 10, 100));
        if (highlight == 0)
            SetMusic(std::min(musicVolume + 10, 100));
    } else if (input->KeyPressed(key::Left)) {
        if (highlight == 1)
            SetEffects(std::max(effectVolume - 10, 0));
        if (highlight == 0)
            SetMusic(std::max(musicVolume - 10, 0));
    }
    highlight = WrapHighlight(highlight, 3);
    const int32_t remembered = highlight;

    const platform::Point mouse = input->CursorPosition();
    if (mouse.x >= 195 && mouse.x <= 425) {
        const float y = static_cast<float>(mouse.y);
        const int32_t v = std::clamp((mouse.x - 245) * 10 / 18, 0, 100);
        if (y >= frameTop + 8 && y <= frameTop + 54) {
            highlight = 0;
            if (input->KeyPressed(key::LeftButton))
                SetMusic(v);
        } else if (y >= frameTop + 98 && y <= frameTop + 144) {
            highlight = 1;
            if (input->KeyPressed(key::LeftButton))
                SetEffects(v);
        } else if (y >= frameTop + 188 && y <= frameTop + 234) {
            highlight = 2;
            if (input->KeyPressed(key::LeftButton)) {
                Play(audio, hitSound);
                closing = true;
                Play(audio, fillOutSound);
                return;
            }
        }
    }
    if (highlight != remembered)
        Play(audio, hitSound);
}

}  // namespace torvane
