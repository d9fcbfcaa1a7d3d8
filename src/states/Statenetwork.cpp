// The network game browser: create a game, search the network or an address, join a found game.
#include "states/Statenetwork.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

#include "campaign/Campaign.h"
#include "campaign/Savedgame.h"
#include "game/Game.h"
#include "input/Directinput.h"
#include "network/Directplay.h"
#include "platform/SaveStore.h"
#include "states/Animation.h"
#include "states/Frontend.h"

namespace torvane {
namespace {

// The menu's items, in order; "- reprendre -" is shown only while saved games exist.
constexpr const char* kMenuItems[5] = {
    "- cr\xE9"
    "er -",
    nullptr, "- rafraichir -", "- reprendre -", "- retour -"};
// Where the items sit below the frame's top, their fonts, where the light band rests on each
// and the mouse bands that pick them: four items, or five with "- reprendre -".
struct MenuLayout {
    int count;
    int itemOffset[5];
    int itemFont[5];
    int lightTarget[5];
    float bandTop[5];
    float bandBottom[5];
};
constexpr MenuLayout kFourItems = {4,
                                   {43, 84, 125, 166, 0},
                                   {3, 2, 3, 3, 0},
                                   {43, 80, 124, 165, 0},
                                   {40.0f, 80.0f, 120.0f, 160.0f, 0.0f},
                                   {80.0f, 120.0f, 160.0f, 200.0f, 0.0f}};
constexpr MenuLayout kFiveItems = {5,
                                   {36, 70, 103, 136, 169},
                                   {3, 2, 3, 3, 3},
                                   {36, 67, 102, 135, 168},
                                   {34.0f, 67.0f, 100.0f, 133.0f, 166.0f},
                                   {67.0f, 100.0f, 133.0f, 166.0f, 200.0f}};
constexpr int kListItem = NetworkState::kListHighlight;

const MenuLayout& LayoutFor(int count) {
    return count == 5 ? kFiveItems : kFourItems;
}

// "09/12/2026" and "21:04", local time.
void FormatDate(int64_t seconds, std::string& date, std::string& time) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    char text[32];
    if (!localtime_r(&t, &local)) {
        date.clear();
        time.clear();
        return;
    }
    std::strftime(text, sizeof text, "%d/%m/%Y", &local);
    date = text;
    std::strftime(text, sizeof text, "%H:%M", &local);
    time = text;
}
constexpr uint32_t kOtherVersion = 0x9F31;  // subtracted from the text colour
constexpr uint32_t kSameVersion = 0x1C42;   // added to the text colour

// A typed address is 15 characters; leading zeros make it longer, never usefully this long. A
// hand-edited setting may fill the whole settings file; only its start can be worth keeping.
constexpr size_t kStoredAddressLimit = 64;

}  // namespace

// Repaired whole before the first frame: the per-frame entry would otherwise go on shortening it
// with a click and the highlight on the address item every frame.
std::string StoredConnectAddress() {
    const std::string stored = GetStringSetting("ConnectIP", "192.168.0.1");
    return RepairAddress(std::string_view(stored).substr(0, kStoredAddressLimit));
}

NetworkState::NetworkState(DirectScreen* screen, DirectAudio* audio, DirectInput* input,
                           std::unique_ptr<DirectPlay>* networkSlot)
    : networkSlot(networkSlot), input(input), audio(audio), screen(screen) {
    itemColour.fill(0x7F102D19);
    address = StoredConnectAddress();
    background = Load(screen, kBackgroundPath);
    partyFrame = Load(screen, kMiniFramePath);
    frame = Load(screen, "..\\Ressources\\Graphics\\Fond\\Cadre.png", 0xFFBD9C53);
    networkIcon = Load(screen, "..\\Ressources\\Graphics\\Icones\\Network.png", 0xFF8C7B52);
    dim = Load(screen, kDimPath);
    light = Load(screen, kLightPath);
    hitSound = LoadEffect(audio, kHitPath);
    fillInSound = LoadEffect(audio, kFillInPath);
    fillOutSound = LoadEffect(audio, kFillOutPath);
    searchSound = LoadEffect(audio, kSearchPath);
    failedSound = LoadEffect(audio, kFailedPath);

    if (networkSlot) {
        networkSlot->reset();
        *networkSlot = std::make_unique<DirectPlay>(GetStringSetting("PlayerName", "Anonymous"));
    }
    RunStep(Step::Search, "");
    LoadSaves();

    closing = false;
    frameTop = -300.0f;
    itemColour.fill(0x7F102D19);
    RefreshTexts();
    Play(audio, fillInSound.get());
}

