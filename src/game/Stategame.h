// The game screen: the start of a game (dealing the world and the objectives), the objective
// panel, the year banner, the ring of players and the statistics panel.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "app/Directstate.h"
#include "game/Directlog.h"
#include "network/Directplay.h"

namespace torvane {

class DirectScreen;
class DirectAudio;
class DirectInput;
class Image;
class SoundEffect;
struct Objectif;

class GameState : public DirectState, public Listener {
  public:
    // The network engine is always reached through the driver's slot: the driver may destroy it
    // before this screen.
    GameState(DirectScreen* screen, DirectAudio* audio, DirectInput* input,
              std::unique_ptr<DirectPlay>* networkSlot);
    ~GameState() override;
    GameState(const GameState&) = delete;
    GameState& operator=(const GameState&) = delete;

    // One frame: 0 to stay, 4 (network browser) once the game has been left.
    int32_t Run() override;

    void OnPlayerJoined(const std::string& name) override;
    void OnPlayerLost(const std::string& name) override;
    void OnPlayerRemoved(const std::string& name) override;
    void OnTextMessage(int32_t senderId, const std::string& text, int32_t number) override;
    void OnTerritories(int32_t senderId, const TerritoryTable& table) override;
    void OnValueMessage(int32_t senderId, int32_t number) override;
    void OnByteMessage(int32_t senderId, uint8_t value) override;
    void OnSessionTerminated() override;

    // Fades out towards the network browser.
    void Leave();

    enum Mode : int32_t { Waiting = -1, Playing = 0, ShowingObjective = 1 };
    int32_t GetMode() const { return mode; }
    const DirectLog& History() const { return history; }
    uint8_t PendingObjective() const { return pendingObjective; }
    bool MapDealt() const { return mapDealt; }
    bool Leaving() const { return leaving; }
    bool Disconnected() const { return disconnected; }
    bool BannerDismissed() const { return bannerDismissed; }
    int32_t FocusedButton() const { return focusedButton; }
    int32_t StatsTabIndex() const { return statsTabIndex; }
    float ObjectivePanelY() const { return objectivePanelY; }
    float BannerY() const { return bannerY; }
    float StatsPanelY() const { return statsPanelY; }
    float ShownProgress() const { return shownProgress; }
    float WaitTimer() const { return waitTimer; }

  private:
    DirectPlay* Network() const;
    void RunStartProtocol();
    void DealWorld(DirectPlay& network);
    void RunYearCycle();

    void RefreshLocalTexts(const PlayerInfo& local);
    int32_t CachedProgress(int back);
    void CloseObjectivePanel();
    void HandleObjectiveInput();
    void DrawObjectivePanel();
    void DrawWaitingNotice();
    void DrawDisconnectedNotice();
    void DrawBanner(int32_t year);
    void HandleBannerInput();
    void DrawRing();
    void DrawStatsPanel(bool shown);
    void HandleStatsInput();
    void DrawPlayerArt(int nation, int government, int32_t x, int32_t y, uint32_t colour);

    DirectScreen* screen;
    DirectAudio* audio;
    DirectInput* input;
    std::unique_ptr<DirectPlay>* networkSlot;
    DirectLog history;
    uint8_t pendingObjective = 255;
    std::unique_ptr<Image> miniFrame;
    std::unique_ptr<Image> networkIcon;
    float waitTimer = 0.0f;
    float bannerY = -400.0f;
    bool bannerDismissed = false;
    bool mapDealt = false;
    std::unique_ptr<Image> upArrow;
    std::unique_ptr<Image> downArrow;
    float objectivePanelY = -400.0f;
    float shownProgress = 0.0f;
    std::unique_ptr<Image> objectivePanel;
    std::unique_ptr<Image> fillBar;
    std::unique_ptr<Image> okButton;
    std::unique_ptr<Image> closeButton;
    int32_t focusedButton = 0;
    int32_t mode = Waiting;
    bool disconnected = false;
    std::array<std::unique_ptr<Image>, 8> flags;
    std::array<std::unique_ptr<Image>, 8> portraits;
    std::array<std::unique_ptr<Image>, 3> emblems;
    std::unique_ptr<Image> statsPanel;
    std::unique_ptr<Image> statsTab;
    float statsPanelY = -400.0f;
    int32_t statsTabIndex = 0;
    std::unique_ptr<SoundEffect> hitSound;
    std::unique_ptr<SoundEffect> searchSound;
    std::unique_ptr<SoundEffect> failedSound;
    std::unique_ptr<Image> newYearBanner;
    bool leaving = false;

    // The lobby's objective choice, read from the host's record when the game began: a host that
    // takes over during the start deals in the same mode.
    bool personalised = false;
    bool hostAtStart = false;

    // Texts and figures rebuilt only when what they show changes.
    struct LocalTexts {
        int8_t nation = -2;
        int8_t government = -2;
        int8_t objective = -3;
        std::array<char, kPlayerNameSize> name{};
        const Objectif* objectif = nullptr;
        std::string playerName;
        std::string leaderTitle;
        std::string objectiveHeading;  // "Objectif :" and the title
        std::string description;       // indented and wrapped
    } local;
    int32_t progressHistoryCount = -1;
    int8_t progressNation = -2;
    const Objectif* progressObjective = nullptr;
    std::array<int32_t, 2> progress{};
    int32_t shownPercent = -1;
    std::string percentText;  // "p %"
    int32_t statsPercent = -2;
    std::string statsObjectiveLine;  // "title (p%)"
    int32_t bannerYear = 0;
    std::string bannerYearText;
    int32_t statsYear = 0;
    std::string statsYearText;  // "année Y"
    std::array<std::string, 5> waitingTexts;
    std::array<std::string, 4> statsHeadings;
    std::array<std::string, 4> tabNames;
    std::array<std::string, 8> ringNames;
    std::string disconnectedText;
    std::string objectiveLabel;
    std::string doneLabel;
};

}  // namespace torvane
