// The state machine driver: owns the engines and the current screen, and changes screens.
#include "app/Statemain.h"

#include "app/ComputerSeats.h"
#include "audio/Directaudio.h"
#include "input/Directinput.h"
#include "network/Directplay.h"
#include "screen/Directscreen.h"

namespace torvane {

MainState::MainState(platform::Window* window, StateFactory factory)
    : window(window), factory(std::move(factory)) {
    slots = {window, &screen, &audio, &input, &network};
    screen = std::make_unique<DirectScreen>(window);
    // Without a working screen engine nothing can be seen: its message has been shown, and with
    // no first screen the first frame ends the game.
    if (ScreenFailed())
        return;
    audio = std::make_unique<DirectAudio>(window);
    input = std::make_unique<DirectInput>(window);
    audio->PlayMedia(kMusicPath);
    network = nullptr;
    if (this->factory)
        current = this->factory(NetworkBrowserCode, slots);
}

MainState::~MainState() {
    // Leave the session before the screen that listens to it goes; the computer players this
    // game started go with it.
    network.reset();
    Computers().EndAll();
    current.reset();
    screen.reset();
    audio.reset();
    input.reset();
}

int32_t MainState::Run() {
    if (!current || ScreenFailed())
        return 1;
    const int32_t code = current->Run();
    // A screen engine re-created during the frame (after the intro film) may have failed.
    if (ScreenFailed())
        return 1;
    // Back in the browser, or on the way out, the game is left: so are its computer players.
    if (code == NetworkBrowserCode || code == QuitCode)
        Computers().EndAll();
    if (code >= VideoIntroCode && code <= GameCode) {
        // The old screen releases its pictures and sounds before the next one loads its own.
        current.reset();
        if (factory)
            current = factory(code, slots);
        return 0;
    }
    if (code == QuitCode) {
        current.reset();
        return 1;
    }
    return 0;
}

bool MainState::ScreenFailed() const {
    // An empty slot is no failure: the intro film runs without the engine.
    return screen && !screen->IsReady();
}

void MainState::Deactivate() {
    if (audio && audio->IsMediaRunning())
        audio->TogglePause();
}

void MainState::Activate() {
    if (audio && !audio->IsMediaRunning())
        audio->TogglePause();
}

}  // namespace torvane
