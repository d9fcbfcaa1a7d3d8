// The game screen: the start of a game (dealing the world and the objectives), the objective
// panel, the year banner, the ring of players and the statistics panel.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/Directstate.h"
#include "campaign/Campaign.h"
#include "campaign/Computer.h"
#include "campaign/Orders.h"
#include "game/Directlog.h"
#include "game/Stategamestats.h"
#include "network/Directplay.h"
#include "platform/SeatStore.h"
#include "states/Chatbox.h"

namespace platform {
class SaveStore;
}

namespace torvane {

class BoardView;
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
    void OnCampaignState(int32_t senderId, const StateMessage& message) override;
    void OnOrders(int32_t senderId, const OrdersMessage& message) override;
    void OnReport(int32_t senderId, const PhaseReport& report) override;
    void OnGameEnd(int32_t senderId, uint8_t winners) override;
    void OnSeating(int32_t senderId, const Seating& seating) override;
    void OnSeat(int32_t senderId, int8_t nation, uint64_t token) override;
    void OnHistory(int32_t senderId, const HistoryEntry& entry) override;
    void OnSeatClaimed(int32_t playerId, int8_t nation) override;

    // Where this player's decisions come from (not owned; it must outlive this screen or be
    // cleared). Without one the keyboard and the panels decide: Return ends a phase.
    void SetOrdersInterface(OrdersInterface* orders) { ordersInterface = orders; }

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

    // The campaign as this player holds it: the host's last state and the status it is for.
    const CampaignState& HeldState() const { return held; }
    uint32_t HeldStatus() const { return heldStatus; }
    // How many times this player took the campaign over from a lost host.
    int32_t TakeOvers() const { return takeOvers; }
    // Each year's battles and missions, as reported by the host, oldest first.
    struct YearReport {
        int32_t year = 0;
        PhaseReport battles;
        PhaseReport missions;
    };
    const std::vector<YearReport>& Reports() const { return reports; }
    const Governments& NationGovernments() const { return governments; }
    // The winners once the host has ended the game (bit n: nation n); 0 while it goes on.
    uint8_t Winners() const { return winners; }
    bool GameOver() const { return gameOver; }
    // What the statistics panel's "Revenus", "Objectif" and "Guerres" tabs show: the figures
    // of the last of those tabs drawn, and how many times figures were built (once each time
    // the tab, the year, the history, the state held or the reports change).
    const StatsFigures& StatsContent() const { return stats; }
    int32_t StatsBuilds() const { return statsBuilds; }

    // Orders messages the host refused: from a player for another nation, for another status,
    // or a second time in one status.
    uint64_t RefusedOrders() const { return hostCampaign.refusedMessages; }
    // The world map the campaign is played on (null without a screen).
    BoardView* Board() const { return board.get(); }
    // Nations whose player left once the campaign ran (bit n): the host's computer plays them.
    uint8_t ComputerNations() const { return computerNations; }
    // The nation this player plays (-1 before it is known).
    int8_t LocalNation() const { return localNation; }
    // This player came back to a running game with its seat token.
    bool Rejoined() const { return rejoined; }
    // Who plays which nation, as the host last said.
    const Seating& Seats() const { return seating; }
    // Where this player keeps its seat tokens (not owned); without one, the player's own
    // state folder.
    void SetSeatStore(platform::SeatStore* store) { seatStore = store; }
    // Where this player saves the game each year (not owned); without one, the player's own
    // data folder.
    void SetSaveStore(platform::SaveStore* store) { saveStore = store; }
    // A saved game taken up again: this player is its host, or joined it.
    bool Resumed() const { return resumedHost || resumedJoin; }
    // The phase clock: seconds each status waits for a player (0: as long as it takes), and
    // where this player's clock stands in the status it counts.
    int32_t PhaseLimit() const { return phaseLimit; }
    uint32_t ClockStatus() const { return phaseClock.status; }
    float ClockElapsed() const { return phaseClock.elapsed; }
    // Seconds left as shown in the top bar (-1: no clock shown), its text, and the ticks played
    // in the last seconds so far.
    int32_t ClockShown() const { return phaseClock.shown; }
    const std::string& ClockText() const { return phaseClock.text; }
    int32_t ClockTicks() const { return phaseClock.ticks; }
    // The host waits this much longer than the players' clocks before it resolves without
    // them: a player's clock starts when the host's move reaches it.
    static constexpr float kHostClockGrace = 5.0f;
    // Orders the host refused for coming after it had resolved their status without them.
    uint64_t LateOrders() const { return hostCampaign.lateOrders; }
    // Statuses the host resolved without waiting any longer for somebody.
    int32_t OverdueStatuses() const { return hostCampaign.overdueStatuses; }
    // Without a screen nothing measures the frames: whoever drives this screen headless says
    // how long each frame took, in milliseconds (0: time stands still).
    void SetHeadlessFrameTime(int32_t milliseconds) { headlessFrameMs = milliseconds; }
    // The chat of the game screen.
    const ChatBox& Chat() const { return chat; }

