// A saved campaign: everything a host needs to take a game up again at the start of a year, and
// its file format (docs/savegame.md). Little-endian throughout, sealed with SHA-256:
//
//   "TORVSAVE" | u32 version (1)
//   | u32 32   header   u64 game id | i64 saved at | u32 status | u8 flags (1: personal
//                       objectives) | 11 bytes host name, zero-terminated
//   | u32 112  nations  8 x { i8 government | i8 objective | u8 flags (1: computer) | 11 bytes
//                       name, zero-terminated }
//   | u32 3040 state    104 x 28-byte territory entries | 24 x i32 ledger | 4 x u64 generator
//   | u32 n    history  u32 count | count x { 104 x 28-byte territory entries | 24 x i32 ledger }
//   | u32 n    reports  u32 count | count x { u32 length | a report message (Campaignmessages.h) }
//   | 32 bytes SHA-256 of everything before it
//
// A saved file is read like bytes from the network: DecodeSavedGame trusts nothing in it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "campaign/Campaign.h"
#include "campaign/Campaignmessages.h"
#include "game/Directlog.h"
#include "game/Random.h"
#include "network/Playerinfo.h"

namespace torvane {

inline constexpr uint32_t kSavedGameVersion = 1;

// The objectives BuildObjectives makes (numbers 0..4). The list is built in code, never read
// from a file, so a saved objective beyond it names nothing the game knows.
inline constexpr int kSavedObjectiveCount = 5;

struct SavedNation {
    int8_t government = -1;  // 0..2; -1: nobody played this nation in the game
    // The objective dealt to it (0..kSavedObjectiveCount - 1; "Monde" games deal 0, the world
    // conquest, to everybody); -1 when none is known. -1 for a nation not in the game.
    int8_t objective = -1;
    bool computer = false;  // a computer played it when the game was saved (false when not in it)
    std::array<char, kPlayerNameSize> name{};  // its player's name, zero-terminated (empty when
                                               // government is -1, never empty otherwise)
    bool operator==(const SavedNation&) const = default;
};

struct SavedYear {  // one table of the history and the figures that came with it
    TerritoryTable table{};
    CInfos infos;
    bool operator==(const SavedYear& o) const {
        return table == o.table && infos.values == o.infos.values;
    }
};

struct SavedGame {
    uint64_t gameId = 0;                           // non-zero; names the file
    int64_t savedAt = 0;                           // seconds since 1970, UTC (>= 0)
    std::array<char, kPlayerNameSize> hostName{};  // the host's name when saved, zero-terminated,
                                                   // non-empty, no control characters
    bool personalised = false;   // personal objectives; otherwise the "Monde" objective for all
    uint32_t status = 0;         // the status it was saved in: always the start of a year
    CampaignState state;         // the host's state for that status
    GeneratorState generator{};  // the host's generator then (all zeros: not known)
    std::array<SavedNation, NationCount> nations{};
    std::vector<SavedYear> history;    // oldest first: the deal, then one table per year closed
    std::vector<PhaseReport> reports;  // the host's reports of the years played, oldest first
    bool operator==(const SavedGame&) const = default;
};

// The year's number of a saved game, and its nations in the game (bit n).
int32_t SavedYearOf(const SavedGame& game);
uint8_t SavedNations(const SavedGame& game);

// True when `game` is one DecodeSavedGame accepts once encoded; otherwise false with the reason
// (French, for the player) in `error` when given. The rules are those of docs/savegame.md.
bool IsValidSavedGame(const SavedGame& game, std::string* error = nullptr);

// The file of a valid game. Callers pass only valid games (IsValidSavedGame): an invalid one is
// written as it is, and DecodeSavedGame then refuses the file.
std::vector<uint8_t> EncodeSavedGame(const SavedGame& game);
// False with a French reason in `error` (when given) for anything but what EncodeSavedGame
// writes for a valid game; `out` is then untouched.
bool DecodeSavedGame(std::span<const uint8_t> bytes, SavedGame& out, std::string* error = nullptr);

inline constexpr size_t kSavedGameMagicSize = 8;
inline constexpr size_t kSavedGameSealSize = 32;
inline constexpr size_t kSavedHeaderSize = 8 + 8 + 4 + 1 + kPlayerNameSize;                // 32
inline constexpr size_t kSavedNationSize = 1 + 1 + 1 + kPlayerNameSize;                    // 14
inline constexpr size_t kSavedNationsSize = NationCount * kSavedNationSize;                // 112
inline constexpr size_t kSavedLedgerSize = 24 * 4;                                         // 96
inline constexpr size_t kSavedStateSize = kTerritoryTableSize + kSavedLedgerSize + 4 * 8;  // 3040
inline constexpr size_t kSavedYearSize = kTerritoryTableSize + kSavedLedgerSize;           // 3008
// Two reports a year played (the moves' battles and the missions), for every year a history of
// kMaxHistoryEntries tables can close.
inline constexpr size_t kMaxSavedReports = 2 * (kMaxHistoryEntries - 1);
// The largest file EncodeSavedGame can write (for a valid game): about 125 MiB, all of it
// reports of 832 battles each; a real game of sixty years takes a few hundred kilobytes.
inline constexpr size_t kMaxSavedGameSize =
    kSavedGameMagicSize + 4 + 5 * 4 + kSavedHeaderSize + kSavedNationsSize + kSavedStateSize + 4 +
    kMaxHistoryEntries * kSavedYearSize + 4 + kMaxSavedReports * (4 + kMaxReportSize) +
    kSavedGameSealSize;

}  // namespace torvane
