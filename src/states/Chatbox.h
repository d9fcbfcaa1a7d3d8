// The chat of the lobby and of the game screen: T opens a line at the foot of the screen (the
// game's text entry, eighty characters at most), Return sends it to everybody, Escape closes it.
// The last lines of the conversation show above it, each fading once it is old, and all of them
// again while the line is open.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace torvane {

class DirectAudio;
class DirectInput;
class DirectPlay;
class DirectScreen;
class SoundEffect;

class ChatBox {
  public:
    // Where the open line sits; the conversation ends just above it.
    static constexpr int32_t kLineY = 456;
    static constexpr int32_t kLineHeight = 18;
    static constexpr int32_t kLeft = 8;

    ChatBox(DirectScreen* screen, DirectAudio* audio, DirectInput* input);
    ~ChatBox();
    ChatBox(const ChatBox&) = delete;
    ChatBox& operator=(const ChatBox&) = delete;

    // Once per frame, after the input's Update and before the screen reads any key: opens,
    // edits, sends and closes the line (`allowed` false closes it and opens none). True while
    // the line is open: the keyboard is then held from the screen (the mouse is left to it).
    bool HandleInput(DirectPlay* network, bool allowed = true);
    // A line that arrived (the screen's OnTextMessage): the sender's name in its nation's
    // colour, and a sound unless it is this player's own.
    void Receive(DirectPlay* network, int32_t senderId, const std::string& text);
    // Ages the conversation by this frame and draws it, with the open line.
    void Draw(DirectPlay* network);

    bool IsOpen() const { return open; }
    const std::string& Typed() const { return typed; }

  private:
    // Keeps the typed text to its length and builds what is drawn of it.
    void SetTyped();
    void Send(DirectPlay& network);

    DirectScreen* screen;
    DirectAudio* audio;
    DirectInput* input;
    std::unique_ptr<SoundEffect> arrivalSound;
    std::unique_ptr<SoundEffect> refusedSound;
    bool open = false;
    std::string typed;
    std::string shown;  // "Message : " and the text with its caret
    int32_t shownWidth = 0;
};

}  // namespace torvane
