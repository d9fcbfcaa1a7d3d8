// The game screen: the start of a game (dealing the world and the objectives), the objective
// panel, the year banner, the ring of players and the statistics panel.
#include "game/Stategame.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "campaign/Gamerules.h"
#include "game/Objectif.h"
#include "game/Stateboard.h"
#include "input/Directinput.h"
#include "lobby/Statepaysgov.h"
#include "platform/SaveStore.h"
#include "states/Frontend.h"

namespace torvane {
namespace {

constexpr uint32_t kOrange = 0xFFFF9F31;
constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kHalfWhite = 0x7FFFFFFF;
constexpr uint32_t kDimGreen = 0xCF102D19;
constexpr uint32_t kButtonKey = 0xFFBF0000;
constexpr uint8_t kNoObjective = 255;
constexpr int kDescriptionWidth = 43;
// The statistics panel's OK button sits this far under the panel.
constexpr int32_t kStatsOkGap = 4;

constexpr const char* kObjectivePanelPath = "..\\Ressources\\Graphics\\Fond\\Objectif.png";
constexpr const char* kOkPath = "..\\Ressources\\Graphics\\Fond\\OK.png";
constexpr const char* kClosePath = "..\\Ressources\\Graphics\\Fond\\Close.png";
constexpr const char* kFillPath = "..\\Ressources\\Graphics\\Fond\\Fill.png";
constexpr const char* kStatsPanelPath = "..\\Ressources\\Graphics\\Statistiques\\Fond.png";
constexpr const char* kStatsTabPath = "..\\Ressources\\Graphics\\Statistiques\\Tab.png";
constexpr const char* kUpPath = "..\\Ressources\\GRaphics\\Statistiques\\Up.png";
constexpr const char* kDownPath = "..\\Ressources\\GRaphics\\Statistiques\\Down.png";
constexpr const char* kNetworkIconPath = "..\\Ressources\\Graphics\\Icones\\Network.png";
constexpr const char* kNewYearPath = "..\\Ressources\\Graphics\\Fond\\NewYear.jpg";
constexpr const char* kVictoryPath = "..\\Ressources\\Graphics\\Carte\\Victoire.png";
constexpr const char* kDefeatPath = "..\\Ressources\\Graphics\\Carte\\Defaite.png";
constexpr const char* kTickPath = "..\\Ressources\\Sounds\\Tick.wav";

constexpr const char* kTabNames[4] = {"R\xE9sum\xE9", "Revenus", "Objectif", "Guerres"};

bool ValidNation(int nation) {
    return nation >= 0 && nation < NationCount;
}

bool ValidGovernment(int government) {
    return government >= 0 && government < GovernmentCount;
}

int32_t WidthOf(const std::unique_ptr<Image>& image) {
    return image ? image->GetWidth() : 0;
}

int32_t HeightOf(const std::unique_ptr<Image>& image) {
    return image ? image->GetHeight() : 0;
}

// A received name may lack its zero byte: it never reads past its eleven bytes.
void AssignName(std::string& text, const std::array<char, kPlayerNameSize>& name) {
    text.assign(name.data(), strnlen(name.data(), name.size()));
}

bool Within(int32_t value, float low, float high) {
    const float v = static_cast<float>(value);
    return v >= low && v <= high;
}

bool Within(int32_t value, int32_t low, int32_t high) {
    return value >= low && value <= high;
}

}  // namespace

GameState::GameState(DirectScreen* screen, DirectAudio* audio, DirectInput* input,
                     std::unique_ptr<DirectPlay>* networkSlot)
    : screen(screen), audio(audio), input(input), networkSlot(networkSlot) {
    hitSound = LoadEffect(audio, kHitPath);
    searchSound = LoadEffect(audio, kSearchPath);
    failedSound = LoadEffect(audio, kFailedPath);
    tickSound = LoadEffect(audio, kTickPath);
    objectivePanel = Load(screen, kObjectivePanelPath);
    okButton = Load(screen, kOkPath, kButtonKey);
    closeButton = Load(screen, kClosePath, kButtonKey);
    fillBar = Load(screen, kFillPath);
    statsPanel = Load(screen, kStatsPanelPath);
    statsTab = Load(screen, kStatsTabPath);
    for (int nation = 0; nation < NationCount; ++nation) {
        flags[static_cast<size_t>(nation)] = Load(screen, NationFlagPath(nation).c_str());
        portraits[static_cast<size_t>(nation)] = Load(screen, NationPortraitPath(nation).c_str());
    }
    for (int government = 0; government < GovernmentCount; ++government) {
        emblems[static_cast<size_t>(government)] =
            Load(screen, GovernmentEmblemPath(government, false).c_str(), kButtonKey);
    }
    upArrow = Load(screen, kUpPath);
    downArrow = Load(screen, kDownPath);
    miniFrame = Load(screen, kMiniFramePath);
    networkIcon = Load(screen, kNetworkIconPath);
    newYearBanner = Load(screen, kNewYearPath);
    victoryPanel = Load(screen, kVictoryPath);
    defeatPanel = Load(screen, kDefeatPath);
    if (screen)
        board = std::make_unique<BoardView>(screen, audio, input);

    for (size_t dots = 0; dots < waitingTexts.size(); ++dots) {
        waitingTexts[dots] = "Attente" + std::string(dots, '.');
    }
    for (size_t tab = 0; tab < tabNames.size(); ++tab) {
        tabNames[tab] = kTabNames[tab];
        statsHeadings[tab] = std::string("Statistiques : ") + kTabNames[tab];
    }
    for (auto& name : ringNames)
        name.reserve(kPlayerNameSize);
    disconnectedText =
        "D\xE9"
        "connect\xE9 !";
    objectiveLabel = "Objectif :";
    doneLabel =
        "R\xE9"
        "alis\xE9 :";
    percentText.reserve(8);
    statsObjectiveLine.reserve(64);
    bannerYearText.reserve(16);
    statsYearText.reserve(24);

    if (DirectPlay* network = Network()) {
        // The host's record still holds the lobby's choice (-2 "Personnalisé") unless the host
        // has already stored the objective it dealt itself, which is 1 and up in that mode.
        PlayerInfo host;
        hostAtStart = network->IsHost();
        // Back in a running game: the host seats us and sends what we missed.
        rejoined = network->Rejoined();
        if (network->CopyPlayer(network->HostPlayerId(), host)) {
            personalised = host.objective == -2 || host.objective >= 1;
            phaseClockChoice = PhaseClockChoice(host);
            phaseLimit = PhaseClockSeconds(phaseClockChoice);
        }
        // A saved game taken up again: its host starts from the file, and the others are
        // seated and sent the game like players coming back.
        resumedHost = hostAtStart && network->ResumedGame() != nullptr;
        resumedJoin = !hostAtStart && !rejoined && ResumedStatusOf(host) != 0;
        if (resumedJoin)
            rejoined = true;
    }
    if (screen) {
        screen->ResetFrameClock();
        screen->Fade(false, 1000, 0);
    }
    Play(audio, searchSound.get());
    if (DirectPlay* network = Network())
        network->SetListener(this);
}

GameState::~GameState() {
    if (DirectPlay* network = Network())
        network->ClearListener(this);
}

DirectPlay* GameState::Network() const {
    return networkSlot ? networkSlot->get() : nullptr;
}

// Listener events arrive through DeliverEvents at the start of Run, on this thread.
void GameState::OnPlayerJoined(const std::string&) {}

void GameState::OnPlayerLost(const std::string& name) {
    // Once the game is won, players leave as they close their last panel: that is no loss.
    if (gameOver)
        return;
    // Before the campaign (or for a player that had no part in it, lost as it began) the game
    // ends for everybody.
    if (!PlaysInCampaign(name)) {
        Leave();
        disconnected = true;
        return;
    }
    PlayerGone();
}

void GameState::OnPlayerRemoved(const std::string& name) {
    if (!gameOver && PlaysInCampaign(name))
        PlayerGone();
}

bool GameState::PlaysInCampaign(const std::string& name) const {
    if (!playersKnown)
        return false;
    for (size_t nation = 0; nation < nationNames.size(); ++nation) {
        if (nationPlayers[nation] != 0 && nationNames[nation] == name)
            return true;
    }
    return false;
}

void GameState::OnTextMessage(int32_t senderId, const std::string& text, int32_t) {
    chat.Receive(Network(), senderId, text);
}

// The engine lets through only the tables of the player that was host when they arrived.
void GameState::OnTerritories(int32_t, const TerritoryTable& table) {
    // A player coming back gets the history whole once seated; what came before is in it.
    if (rejoined) {
        if (playersKnown)
            history.Append(table, held.ledger);
        return;
    }
    // Until the objective panel opens the world is still being dealt, and a host that takes over
    // deals it again: every history keeps the current host's one deal, never two worlds.
    if (mode == Waiting && history.Count() > 0) {
        history.StartOver(table);
        progressHistoryCount = -1;
        return;
    }
    // A full history keeps what it has. The host's state comes before each year's table, so the
    // figures held are the year's.
    history.Append(table, held.ledger);
}

// The host's word that this player's orders for a status came after it had gone on without them.
void GameState::OnValueMessage(int32_t senderId, int32_t number) {
    DirectPlay* network = Network();
    const auto status = static_cast<uint32_t>(number);
    if (!network || senderId != network->HostPlayerId() || !IsCampaignStatus(status) ||
        !TakesOrders(StepOf(status))) {
        return;
    }
    ShowNotice("Vos ordres de " + std::to_string(YearOf(status)) + " - " + PhaseName(status),
               "sont arriv\xE9s trop tard : l'h\xF4te a continu\xE9 sans eux");
}

void GameState::OnByteMessage(int32_t, uint8_t value) {
    pendingObjective = value;
}

void GameState::OnSessionTerminated() {
    if (gameOver)
        return;
    Leave();
    Play(audio, failedSound.get());
}

void GameState::Leave() {
    // A second reason to leave does not start the fade over.
    if (leaving)
        return;
    leaving = true;
    Play(audio, hitSound.get());
    if (screen)
        screen->Fade(true, 1000, 0);
}

int32_t GameState::Run() {
    if (DirectPlay* network = Network())
        network->DeliverEvents();
    if (input)
        input->Update();
    // The chat line, once open, keeps every key from the game.
    chat.HandleInput(Network(), !leaving);
    if (leaving && FadeFinished(screen)) {
        if (networkSlot && *networkSlot) {
            (*networkSlot)->ClearListener(this);
            networkSlot->reset();
        }
        return NetworkBrowserCode;
    }
    // A game being left neither deals, nor advances, nor takes clicks.
    if (!leaving) {
        if (gameOver) {
            HandleEndInput();
        } else if (mode == ShowingObjective) {
            HandleObjectiveInput();
            if (mode == ShowingObjective && ordersInterface && ordersInterface->CloseObjective())
                CloseObjectivePanel();
        } else if (mode == Waiting) {
            if (rejoined) {
                RunRejoin();
            } else {
                RunStartProtocol();
            }
        }
        if (!gameOver && !leaving && mode != Waiting)
            RunCampaign();
        if (DirectPlay* network = Network(); network && !leaving)
            Autosave(*network);
    }
    if (screen) {
        screen->FadeDone();
        screen->BeginFrame();
    }
    if (mode == Playing)
        RunYearCycle();
    if (mode == ShowingObjective || objectivePanelY > kHiddenPanelY)
        DrawObjectivePanel();
    if (mode == Waiting)
        DrawWaitingNotice();
    if (disconnected)
        DrawDisconnectedNotice();
    if (gameOver)
        DrawEndPanel();
    // The objective panel hides the board and its bar: the clock shows at the top, in the
    // panel's parchment colour on the dark.
    if (mode == ShowingObjective)
        DrawClock(632, 8, 2, 0xFFE8DCC0);
    chat.Draw(Network());
    if (screen)
        screen->EndFrame(true);
    return StayCode;
}

void GameState::RunStartProtocol() {
    DirectPlay* network = Network();
    if (!network)
        return;
    if (pendingObjective < 128) {
        const uint32_t status = network->LocalStatus();
        if (status < 2)
            return;  // not in the first game phase yet: the objective waits
        if (status > 2) {
            // Already stored and ready: a repeat from a host that took over is not waited for,
            // or it would hold the start for ever.
            pendingObjective = kNoObjective;
        } else {
            // While the host changes hands its record is missing, and the phase operations would
            // follow that missing record back to the lobby's phase.
            PlayerInfo host;
            if (!network->CopyPlayer(network->HostPlayerId(), host))
                return;
            PlayerInfo self;
            network->CopyPlayer(network->LocalPlayerId(), self);
            self.objective = static_cast<int8_t>(pendingObjective);
            // Whoever hosts later goes on with the same clock.
            self.reservedByteB = static_cast<int8_t>(phaseClockChoice);
            network->PublishLocalPlayer(self);
            network->SetReady();
            pendingObjective = kNoObjective;
        }
    }
    if (resumedHost) {
        ResumeCampaign(*network);
        return;
    }
    if (network->IsHost()) {
        if (!mapDealt) {
            mapDealt = true;
            DealWorld(*network);
            return;
        }
        if (network->AllReady()) {
            // Every player holds the campaign's first state before it enters the first year.
            BeginCampaign(*network);
            if (network->AdvancePhase())
                mode = ShowingObjective;
        }
        return;
    }
    PlayerInfo host;
    if (!network->CopyPlayer(network->HostPlayerId(), host))
        return;
    PlayerInfo self;
    network->CopyPlayer(network->LocalPlayerId(), self);
    if (host.Phase() > self.Phase() && network->FollowHostPhase()) {
        KnowPlayers(*network);
        mode = ShowingObjective;
    }
}

void GameState::DealWorld(DirectPlay& network) {
    std::vector<int8_t> nations;
    std::vector<int32_t> ids;
    std::vector<uint32_t> statuses;
    PlayerInfo record;
    PlayerInfo self;
    network.CopyPlayer(network.LocalPlayerId(), self);
    for (unsigned index = 0;
         index < 256 && network.CopyPlayerAt(static_cast<uint8_t>(index), record); ++index) {
        nations.push_back(record.nation);
        ids.push_back(record.playerId);
        statuses.push_back(record.syncStatus);
    }
    // The first host's own record holds the lobby's choice until it stores its dealt objective;
    // a host that took over has the choice it read when the game began.
    bool personal = personalised;
    if (hostAtStart && (self.objective == -2 || self.objective == -1))
        personal = self.objective == -2;
    // A host that takes over during the start sends the world it holds again (the players that
    // missed it get it, the others replace theirs by the same), or deals one if it holds none: a
    // table from the old host may have reached only some players, and every history must keep the
    // current host's one deal.
    const int held = history.Count();
    if (held > 0) {
        network.SendTerritoryTable(*history.TableAt(held - 1));
    } else {
        network.SendTerritoryTable(DealMap(nations));
    }
    for (size_t i = 0; i < ids.size(); ++i) {
        // After a takeover only the players that have not yet stored one are owed one.
        if (hostAtStart || statuses[i] <= 2) {
            const uint8_t objective = DealObjective(personal, ObjectiveCount());
            hostCampaign.dealtObjectives.emplace_back(ids[i], objective);
            network.SendObjective(ids[i], objective);
        }
    }
}

void GameState::RunYearCycle() {
    DirectPlay* network = Network();
    const uint32_t status = network ? network->LocalStatus() : 0;
    const bool even = status % 2 == 0;
    const int32_t phase = PhaseOfYear(status);
    // The map lies under everything; in the year's first phase the player may look at it once
    // its panels are closed.
    const bool boardShown = board && board->Ready();
    if (boardShown)
        DrawBoard(status, !gameOver && !leaving && (phase != 0 || (!even && bannerDismissed)));
    DrawLostNotice();
    if (phase == 0) {
        DrawRing();
        DrawBanner(YearOf(status));
        DrawStatsPanel(bannerDismissed && even);
        if (!bannerDismissed && even) {
            HandleBannerInput();
        } else if (even && !gameOver && !leaving) {
            HandleStatsInput();
        }
        return;
    }
    if (phase == 1)
        bannerDismissed = false;
    if (!boardShown)
        DrawPhase(status, !even);
}

void GameState::RefreshLocalTexts(const PlayerInfo& self) {
    if (self.nation == local.nation && self.government == local.government &&
        self.objective == local.objective && self.name == local.name) {
        return;
    }
    local.nation = self.nation;
    local.government = self.government;
    local.objective = self.objective;
    local.name = self.name;
    local.objectif = ObjectiveAt(self.objective);
    AssignName(local.playerName, self.name);
    local.leaderTitle = LeaderTitle(self.nation, self.government);
    local.objectiveHeading = objectiveLabel;
    if (local.objectif)
        local.objectiveHeading += local.objectif->title;
    local.description =
        WrapText("          " + (local.objectif ? local.objectif->description : std::string()),
                 kDescriptionWidth);
    statsPercent = -2;
}

int32_t GameState::CachedProgress(int back) {
    const int32_t count = history.Count();
    if (count != progressHistoryCount || local.nation != progressNation ||
        local.objectif != progressObjective) {
        progressHistoryCount = count;
        progressNation = local.nation;
        progressObjective = local.objectif;
        progress[0] = Progress(local.objectif, &history, local.nation, 0);
        progress[1] = Progress(local.objectif, &history, local.nation, 1);
    }
    return progress[back == 0 ? 0 : 1];
}

void GameState::CloseObjectivePanel() {
    Play(audio, hitSound.get());
    mode = Playing;
}

void GameState::HandleObjectiveInput() {
    if (!input)
        return;
    const int32_t before = focusedButton;
    const platform::Point cursor = input->CursorPosition();
    const int32_t panelWidth = WidthOf(objectivePanel);
    const int32_t x0 = PanelX(panelWidth);
    const int32_t y0 = Trunc(objectivePanelY);
    const int32_t okWidth = WidthOf(okButton);
    const int32_t okLeft = x0 + panelWidth / 2 - okWidth / 2;
    if (Within(cursor.x, okLeft, x0 + panelWidth / 2 + okWidth / 2) &&
        Within(cursor.y, y0 + 263, y0 + 263 + HeightOf(okButton))) {
        focusedButton = 0;
        if (input->KeyPressed(key::LeftButton)) {
            CloseObjectivePanel();
            return;
        }
    }
    if (Within(cursor.x, x0 + 366, x0 + 366 + WidthOf(closeButton)) &&
        Within(cursor.y, y0 + 9, y0 + 9 + HeightOf(closeButton))) {
        focusedButton = 1;
        if (input->KeyPressed(key::LeftButton)) {
            CloseObjectivePanel();
            return;
        }
    }
    if (input->KeyPressed(key::Down) || input->KeyPressed(key::Right)) {
        focusedButton = focusedButton == 0 ? 1 : 0;
    } else if (input->KeyPressed(key::Up) || input->KeyPressed(key::Left)) {
        focusedButton = focusedButton == 1 ? 0 : 1;
    } else if (input->KeyPressed(key::Escape) || input->KeyPressed(key::Return) ||
               input->KeyPressed(key::Space)) {
        CloseObjectivePanel();
        return;
    }
    if (focusedButton != before)
        Play(audio, hitSound.get());
}

void GameState::DrawObjectivePanel() {
    DirectPlay* network = Network();
    if (!screen || !objectivePanel || !network)
        return;
    PlayerInfo self;
    network->CopyPlayer(network->LocalPlayerId(), self);
    if (objectivePanelY == kHiddenPanelY)
        shownProgress = 0.0f;
    RefreshLocalTexts(self);
    // Before any table has arrived there is no measure: the bar stays empty.
    const int32_t percent = std::max(0, CachedProgress(0));
    const int32_t dt = screen->GetFrameTime();
    const int32_t panelWidth = objectivePanel->GetWidth();
    objectivePanelY =
        Slide(objectivePanelY, mode == ShowingObjective, objectivePanel->GetHeight(), dt);
    shownProgress += static_cast<float>(dt) * 0.0005f * static_cast<float>(percent);
    if (!(shownProgress > 0.0f))
        shownProgress = 0.0f;
    if (shownProgress > static_cast<float>(percent))
        shownProgress = static_cast<float>(percent);
    const int32_t p = static_cast<int32_t>(std::ceil(shownProgress));
    if (p != shownPercent) {
        shownPercent = p;
        percentText = std::to_string(p);
        percentText += " %";
    }

    const int32_t x0 = PanelX(panelWidth);
    const int32_t y0 = Trunc(objectivePanelY);
    Draw(objectivePanel, x0, y0);
    Draw(okButton, x0 + panelWidth / 2 - WidthOf(okButton) / 2, y0 + 263,
         focusedButton == 0 ? kWhite : kHalfWhite);
    Draw(closeButton, x0 + 366, y0 + 9, focusedButton == 1 ? kWhite : kHalfWhite);
    // 278 pixels at 100 %, in whole pixels.
    Draw(fillBar, x0 + 105, y0 + 237, kWhite, static_cast<float>(p * 278 / 100), 1.0f);
    int32_t flagWidth = 0;
    if (ValidNation(self.nation)) {
        const size_t nation = static_cast<size_t>(self.nation);
        flagWidth = WidthOf(flags[nation]);
        Draw(flags[nation], x0 + 17, y0 + 49);
        Draw(portraits[nation], x0 + 22, y0 + 54, kWhite, 0.5f, 0.5f);
        if (ValidGovernment(self.government)) {
            const auto& emblem = emblems[static_cast<size_t>(self.government)];
            Draw(emblem, x0 + flagWidth - WidthOf(emblem) / 2 + 12,
                 y0 + HeightOf(flags[nation]) - HeightOf(emblem) / 2 + 44, kWhite, 0.5f, 0.5f);
        }
    }
    screen->DrawText(x0 + flagWidth + 27, y0 + 49, local.playerName, kTextGreen, 1, 5, 0);
    screen->DrawText(x0 + flagWidth + 27, y0 + 83, local.leaderTitle, kTextGreen, 0, 2, 0);
    screen->DrawText(x0 + 13, y0 + 5, local.objectiveHeading, kTextGreen, 0, 3, 0);
    screen->DrawText(x0 + 21, y0 + 121, local.description, kTextGreen, 0, 1, 0);
    screen->DrawText(x0 + 19, y0 + 234, doneLabel, kTextGreen, 0, 1, 0);
    screen->DrawText(x0 + 243, y0 + 235, percentText, kTextGreen, 0, 0, 1);
}

void GameState::DrawWaitingNotice() {
    if (screen) {
        Draw(miniFrame, 195, 204);
        Draw(networkIcon, 216, 219);
        const int dots = std::clamp(static_cast<int>(std::floor(waitTimer)), 0, 4);
        screen->DrawText(257, 216, waitingTexts[static_cast<size_t>(dots)], kOrange, 1, 6, 0);
    }
    waitTimer += static_cast<float>(FrameTime(screen)) / 1000.0f;
    if (waitTimer >= 5.0f)
        waitTimer = 0.0f;
}

void GameState::DrawDisconnectedNotice() {
    if (!screen)
        return;
    Draw(miniFrame, 195, 204);
    Draw(networkIcon, 216, 219);
    screen->DrawText(257, 216, disconnectedText, kOrange, 1, 6, 0);
}

void GameState::DrawBanner(int32_t year) {
    const int32_t height = HeightOf(newYearBanner);
    bannerY = Slide(bannerY, !bannerDismissed, height, FrameTime(screen));
    if (!screen)
        return;
    if (year != bannerYear || bannerYearText.empty()) {
        bannerYear = year;
        bannerYearText = std::to_string(year);
    }
    Draw(newYearBanner, PanelX(WidthOf(newYearBanner)), Trunc(bannerY));
    const float middle = static_cast<float>(height / 2) + bannerY;
    screen->DrawText(320, Trunc(middle - 50.0f), bannerYearText, kTextGreen, 3, 39, 1);
    Draw(okButton, 320 - WidthOf(okButton) / 2, Trunc(middle + 95.0f));
}

void GameState::HandleBannerInput() {
    if (!input)
        return;
    bool dismiss = input->KeyPressed(key::Escape) || input->KeyPressed(key::Return) ||
                   input->KeyPressed(key::Space);
    if (!dismiss) {
        const platform::Point cursor = input->CursorPosition();
        const int32_t halfWidth = WidthOf(okButton) / 2;
        const float top = static_cast<float>(HeightOf(newYearBanner) / 2) + bannerY + 95.0f;
        dismiss = Within(cursor.x, 320 - halfWidth, 320 + halfWidth) &&
                  Within(cursor.y, top, top + static_cast<float>(HeightOf(okButton))) &&
                  input->KeyPressed(key::LeftButton);
    }
    if (dismiss) {
        Play(audio, hitSound.get());
        bannerDismissed = true;
    }
}

void GameState::DrawPlayerArt(int nation, int government, int32_t x, int32_t y, uint32_t colour) {
    if (!ValidNation(nation))
        return;
    const auto& flag = flags[static_cast<size_t>(nation)];
    const int32_t fw = WidthOf(flag);
    const int32_t fh = HeightOf(flag);
    Draw(flag, x - fw / 2, y - fh / 2, colour);
    Draw(portraits[static_cast<size_t>(nation)], x - fw / 2 + 5, y - fh / 2 + 5, colour, 0.5f,
         0.5f);
    if (ValidGovernment(government)) {
        const auto& emblem = emblems[static_cast<size_t>(government)];
        Draw(emblem, x + fw / 2 - WidthOf(emblem) / 2 - 5, y + fh / 2 - HeightOf(emblem) / 2 - 5,
             colour, 0.5f, 0.5f);
    }
}

void GameState::DrawRing() {
    DirectPlay* network = Network();
    if (!screen || !network)
        return;
    const int count = network->PlayerCount();
    PlayerInfo record;
    for (size_t i = 0;
         i < ringNames.size() && network->CopyPlayerAt(static_cast<uint8_t>(i), record); ++i) {
        const RingPoint point = RingPosition(static_cast<int>(i), count);
        const uint32_t colour = record.IsReady() ? kWhite : kHalfWhite;
        DrawPlayerArt(record.nation, record.government, point.x, point.y, colour);
        const int32_t flagHeight =
            ValidNation(record.nation) ? HeightOf(flags[static_cast<size_t>(record.nation)]) : 0;
        AssignName(ringNames[i], record.name);
        screen->DrawText(point.x, point.y + flagHeight / 2 - 15, ringNames[i], kOrange, 1, 1, 1);
    }
}

void GameState::DrawStatsPanel(bool shown) {
    statsPanelY = Slide(statsPanelY, shown, HeightOf(statsPanel), FrameTime(screen));
    if (!screen)
        return;
    const int32_t x0 = PanelX(WidthOf(statsPanel));
    const int32_t y0 = Trunc(statsPanelY);
    const int32_t tw = WidthOf(statsTab);
    const size_t selected = static_cast<size_t>(statsTabIndex & 3);
    Draw(statsPanel, x0, y0);
    Draw(statsTab, x0 + 36 + tw * statsTabIndex, y0 + 307);
    Draw(okButton, 320 - WidthOf(okButton) / 2, y0 + HeightOf(statsPanel) + kStatsOkGap);
    screen->DrawText(x0 + 36, y0 + 8, statsHeadings[selected], kTextGreen, 0, 1, 0);
    for (int k = 0; k < 4; ++k) {
        screen->DrawText(x0 + 41 + tw * k, y0 + 308, tabNames[static_cast<size_t>(k)],
                         k == statsTabIndex ? kTextGreen : kDimGreen, 0, 0, 0);
    }
    DirectPlay* network = Network();
    if (!network)
        return;
    PlayerInfo self;
    network->CopyPlayer(network->LocalPlayerId(), self);
    RefreshLocalTexts(self);
    DrawStatsIdentity(self, x0, y0);
    if (statsTabIndex == 0) {
        DrawSummaryTab(self, x0, y0);
        return;
    }
    RefreshStats(*network);
    if (statsTabIndex == 1) {
        DrawIncomeTab(x0, y0);
    } else if (statsTabIndex == 2) {
        DrawObjectiveTab(x0, y0);
    } else {
        DrawWarTab(x0, y0);
    }
}

void GameState::DrawSummaryTab(const PlayerInfo& self, int32_t x0, int32_t y0) {
    const int32_t year = YearOf(self.syncStatus);
    if (year != statsYear || statsYearText.empty()) {
        statsYear = year;
        statsYearText =
            "ann\xE9"
            "e ";
        statsYearText += std::to_string(year);
    }
    const int32_t now = CachedProgress(0);
    const int32_t before = CachedProgress(1);
    if (now != statsPercent) {
        statsPercent = now;
        statsObjectiveLine = local.objectif ? local.objectif->title : std::string();
        statsObjectiveLine += " (";
        statsObjectiveLine += std::to_string(std::max(0, now));
        statsObjectiveLine += "%)";
    }
    screen->DrawText(x0 + 168, y0 + 34, local.playerName, kTextGreen, 0, 3, 0);
    screen->DrawText(x0 + 168, y0 + 60, local.leaderTitle, kTextGreen, 0, 1, 0);
    screen->DrawText(x0 + 468, y0 + 34, statsYearText, kTextGreen, 0, 2, 2);
    screen->DrawText(x0 + 168, y0 + 95, objectiveLabel, kTextGreen, 0, 1, 0);
    screen->DrawText(x0 + 254, y0 + 97, statsObjectiveLine, kTextGreen, 0, 0, 0);
    if (before >= 0) {
        if (now < before) {
            Draw(downArrow, x0 + 445, y0 + 95);
        } else if (before < now) {
            Draw(upArrow, x0 + 445, y0 + 97);
        }
    }
}

void GameState::HandleStatsInput() {
    if (!input)
        return;
    // Closing the panel ends the player's look at the year: it becomes ready.
    const platform::Point pointer = input->CursorPosition();
    const int32_t okLeft = 320 - WidthOf(okButton) / 2;
    const float okTop = statsPanelY + static_cast<float>(HeightOf(statsPanel) + kStatsOkGap);
    const bool onOk = okButton && Within(pointer.x, okLeft, okLeft + WidthOf(okButton)) &&
                      Within(pointer.y, okTop, okTop + static_cast<float>(HeightOf(okButton)));
    if (input->KeyPressed(key::Return) || input->KeyPressed(key::Space) ||
        input->KeyPressed(key::Escape) || (onOk && input->KeyPressed(key::LeftButton))) {
        if (!yearPanelClosed)
            Play(audio, hitSound.get());
        yearPanelClosed = true;
        return;
    }
    if (input->KeyPressed(key::Tab)) {
        statsTabIndex =
            input->KeyDown(key::Shift) ? (statsTabIndex + 3) % 4 : (statsTabIndex + 1) % 4;
        Play(audio, hitSound.get());
    }
    const platform::Point cursor = input->CursorPosition();
    const float top = statsPanelY + 307.0f;
    if (!Within(cursor.y, top, top + static_cast<float>(HeightOf(statsTab))) ||
        !input->KeyPressed(key::LeftButton)) {
        return;
    }
    const int32_t x0 = PanelX(WidthOf(statsPanel));
    const int32_t tw = WidthOf(statsTab);
    for (int k = 0; k < 4; ++k) {
        if (Within(cursor.x, x0 + 36 + tw * k, x0 + 36 + tw * (k + 1))) {
            statsTabIndex = k;
            Play(audio, hitSound.get());
            return;
        }
    }
}

}  // namespace torvane
