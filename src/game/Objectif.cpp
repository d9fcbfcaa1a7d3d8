// The victory objectives and how far a nation has come towards each.
#include "game/Objectif.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "game/Directlog.h"
#include "game/Game.h"

namespace torvane {
namespace {

constexpr int32_t kCapitalWealth = 300000;

std::vector<std::unique_ptr<Objectif>>& List() {
    static std::vector<std::unique_ptr<Objectif>> list;
    return list;
}

// The table `back` steps before the newest, or nullptr.
const TerritoryTable* Examined(const DirectLog* history, int back) {
    if (!history)
        return nullptr;
    return history->TableAt(history->Count() - back - 1);
}

bool Belongs(const TerritoryInfo& entry, int nation) {
    return static_cast<int>(entry.owner) == nation && nation >= 0;
}

bool IsCapital(const TerritoryInfo& entry) {
    return entry.wealth == kCapitalWealth;
}

uint32_t Unsigned(int32_t value) {
    return static_cast<uint32_t>(value);
}

// Owning every territory of the continents with at least 5 army on each gives 100.
int32_t Colonise(const DirectLog* history, int nation, int back, int continentA, int continentB) {
    const TerritoryTable* table = Examined(history, back);
    if (!table)
        return -1;
    int32_t total = 0;
    int32_t score = 0;
    for (int i = 0; i < TerritoryCount; ++i) {
        const int continent = ContinentOf(i);
        if (continent != continentA && continent != continentB)
            continue;
        ++total;
        const TerritoryInfo& entry = (*table)[static_cast<size_t>(i)];
        if (Belongs(entry, nation)) {
            // A negative army reads as a huge unsigned number, so it counts as 5.
            score += 5 + static_cast<int32_t>(std::min(Unsigned(entry.army), 5u));
        }
    }
    return total > 0 ? 10 * score / total : 0;
}

}  // namespace

int32_t CheckWorldConquest(const DirectLog* history, int nation, int back) {
    const TerritoryTable* table = Examined(history, back);
    if (!table)
        return -1;
    int32_t owned = 0;
    for (const TerritoryInfo& entry : *table)
        owned += Belongs(entry, nation) ? 1 : 0;
    return 100 * owned / TerritoryCount;
}

int32_t CheckColoniseAsia(const DirectLog* history, int nation, int back) {
    return Colonise(history, nation, back, Asia, Asia);
}

int32_t CheckColoniseAmericas(const DirectLog* history, int nation, int back) {
    return Colonise(history, nation, back, NorthAmerica, SouthAmerica);
}

int32_t CheckSwiftConquest(const DirectLog* history, int nation, int back) {
    const int count = Count(history);
    if (count < back + 2)
        return 0;
    const TerritoryTable* now = history->TableAt(count - back - 1);
    const TerritoryTable* before = history->TableAt(count - back - 2);
    if (!now || !before)
        return 0;
    int32_t taken = 0;
    for (size_t i = 0; i < now->size(); ++i) {
        if (Belongs((*now)[i], nation) && !Belongs((*before)[i], nation))
            ++taken;
    }
    return 100 * std::min(taken, 12) / 12;
}

int32_t CheckWorldSupremacy(const DirectLog* history, int nation, int back) {
    const TerritoryTable* table = Examined(history, back);
    if (!table)
        return -1;
    std::array<uint32_t, ContinentCount> richest{};
    std::array<uint32_t, ContinentCount> othersArmy{};
    std::array<bool, ContinentCount> holdsRichest{};
    std::array<uint32_t, ContinentCount> bestArmy{};
    std::array<bool, ContinentCount> bestFortified{};
    std::array<bool, ContinentCount> bestImproved{};

    for (int i = 0; i < TerritoryCount; ++i) {
        const TerritoryInfo& entry = (*table)[static_cast<size_t>(i)];
        const auto c = static_cast<size_t>(ContinentOf(i));
        if (!IsCapital(entry))
            richest[c] = std::max(richest[c], Unsigned(entry.wealth));
        if (!Belongs(entry, nation))
            othersArmy[c] = std::max(othersArmy[c], Unsigned(entry.army));
    }
    for (int i = 0; i < TerritoryCount; ++i) {
        const TerritoryInfo& entry = (*table)[static_cast<size_t>(i)];
        const auto c = static_cast<size_t>(ContinentOf(i));
        if (!Belongs(entry, nation) || IsCapital(entry) || Unsigned(entry.wealth) != richest[c]) {
            continue;
        }
        holdsRichest[c] = true;
        const int kept = (bestArmy[c] >= othersArmy[c] ? 1 : 0) + (bestFortified[c] ? 1 : 0) +
                         (bestImproved[c] ? 1 : 0);
        const int candidate = (Unsigned(entry.army) >= othersArmy[c] ? 1 : 0) +
                              (entry.fortified != 0 ? 1 : 0) + (entry.improved != 0 ? 1 : 0);
        if (candidate > kept) {
            bestArmy[c] = Unsigned(entry.army);
            bestFortified[c] = entry.fortified != 0;
            bestImproved[c] = entry.improved != 0;
        }
    }
    int32_t points = 0;
    for (size_t c = 0; c < ContinentCount; ++c) {
        if (holdsRichest[c])
            points += 10;
        if (bestArmy[c] > othersArmy[c])
            points += 6;
        if (bestFortified[c])
            points += 3;
        if (bestImproved[c])
            points += 3;
    }
    return 100 * points / 132;
}

void BuildObjectives() {
    auto& list = List();
    list.clear();
    auto add = [&](const char* title, const char* description, ObjectiveCheck check) {
        auto objective = std::make_unique<Objectif>();
        objective->title = title;
        objective->description = description;
        objective->check = check;
        list.push_back(std::move(objective));
    };
    add("Conqu\xE8te du monde", "Pour vaincre vous devez \xE9liminer tous vos adversaires",
        CheckWorldConquest);
    add("Coloniser l'Asie",
        "Pour gagner, vous devez poss\xE9"
        "der tous les pays d'Asie avec au moins 5 unit\xE9s "
        "terrestres sur chaque pays",
        CheckColoniseAsia);
    add("Coloniser l'Am\xE9rique",
        "Pour gagner, vous devez poss\xE9"
        "der tous les pays d'Am\xE9rique (du nord et du sud) "
        "avec au moins 5 unit\xE9s terrestres sur chaque pays",
        CheckColoniseAmericas);
    add("Conqu\xE8te fulgurante",
        "Pour gagner, vous devez r\xE9ussir \xE0 coloniser au moins 12 pays en une seule ann\xE9"
        "e",
        CheckSwiftConquest);
    add("Sup\xE9matie mondiale",
        "Pour gagner, vous devez poss\xE9"
        "der le pays (fotifi\xE9 et am\xE9lior\xE9) le plus riche "
        "et le plus arm\xE9 de chaque continent (hormis les capitales)",
        CheckWorldSupremacy);
}

void DestroyObjectives() {
    List().clear();
}

int ObjectiveCount() {
    return static_cast<int>(List().size());
}

const Objectif* ObjectiveAt(int number) {
    const auto& list = List();
    if (number < 0 || number >= static_cast<int>(list.size()))
        return nullptr;
    return list[static_cast<size_t>(number)].get();
}

int32_t Progress(const Objectif* objective, const DirectLog* history, int nation, int back) {
    if (!objective || !objective->check)
        return 0;
    return objective->check(history, nation, back);
}

}  // namespace torvane
