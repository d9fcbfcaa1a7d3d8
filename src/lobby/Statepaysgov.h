// The lobby: every player chooses a nation and a government, the host the objective mode, and
// all leave together for the game once everybody is ready.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "app/Directstate.h"
#include "network/Directplay.h"
#include "platform/Window.h"
#include "states/Chatbox.h"

namespace torvane {

class DirectScreen;
class DirectAudio;
class DirectInput;
class Image;
class SoundEffect;

// The nations that more than one of `records` holds, bit n for nation n; with `readyOnly` only
// ready records count. A record without a nation, or with one out of range, holds none.
uint8_t SharedNations(std::span<const PlayerInfo> records, bool readyOnly);

// A game taken up again: the host's record says so with the status it was saved in
// (reservedWord, 0 for a new game) and its seating tells the saved nations, governments and
// players' names.
uint32_t ResumedStatusOf(const PlayerInfo& hostRecord);
// Whether `nation` was in the saved game, and its saved government (-1 when it was not).
int8_t SavedGovernment(const Seating& saved, int nation);
// The nation a player named `name` takes in a game taken up again: the one saved under its
// name, unless a record other than `selfId` holds it; -1 otherwise.
int SavedNationOf(const Seating& saved, std::span<const PlayerInfo> records, int32_t selfId,
                  std::string_view name);
// A saved nation no record other than `selfId` holds, the lowest first; -1 when none is left.
int FreeSavedNation(const Seating& saved, std::span<const PlayerInfo> records, int32_t selfId);

class PaysGovState : public DirectState, public Listener {
  public:
    // The session never holds more than eight players; rows past that are not shown.
    static constexpr int kMaxRows = 8;

    enum Mode : int32_t {
        FirstNation = 0,
        FirstGovernment = 1,
        List = 2,
        NationChange = 3,
        GovernmentChange = 4,
    };

    // Registers itself as the listener of the engine in `networkSlot` (when there is one) and
    // fades in from black.
    PaysGovState(DirectScreen* screen, DirectAudio* audio, DirectInput* input,
                 std::unique_ptr<DirectPlay>* networkSlot);
    ~PaysGovState() override;
    PaysGovState(const PaysGovState&) = delete;
    PaysGovState& operator=(const PaysGovState&) = delete;

    // 0 to stay, 6 into the game once the host has started, 4 back to the browser (the network
    // engine is then destroyed and its slot emptied).
    int32_t Run() override;

    void OnPlayerJoined(const std::string& name) override;
    void OnPlayerLost(const std::string& name) override;
    void OnPlayerRemoved(const std::string& name) override;
    void OnTextMessage(int32_t senderId, const std::string& text, int32_t number) override;
    void OnTerritories(int32_t senderId, const TerritoryTable& table) override;
    void OnValueMessage(int32_t senderId, int32_t number) override;
    void OnByteMessage(int32_t senderId, uint8_t value) override;
    void OnSessionTerminated() override;

    int32_t CurrentMode() const { return mode; }
    // A saved game taken up again: its nations and governments are fixed.
    bool Resuming() const { return resuming; }
    const Seating& SavedSeats() const { return savedSeats; }
    int32_t ListCursor() const { return listCursor; }
    int32_t NationCursor() const { return nationCursor; }
    const ChatBox& Chat() const { return chat; }
    int HostClock() const { return hostClock; }
    int32_t GovernmentCursor() const { return governmentCursor; }
    int32_t SelectedRow() const { return selectedRow; }
    bool Leaving() const { return leaving; }
    bool BackToBrowser() const { return backToBrowser; }
    bool Disconnected() const { return disconnected; }
    float NationOffset() const { return nationOffset; }
    float GovernmentOffset() const { return governmentOffset; }
    float StartHighlight() const { return highlight; }
    float Glow(int nation) const;
    // Whether row `row` of the list, as last drawn, holds a nation that another row holds too.
    bool NationClash(int row) const;

    // Where a nation's mark sits on the map, and the centre of its thumbnail in the nation
    // chooser at rest; (0, 0) outside 0..7.
    static platform::Point MapPoint(int nation);
    static platform::Point ChooserPoint(int nation);
    // The nation whose chooser point, shifted down by `offset`, is nearest to (x, y) (the lower
    // index on a tie), and that squared distance.
    static int NearestChooserNation(int x, int y, int offset, int32_t& squaredDistance);

  protected:
    // Runs when the host's start has found everybody ready on nations of their own, just before
    // the engine advances. A player may withdraw its ready mark, or turn up on another's nation, in
    // that gap (the network thread updates the table at any time); the checks after it then
    // refuse the start. Tests put such a change here.
    virtual void StartChecked() {}

  private:
    // True once the host has moved the session into the game.
    bool HostHasStarted() const;
    DirectPlay* Network() const;
    bool IsHost() const;
    void Click();
    void Refuse();

