// What a running game needs to take a player back: a join secret only the host sees, a value of
// the host's in every search answer, and one session id on every member, a new host included.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "NetworkTestSupport.h"
#include "RawPeer.h"
#include "platform/PeerSession.h"
#include "platform/PeerWire.h"

namespace {

using nettest::Heartbeat;
using nettest::RawLink;
using nettest::RawListener;
using nettest::WaitFor;
using platform::PeerOptions;
using platform::PeerResult;
namespace wire = platform::wire;
using Bytes = std::vector<uint8_t>;

// Admits only joiners that present `expected` (every joiner when it is unset) and records what
// each of them presented, with every roster event and search answer.
class Gatekeeper : public platform::PeerHandler {
  public:
    bool OnEnumQuery() override { return true; }
    bool OnIndicateConnect(std::span<const uint8_t> secret) override {
        std::lock_guard lock(mutex_);
        seen_.emplace_back(secret.begin(), secret.end());
        return !expected_ || *expected_ == seen_.back();
    }
    void OnEnumResponse(const platform::SessionAnswer& answer) override {
        std::lock_guard lock(mutex_);
        answers_.push_back(answer);
    }
    void OnCreatePlayer(int32_t id) override {
        std::lock_guard lock(mutex_);
        created_.push_back(id);
    }
    void OnDestroyPlayer(int32_t, platform::DestroyReason) override {}
    void OnPeerInfo(int32_t) override {}
    void OnHostMigrate(int32_t) override {}
    void OnReceive(int32_t, std::span<const uint8_t>) override {}
    void OnTerminateSession() override {}

    void Expect(const Bytes& secret) {
        std::lock_guard lock(mutex_);
        expected_ = secret;
    }
    std::vector<Bytes> Seen() const {
        std::lock_guard lock(mutex_);
        return seen_;
    }
    std::vector<int32_t> Created() const {
        std::lock_guard lock(mutex_);
        return created_;
    }
    std::vector<platform::SessionAnswer> TakeAnswers() {
        std::lock_guard lock(mutex_);
        return std::exchange(answers_, {});
    }

  private:
    mutable std::mutex mutex_;
    std::optional<Bytes> expected_;
    std::vector<Bytes> seen_;
    std::vector<int32_t> created_;
    std::vector<platform::SessionAnswer> answers_;
};

struct Peer {
    explicit Peer(const PeerOptions& options)
        : session(platform::PeerSession::Create(gate, options)) {}
    Gatekeeper gate;
    std::unique_ptr<platform::PeerSession> session;
    int32_t Id() const { return session->LocalId(); }
    platform::PeerAddress Address() const { return {0x7F000001u, session->ListenPort()}; }
};

// A seat token as the game would make one: every byte value matters, zeros included.
Bytes Seat(uint8_t seed, size_t size = platform::kMaxJoinSecret) {
    Bytes seat(size);
    for (size_t i = 0; i < size; ++i)
        seat[i] = static_cast<uint8_t>(seed + 53 * i);
    if (size > 1) {
        seat[1] = 0;
        seat.back() = 0xFF;
    }
    return seat;
}

bool Contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

class RejoinTest : public testing::Test {
  protected:
    void SetUp() override {
        options.heartbeatMs = 100;
        options.timeoutMs = 2000;
        options.meshConnectMs = 300;
    }

    Peer& Add(PeerOptions::Incoming incoming = PeerOptions::Incoming::Accept) {
        PeerOptions own = options;
        own.incomingForTest = incoming;
        peers.push_back(std::make_unique<Peer>(own));
        return *peers.back();
    }
    Peer& Host(std::optional<Bytes> seat = std::nullopt) {
        Peer& host = Add();
        if (seat)
            host.gate.Expect(*seat);
        EXPECT_EQ(host.session->Host(u"3.00a Partie", 8, platform::kSessionMigrateHost),
                  PeerResult::Ok);
        return host;
    }

    // The answer of the session listening on `port`, from a search of this machine.
    std::optional<platform::SessionAnswer> AnswerFrom(uint16_t port) {
        Peer& searcher = Add();
        EXPECT_EQ(searcher.session->EnumHosts("127.0.0.1"), PeerResult::Ok);
        std::optional<platform::SessionAnswer> found;
        for (const auto& answer : searcher.gate.TakeAnswers()) {
            if (answer.address.port == port) {
                EXPECT_FALSE(found.has_value()) << "one session answered twice";
                found = answer;
            }
        }
        return found;
    }

