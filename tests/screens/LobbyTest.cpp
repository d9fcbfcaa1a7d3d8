// The lobby driven headless with real engines on loopback: choices, refusals, ready marks, the
// cursor rules, the objective mode, starting together and leaving on network trouble.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "app/Statemain.h"
#include "audio/Directaudio.h"
#include "campaign/Campaign.h"
#include "campaign/Gamerules.h"
#include "campaign/Savedgame.h"
#include "game/Objectif.h"
#include "game/Stategame.h"
#include "input/Directinput.h"
#include "lobby/Statepaysgov.h"
#include "network/NetworkTestSupport.h"
#include "platform/PeerSession.h"
#include "platform/SaveStore.h"
#include "platform/ScriptedWindow.h"
#include "platform/Settings.h"
#include "screen/Directscreen.h"
#include "states/Statenetwork.h"
#include "support/AllocationCounter.h"
#include "support/Settling.h"
#include "support/TestSupport.h"

extern char** environ;

using namespace torvane;

namespace {

constexpr int kLeftButton = 1;
constexpr int kReturn = 13;
constexpr int kEscape = 27;
constexpr int kLeft = 37;
constexpr int kUp = 38;
constexpr int kRight = 39;
constexpr int kDown = 40;
constexpr int kF1 = 112;
constexpr int kF2 = 113;
constexpr int kF6 = 117;

// A sound bank that only remembers which files were played, by file name.
class NamedSample : public platform::EffectSample {
  public:
    explicit NamedSample(std::string name) : name(std::move(name)) {}
    std::string name;
};

class RecordingBank : public platform::EffectBank {
  public:
    explicit RecordingBank(std::vector<std::string>& played) : played(played) {}
    bool StartSystem() override { return true; }
    bool CreateLoader() override { return true; }
    bool CreateMixer() override { return true; }
    bool OpenOutput(void*, int) override { return true; }
    std::unique_ptr<platform::EffectSample> LoadSample(const std::string& file) override {
        return std::make_unique<NamedSample>(file.substr(file.find_last_of('/') + 1));
    }
    bool Download(platform::EffectSample&) override { return true; }
    void Unload(platform::EffectSample&) override {}
    void Play(platform::EffectSample& sample, int) override {
        played.push_back(static_cast<NamedSample&>(sample).name);
    }
    void SetVolume(int32_t) override {}
    int PlayingCount() const override { return 0; }
    std::vector<std::string>& played;
};

int Red(uint32_t c) {
    return static_cast<int>((c >> 16) & 0xFF);
}
int Green(uint32_t c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
int Blue(uint32_t c) {
    return static_cast<int>(c & 0xFF);
}

// One player at its own machine: a scripted window, the four engines and the lobby.
struct Seat {
    Seat(const std::string& name, const platform::PeerOptions& options) {
        screen = std::make_unique<DirectScreen>(&window);
        AudioBackends backends;
        backends.createEffectBank = [this] { return std::make_unique<RecordingBank>(sounds); };
        backends.createMediaPlayer = [] { return std::unique_ptr<platform::MediaPlayer>(); };
        audio = std::make_unique<DirectAudio>(&window, std::move(backends));
        input = std::make_unique<DirectInput>(&window);
        network = std::make_unique<DirectPlay>(name, options);
    }
    ~Seat() {
        lobby.reset();
        network.reset();
    }

    PlayerInfo Local() const {
        PlayerInfo record;
        if (network)
            network->CopyPlayer(network->LocalPlayerId(), record);
        return record;
    }
    // This seat's view of another seat's record.
    PlayerInfo View(const Seat& other) const {
        PlayerInfo record;
        if (network && other.network)
            network->CopyPlayer(other.network->LocalPlayerId(), record);
        return record;
    }
    bool Played(const std::string& file) const {
        return std::find(sounds.begin(), sounds.end(), file) != sounds.end();
    }
    uint32_t Pixel(int x, int y) const { return screen->PixelAt(x, y); }

    std::vector<std::string> sounds;
    platform::ScriptedWindow window;
    std::unique_ptr<DirectScreen> screen;
    std::unique_ptr<DirectAudio> audio;
    std::unique_ptr<DirectInput> input;
    std::unique_ptr<DirectPlay> network;
    std::unique_ptr<PaysGovState> lobby;
    int32_t code = 0;
    int32_t elapsed = 0;  // frame time run through this lobby
    int32_t leftAt = -1;  // `elapsed` when Run answered something else than 0
};

class LobbyTest : public testing::Test {
  protected:
    void SetUp() override {
        DirectInput::ResetClock();
        options.heartbeatMs = 100;
        options.timeoutMs = 1500;
    }

    Seat& AddSeat(const std::string& name) {
        seats.push_back(std::make_unique<Seat>(name, options));
        return *seats.back();
    }

    // A session of `count` seats, the first hosting, every lobby open.
    void MakeSession(int count) {
        ASSERT_TRUE(AddSeat("Hote").network->HostGame(""));
        for (int i = 1; i < count; ++i) {
            Seat& seat = AddSeat("Joueur" + std::to_string(i));
            const HostAddress game = nettest::FindGameOf(*seat.network, *seats[0]->network);
            ASSERT_NE(game.port, 0);
            ASSERT_TRUE(seat.network->JoinGame(game));
        }
        ASSERT_TRUE(nettest::WaitFor([&] {
            for (auto& seat : seats) {
                if (seat->network->PlayerCount() != count)
                    return false;
            }
            return true;
        }));
        for (auto& seat : seats) {
            seat->lobby = std::make_unique<PaysGovState>(seat->screen.get(), seat->audio.get(),
                                                         seat->input.get(), &seat->network);
        }
    }

    // One frame on every machine, all clocks moving together.
    void Frame(int ms = 50) {
        for (auto& seat : seats) {
            seat->window.AdvanceTime(ms);
            if (!seat->lobby || seat->code != 0)
                continue;
            seat->elapsed += ms;
            seat->code = seat->lobby->Run();
            if (seat->code != 0)
                seat->leftAt = seat->elapsed;
        }
    }

    // Runs frames (and lets the network work) until `done` holds.
    bool Until(const std::function<bool()>& done, int limitMs = 8000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            Frame();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    // Lets the fade-in from black run its course.
    void Settle() {
        for (int i = 0; i < 25; ++i)
            Frame();
    }

    void Press(Seat& seat, int key) {
        seat.window.SetKeyDown(key, true);
        Frame();
        seat.window.SetKeyDown(key, false);
        Frame();
    }
    void ClickAt(Seat& seat, int x, int y) {
        seat.window.SetCursor(x, y);
        Press(seat, kLeftButton);
    }
    void PressTimes(Seat& seat, int key, int times) {
        for (int i = 0; i < times; ++i)
            Press(seat, key);
    }

    // Every other seat sees `seat`'s record satisfy `test`.
    bool EverybodySees(const Seat& seat, const std::function<bool(const PlayerInfo&)>& test) {
        return Until([&] {
            for (auto& other : seats) {
                if (other->network && !test(other->View(seat)))
                    return false;
            }
            return true;
        });
    }

    // Takes nation `nation` (by the arrows) and government `government` from the choosers.
    void Choose(Seat& seat, int nation, int government) {
        ASSERT_EQ(seat.lobby->CurrentMode(), PaysGovState::FirstNation);
        while (seat.lobby->NationCursor() != nation)
            Press(seat, kDown);
        Press(seat, kReturn);
        ASSERT_EQ(seat.lobby->CurrentMode(), PaysGovState::FirstGovernment);
        while (seat.lobby->GovernmentCursor() != government)
            Press(seat, kRight);
        Press(seat, kReturn);
        ASSERT_EQ(seat.lobby->CurrentMode(), PaysGovState::List);
        ASSERT_TRUE(EverybodySees(seat, [&](const PlayerInfo& r) {
            return r.nation == nation && r.government == government && r.IsReady();
        }));
    }

    // Pixels of a rectangle that satisfy `test`.
    static int Count(const Seat& seat, int x0, int y0, int x1, int y1,
                     const std::function<bool(uint32_t)>& test) {
        std::vector<uint32_t> picture;
        EXPECT_TRUE(seat.screen->ReadPicture(picture));
        int count = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                if (test(picture[static_cast<size_t>(y * 640 + x)]))
                    ++count;
            }
        }
        return count;
    }

    platform::PeerOptions options = nettest::PrivateOptions();
    std::vector<std::unique_ptr<Seat>> seats;
    testsupport::ErrorBoxes errors;
};

bool RedText(uint32_t c) {
    return Red(c) > 150 && Green(c) < 90 && Blue(c) < 90;
}
bool DarkGreenText(uint32_t c) {
    return Red(c) < 70 && Green(c) < 110 && Green(c) > Red(c) + 8 && Blue(c) < 90;
}

// ---------------------------------------------------------------------------------------------

TEST_F(LobbyTest, TwoPlayersChooseBecomeReadyAndEnterTheGameTogetherAfterTheirFade) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    Seat& host = *seats[0];
    Seat& guest = *seats[1];
    Frame();
    // The nation chooser slides in from 400 pixels up; the government chooser waits.
    EXPECT_GT(host.lobby->NationOffset(), -400.0f);
    EXPECT_LT(host.lobby->NationOffset(), 0.0f);
    EXPECT_FLOAT_EQ(host.lobby->GovernmentOffset(), -400.0f);

