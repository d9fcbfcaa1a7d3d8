// Keys read on a French AZERTY and on a US QWERTY keyboard, from the keycodes and scancodes SDL
// reports for each, through the key codes and into the name and address entry; the keypad with
// and without NumLock.
#include <SDL.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "input/Directinput.h"
#include "platform/Application.h"
#include "platform/Cp1252.h"
#include "platform/ScriptedWindow.h"
#include "platform/sdl/KeyMap.h"

namespace {

using platform::KeyboardLayout;
using platform::LayoutOf;
using platform::VirtualKeyFor;

// What SDL reports for each key position, unshifted, under each layout. SDL reports the digit
// row as digits on every layout.
SDL_Keycode UsKey(SDL_Scancode scancode) {
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z)
        return SDLK_a + (scancode - SDL_SCANCODE_A);
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9)
        return SDLK_1 + (scancode - SDL_SCANCODE_1);
    switch (scancode) {
        case SDL_SCANCODE_0:
            return SDLK_0;
        case SDL_SCANCODE_COMMA:
            return ',';
        case SDL_SCANCODE_PERIOD:
            return '.';
        case SDL_SCANCODE_SLASH:
            return '/';
        case SDL_SCANCODE_SEMICOLON:
            return ';';
        case SDL_SCANCODE_APOSTROPHE:
            return '\'';
        case SDL_SCANCODE_MINUS:
            return '-';
        default:
            return SDL_SCANCODE_TO_KEYCODE(scancode);
    }
}

SDL_Keycode AzertyKey(SDL_Scancode scancode) {
    switch (scancode) {
        case SDL_SCANCODE_Q:
            return 'a';
        case SDL_SCANCODE_A:
            return 'q';
        case SDL_SCANCODE_W:
            return 'z';
        case SDL_SCANCODE_Z:
            return 'w';
        case SDL_SCANCODE_SEMICOLON:
            return 'm';
        case SDL_SCANCODE_M:
            return ',';
        case SDL_SCANCODE_COMMA:
            return ';';
        case SDL_SCANCODE_PERIOD:
            return ':';
        case SDL_SCANCODE_SLASH:
            return '!';
        case SDL_SCANCODE_APOSTROPHE:
            return 0xF9;  // ù
        case SDL_SCANCODE_MINUS:
            return ')';
        default:
            return UsKey(scancode);
    }
}

SDL_Keycode QwertzKey(SDL_Scancode scancode) {
    switch (scancode) {
        case SDL_SCANCODE_Y:
            return 'z';
        case SDL_SCANCODE_Z:
            return 'y';
        case SDL_SCANCODE_SLASH:
            return '-';
        case SDL_SCANCODE_MINUS:
            return 0xDF;  // ß
        default:
            return UsKey(scancode);
    }
}

SDL_Keycode RussianKey(SDL_Scancode scancode) {
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z)
        return 0x430 + (scancode - SDL_SCANCODE_A);  // Cyrillic letters
    return scancode == SDL_SCANCODE_PERIOD ? '/' : UsKey(scancode);
}

// AZERTY's traits one at a time: Q printing "a" without the punctuation, and the reverse.
SDL_Keycode OnlyAAtQKey(SDL_Scancode scancode) {
    return scancode == SDL_SCANCODE_Q ? 'a' : UsKey(scancode);
}
SDL_Keycode OnlyCommaAtMKey(SDL_Scancode scancode) {
    return scancode == SDL_SCANCODE_M ? ',' : UsKey(scancode);
}

int Code(platform::KeymapLookup keymap, SDL_Scancode scancode, Uint16 modifiers = KMOD_NUM) {
    return VirtualKeyFor(scancode, keymap(scancode), modifiers, LayoutOf(keymap));
}

TEST(KeyMapping, AzertyIsRecognisedByTheKeysAtQAndM) {
    EXPECT_EQ(LayoutOf(AzertyKey), KeyboardLayout::kAzerty);
    for (platform::KeymapLookup other :
         {UsKey, QwertzKey, RussianKey, OnlyAAtQKey, OnlyCommaAtMKey}) {
        EXPECT_EQ(LayoutOf(other), KeyboardLayout::kOther);
    }
    EXPECT_EQ(LayoutOf(nullptr), KeyboardLayout::kOther);
}

