// The board: the world map a campaign is played on. It draws the map (scrolling inside the
// picture, owned regions tinted in their nation's colour, each territory's troops and marks),
// the top bar, the hovered territory's details, the orders being given and the year's battles,
// and it is the orders interface of a player at the screen: mouse and keyboard build the orders
// that the game screen sends.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "campaign/Campaign.h"
#include "campaign/Orders.h"
#include "platform/Window.h"

namespace torvane {

class DirectScreen;
class DirectAudio;
class DirectInput;
class DirectLog;
class Image;
class SoundEffect;

// What the game screen tells the board each frame.
struct BoardFrame {
    uint32_t status = 0;      // the local player's status (ready bit included)
    bool holdsState = false;  // the state below is the one for this status
    const CampaignState* state = nullptr;
    const Governments* governments = nullptr;
    int8_t nation = -1;
    // This year's battles once the moves are resolved; null before.
    const PhaseReport* battles = nullptr;
    // Who is ready, by nation (bit n), and who plays (bit n).
    uint8_t readyNations = 0;
    uint8_t playingNations = 0;
    // Played by a computer (bit n): a computer player, or the host's for a player that left.
    uint8_t computerNations = 0;
    // The board takes clicks and keys (not while a panel of the game screen is on top).
    bool interactive = false;
    // The phase clock's time left ("0:25"; null: none), red in the last seconds.
    const std::string* clockText = nullptr;
    bool clockUrgent = false;
};

// Where the top bar puts what it shows, laid out again only when the texts, the players or
// the clock's presence change. A box of width 0 is not shown.
struct BarBox {
    int32_t x = 0, y = 0, w = 0, h = 0;
};
struct BarLayout {
    BarBox phase;
    // The treasury and the last income: one line when there is room, else two smaller ones.
    bool stacked = false;
    BarBox treasury;
    BarBox income;
    BarBox clock;
    // Each playing nation's flag, and the mark of one the computer plays; up to four flags in a
    // row of full size, five to eight in two rows of smaller ones.
    int flagRows = 1;
    std::array<BarBox, NationCount> flags{};
    std::array<BarBox, NationCount> marks{};
};

class BoardView : public OrdersInterface {
  public:
    // The map's size: a territory's position in the world table is a pixel of it.
    static constexpr int32_t kMapWidth = 1216;
    static constexpr int32_t kMapHeight = 640;
    // The map shows below the top bar.
    static constexpr int32_t kBarHeight = 40;
    static constexpr int32_t kViewHeight = 480 - kBarHeight;
    static constexpr uint8_t kSea = 255;

    BoardView(DirectScreen* screen, DirectAudio* audio, DirectInput* input);
    ~BoardView() override;
    BoardView(const BoardView&) = delete;
    BoardView& operator=(const BoardView&) = delete;

    // The map and its territory mask were loaded: the board can be played on.
    bool Ready() const { return ready; }

    // The player closes the objective and end panels on the screen itself.
    bool CloseObjective() override { return false; }
    bool CloseEnd() override { return false; }
    bool Decide(const TurnView& view, std::vector<Order>& orders) override;
    void Drafted(const TurnView& view, std::vector<Order>& orders) override;

    // One frame: input (when interactive), then the map and what is on it.
    void Frame(const BoardFrame& frame);

    // The territory under a point of the screen, or -1 (sea, the bar, outside the map).
    int TerritoryAtScreen(int32_t x, int32_t y) const;
    // Where a territory's point is on the screen with the current scroll.
    platform::Point ScreenOf(int territory) const;
    // Scrolls so that the map's point (x, y) is as near the middle of the view as it can be.
    void CentreOn(int32_t x, int32_t y);

    int32_t ViewX() const { return viewX; }
    int32_t ViewY() const { return viewY; }
    int Selected() const { return selected; }
    int Target() const { return target; }
    int Hovered() const { return hovered; }
    // The top bar as the last frame laid it out.
    const BarLayout& Bar() const { return barLayout; }
    int32_t Amount() const { return amount; }
    const std::vector<Order>& Draft() const { return draft; }
    // The last refusal explained to the player (Refusal::None when the last action went through).
    Refusal LastRefusal() const { return lastRefusal; }
    // Whether a territory is a legal target of the selected source (moves and spies).
    bool IsTarget(int territory) const;
    // The running cost of the draft against the treasury.
    int64_t DraftCost() const { return draftCost; }
    bool Finished() const { return finished; }

  private:
    enum class Action : uint8_t {
        Recruit,
        Fortify,
        Improve,
        Boats,
        Move,
        Sabotage,
        Theft,
        Propaganda
    };

    void ReadMask();
    void NewStatus(const BoardFrame& frame);
    void RebuildTint();
    void RebuildHighlight();
    void RebuildMarkers();
    void RebuildTexts();
    void LayOutBar();

