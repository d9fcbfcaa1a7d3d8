#include "network/Chat.h"

#include <algorithm>

namespace torvane {
namespace {

// Control characters, and the five bytes Windows-1252 leaves undefined.
bool Printable(unsigned char c) {
    if (c < 32 || c == 127)
        return false;
    return c != 0x81 && c != 0x8D && c != 0x8F && c != 0x90 && c != 0x9D;
}

}  // namespace

bool IsValidChatLine(std::string_view text) {
    if (text.empty() || text.size() > kMaxChatLine)
        return false;
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return Printable(static_cast<unsigned char>(c)); });
}

std::string CleanChatLine(std::string_view typed) {
    std::string line;
    line.reserve(std::min(typed.size(), kMaxChatLine));
    for (char c : typed) {
        if (Printable(static_cast<unsigned char>(c)))
            line.push_back(c);
    }
    const size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    line.erase(0, first);
    line.erase(line.find_last_not_of(' ') + 1);
    if (line.size() > kMaxChatLine)
        line.resize(kMaxChatLine);
    return line;
}

bool ChatPace::Allow(int32_t sender, double now) {
    // Those quiet for a whole window need no memory (ids are never reused in a session).
    for (auto it = times_.begin(); it != times_.end();) {
        if (!it->second.empty() && now - it->second.back() >= window_)
            it = times_.erase(it);
        else
            ++it;
    }
    std::deque<double>& times = times_[sender];
    while (!times.empty() && now - times.front() >= window_)
        times.pop_front();
    if (static_cast<int>(times.size()) >= burst_)
        return false;
    times.push_back(now);
    return true;
}

ChatLog::Line& ChatLog::Push() {
    ++added_;
    if (count_ < kLines) {
        ++count_;
    } else {
        first_ = (first_ + 1) % kLines;
    }
    Line& line = lines_[(first_ + count_ - 1) % kLines];
    line.age = 0.0f;
    line.nameWidth = -1;
    line.textWidth = -1;
    return line;
}

void ChatLog::Add(std::string_view name, uint32_t nameColour, std::string_view text) {
    Line& line = Push();
    line.name.assign(name);
    line.name += " : ";
    line.text.assign(text);
    line.nameColour = nameColour;
    line.textColour = 0xFFFFFFFF;
}

void ChatLog::Notice(std::string_view text, uint32_t colour) {
    Line& line = Push();
    line.name.clear();
    line.text.assign(text);
    line.nameColour = colour;
    line.textColour = colour;
}

void ChatLog::Advance(float seconds) {
    if (seconds <= 0.0f)
        return;
    for (size_t i = 0; i < count_; ++i) {
        Line& line = lines_[(first_ + i) % kLines];
        // Capped: a line that has faded stays faded, however long the game runs.
        line.age = std::min(line.age + seconds, kShowSeconds + kFadeSeconds);
    }
}

float ChatLog::Alpha(size_t index) const {
    if (index >= count_)
        return 0.0f;
    const float age = At(index).age;
    if (age <= kShowSeconds)
        return 1.0f;
    return std::max(0.0f, 1.0f - (age - kShowSeconds) / kFadeSeconds);
}

}  // namespace torvane
