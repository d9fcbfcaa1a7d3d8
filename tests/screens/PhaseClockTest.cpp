// Table talk on the game screen, and the phase clock, between real engines on loopback. The chat
// line keeps every key from the screen under it. The clock: the board shows the time left and ticks
// in its last seconds; when a player's time runs out its panels close and what it had drafted goes
// to the host as if it had finished; past the clock the host resolves without whoever is still
// silent, moves everybody on, and refuses (and reports) orders that come after.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

#include "campaign/Campaign.h"
#include "campaign/Orders.h"
#include "screens/GameSession.h"

using namespace gametest;

namespace {

constexpr uint32_t kPurchases = 8;  // 1870's statuses
constexpr uint32_t kMoves = 12;
constexpr uint32_t kNextYear = 26;

// Finishes every status at once but the ones it is told to dwell in: there it never decides,
// and when the clock runs out it hands over its draft, a recruit of ten at its capital.
class DwellingPlayer : public OrdersInterface {
  public:
    bool Decide(const TurnView& view, std::vector<Order>&) override {
        if (view.step != dwellIn)
            return true;
        ++asked;
        return false;
    }
    void Drafted(const TurnView& view, std::vector<Order>& orders) override {
        ++drafted[view.step];
        draftedIn = view.status;
        const int capital = CapitalOf(*view.state, view.nation);
        if (capital >= 0)
            orders.push_back({OrderKind::Recruit, static_cast<uint8_t>(capital), 0, 10});
    }
    bool CloseEnd() override { return true; }

    CampaignStep dwellIn = CampaignStep::None;
    int asked = 0;
    uint32_t draftedIn = 0;
    std::map<CampaignStep, int> drafted;
};

class PhaseClock : public GameSession {
  protected:
    void Play(size_t seat, DwellingPlayer& player) {
        seats[seat]->game->SetOrdersInterface(&player);
    }
    void TearDown() override {
        for (auto& seat : seats) {
            if (seat->game)
                seat->game->SetOrdersInterface(nullptr);
        }
        GameSession::TearDown();
    }
    // Frames `ms` apart until `done` holds.
    bool RunUntilEvery(int ms, const std::function<bool()>& done) {
        return testsupport::StepUntil(
            done, [&] { Frame(ms); }, std::chrono::milliseconds(20000));
    }
    // Troops recruited at a territory, waiting to join its army.
    int ReserveAt(const Seat& seat, int territory) const {
        return seat.game->HeldState().table[static_cast<size_t>(territory)].reserve;
    }
    // Pixels of the top bar in the clock's red.
    static int RedInBar(const Seat& seat) {
        std::vector<uint32_t> picture;
        EXPECT_TRUE(seat.screen->ReadPicture(picture));
        int red = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 640; ++x) {
                const uint32_t c = picture[static_cast<size_t>(y * 640 + x)];
                const int r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
                red += r > 180 && g < 60 && b < 60;
            }
        }
        return red;
    }

    DwellingPlayer host, dweller;
};

