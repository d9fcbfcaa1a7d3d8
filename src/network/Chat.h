// Table talk: the rules of a chat line, the pace a player may talk at, and the last lines of the
// conversation as the screens show them.
//
// A chat line travels as a text message (type 0) to every player, the sender included. What a
// player sends is untrusted: a receiver refuses a line that is empty, longer than
// kMaxChatLine, or holds a control character (or a byte Windows-1252 leaves undefined), and
// drops the lines of a sender that talks faster than kChatBurst lines in kChatWindowSeconds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>

namespace torvane {

inline constexpr size_t kMaxChatLine = 80;
inline constexpr int kChatBurst = 5;
inline constexpr double kChatWindowSeconds = 10.0;
// A receiver measures the pace at arrival, when lines sent just far enough apart may come
// bunched by the network: it lets this much of the window go.
inline constexpr double kChatArrivalSlack = 1.0;

// 1..kMaxChatLine bytes of printable Windows-1252 text.
bool IsValidChatLine(std::string_view text);

// What a player typed, made a line to send: control characters go, blanks at both ends go, and
// the rest is cut to kMaxChatLine.
std::string CleanChatLine(std::string_view typed);

// The pace of each sender: at most `burst` lines in any `window` seconds.
class ChatPace {
  public:
    explicit ChatPace(int burst = kChatBurst, double window = kChatWindowSeconds)
        : burst_(burst), window_(window) {}
    // Whether a line of `sender` at `now` (seconds, never going back) keeps the pace; a line
    // that does is counted.
    bool Allow(int32_t sender, double now);
    // Senders whose last line is older than the window are forgotten.
    size_t Senders() const { return times_.size(); }

  private:
    int burst_;
    double window_;
    std::map<int32_t, std::deque<double>> times_;
};

// The last lines of the conversation, newest last, each with its age on the screen. A line
// shows fully for kChatShowSeconds, then fades out over kChatFadeSeconds.
class ChatLog {
  public:
    static constexpr size_t kLines = 6;
    static constexpr float kShowSeconds = 15.0f;
    static constexpr float kFadeSeconds = 1.5f;

    struct Line {
        std::string name;  // "Ana : ", or empty for the game's own notices
        std::string text;
        uint32_t nameColour = 0xFFFFFFFF;
        uint32_t textColour = 0xFFFFFFFF;
        float age = 0.0f;  // seconds
        // Pixel widths of `name` and `text`, measured once by the screen that draws them (-1
        // until then).
        int32_t nameWidth = -1;
        int32_t textWidth = -1;
    };

    // A line said by `name`, in `nameColour` (its nation's, white before it has one).
    void Add(std::string_view name, uint32_t nameColour, std::string_view text);
    // A notice of the game to this player alone ("Trop de messages...").
    void Notice(std::string_view text, uint32_t colour);
    // Ages every line by `seconds`.
    void Advance(float seconds);
    // How visible line `index` is now, 0..1 (0 once it has faded).
    float Alpha(size_t index) const;

    size_t Count() const { return count_; }
    // Oldest first.
    const Line& At(size_t index) const { return lines_[(first_ + index) % kLines]; }
    Line& At(size_t index) { return lines_[(first_ + index) % kLines]; }
    // Lines added so far (tests and diagnostics).
    uint64_t Added() const { return added_; }

  private:
    Line& Push();

    std::array<Line, kLines> lines_;
    size_t first_ = 0;
    size_t count_ = 0;
    uint64_t added_ = 0;
};

}  // namespace torvane
