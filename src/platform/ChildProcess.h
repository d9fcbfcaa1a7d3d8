// A program started by this one (a computer player, for instance): started with its arguments,
// asked to end, ended outright, waited for. Never through a shell.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace platform {

class ChildProcess {
  public:
    ChildProcess() = default;
    // Ends the program if it still runs (as Terminate does).
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `arguments[0]` (a path) with the whole list as its arguments, standard input from
    // /dev/null and no other descriptor of this program. The child is sent SIGTERM if this
    // program dies first. With `quiet` its standard output goes to /dev/null too (its errors
    // still reach this program's). False when nothing could be started (or one is already
    // running).
    bool Spawn(const std::vector<std::string>& arguments, bool quiet = false);
    // True while the program runs; collects its exit once it has ended.
    bool Running();
    // Waits up to `limit` for the program to end by itself; true once it has ended.
    bool Wait(std::chrono::milliseconds limit);
    // SIGTERM, then SIGKILL if it has not ended after `grace`; returns once it has ended.
    void Terminate(std::chrono::milliseconds grace = std::chrono::milliseconds(1500));

    // The process id while it runs (or has ended without being collected), -1 otherwise.
    pid_t Pid() const { return pid_; }
    // The exit status (as waitpid reports it) of the last program collected, -1 before.
    int RawStatus() const { return status_; }

  private:
    void Collected(int status);

    pid_t pid_ = -1;
    int status_ = -1;
};

// The folder of this program's executable (from /proc/self/exe), without the last slash; empty
// when it cannot be read.
std::string ExecutableFolder();

}  // namespace platform
