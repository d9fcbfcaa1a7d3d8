// The application object: the message loop with its idle, activate and deactivate events, and
// the forms (top-level windows) it owns. Backed by SDL; this header needs no SDL.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Window.h"

namespace platform {

struct FormOptions {
    std::string title;  // Windows-1252
    int x = 0;          // client-area position on the desktop, unless `centred`
    int y = 0;
    int width = kPictureWidth;
    int height = kPictureHeight;
    bool centred = false;
    bool borderless = true;
    // The player may resize and maximise it (never below half the picture's size).
    bool resizable = false;
    bool visible = false;
};

class Application;

// A top-level window. It is also the game's view of the window system (key state, focus, cursor).
class Form : public Window {
  public:
    ~Form() override;

    void Show();
    void Hide();
    bool IsVisible() const;
    void SetClientArea(int x, int y, int width, int height);
    struct Area {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };
    Area ClientArea() const;
    void CentreOnDesktop();
    // Gives this form the keyboard focus and raises it.
    void Activate();

    bool IsKeyDown(int virtualKey) const override;
    KeyboardLayout Layout() const override;
    bool HasKeyboardFocus() const override;
    Point CursorPosition() const override;
    ClockReading Now() const override;
    void ProcessMessages() override;
    void* NativeHandle() const override;
    bool IsMinimized() const override;
    int TakeWheelSteps() override;
    void AddWheelSteps(int steps) { wheelSteps_ += steps; }

    // How the 640 x 480 picture sits in the window (set by the renderer when it scales the
    // picture to a full-screen or resized window), used to map the cursor back into picture
    // coordinates.
    void SetPictureMapping(double scale, int offsetX, int offsetY);
    // A point of the window (in window units) in picture coordinates, not clamped.
    Point PictureFromWindow(int x, int y) const;

    // Raised by the message loop.
    std::function<void()> onClose;                              // the window system asked to close
    std::function<void(int virtualKey)> onKeyDown;              // a key went down (no auto-repeat)
    std::function<void(int x, int y, int button)> onMouseDown;  // client coordinates
    std::function<void(int x, int y, int button)> onMouseUp;
    std::function<void(int x, int y)> onMouseMove;
    std::function<void()> onExposed;  // contents must be redrawn

  private:
    int wheelSteps_ = 0;
    friend class Application;
    struct State;
    explicit Form(Application& app, std::unique_ptr<State> state);
    Application& app_;
    std::unique_ptr<State> state_;
};

class Application {
  public:
    // Starts the window system. Without a display (or with SDL's dummy/offscreen video driver)
    // everything still works headless and error boxes go to standard error.
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    void SetTitle(const std::string& title) { title_ = title; }
    const std::string& Title() const { return title_; }
    bool HasDisplay() const;

    std::unique_ptr<Form> CreateForm(const FormOptions& options);

    // Runs the message loop until Terminate. Whenever the queue is empty the idle handler runs;
    // when it leaves `done` false it is called again at once, otherwise the loop sleeps until
    // the next message arrives.
    void Run();
    void Terminate();
    bool Terminated() const { return terminated_; }

    // Delivers pending messages without running the idle handler.
    void ProcessMessages();

    // The system mouse pointer.
    void ShowSystemCursor(bool show);

    // Queues input as the window system would deliver it to `form` (automation and tests); it is
    // handled by the next ProcessMessages. Mouse coordinates are the form's client coordinates.
    void InjectKey(Form& form, int virtualKey, bool down);
    void InjectMouseButton(Form& form, int x, int y, int button, bool down);
    void InjectMouseMove(Form& form, int x, int y);
    // The window system iconified (`minimized`) or restored `form`, or asked to close it.
    void InjectMinimized(Form& form, bool minimized);
    void InjectClose(Form& form);

    std::function<void(bool& done)> onIdle;
    std::function<void()> onActivate;
    std::function<void()> onDeactivate;

    struct Impl;

  private:
    friend class Form;
    std::unique_ptr<Impl> impl_;
    std::string title_;
    bool terminated_ = false;
};

}  // namespace platform
