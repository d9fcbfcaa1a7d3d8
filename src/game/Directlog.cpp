// The game history: every territory table the game has received, oldest first.
#include "game/Directlog.h"

namespace torvane {

CInfos::CInfos() {
    for (auto& row : values)
        row.fill(-1);
}

bool DirectLog::Append(const TerritoryTable* table) {
    if (!table)
        return false;
    return Append(*table, CInfos());
}

bool DirectLog::Append(const TerritoryTable& table, const CInfos& figures) {
    auto copy = std::make_unique<const TerritoryTable>(table);
    auto infos = std::make_unique<const CInfos>(figures);
    std::lock_guard lock(mutex_);
    if (tables_.size() >= static_cast<size_t>(kMaxTables))
        return false;
    tables_.push_back(std::move(copy));
    infos_.push_back(std::move(infos));
    return true;
}

void DirectLog::StartOver(const TerritoryTable& table) {
    auto copy = std::make_unique<const TerritoryTable>(table);
    auto infos = std::make_unique<const CInfos>();
    std::lock_guard lock(mutex_);
    tables_.clear();
    infos_.clear();
    tables_.push_back(std::move(copy));
    infos_.push_back(std::move(infos));
}

int DirectLog::Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(tables_.size());
}

const TerritoryTable* DirectLog::TableAt(int index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(tables_.size()))
        return nullptr;
    return tables_[static_cast<size_t>(index)].get();
}

const CInfos* DirectLog::InfosAt(int index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(infos_.size()))
        return nullptr;
    return infos_[static_cast<size_t>(index)].get();
}

}  // namespace torvane
