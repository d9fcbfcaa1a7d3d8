// The game window: hosts the state machine driver and turns idle time into frames.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "app/Statemain.h"
#include "platform/Application.h"

namespace torvane {

class TMainScreen {
  public:
    // Builds the borderless 640 x 480 window at the top-left corner of the screen (hidden until
    // Show), seeds both random generators, hides the system pointer, builds the objective list
    // and the driver. `closeMainForm` closes the launcher, which ends the program.
    TMainScreen(platform::Application& application, std::function<void()> closeMainForm,
                StateFactory factory = CreateScreenFor);
    ~TMainScreen();
    TMainScreen(const TMainScreen&) = delete;
    TMainScreen& operator=(const TMainScreen&) = delete;

    void Show();
    platform::Form* Form() const { return form.get(); }
    MainState* Driver() const { return driver.get(); }
    bool Inactive() const { return inactive; }
    bool Closed() const { return closed; }

    // Bound to the application's events and to the window's close event. A close during a frame
    // takes effect when the frame has returned.
    void IdleHandler(bool& done);
    void ActivateHandler();
    void DeactivateHandler();
    void CloseHandler();

  private:
    int32_t RunFrame();

    platform::Application& application;
    std::unique_ptr<platform::Form> form;
    std::unique_ptr<MainState> driver;
    std::function<void()> closeMainForm;
    bool inactive = false;
    bool closed = false;
    // A frame can pump window messages (while it waits for a lost device), so a close can arrive
    // with the driver, its screen and the screen engine on the call stack: it is then only noted,
    // and carried out once the frame has returned.
    bool inFrame = false;
    bool closeRequested = false;
};

}  // namespace torvane
