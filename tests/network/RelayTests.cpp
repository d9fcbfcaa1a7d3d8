// Relayed pairs on one machine: players whose incoming connections are refused or ignored, as
// behind home routers that forward nothing, reach each other through the host; a new host
// relays what the old one did; and nobody but the host passes frames on.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "NetworkTestSupport.h"
#include "RawPeer.h"
#include "platform/PeerSession.h"
#include "platform/PeerWire.h"

namespace {

using namespace std::chrono_literals;
using nettest::Heartbeat;
using nettest::RawLink;
using nettest::RawListener;
using nettest::WaitFor;
using platform::PeerOptions;
namespace wire = platform::wire;
using Bytes = std::vector<uint8_t>;

// Every event of one session, read from the test's thread.
class Recorder : public platform::PeerHandler {
  public:
    bool OnEnumQuery() override { return true; }
    bool OnIndicateConnect(std::span<const uint8_t>) override { return true; }
    void OnEnumResponse(const platform::SessionAnswer&) override {}
    void OnCreatePlayer(int32_t id) override {
        std::lock_guard lock(mutex_);
        created_.push_back(id);
    }
    void OnDestroyPlayer(int32_t id, platform::DestroyReason reason) override {
        std::lock_guard lock(mutex_);
        destroyed_[id] = reason;
    }
    void OnPeerInfo(int32_t) override {}
    void OnHostMigrate(int32_t id) override {
        std::lock_guard lock(mutex_);
        migrations_.push_back(id);
    }
    void OnReceive(int32_t sender, std::span<const uint8_t> bytes) override {
        std::lock_guard lock(mutex_);
        received_[sender].emplace_back(bytes.begin(), bytes.end());
    }
    void OnTerminateSession() override {}

    std::vector<Bytes> From(int32_t sender) const {
        std::lock_guard lock(mutex_);
        auto found = received_.find(sender);
        return found == received_.end() ? std::vector<Bytes>{} : found->second;
    }
    std::optional<platform::DestroyReason> Destroyed(int32_t id) const {
        std::lock_guard lock(mutex_);
        auto found = destroyed_.find(id);
        return found == destroyed_.end() ? std::nullopt : std::optional(found->second);
    }
    std::vector<int32_t> Migrations() const {
        std::lock_guard lock(mutex_);
        return migrations_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<int32_t> created_;
    std::map<int32_t, platform::DestroyReason> destroyed_;
    std::vector<int32_t> migrations_;
    std::map<int32_t, std::vector<Bytes>> received_;
};

struct Peer {
    explicit Peer(const PeerOptions& options)
        : session(platform::PeerSession::Create(recorder, options)) {}
    Recorder recorder;
    std::unique_ptr<platform::PeerSession> session;
    int32_t Id() const { return session->LocalId(); }
};

constexpr auto kOpen = PeerOptions::Incoming::Accept;
constexpr auto kReset = PeerOptions::Incoming::Reset;    // a router that answers with a reset
constexpr auto kSilent = PeerOptions::Incoming::Ignore;  // one that drops what comes in

bool SameLinks(const platform::PeerLinks& links, int direct, int relayed) {
    return links.direct == direct && links.relayed == relayed;
}

// A message that says who sent it and its number in that sender's series.
Bytes Numbered(int32_t sender, int number, size_t size = 8) {
    Bytes bytes(size, static_cast<uint8_t>(number));
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<size_t>(i)] =
            static_cast<uint8_t>(static_cast<uint32_t>(sender) >> (8 * i));
        bytes[4 + static_cast<size_t>(i)] =
            static_cast<uint8_t>(static_cast<uint32_t>(number) >> (8 * i));
    }
    return bytes;
}

class RelayTest : public testing::Test {
  protected:
    void SetUp() override {
        options.heartbeatMs = 100;
        options.timeoutMs = 1000;
        options.meshConnectMs = 300;
        options.connectTimeoutMs = 5000;
    }