    PeerOptions options = nettest::PrivateOptions();
    std::vector<std::unique_ptr<Peer>> peers;
};

// ---- the join secret -------------------------------------------------------------------------

TEST_F(RejoinTest, OnlyTheAwaitedSecretGetsInAndARefusalLeavesNoTrace) {
    const Bytes seat = Seat(7);
    Peer& host = Host(seat);
    Peer& first = Add();
    ASSERT_EQ(first.session->Connect(host.Address(), seat), PeerResult::Ok);
    ASSERT_TRUE(WaitFor([&] { return host.gate.Created().size() == 2; }));
    const std::vector<int32_t> before = {1, 2};
    EXPECT_EQ(host.gate.Created(), before);
    EXPECT_EQ(first.gate.Created(), before);

    // No secret, a wrong byte, one byte short: each refused, nothing created anywhere.
    Bytes wrong = seat;
    wrong[5] ^= 0x40;
    const Bytes shorter(seat.begin(), seat.end() - 1);
    std::vector<Peer*> refused;
    {
        Peer& stranger = Add();
        EXPECT_EQ(stranger.session->Connect(host.Address()), PeerResult::Refused);
        refused.push_back(&stranger);
    }
    for (const Bytes& secret : {wrong, shorter}) {
        Peer& stranger = Add();
        EXPECT_EQ(stranger.session->Connect(host.Address(), secret), PeerResult::Refused);
        refused.push_back(&stranger);
    }
    for (Peer* stranger : refused) {
        EXPECT_TRUE(stranger->gate.Created().empty());
        EXPECT_EQ(stranger->session->SessionId(), 0u);
        EXPECT_EQ(stranger->session->LocalId(), 0);
    }
    EXPECT_EQ(host.session->Stats().refusedConnections, 3u);

    // A secret longer than the cap never leaves the joiner, and the joiner can still come in.
    Peer& late = Add();
    EXPECT_EQ(late.session->Connect(host.Address(), Seat(7, platform::kMaxJoinSecret + 1)),
              PeerResult::Failed);
    EXPECT_EQ(late.session->SessionId(), 0u);
    ASSERT_EQ(late.session->Connect(host.Address(), seat), PeerResult::Ok);

    // The host saw every secret byte for byte, and nothing of the one that never left; refused
    // joins took no id, so the late joiner has the next one.
    EXPECT_EQ(host.gate.Seen(), (std::vector<Bytes>{seat, {}, wrong, shorter, seat}));
    EXPECT_TRUE(first.gate.Seen().empty());
    EXPECT_EQ(late.Id(), 3);
    const std::vector<int32_t> after = {1, 2, 3};
    ASSERT_TRUE(WaitFor([&] { return first.gate.Created() == after; }));
    EXPECT_EQ(host.gate.Created(), after);
    for (Peer* stranger : refused)
        EXPECT_TRUE(stranger->gate.Created().empty());
}

TEST_F(RejoinTest, TheSecretReachesTheHostAloneAndNeverAMember) {
    const Bytes seat = Seat(0xA0);
    Peer& host = Host(seat);

    // A raw member joins with the seat itself, then watches everything the session sends it.
    RawListener meshSocket;
    RawLink toHost(host.session->ListenPort());
    wire::Hello join;
    join.listenPort = meshSocket.Port();
    join.data = {1, 2, 3};
    join.secret = seat;
    ASSERT_TRUE(toHost.SendFrame(wire::EncodeHello(join)));
    Bytes body;
    wire::Welcome welcome;
    ASSERT_TRUE(toHost.Read(wire::FrameType::Welcome, body) && wire::DecodeWelcome(body, welcome));
    EXPECT_FALSE(Contains(body, seat));
    std::unique_ptr<RawLink> fromJoiner;
    Heartbeat heartbeat;  // declared after the links it uses: it stops before they go
    heartbeat.Add(toHost);

    Peer& joiner = Add();
    const Bytes record(2952, 0x3C);
    ASSERT_TRUE(joiner.session->SetPeerInfo(record));
    auto joined = std::async(std::launch::async,
                             [&] { return joiner.session->Connect(host.Address(), seat); });
    ASSERT_TRUE(toHost.Read(wire::FrameType::Announce, body));
    EXPECT_FALSE(Contains(body, seat));
    fromJoiner = std::make_unique<RawLink>(meshSocket.Accept());
    ASSERT_TRUE(fromJoiner->Read(wire::FrameType::Hello, body));
    wire::Hello mesh;
    ASSERT_TRUE(wire::DecodeHello(body, mesh));
    EXPECT_EQ(mesh.kind, wire::HelloKind::Mesh);
    EXPECT_TRUE(mesh.secret.empty());
    EXPECT_FALSE(Contains(body, seat));
    ASSERT_TRUE(fromJoiner->SendFrame(wire::EncodeMeshOk({welcome.assignedId, {9}})));
    heartbeat.Add(*fromJoiner);
    ASSERT_EQ(joined.get(), PeerResult::Ok);

    EXPECT_EQ(host.gate.Seen(), (std::vector<Bytes>{seat, seat}));
    // The joiner's record is what it set, on the host as on itself.
    Bytes data;
    uint32_t flags = 0;
    ASSERT_TRUE(WaitFor(
        [&] { return host.session->GetPeerInfo(joiner.Id(), data, flags) && data == record; }));
    ASSERT_TRUE(joiner.session->GetPeerInfo(joiner.Id(), data, flags));
    EXPECT_EQ(data, record);
}

TEST_F(RejoinTest, AJoinerWithItsSecretReachesARelayedMemberAsAnyOther) {
    const Bytes seat = Seat(3);
    Peer& host = Host(seat);
    Peer& behindRouter = Add(PeerOptions::Incoming::Ignore);
    ASSERT_EQ(behindRouter.session->Connect(host.Address(), seat), PeerResult::Ok);
    Peer& joiner = Add(PeerOptions::Incoming::Ignore);
    ASSERT_EQ(joiner.session->Connect(host.Address(), seat), PeerResult::Ok);
    const std::vector<int32_t> everybody = {1, 2, 3};
    ASSERT_TRUE(WaitFor([&] { return behindRouter.gate.Created() == everybody; }));
    EXPECT_EQ(behindRouter.session->Links().relayed, 1);
    EXPECT_EQ(joiner.session->Links().relayed, 1);
    EXPECT_TRUE(behindRouter.gate.Seen().empty());
    EXPECT_EQ(behindRouter.session->Stats().refusedRelays, 0u);
    EXPECT_EQ(behindRouter.session->Stats().malformedFrames, 0u);
}

TEST_F(RejoinTest, AnOversizedSecretOrOneInAMeshHelloIsRefusedAsMalformed) {
    const Bytes seat = Seat(0x11);
    Peer& host = Host(seat);
    wire::Hello join;
    join.secret = seat;
    const Bytes good = wire::EncodeHello(join);
    const size_t lengthAt = good.size() - seat.size() - 1;
    ASSERT_EQ(good[lengthAt], seat.size());

    Bytes longer = good;  // says 33 and holds 33
    longer[lengthAt] = static_cast<uint8_t>(platform::kMaxJoinSecret + 1);
    longer.push_back(0x42);
    Bytes cut = good;  // says 32 and holds 31
    cut.pop_back();
    Bytes mesh = good;  // a mesh HELLO carrying a secret
    mesh[23] = static_cast<uint8_t>(wire::HelloKind::Mesh);
    for (const Bytes& bad : {longer, cut, mesh}) {
        RawLink link(host.session->ListenPort());
        ASSERT_TRUE(link.SendFrame(bad));
        Bytes body;
        wire::RefuseReason reason{};
        ASSERT_TRUE(link.Read(wire::FrameType::Refuse, body) && wire::DecodeRefuse(body, reason));
        EXPECT_EQ(reason, wire::RefuseReason::Malformed);
        EXPECT_TRUE(link.ClosedByPeer());
    }
    EXPECT_TRUE(host.gate.Seen().empty());
    EXPECT_EQ(host.session->Stats().malformedFrames, 3u);
    EXPECT_EQ(host.gate.Created(), std::vector<int32_t>{1});

    // The same bytes, well formed, get in.
    RawLink link(host.session->ListenPort());
    ASSERT_TRUE(link.SendFrame(good));
    Bytes body;
    EXPECT_TRUE(link.Read(wire::FrameType::Welcome, body));
    EXPECT_EQ(host.gate.Seen(), std::vector<Bytes>{seat});
}

// ---- answer info and the session id ------------------------------------------------------------

TEST_F(RejoinTest, AnswersCarryTheHostsValueAndTheSessionIdEveryMemberReports) {
    Peer& host = Host();
    const uint64_t session = host.session->SessionId();
    EXPECT_NE(session, 0u);
    auto answer = AnswerFrom(host.session->ListenPort());
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->info, 0u);
    EXPECT_EQ(answer->session, session);

