// The game's table of screens: which screen each state code builds.
#include "app/Statemain.h"
#include "audio/Directaudio.h"
#include "game/Stategame.h"
#include "input/Directinput.h"
#include "lobby/Statepaysgov.h"
#include "network/Directplay.h"
#include "screen/Directscreen.h"
#include "states/Statemenu.h"
#include "states/Statename.h"
#include "states/Statenetwork.h"
#include "states/Statevideointro.h"

namespace torvane {

std::unique_ptr<DirectState> CreateScreenFor(int32_t code, const EngineSlots& slots) {
    DirectScreen* screen = slots.screen ? slots.screen->get() : nullptr;
    DirectAudio* audio = slots.audio ? slots.audio->get() : nullptr;
    DirectInput* input = slots.input ? slots.input->get() : nullptr;
    switch (code) {
        case VideoIntroCode:
            return std::make_unique<VideoIntroState>(slots.window, slots.screen, slots.audio,
                                                     slots.input);
        case MainMenuCode:
            return std::make_unique<MenuState>(screen, audio, input);
        case PlayerNameCode:
            return std::make_unique<NameState>(screen, audio, input);
        case NetworkBrowserCode:
            return std::make_unique<NetworkState>(screen, audio, input, slots.network);
        case LobbyCode:
            return std::make_unique<PaysGovState>(screen, audio, input, slots.network);
        case GameCode:
            return std::make_unique<GameState>(screen, audio, input, slots.network);
        default:
            return nullptr;
    }
}

}  // namespace torvane
