// What a member accepts from whom: only the host deals tables and objectives, a flooding member is
// dropped without pushing anything that matters out of the queue, delivery is bounded per call,
// and the phase protocol never follows a host record that is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "ChildPeer.h"
#include "NetworkTestSupport.h"
#include "RawPeer.h"
#include "platform/PeerWire.h"

namespace torvane {

// Replays what the session reports on its thread, in an order it can report it.
struct DirectPlayTestAccess {
    static void DestroyPlayer(DirectPlay& engine, int32_t playerId,
                              platform::DestroyReason reason) {
        engine.DestroyPlayer(playerId, reason);
    }
};

}  // namespace torvane

using namespace torvane;
using nettest::Player;
using nettest::RawLink;
using nettest::Record;
using nettest::WaitFor;
namespace wire = platform::wire;

namespace {

std::vector<uint8_t> TableMessage(const TerritoryTable& table) {
    std::vector<uint8_t> bytes(1 + kTerritoryTableSize);
    bytes[0] = 1;
    EncodeTable(table, std::span(bytes).subspan<1, kTerritoryTableSize>());
    return bytes;
}

std::vector<uint8_t> TextMessage(int32_t number, const std::string& text) {
    std::vector<uint8_t> bytes = {0};
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(number) >> shift));
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// A member written by hand: it joins through the host with a real HELLO, connects to the honest
// members it is told to, answers nobody, and sends whatever the test wants. A heartbeat keeps
// its connections from falling silent.
class RawMember {
  public:
    RawMember(uint16_t hostPort, const std::string& name) : name_(name) {
        links_.push_back(std::make_unique<RawLink>(hostPort));
        wire::Hello hello;
        hello.data = Record(name);
        hello.listenPort = 1;  // nobody can reach it: it only talks
        std::vector<uint8_t> body;
        if (!links_[0]->SendFrame(wire::EncodeHello(hello)) ||
            !links_[0]->Read(wire::FrameType::Welcome, body) ||
            !wire::DecodeWelcome(body, welcome_)) {
            return;
        }
        heartbeat_.Add(*links_[0]);
    }

    int32_t Id() const { return welcome_.assignedId; }
    RawLink& ToHost() { return *links_.front(); }
    RawLink& ToMember() { return *links_.back(); }

    // Connects to the member `id` of the roster it was welcomed with; null when refused.
    RawLink* MeshWith(int32_t id) {
        const auto entry = std::find_if(welcome_.roster.begin(), welcome_.roster.end(),
                                        [&](const wire::RosterEntry& e) { return e.id == id; });
        if (entry == welcome_.roster.end())
            return nullptr;
        auto link = std::make_unique<RawLink>(entry->port);
        wire::Hello hello;
        hello.kind = wire::HelloKind::Mesh;
        hello.playerId = Id();
        hello.session = welcome_.session;
        hello.token = welcome_.token;
        hello.listenPort = 1;
        hello.data = Record(name_);
        std::vector<uint8_t> body;
        if (!link->SendFrame(wire::EncodeHello(hello)) ||
            !link->Read(wire::FrameType::MeshOk, body)) {
            return nullptr;
        }
        links_.push_back(std::move(link));
        heartbeat_.Add(*links_.back());
        return links_.back().get();
    }

  private:
    std::string name_;
    wire::Welcome welcome_;
    std::vector<std::unique_ptr<RawLink>> links_;
    nettest::Heartbeat heartbeat_{50};  // stops before the links it uses go
};

class TrustTest : public testing::Test {
  protected:
    void SetUp() override {
        options.heartbeatMs = 100;
        options.timeoutMs = 3000;
        host = std::make_unique<Player>("Hote", options);
        ASSERT_TRUE(host->engine->HostGame("Partie"));
        DirectPlay browser("Bea", options);
        browser.EnumerateGames("127.0.0.1");
        ASSERT_EQ(browser.PartyCount(), 1);
        hostPort = browser.GetParty(0)->hostAddress.port;
        member = std::make_unique<Player>("Membre", options);
        ASSERT_TRUE(member->engine->JoinGame(nettest::Loopback(hostPort)));
        ASSERT_TRUE(WaitFor([&] { return PlayersSeen(2); }));
    }

    bool PlayersSeen(int count) {
        return host->engine->PlayerCount() == count && member->engine->PlayerCount() == count;
    }

    std::vector<DirectPlay*> Engines() { return {host->engine.get(), member->engine.get()}; }

