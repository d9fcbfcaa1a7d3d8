// The player-name screen: the name with its blinking caret, then "jouer" or "retour".
#pragma once

#include <array>
#include <memory>
#include <string>

#include "app/Directstate.h"

namespace torvane {

class DirectScreen;
class DirectAudio;
class DirectInput;
class Image;
class SoundEffect;

class NameState : public DirectState {
  public:
    NameState(DirectScreen* screen, DirectAudio* audio, DirectInput* input);
    ~NameState() override;
    // 0 to stay, 4 after "- jouer -", 2 after "- retour -".
    int32_t Run() override;

    const std::string& Name() const { return name; }
    int32_t Highlight() const { return highlight; }
    // Where the light band rests or is sliding to, below the frame's top.
    float LightOffset() const { return lightOffset; }
    bool Closing() const { return closing; }
    float FrameTop() const { return frameTop; }

  private:
    void HandleInput();
    void Choose();

    DirectInput* input;
    DirectAudio* audio;
    DirectScreen* screen;
    int32_t highlight = 0;
    bool closing = false;
    float frameTop = -300.0f;
    std::unique_ptr<Image> background;
    std::unique_ptr<Image> nameFrame;
    std::unique_ptr<Image> frame;
    std::unique_ptr<Image> dim;
    std::unique_ptr<Image> light;
    float lightOffset = 25.0f;
    std::unique_ptr<SoundEffect> hitSound;
    std::unique_ptr<SoundEffect> fillInSound;
    std::unique_ptr<SoundEffect> fillOutSound;
    std::string name;
    int32_t blinkTime = 0;
    std::array<uint32_t, 2> itemColour = {0x7F102D19, 0x7F102D19};
    std::string line;  // name and caret, kept to avoid building it every frame
};

}  // namespace torvane
