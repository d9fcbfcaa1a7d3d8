// torvane-sim: plays whole campaigns between computer players, without a window or a network,
// and prints how they end: the share of victories, the years they take, who wins and how.
//
//   torvane-sim [--games N] [--players P] [--level facile|moyen|difficile] [--seed S]
//               [--max-years Y]
#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "campaign/Computer.h"
#include "campaign/Simulation.h"
#include "game/Game.h"
#include "game/Objectif.h"

using namespace torvane;

namespace {

constexpr int kShortestGame = 12;  // the balance asks a victory in 12 to 40 years
constexpr int kLongestGame = 40;

struct Options {
    int games = 200;
    int players = 4;
    ComputerLevel level = ComputerLevel::Medium;
    uint64_t seed = 1;
    int maxYears = 60;
    bool list = false;  // one line per game
};

void Usage() {
    std::fprintf(stderr,
                 "usage: torvane-sim [--games N] [--players 2..8] [--level facile|moyen|difficile]"
                 " [--seed S] [--max-years Y] [--list]\n");
}

bool ReadNumber(const char* text, long long low, long long high, long long& value) {
    char* end = nullptr;
    const long long read = std::strtoll(text, &end, 10);
    if (!end || *end != '\0' || read < low || read > high)
        return false;
    value = read;
    return true;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (name == "--list") {
            options.list = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const char* value = argv[++i];
        long long number = 0;
        if (name == "--games" && ReadNumber(value, 1, 1000000, number)) {
            options.games = static_cast<int>(number);
        } else if (name == "--players" && ReadNumber(value, 2, NationCount, number)) {
            options.players = static_cast<int>(number);
        } else if (name == "--seed" && ReadNumber(value, 0, INT64_MAX, number)) {
            options.seed = static_cast<uint64_t>(number);
        } else if (name == "--max-years" && ReadNumber(value, 1, 4000, number)) {
            options.maxYears = static_cast<int>(number);
        } else if (name == "--level" && ParseLevel(value, options.level)) {
        } else {
            return false;
        }
    }
    return true;
}

// The game's texts are Windows-1252; the terminal reads UTF-8.
std::string Utf8(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

double Share(long long part, long long whole) {
    return whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        Usage();
        return 2;
    }
    BuildObjectives();
    std::vector<int> victoryYears;
    long long inRange = 0, capped = 0, lastStanding = 0, refused = 0, orders = 0, battles = 0;
    std::array<long long, 8> byObjective{}, dealtObjective{};
    std::array<long long, GovernmentCount> byGovernment{}, gamesWonByGovernment{},
        playedGovernment{};
    std::array<long long, NationCount> byNation{}, playedNation{};
    for (int g = 0; g < options.games; ++g) {
        SimulationSetup setup;
        setup.seed = options.seed + static_cast<uint64_t>(g);
        setup.players = options.players;
        setup.level = options.level;
        setup.maxYears = options.maxYears;
        const SimulatedGame game = SimulateGame(setup);
        if (options.list) {
            std::printf("seed %llu: %d years, winners", static_cast<unsigned long long>(setup.seed),
                        game.years);
            for (const int8_t nation : game.nations) {
                const auto n = static_cast<size_t>(nation);
                std::printf(" %s%d/%d/%d:%d%%", (game.winners >> nation) & 1 ? "*" : "", nation,
                            game.governments[n], game.objectives[n], game.progress[n]);
            }
            std::printf("%s\n", game.lastStanding ? " (last standing)" : "");
        }
        refused += game.refused;
        orders += game.orders;
        battles += game.battles;
        for (const int8_t nation : game.nations) {
            ++playedNation[static_cast<size_t>(nation)];
            ++playedGovernment[static_cast<size_t>(game.governments[static_cast<size_t>(nation)])];
            ++dealtObjective[static_cast<size_t>(game.objectives[static_cast<size_t>(nation)])];
        }
        if (game.winners == 0) {
            ++capped;
            continue;
        }
        victoryYears.push_back(game.years);
        inRange += game.years >= kShortestGame && game.years <= kLongestGame ? 1 : 0;
        lastStanding += game.lastStanding ? 1 : 0;
        std::array<bool, GovernmentCount> wonBy{};
        for (int nation = 0; nation < NationCount; ++nation) {
            if (!((game.winners >> nation) & 1))
                continue;
            const auto n = static_cast<size_t>(nation);
            ++byNation[n];
            ++byGovernment[static_cast<size_t>(game.governments[n])];
            wonBy[static_cast<size_t>(game.governments[n])] = true;
            if (!game.lastStanding)
                ++byObjective[static_cast<size_t>(game.objectives[n])];
        }
        for (size_t k = 0; k < wonBy.size(); ++k)
            gamesWonByGovernment[k] += wonBy[k] ? 1 : 0;
    }
    std::sort(victoryYears.begin(), victoryYears.end());
    const long long games = options.games;
    const long long victories = static_cast<long long>(victoryYears.size());
    std::printf(
        "games %lld, %d players, level %s, seeds %llu..%llu, cap %d years\n", games,
        options.players, LevelName(options.level), static_cast<unsigned long long>(options.seed),
        static_cast<unsigned long long>(options.seed + options.games - 1), options.maxYears);
    std::printf("victories          %lld (%.1f %%)\n", victories, Share(victories, games));
    std::printf("victory in %d..%d  %lld (%.1f %%)\n", kShortestGame, kLongestGame, inRange,
                Share(inRange, games));
    if (victories > 0) {
        std::printf("years to victory   min %d, median %d, max %d\n", victoryYears.front(),
                    victoryYears[victoryYears.size() / 2], victoryYears.back());
    }
    std::printf("capped games       %lld\n", capped);
    std::printf("last one standing  %lld\n", lastStanding);
    std::printf("wins per objective (winners / players dealt it):\n");
    for (int k = 0; k < ObjectiveCount(); ++k) {
        std::printf("  %d %-24s %5lld / %lld\n", k, Utf8(ObjectiveAt(k)->title).c_str(),
                    byObjective[static_cast<size_t>(k)], dealtObjective[static_cast<size_t>(k)]);
    }
    std::printf("wins per government (winners, games won, share of games, players):\n");
    for (int k = 0; k < GovernmentCount; ++k) {
        const auto i = static_cast<size_t>(k);
        std::printf("  %-12s %5lld %5lld %5.1f %% %5lld\n", Utf8(GovernmentName(k)).c_str(),
                    byGovernment[i], gamesWonByGovernment[i], Share(gamesWonByGovernment[i], games),
                    playedGovernment[i]);
    }
    std::printf("wins per nation (winners / games played):\n");
    for (int k = 0; k < NationCount; ++k) {
        std::printf("  %-10s %5lld / %lld\n", Utf8(NationName(k)).c_str(),
                    byNation[static_cast<size_t>(k)], playedNation[static_cast<size_t>(k)]);
    }
    std::printf("orders %lld, refused %lld, battles %lld\n", orders, refused, battles);
    return refused == 0 ? 0 : 1;
}