    Peer& member = Add();
    EXPECT_EQ(member.session->SessionId(), 0u);
    ASSERT_EQ(member.session->Connect(host.Address()), PeerResult::Ok);
    EXPECT_EQ(member.session->SessionId(), session);

    for (uint32_t info : {0x80000786u, 0xFFFFFFFFu, 1u}) {
        host.session->SetAnswerInfo(info);
        answer = AnswerFrom(host.session->ListenPort());
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->info, info);
        EXPECT_EQ(answer->session, session);
        EXPECT_EQ(answer->currentPlayers, 2);
    }
    // A member does not answer, whatever it has set, until it becomes the host.
    member.session->SetAnswerInfo(9);
    EXPECT_FALSE(AnswerFrom(member.session->ListenPort()).has_value());
    host.session->Close();
    EXPECT_EQ(host.session->SessionId(), 0u);
    ASSERT_TRUE(WaitFor([&] { return member.session->HostId() == member.Id(); }));
    answer = AnswerFrom(member.session->ListenPort());
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->info, 9u);
    EXPECT_EQ(answer->session, session);

    // A new session has an id of its own, and its answers start again from 0.
    ASSERT_EQ(host.session->Host(u"3.00a Revanche", 8, platform::kSessionMigrateHost),
              PeerResult::Ok);
    EXPECT_NE(host.session->SessionId(), 0u);
    EXPECT_NE(host.session->SessionId(), session);
    answer = AnswerFrom(host.session->ListenPort());
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->info, 0u);
    EXPECT_EQ(answer->session, host.session->SessionId());
}

