// Peers in separate processes: a peer killed or frozen mid-session is seen as lost in time, and
// a host that dies or loses one member's link leaves exactly one host.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ChildPeer.h"
#include "NetworkTestSupport.h"
#include "RawPeer.h"

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

TEST_F(ProcessTest, AnOutsiderParkedAtAMemberCannotStopARealJoiner) {
    namespace wire = platform::wire;
    auto arguments = PortArguments(options);
    arguments.insert(arguments.begin(), {"host", "--name", "Hote", "--game", "Partie"});
    ChildPeer host(arguments);
    ASSERT_TRUE(host.WaitLine("READY", std::chrono::milliseconds(5000)));
    arguments = PortArguments(options);
    arguments.insert(arguments.begin(), {"join", "--name", "Bob", "--host", "127.0.0.1"});
    ChildPeer bob(arguments);
    ASSERT_TRUE(bob.WaitLine("READY", std::chrono::milliseconds(5000)));

    // The outsider learns the session from a search answer, then parks a mesh HELLO for the next
    // id at every port of the range where somebody listens: Bob's is one of them.
    uint16_t hostPort = 0;
    wire::Answer answer;
    for (uint32_t port = options.basePort; port <= options.lastPort && hostPort == 0; ++port) {
        std::vector<uint8_t> bytes;
        if (nettest::DrawsAnswer(static_cast<uint16_t>(port), wire::EncodeQuery(3), 300, &bytes) &&
            wire::DecodeAnswer(bytes, answer)) {
            hostPort = static_cast<uint16_t>(port);
        }
    }
    ASSERT_NE(hostPort, 0);
    wire::Hello hello;
    hello.kind = wire::HelloKind::Mesh;
    hello.playerId = 3;
    hello.session = answer.session;
    PlayerInfo intruder;
    intruder.SetName("Intrus");
    const auto record = EncodePlayer(intruder);
    hello.data.assign(record.begin(), record.end());
    std::vector<std::unique_ptr<nettest::RawLink>> parked;
    for (uint32_t port = options.basePort; port <= options.lastPort; ++port) {
        auto link = std::make_unique<nettest::RawLink>(static_cast<uint16_t>(port));
        if (port != hostPort && link->Connected() && link->SendFrame(wire::EncodeHello(hello)))
            parked.push_back(std::move(link));
    }
    ASSERT_FALSE(parked.empty());

    arguments = PortArguments(options);
    arguments.insert(arguments.begin(), {"join", "--name", "Carol", "--host", "127.0.0.1"});
    ChildPeer carol(arguments);
    ASSERT_TRUE(carol.WaitLine("READY", std::chrono::milliseconds(5000)));
    EXPECT_TRUE(bob.WaitLine("JOINED Carol", std::chrono::milliseconds(3000)));
    std::string line;
    ASSERT_TRUE(bob.Write("players"));
    ASSERT_TRUE(bob.WaitLine("PLAYERS", std::chrono::milliseconds(2000), &line));
    EXPECT_EQ(line.rfind("PLAYERS 3 ", 0), 0u) << line;
}

// What a peer process says of its table.
struct Snapshot {
    int players = -1;
    int host = -1;
    int self = -1;
};

Snapshot Ask(ChildPeer& peer) {
    Snapshot snapshot;
    std::string line;
    if (peer.Write("players") && peer.WaitLine("PLAYERS", std::chrono::milliseconds(2000), &line)) {
        std::sscanf(line.c_str(), "PLAYERS %d HOST %d SELF %d", &snapshot.players, &snapshot.host,
                    &snapshot.self);
    }
    return snapshot;
}

// Three peer processes: a host and two joiners, with the default heartbeat and time-out.
class ThreePeersTest : public ProcessTest {
  protected:
    void SetUp() override {
        auto arguments = PortArguments(options);
        arguments.insert(arguments.begin(), {"host", "--name", "Hote", "--game", "Partie"});
        peers.push_back(std::make_unique<ChildPeer>(arguments));
        ASSERT_TRUE(peers[0]->WaitLine("READY", std::chrono::milliseconds(5000)));
        for (const char* name : {"Bea", "Cyd"}) {
            arguments = PortArguments(options);
            arguments.insert(arguments.begin(), {"join", "--name", name, "--host", "127.0.0.1"});
            peers.push_back(std::make_unique<ChildPeer>(arguments));
            ASSERT_TRUE(peers.back()->WaitLine("READY", std::chrono::milliseconds(5000)));
        }
        ASSERT_TRUE(WaitFor([&] {
            for (auto& peer : peers) {
                if (Ask(*peer).players != 3)
                    return false;
            }
            return true;
        }));
        for (auto& peer : peers)
            ids.push_back(Ask(*peer).self);
    }

    std::vector<std::unique_ptr<ChildPeer>> peers;  // host, older joiner, younger joiner
    std::vector<int> ids;
};

// One member's link to the host breaks (its traffic is silently dropped both ways): the host
// stays the host of everybody it still reaches, and the cut-off member ends up alone instead of
// becoming a second host. Parameter: 1 cuts the host's successor, 2 the youngest player.
class SplitLinkTest : public ThreePeersTest, public testing::WithParamInterface<int> {};

TEST_P(SplitLinkTest, ExactlyOneHostRemainsWithinFiveSeconds) {
    const int cut = GetParam();
    const int other = 3 - cut;
    ASSERT_TRUE(peers[cut]->Write("sever " + std::to_string(ids[0])));
    const auto start = std::chrono::steady_clock::now();
    bool twoHosts = false;
    const bool settled = WaitFor(
        [&] {
            const Snapshot host = Ask(*peers[0]);
            const Snapshot stays = Ask(*peers[other]);
            const Snapshot alone = Ask(*peers[cut]);
            twoHosts |= host.host != ids[0] || stays.host != ids[0];
            return host.players == 2 && stays.players == 2 && alone.players == 1;
        },
        std::chrono::milliseconds(8000));
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(settled);
    EXPECT_FALSE(twoHosts);
    EXPECT_LT(took, std::chrono::milliseconds(5000))
        << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    // And it stays that way.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(Ask(*peers[0]).players, 2);
    const Snapshot stays = Ask(*peers[other]);
    EXPECT_EQ(stays.players, 2);
    EXPECT_EQ(stays.host, ids[0]);
}

INSTANTIATE_TEST_SUITE_P(Links, SplitLinkTest, testing::Values(1, 2));

TEST_F(ThreePeersTest, AKilledHostIsSucceededByTheOldestPlayerForEverybody) {
    peers[0]->Signal(SIGKILL);
    EXPECT_TRUE(WaitFor(
        [&] {
            const Snapshot older = Ask(*peers[1]);
            const Snapshot younger = Ask(*peers[2]);
            return older.players == 2 && younger.players == 2 && older.host == ids[1] &&
                   younger.host == ids[1];
        },
        std::chrono::milliseconds(6000)));
}

}  // namespace
