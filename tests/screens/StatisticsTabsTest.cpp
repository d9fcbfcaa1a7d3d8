// The statistics panel's "Revenus", "Objectif" and "Guerres" tabs in a real campaign: two players
// on loopback play 1870 with scripted orders (a battle by land, an attack by sea on the other
// capital, a sabotage), then 1871 without orders; at the start of 1871 and of 1872 the host's
// player holds back, opens the panel and runs through the tabs. The figures shown are checked
// against the ledger, the history and the reports, the bars against the picture, and frames with
// each tab open allocate nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "campaign/Campaign.h"
#include "campaign/Orders.h"
#include "game/Stategamestats.h"
#include "screens/GameSession.h"
#include "support/AllocationCounter.h"

using namespace gametest;

namespace {

// Every nation that has a target, in 1870 only: a boat at home, then half of its capital's army
// on the first foreign neighbour and the other half by sea on the target's capital, then a
// sabotage of that capital. Every player holds back from `stopAt` on.
class Script : public OrdersInterface {
  public:
    using Targets = std::array<int8_t, NationCount>;
    explicit Script(const Targets& targets) : targets_(targets) {}

    bool Decide(const TurnView& view, std::vector<Order>& orders) override {
        if (view.status >= stopAt)
            return false;
        if (view.nation < 0 || view.nation >= NationCount || YearOf(view.status) != 1870)
            return true;
        const CampaignState& state = *view.state;
        const int home = CapitalOf(state, view.nation);
        const int enemy = CapitalOf(state, targets_[static_cast<size_t>(view.nation)]);
        if (home < 0 || enemy < 0)
            return true;
        const auto from = static_cast<uint8_t>(home);
        if (view.step == CampaignStep::Purchases) {
            orders.push_back({OrderKind::Boats, from, 0, 1});
        } else if (view.step == CampaignStep::Moves) {
            const int32_t half = state.table[from].army / 2;
            const NeighbourList neighbours = NeighboursOf(home);
            for (int k = 0; k < neighbours.count; ++k) {
                const int to = neighbours.index[static_cast<size_t>(k)];
                if (state.table[static_cast<size_t>(to)].owner != view.nation) {
                    orders.push_back({OrderKind::Move, from, static_cast<uint8_t>(to), half});
                    break;
                }
            }
            orders.push_back({OrderKind::Move, from, static_cast<uint8_t>(enemy), half});
        } else if (view.step == CampaignStep::Spies) {
            orders.push_back({OrderKind::Spy, 0, static_cast<uint8_t>(enemy),
                              static_cast<int32_t>(Mission::Sabotage)});
        }
        return true;
    }

    uint32_t stopAt = UINT32_MAX;