    Press(host, kReturn);  // Irak
    EXPECT_EQ(host.lobby->CurrentMode(), PaysGovState::FirstGovernment);
    EXPECT_TRUE(host.Played("Irak.wav"));
    ASSERT_TRUE(EverybodySees(host, [](const PlayerInfo& r) { return r.nation == 0; }));

    // Irak is taken: refused, nothing changes, and its thumbnail turns red.
    Press(guest, kReturn);
    EXPECT_TRUE(guest.Played("Failed.wav"));
    EXPECT_EQ(guest.lobby->CurrentMode(), PaysGovState::FirstNation);
    EXPECT_EQ(guest.Local().nation, -1);
    ASSERT_TRUE(Until([&] { return guest.lobby->NationOffset() > -1.0f; }));
    const int offset = static_cast<int>(std::lround(guest.lobby->NationOffset()));
    const platform::Point irak = PaysGovState::ChooserPoint(0);
    for (int dy = -6; dy <= 6; dy += 3) {
        for (int dx = -5; dx <= 5; dx += 5) {
            const uint32_t c = guest.Pixel(irak.x + dx, irak.y + offset + dy);
            EXPECT_EQ(Green(c), 0) << dx << "," << dy;
            EXPECT_EQ(Blue(c), 0) << dx << "," << dy;
        }
    }
    Press(guest, kDown);  // Egypte, free: its highlighted thumbnail keeps its own colours
    const platform::Point egypte = PaysGovState::ChooserPoint(1);
    int coloured = 0;
    for (int dy = -6; dy <= 6; dy += 3) {
        const uint32_t c = guest.Pixel(egypte.x, egypte.y + offset + dy);
        coloured += (Green(c) > 0 || Blue(c) > 0) ? 1 : 0;
    }
    EXPECT_GT(coloured, 0);
    Press(guest, kReturn);
    EXPECT_TRUE(guest.Played("Egypte.wav"));
    EXPECT_EQ(guest.lobby->CurrentMode(), PaysGovState::FirstGovernment);

    // The host is ready first; start is refused and drawn in red while the guest is not.
    Press(host, kReturn);  // Démocratie
    EXPECT_TRUE(host.Played("Democratie.wav"));
    ASSERT_TRUE(
        EverybodySees(host, [](const PlayerInfo& r) { return r.government == 0 && r.IsReady(); }));
    Press(host, kUp);  // 0 wraps to back (4)
    Press(host, kUp);  // start (3)
    EXPECT_EQ(host.lobby->ListCursor(), 3);
    Frame();
    EXPECT_GT(Count(host, 460, 366, 572, 392, RedText), 20);
    host.sounds.clear();
    Press(host, kReturn);
    EXPECT_TRUE(host.Played("Failed.wav"));
    EXPECT_FALSE(host.lobby->Leaving());

    Press(guest, kRight);
    Press(guest, kReturn);  // Empire
    EXPECT_TRUE(guest.Played("Empire.wav"));
    ASSERT_TRUE(EverybodySees(guest, [](const PlayerInfo& r) {
        return r.nation == 1 && r.government == 1 && r.IsReady();
    }));
    ASSERT_TRUE(Until([&] { return host.network->AllReady(); }));
    Frame();
    EXPECT_EQ(Count(host, 460, 366, 572, 392, RedText), 0);
    EXPECT_GT(Count(host, 460, 366, 572, 392, DarkGreenText), 20);

    const int32_t hostStart = host.elapsed;
    const int32_t guestStart = guest.elapsed;
    Press(host, kReturn);
    EXPECT_TRUE(host.lobby->Leaving());
    ASSERT_TRUE(Until([&] { return host.code != 0 && guest.code != 0; }));
    EXPECT_EQ(host.code, GameCode);
    EXPECT_EQ(guest.code, GameCode);
    EXPECT_GE(host.leftAt - hostStart, 1000);
    EXPECT_GE(guest.leftAt - guestStart, 1000);
    EXPECT_EQ(host.Local().Phase(), 1u);
    EXPECT_EQ(guest.Local().Phase(), 1u);
    EXPECT_NE(host.network, nullptr);  // the game keeps the session
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(LobbyTest, EightPlayersTakeEightNationsOneRefusalAndAllStart) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(8));
    Seat& last = *seats[7];
    for (int i = 0; i < 7; ++i) {
        Choose(*seats[static_cast<size_t>(i)], i, i % 3);
    }
    Press(last, kReturn);  // Irak again
    EXPECT_TRUE(last.Played("Failed.wav"));
    EXPECT_EQ(last.lobby->CurrentMode(), PaysGovState::FirstNation);
    Choose(last, 7, 1);
    ASSERT_TRUE(Until([&] { return seats[0]->network->AllReady(); }));
    for (auto& seat : seats) {
        for (auto& other : seats) {
            const PlayerInfo seen = seat->View(*other);
            EXPECT_EQ(seen.nation, other->Local().nation);
            EXPECT_TRUE(seen.IsReady());
        }
    }
    Seat& host = *seats[0];
    Press(host, kUp);
    Press(host, kUp);
    EXPECT_EQ(host.lobby->ListCursor(), 9);  // start, with n = 8
    Press(host, kReturn);
    ASSERT_TRUE(Until([&] {
        for (auto& seat : seats) {
            if (seat->code == 0)
                return false;
        }
        return true;
    }));
    for (auto& seat : seats) {
        EXPECT_EQ(seat->code, GameCode);
        EXPECT_EQ(seat->Local().Phase(), 1u);
    }
}

TEST_F(LobbyTest, ListCursorRunsThroughRowsStartAndBackAndOnlyTheHostRestsOnStart) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3));
    for (auto& seat : seats)
        Press(*seat, kEscape);  // straight to the list, without choices
    Seat& host = *seats[0];
    Seat& guest = *seats[1];
    for (auto& seat : seats) {
        EXPECT_EQ(seat->lobby->CurrentMode(), PaysGovState::List);
        EXPECT_FALSE(seat->Local().IsReady());
    }

    std::vector<int> seen;
    for (int i = 0; i < 6; ++i) {
        Press(host, kDown);
        seen.push_back(host.lobby->ListCursor());
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 0}));

    seen.clear();
    for (int i = 0; i < 5; ++i) {
        Press(guest, kRight);
        seen.push_back(guest.lobby->ListCursor());
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 5, 0}));
    seen.clear();
    for (int i = 0; i < 3; ++i) {
        Press(guest, kLeft);
        seen.push_back(guest.lobby->ListCursor());
    }
    EXPECT_EQ(seen, (std::vector<int>{5, 3, 2}));

    // The pointer over start: the host's cursor goes there, the guest's does not.
    host.window.SetCursor(500, 370);
    guest.window.SetCursor(500, 370);
    Frame();
    EXPECT_EQ(host.lobby->ListCursor(), 4);
    EXPECT_NE(guest.lobby->ListCursor(), 4);
    guest.window.SetCursor(500, 410);
    Frame();
    EXPECT_EQ(guest.lobby->ListCursor(), 5);
    // Rows by their bands; the shared border line belongs to the later row.
    guest.window.SetCursor(40, 93);
    Frame();
    EXPECT_EQ(guest.lobby->ListCursor(), 2);
    ClickAt(guest, 40, 130);
    EXPECT_EQ(guest.lobby->ListCursor(), 3);
    EXPECT_EQ(guest.lobby->SelectedRow(), 2);
}

TEST_F(LobbyTest, OnlyTheHostChangesTheObjectiveWithF1F2OrTheMouse) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    Seat& host = *seats[0];
    Seat& guest = *seats[1];
    Press(host, kEscape);
    Press(guest, kEscape);
    Settle();
    EXPECT_EQ(host.Local().objective, -1);

    Press(guest, kF2);
    for (int i = 0; i < 5; ++i)
        Frame();
    EXPECT_EQ(guest.Local().objective, -1);
    EXPECT_EQ(guest.View(host).objective, -1);

    // "Monde" chosen: the conquest icon is drawn in full, the other one faded red.
    auto iconRed = [](const Seat& seat, int y) {
        return Count(seat, 66, y, 94, y + 28, [](uint32_t c) { return Red(c) > Green(c) + 60; });
    };
    Frame();
    const int conquestRedBefore = iconRed(guest, 385);
    const int spyRedBefore = iconRed(guest, 414);

    Press(host, kF2);
    EXPECT_EQ(host.Local().objective, -2);
    ASSERT_TRUE(EverybodySees(host, [](const PlayerInfo& r) { return r.objective == -2; }));
    Frame();
    EXPECT_GT(iconRed(guest, 385), conquestRedBefore);
    EXPECT_LT(iconRed(guest, 414), spyRedBefore);

    Press(guest, kF1);
    for (int i = 0; i < 5; ++i)
        Frame();
    EXPECT_EQ(guest.View(host).objective, -2);

    Press(host, kF1);
    ASSERT_TRUE(EverybodySees(host, [](const PlayerInfo& r) { return r.objective == -1; }));
    Press(host, kF1);  // already "Monde"
    EXPECT_EQ(host.Local().objective, -1);
    ClickAt(host, 120, 430);
    ASSERT_TRUE(EverybodySees(host, [](const PlayerInfo& r) { return r.objective == -2; }));
    ClickAt(host, 120, 390);
    ASSERT_TRUE(EverybodySees(host, [](const PlayerInfo& r) { return r.objective == -1; }));
}

