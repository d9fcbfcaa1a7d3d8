// The game window: hosts the state machine driver and turns idle time into frames.
#pragma once

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

    // Bound to the application's events and to the window's close event.
    void IdleHandler(bool& done);
    void ActivateHandler();
    void DeactivateHandler();
    void CloseHandler();

  private:
    platform::Application& application;
    std::unique_ptr<platform::Form> form;
    std::unique_ptr<MainState> driver;
    std::function<void()> closeMainForm;
    bool inactive = false;
    bool closed = false;
};

}  // namespace torvane
