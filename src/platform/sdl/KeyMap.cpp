// Windows virtual-key codes for SDL keys, as a French (AZERTY) Windows keyboard reports them.
#include "platform/sdl/KeyMap.h"

namespace platform {

int VirtualKeyFor(SDL_Scancode scancode, SDL_Keycode keycode) {
    // Letters: whatever the active layout prints on the key.
    if (keycode >= SDLK_a && keycode <= SDLK_z)
        return 'A' + static_cast<int>(keycode - SDLK_a);

    switch (scancode) {
        // Main row by position: the French layout reports these as the digits.
        case SDL_SCANCODE_1:
            return '1';
        case SDL_SCANCODE_2:
            return '2';
        case SDL_SCANCODE_3:
            return '3';
        case SDL_SCANCODE_4:
            return '4';
        case SDL_SCANCODE_5:
            return '5';
        case SDL_SCANCODE_6:
            return '6';
        case SDL_SCANCODE_7:
            return '7';
        case SDL_SCANCODE_8:
            return '8';
        case SDL_SCANCODE_9:
            return '9';
        case SDL_SCANCODE_0:
            return '0';
        // The four keys right of N: , ; : ! on AZERTY (M , . / on a US keyboard).
        case SDL_SCANCODE_M:
            return 188;
        case SDL_SCANCODE_COMMA:
            return 190;
        case SDL_SCANCODE_PERIOD:
            return 191;
        case SDL_SCANCODE_SLASH:
            return 223;
        // Letter positions whose active layout prints no letter still have their letter code.
        default:
            break;
    }
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) {
        return 'A' + static_cast<int>(scancode - SDL_SCANCODE_A);
    }
    if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12) {
        return 112 + static_cast<int>(scancode - SDL_SCANCODE_F1);
    }
    switch (scancode) {
        case SDL_SCANCODE_KP_0:
            return 96;
        case SDL_SCANCODE_KP_1:
            return 97;
        case SDL_SCANCODE_KP_2:
            return 98;
        case SDL_SCANCODE_KP_3:
            return 99;
        case SDL_SCANCODE_KP_4:
            return 100;
        case SDL_SCANCODE_KP_5:
            return 101;
        case SDL_SCANCODE_KP_6:
            return 102;
        case SDL_SCANCODE_KP_7:
            return 103;
        case SDL_SCANCODE_KP_8:
            return 104;
        case SDL_SCANCODE_KP_9:
            return 105;
        case SDL_SCANCODE_KP_MULTIPLY:
            return 106;
        case SDL_SCANCODE_KP_PLUS:
            return 107;
        case SDL_SCANCODE_KP_COMMA:
            return 108;
        case SDL_SCANCODE_KP_MINUS:
            return 109;
        case SDL_SCANCODE_KP_PERIOD:
            return 110;
        case SDL_SCANCODE_KP_DIVIDE:
            return 111;
        case SDL_SCANCODE_KP_ENTER:
            return 13;
        case SDL_SCANCODE_RETURN:
            return 13;
        case SDL_SCANCODE_RETURN2:
            return 13;
        case SDL_SCANCODE_ESCAPE:
            return 27;
        case SDL_SCANCODE_BACKSPACE:
            return 8;
        case SDL_SCANCODE_TAB:
            return 9;
        case SDL_SCANCODE_SPACE:
            return 32;
        case SDL_SCANCODE_PAGEUP:
            return 33;
        case SDL_SCANCODE_PAGEDOWN:
            return 34;
        case SDL_SCANCODE_END:
            return 35;
        case SDL_SCANCODE_HOME:
            return 36;
        case SDL_SCANCODE_LEFT:
            return 37;
        case SDL_SCANCODE_UP:
            return 38;
        case SDL_SCANCODE_RIGHT:
            return 39;
        case SDL_SCANCODE_DOWN:
            return 40;
        case SDL_SCANCODE_INSERT:
            return 45;
        case SDL_SCANCODE_DELETE:
            return 46;
        case SDL_SCANCODE_PRINTSCREEN:
            return 44;
        case SDL_SCANCODE_LSHIFT:
            return 160;
        case SDL_SCANCODE_RSHIFT:
            return 161;
        case SDL_SCANCODE_LCTRL:
            return 162;
        case SDL_SCANCODE_RCTRL:
            return 163;
        case SDL_SCANCODE_LALT:
            return 164;
        case SDL_SCANCODE_RALT:
            return 165;  // AltGr
        case SDL_SCANCODE_MODE:
            return 165;  // AltGr as some X keymaps report it
        case SDL_SCANCODE_CAPSLOCK:
            return 20;
        case SDL_SCANCODE_PAUSE:
            return 19;
        default:
            return 0;
    }
}

int NeutralModifierFor(int virtualKey) {
    switch (virtualKey) {
        case 160:
        case 161:
            return 16;
        case 162:
        case 163:
            return 17;
        case 164:
        case 165:
            return 18;
        default:
            return 0;
    }
}

int VirtualKeyForMouseButton(int sdlButton) {
    switch (sdlButton) {
        case SDL_BUTTON_LEFT:
            return 1;
        case SDL_BUTTON_RIGHT:
            return 2;
        case SDL_BUTTON_MIDDLE:
            return 4;
        default:
            return 0;
    }
}

}  // namespace platform