    Peer& Add(PeerOptions::Incoming incoming) {
        PeerOptions own = options;
        own.incomingForTest = incoming;
        peers.push_back(std::make_unique<Peer>(own));
        return *peers.back();
    }
    Peer& Host() {
        Peer& host = Add(kOpen);
        EXPECT_EQ(host.session->Host(u"3.00a Partie", 8, platform::kSessionMigrateHost),
                  platform::PeerResult::Ok);
        return host;
    }
    Peer& Join(PeerOptions::Incoming incoming) {
        Peer& peer = Add(incoming);
        EXPECT_EQ(peer.session->Connect({0x7F000001u, peers[0]->session->ListenPort()}),
                  platform::PeerResult::Ok);
        return peer;
    }

    // Every peer in `group` knows `count` players.
    static bool Hold(const std::vector<Peer*>& group, int count) {
        return std::all_of(group.begin(), group.end(), [count](Peer* peer) {
            const platform::PeerLinks links = peer->session->Links();
            return links.direct + links.relayed + 1 == count;
        });
    }

    // Each of `group` sends `count` numbered messages to everybody; every member of the group
    // gets each series whole, in order, exactly once (its own included).
    static void ExchangeSeries(const std::vector<Peer*>& group, int count) {
        std::map<int32_t, size_t> before;
        for (Peer* receiver : group) {
            for (Peer* sender : group)
                before[receiver->Id() * 1000 + sender->Id()] =
                    receiver->recorder.From(sender->Id()).size();
        }
        for (int i = 0; i < count; ++i) {
            for (Peer* sender : group)
                ASSERT_TRUE(
                    sender->session->SendTo(platform::kAllPlayers, Numbered(sender->Id(), i)));
        }
        for (Peer* receiver : group) {
            for (Peer* sender : group) {
                const size_t start = before[receiver->Id() * 1000 + sender->Id()];
                ASSERT_TRUE(WaitFor([&] {
                    return receiver->recorder.From(sender->Id()).size() >= start + count;
                })) << "from "
                    << sender->Id() << " at " << receiver->Id();
                const std::vector<Bytes> got = receiver->recorder.From(sender->Id());
                ASSERT_EQ(got.size(), start + count) << "a message came twice";
                for (int i = 0; i < count; ++i)
                    EXPECT_EQ(got[start + static_cast<size_t>(i)], Numbered(sender->Id(), i));
            }
        }
    }

    PeerOptions options = nettest::PrivateOptions();
    std::vector<std::unique_ptr<Peer>> peers;
};

TEST_F(RelayTest, PlayersBehindRoutersThatForwardNothingReachEachOtherThroughTheHost) {
    Peer& host = Host();
    Peer& first = Join(kSilent);
    Peer& second = Join(kReset);
    Peer& third = Join(kSilent);
    const std::vector<Peer*> all = {&host, &first, &second, &third};
    ASSERT_TRUE(WaitFor([&] { return Hold(all, 4); }));
    // The host reaches everybody itself; the others reach only the host themselves.
    EXPECT_TRUE(SameLinks(host.session->Links(), 3, 0));
    for (Peer* player : {&first, &second, &third}) {
        EXPECT_TRUE(SameLinks(player->session->Links(), 1, 2)) << player->Id();
        EXPECT_EQ(player->session->HostId(), host.Id());
    }

    ExchangeSeries(all, 60);
    // The largest message a player may send goes through the host whole.
    Bytes largest = Numbered(third.Id(), 7, platform::kMaxMessageBytes);
    largest.back() = 0xA5;
    EXPECT_FALSE(third.session->SendTo(first.Id(), Bytes(platform::kMaxMessageBytes + 1, 1)));
    ASSERT_TRUE(third.session->SendTo(first.Id(), largest));
    ASSERT_TRUE(WaitFor([&] {
        return !first.recorder.From(third.Id()).empty() &&
               first.recorder.From(third.Id()).back().size() == largest.size();
    }));
    EXPECT_EQ(first.recorder.From(third.Id()).back(), largest);

    // Peer data reaches everybody, however it travels.
    for (Peer* player : all)
        ASSERT_TRUE(player->session->SetPeerInfo(Numbered(player->Id(), 42, 2952)));
    for (Peer* reader : all) {
        for (Peer* player : all) {
            EXPECT_TRUE(WaitFor([&] {
                Bytes data;
                uint32_t flags = 0;
                return reader->session->GetPeerInfo(player->Id(), data, flags) &&
                       data == Numbered(player->Id(), 42, 2952);
            })) << player->Id()
                << " seen by " << reader->Id();
        }
    }
    // Latency is measured through the host as well.
    EXPECT_TRUE(WaitFor([&] { return first.session->GetLatency(third.Id()) >= 0; }));
    EXPECT_GT(host.session->Stats().relayedFrames, 0u);
    for (Peer* player : all)
        EXPECT_EQ(player->session->Stats().refusedRelays, 0u);
}

