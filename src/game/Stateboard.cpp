// The board: the world map a campaign is played on, and the orders given on it.
#include "game/Stateboard.h"

#include <algorithm>
#include <cmath>

#include "audio/Directaudio.h"
#include "campaign/Gamerules.h"
#include "input/Directinput.h"
#include "platform/Jpeg.h"
#include "platform/MessageBox.h"
#include "platform/PictureFile.h"
#include "platform/ResourcePath.h"
#include "screen/Directscreen.h"
#include "states/Frontend.h"

namespace torvane {
namespace {

constexpr const char* kMapPath = "..\\Ressources\\Graphics\\Carte\\Monde.jpg";
constexpr const char* kMaskPath = "..\\Ressources\\Graphics\\Carte\\Territoires.png";
constexpr const char* kBarPath = "..\\Ressources\\Graphics\\Carte\\Barre.png";
constexpr const char* kPanelPath = "..\\Ressources\\Graphics\\Carte\\Panneau.png";
constexpr const char* kArrowPath = "..\\Ressources\\Graphics\\Carte\\Fleche.png";
constexpr const char* kRingPath = "..\\Ressources\\Graphics\\Carte\\Selection.png";
constexpr const char* kArmyPath = "..\\Ressources\\Graphics\\Carte\\Armee.png";
constexpr const char* kReservePath = "..\\Ressources\\Graphics\\Carte\\Reserve.png";
constexpr const char* kFortPath = "..\\Ressources\\Graphics\\Carte\\Fort.png";
constexpr const char* kImprovedPath = "..\\Ressources\\Graphics\\Carte\\Amelioration.png";
constexpr const char* kBoatPath = "..\\Ressources\\Graphics\\Carte\\Bateau.png";
constexpr const char* kCapitalPath = "..\\Ressources\\Graphics\\Carte\\Capitale.png";
constexpr uint32_t kKey = 0xFFBF0000;

constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kRed = 0xFFC02020;
constexpr uint32_t kTintAlpha = 0x60000000;
constexpr uint32_t kHatchAlpha = 0x90000000;
constexpr uint32_t kTargetColour = 0x90FFE040;
constexpr uint32_t kTakenColour = 0xA0FF3020;

// Where the panels sit.
// The top bar: its fonts, and its flags (106 x 56 pictures) drawn at 34 x 20 in one row, or at
// 26 x 13 in two rows for five players or more.
constexpr int kPhaseFont = 3;
constexpr int kTreasuryFont = 1;
constexpr int kStackedFont = 0;
constexpr int32_t kBarRight = 632;
constexpr int32_t kBarGap = 10;
constexpr int kFlagsInOneRow = 4;
constexpr int32_t kFlagSlot = 36;
constexpr int32_t kFlagWidth = 34;
constexpr int32_t kFlagHeight = 20;
constexpr int32_t kFlagTop = 10;
constexpr float kFlagScaleX = 0.32f;
constexpr float kFlagScaleY = 0.36f;
constexpr int32_t kSmallFlagSlot = 32;
constexpr int32_t kSmallFlagWidth = 26;
constexpr int32_t kSmallFlagHeight = 13;
constexpr int32_t kSmallFlagTop = 2;
constexpr int32_t kSmallFlagPitch = 16;
constexpr float kSmallFlagScaleX = 0.245f;
constexpr float kSmallFlagScaleY = 0.232f;

constexpr int32_t kPanelX = 404;
constexpr int32_t kPanelY = BoardView::kBarHeight + 8;
constexpr int32_t kPanelWidth = 230;
constexpr int32_t kPanelHeight = 330;
// Below the band under the panel's title, once the panel is stretched to its height.
constexpr int32_t kPanelContentY = kPanelY + 64;
constexpr int32_t kAmountY = kPanelContentY;
constexpr int32_t kButtonHeight = 22;
constexpr int32_t kFirstButtonY = kPanelContentY + 28;
constexpr int32_t kButtonStep = 26;
constexpr int32_t kOrderLinesY = kPanelContentY + 136;
constexpr int32_t kOrderLineHeight = 16;
constexpr size_t kShownOrderLines = 6;
constexpr int32_t kHoverX = 6;
constexpr int32_t kHoverY = 480 - 180 - 6;
constexpr int32_t kOverviewScale = 8;
constexpr int32_t kOverviewWidth = BoardView::kMapWidth / kOverviewScale;
constexpr int32_t kOverviewHeight = BoardView::kMapHeight / kOverviewScale;
constexpr int32_t kOverviewX = 640 - kOverviewWidth - 6;
constexpr int32_t kOverviewY = 480 - kOverviewHeight - 6;
constexpr int32_t kFinishX = 250;
constexpr int32_t kFinishY = 444;
constexpr int32_t kFinishWidth = 140;
constexpr int32_t kScrollSpeed = 600;  // pixels per second
constexpr int32_t kEdge = 4;
constexpr size_t kReportLines = 15;

// Keys beyond the ones the front end asks for.
constexpr int kRightButton = 2;
constexpr int kPageUp = 33;
constexpr int kPageDown = 34;
constexpr int kDelete = 46;
constexpr int kPadPlus = 107;
constexpr int kPadMinus = 109;

bool ValidNation(int nation) {
    return nation >= 0 && nation < NationCount;
}

bool Inside(const platform::Point& p, int32_t x, int32_t y, int32_t w, int32_t h) {
    return p.x >= x && p.x < x + w && p.y >= y && p.y < y + h;
}

// `over` (straight alpha) painted on the opaque `base`.
uint32_t Blend(uint32_t base, uint32_t over) {
    const uint32_t a = over >> 24;
    if (a == 0)
        return base | 0xFF000000u;
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t b = (base >> shift) & 0xFF;
        const uint32_t o = (over >> shift) & 0xFF;
        out |= ((b * (255 - a) + o * a + 127) / 255) << shift;
    }
    return out;
}

// A nation's colour as a text on parchment: the lightest ones would not read.
uint32_t ReadableColour(int nation) {
    if (!ValidNation(nation))
        return kTextGreen;
    const uint32_t colour = NationColour(nation);
    const uint32_t r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
    return r * 3 + g * 6 + b > 1800 ? kTextGreen : colour | 0xFF000000u;
}

// The army a source has left after the moves already given from it.
int32_t ArmyLeft(const CampaignState& state, const std::vector<Order>& draft, int from) {
    int32_t left = state.table[static_cast<size_t>(from)].army;
    for (const Order& order : draft) {
        if (order.kind == OrderKind::Move && order.from == from)
            left -= order.amount;
    }
    return std::max(0, left);
}

std::string TerritoryName(int index) {
    const Territory* territory = TerritoryAt(index);
    return territory ? territory->name : "";
}

}  // namespace

