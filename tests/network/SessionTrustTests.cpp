// Claims nobody should be able to make: taking a joiner's place at a member, a welcome with
// impossible ids, a forged search answer, a second host, and an old host's goodbye overtaken by
// its successor's admissions.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "NetworkTestSupport.h"
#include "RawPeer.h"
#include "platform/PeerWire.h"

using namespace torvane;
using nettest::DrawsAnswer;
using nettest::FindHost;
using nettest::Heartbeat;
using nettest::Names;
using nettest::RawLink;
using nettest::RawListener;
using nettest::Record;
using nettest::WaitFor;
namespace wire = platform::wire;

namespace {

class SessionTrustTest : public testing::Test {
  protected:
    void SetUp() override {
        options.heartbeatMs = 200;
        options.timeoutMs = 2000;
    }

    // The session id, as anybody who searches learns it.
    uint64_t SessionOf(uint16_t hostPort) {
        std::vector<uint8_t> bytes;
        wire::Answer answer;
        EXPECT_TRUE(DrawsAnswer(hostPort, wire::EncodeQuery(7), 1000, &bytes));
        EXPECT_TRUE(wire::DecodeAnswer(bytes, answer));
        return answer.session;
    }

    platform::PeerOptions options = nettest::PrivateOptions();
};

// ---- mesh joins ----------------------------------------------------------------------------

TEST_F(SessionTrustTest, AnOutsiderParkedAtAMemberCannotTakeTheNextJoinersPlace) {
    nettest::Player host("Hote", options);
    ASSERT_TRUE(host.engine->HostGame("Partie"));
    nettest::Player bob("Bob", options);
    const HostAddress address = FindHost(*bob.engine);
    ASSERT_TRUE(bob.engine->JoinGame(address));
    const uint64_t session = SessionOf(address.port);

    // The outsider parks a mesh HELLO for the next id (3) at every other port of the range,
    // Bob's among them, before Carol joins. It knows the session, not the admission token.
    wire::Hello hello;
    hello.kind = wire::HelloKind::Mesh;
    hello.playerId = 3;
    hello.session = session;
    hello.token = 0x5EC1E7;
    hello.data = Record("Intrus");
    std::vector<std::unique_ptr<RawLink>> parked;
    for (uint32_t port = options.basePort; port <= options.lastPort; ++port) {
        if (port == address.port)
            continue;
        auto link = std::make_unique<RawLink>(static_cast<uint16_t>(port));
        if (link->Connected() && link->SendFrame(wire::EncodeHello(hello)))
            parked.push_back(std::move(link));
    }
    ASSERT_FALSE(parked.empty());

    nettest::Player carol("Carol", options);
    ASSERT_TRUE(carol.engine->JoinGame(address));
    const std::vector<std::string> everybody = {"Bob", "Carol", "Hote"};
    ASSERT_TRUE(WaitFor([&] { return Names(*bob.engine) == everybody; }));
    EXPECT_EQ(Names(*carol.engine), everybody);
    EXPECT_EQ(Names(*host.engine), everybody);
    EXPECT_GE(bob.engine->SessionStats().refusedMeshHellos, 1u);
    // Every parked attempt was turned away, Bob's with a refusal.
    size_t refused = 0;
    for (auto& link : parked) {
        std::vector<uint8_t> body;
        refused += link->Read(wire::FrameType::Refuse, body, 500) ? 1 : 0;
    }
    EXPECT_GE(refused, 1u);

    // After the announcement the token is still unknown to the outsider: refused at once.
    hello.playerId = 4;
    bool answered = false;
    for (uint32_t port = options.basePort; port <= options.lastPort && !answered; ++port) {
        if (port == address.port)
            continue;
        RawLink link(static_cast<uint16_t>(port));
        if (!link.Connected())
            continue;
        link.SendFrame(wire::EncodeHello(hello));
        std::vector<uint8_t> body;
        answered = link.Read(wire::FrameType::MeshOk, body, 300);
    }
    EXPECT_FALSE(answered);
    EXPECT_EQ(bob.engine->PlayerCount(), 3);
}

// ---- welcomes ------------------------------------------------------------------------------

// A fake host that answers one join HELLO with `welcome`, on its own thread.
class FakeHost {
  public:
    explicit FakeHost(wire::Welcome welcome)
        : thread_([this, welcome = std::move(welcome)] {
              RawLink joiner(listener_.Accept());
              std::vector<uint8_t> body;
              if (joiner.Read(wire::FrameType::Hello, body))
                  joiner.SendFrame(wire::EncodeWelcome(welcome));
              // Hold the connection while the joiner decides.
              joiner.ClosedByPeer(1500);
          }) {}
    ~FakeHost() { thread_.join(); }
    uint16_t Port() const { return listener_.Port(); }