// The engine belongs to the driver's slot from now on.
NetworkState::~NetworkState() = default;

DirectPlay* NetworkState::Network() const {
    return networkSlot ? networkSlot->get() : nullptr;
}

int NetworkState::PartyCount() const {
    return Network() ? Network()->PartyCount() : 0;
}

int32_t NetworkState::ItemAt(int32_t slot) const {
    if (ItemCount() == 4 && slot == 3)
        return BackItem;
    return slot;
}

int32_t NetworkState::SlotOf(int32_t item) const {
    if (ItemCount() == 4 && item == BackItem)
        return 3;
    return item;
}

// Read once when the browser opens: the files are small, and untrusted like the network.
void NetworkState::LoadSaves() {
    saveTexts.clear();
    const platform::SaveStore store;
    for (const platform::SaveEntry& entry : store.List()) {
        SaveTexts texts;
        texts.gameId = entry.gameId;
        FormatDate(entry.modified, texts.date, texts.time);
        auto game = std::make_shared<SavedGame>();
        std::string error = entry.error;
        if (error.empty() && DecodeSavedGame(entry.bytes, *game, &error) &&
            game->gameId == entry.gameId) {
            texts.title = std::string(game->hostName.data(),
                                      strnlen(game->hostName.data(), game->hostName.size()));
            const int nations = std::popcount(SavedNations(*game));
            texts.summary = std::to_string(SavedYearOf(*game)) + " - " + std::to_string(nations) +
                            (nations > 1 ? " nations" : " nation");
            for (int nation = 0; nation < NationCount; ++nation) {
                const SavedNation& saved = game->nations[static_cast<size_t>(nation)];
                if (saved.government < 0)
                    continue;
                std::string& line = texts.nations[static_cast<size_t>(nation)];
                line = NationName(nation);
                line += " : ";
                line.append(saved.name.data(), strnlen(saved.name.data(), saved.name.size()));
                if (saved.computer)
                    line += " (ordi)";
            }
            FormatDate(game->savedAt, texts.date, texts.time);
            texts.game = std::move(game);
        } else {
            if (error.empty())
                error = "ce n'est pas cette partie";
            std::fprintf(stderr, "torvane: %s : %s\n", entry.path.c_str(), error.c_str());
            texts.title = "Illisible";
            texts.summary = "fichier endommag\xE9";
        }
        saveTexts.push_back(std::move(texts));
    }
    selectedSave = 0;
    if (highlight != kListItem)
        highlight = WrapHighlight(highlight, ItemCount());
}

void NetworkState::ShowSaves(bool shown) {
    if (shown && saveTexts.empty()) {
        Play(audio, failedSound.get());
        return;
    }
    Play(audio, hitSound.get());
    showingSaves = shown;
    if (shown) {
        highlight = kListItem;
        if (selectedSave >= SaveCount())
            selectedSave = 0;
    } else {
        highlight = SlotOf(ResumeItem);
    }
}