const char* RefusalText(Refusal why) {
    switch (why) {
        case Refusal::None:
            return "";
        case Refusal::WrongStep:
            return "Pas pendant cette phase";
        case Refusal::NoTerritory:
            return "Territoire inconnu";
        case Refusal::NotOwned:
            return "Ce territoire n'est pas \xE0 vous";
        case Refusal::NotAffordable:
            return "Tr\xE9sor insuffisant";
        case Refusal::AlreadyDone:
            return "C'est d\xE9j\xE0 fait";
        case Refusal::Capital:
            return "Impossible sur une capitale";
        case Refusal::NotCoastal:
            return "Pas d'acc\xE8s \xE0 la mer";
        case Refusal::BadAmount:
            return "Nombre impossible";
        case Refusal::NotReachable:
            return "Hors de port\xE9"
                   "e";
        case Refusal::NoBoats:
            return "Pas assez de bateaux";
        case Refusal::NotForeign:
            return "Visez un territoire d'une autre nation";
        case Refusal::NoPropaganda:
            return "Votre gouvernement ne fait pas de propagande";
        case Refusal::MissionSpent:
            return "Une seule mission par an";
        case Refusal::TooManyTroops:
            return "Trop de troupes pour la propagande";
        case Refusal::NotInGame:
            return "Vous n'avez plus de territoire";
    }
    return "";
}

BoardView::BoardView(DirectScreen* screen, DirectAudio* audio, DirectInput* input)
    : screen(screen), audio(audio), input(input) {
    // The map is kept in memory: the owners' colours are painted into a copy of it whenever
    // the state changes, so a frame draws one opaque picture instead of the map and an overlay.
    platform::PixelImage picture;
    if (screen && platform::DecodeJpegFile(platform::ResolveResource(kMapPath), picture) &&
        picture.width == kMapWidth && picture.height == kMapHeight) {
        mapPixels = std::move(picture.pixels);
    } else if (screen) {
        platform::ShowErrorBox("Impossible de charger la carte du monde.");
    }
    bar = Load(screen, kBarPath);
    panel = Load(screen, kPanelPath);
    arrow = Load(screen, kArrowPath, kKey);
    ring = Load(screen, kRingPath, kKey);
    armyIcon = Load(screen, kArmyPath, kKey);
    reserveIcon = Load(screen, kReservePath, kKey);
    fortIcon = Load(screen, kFortPath, kKey);
    improvedIcon = Load(screen, kImprovedPath, kKey);
    boatIcon = Load(screen, kBoatPath, kKey);
    capitalIcon = Load(screen, kCapitalPath, kKey);
    for (int nation = 0; nation < NationCount; ++nation)
        flags[static_cast<size_t>(nation)] = Load(screen, NationFlagPath(nation).c_str());
    selectSound = LoadEffect(audio, kHitPath);
    orderSound = LoadEffect(audio, kFillInPath);
    refuseSound = LoadEffect(audio, kFailedPath);
    battleSound = LoadEffect(audio, kFillOutPath);
    if (screen) {
        world = screen->CreateImage(kMapWidth, kMapHeight);
        highlight = screen->CreateImage(kMapWidth, kMapHeight);
    }
    ReadMask();
    ready = !mapPixels.empty() && !mask.empty() && world && highlight;
    pixels.assign(static_cast<size_t>(kMapWidth) * kMapHeight, 0);
    draft.reserve(kMaxOrders);
    checks.reserve(kMaxOrders);
    orderLines.reserve(kMaxOrders);
    reportLines.reserve(kReportLines);
    finishLabel = "Terminer";
    waitingLabel = "Attente des autres joueurs";
    readLabel = "Continuer";
    minusLabel = "-";
    plusLabel = "+";
    crossLabel = "x";
    chooseLabel = "Choisissez un territoire";
    actionLabels = {"Recruter (R)",
                    "Fortifier (F)",
                    "Am\xE9liorer (A)",
                    "Bateaux (B)",
                    "Envoyer (Entr\xE9"
                    "e)",
                    "Sabotage (S)",
                    "Vol (V)",
                    "Propagande (P)"};
    CentreOn(kMapWidth / 2, kMapHeight / 2);
}

BoardView::~BoardView() = default;

void BoardView::ReadMask() {
    platform::IndexPicture picture;
    if (!platform::ReadIndexPicture(platform::ResolveResource(kMaskPath), picture))
        return;
    if (picture.width != kMapWidth || picture.height != kMapHeight)
        return;  // a mask of another size would point at the wrong regions
    mask = std::move(picture.values);
    // Whatever is not a territory is sea.
    for (uint8_t& value : mask) {
        if (value >= TerritoryCount)
            value = kSea;
    }
}

int BoardView::TerritoryAtScreen(int32_t x, int32_t y) const {
    if (mask.empty() || y < kBarHeight || x < 0 || x >= 640 || y >= 480)
        return -1;
    const int32_t mx = x + viewX;
    const int32_t my = y - kBarHeight + viewY;
    if (mx < 0 || my < 0 || mx >= kMapWidth || my >= kMapHeight)
        return -1;
    const uint8_t value = mask[static_cast<size_t>(my) * kMapWidth + static_cast<size_t>(mx)];
    return value == kSea ? -1 : value;
}

platform::Point BoardView::ScreenOf(int territory) const {
    const Territory* place = TerritoryAt(territory);
    if (!place)
        return {-1000, -1000};
    return {place->x - viewX, place->y - viewY + kBarHeight};
}

void BoardView::CentreOn(int32_t x, int32_t y) {
    viewX = std::clamp(x - 320, 0, kMapWidth - 640);
    viewY = std::clamp(y - kViewHeight / 2, 0, kMapHeight - kViewHeight);
}

bool BoardView::IsTarget(int territory) const {
    return territory >= 0 && territory < TerritoryCount && targets[static_cast<size_t>(territory)];
}

bool BoardView::Acting() const {
    return frameInfo.interactive && frameInfo.holdsState && (frameInfo.status & 1) == 0 &&
           !finished && ValidNation(frameInfo.nation) &&
           (LivingNations(state, *frameInfo.governments) >> frameInfo.nation) & 1;
}

bool BoardView::Decide(const TurnView& view, std::vector<Order>& orders) {
    if (view.step == CampaignStep::YearStart)
        return view.yearPanelClosed;
    if (!finished || finishedStatus != view.status)
        return false;
    orders = draft;
    return true;
}

void BoardView::Drafted(const TurnView& view, std::vector<Order>& orders) {
    // Only what was drafted in that very status.
    if ((frameInfo.status & ~1u) == view.status && shownHolds)
        orders = draft;
}

