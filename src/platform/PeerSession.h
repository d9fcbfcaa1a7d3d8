// Peer-to-peer session over TCP/IP: host, search, join, peer data, ordered sends, migration.
//
// One host listens on a TCP port (2302, or the next free one up to 2400) and answers UDP
// discovery queries; every member of a session holds a TCP connection to every other member
// (full mesh). Where a joiner cannot open its own connection to a member (home routers), the
// host relays that pair; nothing above the session can tell the difference. The wire format is
// in platform/PeerWire.h and docs/protocol.md.
//
// Discovery: every member of a session binds the shared discovery port with address and port
// reuse (broadcasts reach all of them) and a UDP socket on its own TCP port number (unicast to a
// shared port reaches only one socket). A search therefore sends, to each broadcast address, one
// query to the discovery port, and, to a unicast target, one query to the discovery port and
// one to every port of the TCP range. Answers are merged per session, so each session appears
// once per search. Only the current host answers.
//
// The session calls its handler on its own I/O thread (and, for the caller's own peer data,
// on the caller's thread); the handler must lock what it shares.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform {

struct PeerAddress {
    uint32_t ipv4 = 0;  // host byte order
    uint16_t port = 0;

    std::string ToString() const;
    bool operator==(const PeerAddress&) const = default;
};

// Why a player left, with DirectPlay's numbering.
enum class DestroyReason : int32_t {
    Normal = 1,
    ConnectionLost = 2,
    SessionTerminated = 3,
    HostDestroyedPlayer = 4,
};

inline constexpr uint32_t kPlayerLocal = 0x0002;
inline constexpr uint32_t kPlayerHost = 0x0004;
inline constexpr int32_t kAllPlayers = 0;
inline constexpr int kMaxSessionPlayers = 8;
inline constexpr uint32_t kSessionMigrateHost = 0x0004;
// The longest message SendTo takes: one that still fits a frame relayed through the host.
inline constexpr size_t kMaxMessageBytes = 16370;
// The longest secret a joiner may hand the host's application (see PeerSession::Connect).
inline constexpr size_t kMaxJoinSecret = 32;

struct SessionAnswer {
    std::u16string sessionName;
    int32_t currentPlayers = 0;
    int32_t maxPlayers = 0;
    int32_t latency = 0;   // round trip of the answer, milliseconds
    PeerAddress address;   // where to connect
    uint64_t session = 0;  // the session's id, as SessionId() reports it on its members
    uint32_t info = 0;     // what the host's application published (SetAnswerInfo)
};

class PeerHandler {
  public:
    virtual ~PeerHandler() = default;
    // Admission: false hides the session from this query / refuses this connection.
    virtual bool OnEnumQuery() = 0;
    // A joiner asks the host to come in; `secret` is what it passed to Connect (at most
    // kMaxJoinSecret bytes, often none), valid during the call only. The session keeps no copy
    // and tells no other member.
    virtual bool OnIndicateConnect(std::span<const uint8_t> secret) = 0;
    virtual void OnEnumResponse(const SessionAnswer& answer) = 0;
    virtual void OnCreatePlayer(int32_t playerId) = 0;
    virtual void OnDestroyPlayer(int32_t playerId, DestroyReason reason) = 0;
    virtual void OnPeerInfo(int32_t playerId) = 0;
    virtual void OnHostMigrate(int32_t newHostId) = 0;
    // `bytes` is valid during the call only.
    virtual void OnReceive(int32_t senderId, std::span<const uint8_t> bytes) = 0;
    virtual void OnTerminateSession() = 0;
};

struct PeerOptions {
    uint16_t basePort = 2302;  // first TCP port a host tries
    uint16_t lastPort = 2400;  // last one
    uint16_t discoveryPort = 6073;
    int heartbeatMs = 1000;
    int timeoutMs = 4000;  // silence after which a peer counts as lost
    int connectTimeoutMs = 10000;
    // How long leaving waits for the session's thread before stopping it outright.
    int closeTimeoutMs = 5000;
    int searchMs = 350;  // how long a search collects answers
    // An empty host name also queries every interface's broadcast address. Tests that must not
    // send anything beyond this machine switch it off and search 127.0.0.1 only.
    bool broadcastSearch = true;
    // Ask the local router (UPnP IGD, NAT-PMP) to forward the session's ports while it runs.
    // Off unless asked for: a test must never reach a router on this machine's real network.
    bool portMapping = false;
    // How long a joiner tries to open its own connection to a member before the host relays
    // that pair instead.
    int meshConnectMs = 3000;
    // Test hook: incoming connections are closed at once (as a router that answers with a reset)
    // or accepted and never answered (as one that drops them), so that relays can be tested on
    // one machine.
    enum class Incoming { Accept, Reset, Ignore };
    Incoming incomingForTest = Incoming::Accept;
    // Test hook: the external address a router would report, for the screens that show it.
    uint32_t publicAddressForTest = 0;
};

// The defaults, adjusted by the environment: TORVANE_SEARCH=local keeps searches on this
// machine (no broadcast, no router port mapping), TORVANE_PORTMAP=0 or 1 switches the port
// mapping off or on whatever the search, TORVANE_PORT and TORVANE_DISCOVERY_PORT move the ports
// (several games or test runs side by side). Values that are not a port number are ignored.
PeerOptions PeerOptionsFromEnvironment();