TEST_F(PhaseClock, TheBoardCountsDownTicksInTheLastSecondsAndTheDraftGoesWhenTimeIsUp) {
    hostClock = 1;  // "30 s"
    ASSERT_NO_FATAL_FAILURE(MakeSession(2, -1));
    ASSERT_NO_FATAL_FAILURE(OpenScreens(true));
    dweller.dwellIn = CampaignStep::Purchases;
    Play(0, host);
    Play(1, dweller);
    Seat& late = *seats[1];
    EXPECT_EQ(late.game->PhaseLimit(), 30);
    ASSERT_TRUE(RunUntil([&] {
        return late.game->HeldStatus() == kPurchases && late.game->ClockStatus() == kPurchases;
    }));
    EXPECT_EQ(late.game->ClockText(), "0:30");
    const int nation = late.Self().nation;
    const int capital = CapitalOf(late.game->HeldState(), nation);
    ASSERT_GE(capital, 0);
    const int reserveBefore = ReserveAt(*seats[0], capital);

    // Ten seconds in: twenty left, drawn in the bar's own colour.
    ASSERT_TRUE(RunUntilEvery(250, [&] { return late.game->ClockShown() == 20; }));
    EXPECT_EQ(late.game->ClockText(), "0:20");
    EXPECT_EQ(late.game->ClockTicks(), 0);
    Frame(16);
    const int calmRed = RedInBar(late);
    // The last seconds: red, one tick each.
    ASSERT_TRUE(RunUntilEvery(250, [&] { return late.game->ClockShown() == 5; }));
    EXPECT_EQ(late.game->ClockText(), "0:05");
    EXPECT_EQ(late.game->ClockTicks(), 6);  // 10, 9, ..., 5
    Frame(16);
    EXPECT_GT(RedInBar(late), calmRed + 20);
    EXPECT_EQ(dweller.drafted[CampaignStep::Purchases], 0);
    EXPECT_GT(dweller.asked, 0);

    // Time is up: the draft goes as it stands, the host takes it and everybody moves on.
    ASSERT_TRUE(RunUntilEvery(250, [&] { return seats[0]->game->HeldStatus() >= kMoves; }));
    EXPECT_EQ(dweller.drafted[CampaignStep::Purchases], 1);
    EXPECT_EQ(dweller.draftedIn, kPurchases);
    EXPECT_EQ(late.game->ClockTicks(), 10);
    EXPECT_EQ(seats[0]->game->ClockTicks(), 0);  // the host was done: no ticks for it
    EXPECT_EQ(ReserveAt(*seats[0], capital), reserveBefore + 10);
    EXPECT_EQ(seats[0]->game->OverdueStatuses(), 0);
    EXPECT_EQ(seats[0]->game->LateOrders(), 0u);
    EXPECT_EQ(seats[0]->game->RefusedOrders(), 0u);
    ASSERT_TRUE(RunUntil([&] { return late.game->HeldStatus() == kMoves; }));
    EXPECT_EQ(ReserveAt(late, capital), reserveBefore + 10);
    EXPECT_EQ(late.game->LostNotice(), "");
    // A new status, a full clock.
    EXPECT_EQ(late.game->ClockStatus(), kMoves);
    EXPECT_EQ(late.game->ClockText(), "0:30");
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(PhaseClock, PastTheClockTheHostGoesOnWithoutASilentPlayerAndRefusesItsLateOrders) {
    hostClock = 1;
    ASSERT_NO_FATAL_FAILURE(MakeSession(2, -1));
    ASSERT_NO_FATAL_FAILURE(OpenScreens(false));
    dweller.dwellIn = CampaignStep::Purchases;
    Play(0, host);
    Play(1, dweller);
    Seat& silent = *seats[1];
    ASSERT_TRUE(RunUntil([&] {
        return silent.game->HeldStatus() == kPurchases &&
               seats[0]->game->ClockStatus() == kPurchases;
    }));
    // Its machine stops: its clock never runs out, and nothing more comes from it.
    silent.paused = true;
    const int capital = CapitalOf(seats[0]->game->HeldState(), silent.Self().nation);
    const int reserveBefore = ReserveAt(*seats[0], capital);
    int frames = 0;
    ASSERT_TRUE(RunUntilEvery(250, [&] {
        ++frames;
        return seats[0]->network->LocalStatus() >= kPurchases + 2;
    }));
    // Not before the players' thirty seconds and the host's grace after them.
    EXPECT_GE(frames * 0.25f, 30.0f + GameState::kHostClockGrace - 0.5f);
    EXPECT_LE(frames * 0.25f, 30.0f + GameState::kHostClockGrace + 1.0f);
    EXPECT_EQ(seats[0]->game->OverdueStatuses(), 1);
    EXPECT_EQ(ReserveAt(*seats[0], capital), reserveBefore);

    // Back, it follows the host and is told it was left behind.
    silent.paused = false;
    ASSERT_TRUE(RunUntil([&] { return silent.game->HeldStatus() >= kMoves; }));
    EXPECT_EQ(dweller.drafted[CampaignStep::Purchases], 0);
    EXPECT_EQ(silent.game->LostNotice(),
              "Temps \xE9"
              "coul\xE9 :\nla partie a continu\xE9 sans vos ordres");
    // Its purchases, held up on the way, reach the host after all: refused, and it hears so.
    const Order recruit{OrderKind::Recruit, static_cast<uint8_t>(capital), 0, 10};
    silent.network->SendOrders(kPurchases, silent.Self().nation, std::span(&recruit, 1));
    ASSERT_TRUE(RunUntil(
        [&] { return silent.game->LostNotice().rfind("Vos ordres de 1870 - Achats", 0) == 0; }));
    EXPECT_EQ(silent.game->LostNotice(),
              "Vos ordres de 1870 - Achats\nsont arriv\xE9s trop tard : l'h\xF4te a continu\xE9 "
              "sans eux");
    EXPECT_EQ(seats[0]->game->LateOrders(), 1u);
    EXPECT_EQ(ReserveAt(*seats[0], capital), reserveBefore);
    // Then the game goes on as before: the dweller is asked again in the next year's purchases.
    dweller.dwellIn = CampaignStep::None;
    ASSERT_TRUE(RunUntil([&] {
        return seats[0]->game->HeldStatus() >= kNextYear && silent.game->HeldStatus() >= kNextYear;
    }));
    EXPECT_FALSE(silent.game->GameOver());
    EXPECT_TRUE(errors.texts.empty());
}

// Nobody touches the keyboard: the objective panel, the year's banner and statistics, every
// phase and the battle report end by the clock alone, and the game reaches the next year.
TEST_F(PhaseClock, WithNoKeyPressedTheClockAloneCarriesEveryPlayerIntoTheNextYear) {
    hostClock = 1;
    ASSERT_NO_FATAL_FAILURE(MakeSession(2, -1));
    ASSERT_NO_FATAL_FAILURE(OpenScreens(true));
    ASSERT_NO_FATAL_FAILURE(StartGame());
    Frame(16);
    EXPECT_EQ(seats[1]->game->ClockText(), "0:30");
    ASSERT_TRUE(testsupport::StepUntil(
        [&] {
            return seats[0]->game->HeldStatus() >= kNextYear &&
                   seats[1]->game->HeldStatus() >= kNextYear;
        },
        [&] { Frame(500); }, std::chrono::milliseconds(60000)));
    for (auto& seat : seats) {
        EXPECT_EQ(seat->game->LostNotice(), "");
        EXPECT_FALSE(seat->game->GameOver());
    }
    // Everybody's own clock did it: the host never had to go on without anybody.
    EXPECT_EQ(seats[0]->game->OverdueStatuses(), 0);
    EXPECT_EQ(seats[0]->game->LateOrders(), 0u);
    EXPECT_TRUE(errors.texts.empty());
}

// The chat on the game screen: T opens the line over the objective panel, which then hears no
// key; Return sends, Escape closes, and the panel answers again.
TEST_F(PhaseClock, OnTheGameScreenTheChatLineTakesTheKeysUntilItIsSentOrClosed) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2, -1));
    ASSERT_NO_FATAL_FAILURE(OpenScreens(true));
    ASSERT_NO_FATAL_FAILURE(StartGame());
    Seat& speaker = *seats[0];
    Seat& hearer = *seats[1];
    EXPECT_EQ(speaker.game->PhaseLimit(), 0);  // no clock chosen: none shown
    EXPECT_EQ(speaker.game->ClockShown(), -1);
    Press(speaker, 'T');
    ASSERT_TRUE(speaker.game->Chat().IsOpen());
    for (int key : {int{'B'}, int{'O'}, int{'N'}, kReturn})
        Press(speaker, key);
    EXPECT_FALSE(speaker.game->Chat().IsOpen());
    EXPECT_EQ(speaker.game->GetMode(), GameState::ShowingObjective);
    ASSERT_TRUE(RunUntil([&] { return hearer.network->Conversation().Count() == 1; }));
    EXPECT_EQ(hearer.network->Conversation().At(0).name, "P0 : ");
    EXPECT_EQ(hearer.network->Conversation().At(0).text, "bon");
    EXPECT_EQ(hearer.network->Conversation().At(0).nameColour,
              NationColour(speaker.Self().nation) | 0xFF000000u);
    // Drawn at the foot of the hearer's screen (once it has faded in), in white on the dark.
    Frames(120);
    std::vector<uint32_t> picture;
    ASSERT_TRUE(hearer.screen->ReadPicture(picture));
    int white = 0;
    for (int y = ChatBox::kLineY - ChatBox::kLineHeight; y < ChatBox::kLineY; ++y) {
        for (int x = 0; x < 320; ++x) {
            const uint32_t c = picture[static_cast<size_t>(y * 640 + x)];
            white += ((c >> 16) & 255) > 200 && ((c >> 8) & 255) > 200 && (c & 255) > 200;
        }
    }
    EXPECT_GT(white, 10);

    Press(speaker, 'T');
    Press(speaker, kEscape);
    EXPECT_FALSE(speaker.game->Chat().IsOpen());
    EXPECT_EQ(speaker.game->GetMode(), GameState::ShowingObjective);
    EXPECT_EQ(speaker.code, 0);
    Frames(5);
    Press(speaker, kReturn);
    EXPECT_EQ(speaker.game->GetMode(), GameState::Playing);
    EXPECT_EQ(speaker.network->Conversation().Count(), 1u);
    EXPECT_TRUE(errors.texts.empty());
}

}  // namespace