    void HandleInput();
    void HandleScroll(const platform::Point& pointer);
    void HandleAmountKeys();
    bool HandlePanelClick(const platform::Point& pointer);
    void Select(int territory);
    void ChooseTarget(int territory);
    void CycleOwned(int direction);
    void MoveToNeighbour(int key);
    bool Give(Action action);
    void CancelOrder(size_t index);
    void Finish();
    void Refuse(Refusal why);
    void UpdateCost();
    int64_t PriceOf(const Order& order) const;
    CampaignStep Step() const { return StepOf(frameInfo.status); }
    bool Acting() const;

    void DrawMap();
    void DrawMarkers();
    void DrawArrows();
    void DrawBar();
    void DrawHoverPanel();
    void DrawOrdersPanel();
    void DrawReportPanel();
    void DrawOverview();
    void DrawButton(int32_t x, int32_t y, int32_t width, const std::string& label, bool lit);
    void DrawArrow(int from, int to, uint32_t colour);

    DirectScreen* screen;
    DirectAudio* audio;
    DirectInput* input;
    bool ready = false;

    std::unique_ptr<Image> world;  // the map with its owners' colours
    std::unique_ptr<Image> highlight;
    bool highlightLit = false;
    std::unique_ptr<Image> bar;
    std::unique_ptr<Image> panel;
    std::unique_ptr<Image> arrow;
    std::unique_ptr<Image> ring;
    std::unique_ptr<Image> armyIcon;
    std::unique_ptr<Image> reserveIcon;
    std::unique_ptr<Image> fortIcon;
    std::unique_ptr<Image> improvedIcon;
    std::unique_ptr<Image> boatIcon;
    std::unique_ptr<Image> capitalIcon;
    std::array<std::unique_ptr<Image>, NationCount> flags;
    std::unique_ptr<SoundEffect> selectSound;
    std::unique_ptr<SoundEffect> orderSound;
    std::unique_ptr<SoundEffect> refuseSound;
    std::unique_ptr<SoundEffect> battleSound;

    std::vector<uint8_t> mask;        // kMapWidth x kMapHeight territory indexes, kSea for the sea
    std::vector<uint32_t> mapPixels;  // the map as loaded
    std::vector<uint32_t> pixels;     // scratch for the pictures made from it

    BoardFrame frameInfo;
    CampaignState state;  // the state the board shows
    uint32_t shownStatus = 0xFFFFFFFF;
    bool shownHolds = false;
    int32_t viewX = 0;
    int32_t viewY = 0;
    platform::Point dragFrom{};
    bool dragging = false;
    int32_t dragViewX = 0;
    int32_t dragViewY = 0;

    int hovered = -1;
    int selected = -1;
    int target = -1;
    int32_t amount = 0;
    bool amountTyped = false;  // digits replace the amount, then append
    std::array<bool, TerritoryCount> targets{};
    std::vector<Order> draft;
    std::vector<Refusal> checks;
    int64_t draftCost = 0;
    Refusal lastRefusal = Refusal::None;
    float messageTimer = 0.0f;
    bool finished = false;
    uint32_t finishedStatus = 0;
    float flashTimer = 0.0f;

    // Texts, rebuilt when what they show changes.
    std::array<std::string, TerritoryCount> armyTexts;
    std::string phaseText;
    std::string treasuryText;
    // The same on two lines, for a crowded bar: "Trésor : ..." and "revenu ...".
    std::string treasuryLine;
    std::string incomeLine;
    const std::string computerMark = "ordi";
    // Pixel widths, measured when the texts change.
    int32_t phaseWidth = 0;
    int32_t treasuryWidth = 0;
    int32_t treasuryLineWidth = 0;
    int32_t incomeLineWidth = 0;
    int32_t clockWidth = 0;  // the widest "m:ss" in the bar's font
    int32_t markWidth = 0;
    BarLayout barLayout;
    // What the layout was made for.
    uint8_t laidOutNations = 0;
    bool laidOutClock = false;
    std::string costText;
    std::string amountText;
    std::string messageText;
    std::array<std::string, 6> hoverLines;
    int hoverShown = -2;
    std::vector<std::string> orderLines;
    std::vector<std::string> reportLines;
    std::string finishLabel;
    std::string waitingLabel;
    std::string readLabel;
    std::string minusLabel;
    std::string plusLabel;
    std::string crossLabel;
    std::string chooseLabel;
    std::string priceText;  // a spy's price
    bool propaganda = false;
    std::string seaText;  // the boats a crossing needs
    int seaShownTarget = -2;
    int32_t seaShownAmount = -1;
    std::vector<int> battleSources;
    std::string selectionText;
    int shownSelection = -2;
    int32_t shownAmount = -1;
    std::array<std::string, 8> actionLabels;
};

// What a refused order means, for the player.
const char* RefusalText(Refusal why);

}  // namespace torvane