void BoardView::Frame(const BoardFrame& frame) {
    const bool changed = frame.status != frameInfo.status || frame.holdsState != shownHolds ||
                         frame.state != frameInfo.state;
    const uint8_t readyBefore = frameInfo.readyNations;
    frameInfo = frame;
    if (!frameInfo.governments) {
        static const Governments kNobody{-1, -1, -1, -1, -1, -1, -1, -1};
        frameInfo.governments = &kNobody;
    }
    if (changed || (frame.holdsState && frame.state && !(state == *frame.state)))
        NewStatus(frame);
    (void)readyBefore;
    const float dt = static_cast<float>(FrameTime(screen)) / 1000.0f;
    flashTimer += dt;
    if (messageTimer > 0.0f)
        messageTimer -= dt;
    if (frame.interactive && input)
        HandleInput();
    if (!screen || !ready)
        return;
    DrawMap();
    DrawArrows();
    DrawMarkers();
    DrawBar();
    DrawOverview();
    if (frame.interactive) {
        DrawHoverPanel();
        if (Step() == CampaignStep::WarReport)
            DrawReportPanel();
        else if (TakesOrders(Step()))
            DrawOrdersPanel();
    }
}

void BoardView::NewStatus(const BoardFrame& frame) {
    const bool statusChanged = frame.status != shownStatus || frame.holdsState != shownHolds;
    shownStatus = frame.status;
    shownHolds = frame.holdsState;
    if (frame.holdsState && frame.state)
        state = *frame.state;
    if (statusChanged && (frame.status & ~1u) != (finishedStatus & ~1u)) {
        // A new status: a clean slate of orders.
        finished = false;
        draft.clear();
        selected = -1;
        target = -1;
        amount = 0;
        lastRefusal = Refusal::None;
        messageText.clear();
        UpdateCost();
        if (Step() == CampaignStep::WarReport && frame.battles && !frame.battles->battles.empty())
            Play(audio, battleSound.get());
    }
    RebuildTint();
    RebuildHighlight();
    RebuildMarkers();
    RebuildTexts();
}

void BoardView::RebuildTint() {
    if (!world || mask.empty() || mapPixels.empty())
        return;
    // A wash of the owner's colour with darker diagonal hatching, so that even the lightest
    // colours (white, yellow) read on parchment.
    std::array<uint32_t, TerritoryCount + 1> wash{};
    std::array<uint32_t, TerritoryCount + 1> hatch{};
    for (int i = 0; i < TerritoryCount; ++i) {
        const int owner = state.table[static_cast<size_t>(i)].owner;
        if (!ValidNation(owner))
            continue;
        const uint32_t colour = NationColour(owner) & 0x00FFFFFFu;
        const uint32_t dark = (colour >> 1) & 0x007F7F7Fu;
        wash[static_cast<size_t>(i)] = colour | kTintAlpha;
        hatch[static_cast<size_t>(i)] = dark | kHatchAlpha;
    }
    size_t p = 0;
    for (int32_t y = 0; y < kMapHeight; ++y) {
        for (int32_t x = 0; x < kMapWidth; ++x, ++p) {
            const uint8_t value = mask[p];
            const uint32_t over =
                value == kSea ? 0u : ((x + y) % 8 < 2 ? hatch[value] : wash[value]);
            pixels[p] = Blend(mapPixels[p], over);
        }
    }
    world->SetPixels(pixels);
}

void BoardView::RebuildHighlight() {
    targets.fill(false);
    const CampaignStep step = Step();
    if (step == CampaignStep::Moves && selected >= 0) {
        for (int to = 0; to < TerritoryCount; ++to) {
            const Order probe{OrderKind::Move, static_cast<uint8_t>(selected),
                              static_cast<uint8_t>(to), 1};
            checks = CheckOrders(state, *frameInfo.governments, frameInfo.nation, step,
                                 std::span<const Order>(&probe, 1));
            targets[static_cast<size_t>(to)] = to != selected && checks[0] == Refusal::None;
        }
    }
    if (!highlight || mask.empty())
        return;
    std::array<uint32_t, TerritoryCount + 1> colours{};
    for (int i = 0; i < TerritoryCount; ++i) {
        if (targets[static_cast<size_t>(i)])
            colours[static_cast<size_t>(i)] = kTargetColour;
    }
    if (step == CampaignStep::WarReport && frameInfo.battles) {
        for (const Battle& battle : frameInfo.battles->battles) {
            if (battle.taken && battle.territory < TerritoryCount)
                colours[battle.territory] = kTakenColour;
        }
    }
    highlightLit = std::any_of(colours.begin(), colours.end(), [](uint32_t c) { return c != 0; });
    if (!highlightLit)
        return;  // nothing lit: the layer is not drawn
    for (size_t p = 0; p < mask.size(); ++p) {
        const uint8_t value = mask[p];
        pixels[p] = value == kSea ? 0u : colours[value];
    }
    highlight->SetPixels(pixels);
}

void BoardView::RebuildMarkers() {
    for (int i = 0; i < TerritoryCount; ++i) {
        const TerritoryInfo& entry = state.table[static_cast<size_t>(i)];
        std::string& text = armyTexts[static_cast<size_t>(i)];
        text = std::to_string(entry.army);
        if (entry.reserve > 0) {
            text += '+';
            text += std::to_string(entry.reserve);
        }
    }
}

void BoardView::RebuildTexts() {
    const uint32_t status = frameInfo.status;
    phaseText.clear();
    if (StepOf(status) != CampaignStep::None) {
        phaseText = std::to_string(YearOf(status));
        phaseText += " - ";
        phaseText += PhaseName(status);
    }
    treasuryText.clear();
    treasuryLine.clear();
    incomeLine.clear();
    if (ValidNation(frameInfo.nation)) {
        const auto nation = static_cast<size_t>(frameInfo.nation);
        treasuryLine = "Tr\xE9sor : ";
        treasuryLine += FormatAmount(state.ledger.values[Treasury][nation]);
        treasuryText = treasuryLine;
        const int32_t income = state.ledger.values[Income][nation];
        if (income > 0) {
            incomeLine = "revenu ";
            incomeLine += FormatAmount(income);
            treasuryText += "  (";
            treasuryText += incomeLine;
            treasuryText += ")";
        }
    }
    if (screen) {
        phaseWidth = screen->TextWidth(kPhaseFont, phaseText);
        treasuryWidth = screen->TextWidth(kTreasuryFont, treasuryText);
        treasuryLineWidth = screen->TextWidth(kStackedFont, treasuryLine);
        incomeLineWidth = screen->TextWidth(kStackedFont, incomeLine);
        if (clockWidth == 0) {
            // Digits need not all be as wide: the clock keeps room for its widest reading.
            std::string reading = "0:00";
            for (char d = '0'; d <= '9'; ++d) {
                reading[0] = reading[2] = reading[3] = d;
                clockWidth = std::max(clockWidth, screen->TextWidth(kPhaseFont, reading));
            }
            markWidth = screen->TextWidth(0, computerMark);
        }
    }
    LayOutBar();
    // Each battle is drawn from the attacker's territory nearest to it.
    battleSources.clear();
    if (frameInfo.battles) {
        for (const Battle& battle : frameInfo.battles->battles) {
            const Territory* place = TerritoryAt(battle.territory);
            int from = -1;
            int64_t best = 0;
            for (int i = 0; place && i < TerritoryCount; ++i) {
                const Territory* other = TerritoryAt(i);
                if (i == battle.territory ||
                    state.table[static_cast<size_t>(i)].owner != battle.attacker)
                    continue;
                const int64_t dx = other->x - place->x;
                const int64_t dy = other->y - place->y;
                if (from < 0 || dx * dx + dy * dy < best) {
                    from = i;
                    best = dx * dx + dy * dy;
                }
            }
            battleSources.push_back(from);
        }
    }
    priceText.clear();
    if (const Government* government = GovernmentAt(
            ValidNation(frameInfo.nation) ? (*frameInfo.governments)[frameInfo.nation] : -1)) {
        priceText = "Prix d'une mission : " + FormatAmount(government->espionageValue);
        propaganda = government->propaganda != 0;
    }
    reportLines.clear();
    if (frameInfo.battles) {
        for (const Battle& battle : frameInfo.battles->battles) {
            std::string line = NationName(battle.attacker);
            line += battle.taken ? " prend "
                                 : " \xE9"
                                   "choue sur ";
            line += TerritoryName(battle.territory);
            if (battle.defender >= 0) {
                line += battle.taken ? " \xE0 " : " (";
                line += NationName(battle.defender);
                if (!battle.taken)
                    line += ")";
            }
            reportLines.push_back(std::move(line));
            if (reportLines.size() >= kReportLines)
                break;
        }
        if (reportLines.empty())
            reportLines.push_back(
                "Aucune bataille cette ann\xE9"
                "e");
    }
    hoverShown = -2;
    UpdateCost();
}

