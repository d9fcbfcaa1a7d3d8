// The intro film over the whole window, then the title picture until a key, then the menu.
#pragma once

#include <memory>

#include "app/Directstate.h"
#include "platform/Window.h"

namespace torvane {

class DirectScreen;
class DirectAudio;
class DirectInput;
class Image;

class VideoIntroState : public DirectState {
  public:
    // The film needs the window to itself: the screen engine in the driver's slot is destroyed
    // here and a new one made when the film ends. Missing audio and input engines are created.
    VideoIntroState(platform::Window* window, std::unique_ptr<DirectScreen>* screenSlot,
                    std::unique_ptr<DirectAudio>* audioSlot,
                    std::unique_ptr<DirectInput>* inputSlot);
    ~VideoIntroState() override;
    // 0 to stay, 2 for the main menu.
    int32_t Run() override;

    int32_t Phase() const { return phase; }

  private:
    bool SkipPressed();
    void DrawTitle();
    void DrawEmptyFrame();

    DirectInput* input = nullptr;
    DirectAudio* audio = nullptr;
    std::unique_ptr<DirectScreen>* screenSlot;
    DirectScreen* screen = nullptr;
    std::unique_ptr<Image> title;
    platform::Window* window;
    int32_t phase = 0;
};

}  // namespace torvane
