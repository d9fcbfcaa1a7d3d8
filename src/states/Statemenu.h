// The title menu: a parchment frame sliding down with "jouer", "options", "crédits", "quitter".
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

class MenuState : public DirectState {
  public:
    MenuState(DirectScreen* screen, DirectAudio* audio, DirectInput* input);
    ~MenuState() override;
    int32_t Run() override;

    int32_t Highlight() const { return highlight; }

    // Where the light band rests or is sliding to, below the frame's top.
    float LightOffset() const { return lightOffset; }
    bool Closing() const { return closing; }
    float FrameTop() const { return frameTop; }
    DirectState* SubScreen() const { return subScreen.get(); }
    const std::array<uint32_t, 4>& ItemColours() const { return itemColour; }

  private:
    void HandleInput();
    void Choose(bool fadeToBlack);

    DirectInput* input;
    DirectAudio* audio;
    DirectScreen* screen;
    std::unique_ptr<Image> background;
    std::unique_ptr<Image> frame;
    std::unique_ptr<Image> dim;
    std::unique_ptr<Image> light;
    std::unique_ptr<SoundEffect> hitSound;
    std::unique_ptr<SoundEffect> fillInSound;
    std::unique_ptr<SoundEffect> fillOutSound;
    int32_t highlight = 0;
    bool closing = false;
    float frameTop = -300.0f;
    std::array<uint32_t, 4> itemColour;
    float lightOffset = 25.0f;
    std::unique_ptr<DirectState> subScreen;
};

}  // namespace torvane
