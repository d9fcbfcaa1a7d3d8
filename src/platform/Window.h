// The game window as the engines see it: key state, focus, cursor, clock, message pumping.
#pragma once

#include <cstdint>

namespace platform {

struct Point {
    int x = 0;
    int y = 0;
};

// One reading of the clock: whole seconds plus milliseconds (0..999). Seconds are never 0 for a
// real reading, so a zero reading can mean "no frame measured yet".
struct ClockReading {
    int32_t seconds = 0;
    int16_t milliseconds = 0;
};

// Milliseconds from `earlier` to `later`.
inline int32_t MillisecondsBetween(ClockReading earlier, ClockReading later) {
    return (later.seconds - earlier.seconds) * 1000 + later.milliseconds - earlier.milliseconds;
}

// Size of the picture every screen draws; the window's client area in window mode.
inline constexpr int kPictureWidth = 640;
inline constexpr int kPictureHeight = 480;

// The keyboard family the keys are read with. The game's text entry was made for the French
// AZERTY keyboard, whose keys it knows by position; on any other layout a key types what its
// keycap prints.
enum class KeyboardLayout { kAzerty, kOther };

class Window {
  public:
    virtual ~Window() = default;

    // Key state by Windows virtual-key code (mouse buttons are 1 left, 2 right, 4 middle).
    // A key pressed and released since the last message pump still reads as down until the
    // next pump, so a quick tap during a slow frame is never lost.
    virtual bool IsKeyDown(int virtualKey) const = 0;

    // The layout the keyboard has now (it can change while the game runs).
    virtual KeyboardLayout Layout() const = 0;

    // True when this window is the window system's keyboard-focus window.
    virtual bool HasKeyboardFocus() const = 0;

    // Cursor position in the coordinates of the 640 x 480 picture; not clamped, so it is
    // negative or beyond 639/479 outside the picture.
    virtual Point CursorPosition() const = 0;

    // The clock every frame time is measured with.
    virtual ClockReading Now() const = 0;

    // Lets the window system deliver pending messages (used while a frame waits).
    virtual void ProcessMessages() = 0;

    // Native window a renderer or video sink draws into; null when there is no display.
    virtual void* NativeHandle() const = 0;

    // True while the window system shows the window only as an icon: a full-screen picture
    // cannot be shown until it is restored.
    virtual bool IsMinimized() const { return false; }

    // Notches the mouse wheel turned over the window since the last call (away from the user
    // positive); they are counted once.
    virtual int TakeWheelSteps() { return 0; }
};

}  // namespace platform
