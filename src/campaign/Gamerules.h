// The game screen's rules that need no engine: year arithmetic, panel motion, line breaking, the
// ring of players and the dealing of the world and the objectives.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "network/Playerinfo.h"

namespace torvane {

// A session phase runs in steps of two status values; a year is eleven of them, from status 4.
int32_t YearOf(uint32_t status);
// -1 in the first game phase (status 2 or 3), then 0..6 within each year.
int32_t PhaseOfYear(uint32_t status);

// Centre a picture of that width / height on the 640 x 480 screen.
inline int32_t PanelX(int32_t width) {
    return 320 - width / 2;
}
inline int32_t CentredY(int32_t height) {
    return 240 - height / 2;
}

// Where a sliding panel parks when hidden.
inline constexpr float kHiddenPanelY = -400.0f;

// One frame of a sliding panel of height `height` after `frameMs` milliseconds: half a percent of
// the remaining distance per millisecond, never slower than 5 pixels per second, never past its
// target and never below its centred position.
float Slide(float position, bool shown, int32_t height, int32_t frameMs);

// Breaks `text` into lines of at most `width` characters at its last space within each line; a
// word longer than the width is cut at the width.
std::string WrapText(const std::string& text, int width);

// The seat of player `index` (from 0) of `count` on the ring around the screen.
struct RingPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const RingPoint&) const = default;
};
RingPoint RingPosition(int index, int count);

// The world as the host deals it to the players whose nations are given in table order: each
// valid nation's capital on its starting territory, every other territory in a wealth group with
// an army drawn from the game's generator.
TerritoryTable DealMap(std::span<const int8_t> nations);

inline constexpr int32_t kCapitalWealth = 300000;
inline constexpr int32_t kCapitalArmy = 20;
inline constexpr int32_t kCapitalReserve = 5;

// The objective the host deals to one player: 0 (world conquest) unless `personalised`, then
// 1..objectiveCount - 1 from the game's generator.
uint8_t DealObjective(bool personalised, int objectiveCount);

// The phase clock the host chooses in the lobby: how long each phase waits for a player. The
// host's record carries the choice (reservedByteB: 0 or anything out of range "illimité", then
// 30 s, 1 min, 2 min, 5 min); every player keeps a copy in its own record once the game runs, so
// that a new host goes on with it.
inline constexpr int kPhaseClockChoices = 5;
int PhaseClockChoice(const PlayerInfo& record);
// Seconds of a choice, 0 for "illimité".
int32_t PhaseClockSeconds(int choice);
// "Temps : illimité", "Temps : 30 s", ...
const std::string& PhaseClockName(int choice);
// Seconds left shown as the top bar shows them: "m:ss".
void FormatClock(int32_t seconds, std::string& out);

}  // namespace torvane
