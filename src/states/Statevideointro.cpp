// The intro film over the whole window, then the title picture until a key, then the menu.
#include "states/Statevideointro.h"

#include <chrono>
#include <thread>

#include "app/Statemain.h"
#include "input/Directinput.h"
#include "states/Frontend.h"

namespace torvane {
namespace {

constexpr const char* kFilmPath = "..\\Ressources\\Videos\\Quillmere.avi";
constexpr const char* kTitlePath = "..\\Ressources\\Graphics\\Fond\\Title.jpg";

}  // namespace

VideoIntroState::VideoIntroState(platform::Window* window,
                                 std::unique_ptr<DirectScreen>* screenSlot,
                                 std::unique_ptr<DirectAudio>* audioSlot,
                                 std::unique_ptr<DirectInput>* inputSlot)
    : screenSlot(screenSlot), window(window) {
    if (screenSlot)
        screenSlot->reset();
    if (audioSlot) {
        if (!*audioSlot)
            *audioSlot = std::make_unique<DirectAudio>(window);
        audio = audioSlot->get();
    }
    if (audio)
        audio->PlayMedia(kFilmPath);
    if (inputSlot) {
        if (!*inputSlot)
            *inputSlot = std::make_unique<DirectInput>(window);
        input = inputSlot->get();
    }
    phase = 0;
}

VideoIntroState::~VideoIntroState() = default;

bool VideoIntroState::SkipPressed() {
    return input && (input->KeyPressed(key::Escape) || input->KeyPressed(key::Space) ||
                     input->KeyPressed(key::Return) || input->KeyPressed(key::LeftButton));
}

void VideoIntroState::DrawTitle() {
    if (!screen)
        return;
    screen->BeginFrame();
    Draw(title, 0, 0);
    screen->DrawText(630, 450, std::string("v ") + kGameVersion, 0xFFFF9F31, 1, 2, 2);
    screen->EndFrame(false);
}

void VideoIntroState::DrawEmptyFrame() {
    if (!screen)
        return;
    screen->BeginFrame();
    screen->EndFrame(false);
}

int32_t VideoIntroState::Run() {
    if (input)
        input->Update();
    if (phase == 0) {
        const bool running = audio && audio->IsMediaRunning();
        if (!running || SkipPressed()) {
            if (audio) {
                audio->StopMedia();
                audio->PlayMedia(kMusicPath);
            }
            if (screenSlot) {
                *screenSlot = std::make_unique<DirectScreen>(window);
                screen = screenSlot->get();
            }
            if (screen)
                screen->Fade(false, 1000, 0);
            title = Load(screen, kTitlePath);
            phase = 1;
        } else {
            // Nothing is drawn while the film plays: the media player paints the window, so no
            // present paces this loop; let the film's threads have the processor.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return StayCode;
    }
    if (phase == 1) {
        if (screen)
            screen->FadeDone();
        if (SkipPressed()) {
            if (!FadeFinished(screen)) {
                DrawEmptyFrame();
                return MainMenuCode;
            }
            Fade(screen, true);
            phase = 2;
        }
        DrawTitle();
        return StayCode;
    }
    if (FadeFinished(screen)) {
        DrawEmptyFrame();
        Fade(screen, false);
        return MainMenuCode;
    }
    DrawTitle();
    return StayCode;
}

}  // namespace torvane