TEST_F(RelayTest, WhereEveryoneIsReachableNothingIsRelayed) {
    Peer& host = Host();
    const std::vector<Peer*> all = {&host, &Join(kOpen), &Join(kOpen), &Join(kOpen)};
    ASSERT_TRUE(WaitFor([&] { return Hold(all, 4); }));
    for (Peer* player : all)
        EXPECT_TRUE(SameLinks(player->session->Links(), 3, 0)) << player->Id();
    ExchangeSeries(all, 5);
    EXPECT_EQ(host.session->Stats().relayedFrames, 0u);
}

TEST_F(RelayTest, AMachineThatStopsForLongerThanTheTimeOutLosesNobodyWhenItRunsAgain) {
    // Every session of the game is on this machine, so when it stops they all stop together,
    // as a loaded machine or a paused virtual one stops a whole game.
    Peer& host = Host();
    Peer& first = Join(kSilent);
    Peer& second = Join(kSilent);
    const std::vector<Peer*> all = {&host, &first, &second};
    ASSERT_TRUE(WaitFor([&] { return Hold(all, 3); }));
    ASSERT_TRUE(SameLinks(first.session->Links(), 1, 1));
    for (Peer* peer : all)
        peer->session->StallForTest(options.timeoutMs * 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(options.timeoutMs * 4));
    for (Peer* peer : all) {
        for (Peer* other : all)
            EXPECT_FALSE(peer->recorder.Destroyed(other->Id()).has_value())
                << other->Id() << " lost by " << peer->Id();
    }
    EXPECT_TRUE(Hold(all, 3));
    ExchangeSeries(all, 10);
}

TEST_F(RelayTest, ARelayedPlayerLostOrLeavingIsSeenSoByEveryone) {
    Peer& host = Host();
    Peer& first = Join(kSilent);
    Peer& second = Join(kSilent);
    Peer& third = Join(kSilent);
    ASSERT_TRUE(WaitFor([&] { return Hold({&host, &first, &second, &third}, 4); }));

    // The third player's connection to the host falls silent: its relayed pairs with it.
    third.session->SeverLink(host.Id());
    for (Peer* player : {&host, &first, &second}) {
        EXPECT_TRUE(WaitFor([&] { return player->recorder.Destroyed(third.Id()).has_value(); }))
            << player->Id();
        EXPECT_EQ(player->recorder.Destroyed(third.Id()), platform::DestroyReason::ConnectionLost);
    }
    ASSERT_TRUE(WaitFor([&] { return Hold({&host, &first, &second}, 3); }));
    ExchangeSeries({&host, &first, &second}, 10);

    // The second one leaves: its goodbye travels through the host too.
    const int32_t leaving = second.Id();
    second.session->Close();
    for (Peer* player : {&host, &first}) {
        EXPECT_TRUE(WaitFor([&] { return player->recorder.Destroyed(leaving).has_value(); }));
        EXPECT_EQ(player->recorder.Destroyed(leaving), platform::DestroyReason::Normal)
            << player->Id();
    }
}

