// Peers in separate processes: a peer killed or frozen mid-session is seen as lost in time.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "ChildPeer.h"
#include "NetworkTestSupport.h"

using namespace torvane;
using nettest::WaitFor;

namespace {

using nettest::ChildPeer;

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
