// The network game browser: create a game, search the network or an address, join a found game.
#include "states/Statenetwork.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "input/Directinput.h"
#include "network/Directplay.h"
#include "states/Animation.h"
#include "states/Frontend.h"

namespace torvane {
namespace {

constexpr const char* kMenuItems[4] = {
    "- cr\xE9"
    "er -",
    nullptr, "- rafraichir -", "- retour -"};
constexpr int kItemOffset[4] = {43, 84, 125, 166};
constexpr int kItemFont[4] = {3, 2, 3, 3};
constexpr int kLightTarget[4] = {43, 80, 124, 165};
// Mouse bands below the frame's top: [40..80], (80..120], (120..160], (160..200].
constexpr float kBandTop[4] = {40.0f, 80.0f, 120.0f, 160.0f};
constexpr float kBandBottom[4] = {80.0f, 120.0f, 160.0f, 200.0f};
constexpr int kListItem = 4;
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
    shift = PartyCount() < 1 ? 176.0f : 0.0f;
    if (!closing) {
        HandleInput();
    } else if (FadeFinished(screen) && frameTop < -250.0f) {
        closing = false;
        SetStringSetting("ConnectIP", address);
        switch (highlight) {
            case 0:
                return RunStep(Step::Create, "") ? LobbyCode : NetworkBrowserCode;
            case 1:
                RunStep(Step::Search, address);
                Play(audio, fillInSound.get());
                return StayCode;
            case 2:
                RunStep(Step::Search, "");
                Play(audio, fillInSound.get());
                return StayCode;
            case 3:
                return PlayerNameCode;
            default:
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
            lightOffset = SlideTowardNoOvershoot(lightOffset, kLightTarget[highlight], ft);
            const int lx = Trunc(496 - shift - light->GetWidth() / 2);
            const int ly = Trunc(frameTop + lightOffset + 15 - light->GetHeight() / 2);
            DrawLightBand(dim.get(), light.get(), x0, top, iw, ih, lx, ly);
        } else if (dim) {
            dim->Draw(x0, top, 0x7FFFFFFF, static_cast<float>(iw) / dim->GetWidth(),
                      static_cast<float>(ih) / dim->GetHeight(), 0, 0, 0.0f);
        }
    }
    const int32_t itemX = Trunc(496 - shift);
    for (int i = 0; i < 4; ++i) {
        const int32_t y = Trunc(frameTop + kItemOffset[i]);
        if (i == 1) {
            screen->DrawText(itemX, y, addressItem, itemColour[i], 1, kItemFont[i], 1);
        } else {
            screen->DrawText(itemX, y, kMenuItems[i], itemColour[i], 1, kItemFont[i], 1);
        }
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
            if (!(highlight == 1 && !complete))
                Close(false);
            return;
        } else if (input->KeyPressed(key::F5)) {
            Play(audio, hitSound.get());
            highlight = 2;
            Close(false);
            return;
        } else if (input->KeyPressed(key::Escape)) {
            Play(audio, hitSound.get());
            highlight = 3;
            Close(false);
            return;
        }
        highlight = WrapHighlight(highlight, 4);
    }

    const int32_t rememberedHighlight = highlight;
    const int32_t rememberedSelected = selected;
    const platform::Point mouse = input->CursorPosition();
    const float y = static_cast<float>(mouse.y) - frameTop;
    if (mouse.x >= 409 - shift && mouse.x <= 582 - shift) {
        for (int item = 0; item < 4; ++item) {
            const bool inBand =
                (item == 0 ? y >= kBandTop[0] : y > kBandTop[item]) && y <= kBandBottom[item];
            if (!inBand)
                continue;
            highlight = item;
            if (input->KeyPressed(key::LeftButton)) {
                Play(audio, hitSound.get());
                if (item == 0) {
                    Close(true);
                } else if (item != 1 || complete) {
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
