// The computer players this game started.
#include "app/ComputerSeats.h"

#include <signal.h>

#include <algorithm>
#include <thread>

namespace torvane {

ComputerSeats::~ComputerSeats() {
    EndAll();
}

std::string ComputerSeats::Program() const {
    return program_.empty() ? platform::ExecutableFolder() + "/torvane-bot" : program_;
}

std::string ComputerSeats::Add(uint16_t port, std::span<const PlayerInfo> table) {
    if (port == 0)
        return {};
    for (int number = 1; number <= 99; ++number) {
        const std::string name = "Ordi " + std::to_string(number);
        const bool taken =
            std::any_of(table.begin(), table.end(),
                        [&](const PlayerInfo& record) { return record.Name() == name; }) ||
            std::any_of(seats_.begin(), seats_.end(),
                        [&](const Seat& seat) { return seat.name == name; });
        if (taken)
            continue;
        Seat seat;
        seat.name = name;
        if (!seat.process.Spawn(
                {Program(), "--host", "127.0.0.1", "--port", std::to_string(port), "--name", name,
                 "--level", "moyen", "--seed", std::to_string(number)},
                /*quiet=*/true)) {
            return {};
        }
        seats_.push_back(std::move(seat));
        return name;
    }
    return {};
}

bool ComputerSeats::Remove(const std::string& name) {
    for (Seat& seat : seats_) {
        if (seat.name != name || seat.removed)
            continue;
        seat.removed = true;
        seat.killAt = std::chrono::steady_clock::now() + kGrace;
        if (seat.process.Pid() > 0)
            ::kill(seat.process.Pid(), SIGTERM);
        return true;
    }
    return false;
}

bool ComputerSeats::Started(const std::string& name) const {
    return std::any_of(seats_.begin(), seats_.end(),
                       [&](const Seat& seat) { return seat.name == name && !seat.removed; });
}

size_t ComputerSeats::Joining(std::span<const PlayerInfo> table) const {
    return static_cast<size_t>(std::count_if(seats_.begin(), seats_.end(), [&](const Seat& seat) {
        return !seat.removed && std::none_of(table.begin(), table.end(), [&](const PlayerInfo& r) {
            return r.Name() == seat.name;
        });
    }));
}

pid_t ComputerSeats::PidOf(const std::string& name) const {
    for (const Seat& seat : seats_) {
        if (seat.name == name)
            return seat.process.Pid();
    }
    return -1;
}

void ComputerSeats::Update() {
    const auto now = std::chrono::steady_clock::now();
    for (Seat& seat : seats_) {
        if (seat.removed && seat.process.Running() && now >= seat.killAt)
            seat.process.Terminate(std::chrono::milliseconds(0));
    }
    std::erase_if(seats_, [](Seat& seat) { return !seat.process.Running(); });
}

void ComputerSeats::EndAll() {
    for (Seat& seat : seats_) {
        if (seat.process.Running())
            ::kill(seat.process.Pid(), SIGTERM);
    }
    const auto end = std::chrono::steady_clock::now() + kGrace;
    for (Seat& seat : seats_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        seat.process.Terminate(std::max(left, std::chrono::milliseconds(0)));
    }
    seats_.clear();
}

ComputerSeats& Computers() {
    static ComputerSeats seats;
    return seats;
}

}  // namespace torvane
