// The statistics panel's "Revenus", "Objectif" and "Guerres" tabs: the player's money and its
// income year after year, its objective and how far every player has come towards its own, and
// the battles and missions of the last year.
//
// Texts and figures are built only when what they show changes (the tab, the year, the history,
// the state held, the reports); a frame only draws what was built.
#include <algorithm>
#include <string>
#include <utility>

#include "campaign/Gamerules.h"
#include "game/Objectif.h"
#include "game/Stategame.h"
#include "game/Stategamestats.h"
#include "states/Frontend.h"

namespace torvane {
namespace {

constexpr uint32_t kDimGreen = 0xCF102D19;
constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kDimWhite = 0xCFFFFFFF;
// Characters per line of the objective's description in the smallest font, across the panel.
constexpr int kDescriptionColumns = 60;
// The "Guerres" table: the heading's line, then one line per nation; the events follow.
constexpr int32_t kWarTableTop = 120;
constexpr int32_t kWarLineHeight = 15;
constexpr int32_t kWarLastLine = 284;
constexpr std::array<int32_t, 4> kWarColumns = {250, 320, 390, 460};
// Lines of the players' progress, beside the progress chart.
constexpr int32_t kPlayersLeft = 262;
constexpr int32_t kPlayersTop = 190;
constexpr int32_t kPlayersLineHeight = 14;
// Nation names: the room of their small flag, and the offsets of their ring.
constexpr int32_t kFlagRoom = 27;
constexpr std::array<std::pair<int32_t, int32_t>, 4> kOutline = {
    {{-1, 0}, {1, 0}, {0, -1}, {0, 1}}};

constexpr const char* kNoYear =
    "Aucune ann\xE9"
    "e termin\xE9"
    "e";

bool IsNation(int nation) {
    return nation >= 0 && nation < NationCount;
}

// The year whose end table sits at position `index` of the history (the deal is position 0).
int32_t YearOfTable(int index) {
    return YearOf(4) + index - 1;
}

const char* TerritoryName(int index) {
    const Territory* territory = TerritoryAt(index);
    return territory && territory->name ? territory->name : "?";
}

// "1 bataille", "3 batailles", "aucune bataille".
std::string Counted(int32_t count, const char* none, const char* one, const char* many) {
    if (count <= 0)
        return none;
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void FinishChart(StatsChart& chart, bool percent) {
    chart.highest = 0;
    chart.highestIndex = -1;
    for (int i = 0; i < chart.count; ++i) {
        const int32_t value = chart.values[static_cast<size_t>(i)];
        if (chart.highestIndex < 0 || value > chart.highest) {
            chart.highest = value;
            chart.highestIndex = i;
        }
    }
    chart.firstLabel.clear();
    chart.lastLabel.clear();
    chart.highestLabel.clear();
    if (chart.count == 0)
        return;
    chart.firstLabel = std::to_string(chart.firstYear);
    if (chart.count > 1)
        chart.lastLabel = std::to_string(chart.firstYear + chart.count - 1);
    chart.highestLabel =
        percent ? std::to_string(chart.highest) + " %" : FormatAmount(chart.highest);
}

// "1 troupe perdue", "12 troupes perdues".
std::string Troops(int32_t count, const char* participle) {
    const char* plural = count > 1 ? "s" : "";
    return FormatAmount(count) + " troupe" + plural + " " + participle + plural;
}

std::string BattleLine(const Battle& battle) {
    std::string line = NationName(battle.attacker);
    const char* territory = TerritoryName(battle.territory);
    if (battle.taken) {
        line += " prend ";
        line += territory;
        if (IsNation(battle.defender)) {
            line += " \xE0 ";
            line += NationName(battle.defender);
        }
    } else if (IsNation(battle.defender)) {
        line +=
            " \xE9"
            "choue contre ";
        line += NationName(battle.defender);
        line += " (";
        line += territory;
        line += ")";
    } else {
        line +=
            " \xE9"
            "choue \xE0 prendre ";
        line += territory;
    }
    return line;
}

// A mission seen by `nation`: its own, or one against it (the spy named only when the target
// shot it).
std::string MissionLine(const MissionResult& mission, int nation) {
    const std::string place = std::string(" (") + TerritoryName(mission.territory) + ")";
    if (mission.spy == nation) {
        if (mission.caught)
            return std::string(mission.named ? "Votre espion est fusill\xE9"
                                             : "Votre espion est pris") +
                   place;
        switch (mission.mission) {
            case Mission::Sabotage:
                return "Votre sabotage r\xE9ussit" + place +
                       (mission.amount > 0 ? " : " + Troops(mission.amount, "d\xE9truite")
                                           : std::string());
            case Mission::Theft:
                return "Votre vol r\xE9ussit : " + FormatAmount(mission.amount) + " pris \xE0 " +
                       NationName(mission.target);
            case Mission::Propaganda:
                return std::string("Votre propagande r\xE9ussit : ") +
                       TerritoryName(mission.territory) + " se r\xE9volte";
        }
        return {};
    }
    if (mission.caught) {
        if (mission.named)
            return "Espion de " + NationName(mission.spy) + " fusill\xE9" + place;
        return "Espion arr\xEAt\xE9" + place;
    }
    switch (mission.mission) {
        case Mission::Sabotage:
            return "Sabotage contre vous" + place +
                   (mission.amount > 0 ? " : " + Troops(mission.amount, "perdue") : std::string());
        case Mission::Theft:
            return "Vol contre vous : " + FormatAmount(mission.amount) + " perdus";
        case Mission::Propaganda:
            return std::string("Propagande contre vous : ") + TerritoryName(mission.territory) +
                   " se r\xE9volte";
    }
    return {};
}

}  // namespace

StatsBar ChartBar(const StatsChart& chart, int32_t scale, const StatsChartArea& area, int index) {
    StatsBar bar;
    if (index < 0 || index >= chart.count)
        return bar;
    const int32_t slots = std::max(chart.count, area.minSlots);
    const int32_t slot = area.width / std::max(slots, 1);
    bar.width = std::max(1, slot * 3 / 4);
    bar.x = area.left + slot * index + (slot - bar.width) / 2;
    const int64_t value = std::max(0, chart.values[static_cast<size_t>(index)]);
    const int64_t room = area.bottom - area.top;
    const int64_t height = scale > 0 ? std::min(room, value * room / scale) : 0;
    bar.height = static_cast<int32_t>(std::max<int64_t>(2, height));
    bar.y = area.bottom - bar.height;
    return bar;
}

void GameState::RefreshStats(DirectPlay& network) {
    StatsKey key;
    key.tab = statsTabIndex;
    key.year = YearOf(network.LocalStatus());
    key.historyCount = history.Count();
    key.heldStatus = heldStatus;
    key.reports = reports.size();
    if (!reports.empty()) {
        key.battles = reports.back().battles.battles.size();
        key.missions = reports.back().missions.missions.size();
    }
    key.nation = localNation;
    key.objective = local.objectif;
    if (key == statsKey && statsBuilds > 0)
        return;
    statsKey = key;
    ++statsBuilds;
    switch (statsTabIndex) {
        case 1:
            BuildIncomeTab();
            break;
        case 2:
            BuildObjectiveTab(network);
            break;
        case 3:
            BuildWarTab();
            break;
        default:
            break;
    }
}

void GameState::BuildIncomeTab() {
    const bool known = IsNation(localNation);
    const auto nation = static_cast<size_t>(known ? localNation : 0);
    stats.treasury = known ? std::max(0, held.ledger.values[Treasury][nation]) : 0;
    stats.income = known ? std::max(0, held.ledger.values[Income][nation]) : 0;
    stats.treasuryText = "Tr\xE9sor : " + FormatAmount(stats.treasury);
    stats.incomeText = "Revenu : " + FormatAmount(stats.income);
    stats.noYearText = kNoYear;
    stats.incomeHeading =
        "Revenus par ann\xE9"
        "e";
    // One bar per year-end table, the newest sixteen; the deal holds no figures.
    StatsChart& chart = stats.incomes;
    chart.count = 0;
    const int count = history.Count();
    for (int index = count - 1; index >= 1 && known && chart.count < kStatsChartBars; --index) {
        const CInfos* infos = history.InfosAt(index);
        if (!infos || infos->values[Income][nation] < 0)
            continue;
        chart.values[static_cast<size_t>(chart.count++)] = infos->values[Income][nation];
        chart.firstYear = YearOfTable(index);
    }
    std::reverse(chart.values.begin(), chart.values.begin() + chart.count);
    FinishChart(chart, false);
}

void GameState::BuildObjectiveTab(DirectPlay& network) {
    const Objectif* objective = local.objectif;
    stats.objectiveTitle = objective ? objective->title : std::string();
    stats.objectiveDescription =
        objective ? WrapText(objective->description, kDescriptionColumns) : std::string();
    stats.percent = std::max(0, Progress(objective, &history, localNation, 0));
    stats.percentText =
        "R\xE9"
        "alis\xE9 : " +
        std::to_string(stats.percent) + " %";
    stats.progressHeading = "Progression";
    stats.noYearText = kNoYear;
    stats.playersHeading = "Joueurs";

    // The objective measured on each year-end table, oldest on the left.
    StatsChart& chart = stats.progress;
    const int count = history.Count();
    chart.count = std::clamp(count - 1, 0, kStatsChartBars);
    for (int back = 0; back < chart.count; ++back) {
        const int32_t value = Progress(objective, &history, localNation, back);
        chart.values[static_cast<size_t>(chart.count - 1 - back)] = std::clamp(value, 0, 100);
    }
    chart.firstYear = YearOfTable(count - chart.count);
    FinishChart(chart, true);

    // Every player in the table's order, each measured against its own objective.
    const uint8_t living = LivingNations(held, governments);
    stats.playerCount = 0;
    PlayerInfo record;
    for (unsigned index = 0; stats.playerCount < NationCount &&
                             network.CopyPlayerAt(static_cast<uint8_t>(index), record);
         ++index) {
        if (!IsNation(record.nation))
            continue;
        const auto nation = static_cast<size_t>(record.nation);
        const int number =
            nationPlayers[nation] == record.playerId ? nationObjectives[nation] : record.objective;
        StatsPlayerLine& line = stats.players[static_cast<size_t>(stats.playerCount++)];
        line.nation = record.nation;
        line.percent = std::max(0, Progress(ObjectiveAt(number), &history, record.nation, 0));
        line.eliminated = heldStatus != 0 && governments[nation] >= 0 && !((living >> nation) & 1);
        line.name = record.Name();
        line.nationName = NationName(record.nation);
        line.percentText = line.eliminated ? "\xE9limin\xE9" : std::to_string(line.percent) + " %";
    }
}

void GameState::BuildWarTab() {
    const YearReport* year = reports.empty() ? nullptr : &reports.back();
    const std::vector<Battle> none;
    const std::vector<Battle>& battles = year ? year->battles.battles : none;
    stats.warYear = year ? year->year : 0;
    stats.battleCount = static_cast<int>(battles.size());
    stats.warHeading = "Guerres";
    if (year)
        stats.warHeading += " de " + std::to_string(year->year);
    stats.columns = {"Nation", "Batailles",
                     "Gagn\xE9"
                     "es",
                     "Prises", "Perdues"};

    stats.rowCount = 0;
    int32_t taken = 0;
    for (int nation = 0; nation < NationCount; ++nation) {
        if (governments[static_cast<size_t>(nation)] < 0)
            continue;
        StatsWarRow& row = stats.rows[static_cast<size_t>(stats.rowCount++)];
        row = StatsWarRow{};
        row.nation = static_cast<int8_t>(nation);
        row.name = NationName(nation);
        for (const Battle& battle : battles) {
            if (battle.attacker == nation) {
                ++row.battles;
                row.won += battle.taken ? 1 : 0;
            }
            row.lost += battle.defender == nation && battle.taken ? 1 : 0;
        }
        if (year) {
            for (const MissionResult& mission : year->missions.missions) {
                row.lost += mission.target == nation && mission.success &&
                                    mission.mission == Mission::Propaganda
                                ? 1
                                : 0;
            }
        }
        row.taken = std::max(0, held.ledger.values[Conquests][static_cast<size_t>(nation)]);
        taken += row.taken;
        row.figures = {std::to_string(row.battles), std::to_string(row.won),
                       std::to_string(row.taken), std::to_string(row.lost)};
    }
    stats.warSummary =
        battles.empty()
            ? "Aucune bataille cette ann\xE9"
              "e"
            : Counted(stats.battleCount, "aucune bataille", "bataille", "batailles") + ", " +
                  Counted(taken, "aucun territoire pris", "territoire pris", "territoires pris");

    // Under the table, as many lines as the panel holds: the battles (at most six, the last
    // one counting those left out when there are more), then the missions the player knows
    // about.
    const int32_t first = kWarTableTop + kWarLineHeight * (stats.rowCount + 1) + 6;
    const int capacity =
        std::clamp((kWarLastLine - first) / kWarLineHeight + 1, 0, kStatsEventLines);
    std::vector<const MissionResult*> concerning;
    if (year) {
        for (const MissionResult& mission : year->missions.missions) {
            if (IsNation(localNation) &&
                (mission.spy == localNation || mission.target == localNation))
                concerning.push_back(&mission);
        }
    }
    const int missionRoom = std::min(static_cast<int>(concerning.size()), capacity / 2);
    const int battleLines =
        std::min({static_cast<int>(battles.size()), kStatsBattleLines, capacity - missionRoom});
    stats.eventCount = 0;
    for (int i = 0; i < battleLines; ++i) {
        const int left = static_cast<int>(battles.size()) - i;
        std::string& line = stats.events[static_cast<size_t>(stats.eventCount++)];
        if (i > 0 && i == battleLines - 1 && left > 1) {
            line = "... et " + std::to_string(left) + " autres batailles";
        } else {
            line = BattleLine(battles[static_cast<size_t>(i)]);
        }
    }
    for (const MissionResult* mission : concerning) {
        if (stats.eventCount >= capacity)
            break;
        stats.events[static_cast<size_t>(stats.eventCount++)] = MissionLine(*mission, localNation);
    }
}

void GameState::DrawStatsIdentity(const PlayerInfo& self, int32_t x0, int32_t y0) {
    if (!IsNation(self.nation))
        return;
    const auto& flag = flags[static_cast<size_t>(self.nation)];
    Draw(flag, x0 + 30, y0 + 39, kWhite, 1.3f, 1.3f);
    Draw(portraits[static_cast<size_t>(self.nation)], x0 + 37, y0 + 46, kDimWhite, 0.65f, 0.65f);
    if (flag && self.government >= 0 && self.government < GovernmentCount &&
        emblems[static_cast<size_t>(self.government)]) {
        const auto& emblem = emblems[static_cast<size_t>(self.government)];
        const int32_t ex =
            Trunc(static_cast<float>(flag->GetWidth()) * 1.32f + static_cast<float>(x0 + 30 - 7) -
                  static_cast<float>(emblem->GetWidth()) * 0.66f);
        const int32_t ey =
            Trunc(static_cast<float>(flag->GetHeight()) * 1.32f + static_cast<float>(y0 + 39 - 7) -
                  static_cast<float>(emblem->GetHeight()) * 0.66f);
        Draw(emblem, ex, ey, kDimWhite, 0.66f, 0.66f);
    }
}

void GameState::DrawStatsChart(const StatsChart& chart, int32_t scale, const StatsChartArea& area,
                               int32_t x0, int32_t y0) {
    if (chart.count == 0) {
        screen->DrawText(x0 + area.left, y0 + area.bottom - 16, stats.noYearText, kDimGreen, 0, 0,
                         0);
    }
    for (int i = 0; i < chart.count; ++i) {
        const StatsBar bar = ChartBar(chart, scale, area, i);
        // The fill is one pixel wide and sixteen high: it is stretched to the bar.
        const float high = static_cast<float>(std::max(fillBar ? fillBar->GetHeight() : 0, 1));
        Draw(fillBar, x0 + bar.x, y0 + bar.y, kWhite, static_cast<float>(bar.width),
             static_cast<float>(bar.height) / high);
        const int32_t middle = x0 + bar.x + bar.width / 2;
        if (i == 0)
            screen->DrawText(middle, y0 + area.bottom + 2, chart.firstLabel, kTextGreen, 0, 0, 1);
        if (i == chart.count - 1 && i > 0)
            screen->DrawText(middle, y0 + area.bottom + 2, chart.lastLabel, kTextGreen, 0, 0, 1);
        if (i == chart.highestIndex)
            screen->DrawText(middle, y0 + bar.y - 17, chart.highestLabel, kTextGreen, 0, 0, 1);
    }
}

void GameState::DrawNationName(int32_t x, int32_t y, int nation, const std::string& name) {
    // A small flag, then the name in the nation's colour ringed with the panel's green: white
    // and yellow names stay readable on the parchment.
    if (IsNation(nation)) {
        const auto& flag = flags[static_cast<size_t>(nation)];
        const float scale =
            flag ? 10.0f / static_cast<float>(std::max(flag->GetHeight(), 1)) : 0.0f;
        Draw(flag, x, y + 3, kWhite, scale, scale);
    }
    const int32_t left = x + kFlagRoom;
    for (const auto& [dx, dy] : kOutline)
        screen->DrawText(left + dx, y + dy, name, kTextGreen, 0, 0, 0);
    screen->DrawText(left, y, name, NationColour(nation), 0, 0, 0);
}

void GameState::DrawIncomeTab(int32_t x0, int32_t y0) {
    screen->DrawText(x0 + 180, y0 + 34, stats.treasuryText, kTextGreen, 0, 3, 0);
    screen->DrawText(x0 + 180, y0 + 62, stats.incomeText, kTextGreen, 0, 1, 0);
    screen->DrawText(x0 + 30, y0 + 120, stats.incomeHeading, kTextGreen, 0, 1, 0);
    DrawStatsChart(stats.incomes, stats.incomes.highest, kIncomeChartArea, x0, y0);
}

void GameState::DrawObjectiveTab(int32_t x0, int32_t y0) {
    screen->DrawText(x0 + 180, y0 + 34, stats.objectiveTitle, kTextGreen, 0, 2, 0);
    screen->DrawText(x0 + 180, y0 + 62, stats.percentText, kTextGreen, 0, 1, 0);
    screen->DrawText(x0 + 30, y0 + 120, stats.objectiveDescription, kTextGreen, 0, 0, 0);
    screen->DrawText(x0 + 30, y0 + kPlayersTop - 15, stats.progressHeading, kDimGreen, 0, 0, 0);
    DrawStatsChart(stats.progress, 100, kProgressChartArea, x0, y0);
    screen->DrawText(x0 + kPlayersLeft, y0 + kPlayersTop - 15, stats.playersHeading, kDimGreen, 0,
                     0, 0);
    for (int i = 0; i < stats.playerCount; ++i) {
        const StatsPlayerLine& line = stats.players[static_cast<size_t>(i)];
        const int32_t y = y0 + kPlayersTop + kPlayersLineHeight * i;
        screen->DrawText(x0 + kPlayersLeft, y, line.name, kTextGreen, 0, 0, 0);
        DrawNationName(x0 + kPlayersLeft + 70, y, line.nation, line.nationName);
        screen->DrawText(x0 + 468, y, line.percentText, kTextGreen, 0, 0, 2);
    }
}

void GameState::DrawWarTab(int32_t x0, int32_t y0) {
    screen->DrawText(x0 + 180, y0 + 34, stats.warHeading, kTextGreen, 0, 2, 0);
    screen->DrawText(x0 + 180, y0 + 62, stats.warSummary, kTextGreen, 0, 1, 0);
    screen->DrawText(x0 + 30, y0 + kWarTableTop, stats.columns[0], kDimGreen, 0, 0, 0);
    for (size_t k = 0; k < kWarColumns.size(); ++k) {
        screen->DrawText(x0 + kWarColumns[k], y0 + kWarTableTop, stats.columns[k + 1], kDimGreen, 0,
                         0, 2);
    }
    for (int i = 0; i < stats.rowCount; ++i) {
        const StatsWarRow& row = stats.rows[static_cast<size_t>(i)];
        const int32_t y = y0 + kWarTableTop + kWarLineHeight * (i + 1);
        DrawNationName(x0 + 30, y, row.nation, row.name);
        for (size_t k = 0; k < kWarColumns.size(); ++k)
            screen->DrawText(x0 + kWarColumns[k], y, row.figures[k], kTextGreen, 0, 0, 2);
    }
    const int32_t first = kWarTableTop + kWarLineHeight * (stats.rowCount + 1) + 6;
    for (int i = 0; i < stats.eventCount; ++i) {
        screen->DrawText(x0 + 30, y0 + first + kWarLineHeight * i,
                         stats.events[static_cast<size_t>(i)], kTextGreen, 0, 0, 0);
    }
}

}  // namespace torvane