int64_t BoardView::PriceOf(const Order& order) const {
    const Government* government = GovernmentAt(
        ValidNation(frameInfo.nation) ? (*frameInfo.governments)[frameInfo.nation] : -1);
    return government ? OrderPrice(order, state.table, *government) : 0;
}

void BoardView::UpdateCost() {
    draftCost = 0;
    for (const Order& order : draft)
        draftCost += PriceOf(order);
    costText.clear();
    orderLines.clear();
    if (!ValidNation(frameInfo.nation))
        return;
    costText = "Co\xFBt : ";
    costText += FormatAmount(static_cast<int32_t>(std::min<int64_t>(draftCost, INT32_MAX)));
    costText += " / ";
    costText += FormatAmount(state.ledger.values[Treasury][frameInfo.nation]);
    for (const Order& order : draft) {
        std::string line;
        switch (order.kind) {
            case OrderKind::Recruit:
                line = std::to_string(order.amount) + " recrues : ";
                break;
            case OrderKind::Fortify:
                line = "Fortifier : ";
                break;
            case OrderKind::Improve:
                line = "Am\xE9liorer : ";
                break;
            case OrderKind::Boats:
                line = std::to_string(order.amount) + " bateaux : ";
                break;
            case OrderKind::Move:
                line = std::to_string(order.amount) + " : " + TerritoryName(order.from) + " > ";
                line += TerritoryName(order.to);
                orderLines.push_back(std::move(line));
                continue;
            case OrderKind::Spy: {
                static const char* kMissions[] = {"Sabotage", "Vol", "Propagande"};
                line = kMissions[std::clamp(order.amount, 0, 2)];
                line += " : ";
                line += TerritoryName(order.to);
                orderLines.push_back(std::move(line));
                continue;
            }
        }
        line += TerritoryName(order.from);
        orderLines.push_back(std::move(line));
    }
}

void BoardView::Refuse(Refusal why) {
    lastRefusal = why;
    messageText = RefusalText(why);
    messageTimer = 3.0f;
    Play(audio, refuseSound.get());
}

// Adds the order that `action` makes of the selection, if the rules take it after the draft.
bool BoardView::Give(Action action) {
    const CampaignStep step = Step();
    Order order;
    switch (action) {
        case Action::Recruit:
            order = {OrderKind::Recruit, static_cast<uint8_t>(selected), 0, amount};
            break;
        case Action::Fortify:
            order = {OrderKind::Fortify, static_cast<uint8_t>(selected), 0, 0};
            break;
        case Action::Improve:
            order = {OrderKind::Improve, static_cast<uint8_t>(selected), 0, 0};
            break;
        case Action::Boats:
            order = {OrderKind::Boats, static_cast<uint8_t>(selected), 0, amount};
            break;
        case Action::Move:
            order = {OrderKind::Move, static_cast<uint8_t>(selected), static_cast<uint8_t>(target),
                     amount};
            break;
        case Action::Sabotage:
        case Action::Theft:
        case Action::Propaganda:
            order = {OrderKind::Spy, 0, static_cast<uint8_t>(selected),
                     static_cast<int32_t>(action) - static_cast<int32_t>(Action::Sabotage)};
            break;
    }
    if (selected < 0 || (action == Action::Move && target < 0))
        return false;
    if (draft.size() >= kMaxOrders) {
        Refuse(Refusal::BadAmount);
        return false;
    }
    draft.push_back(order);
    checks = CheckOrders(state, *frameInfo.governments, frameInfo.nation, step, draft);
    if (checks.back() != Refusal::None) {
        draft.pop_back();
        Refuse(checks.back());
        return false;
    }
    lastRefusal = Refusal::None;
    messageText.clear();
    amountTyped = false;  // the next digits start a new number
    Play(audio, orderSound.get());
    UpdateCost();
    if (action == Action::Move) {
        target = -1;
        amount = ArmyLeft(state, draft, selected);
    }
    return true;
}

void BoardView::CancelOrder(size_t index) {
    if (index >= draft.size())
        return;
    draft.erase(draft.begin() + static_cast<std::ptrdiff_t>(index));
    Play(audio, selectSound.get());
    UpdateCost();
}

void BoardView::Finish() {
    finished = true;
    finishedStatus = frameInfo.status & ~1u;
    selected = -1;
    target = -1;
    Play(audio, selectSound.get());
    RebuildHighlight();
}

void BoardView::Select(int territory) {
    const CampaignStep step = Step();
    selected = territory;
    target = -1;
    amountTyped = false;
    if (territory >= 0) {
        if (step == CampaignStep::Purchases)
            amount = 10;
        else if (step == CampaignStep::Moves)
            amount = ArmyLeft(state, draft, territory);
        Play(audio, selectSound.get());
        const Territory* place = TerritoryAt(territory);
        const platform::Point at = ScreenOf(territory);
        if (place && (at.x < 40 || at.x > 600 || at.y < kBarHeight + 40 || at.y > 440))
            CentreOn(place->x, place->y);
    }
    RebuildHighlight();
}

void BoardView::ChooseTarget(int territory) {
    target = territory;
    Play(audio, selectSound.get());
}

