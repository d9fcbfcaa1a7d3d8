// The board on a headless screen: what the map shows (tints, markers, highlighted targets) and
// the orders each phase builds from scripted keys and clicks.
#include <gtest/gtest.h>

#include <bit>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "campaign/Campaign.h"
#include "campaign/Gamerules.h"
#include "game/Random.h"
#include "game/Stateboard.h"
#include "input/Directinput.h"
#include "platform/ScriptedWindow.h"
#include "screen/Directscreen.h"
#include "support/AllocationCounter.h"
#include "support/TestSupport.h"

using namespace torvane;

namespace {

constexpr int kTab = 9;
constexpr int kReturn = 13;
constexpr int kEscape = 27;
constexpr int kLeftButton = 1;

// Status of a step of 1871.
uint32_t StatusOf(CampaignStep step) {
    return 26 + 2 * (static_cast<uint32_t>(step) - static_cast<uint32_t>(CampaignStep::YearStart));
}

class Board : public testing::Test {
  protected:
    void SetUp() override {
        screen = std::make_unique<DirectScreen>(&window);
        ASSERT_TRUE(screen->IsReady());
        input = std::make_unique<DirectInput>(&window);
        board = std::make_unique<BoardView>(screen.get(), nullptr, input.get());
        ASSERT_TRUE(board->Ready()) << "the map and its mask load";
        RandomSeed(5);
        const std::array<int8_t, 3> nations = {4, 5, 0};
        governments = {0, -1, -1, -1, 0, 1, -1, -1};
        state = StartCampaign(DealMap(nations), governments);
        frame.state = &state;
        frame.governments = &governments;
        frame.nation = 4;  // France, capital on "Espagne"
        frame.holdsState = true;
        frame.interactive = true;
        frame.playingNations = 0x31;
        window.SetCursor(320, 240);  // in the middle: no edge of the picture scrolls
        SetStep(CampaignStep::Purchases);
    }

    void SetStep(CampaignStep step) {
        frame.status = StatusOf(step);
        Run();
    }
    void Run() {
        window.AdvanceTime(16);
        input->Update();
        screen->BeginFrame();
        board->Frame(frame);
        screen->EndFrame(false);
    }
    void Press(int keyCode) {
        window.SetKeyDown(keyCode, true);
        Run();
        window.SetKeyDown(keyCode, false);
        Run();
    }
    void Type(const char* keys) {
        for (const char* k = keys; *k; ++k)
            Press(*k);
    }
    void ClickAt(platform::Point p) {
        window.SetCursor(p.x, p.y);
        Press(kLeftButton);
    }
    // A pixel of the territory's region on screen, at least `margin` pixels from every
    // territory's point (away from the markers).
    platform::Point QuietPixelOf(int territory, int margin = 18) {
        for (int y = BoardView::kBarHeight; y < 480; y += 2) {
            for (int x = 0; x < 640; x += 2) {
                if (board->TerritoryAtScreen(x, y) != territory)
                    continue;
                bool quiet = true;
                for (int t = 0; t < TerritoryCount && quiet; ++t) {
                    const platform::Point at = board->ScreenOf(t);
                    quiet = std::abs(at.x - x) > margin || std::abs(at.y - y) > margin;
                }
                if (quiet)
                    return {x, y};
            }
        }
        return {-1, -1};
    }
    // Pictures for a person to look at, when TORVANE_GAME_SHOTS names a folder.
    void Shot(const char* name) {
        if (const char* folder = std::getenv("TORVANE_GAME_SHOTS"))
            screen->SaveScreenshot(std::string(folder) + "/" + name + ".png");
    }
    std::vector<Order> Decided() {
        TurnView view;
        view.status = frame.status & ~1u;
        view.step = StepOf(frame.status);
        std::vector<Order> orders;
        EXPECT_TRUE(board->Decide(view, orders));
        return orders;
    }

