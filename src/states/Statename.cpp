// The player-name screen: the name with its blinking caret, then "jouer" or "retour".
#include "states/Statename.h"

#include "input/Directinput.h"
#include "states/Animation.h"
#include "states/Frontend.h"

namespace torvane {
namespace {

constexpr size_t kMaxName = 10;
constexpr int kLightTarget[2] = {25, 72};

}  // namespace

NameState::NameState(DirectScreen* screen, DirectAudio* audio, DirectInput* input)
    : input(input), audio(audio), screen(screen) {
    name = GetStringSetting("PlayerName", "Anonymous");
    line.reserve(32);
    background = Load(screen, kBackgroundPath);
    nameFrame = Load(screen, kMiniFramePath);
    frame = Load(screen, "..\\Ressources\\Graphics\\Fond\\CadreMoyen.png", 0xFFBD9C53);
    dim = Load(screen, kDimPath);
    light = Load(screen, kLightPath);
    hitSound = LoadEffect(audio, kHitPath);
    fillInSound = LoadEffect(audio, kFillInPath);
    fillOutSound = LoadEffect(audio, kFillOutPath);
    if (screen)
        screen->ResetFrameClock();
    Play(audio, fillInSound.get());
}

NameState::~NameState() = default;

int32_t NameState::Run() {
    if (input)
        input->Update();
    blinkTime += FrameTime(screen);
    if (!closing) {
        HandleInput();
    } else if (FadeFinished(screen) && frameTop < -250.0f) {
        closing = false;
        SetStringSetting("PlayerName", name);
        return highlight == 0 ? NetworkBrowserCode : MainMenuCode;
    }
    if (!screen)
        return StayCode;

    BeginFrontendFrame(screen, background);
    const int32_t ft = screen->GetFrameTime();
    frameTop = SlideFrame(frameTop, closing, ft);
    Draw(nameFrame, 193, Trunc(frameTop), kFrameColour);
    Draw(frame, 193, Trunc(frameTop + 108), kFrameColour);

    FadeHighlight(itemColour, highlight, ft);
    if (dim && light && frame) {
        const int lw = light->GetWidth();
        const int lh = light->GetHeight();
        const int lx = 321 - lw / 2;
        lightOffset = SlideTowardNoOvershoot(lightOffset, kLightTarget[highlight], ft);
        const int top = Trunc(frameTop + 108 + 7);
        const int ly = Trunc(frameTop + lightOffset + 108 + 15 - lh / 2);
        DrawLightBand(dim.get(), light.get(), 200, top, frame->GetWidth() - 14,
                      frame->GetHeight() - 14, lx, ly);
    }
    line.assign(name);
    if ((blinkTime / 500) % 2 == 0)
        line.push_back('_');
    screen->DrawText(223, Trunc(frameTop + 16), line, kTextGreen, 1, 4, 0);
    screen->DrawText(321, Trunc(frameTop + 134), "- jouer -", itemColour[0], 1, 3, 1);
    screen->DrawText(321, Trunc(frameTop + 181), "- retour -", itemColour[1], 1, 3, 1);
    screen->EndFrame(true);
    return StayCode;
}

void NameState::Choose() {
    closing = true;
    Play(audio, fillOutSound.get());
}

void NameState::HandleInput() {
    const std::string before = name;
    if (input)
        name = input->EditText(name, true);
    if (name.size() > kMaxName)
        name.resize(kMaxName);
    if (name != before) {
        Play(audio, hitSound.get());
        highlight = 0;
    }
    if (!input)
        return;
    if (input->KeyPressed(key::Up)) {
        Play(audio, hitSound.get());
        highlight -= 1;
    } else if (input->KeyPressed(key::Down)) {
        Play(audio, hitSound.get());
        highlight += 1;
    } else if (input->KeyPressed(key::Return) || input->KeyPressed(key::Space)) {
        Play(audio, hitSound.get());
        Choose();
        return;
    } else if (input->KeyPressed(key::Escape)) {
        Play(audio, hitSound.get());
        highlight = 1;
        Choose();
        return;
    }
    highlight = WrapHighlight(highlight, 2);
    const int32_t remembered = highlight;

    const platform::Point mouse = input->CursorPosition();
    if (mouse.x >= 233 && mouse.x <= 413) {
        const float y = static_cast<float>(mouse.y);
        int item = -1;
        if (y >= frameTop + 134 && y <= frameTop + 168) {
            item = 0;
        } else if (y >= frameTop + 178 && y <= frameTop + 212) {
            item = 1;
        }
        if (item >= 0) {
            highlight = item;
            if (input->KeyPressed(key::LeftButton)) {
                Play(audio, hitSound.get());
                Choose();
            }
        }
    }
    if (highlight != remembered)
        Play(audio, hitSound.get());
}

}  // namespace torvane