TEST_F(LobbyTest, ReopeningTheChoosersClearsTheReadyMarkAndReleasesTheNation) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    Seat& host = *seats[0];
    Seat& guest = *seats[1];
    Choose(host, 4, 2);
    Press(guest, kEscape);

    // The nation cell: the nation is released, and choosing it again succeeds.
    EXPECT_EQ(host.lobby->ListCursor(), 0);
    Press(host, kReturn);
    EXPECT_EQ(host.lobby->CurrentMode(), PaysGovState::NationChange);
    ASSERT_TRUE(EverybodySees(host, [](const PlayerInfo& r) {
        return r.nation == -1 && r.government == 2 && !r.IsReady();
    }));
    EXPECT_EQ(host.lobby->NationCursor(), 4);
    Press(host, kReturn);
    EXPECT_EQ(host.lobby->CurrentMode(), PaysGovState::List);
    ASSERT_TRUE(EverybodySees(host, [](const PlayerInfo& r) {
        return r.nation == 4 && r.government == 2 && r.IsReady();
    }));

    // The government cell: ready is cleared while the chooser is open, Escape restores it.
    Press(host, kDown);
    EXPECT_EQ(host.lobby->ListCursor(), 1);
    Press(host, kReturn);
    EXPECT_EQ(host.lobby->CurrentMode(), PaysGovState::GovernmentChange);
    ASSERT_TRUE(EverybodySees(host, [](const PlayerInfo& r) { return !r.IsReady(); }));
    Press(host, kEscape);
    EXPECT_EQ(host.lobby->CurrentMode(), PaysGovState::List);
    ASSERT_TRUE(EverybodySees(host, [](const PlayerInfo& r) {
        return r.nation == 4 && r.government == 2 && r.IsReady();
    }));

    // Leaving the reopened nation chooser by Escape leaves the player without a nation.
    ClickAt(host, 200, 75);
    EXPECT_EQ(host.lobby->CurrentMode(), PaysGovState::NationChange);
    EXPECT_EQ(host.lobby->SelectedRow(), 0);
    Press(host, kEscape);
    ASSERT_TRUE(
        EverybodySees(host, [](const PlayerInfo& r) { return r.nation == -1 && !r.IsReady(); }));
    // The government cell by the mouse.
    ClickAt(host, 300, 75);
    EXPECT_EQ(host.lobby->CurrentMode(), PaysGovState::GovernmentChange);
}

TEST_F(LobbyTest, TheMarkOnTheMapIsDrawnInThePlayersNationColour) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    Seat& host = *seats[0];
    Seat& guest = *seats[1];
    Press(guest, kEscape);
    Settle();
    const platform::Point russie = PaysGovState::MapPoint(5);
    ASSERT_TRUE(Until([&] { return guest.lobby->NationOffset() < -399.0f; }));
    const uint32_t before = guest.Pixel(russie.x, russie.y);

    Choose(host, 5, 0);  // Russie, red
    ASSERT_TRUE(Until([&] {
        return host.lobby->NationOffset() < -399.0f && host.lobby->GovernmentOffset() < -399.0f;
    }));
    const uint32_t own = host.Pixel(russie.x, russie.y);
    EXPECT_GT(Red(own), 180);
    EXPECT_LT(Green(own), Green(before) / 2 + 5);
    EXPECT_LT(Blue(own), Blue(before) / 2 + 5);
    // Another player's mark is fainter but still turns the map toward red.
    const uint32_t theirs = guest.Pixel(russie.x, russie.y);
    EXPECT_LT(Green(theirs), Green(before) - 20);
    EXPECT_GT(Green(theirs), Green(own));
    // The guest's selectors sit on the first row's cells, under the host's "Russie" in red.
    EXPECT_GT(Count(guest, 180, 66, 243, 90, RedText), 15);
    // The guest has no nation: no mark on any other map point.
    EXPECT_EQ(host.Pixel(PaysGovState::MapPoint(4).x, PaysGovState::MapPoint(4).y),
              guest.Pixel(PaysGovState::MapPoint(4).x, PaysGovState::MapPoint(4).y));
}

TEST_F(LobbyTest, TheNearestChooserPointWithinTwoHundredSquaredPixelsPicksTheNation) {
    int32_t squared = -1;
    for (int i = 0; i < 8; ++i) {
        const platform::Point p = PaysGovState::ChooserPoint(i);
        EXPECT_EQ(PaysGovState::NearestChooserNation(p.x, p.y, 0, squared), i);
        EXPECT_EQ(squared, 0);
        EXPECT_EQ(PaysGovState::NearestChooserNation(p.x, p.y - 120, -120, squared), i);
        EXPECT_EQ(squared, 0);
    }
    // Russie (434, 166): 14 pixels right is inside the radius, 15 is not.
    EXPECT_EQ(PaysGovState::NearestChooserNation(448, 166, 0, squared), 5);
    EXPECT_EQ(squared, 196);
    EXPECT_EQ(PaysGovState::NearestChooserNation(449, 166, 0, squared), 5);
    EXPECT_EQ(squared, 225);
    // Equally far from Irak (355, 228) and Egypte (337, 236): the lower index wins.
    EXPECT_EQ(PaysGovState::NearestChooserNation(346, 232, 0, squared), 0);
    EXPECT_EQ(squared, 97);

    ASSERT_NO_FATAL_FAILURE(MakeSession(1));
    Seat& seat = *seats[0];
    // At rest the panels may sit one pixel short of their place: aim where they are drawn.
    ASSERT_TRUE(Until([&] { return seat.lobby->NationOffset() > -1.0f; }));
    const int nationShift = static_cast<int>(std::lround(seat.lobby->NationOffset()));
    seat.window.SetCursor(449, 166 + nationShift);  // 225 away from Russie
    Frame();
    EXPECT_EQ(seat.lobby->NationCursor(), 0);
    seat.window.SetCursor(448, 166 + nationShift);
    Frame();
    EXPECT_EQ(seat.lobby->NationCursor(), 5);
    EXPECT_EQ(seat.lobby->CurrentMode(), PaysGovState::FirstNation);
    EXPECT_TRUE(seat.Played("hit.wav"));
    ClickAt(seat, 440, 170 + nationShift);
    EXPECT_EQ(seat.lobby->CurrentMode(), PaysGovState::FirstGovernment);
    EXPECT_EQ(seat.Local().nation, 5);
    EXPECT_TRUE(seat.Played("Russie.wav"));

    // Government pictures by the mouse once the panel rests: 138..220 x 105 + 94i .. + 82.
    ASSERT_TRUE(Until([&] { return seat.lobby->GovernmentOffset() > -1.0f; }));
    const int governmentShift = static_cast<int>(std::lround(seat.lobby->GovernmentOffset()));
    seat.window.SetCursor(220, 105 + 94 + 82 + governmentShift);
    Frame();
    EXPECT_EQ(seat.lobby->GovernmentCursor(), 1);
    seat.window.SetCursor(221, 105 + 94 + 40 + governmentShift);  // one pixel right of it
    Frame();
    EXPECT_EQ(seat.lobby->GovernmentCursor(), 1);
    ClickAt(seat, 138, 105 + 188 + governmentShift);
    EXPECT_EQ(seat.lobby->CurrentMode(), PaysGovState::List);
    EXPECT_EQ(seat.Local().government, 2);
    EXPECT_TRUE(seat.Played("Communisme.wav"));
}

