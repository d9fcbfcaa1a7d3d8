// The lobby: every player chooses a nation and a government, the host the objective mode, and
// all leave together for the game once everybody is ready.
#include "lobby/Statepaysgov.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/ComputerSeats.h"
#include "audio/Directaudio.h"
#include "campaign/Campaign.h"
#include "campaign/Gamerules.h"
#include "campaign/Savedgame.h"
#include "game/Game.h"
#include "input/Directinput.h"
#include "screen/Directscreen.h"
#include "states/Animation.h"
#include "states/Frontend.h"

namespace torvane {
namespace {

constexpr platform::Point kMapPoints[8] = {{342, 203}, {322, 212}, {206, 221}, {213, 177},
                                           {297, 180}, {433, 129}, {449, 199}, {448, 291}};
constexpr platform::Point kChooserPoints[8] = {{355, 228}, {337, 236}, {238, 245}, {242, 209},
                                               {314, 209}, {434, 166}, {448, 221}, {446, 308}};

constexpr const char* kNationSoundPaths[8] = {
    "..\\Ressources\\Sounds\\Pays\\Irak.wav",     "..\\Ressources\\Sounds\\Pays\\Egypte.wav",
    "..\\Ressources\\Sounds\\Pays\\Jamaique.wav", "..\\Ressources\\Sounds\\Pays\\Amerique.wav",
    "..\\Ressources\\Sounds\\Pays\\France.wav",   "..\\Ressources\\Sounds\\Pays\\Russie.wav",
    "..\\Ressources\\Sounds\\Pays\\Japon.wav",    "..\\Ressources\\Sounds\\Pays\\Australie.wav"};
constexpr const char* kGovernmentSoundPaths[3] = {
    "..\\Ressources\\Sounds\\Embleme\\Democratie.wav",
    "..\\Ressources\\Sounds\\Embleme\\Empire.wav",
    "..\\Ressources\\Sounds\\Embleme\\Communisme.wav"};

constexpr uint32_t kLabelGreen = 0xFF102D19;
constexpr uint32_t kActiveGreen = 0xCF102D19;
constexpr uint32_t kFadedGreen = 0x5F102D19;
constexpr uint32_t kActiveRed = 0xCFFF2D19;
constexpr uint32_t kFadedRed = 0x5FFF2D19;
constexpr uint32_t kFadedRedTint = 0x5FFF0000;
// Rows whose nation another player also holds, and the line under the list that says so.
constexpr uint32_t kClashRed = 0xAFFF2D19;
constexpr uint32_t kClashHintRed = 0xEFFF2D19;
constexpr uint32_t kDisconnectedColour = 0xFFFF9F31;
constexpr uint32_t kPanelColour = 0xCFFFFFFF;
constexpr uint32_t kVeilColour = 0x7FFFFFFF;

constexpr int8_t kObjectiveWorld = -1;
constexpr int8_t kObjectiveCustom = -2;
// The phase clock's line, under the objective choice.
constexpr int32_t kClockLineY = 437;

constexpr float kChooserHidden = -400.0f;
// Squared pixels within which the pointer picks the nearest nation of the chooser.
constexpr int32_t kPickRadiusSquared = 200;

int32_t Round(float value) {
    return static_cast<int32_t>(std::lround(value));
}

bool Inside(const platform::Point& p, int x0, int x1, int y0, int y1) {
    return p.x >= x0 && p.x <= x1 && p.y >= y0 && p.y <= y1;
}

bool ValidNation(int nation) {
    return nation >= 0 && nation < NationCount;
}

bool ValidGovernment(int government) {
    return government >= 0 && government < GovernmentCount;
}

// Eases toward the target, then keeps the panel from overshooting its resting place.
float EasePanel(float offset, bool shown, int32_t ft) {
    offset = SlideTowardNoOvershoot(offset, shown ? 0 : static_cast<int32_t>(kChooserHidden), ft);
    return offset > 0.0f ? 0.0f : offset;
}

// Draws the 1 x 1 veil stretched over a rectangle; nothing for an empty one.
void Veil(const std::unique_ptr<Image>& dim, int x, int y, int width, int height) {
    if (!dim || width <= 0 || height <= 0 || dim->GetWidth() <= 0 || dim->GetHeight() <= 0)
        return;
    dim->Draw(x, y, kVeilColour, static_cast<float>(width) / static_cast<float>(dim->GetWidth()),
              static_cast<float>(height) / static_cast<float>(dim->GetHeight()), 0, 0, 0.0f);
}

}  // namespace

uint8_t SharedNations(std::span<const PlayerInfo> records, bool readyOnly) {
    static_assert(NationCount <= 8, "one bit per nation");
    uint8_t held = 0;
    uint8_t shared = 0;
    for (const PlayerInfo& record : records) {
        if (!ValidNation(record.nation) || (readyOnly && !record.IsReady()))
            continue;
        const auto bit = static_cast<uint8_t>(1u << record.nation);
        shared = static_cast<uint8_t>(shared | (held & bit));
        held = static_cast<uint8_t>(held | bit);
    }
    return shared;
}

uint32_t ResumedStatusOf(const PlayerInfo& hostRecord) {
    const auto status = static_cast<uint32_t>(hostRecord.reservedWord);
    return IsCampaignStatus(status) && StepOf(status) == CampaignStep::YearStart ? status : 0;
}

int8_t SavedGovernment(const Seating& saved, int nation) {
    if (!ValidNation(nation))
        return -1;
    const int8_t government = saved[static_cast<size_t>(nation)].government;
    return ValidGovernment(government) ? government : int8_t{-1};
}

namespace {

bool HeldByOther(std::span<const PlayerInfo> records, int32_t selfId, int nation) {
    return std::any_of(records.begin(), records.end(), [&](const PlayerInfo& record) {
        return record.playerId != selfId && record.nation == nation;
    });
}

}  // namespace

int SavedNationOf(const Seating& saved, std::span<const PlayerInfo> records, int32_t selfId,
                  std::string_view name) {
    if (name.empty())
        return -1;
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto& seat = saved[static_cast<size_t>(nation)];
        if (SavedGovernment(saved, nation) < 0)
            continue;
        const std::string_view saver(seat.name.data(), strnlen(seat.name.data(), seat.name.size()));
        if (saver == name)
            return HeldByOther(records, selfId, nation) ? -1 : nation;
    }
    return -1;
}

