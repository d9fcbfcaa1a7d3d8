// The screen interface every game screen implements, and the codes a screen answers.
#pragma once

#include <cstdint>

namespace torvane {

// What a screen's Run answers: 0 stay, otherwise the screen the driver builds next.
enum StateCode : int32_t {
    StayCode = 0,
    VideoIntroCode = 1,
    MainMenuCode = 2,
    PlayerNameCode = 3,
    NetworkBrowserCode = 4,
    LobbyCode = 5,
    GameCode = 6,
    QuitCode = 7,
};

class DirectState {
  public:
    virtual ~DirectState() = default;
    // Draws one frame and answers a StateCode.
    virtual int32_t Run() = 0;
};

}  // namespace torvane
