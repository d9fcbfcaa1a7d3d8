// Windows virtual-key codes for SDL keys, as a Windows keyboard of the active layout reports them.
#include "platform/sdl/KeyMap.h"

namespace platform {

namespace {

// The four punctuation keys right of N, read by position: , ; : ! on AZERTY, the keys a French
// Windows keyboard reports as 188, 190, 191 and 223.
int AzertyPunctuation(SDL_Scancode scancode) {
    switch (scancode) {
        case SDL_SCANCODE_M:
            return 188;
        case SDL_SCANCODE_COMMA:
            return 190;
        case SDL_SCANCODE_PERIOD:
            return 191;
        case SDL_SCANCODE_SLASH:
            return 223;
        default:
            return 0;
    }
}

// Elsewhere the codes follow what the key prints, as Windows reports them for that layout: the
// comma, full-stop and slash keys of a US keyboard, wherever another layout puts them.
int PunctuationByKeycode(SDL_Keycode keycode) {
    switch (keycode) {
        case SDLK_COMMA:
            return 188;
        case SDLK_PERIOD:
            return 190;
        case SDLK_SLASH:
            return 191;
        case SDLK_EXCLAIM:
            return 223;
        default:
            return 0;
    }
}

// With NumLock off the keypad is the cursor block printed under its digits, as Windows reports
// it: 7 Home, 8 Up, 9 Page Up, 4 Left, 5 Clear, 6 Right, 1 End, 2 Down, 3 Page Down, 0 Insert,
// and the decimal point Delete.
int KeypadNavigation(SDL_Scancode scancode) {
    switch (scancode) {
        case SDL_SCANCODE_KP_7:
            return 36;
        case SDL_SCANCODE_KP_8:
            return 38;
        case SDL_SCANCODE_KP_9:
            return 33;
        case SDL_SCANCODE_KP_4:
            return 37;
        case SDL_SCANCODE_KP_5:
            return 12;
        case SDL_SCANCODE_KP_6:
            return 39;
        case SDL_SCANCODE_KP_1:
            return 35;
        case SDL_SCANCODE_KP_2:
            return 40;
        case SDL_SCANCODE_KP_3:
            return 34;
        case SDL_SCANCODE_KP_0:
            return 45;
        case SDL_SCANCODE_KP_PERIOD:
            return 46;
        default:
            return 0;
    }
}

// The keypad, whatever the layout: digits and decimal point with NumLock, the cursor block
// otherwise; its operators and Enter either way.
int KeypadKey(SDL_Scancode scancode, bool numLock) {
    if (!numLock) {
        if (const int navigation = KeypadNavigation(scancode))
            return navigation;
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
        default:
            return 0;
    }
}

}  // namespace

// A keymap is AZERTY when the first letter key of the top row (Q in US terms) prints "a" and the
// key right of N prints ",". The first is what names the layout; the second is what reading the
// punctuation by position relies on, since the four keys right of N then hold , ; : ! (French and
// Belgian AZERTY, including their Mac and AFNOR variants). Asking for both keeps layouts that only
// share one of them (BEPO, Dvorak, QWERTZ, a Cyrillic layout reporting its own letters) on the
// keycode reading, which can only type what their keycaps print. The digit row cannot tell
// layouts apart: SDL reports it as digits on every layout.
KeyboardLayout LayoutOf(KeymapLookup keyAt) {
    if (keyAt && keyAt(SDL_SCANCODE_Q) == SDLK_a && keyAt(SDL_SCANCODE_M) == SDLK_COMMA)
        return KeyboardLayout::kAzerty;
    return KeyboardLayout::kOther;
}

int VirtualKeyFor(SDL_Scancode scancode, SDL_Keycode keycode, Uint16 modifiers,
                  KeyboardLayout layout) {
    // Letters: whatever the active layout prints on the key.
    if (keycode >= SDLK_a && keycode <= SDLK_z)
        return 'A' + static_cast<int>(keycode - SDLK_a);
    // Main row by position: every layout reports these as the digits.
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9)
        return '1' + static_cast<int>(scancode - SDL_SCANCODE_1);
    if (scancode == SDL_SCANCODE_0)
        return '0';
    // Before the punctuation: some keymaps give the keypad's operators the keycodes of the
    // main keyboard's (the keypad slash reporting "/").
    if (const int keypad = KeypadKey(scancode, (modifiers & KMOD_NUM) != 0))
        return keypad;
    const int punctuation = layout == KeyboardLayout::kAzerty ? AzertyPunctuation(scancode)
                                                              : PunctuationByKeycode(keycode);
    if (punctuation != 0)
        return punctuation;
    // Letter positions whose active layout prints no letter still have their letter code.
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) {
        return 'A' + static_cast<int>(scancode - SDL_SCANCODE_A);
    }
    if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12) {
        return 112 + static_cast<int>(scancode - SDL_SCANCODE_F1);
    }
    switch (scancode) {
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