TEST_F(LobbyTest, ALostPlayerSendsEveryLobbyBackToTheBrowserShowingDisconnected) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    const std::string ports[] = {std::to_string(options.discoveryPort),
                                 std::to_string(options.basePort),
                                 std::to_string(options.lastPort)};
    std::vector<std::string> arguments = {
        TORVANE_PEER, "join",   "--name",      "Enfant", "--host", "127.0.0.1",   "--discovery",
        ports[0],     "--base", ports[1],      "--last", ports[2], "--heartbeat", "100",
        "--timeout",  "1500",   "--search-ms", "250",    "--stay", "60"};
    std::vector<char*> argv;
    for (auto& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int toChild[2];
    ASSERT_EQ(::pipe(toChild), 0);  // the peer serves until its input closes
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    pid_t child = -1;
    ASSERT_EQ(::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);

    const bool joined = Until([&] {
        return seats[0]->network->PlayerCount() == 3 && seats[1]->network->PlayerCount() == 3;
    });
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(toChild[1]);
    ASSERT_TRUE(joined);

    ASSERT_TRUE(Until([&] { return seats[0]->lobby->Leaving() && seats[1]->lobby->Leaving(); }));
    for (auto& seat : seats) {
        EXPECT_TRUE(seat->lobby->Disconnected());
        EXPECT_TRUE(seat->lobby->BackToBrowser());
        EXPECT_TRUE(seat->Played("Failed.wav"));
        EXPECT_EQ(seat->lobby->ListCursor(), seat->network->PlayerCount() + 2);
        // "Déconnecté !" in orange in its box.
        EXPECT_GT(Count(*seat, 257, 214, 420, 250,
                        [](uint32_t c) {
                            return Red(c) > 150 && Green(c) > 70 && Green(c) < Red(c) - 40 &&
                                   Blue(c) < Green(c) - 30;
                        }),
                  20);
    }
    ASSERT_TRUE(Until([&] { return seats[0]->code != 0 && seats[1]->code != 0; }));
    for (auto& seat : seats) {
        EXPECT_EQ(seat->code, NetworkBrowserCode);
        EXPECT_EQ(seat->network, nullptr);  // the lobby left the session and emptied the slot
    }
}

TEST_F(LobbyTest, AnEndedSessionSendsTheLobbyBackWithoutTheDisconnectionBox) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    Seat& guest = *seats[1];
    Settle();
    const int picturesWithoutBox =
        Count(guest, 257, 214, 420, 250, [](uint32_t c) { return Red(c) > 200; });
    const int32_t endedAt = guest.elapsed;
    guest.lobby->OnSessionTerminated();
    EXPECT_TRUE(guest.lobby->Leaving());
    EXPECT_TRUE(guest.lobby->BackToBrowser());
    EXPECT_FALSE(guest.lobby->Disconnected());
    EXPECT_EQ(guest.lobby->ListCursor(), 4);
    EXPECT_TRUE(guest.Played("Failed.wav"));
    Frame();
    EXPECT_LE(Count(guest, 257, 214, 420, 250, [](uint32_t c) { return Red(c) > 200; }),
              picturesWithoutBox);
    ASSERT_TRUE(Until([&] { return guest.code != 0; }));
    EXPECT_EQ(guest.code, NetworkBrowserCode);
    EXPECT_GE(guest.leftAt - endedAt, 1000);
    EXPECT_EQ(guest.network, nullptr);
    // The host sees the guest leave normally and stays.
    ASSERT_TRUE(Until([&] { return seats[0]->network->PlayerCount() == 1; }));
    EXPECT_FALSE(seats[0]->lobby->Leaving());
}

TEST_F(LobbyTest, BackByEscapeOrMouseFadesOutAndEndsTheSession) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    Seat& host = *seats[0];
    Seat& guest = *seats[1];
    Press(guest, kEscape);
    Press(guest, kEscape);
    EXPECT_TRUE(guest.lobby->Leaving());
    EXPECT_EQ(guest.lobby->ListCursor(), 4);
    ASSERT_TRUE(Until([&] { return guest.code != 0; }));
    EXPECT_EQ(guest.code, NetworkBrowserCode);
    EXPECT_EQ(guest.network, nullptr);
    ASSERT_TRUE(Until([&] { return host.network->PlayerCount() == 1; }));
    EXPECT_FALSE(host.lobby->Leaving());  // a graceful departure is no lost player

    Press(host, kEscape);
    ClickAt(host, 500, 415);
    EXPECT_TRUE(host.lobby->Leaving());
    ASSERT_TRUE(Until([&] { return host.code != 0; }));
    EXPECT_EQ(host.code, NetworkBrowserCode);
    EXPECT_EQ(host.network, nullptr);
}

TEST_F(LobbyTest, ABuiltLobbyDrawsItsFramesWithoutAllocating) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3));
    Choose(*seats[0], 5, 1);
    Press(*seats[1], kEscape);
    Settle();
    // Every panel on show: the list with marks and latencies, the start light, the choosers.
    Press(*seats[0], kUp);
    Press(*seats[0], kUp);
    Press(*seats[2], kRight);
    seats[0]->window.SetCursor(100, 400);
    Frame();
    for (auto& seat : seats)
        EXPECT_EQ(seat->code, StayCode);
    testsupport::StartCountingAllocations();
    for (int i = 0; i < 30; ++i) {
        for (auto& seat : seats) {
            seat->window.AdvanceTime(40);
            seat->lobby->Run();
        }
    }
    EXPECT_EQ(testsupport::StopCountingAllocations(), 0);
}

TEST_F(LobbyTest, TheTableOfScreensBuildsTheLobbyForCodeFiveOnTheDriversEngines) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(1));
    Seat& seat = *seats[0];
    seat.lobby.reset();
    const EngineSlots slots{&seat.window, &seat.screen, &seat.audio, &seat.input, &seat.network};
    std::unique_ptr<DirectState> screen = CreateScreenFor(LobbyCode, slots);
    auto* lobby = dynamic_cast<PaysGovState*>(screen.get());
    ASSERT_NE(lobby, nullptr);
    seat.window.SetKeyDown(kEscape, true);
    EXPECT_EQ(lobby->Run(), StayCode);
    EXPECT_EQ(lobby->CurrentMode(), PaysGovState::List);
    // A lost player sends it back with the disconnection box.
    lobby->OnPlayerLost("Fantome");
    EXPECT_TRUE(lobby->Disconnected());
    EXPECT_TRUE(seat.Played("Failed.wav"));
}

TEST_F(LobbyTest, HostileRecordsAreDrawnAndNeverUsedAsIndexes) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(1));
    Seat& host = *seats[0];
    nettest::BareHandler handler(false);  // a raw session that publishes its own bytes
    auto raw = platform::PeerSession::Create(handler, options);
    ASSERT_NE(raw, nullptr);
    host.network->EnumerateGames("127.0.0.1");
    ASSERT_EQ(host.network->PartyCount(), 1);
    const HostAddress address = host.network->GetParty(0)->hostAddress;

    auto record = EncodePlayer(PlayerInfo{});
    for (int i = 0; i < 11; ++i)
        record[static_cast<size_t>(i)] = static_cast<uint8_t>('A' + i);  // no zero byte
    record[16] = 100;                                                    // nation
    record[17] = static_cast<uint8_t>(-7);                               // government
    record[2948] = 0xFF;                                                 // odd status
    ASSERT_TRUE(raw->SetPeerInfo(record));
    ASSERT_EQ(raw->Connect({address.ipv4, address.port}), platform::PeerResult::Ok);
    ASSERT_TRUE(Until([&] { return host.network->PlayerCount() == 2; }));
    ASSERT_TRUE(Until([&] {
        PlayerInfo seen;
        return host.network->CopyPlayerAt(1, seen) && seen.nation == 100;
    }));

    // Selected in the list, shown in the chooser, the hostile row draws as "no choice".
    Press(host, kEscape);
    ClickAt(host, 40, 100);
    EXPECT_EQ(host.lobby->SelectedRow(), 1);
    for (int i = 0; i < 5; ++i)
        Frame();
    // Its nation and government are no nation and no government: Irak is still free.
    ClickAt(host, 200, 75);
    EXPECT_EQ(host.lobby->CurrentMode(), PaysGovState::NationChange);
    Press(host, kReturn);
    EXPECT_EQ(host.Local().nation, 0);
    EXPECT_EQ(host.lobby->CurrentMode(), PaysGovState::List);

    // Boundaries just outside the tables.
    record[16] = 8;
    record[17] = 3;
    ASSERT_TRUE(raw->SetPeerInfo(record));
    record[16] = static_cast<uint8_t>(-128);
    record[17] = static_cast<uint8_t>(-128);
    ASSERT_TRUE(raw->SetPeerInfo(record));
    ASSERT_TRUE(Until([&] {
        PlayerInfo seen;
        return host.network->CopyPlayerAt(1, seen) && seen.nation == -128;
    }));
    for (int i = 0; i < 5; ++i)
        Frame();
    PlayerInfo seen;
    ASSERT_TRUE(host.network->CopyPlayerAt(1, seen));
    EXPECT_EQ(seen.Name(), "ABCDEFGHIJ");
    raw->Close();
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(LobbyTest, WithoutScreenOrNetworkTheLobbyStillAnswersAndLeavesAtOnce) {
    platform::ScriptedWindow window;
    DirectInput input(&window);
    std::unique_ptr<DirectPlay> slot;
    {
        PaysGovState lobby(nullptr, nullptr, &input, &slot);
        EXPECT_EQ(lobby.Run(), StayCode);
        window.SetKeyDown(kEscape, true);
        EXPECT_EQ(lobby.Run(), StayCode);
        EXPECT_EQ(lobby.CurrentMode(), PaysGovState::List);
        window.SetKeyDown(kEscape, false);
        EXPECT_EQ(lobby.Run(), StayCode);
        window.SetKeyDown(kEscape, true);
        EXPECT_EQ(lobby.Run(), StayCode);  // back: no fade can run, so it ends next frame
        EXPECT_TRUE(lobby.Leaving());
        EXPECT_EQ(lobby.Run(), NetworkBrowserCode);
    }

    // The driver destroys the engine before the screen: the lobby must not reach for it.
    ASSERT_NO_FATAL_FAILURE(MakeSession(1));
    Seat& seat = *seats[0];
    Frame();
    seat.network.reset();
    Frame();
    EXPECT_EQ(seat.code, StayCode);
    seat.lobby.reset();
    EXPECT_TRUE(errors.texts.empty());
}

}  // namespace

