// Wire format of the peer session: bounds-checked byte readers, frames, handshakes, discovery.
//
// Every integer is little-endian. Nothing read from the network is trusted: every reader
// refuses (returns false) rather than reading past the end of what it was given, and every
// length is checked against its cap before anything is allocated.
//
// TCP stream: a sequence of frames, each `u32 length` then `length` body bytes, with
// 1 <= length <= kMaxFrameSize. A body starts with its type byte (FrameType).
//
//   HELLO    (first frame a connecting side sends)
//            magic "TVNP" | u16 version | GUID (16) | u8 kind (0 join, 1 mesh)
//            | i32 playerId (mesh: the sender's id; join: 0) | u64 session (mesh only)
//            | u64 token (mesh: the admission token the host gave; join: 0)
//            | u16 listenPort | u16 dataLength | data
//            | u8 secretLength (join: <= kMaxJoinSecret; mesh: 0) | secret
//   WELCOME  (host to an admitted joiner)
//            magic | u16 version | GUID | i32 assignedId | i32 hostId | u64 session
//            | u64 token | u16 hostListenPort | u8 maxPlayers | u32 flags
//            | u16 nameUnits (<= 64) | UTF-16LE session name | u16 dataLength
//            | data (the host's peer data) | u8 count (<= 7)
//            | count x { i32 id | u32 ipv4 | u16 port }
//   MESH_OK  (a peer accepting a mesh HELLO): magic | u16 version | GUID | i32 id
//            | u16 dataLength | data
//   REFUSE   magic | u16 version | GUID | u8 reason
//   ANNOUNCE (host to members: a joiner is coming) i32 id | u32 ipv4 | u16 port | u64 token
//   INFO     u16 dataLength | data          (new peer data of the sender)
//   MESSAGE  application bytes, the rest of the body
//   PING     u64 stamp;  PONG  u64 stamp (echo)
//   BYE      empty: the sender leaves on purpose
//   HOST_LOST i32 previousHostId | u8 takeOver (0/1): the sender has lost that host; with
//            takeOver 1 it is the successor and claims the succession
//   RELAY    (member to host) i32 to | u32 seq | u32 ack | inner body: pass it on
//   RELAYED  (host to member) i32 from | u32 seq | u32 ack | inner body: from the member the
//            host received it from
//   LINKS    u8 count (<= 7) | count x i32 id: the members the sender reaches through the host
//
// A relayed pair numbers its frames: seq counts the frames one side sent the other through the
// host (from 1; 0 for heartbeats, which are never repeated), ack the last one it received in
// order. The inner body is a frame body of its own, at most kMaxRelayedBody bytes.
//
// UDP discovery: a QUERY is exactly kQuerySize bytes (padded with zeros) so that no ANSWER,
// which is always smaller, can be used to amplify traffic.
//   QUERY    magic | u16 version | GUID | u8 kind 0x51 | u64 nonce | zero padding
//   ANSWER   magic | u16 version | GUID | u8 kind 0x41 | u64 nonce (echo) | u64 session
//            | u16 players | u16 maxPlayers | u32 flags | u16 tcpPort
//            | u32 info (the application's value) | u16 nameUnits (<= kMaxNameUnits)
//            | UTF-16LE name
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::wire {

inline constexpr std::array<uint8_t, 4> kMagic = {'T', 'V', 'N', 'P'};
inline constexpr uint16_t kProtocolVersion = 4;
// {EDE9493E-6AC8-4F15-8D01-8B163200B966} in its usual in-memory byte order.
inline constexpr std::array<uint8_t, 16> kApplicationGuid = {
    0x3E, 0x49, 0xE9, 0xED, 0xC8, 0x6A, 0x15, 0x4F, 0x8D, 0x01, 0x8B, 0x16, 0x32, 0x00, 0xB9, 0x66};

inline constexpr size_t kMaxFrameSize = 16384;
// A relay frame wraps a whole body after its own type, a peer id, a sequence number and an
// ack; so that every frame fits through the host, no body is longer than kMaxRelayedBody.
inline constexpr size_t kRelayHeaderSize = 13;
inline constexpr size_t kMaxRelayedBody = kMaxFrameSize - kRelayHeaderSize;
inline constexpr size_t kMaxPeerData = 8192;
inline constexpr size_t kMaxRoster = 7;
inline constexpr size_t kQuerySize = 256;
inline constexpr size_t kMaxNameUnits = 64;
// A join HELLO may carry this many bytes for the host's application alone.
inline constexpr size_t kMaxJoinSecret = 32;
// Player ids grow by one per admission; anything near the top of the range is hostile.
inline constexpr int32_t kMaxPlayerId = 1 << 30;

enum class FrameType : uint8_t {
    Hello = 1,
    Welcome = 2,
    MeshOk = 3,
    Refuse = 4,
    Announce = 5,
    Info = 6,
    Message = 7,
    Ping = 8,
    Pong = 9,
    Bye = 10,
    HostLost = 11,
    Relay = 12,
    Relayed = 13,
    Links = 14,
};

enum class HelloKind : uint8_t { Join = 0, Mesh = 1 };

enum class RefuseReason : uint8_t {
    NotAccepting = 1,
    Full = 2,
    BadSession = 3,
    Malformed = 4,
};

// Reads a byte span front to back; every read checks the remaining length first.
class ByteReader {
  public:
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool U8(uint8_t& value);
    bool U16(uint16_t& value);
    bool U32(uint32_t& value);
    bool I32(int32_t& value);
    bool U64(uint64_t& value);
    bool Bytes(size_t count, std::span<const uint8_t>& out);
    // Reads the magic, the version and the GUID; false when any differs.
    bool Preamble();
    size_t Remaining() const { return bytes_.size() - position_; }

  private:
    std::span<const uint8_t> bytes_;
    size_t position_ = 0;
};

class ByteWriter {
  public:
    void U8(uint8_t value) { bytes.push_back(value); }
    void U16(uint16_t value);
    void U32(uint32_t value);
    void I32(int32_t value) { U32(static_cast<uint32_t>(value)); }
    void U64(uint64_t value);
    void Bytes(std::span<const uint8_t> data) {
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    void Preamble();

    std::vector<uint8_t> bytes;
};

// Splits a TCP byte stream into frame bodies. After an error it stays failed.
class FrameReader {
  public:
    // Takes more stream bytes; false when the stream is malformed (a length of zero or above
    // the cap), checked before any body is buffered.
    bool Append(std::span<const uint8_t> bytes);
    // Moves the next complete body into `body`; false when none is complete yet.
    bool Next(std::vector<uint8_t>& body);
    bool Failed() const { return failed_; }

  private:
    uint32_t LengthAt(size_t position) const;

    std::vector<uint8_t> buffer_;
    size_t consumed_ = 0;  // bytes already handed out by Next
    size_t tail_ = 0;      // start of the first incomplete frame
    bool failed_ = false;
};

// Length prefix and body, ready to write.
std::vector<uint8_t> MakeFrame(std::span<const uint8_t> body);

struct Hello {
    HelloKind kind = HelloKind::Join;
    int32_t playerId = 0;
    uint64_t session = 0;
    uint64_t token = 0;
    uint16_t listenPort = 0;
    std::vector<uint8_t> data;
    // Join only: what the joiner tells the host's application (a mesh HELLO carries none).
    std::vector<uint8_t> secret;
};

struct RosterEntry {
    int32_t id = 0;
    uint32_t ipv4 = 0;  // host byte order
    uint16_t port = 0;
    bool operator==(const RosterEntry&) const = default;
};

// The host's word that a joiner is coming, and the token its mesh HELLO must carry.
struct Announce {
    RosterEntry entry;
    uint64_t token = 0;
};

struct Welcome {
    int32_t assignedId = 0;
    int32_t hostId = 0;
    uint64_t session = 0;
    uint64_t token = 0;  // the joiner presents it to every member
    uint16_t hostListenPort = 0;
    uint8_t maxPlayers = 0;
    uint32_t flags = 0;
    std::u16string name;
    std::vector<uint8_t> hostData;
    std::vector<RosterEntry> roster;
};

struct MeshOk {
    int32_t id = 0;
    std::vector<uint8_t> data;
};

struct Answer {
    uint64_t nonce = 0;
    uint64_t session = 0;
    uint16_t players = 0;
    uint16_t maxPlayers = 0;
    uint32_t flags = 0;
    uint16_t tcpPort = 0;
    uint32_t info = 0;  // the host application's value, opaque to the session
    std::u16string name;
};

// Encoders return whole frame bodies (type byte first). Fields longer than their cap are cut
// to it; callers check lengths before they encode.
std::vector<uint8_t> EncodeHello(const Hello& hello);
std::vector<uint8_t> EncodeWelcome(const Welcome& welcome);
std::vector<uint8_t> EncodeMeshOk(const MeshOk& ok);
std::vector<uint8_t> EncodeRefuse(RefuseReason reason);
std::vector<uint8_t> EncodeAnnounce(const Announce& announce);
std::vector<uint8_t> EncodeInfo(std::span<const uint8_t> data);
std::vector<uint8_t> EncodeMessage(std::span<const uint8_t> data);
std::vector<uint8_t> EncodeStamp(FrameType type, uint64_t stamp);
std::vector<uint8_t> EncodeBye();
struct HostLost {
    int32_t previousHost = 0;
    bool takeOver = false;
};
std::vector<uint8_t> EncodeHostLost(const HostLost& notice);

// RELAY (a member asks the host to pass `inner` to `peer`) and RELAYED (the host passes on what
// `peer` sent).
struct Relay {
    int32_t peer = 0;
    uint32_t seq = 0;
    uint32_t ack = 0;
    std::span<const uint8_t> inner;  // into the decoded body
};
std::vector<uint8_t> EncodeRelay(FrameType type, int32_t peer, uint32_t seq, uint32_t ack,
                                 std::span<const uint8_t> inner);
// `type` is Relay or Relayed; the inner body must hold 1..kMaxRelayedBody bytes.
bool DecodeRelay(std::span<const uint8_t> body, FrameType type, Relay& out);
// Whether a body of this type may travel through the host at all.
bool Relayable(std::span<const uint8_t> inner);

std::vector<uint8_t> EncodeLinks(std::span<const int32_t> relayedPeers);
bool DecodeLinks(std::span<const uint8_t> body, std::vector<int32_t>& out);

// Decoders take a whole frame body (type byte first) and refuse anything malformed,
// including trailing bytes.
bool DecodeHello(std::span<const uint8_t> body, Hello& out);
bool DecodeWelcome(std::span<const uint8_t> body, Welcome& out);
bool DecodeMeshOk(std::span<const uint8_t> body, MeshOk& out);
bool DecodeRefuse(std::span<const uint8_t> body, RefuseReason& out);
bool DecodeAnnounce(std::span<const uint8_t> body, Announce& out);
bool DecodeInfo(std::span<const uint8_t> body, std::vector<uint8_t>& out);
bool DecodeStamp(std::span<const uint8_t> body, FrameType type, uint64_t& stamp);
bool DecodeHostLost(std::span<const uint8_t> body, HostLost& out);
// The type byte of a body, when it is a known type.
std::optional<FrameType> TypeOf(std::span<const uint8_t> body);

std::vector<uint8_t> EncodeQuery(uint64_t nonce);
bool DecodeQuery(std::span<const uint8_t> datagram, uint64_t& nonce);
std::vector<uint8_t> EncodeAnswer(const Answer& answer);
bool DecodeAnswer(std::span<const uint8_t> datagram, Answer& out);

}  // namespace platform::wire