    void HandleNationChooser();
    void HandleGovernmentChooser();
    void HandleList();
    bool HandleObjective(bool click, const platform::Point& mouse);
    void ChooseNation(int nation);
    void ChooseGovernment(int government);
    void ReleaseNation();
    // The local player's record as the table holds it; false without one.
    bool CopyLocal(PlayerInfo& record) const;
    // True while two ready players of the table hold one nation: the game cannot start so.
    bool ReadyNationsShared() const;
    void Publish(const PlayerInfo& record);
    // False, staying in the lobby, when the engine refused to advance.
    bool StartGame();
    void ReturnToBrowser();
    void LeaveSession(bool lost);
    void UpdateReadyMark();
    // F3 (host): a computer player joins; Suppr on its row (host): it leaves.
    void AddComputer();
    void RemoveComputer(int row);

    // A game taken up again (the host from its saved game, the others from the host's record
    // and seating): fixed nations and governments, the one saved under this player's name taken
    // at once.
    void ReadResume();
    void TakeSavedNation();
    bool SavedChoicesHeld() const;

    void TakeSnapshot();
    void TakeTable();
    void MarkSharedNations();
    void DrawFrame();
    void DrawStartPanel();
    void DrawObjectivePanel();
    void DrawList();
    void DrawNationChooser();
    void DrawGovernmentChooser();
    const std::string& LatencyText(int row, int32_t latency);

    DirectScreen* screen;
    DirectAudio* audio;
    DirectInput* input;
    std::unique_ptr<DirectPlay>* networkSlot;

    std::unique_ptr<Image> miniFrame;
    std::unique_ptr<Image> networkIcon;
    std::unique_ptr<Image> bar;
    std::unique_ptr<Image> notReadyIcon;
    std::unique_ptr<Image> readyIcon;
    std::unique_ptr<Image> serverIcon;
    std::unique_ptr<Image> homeIcon;
    std::unique_ptr<Image> rowPlain;
    std::unique_ptr<Image> rowTinted;
    std::unique_ptr<Image> objectivePanel;
    std::unique_ptr<Image> startPanel;
    std::unique_ptr<Image> buttons;
    std::unique_ptr<Image> background;
    std::unique_ptr<Image> point;
    std::unique_ptr<Image> nationPanel;
    std::unique_ptr<Image> thumbnailFrame;
    std::unique_ptr<Image> dim;
    std::unique_ptr<Image> light;
    std::array<std::unique_ptr<Image>, 8> flags;
    std::array<std::unique_ptr<Image>, 8> portraits;
    std::array<std::unique_ptr<Image>, 3> emblems;
    std::unique_ptr<Image> conquestIcon;
    std::unique_ptr<Image> spyIcon;
    std::array<std::unique_ptr<Image>, 3> governmentPictures;
    std::unique_ptr<Image> governmentPanel;

    std::unique_ptr<SoundEffect> hitSound;
    std::unique_ptr<SoundEffect> failedSound;
    std::array<std::unique_ptr<SoundEffect>, 8> nationSounds;
    std::array<std::unique_ptr<SoundEffect>, 3> governmentSounds;

    int32_t mode = FirstNation;
    int32_t listCursor = 0;
    int32_t nationCursor = 0;
    int32_t governmentCursor = 0;
    int32_t selectedRow = 0;
    bool leaving = false;
    bool backToBrowser = false;
    bool disconnected = false;
    float nationOffset = -400.0f;
    float governmentOffset = -400.0f;
    float highlight = 0.0f;
    std::array<float, 8> glow{};

    // The players table as read once for this frame's drawing.
    std::array<PlayerInfo, kMaxRows> rows{};
    int rowCount = 0;
    int32_t localId = 0;
    int32_t hostId = 0;
    bool host = false;
    bool allReady = false;
    int8_t hostObjective = 0;
    int hostClock = 0;  // the phase clock's choice
    bool hostKnown = false;
    // Nations held by more than one row (bit n for nation n), by more than one ready row, and the
    // rows marked for it.
    uint8_t sharedNations = 0;
    uint8_t readySharedNations = 0;
    std::array<bool, kMaxRows> clashRows{};

    // Texts built once, so that drawing a frame builds none.
    struct GovernmentTexts {
        std::string name, description, army, boat, espionage, revenue, counterEspionage, abilities;
    };
    std::array<GovernmentTexts, 3> governmentTexts;
    std::array<std::string, 9> nationNames;  // the eight nations, then "En cours..."
    std::array<std::string, 4> governmentNames;
    std::array<std::string, 5> labels;
    std::array<std::string, 5> columnTitles;
    std::string descriptionLabel, startText, backText, objectiveTitle, worldText, customText,
        disconnectedText, clashMark, clashHint, computerTag, addComputerHint;
    // What friends type to reach the host's game from the internet, once the router forwards
    // its ports: rebuilt only when the router's answer changes.
    uint32_t publicAddress = 0;
    std::string publicAddressText;
    bool resuming = false;
    bool savedNationTried = false;
    Seating savedSeats{};
    uint32_t savedStatus = 0;
    std::string resumeText;  // "Reprise : 1874"
    ChatBox chat{screen, audio, input};
    std::array<int32_t, kMaxRows> latencyShown{};
    std::array<std::string, kMaxRows> latencyTexts;
};

}  // namespace torvane
