// A game window driven by a script instead of a window system: tests and headless tools set its
// keys, cursor, focus and clock directly.
#pragma once

#include <array>
#include <functional>

#include "platform/Window.h"

namespace platform {

class ScriptedWindow : public Window {
  public:
    ScriptedWindow();

    bool IsKeyDown(int virtualKey) const override;
    KeyboardLayout Layout() const override { return layout_; }
    bool HasKeyboardFocus() const override { return focus_; }
    Point CursorPosition() const override { return cursor_; }
    ClockReading Now() const override { return now_; }
    void ProcessMessages() override;
    void* NativeHandle() const override { return nullptr; }

    void SetKeyDown(int virtualKey, bool down);
    void ReleaseAllKeys();
    void SetCursor(int x, int y) { cursor_ = {x, y}; }
    void TurnWheel(int steps) { wheel_ += steps; }
    int TakeWheelSteps() override {
        const int steps = wheel_;
        wheel_ = 0;
        return steps;
    }
    void SetFocus(bool focus) { focus_ = focus; }
    void SetLayout(KeyboardLayout layout) { layout_ = layout; }
    void SetTime(ClockReading now) { now_ = now; }
    void AdvanceTime(int milliseconds);

    // Called by ProcessMessages (lets a test react to a frame waiting on the window system).
    std::function<void()> onProcessMessages;
    int processMessagesCalls = 0;

  private:
    std::array<bool, 256> keys_{};
    Point cursor_{};
    bool focus_ = true;
    int wheel_ = 0;
    KeyboardLayout layout_ = KeyboardLayout::kAzerty;
    ClockReading now_{1000, 0};
};

}  // namespace platform
