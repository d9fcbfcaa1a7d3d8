// The input engine: polled key and mouse-button presses with a slow repeat, the cursor, and the
// French-keyboard text entry built on them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Window.h"

namespace torvane {

class DirectInput {
  public:
    static constexpr int kTrackedKeys = 96;
    // A held key is reported again once its timer reaches this many milliseconds.
    static constexpr float kRepeatMs = 550.0f;

    explicit DirectInput(platform::Window* window);

    // Once per frame, before any query: measures the frame and advances or clears every timer.
    void Update();
    // True when a press of `virtualKey` (or mouse button 1 to 4) is waiting; consumes it.
    bool KeyPressed(int virtualKey);
    // Whether `virtualKey` is held down now (modifiers such as Shift); false without the focus.
    bool KeyDown(int virtualKey) const;
    // In picture coordinates, not clamped; (0, 0) while the window lacks the keyboard focus.
    platform::Point CursorPosition() const;
    // Until the next Update the keyboard answers nothing (KeyPressed and KeyDown are false for
    // every key but the mouse buttons), and what it held stays pending: a text line that is
    // open keeps the keys from the screen under it.
    void HoldKeys() { keysHeld = true; }
    bool KeysHeld() const { return keysHeld; }
    // Whether the window has the keyboard focus (the cursor position means something).
    bool HasFocus() const { return window && window->HasKeyboardFocus(); }

    // Applies at most one edit of this frame's presses to `text` (Windows-1252, AZERTY layout).
    // With `singleLine` Return is left to the caller.
    std::string EditText(const std::string& text, bool singleLine);
    // The same edit made on `text` itself (no copy); true when it changed.
    bool EditTextInPlace(std::string& text, bool singleLine);
    // Applies this frame's digit, dot and erase presses to `text`, keeps it a valid IPv4 address
    // in the making and answers whether it is complete.
    bool EditAddress(std::string& text);

    uint32_t GetElapsed() const { return elapsed; }
    // Wheel notches turned during this frame (away from the user positive); read once.
    int TakeWheel() {
        const int steps = wheel;
        wheel = 0;
        return steps;
    }
    // Slot of a tracked virtual-key code, -1 for any other code.
    static int SlotOf(int virtualKey);
    // Forgets the time of the previous Update (shared by the whole process), so the next Update
    // measures 0 ms again.
    static void ResetClock();

  private:
    bool IsDown(int virtualKey) const;
    bool Held(int virtualKey) const { return keysHeld && (virtualKey < 1 || virtualKey > 4); }

    platform::Window* window;
    bool keysHeld = false;
    std::array<float, kTrackedKeys> held{};
    uint32_t elapsed = 0;
    int wheel = 0;
};

// Keeps every group of an address at 254 or below, at most three dots, no empty group; removes
// at most one character per group level and call.
std::string NormalizeAddress(const std::string& text);
// What repeated NormalizeAddress settles on, in one pass: the longest prefix of `text` it leaves
// as it is (digits only, groups of 254 or below, at most three dots, no empty group before a dot).
std::string RepairAddress(std::string_view text);
// Not empty, exactly three dots, not ending with a dot.
bool IsCompleteAddress(const std::string& text);

}  // namespace torvane