    // A raw member connected to the host and to the honest member.
    std::unique_ptr<RawMember> JoinRaw(const std::string& name) {
        const int count = host->engine->PlayerCount() + 1;
        auto raw = std::make_unique<RawMember>(hostPort, name);
        if (raw->Id() == 0 || !raw->MeshWith(member->engine->LocalPlayerId()))
            return nullptr;
        if (!WaitFor([&] { return PlayersSeen(count); }))
            return nullptr;
        return raw;
    }

    platform::PeerOptions options = nettest::PrivateOptions();
    std::unique_ptr<Player> host;
    std::unique_ptr<Player> member;
    uint16_t hostPort = 0;
};

TEST_F(TrustTest, TablesAndObjectivesFromAnyoneButTheHostAreRefusedAndCounted) {
    auto raw = JoinRaw("Faussaire");
    ASSERT_NE(raw, nullptr);
    // A forged world and objective to every honest player, and a word that is its to say.
    TerritoryTable forged{};
    forged[0].owner = 7;
    forged[0].army = 999;
    for (RawLink* link : {&raw->ToHost(), &raw->ToMember()}) {
        ASSERT_TRUE(link->SendMessage(TableMessage(forged)));
        ASSERT_TRUE(link->SendMessage(std::vector<uint8_t>{3, 9}));
        ASSERT_TRUE(link->SendMessage(TextMessage(12, "salut")));
    }
    ASSERT_TRUE(WaitFor(
        [&] {
            return host->engine->Trust().refusedHostMessages == 2 &&
                   member->engine->Trust().refusedHostMessages == 2;
        },
        std::chrono::milliseconds(3000), Engines()));

    // The host's own deal still reaches everybody, itself included.
    TerritoryTable dealt{};
    dealt[0].owner = 4;
    dealt[0].army = 20;
    host->engine->SendTerritoryTable(dealt);
    host->engine->SendObjective(member->engine->LocalPlayerId(), 4);
    host->engine->SendObjective(host->engine->LocalPlayerId(), 5);
    ASSERT_TRUE(WaitFor(
        [&] {
            return member->listener.bytes.size() == 1 && host->listener.bytes.size() == 1 &&
                   member->listener.texts.size() == 1 && host->listener.texts.size() == 1;
        },
        std::chrono::milliseconds(3000), Engines()));
    WaitFor([] { return false; }, std::chrono::milliseconds(100), Engines());
    const int32_t hostId = host->engine->LocalPlayerId();
    for (Player* honest : {host.get(), member.get()}) {
        const auto& heard = honest->listener;
        EXPECT_EQ(heard.tables, std::vector<TerritoryTable>{dealt});
        EXPECT_EQ(heard.tableSenders, std::vector<int32_t>{hostId});
        EXPECT_EQ(heard.byteSenders, std::vector<int32_t>{hostId});
        // Members still talk: text and value messages are anybody's.
        EXPECT_EQ(heard.texts, std::vector<std::string>{"salut"});
        EXPECT_EQ(heard.textSenders, std::vector<int32_t>{raw->Id()});
        EXPECT_EQ(honest->engine->Trust().refusedHostMessages, 2u);
        EXPECT_EQ(honest->engine->Trust().floodingPeersDropped, 0u);
        EXPECT_EQ(honest->engine->PlayerCount(), 3);
    }
    EXPECT_EQ(member->listener.bytes, std::vector<uint8_t>{4});
    EXPECT_EQ(host->listener.bytes, std::vector<uint8_t>{5});
}

