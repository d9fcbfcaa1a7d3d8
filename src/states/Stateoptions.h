// The options sub-screen of the menu: music and effect volume bars and "retour".
#pragma once

#include <array>
#include <memory>

#include "app/Directstate.h"

namespace torvane {

class DirectScreen;
class DirectAudio;
class DirectInput;
class Image;
class SoundEffect;

class OptionState : public DirectState {
  public:
    // The three sounds are the menu's, lent for the sub-screen's life.
    OptionState(DirectScreen* screen, DirectAudio* audio, DirectInput* input, SoundEffect* hitSound,
                SoundEffect* fillInSound, SoundEffect* fillOutSound);
    ~OptionState() override;
    // Runs inside the menu's frame: answers 1 once closed, else 0.
    int32_t Run() override;

    int32_t MusicVolume() const { return musicVolume; }
    int32_t EffectVolume() const { return effectVolume; }
    int32_t Highlight() const { return highlight; }
    float FrameTop() const { return frameTop; }

  private:
    void HandleInput();
    void SetMusic(int32_t volume);
    void SetEffects(int32_t volume);
    void Close();

    DirectScreen* screen;
    DirectAudio* audio;
    DirectInput* input;
    SoundEffect* hitSound;
    SoundEffect* fillInSound;
    SoundEffect* fillOutSound;
    std::unique_ptr<Image> rowFrame;
    std::unique_ptr<Image> buttonFrame;
    std::unique_ptr<Image> musicIcon;
    std::unique_ptr<Image> effectIcon;
    std::unique_ptr<Image> bar;
    float frameTop = -300.0f;
    int32_t musicVolume = 100;
    int32_t effectVolume = 100;
    // Music row, effect row, "- retour -".
    std::array<uint32_t, 3> colours = {0x7FFFFFFF, 0x7FFFFFFF, 0x7F102D19};
    int32_t highlight = 0;
    bool closing = false;
};

}  // namespace torvane
