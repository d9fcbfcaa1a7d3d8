// The state machine driver: owns the engines and the current screen, and changes screens.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "app/Directstate.h"
#include "platform/Window.h"

namespace torvane {

class DirectScreen;
class DirectAudio;
class DirectInput;
class DirectPlay;

// The driver's slots, as the screens that replace engines receive them.
struct EngineSlots {
    platform::Window* window = nullptr;
    std::unique_ptr<DirectScreen>* screen = nullptr;
    std::unique_ptr<DirectAudio>* audio = nullptr;
    std::unique_ptr<DirectInput>* input = nullptr;
    std::unique_ptr<DirectPlay>* network = nullptr;
};

// Builds the screen for a state code (1..6), or nullptr when it cannot be built.
using StateFactory = std::function<std::unique_ptr<DirectState>(int32_t code, const EngineSlots&)>;

// The game's own table of screens.
std::unique_ptr<DirectState> CreateScreenFor(int32_t code, const EngineSlots& slots);

inline constexpr const char* kMusicPath = "..\\Ressources\\Music\\Music.wma";

class MainState : public DirectState {
  public:
    // Creates the screen, audio and input engines, starts the music and builds the network
    // browser, the first screen.
    explicit MainState(platform::Window* window, StateFactory factory = CreateScreenFor);
    // Leaves the network session first, then destroys the screen, then the engines.
    ~MainState() override;
    MainState(const MainState&) = delete;
    MainState& operator=(const MainState&) = delete;

    // One frame; answers 1 when the program is to end, 0 otherwise. A screen engine that failed
    // ends the program: its message has been shown and nothing could be seen.
    int32_t Run() override;
    void Activate();
    void Deactivate();

    // Whether a network session is open (the lobby or the game): the others then wait on this
    // game, which keeps running even in the background.
    bool InSession() const { return network != nullptr; }
    DirectState* Current() const { return current.get(); }
    const EngineSlots& Slots() const { return slots; }

  private:
    bool ScreenFailed() const;

    std::unique_ptr<DirectScreen> screen;
    std::unique_ptr<DirectAudio> audio;
    std::unique_ptr<DirectInput> input;
    std::unique_ptr<DirectPlay> network;
    platform::Window* window;
    std::unique_ptr<DirectState> current;
    StateFactory factory;
    EngineSlots slots;
};

}  // namespace torvane
