// The victory objectives and how far a nation has come towards each.
#pragma once

#include <cstdint>
#include <string>

namespace torvane {

class DirectLog;

// Progress in percent (0..100) of `nation` in the table `back` steps before the newest; -1 when
// that table does not exist.
using ObjectiveCheck = int32_t (*)(const DirectLog* history, int nation, int back);

struct Objectif {
    std::string description;
    std::string title;
    ObjectiveCheck check = nullptr;
};

// The process-wide list, built when the game window opens and destroyed when it closes.
void BuildObjectives();
void DestroyObjectives();
int ObjectiveCount();
// The objective with this number, or nullptr for a number outside the list (numbers come from
// the network, so they are never trusted as indexes).
const Objectif* ObjectiveAt(int number);

// The objective's check applied to the arguments; 0 for a missing objective or check.
int32_t Progress(const Objectif* objective, const DirectLog* history, int nation, int back);

// The checks themselves, by objective number.
int32_t CheckWorldConquest(const DirectLog* history, int nation, int back);
int32_t CheckColoniseAsia(const DirectLog* history, int nation, int back);
int32_t CheckColoniseAmericas(const DirectLog* history, int nation, int back);
int32_t CheckSwiftConquest(const DirectLog* history, int nation, int back);
int32_t CheckWorldSupremacy(const DirectLog* history, int nation, int back);

}  // namespace torvane