// The saved games' list: Up and Down choose, Return hosts the chosen game again, Escape, F6 or
// an arrow across goes back to the menu.
void NetworkState::HandleSavesInput() {
    if (input->KeyPressed(key::Escape) || input->KeyPressed(key::F6) ||
        input->KeyPressed(key::Left) || input->KeyPressed(key::Right)) {
        ShowSaves(false);
        return;
    }
    const int32_t before = selectedSave;
    if (input->KeyPressed(key::Up))
        selectedSave += 1;
    else if (input->KeyPressed(key::Down))
        selectedSave -= 1;
    const platform::Point mouse = input->CursorPosition();
    const float y = static_cast<float>(mouse.y) - frameTop;
    const bool click = input->KeyPressed(key::LeftButton);
    bool chosen = input->KeyPressed(key::Return) || input->KeyPressed(key::Space);
    if (click && mouse.x >= 59 && mouse.x <= 290) {
        if (y >= 48 && y <= 96)
            chosen = true;
        else if (y >= 118 && y <= 166)
            selectedSave += 1;
        else if (y >= -22 && y <= 26)
            selectedSave -= 1;
    } else if (click && mouse.x >= 409 && mouse.x <= 582) {
        ShowSaves(false);
        return;
    }
    if (selectedSave >= SaveCount())
        selectedSave = 0;
    if (selectedSave < 0)
        selectedSave = SaveCount() - 1;
    if (selectedSave != before)
        Play(audio, hitSound.get());
    if (!chosen)
        return;
    if (selectedSave < SaveCount() && saveTexts[static_cast<size_t>(selectedSave)].game) {
        Play(audio, hitSound.get());
        Close(true);
    } else {
        Play(audio, failedSound.get());
    }
}

// The saved games in boxes like the games found, and who played which nation in the chosen one.
void NetworkState::DrawSaves() {
    const int count = SaveCount();
    for (int i = 0; i < count; ++i) {
        const int d = std::abs(selectedSave - i);
        if (d >= 3)
            continue;
        const uint32_t frameColour = d == 0 ? 0xCFFFFFFF : d == 1 ? 0x6FFFFFFF : 0x2FFFFFFF;
        const uint32_t text = d == 0 ? itemColour[kListItem] : d == 1 ? 0x3F102D19 : 0x1F102D19;
        const float y = frameTop - 180 + 220 + static_cast<float>((selectedSave - i) * 70);
        const SaveTexts& texts = saveTexts[static_cast<size_t>(i)];
        Draw(partyFrame, Trunc(50 - shift), Trunc(y), frameColour);
        screen->DrawText(Trunc(150 - shift), Trunc(y + 8), texts.title, text, 1, 3, 1);
        screen->DrawText(Trunc(150 - shift), Trunc(y + 32), texts.summary, text + kSameVersion, 1,
                         0, 1);
        screen->DrawText(Trunc(287 - shift), Trunc(y + 13), texts.date, text + kSameVersion, 1, 0,
                         2);
        screen->DrawText(Trunc(287 - shift), Trunc(y + 30), texts.time, text + kSameVersion, 1, 0,
                         2);
    }
    if (selectedSave < 0 || selectedSave >= count)
        return;
    // Two columns at the foot of the screen, between the compass and the version: the chosen
    // game's nations and their players.
    const SaveTexts& chosen = saveTexts[static_cast<size_t>(selectedSave)];
    int line = 0;
    for (const std::string& nation : chosen.nations) {
        if (nation.empty())
            continue;
        const int32_t x = line % 2 == 0 ? 135 : 340;
        const int32_t y = Trunc(frameTop + 218 + static_cast<float>(line / 2 * 16));
        screen->DrawText(x, y, nation, itemColour[kListItem], 1, 0, 0);
        ++line;
    }
}

void NetworkState::RefreshTexts() {
    addressItem = "- @ " + address + " -";
    partyTexts.clear();
    for (int i = 0; i < PartyCount(); ++i) {
        const EnumeratedParty* party = Network()->GetParty(i);
        PartyTexts texts;
        if (party) {
            texts.players = std::to_string(party->currentPlayers) + " joueur(s) sur 8";
            texts.running = party->running;
            if (party->running) {
                texts.players = "en cours, " + std::to_string(party->year);
                std::string error;
                texts.seat = seats.Load(party->session, Network()->PlayerName(), &error);
                if (!error.empty())
                    std::fprintf(stderr, "torvane: %s\n", error.c_str());
            }
            texts.version = "v " + party->version;
            texts.latency = "(" + std::to_string(party->latency) + " ms)";
            texts.sameVersion = party->version == kGameVersion;
        }
        partyTexts.push_back(std::move(texts));
    }
}