TEST_F(RejoinTest, ANewHostKeepsTheSessionIdAndTheSecretItAdmitsWith) {
    const Bytes seat = Seat(0x5E);
    Peer& host = Host(seat);
    Peer& heir = Add();
    heir.gate.Expect(seat);
    heir.session->SetAnswerInfo(0x1234);  // before the join: forgotten
    Peer& other = Add();
    ASSERT_EQ(heir.session->Connect(host.Address(), seat), PeerResult::Ok);
    ASSERT_EQ(other.session->Connect(host.Address(), seat), PeerResult::Ok);
    const uint64_t session = host.session->SessionId();
    EXPECT_EQ(heir.session->SessionId(), session);
    EXPECT_EQ(other.session->SessionId(), session);

    host.session->Close();
    ASSERT_TRUE(WaitFor([&] {
        return heir.session->HostId() == heir.Id() && other.session->HostId() == heir.Id();
    }));
    EXPECT_EQ(heir.session->SessionId(), session);
    EXPECT_EQ(other.session->SessionId(), session);
    auto answer = AnswerFrom(heir.session->ListenPort());
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->session, session);
    EXPECT_EQ(answer->info, 0u);
    heir.session->SetAnswerInfo(0x00020787);
    answer = AnswerFrom(heir.session->ListenPort());
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->info, 0x00020787u);

    // The new host asks its own handler: a wrong seat stays out, the right one comes in.
    Peer& stranger = Add();
    EXPECT_EQ(stranger.session->Connect(heir.Address(), Seat(0x5F)), PeerResult::Refused);
    Peer& back = Add();
    ASSERT_EQ(back.session->Connect(heir.Address(), seat), PeerResult::Ok);
    EXPECT_EQ(back.session->SessionId(), session);
    EXPECT_EQ(heir.gate.Seen(), (std::vector<Bytes>{Seat(0x5F), seat}));
    EXPECT_TRUE(other.gate.Seen().empty());
    ASSERT_TRUE(WaitFor([&] { return other.gate.Created().size() == 4; }));
    EXPECT_EQ(other.gate.Created().back(), back.Id());
    EXPECT_TRUE(stranger.gate.Created().empty());
}

}  // namespace
