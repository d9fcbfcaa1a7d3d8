// Saved games: real campaigns saved at the start of every year and read back whole, the bounds
// of the format, and damaged or forged files refused with their reason and nothing lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <memory>
#include <string>
#include <vector>

#include "campaign/Computer.h"
#include "campaign/Gamerules.h"
#include "campaign/Orders.h"
#include "campaign/Savedgame.h"
#include "campaign/Seatlock.h"
#include "campaign/Simulation.h"
#include "game/Objectif.h"

namespace torvane {
namespace {

// Where the fixed part of the file lies: magic, version, then each section's length and body.
constexpr size_t kHeaderAt = 16;
constexpr size_t kNationsAt = kHeaderAt + kSavedHeaderSize + 4;
constexpr size_t kStateAt = kNationsAt + kSavedNationsSize + 4;
constexpr size_t kHistoryLengthAt = kStateAt + kSavedStateSize;
constexpr size_t kHistoryAt = kHistoryLengthAt + 8;  // past its length and count

uint32_t StatusOfYear(int32_t year) {
    return 4 + 22 * static_cast<uint32_t>(year - 1870);
}

std::array<char, kPlayerNameSize> Name(std::string_view text) {
    std::array<char, kPlayerNameSize> name{};
    std::copy_n(text.begin(), std::min(text.size(), kPlayerNameSize - 1), name.begin());
    return name;
}

// A file edited by hand and sealed again, as a forger would: `width` bytes of `value` at `at`.
void Forge(std::vector<uint8_t>& bytes, size_t at, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    const auto seal = Sha256(std::span(bytes).first(bytes.size() - kSavedGameSealSize));
    std::copy(seal.begin(), seal.end(), bytes.end() - kSavedGameSealSize);
}

// The reason `bytes` is refused for; the game read into is left as it was.
std::string RefusedFor(std::span<const uint8_t> bytes) {
    SavedGame out;
    out.gameId = 77;
    out.history.resize(2);
    const SavedGame before = out;
    std::string error;
    EXPECT_FALSE(DecodeSavedGame(bytes, out, &error));
    EXPECT_TRUE(out == before);
    EXPECT_FALSE(error.empty());
    return error;
}

// What IsValidSavedGame refuses, the reader refuses for the same reason.
std::string Invalid(const SavedGame& game) {
    std::string why;
    EXPECT_FALSE(IsValidSavedGame(game, &why));
    EXPECT_EQ(RefusedFor(EncodeSavedGame(game)), why);
    return why;
}

void ExpectRoundTrip(const SavedGame& game) {
    std::string why;
    ASSERT_TRUE(IsValidSavedGame(game, &why)) << why;
    const std::vector<uint8_t> bytes = EncodeSavedGame(game);
    SavedGame back;
    ASSERT_TRUE(DecodeSavedGame(bytes, back, &why)) << why;
    EXPECT_TRUE(back == game);
    EXPECT_TRUE(EncodeSavedGame(back) == bytes);
}

Battle MakeBattle(size_t i) {
    return {static_cast<int8_t>(i % NationCount),
            static_cast<int8_t>(static_cast<int>(i % 9) - 1),
            static_cast<uint8_t>(i % TerritoryCount),
            i % 2 == 0,
            i % 3 == 0,
            static_cast<int32_t>(100 + i),
            static_cast<int32_t>(i),
            static_cast<int32_t>(i / 2)};
}

// A valid game at the start of `year`, made by hand: `players` nations, a table per year where
// one territory changes hands, and each year's battles (`battles` of them) and missions.
SavedGame Constructed(int32_t year, int players = 4, size_t battles = 3) {
    SavedGame game;
    game.gameId = 0x0123456789abcdefull;
    game.savedAt = 1765000000;
    game.hostName = Name("H\xF4te");
    game.personalised = true;
    game.status = StatusOfYear(year);
    game.generator = {1, 2, 3, 4};
    Governments governments;
    governments.fill(-1);
    std::vector<int8_t> nations;
    for (int n = 0; n < players; ++n) {
        const auto g = static_cast<int8_t>(n % GovernmentCount);
        game.nations[static_cast<size_t>(n)] = {g, static_cast<int8_t>(1 + n % 4), n % 2 == 1,
                                                Name("Joueur " + std::to_string(n))};
        governments[static_cast<size_t>(n)] = g;
        nations.push_back(static_cast<int8_t>(n));
    }
    RandomSeed(5);
    game.state = StartCampaign(DealMap(nations), governments);
    game.history.push_back({game.state.table, CInfos{}});
    for (int32_t y = 1870; y < year; ++y) {
        TerritoryInfo& taken = game.state.table[static_cast<size_t>(y % TerritoryCount)];
        taken.owner = static_cast<int8_t>(y % players);
        taken.fortified = y % 2;
        game.state.ledger.values[Treasury][static_cast<size_t>(y % players)] += 1000;
        game.history.push_back({game.state.table, game.state.ledger});
        PhaseReport moves;
        moves.status = StatusOfYear(y) + 8;
        for (size_t i = 0; i < battles; ++i)
            moves.battles.push_back(MakeBattle(i + static_cast<size_t>(y)));
        moves.refusals[0] = {Refusal::None, Refusal::NotReachable};
        PhaseReport spies;
        spies.status = StatusOfYear(y) + 16;
        spies.missions.push_back({1, 0, 7, Mission::Theft, true, false, false, 2500});
        game.reports.push_back(std::move(moves));
        game.reports.push_back(std::move(spies));
    }
    return game;
}

// A campaign played exactly as SimulateGame plays it (the test checks its tables against the
// simulation's), saved as its host would save it at the start of every year.
std::vector<SavedGame> PlayAndSave(const SimulationSetup& setup,
                                   std::vector<TerritoryTable>& tables) {
    if (ObjectiveCount() == 0)
        BuildObjectives();
    Governments governments;
    governments.fill(-1);
    std::array<int8_t, NationCount> objectives;
    objectives.fill(-1);
    RandomSeed(setup.seed);
    std::vector<int8_t> free = {0, 1, 2, 3, 4, 5, 6, 7};
    std::vector<int8_t> nations;
    for (int p = 0; p < setup.players; ++p) {
        const auto pick = free.begin() + Random(static_cast<int>(free.size()));
        nations.push_back(*pick);
        free.erase(pick);
        governments[static_cast<size_t>(nations.back())] =
            static_cast<int8_t>(Random(GovernmentCount));
    }
    const TerritoryTable deal = DealMap(nations);
    for (const int8_t nation : nations)
        objectives[static_cast<size_t>(nation)] =
            static_cast<int8_t>(DealObjective(true, ObjectiveCount()));
    CampaignState state = StartCampaign(deal, governments);
    DirectLog history;
    history.Append(deal);
    tables = {deal};
    std::array<std::unique_ptr<ComputerPlayer>, NationCount> computers;
    for (const int8_t nation : nations) {
        const uint64_t seed = setup.seed * 0x9E3779B97F4A7C15ull +
                              static_cast<uint64_t>(nation + 1) * 0xD1B54A32D192ED03ull;
        computers[static_cast<size_t>(nation)] =
            std::make_unique<ComputerPlayer>(setup.level, seed);
    }
    std::vector<SavedGame> saves;
    std::vector<PhaseReport> reports;
    PhaseReport battles;
    const auto ask = [&](uint32_t status, CampaignStep step) {
        NationOrders orders;
        const uint8_t living = LivingNations(state, governments);
        for (const int8_t nation : nations) {
            const auto n = static_cast<size_t>(nation);
            const Government* government = GovernmentAt(governments[n]);
            if (!((living >> nation) & 1) ||
                (step == CampaignStep::Spies &&
                 state.ledger.values[Treasury][n] < government->espionageValue)) {
                continue;
            }
            const TurnView view{status, step,         nation,   governments[n], objectives[n],
                                &state, &governments, &history, &battles,       true};
            std::vector<Order> list;
            while (!computers[n]->Decide(view, list))
                list.clear();
            list.resize(std::min(list.size(), kMaxOrders));
            if (TakesOrders(step))
                orders[n] = std::move(list);
        }
        return orders;
    };
    for (int year = 0; year < setup.maxYears; ++year) {
        const uint32_t base = StatusOfYear(1870 + year);
        SavedGame& save = saves.emplace_back();
        save.gameId = setup.seed;
        save.savedAt = 1765000000 + year;
        save.hostName = Name("H\xF4te");
        save.personalised = true;
        save.status = base;
        save.state = state;
        save.generator = GameGenerator().State();
        for (const int8_t n : nations) {
            save.nations[static_cast<size_t>(n)] = {governments[static_cast<size_t>(n)],
                                                    objectives[static_cast<size_t>(n)], true,
                                                    Name("Ordi " + std::to_string(n))};
        }
        for (int i = 0; i < history.Count(); ++i)
            save.history.push_back({*history.TableAt(i), *history.InfosAt(i)});
        save.reports = reports;

        ask(base, CampaignStep::YearStart);
        ResolveIncome(state, governments);
        ResolvePurchases(state, governments, ask(base + 4, CampaignStep::Purchases));
        battles =
            ResolveMoves(state, governments, ask(base + 8, CampaignStep::Moves), GameGenerator());
        battles.status = base + 8;
        reports.push_back(battles);
        ask(base + 12, CampaignStep::WarReport);
        const NationOrders spies = ask(base + 16, CampaignStep::Spies);
        reports.push_back(ResolveMissions(state, governments, spies, GameGenerator()));
        reports.back().status = base + 16;
        CloseYear(state);
        history.Append(state.table, state.ledger);
        tables.push_back(state.table);
        if (Winners(history, state, governments, objectives) != 0)
            break;
    }
    return saves;
}

TEST(SavedGames, RealCampaignsRoundTripAtTheStartOfEveryYear) {
    int saves = 0;
    size_t battles = 0;
    for (const auto& [seed, players] : std::vector<std::pair<uint64_t, int>>{
             {3, 4}, {17, 2}, {29, 8}, {41, 5}, {58, 3}, {71, 1}}) {
        SimulationSetup setup;
        setup.seed = seed;
        setup.players = players;
        setup.keepTables = true;
        std::vector<TerritoryTable> tables;
        const std::vector<SavedGame> played = PlayAndSave(setup, tables);
        ASSERT_TRUE(tables == SimulateGame(setup).tables) << "seed " << seed;
        for (const SavedGame& save : played) {
            SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(SavedYearOf(save)));
            EXPECT_EQ(std::popcount(SavedNations(save)), players);
            ExpectRoundTrip(save);
            battles += save.reports.empty() ? 0 : save.reports.end()[-2].battles.size();
            ++saves;
        }
    }
    EXPECT_GT(saves, 60);
    EXPECT_GT(battles, 500u);
}

TEST(SavedGames, BoundsRoundTrip) {
    // 1870's start: the deal alone, no report.
    const SavedGame start = Constructed(1870);
    EXPECT_EQ(start.history.size(), 1u);
    EXPECT_EQ(SavedYearOf(start), 1870);
    EXPECT_EQ(SavedNations(start), 0x0F);
    ExpectRoundTrip(start);
    // Eight nations, ten-character names with accents, the "Monde" objective for all but one
    // unknown and one the last of the list.
    SavedGame full = Constructed(1874, NationCount);
    full.personalised = false;
    const char* names[] = {"\xC9lisabeth",   "Fran\xE7oise", "J\xE9r\xF4me 1234",
                           "\xC6sir-\xD8rn", "0123456789",   "Ren\xE9\x80\x80\x80\x80\x80\x80",
                           "Zo\xEB_______",  "~~~~~~~~~~"};
    for (size_t n = 0; n < NationCount; ++n)
        full.nations[n] = {full.nations[n].government, 0, n % 2 == 0, Name(names[n])};
    full.nations[0].objective = -1;
    full.nations[1].objective = kSavedObjectiveCount - 1;
    full.hostName = Name("\xC9lisabeth");
    EXPECT_EQ(SavedNations(full), 0xFF);
    ExpectRoundTrip(full);
    // Reports with the most battles and refusals a report carries.
    SavedGame battles = Constructed(1873, 3, kMaxBattles);
    for (auto& refusals : battles.reports[1].refusals)
        refusals.assign(kMaxOrders, Refusal::NotInGame);
    ExpectRoundTrip(battles);
    // A year past the longest history.
    EXPECT_NE(Invalid(Constructed(1870 + static_cast<int32_t>(kMaxHistoryEntries), 1, 0))
                  .find("au-del\xE0 de ce qu'une partie peut atteindre"),
              std::string::npos);
}

// The longest history, two reports of the most battles every year: kMaxSavedGameSize exactly.
TEST(SavedGames, TheLargestGameFillsTheLargestFile) {
    SavedGame game = Constructed(1870 + static_cast<int32_t>(kMaxHistoryEntries) - 1, 2, 0);
    ASSERT_EQ(game.history.size(), kMaxHistoryEntries);
    ASSERT_EQ(game.reports.size(), kMaxSavedReports);
    PhaseReport largest;
    for (size_t i = 0; i < kMaxBattles; ++i)
        largest.battles.push_back(MakeBattle(i));
    for (int8_t n = 0; n < NationCount; ++n)
        largest.missions.push_back({n, -1, 3, Mission::Sabotage, false, false, false, 9});
    for (auto& refusals : largest.refusals)
        refusals.assign(kMaxOrders, Refusal::BadAmount);
    for (PhaseReport& report : game.reports) {
        largest.status = report.status;
        report = largest;
    }
    const std::vector<uint8_t> bytes = EncodeSavedGame(game);
    EXPECT_EQ(bytes.size(), kMaxSavedGameSize);
    SavedGame back;
    std::string why;
    ASSERT_TRUE(DecodeSavedGame(bytes, back, &why)) << why;
    EXPECT_TRUE(back == game);
}

TEST(SavedGames, TheObjectiveBoundIsTheGamesList) {
    BuildObjectives();
    EXPECT_EQ(ObjectiveCount(), kSavedObjectiveCount);
}

TEST(SavedGames, EveryCutOrChangedByteIsRefused) {
    const std::vector<uint8_t> bytes = EncodeSavedGame(Constructed(1871));
    for (size_t length = 0; length < bytes.size(); ++length) {
        const std::string why = RefusedFor(std::span(bytes).first(length));
        if (length >= 8 && why.find("pas une partie") != std::string::npos)
            ADD_FAILURE() << "cut at " << length << ": " << why;
    }
    // Past the magic and the version, in any section or the seal itself, the seal tells.
    for (size_t at = 12; at < bytes.size(); ++at) {
        std::vector<uint8_t> changed = bytes;
        changed[at] ^= static_cast<uint8_t>(1u << (at % 8));
        if (const std::string why = RefusedFor(changed); why.find("sceau") == std::string::npos)
            ADD_FAILURE() << "byte " << at << ": " << why;
    }
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_NE(RefusedFor(longer).find("sceau"), std::string::npos);
}

TEST(SavedGames, OtherFilesOtherVersionsAndTrailingBytesAreRefused) {
    const std::vector<uint8_t> bytes = EncodeSavedGame(Constructed(1872));
    std::vector<uint8_t> forged = bytes;
    Forge(forged, 4, 'X', 1);
    EXPECT_NE(RefusedFor(forged).find("pas une partie enregistr\xE9"), std::string::npos);
    EXPECT_NE(RefusedFor(std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a'}).find("pas une partie"),
              std::string::npos);
    for (uint32_t version : {0u, 2u, 0x01000000u}) {
        forged = bytes;
        Forge(forged, 8, version, 4);
        EXPECT_NE(RefusedFor(forged).find("version " + std::to_string(version) + " du format"),
                  std::string::npos);
    }
    forged = bytes;
    forged.insert(forged.end() - kSavedGameSealSize, {0, 0, 0, 0});
    Forge(forged, 0, 'T', 1);
    EXPECT_NE(RefusedFor(forged).find("octets en trop"), std::string::npos);
    // A file past the largest is refused before it is hashed.
    std::vector<uint8_t> huge(kMaxSavedGameSize + 1, 0);
    std::copy_n(bytes.begin(), 12, huge.begin());
    EXPECT_NE(RefusedFor(huge).find("trop grand"), std::string::npos);
}

// Each section's fields, forged and sealed again: the field check names the fault.
TEST(SavedGames, ResealedFilesWithABadFieldAreRefusedByTheirSection) {
    const SavedGame game = Constructed(1872);
    const std::vector<uint8_t> bytes = EncodeSavedGame(game);
    const size_t reportsAt = kHistoryAt + game.history.size() * kSavedYearSize;
    const size_t report = reportsAt + 12;  // the first report, past the lengths and the count
    const size_t nobody = kNationsAt + 6 * kSavedNationSize;  // nation 6 is not in the game
    const struct {
        size_t at;
        uint64_t value;
        size_t width;
        const char* expected;
    } forgeries[] = {
        {kHeaderAt - 4, 31, 4, "section en-t\xEAte : longueur 31 au lieu de 32"},
        {kHeaderAt, 0, 8, "en-t\xEAte : num\xE9ro de partie nul"},
        {kHeaderAt + 15, 0x80, 1, "en-t\xEAte : date d'enregistrement n\xE9gative"},
        {kHeaderAt + 16, 27, 4, "en-t\xEAte : statut 27"},
        {kHeaderAt + 16, StatusOfYear(1871) + 8, 4, "statut 34, qui n'est pas le d\xE9"},
        {kHeaderAt + 20, 2, 1, "en-t\xEAte : drapeaux inconnus"},
        {kHeaderAt + 24, 0x6161616161616161, 8, "en-t\xEAte : nom sans z\xE9ro final de l'h\xF4te"},
        {kHeaderAt + 22, '\n', 1, "contr\xF4le dans le nom de l'h\xF4te"},
        {kHeaderAt + 31, 'x', 1, "en-t\xEAte : octets non nuls apr\xE8s la fin du nom"},
        {kNationsAt - 4, 113, 4, "section nations : longueur 113"},
        {kNationsAt + 14, 3, 1, "nation 1 (Egypte) : gouvernement 3 inconnu"},
        {kNationsAt + 1, kSavedObjectiveCount, 1, "nation 0 (Irak) : objectif 5 inconnu"},
        {kNationsAt + 1, 0xFE, 1, "objectif -2 inconnu"},
        {kNationsAt + 2, 3, 1, "nation 0 (Irak) : drapeaux inconnus"},
        {kNationsAt + 3, 0, 8, "nation 0 (Irak) : dans la partie, mais sans nom"},
        {kNationsAt + 6, 0x4141414141414141, 8, "nation 0 (Irak) : nom sans z\xE9ro final"},
        {nobody + 3, 'A', 1, "nation 6 (Japon) : absente de la partie"},
        {nobody + 1, 0, 1, "nation 6 (Japon) : absente"},
        {kStateAt - 4, 0, 4, "section \xE9tat : longueur 0 au lieu de 3040"},
        {kStateAt + 28 * 9, 8, 1, "\xE9tat : table impossible"},
        {kStateAt + 28 * 9 + 8, 2, 1, "\xE9tat : table impossible"},
        {kStateAt + 28 * 9 + 15, 0x80, 1, "\xE9tat : table impossible"},
        {kStateAt + 28 * 9 + 2, 1, 1, "\xE9tat : octets de remplissage"},
        {kStateAt + kTerritoryTableSize, 0xFFFFFFFE, 4, "\xE9tat : comptes impossibles"},
        {kHistoryLengthAt, 0xFFFFFFF0, 4, "section historique : d\xE9passe la fin du fichier"},
        {kHistoryLengthAt + 4, 2, 4, "section historique : longueur"},
        {kHistoryAt + 28 * 3, 0xF0, 1, "historique, table 0 : table impossible"},
        {kHistoryAt + kSavedYearSize + 28 * 3 + 11, 9, 1, "table 1 : octets de remplissage"},
        {kHistoryAt + 2 * kSavedYearSize - 88, 0x80000000, 4, "historique, table 1 : comptes"},
        {reportsAt, 1, 4, "section rapports : trop courte"},
        {reportsAt + 4, 5, 4, "rapport 4 : d\xE9passe la fin de la section"},
        {reportsAt + 8, 1 << 20, 4, "rapport 0 : d\xE9passe la fin de la section"},
        {report, kStateMessage, 1, "rapport 0 : illisible"},
        {report + 8 + 3, 4, 1, "rapport 0 : illisible"},
        {report + 1, StatusOfYear(1872) + 8, 4, "rapport 0 : statut 56 d'une phase pas encore"},
        {report + 1, StatusOfYear(1870) + 12, 4, "rapport 0 : statut 16, qui n'est pas celui"},
    };
    for (const auto& forgery : forgeries) {
        std::vector<uint8_t> forged = bytes;
        Forge(forged, forgery.at, forgery.value, forgery.width);
        ASSERT_NE(forged, bytes) << forgery.expected;
        const std::string why = RefusedFor(forged);
        EXPECT_NE(why.find(forgery.expected), std::string::npos)
            << forgery.expected << " | " << why;
    }
}

TEST(SavedGames, ImpossibleGamesAreRefusedByTheWriterAndTheReaderAlike) {
    const SavedGame game = Constructed(1875);
    SavedGame changed = game;
    changed.history.pop_back();
    EXPECT_NE(Invalid(changed).find("historique : 5 tables au lieu de 6 pour l'ann\xE9"),
              std::string::npos);
    changed = game;
    changed.history.push_back(changed.history.back());
    EXPECT_NE(Invalid(changed).find("7 tables au lieu de 6"), std::string::npos);
    changed = game;
    changed.history[2].table[40].owner = NationCount;
    EXPECT_NE(Invalid(changed).find("table 2 : table impossible"), std::string::npos);
    changed = game;
    changed.history[1].table[3].reserve = kCampaignRules.maxTroops + 1;
    EXPECT_NE(Invalid(changed).find("table 1 : table impossible"), std::string::npos);
    changed = game;
    changed.history.back().table[60].army += 1;
    EXPECT_NE(Invalid(changed).find("la derni\xE8re table n'est pas celle de l'\xE9tat"),
              std::string::npos);
    changed = game;
    changed.hostName = {};
    EXPECT_NE(Invalid(changed).find("nom de l'h\xF4te vide"), std::string::npos);
    changed = game;
    for (SavedNation& nation : changed.nations)
        nation = {};
    EXPECT_NE(Invalid(changed).find("aucune nation"), std::string::npos);
}

TEST(SavedGames, ReportsComeInTheOrderOfTheYearsPlayed) {
    const SavedGame game = Constructed(1874);
    SavedGame changed = game;
    std::swap(changed.reports[2], changed.reports[3]);
    EXPECT_NE(Invalid(changed).find("rapport 3 : hors d'ordre (statut 34 apr\xE8s 42)"),
              std::string::npos);
    changed = game;
    changed.reports[3] = changed.reports[2];
    EXPECT_NE(Invalid(changed).find("rapport 3 : hors d'ordre"), std::string::npos);
    // The purchases, the moves and the missions of 1871: the game keeps two reports a year.
    changed = game;
    PhaseReport purchases;
    purchases.status = StatusOfYear(1871) + 4;
    changed.reports.insert(changed.reports.begin() + 2, purchases);
    changed.reports.pop_back();
    EXPECT_NE(Invalid(changed).find("rapport 4 : plus de deux rapports pour l'ann\xE9"
                                    "e 1871"),
              std::string::npos);
    changed = game;
    changed.reports.push_back(changed.reports.back());
    changed.reports.back().status += 4;
    EXPECT_NE(Invalid(changed).find("9 rapports pour 4 ann\xE9"), std::string::npos);
    // A report the report message refuses, or one with more battles than it carries.
    changed = game;
    changed.reports[1].missions[0].amount = -1;
    EXPECT_NE(Invalid(changed).find("rapport 1 : illisible"), std::string::npos);
    changed = game;
    for (size_t i = changed.reports[0].battles.size(); i <= kMaxBattles; ++i)
        changed.reports[0].battles.push_back(MakeBattle(i));
    std::string why;
    EXPECT_FALSE(IsValidSavedGame(changed, &why));
    EXPECT_NE(why.find("rapport 0 : au-del\xE0"), std::string::npos) << why;
    // Fewer reports than years: a host that took over knows only the later ones.
    changed = game;
    changed.reports.erase(changed.reports.begin(), changed.reports.begin() + 3);
    ExpectRoundTrip(changed);
}

}  // namespace
}  // namespace torvane
