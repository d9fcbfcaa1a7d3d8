// Raw sockets against a hosting engine: garbage, forged data, short messages and dying peers.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include "NetworkTestSupport.h"
#include "RawPeer.h"

#include "platform/PeerWire.h"

using namespace torvane;
using nettest::DrawsAnswer;
using nettest::RawLink;
using nettest::Record;
using nettest::SendDatagram;
using nettest::WaitFor;
namespace wire = platform::wire;

namespace {

class HostileTest : public testing::Test {
  protected:
    void SetUp() override {
        options.heartbeatMs = 100;
        options.timeoutMs = 600;
        host = std::make_unique<nettest::Player>("Hote", options);
        ASSERT_TRUE(host->engine->HostGame("Partie"));
        DirectPlay browser("Bea", options);
        browser.EnumerateGames("127.0.0.1");
        ASSERT_EQ(browser.PartyCount(), 1);
        port = browser.GetParty(0)->hostAddress.port;
    }

    // Joins with raw bytes as peer data; returns the id the host gave.
    int32_t RawJoin(RawLink& link, std::span<const uint8_t> data) {
        wire::Hello hello;
        hello.data.assign(data.begin(), data.end());
        hello.listenPort = 1;
        EXPECT_TRUE(link.SendFrame(wire::EncodeHello(hello)));
        std::vector<uint8_t> body;
        wire::Welcome welcome;
        if (!link.Read(wire::FrameType::Welcome, body) || !wire::DecodeWelcome(body, welcome)) {
            return 0;
        }
        return welcome.assignedId;
    }

    void Settle(int ms = 150) {
        WaitFor([] { return false; }, std::chrono::milliseconds(ms), {host->engine.get()});
    }

    platform::PeerOptions options = nettest::PrivateOptions();
    std::unique_ptr<nettest::Player> host;
    uint16_t port = 0;
};

TEST_F(HostileTest, GarbageOnTheTcpPortIsRefusedCountedAndTheSessionGoesOn) {
    {
        RawLink http(port);
        ASSERT_TRUE(http.Connected());
        const std::string request = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
        http.Send(std::span(reinterpret_cast<const uint8_t*>(request.data()), request.size()));
        EXPECT_TRUE(http.ClosedByPeer());
    }
    {
        RawLink badHello(port);
        badHello.SendFrame(std::vector<uint8_t>{1, 'x', 'y', 'z'});
        EXPECT_TRUE(badHello.ClosedByPeer());
    }
    {
        RawLink unknown(port);
        unknown.SendFrame(std::vector<uint8_t>{0xEE, 1, 2});
        EXPECT_TRUE(unknown.ClosedByPeer());
    }
    EXPECT_GE(host->engine->SessionStats().malformedFrames, 3u);
    EXPECT_EQ(host->engine->PlayerCount(), 1);
    Settle();
    EXPECT_EQ(host->listener.joined, std::vector<std::string>{"Hote"});
    // A real player still gets in.
    DirectPlay joiner("Vrai", options);
    EXPECT_TRUE(joiner.JoinGame({0x7F000001u, port}));
    EXPECT_TRUE(WaitFor([&] { return host->engine->PlayerCount() == 2; }));
}

TEST_F(HostileTest, GarbageOnTheDiscoveryPortsIsRefusedCountedAndUnanswered) {
    const uint64_t before = host->engine->SessionStats().malformedDatagrams;
    SendDatagram(options.discoveryPort, std::vector<uint8_t>{1, 2, 3});
    SendDatagram(port, std::vector<uint8_t>(300, 0xFF));
    // A well-formed but unpadded query gets no answer: answers never outweigh their query.
    const auto query = wire::EncodeQuery(5);
    EXPECT_FALSE(DrawsAnswer(port, std::span(query).first(40)));
    EXPECT_TRUE(DrawsAnswer(port, query));
    EXPECT_TRUE(
        WaitFor([&] { return host->engine->SessionStats().malformedDatagrams >= before + 3; }));
    DirectPlay browser("Bea", options);
    browser.EnumerateGames("127.0.0.1");
    EXPECT_EQ(browser.PartyCount(), 1);
}

TEST_F(HostileTest, APeerWhoseSocketDiesIsLostOnceAfterLeavingTheTable) {
    RawLink ghost(port);
    const int32_t id = RawJoin(ghost, Record("Fantome"));
    ASSERT_NE(id, 0);
    ASSERT_TRUE(WaitFor([&] { return host->listener.joined.size() == 2; },
                        std::chrono::milliseconds(2000), {host->engine.get()}));
    EXPECT_EQ(host->listener.joined.back(), "Fantome");
    ghost.Close();  // no goodbye
    ASSERT_TRUE(WaitFor([&] { return !host->listener.lost.empty(); },
                        std::chrono::milliseconds(2000), {host->engine.get()}));
    PlayerInfo record;
    EXPECT_FALSE(host->engine->CopyPlayer(id, record));
    Settle();
    EXPECT_EQ(host->listener.lost, std::vector<std::string>{"Fantome"});
}

TEST_F(HostileTest, ASilentPeerIsLostWhenItStopsAnsweringHeartbeats) {
    RawLink mute(port);
    ASSERT_NE(RawJoin(mute, Record("Muet")), 0);
    ASSERT_TRUE(WaitFor([&] { return host->engine->PlayerCount() == 2; }));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return !host->listener.lost.empty(); },
                        std::chrono::milliseconds(3000), {host->engine.get()}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_EQ(host->listener.lost, std::vector<std::string>{"Muet"});
}