TEST_F(RelayTest, ANewHostRelaysWhatTheOldOneDidAndNothingSentMeanwhileIsLost) {
    Peer& host = Host();
    Peer& open = Join(kOpen);    // the oldest player: everybody reaches it
    Peer& left = Join(kSilent);  // the two others reach only the host and the oldest
    Peer& right = Join(kSilent);
    const std::vector<Peer*> rest = {&open, &left, &right};
    ASSERT_TRUE(WaitFor([&] { return Hold({&host, &open, &left, &right}, 4); }));
    EXPECT_TRUE(SameLinks(left.session->Links(), 2, 1));
    EXPECT_TRUE(SameLinks(right.session->Links(), 2, 1));

    // The host falls silent to everybody at once, as a machine that loses its network; what
    // the pair says meanwhile waits for the new host.
    for (Peer* player : rest)
        host.session->SeverLink(player->Id());
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(left.session->SendTo(right.Id(), Numbered(left.Id(), i)));
    for (Peer* player : rest) {
        EXPECT_TRUE(WaitFor([&] { return player->session->HostId() == open.Id(); }))
            << player->Id();
    }
    ASSERT_TRUE(WaitFor([&] { return right.recorder.From(left.Id()).size() >= 20; }));
    const std::vector<Bytes> got = right.recorder.From(left.Id());
    ASSERT_EQ(got.size(), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(got[static_cast<size_t>(i)], Numbered(left.Id(), i));
    for (Peer* player : rest) {
        EXPECT_EQ(player->recorder.Migrations(), std::vector<int32_t>{open.Id()});
        EXPECT_FALSE(player->recorder.Destroyed(left.Id()).has_value());
        EXPECT_FALSE(player->recorder.Destroyed(right.Id()).has_value());
    }
    EXPECT_TRUE(Hold(rest, 3));
    ExchangeSeries(rest, 10);
    EXPECT_GT(open.session->Stats().relayedFrames, 0u);
}

TEST_F(RelayTest, AnOldestPlayerThatNobodyReachesDirectlyIsPassedOverAndLost) {
    Peer& host = Host();
    Peer& hidden = Join(kSilent);  // joined first, reached by nobody but the host
    Peer& next = Join(kOpen);
    Peer& last = Join(kOpen);
    ASSERT_TRUE(WaitFor([&] { return Hold({&host, &hidden, &next, &last}, 4); }));
    EXPECT_TRUE(SameLinks(hidden.session->Links(), 1, 2));

    host.session->Close();
    // The next player reaches everybody that is left but the hidden one: it takes over.
    for (Peer* player : {&next, &last}) {
        EXPECT_TRUE(WaitFor([&] {
            return player->session->HostId() == next.Id() &&
                   player->recorder.Destroyed(hidden.Id()).has_value();
        })) << player->Id();
        EXPECT_EQ(player->recorder.Destroyed(hidden.Id()), platform::DestroyReason::ConnectionLost);
    }
    EXPECT_TRUE(WaitFor([&] { return Hold({&next, &last}, 2); }));
    // The hidden player, cut off from the new host, is left on its own: never a second host
    // beside the first one in a session of several.
    EXPECT_TRUE(WaitFor([&] { return Hold({&hidden}, 1); }));
    ExchangeSeries({&next, &last}, 5);
}

// ---- what nobody may relay ---------------------------------------------------------------

// A member on raw sockets: joins with a HELLO of its own and answers mesh connections.
struct RawMember {
    bool Join(uint16_t hostPort) {
        host = std::make_unique<RawLink>(hostPort);
        wire::Hello hello;
        hello.listenPort = listener.Port();
        hello.data = Bytes(2952, 0);
        Bytes body;
        return host->SendFrame(wire::EncodeHello(hello)) &&
               host->Read(wire::FrameType::Welcome, body) && wire::DecodeWelcome(body, welcome);
    }
    RawLink* AcceptMesh() {
        auto link = std::make_unique<RawLink>(listener.Accept());
        Bytes body;
        if (!link->Read(wire::FrameType::Hello, body))
            return nullptr;
        link->SendFrame(wire::EncodeMeshOk({welcome.assignedId, Bytes(2952, 0)}));
        mesh = std::move(link);
        return mesh.get();
    }
    // A frame body for the host to pass to `to`.
    static Bytes Relay(int32_t to, uint32_t seq, const Bytes& inner) {
        return wire::EncodeRelay(wire::FrameType::Relay, to, seq, 0, inner);
    }
    RawListener listener;
    std::unique_ptr<RawLink> host;
    std::unique_ptr<RawLink> mesh;
    wire::Welcome welcome;
};

class RelayTrustTest : public RelayTest {
  protected:
    void SetUp() override {
        RelayTest::SetUp();
        options.timeoutMs = 3000;
    }
    uint16_t HostPort() { return peers[0]->session->ListenPort(); }
    // A real player joining after `raw`, connecting to it directly.
    Peer& JoinPast(RawMember& raw) {
        auto joined = std::async(std::launch::async, [&] { return &Join(kOpen); });
        EXPECT_NE(raw.AcceptMesh(), nullptr);
        return *joined.get();
    }
};

TEST_F(RelayTrustTest, AMemberNeverRelaysAndNobodyButTheHostPassesFramesOn) {
    Peer& host = Host();
    RawMember asker, pretender;
    ASSERT_TRUE(asker.Join(HostPort()));
    ASSERT_TRUE(pretender.Join(HostPort()));
    Heartbeat heartbeat;
    heartbeat.Add(*asker.host);
    heartbeat.Add(*pretender.host);
    auto joined = std::async(std::launch::async, [&] { return &Join(kOpen); });
    ASSERT_NE(asker.AcceptMesh(), nullptr);
    ASSERT_NE(pretender.AcceptMesh(), nullptr);
    Peer& carla = *joined.get();
    heartbeat.Add(*asker.mesh);
    heartbeat.Add(*pretender.mesh);
    ASSERT_TRUE(WaitFor([&] { return Hold({&carla}, 4); }));

    // One asks Carla, who is not the host, to pass a message on to the host.
    const Bytes message = wire::EncodeMessage(Bytes{0x02, 1, 0, 0, 0});
    asker.mesh->SendFrame(RawMember::Relay(host.Id(), 1, message));
    // The other hands Carla a message as if the host had passed it on from the host itself.
    pretender.mesh->SendFrame(
        wire::EncodeRelay(wire::FrameType::Relayed, host.Id(), 1, 0, message));
    ASSERT_TRUE(WaitFor([&] {
        return carla.recorder.Destroyed(asker.welcome.assignedId) &&
               carla.recorder.Destroyed(pretender.welcome.assignedId);
    }));
    EXPECT_EQ(carla.session->Stats().refusedRelays, 2u);
    EXPECT_TRUE(carla.recorder.From(host.Id()).empty());
    heartbeat.Remove(*asker.mesh);
    heartbeat.Remove(*pretender.mesh);
}

TEST_F(RelayTrustTest, TheHostPassesOnOnlyWhatAPairMaySayToEachOther) {
    Peer& host = Host();
    Peer& carla = Join(kOpen);
    const auto refusedAfter = [&](const Bytes& relayBody) {
        RawMember raw;
        EXPECT_TRUE(raw.Join(HostPort()));
        const uint64_t before = host.session->Stats().refusedRelays;
        raw.host->SendFrame(relayBody);
        // The host ends the connection of a member that asks for what it may not.
        EXPECT_TRUE(raw.host->ClosedByPeer(3000));
        return host.session->Stats().refusedRelays - before;
    };
    wire::Announce announce;
    announce.entry = {9, 0x7F000001u, 1234};
    announce.token = 1;
    EXPECT_EQ(refusedAfter(RawMember::Relay(carla.Id(), 1, wire::EncodeAnnounce(announce))), 1u);
    wire::Hello join;  // a join goes to the host itself, never through it
    EXPECT_EQ(refusedAfter(RawMember::Relay(carla.Id(), 1, wire::EncodeHello(join))), 1u);
    EXPECT_EQ(refusedAfter(RawMember::Relay(host.Id(), 1, wire::EncodeBye())), 1u);
    // Only heartbeats go unnumbered.
    EXPECT_EQ(
        refusedAfter(RawMember::Relay(carla.Id(), 0, wire::EncodeMessage(Bytes{2, 0, 0, 0, 0}))),
        1u);
    // A relay frame inside a relay frame.
    EXPECT_EQ(refusedAfter(RawMember::Relay(carla.Id(), 1,
                                            RawMember::Relay(host.Id(), 1, wire::EncodeBye()))),
              1u);
    EXPECT_TRUE(carla.recorder.From(host.Id()).empty());
    EXPECT_EQ(carla.session->Links().direct, 1);
}

TEST_F(RelayTrustTest, ARelayedFrameSpeaksOnlyForTheMemberTheHostHeardItFrom) {
    Peer& host = Host();
    Peer& carla = Join(kOpen);
    RawMember raw;
    ASSERT_TRUE(raw.Join(HostPort()));
    Heartbeat heartbeat;
    heartbeat.Add(*raw.host);
    const int32_t self = raw.welcome.assignedId;
    // The raw member never connects to Carla itself; its HELLO through the host names another
    // player first, then itself.
    wire::Hello hello;
    hello.kind = wire::HelloKind::Mesh;
    hello.session = raw.welcome.session;
    hello.token = raw.welcome.token;
    hello.data = Bytes(2952, 0);
    hello.playerId = host.Id();
    raw.host->SendFrame(RawMember::Relay(carla.Id(), 1, wire::EncodeHello(hello)));
    Bytes body;
    wire::Relay relay;
    ASSERT_TRUE(raw.host->Read(wire::FrameType::Relayed, body));
    ASSERT_TRUE(wire::DecodeRelay(body, wire::FrameType::Relayed, relay));
    EXPECT_EQ(relay.peer, carla.Id());
    EXPECT_EQ(wire::TypeOf(relay.inner), wire::FrameType::Refuse);
    EXPECT_EQ(carla.session->Stats().refusedRelays, 1u);

    hello.playerId = self;
    raw.host->SendFrame(RawMember::Relay(carla.Id(), 1, wire::EncodeHello(hello)));
    ASSERT_TRUE(raw.host->Read(wire::FrameType::Relayed, body));
    ASSERT_TRUE(wire::DecodeRelay(body, wire::FrameType::Relayed, relay));
    EXPECT_EQ(wire::TypeOf(relay.inner), wire::FrameType::MeshOk);
    ASSERT_TRUE(WaitFor([&] { return carla.session->Links().relayed == 1; }));

    // What it says reaches Carla as its own, in order, and a repeat is not heard twice.
    const Bytes first = wire::EncodeMessage(Bytes{0x02, 1, 0, 0, 0});
    const Bytes second = wire::EncodeMessage(Bytes{0x02, 2, 0, 0, 0});
    raw.host->SendFrame(RawMember::Relay(carla.Id(), 2, first));
    raw.host->SendFrame(RawMember::Relay(carla.Id(), 2, first));
    raw.host->SendFrame(RawMember::Relay(carla.Id(), 4, second));  // after a gap: left
    raw.host->SendFrame(RawMember::Relay(carla.Id(), 3, second));
    ASSERT_TRUE(WaitFor([&] { return carla.recorder.From(self).size() >= 2; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(carla.recorder.From(self),
              (std::vector<Bytes>{Bytes{0x02, 1, 0, 0, 0}, Bytes{0x02, 2, 0, 0, 0}}));
    EXPECT_TRUE(carla.recorder.From(host.Id()).empty());
    heartbeat.Remove(*raw.host);
}

TEST_F(RelayTrustTest, ARelayedFrameFromAMemberWeReachOurselvesIsRefused) {
    Peer& host = Host();
    RawMember raw;
    ASSERT_TRUE(raw.Join(HostPort()));
    Heartbeat heartbeat;
    heartbeat.Add(*raw.host);
    Peer& carla = JoinPast(raw);
    heartbeat.Add(*raw.mesh);
    ASSERT_TRUE(WaitFor([&] { return Hold({&carla}, 3); }));
    raw.host->SendFrame(
        RawMember::Relay(carla.Id(), 1, wire::EncodeMessage(Bytes{0x02, 5, 0, 0, 0})));
    ASSERT_TRUE(WaitFor([&] { return carla.session->Stats().refusedRelays == 1; }));
    EXPECT_TRUE(carla.recorder.From(raw.welcome.assignedId).empty());
    EXPECT_EQ(host.session->Stats().relayedFrames, 1u);
    heartbeat.Remove(*raw.mesh);
}

}  // namespace
