// The credits sub-screen of the menu: the lines scroll up through a band and close by themselves.
#include "states/Statecredits.h"

#include "input/Directinput.h"
#include "states/Frontend.h"

namespace torvane {

CreditsState::CreditsState(DirectScreen* screen, DirectInput* input)
    : screen(screen),
      input(input),
      lines{"TORVANE",
            "Alpha 3.00",
            "",
            "\xC9lise Marchand",
            "Conception",
            "Programmation",
            "Graphismes",
            "Effets sonores",
            "Tests",
            "",
            "Th\xE9o Garnier",
            "Vid\xE9o",
            "",
            "Camille Roussel",
            "Graphismes",
            "Tests",
            "",
            "Julien Ferrand",
            "Tests",
            "",
            "Margaux Dupin",
            "Tests"} {}

bool CreditsState::IsHeading(size_t index) const {
    return index == 0 || (index < lines.size() && lines[index - 1].empty());
}

int32_t CreditsState::Run() {
    scrollTime += FrameTime(screen);
    const int32_t base = 370 - scrollTime / 100;
    bool finished = true;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int32_t y = static_cast<int32_t>(i) * 27 + base;
        if (y > 370)
            break;
        if (y >= 120) {
            finished = false;
            if (screen) {
                if (IsHeading(i)) {
                    screen->DrawText(320, y, lines[i], kTextGreen, 1, 4, 1);
                } else {
                    screen->DrawText(320, y, lines[i], 0x7F102D19, 1, 2, 1);
                }
            }
        }
    }
    if (finished)
        return 1;
    if (input && (input->KeyPressed(key::LeftButton) || input->KeyPressed(key::Return) ||
                  input->KeyPressed(key::Space) || input->KeyPressed(key::Escape))) {
        return 1;
    }
    return 0;
}

}  // namespace torvane