TEST(KeyMapping, PunctuationByPositionOnAzertyAndByKeycapElsewhere) {
    struct Case {
        platform::KeymapLookup keymap;
        SDL_Scancode scancode;
        int code;
    };
    const Case cases[] = {
        // AZERTY: the four keys right of N are , ; : ! whatever the event's keycode says.
        {AzertyKey, SDL_SCANCODE_M, 188},
        {AzertyKey, SDL_SCANCODE_COMMA, 190},
        {AzertyKey, SDL_SCANCODE_PERIOD, 191},
        {AzertyKey, SDL_SCANCODE_SLASH, 223},
        {AzertyKey, SDL_SCANCODE_SEMICOLON, 'M'},
        {AzertyKey, SDL_SCANCODE_Q, 'A'},
        {AzertyKey, SDL_SCANCODE_2, '2'},
        {AzertyKey, SDL_SCANCODE_APOSTROPHE, 0},
        // US: the comma, full-stop and slash keys are the Windows OEM keys of those names.
        {UsKey, SDL_SCANCODE_COMMA, 188},
        {UsKey, SDL_SCANCODE_PERIOD, 190},
        {UsKey, SDL_SCANCODE_SLASH, 191},
        {UsKey, SDL_SCANCODE_M, 'M'},
        {UsKey, SDL_SCANCODE_SEMICOLON, 0},
        {UsKey, SDL_SCANCODE_0, '0'},
        // QWERTZ: "-" where US has "/", so no key reports the slash code.
        {QwertzKey, SDL_SCANCODE_PERIOD, 190},
        {QwertzKey, SDL_SCANCODE_SLASH, 0},
        {QwertzKey, SDL_SCANCODE_Y, 'Z'},
        // A layout without Latin letters keeps the letter codes by position.
        {RussianKey, SDL_SCANCODE_Q, 'Q'},
        {RussianKey, SDL_SCANCODE_PERIOD, 191},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Code(c.keymap, c.scancode), c.code) << SDL_GetScancodeName(c.scancode);
    }
}

TEST(KeyMapping, WithoutNumLockTheKeypadIsTheCursorBlock) {
    const SDL_Scancode digits[10] = {
        SDL_SCANCODE_KP_0, SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_2, SDL_SCANCODE_KP_3,
        SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_5, SDL_SCANCODE_KP_6, SDL_SCANCODE_KP_7,
        SDL_SCANCODE_KP_8, SDL_SCANCODE_KP_9,
    };
    // Insert, End, Down, Page Down, Left, Clear, Right, Home, Up, Page Up.
    const int navigation[10] = {45, 35, 40, 34, 37, 12, 39, 36, 38, 33};
    for (platform::KeymapLookup keymap : {AzertyKey, UsKey}) {
        for (int d = 0; d <= 9; ++d) {
            EXPECT_EQ(Code(keymap, digits[d], KMOD_NUM), 96 + d) << d;
            EXPECT_EQ(Code(keymap, digits[d], KMOD_NONE), navigation[d]) << d;
            EXPECT_EQ(Code(keymap, digits[d], KMOD_LSHIFT), navigation[d]) << d;
        }
        EXPECT_EQ(Code(keymap, SDL_SCANCODE_KP_PERIOD, KMOD_NUM), 110);
        EXPECT_EQ(Code(keymap, SDL_SCANCODE_KP_PERIOD, KMOD_NONE), 46);
        // The operators and Enter do not depend on NumLock.
        for (Uint16 modifiers : {KMOD_NUM, KMOD_NONE}) {
            EXPECT_EQ(Code(keymap, SDL_SCANCODE_KP_DIVIDE, modifiers), 111);
            EXPECT_EQ(Code(keymap, SDL_SCANCODE_KP_MULTIPLY, modifiers), 106);
            EXPECT_EQ(Code(keymap, SDL_SCANCODE_KP_ENTER, modifiers), 13);
        }
    }
}

// --- through the text entry ---------------------------------------------------------------

// One key stroke: a position and the modifiers held with it.
struct Stroke {
    SDL_Scancode scancode;
    Uint16 modifiers = KMOD_NUM;
};

class TypingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DirectInput::ResetClock();
        input.Update();
    }

    // Holds the key (and its modifiers) as the window system reports them for one frame.
    void Hold(platform::KeymapLookup keymap, Stroke stroke) {
        const KeyboardLayout layout = LayoutOf(keymap);
        window.SetLayout(layout);
        window.SetKeyDown(
            VirtualKeyFor(stroke.scancode, keymap(stroke.scancode), stroke.modifiers, layout),
            true);
        if (stroke.modifiers & KMOD_SHIFT) {
            window.SetKeyDown(160, true);
            window.SetKeyDown(16, true);
        }
        if (stroke.modifiers & KMOD_RALT) {
            window.SetKeyDown(165, true);
            window.SetKeyDown(18, true);
        }
        window.AdvanceTime(16);
        input.Update();
    }
    void Release() {
        window.ReleaseAllKeys();
        window.AdvanceTime(16);
        input.Update();
    }

    std::string Name(platform::KeymapLookup keymap, std::initializer_list<Stroke> strokes) {
        std::string text;
        for (const Stroke& stroke : strokes) {
            Hold(keymap, stroke);
            text = input.EditText(text, true);
            Release();
        }
        return text;
    }
    std::string Address(platform::KeymapLookup keymap, std::initializer_list<Stroke> strokes,
                        bool& complete) {
        std::string text;
        for (const Stroke& stroke : strokes) {
            Hold(keymap, stroke);
            complete = input.EditAddress(text);
            Release();
        }
        return text;
    }

    using DirectInput = torvane::DirectInput;
    platform::ScriptedWindow window;
    DirectInput input{&window};
};

constexpr Uint16 kShifted = KMOD_NUM | KMOD_LSHIFT;
constexpr Uint16 kAltGr = KMOD_NUM | KMOD_RALT;

TEST_F(TypingTest, NamesOnUsQwertyTypeWhatTheKeycapsPrint) {
    EXPECT_EQ(Name(UsKey, {{SDL_SCANCODE_Q},
                           {SDL_SCANCODE_M, kShifted},
                           {SDL_SCANCODE_2},
                           {SDL_SCANCODE_0},
                           {SDL_SCANCODE_COMMA},
                           {SDL_SCANCODE_PERIOD},
                           {SDL_SCANCODE_SLASH},
                           {SDL_SCANCODE_KP_7}}),
              "qM20,./7");
    // What Shift prints on a digit or punctuation key is not known from the layout: nothing
    // rather than a wrong character.
    EXPECT_EQ(Name(UsKey, {{SDL_SCANCODE_1, kShifted}, {SDL_SCANCODE_SLASH, kShifted}}), "");
    // AltGr does not bring back the French table.
    EXPECT_EQ(Name(UsKey, {{SDL_SCANCODE_0, kAltGr}}), "0");
}

TEST_F(TypingTest, NamesOnAzertyKeepTheFrenchTable) {
    EXPECT_EQ(Name(AzertyKey, {{SDL_SCANCODE_Q},
                               {SDL_SCANCODE_SEMICOLON},
                               {SDL_SCANCODE_M},
                               {SDL_SCANCODE_M, kShifted},
                               {SDL_SCANCODE_COMMA},
                               {SDL_SCANCODE_COMMA, kShifted},
                               {SDL_SCANCODE_PERIOD},
                               {SDL_SCANCODE_PERIOD, kShifted},
                               {SDL_SCANCODE_SLASH},
                               {SDL_SCANCODE_2},
                               {SDL_SCANCODE_2, kShifted},
                               {SDL_SCANCODE_0, kAltGr}}),
              platform::Utf8ToCp1252("am,?;.:/!é2@"));
}

TEST_F(TypingTest, AddressesTypeOnTheMainKeyboardOfEitherLayout) {
    bool complete = false;
    EXPECT_EQ(Address(UsKey,
                      {{SDL_SCANCODE_1},
                       {SDL_SCANCODE_0},
                       {SDL_SCANCODE_PERIOD},
                       {SDL_SCANCODE_0},
                       {SDL_SCANCODE_PERIOD},
                       {SDL_SCANCODE_0},
                       {SDL_SCANCODE_PERIOD},
                       {SDL_SCANCODE_2}},
                      complete),
              "10.0.0.2");
    EXPECT_TRUE(complete);
    // The US slash and the keys around it type nothing into an address.
    EXPECT_EQ(
        Address(UsKey, {{SDL_SCANCODE_1}, {SDL_SCANCODE_SLASH}, {SDL_SCANCODE_COMMA}}, complete),
        "1");

    // On AZERTY the full stop is the shifted ";" key; the digits are shifted too.
    EXPECT_EQ(Address(AzertyKey,
                      {{SDL_SCANCODE_1, kShifted},
                       {SDL_SCANCODE_COMMA, kShifted},
                       {SDL_SCANCODE_2, kShifted},
                       {SDL_SCANCODE_COMMA, kShifted},
                       {SDL_SCANCODE_3, kShifted},
                       {SDL_SCANCODE_COMMA, kShifted},
                       {SDL_SCANCODE_4, kShifted}},
                      complete),
              "1.2.3.4");
    EXPECT_TRUE(complete);
}

