// The game screen's campaign: the flow of the year's statuses, the players' orders, the host's
// resolutions and the end of the game.
//
// Only the host resolves. In every status a player acts only once it holds the host's state for
// that status (the host sends it before it advances, but the state travels through the event
// queue while the phase is read from the players table, so the phase may be seen first). A
// player sends its orders before it becomes ready; the host resolves a status once everybody is
// ready and the orders of every nation still in the game are in.
#include <algorithm>
#include <bit>
#include <string>

#include "campaign/Gamerules.h"
#include "game/Objectif.h"
#include "game/Random.h"
#include "game/Stateboard.h"
#include "game/Stategame.h"
#include "input/Directinput.h"
#include "states/Frontend.h"

namespace torvane {
namespace {

constexpr uint32_t kOrange = 0xFFFF9F31;
constexpr uint32_t kRed = 0xFFB02020;

bool ValidNationIndex(int nation) {
    return nation >= 0 && nation < NationCount;
}

uint32_t EvenStatus(uint32_t status) {
    return status & ~1u;
}

int32_t WidthOf(const std::unique_ptr<Image>& image) {
    return image ? image->GetWidth() : 0;
}

int32_t HeightOf(const std::unique_ptr<Image>& image) {
    return image ? image->GetHeight() : 0;
}

}  // namespace

void GameState::KnowPlayers(DirectPlay& network) {
    if (playersKnown)
        return;
    playersKnown = true;
    PlayerInfo record;
    for (unsigned index = 0;
         index < 256 && network.CopyPlayerAt(static_cast<uint8_t>(index), record); ++index) {
        if (!ValidNationIndex(record.nation) || nationPlayers[record.nation] != 0)
            continue;  // a nation is played by the first player that holds it
        const auto nation = static_cast<size_t>(record.nation);
        nationPlayers[nation] = record.playerId;
        governments[nation] = record.government >= 0 && record.government < GovernmentCount
                                  ? record.government
                                  : int8_t{0};
        nationObjectives[nation] = record.objective;
        nationNames[nation] = record.Name();
        for (const auto& [id, objective] : hostCampaign.dealtObjectives) {
            if (id == record.playerId)
                nationObjectives[nation] = static_cast<int8_t>(objective);
        }
        if (record.playerId == network.LocalPlayerId())
            localNation = record.nation;
    }
    campaignHostId = network.HostPlayerId();
}

bool GameState::CampaignHostGone(const DirectPlay& network) const {
    PlayerInfo host;
    return network.HostPlayerId() != campaignHostId || !network.CopyPlayer(campaignHostId, host);
}

void GameState::PlayerGone() {
    DirectPlay* network = Network();
    if (!network) {
        Leave();
        disconnected = true;
        return;
    }
    // A lost host hands over once the session agrees on its successor (FollowHostChange).
    if (!CampaignHostGone(*network))
        HoldLostNations(*network);
}

void GameState::FollowHostChange(DirectPlay& network) {
    if (!playersKnown || gameOver)
        return;
    const int32_t host = network.HostPlayerId();
    PlayerInfo record;
    if (host == campaignHostId || host == 0 || !network.CopyPlayer(host, record))
        return;  // the same host, or still changing hands
    campaignHostId = host;
    HoldLostNations(network);  // the old host's nation goes to the computer
    if (network.IsHost())
        TakeOverCampaign(network);
    // Orders already given in this status went to the old host: the new one hears them again.
    const uint32_t status = network.LocalStatus();
    const bool living =
        ValidNationIndex(localNation) && (LivingNations(held, governments) >> localNation) & 1;
    if ((status & 1) != 0 && TakesOrders(StepOf(status)) && heldStatus == EvenStatus(status) &&
        living) {
        network.SendOrders(EvenStatus(status), localNation, draft);
    }
}

// Every player holds the host's state byte for byte, with its generator: the new host goes on
// from the status it holds, resolving only what the old one had not sent the outcome of.
void GameState::TakeOverCampaign(DirectPlay& network) {
    if (hostCampaign.started || heldStatus < 4)
        return;
    ++takeOvers;
    hostCampaign.started = true;
    hostCampaign.state = held;
    hostCampaign.resolvedStatus = heldStatus - 2;
    hostCampaign.ordersStatus = 0;
    hostCampaign.received = 0;
    for (auto& list : hostCampaign.orders)
        list.clear();
    GameGenerator().Restore(heldGenerator);
    // What the old host may not have finished sending: the state to be in, and the year's
    // table (with the end of the game) when it had just closed a year.
    network.SendState(heldStatus, held, GameGenerator().State());
    const TerritoryTable* last = history.TableAt(history.Count() - 1);
    if (StepOf(heldStatus) == CampaignStep::YearStart && YearOf(heldStatus) > 1870 &&
        (!last || !(*last == held.table))) {
        MeasureYear(network);
    }
}

void GameState::HoldLostNations(DirectPlay& network) {
    // The article each nation takes in "l'ordinateur joue ...".
    static constexpr const char* kArticles[NationCount] = {"l'",  "l'",  "la ", "les ",
                                                           "la ", "la ", "le ", "l'"};
    PlayerInfo record;
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        const int32_t id = nationPlayers[n];
        if (id == 0 || (computerNations >> nation) & 1 || network.CopyPlayer(id, record))
            continue;
        computerNations = static_cast<uint8_t>(computerNations | 1u << nation);
        const std::string first = nationNames[n] + " a quitt\xE9 la partie :";
        const std::string second =
            std::string("l'ordinateur joue ") + kArticles[n] + NationName(nation);
        lostNotice = first + "\n" + second;
        lostNoticeWidth =
            screen ? std::max(screen->TextWidth(2, first), screen->TextWidth(2, second)) : 0;
        lostNoticeLeft = 10.0f;
    }
}