  private:
    RawListener listener_;
    std::thread thread_;
};

TEST_F(SessionTrustTest, WelcomesWithImpossibleIdsAreRefusedWhole) {
    RawListener roster;  // a member address that would accept the joiner's mesh connection
    const auto welcome = [&](int32_t assigned, int32_t host,
                             std::vector<wire::RosterEntry> entries) {
        wire::Welcome w;
        w.assignedId = assigned;
        w.hostId = host;
        w.session = 99;
        w.token = 1;
        w.hostListenPort = 1;
        w.maxPlayers = 8;
        w.name = u"3.00a Piege";
        w.hostData = Record("Faux");
        w.roster = std::move(entries);
        return w;
    };
    const uint16_t port = roster.Port();
    const std::vector<wire::Welcome> hostile = {
        welcome(0x7FFFFFFF, 1, {}),  // the next id would overflow
        welcome(2, 0x7FFFFFFE, {}),  // so would a host's
        welcome(4, 1, {{3, 0x7F000001u, port}, {3, 0x7F000001u, port}}),  // one id twice
        welcome(4, 1, {{1, 0x7F000001u, port}}),  // the host in its own roster
        welcome(2, 1, {{3, 0x7F000001u, port}}),  // the joiner is not the newest
        welcome(1, 1, {}),                        // the joiner is the host
        welcome(-5, 1, {}),
    };
    DirectPlay joiner("Naif", options);
    uint64_t malformed = 0;
    for (const auto& w : hostile) {
        FakeHost fake(w);
        EXPECT_FALSE(joiner.JoinGame(nettest::Loopback(fake.Port())))
            << w.assignedId << " " << w.hostId;
        EXPECT_EQ(joiner.PlayerCount(), 0);
        EXPECT_FALSE(joiner.IsHost());
        EXPECT_GT(joiner.SessionStats().malformedFrames, malformed);
        malformed = joiner.SessionStats().malformedFrames;
    }
    // The same engine still joins an honest host afterwards.
    nettest::Player host("Hote", options);
    ASSERT_TRUE(host.engine->HostGame("Partie"));
    EXPECT_TRUE(joiner.JoinGame(FindHost(joiner)));
    EXPECT_TRUE(WaitFor([&] { return joiner.PlayerCount() == 2; }));
}

// ---- searches ------------------------------------------------------------------------------

// Answers every search query that reaches `port` with forged answers built by `forge`.
class FakeAnswerer {
  public:
    using Forge = std::function<std::vector<wire::Answer>(uint64_t nonce)>;
    FakeAnswerer(uint16_t port, Forge forge) : forge_(std::move(forge)) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address = nettest::LoopbackTo(port);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakeAnswerer() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    bool Bound() const { return bound_; }

  private:
    void Serve() {
        while (!stop_) {
            pollfd fd{fd_, POLLIN, 0};
            if (::poll(&fd, 1, 20) <= 0)
                continue;
            uint8_t buffer[512];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t got = ::recvfrom(fd_, buffer, sizeof buffer, 0,
                                           reinterpret_cast<sockaddr*>(&from), &length);
            uint64_t nonce = 0;
            if (got <= 0 || !wire::DecodeQuery(std::span(buffer, static_cast<size_t>(got)), nonce))
                continue;
            for (const auto& answer : forge_(nonce)) {
                const auto bytes = wire::EncodeAnswer(answer);
                ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&from),
                         length);
            }
        }
    }

    Forge forge_;
    int fd_ = -1;
    bool bound_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST_F(SessionTrustTest, AForgedAnswerForALiveSessionDoesNotHideTheRealHost) {
    nettest::Player host("Hote", options);
    ASSERT_TRUE(host.engine->HostGame("Partie"));
    DirectPlay browser("Bea", options);
    const HostAddress real = FindHost(browser);
    const uint64_t session = SessionOf(real.port);
    // The forger sits on the last port of the range, which every search of this machine asks.
    FakeAnswerer forger(options.lastPort, [&](uint64_t nonce) {
        wire::Answer answer;
        answer.nonce = nonce;
        answer.session = session;
        answer.players = 1;
        answer.maxPlayers = 8;
        answer.tcpPort = options.lastPort;
        answer.name = u"3.00a Piege";
        return std::vector<wire::Answer>{answer};
    });
    ASSERT_TRUE(forger.Bound());
    for (int search = 0; search < 3; ++search) {
        browser.EnumerateGames("127.0.0.1");
        ASSERT_EQ(browser.PartyCount(), 2) << search;
        std::vector<std::string> games;
        bool realListed = false;
        for (int i = 0; i < browser.PartyCount(); ++i) {
            games.push_back(browser.GetParty(i)->gameName);
            realListed |= browser.GetParty(i)->hostAddress == real;
        }
        std::sort(games.begin(), games.end());
        EXPECT_EQ(games, (std::vector<std::string>{"Partie", "Piege"}));
        EXPECT_TRUE(realListed);
    }
}