TEST_F(TypingTest, WithoutNumLockTheKeypadMovesInsteadOfTyping) {
    bool complete = false;
    EXPECT_EQ(Address(UsKey, {{SDL_SCANCODE_KP_1}, {SDL_SCANCODE_KP_PERIOD}}, complete), "1.");
    EXPECT_EQ(Address(UsKey, {{SDL_SCANCODE_KP_8, KMOD_NONE}}, complete), "");
    EXPECT_EQ(Name(AzertyKey, {{SDL_SCANCODE_KP_2, KMOD_NONE}}), "");

    // The press is still there for the screen, as Down; the keypad's full stop erases.
    Hold(AzertyKey, {SDL_SCANCODE_KP_2, KMOD_NONE});
    EXPECT_EQ(input.EditText("ab", true), "ab");
    EXPECT_TRUE(input.KeyPressed(40));
    Release();
    EXPECT_EQ(Name(UsKey, {{SDL_SCANCODE_Q}, {SDL_SCANCODE_KP_PERIOD, KMOD_NONE}}), "");
}

// --- through the window system ------------------------------------------------------------

class WindowKeysTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::FormOptions options;
        options.visible = true;
        form = app.CreateForm(options);
        ASSERT_NE(form->NativeHandle(), nullptr);
    }
    void TearDown() override { SDL_SetModState(KMOD_NONE); }

    void Key(SDL_Scancode scancode, Uint16 modifiers, bool down) {
        SDL_Event event{};
        event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        event.key.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(form->NativeHandle()));
        event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        event.key.keysym.scancode = scancode;
        event.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
        event.key.keysym.mod = modifiers;
        ASSERT_EQ(SDL_PushEvent(&event), 1);
        app.ProcessMessages();
    }

    platform::Application app;
    std::unique_ptr<platform::Form> form;
};

TEST_F(WindowKeysTest, EventsAreReadWithTheActiveLayoutAndNumLock) {
    // The dummy video driver has SDL's built-in US keymap.
    ASSERT_EQ(SDL_GetKeyFromScancode(SDL_SCANCODE_M), SDLK_m);
    EXPECT_EQ(form->Layout(), KeyboardLayout::kOther);

    Key(SDL_SCANCODE_PERIOD, KMOD_NUM, true);
    EXPECT_TRUE(form->IsKeyDown(190));
    EXPECT_FALSE(form->IsKeyDown(191));
    Key(SDL_SCANCODE_PERIOD, KMOD_NUM, false);
    app.ProcessMessages();
    EXPECT_FALSE(form->IsKeyDown(190));

    Key(SDL_SCANCODE_KP_8, KMOD_NONE, true);
    EXPECT_TRUE(form->IsKeyDown(38));
    EXPECT_FALSE(form->IsKeyDown(104));
    // NumLock coming on while the key is held does not strand it down.
    Key(SDL_SCANCODE_KP_8, KMOD_NUM, false);
    app.ProcessMessages();
    EXPECT_FALSE(form->IsKeyDown(38));
    Key(SDL_SCANCODE_KP_8, KMOD_NUM, true);
    EXPECT_TRUE(form->IsKeyDown(104));
}

TEST_F(WindowKeysTest, InjectedKeysFollowTheNumLockState) {
    SDL_SetModState(KMOD_NONE);
    app.InjectKey(*form, 38, true);
    app.ProcessMessages();
    EXPECT_TRUE(form->IsKeyDown(38));
    app.InjectKey(*form, 38, false);
    // A keypad digit is still typed while NumLock is off.
    app.InjectKey(*form, 104, true);
    app.ProcessMessages();
    app.ProcessMessages();
    EXPECT_FALSE(form->IsKeyDown(38));
    EXPECT_TRUE(form->IsKeyDown(104));
    app.InjectKey(*form, 104, false);
    SDL_SetModState(KMOD_NUM);
    app.InjectKey(*form, 102, true);
    app.ProcessMessages();
    EXPECT_TRUE(form->IsKeyDown(102));
    EXPECT_FALSE(form->IsKeyDown(39));
}

}  // namespace
