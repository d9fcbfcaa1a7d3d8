// A torvane-peer child process (tests/network/peer) whose output is read line by line, and which
// can be stopped, killed without a goodbye, or left to end when its standard input closes.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace nettest {

class ChildPeer {
  public:
#ifdef TORVANE_PEER
    // TORVANE_PEER names the program; the build passes it to the test programs that use it.
    explicit ChildPeer(const std::vector<std::string>& arguments)
        : ChildPeer(TORVANE_PEER, arguments) {}
#endif
    // Any other program of the build (torvane-bot).
    ChildPeer(const std::string& program, const std::vector<std::string>& arguments) {
        int out[2], in[2];
        if (::pipe(out) != 0)
            return;
        if (::pipe(in) != 0) {
            ::close(out[0]);
            ::close(out[1]);
            return;
        }
        std::vector<std::string> all = {program};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(in[0], STDIN_FILENO);
            // The test's own sockets (a host's, say) stay the test's.
            for (int fd = 3; fd < 1024; ++fd)
                ::close(fd);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(in[0]);
        output_ = out[0];
        input_ = in[1];
    }
    ~ChildPeer() {
        Kill();
        if (output_ >= 0)
            ::close(output_);
        if (input_ >= 0)
            ::close(input_);
    }
    ChildPeer(const ChildPeer&) = delete;
    ChildPeer& operator=(const ChildPeer&) = delete;

    bool Started() const {
        return pid_ > 0;
    }
    pid_t Pid() const {
        return pid_;
    }
    // The exit status (waitpid's) once WaitExit has seen it end, -1 before.
    int RawStatus() const {
        return status_;
    }
    void Signal(int signal) {
        if (pid_ > 0)
            ::kill(pid_, signal);
    }
    // Ends it at once, with no goodbye to its peers.
    void Kill() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        ::kill(pid_, SIGCONT);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    // One line to its standard input (the peer's commands).
    bool Write(const std::string& line) {
        const std::string text = line + "\n";
        return input_ >= 0 &&
               ::write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    // Closing its standard input makes the peer leave the session on purpose and end.
    void CloseInput() {
        if (input_ >= 0)
            ::close(input_);
        input_ = -1;
    }
    // Waits for the process to end by itself.
    bool WaitExit(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (pid_ > 0 && std::chrono::steady_clock::now() < end) {
            if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
                pid_ = -1;
                return true;
            }
            ::usleep(5000);
        }
        return pid_ <= 0;
    }

    // Waits for a line starting with `prefix`; `line` receives the whole line.
    bool WaitLine(const std::string& prefix, std::chrono::milliseconds limit,
                  std::string* line = nullptr) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            size_t newline;
            while ((newline = pending_.find('\n')) != std::string::npos) {
                const std::string next = pending_.substr(0, newline);
                pending_.erase(0, newline + 1);
                if (next.rfind(prefix, 0) == 0) {
                    if (line)
                        *line = next;
                    return true;
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd fd{output_, POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0)
                return false;
            char buffer[256];
            const ssize_t got = ::read(output_, buffer, sizeof buffer);
            if (got <= 0)
                return false;
            pending_.append(buffer, static_cast<size_t>(got));
        }
    }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
    int output_ = -1;
    int input_ = -1;
    std::string pending_;
};

}  // namespace nettest