// The lobby has left and the game screen has not registered yet: the queue is kept for it,
// and a member floods it with chatter meanwhile.
TEST_F(TrustTest, AFloodDuringTheHandOverIsDroppedAndNothingThatMattersIsPushedOut) {
    // An honest third player in its own process, so that it can die without a goodbye.
    nettest::ChildPeer third({"join", "--name", "Fantome", "--host", "127.0.0.1", "--discovery",
                              std::to_string(options.discoveryPort), "--base",
                              std::to_string(options.basePort), "--last",
                              std::to_string(options.lastPort), "--search-ms", "250", "--heartbeat",
                              "100", "--timeout", "3000"});
    ASSERT_TRUE(third.WaitLine("READY", std::chrono::milliseconds(5000)));
    ASSERT_TRUE(WaitFor([&] { return PlayersSeen(3); }));
    auto flooder = JoinRaw("Bavard");
    ASSERT_NE(flooder, nullptr);
    ASSERT_TRUE(WaitFor([&] { return member->listener.joined.size() == 4; },
                        std::chrono::milliseconds(3000), Engines()));

    DirectPlay& engine = *member->engine;
    engine.ClearListener(&member->listener);
    TerritoryTable dealt{};
    dealt[3].owner = 5;
    host->engine->SendTerritoryTable(dealt);
    host->engine->SendObjective(engine.LocalPlayerId(), 2);
    third.Kill();
    // The deal, the objective and the loss wait in the queue before the flood begins.
    ASSERT_TRUE(WaitFor([&] { return engine.QueuedEventCount() == 3; }));

    std::atomic<bool> flooding{true};
    size_t longest = 0;
    std::thread watch([&] {
        while (flooding) {
            longest = std::max(longest, engine.QueuedEventCount());
            std::this_thread::yield();
        }
    });
    // Far beyond anything a queue of a few thousand events could absorb.
    for (int32_t i = 0; i < 6000; ++i) {
        const bool sent = i % 2 == 0 ? flooder->ToMember().SendMessage(TextMessage(i, "bla"))
                                     : flooder->ToMember().SendMessage(std::vector<uint8_t>{
                                           2, static_cast<uint8_t>(i), 0, 0, 0});
        if (!sent)
            break;  // dropped: its connection is gone
    }
    const bool dropped = WaitFor([&] { return engine.Trust().floodingPeersDropped == 1; });
    flooding = false;
    watch.join();
    ASSERT_TRUE(dropped);
    EXPECT_LE(longest, DirectPlay::kChatterBudget + 8);

    nettest::RecordingListener game;
    engine.SetListener(&game);
    ASSERT_TRUE(WaitFor([&] { return game.lost.size() == 2 && game.bytes.size() == 1; },
                        std::chrono::milliseconds(3000), {&engine}));
    EXPECT_EQ(game.tables, std::vector<TerritoryTable>{dealt});
    EXPECT_EQ(game.bytes, std::vector<uint8_t>{2});
    std::vector<std::string> lost = game.lost;
    std::sort(lost.begin(), lost.end());
    EXPECT_EQ(lost, (std::vector<std::string>{"Bavard", "Fantome"}));
    // What it had queued went with it.
    EXPECT_TRUE(game.texts.empty());
    EXPECT_TRUE(game.values.empty());
    EXPECT_EQ(engine.PlayerCount(), 2);
    EXPECT_EQ(engine.QueuedEventCount(), 0u);
    engine.ClearListener(&game);
    engine.SetListener(&member->listener);
}

// A host is no exception: one that outruns the screens is flooding, and is lost; what it said
// before stays, in order.
TEST_F(TrustTest, AHostThatFloodsIsLostAndWhatItSaidBeforeIsKept) {
    DirectPlay& engine = *member->engine;
    engine.ClearListener(&member->listener);
    const size_t sent = DirectPlay::kHostMessageBudget + 50;
    TerritoryTable table{};
    for (size_t i = 0; i < sent; ++i) {
        table[0].army = static_cast<int32_t>(i);
        host->engine->SendTerritoryTable(table);
    }
    ASSERT_TRUE(WaitFor([&] { return engine.Trust().floodingPeersDropped == 1; }));
    EXPECT_EQ(engine.Trust().hostMessagesOverBudget, 1u);
    nettest::RecordingListener game;
    engine.SetListener(&game);
    ASSERT_TRUE(
        WaitFor([&] { return game.lost.size() == 1; }, std::chrono::milliseconds(5000), {&engine}));
    EXPECT_EQ(game.lost, std::vector<std::string>{"Hote"});
    ASSERT_EQ(game.tables.size(), DirectPlay::kHostMessageBudget);
    for (size_t i = 0; i < game.tables.size(); ++i)
        EXPECT_EQ(game.tables[i][0].army, static_cast<int32_t>(i));
    engine.ClearListener(&game);
    engine.SetListener(&member->listener);
}