int FreeSavedNation(const Seating& saved, std::span<const PlayerInfo> records, int32_t selfId) {
    for (int nation = 0; nation < NationCount; ++nation) {
        if (SavedGovernment(saved, nation) >= 0 && !HeldByOther(records, selfId, nation))
            return nation;
    }
    return -1;
}

PaysGovState::PaysGovState(DirectScreen* screen, DirectAudio* audio, DirectInput* input,
                           std::unique_ptr<DirectPlay>* networkSlot)
    : screen(screen), audio(audio), input(input), networkSlot(networkSlot) {
    miniFrame = Load(screen, kMiniFramePath);
    networkIcon = Load(screen, "..\\Ressources\\Graphics\\Icones\\Network.png");
    bar = Load(screen, "..\\Ressources\\Graphics\\Fond\\Barre.png");
    notReadyIcon = Load(screen, "..\\Ressources\\Graphics\\Icones\\NotReady.png", 0xFF8C7B52);
    readyIcon = Load(screen, "..\\Ressources\\Graphics\\Icones\\Ready.png", 0xFF8C7B52);
    serverIcon = Load(screen, "..\\Ressources\\Graphics\\Icones\\Server.png", 0xFF8C7B52);
    homeIcon = Load(screen, "..\\Ressources\\Graphics\\Icones\\Home.png", 0xFF8C7B52);
    rowPlain = Load(screen, "..\\Ressources\\Graphics\\Fond\\Actif.png", 0xFFFFFFFF);
    rowTinted = Load(screen, "..\\Ressources\\Graphics\\Fond\\Actif.png", 0xFFE6C886);
    objectivePanel =
        Load(screen, "..\\Ressources\\Graphics\\Fond\\NetmapMenuGauche.png", 0xFFBD9C53);
    startPanel = Load(screen, "..\\Ressources\\Graphics\\Fond\\NetmapMenuDroit.png", 0xFFBD9C53);
    buttons = Load(screen, "..\\Ressources\\Graphics\\Fond\\Boutons.png", 0xFF8C7B52);
    background = Load(screen, "..\\Ressources\\Graphics\\Fond\\NetMap.jpg");
    point = Load(screen, "..\\Ressources\\Graphics\\Icones\\Point.png", 0xFF000000);
    nationPanel = Load(screen, "..\\Ressources\\Graphics\\Fond\\Country.jpg");
    thumbnailFrame = Load(screen, "..\\Ressources\\Graphics\\Fond\\MiniatCadre.png", 0xFFBF0000);
    dim = Load(screen, kDimPath);
    light = Load(screen, kLightPath);
    for (int i = 0; i < NationCount; ++i) {
        flags[static_cast<size_t>(i)] = Load(screen, NationFlagPath(i).c_str());
        portraits[static_cast<size_t>(i)] = Load(screen, NationPortraitPath(i).c_str());
    }
    for (int i = 0; i < GovernmentCount; ++i) {
        emblems[static_cast<size_t>(i)] =
            Load(screen, GovernmentEmblemPath(i, false).c_str(), 0xFFBF0000);
    }
    conquestIcon = Load(screen, "..\\Ressources\\Graphics\\Icones\\Conquete.png", 0xFFBF0000);
    spyIcon = Load(screen, "..\\Ressources\\Graphics\\Icones\\Espionner.png", 0xFFBF0000);
    for (int i = 0; i < GovernmentCount; ++i) {
        governmentPictures[static_cast<size_t>(i)] =
            Load(screen, GovernmentEmblemPath(i, true).c_str());
    }
    governmentPanel = Load(screen, "..\\Ressources\\Graphics\\Fond\\GovCadre.png");

    hitSound = LoadEffect(audio, kHitPath);
    failedSound = LoadEffect(audio, kFailedPath);
    for (size_t i = 0; i < nationSounds.size(); ++i)
        nationSounds[i] = LoadEffect(audio, kNationSoundPaths[i]);
    for (size_t i = 0; i < governmentSounds.size(); ++i)
        governmentSounds[i] = LoadEffect(audio, kGovernmentSoundPaths[i]);

    for (int i = 0; i < NationCount; ++i)
        nationNames[static_cast<size_t>(i)] = NationName(i);
    nationNames[8] = NationName(-1);
    for (int i = 0; i < GovernmentCount; ++i) {
        governmentNames[static_cast<size_t>(i)] = GovernmentName(i);
        const Government* government = GovernmentAt(i);
        if (!government)
            continue;
        GovernmentTexts& texts = governmentTexts[static_cast<size_t>(i)];
        texts.name = government->name;
        texts.description = government->description;
        texts.army = FormatAmount(government->armyValue);
        texts.boat = FormatAmount(government->boatValue);
        texts.espionage = FormatAmount(government->espionageValue);
        texts.revenue = RevenueText(*government);
        texts.counterEspionage = CounterEspionageText(*government);
        texts.abilities = AbilitiesText(*government);
    }
    governmentNames[3] = GovernmentName(-1);
    labels = {
        "Arm\xE9"
        "e :",
        "Bateau :", "Espionnage :", "Revenu :", "Contre-espionnage :"};
    columnTitles = {"Nom", "Pays", "Gouvernement", "Etat", "Connexion"};
    descriptionLabel = "Description :";
    startText =
        "- d\xE9"
        "marrer -";
    backText = "- retour -";
    objectiveTitle = "Objectif:";
    worldText = "Monde";
    customText = "Personnalis\xE9";
    disconnectedText =
        "D\xE9"
        "connect\xE9 !";
    clashMark = "!";
    clashHint = "Nation d\xE9j\xE0 prise : l'un des joueurs doit en changer";
    computerTag = "(ordi)";
    addComputerHint = "F3 : ajouter un ordinateur";
    latencyShown.fill(INT32_MIN);
    for (std::string& text : latencyTexts)
        text.reserve(24);

    if (screen) {
        screen->ResetFrameClock();
        screen->Fade(false, 1000, 0);
    }
    if (DirectPlay* network = Network())
        network->SetListener(this);
    // The host of a saved game tells everybody who joins what was saved.
    DirectPlay* network = Network();
    if (network && network->IsHost() && network->ResumedGame()) {
        const SavedGame& game = *network->ResumedGame();
        for (int nation = 0; nation < NationCount; ++nation) {
            const SavedNation& saved = game.nations[static_cast<size_t>(nation)];
            SeatRecord& seat = savedSeats[static_cast<size_t>(nation)];
            seat.government = saved.government;
            seat.computer = saved.computer;
            seat.name = saved.name;
        }
        savedStatus = game.status;
        PlayerInfo local;
        if (CopyLocal(local)) {
            local.reservedWord = static_cast<int32_t>(savedStatus);
            local.objective = game.personalised ? kObjectiveCustom : kObjectiveWorld;
            Publish(local);
        }
        network->SendSeating(savedSeats);
        resuming = true;
        resumeText = "Reprise : " + std::to_string(YearOf(savedStatus));
    }
}