// Tab: the next territory the step works on (own ones; another nation's for spies).
void BoardView::CycleOwned(int direction) {
    const bool foreign = Step() == CampaignStep::Spies;
    const int start = selected < 0 ? (direction > 0 ? -1 : TerritoryCount) : selected;
    for (int k = 1; k <= TerritoryCount; ++k) {
        const int i = ((start + direction * k) % TerritoryCount + TerritoryCount) % TerritoryCount;
        const int owner = state.table[static_cast<size_t>(i)].owner;
        const bool mine = owner == frameInfo.nation;
        if ((foreign && ValidNation(owner) && !mine) || (!foreign && mine)) {
            Select(i);
            return;
        }
    }
}

// Arrows with a selection: to the neighbour (or, choosing a target, the legal target) that lies
// most in the arrow's direction.
void BoardView::MoveToNeighbour(int keyCode) {
    const int from = target >= 0 ? target : selected;
    const Territory* origin = TerritoryAt(from);
    if (!origin)
        return;
    const int dx = keyCode == key::Left ? -1 : keyCode == key::Right ? 1 : 0;
    const int dy = keyCode == key::Up ? -1 : keyCode == key::Down ? 1 : 0;
    const bool choosingTarget =
        Step() == CampaignStep::Moves && selected >= 0 &&
        std::any_of(targets.begin(), targets.end(), [](bool t) { return t; });
    int best = -1;
    double bestScore = 0.0;
    auto consider = [&](int candidate) {
        const Territory* place = TerritoryAt(candidate);
        if (!place || candidate == from)
            return;
        const double vx = place->x - origin->x;
        const double vy = place->y - origin->y;
        const double length = std::sqrt(vx * vx + vy * vy);
        const double along = (vx * dx + vy * dy) / std::max(1.0, length);
        if (along <= 0.3)
            return;
        const double score = along * 1000.0 / std::max(1.0, length);
        if (best < 0 || score > bestScore) {
            best = candidate;
            bestScore = score;
        }
    };
    if (choosingTarget) {
        for (int i = 0; i < TerritoryCount; ++i) {
            if (targets[static_cast<size_t>(i)])
                consider(i);
        }
        if (best >= 0)
            ChooseTarget(best);
        return;
    }
    const NeighbourList neighbours = NeighboursOf(from);
    for (int k = 0; k < neighbours.count; ++k)
        consider(neighbours.index[static_cast<size_t>(k)]);
    if (best >= 0)
        Select(best);
}

void BoardView::HandleAmountKeys() {
    int32_t value = amount;
    for (int digit = 0; digit <= 9; ++digit) {
        if (input->KeyPressed('0' + digit) || input->KeyPressed(96 + digit)) {
            value = amountTyped ? std::min(value * 10 + digit, 99999999) : digit;
            amountTyped = true;
        }
    }
    if (input->KeyPressed(key::Backspace)) {
        value /= 10;
        amountTyped = true;
    }
    if (input->KeyPressed(kPadPlus))
        value += 1;
    if (input->KeyPressed(kPadMinus))
        value -= 1;
    if (input->KeyPressed(kPageUp))
        value += 10;
    if (input->KeyPressed(kPageDown))
        value -= 10;
    value += input->TakeWheel();
    amount = std::clamp(value, 0, 99999999);
}

void BoardView::HandleScroll(const platform::Point& pointer) {
    const int32_t step = std::max(1, kScrollSpeed * FrameTime(screen) / 1000);
    int32_t dx = 0;
    int32_t dy = 0;
    if (selected < 0) {
        if (input->KeyDown(key::Left))
            dx -= step;
        if (input->KeyDown(key::Right))
            dx += step;
        if (input->KeyDown(key::Up))
            dy -= step;
        if (input->KeyDown(key::Down))
            dy += step;
    }
    // The mouse at the edges of the picture (only inside it: a cursor outside the window does
    // not scroll).
    if (input->HasFocus() && pointer.x >= 0 && pointer.x < 640 && pointer.y >= 0 &&
        pointer.y < 480) {
        if (pointer.x < kEdge)
            dx -= step;
        if (pointer.x >= 640 - kEdge)
            dx += step;
        if (pointer.y < kEdge)
            dy -= step;
        if (pointer.y >= 480 - kEdge)
            dy += step;
    }
    // Right-drag moves the map with the pointer.
    if (input->KeyDown(kRightButton)) {
        if (!dragging) {
            dragging = true;
            dragFrom = pointer;
            dragViewX = viewX;
            dragViewY = viewY;
        }
        viewX = dragViewX - (pointer.x - dragFrom.x);
        viewY = dragViewY - (pointer.y - dragFrom.y);
    } else {
        dragging = false;
    }
    viewX = std::clamp(viewX + dx, 0, kMapWidth - 640);
    viewY = std::clamp(viewY + dy, 0, kMapHeight - kViewHeight);
}

bool BoardView::HandlePanelClick(const platform::Point& p) {
    const CampaignStep step = Step();
    // "Terminer" / "Continuer".
    if (Inside(p, kFinishX, kFinishY, kFinishWidth, 28)) {
        Finish();
        return true;
    }
    if (Inside(p, kOverviewX, kOverviewY, kOverviewWidth, kOverviewHeight)) {
        CentreOn((p.x - kOverviewX) * kOverviewScale, (p.y - kOverviewY) * kOverviewScale);
        return true;
    }
    if (!TakesOrders(step) || !Inside(p, kPanelX, kPanelY, kPanelWidth, kPanelHeight))
        return false;
    // The amount's minus and plus.
    if (Inside(p, kPanelX + 150, kAmountY - 2, 30, 20)) {
        amount = std::max(0, amount - 1);
        return true;
    }
    if (Inside(p, kPanelX + 186, kAmountY - 2, 30, 20)) {
        amount += 1;
        return true;
    }
    // The action buttons.
    static constexpr Action kPurchases[] = {Action::Recruit, Action::Fortify, Action::Improve,
                                            Action::Boats};
    static constexpr Action kMoves[] = {Action::Move};
    static constexpr Action kSpies[] = {Action::Sabotage, Action::Theft, Action::Propaganda};
    std::span<const Action> actions;
    if (step == CampaignStep::Purchases)
        actions = kPurchases;
    else if (step == CampaignStep::Moves)
        actions = kMoves;
    else
        actions = std::span<const Action>(kSpies).first(propaganda ? 3 : 2);
    for (size_t i = 0; i < actions.size(); ++i) {
        if (Inside(p, kPanelX + 10, kFirstButtonY + kButtonStep * static_cast<int32_t>(i), 210,
                   kButtonHeight)) {
            Give(actions[i]);
            return true;
        }
    }
    // An order's line: the cross at its end cancels it.
    const size_t first =
        orderLines.size() > kShownOrderLines ? orderLines.size() - kShownOrderLines : 0;
    for (size_t i = first; i < orderLines.size(); ++i) {
        const int32_t y = kOrderLinesY + kOrderLineHeight * static_cast<int32_t>(i - first);
        if (Inside(p, kPanelX + 196, y, 24, kOrderLineHeight)) {
            CancelOrder(i);
            return true;
        }
    }
    return true;  // a click on the panel never reaches the map under it
}

