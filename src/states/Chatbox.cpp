#include "states/Chatbox.h"

#include <algorithm>

#include "input/Directinput.h"
#include "network/Directplay.h"
#include "states/Frontend.h"

namespace torvane {
namespace {

constexpr const char* kMessagePath = "..\\Ressources\\Sounds\\Message.wav";
constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kNoticeColour = 0xFFFF9F31;
constexpr uint32_t kVeil = 0xA0102D19;
constexpr uint32_t kLightVeil = 0xE0E8DCC0;
constexpr int32_t kFont = 0;

// A dark nation colour (Irak's is near black) would vanish on the veil: such a name gets a
// light backing of its own.
bool Dark(uint32_t colour) {
    const uint32_t r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
    return r * 299 + g * 587 + b * 114 < 96 * 1000;
}

uint32_t WithAlpha(uint32_t colour, float alpha) {
    const auto a = static_cast<uint32_t>(static_cast<float>(colour >> 24) * alpha);
    return (colour & 0x00FFFFFFu) | (a << 24);
}

}  // namespace

ChatBox::ChatBox(DirectScreen* screen, DirectAudio* audio, DirectInput* input)
    : screen(screen), audio(audio), input(input) {
    arrivalSound = LoadEffect(audio, kMessagePath);
    refusedSound = LoadEffect(audio, kFailedPath);
    typed.reserve(kMaxChatLine + 1);
    shown.reserve(kMaxChatLine + 16);
}

ChatBox::~ChatBox() = default;

void ChatBox::SetTyped() {
    if (typed.size() > kMaxChatLine)
        typed.resize(kMaxChatLine);
    shown = "Message : ";
    shown += typed;
    shown += '_';
    shownWidth = screen ? screen->TextWidth(kFont, shown) : 0;
}

bool ChatBox::HandleInput(DirectPlay* network, bool allowed) {
    if (!input || !network || !allowed) {
        open = false;
        return false;
    }
    if (!open) {
        if (!input->KeyPressed(key::T))
            return false;
        open = true;
        typed.clear();
        SetTyped();
        input->HoldKeys();
        return true;
    }
    if (input->KeyPressed(key::Escape)) {
        open = false;
    } else if (input->KeyPressed(key::Return)) {
        Send(*network);
    } else {
        // At most eighty characters: what is typed past them is not kept.
        if (input->EditTextInPlace(typed, true))
            SetTyped();
    }
    input->HoldKeys();
    return true;
}

void ChatBox::Send(DirectPlay& network) {
    const std::string line = CleanChatLine(typed);
    if (line.empty()) {
        open = false;  // nothing to say
        return;
    }
    switch (network.SendChat(line)) {
        case DirectPlay::ChatSend::Sent:
            open = false;
            break;
        case DirectPlay::ChatSend::TooFast:
            // Dropped, and the player told why; the line stays open for later.
            network.Conversation().Notice(
                "Trop de messages : ligne non envoy\xE9"
                "e, attendez un peu",
                kNoticeColour);
            typed.clear();
            SetTyped();
            Play(audio, refusedSound.get());
            break;
        default:
            open = false;
            Play(audio, refusedSound.get());
            break;
    }
}

void ChatBox::Receive(DirectPlay* network, int32_t senderId, const std::string& text) {
    if (!network)
        return;
    // The engine has checked the line; the name and colour are the sender's as it arrives.
    PlayerInfo sender;
    const bool known = network->CopyPlayer(senderId, sender);
    const std::string name = known ? sender.Name() : std::string("?");
    const uint32_t colour = known && sender.nation >= 0 && sender.nation < NationCount
                                ? NationColour(sender.nation)
                                : kWhite;
    network->Conversation().Add(name, colour | 0xFF000000u, text);
    if (senderId != network->LocalPlayerId())
        Play(audio, arrivalSound.get());
}

void ChatBox::Draw(DirectPlay* network) {
    if (!network)
        return;
    ChatLog& log = network->Conversation();
    log.Advance(static_cast<float>(FrameTime(screen)) / 1000.0f);
    if (!screen)
        return;
    const size_t count = log.Count();
    for (size_t i = 0; i < count; ++i) {
        ChatLog::Line& line = log.At(i);
        const float alpha = open ? 1.0f : log.Alpha(i);
        if (alpha <= 0.0f)
            continue;
        if (line.nameWidth < 0) {
            line.nameWidth = line.name.empty() ? 0 : screen->TextWidth(kFont, line.name);
            line.textWidth = screen->TextWidth(kFont, line.text);
        }
        const auto y = static_cast<int32_t>(kLineY - kLineHeight * static_cast<int32_t>(count - i));
        screen->FillRect(kLeft - 4, y, line.nameWidth + line.textWidth + 8, kLineHeight,
                         WithAlpha(kVeil, alpha));
        if (!line.name.empty()) {
            if (Dark(line.nameColour))
                screen->FillRect(kLeft - 4, y, line.nameWidth + 2, kLineHeight,
                                 WithAlpha(kLightVeil, alpha));
            screen->DrawText(kLeft, y, line.name, WithAlpha(line.nameColour, alpha), 1, kFont, 0);
        }
        screen->DrawText(kLeft + line.nameWidth, y, line.text, WithAlpha(line.textColour, alpha), 1,
                         kFont, 0);
    }
    if (open) {
        screen->FillRect(kLeft - 4, kLineY, std::max(shownWidth + 8, 320), kLineHeight, 0xD0102D19);
        screen->DrawText(kLeft, kLineY, shown, kWhite, 1, kFont, 0);
    }
}

}  // namespace torvane