namespace {

TEST_F(LobbyTest, WhatTheHostDealsWhileAGuestIsStillInItsLobbyReachesTheGuestsGame) {
    BuildObjectives();
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    Seat& host = *seats[0];
    Seat& guest = *seats[1];
    Settle();
    Press(host, kReturn);  // Irak
    Press(host, kReturn);  // Démocratie
    Press(guest, kDown);
    Press(guest, kReturn);  // Egypte
    Press(guest, kReturn);  // Démocratie
    ASSERT_TRUE(Until([&] { return host.network->AllReady(); }));
    Press(host, kUp);
    Press(host, kUp);
    // From here on only the host's machine runs frames, as if the guest's were slow.
    host.window.SetKeyDown(kReturn, true);
    host.window.AdvanceTime(50);
    host.lobby->Run();
    host.window.SetKeyDown(kReturn, false);
    ASSERT_TRUE(host.lobby->Leaving());
    int32_t code = 0;
    for (int i = 0; i < 60 && code == 0; ++i) {
        host.window.AdvanceTime(50);
        code = host.lobby->Run();
    }
    ASSERT_EQ(code, GameCode);
    host.lobby.reset();
    GameState hostGame(host.screen.get(), host.audio.get(), host.input.get(), &host.network);
    for (int i = 0; i < 20; ++i) {
        host.window.AdvanceTime(50);
        hostGame.Run();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The world and the objective are on their way to the guest, whose lobby now sees the start.
    code = 0;
    for (int i = 0; i < 100 && code == 0; ++i) {
        guest.window.AdvanceTime(50);
        code = guest.lobby->Run();
    }
    ASSERT_EQ(code, GameCode);
    guest.lobby.reset();
    GameState guestGame(guest.screen.get(), guest.audio.get(), guest.input.get(), &guest.network);
    ASSERT_TRUE(nettest::WaitFor([&] {
        host.window.AdvanceTime(20);
        hostGame.Run();
        guest.window.AdvanceTime(20);
        guestGame.Run();
        return hostGame.GetMode() == GameState::ShowingObjective &&
               guestGame.GetMode() == GameState::ShowingObjective;
    }));
    EXPECT_EQ(guestGame.History().Count(), 1);
    EXPECT_EQ(guest.Local().objective, 0);
    EXPECT_EQ(guest.Local().syncStatus, 4u);
    DestroyObjectives();
}

// The host's lobby with a guest that changes its record (withdraws its ready mark, moves to
// another nation) in the gap between the lobby's checks and the engine's advance.
class WithdrawingLobby : public PaysGovState {
  public:
    using PaysGovState::PaysGovState;
    std::function<void()> withdraw;

  protected:
    void StartChecked() override {
        if (withdraw)
            withdraw();
    }
};

// Replaces the seat's lobby by one whose start can be interfered with.
template <typename Seat>
WithdrawingLobby& OpenWithdrawingLobby(Seat& host) {
    auto withdrawing = std::make_unique<WithdrawingLobby>(host.screen.get(), host.audio.get(),
                                                          host.input.get(), &host.network);
    WithdrawingLobby& lobby = *withdrawing;
    host.lobby = std::move(withdrawing);
    return lobby;
}

TEST_F(LobbyTest, AStartRefusedByTheEngineStaysInTheLobbyOpenToNewcomers) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    Seat& host = *seats[0];
    Seat& guest = *seats[1];
    WithdrawingLobby& lobby = OpenWithdrawingLobby(host);
    Settle();
    Choose(host, 0, 0);
    Choose(guest, 1, 1);
    ASSERT_TRUE(Until([&] { return host.network->AllReady(); }));
    lobby.withdraw = [&] {
        guest.network->ClearReady();
        ASSERT_TRUE(nettest::WaitFor([&] { return !host.View(guest).IsReady(); }));
    };
    Press(host, kUp);
    Press(host, kUp);
    ASSERT_EQ(host.lobby->ListCursor(), 3);
    host.sounds.clear();
    Press(host, kReturn);
    EXPECT_TRUE(host.Played("Failed.wav"));
    EXPECT_FALSE(host.lobby->Leaving());
    EXPECT_EQ(host.Local().syncStatus, 1u);  // ready, still in the lobby's phase
    for (int i = 0; i < 30; ++i)
        Frame();
    EXPECT_EQ(host.code, StayCode);
    EXPECT_EQ(guest.code, StayCode);
    EXPECT_FALSE(guest.lobby->Leaving());
    EXPECT_EQ(guest.Local().syncStatus, 0u);
    // Still listed and still admitting: the lobby goes on.
    DirectPlay browser("Bea", options);
    browser.EnumerateGames("127.0.0.1");
    ASSERT_EQ(browser.PartyCount(), 1);
    EXPECT_EQ(browser.GetParty(0)->currentPlayers, 2);

    // Once the guest is ready again the start goes through.
    lobby.withdraw = nullptr;
    guest.network->SetReady();
    ASSERT_TRUE(Until([&] { return host.network->AllReady(); }));
    Press(host, kReturn);
    EXPECT_TRUE(host.lobby->Leaving());
    ASSERT_TRUE(Until([&] { return host.code != 0 && guest.code != 0; }));
    EXPECT_EQ(host.code, GameCode);
    EXPECT_EQ(guest.code, GameCode);
    EXPECT_TRUE(errors.texts.empty());
}

}  // namespace

TEST_F(LobbyTest, SlowFramesBringEveryAnimationToItsTargetWithoutOvershoot) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(1));
    Seat& host = *seats[0];
    constexpr int kSlowFrame = 480;  // a loaded machine, or a window being dragged
    auto press = [&](int key) {
        host.window.SetKeyDown(key, true);
        Frame(kSlowFrame);
        host.window.SetKeyDown(key, false);
        Frame(kSlowFrame);
    };
    auto settles = [&](const std::function<float()>& value, float target) {
        testsupport::ExpectSettlesWithoutOvershoot([&] { Frame(kSlowFrame); }, value, target);
    };
    auto nation = [&] { return host.lobby->NationOffset(); };
    auto start = [&] { return host.lobby->StartHighlight(); };

    settles(nation, 0.0f);  // the first nation choice slides in
    press(kEscape);         // to the list: the chooser slides out
    ASSERT_EQ(host.lobby->CurrentMode(), PaysGovState::List);
    settles(nation, -400.0f);
    press(kUp);  // from the first cell up to back
    ASSERT_EQ(host.lobby->ListCursor(), 3);
    settles(start, 31.0f);
    press(kUp);  // start, which only the host rests on
    ASSERT_EQ(host.lobby->ListCursor(), 2);
    settles(start, 1.0f);
    press(kDown);  // back, then round to the government cell
    press(kDown);
    press(kDown);
    ASSERT_EQ(host.lobby->ListCursor(), 1);
    press(kReturn);
    ASSERT_EQ(host.lobby->CurrentMode(), PaysGovState::GovernmentChange);
    settles([&] { return host.lobby->GovernmentOffset(); }, 0.0f);
}

