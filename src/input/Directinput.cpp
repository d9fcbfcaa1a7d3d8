// The input engine: polled key and mouse-button presses with a slow repeat, the cursor, and the
// French-keyboard text entry built on them.
#include "input/Directinput.h"

#include <algorithm>
#include <climits>

namespace torvane {
namespace {

struct KeyRun {
    int first;
    int last;
};

// The tracked keys, slot by slot, in the order Update walks them.
constexpr KeyRun kRuns[] = {
    {65, 90},    // letters
    {48, 57},    // main-row digits
    {96, 123},   // keypad digits and operators, F1 to F12
    {160, 165},  // left/right Shift, Ctrl, Alt
    {27, 27},    // Escape
    {37, 40},    // arrows
    {13, 16},    // Return, 14, 15, Shift
    {8, 9},      // Backspace, Tab
    {32, 32},    // Space
    {33, 36},    // Page Up, Page Down, End, Home
    {45, 46},    // Insert, Delete
    {188, 188},  // AZERTY comma / question mark
    {190, 191},  // AZERTY semicolon / full stop, colon / slash
    {223, 223},  // AZERTY exclamation mark
    {1, 4},      // mouse buttons and Cancel
};

struct SlotTable {
    std::array<int16_t, 256> slotOfCode{};
    int count = 0;
    constexpr SlotTable() {
        for (auto& slot : slotOfCode)
            slot = -1;
        for (const KeyRun& run : kRuns) {
            for (int code = run.first; code <= run.last; ++code) {
                slotOfCode[static_cast<size_t>(code)] = static_cast<int16_t>(count++);
            }
        }
    }
};

constexpr SlotTable kSlots;
static_assert(kSlots.count == DirectInput::kTrackedKeys);

// The time of the previous Update, shared by the whole process; zero seconds: none yet.
platform::ClockReading previousStamp{};

constexpr int kShift = 16;
constexpr int kAltGr = 165;
constexpr int kReturn = 13;
constexpr int kDelete = 46;
constexpr int kBackspace = 8;
constexpr int kSpace = 32;
constexpr int kPeriodKey = 190;
constexpr int kKeypadPoint = 110;

// Value of a group of an address; a group holding anything but digits counts as too large, so
// hand-edited text loses characters until it is a valid address.
int GroupValue(const std::string& group) {
    if (group.empty())
        return 0;
    int value = 0;
    for (char c : group) {
        if (c < '0' || c > '9')
            return INT_MAX;
        value = std::min(value * 10 + (c - '0'), 100000);
    }
    return value;
}

void RemoveLast(std::string& text) {
    if (!text.empty())
        text.pop_back();
}

}  // namespace

DirectInput::DirectInput(platform::Window* window) : window(window) {}

void DirectInput::ResetClock() {
    previousStamp = {};
}

int DirectInput::SlotOf(int virtualKey) {
    if (virtualKey < 0 || virtualKey > 255)
        return -1;
    return kSlots.slotOfCode[static_cast<size_t>(virtualKey)];
}

bool DirectInput::IsDown(int virtualKey) const {
    return window && window->IsKeyDown(virtualKey);
}

void DirectInput::Update() {
    const platform::ClockReading now = window ? window->Now() : platform::ClockReading{};
    if (previousStamp.seconds == 0)
        previousStamp = now;
    elapsed = static_cast<uint32_t>(platform::MillisecondsBetween(previousStamp, now));
    previousStamp = now;
    keysHeld = false;

    const bool focus = window && window->HasKeyboardFocus();
    wheel = window ? window->TakeWheelSteps() : 0;
    size_t slot = 0;
    for (const KeyRun& run : kRuns) {
        for (int code = run.first; code <= run.last; ++code, ++slot) {
            float& timer = held[slot];
            if (focus && timer > 0.0f && timer < kRepeatMs && IsDown(code)) {
                timer += static_cast<float>(elapsed);
            } else {
                timer = 0.0f;
            }
        }
    }
}

bool DirectInput::KeyPressed(int virtualKey) {
    if (!window || !window->HasKeyboardFocus())
        return false;
    const int slot = SlotOf(virtualKey);
    if (slot < 0 || Held(virtualKey))
        return false;
    if (!IsDown(virtualKey))
        return false;
    float& timer = held[static_cast<size_t>(slot)];
    if (timer != 0.0f)
        return false;
    timer = static_cast<float>(elapsed + 1);
    return true;
}

bool DirectInput::KeyDown(int virtualKey) const {
    return window && window->HasKeyboardFocus() && !Held(virtualKey) && IsDown(virtualKey);
}

platform::Point DirectInput::CursorPosition() const {
    if (!window || !window->HasKeyboardFocus())
        return {0, 0};
    return window->CursorPosition();
}

std::string DirectInput::EditText(const std::string& text, bool singleLine) {
    std::string result = text;
    EditTextInPlace(result, singleLine);
    return result;
}

bool DirectInput::EditTextInPlace(std::string& text, bool singleLine) {
    const bool shift = IsDown(kShift);
    const bool altGr = IsDown(kAltGr);
    // On AZERTY the keys are known by position and typed from the French table below. Any
    // other layout reports its punctuation codes for the keys that print , . / ! (and the
    // digits by position), so each key types what its keycap prints. What Shift gives on those
    // keys differs from one such layout to the next and cannot be known here: rather than type
    // a character the player did not ask for, a shifted digit or punctuation key types nothing.
    const bool azerty = !window || window->Layout() == platform::KeyboardLayout::kAzerty;
    auto with = [&text](char c) {
        text.push_back(c);
        return true;
    };

    if (!singleLine && KeyPressed(kReturn))
        return with('\n');
    if (KeyPressed(kDelete)) {
        const bool changed = !text.empty();
        text.clear();
        return changed;
    }
    if (KeyPressed(kBackspace)) {
        const bool changed = !text.empty();
        RemoveLast(text);
        return changed;
    }
    if (KeyPressed(kSpace))
        return with(' ');
    for (int d = 0; d <= 9; ++d) {
        if ((shift == azerty && KeyPressed(48 + d)) || KeyPressed(96 + d))
            return with(static_cast<char>('0' + d));
    }
    for (int letter = 0; letter < 26; ++letter) {
        if (KeyPressed(65 + letter))
            return with(static_cast<char>((shift ? 'A' : 'a') + letter));
    }
    if (KeyPressed(107))
        return with('+');
    if (KeyPressed(109))
        return with('-');
    if (KeyPressed(106))
        return with('*');
    if (KeyPressed(111))
        return with('/');
    if (KeyPressed(kKeypadPoint))
        return with('.');

    struct PunctuationKey {
        int code;
        char azerty;
        char azertyShift;
        char keycap;  // on other layouts: the character whose key reports `code`
    };
    static constexpr PunctuationKey kPunctuation[] = {
        {188, ',', '?', ','},
        {kPeriodKey, ';', '.', '.'},
        {191, ':', '/', '/'},
        {223, '!', '!', '!'},
    };
    for (const PunctuationKey& key : kPunctuation) {
        if ((azerty || !shift) && KeyPressed(key.code))
            return with(!azerty ? key.keycap : shift ? key.azertyShift : key.azerty);
    }

    // The AZERTY main row without Shift: each key's own character, or its AltGr symbol.
    struct RowKey {
        char plain;
        char altGr;
    };
    static constexpr RowKey kRow[10] = {
        {'\xE0', '@'}, {'&', '&'}, {'\xE9', '~'}, {'"', '#'},  {'\'', '{'},
        {'(', '['},    {'-', '|'}, {'\xE8', '`'}, {'_', '\\'}, {'\xE7', '^'},
    };
    for (int d = 0; azerty && d <= 9; ++d) {
        if (KeyPressed(48 + d)) {
            const RowKey& key = kRow[d];
            return with(altGr ? key.altGr : key.plain);
        }
    }
    return false;
}

bool DirectInput::EditAddress(std::string& text) {
    if (KeyPressed(kDelete))
        text.clear();
    if (KeyPressed(kBackspace))
        RemoveLast(text);
    for (int d = 0; d <= 9; ++d) {
        if (KeyPressed(48 + d) || KeyPressed(96 + d))
            text.push_back(static_cast<char>('0' + d));
    }
    if (KeyPressed(kPeriodKey) || KeyPressed(kKeypadPoint))
        text.push_back('.');
    text = NormalizeAddress(text);
    return IsCompleteAddress(text);
}

std::string NormalizeAddress(const std::string& text) {
    if (text.empty())
        return text;
    std::string result = text;
    if (std::count(text.begin(), text.end(), '.') > 3) {
        RemoveLast(result);
        return result;
    }
    const size_t dot = text.find('.');
    if (dot == std::string::npos) {
        if (GroupValue(text) > 254)
            RemoveLast(result);
        return result;
    }
    if (dot == 0)
        return {};
    if (GroupValue(text.substr(0, dot)) >= 255) {
        RemoveLast(result);
        return result;
    }
    return text.substr(0, dot + 1) + NormalizeAddress(text.substr(dot + 1));
}

// Each call of NormalizeAddress only ever shortens the text to one of its prefixes, and every
// prefix of an accepted address is accepted too, so its fixed point is the longest accepted
// prefix: the text up to the first character that breaks a rule.
std::string RepairAddress(std::string_view text) {
    int dots = 0;
    int value = 0;
    size_t groupLength = 0;
    size_t end = 0;
    for (; end < text.size(); ++end) {
        const char c = text[end];
        if (c == '.') {
            if (groupLength == 0 || dots == 3)
                break;
            ++dots;
            value = 0;
            groupLength = 0;
        } else if (c >= '0' && c <= '9') {
            value = value * 10 + (c - '0');
            if (value > 254)
                break;
            ++groupLength;
        } else {
            break;
        }
    }
    return std::string(text.substr(0, end));
}

bool IsCompleteAddress(const std::string& text) {
    return !text.empty() && std::count(text.begin(), text.end(), '.') == 3 && text.back() != '.';
}

}  // namespace torvane
