// Windows virtual-key codes for SDL keys, as a Windows keyboard of the active layout reports them.
#pragma once

#include <SDL.h>

#include "platform/Window.h"

namespace platform {

// The keymap's answer for one key position (SDL_GetKeyFromScancode, or a test's table).
using KeymapLookup = SDL_Keycode (*)(SDL_Scancode);

// Which family the active keymap belongs to, from what it reports for two key positions.
KeyboardLayout LayoutOf(KeymapLookup keyAt);

// The virtual-key code of a key press: letters follow the active layout (the key's keycode) and
// the main-row digits their position. On AZERTY the four punctuation keys right of N are read
// by position, as 188, 190, 191 and 223; on any other layout the keys that print , . / ! report
// those codes wherever they sit. Without NumLock in `modifiers` the keypad reports the
// navigation keys printed under its digits. 0 when the key has no code the game knows.
int VirtualKeyFor(SDL_Scancode scancode, SDL_Keycode keycode, Uint16 modifiers,
                  KeyboardLayout layout);

// The side-neutral code of a left/right modifier (160/161 -> 16, 162/163 -> 17, 164/165 -> 18),
// or 0 for any other code.
int NeutralModifierFor(int virtualKey);

// 1 left, 2 right, 4 middle, 0 for other buttons.
int VirtualKeyForMouseButton(int sdlButton);

}  // namespace platform