TEST_F(HostileTest, DataOfTheWrongSizeIsRefusedAndNobodyForgesAnotherId) {
    RawLink forger(port);
    const int32_t id = RawJoin(forger, std::vector<uint8_t>(100, 'A'));
    ASSERT_NE(id, 0);
    ASSERT_TRUE(WaitFor([&] { return host->engine->PlayerCount() == 2; }));
    PlayerInfo record;
    ASSERT_TRUE(host->engine->CopyPlayer(id, record));
    EXPECT_EQ(record.Name(), "");  // a fresh record: the 100 bytes were not taken

    // A record claiming the host's id and a name without its zero byte.
    const int32_t hostId = host->engine->LocalPlayerId();
    auto forged = Record("Pirate", hostId);
    std::fill(forged.begin(), forged.begin() + 11, 'Z');
    forger.SendFrame(wire::EncodeInfo(forged));
    ASSERT_TRUE(WaitFor([&] {
        PlayerInfo seen;
        return host->engine->CopyPlayer(id, seen) && seen.Name() == "ZZZZZZZZZZ";
    }));
    PlayerInfo hostRecord;
    ASSERT_TRUE(host->engine->CopyPlayer(hostId, hostRecord));
    EXPECT_EQ(hostRecord.Name(), "Hote");
    ASSERT_TRUE(host->engine->CopyPlayer(id, record));
    EXPECT_EQ(record.playerId, id);

    // A later record of the wrong size leaves the last good one in place.
    forger.SendFrame(wire::EncodeInfo(std::vector<uint8_t>(2951, 0)));
    Settle();
    ASSERT_TRUE(host->engine->CopyPlayer(id, record));
    EXPECT_EQ(record.Name(), "ZZZZZZZZZZ");
    EXPECT_EQ(host->engine->PlayerCount(), 2);
}

TEST_F(HostileTest, ShortOrUnknownGameMessagesAreDroppedWithoutACall) {
    RawLink sender(port);
    const int32_t id = RawJoin(sender, Record("Bavard"));
    ASSERT_NE(id, 0);
    std::vector<uint8_t> shortTable(100, 0);
    shortTable[0] = 1;
    sender.SendFrame(wire::EncodeMessage(shortTable));
    sender.SendFrame(wire::EncodeMessage(std::vector<uint8_t>{0, 1, 0, 0, 0, 'n', 'o'}));
    sender.SendFrame(wire::EncodeMessage(std::vector<uint8_t>{4, 9}));
    sender.SendFrame(wire::EncodeMessage(std::vector<uint8_t>{2, 1}));
    sender.SendFrame(wire::EncodeMessage(std::vector<uint8_t>{3, 7}));
    sender.SendFrame(wire::EncodeMessage(std::vector<uint8_t>{2, 5, 0, 0, 0}));
    ASSERT_TRUE(WaitFor([&] { return host->listener.values.size() == 1; },
                        std::chrono::milliseconds(2000), {host->engine.get()}));
    Settle();
    // An objective from anybody but the host is refused (the short table never got that far).
    EXPECT_TRUE(host->listener.bytes.empty());
    EXPECT_EQ(host->engine->Trust().refusedHostMessages, 1u);
    EXPECT_EQ(host->listener.values, std::vector<int32_t>{5});
    EXPECT_TRUE(host->listener.tables.empty());
    EXPECT_TRUE(host->listener.texts.empty());
    EXPECT_EQ(host->engine->PlayerCount(), 2);
}