void PaysGovState::ReadResume() {
    DirectPlay* network = Network();
    if (!network)
        return;
    if (!resuming && !network->IsHost()) {
        PlayerInfo hostRecord;
        Seating seats;
        if (!network->CopyPlayer(network->HostPlayerId(), hostRecord) ||
            ResumedStatusOf(hostRecord) == 0 || !network->CopyHostSeating(seats)) {
            return;
        }
        savedSeats = seats;
        savedStatus = ResumedStatusOf(hostRecord);
        resuming = true;
        resumeText = "Reprise : " + std::to_string(YearOf(savedStatus));
    }
    if (resuming && !savedNationTried)
        TakeSavedNation();
}

// The nation saved under this player's name, with its government, if nobody else has taken it;
// otherwise the player picks one of the saved nations still free.
void PaysGovState::TakeSavedNation() {
    PlayerInfo local;
    if (!CopyLocal(local))
        return;
    savedNationTried = true;
    std::array<PlayerInfo, kMaxRows> records;
    size_t count = 0;
    while (count < records.size() &&
           Network()->CopyPlayerAt(static_cast<uint8_t>(count), records[count])) {
        ++count;
    }
    const std::span<const PlayerInfo> table(records.data(), count);
    const int nation = SavedNationOf(savedSeats, table, local.playerId, local.Name());
    if (nation >= 0) {
        local.nation = static_cast<int8_t>(nation);
        local.government = SavedGovernment(savedSeats, nation);
        Publish(local);
        Play(audio, nationSounds[static_cast<size_t>(nation)].get());
        mode = List;
        return;
    }
    // A choice made before the saved seats were known that they do not allow is undone.
    if (SavedGovernment(savedSeats, local.nation) != local.government) {
        local.nation = -1;
        local.government = -1;
        Publish(local);
        mode = FirstNation;
    }
}

// Every player on a saved nation under its saved government.
bool PaysGovState::SavedChoicesHeld() const {
    const DirectPlay* network = Network();
    PlayerInfo record;
    for (unsigned i = 0;
         network && i < 256 && network->CopyPlayerAt(static_cast<uint8_t>(i), record); ++i) {
        if (SavedGovernment(savedSeats, record.nation) < 0 ||
            record.government != SavedGovernment(savedSeats, record.nation)) {
            return false;
        }
    }
    return network != nullptr;
}

// The engine is looked up again: the driver may already have destroyed it.
PaysGovState::~PaysGovState() {
    if (DirectPlay* network = Network())
        network->ClearListener(this);
}

DirectPlay* PaysGovState::Network() const {
    return networkSlot ? networkSlot->get() : nullptr;
}

bool PaysGovState::IsHost() const {
    const DirectPlay* network = Network();
    return network && network->IsHost();
}

bool PaysGovState::NationClash(int row) const {
    return row >= 0 && row < rowCount && clashRows[static_cast<size_t>(row)];
}

float PaysGovState::Glow(int nation) const {
    return ValidNation(nation) ? glow[static_cast<size_t>(nation)] : 0.0f;
}

platform::Point PaysGovState::MapPoint(int nation) {
    return ValidNation(nation) ? kMapPoints[nation] : platform::Point{};
}

platform::Point PaysGovState::ChooserPoint(int nation) {
    return ValidNation(nation) ? kChooserPoints[nation] : platform::Point{};
}

int PaysGovState::NearestChooserNation(int x, int y, int offset, int32_t& squaredDistance) {
    int nearest = 0;
    int64_t best = INT64_MAX;
    for (int i = 0; i < NationCount; ++i) {
        const int64_t dx = static_cast<int64_t>(x) - kChooserPoints[i].x;
        const int64_t dy = static_cast<int64_t>(y) - (kChooserPoints[i].y + offset);
        const int64_t d = dx * dx + dy * dy;
        if (d < best) {
            best = d;
            nearest = i;
        }
    }
    squaredDistance = static_cast<int32_t>(std::min<int64_t>(best, INT32_MAX));
    return nearest;
}

void PaysGovState::Click() {
    Play(audio, hitSound.get());
}

void PaysGovState::Refuse() {
    Play(audio, failedSound.get());
}

bool PaysGovState::CopyLocal(PlayerInfo& record) const {
    const DirectPlay* network = Network();
    return network && network->CopyPlayer(network->LocalPlayerId(), record);
}

// Read afresh from the engine: the table drawn last frame may already be out of date.
bool PaysGovState::ReadyNationsShared() const {
    const DirectPlay* network = Network();
    if (!network)
        return false;
    std::array<PlayerInfo, kMaxRows> records;
    size_t count = 0;
    while (count < records.size() &&
           network->CopyPlayerAt(static_cast<uint8_t>(count), records[count])) {
        ++count;
    }
    return SharedNations(std::span(records.data(), count), true) != 0;
}

void PaysGovState::Publish(const PlayerInfo& record) {
    if (DirectPlay* network = Network())
        network->PublishLocalPlayer(record);
}

// ---------------------------------------------------------------------------------------------
// Frame

bool PaysGovState::HostHasStarted() const {
    if (leaving)
        return !backToBrowser;
    DirectPlay* network = Network();
    PlayerInfo host;
    return network && network->CopyPlayer(network->HostPlayerId(), host) && host.Phase() >= 1;
}