void NetworkState::DrawWaitingBox(Step step) {
    if (!screen)
        return;
    screen->FadeDone();
    screen->BeginFrame();
    if (step == Step::Search) {
        Draw(background, 0, 0);
        DrawVersionLine(screen);
    }
    Draw(partyFrame, 195, 204);
    switch (step) {
        case Step::Create:
        case Step::Resume:
            Draw(networkIcon, 216, 222);
            screen->DrawText(257, 221,
                             "Cr\xE9"
                             "ation...",
                             kTextGreen, 1, 4, 0);
            break;
        case Step::Search:
            Draw(networkIcon, 216, 222);
            screen->DrawText(257, 221, "Recherche...", kTextGreen, 1, 4, 0);
            break;
        case Step::Join:
            Draw(networkIcon, 216, 219);
            screen->DrawText(257, 216, "Connexion...", kTextGreen, 1, 6, 0);
            break;
    }
    screen->EndFrame(true);
}

// One blocking network operation behind its waiting box; the wait is not counted as a frame.
bool NetworkState::RunStep(Step step, const std::string& hostName) {
    DrawWaitingBox(step);
    Play(audio, searchSound.get());
    bool ok = false;
    DirectPlay* network = Network();
    switch (step) {
        case Step::Create:
            ok = network && network->HostGame("");
            break;
        case Step::Resume: {
            // The saved game's id stays the game's: every player saves it again under it.
            const SaveTexts* save = selectedSave >= 0 && selectedSave < SaveCount()
                                        ? &saveTexts[static_cast<size_t>(selectedSave)]
                                        : nullptr;
            ok = save && save->game && network && network->HostGame("", save->gameId);
            if (ok)
                network->SetResumedGame(save->game);
            break;
        }
        case Step::Search:
            if (network)
                network->EnumerateGames(hostName);
            ok = true;
            break;
        case Step::Join: {
            const EnumeratedParty* party = network ? network->GetParty(selected) : nullptr;
            const PartyTexts* texts =
                selected >= 0 && selected < static_cast<int>(partyTexts.size())
                    ? &partyTexts[static_cast<size_t>(selected)]
                    : nullptr;
            if (party && party->running) {
                // Back to a running game, with the seat's token.
                ok = texts && texts->seat &&
                     network->JoinGame(party->hostAddress, texts->seat->token, texts->seat->nation);
            } else {
                ok = party && network->JoinGame(party->hostAddress);
            }
            if (!ok) {
                Play(audio, failedSound.get());
                Fade(screen, false);
            }
            break;
        }
    }
    if (screen)
        screen->ResetFrameClock();
    if (step == Step::Search)
        RefreshTexts();
    return ok;
}