TEST_F(TrustTest, EachDeliveryHandsOverABoundedNumberOfEventsAndTheRestWaits) {
    ASSERT_TRUE(WaitFor([&] { return host->listener.joined.size() == 2; },
                        std::chrono::milliseconds(3000), Engines()));
    DirectPlay& engine = *host->engine;
    TerritoryTable table{};
    for (int i = 0; i < 100; ++i) {
        table[0].army = i;
        engine.SendTerritoryTable(table);
    }
    ASSERT_TRUE(WaitFor([&] { return engine.QueuedEventCount() == 100; }));
    engine.DeliverEvents();
    EXPECT_EQ(host->listener.tables.size(), static_cast<size_t>(DirectPlay::kMaxEventsPerDelivery));
    EXPECT_EQ(engine.QueuedEventCount(), 100u - DirectPlay::kMaxEventsPerDelivery);
    engine.DeliverEvents();
    ASSERT_EQ(host->listener.tables.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(host->listener.tables[static_cast<size_t>(i)][0].army, i);
    EXPECT_EQ(engine.QueuedEventCount(), 0u);
}

// While the host changes hands, the session reports the old host gone before it names the new
// one: for that moment the host's record is missing from the table.
TEST_F(TrustTest, WithTheHostsRecordMissingNobodyFollowsItBackToTheLobby) {
    DirectPlay& hostEngine = *host->engine;
    DirectPlay& engine = *member->engine;
    for (auto* e : Engines())
        e->SetReady();
    ASSERT_TRUE(WaitFor([&] { return hostEngine.AllReady(); }));
    ASSERT_TRUE(hostEngine.AdvancePhase());
    ASSERT_TRUE(WaitFor([&] {
        engine.FollowHostPhase();
        return engine.LocalStatus() == 2u;
    }));
    engine.SetReady();
    ASSERT_EQ(engine.LocalStatus(), 3u);

    const int32_t oldHost = hostEngine.LocalPlayerId();
    DirectPlayTestAccess::DestroyPlayer(engine, oldHost, platform::DestroyReason::Normal);
    PlayerInfo record;
    ASSERT_FALSE(engine.CopyPlayer(engine.HostPlayerId(), record));
    EXPECT_FALSE(engine.FollowHostPhase());
    EXPECT_EQ(engine.LocalStatus(), 3u);
    EXPECT_FALSE(engine.AllReady());
    // The ready mark changes within the player's own phase, never back to the lobby's.
    engine.ClearReady();
    EXPECT_EQ(engine.LocalStatus(), 2u);
    engine.SetReady();
    EXPECT_EQ(engine.LocalStatus(), 3u);
    const int32_t id = engine.LocalPlayerId();
    ASSERT_TRUE(
        WaitFor([&] { return hostEngine.CopyPlayer(id, record) && record.syncStatus == 3u; }));
    WaitFor([] { return false; }, std::chrono::milliseconds(100));
    ASSERT_TRUE(hostEngine.CopyPlayer(id, record));
    EXPECT_EQ(record.syncStatus, 3u);
}

}  // namespace

// A member sending chat by hand: what is no chat line is refused and counted, a line without its
// zero byte is never read, and the lines of a sender talking too fast are dropped at arrival
// whatever its own game thinks of its pace.
TEST_F(TrustTest, ChatThatIsNoLineOrComesTooFastIsRefusedAndTheRestArrivesInOrder) {
    auto raw = JoinRaw("Bavard");
    ASSERT_NE(raw, nullptr);
    RawLink& link = raw->ToMember();
    ASSERT_TRUE(link.SendMessage(TextMessage(0, std::string(kMaxChatLine + 1, 'x'))));
    ASSERT_TRUE(link.SendMessage(TextMessage(0, "efface\x1B[2J")));
    ASSERT_TRUE(link.SendMessage(TextMessage(0, "")));
    std::vector<uint8_t> unterminated = TextMessage(0, "sans fin");
    unterminated.pop_back();
    ASSERT_TRUE(link.SendMessage(unterminated));
    for (int i = 0; i < kChatBurst + 3; ++i)
        ASSERT_TRUE(link.SendMessage(TextMessage(0, "ligne " + std::to_string(i))));
    ASSERT_TRUE(WaitFor(
        [&] {
            const TrustStats trust = member->engine->Trust();
            return trust.refusedChatLines == 3 && trust.droppedChatLines == 3;
        },
        std::chrono::milliseconds(3000), Engines()));
    WaitFor([] { return false; }, std::chrono::milliseconds(100), Engines());
    std::vector<std::string> expected;
    for (int i = 0; i < kChatBurst; ++i)
        expected.push_back("ligne " + std::to_string(i));
    EXPECT_EQ(member->listener.texts, expected);
    EXPECT_EQ(member->engine->Trust().floodingPeersDropped, 0u);
    EXPECT_EQ(member->engine->PlayerCount(), 3);
}