void BoardView::HandleInput() {
    const platform::Point pointer = input->CursorPosition();
    const int under = TerritoryAtScreen(pointer.x, pointer.y);
    hovered = under;
    HandleScroll(pointer);
    if (!Acting()) {
        // Looking is always possible; acting waits for the state and the player's turn.
        if (Step() == CampaignStep::WarReport && frameInfo.holdsState && !finished &&
            (frameInfo.status & 1) == 0 && input->KeyPressed(key::Return)) {
            Finish();
        }
        if (input->KeyPressed(key::LeftButton)) {
            if (Inside(pointer, kOverviewX, kOverviewY, kOverviewWidth, kOverviewHeight))
                HandlePanelClick(pointer);
        }
        return;
    }
    const CampaignStep step = Step();
    if (step == CampaignStep::WarReport) {
        if (input->KeyPressed(key::Return) || input->KeyPressed(key::Space) ||
            input->KeyPressed(key::Escape)) {
            Finish();
        } else if (input->KeyPressed(key::LeftButton)) {
            HandlePanelClick(pointer);
        }
        return;
    }
    if (!TakesOrders(step))
        return;
    if (input->KeyPressed(key::LeftButton)) {
        if (!HandlePanelClick(pointer) && under >= 0) {
            if (step == CampaignStep::Moves && selected >= 0 && IsTarget(under)) {
                ChooseTarget(under);
                amount = ArmyLeft(state, draft, selected);
            } else {
                Select(under);
            }
        }
    }
    if (input->KeyPressed(key::Tab))
        CycleOwned(input->KeyDown(key::Shift) ? -1 : 1);
    if (selected >= 0) {
        for (int arrowKey : {key::Left, key::Right, key::Up, key::Down}) {
            if (input->KeyPressed(arrowKey))
                MoveToNeighbour(arrowKey);
        }
        HandleAmountKeys();
    }
    if (input->KeyPressed(kDelete) && !draft.empty())
        CancelOrder(draft.size() - 1);
    if (input->KeyPressed(key::Escape)) {
        if (target >= 0)
            target = -1;
        else
            Select(-1);
    }
    if (step == CampaignStep::Purchases && selected >= 0) {
        if (input->KeyPressed('R'))
            Give(Action::Recruit);
        if (input->KeyPressed('F'))
            Give(Action::Fortify);
        if (input->KeyPressed('A'))
            Give(Action::Improve);
        if (input->KeyPressed('B'))
            Give(Action::Boats);
    }
    if (step == CampaignStep::Spies && selected >= 0) {
        if (input->KeyPressed('S'))
            Give(Action::Sabotage);
        if (input->KeyPressed('V'))
            Give(Action::Theft);
        if (input->KeyPressed('P'))
            Give(Action::Propaganda);
    }
    if (input->KeyPressed(key::Return)) {
        if (selected < 0) {
            Finish();
        } else if (step == CampaignStep::Purchases) {
            Give(Action::Recruit);
        } else if (step == CampaignStep::Moves) {
            if (target >= 0) {
                Give(Action::Move);
            } else {
                // The first legal target becomes the one the arrows move from.
                for (int i = 0; i < TerritoryCount; ++i) {
                    if (targets[static_cast<size_t>(i)]) {
                        ChooseTarget(i);
                        break;
                    }
                }
            }
        } else if (step == CampaignStep::Spies) {
            Give(Action::Sabotage);
        }
    }
}

void BoardView::DrawMap() {
    const int32_t srcY = viewY;
    world->DrawRegion(viewX, srcY, 640, kViewHeight, 0, kBarHeight);
    if (!highlightLit)
        return;
    uint32_t glow = kWhite;
    if (Step() == CampaignStep::WarReport) {
        // Taken territories flash.
        const float phase = 0.5f + 0.5f * std::sin(flashTimer * 6.0f);
        glow = (static_cast<uint32_t>(80 + 175 * phase) << 24) | 0x00FFFFFFu;
    }
    highlight->DrawRegion(viewX, srcY, 640, kViewHeight, 0, kBarHeight, glow);
}

void BoardView::DrawMarkers() {
    for (int i = 0; i < TerritoryCount; ++i) {
        const platform::Point at = ScreenOf(i);
        if (at.x < -30 || at.x > 670 || at.y < kBarHeight - 10 || at.y > 490)
            continue;
        const TerritoryInfo& entry = state.table[static_cast<size_t>(i)];
        if (i == selected && ring)
            Draw(ring, at.x - ring->GetWidth() / 2, at.y - ring->GetHeight() / 2, 0xFFFFE040);
        if (i == target && ring)
            Draw(ring, at.x - ring->GetWidth() / 2, at.y - ring->GetHeight() / 2, 0xFFFF4020);
        if (entry.wealth == kCapitalWealth)
            Draw(capitalIcon, at.x - 8, at.y - 24);
        if (entry.fortified)
            Draw(fortIcon, at.x - 24, at.y - 8);
        if (entry.improved)
            Draw(improvedIcon, at.x + 10, at.y - 8);
        if (entry.ownerOnlyA > 0)
            Draw(boatIcon, at.x + 10, at.y + 6);
        const uint32_t colour = ValidNation(entry.owner) ? kWhite : 0xFFE8DDB5;
        screen->DrawText(at.x, at.y - 6, armyTexts[static_cast<size_t>(i)], colour, 1, 0, 1);
    }
}

void BoardView::DrawArrow(int from, int to, uint32_t colour) {
    if (!arrow)
        return;
    const platform::Point a = ScreenOf(from);
    const platform::Point b = ScreenOf(to);
    const float vx = static_cast<float>(b.x - a.x);
    const float vy = static_cast<float>(b.y - a.y);
    const float length = std::sqrt(vx * vx + vy * vy);
    if (length < 1.0f)
        return;
    const float half = static_cast<float>(arrow->GetHeight() / 2);
    arrow->Draw(a.x, a.y - static_cast<int32_t>(half), colour,
                length / static_cast<float>(arrow->GetWidth()), 1.0f, 0, static_cast<int32_t>(half),
                std::atan2(vy, vx));
}

void BoardView::DrawArrows() {
    const uint32_t own = ValidNation(frameInfo.nation) ? NationColour(frameInfo.nation) : kWhite;
    for (const Order& order : draft) {
        if (order.kind != OrderKind::Move)
            continue;
        const bool attack = state.table[order.to].owner != frameInfo.nation;
        DrawArrow(order.from, order.to, attack ? kRed : own);
    }
    if (Step() == CampaignStep::WarReport && frameInfo.battles) {
        const auto& battles = frameInfo.battles->battles;
        for (size_t i = 0; i < battles.size() && i < battleSources.size(); ++i) {
            if (battleSources[i] >= 0) {
                DrawArrow(battleSources[i], battles[i].territory,
                          battles[i].taken ? NationColour(battles[i].attacker) : kRed);
            }
        }
    }
}

