// A computer player that passes: it closes every panel, gives no orders and is always ready.
#include "game/Computer.h"

namespace torvane {

const char* LevelName(ComputerLevel level) {
    switch (level) {
        case ComputerLevel::Easy:
            return "facile";
        case ComputerLevel::Hard:
            return "difficile";
        default:
            return "moyen";
    }
}

bool ParseLevel(std::string_view text, ComputerLevel& level) {
    for (const ComputerLevel candidate :
         {ComputerLevel::Easy, ComputerLevel::Medium, ComputerLevel::Hard}) {
        if (text == LevelName(candidate)) {
            level = candidate;
            return true;
        }
    }
    return false;
}

ComputerPlayer::ComputerPlayer(ComputerLevel level, uint64_t seed) : level_(level), random_(seed) {}

bool ComputerPlayer::Decide(const TurnView&, std::vector<Order>& orders) {
    orders.clear();
    return true;
}

}  // namespace torvane