int32_t PaysGovState::Run() {
    // Once the host has started, what arrives (the dealt world, the objective, a lost player) is
    // the game screen's: it stays queued for it, even before this lobby has seen the start.
    DirectPlay* network = Network();
    if (network && !HostHasStarted())
        network->DeliverEvents();
    Computers().Update();
    if (input)
        input->Update();
    // The chat line, once open, keeps every key from the lobby.
    chat.HandleInput(network, !leaving);
    const int32_t modeBefore = mode;

    if (!leaving) {
        ReadResume();
        DirectPlay* network = Network();
        if (network && network->FollowHostPhase()) {
            leaving = true;
            Fade(screen, true);
        } else if (input) {
            switch (mode) {
                case FirstNation:
                case NationChange:
                    HandleNationChooser();
                    break;
                case FirstGovernment:
                case GovernmentChange:
                    HandleGovernmentChooser();
                    break;
                default:
                    HandleList();
                    break;
            }
        }
    } else if (FadeFinished(screen)) {
        Fade(screen, false);
        if (!backToBrowser)
            return GameCode;
        // The computer players started here leave with the lobby.
        Computers().EndAll();
        if (networkSlot) {
            if (*networkSlot)
                (*networkSlot)->ClearListener(this);
            networkSlot->reset();
        }
        return NetworkBrowserCode;
    }

    if (mode != modeBefore)
        UpdateReadyMark();

    if (screen)
        DrawFrame();
    return StayCode;
}

// Ready exactly when back on the list with both choices made.
void PaysGovState::UpdateReadyMark() {
    DirectPlay* network = Network();
    PlayerInfo local;
    if (!network || !CopyLocal(local))
        return;
    if (local.nation != -1 && local.government != -1 && !local.IsReady()) {
        network->SetReady();
    } else if (local.IsReady()) {
        network->ClearReady();
    }
}

// ---------------------------------------------------------------------------------------------
// Input

void PaysGovState::HandleNationChooser() {
    const int32_t cursorBefore = nationCursor;
    const bool click = input->KeyPressed(key::LeftButton);
    const platform::Point mouse = input->CursorPosition();
    int32_t squared = 0;
    const int nearest = NearestChooserNation(mouse.x, mouse.y, Round(nationOffset), squared);
    if (squared < kPickRadiusSquared) {
        nationCursor = nearest;
        if (click) {
            ChooseNation(nationCursor);
            return;
        }
    }
    bool clicked = false;
    if (input->KeyPressed(key::Down) || input->KeyPressed(key::Right)) {
        Click();
        clicked = true;
        nationCursor = nationCursor >= 7 ? 0 : nationCursor + 1;
    } else if (input->KeyPressed(key::Up) || input->KeyPressed(key::Left)) {
        Click();
        clicked = true;
        nationCursor = nationCursor <= 0 ? 7 : nationCursor - 1;
    } else if (input->KeyPressed(key::Escape)) {
        Click();
        mode = List;
    } else if (input->KeyPressed(key::Return) || input->KeyPressed(key::Space)) {
        ChooseNation(nationCursor);
        return;
    }
    // One tick per change: the arrow keys have already played theirs.
    if (nationCursor != cursorBefore && !clicked)
        Click();
}

void PaysGovState::ChooseNation(int nation) {
    DirectPlay* network = Network();
    if (network) {
        PlayerInfo record;
        for (unsigned i = 0; i <= 255 && network->CopyPlayerAt(static_cast<uint8_t>(i), record);
             ++i) {
            if (record.nation == nation) {
                Refuse();
                return;
            }
        }
    }
    // A game taken up again is played by the nations it saved, under their governments.
    if (resuming && SavedGovernment(savedSeats, nation) < 0) {
        Refuse();
        return;
    }
    if (ValidNation(nation))
        Play(audio, nationSounds[static_cast<size_t>(nation)].get());
    mode = mode == FirstNation && !resuming ? FirstGovernment : List;
    PlayerInfo local;
    if (CopyLocal(local)) {
        local.nation = static_cast<int8_t>(nation);
        if (resuming)
            local.government = SavedGovernment(savedSeats, nation);
        Publish(local);
    }
}

void PaysGovState::HandleGovernmentChooser() {
    const int32_t cursorBefore = governmentCursor;
    const bool click = input->KeyPressed(key::LeftButton);
    const platform::Point mouse = input->CursorPosition();
    const int32_t shift = Round(governmentOffset);
    for (int i = 0; i < GovernmentCount; ++i) {
        const int top = i * 94 + 105 + shift;
        if (!Inside(mouse, 138, 220, top, top + 82))
            continue;
        governmentCursor = i;
        if (click) {
            Play(audio, governmentSounds[static_cast<size_t>(i)].get());
            ChooseGovernment(i);
            return;
        }
        break;
    }
    if (input->KeyPressed(key::Down) || input->KeyPressed(key::Right)) {
        governmentCursor = governmentCursor >= 2 ? 0 : governmentCursor + 1;
    } else if (input->KeyPressed(key::Up) || input->KeyPressed(key::Left)) {
        governmentCursor = governmentCursor <= 0 ? 2 : governmentCursor - 1;
    } else if (input->KeyPressed(key::Escape)) {
        mode = List;
    } else if (input->KeyPressed(key::Return) || input->KeyPressed(key::Space)) {
        Play(audio, governmentSounds[static_cast<size_t>(governmentCursor)].get());
        ChooseGovernment(governmentCursor);
        return;
    }
    if (governmentCursor != cursorBefore)
        Click();
}

void PaysGovState::ChooseGovernment(int government) {
    mode = List;
    PlayerInfo local;
    if (CopyLocal(local)) {
        local.government = static_cast<int8_t>(government);
        Publish(local);
    }
}

void PaysGovState::ReleaseNation() {
    PlayerInfo local;
    if (CopyLocal(local)) {
        local.nation = -1;
        Publish(local);
    }
}