namespace {

PlayerInfo Holding(int nation, bool ready) {
    PlayerInfo record;
    record.nation = static_cast<int8_t>(nation);
    record.syncStatus = ready ? 1u : 0u;
    return record;
}

TEST(LobbySharedNations, OnlyNationsHeldTwiceAreSharedAndOnlyReadyRecordsCountWhenAsked) {
    EXPECT_EQ(SharedNations({}, false), 0);
    const std::vector<PlayerInfo> distinct = {Holding(0, true), Holding(1, true), Holding(2, true)};
    EXPECT_EQ(SharedNations(distinct, false), 0);

    std::vector<PlayerInfo> eight;
    for (int nation = 0; nation < 8; ++nation)
        eight.push_back(Holding(nation, true));
    EXPECT_EQ(SharedNations(eight, false), 0);
    eight[6].nation = 3;  // Japon's player on the Etats-Unis
    EXPECT_EQ(SharedNations(eight, false), 1 << 3);
    eight[1].nation = 7;  // and Egypte's on Australie
    EXPECT_EQ(SharedNations(eight, false), (1 << 3) | (1 << 7));

    // Three on one nation is one shared nation; the first and the last nations have their bits.
    EXPECT_EQ(
        SharedNations(std::vector{Holding(7, true), Holding(7, true), Holding(7, true)}, false),
        0x80);
    EXPECT_EQ(
        SharedNations(std::vector{Holding(0, false), Holding(4, false), Holding(0, false)}, false),
        0x01);

    // No nation, or one out of range, is nobody's: such records never clash.
    EXPECT_EQ(SharedNations(std::vector{Holding(-1, true), Holding(-1, true), Holding(8, true),
                                        Holding(8, true), Holding(100, true), Holding(100, true),
                                        Holding(-128, true), Holding(-128, true)},
                            false),
              0);

    // Readiness: a player still choosing is marked, but does not keep the game from starting.
    const std::vector<PlayerInfo> oneReady = {Holding(5, true), Holding(2, true),
                                              Holding(5, false)};
    EXPECT_EQ(SharedNations(oneReady, false), 1 << 5);
    EXPECT_EQ(SharedNations(oneReady, true), 0);
    const std::vector<PlayerInfo> bothReady = {Holding(5, true), Holding(2, false),
                                               Holding(5, true), Holding(2, true)};
    EXPECT_EQ(SharedNations(bothReady, true), 1 << 5);
    EXPECT_EQ(SharedNations(bothReady, false), (1 << 5) | (1 << 2));
}

// The row of `player`'s record in `seat`'s table, which the lobby's list follows.
int RowOf(const Seat& seat, const Seat& player) {
    PlayerInfo record;
    for (int i = 0; seat.network->CopyPlayerAt(static_cast<uint8_t>(i), record); ++i) {
        if (record.playerId == player.network->LocalPlayerId())
            return i;
    }
    return -1;
}

// Row `row`'s band in the list, and the free band under the last row.
int RowTop(int row) {
    return (row + 1) * 30 + 33;
}

TEST_F(LobbyTest, TwoPlayersOnOneNationAreMarkedOnEveryScreenAndTheStartWaitsForAChange) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(3));
    Seat& host = *seats[0];
    Seat& guest = *seats[1];
    Seat& third = *seats[2];
    Choose(host, 0, 0);   // Irak
    Choose(third, 1, 1);  // Egypte
    Press(guest, kEscape);
    Settle();

    // The warning mark, left of a row, and the line under the list.
    auto markPixels = [](const Seat& seat, int row) {
        return Count(seat, 10, RowTop(row) - 4, 36, RowTop(row) + 28, RedText);
    };
    auto hintPixels = [](const Seat& seat) {
        return Count(seat, 40, RowTop(3) + 2, 500, RowTop(3) + 26, RedText);
    };
    std::vector<int> hintBefore;
    for (auto& seat : seats) {
        for (int row = 0; row < 3; ++row) {
            EXPECT_FALSE(seat->lobby->NationClash(row)) << row;
            EXPECT_EQ(markPixels(*seat, row), 0) << row;
        }
        hintBefore.push_back(hintPixels(*seat));
    }

    // The guest's engine had not heard of the host's Irak yet when the guest took it as well.
    PlayerInfo record = guest.Local();
    record.nation = 0;
    record.government = 2;
    guest.network->PublishLocalPlayer(record);
    ASSERT_TRUE(EverybodySees(guest, [](const PlayerInfo& r) { return r.nation == 0; }));
    Frame();
    // Marked at once, ready or not, on every machine; Egypte's row is not.
    for (size_t i = 0; i < seats.size(); ++i) {
        const Seat& seat = *seats[i];
        for (const Seat* player : {&host, &guest}) {
            const int row = RowOf(seat, *player);
            EXPECT_TRUE(seat.lobby->NationClash(row)) << i << ": " << row;
            EXPECT_GT(markPixels(seat, row), 20) << i << ": " << row;
        }
        const int free = RowOf(seat, third);
        EXPECT_FALSE(seat.lobby->NationClash(free)) << i;
        EXPECT_EQ(markPixels(seat, free), 0) << i;
        EXPECT_GT(hintPixels(seat), hintBefore[i] + 100) << i;
        EXPECT_FALSE(seat.lobby->NationClash(3));
        EXPECT_FALSE(seat.lobby->NationClash(-1));
    }

    // Everybody ready, two of them on Irak: the start is drawn refused and refused.
    guest.network->SetReady();
    ASSERT_TRUE(Until([&] { return host.network->AllReady(); }));
    Press(host, kUp);
    Press(host, kUp);
    ASSERT_EQ(host.lobby->ListCursor(), 4);
    Frame();
    EXPECT_GT(Count(host, 460, 366, 572, 392, RedText), 20);
    EXPECT_EQ(Count(host, 460, 366, 572, 392, DarkGreenText), 0);
    host.sounds.clear();
    Press(host, kReturn);
    EXPECT_TRUE(host.Played("Failed.wav"));
    EXPECT_FALSE(host.lobby->Leaving());
    for (int i = 0; i < 20; ++i)
        Frame();
    for (auto& seat : seats) {
        EXPECT_EQ(seat->code, StayCode);
        EXPECT_FALSE(seat->lobby->Leaving());
        EXPECT_EQ(seat->Local().syncStatus, 1u);  // ready, in the lobby's phase
    }

    // The marks are drawn from what the screen already holds.
    testsupport::StartCountingAllocations();
    for (int i = 0; i < 20; ++i) {
        for (auto& seat : seats) {
            seat->window.AdvanceTime(40);
            seat->lobby->Run();
        }
    }
    EXPECT_EQ(testsupport::StopCountingAllocations(), 0);

    // The guest reopens its nation and moves to Jamaique (Egypte is taken): the marks go.
    ASSERT_EQ(guest.lobby->ListCursor(), 0);
    Press(guest, kReturn);
    ASSERT_EQ(guest.lobby->CurrentMode(), PaysGovState::NationChange);
    while (guest.lobby->NationCursor() != 2)
        Press(guest, kDown);
    Press(guest, kReturn);
    ASSERT_EQ(guest.lobby->CurrentMode(), PaysGovState::List);
    ASSERT_TRUE(
        EverybodySees(guest, [](const PlayerInfo& r) { return r.nation == 2 && r.IsReady(); }));
    ASSERT_TRUE(Until([&] { return host.network->AllReady(); }));
    Frame();
    for (size_t i = 0; i < seats.size(); ++i) {
        const Seat& seat = *seats[i];
        for (int row = 0; row < 3; ++row) {
            EXPECT_FALSE(seat.lobby->NationClash(row)) << i << ": " << row;
            EXPECT_EQ(markPixels(seat, row), 0) << i << ": " << row;
        }
        EXPECT_LE(hintPixels(seat), hintBefore[i]) << i;
    }
    EXPECT_EQ(Count(host, 460, 366, 572, 392, RedText), 0);
    EXPECT_GT(Count(host, 460, 366, 572, 392, DarkGreenText), 20);

    Press(host, kReturn);
    EXPECT_TRUE(host.lobby->Leaving());
    ASSERT_TRUE(Until([&] {
        return std::all_of(seats.begin(), seats.end(), [](auto& s) { return s->code != 0; });
    }));
    for (auto& seat : seats) {
        EXPECT_EQ(seat->code, GameCode);
        EXPECT_EQ(seat->Local().Phase(), 1u);
    }
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(LobbyTest, ASharedNationRefusesTheStartBeforeTheGapAndAgainInIt) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    Seat& host = *seats[0];
    Seat& guest = *seats[1];
    WithdrawingLobby& lobby = OpenWithdrawingLobby(host);
    Settle();
    Choose(host, 6, 0);   // Japon
    Choose(guest, 7, 1);  // Australie
    ASSERT_TRUE(Until([&] { return host.network->AllReady(); }));
    auto moveGuestTo = [&](int nation) {
        PlayerInfo record = guest.Local();
        record.nation = static_cast<int8_t>(nation);
        guest.network->PublishLocalPlayer(record);
        ASSERT_TRUE(nettest::WaitFor([&] { return host.View(guest).nation == nation; }));
    };
    int gaps = 0;
    lobby.withdraw = [&] { ++gaps; };
    Press(host, kUp);
    Press(host, kUp);
    ASSERT_EQ(host.lobby->ListCursor(), 3);

    // Both ready on Japon before the start: refused like a player not ready, without ever
    // closing the session.
    moveGuestTo(6);
    host.sounds.clear();
    Press(host, kReturn);
    EXPECT_TRUE(host.Played("Failed.wav"));
    EXPECT_FALSE(host.lobby->Leaving());
    EXPECT_EQ(gaps, 0);

    // Between the lobby's check and the engine's advance the guest's record turns up on Japon
    // again, still ready.
    moveGuestTo(7);
    lobby.withdraw = [&] {
        ++gaps;
        moveGuestTo(6);
    };
    host.sounds.clear();
    Press(host, kReturn);
    EXPECT_EQ(gaps, 1);
    EXPECT_TRUE(host.Played("Failed.wav"));
    EXPECT_FALSE(host.lobby->Leaving());
    EXPECT_TRUE(host.network->AllReady());
    for (int i = 0; i < 30; ++i)
        Frame();
    EXPECT_EQ(host.code, StayCode);
    EXPECT_EQ(guest.code, StayCode);
    EXPECT_EQ(host.Local().syncStatus, 1u);
    EXPECT_EQ(guest.Local().syncStatus, 1u);
    for (const Seat* seat : {&host, &guest}) {
        EXPECT_TRUE(seat->lobby->NationClash(RowOf(*seat, host)));
        EXPECT_TRUE(seat->lobby->NationClash(RowOf(*seat, guest)));
    }
    // Still listed and still admitting.
    DirectPlay browser("Bea", options);
    browser.EnumerateGames("127.0.0.1");
    ASSERT_EQ(browser.PartyCount(), 1);
    EXPECT_EQ(browser.GetParty(0)->currentPlayers, 2);

    lobby.withdraw = nullptr;
    moveGuestTo(7);
    Frame();
    EXPECT_FALSE(host.lobby->NationClash(RowOf(host, host)));
    EXPECT_FALSE(host.lobby->NationClash(RowOf(host, guest)));
    Press(host, kReturn);
    EXPECT_TRUE(host.lobby->Leaving());
    ASSERT_TRUE(Until([&] { return host.code != 0 && guest.code != 0; }));
    EXPECT_EQ(host.code, GameCode);
    EXPECT_EQ(guest.code, GameCode);
    EXPECT_TRUE(errors.texts.empty());
}

}  // namespace