  private:
    Targets targets_;
};

// The fill's gradient is a light green: far more green than red or blue. The panel's parchment
// is yellow-brown and its texts a dark green.
bool FillGreen(uint32_t pixel) {
    const int r = static_cast<int>((pixel >> 16) & 0xFF);
    const int g = static_cast<int>((pixel >> 8) & 0xFF);
    const int b = static_cast<int>(pixel & 0xFF);
    return g > 100 && g > r + 15 && g > b + 30;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class StatisticsTabs : public GameSession {
  protected:
    void TearDown() override {
        for (auto& seat : seats) {
            if (seat->game)
                seat->game->SetOrdersInterface(nullptr);
        }
        GameSession::TearDown();
    }

    // `count` players with personalised objectives, each with its own; the first `screens`
    // draw. With two players the first attacks the second; with more, each attacks the next.
    void Begin(int count, int screens) {
        ASSERT_NO_FATAL_FAILURE(MakeSession(count, -2));
        for (int i = 0; i < count; ++i)
            ASSERT_NO_FATAL_FAILURE(OpenScreen(*seats[static_cast<size_t>(i)], i < screens));
        attacker = seats[0]->Self().nation;
        defender = seats[1]->Self().nation;
        Script::Targets targets;
        targets.fill(-1);
        for (int i = 0; i < (count == 2 ? 1 : count); ++i) {
            targets[static_cast<size_t>(seats[static_cast<size_t>(i)]->Self().nation)] =
                seats[static_cast<size_t>((i + 1) % count)]->Self().nation;
        }
        for (auto& seat : seats) {
            scripts.push_back(std::make_unique<Script>(targets));
            seat->game->SetOrdersInterface(scripts.back().get());
        }
    }

    // Every player plays on until it holds the first status of `year`, where it stays.
    void PlayUntil(int32_t year) {
        const uint32_t status = 4 + 22 * static_cast<uint32_t>(year - 1870);
        for (auto& script : scripts)
            script->stopAt = status;
        ASSERT_TRUE(RunUntil(
            [&] {
                for (auto& seat : seats) {
                    // A nation without territory is ready at once: its status is odd.
                    if ((seat->network->LocalStatus() & ~1u) != status ||
                        seat->game->HeldStatus() != status ||
                        seat->game->History().Count() != year - 1870 + 1)
                        return false;
                }
                return true;
            },
            std::chrono::milliseconds(60000)));
    }

    // The banner is closed and the statistics panel has come to rest.
    void OpenPanel(Seat& seat) {
        Frames(20);
        Press(seat, kReturn);
        ASSERT_TRUE(seat.game->BannerDismissed());
        ASSERT_TRUE(RunUntil([&] {
            return std::abs(seat.game->StatsPanelY() - static_cast<float>(CentredY(336))) <= 1.0f;
        }));
    }

    // Tab until `tab` shows, then one more frame to draw it.
    void ShowTab(Seat& seat, int tab) {
        for (int i = 0; i < 4 && seat.game->StatsTabIndex() != tab; ++i)
            Press(seat, kTab);
        ASSERT_EQ(seat.game->StatsTabIndex(), tab);
        Frame();
    }

    // Frames of `seat` alone, counting what they allocate.
    long CountedFrames(Seat& seat, int count) {
        long total = 0;
        for (int i = 0; i < count; ++i) {
            seat.window.AdvanceTime(16);
            testsupport::StartCountingAllocations();
            seat.code = seat.game->Run();
            total += testsupport::StopCountingAllocations();
        }
        return total;
    }

    void Shoot(Seat& seat, const char* name) {
        if (const char* folder = std::getenv("TORVANE_GAME_SHOTS"))
            seat.screen->SaveScreenshot(std::string(folder) + "/" + name);
    }

    // The income chart's bars are drawn where ChartBar puts them, and nothing beside them.
    void ExpectIncomeBars(Seat& seat) {
        const StatsChart& chart = seat.game->StatsContent().incomes;
        const int x0 = PanelX(500);
        const int y0 = static_cast<int>(seat.game->StatsPanelY());
        for (int i = 0; i < chart.count; ++i) {
            const StatsBar bar = ChartBar(chart, chart.highest, kIncomeChartArea, i);
            ASSERT_GE(bar.height, 8) << "bar " << i;
            const int middle = x0 + bar.x + bar.width / 2;
            EXPECT_TRUE(FillGreen(seat.screen->PixelAt(middle, y0 + bar.y + bar.height / 2)))
                << "bar " << i;
            // Beside the bar, in the gap before the next slot, the parchment shows.
            EXPECT_FALSE(FillGreen(
                seat.screen->PixelAt(x0 + bar.x + bar.width + 3, y0 + bar.y + bar.height / 2)))
                << "bar " << i;
        }
        // No bar after the last year.
        const StatsBar last = ChartBar(chart, chart.highest, kIncomeChartArea, chart.count - 1);
        const int slot = kIncomeChartArea.width / std::max(chart.count, kIncomeChartArea.minSlots);
        EXPECT_FALSE(FillGreen(seat.screen->PixelAt(x0 + last.x + slot + last.width / 2,
                                                    y0 + kIncomeChartArea.bottom - 4)));
    }

    void ExpectIncomeTab(Seat& seat) {
        const GameState& game = *seat.game;
        const StatsFigures& figures = game.StatsContent();
        const int nation = seat.Self().nation;
        const auto& ledger = game.HeldState().ledger.values;
        EXPECT_EQ(figures.treasury, ledger[Treasury][static_cast<size_t>(nation)]);
        EXPECT_EQ(figures.treasuryText,
                  "Tr\xE9sor : " + FormatAmount(ledger[Treasury][static_cast<size_t>(nation)]));
        EXPECT_EQ(figures.incomeText,
                  "Revenu : " + FormatAmount(ledger[Income][static_cast<size_t>(nation)]));
        // One bar per year played, each the income of that year's ledger.
        const DirectLog& history = game.History();
        ASSERT_EQ(figures.incomes.count, history.Count() - 1);
        if (figures.incomes.count == 0) {
            EXPECT_EQ(figures.incomes.firstLabel + figures.incomes.lastLabel +
                          figures.incomes.highestLabel,
                      "");
            return;
        }
        EXPECT_EQ(figures.incomes.firstYear, 1870);
        int32_t highest = 0;
        for (int i = 0; i < figures.incomes.count; ++i) {
            const int32_t income =
                history.InfosAt(i + 1)->values[Income][static_cast<size_t>(nation)];
            EXPECT_GT(income, 0);
            EXPECT_EQ(figures.incomes.values[static_cast<size_t>(i)], income) << "year " << i;
            highest = std::max(highest, income);
        }
        EXPECT_EQ(figures.incomes.highest, highest);
        EXPECT_EQ(figures.incomes.highestLabel, FormatAmount(highest));
        EXPECT_EQ(figures.incomes.firstLabel, "1870");
        EXPECT_EQ(figures.incomes.lastLabel,
                  figures.incomes.count > 1 ? std::to_string(1869 + figures.incomes.count) : "");
    }

    void ExpectObjectiveTab(Seat& seat) {
        const GameState& game = *seat.game;
        const StatsFigures& figures = game.StatsContent();
        const DirectLog& history = game.History();
        const Objectif* own = ObjectiveAt(seat.Self().objective);
        ASSERT_NE(own, nullptr);
        EXPECT_EQ(figures.objectiveTitle, own->title);
        EXPECT_EQ(figures.objectiveDescription, WrapText(own->description, 60));
        const int32_t now = std::max(0, Progress(own, &history, seat.Self().nation, 0));
        EXPECT_EQ(figures.percent, now);
        EXPECT_EQ(figures.percentText,
                  "R\xE9"
                  "alis\xE9 : " +
                      std::to_string(now) + " %");
        ASSERT_EQ(figures.progress.count, history.Count() - 1);
        for (int i = 0; i < figures.progress.count; ++i) {
            const int back = figures.progress.count - 1 - i;
            EXPECT_EQ(figures.progress.values[static_cast<size_t>(i)],
                      std::clamp(Progress(own, &history, seat.Self().nation, back), 0, 100));
        }
        // One line per player, each measured against its own objective.
        ASSERT_EQ(figures.playerCount, static_cast<int>(seats.size()));
        for (size_t i = 0; i < seats.size(); ++i) {
            const PlayerInfo record = seats[i]->Self();
            const StatsPlayerLine& line = figures.players[i];
            const Objectif* objective = ObjectiveAt(record.objective);
            ASSERT_NE(objective, nullptr);
            EXPECT_EQ(line.name, record.Name());
            EXPECT_EQ(line.nation, record.nation);
            EXPECT_EQ(line.nationName, NationName(record.nation));
            const uint8_t living = LivingNations(game.HeldState(), game.NationGovernments());
            EXPECT_EQ(line.eliminated, ((living >> record.nation) & 1) == 0);
            EXPECT_EQ(line.percent, std::max(0, Progress(objective, &history, record.nation, 0)));
            EXPECT_EQ(line.percentText, line.eliminated ? std::string("\xE9limin\xE9")
                                                        : std::to_string(line.percent) + " %");
        }
    }

    // A row per nation in the game, in nation order: the report's battles, won and lost, the
    // ledger's conquests.
    void ExpectWarRows(Seat& seat, const GameState::YearReport& year) {
        const StatsFigures& war = seat.game->StatsContent();
        const auto& ledger = seat.game->HeldState().ledger.values;
        int row = 0;
        for (int nation = 0; nation < NationCount; ++nation) {
            if (seat.game->NationGovernments()[static_cast<size_t>(nation)] < 0)
                continue;
            ASSERT_LT(row, war.rowCount);
            const StatsWarRow& shown = war.rows[static_cast<size_t>(row++)];
            int32_t fought = 0;
            int32_t won = 0;
            int32_t lost = 0;
            for (const Battle& battle : year.battles.battles) {
                fought += battle.attacker == nation ? 1 : 0;
                won += battle.attacker == nation && battle.taken ? 1 : 0;
                lost += battle.defender == nation && battle.taken ? 1 : 0;
            }
            EXPECT_EQ(shown.nation, nation);
            EXPECT_EQ(shown.name, NationName(nation));
            EXPECT_EQ(shown.battles, fought) << shown.name;
            EXPECT_EQ(shown.won, won) << shown.name;
            EXPECT_EQ(shown.taken, ledger[Conquests][static_cast<size_t>(nation)]) << shown.name;
            EXPECT_EQ(shown.lost, lost) << shown.name;
            EXPECT_EQ(shown.figures[1], std::to_string(won));
            EXPECT_EQ(shown.figures[3], std::to_string(lost));
        }
        EXPECT_EQ(row, war.rowCount);
    }

    static void ExpectBattleLine(const std::string& line, const Battle& battle) {
        const std::string place = TerritoryAt(battle.territory)->name;
        const std::string who = NationName(battle.attacker);
        if (battle.taken && battle.defender >= 0) {
            EXPECT_EQ(line, who + " prend " + place + " \xE0 " + NationName(battle.defender));
        } else if (battle.taken) {
            EXPECT_EQ(line, who + " prend " + place);
        } else if (battle.defender >= 0) {
            EXPECT_EQ(line, who +
                                " \xE9"
                                "choue contre " +
                                NationName(battle.defender) + " (" + place + ")");
        } else {
            EXPECT_EQ(line, who +
                                " \xE9"
                                "choue \xE0 prendre " +
                                place);
        }
    }

    std::vector<std::unique_ptr<Script>> scripts;
    int8_t attacker = -1;
    int8_t defender = -1;
};

TEST_F(StatisticsTabs, TheTabsShowTheLedgerTheHistoryAndTheYearsBattles) {
    Begin(2, 2);
    Seat& host = *seats[0];
    Seat& other = *seats[1];
    // At the start of 1870 no year has ended: no bar, no battle.
    PlayUntil(1870);
    OpenPanel(host);
    ShowTab(host, 1);
    ExpectIncomeTab(host);
    EXPECT_EQ(host.game->StatsContent().incomes.count, 0);
    EXPECT_EQ(host.game->StatsContent().treasury, kCampaignRules.startingTreasury);
    Shoot(host, "stats-1870-revenus.png");
    ShowTab(host, 2);
    ExpectObjectiveTab(host);
    EXPECT_EQ(host.game->StatsContent().progress.count, 0);
    ShowTab(host, 3);
    EXPECT_EQ(host.game->StatsContent().warHeading, "Guerres");
    EXPECT_EQ(host.game->StatsContent().warSummary,
              "Aucune bataille cette ann\xE9"
              "e");
    EXPECT_EQ(host.game->StatsContent().eventCount, 0);
    Shoot(host, "stats-1870-guerres.png");

    PlayUntil(1871);
    const GameState::YearReport& year = host.game->Reports().back();
    ASSERT_EQ(year.year, 1870);
    // The script's two attacks were fought, and its spy went out.
    const std::vector<Battle>& battles = year.battles.battles;
    ASSERT_EQ(battles.size(), 2u);
    ASSERT_EQ(year.missions.missions.size(), 1u);

    OpenPanel(host);
    ShowTab(host, 0);
    Shoot(host, "stats-1871-summary.png");

    ShowTab(host, 1);
    ExpectIncomeTab(host);
    EXPECT_EQ(host.game->StatsContent().incomes.count, 1);
    ExpectIncomeBars(host);
    Shoot(host, "stats-1871-revenus.png");

    ShowTab(host, 2);
    ExpectObjectiveTab(host);
    Shoot(host, "stats-1871-objectif.png");

    ShowTab(host, 3);
    const StatsFigures& war = host.game->StatsContent();
    EXPECT_EQ(war.warYear, 1870);
    EXPECT_EQ(war.warHeading, "Guerres de 1870");
    EXPECT_EQ(war.battleCount, 2);
    ASSERT_EQ(war.rowCount, 2);
    ExpectWarRows(host, year);
    for (const Battle& battle : battles)
        EXPECT_EQ(battle.attacker, attacker);
    // A line per battle, naming the nations and the territory, then the host's own mission.
    ASSERT_EQ(war.eventCount, 3);
    for (size_t i = 0; i < 2; ++i)
        ExpectBattleLine(war.events[i], battles[i]);
    const MissionResult& mission = year.missions.missions[0];
    const std::string enemyCapital = TerritoryAt(mission.territory)->name;
    // The attack by sea met the other nation on its capital (battles come in territory order).
    const auto met = std::find_if(battles.begin(), battles.end(), [&](const Battle& battle) {
        return battle.defender == defender;
    });
    ASSERT_NE(met, battles.end());
    EXPECT_EQ(met->territory, mission.territory);
    EXPECT_TRUE(Contains(war.events[2], "Votre")) << war.events[2];
    EXPECT_TRUE(Contains(war.events[2], enemyCapital)) << war.events[2];
    Shoot(host, "stats-1871-guerres.png");

    // The other player sees the same battles and the mission against it, its spy unnamed
    // unless it was shot.
    OpenPanel(other);
    ShowTab(other, 3);
    const StatsFigures& seen = other.game->StatsContent();
    ASSERT_EQ(seen.eventCount, 3);
    EXPECT_EQ(seen.events[0], war.events[0]);
    EXPECT_EQ(seen.events[1], war.events[1]);
    EXPECT_TRUE(Contains(seen.events[2], enemyCapital)) << seen.events[2];
    EXPECT_FALSE(Contains(seen.events[2], "Votre")) << seen.events[2];
    EXPECT_EQ(Contains(seen.events[2], NationName(attacker)), mission.named) << seen.events[2];

    // The texts are built once per change: frames with the same tab build nothing, and with
    // each tab open they allocate nothing.
    const int32_t builds = host.game->StatsBuilds();
    Frames(30);
    EXPECT_EQ(host.game->StatsBuilds(), builds);
    for (int tab : {1, 2, 3, 0}) {
        ShowTab(host, tab);
        EXPECT_EQ(CountedFrames(host, 60), 0) << "tab " << tab;
    }
    EXPECT_EQ(host.game->StatsBuilds(), builds + 3);  // once for each figure tab

    // 1871 passes without orders; at the start of 1872 there are two years to show.
    PlayUntil(1872);
    OpenPanel(host);
    ShowTab(host, 1);
    ExpectIncomeTab(host);
    EXPECT_EQ(host.game->StatsContent().incomes.count, 2);
    ExpectIncomeBars(host);
    Shoot(host, "stats-1872-revenus.png");
    ShowTab(host, 2);
    ExpectObjectiveTab(host);
    EXPECT_EQ(host.game->StatsContent().progress.count, 2);
    Shoot(host, "stats-1872-objectif.png");
    ShowTab(host, 3);
    const StatsFigures& quiet = host.game->StatsContent();
    EXPECT_EQ(quiet.warHeading, "Guerres de 1871");
    EXPECT_EQ(quiet.battleCount, 0);
    EXPECT_EQ(quiet.warSummary,
              "Aucune bataille cette ann\xE9"
              "e");
    EXPECT_EQ(quiet.eventCount, 0);
    for (int i = 0; i < quiet.rowCount; ++i) {
        for (const std::string& figure : quiet.rows[static_cast<size_t>(i)].figures)
            EXPECT_EQ(figure, "0");
    }
    Shoot(host, "stats-1872-guerres.png");
    EXPECT_TRUE(errors.texts.empty());
}

// Four nations at war with each other: more battles than the lines under the table hold, so
// the last battle line counts the ones left out, and the host's missions still show; a year
// later the conquests show in the income.
TEST_F(StatisticsTabs, BattlesLeftOutAreCountedOnTheLastBattleLine) {
    Begin(4, 1);
    PlayUntil(1871);
    Seat& host = *seats[0];
    const GameState::YearReport& year = host.game->Reports().back();
    const std::vector<Battle>& battles = year.battles.battles;
    ASSERT_GT(battles.size(), 4u);
    OpenPanel(host);
    ShowTab(host, 2);
    ExpectObjectiveTab(host);
    ShowTab(host, 3);
    const StatsFigures& war = host.game->StatsContent();
    ASSERT_EQ(war.rowCount, 4);
    ExpectWarRows(host, year);
    // Six lines under four rows: the missions that concern the host keep up to half of them,
    // the battles take the rest, the last battle line counting the battles left out.
    const int8_t nation = host.Self().nation;
    std::vector<const MissionResult*> concerning;
    for (const MissionResult& mission : year.missions.missions) {
        if (mission.spy == nation || mission.target == nation)
            concerning.push_back(&mission);
    }
    ASSERT_FALSE(concerning.empty());
    const size_t missionLines = std::min<size_t>(concerning.size(), 3);
    const size_t battleLines = 6 - missionLines;
    ASSERT_GT(battles.size(), battleLines);
    ASSERT_EQ(war.eventCount, 6);
    for (size_t i = 0; i + 1 < battleLines; ++i)
        ExpectBattleLine(war.events[i], battles[i]);
    EXPECT_EQ(war.events[battleLines - 1],
              "... et " + std::to_string(battles.size() - battleLines + 1) + " autres batailles");
    for (size_t i = 0; i < missionLines; ++i) {
        const std::string& line = war.events[battleLines + i];
        EXPECT_TRUE(Contains(line, TerritoryAt(concerning[i]->territory)->name)) << line;
        EXPECT_EQ(Contains(line, "Votre"), concerning[i]->spy == nation) << line;
    }
    Shoot(host, "stats-4p-guerres.png");
    for (int tab : {1, 2, 3}) {
        ShowTab(host, tab);
        EXPECT_EQ(CountedFrames(host, 30), 0) << "tab " << tab;
    }

    // The territories taken in 1870 raised the income of 1871: the bars follow the years.
    PlayUntil(1872);
    OpenPanel(host);
    ShowTab(host, 1);
    ExpectIncomeTab(host);
    const StatsChart& incomes = host.game->StatsContent().incomes;
    ASSERT_EQ(incomes.count, 2);
    EXPECT_LT(incomes.values[0], incomes.values[1]);
    EXPECT_EQ(incomes.highestIndex, 1);
    ExpectIncomeBars(host);
    Shoot(host, "stats-4p-revenus.png");
    EXPECT_TRUE(errors.texts.empty());
}

// Where the bars stand: slots from the left, the scale's value at the top of the area, never
// below two pixels, nothing outside the chart.
TEST(StatsChartBars, BarsFillTheirSlotsOnTheScale) {
    StatsChart chart;
    chart.count = 3;
    chart.values = {{50, 100, 0}};
    const StatsChartArea area{10, 100, 400, 300, 8};
    const StatsBar first = ChartBar(chart, 100, area, 0);
    const StatsBar second = ChartBar(chart, 100, area, 1);
    const StatsBar third = ChartBar(chart, 100, area, 2);
    EXPECT_EQ(first.width, 37);  // three quarters of a 50-pixel slot
    EXPECT_EQ(first.x, 10 + (50 - 37) / 2);
    EXPECT_EQ(second.x, first.x + 50);
    EXPECT_EQ(first.y, 200);  // 100 high
    EXPECT_EQ(second.y, 100);
    EXPECT_EQ(third.height, 2);
    EXPECT_EQ(third.y, 298);
    EXPECT_EQ(ChartBar(chart, 100, area, 3).width, 0);
    EXPECT_EQ(ChartBar(chart, 100, area, -1).width, 0);
    // Sixteen bars share the width; a value above the scale stops at the top, without overflow.
    chart.count = 16;
    chart.values.fill(2000000000);
    EXPECT_EQ(ChartBar(chart, 1000000000, area, 15).x, 10 + 25 * 15 + (25 - 18) / 2);
    EXPECT_EQ(ChartBar(chart, 1000000000, area, 15).height, 200);
}

}  // namespace