    // The board's last notice of a player that left ("... a quitté la partie : ...") or came back
    // ("... est de retour : ..."), while shown.
    const std::string& LostNotice() const { return lostNotice; }

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
    void DrawStatsIdentity(const PlayerInfo& self, int32_t x0, int32_t y0);
    void DrawSummaryTab(const PlayerInfo& self, int32_t x0, int32_t y0);

    // The statistics panel's figure tabs (Stategamestats.cpp).
    void RefreshStats(DirectPlay& network);
    void BuildIncomeTab();
    void BuildObjectiveTab(DirectPlay& network);
    void BuildWarTab();
    void DrawStatsChart(const StatsChart& chart, int32_t scale, const StatsChartArea& area,
                        int32_t x0, int32_t y0);
    void DrawNationName(int32_t x, int32_t y, int nation, const std::string& name);
    void DrawIncomeTab(int32_t x0, int32_t y0);
    void DrawObjectiveTab(int32_t x0, int32_t y0);
    void DrawWarTab(int32_t x0, int32_t y0);
    void DrawPlayerArt(int nation, int government, int32_t x, int32_t y, uint32_t colour);

    // The campaign (Stategamecampaign.cpp).
    void KnowPlayers(DirectPlay& network);
    // A player left: before the campaign the game ends for everybody, once it runs the host's
    // computer takes the nation over; the host itself cannot be replaced.
    void PlayerGone();
    bool PlaysInCampaign(const std::string& name) const;
    bool CampaignHostGone(const DirectPlay& network) const;
    // A new host took over the session: the campaign goes on under it, and under us when we
    // are it.
    void FollowHostChange(DirectPlay& network);
    void TakeOverCampaign(DirectPlay& network);
    void MeasureYear(DirectPlay& network);
    void HoldLostNations(DirectPlay& network);
    void PlayStandIns(uint32_t status);
    void OrdersFor(uint32_t status);
    void DrawLostNotice();
    void ShowNotice(const std::string& first, const std::string& second);
    // The campaign's seats (Stategamecampaign.cpp).
    void DealSeats(DirectPlay& network);
    void BuildSeating();
    void PublishSeats(DirectPlay& network);
    void KnowSeating(DirectPlay& network, const Seating& seats);
    void ReturnSeats(DirectPlay& network, uint32_t status);
    void SeatWaitingPlayers(DirectPlay& network);
    void ResendSeats(DirectPlay& network);
    void SendCampaignTo(DirectPlay& network, int32_t playerId);
    void KeepSeat(DirectPlay& network, int8_t nation, uint64_t token);
    void RunRejoin();
    bool Returning(uint32_t status) const;
    platform::SeatStore& SeatFiles();
    // Saved games (Stategamesaves.cpp).
    platform::SaveStore& SaveFiles();
    void Autosave(DirectPlay& network);
    void ResumeCampaign(DirectPlay& network);
    void BeginCampaign(DirectPlay& network);
    void RunCampaign();
    bool Act(const TurnView& view, std::vector<Order>& orders);
    void RunHost(DirectPlay& network, uint32_t status);
    void ResolveAsHost(DirectPlay& network, uint32_t status);
    YearReport& ReportOfYear(int32_t year);
    void DrawPhase(uint32_t status, bool ready);
    void DrawBoard(uint32_t status, bool interactive);
    OrdersInterface* Decider() const;
    void BuildEndTexts();
    void DrawEndPanel();
    void HandleEndInput();
    int32_t EndOkTop() const;
    // The phase clock (Stategameclock.cpp).
    float FrameSeconds() const;
    void RunPhaseClock(uint32_t status);
    void ExpirePhase(CampaignStep step);
    bool PhaseOverdue(uint32_t even) const;
    // Seconds left, in `colour` until the last ones turn it red.
    void DrawClock(int32_t x, int32_t y, int32_t align, uint32_t colour) const;

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

