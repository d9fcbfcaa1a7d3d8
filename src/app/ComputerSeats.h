// The computer players this game started (torvane-bot processes joining the local host): they
// outlive the lobby into the game, and end when the game is left or the program ends.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "network/Playerinfo.h"
#include "platform/ChildProcess.h"

namespace torvane {

class ComputerSeats {
  public:
    // How long a removed computer player has to leave the session before it is killed.
    static constexpr std::chrono::milliseconds kGrace{1500};

    ComputerSeats() = default;
    ~ComputerSeats();
    ComputerSeats(const ComputerSeats&) = delete;
    ComputerSeats& operator=(const ComputerSeats&) = delete;

    // The program started: torvane-bot beside this program's executable unless set.
    void SetProgram(std::string path) { program_ = std::move(path); }
    std::string Program() const;

    // Starts a computer player named "Ordi k" (k the first number no record of `table` and no
    // running computer player has), joining the host at 127.0.0.1:`port` at level "moyen".
    // Its name, or empty when it could not be started.
    std::string Add(uint16_t port, std::span<const PlayerInfo> table);
    // Asks the computer player `name` to leave (SIGTERM); it is killed if still there after
    // kGrace (see Update). False when this game did not start it.
    bool Remove(const std::string& name);
    // Whether `name` is a computer player this game started that has not been removed.
    bool Started(const std::string& name) const;
    // Its process id, or -1.
    pid_t PidOf(const std::string& name) const;
    // Collects the computer players that ended and kills the removed ones past their grace.
    // Called once a frame; allocates nothing.
    void Update();
    // Ends every computer player (SIGTERM to all, then SIGKILL to those still there after
    // kGrace) and waits for them all.
    void EndAll();
    // Computer players started and not removed that `table` does not hold yet (still joining).
    size_t Joining(std::span<const PlayerInfo> table) const;
    // Computer players still running or leaving.
    size_t Count() const { return seats_.size(); }

  private:
    struct Seat {
        std::string name;
        platform::ChildProcess process;
        bool removed = false;
        std::chrono::steady_clock::time_point killAt{};
    };
    std::string program_;
    std::vector<Seat> seats_;
};

// The game's own: the lobby adds to it, and the driver ends them all when the game is left.
ComputerSeats& Computers();

}  // namespace torvane