    platform::ScriptedWindow window;
    std::unique_ptr<DirectScreen> screen;
    std::unique_ptr<DirectInput> input;
    std::unique_ptr<BoardView> board;
    Governments governments{};
    CampaignState state;
    BoardFrame frame;
    testsupport::ErrorBoxes errors;
};

int Red(uint32_t argb) {
    return static_cast<int>((argb >> 16) & 0xFF);
}
int Blue(uint32_t argb) {
    return static_cast<int>(argb & 0xFF);
}

TEST_F(Board, OwnedRegionsAreTintedInTheirNationsColour) {
    frame.interactive = false;                 // no panel over the map
    const int capital = StartingTerritory(5);  // Russie, red
    board->CentreOn(TerritoryAt(capital)->x, TerritoryAt(capital)->y);
    Run();
    const platform::Point spot = QuietPixelOf(capital);
    ASSERT_GE(spot.x, 0);
    const uint32_t owned = screen->PixelAt(spot.x, spot.y);
    state.table[static_cast<size_t>(capital)].owner = -1;
    Run();
    const uint32_t unowned = screen->PixelAt(spot.x, spot.y);
    EXPECT_GT(Red(owned) - Blue(owned), Red(unowned) - Blue(unowned) + 20)
        << std::hex << owned << " against " << unowned;
    // The sea is never tinted.
    EXPECT_EQ(board->TerritoryAtScreen(639, 479 - 90), -1);
}

TEST_F(Board, EachTerritoryShowsItsTroops) {
    frame.interactive = false;
    const int home = StartingTerritory(4);
    board->CentreOn(TerritoryAt(home)->x, TerritoryAt(home)->y);
    Run();
    const platform::Point at = board->ScreenOf(home);
    std::vector<uint32_t> before;
    for (int dy = -6; dy < 8; ++dy)
        for (int dx = -12; dx < 12; ++dx)
            before.push_back(screen->PixelAt(at.x + dx, at.y + dy));
    state.table[static_cast<size_t>(home)].army = 7777;
    Run();
    size_t differ = 0;
    size_t i = 0;
    for (int dy = -6; dy < 8; ++dy)
        for (int dx = -12; dx < 12; ++dx)
            differ += screen->PixelAt(at.x + dx, at.y + dy) != before[i++];
    EXPECT_GT(differ, 10u) << "the marker's number changed with the army";
}

TEST_F(Board, PurchasesFromTheKeyboardWithPricesAndRefusals) {
    // Tab picks the first territory of the player's own: its capital.
    Press(kTab);
    const int home = StartingTerritory(4);
    ASSERT_EQ(board->Selected(), home);
    EXPECT_EQ(board->Amount(), 10);
    window.TurnWheel(3);  // the wheel turns the amount
    Run();
    EXPECT_EQ(board->Amount(), 13);
    window.TurnWheel(-3);
    Run();
    EXPECT_EQ(board->Amount(), 10);
    Press('R');  // 10 troops: 10 x 1 000 under "Démocratie"
    Type("25");  // the amount typed replaces the default
    EXPECT_EQ(board->Amount(), 25);
    Press(kReturn);  // Return recruits too
    Press('F');
    Press('F');  // a second fortification is refused before it is sent
    EXPECT_EQ(board->LastRefusal(), Refusal::AlreadyDone);
    Press('A');  // a capital is never improved
    EXPECT_EQ(board->LastRefusal(), Refusal::Capital);
    Type("999");
    Press('R');  // 999 000 is more than the treasury
    EXPECT_EQ(board->LastRefusal(), Refusal::NotAffordable);
    const std::vector<Order> expected = {{OrderKind::Recruit, static_cast<uint8_t>(home), 0, 10},
                                         {OrderKind::Recruit, static_cast<uint8_t>(home), 0, 25},
                                         {OrderKind::Fortify, static_cast<uint8_t>(home), 0, 0}};
    EXPECT_EQ(board->Draft(), expected);
    EXPECT_EQ(board->DraftCost(), 35 * 1000 + 50000);
    Shot("board-purchases");
    // Delete takes the last order back; Escape leaves the territory; Return then ends the phase.
    Press(46);
    EXPECT_EQ(board->Draft().size(), 2u);
    Press(kEscape);
    EXPECT_EQ(board->Selected(), -1);
    EXPECT_FALSE(board->Finished());
    Press(kReturn);
    EXPECT_TRUE(board->Finished());
    EXPECT_EQ(Decided(), std::vector<Order>(expected.begin(), expected.begin() + 2));
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(Board, PurchasesWithTheMouseAlone) {
    const int home = StartingTerritory(4);
    board->CentreOn(TerritoryAt(home)->x, TerritoryAt(home)->y);
    Run();
    ClickAt(board->ScreenOf(home));
    ASSERT_EQ(board->Selected(), home);
    ClickAt({605, 118});  // the panel's "+"
    ClickAt({605, 118});
    ClickAt({570, 118});  // its "-"
    EXPECT_EQ(board->Amount(), 11);
    ClickAt({500, 150});  // "Recruter"
    ClickAt({500, 176});  // "Fortifier"
    ASSERT_EQ(board->Draft().size(), 2u);
    EXPECT_EQ(board->Draft()[0], (Order{OrderKind::Recruit, static_cast<uint8_t>(home), 0, 11}));
    ClickAt({610, 255});  // the cross of the first order's line
    ASSERT_EQ(board->Draft().size(), 1u);
    EXPECT_EQ(board->Draft()[0].kind, OrderKind::Fortify);
    EXPECT_EQ(board->DraftCost(), 50000);
    ClickAt({320, 455});  // "Terminer"
    EXPECT_TRUE(board->Finished());
    EXPECT_EQ(Decided().size(), 1u);
}

TEST_F(Board, MovesWithTheMouseHighlightTargetsAndDrawArrows) {
    SetStep(CampaignStep::Moves);
    const int home = StartingTerritory(4);  // Espagne, whose only land neighbour is France
    const int france = 69;
    board->CentreOn(TerritoryAt(home)->x, TerritoryAt(home)->y);
    Run();
    const platform::Point spot = QuietPixelOf(france, 10);
    ASSERT_GE(spot.x, 0);
    const uint32_t plain = screen->PixelAt(spot.x, spot.y);
    ClickAt(board->ScreenOf(home));
    ASSERT_EQ(board->Selected(), home);
    EXPECT_TRUE(board->IsTarget(france));
    EXPECT_FALSE(board->IsTarget(home));
    EXPECT_FALSE(board->IsTarget(13)) << "across the ocean without boats";
    const uint32_t lit = screen->PixelAt(spot.x, spot.y);
    EXPECT_NE(lit, plain) << "the legal target is highlighted";
    // A click on the target, then the amount, then the order.
    ClickAt(board->ScreenOf(france));
    EXPECT_EQ(board->Target(), france);
    EXPECT_EQ(board->Amount(), 20) << "every troop that can move";
    Type("12");
    Press(kReturn);
    ASSERT_EQ(board->Draft().size(), 1u);
    EXPECT_EQ(board->Draft()[0], (Order{OrderKind::Move, static_cast<uint8_t>(home),
                                        static_cast<uint8_t>(france), 12}));
    EXPECT_EQ(board->Amount(), 8) << "what is left to send";
    window.SetCursor(board->ScreenOf(france).x, board->ScreenOf(france).y);
    Run();
    Shot("board-moves");
    // More than is left is refused.
    ClickAt(board->ScreenOf(france));
    Type("9");
    Press(kReturn);
    EXPECT_EQ(board->LastRefusal(), Refusal::BadAmount);
    EXPECT_EQ(board->Draft().size(), 1u);
}

TEST_F(Board, SpiesTargetAnotherNationOncePerYear) {
    SetStep(CampaignStep::Spies);
    Press(kTab);
    const int chosen = board->Selected();
    ASSERT_GE(chosen, 0);
    const int owner = state.table[static_cast<size_t>(chosen)].owner;
    EXPECT_TRUE(owner >= 0 && owner != 4) << "Tab runs over other nations' territories";
    Press('V');
    ASSERT_EQ(board->Draft().size(), 1u);
    EXPECT_EQ(board->Draft()[0].kind, OrderKind::Spy);
    EXPECT_EQ(board->Draft()[0].amount, static_cast<int32_t>(Mission::Theft));
    Press('S');
    EXPECT_EQ(board->LastRefusal(), Refusal::MissionSpent);
    EXPECT_EQ(board->Draft().size(), 1u);
}

TEST_F(Board, TheWarReportIsReadAndDismissed) {
    PhaseReport battles;
    battles.status = StatusOf(CampaignStep::Moves);
    battles.battles.push_back({5, 4, 69, true, false, 40, 10, 30});
    frame.battles = &battles;
    state.table[69].owner = 5;
    SetStep(CampaignStep::WarReport);
    board->CentreOn(621, 185);
    Run();
    Shot("board-report");
    EXPECT_FALSE(board->Finished());
    Press(kReturn);
    EXPECT_TRUE(board->Finished());
    EXPECT_TRUE(Decided().empty());
}

TEST_F(Board, ScrollingStaysOnTheMapAndDrawingAllocatesNothing) {
    window.SetCursor(320, 240);
    board->CentreOn(0, 0);
    EXPECT_EQ(board->ViewX(), 0);
    EXPECT_EQ(board->ViewY(), 0);
    window.SetKeyDown(39, true);  // Right, nothing selected: the map scrolls
    for (int i = 0; i < 200; ++i)
        Run();
    window.SetKeyDown(39, false);
    EXPECT_EQ(board->ViewX(), BoardView::kMapWidth - 640);
    // Right-drag brings it back.
    window.SetCursor(100, 200);
    window.SetKeyDown(2, true);
    Run();
    window.SetCursor(400, 200);
    Run();
    window.SetKeyDown(2, false);
    Run();
    EXPECT_EQ(board->ViewX(), BoardView::kMapWidth - 640 - 300);
    // The pointer at the left edge scrolls back; without the focus it does not.
    window.SetCursor(1, 240);
    Run();
    const int32_t scrolled = board->ViewX();
    EXPECT_LT(scrolled, BoardView::kMapWidth - 640 - 300);
    window.SetFocus(false);
    Run();
    EXPECT_EQ(board->ViewX(), scrolled);
    window.SetFocus(true);
    // Frames with a selection, a draft and the pointer over a territory allocate nothing.
    Press(kTab);
    Press('R');
    window.SetCursor(320, 240);
    Run();
    testsupport::StartCountingAllocations();
    for (int i = 0; i < 5; ++i)
        Run();
    EXPECT_EQ(testsupport::StopCountingAllocations(), 0);
}

}  // namespace

namespace {

bool Overlap(const BarBox& a, const BarBox& b) {
    return a.w > 0 && b.w > 0 && a.h > 0 && b.h > 0 && a.x < b.x + b.w && b.x < a.x + a.w &&
           a.y < b.y + b.h && b.y < a.y + a.h;
}

// Every part of the bar inside it, and no two parts over each other (a flag and its own mark
// excepted: the mark is drawn across it).
void ExpectBarFits(const BarLayout& bar, const std::string& what) {
    std::vector<std::pair<std::string, BarBox>> parts = {{"phase", bar.phase},
                                                         {"treasury", bar.treasury},
                                                         {"income", bar.income},
                                                         {"clock", bar.clock}};
    for (int n = 0; n < NationCount; ++n) {
        parts.emplace_back("flag " + std::to_string(n), bar.flags[static_cast<size_t>(n)]);
        parts.emplace_back("mark " + std::to_string(n), bar.marks[static_cast<size_t>(n)]);
    }
    for (const auto& [name, box] : parts) {
        if (box.w == 0)
            continue;
        EXPECT_GE(box.x, 0) << what << ": " << name;
        EXPECT_LE(box.x + box.w, 640) << what << ": " << name;
        EXPECT_GE(box.y, 0) << what << ": " << name;
        EXPECT_LE(box.y + box.h, BoardView::kBarHeight) << what << ": " << name;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        for (size_t j = i + 1; j < parts.size(); ++j) {
            const bool ownMark = parts[i].first.substr(5) == parts[j].first.substr(5) &&
                                 parts[i].first.rfind("flag", 0) == 0 &&
                                 parts[j].first.rfind("mark", 0) == 0;
            if (!ownMark) {
                EXPECT_FALSE(Overlap(parts[i].second, parts[j].second))
                    << what << ": " << parts[i].first << " and " << parts[j].first;
            }
        }
    }
}

}  // namespace

TEST_F(Board, TheTopBarFitsEightPlayersTheClockAndTheWidestFiguresWithoutOverlap) {
    // A few players, everyday figures and a short phase: one line, full-size flags, as always.
    state.ledger.values[Treasury][4] = 247142;
    state.ledger.values[Income][4] = 47142;
    SetStep(CampaignStep::Spies);
    SetStep(CampaignStep::Purchases);
    EXPECT_FALSE(board->Bar().stacked);
    EXPECT_EQ(board->Bar().flagRows, 1);
    ExpectBarFits(board->Bar(), "three players");

    // The widest figures a ledger holds, the longest phase, the clock, and every table size.
    state.ledger.values[Treasury][4] = INT32_MAX;
    state.ledger.values[Income][4] = INT32_MAX;
    const std::string clock = "4:59";
    frame.clockText = &clock;
    for (uint8_t playing :
         {uint8_t{0x31}, uint8_t{0x0F}, uint8_t{0x1F}, uint8_t{0x7F}, uint8_t{0xFF}}) {
        frame.playingNations = playing;
        frame.computerNations = playing;
        frame.readyNations = 0x55;
        for (CampaignStep step : {CampaignStep::YearStart, CampaignStep::Purchases,
                                  CampaignStep::Moves, CampaignStep::Spies}) {
            SetStep(step);
            const std::string what =
                std::to_string(std::popcount(playing)) + " players, " + PhaseName(frame.status);
            ExpectBarFits(board->Bar(), what);
            EXPECT_GT(board->Bar().income.w, 0) << what << ": the income is shown";
            EXPECT_EQ(board->Bar().flagRows, std::popcount(playing) > 4 ? 2 : 1) << what;
        }
    }
    EXPECT_TRUE(board->Bar().stacked);

    // The flags are drawn where the layout says: against a bar nobody plays on, every flag's box
    // changed.
    std::vector<uint32_t> withFlags, without;
    ASSERT_TRUE(screen->ReadPicture(withFlags));
    Shot("bar-eight");
    const BarLayout bar = board->Bar();
    frame.playingNations = 0;
    Run();
    ASSERT_TRUE(screen->ReadPicture(without));
    for (int n = 0; n < NationCount; ++n) {
        const BarBox& box = bar.flags[static_cast<size_t>(n)];
        ASSERT_GT(box.w, 0) << n;
        int changed = 0;
        for (int y = box.y; y < box.y + box.h; ++y) {
            for (int x = box.x; x < box.x + box.w; ++x) {
                const size_t i = static_cast<size_t>(y * 640 + x);
                changed += withFlags[i] != without[i];
            }
        }
        EXPECT_GT(changed, box.w * box.h / 2) << "flag " << n;
    }
}