int32_t NetworkState::Run() {
    if (input)
        input->Update();
    shift = PartyCount() < 1 && !showingSaves ? 176.0f : 0.0f;
    if (!closing) {
        HandleInput();
    } else if (FadeFinished(screen) && frameTop < -250.0f) {
        closing = false;
        SetStringSetting("ConnectIP", address);
        switch (highlight == kListItem ? -1 : ItemAt(highlight)) {
            case CreateItem:
                return RunStep(Step::Create, "") ? LobbyCode : NetworkBrowserCode;
            case AddressItem:
                RunStep(Step::Search, address);
                Play(audio, fillInSound.get());
                return StayCode;
            case RefreshItem:
                RunStep(Step::Search, "");
                Play(audio, fillInSound.get());
                return StayCode;
            case BackItem:
                return PlayerNameCode;
            default:
                if (showingSaves) {
                    // A failed host leaves a fresh browser, as a failed create does.
                    return RunStep(Step::Resume, "") ? LobbyCode : NetworkBrowserCode;
                }
                if (RunStep(Step::Join, ""))
                    return Network() && Network()->Rejoined() ? GameCode : LobbyCode;
                Play(audio, fillInSound.get());
                return StayCode;
        }
    }
    if (!screen)
        return StayCode;

    BeginFrontendFrame(screen, background);
    const int32_t ft = screen->GetFrameTime();
    frameTop = SlideFrame(frameTop, closing, ft);
    Draw(frame, Trunc(400 - shift), Trunc(frameTop), kFrameColour);

    // The highlighted item (or the list, as item 4) brightens; everything else dims.
    FadeHighlight(itemColour, highlight, ft);
    if (frame) {
        const int x0 = Trunc(400 - shift + 7);
        const int top = Trunc(frameTop + 7);
        const int iw = frame->GetWidth() - 14;
        const int ih = frame->GetHeight() - 14;
        if (dim && light && highlight != kListItem) {
            lightOffset = SlideTowardNoOvershoot(lightOffset,
                                                 LayoutFor(ItemCount()).lightTarget[highlight], ft);
            const int lx = Trunc(496 - shift - light->GetWidth() / 2);
            const int ly = Trunc(frameTop + lightOffset + 15 - light->GetHeight() / 2);
            DrawLightBand(dim.get(), light.get(), x0, top, iw, ih, lx, ly);
        } else if (dim) {
            dim->Draw(x0, top, 0x7FFFFFFF, static_cast<float>(iw) / dim->GetWidth(),
                      static_cast<float>(ih) / dim->GetHeight(), 0, 0, 0.0f);
        }
    }
    const int32_t itemX = Trunc(496 - shift);
    const MenuLayout& layout = LayoutFor(ItemCount());
    for (int i = 0; i < layout.count; ++i) {
        const int32_t y = Trunc(frameTop + layout.itemOffset[i]);
        const int32_t item = ItemAt(i);
        if (item == AddressItem) {
            screen->DrawText(itemX, y, addressItem, itemColour[i], 1, layout.itemFont[i], 1);
        } else {
            screen->DrawText(itemX, y, kMenuItems[item], itemColour[i], 1, layout.itemFont[i], 1);
        }
    }
    if (showingSaves) {
        DrawSaves();
        screen->EndFrame(true);
        return StayCode;
    }

    const int count = std::min(PartyCount(), static_cast<int>(partyTexts.size()));
    for (int i = 0; i < count; ++i) {
        const int d = std::abs(selected - i);
        if (d >= 3)
            continue;
        const EnumeratedParty* party = Network()->GetParty(i);
        if (!party)
            continue;
        const uint32_t frameColour = d == 0 ? 0xCFFFFFFF : d == 1 ? 0x6FFFFFFF : 0x2FFFFFFF;
        const uint32_t text = d == 0 ? itemColour[kListItem] : d == 1 ? 0x3F102D19 : 0x1F102D19;
        const float y = frameTop - 180 + 220 + static_cast<float>((selected - i) * 70);
        const PartyTexts& texts = partyTexts[static_cast<size_t>(i)];
        Draw(partyFrame, Trunc(50 - shift), Trunc(y), frameColour);
        screen->DrawText(Trunc(150 - shift), Trunc(y + 8), party->gameName, text, 1, 3, 1);
        screen->DrawText(Trunc(150 - shift), Trunc(y + 32), texts.players, text + kSameVersion, 1,
                         0, 1);
        screen->DrawText(Trunc(287 - shift), Trunc(y + 13), texts.version,
                         texts.sameVersion ? text + kSameVersion : text - kOtherVersion, 1, 0, 2);
        screen->DrawText(Trunc(287 - shift), Trunc(y + 30), texts.latency, text + kSameVersion, 1,
                         0, 2);
    }
    screen->EndFrame(true);
    return StayCode;
}

void NetworkState::Close(bool fadeToBlack) {
    if (fadeToBlack)
        Fade(screen, true);
    closing = true;
    Play(audio, fillOutSound.get());
}

void NetworkState::TryJoin() {
    const EnumeratedParty* party = Network() ? Network()->GetParty(selected) : nullptr;
    const bool seated = selected >= 0 && selected < static_cast<int>(partyTexts.size()) &&
                        (!partyTexts[static_cast<size_t>(selected)].running ||
                         partyTexts[static_cast<size_t>(selected)].seat.has_value());
    if (party && party->version == kGameVersion && seated) {
        Close(true);
    } else {
        Play(audio, failedSound.get());
    }
}