TEST_F(LobbyTest, TheHostShowsThePublicAddressTheRouterGaveAndGuestsDoNot) {
    // What the router answered, as the session reports it once a port mapping holds.
    options.publicAddressForTest = 0xCB007107;  // 203.0.113.7
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    for (auto& seat : seats)
        Press(*seat, kEscape);  // the list, with no chooser over it
    Settle();
    // The host's band under the two rows: the computer players' hint at the left, the address
    // at the right, where nothing else is drawn.
    const auto addressPixels = [](const Seat& seat) {
        return Count(seat, 380, RowTop(2) + 2, 604, RowTop(2) + 26, DarkGreenText);
    };
    EXPECT_GT(addressPixels(*seats[0]), 60);
    EXPECT_EQ(addressPixels(*seats[1]), 0);
    // A picture for a person to look at, when TORVANE_GAME_SHOTS names a folder.
    if (const char* folder = std::getenv("TORVANE_GAME_SHOTS"))
        seats[0]->screen->SaveScreenshot(std::string(folder) + "/lobby-public-address.png");
    EXPECT_EQ(seats[0]->network->PublicAddress(), 0xCB007107u);
    EXPECT_EQ(seats[1]->network->PublicAddress(), 0xCB007107u);  // known, but not the host
}

TEST_F(LobbyTest, WithoutARouterThatForwardsNoAddressIsShown) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    for (auto& seat : seats)
        Press(*seat, kEscape);
    Settle();
    EXPECT_EQ(seats[0]->network->PublicAddress(), 0u);
    EXPECT_EQ(Count(*seats[0], 380, RowTop(2) + 2, 604, RowTop(2) + 26, DarkGreenText), 0);
    // The hint for computer players is still there, at the left of the same band.
    EXPECT_GT(Count(*seats[0], 40, RowTop(2) + 2, 300, RowTop(2) + 26, DarkGreenText), 60);
}

namespace {

// A two-nation game played by the rules with no orders up to the start of `year`, as every
// player's game saves it: France (the host, "Hote") and Irak ("Joueur1"), "Monde" objectives.
SavedGame SavedTwoNationGame(int32_t year) {
    const std::array<int8_t, 2> nations = {4, 0};
    Governments governments;
    governments.fill(-1);
    governments[4] = 1;
    governments[0] = 2;
    RandomGenerator generator(314);
    SavedGame game;
    game.gameId = 0x5A4E000000000042ull;
    game.savedAt = 1800000000;
    const std::string host = "Hote", guest = "Joueur1";
    std::copy(host.begin(), host.end(), game.hostName.begin());
    const TerritoryTable deal = DealMap(nations);
    game.history.push_back({deal, CInfos()});
    CampaignState state = StartCampaign(deal, governments);
    const NationOrders none;
    for (int32_t y = 1870; y < year; ++y) {
        ResolveIncome(state, governments);
        ResolvePurchases(state, governments, none);
        ResolveMoves(state, governments, none, generator);
        ResolveMissions(state, governments, none, generator);
        CloseYear(state);
        game.history.push_back({state.table, state.ledger});
    }
    game.state = state;
    game.generator = generator.State();
    game.status = 4 + 22u * static_cast<uint32_t>(year - 1870);
    for (const int8_t nation : nations) {
        SavedNation& saved = game.nations[static_cast<size_t>(nation)];
        saved.government = governments[static_cast<size_t>(nation)];
        saved.objective = 0;
        const std::string& name = nation == 4 ? host : guest;
        std::copy(name.begin(), name.end(), saved.name.begin());
    }
    return game;
}

}  // namespace

// The host opens the browser, shows its saved games with F6 and hosts the one it chose with
// Return; a player saved under its name joins and is put on its nation at once; "- démarrer -"
// takes both into the saved year. The keyboard alone, on real screens.
TEST_F(LobbyTest, ASavedGameIsHostedFromTheBrowserAndResumedAtItsYear) {
    BuildObjectives();
    const SavedGame saved = SavedTwoNationGame(1873);
    std::string error;
    ASSERT_TRUE(IsValidSavedGame(saved, &error)) << error;
    ASSERT_TRUE(platform::SaveStore().Save(saved.gameId, EncodeSavedGame(saved), error)) << error;
    platform::SetStringSetting("PlayerName", "Hote");
    ::setenv("TORVANE_PORT", std::to_string(options.basePort).c_str(), 1);
    ::setenv("TORVANE_DISCOVERY_PORT", std::to_string(options.discoveryPort).c_str(), 1);
    struct Unset {
        ~Unset() {
            ::unsetenv("TORVANE_PORT");
            ::unsetenv("TORVANE_DISCOVERY_PORT");
        }
    } unset;

    // The host's browser: "- reprendre -" is there, F6 shows the one save, Return hosts it.
    Seat& host = *seats.emplace_back(std::make_unique<Seat>("Hote", options));
    host.network.reset();
    auto browser = std::make_unique<NetworkState>(host.screen.get(), host.audio.get(),
                                                  host.input.get(), &host.network);
    const auto browse = [&](int frames) {
        int32_t code = 0;
        for (int i = 0; i < frames && code == 0; ++i) {
            host.window.AdvanceTime(20);
            code = browser->Run();
        }
        return code;
    };
    browse(100);
    ASSERT_EQ(browser->SaveCount(), 1);
    host.window.SetKeyDown(kF6, true);
    browse(1);
    host.window.SetKeyDown(kF6, false);
    browse(1);
    ASSERT_TRUE(browser->ShowingSaves());
    host.window.SetKeyDown(kReturn, true);
    browse(1);
    host.window.SetKeyDown(kReturn, false);
    ASSERT_EQ(browse(400), LobbyCode);
    browser.reset();
    ASSERT_TRUE(host.network && host.network->IsHost());
    EXPECT_EQ(host.network->SessionId(), saved.gameId);
    host.lobby = std::make_unique<PaysGovState>(host.screen.get(), host.audio.get(),
                                                host.input.get(), &host.network);

    Seat& guest = AddSeat("Joueur1");
    const HostAddress game = nettest::FindGameOf(*guest.network, *host.network);
    ASSERT_NE(game.port, 0);
    ASSERT_TRUE(guest.network->JoinGame(game));
    guest.lobby = std::make_unique<PaysGovState>(guest.screen.get(), guest.audio.get(),
                                                 guest.input.get(), &guest.network);
    // Each is put on the nation saved under its name, under its saved government, and is
    // ready; the government stays as it was saved.
    ASSERT_TRUE(Until([&] {
        return guest.lobby->Resuming() && host.View(guest).nation == 0 &&
               host.View(guest).IsReady() && guest.View(host).nation == 4 &&
               guest.View(host).IsReady();
    }));
    EXPECT_TRUE(host.lobby->Resuming());
    EXPECT_EQ(host.View(guest).government, 2);
    EXPECT_EQ(guest.View(host).government, 1);
    EXPECT_EQ(guest.lobby->CurrentMode(), PaysGovState::List);
    Press(guest, kDown);  // onto the government
    Press(guest, kReturn);
    EXPECT_EQ(guest.lobby->CurrentMode(), PaysGovState::List);
    // A nation the saved game did not have cannot be taken.
    Press(guest, kUp);
    Press(guest, kReturn);  // the nation chooser, its own nation released
    ASSERT_EQ(guest.lobby->CurrentMode(), PaysGovState::NationChange);
    while (guest.lobby->NationCursor() != 3)
        Press(guest, kDown);
    Press(guest, kReturn);
    EXPECT_EQ(guest.lobby->CurrentMode(), PaysGovState::NationChange);
    while (guest.lobby->NationCursor() != 0)
        Press(guest, kUp);
    Press(guest, kReturn);
    ASSERT_EQ(guest.lobby->CurrentMode(), PaysGovState::List);
    ASSERT_TRUE(EverybodySees(guest, [](const PlayerInfo& r) {
        return r.nation == 0 && r.government == 2 && r.IsReady();
    }));

    // "- démarrer -": both leave for the game.
    Press(host, kUp);
    Press(host, kUp);
    Press(host, kReturn);
    ASSERT_TRUE(Until([&] { return host.code != 0 && guest.code != 0; }));
    ASSERT_EQ(host.code, GameCode);
    ASSERT_EQ(guest.code, GameCode);
    host.lobby.reset();
    guest.lobby.reset();
    GameState hostGame(host.screen.get(), host.audio.get(), host.input.get(), &host.network);
    GameState guestGame(guest.screen.get(), guest.audio.get(), guest.input.get(), &guest.network);
    ASSERT_TRUE(nettest::WaitFor([&] {
        host.window.AdvanceTime(20);
        hostGame.Run();
        guest.window.AdvanceTime(20);
        guestGame.Run();
        return hostGame.GetMode() == GameState::ShowingObjective &&
               guestGame.GetMode() == GameState::ShowingObjective &&
               guest.network->LocalStatus() == saved.status;
    }));
    for (const GameState* played : {&hostGame, &guestGame}) {
        EXPECT_TRUE(played->Resumed());
        EXPECT_EQ(played->HeldStatus(), saved.status);
        EXPECT_TRUE(played->HeldState() == saved.state);
        ASSERT_EQ(played->History().Count(), static_cast<int>(saved.history.size()));
        for (int i = 0; i < played->History().Count(); ++i)
            EXPECT_TRUE(*played->History().TableAt(i) ==
                        saved.history[static_cast<size_t>(i)].table);
        EXPECT_EQ(played->ComputerNations(), 0);
    }
    EXPECT_EQ(hostGame.LocalNation(), 4);
    EXPECT_EQ(guestGame.LocalNation(), 0);
    EXPECT_EQ(guest.Local().objective, 0);
    DestroyObjectives();
}

