// The game screen's saved games: every player writes the game at the start of each year, and the
// host of a saved game taken up again starts the campaign from it.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "campaign/Gamerules.h"
#include "campaign/Savedgame.h"
#include "game/Random.h"
#include "game/Stategame.h"
#include "lobby/Statepaysgov.h"
#include "platform/SaveStore.h"

namespace torvane {
namespace {

bool ValidNationIndex(int nation) {
    return nation >= 0 && nation < NationCount;
}

std::array<char, kPlayerNameSize> NameField(const std::string& text) {
    std::array<char, kPlayerNameSize> field{};
    std::copy_n(text.begin(), std::min(text.size(), field.size() - 1), field.begin());
    return field;
}

std::string NameText(const std::array<char, kPlayerNameSize>& field) {
    return std::string(field.data(), strnlen(field.data(), field.size()));
}

}  // namespace

platform::SaveStore& GameState::SaveFiles() {
    if (saveStore)
        return *saveStore;
    if (!ownSaveStore)
        ownSaveStore = std::make_unique<platform::SaveStore>();
    return *ownSaveStore;
}

// Once a year, when the player holds the host's state for the year's start and the table of
// the year just closed: what is written is what every player holds alike.
void GameState::Autosave(DirectPlay& network) {
    if (!playersKnown || gameOver || winners != 0 ||
        StepOf(heldStatus) != CampaignStep::YearStart || heldStatus == autosavedStatus ||
        history.Count() != 1 + YearOf(heldStatus) - 1870) {
        return;
    }
    autosavedStatus = heldStatus;
    SavedGame game;
    game.gameId = network.SessionId();
    game.savedAt = static_cast<int64_t>(std::time(nullptr));
    PlayerInfo record;
    std::string host =
        network.CopyPlayer(network.HostPlayerId(), record) ? record.Name() : network.PlayerName();
    game.hostName = NameField(host.empty() ? std::string("Joueur") : host);
    game.personalised = personalised;
    game.status = heldStatus;
    game.state = held;
    game.generator = heldGenerator;
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        SavedNation& saved = game.nations[n];
        if (governments[n] < 0)
            continue;
        saved.government = governments[n];
        // A lobby's mark (-2 "Personnalisé") or anything else no objective of the game has is
        // not kept.
        const int8_t objective = nationObjectives[n];
        saved.objective =
            objective >= 0 && objective < kSavedObjectiveCount ? objective : int8_t{-1};
        // A player may have come with an empty name; the save names every nation's player.
        saved.name = NameField(nationNames[n].empty() ? std::string("Joueur") : nationNames[n]);
        saved.computer = ((computerNations >> nation) & 1) != 0 ||
                         (network.CopyPlayer(nationPlayers[n], record) && record.IsComputer());
    }
    const int count = history.Count();
    game.history.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        game.history[static_cast<size_t>(i)].table = *history.TableAt(i);
        game.history[static_cast<size_t>(i)].infos = *history.InfosAt(i);
    }
    for (const YearReport& year : reports) {
        for (const PhaseReport* report : {&year.battles, &year.missions}) {
            if (IsCampaignStatus(report->status) && report->status < heldStatus)
                game.reports.push_back(*report);
        }
    }
    std::sort(game.reports.begin(), game.reports.end(),
              [](const PhaseReport& a, const PhaseReport& b) { return a.status < b.status; });
    // A file the game could not read back is never written.
    std::string error;
    if (!IsValidSavedGame(game, &error)) {
        std::fprintf(stderr,
                     "torvane: la partie n'est pas sauvegard\xE9"
                     "e : %s\n",
                     error.c_str());
        return;
    }
    if (!SaveFiles().Save(game.gameId, EncodeSavedGame(game), error)) {
        std::fprintf(stderr,
                     "torvane: la partie n'est pas sauvegard\xE9"
                     "e : %s\n",
                     error.c_str());
    }
}

// The host of a saved game: the players in the lobby took saved nations; the computer plays the
// others. The world, the treasuries, the history and the reports are the saved ones, and every
// other player is sent them the way a player coming back is, before the session moves to the
// saved status.
void GameState::ResumeCampaign(DirectPlay& network) {
    const SavedGame* game = network.ResumedGame();
    if (!game || hostCampaign.started)
        return;
    personalised = game->personalised;
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        const SavedNation& saved = game->nations[n];
        governments[n] = saved.government;
        nationObjectives[n] = saved.government >= 0 ? saved.objective : int8_t{-1};
        nationNames[n] = saved.government >= 0 ? NameText(saved.name) : std::string();
        nationPlayers[n] = 0;
    }
    PlayerInfo record;
    for (unsigned index = 0;
         index < 256 && network.CopyPlayerAt(static_cast<uint8_t>(index), record); ++index) {
        if (!ValidNationIndex(record.nation))
            continue;
        const auto n = static_cast<size_t>(record.nation);
        if (governments[n] < 0 || nationPlayers[n] != 0)
            continue;
        nationPlayers[n] = record.playerId;
        nationNames[n] = record.Name();
        if (record.playerId == network.LocalPlayerId())
            localNation = record.nation;
    }
    computerNations = 0;
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        if (governments[n] >= 0 && nationPlayers[n] == 0)
            computerNations = static_cast<uint8_t>(computerNations | 1u << nation);
    }
    campaignHostId = network.HostPlayerId();
    playersKnown = true;

    for (const SavedYear& year : game->history)
        history.Append(year.table, year.infos);
    for (const PhaseReport& report : game->reports) {
        YearReport& year = ReportOfYear(YearOf(report.status));
        if (StepOf(report.status) == CampaignStep::Moves)
            year.battles = report;
        else
            year.missions = report;
    }
    held = game->state;
    heldStatus = game->status;
    heldGenerator = game->generator;
    GameGenerator().Restore(game->generator);
    autosavedStatus = game->status;  // the file already holds this year
    hostCampaign.started = true;
    hostCampaign.state = held;
    hostCampaign.resolvedStatus = heldStatus - 2;
    hostCampaign.ordersStatus = 0;
    hostCampaign.received = 0;

    DealSeats(network);
    for (unsigned index = 0;
         index < 256 && network.CopyPlayerAt(static_cast<uint8_t>(index), record); ++index) {
        if (record.playerId != network.LocalPlayerId())
            SendCampaignTo(network, record.playerId);
    }
    PlayerInfo self;
    if (ValidNationIndex(localNation) && network.CopyPlayer(network.LocalPlayerId(), self)) {
        const auto n = static_cast<size_t>(localNation);
        self.government = governments[n];
        self.objective = nationObjectives[n];
        network.PublishLocalPlayer(self);
    }
    network.JumpToPhase(heldStatus);
    mapDealt = true;
    pendingObjective = 255;
    mode = ShowingObjective;
}

}  // namespace torvane
