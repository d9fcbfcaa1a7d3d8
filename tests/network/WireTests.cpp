// The wire format and the game-message decoder: what is refused, and what survives a round trip.
#include <gtest/gtest.h>

#include "network/Directplay.h"
#include "platform/PeerWire.h"

using namespace platform::wire;

namespace {

std::vector<uint8_t> Concat(const std::vector<std::vector<uint8_t>>& parts) {
    std::vector<uint8_t> all;
    for (auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(FrameReaderTest, FramesArrivingByteByByteOrTogetherComeOutWhole) {
    const std::vector<uint8_t> a = {7, 1, 2, 3}, b(5000, 0xAB), c = {10};
    const auto stream = Concat({MakeFrame(a), MakeFrame(b), MakeFrame(c)});
    for (size_t chunk : {size_t{1}, size_t{3}, size_t{4096}, stream.size()}) {
        FrameReader reader;
        std::vector<std::vector<uint8_t>> bodies;
        for (size_t i = 0; i < stream.size(); i += chunk) {
            const size_t n = std::min(chunk, stream.size() - i);
            ASSERT_TRUE(reader.Append(std::span(stream).subspan(i, n)));
            std::vector<uint8_t> body;
            while (reader.Next(body))
                bodies.push_back(body);
        }
        ASSERT_EQ(bodies.size(), 3u) << chunk;
        EXPECT_EQ(bodies[0], a);
        EXPECT_EQ(bodies[1], b);
        EXPECT_EQ(bodies[2], c);
    }
}

TEST(FrameReaderTest, EmptyOrOversizedLengthsFailAndStayFailed) {
    FrameReader empty;
    EXPECT_FALSE(empty.Append(std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_TRUE(empty.Failed());
    EXPECT_FALSE(empty.Append(MakeFrame(std::vector<uint8_t>{1})));

    // "GET " read as a length is far above the cap: refused on its four bytes alone.
    FrameReader http;
    EXPECT_FALSE(http.Append(std::vector<uint8_t>{'G', 'E', 'T', ' '}));
    std::vector<uint8_t> body;
    EXPECT_FALSE(http.Next(body));

    FrameReader capped;
    std::vector<uint8_t> big(kMaxFrameSize, 1);
    EXPECT_TRUE(capped.Append(MakeFrame(big)));
    EXPECT_TRUE(capped.Next(body));
    EXPECT_EQ(body.size(), kMaxFrameSize);
    big.push_back(1);
    EXPECT_FALSE(capped.Append(MakeFrame(big)));
}

TEST(HandshakeTest, RoundTripsAndRefusesEveryTruncationAndTrailingByte) {
    Hello hello;
    hello.kind = HelloKind::Mesh;
    hello.playerId = 7;
    hello.session = 0x1122334455667788ull;
    hello.listenPort = 2305;
    hello.data.assign(2952, 0x5A);
    Welcome welcome;
    welcome.assignedId = 4;
    welcome.hostId = 1;
    welcome.session = 99;
    welcome.hostListenPort = 2302;
    welcome.maxPlayers = 8;
    welcome.flags = 4;
    welcome.name = u"3.00a Partie";
    welcome.hostData.assign(2952, 1);
    welcome.roster = {{2, 0x0A000001, 2303}, {3, 0x7F000001, 2304}};
    MeshOk ok{5, std::vector<uint8_t>(2952, 2)};

    Hello helloOut;
    ASSERT_TRUE(DecodeHello(EncodeHello(hello), helloOut));
    EXPECT_EQ(helloOut.playerId, 7);
    EXPECT_EQ(helloOut.session, hello.session);
    EXPECT_EQ(helloOut.data, hello.data);
    Welcome welcomeOut;
    ASSERT_TRUE(DecodeWelcome(EncodeWelcome(welcome), welcomeOut));
    EXPECT_EQ(welcomeOut.roster, welcome.roster);
    EXPECT_EQ(welcomeOut.name, welcome.name);
    EXPECT_EQ(welcomeOut.hostData, welcome.hostData);
    MeshOk okOut;
    ASSERT_TRUE(DecodeMeshOk(EncodeMeshOk(ok), okOut));
    EXPECT_EQ(okOut.id, 5);

    const auto refusesCuts = [](std::vector<uint8_t> bytes, auto decode) {
        for (size_t n = 0; n < bytes.size(); ++n) {
            if (decode(std::span(bytes).first(n)))
                return false;
        }
        bytes.push_back(0);
        return !decode(std::span(bytes));
    };
    EXPECT_TRUE(refusesCuts(EncodeHello(hello), [](auto s) {
        Hello h;
        return DecodeHello(s, h);
    }));
    EXPECT_TRUE(refusesCuts(EncodeWelcome(welcome), [](auto s) {
        Welcome w;
        return DecodeWelcome(s, w);
    }));
    EXPECT_TRUE(refusesCuts(EncodeMeshOk(ok), [](auto s) {
        MeshOk m;
        return DecodeMeshOk(s, m);
    }));
    // A join at its largest: the whole record and the longest secret.
    Hello join;
    join.listenPort = 2310;
    join.data.assign(kMaxPeerData, 0x33);
    join.secret.assign(kMaxJoinSecret, 0xC4);
    EXPECT_TRUE(refusesCuts(EncodeHello(join), [](auto s) {
        Hello h;
        return DecodeHello(s, h);
    }));
}

TEST(HandshakeTest, AJoinSecretTravelsWholeUpToItsCapAndNeverInAMeshHello) {
    Hello join;
    join.listenPort = 2303;
    join.data = {1, 2, 3};
    for (size_t size : {size_t{0}, size_t{1}, kMaxJoinSecret}) {
        join.secret.resize(size);
        for (size_t i = 0; i < size; ++i)
            join.secret[i] = static_cast<uint8_t>(251 - 7 * i);
        const auto body = EncodeHello(join);
        Hello out;
        ASSERT_TRUE(DecodeHello(body, out)) << size;
        EXPECT_EQ(out.kind, HelloKind::Join);
        EXPECT_EQ(out.secret, join.secret);
        EXPECT_EQ(out.data, join.data);
        EXPECT_EQ(out.listenPort, 2303);
        EXPECT_EQ(body.size(), EncodeHello(Hello{}).size() + join.data.size() + size);
    }

    // Thirty-three bytes on the wire are refused, whether or not they are all there.
    const auto full = EncodeHello(join);
    const size_t lengthAt = full.size() - kMaxJoinSecret - 1;
    ASSERT_EQ(full[lengthAt], kMaxJoinSecret);
    auto over = full;
    over[lengthAt] = static_cast<uint8_t>(kMaxJoinSecret + 1);
    Hello out;
    EXPECT_FALSE(DecodeHello(over, out));
    over.push_back(0);
    EXPECT_FALSE(DecodeHello(over, out));
    auto huge = full;
    huge[lengthAt] = 0xFF;
    huge.resize(lengthAt + 1 + 0xFF, 0);
    EXPECT_FALSE(DecodeHello(huge, out));
    // The encoder never writes more than the cap.
    Hello tooLong = join;
    tooLong.secret.push_back(0x77);
    ASSERT_TRUE(DecodeHello(EncodeHello(tooLong), out));
    EXPECT_EQ(out.secret, join.secret);

    // A mesh HELLO carries no secret: one with a secret is malformed, and none is encoded.
    auto mesh = full;
    mesh[23] = static_cast<uint8_t>(HelloKind::Mesh);
    EXPECT_FALSE(DecodeHello(mesh, out));
    Hello plainMesh;
    plainMesh.kind = HelloKind::Mesh;
    plainMesh.playerId = 3;
    ASSERT_TRUE(DecodeHello(EncodeHello(plainMesh), out));
    EXPECT_EQ(out.kind, HelloKind::Mesh);
    EXPECT_TRUE(out.secret.empty());
    const auto withoutSecret = EncodeHello(plainMesh);
    plainMesh.secret = {1, 2};
    EXPECT_EQ(EncodeHello(plainMesh), withoutSecret);
}

TEST(HandshakeTest, WrongMagicVersionOrApplicationIsRefused) {
    const auto good = EncodeHello(Hello{});
    Hello out;
    ASSERT_TRUE(DecodeHello(good, out));
    for (size_t offset : {size_t{1}, size_t{5}, size_t{7}, size_t{22}}) {  // magic, version, GUID
        auto bad = good;
        bad[offset] ^= 0x01;
        EXPECT_FALSE(DecodeHello(bad, out)) << offset;
    }
    // A roster longer than a session can hold, or a kind that does not exist.
    Welcome welcome;
    auto bytes = EncodeWelcome(welcome);
    bytes.back() = 8;
    Welcome welcomeOut;
    EXPECT_FALSE(DecodeWelcome(bytes, welcomeOut));
    auto kind = good;
    kind[23] = 2;
    EXPECT_FALSE(DecodeHello(kind, out));
}

TEST(RelayFrameTest, RoundTripsAtItsBoundsAndRefusesWhatCannotBeAPair) {
    const std::vector<uint8_t> ping = EncodeStamp(FrameType::Ping, 77);
    const auto body = EncodeRelay(FrameType::Relay, 5, 9, 8, ping);
    ASSERT_EQ(body.size(), kRelayHeaderSize + ping.size());
    Relay relay;
    ASSERT_TRUE(DecodeRelay(body, FrameType::Relay, relay));
    EXPECT_EQ(relay.peer, 5);
    EXPECT_EQ(relay.seq, 9u);
    EXPECT_EQ(relay.ack, 8u);
    EXPECT_EQ(std::vector(relay.inner.begin(), relay.inner.end()), ping);
    // The type asked for must be the one on the wire.
    EXPECT_FALSE(DecodeRelay(body, FrameType::Relayed, relay));
    EXPECT_FALSE(DecodeRelay(body, FrameType::Message, relay));
    // The largest body fits a frame once wrapped; one byte more does not.
    const std::vector<uint8_t> largest(kMaxRelayedBody, 7);
    const auto full = EncodeRelay(FrameType::Relayed, 1, 1, 0, largest);
    EXPECT_EQ(full.size(), kMaxFrameSize);
    EXPECT_TRUE(DecodeRelay(full, FrameType::Relayed, relay));
    auto over = full;
    over.push_back(7);
    EXPECT_FALSE(DecodeRelay(over, FrameType::Relayed, relay));
    // No inner body, a truncated header, or a peer id no host gives.
    EXPECT_FALSE(DecodeRelay(EncodeRelay(FrameType::Relay, 5, 1, 0, {}), FrameType::Relay, relay));
    for (size_t cut = 1; cut < kRelayHeaderSize; ++cut)
        EXPECT_FALSE(DecodeRelay(std::span(body).first(cut), FrameType::Relay, relay)) << cut;
    for (int32_t peer : {0, -1, kMaxPlayerId + 1})
        EXPECT_FALSE(
            DecodeRelay(EncodeRelay(FrameType::Relay, peer, 1, 0, ping), FrameType::Relay, relay))
            << peer;
}

TEST(RelayFrameTest, OnlyWhatAPairSaysToEachOtherMayTravelThroughTheHost) {
    Hello mesh;
    mesh.kind = HelloKind::Mesh;
    for (const auto& body : {EncodeHello(mesh), EncodeMeshOk({}), EncodeRefuse(RefuseReason::Full),
                             EncodeInfo({}), EncodeMessage(std::vector<uint8_t>{1}),
                             EncodeStamp(FrameType::Ping, 1), EncodeStamp(FrameType::Pong, 1),
                             EncodeBye(), EncodeHostLost({1, false}), EncodeLinks({})}) {
        EXPECT_TRUE(Relayable(body)) << int(body[0]);
    }
    const std::vector<uint8_t> ping = EncodeStamp(FrameType::Ping, 1);
    for (const auto& body :
         {EncodeHello(Hello{}), EncodeWelcome(Welcome{}), EncodeAnnounce(Announce{}),
          EncodeRelay(FrameType::Relay, 1, 1, 0, ping),
          EncodeRelay(FrameType::Relayed, 1, 1, 0, ping), std::vector<uint8_t>{},
          std::vector<uint8_t>{99}, std::vector<uint8_t>{1, 2}}) {
        EXPECT_FALSE(Relayable(body)) << (body.empty() ? -1 : int(body[0]));
    }
}

TEST(RelayFrameTest, LinksListEachMemberOnceAndNoMoreThanASessionHolds) {
    const std::vector<int32_t> ids = {2, 5, 7};
    std::vector<int32_t> out;
    ASSERT_TRUE(DecodeLinks(EncodeLinks(ids), out));
    EXPECT_EQ(out, ids);
    ASSERT_TRUE(DecodeLinks(EncodeLinks({}), out));
    EXPECT_TRUE(out.empty());
    const std::vector<int32_t> full = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_TRUE(DecodeLinks(EncodeLinks(full), out));
    auto eight = EncodeLinks(full);
    eight[1] = 8;
    for (uint8_t b : {8, 0, 0, 0})
        eight.push_back(b);
    EXPECT_FALSE(DecodeLinks(eight, out));
    const std::vector<int32_t> twice = {3, 3};
    EXPECT_FALSE(DecodeLinks(EncodeLinks(twice), out));
    const std::vector<int32_t> nobody = {0};
    EXPECT_FALSE(DecodeLinks(EncodeLinks(nobody), out));
    auto trailing = EncodeLinks(ids);
    trailing.push_back(0);
    EXPECT_FALSE(DecodeLinks(trailing, out));
    auto shortened = EncodeLinks(ids);
    shortened.pop_back();
    EXPECT_FALSE(DecodeLinks(shortened, out));
}

TEST(DiscoveryTest, QueriesArePaddedAndNoAnswerIsLargerThanItsQuery) {
    const auto query = EncodeQuery(42);
    EXPECT_EQ(query.size(), kQuerySize);
    uint64_t nonce = 0;
    ASSERT_TRUE(DecodeQuery(query, nonce));
    EXPECT_EQ(nonce, 42u);
    // An unpadded query is refused: it would let a small datagram draw a bigger answer.
    EXPECT_FALSE(DecodeQuery(std::span(query).first(40), nonce));

    Answer answer;
    answer.name = std::u16string(kMaxNameUnits + 20, u'W');
    answer.players = 8;
    answer.session = 0xFEDCBA9876543210ull;
    answer.info = 0xFFFFFFFFu;
    const auto bytes = EncodeAnswer(answer);
    EXPECT_LT(bytes.size(), kQuerySize);
    Answer out;
    ASSERT_TRUE(DecodeAnswer(bytes, out));
    EXPECT_EQ(out.name.size(), kMaxNameUnits);
    EXPECT_EQ(out.players, 8);
    EXPECT_EQ(out.session, answer.session);
    EXPECT_EQ(out.info, 0xFFFFFFFFu);
    for (uint32_t info : {0u, 0x00010786u}) {
        answer.info = info;
        answer.name = u"3.00a Partie";
        ASSERT_TRUE(DecodeAnswer(EncodeAnswer(answer), out));
        EXPECT_EQ(out.info, info);
        EXPECT_EQ(out.name, answer.name);
    }
    for (size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(DecodeAnswer(std::span(bytes).first(n), out)) << n;

    // A name that claims more units than the cap, or than the datagram holds, is refused.
    auto claim = bytes;
    const size_t unitsAt = bytes.size() - 2 * kMaxNameUnits - 2;
    claim[unitsAt] = static_cast<uint8_t>(kMaxNameUnits + 1);
    EXPECT_FALSE(DecodeAnswer(claim, out));
    EXPECT_FALSE(DecodeAnswer(std::span(bytes).first(bytes.size() - 1), out));
    EXPECT_FALSE(DecodeAnswer(query, out));
}

TEST(GameMessageTest, EachTypeDecodesFromItsLayout) {
    torvane::GameMessage message;
    const std::vector<uint8_t> text = {0, 0x2A, 0, 0, 0, 'S', 'a', 'l', 'u', 't', 0};
    ASSERT_TRUE(torvane::DecodeGameMessage(text, message));
    EXPECT_EQ(message.type, 0);
    EXPECT_EQ(message.number, 42);
    EXPECT_EQ(message.text, "Salut");
    const std::vector<uint8_t> value = {2, 0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_TRUE(torvane::DecodeGameMessage(value, message));
    EXPECT_EQ(message.number, -1);
    ASSERT_TRUE(torvane::DecodeGameMessage(std::vector<uint8_t>{3, 0}, message));
    EXPECT_EQ(message.value, 0);
    std::vector<uint8_t> table(1 + torvane::kTerritoryTableSize, 0);
    table[0] = 1;
    table[1 + 28 * 103] = 6;  // owner of the last territory
    ASSERT_TRUE(torvane::DecodeGameMessage(table, message));
    EXPECT_EQ(message.table[103].owner, 6);
}

TEST(GameMessageTest, ShortUnterminatedOrUnknownMessagesAreRefused) {
    torvane::GameMessage message;
    EXPECT_FALSE(torvane::DecodeGameMessage(std::vector<uint8_t>{}, message));
    EXPECT_FALSE(
        torvane::DecodeGameMessage(std::vector<uint8_t>{0, 1, 0, 0, 0, 'a', 'b'}, message));
    EXPECT_FALSE(torvane::DecodeGameMessage(std::vector<uint8_t>{0, 1, 0, 0, 0}, message));
    EXPECT_FALSE(torvane::DecodeGameMessage(std::vector<uint8_t>{2, 1, 0, 0}, message));
    EXPECT_FALSE(torvane::DecodeGameMessage(std::vector<uint8_t>{3}, message));
    std::vector<uint8_t> table(torvane::kTerritoryTableSize, 0);  // one byte short
    table[0] = 1;
    EXPECT_FALSE(torvane::DecodeGameMessage(table, message));
    for (uint8_t type : {4, 5, 200, 255}) {
        EXPECT_FALSE(
            torvane::DecodeGameMessage(std::vector<uint8_t>{type, 1, 2, 3, 4, 5}, message));
    }
}

TEST(SessionNameTest, SplitsAtTheFirstBlankCapsAndCleans) {
    std::string version, game;
    torvane::SplitSessionName("3.00a Grande Guerre", version, game);
    EXPECT_EQ(version, "3.00a");
    EXPECT_EQ(game, "Grande Guerre");
    torvane::SplitSessionName("3.00b", version, game);
    EXPECT_EQ(version, "3.00b");
    EXPECT_EQ(game, "");
    torvane::SplitSessionName("3.00a Bad\nName\x1b[2J", version, game);
    EXPECT_EQ(game, "Bad?Name?[2J");
    torvane::SplitSessionName(std::string(100, 'v') + " " + std::string(200, 'g'), version, game);
    EXPECT_EQ(version.size(), 16u);
    EXPECT_EQ(game.size(), 64u);
}

}  // namespace
