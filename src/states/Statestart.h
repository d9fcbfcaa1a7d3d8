// The first screen while the network browser is not built yet: a black frame; Escape quits.
#pragma once

#include "app/Directstate.h"

namespace torvane {

class DirectScreen;
class DirectInput;

class StartState : public DirectState {
  public:
    StartState(DirectScreen* screen, DirectInput* input);
    int32_t Run() override;

  private:
    DirectScreen* screen;
    DirectInput* input;
};

}  // namespace torvane
