// The game screen's phase clock: with a time limit chosen in the lobby, every status in which the
// players act waits that long for each of them. When a player's time runs out its panels close
// and what it had drafted is sent as if it had finished; the host, a little later, resolves with
// what it has and moves everybody on.
#include <cmath>

#include "campaign/Gamerules.h"
#include "game/Stategame.h"
#include "states/Frontend.h"

namespace torvane {
namespace {

constexpr uint32_t kUrgentColour = 0xFFD02020;
// The last seconds: the clock turns red and ticks.
constexpr int32_t kUrgentSeconds = 10;

}  // namespace

float GameState::FrameSeconds() const {
    const int32_t ms = screen ? FrameTime(screen) : headlessFrameMs;
    return static_cast<float>(std::max(ms, 0)) / 1000.0f;
}

void GameState::RunPhaseClock(uint32_t status) {
    PhaseClock& clock = phaseClock;
    const uint32_t even = status & ~1u;
    if (even != clock.status) {
        // Moved on before this player was done: the host went on without its orders.
        const bool living = localNation >= 0 && localNation < NationCount &&
                            (LivingNations(held, governments) >> localNation) & 1;
        if (phaseLimit > 0 && clock.counting && !clock.readySeen && living && clock.status != 0 &&
            !gameOver) {
            ShowNotice(
                "Temps \xE9"
                "coul\xE9 :",
                "la partie a continu\xE9 sans vos ordres");
        }
        clock.status = even;
        clock.elapsed = 0.0f;
        clock.counting = phaseLimit > 0 && PlayersAct(StepOf(even));
        clock.readySeen = false;
        clock.expired = false;
        clock.shown = -1;
    }
    if ((status & 1) != 0)
        clock.readySeen = true;
    if (!clock.counting) {
        clock.shown = -1;
        return;
    }
    clock.elapsed += FrameSeconds();
    const float left = static_cast<float>(phaseLimit) - clock.elapsed;
    const auto shown = static_cast<int32_t>(std::ceil(std::max(left, 0.0f)));
    if (shown != clock.shown) {
        clock.shown = shown;
        FormatClock(shown, clock.text);
        // A tick for each of the last seconds, while this player still owes something.
        if (shown <= kUrgentSeconds && shown > 0 && (status & 1) == 0) {
            ++clock.ticks;
            Play(audio, tickSound.get());
        }
    }
    if (left <= 0.0f && !clock.expired && (status & 1) == 0) {
        clock.expired = true;
        ExpirePhase(StepOf(even));
    }
}

// Everything that still waits for this player in the status ends as if it had been closed.
void GameState::ExpirePhase(CampaignStep step) {
    if (mode == ShowingObjective)
        CloseObjectivePanel();
    if (step == CampaignStep::YearStart) {
        bannerDismissed = true;
        yearPanelClosed = true;
    }
}

// The host's clock: the players' time and the grace for their orders to arrive.
bool GameState::PhaseOverdue(uint32_t even) const {
    return phaseLimit > 0 && phaseClock.counting && phaseClock.status == even &&
           phaseClock.elapsed >= static_cast<float>(phaseLimit) + kHostClockGrace;
}

void GameState::DrawClock(int32_t x, int32_t y, int32_t align, uint32_t colour) const {
    if (!screen || phaseClock.shown < 0)
        return;
    screen->DrawText(x, y, phaseClock.text,
                     phaseClock.shown <= kUrgentSeconds ? kUrgentColour : colour, 0, 3, align);
}

}  // namespace torvane