void NetworkState::HandleInput() {
    bool complete = false;
    if (input) {
        const std::string before = address;
        complete = input->EditAddress(address);
        if (address != before) {
            addressItem = "- @ " + address + " -";
            Play(audio, hitSound.get());
            highlight = 1;
        }
    }
    if (!input)
        return;
    if (showingSaves) {
        HandleSavesInput();
        return;
    }
    if (input->KeyPressed(key::F6)) {
        ShowSaves(true);
        return;
    }

    if (highlight == kListItem) {
        // Both arrows are asked, so neither stays waiting.
        const bool left = input->KeyPressed(key::Left);
        const bool right = input->KeyPressed(key::Right);
        if (left || right) {
            Play(audio, hitSound.get());
            highlight = returnItem;
        } else if (input->KeyPressed(key::Up)) {
            Play(audio, hitSound.get());
            selected += 1;
        } else if (input->KeyPressed(key::Down)) {
            Play(audio, hitSound.get());
            selected -= 1;
        } else if (input->KeyPressed(key::Return)) {
            Play(audio, hitSound.get());
            TryJoin();
            return;
        }
    } else {
        if (input->KeyPressed(key::Left) || input->KeyPressed(key::Right)) {
            Play(audio, hitSound.get());
            returnItem = highlight;
            if (PartyCount() > 0)
                highlight = kListItem;
            return;
        }
        if (input->KeyPressed(key::Up)) {
            Play(audio, hitSound.get());
            highlight -= 1;
        } else if (input->KeyPressed(key::Down)) {
            Play(audio, hitSound.get());
            highlight += 1;
        } else if (input->KeyPressed(key::Return) || input->KeyPressed(key::Space)) {
            Play(audio, hitSound.get());
            if (ItemAt(highlight) == ResumeItem)
                ShowSaves(true);
            else if (!(ItemAt(highlight) == AddressItem && !complete))
                Close(false);
            return;
        } else if (input->KeyPressed(key::F5)) {
            Play(audio, hitSound.get());
            highlight = SlotOf(RefreshItem);
            Close(false);
            return;
        } else if (input->KeyPressed(key::Escape)) {
            Play(audio, hitSound.get());
            highlight = SlotOf(BackItem);
            Close(false);
            return;
        }
        highlight = WrapHighlight(highlight, ItemCount());
    }

    const int32_t rememberedHighlight = highlight;
    const int32_t rememberedSelected = selected;
    const platform::Point mouse = input->CursorPosition();
    const float y = static_cast<float>(mouse.y) - frameTop;
    if (mouse.x >= 409 - shift && mouse.x <= 582 - shift) {
        const MenuLayout& layout = LayoutFor(ItemCount());
        for (int slot = 0; slot < layout.count; ++slot) {
            const bool inBand = (slot == 0 ? y >= layout.bandTop[0] : y > layout.bandTop[slot]) &&
                                y <= layout.bandBottom[slot];
            if (!inBand)
                continue;
            highlight = slot;
            if (input->KeyPressed(key::LeftButton)) {
                Play(audio, hitSound.get());
                const int32_t item = ItemAt(slot);
                if (item == CreateItem) {
                    Close(true);
                } else if (item == ResumeItem) {
                    ShowSaves(true);
                    return;
                } else if (item != AddressItem || complete) {
                    Close(false);
                }
            }
            break;
        }
    } else if (mouse.x >= 59 && mouse.x <= 290 && PartyCount() > 0) {
        auto takeList = [this] {
            if (highlight != kListItem) {
                returnItem = highlight;
                highlight = kListItem;
            }
        };
        if (y >= 48 && y <= 96) {
            takeList();
            if (input->KeyPressed(key::LeftButton)) {
                Play(audio, hitSound.get());
                TryJoin();
            }
        } else if (y >= 118 && y <= 166) {
            if (input->KeyPressed(key::LeftButton)) {
                takeList();
                Play(audio, hitSound.get());
                selected += 1;
            }
        } else if (y >= -22 && y <= 26) {
            if (input->KeyPressed(key::LeftButton)) {
                takeList();
                Play(audio, hitSound.get());
                selected -= 1;
            }
        }
    }
    if (highlight != rememberedHighlight || selected != rememberedSelected) {
        Play(audio, hitSound.get());
    }
    const int count = PartyCount();
    if (selected >= count)
        selected = 0;
    if (selected < 0)
        selected = count >= 2 ? count - 1 : 0;
}

}  // namespace torvane
