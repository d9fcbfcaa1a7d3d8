// The title menu: a parchment frame sliding down with "jouer", "options", "crédits", "quitter".
#include "states/Statemenu.h"

#include "input/Directinput.h"
#include "states/Animation.h"
#include "states/Frontend.h"
#include "states/Statecredits.h"
#include "states/Stateoptions.h"

namespace torvane {
namespace {

constexpr const char* kItems[4] = {"- jouer -", "- options -",
                                   "- cr\xE9"
                                   "dits -",
                                   "- quitter -"};
constexpr int kItemOffset[4] = {25, 65, 105, 145};
// Mouse bands below the frame's top: (28..58], (58..95], (95..140], (140..175]; the first
// includes 28.
constexpr float kBandTop[4] = {28.0f, 58.0f, 95.0f, 140.0f};
constexpr float kBandBottom[4] = {58.0f, 95.0f, 140.0f, 175.0f};

}  // namespace

MenuState::MenuState(DirectScreen* screen, DirectAudio* audio, DirectInput* input)
    : input(input), audio(audio), screen(screen) {
    itemColour.fill(0x7F132819);
    background = Load(screen, kBackgroundPath);
    frame = Load(screen, "..\\Ressources\\Graphics\\Fond\\MenuCadre.png", 0xFFBD9C53);
    dim = Load(screen, kDimPath);
    light = Load(screen, kLightPath);
    hitSound = LoadEffect(audio, kHitPath);
    fillInSound = LoadEffect(audio, kFillInPath);
    fillOutSound = LoadEffect(audio, kFillOutPath);
    if (screen)
        screen->ResetFrameClock();
    Play(audio, fillInSound.get());
}

MenuState::~MenuState() {
    // The options screen borrows the sounds: it goes first.
    subScreen.reset();
}

int32_t MenuState::Run() {
    if (input)
        input->Update();
    if (subScreen) {
        BeginFrontendFrame(screen, background);
        if (subScreen->Run() != 0) {
            subScreen.reset();
            Play(audio, fillInSound.get());
        }
        if (screen)
            screen->EndFrame(true);
        return StayCode;
    }
    if (!closing) {
        HandleInput();
    } else if (FadeFinished(screen) && frameTop < -250.0f) {
        closing = false;
        switch (highlight) {
            case 0:
                return PlayerNameCode;
            case 1:
                subScreen = std::make_unique<OptionState>(screen, audio, input, hitSound.get(),
                                                          fillInSound.get(), fillOutSound.get());
                return StayCode;
            case 2:
                subScreen = std::make_unique<CreditsState>(screen, input);
                return StayCode;
            default:
                return QuitCode;
        }
    }

    BeginFrontendFrame(screen, background);
    const int32_t ft = FrameTime(screen);
    frameTop = SlideFrame(frameTop, closing, ft);
    Draw(frame, 165, Trunc(frameTop), kFrameColour);

    FadeHighlight(itemColour, highlight, ft);
    if (dim && light && frame) {
        lightOffset = SlideTowardNoOvershoot(lightOffset, kItemOffset[highlight], ft);
        const int lw = light->GetWidth();
        const int lh = light->GetHeight();
        const int lx = 320 - lw / 2;
        const int top = Trunc(frameTop + 7);
        const int ly = Trunc(frameTop + lightOffset + 15 - lh / 2);
        DrawLightBand(dim.get(), light.get(), 172, top, frame->GetWidth() - 14,
                      frame->GetHeight() - 14, lx, ly);
    }
    if (screen) {
        for (int i = 0; i < 4; ++i) {
            screen->DrawText(320, Trunc(frameTop + kItemOffset[i]), kItems[i], itemColour[i], 1, 3,
                             1);
        }
        screen->EndFrame(true);
    }
    return StayCode;
}

void MenuState::Choose(bool fadeToBlack) {
    if (fadeToBlack)
        Fade(screen, true);
    closing = true;
    Play(audio, fillOutSound.get());
}

void MenuState::HandleInput() {
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
        Choose(highlight == 3);
        return;
    } else {
        constexpr int kShortcuts[3] = {'J', 'O', 'C'};
        for (int item = 0; item < 3; ++item) {
            if (input->KeyPressed(kShortcuts[item])) {
                Play(audio, hitSound.get());
                highlight = item;
                Choose(false);
                return;
            }
        }
        if (input->KeyPressed('Q') || input->KeyPressed(key::Escape)) {
            Play(audio, hitSound.get());
            highlight = 3;
            Choose(true);
            return;
        }
    }
    highlight = WrapHighlight(highlight, 4);
    const int32_t remembered = highlight;

    const platform::Point mouse = input->CursorPosition();
    if (mouse.x >= 233 && mouse.x <= 406) {
        const float y = static_cast<float>(mouse.y) - frameTop;
        for (int item = 0; item < 4; ++item) {
            const bool inBand =
                (item == 0 ? y >= kBandTop[0] : y > kBandTop[item]) && y <= kBandBottom[item];
            if (!inBand)
                continue;
            highlight = item;
            if (input->KeyPressed(key::LeftButton)) {
                Play(audio, hitSound.get());
                Choose(item == 3);
            }
            break;
        }
    }
    if (highlight != remembered)
        Play(audio, hitSound.get());
}

}  // namespace torvane