// The bar's parts, left to right: the year and phase, the treasury and last income, the
// phase clock, the flags. Nothing overlaps, whatever the figures and however many play: the
// treasury and income go on two smaller lines when one is too long, and five players or more
// get two rows of smaller flags.
void BoardView::LayOutBar() {
    BarLayout& bar = barLayout;
    laidOutNations = frameInfo.playingNations;
    laidOutClock = frameInfo.clockText != nullptr;
    int count = 0;
    for (int nation = 0; nation < NationCount; ++nation) {
        if ((frameInfo.playingNations >> nation) & 1 && flags[static_cast<size_t>(nation)])
            ++count;
    }
    bar.flagRows = count > kFlagsInOneRow ? 2 : 1;
    const bool small = bar.flagRows == 2;
    const int32_t slot = small ? kSmallFlagSlot : kFlagSlot;
    const int perRow = small ? (count + 1) / 2 : count;
    const int32_t flagsLeft = kBarRight - perRow * slot;
    int k = 0;
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        bar.flags[n] = {};
        bar.marks[n] = {};
        if (!((frameInfo.playingNations >> nation) & 1) || !flags[n])
            continue;
        const int row = small ? k / perRow : 0;
        const int32_t x = flagsLeft + (k % perRow) * slot;
        ++k;
        if (small) {
            const int32_t y = kSmallFlagTop + row * kSmallFlagPitch;
            bar.flags[n] = {x + (slot - kSmallFlagWidth) / 2, y, kSmallFlagWidth, kSmallFlagHeight};
            // "ordi" across the whole small flag, which still shows through.
            bar.marks[n] = {x + (slot - markWidth) / 2, y - 1, markWidth,
                            DirectScreen::FontPixelHeight(0)};
        } else {
            bar.flags[n] = {x + (slot - kFlagWidth) / 2, kFlagTop, kFlagWidth, kFlagHeight};
            bar.marks[n] = {x + (slot - kFlagWidth) / 2, kFlagTop + kFlagHeight - 5, kFlagWidth,
                            11};
        }
    }
    int32_t right = flagsLeft - kBarGap;
    bar.clock = {};
    if (laidOutClock) {
        bar.clock = {right - clockWidth, 8, clockWidth, DirectScreen::FontPixelHeight(kPhaseFont)};
        right = bar.clock.x - kBarGap;
    }
    bar.phase = {10, 8, phaseWidth, DirectScreen::FontPixelHeight(kPhaseFont)};
    const int32_t left = bar.phase.x + bar.phase.w + 24;
    bar.stacked = left + treasuryWidth > right;
    if (!bar.stacked) {
        bar.treasury = {left, 11, treasuryWidth, DirectScreen::FontPixelHeight(kTreasuryFont)};
        bar.income = {};
    } else {
        const int32_t h = DirectScreen::FontPixelHeight(kStackedFont);
        bar.treasury = {left, 1, treasuryLineWidth, h};
        bar.income = {left, 1 + h, incomeLineWidth, incomeLine.empty() ? 0 : h};
    }
}

void BoardView::DrawBar() {
    // A player joining the table, or the clock starting or stopping, moves things about.
    if (frameInfo.playingNations != laidOutNations ||
        (frameInfo.clockText != nullptr) != laidOutClock)
        LayOutBar();
    const BarLayout& layout = barLayout;
    Draw(bar, 0, 0);
    screen->DrawText(layout.phase.x, layout.phase.y, phaseText, kTextGreen, 0, kPhaseFont, 0);
    if (layout.stacked) {
        screen->DrawText(layout.treasury.x, layout.treasury.y, treasuryLine, kTextGreen, 0,
                         kStackedFont, 0);
        if (layout.income.w > 0)
            screen->DrawText(layout.income.x, layout.income.y, incomeLine, kTextGreen, 0,
                             kStackedFont, 0);
    } else {
        screen->DrawText(layout.treasury.x, layout.treasury.y, treasuryText, kTextGreen, 0,
                         kTreasuryFont, 0);
    }
    if (frameInfo.clockText) {
        screen->DrawText(layout.clock.x + layout.clock.w, layout.clock.y, *frameInfo.clockText,
                         frameInfo.clockUrgent ? kRed : kTextGreen, 0, kPhaseFont, 2);
    }
    // The players' flags: bright once ready.
    const bool small = layout.flagRows == 2;
    const float scaleX = small ? kSmallFlagScaleX : kFlagScaleX;
    const float scaleY = small ? kSmallFlagScaleY : kFlagScaleY;
    for (int nation = 0; nation < NationCount; ++nation) {
        const auto n = static_cast<size_t>(nation);
        const BarBox& box = layout.flags[n];
        if (box.w == 0 || !flags[n])
            continue;
        const bool isReady = (frameInfo.readyNations >> nation) & 1;
        Draw(flags[n], box.x, box.y, isReady ? kWhite : 0x60FFFFFF, scaleX, scaleY);
        if ((frameInfo.computerNations >> nation) & 1) {
            // A computer plays it: "ordi" across the flag, as the lobby marks its row.
            const BarBox& mark = layout.marks[n];
            if (small)
                screen->FillRect(box.x, box.y, box.w, box.h, 0x90102D19);
            else
                screen->FillRect(mark.x, mark.y, mark.w, mark.h, 0xC0102D19);
            screen->DrawText(mark.x + mark.w / 2, small ? mark.y : mark.y - 1, computerMark, kWhite,
                             0, 0, 1);
        }
    }
}

void BoardView::DrawOverview() {
    world->Draw(kOverviewX, kOverviewY, kWhite, 1.0f / kOverviewScale, 1.0f / kOverviewScale, 0, 0,
                0.0f);
    const int32_t x = kOverviewX + viewX / kOverviewScale;
    const int32_t y = kOverviewY + viewY / kOverviewScale;
    const int32_t w = 640 / kOverviewScale;
    const int32_t h = kViewHeight / kOverviewScale;
    screen->FillRect(x, y, w, 1, 0xFF102D19);
    screen->FillRect(x, y + h - 1, w, 1, 0xFF102D19);
    screen->FillRect(x, y, 1, h, 0xFF102D19);
    screen->FillRect(x + w - 1, y, 1, h, 0xFF102D19);
}

