// Windows virtual-key codes for SDL keys, as a French (AZERTY) Windows keyboard reports them.
#pragma once

#include <SDL.h>

namespace platform {

// The virtual-key code of a key press: letters follow the active layout (the key's keycode);
// the digit row and the four punctuation keys right of N are reported by position, as the French
// layout's 48..57, 188, 190, 191 and 223. 0 when the key has no code the game knows.
int VirtualKeyFor(SDL_Scancode scancode, SDL_Keycode keycode);

// The side-neutral code of a left/right modifier (160/161 -> 16, 162/163 -> 17, 164/165 -> 18),
// or 0 for any other code.
int NeutralModifierFor(int virtualKey);

// 1 left, 2 right, 4 middle, 0 for other buttons.
int VirtualKeyForMouseButton(int sdlButton);

}  // namespace platform