bool PaysGovState::StartGame() {
    DirectPlay* network = Network();
    if (!network)
        return false;
    // Closed before the advance, so that nobody joins a lobby that is already leaving.
    network->StopAcceptingPlayers();
    StartChecked();
    if (ReadyNationsShared() || !network->AdvancePhase()) {
        network->ResumeAcceptingPlayers();
        return false;
    }
    leaving = true;
    Fade(screen, true);
    return true;
}

void PaysGovState::ReturnToBrowser() {
    leaving = true;
    backToBrowser = true;
    Fade(screen, true);
}

void PaysGovState::HandleList() {
    DirectPlay* network = Network();
    const int n = network ? network->PlayerCount() : 0;
    const bool isHost = IsHost();
    const int32_t start = n + 1;
    const int32_t back = n + 2;
    // Somebody left since the last frame: the cursor stays on the list.
    if (listCursor > back)
        listCursor = back;
    if (listCursor == start && !isHost)
        listCursor = back;

    const bool click = input->KeyPressed(key::LeftButton);
    auto tryStart = [&] {
        if (isHost && network && network->AllReady() && !ReadyNationsShared() &&
            (!resuming || SavedChoicesHeld()) && StartGame())
            return true;
        Refuse();
        return false;
    };

    if (input->KeyPressed(key::Down) || input->KeyPressed(key::Right)) {
        Click();
        listCursor += 1;
        if (listCursor > back)
            listCursor = 0;
        if (listCursor == start && !isHost)
            listCursor = back;
    } else if (input->KeyPressed(key::Up) || input->KeyPressed(key::Left)) {
        Click();
        listCursor -= 1;
        if (listCursor < 0)
            listCursor = back;
        if (listCursor == start && !isHost)
            listCursor = n;
    } else if (input->KeyPressed(key::Return) || input->KeyPressed(key::Space)) {
        Click();
        if (listCursor == 0) {
            ReleaseNation();
            mode = NationChange;
        } else if (listCursor == 1) {
            if (resuming)
                Refuse();  // the saved government stays
            else
                mode = GovernmentChange;
        } else if (listCursor == start) {
            if (tryStart())
                return;
        } else if (listCursor == back) {
            ReturnToBrowser();
            return;
        }
    } else if (input->KeyPressed(key::Escape)) {
        Click();
        listCursor = back;
        ReturnToBrowser();
        return;
    } else if (isHost && input->KeyPressed(key::F3)) {
        AddComputer();
    } else if (isHost && input->KeyPressed(key::Delete)) {
        // The row under the cursor, or else the one last clicked.
        RemoveComputer(listCursor >= 2 && listCursor <= n ? listCursor - 1 : selectedRow);
    }

    const int32_t cursorBefore = listCursor;
    const platform::Point mouse = input->CursorPosition();
    if (Inside(mouse, 146, 243, 63, 93)) {
        listCursor = 0;
        if (click) {
            Click();
            selectedRow = 0;
            mode = NationChange;
            ReleaseNation();
        }
    } else if (Inside(mouse, 246, 391, 63, 93)) {
        listCursor = 1;
        if (click && resuming) {
            Refuse();
        } else if (click) {
            Click();
            selectedRow = 0;
            mode = GovernmentChange;
        }
    } else if (isHost && Inside(mouse, 416, 608, 354, 400)) {
        listCursor = start;
        if (click) {
            Click();
            if (tryStart())
                return;
        }
    } else if (Inside(mouse, 416, 608, 400, 431)) {
        listCursor = back;
        if (click) {
            Click();
            ReturnToBrowser();
            return;
        }
    } else {
        int row = -1;
        for (int i = 0; i < n; ++i) {
            if (mouse.y >= i * 30 + 63 && mouse.y <= i * 30 + 93)
                row = i;
        }
        if (row >= 0) {
            listCursor = row + 1;
            if (click) {
                Click();
                selectedRow = row;
            }
        }
    }
    if (isHost)
        HandleObjective(click, mouse);
    if (listCursor != cursorBefore)
        Click();
}

void PaysGovState::AddComputer() {
    DirectPlay* network = Network();
    std::array<PlayerInfo, kMaxRows> records;
    size_t count = 0;
    while (network && count < records.size() &&
           network->CopyPlayerAt(static_cast<uint8_t>(count), records[count])) {
        ++count;
    }
    const std::span<const PlayerInfo> table(records.data(), count);
    // Those still joining count: the session never gets more players than it holds.
    if (!network || count + Computers().Joining(table) >= kMaxRows ||
        Computers().Add(network->ListenPort(), table).empty())
        Refuse();
    else
        Click();
}

void PaysGovState::RemoveComputer(int row) {
    DirectPlay* network = Network();
    PlayerInfo record;
    if (network && row >= 0 && network->CopyPlayerAt(static_cast<uint8_t>(row), record) &&
        record.IsComputer() && Computers().Remove(record.Name())) {
        Click();
        return;
    }
    Refuse();
}

