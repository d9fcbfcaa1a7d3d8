// The first screen while the network browser is not built yet: a black frame; Escape quits.
#include "states/Statestart.h"

#include "input/Directinput.h"
#include "screen/Directscreen.h"

namespace torvane {

StartState::StartState(DirectScreen* screen, DirectInput* input) : screen(screen), input(input) {
    if (screen)
        screen->ResetFrameClock();
}

int32_t StartState::Run() {
    if (input)
        input->Update();
    if (input && input->KeyPressed(27))
        return QuitCode;
    if (screen) {
        screen->FadeDone();
        screen->BeginFrame();
        screen->EndFrame(true);
    }
    return StayCode;
}

}  // namespace torvane
