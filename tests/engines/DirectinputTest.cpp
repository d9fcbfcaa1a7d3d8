// Key presses, repeat, focus and cursor of the input engine, and the two text-entry operations.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "input/Directinput.h"
#include "platform/Cp1252.h"
#include "platform/ScriptedWindow.h"

namespace {

using torvane::DirectInput;

class DirectInputTest : public ::testing::Test {
  protected:
    void SetUp() override { DirectInput::ResetClock(); }

    // One frame: the clock moves, then Update runs as every screen's Run starts.
    void Frame(int ms) {
        window.AdvanceTime(ms);
        input.Update();
    }

    // Presses `key` (with modifiers held) for one frame and answers EditText's result.
    std::string Type(const std::string& text, std::initializer_list<int> keys) {
        for (int key : keys)
            window.SetKeyDown(key, true);
        Frame(16);
        std::string result = input.EditText(text, true);
        window.ReleaseAllKeys();
        Frame(16);
        return result;
    }

    platform::ScriptedWindow window;
    DirectInput input{&window};
};

// --- presses and repeat ------------------------------------------------------------------

TEST_F(DirectInputTest, FirstUpdateMeasuresZeroAndAKeyAlreadyDownIsReportedOnce) {
    window.SetKeyDown('A', true);
    window.AdvanceTime(123456);
    input.Update();
    EXPECT_EQ(input.GetElapsed(), 0u);
    EXPECT_TRUE(input.KeyPressed('A'));
    EXPECT_FALSE(input.KeyPressed('A'));  // a second query in the same frame
    Frame(20);
    EXPECT_EQ(input.GetElapsed(), 20u);
    EXPECT_FALSE(input.KeyPressed('A'));  // still held, not yet repeated
}

TEST_F(DirectInputTest, TheUpdateClockIsSharedByEveryInstance) {
    input.Update();
    window.AdvanceTime(40);
    DirectInput second(&window);
    second.Update();
    EXPECT_EQ(second.GetElapsed(), 40u);
}

TEST_F(DirectInputTest, KeyHeldTwoSecondsAtSixtyFramesRepeatsAboutEvery550Ms) {
    input.Update();
    window.SetKeyDown(40, true);
    int presses = 0;
    std::vector<int> at;
    for (int frame = 0; frame < 120; ++frame) {
        Frame(frame % 3 == 0 ? 16 : 17);  // 60 frames a second
        if (input.KeyPressed(40)) {
            ++presses;
            at.push_back(frame);
        }
    }
    EXPECT_EQ(presses, 4);
    ASSERT_EQ(at.size(), 4u);
    EXPECT_EQ(at[0], 0);
    for (size_t i = 1; i < at.size(); ++i) {
        EXPECT_NEAR((at[i] - at[i - 1]) * 1000 / 60, 567, 20);
    }
}

TEST_F(DirectInputTest, KeyDownButNotAskedIsReportedAtTheFirstQuery) {
    input.Update();
    window.SetKeyDown(13, true);
    for (int frame = 0; frame < 100; ++frame)
        Frame(16);
    EXPECT_TRUE(input.KeyPressed(13));
}

TEST_F(DirectInputTest, ReleaseAndPressAgainIsANewPress) {
    input.Update();
    window.SetKeyDown(' ', true);
    Frame(16);
    EXPECT_TRUE(input.KeyPressed(' '));
    window.SetKeyDown(' ', false);
    Frame(16);
    EXPECT_FALSE(input.KeyPressed(' '));
    window.SetKeyDown(' ', true);
    Frame(16);
    EXPECT_TRUE(input.KeyPressed(' '));
}

TEST_F(DirectInputTest, UntrackedCodesNeverAnswer) {
    input.Update();
    for (int code : {0,   5,   17,  18,  20,  41,  44,  47,  58,  64, 91,  124,
                     159, 166, 187, 189, 192, 222, 224, 255, 256, -1, 1000}) {
        window.SetKeyDown(code, true);
        EXPECT_EQ(DirectInput::SlotOf(code), -1) << code;
        EXPECT_FALSE(input.KeyPressed(code)) << code;
    }
}

TEST_F(DirectInputTest, NinetySixSlotsInTheTabledOrder) {
    int tracked = 0;
    for (int code = 0; code < 256; ++code)
        tracked += DirectInput::SlotOf(code) >= 0;
    EXPECT_EQ(tracked, DirectInput::kTrackedKeys);
    EXPECT_EQ(DirectInput::SlotOf('A'), 0);
    EXPECT_EQ(DirectInput::SlotOf('Z'), 25);
    EXPECT_EQ(DirectInput::SlotOf('0'), 26);
    EXPECT_EQ(DirectInput::SlotOf(96), 36);
    EXPECT_EQ(DirectInput::SlotOf(123), 63);
    EXPECT_EQ(DirectInput::SlotOf(160), 64);
    EXPECT_EQ(DirectInput::SlotOf(27), 70);
    EXPECT_EQ(DirectInput::SlotOf(13), 75);
    EXPECT_EQ(DirectInput::SlotOf(16), 78);
    EXPECT_EQ(DirectInput::SlotOf(8), 79);
    EXPECT_EQ(DirectInput::SlotOf(32), 81);
    EXPECT_EQ(DirectInput::SlotOf(46), 87);
    EXPECT_EQ(DirectInput::SlotOf(188), 88);
    EXPECT_EQ(DirectInput::SlotOf(223), 91);
    EXPECT_EQ(DirectInput::SlotOf(1), 92);
    EXPECT_EQ(DirectInput::SlotOf(4), 95);
}

TEST_F(DirectInputTest, WithoutFocusNothingIsReportedTimersClearAndCursorIsOrigin) {
    input.Update();
    window.SetCursor(-25, 300);
    EXPECT_EQ(input.CursorPosition().x, -25);  // not clamped
    EXPECT_EQ(input.CursorPosition().y, 300);
    window.SetKeyDown(1, true);
    Frame(16);
    EXPECT_TRUE(input.KeyPressed(1));
    window.SetFocus(false);
    Frame(16);
    EXPECT_FALSE(input.KeyPressed(1));
    EXPECT_FALSE(input.KeyPressed('Q'));
    EXPECT_EQ(input.CursorPosition().x, 0);
    EXPECT_EQ(input.CursorPosition().y, 0);
    window.SetFocus(true);
    Frame(16);
    // The focus loss cleared the timer: the still-held button is a new press.
    EXPECT_TRUE(input.KeyPressed(1));
}

TEST_F(DirectInputTest, ClockSetBackOnlyMakesAHeldKeyRepeatEarly) {
    input.Update();
    window.SetKeyDown('J', true);
    Frame(16);
    EXPECT_TRUE(input.KeyPressed('J'));
    window.AdvanceTime(-2000);  // unsigned elapsed: one huge step, the timer runs out
    input.Update();
    EXPECT_FALSE(input.KeyPressed('J'));
    Frame(16);
    EXPECT_TRUE(input.KeyPressed('J'));
    Frame(16);
    EXPECT_FALSE(input.KeyPressed('J'));  // and the normal repeat goes on from there
}

// --- EditText ----------------------------------------------------------------------------

TEST_F(DirectInputTest, DeleteBeatsBackspaceWhichStaysWaiting) {
    input.Update();
    window.SetKeyDown(46, true);
    window.SetKeyDown(8, true);
    Frame(16);
    EXPECT_EQ(input.EditText("abc", true), "");
    EXPECT_TRUE(input.KeyPressed(8));
}

TEST_F(DirectInputTest, ReturnIsLeftToTheCallerButSpaceTypesABlank) {
    input.Update();
    window.SetKeyDown(13, true);
    window.SetKeyDown(32, true);
    Frame(16);
    EXPECT_EQ(input.EditText("ab", true), "ab ");
    EXPECT_TRUE(input.KeyPressed(13));
    EXPECT_FALSE(input.KeyPressed(32));

    window.ReleaseAllKeys();
    Frame(16);
    window.SetKeyDown(13, true);
    Frame(16);
    EXPECT_EQ(input.EditText("ab", false), "ab\n");
    EXPECT_FALSE(input.KeyPressed(13));
}

TEST_F(DirectInputTest, OneEditPerCall) {
    input.Update();
    window.SetKeyDown('B', true);
    window.SetKeyDown('C', true);
    Frame(16);
    std::string text = input.EditText("a", true);
    EXPECT_EQ(text, "ab");
    text = input.EditText(text, true);
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(input.EditText(text, true), "abc");
}

TEST_F(DirectInputTest, LettersFollowShiftAndIgnoreCapsLock) {
    input.Update();
    EXPECT_EQ(Type("", {'A'}), "a");
    EXPECT_EQ(Type("", {16, 'A'}), "A");
    EXPECT_EQ(Type("x", {20, 'Z'}), "xz");  // Caps Lock (20) changes nothing
}

TEST_F(DirectInputTest, MainRowGivesDigitsWithShiftAndAzertyCharactersOtherwise) {
    input.Update();
    EXPECT_EQ(Type("", {16, '2'}), "2");
    EXPECT_EQ(Type("", {'2'}), platform::Utf8ToCp1252("é"));
    EXPECT_EQ(Type("", {165, '2'}), "~");
    const char* plain[10] = {"à", "&", "é", "\"", "'", "(", "-", "è", "_", "ç"};
    const char* altGr[10] = {"@", "&", "~", "#", "{", "[", "|", "`", "\\", "^"};
    for (int d = 0; d <= 9; ++d) {
        EXPECT_EQ(Type("", {'0' + d}), platform::Utf8ToCp1252(plain[d])) << d;
        EXPECT_EQ(Type("", {165, '0' + d}), platform::Utf8ToCp1252(altGr[d])) << d;
        EXPECT_EQ(Type("", {16, '0' + d}), std::string(1, static_cast<char>('0' + d))) << d;
        EXPECT_EQ(Type("", {96 + d}), std::string(1, static_cast<char>('0' + d))) << d;
    }
    // Shift beats AltGr on the main row: the digit row is asked first.
    EXPECT_EQ(Type("", {16, 165, '0'}), "0");
}

TEST_F(DirectInputTest, PunctuationAndKeypadKeys) {
    input.Update();
    EXPECT_EQ(Type("", {107}), "+");
    EXPECT_EQ(Type("", {109}), "-");
    EXPECT_EQ(Type("", {106}), "*");
    EXPECT_EQ(Type("", {111}), "/");
    EXPECT_EQ(Type("", {110}), ".");
    EXPECT_EQ(Type("", {188}), ",");
    EXPECT_EQ(Type("", {16, 188}), "?");
    EXPECT_EQ(Type("", {190}), ";");
    EXPECT_EQ(Type("", {16, 190}), ".");
    EXPECT_EQ(Type("", {191}), ":");
    EXPECT_EQ(Type("", {16, 191}), "/");
    EXPECT_EQ(Type("", {223}), "!");
    EXPECT_EQ(Type("", {16, 223}), "!");
    EXPECT_EQ(Type("abc", {112}), "abc");  // F1 types nothing
    EXPECT_EQ(Type("abc", {37}), "abc");
    EXPECT_EQ(Type("", {8}), "");  // Backspace on empty text
}

// --- EditAddress and its rules -----------------------------------------------------------

class AddressTest : public DirectInputTest {
  protected:
    bool Edit(std::string& text, std::initializer_list<int> keys) {
        for (int key : keys)
            window.SetKeyDown(key, true);
        Frame(16);
        const bool complete = input.EditAddress(text);
        window.ReleaseAllKeys();
        Frame(16);
        return complete;
    }
};

TEST_F(AddressTest, GroupOf255IsRefusedAnd254Accepted) {
    input.Update();
    std::string text = "192.168.0.25";
    EXPECT_TRUE(Edit(text, {'5'}));
    EXPECT_EQ(text, "192.168.0.25");
    EXPECT_TRUE(Edit(text, {'4'}));
    EXPECT_EQ(text, "192.168.0.254");
}

TEST_F(AddressTest, DotsAfterADotAtTheStartOrAFourthAreRefused) {
    input.Update();
    std::string text = "10.0.";
    EXPECT_FALSE(Edit(text, {190}));
    EXPECT_EQ(text, "10.0.");
    text.clear();
    EXPECT_FALSE(Edit(text, {110}));
    EXPECT_EQ(text, "");
    text = "1.2.3.4";
    EXPECT_TRUE(Edit(text, {190}));
    EXPECT_EQ(text, "1.2.3.4");
}

TEST_F(AddressTest, SeveralDigitsInOneFrameGoInAscendingOrderAndEraseComesFirst) {
    input.Update();
    std::string text;
    Edit(text, {'7', 96 + 3, '1'});
    EXPECT_EQ(text, "137");
    text = "10.2";
    Edit(text, {46, '5'});
    EXPECT_EQ(text, "5");
    text = "10.2";
    Edit(text, {8, 190});
    EXPECT_EQ(text, "10.");
}

TEST_F(AddressTest, CompleteAddressesAreRecognised) {
    EXPECT_FALSE(torvane::IsCompleteAddress("1.2.3."));
    EXPECT_TRUE(torvane::IsCompleteAddress("1.2.3.4"));
    EXPECT_FALSE(torvane::IsCompleteAddress("1.2.3"));
    EXPECT_FALSE(torvane::IsCompleteAddress(""));
    EXPECT_TRUE(torvane::IsCompleteAddress("007.0.0.1"));
}

TEST_F(AddressTest, NormalizeKeepsLeadingZerosAndCutsOneCharacterPerLevel) {
    using torvane::NormalizeAddress;
    EXPECT_EQ(NormalizeAddress("007.1"), "007.1");
    EXPECT_EQ(NormalizeAddress("300"), "30");
    EXPECT_EQ(NormalizeAddress("255.1"), "255.");
    EXPECT_EQ(NormalizeAddress(".1"), "");
    EXPECT_EQ(NormalizeAddress("1..2"), "1.");
    EXPECT_EQ(NormalizeAddress("1.2.3.4.5"), "1.2.3.4.");
    EXPECT_EQ(NormalizeAddress("1.300.2"), "1.300.");
    EXPECT_EQ(NormalizeAddress("99999999999999999999"), "9999999999999999999");
}

TEST_F(AddressTest, HandEditedAddressIsRepairedFrameByFrame) {
    // Groups holding other characters count as too large, so they shrink until valid.
    for (const std::string stored :
         {"localhost", "1a.2.3.4", "192.168.x.1", "-1.2", "1.2.3.4 ", "\xFF\xFE.1"}) {
        std::string text = stored;
        int frames = 0;
        for (; frames < 64; ++frames) {
            const std::string next = torvane::NormalizeAddress(text);
            if (next == text)
                break;
            text = next;
        }
        EXPECT_LT(frames, 64) << stored;
        for (char c : text)
            EXPECT_TRUE((c >= '0' && c <= '9') || c == '.') << stored;
    }
    EXPECT_EQ(torvane::NormalizeAddress("localhost"), "localhos");
}

// What NormalizeAddress settles on when applied until nothing changes, however long that takes.
std::string SettledAddress(std::string text) {
    for (;;) {
        std::string next = torvane::NormalizeAddress(text);
        if (next == text)
            return text;
        text = std::move(next);
    }
}

TEST_F(AddressTest, RepairInOnePassGivesWhatTheEntrySettlesOn) {
    using torvane::RepairAddress;
    EXPECT_EQ(RepairAddress("localhost"), "");
    EXPECT_EQ(RepairAddress("99999999999"), "99");
    EXPECT_EQ(RepairAddress("192.168.300.1"), "192.168.30");
    EXPECT_EQ(RepairAddress("1..2.3"), "1.");
    EXPECT_EQ(RepairAddress("1.2.3.4.5"), "1.2.3.4");
    EXPECT_EQ(RepairAddress("007.000.254.0010"), "007.000.254.0010");
    // Every short text over the characters that matter agrees with the frame-by-frame repair.
    std::mt19937 random(1870);
    const std::string alphabet = "0125679.x";
    for (int i = 0; i < 20000; ++i) {
        std::string text(random() % 18, ' ');
        for (char& c : text)
            c = alphabet[random() % alphabet.size()];
        ASSERT_EQ(RepairAddress(text), SettledAddress(text)) << text;
    }
}

}  // namespace
