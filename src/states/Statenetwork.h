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
struct SavedGame;
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

    // The menu's items from the top, then the list of games (or of saved games) as one more.
    enum Item : int32_t { CreateItem = 0, AddressItem, RefreshItem, ResumeItem, BackItem };
    static constexpr int32_t kListHighlight = 5;
    int32_t Highlight() const { return highlight; }
    // The item at the highlight's place: "- reprendre -" is there only while saves exist.
    int32_t HighlightedItem() const { return ItemAt(highlight); }
    // The saved games (F6 or "- reprendre -") instead of the games found.
    bool ShowingSaves() const { return showingSaves; }
    int SaveCount() const { return static_cast<int>(saveTexts.size()); }
    int32_t SelectedSave() const { return selectedSave; }

    // Where the light band rests or is sliding to, below the frame's top.
    float LightOffset() const { return lightOffset; }
    int32_t Selected() const { return selected; }
    const std::string& Address() const { return address; }
    bool Closing() const { return closing; }
    float FrameTop() const { return frameTop; }
    float Shift() const { return shift; }
    const std::array<uint32_t, 6>& Colours() const { return itemColour; }

  private:
    enum class Step { Create, Search, Join, Resume };

    int ItemCount() const { return saveTexts.empty() ? 4 : 5; }
    int32_t ItemAt(int32_t slot) const;
    int32_t SlotOf(int32_t item) const;
    void LoadSaves();
    void ShowSaves(bool shown);
    void HandleSavesInput();
    void DrawSaves();

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
    std::array<uint32_t, 6> itemColour;

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
    // The saved games, newest first, with what their boxes and their detail say.
    struct SaveTexts {
        uint64_t gameId = 0;
        std::shared_ptr<const SavedGame> game;  // null for a file that cannot be read
        std::string title;                      // the host's name
        std::string summary;                    // "1874 - 3 nations"
        std::string date;                       // "09/12/2026"
        std::string time;                       // "21:04"
        std::array<std::string, 8> nations;     // "Irak : Hote", empty for a nation not in it
    };
    std::vector<SaveTexts> saveTexts;
    bool showingSaves = false;
    int32_t selectedSave = 0;
    std::string addressItem;
    std::vector<PartyTexts> partyTexts;
};

}  // namespace torvane
