// The network game browser: create a game, search the network or an address, join a found game.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Directstate.h"
#include "platform/SeatStore.h"

namespace torvane {

class DirectScreen;
class DirectAudio;
class DirectInput;
class DirectPlay;
class Image;
class SoundEffect;

// The setting "ConnectIP" as the browser starts with it: only its first characters are looked at,
// and a hand-edited value is cut to what the address entry would accept.
std::string StoredConnectAddress();

class NetworkState : public DirectState {
  public:
    // Creates the network engine in the driver's slot (replacing one left there) and searches
    // the local network at once.
    NetworkState(DirectScreen* screen, DirectAudio* audio, DirectInput* input,
                 std::unique_ptr<DirectPlay>* networkSlot);
    ~NetworkState() override;
    // 0 to stay, 5 into the lobby after creating or joining, 3 to the player name, 4 for a fresh
    // browser after a failed create.
    int32_t Run() override;

    int32_t Highlight() const { return highlight; }

    // Where the light band rests or is sliding to, below the frame's top.
    float LightOffset() const { return lightOffset; }
    int32_t Selected() const { return selected; }
    const std::string& Address() const { return address; }
    bool Closing() const { return closing; }
    float FrameTop() const { return frameTop; }
    float Shift() const { return shift; }
    const std::array<uint32_t, 5>& Colours() const { return itemColour; }

  private:
    enum class Step { Create, Search, Join };

    DirectPlay* Network() const;
    int PartyCount() const;
    void HandleInput();
    void TryJoin();
    void Close(bool fadeToBlack);
    bool RunStep(Step step, const std::string& hostName);
    void DrawWaitingBox(Step step);
    void RefreshTexts();

    std::unique_ptr<DirectPlay>* networkSlot;
    DirectInput* input;
    DirectAudio* audio;
    DirectScreen* screen;
    std::unique_ptr<Image> background;
    std::unique_ptr<Image> partyFrame;
    std::unique_ptr<Image> frame;
    std::unique_ptr<Image> networkIcon;
    std::unique_ptr<Image> dim;
    std::unique_ptr<Image> light;
    std::unique_ptr<SoundEffect> hitSound;
    std::unique_ptr<SoundEffect> fillInSound;
    std::unique_ptr<SoundEffect> fillOutSound;
    std::unique_ptr<SoundEffect> searchSound;
    std::unique_ptr<SoundEffect> failedSound;
    int32_t returnItem = 0;
    int32_t highlight = 0;
    int32_t selected = 0;
    std::string address;
    float lightOffset = 25.0f;
    bool closing = false;
    float frameTop = -300.0f;
    float shift = 176.0f;
    std::array<uint32_t, 5> itemColour;

    // Texts built when the address or the list changes, never per frame.
    struct PartyTexts {
        std::string players;
        std::string version;
        std::string latency;
        bool sameVersion = false;
        // A running game: joinable only with the seat this player keeps for it.
        bool running = false;
        std::optional<platform::Seat> seat;
    };
    platform::SeatStore seats;
    std::string addressItem;
    std::vector<PartyTexts> partyTexts;
};

}  // namespace torvane