TEST_F(SessionTrustTest, ASearchCollectsABoundedNumberOfParties) {
    FakeAnswerer flood(options.lastPort, [&](uint64_t nonce) {
        std::vector<wire::Answer> answers(300);
        for (size_t i = 0; i < answers.size(); ++i) {
            answers[i].nonce = nonce;
            answers[i].session = 1000 + i;
            answers[i].maxPlayers = 8;
            answers[i].tcpPort = static_cast<uint16_t>(3000 + i);
            answers[i].name = u"3.00a Foule";
        }
        return answers;
    });
    ASSERT_TRUE(flood.Bound());
    DirectPlay browser("Bea", options);
    browser.EnumerateGames("127.0.0.1");
    EXPECT_EQ(browser.PartyCount(), static_cast<int>(platform::kMaxSearchParties));
    EXPECT_GT(browser.SessionStats().droppedAnswers, 0u);
}

// ---- host succession -------------------------------------------------------------------------

// Joins `hostPort` with a raw HELLO, listening for mesh connections itself.
struct RawMember {
    explicit RawMember(const std::string& name) : data(Record(name)) {}

    bool Join(uint16_t hostPort) {
        host = std::make_unique<RawLink>(hostPort);
        wire::Hello hello;
        hello.listenPort = listener.Port();
        hello.data = data;
        std::vector<uint8_t> body;
        return host->SendFrame(wire::EncodeHello(hello)) &&
               host->Read(wire::FrameType::Welcome, body) && wire::DecodeWelcome(body, welcome);
    }
    // Takes one mesh connection and admits it.
    RawLink* AcceptMesh(wire::Hello& hello) {
        auto link = std::make_unique<RawLink>(listener.Accept());
        std::vector<uint8_t> body;
        if (!link->Read(wire::FrameType::Hello, body) || !wire::DecodeHello(body, hello))
            return nullptr;
        link->SendFrame(wire::EncodeMeshOk({welcome.assignedId, data}));
        mesh.push_back(std::move(link));
        return mesh.back().get();
    }

    std::vector<uint8_t> data;
    RawListener listener;
    std::unique_ptr<RawLink> host;
    wire::Welcome welcome;
    std::vector<std::unique_ptr<RawLink>> mesh;
};

TEST_F(SessionTrustTest, AMemberClaimingTheSuccessionOfALiveHostIsCutOff) {
    nettest::Player host("Hote", options);
    ASSERT_TRUE(host.engine->HostGame("Partie"));
    nettest::Player carla("Carla", options);
    const HostAddress address = FindHost(*carla.engine);
    RawMember rogue("Rebelle");
    ASSERT_TRUE(rogue.Join(address.port));
    Heartbeat heartbeat;
    heartbeat.Add(*rogue.host);
    auto joined = std::async(std::launch::async, [&] { return carla.engine->JoinGame(address); });
    wire::Hello hello;
    RawLink* toCarla = rogue.AcceptMesh(hello);
    ASSERT_NE(toCarla, nullptr);
    heartbeat.Add(*toCarla);
    ASSERT_TRUE(joined.get());
    ASSERT_EQ(Names(*carla.engine), (std::vector<std::string>{"Carla", "Hote", "Rebelle"}));

    // The rogue (id 2, the oldest after the host) says the host is gone and takes over.
    const int32_t hostId = host.engine->LocalPlayerId();
    toCarla->SendFrame(wire::EncodeHostLost({hostId, true}));
    ASSERT_TRUE(WaitFor([&] { return !carla.listener.lost.empty(); },
                        std::chrono::milliseconds(3000), {carla.engine.get()}));
    EXPECT_EQ(carla.listener.lost, std::vector<std::string>{"Rebelle"});
    EXPECT_EQ(carla.engine->HostPlayerId(), hostId);
    EXPECT_GE(carla.engine->SessionStats().refusedSuccessions, 1u);
    EXPECT_EQ(Names(*carla.engine), (std::vector<std::string>{"Carla", "Hote"}));
    heartbeat.Remove(*toCarla);
}