enum class PeerResult {
    Ok,
    AddressFailed,   // no address could be formed (bad host name)
    ProtocolFailed,  // sockets could not be opened
    Refused,         // the host refused or did not answer
    Failed,          // anything else (already in a session, no free port...)
};

// Counters of what the session refused or passed on; they only grow.
struct PeerStats {
    uint64_t malformedFrames = 0;       // TCP streams or handshakes that broke the protocol
    uint64_t malformedDatagrams = 0;    // discovery datagrams that were not a valid query/answer
    uint64_t refusedConnections = 0;    // joins refused (handler, full, wrong session)
    uint64_t droppedUnknownFrames = 0;  // well-framed bodies of an unknown type
    uint64_t refusedMeshHellos = 0;     // mesh HELLOs the host had not admitted (token, address)
    uint64_t refusedSuccessions = 0;    // members cut off from the host, or a second host, dropped
    uint64_t droppedAnswers = 0;        // search answers beyond the cap of parties per search
    // Relay frames refused: asking a member that is not the host to pass something on, passed
    // on by anybody but the host, naming a peer we reach directly, or of a type that may not
    // travel through the host.
    uint64_t refusedRelays = 0;
    uint64_t relayedFrames = 0;   // frames this host passed on between two members
    uint64_t droppedRelays = 0;   // not passed on: the other member was gone or not reading
    uint64_t repeatedFrames = 0;  // relayed frames sent again (a new host, or no ack in time)
};

// The current links to the other members: own connections, and pairs the host relays.
struct PeerLinks {
    int direct = 0;
    int relayed = 0;
};

// At most this many parties are collected by one search.
inline constexpr size_t kMaxSearchParties = 64;

class PeerSession {
  public:
    virtual ~PeerSession() = default;

    // Null when the I/O machinery cannot be started. `handler` must outlive the session.
    static std::unique_ptr<PeerSession> Create(PeerHandler& handler, const PeerOptions& options);

    // Starts a session as its host; reports the local player (local and host flags).
    // `session` is the id its members will see (a game taken up again keeps the one it had);
    // 0 draws a new one.
    virtual PeerResult Host(const std::u16string& sessionName, int maxPlayers, uint32_t flags,
                            uint64_t session) = 0;
    PeerResult Host(const std::u16string& sessionName, int maxPlayers, uint32_t flags) {
        return Host(sessionName, maxPlayers, flags, 0);
    }
    // Searches synchronously; each answering session reaches OnEnumResponse once.
    // An empty host name searches every IPv4 broadcast address and this machine.
    virtual PeerResult EnumHosts(const std::string& hostName) = 0;
    // Joins synchronously: admission by the host, then a connection to every other member.
    // `secret` travels in the join request only and reaches the host's OnIndicateConnect, nobody
    // else; a secret longer than kMaxJoinSecret fails at once (PeerResult::Failed).
    virtual PeerResult Connect(const PeerAddress& host, std::span<const uint8_t> secret) = 0;
    PeerResult Connect(const PeerAddress& host) { return Connect(host, {}); }
    // The value every search answer carries while this member hosts the session, opaque to the
    // session layer; 0 until set, and again whenever a session is hosted or joined. A member may
    // set it before it becomes host: its answers carry it from then on.
    virtual void SetAnswerInfo(uint32_t info) = 0;
    // The local player's data, sent to every member; the local handler sees OnPeerInfo.
    virtual bool SetPeerInfo(std::span<const uint8_t> data) = 0;
    // A member's latest data and flags (kPlayerLocal, kPlayerHost); false for unknown ids.
    virtual bool GetPeerInfo(int32_t playerId, std::vector<uint8_t>& data,
                             uint32_t& flags) const = 0;
    // Guaranteed, ordered per sender; kAllPlayers includes the sender itself.
    virtual bool SendTo(int32_t playerId, std::span<const uint8_t> bytes) = 0;
    // Round trip in milliseconds, or -1 when unknown.
    virtual int32_t GetLatency(int32_t playerId) const = 0;
    // Ends the connection to a member that misbehaves; it is reported as lost
    // (DestroyReason::ConnectionLost). Unknown ids and the local player are ignored.
    virtual void DropPlayer(int32_t playerId) = 0;
    // Test hook: the connection to `playerId` goes silent both ways while it stays open, as when a
    // firewall starts dropping its packets; the heartbeats then find the player lost.
    virtual void SeverLink(int32_t playerId) = 0;
    // Test hook: the session's thread stops for `ms` milliseconds, as a process the system does
    // not schedule (a loaded machine, a virtual machine paused) stops. Returns at once.
    virtual void StallForTest(int ms) = 0;
    // Leaves the session gracefully (others see a normal departure). Idempotent. Once it returns
    // the handler is never called again from the session's thread.
    virtual void Close() = 0;

    virtual PeerStats Stats() const = 0;
    virtual PeerLinks Links() const = 0;
    // The router's external IPv4 address (host byte order) once a port mapping holds, else 0.
    virtual uint32_t PublicAddress() const = 0;
    // The TCP port this member listens on, 0 outside a session.
    virtual uint16_t ListenPort() const = 0;
    virtual int32_t LocalId() const = 0;
    virtual int32_t HostId() const = 0;
    // The current session's id, the same on every member and after a new host took over; 0
    // outside a session (and while a join is still under way).
    virtual uint64_t SessionId() const = 0;
};

}  // namespace platform