void GameState::DrawLostNotice() {
    if (lostNotice.empty())
        return;
    lostNoticeLeft -= static_cast<float>(FrameTime(screen)) / 1000.0f;
    if (lostNoticeLeft <= 0.0f) {
        lostNotice.clear();
        return;
    }
    if (!screen)
        return;
    // Under the top bar, left of the orders panel, on a veil of its own so that it reads on any
    // colour of the map.
    constexpr int32_t kCentre = 200;
    screen->FillRect(kCentre - lostNoticeWidth / 2 - 10, 46, lostNoticeWidth + 20, 50, 0xB0102D19);
    screen->DrawText(kCentre, 48, lostNotice, kOrange, 1, 2, 1);
}

// Orders of another status than the host's last ones start from nothing.
void GameState::OrdersFor(uint32_t status) {
    if (hostCampaign.ordersStatus == status)
        return;
    hostCampaign.ordersStatus = status;
    hostCampaign.received = 0;
    for (auto& list : hostCampaign.orders)
        list.clear();
}

// The host's computer decides for the nations whose players left, with what any player sees.
// Orders a player sent before it left still count for that status.
void GameState::PlayStandIns(uint32_t status) {
    const CampaignStep step = StepOf(status);
    const uint8_t wanted = computerNations & LivingNations(hostCampaign.state, governments);
    if (!TakesOrders(step) || wanted == 0)
        return;
    OrdersFor(status);
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        if (!((wanted >> nation) & 1) || (hostCampaign.received >> nation) & 1)
            continue;
        if (!standIns[n]) {
            standIns[n] = std::make_unique<ComputerPlayer>(
                ComputerLevel::Medium, 0x5EA7ED00u + static_cast<uint64_t>(nation));
        }
        TurnView view;
        view.status = status;
        view.step = step;
        view.nation = static_cast<int8_t>(nation);
        view.government = governments[n];
        view.objective = nationObjectives[n];
        view.state = &hostCampaign.state;
        view.governments = &governments;
        view.history = &history;
        view.battles = reports.empty() ? nullptr : &reports.back().battles;
        view.yearPanelClosed = true;
        std::vector<Order>& orders = hostCampaign.orders[n];
        orders.clear();
        standIns[n]->Decide(view, orders);
        if (orders.size() > kMaxOrders)
            orders.resize(kMaxOrders);
        hostCampaign.received = static_cast<uint8_t>(hostCampaign.received | 1u << nation);
    }
}

void GameState::BeginCampaign(DirectPlay& network) {
    KnowPlayers(network);
    if (hostCampaign.started)
        return;
    const TerritoryTable* deal = history.TableAt(history.Count() - 1);
    if (!deal)
        return;
    hostCampaign.started = true;
    hostCampaign.state = StartCampaign(*deal, governments);
    // The first status of 1870 follows the start.
    const uint32_t first = EvenStatus(network.LocalStatus()) + 2;
    hostCampaign.resolvedStatus = EvenStatus(network.LocalStatus());
    network.SendState(first, hostCampaign.state, GameGenerator().State());
}

void GameState::OnCampaignState(int32_t, const StateMessage& message) {
    held = message.state;
    heldStatus = message.status;
    heldGenerator = message.generator;
}