// The host's objective mode; the host's record is the local one.
bool PaysGovState::HandleObjective(bool click, const platform::Point& mouse) {
    // The phase clock, under the objective: F4 or a click on it runs through the choices.
    if ((click && Inside(mouse, 53, 266, kClockLineY, 455)) || input->KeyPressed(key::F4)) {
        Click();
        PlayerInfo local;
        if (CopyLocal(local)) {
            local.reservedByteB =
                static_cast<int8_t>((PhaseClockChoice(local) + 1) % kPhaseClockChoices);
            Publish(local);
        }
        return true;
    }
    int8_t wanted = 0;
    if ((click && Inside(mouse, 53, 266, 380, 414)) || input->KeyPressed(key::F1)) {
        wanted = kObjectiveWorld;
    } else if ((click && Inside(mouse, 53, 266, 414, kClockLineY)) || input->KeyPressed(key::F2)) {
        wanted = kObjectiveCustom;
    } else {
        return false;
    }
    // A saved game keeps the objectives it dealt.
    if (resuming) {
        Refuse();
        return true;
    }
    Click();
    PlayerInfo local;
    if (CopyLocal(local) && local.objective != wanted) {
        local.objective = wanted;
        Publish(local);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Network events (delivered on the main thread at the start of Run)

void PaysGovState::LeaveSession(bool lost) {
    const DirectPlay* network = Network();
    listCursor = (network ? network->PlayerCount() : 0) + 2;
    // A fade already under way (start or back) keeps its course; it now ends in the browser.
    if (!leaving)
        Fade(screen, true);
    leaving = true;
    backToBrowser = true;
    if (lost)
        disconnected = true;
    Refuse();
}

void PaysGovState::OnPlayerLost(const std::string&) {
    LeaveSession(true);
}

void PaysGovState::OnSessionTerminated() {
    LeaveSession(false);
}

void PaysGovState::OnPlayerJoined(const std::string&) {
    DirectPlay* network = Network();
    if (resuming && network && network->IsHost())
        network->SendSeating(savedSeats);
}
void PaysGovState::OnPlayerRemoved(const std::string&) {}
void PaysGovState::OnTextMessage(int32_t senderId, const std::string& text, int32_t) {
    chat.Receive(Network(), senderId, text);
}
void PaysGovState::OnTerritories(int32_t, const TerritoryTable&) {}
void PaysGovState::OnValueMessage(int32_t, int32_t) {}
void PaysGovState::OnByteMessage(int32_t, uint8_t) {}

// ---------------------------------------------------------------------------------------------
// Drawing

void PaysGovState::TakeSnapshot() {
    TakeTable();
    MarkSharedNations();
}

void PaysGovState::TakeTable() {
    rowCount = 0;
    localId = 0;
    hostId = 0;
    host = false;
    allReady = false;
    hostKnown = false;
    const DirectPlay* network = Network();
    if (!network)
        return;
    localId = network->LocalPlayerId();
    hostId = network->HostPlayerId();
    host = network->IsHost();
    allReady = network->AllReady();
    while (rowCount < kMaxRows && network->CopyPlayerAt(static_cast<uint8_t>(rowCount),
                                                        rows[static_cast<size_t>(rowCount)])) {
        ++rowCount;
    }
    PlayerInfo hostRecord;
    hostKnown = network->CopyPlayer(hostId, hostRecord);
    hostObjective = hostRecord.objective;
    hostClock = PhaseClockChoice(hostRecord);
    const uint32_t address = host ? network->PublicAddress() : 0;
    if (address != publicAddress) {
        publicAddress = address;
        char text[48] = "";
        if (address != 0) {
            std::snprintf(text, sizeof text, "Adresse publique : %u.%u.%u.%u", address >> 24,
                          (address >> 16) & 255, (address >> 8) & 255, address & 255);
        }
        publicAddressText = text;
    }
}

void PaysGovState::MarkSharedNations() {
    const std::span<const PlayerInfo> table(rows.data(), static_cast<size_t>(rowCount));
    sharedNations = SharedNations(table, false);
    readySharedNations = SharedNations(table, true);
    for (int index = 0; index < kMaxRows; ++index) {
        const int nation = rows[static_cast<size_t>(index)].nation;
        clashRows[static_cast<size_t>(index)] =
            index < rowCount && ValidNation(nation) && ((sharedNations >> nation) & 1u) != 0;
    }
}

void PaysGovState::DrawFrame() {
    TakeSnapshot();
    screen->FadeDone();
    screen->BeginFrame();
    Draw(background, 0, 0);
    DrawStartPanel();
    DrawObjectivePanel();
    DrawList();
    DrawNationChooser();
    DrawGovernmentChooser();
    if (disconnected) {
        Draw(miniFrame, 195, 204);
        Draw(networkIcon, 216, 219);
        screen->DrawText(257, 216, disconnectedText, kDisconnectedColour, 1, 6, 0);
    }
    chat.Draw(Network());
    screen->EndFrame(true);
}

void PaysGovState::DrawStartPanel() {
    const int n = rowCount;
    if (startPanel) {
        Draw(startPanel, 419, 344, kPanelColour);
        const int w = startPanel->GetWidth();
        const int h = startPanel->GetHeight();
        if (listCursor >= n + 1 && light) {
            const int target = (host && listCursor == n + 1) ? 1 : 31;
            highlight = SlideTowardNoOvershoot(highlight, target, FrameTime(screen));
            const int lw = light->GetWidth();
            const int lh = light->GetHeight();
            const int lx = 419 + w / 2 - lw / 2;
            const int ly = Round(highlight + 383.0f - static_cast<float>(lh / 2));
            Veil(dim, 426, 351, w - 14, ly - 351);
            Veil(dim, 426, ly + lh, w - 14, h + 351 - ly - lh - 14);
            Veil(dim, 426, ly, lx - 426, lh);
            Veil(dim, lx + lw, ly, w + 426 - lx - lw - 14, lh);
            Draw(light, lx, ly, kVeilColour);
        } else {
            Veil(dim, 426, 351, w - 14, h - 14);
        }
    }
    if (host) {
        const bool active = listCursor == n + 1;
        // Green only when the start would go through.
        const bool startable = allReady && readySharedNations == 0;
        const uint32_t colour =
            startable ? (active ? kActiveGreen : kFadedGreen) : (active ? kActiveRed : kFadedRed);
        screen->DrawText(516, 368, startText, colour, 1, 2, 1);
    }
    screen->DrawText(516, 403, backText, listCursor == n + 2 ? kActiveGreen : kFadedGreen, 1, 2, 1);
    // A saved game taken up again says from which year, under the way out.
    if (resuming)
        screen->DrawText(516, 433, resumeText, kActiveGreen, 1, 0, 1);
}

void PaysGovState::DrawObjectivePanel() {
    if (objectivePanel) {
        Draw(objectivePanel, 32, 344, kPanelColour);
        Veil(dim, 39, 351, objectivePanel->GetWidth() - 14, objectivePanel->GetHeight() - 14);
    }
    screen->DrawText(100, 353, objectiveTitle, kActiveGreen, 0, 3, 1);
    if (!hostKnown)
        return;
    if (hostObjective == kObjectiveWorld) {
        Draw(conquestIcon, 66, 385, kPanelColour);
        screen->DrawText(111, 385, worldText, kActiveGreen, 0, 2, 0);
        Draw(spyIcon, 66, 414, kFadedRedTint);
        screen->DrawText(111, 414, customText, kFadedGreen, 0, 1, 0);
    } else if (hostObjective == kObjectiveCustom) {
        Draw(conquestIcon, 66, 385, kFadedRedTint);
        screen->DrawText(111, 385, worldText, kFadedGreen, 0, 1, 0);
        Draw(spyIcon, 66, 414, kPanelColour);
        screen->DrawText(111, 414, customText, kActiveGreen, 0, 2, 0);
    }
    screen->DrawText(111, kClockLineY, PhaseClockName(hostClock),
                     hostClock != 0 ? kActiveGreen : kFadedGreen, 0, 0, 0);
}

const std::string& PaysGovState::LatencyText(int row, int32_t latency) {
    std::string& text = latencyTexts[static_cast<size_t>(row)];
    if (latencyShown[static_cast<size_t>(row)] != latency) {
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "%d ms", latency);
        text.assign(buffer);
        latencyShown[static_cast<size_t>(row)] = latency;
    }
    return text;
}

void PaysGovState::DrawList() {
    static constexpr int kTitleX[5] = {46, 180, 280, 443, 585};
    for (size_t i = 0; i < columnTitles.size(); ++i) {
        screen->DrawText(kTitleX[i], 27, columnTitles[i], kLabelGreen, 0, 1, i == 4 ? 2 : 0);
    }
    Draw(bar, 31, 56);

    // Backgrounds and the selectors first: the selectors sit on the first row's cells, whoever
    // is first, and must not cover that row's texts.
    bool localShown = false;
    for (int index = 0; index < rowCount; ++index) {
        const PlayerInfo& record = rows[static_cast<size_t>(index)];
        const int y = (index + 1) * 30 + 33;
        Draw(rowPlain, 36, y, kVeilColour);
        if (index == selectedRow)
            Draw(rowTinted, 36, y - 1, NationColour(record.nation) & 0x7FFFFFFF);
        localShown = localShown || record.playerId == localId;
    }
    if (sharedNations != 0) {
        // One more band under the rows says why they are marked; eight rows still leave it room
        // above the panels.
        const int y = (rowCount + 1) * 30 + 33;
        Draw(rowPlain, 36, y, kVeilColour);
        screen->DrawText(40, y, clashHint, kClashHintRed, 1, 1, 0);
    }
    const int bandsUnder = rowCount + (sharedNations != 0 ? 1 : 0);
    if (host && rowCount < kMaxRows) {
        // The host's way to fill the table: one more band, under the clash line if any.
        const int y = (bandsUnder + 1) * 30 + 33;
        Draw(rowPlain, 36, y, kVeilColour);
        screen->DrawText(40, y, addComputerHint, kActiveGreen, 1, 1, 0);
    }
    if (!publicAddressText.empty()) {
        // At the right of the host's band; with a full table, on a band of its own, or at the
        // right of the clash line when eight rows and that line leave no room for another.
        int bands = bandsUnder + 1;
        if (rowCount >= kMaxRows) {
            bands = bandsUnder + 1 <= kMaxRows + 1 ? bandsUnder + 1 : bandsUnder;
            if (bands > bandsUnder)
                Draw(rowPlain, 36, bands * 30 + 33, kVeilColour);
        }
        screen->DrawText(602, bands * 30 + 33, publicAddressText, kActiveGreen, 1, 1, 2);
    }
    if (localShown) {
        Draw(buttons, 176, 63, listCursor == 0 ? kPanelColour : kVeilColour);
        Draw(buttons, 276, 63, listCursor == 1 ? kPanelColour : kVeilColour, 1.5f, 1.0f);
    }

    const DirectPlay* network = Network();
    for (int index = 0; index < rowCount; ++index) {
        const PlayerInfo& record = rows[static_cast<size_t>(index)];
        const int r = index + 1;
        const int y = r * 30 + 33;
        const int nation = record.nation;
        const int government = record.government;
        const bool known = ValidNation(nation);
        const uint32_t c = NationColour(known ? nation : -1);
        const bool local = record.playerId == localId;
        const bool selected = index == selectedRow;

        const float k = selected ? 0.75f : 0.5f;
        const bool highlighted = listCursor == r || (r == 1 && listCursor == 0);
        const bool clash = clashRows[static_cast<size_t>(index)];
        uint32_t text = highlighted ? (c & 0xCFFFFFFF) : (c & 0x7FFFFFFF);
        if (clash) {
            // The whole row in warning red, and the mark in the margin left of it.
            text = highlighted ? kActiveRed : kClashRed;
            screen->DrawText(25, y - 3, clashMark, kClashHintRed, 1, 4, 1);
        }

        // The zero byte may be missing from what a peer sent: never read past the field.
        const std::string name(record.name.data(), strnlen(record.name.data(), record.name.size()));
        screen->DrawText(40, y, name, text, 1, 1, 0);
        screen->DrawText(180, y, nationNames[known ? static_cast<size_t>(nation) : 8], text, 1, 1,
                         0);
        screen->DrawText(
            280, y,
            governmentNames[ValidGovernment(government) ? static_cast<size_t>(government) : 3],
            text, 1, 1, 0);
        Draw(record.IsReady() ? readyIcon : notReadyIcon, 450, r * 30 + 36, kPanelColour);
        if (record.playerId == hostId)
            Draw(serverIcon, 503, r * 30 + 35, kPanelColour);
        // A computer player's mark, between its government and its ready mark.
        if (record.IsComputer())
            screen->DrawText(444, y + 3, computerTag, text, 1, 0, 2);
        if (local)
            Draw(homeIcon, host ? 543 : 503, r * 30 + 35, kPanelColour);
        if (!local && network) {
            screen->DrawText(583, y, LatencyText(index, network->GetLatency(record.playerId)), text,
                             1, 1, 2);
        }
        if (known && point) {
            const platform::Point p = kMapPoints[nation];
            Draw(point,
                 Round(static_cast<float>(p.x) - static_cast<float>(point->GetWidth()) * k * 0.5f),
                 Round(static_cast<float>(p.y) - static_cast<float>(point->GetHeight()) * k * 0.5f),
                 c & (local ? 0xCFFFFFFF : 0x5FFFFFFF), k, k);
        }
        if (known && selected) {
            Draw(flags[static_cast<size_t>(nation)], 238, 359, kPanelColour, 1.32f, 1.32f);
            Draw(portraits[static_cast<size_t>(nation)], 245, 366, kPanelColour, 0.66f, 0.66f);
            if (ValidGovernment(government)) {
                Draw(emblems[static_cast<size_t>(government)], 345, 399, kPanelColour, 0.66f,
                     0.66f);
            }
        }
    }
}

void PaysGovState::DrawNationChooser() {
    const int32_t ft = FrameTime(screen);
    nationOffset = EasePanel(nationOffset, mode == FirstNation || mode == NationChange, ft);
    const float s = nationOffset;
    Draw(nationPanel, 120, Round(s + 90.0f));

    for (int i = 0; i < NationCount; ++i) {
        float& g = glow[static_cast<size_t>(i)];
        g = i == nationCursor ? std::min(g + static_cast<float>(ft) * 0.25f, 192.0f)
                              : std::max(g - static_cast<float>(ft) * 0.25f, 0.0f);
        const Image* portrait = portraits[static_cast<size_t>(i)].get();
        const Image* flag = flags[static_cast<size_t>(i)].get();
        const float px = static_cast<float>(kChooserPoints[i].x);
        const float py = static_cast<float>(kChooserPoints[i].y);
        const float t = g / 192.0f;
        const float k = 0.25f + 0.75f * t;
        const int32_t alpha = Round(g);
        const uint32_t white = (static_cast<uint32_t>(alpha) << 24) + 0xFFFFFFu;
        const float fw = flag ? static_cast<float>(flag->GetWidth()) : 0.0f;
        if (flag)
            flag->Draw(Round(354.0f - fw), Round(s + 295.0f), white, 1.32f, 1.32f, 0, 0, 0.0f);
        if (portrait && k > 0.25f) {
            const float pw = static_cast<float>(portrait->GetWidth());
            const float ph = static_cast<float>(portrait->GetHeight());
            int32_t x = Round((pw / 2.0f + 360.6f - fw - px) * t + px);
            int32_t y = Round((ph / 2.0f + 301.6f - py) * t + py);
            y = Round(static_cast<float>(y) + s);
            x = Round(static_cast<float>(x) - pw * k * 0.5f);
            y = Round(static_cast<float>(y) - ph * k * 0.5f);
            const uint32_t colour = (static_cast<uint32_t>(std::max(alpha, 128)) << 24) + 0xFFFFFFu;
            portrait->Draw(x, y, colour, k * 0.66f, k * 0.66f, 0, 0, 0.0f);
        }
    }

    std::array<bool, 8> taken{};
    for (int index = 0; index < rowCount; ++index) {
        const int nation = rows[static_cast<size_t>(index)].nation;
        if (ValidNation(nation))
            taken[static_cast<size_t>(nation)] = true;
    }
    // Nations a saved game did not have are not to be had.
    for (int i = 0; resuming && i < NationCount; ++i) {
        if (SavedGovernment(savedSeats, i) < 0)
            taken[static_cast<size_t>(i)] = true;
    }
    for (int i = 0; i < NationCount; ++i) {
        const Image* portrait = portraits[static_cast<size_t>(i)].get();
        if (!portrait)
            continue;
        const float pw = static_cast<float>(portrait->GetWidth());
        const float ph = static_cast<float>(portrait->GetHeight());
        const int32_t tx = Round(static_cast<float>(kChooserPoints[i].x) - pw * 0.125f);
        const int32_t ty = Round(
            static_cast<float>(Round(static_cast<float>(kChooserPoints[i].y) + s)) - ph * 0.125f);
        const uint32_t alpha = i == nationCursor ? 0xFF000000u : 0x7F000000u;
        const uint32_t rgb = taken[static_cast<size_t>(i)] ? 0xFF0000u : 0xFFFFFFu;
        portrait->Draw(tx, ty, alpha | rgb, 0.25f, 0.25f, 0, 0, 0.0f);
        if (i == nationCursor && thumbnailFrame) {
            const float mw = static_cast<float>(thumbnailFrame->GetWidth());
            const float mh = static_cast<float>(thumbnailFrame->GetHeight());
            thumbnailFrame->Draw(Round(static_cast<float>(tx) - (mw - pw * 0.25f) * 0.5f),
                                 Round(static_cast<float>(ty) - (mh - ph * 0.25f) * 0.5f) + 1,
                                 0xFFFFFFFF, 1.0f, 1.0f, 0, 0, 0.0f);
        }
    }
}

void PaysGovState::DrawGovernmentChooser() {
    governmentOffset = EasePanel(
        governmentOffset, mode == FirstGovernment || mode == GovernmentChange, FrameTime(screen));
    const float s = governmentOffset;
    Draw(governmentPanel, 120, Round(s + 90.0f));
    for (int i = 0; i < GovernmentCount; ++i) {
        Draw(governmentPictures[static_cast<size_t>(i)], 138,
             Round(static_cast<float>(i * 94 + 105) + s),
             i == governmentCursor ? 0xFFFFFFFF : kVeilColour, 0.37f, 0.37f);
    }
    if (!ValidGovernment(governmentCursor))
        return;
    const GovernmentTexts& texts = governmentTexts[static_cast<size_t>(governmentCursor)];
    screen->DrawText(365, Round(s + 120.0f), texts.name, kLabelGreen, 1, 4, 1);
    screen->DrawText(230, Round(s + 160.0f), descriptionLabel, kLabelGreen, 0, 1, 0);
    screen->DrawText(505, Round(s + 162.0f), texts.description, kLabelGreen, 0, 0, 2);
    const std::string* values[5] = {&texts.army, &texts.boat, &texts.espionage, &texts.revenue,
                                    &texts.counterEspionage};
    for (int i = 0; i < 5; ++i) {
        const int32_t y = Round(s + static_cast<float>(220 + 26 * i));
        screen->DrawText(230, y, labels[static_cast<size_t>(i)], kLabelGreen, 0, 1, 0);
        screen->DrawText(505, y, *values[i], kLabelGreen, 0, 1, 2);
    }
    screen->DrawText(505, Round(s + 350.0f), texts.abilities, kLabelGreen, 0, 1, 2);
}

}  // namespace torvane
