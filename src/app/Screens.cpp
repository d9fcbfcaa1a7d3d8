// The game's table of screens: which screen each state code builds.
#include "app/Statemain.h"
#include "states/Statestart.h"

namespace torvane {

std::unique_ptr<DirectState> CreateScreenFor(int32_t code, const EngineSlots& slots) {
    switch (code) {
        case NetworkBrowserCode:
            return std::make_unique<StartState>(slots.screen->get(), slots.input->get());
        default:
            return nullptr;
    }
}

}  // namespace torvane