void GameState::OnReport(int32_t, const PhaseReport& report) {
    const CampaignStep step = StepOf(report.status);
    YearReport& year = ReportOfYear(YearOf(report.status));
    if (step == CampaignStep::Moves) {
        year.battles = report;
    } else if (step == CampaignStep::Spies) {
        year.missions = report;
    }
}

GameState::YearReport& GameState::ReportOfYear(int32_t year) {
    if (reports.empty() || reports.back().year != year) {
        // A history holds at most one table per year: the reports never outgrow it.
        if (reports.size() >= static_cast<size_t>(DirectLog::kMaxTables))
            reports.erase(reports.begin());
        reports.push_back({});
        reports.back().year = year;
    }
    return reports.back();
}

void GameState::OnGameEnd(int32_t, uint8_t value) {
    if (gameOver || leaving)
        return;
    gameOver = true;
    winners = value;
    BuildEndTexts();
    const bool won = ValidNationIndex(localNation) && (winners >> localNation) & 1;
    Play(audio, won ? hitSound.get() : failedSound.get());
}

void GameState::OnOrders(int32_t senderId, const OrdersMessage& message) {
    DirectPlay* network = Network();
    if (network)
        FollowHostChange(*network);  // orders can reach a new host before its next frame
    if (!network || !network->IsHost() || !hostCampaign.started)
        return;
    const uint32_t status = EvenStatus(network->LocalStatus());
    const int nation = message.nation;
    // Orders count only from the player of the nation they name, for the status the host is in,
    // once.
    const bool fromItsPlayer =
        ValidNationIndex(nation) && nationPlayers[static_cast<size_t>(nation)] == senderId;
    const bool forThisStatus = message.status == status && TakesOrders(StepOf(status));
    OrdersFor(status);
    if (!fromItsPlayer || !forThisStatus || (hostCampaign.received >> nation) & 1) {
        ++hostCampaign.refusedMessages;
        return;
    }
    hostCampaign.received = static_cast<uint8_t>(hostCampaign.received | (1u << nation));
    hostCampaign.orders[static_cast<size_t>(nation)] = message.orders;
}

void GameState::RunCampaign() {
    DirectPlay* network = Network();
    if (!network)
        return;
    FollowHostChange(*network);
    if (!network->IsHost())
        network->FollowHostPhase();
    const uint32_t status = network->LocalStatus();
    const uint32_t even = EvenStatus(status);
    const CampaignStep step = StepOf(status);
    if (step == CampaignStep::None)
        return;
    if (even != currentStatus) {
        currentStatus = even;
        if (step == CampaignStep::YearStart)
            yearPanelClosed = false;
    }
    if ((status & 1) == 0 && heldStatus == even && mode == Playing) {
        TurnView view;
        view.status = even;
        view.step = step;
        view.nation = localNation;
        view.government =
            ValidNationIndex(localNation) ? governments[static_cast<size_t>(localNation)] : -1;
        view.objective =
            ValidNationIndex(localNation) ? nationObjectives[static_cast<size_t>(localNation)] : -1;
        view.state = &held;
        view.governments = &governments;
        view.history = &history;
        view.battles = reports.empty() ? nullptr : &reports.back().battles;
        view.yearPanelClosed = yearPanelClosed;
        draft.clear();
        if (Act(view, draft)) {
            const bool living = ValidNationIndex(localNation) &&
                                (LivingNations(held, governments) >> localNation) & 1;
            if (TakesOrders(step) && living) {
                if (draft.size() > kMaxOrders)
                    draft.resize(kMaxOrders);
                network->SendOrders(even, localNation, draft);
            }
            network->SetReady();
        }
    }
    if (network->IsHost())
        RunHost(*network, status);
}

bool GameState::Act(const TurnView& view, std::vector<Order>& orders) {
    // A nation without territory watches: it is ready at once.
    if (!ValidNationIndex(view.nation) ||
        !((LivingNations(*view.state, *view.governments) >> view.nation) & 1)) {
        return true;
    }
    if (!PlayersAct(view.step))
        return true;
    if (view.step == CampaignStep::Spies) {
        const Government* government = GovernmentAt(view.government);
        const int32_t treasury = view.state->ledger.values[Treasury][view.nation];
        if (!government || treasury < government->espionageValue)
            return true;  // nothing to pay a spy with
    }
    if (OrdersInterface* decider = Decider())
        return decider->Decide(view, orders);
    // The keyboard: the statistics panel ends the year's start, Return every other step.
    if (view.step == CampaignStep::YearStart)
        return view.yearPanelClosed;
    if (input && input->KeyPressed(key::Return)) {
        Play(audio, hitSound.get());
        return true;
    }
    return false;
}

