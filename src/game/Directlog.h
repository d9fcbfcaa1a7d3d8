// The game history: every territory table the game has received, oldest first.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "network/Playerinfo.h"

namespace torvane {

// Per-nation figures kept beside each table: three rows of eight values, all -1 when created.
struct CInfos {
    std::array<std::array<int32_t, 8>, 3> values;
    CInfos();
};

// Appends may come from another thread while the frame reads; every operation takes the
// history's lock, and tables, once appended, never move or change until the history is destroyed
// or started over.
class DirectLog {
  public:
    // What a history keeps at most (about 12 MB of tables): whoever sends tables cannot make a
    // player's memory grow without end.
    static constexpr int kMaxTables = 4096;

    DirectLog() = default;
    DirectLog(const DirectLog&) = delete;
    DirectLog& operator=(const DirectLog&) = delete;

    // Appends an owned copy of `table` and a fresh CInfos; false, with nothing kept, for a
    // missing table or a full history.
    bool Append(const TerritoryTable* table);
    bool Append(const TerritoryTable& table) { return Append(&table); }
    // The same with the figures of the nations when the table was made (the campaign's ledger).
    bool Append(const TerritoryTable& table, const CInfos& infos);
    // Forgets every table and keeps a copy of `table` alone. Pointers read from the history
    // before are no longer valid: only its owner's thread, holding none, may call it.
    void StartOver(const TerritoryTable& table);

    int Count() const;
    // The table at position `index` (0 = oldest), or nullptr when there is none.
    const TerritoryTable* TableAt(int index) const;
    const CInfos* InfosAt(int index) const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<const TerritoryTable>> tables_;
    std::vector<std::unique_ptr<const CInfos>> infos_;
};

// Count of a history that may be missing.
inline int Count(const DirectLog* history) {
    return history ? history->Count() : 0;
}

}  // namespace torvane