    // The campaign. Who plays which nation, under which government and for which objective is
    // read once, when the game leaves its start: records published later change nothing.
    OrdersInterface* ordersInterface = nullptr;
    std::unique_ptr<BoardView> board;
    std::unique_ptr<Image> victoryPanel;
    std::unique_ptr<Image> defeatPanel;
    bool playersKnown = false;
    Governments governments{-1, -1, -1, -1, -1, -1, -1, -1};
    std::array<int32_t, NationCount> nationPlayers{};  // player id, 0 for none
    std::array<int8_t, NationCount> nationObjectives{-1, -1, -1, -1, -1, -1, -1, -1};
    int8_t localNation = -1;
    int32_t campaignHostId = 0;                        // the host when the campaign began
    std::array<std::string, NationCount> nationNames;  // its players' names
    uint8_t computerNations = 0;
    // The host's computer players for the nations whose players left ("moyen").
    std::array<std::unique_ptr<ComputerPlayer>, NationCount> standIns;
    // The seats: their locks and returns as the host said, and (host) the players that came
    // back with a token and wait for a moment when nothing of the campaign is on its way.
    Seating seating{};
    std::array<uint32_t, NationCount> returnStatus{};  // 0, or when a player plays it again
    struct WaitingSeat {
        int32_t playerId = 0;
        int8_t nation = -1;
        float waited = 0.0f;  // seconds
    };
    std::vector<WaitingSeat> waitingSeats;
    // Players sent their seat and the campaign, until their record shows them on their nation:
    // what went astray (a player whose game was not listening yet) is sent again.
    struct SentSeat {
        int32_t playerId = 0;
        int8_t nation = -1;
        std::chrono::steady_clock::time_point sentAt;
    };
    std::vector<SentSeat> sentSeats;
    bool rejoined = false;
    bool rejoinStateHeld = false;
    float rejoinWait = 0.0f;  // seconds waited for the host to seat us
    platform::SeatStore* seatStore = nullptr;
    std::unique_ptr<platform::SeatStore> ownSeatStore;
    int32_t seatsYear = 0;  // the year the searches were last told
    platform::SaveStore* saveStore = nullptr;
    std::unique_ptr<platform::SaveStore> ownSaveStore;
    uint32_t autosavedStatus = 0;  // the status last saved
    bool resumedHost = false;
    bool resumedJoin = false;
    std::string lostNotice;
    int32_t lostNoticeWidth = 0;
    float lostNoticeLeft = 0.0f;  // seconds it is still shown
    CampaignState held;
    uint32_t heldStatus = 0;
    GeneratorState heldGenerator{};  // the host's, with the state held
    int32_t takeOvers = 0;
    std::vector<YearReport> reports;
    uint32_t currentStatus = 0;  // the status (even) the player is in, for what resets in it
    bool yearPanelClosed = false;
    std::vector<Order> draft;
    uint8_t winners = 0;
    bool gameOver = false;
    // What the host alone keeps: the authoritative state, the orders of the status it is in and
    // what it dealt.
    struct HostCampaign {
        bool started = false;
        CampaignState state;
        NationOrders orders;
        uint8_t received = 0;         // nations whose orders are in (bit n)
        uint32_t ordersStatus = 0;    // the status `orders` belong to
        uint32_t resolvedStatus = 0;  // the last status resolved (its state sent)
        uint64_t refusedMessages = 0;
        uint64_t lateOrders = 0;
        int32_t overdueStatuses = 0;
        uint32_t overdueStatus = 0;  // the status last resolved without everybody
        std::vector<std::pair<int32_t, uint8_t>> dealtObjectives;  // player id, objective
    } hostCampaign;
    // Texts of the campaign, rebuilt only when the status changes.
    uint32_t phaseTextStatus = 0;
    std::string phaseText;  // "1871 - Achats"
    uint32_t treasuryStatus = 0;
    std::string treasuryText;  // "Trésor : 133 000"
    std::string finishHint;
    std::string waitingHint;
    std::string eliminatedHint;
    std::string endTitle;
    std::string endHeading;
    std::array<std::string, NationCount> endLines;
    int endLineCount = 0;
    // The phase clock, read from the host's record when the game began.
    int32_t phaseLimit = 0;
    int phaseClockChoice = 0;
    struct PhaseClock {
        uint32_t status = 0;     // the even status counted
        float elapsed = 0.0f;    // seconds since this player entered it
        bool counting = false;   // a status in which players act
        bool readySeen = false;  // this player was done in it
        bool expired = false;    // its time ran out for this player
        int32_t shown = -1;      // whole seconds left as drawn
        int32_t ticks = 0;
        std::string text;  // "0:25"
    } phaseClock;
    int32_t headlessFrameMs = 0;
    std::unique_ptr<SoundEffect> tickSound;
    ChatBox chat{screen, audio, input};
    // Seconds before the end panel answers the keyboard and the mouse: keys meant for the last
    // phase, pressed as the panel comes up, do not close it unread.
    float endGuardLeft = 0.0f;

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
    // What the figure tabs were built from; they are built again when any of it changes.
    struct StatsKey {
        int32_t tab = -1;
        int32_t year = 0;
        int32_t historyCount = -1;
        uint32_t heldStatus = 0;
        size_t reports = 0;
        size_t battles = 0;
        size_t missions = 0;
        int8_t nation = -1;
        const Objectif* objective = nullptr;
        bool operator==(const StatsKey&) const = default;
    } statsKey;
    StatsFigures stats;
    int32_t statsBuilds = 0;
    std::string objectiveLabel;
    std::string doneLabel;
};

}  // namespace torvane