OrdersInterface* GameState::Decider() const {
    if (ordersInterface)
        return ordersInterface;
    return board && board->Ready() ? board.get() : nullptr;
}

void GameState::DrawBoard(uint32_t status, bool interactive) {
    BoardFrame frame;
    frame.status = status;
    frame.holdsState = heldStatus == (status & ~1u);
    frame.state = &held;
    frame.governments = &governments;
    frame.nation = localNation;
    frame.battles = reports.empty() || reports.back().year != YearOf(status)
                        ? nullptr
                        : &reports.back().battles;
    frame.interactive = interactive;
    if (DirectPlay* network = Network()) {
        PlayerInfo record;
        for (unsigned i = 0; i < 256 && network->CopyPlayerAt(static_cast<uint8_t>(i), record);
             ++i) {
            if (record.nation < 0 || record.nation >= NationCount)
                continue;
            frame.playingNations = static_cast<uint8_t>(frame.playingNations | 1u << record.nation);
            if (record.IsReady())
                frame.readyNations = static_cast<uint8_t>(frame.readyNations | 1u << record.nation);
            if (record.IsComputer())
                frame.computerNations =
                    static_cast<uint8_t>(frame.computerNations | 1u << record.nation);
        }
    }
    // The host's computer plays the nations whose players left, and is always ready.
    frame.playingNations |= computerNations;
    frame.readyNations |= computerNations;
    frame.computerNations |= computerNations;
    board->Frame(frame);
}

void GameState::RunHost(DirectPlay& network, uint32_t status) {
    if (!hostCampaign.started || gameOver || winners != 0)
        return;
    const uint32_t even = EvenStatus(status);
    if (hostCampaign.resolvedStatus != even) {
        if (!network.AllReady())
            return;
        PlayStandIns(even);
        if (TakesOrders(StepOf(even))) {
            const uint8_t living = LivingNations(hostCampaign.state, governments);
            const uint8_t in = hostCampaign.ordersStatus == even ? hostCampaign.received : 0;
            if ((in & living) != living)
                return;  // a player's orders are still on their way
        }
        ResolveAsHost(network, even);
        if (winners != 0)
            return;  // the game is over: nobody moves on
    }
    // Advanced once resolved; a refused advance is tried again, never resolved twice.
    network.AdvancePhase();
}

void GameState::ResolveAsHost(DirectPlay& network, uint32_t status) {
    CampaignState& state = hostCampaign.state;
    const NationOrders* orders = &hostCampaign.orders;
    NationOrders none;
    if (hostCampaign.ordersStatus != status)
        orders = &none;
    const CampaignStep step = StepOf(status);
    PhaseReport report;
    bool reported = false;
    switch (step) {
        case CampaignStep::Income:
            ResolveIncome(state, governments);
            break;
        case CampaignStep::Purchases:
            report = ResolvePurchases(state, governments, *orders);
            reported = true;
            break;
        case CampaignStep::Moves:
            report = ResolveMoves(state, governments, *orders, GameGenerator());
            reported = true;
            break;
        case CampaignStep::Spies:
            report = ResolveMissions(state, governments, *orders, GameGenerator());
            reported = true;
            break;
        case CampaignStep::Review:
            CloseYear(state);
            break;
        default:
            break;
    }
    hostCampaign.resolvedStatus = status;
    if (reported) {
        report.status = status;
        network.SendReport(report);
    }
    network.SendState(status + 2, state, GameGenerator().State());
    if (step == CampaignStep::Review)
        MeasureYear(network);
}

// The year's table joins every history; the objectives are measured on it.
void GameState::MeasureYear(DirectPlay& network) {
    const CampaignState& state = hostCampaign.state;
    network.SendTerritoryTable(state.table);
    DirectLog measure;
    if (const TerritoryTable* last = history.TableAt(history.Count() - 1))
        measure.Append(*last);
    measure.Append(state.table);
    const uint8_t won = torvane::Winners(measure, state, governments, nationObjectives);
    if (won != 0) {
        winners = won;
        network.SendEnd(won);
    }
}