TEST_F(LobbyTest, AJoinerOfASavedGameTakesTheNationSavedUnderItsNameOrAFreeSavedOne) {
    Seating saved{};
    const auto save = [&](int nation, int8_t government, const std::string& name) {
        SeatRecord& seat = saved[static_cast<size_t>(nation)];
        seat.government = government;
        std::copy(name.begin(), name.end(), seat.name.begin());
    };
    save(2, 1, "Ordi 1");
    save(5, 0, "Bruno");
    save(6, 2, "Alice");
    std::array<PlayerInfo, 3> records{};
    records[0].playerId = 1;
    records[0].nation = 5;  // somebody is already on Bruno's nation
    records[1].playerId = 2;
    records[1].nation = 2;  // and the one joining sits on its own
    records[2].playerId = 3;
    const std::span<const PlayerInfo> table(records);
    EXPECT_EQ(SavedNationOf(saved, table, 2, "Ordi 1"), 2);
    EXPECT_EQ(SavedNationOf(saved, table, 3, "Bruno"), -1);
    EXPECT_EQ(SavedNationOf(saved, table, 3, "Alice"), 6);
    EXPECT_EQ(SavedNationOf(saved, table, 3, "Carole"), -1);
    EXPECT_EQ(SavedNationOf(saved, table, 3, ""), -1);
    // A free saved nation: neither a held one nor one the game did not have.
    EXPECT_EQ(FreeSavedNation(saved, table, 3), 6);
    records[2].nation = 6;
    EXPECT_EQ(FreeSavedNation(saved, table, 1), 5);  // its own counts as free for itself
    EXPECT_EQ(FreeSavedNation(saved, table, 4), -1);
    EXPECT_EQ(SavedGovernment(saved, 6), 2);
    EXPECT_EQ(SavedGovernment(saved, 3), -1);
    EXPECT_EQ(SavedGovernment(saved, 8), -1);
    EXPECT_EQ(SavedGovernment(saved, -1), -1);
    // Only a year's start in a host's record marks a game taken up again.
    PlayerInfo host;
    EXPECT_EQ(ResumedStatusOf(host), 0u);
    host.reservedWord = 4 + 22 * 4;
    EXPECT_EQ(ResumedStatusOf(host), 4u + 22 * 4);
    host.reservedWord = 4 + 22 * 4 + 2;  // "Recettes"
    EXPECT_EQ(ResumedStatusOf(host), 0u);
    host.reservedWord = -1;
    EXPECT_EQ(ResumedStatusOf(host), 0u);
}

// Chat in the lobby: T opens the line, what is typed goes to it and to nothing else, Return
// sends, Escape closes without leaving the lobby.
TEST_F(LobbyTest, TheChatLineTakesEveryKeyWhileOpenAndReturnSendsItToEverybody) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    Seat& host = *seats[0];
    Seat& guest = *seats[1];
    Settle();
    ASSERT_EQ(host.lobby->CurrentMode(), PaysGovState::FirstNation);
    Press(host, 'T');
    ASSERT_TRUE(host.lobby->Chat().IsOpen());
    EXPECT_EQ(host.lobby->Chat().Typed(), "");
    for (int letter : {'S', 'A', 'L', 'U', 'T'})
        Press(host, letter);
    Press(host, kDown);  // would move the nation cursor
    EXPECT_EQ(host.lobby->Chat().Typed(), "salut");
    EXPECT_EQ(host.lobby->NationCursor(), 0);
    Press(host, kReturn);  // would take Irak
    EXPECT_FALSE(host.lobby->Chat().IsOpen());
    EXPECT_EQ(host.lobby->CurrentMode(), PaysGovState::FirstNation);
    EXPECT_EQ(host.Local().nation, -1);

    ASSERT_TRUE(Until([&] { return guest.network->Conversation().Count() == 1; }));
    const ChatLog::Line& heard = guest.network->Conversation().At(0);
    EXPECT_EQ(heard.name, "Hote : ");
    EXPECT_EQ(heard.text, "salut");
    EXPECT_EQ(heard.nameColour, 0xFFFFFFFFu);  // no nation yet: white
    EXPECT_TRUE(guest.Played("Message.wav"));
    ASSERT_TRUE(Until([&] { return host.network->Conversation().Count() == 1; }));
    EXPECT_FALSE(host.Played("Message.wav"));  // one's own line makes no sound
    // The line is drawn at the foot of the guest's screen, above where the open line sits.
    Frame();
    EXPECT_GT(Count(guest, 8, ChatBox::kLineY - ChatBox::kLineHeight, 200, ChatBox::kLineY,
                    [](uint32_t c) { return Red(c) > 200 && Green(c) > 200 && Blue(c) > 200; }),
              20);

    // Escape closes the line and stays in the lobby; the keys act again.
    Press(host, 'T');
    ASSERT_TRUE(host.lobby->Chat().IsOpen());
    Press(host, kEscape);
    EXPECT_FALSE(host.lobby->Chat().IsOpen());
    for (int i = 0; i < 5; ++i)
        Frame();
    EXPECT_EQ(host.code, 0);
    EXPECT_FALSE(host.lobby->Leaving());
    Press(host, kDown);
    EXPECT_EQ(host.lobby->NationCursor(), 1);
    EXPECT_EQ(host.network->Conversation().Count(), 1u);

    // Once a nation is taken, the name comes in its colour.
    Press(guest, kReturn);
    Press(guest, kReturn);
    ASSERT_TRUE(EverybodySees(guest, [](const PlayerInfo& r) { return r.nation == 0; }));
    Press(guest, 'T');
    Press(guest, 'O');
    Press(guest, 'K');
    Press(guest, kReturn);
    ASSERT_TRUE(Until([&] { return host.network->Conversation().Count() == 2; }));
    EXPECT_EQ(host.network->Conversation().At(1).text, "ok");
    EXPECT_EQ(host.network->Conversation().At(1).nameColour, NationColour(0) | 0xFF000000u);
}

TEST_F(LobbyTest, OnlyTheHostRunsThePhaseClockThroughItsChoicesWithF4OrTheMouse) {
    ASSERT_NO_FATAL_FAILURE(MakeSession(2));
    Seat& host = *seats[0];
    Seat& guest = *seats[1];
    Press(host, kEscape);
    Press(guest, kEscape);
    Settle();
    EXPECT_EQ(guest.lobby->HostClock(), 0);
    Press(guest, 115);
    for (int i = 0; i < 5; ++i)
        Frame();
    EXPECT_EQ(PhaseClockChoice(guest.View(host)), 0);

    const int expected[] = {1, 2, 3, 4, 0, 1};
    for (int choice : expected) {
        Press(host, 115);
        EXPECT_EQ(PhaseClockChoice(host.Local()), choice);
        ASSERT_TRUE(Until([&] { return guest.lobby->HostClock() == choice; }));
    }
    ClickAt(host, 120, 445);
    ASSERT_TRUE(Until([&] { return guest.lobby->HostClock() == 2; }));
    EXPECT_EQ(PhaseClockName(guest.lobby->HostClock()), "Temps : 1 min");
    // A click on the custom objective above it still picks the objective, not the clock.
    ClickAt(host, 120, 425);
    ASSERT_TRUE(EverybodySees(host, [](const PlayerInfo& r) { return r.objective == -2; }));
    EXPECT_EQ(PhaseClockChoice(host.Local()), 2);
}
