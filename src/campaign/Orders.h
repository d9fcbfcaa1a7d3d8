// Where a player's decisions come from during a campaign: the game screen asks one orders
// interface (the board, a computer player, a test script) and does not care which.
#pragma once

#include <cstdint>
#include <vector>

#include "campaign/Campaign.h"

namespace torvane {

class DirectLog;

// What the player knows when it is asked to act: only what every player sees (the host's state,
// the reports, the history) and its own nation, government and objective.
struct TurnView {
    uint32_t status = 0;  // the status to act in (even)
    CampaignStep step = CampaignStep::None;
    int8_t nation = -1;
    int8_t government = -1;
    int8_t objective = -1;
    const CampaignState* state = nullptr;
    const Governments* governments = nullptr;
    const DirectLog* history = nullptr;
    // This year's battles, once the moves are resolved (read in the war report).
    const PhaseReport* battles = nullptr;
    // The year's statistics panel has been closed on the screen.
    bool yearPanelClosed = false;
};

class OrdersInterface {
  public:
    virtual ~OrdersInterface() = default;

    // Asked once per frame while the objective panel is shown; true closes it. A player that
    // reads no screen closes it at once.
    virtual bool CloseObjective() { return true; }
    // Asked once per frame while the victory or defeat panel is shown; true closes it and
    // leaves the game.
    virtual bool CloseEnd() { return true; }

    // Asked once per frame while the local player owes something in `view.step`: its orders in
    // the order steps (Purchases, Moves, Spies), its readiness in the others (the year's start,
    // the war report). Returns true when the player is done; in the order steps `orders` then
    // holds what to send (at most kMaxOrders; an empty list gives no order). Until it answers
    // true it is asked again on the next frame.
    virtual bool Decide(const TurnView& view, std::vector<Order>& orders) = 0;

    // Asked once when the phase clock runs out before Decide answered true in `view.status`:
    // what the player had drafted so far, sent as if it had finished. Nothing by default.
    virtual void Drafted(const TurnView& view, std::vector<Order>& orders) {
        (void)view;
        (void)orders;
    }
};

}  // namespace torvane