void GameState::DrawPhase(uint32_t status, bool ready) {
    if (!screen)
        return;
    const uint32_t even = EvenStatus(status);
    if (phaseTextStatus != even || treasuryStatus != heldStatus || phaseText.empty()) {
        phaseTextStatus = even;
        treasuryStatus = heldStatus;
        phaseText = std::to_string(YearOf(status));
        phaseText += " - ";
        phaseText += PhaseName(status);
        treasuryText.clear();
        if (ValidNationIndex(localNation)) {
            treasuryText = "Tr\xE9sor : ";
            treasuryText += FormatAmount(held.ledger.values[Treasury][localNation]);
        }
        finishHint =
            "Entr\xE9"
            "e : Terminer";
        waitingHint = "Attente des autres joueurs";
        eliminatedHint = "Vous avez perdu tous vos territoires";
    }
    Draw(miniFrame, PanelX(WidthOf(miniFrame)), 12);
    screen->DrawText(320, 12 + HeightOf(miniFrame) / 2 - 12, phaseText, kOrange, 1, 6, 1);
    screen->DrawText(320, 20 + HeightOf(miniFrame), treasuryText, kOrange, 1, 2, 1);
    const bool living =
        ValidNationIndex(localNation) && (LivingNations(held, governments) >> localNation) & 1;
    const std::string* hint = nullptr;
    if (heldStatus == even && !living) {
        hint = &eliminatedHint;
    } else if (ready || heldStatus != even) {
        hint = &waitingHint;
    } else if (PlayersAct(StepOf(status))) {
        hint = &finishHint;
    }
    if (hint)
        screen->DrawText(320, 440, *hint, kOrange, 1, 3, 1);
}

void GameState::BuildEndTexts() {
    const bool won = ValidNationIndex(localNation) && (winners >> localNation) & 1;
    endTitle = won ? "Victoire !"
                   : "D\xE9"
                     "faite";
    endLineCount = 0;
    endHeading = std::popcount(winners) > 1 ? "Les vainqueurs :" : "Le vainqueur :";
    DirectPlay* network = Network();
    for (int nation = 0; nation < NationCount; ++nation) {
        if (!((winners >> nation) & 1))
            continue;
        std::string line;
        PlayerInfo record;
        if (network && network->CopyPlayer(nationPlayers[static_cast<size_t>(nation)], record))
            line = record.Name() + " - ";
        else if (!nationNames[static_cast<size_t>(nation)].empty())
            line = nationNames[static_cast<size_t>(nation)] + " - ";  // it left the game
        line += NationName(nation);
        const Objectif* objective = ObjectiveAt(nationObjectives[static_cast<size_t>(nation)]);
        if (objective)
            line += " - " + objective->title;
        endLines[static_cast<size_t>(endLineCount++)] = std::move(line);
    }
}

void GameState::DrawEndPanel() {
    if (!screen)
        return;
    const bool won = ValidNationIndex(localNation) && (winners >> localNation) & 1;
    const std::unique_ptr<Image>& picture =
        won && victoryPanel ? victoryPanel : (!won && defeatPanel ? defeatPanel : statsPanel);
    const int32_t x0 = PanelX(WidthOf(picture));
    const int32_t y0 = CentredY(HeightOf(picture));
    Draw(picture, x0, y0);
    screen->DrawText(320, y0 + 30, endTitle, won ? kTextGreen : kRed, 2, 12, 1);
    screen->DrawText(320, y0 + 110, endHeading, kTextGreen, 0, 2, 1);
    for (int i = 0; i < endLineCount; ++i) {
        screen->DrawText(320, y0 + 140 + 24 * i, endLines[static_cast<size_t>(i)], kTextGreen, 0, 1,
                         1);
    }
    Draw(okButton, 320 - WidthOf(okButton) / 2, EndOkTop());
}

int32_t GameState::EndOkTop() const {
    const bool won = ValidNationIndex(localNation) && (winners >> localNation) & 1;
    const std::unique_ptr<Image>& picture =
        won && victoryPanel ? victoryPanel : (!won && defeatPanel ? defeatPanel : statsPanel);
    return CentredY(HeightOf(picture)) + HeightOf(picture) - 44;
}

void GameState::HandleEndInput() {
    bool close = ordersInterface && ordersInterface->CloseEnd();
    if (input) {
        const platform::Point pointer = input->CursorPosition();
        const int32_t left = 320 - WidthOf(okButton) / 2;
        const int32_t top = EndOkTop();
        const bool onOk = okButton && pointer.x >= left && pointer.x <= left + WidthOf(okButton) &&
                          pointer.y >= top && pointer.y <= top + HeightOf(okButton);
        close = close || input->KeyPressed(key::Return) || input->KeyPressed(key::Space) ||
                input->KeyPressed(key::Escape) || (onOk && input->KeyPressed(key::LeftButton));
    }
    if (close)
        Leave();
}

}  // namespace torvane