TEST_F(SessionTrustTest, WhatASuccessorSaysAheadOfTheOldHostsGoodbyeIsKept) {
    // A raw host says goodbye to Bob first and to Carla only later, while Bob, its successor,
    // already admits Dan: Carla hears of Dan before she hears the old host leave.
    RawListener hostSocket;
    const uint64_t session = 0xC0FFEE;
    const auto welcome = [&](int32_t id, std::vector<wire::RosterEntry> roster, uint64_t token) {
        wire::Welcome w;
        w.assignedId = id;
        w.hostId = 1;
        w.session = session;
        w.token = token;
        w.hostListenPort = hostSocket.Port();
        w.maxPlayers = 8;
        w.name = u"3.00a Partie";
        w.hostData = Record("Ancien");
        w.roster = std::move(roster);
        return w;
    };
    nettest::Player bob("Bob", options);
    nettest::Player carla("Carla", options);
    std::unique_ptr<RawLink> toBob, toCarla;
    Heartbeat heartbeat;  // stops before the links it uses go
    uint16_t bobPort = 0;
    {
        auto joined = std::async(std::launch::async, [&] {
            return bob.engine->JoinGame(nettest::Loopback(hostSocket.Port()));
        });
        toBob = std::make_unique<RawLink>(hostSocket.Accept());
        std::vector<uint8_t> body;
        wire::Hello hello;
        ASSERT_TRUE(toBob->Read(wire::FrameType::Hello, body) && wire::DecodeHello(body, hello));
        bobPort = hello.listenPort;
        toBob->SendFrame(wire::EncodeWelcome(welcome(2, {}, 22)));
        heartbeat.Add(*toBob);
        ASSERT_TRUE(joined.get());
    }
    {
        auto joined = std::async(std::launch::async, [&] {
            return carla.engine->JoinGame(nettest::Loopback(hostSocket.Port()));
        });
        toCarla = std::make_unique<RawLink>(hostSocket.Accept());
        std::vector<uint8_t> body;
        wire::Hello hello;
        ASSERT_TRUE(toCarla->Read(wire::FrameType::Hello, body) && wire::DecodeHello(body, hello));
        toBob->SendFrame(wire::EncodeAnnounce({{3, 0x7F000001u, hello.listenPort}, 33}));
        toCarla->SendFrame(wire::EncodeWelcome(welcome(3, {{2, 0x7F000001u, bobPort}}, 33)));
        heartbeat.Add(*toCarla);
        ASSERT_TRUE(joined.get());
    }
    ASSERT_TRUE(WaitFor([&] { return Names(*bob.engine).size() == 3; }));

    heartbeat.Remove(*toBob);
    toBob->SendFrame(wire::EncodeBye());
    ASSERT_TRUE(WaitFor([&] { return bob.engine->IsHost(); }, std::chrono::milliseconds(3000),
                        {bob.engine.get()}));
    // Carla still hears the old host (it never answers her pings): Bob's claim waits, and so
    // does what Bob already says as host.
    TerritoryTable table{};
    table[0].army = 77;
    bob.engine->SendTerritoryTable(table);
    nettest::Player dan("Dan", options);
    auto danJoined = std::async(std::launch::async,
                                [&] { return dan.engine->JoinGame(nettest::Loopback(bobPort)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(carla.engine->HostPlayerId(), 1);
    carla.engine->DeliverEvents();
    EXPECT_TRUE(carla.listener.tables.empty());
    heartbeat.Remove(*toCarla);
    toCarla->SendFrame(wire::EncodeBye());

    ASSERT_TRUE(danJoined.get());
    const std::vector<std::string> everybody = {"Bob", "Carla", "Dan"};
    ASSERT_TRUE(WaitFor([&] { return Names(*carla.engine) == everybody; }));
    EXPECT_EQ(Names(*dan.engine), everybody);
    EXPECT_EQ(carla.engine->HostPlayerId(), bob.engine->LocalPlayerId());
    WaitFor([] { return false; }, std::chrono::milliseconds(200),
            {bob.engine.get(), carla.engine.get()});
    EXPECT_TRUE(carla.listener.lost.empty());
    EXPECT_TRUE(bob.listener.lost.empty());
    ASSERT_EQ(carla.listener.tables.size(), 1u);
    EXPECT_EQ(carla.listener.tables[0][0].army, 77);
    EXPECT_EQ(carla.listener.tableSenders, std::vector<int32_t>{bob.engine->LocalPlayerId()});
    EXPECT_EQ(carla.engine->Trust().refusedHostMessages, 0u);
}

// ---- leaving -------------------------------------------------------------------------------

TEST(SessionCloseTest, LeavingNeverReturnsWhileTheSessionThreadIsStillInTheHandler) {
    struct SlowHandler : nettest::BareHandler {
        SlowHandler() : BareHandler(true) {}
        void OnTerminateSession() override {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            finished = true;
        }
        std::atomic<bool> finished{false};
    } handler;
    auto options = nettest::PrivateOptions();
    options.closeTimeoutMs = 50;
    auto session = platform::PeerSession::Create(handler, options);
    ASSERT_TRUE(session);
    ASSERT_EQ(session->Host(u"3.00a Partie", 8, 0), platform::PeerResult::Ok);
    session->Close();
    // Past its time limit, leaving stops the thread, and waits for it to leave the handler.
    EXPECT_TRUE(handler.finished);
    EXPECT_EQ(session->Host(u"3.00a Partie", 8, 0), platform::PeerResult::Failed);
    session.reset();
}

}  // namespace