void BoardView::DrawHoverPanel() {
    if (hovered != hoverShown) {
        hoverShown = hovered;
        for (auto& line : hoverLines)
            line.clear();
        if (hovered >= 0) {
            const TerritoryInfo& entry = state.table[static_cast<size_t>(hovered)];
            hoverLines[0] = TerritoryName(hovered);
            hoverLines[1] = ValidNation(entry.owner) ? NationName(entry.owner) : "Sans ma\xEEtre";
            hoverLines[2] = entry.wealth == kCapitalWealth
                                ? std::string("Capitale")
                                : "Richesse : " + FormatAmount(entry.wealth);
            hoverLines[3] =
                "Arm\xE9"
                "e : " +
                std::to_string(entry.army);
            if (entry.reserve > 0)
                hoverLines[3] += "  (r\xE9serve " + std::to_string(entry.reserve) + ")";
            std::string marks;
            if (entry.fortified)
                marks += "Fortifi\xE9  ";
            if (entry.improved)
                marks += "Am\xE9lior\xE9  ";
            hoverLines[4] = marks;
            if (entry.ownerOnlyA > 0)
                hoverLines[5] = "Bateaux : " + std::to_string(entry.ownerOnlyA);
        }
    }
    if (hovered < 0)
        return;
    Draw(panel, kHoverX, kHoverY, kWhite);
    const TerritoryInfo& entry = state.table[static_cast<size_t>(hovered)];
    screen->DrawText(kHoverX + 12, kHoverY + 8, hoverLines[0], kTextGreen, 0, 2, 0);
    // Under the band below the name.
    screen->DrawText(kHoverX + 12, kHoverY + 40, hoverLines[1], ReadableColour(entry.owner), 0, 1,
                     0);
    for (size_t i = 2; i < hoverLines.size(); ++i)
        screen->DrawText(kHoverX + 12, kHoverY + 44 + 18 * static_cast<int32_t>(i - 1),
                         hoverLines[i], kTextGreen, 0, 1, 0);
}

void BoardView::DrawButton(int32_t x, int32_t y, int32_t width, const std::string& label,
                           bool lit) {
    screen->FillRect(x, y, width, kButtonHeight, lit ? 0xE0E8D8A8 : 0xA0C8B888);
    screen->FillRect(x, y + kButtonHeight - 1, width, 1, 0xFF102D19);
    screen->DrawText(x + width / 2, y + 2, label, kTextGreen, 0, 0, 1);
}

void BoardView::DrawOrdersPanel() {
    const CampaignStep step = Step();
    Draw(panel, kPanelX, kPanelY, kWhite, 1.0f,
         static_cast<float>(kPanelHeight) / static_cast<float>(panel ? panel->GetHeight() : 1));
    const platform::Point pointer = input ? input->CursorPosition() : platform::Point{};
    if (selected < 0)
        screen->DrawText(kPanelX + 12, kPanelY + 8, chooseLabel, kTextGreen, 0, 1, 0);
    if (selected >= 0) {
        if (amount != shownAmount) {
            // The amount's text follows the amount, rebuilt only when it changes.
            shownAmount = amount;
            amountText = "Nombre : " + std::to_string(amount);
        }
        if (selected != shownSelection) {
            shownSelection = selected;
            selectionText = TerritoryName(selected);
        }
        screen->DrawText(kPanelX + 12, kPanelY + 8, selectionText, kTextGreen, 0, 1, 0);
        if (step != CampaignStep::Spies) {
            screen->DrawText(kPanelX + 12, kAmountY, amountText, kTextGreen, 0, 1, 0);
            DrawButton(kPanelX + 150, kAmountY - 2, 30, minusLabel,
                       Inside(pointer, kPanelX + 150, kAmountY - 2, 30, 20));
            DrawButton(kPanelX + 186, kAmountY - 2, 30, plusLabel,
                       Inside(pointer, kPanelX + 186, kAmountY - 2, 30, 20));
        }
        size_t first = 0;
        size_t count = 0;
        if (step == CampaignStep::Purchases) {
            first = 0;
            count = 4;
        } else if (step == CampaignStep::Moves) {
            first = 4;
            count = 1;
        } else {
            first = 5;
            count = propaganda ? 3 : 2;
            screen->DrawText(kPanelX + 12, kAmountY, priceText, kTextGreen, 0, 0, 0);
        }
        if (step == CampaignStep::Moves && target >= 0) {
            if (target != seaShownTarget || amount != seaShownAmount) {
                // Troops that cross the sea need a boat per hundred.
                seaShownTarget = target;
                seaShownAmount = amount;
                seaText.clear();
                const NeighbourList neighbours = NeighboursOf(selected);
                const bool byLand =
                    std::find(neighbours.index.begin(), neighbours.index.begin() + neighbours.count,
                              target) != neighbours.index.begin() + neighbours.count;
                if (!byLand) {
                    const int32_t per = kCampaignRules.troopsPerBoat;
                    seaText = "Par mer : " + std::to_string((amount + per - 1) / per) +
                              " bateau(x) sur " +
                              std::to_string(state.table[static_cast<size_t>(selected)].ownerOnlyA);
                }
            }
            screen->DrawText(kPanelX + 12, kFirstButtonY + kButtonStep, seaText, kTextGreen, 0, 0,
                             0);
        }
        for (size_t i = 0; i < count; ++i) {
            const int32_t y = kFirstButtonY + kButtonStep * static_cast<int32_t>(i);
            DrawButton(kPanelX + 10, y, 210, actionLabels[first + i],
                       Inside(pointer, kPanelX + 10, y, 210, kButtonHeight));
        }
    }
    const size_t firstLine =
        orderLines.size() > kShownOrderLines ? orderLines.size() - kShownOrderLines : 0;
    for (size_t i = firstLine; i < orderLines.size(); ++i) {
        const int32_t y = kOrderLinesY + kOrderLineHeight * static_cast<int32_t>(i - firstLine);
        screen->DrawText(kPanelX + 12, y, orderLines[i], kTextGreen, 0, 0, 0);
        screen->DrawText(kPanelX + 206, y, crossLabel, kRed, 0, 0, 1);
    }
    screen->DrawText(kPanelX + 12, kPanelY + kPanelHeight - 22, costText, kTextGreen, 0, 0, 0);
    if (messageTimer > 0.0f)
        screen->DrawText(320, 420, messageText, kRed, 1, 1, 1);
    const bool waiting = !Acting();
    DrawButton(kFinishX, kFinishY, kFinishWidth, waiting ? waitingLabel : finishLabel,
               Inside(pointer, kFinishX, kFinishY, kFinishWidth, 28));
}

void BoardView::DrawReportPanel() {
    Draw(panel, kPanelX, kPanelY, kWhite, 1.0f,
         static_cast<float>(kPanelHeight) / static_cast<float>(panel ? panel->GetHeight() : 1));
    screen->DrawText(kPanelX + 12, kPanelY + 8, phaseText, kTextGreen, 0, 1, 0);
    for (size_t i = 0; i < reportLines.size(); ++i) {
        screen->DrawText(kPanelX + 12, kPanelContentY + 16 * static_cast<int32_t>(i),
                         reportLines[i], kTextGreen, 0, 0, 0);
    }
    const platform::Point pointer = input ? input->CursorPosition() : platform::Point{};
    DrawButton(kFinishX, kFinishY, kFinishWidth, Acting() || !finished ? readLabel : waitingLabel,
               Inside(pointer, kFinishX, kFinishY, kFinishWidth, 28));
}

}  // namespace torvane
