// The credits sub-screen of the menu: the lines scroll up through a band and close by themselves.
#pragma once

#include <string>
#include <vector>

#include "app/Directstate.h"

namespace torvane {

class DirectScreen;
class DirectInput;

class CreditsState : public DirectState {
  public:
    CreditsState(DirectScreen* screen, DirectInput* input);
    // Runs inside the menu's frame: answers 1 once finished, else 0.
    int32_t Run() override;

    const std::vector<std::string>& Lines() const { return lines; }
    // A line that opens the list or follows an empty one is a heading.
    bool IsHeading(size_t index) const;

  private:
    DirectScreen* screen;
    DirectInput* input;
    std::vector<std::string> lines;
    int32_t scrollTime = 0;
};

}  // namespace torvane
