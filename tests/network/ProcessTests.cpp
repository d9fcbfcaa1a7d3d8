// Peers in separate processes: a peer killed or frozen mid-session is seen as lost in time.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "NetworkTestSupport.h"

using namespace torvane;
using nettest::WaitFor;

namespace {

// A torvane-peer child process whose output is read line by line.
class ChildPeer {
  public:
    explicit ChildPeer(const std::vector<std::string>& arguments) {
        int out[2], in[2];
        if (::pipe(out) != 0 || ::pipe(in) != 0)
            return;
        std::vector<std::string> all = {TORVANE_PEER};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(in[0], STDIN_FILENO);
            ::close(out[0]);
            ::close(in[1]);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(in[0]);
        output_ = out[0];
        input_ = in[1];
    }
    ~ChildPeer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::kill(pid_, SIGCONT);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0)
            ::close(output_);
        if (input_ >= 0)
            ::close(input_);
    }
    ChildPeer(const ChildPeer&) = delete;
    ChildPeer& operator=(const ChildPeer&) = delete;

    // Waits for a line starting with `prefix`.
    bool WaitLine(const std::string& prefix, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            size_t newline;
            while ((newline = pending_.find('\n')) != std::string::npos) {
                const std::string line = pending_.substr(0, newline);
                pending_.erase(0, newline + 1);
                if (line.rfind(prefix, 0) == 0)
                    return true;
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

    void Signal(int signal) { ::kill(pid_, signal); }
    bool Started() const { return pid_ > 0; }

  private:
    pid_t pid_ = -1;
    int output_ = -1;
    int input_ = -1;
    std::string pending_;
};

std::vector<std::string> PortArguments(const platform::PeerOptions& options) {
    return {"--discovery", std::to_string(options.discoveryPort),
            "--base",      std::to_string(options.basePort),
            "--last",      std::to_string(options.lastPort),
            "--search-ms", "250"};
}

class ProcessTest : public testing::Test {
  protected:
    platform::PeerOptions options = nettest::PrivateOptions();
};

TEST_F(ProcessTest, AKilledPeerIsLostOnceWithinFiveSeconds) {
    nettest::Player host("Hote", options);
    ASSERT_TRUE(host.engine->HostGame("Partie"));
    auto arguments = PortArguments(options);
    arguments.insert(arguments.begin(), {"join", "--name", "Enfant", "--host", "127.0.0.1"});
    ChildPeer child(arguments);
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(child.WaitLine("READY", std::chrono::milliseconds(5000)));
    ASSERT_TRUE(WaitFor([&] { return host.engine->PlayerCount() == 2; }));

    child.Signal(SIGKILL);
    const auto killed = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return !host.listener.lost.empty(); },
                        std::chrono::milliseconds(5000), {host.engine.get()}));
    EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::seconds(5));
    EXPECT_EQ(host.engine->PlayerCount(), 1);
    WaitFor([] { return false; }, std::chrono::milliseconds(200), {host.engine.get()});
    EXPECT_EQ(host.listener.lost, std::vector<std::string>{"Enfant"});
    EXPECT_TRUE(host.listener.removed.empty());
}

TEST_F(ProcessTest, AFrozenPeerIsLostByItsSilenceWithinFiveSeconds) {
    nettest::Player host("Hote", options);  // default heartbeat and time-out
    ASSERT_TRUE(host.engine->HostGame("Partie"));
    auto arguments = PortArguments(options);
    arguments.insert(arguments.begin(), {"join", "--name", "Glace", "--host", "127.0.0.1"});
    ChildPeer child(arguments);
    ASSERT_TRUE(child.WaitLine("READY", std::chrono::milliseconds(5000)));
    ASSERT_TRUE(WaitFor([&] { return host.engine->PlayerCount() == 2; }));

    // Stopped, the process keeps its socket open: only the missing heartbeats tell.
    child.Signal(SIGSTOP);
    const auto frozen = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return !host.listener.lost.empty(); },
                        std::chrono::milliseconds(6000), {host.engine.get()}));
    EXPECT_LE(std::chrono::steady_clock::now() - frozen, std::chrono::milliseconds(5100));
    EXPECT_EQ(host.listener.lost, std::vector<std::string>{"Glace"});
    EXPECT_EQ(host.engine->PlayerCount(), 1);
}

TEST_F(ProcessTest, AKilledHostLeavesTheJoinerAsHost) {
    auto arguments = PortArguments(options);
    arguments.insert(arguments.begin(), {"host", "--name", "Chef", "--game", "Partie"});
    ChildPeer child(arguments);
    ASSERT_TRUE(child.WaitLine("READY", std::chrono::milliseconds(5000)));
    nettest::Player joiner("Joueur", options);
    joiner.engine->EnumerateGames("127.0.0.1");
    ASSERT_EQ(joiner.engine->PartyCount(), 1);
    ASSERT_TRUE(joiner.engine->JoinGame(joiner.engine->GetParty(0)->hostAddress));
    EXPECT_FALSE(joiner.engine->IsHost());
    ASSERT_TRUE(child.WaitLine("JOINED Joueur", std::chrono::milliseconds(3000)));

    child.Signal(SIGKILL);
    ASSERT_TRUE(WaitFor([&] { return joiner.engine->IsHost() && !joiner.listener.lost.empty(); },
                        std::chrono::milliseconds(5000), {joiner.engine.get()}));
    EXPECT_EQ(joiner.listener.lost, std::vector<std::string>{"Chef"});
    EXPECT_EQ(joiner.engine->PlayerCount(), 1);
}

}  // namespace
