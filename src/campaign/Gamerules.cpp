// The game screen's rules that need no engine: year arithmetic, panel motion, line breaking, the
// ring of players and the dealing of the world and the objectives.
#include "campaign/Gamerules.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "game/Random.h"

namespace torvane {
namespace {

// Status with its ready bit removed, minus the lobby and the first game phase.
int64_t YearSteps(uint32_t status) {
    const int64_t even = static_cast<int64_t>(status) - static_cast<int64_t>(status % 2);
    return even - 4;
}

struct WealthGroup {
    int32_t wealth;
    int32_t count;  // -1: the group that makes up for missing players
    float factor;
};

// Together with the capitals and the make-up group these fill every territory.
constexpr std::array<WealthGroup, 31> kGroups = {{
    {50000, 1, 0.5f},   {55000, 1, 0.5f},  {60000, 2, 0.5f},  {65000, 2, 0.5f},  {70000, 2, 0.5f},
    {75000, 3, 0.5f},   {80000, 3, 1.0f},  {85000, 3, 1.0f},  {90000, 3, 1.0f},  {95000, 3, 1.0f},
    {100000, 4, 1.0f},  {105000, 4, 2.0f}, {110000, 5, 2.0f}, {115000, 5, 2.0f}, {120000, 7, 2.0f},
    {125000, -1, 2.0f}, {130000, 7, 2.0f}, {135000, 5, 2.0f}, {140000, 5, 2.0f}, {145000, 4, 2.0f},
    {150000, 4, 2.0f},  {155000, 3, 4.0f}, {160000, 3, 4.0f}, {165000, 3, 4.0f}, {170000, 3, 4.0f},
    {175000, 3, 4.0f},  {180000, 2, 8.0f}, {185000, 2, 8.0f}, {190000, 2, 8.0f}, {195000, 1, 10.0f},
    {200000, 1, 10.0f},
}};

}  // namespace

int32_t YearOf(uint32_t status) {
    return static_cast<int32_t>(1870 + YearSteps(status) / 22);
}

int32_t PhaseOfYear(uint32_t status) {
    const int64_t r = YearSteps(status) % 22;
    if (r / 2 < 3)
        return static_cast<int32_t>(r / 2);
    return static_cast<int32_t>(r / 4 + 1);
}

float Slide(float position, bool shown, int32_t height, int32_t frameMs) {
    const float dt = static_cast<float>(frameMs);
    const float rest = static_cast<float>(CentredY(height));
    const float target = shown ? rest : kHiddenPanelY;
    if (std::floor(position) <= target && std::ceil(position) < target) {
        const float step = std::max(dt * (target - position) * 0.005f, dt * 0.005f);
        // A long frame would otherwise throw the panel past its target and back, ever further.
        position = std::min(position + step, target);
    } else if (std::floor(position) > target) {
        const float step = std::min(dt * (target - position) * 0.005f, -dt * 0.005f);
        position = std::max(position + step, target);
    }
    return std::min(position, rest);
}

std::string WrapText(const std::string& text, int width) {
    if (width < 1)
        return text;
    std::string wrapped;
    size_t start = 0;
    while (text.size() - start > static_cast<size_t>(width)) {
        const size_t limit = start + static_cast<size_t>(width);
        size_t space = text.rfind(' ', limit - 1);
        if (space == std::string::npos || space < start) {
            // One word longer than a line: cut it at the width.
            wrapped.append(text, start, static_cast<size_t>(width));
            wrapped += '\n';
            start = limit;
        } else {
            wrapped.append(text, start, space - start);
            wrapped += '\n';
            start = space + 1;
        }
    }
    wrapped.append(text, start, std::string::npos);
    return wrapped;
}

RingPoint RingPosition(int index, int count) {
    if (count < 1)
        return {320, 50};
    const float t = static_cast<float>(index + 1) * 1740.0f / static_cast<float>(count);
    if (t <= 245.0f)
        return {static_cast<int32_t>(320.0f + t), 50};
    if (t <= 625.0f)
        return {565, static_cast<int32_t>(50.0f + t - 245.0f)};
    if (t <= 1115.0f)
        return {static_cast<int32_t>(565.0f - (t - 625.0f)), 430};
    if (t <= 1495.0f)
        return {75, static_cast<int32_t>(455.0f - (t - 1115.0f))};
    return {static_cast<int32_t>(75.0f + t - 1495.0f), 50};
}

TerritoryTable DealMap(std::span<const int8_t> nations) {
    TerritoryTable table{};
    int capitals = 0;
    for (const int8_t nation : nations) {
        // A record without a nation (or with a forged one) gets no capital, and two records
        // holding the same nation share one: the make-up group then still fills the world.
        if (nation < 0 || nation >= NationCount)
            continue;
        TerritoryInfo& capital = table[static_cast<size_t>(StartingTerritory(nation))];
        if (capital.wealth == kCapitalWealth)
            continue;
        capital.owner = nation;
        capital.wealth = kCapitalWealth;
        capital.army = kCapitalArmy;
        capital.reserve = kCapitalReserve;
        ++capitals;
    }
    for (const WealthGroup& group : kGroups) {
        const int count = group.count >= 0 ? group.count : std::max(0, NationCount - capitals);
        for (int placed = 0; placed < count; ++placed) {
            int index = Random(TerritoryCount);
            while (table[static_cast<size_t>(index)].wealth != 0)
                index = Random(TerritoryCount);
            TerritoryInfo& entry = table[static_cast<size_t>(index)];
            entry.wealth = group.wealth;
            entry.army = static_cast<int32_t>(static_cast<float>(5 + Random(46)) * group.factor);
        }
    }
    return table;
}

uint8_t DealObjective(bool personalised, int objectiveCount) {
    if (!personalised)
        return 0;
    return static_cast<uint8_t>(1 + Random(objectiveCount - 1));
}

namespace {

constexpr int32_t kClockSeconds[kPhaseClockChoices] = {0, 30, 60, 120, 300};

}  // namespace

int PhaseClockChoice(const PlayerInfo& record) {
    const int choice = record.reservedByteB;
    return choice > 0 && choice < kPhaseClockChoices ? choice : 0;
}

int32_t PhaseClockSeconds(int choice) {
    return choice > 0 && choice < kPhaseClockChoices ? kClockSeconds[choice] : 0;
}

const std::string& PhaseClockName(int choice) {
    // Made once: the lobby draws one of them every frame.
    static const std::array<std::string, kPhaseClockChoices> names = {
        "Temps : illimit\xE9", "Temps : 30 s", "Temps : 1 min", "Temps : 2 min", "Temps : 5 min"};
    return names[static_cast<size_t>(choice > 0 && choice < kPhaseClockChoices ? choice : 0)];
}

void FormatClock(int32_t seconds, std::string& out) {
    seconds = std::clamp(seconds, 0, 99 * 60 + 59);
    out.clear();
    out += std::to_string(seconds / 60);
    out += ':';
    out += static_cast<char>('0' + seconds % 60 / 10);
    out += static_cast<char>('0' + seconds % 10);
}

}  // namespace torvane
