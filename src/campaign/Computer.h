// Computer players: an orders interface that decides alone, from what any player sees (the
// host's state, the reports, the history, its own nation, government and objective).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "campaign/Orders.h"
#include "game/Random.h"

namespace torvane {

// How well a computer player plans; never what it may see or do.
enum class ComputerLevel : uint8_t { Easy = 0, Medium = 1, Hard = 2 };

// "facile", "moyen", "difficile".
const char* LevelName(ComputerLevel level);
// Reads one of the three names; false (level untouched) for anything else.
bool ParseLevel(std::string_view text, ComputerLevel& level);

class ComputerPlayer : public OrdersInterface {
  public:
    // The same level, seed and views always give the same orders, whatever it decided before:
    // a computer player started again, or taking a game up again from a saved year, plays on
    // exactly as the one before it would have.
    ComputerPlayer(ComputerLevel level, uint64_t seed);

    // Decides at once: orders in the order steps (every one of them accepted by the rules),
    // readiness in the others.
    bool Decide(const TurnView& view, std::vector<Order>& orders) override;

    ComputerLevel Level() const { return level_; }

  private:
    ComputerLevel level_;
    uint64_t seed_;
};

}  // namespace torvane
