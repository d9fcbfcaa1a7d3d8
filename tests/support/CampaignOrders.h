// Orders that look like a player's, drawn from a seeded generator: purchases on the nation's own
// territories, moves towards a neighbour (now and then across the sea) and spy missions on
// foreign territories. Some of them are bound to be refused (too dear, too many troops, no
// boats), as a player's would be.
#pragma once

#include <algorithm>
#include <vector>

#include "campaign/Campaign.h"
#include "game/Game.h"
#include "game/Random.h"

namespace torvane::test {

inline std::vector<Order> PlayerLikeOrders(const CampaignState& state, int nation,
                                           CampaignStep step, int count, RandomGenerator& random) {
    std::vector<int> owned;
    std::vector<int> foreign;
    for (int index = 0; index < TerritoryCount; ++index) {
        const int owner = state.table[static_cast<size_t>(index)].owner;
        if (owner == nation)
            owned.push_back(index);
        else if (owner >= 0)
            foreign.push_back(index);
    }
    std::vector<Order> orders;
    if (owned.empty())
        return orders;
    for (int k = 0; k < count; ++k) {
        const int from = owned[static_cast<size_t>(random.Next(static_cast<int>(owned.size())))];
        const TerritoryInfo& territory = state.table[static_cast<size_t>(from)];
        Order order;
        order.from = static_cast<uint8_t>(from);
        switch (step) {
            case CampaignStep::Purchases:
                order.kind = static_cast<OrderKind>(1 + random.Next(4));
                order.amount = 1 + random.Next(20);
                break;
            case CampaignStep::Moves: {
                order.kind = OrderKind::Move;
                const NeighbourList list = NeighboursOf(from);
                if (list.count == 0 || random.Next(4) == 0)
                    order.to = static_cast<uint8_t>(random.Next(TerritoryCount));
                else
                    order.to = static_cast<uint8_t>(list.index[random.Next(list.count)]);
                order.amount = 1 + random.Next(std::max(1, territory.army / 3));
                break;
            }
            default:
                order.kind = OrderKind::Spy;
                order.to = foreign.empty() ? static_cast<uint8_t>(from)
                                           : static_cast<uint8_t>(foreign[static_cast<size_t>(
                                                 random.Next(static_cast<int>(foreign.size())))]);
                order.amount = random.Next(kMissionCount);
                break;
        }
        orders.push_back(order);
    }
    return orders;
}

}  // namespace torvane::test