TEST_F(HostileTest, AMeshHelloForAnotherSessionIsRefusedWithoutTrace) {
    RawLink stranger(port);
    wire::Hello hello;
    hello.kind = wire::HelloKind::Mesh;
    hello.playerId = 55;
    hello.session = 12345;
    hello.data = Record("Intrus");
    stranger.SendFrame(wire::EncodeHello(hello));
    std::vector<uint8_t> body;
    ASSERT_TRUE(stranger.Read(wire::FrameType::Refuse, body));
    wire::RefuseReason reason;
    ASSERT_TRUE(wire::DecodeRefuse(body, reason));
    EXPECT_EQ(reason, wire::RefuseReason::BadSession);
    EXPECT_EQ(host->engine->PlayerCount(), 1);
    Settle();
    EXPECT_EQ(host->listener.joined.size(), 1u);
    EXPECT_GE(host->engine->SessionStats().refusedConnections, 1u);
}

TEST_F(HostileTest, AFloodOfSilentConnectionsDoesNotKeepARealPlayerOut) {
    std::vector<std::unique_ptr<RawLink>> flood;
    for (int i = 0; i < 80; ++i)
        flood.push_back(std::make_unique<RawLink>(port));
    ASSERT_TRUE(WaitFor([&] { return host->engine->SessionStats().refusedConnections >= 16; }));
    DirectPlay joiner("Vrai", options);
    EXPECT_TRUE(joiner.JoinGame({0x7F000001u, port}));
    EXPECT_TRUE(WaitFor([&] { return host->engine->PlayerCount() == 2; }));
}

TEST_F(HostileTest, APeerThatStopsReadingIsDroppedInsteadOfBufferedForever) {
    RawLink sink(port);
    ASSERT_NE(RawJoin(sink, Record("Sourd")), 0);
    ASSERT_TRUE(WaitFor([&] { return host->engine->PlayerCount() == 2; }));
    // It stays alive (its heartbeats arrive) but never reads what it is sent.
    std::atomic<bool> stop{false};
    std::thread alive([&] {
        while (!stop) {
            sink.SendFrame(wire::EncodeStamp(wire::FrameType::Ping, 1));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    // The host hears its own tables too; this listener does not keep them.
    struct LostOnly : nettest::RecordingListener {
        void OnTerritories(int32_t, const TerritoryTable&) override {}
    } listener;
    host->engine->SetListener(&listener);
    // Batches of about 1.5 MB until the peer is dropped, beyond whatever the kernel buffers.
    TerritoryTable table{};
    for (int batch = 0; batch < 40 && host->engine->PlayerCount() == 2; ++batch) {
        for (int i = 0; i < 500; ++i)
            host->engine->SendTerritoryTable(table);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        host->engine->DeliverEvents();
    }
    const bool lost = WaitFor([&] { return !listener.lost.empty(); },
                              std::chrono::milliseconds(5000), {host->engine.get()});
    host->engine->ClearListener(&listener);
    stop = true;
    alive.join();
    ASSERT_TRUE(lost);
    EXPECT_EQ(listener.lost, std::vector<std::string>{"Sourd"});
    EXPECT_EQ(host->engine->PlayerCount(), 1);
}

TEST(SilentHostTest, AHostThatNeverAnswersFailsTheJoinInTime) {
    // A socket that accepts connections (through its backlog) and never says a word.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    auto options = nettest::PrivateOptions();
    options.connectTimeoutMs = 800;
    DirectPlay joiner("Patient", options);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(joiner.JoinGame({0x7F000001u, ntohs(address.sin_port)}));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(700));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
    EXPECT_EQ(joiner.PlayerCount(), 0);
    EXPECT_FALSE(joiner.IsHost());
    ::close(fd);
    // Nobody listening at all fails at once; the engine can still host afterwards.
    EXPECT_FALSE(joiner.JoinGame({0x7F000001u, ntohs(address.sin_port)}));
    EXPECT_TRUE(joiner.HostGame(""));
    EXPECT_TRUE(joiner.IsHost());
}

}  // namespace
