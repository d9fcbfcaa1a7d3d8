// The peer session on standalone Asio: one I/O thread, TCP full mesh, UDP discovery.
#include "platform/PeerSession.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/random.h>
#include <sys/socket.h>

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <thread>
#include <tuple>

#include "platform/PeerWire.h"
#include "platform/PortMapping.h"

namespace platform {

std::string PeerAddress::ToString() const {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", (ipv4 >> 24) & 255, (ipv4 >> 16) & 255,
                  (ipv4 >> 8) & 255, ipv4 & 255, port);
    return text;
}

namespace {

static_assert(kMaxMessageBytes + 1 == wire::kMaxRelayedBody, "a message must fit a relay frame");
static_assert(kMaxJoinSecret == wire::kMaxJoinSecret, "a join secret must fit its HELLO");

using asio::ip::tcp;
using asio::ip::udp;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

uint64_t Random64() {
    static std::mutex mutex;
    static std::mt19937_64 engine(std::random_device{}() ^
                                  static_cast<uint64_t>(Clock::now().time_since_epoch().count()));
    std::lock_guard lock(mutex);
    uint64_t value = 0;
    while (value == 0)
        value = engine();
    return value;
}

// Admission tokens must not be guessable from the session ids and nonces other machines see.
uint64_t SecretRandom64() {
    uint64_t value = 0;
    while (value == 0) {
        if (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value))
            value = Random64() ^ (Random64() << 1);
    }
    return value;
}

uint64_t NowMicros() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
            .count());
}

bool IsLoopback(uint32_t ipv4) {
    return (ipv4 >> 24) == 127;
}

constexpr size_t kMaxBacklog = 8 * 1024 * 1024;  // bytes queued for one peer
constexpr size_t kMaxHandshakes = 64;            // connections not yet introduced
constexpr size_t kMaxHeldMessages = 256;         // from a successor not yet agreed on
// A host passes nothing more on to a member that has this much waiting to be written to it: the
// sender repeats what was not acknowledged, so congestion delays a relayed pair, never breaks
// it, and one member cannot make the host drop another by flooding it.
constexpr size_t kMaxRelayBacklog = 1024 * 1024;

enum class Role {
    Incoming,      // accepted; waiting for its HELLO
    ParkedMesh,    // a mesh HELLO for a player the host has not announced yet
    OutgoingJoin,  // we sent a join HELLO; waiting for WELCOME or REFUSE
    OutgoingMesh,  // we sent a mesh HELLO; waiting for MESH_OK or REFUSE
    Member,        // carries session traffic for `playerId`
    Closed,
};

struct Link {
    explicit Link(asio::io_context& io) : socket(io) {}
    tcp::socket socket;
    wire::FrameReader reader;
    std::array<uint8_t, 4096> readBuffer{};
    std::deque<Bytes> writeQueue;
    bool writing = false;
    Role role = Role::Incoming;
    int32_t playerId = 0;
    uint32_t remoteIpv4 = 0;
    uint16_t remoteListenPort = 0;  // where the other side accepts mesh connections
    Clock::time_point started = Clock::now();
    Clock::time_point lastHeard = Clock::now();
    // Closing on purpose: the last frame is written, then our side is shut for sending while
    // what still comes is read and dropped until the other side closes too (or a second has
    // passed). Closing at once with unread data would reset the connection, and the other side
    // would lose what we sent last, our goodbye included.
    bool closing = false;
    std::unique_ptr<asio::steady_timer> lingerTimer;
    size_t queuedBytes = 0;
    wire::Hello parkedHello;
    bool severed = false;      // test hook: nothing goes out, nothing coming in is heard
    bool writeFailed = false;  // the connection is broken; what it still delivers is read
    Clock::time_point writeFailedAt;

    // A pair the host relays has no socket of its own: its frames travel, numbered, through
    // the host's connections to each side. What was not acknowledged yet is kept, to be sent
    // again through a new host or when no acknowledgement came in time.
    bool relayed = false;
    uint32_t sendSeq = 0;  // the last numbered frame sent
    uint32_t recvSeq = 0;  // the last numbered frame received in order
    struct Unacked {
        uint32_t seq = 0;
        Bytes body;
        Clock::time_point sent;
    };
    std::deque<Unacked> unacked;
    size_t unackedBytes = 0;
    Bytes meshHello;  // a joiner's mesh HELLO, kept to try again through the host
    std::unique_ptr<asio::steady_timer> meshTimer;
};
using LinkPtr = std::shared_ptr<Link>;

struct Member {
    LinkPtr link;  // null for the local player
    Bytes data;
    PeerAddress address;
    int32_t latency = -1;
};

class AsioPeerSession final : public PeerSession {
  public:
    AsioPeerSession(PeerHandler& handler, const PeerOptions& options)
        : handler_(handler), options_(options), work_(asio::make_work_guard(io_)), tick_(io_) {
        if (options.portMapping)
            portMapping_ = PortMapping::Create();
        thread_ = std::thread([this] { io_.run(); });
    }

    ~AsioPeerSession() override {
        Close();
        work_.reset();
        io_.stop();
        if (thread_.joinable())
            thread_.join();
    }

    using PeerSession::Host;
    PeerResult Host(const std::u16string& sessionName, int maxPlayers, uint32_t flags,
                    uint64_t session) override {
        if (stopped_)
            return PeerResult::Failed;
        return RunOnIo<PeerResult>([&](std::promise<PeerResult>& done) {
            if (inSession_)
                return done.set_value(PeerResult::Failed);
            const PeerResult opened = OpenSockets();
            if (opened != PeerResult::Ok)
                return done.set_value(opened);
            {
                std::lock_guard lock(mutex_);
                session_ = session;
                while (session_ == 0)
                    session_ = Random64();
                sessionName_ = sessionName.substr(0, wire::kMaxNameUnits);
                maxPlayers_ = std::clamp(maxPlayers, 1, kMaxSessionPlayers);
                flags_ = flags;
                answerInfo_ = 0;
                localId_ = 1;
                hostId_ = 1;
                maxId_ = 1;
                members_.clear();
                members_[1] = Member{nullptr, localData_, {0, listenPort_}, -1};
            }
            inSession_ = true;
            joined_ = true;
            BeginTicks();
            handler_.OnCreatePlayer(1);
            done.set_value(PeerResult::Ok);
        });
    }

    PeerResult EnumHosts(const std::string& hostName) override;

    using PeerSession::Connect;
    PeerResult Connect(const PeerAddress& host, std::span<const uint8_t> secret) override {
        if (stopped_ || secret.size() > kMaxJoinSecret)
            return PeerResult::Failed;
        std::promise<PeerResult> done;
        auto result = done.get_future();
        asio::post(io_, [this, host, &done, secret] { StartJoin(host, secret, done); });
        const PeerResult joined = result.get();
        if (joined != PeerResult::Ok && portMapping_)
            portMapping_->Stop();
        return joined;
    }

    void SetAnswerInfo(uint32_t info) override {
        std::lock_guard lock(mutex_);
        answerInfo_ = info;
    }

    bool SetPeerInfo(std::span<const uint8_t> data) override {
        if (data.size() > wire::kMaxPeerData)
            return false;
        int32_t local = 0;
        {
            std::lock_guard lock(mutex_);
            localData_.assign(data.begin(), data.end());
            auto self = members_.find(localId_);
            if (self != members_.end()) {
                self->second.data = localData_;
                local = localId_;
            }
        }
        if (local == 0)
            return true;
        Bytes body = wire::EncodeInfo(data);
        asio::post(io_, [this, body = std::move(body)] {
            for (auto& link : MemberLinks())
                Send(link, body);
        });
        if (joined_)
            handler_.OnPeerInfo(local);
        return true;
    }

    bool GetPeerInfo(int32_t playerId, Bytes& data, uint32_t& flags) const override {
        std::lock_guard lock(mutex_);
        auto found = members_.find(playerId);
        if (found == members_.end())
            return false;
        data = found->second.data;
        flags = 0;
        if (playerId == localId_)
            flags |= kPlayerLocal;
        if (playerId == hostId_)
            flags |= kPlayerHost;
        return true;
    }

    bool SendTo(int32_t playerId, std::span<const uint8_t> bytes) override {
        if (bytes.empty() || bytes.size() > kMaxMessageBytes)
            return false;
        {
            std::lock_guard lock(mutex_);
            if (!inSession_)
                return false;
            if (playerId != kAllPlayers && members_.find(playerId) == members_.end())
                return false;
        }
        Bytes payload(bytes.begin(), bytes.end());
        asio::post(io_, [this, playerId, payload = std::move(payload)] {
            const Bytes body = wire::EncodeMessage(payload);
            int32_t local = 0;
            LinkPtr target;
            std::vector<LinkPtr> all;
            {
                std::lock_guard lock(mutex_);
                local = localId_;
                for (auto& [id, member] : members_) {
                    if (!member.link)
                        continue;
                    if (playerId == kAllPlayers)
                        all.push_back(member.link);
                    if (id == playerId)
                        target = member.link;
                }
            }
            for (auto& link : all)
                Send(link, body);
            if (target)
                Send(target, body);
            if ((playerId == kAllPlayers || playerId == local) && joined_) {
                handler_.OnReceive(local, payload);
            }
        });
        return true;
    }

    int32_t GetLatency(int32_t playerId) const override {
        std::lock_guard lock(mutex_);
        auto found = members_.find(playerId);
        return found == members_.end() ? -1 : found->second.latency;
    }

    void DropPlayer(int32_t playerId) override {
        asio::post(io_, [this, playerId] {
            LinkPtr link;
            {
                std::lock_guard lock(mutex_);
                auto found = members_.find(playerId);
                if (found == members_.end() || !found->second.link)
                    return;
                link = found->second.link;
            }
            Drop(link, DestroyReason::ConnectionLost);
        });
    }

    void SeverLink(int32_t playerId) override {
        asio::post(io_, [this, playerId] {
            std::lock_guard lock(mutex_);
            auto found = members_.find(playerId);
            if (found != members_.end() && found->second.link)
                found->second.link->severed = true;
        });
    }

    void StallForTest(int ms) override {
        asio::post(io_, [ms] { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
    }

    void Close() override {
        if (io_.get_executor().running_in_this_thread() || !thread_.joinable())
            return;
        auto done = std::make_shared<std::promise<void>>();
        auto finished = done->get_future();
        asio::post(io_, [this, done] {
            CloseOnIo();
            done->set_value();
        });
        if (finished.wait_for(std::chrono::milliseconds(options_.closeTimeoutMs)) !=
            std::future_status::ready) {
            // The session's thread is stuck in a call: stop it and wait until it has returned,
            // so that it never reaches the handler, or this object, after we are gone.
            stopped_ = true;
            io_.stop();
            thread_.join();
            if (portMapping_)
                portMapping_->Stop();
            return;
        }
        // The router forwards nothing more for us (at most its time budget when it is gone).
        if (portMapping_)
            portMapping_->Stop();
        // Let the goodbyes reach the wire, so that peers see a normal departure and not a
        // lost connection.
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (draining_.load() > 0 && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    PeerStats Stats() const override {
        std::lock_guard lock(mutex_);
        return stats_;
    }
    PeerLinks Links() const override {
        std::lock_guard lock(mutex_);
        PeerLinks links;
        for (auto& [id, member] : members_) {
            if (member.link)
                ++(member.link->relayed ? links.relayed : links.direct);
        }
        return links;
    }
    uint32_t PublicAddress() const override {
        if (!inSession_)
            return 0;
        if (options_.publicAddressForTest != 0)
            return options_.publicAddressForTest;
        return portMapping_ ? portMapping_->PublicAddress() : 0;
    }
    uint16_t ListenPort() const override { return inSession_ ? listenPort_.load() : 0; }
    int32_t LocalId() const override {
        std::lock_guard lock(mutex_);
        return localId_;
    }
    int32_t HostId() const override {
        std::lock_guard lock(mutex_);
        return hostId_;
    }
    uint64_t SessionId() const override {
        std::lock_guard lock(mutex_);
        return joined_ ? session_ : 0;
    }

  private:
    // Runs `work` on the I/O thread and waits for the value it promises.
    template <typename T, typename Work>
    T RunOnIo(Work work) {
        std::promise<T> done;
        auto result = done.get_future();
        asio::post(io_, [&] { work(done); });
        return result.get();
    }

    std::vector<LinkPtr> MemberLinks() {
        std::vector<LinkPtr> links;
        std::lock_guard lock(mutex_);
        for (auto& [id, member] : members_) {
            if (member.link)
                links.push_back(member.link);
        }
        return links;
    }

    void Count(uint64_t PeerStats::*counter) {
        std::lock_guard lock(mutex_);
        ++(stats_.*counter);
    }

    // ---- sockets ------------------------------------------------------------------------

    PeerResult OpenSockets() {
        asio::error_code error;
        for (uint32_t port = options_.basePort; port <= options_.lastPort && port <= 65535;
             ++port) {
            tcp::acceptor acceptor(io_);
            udp::socket portSocket(io_);
            if ((acceptor.open(tcp::v4(), error), error))
                return PeerResult::ProtocolFailed;
            acceptor.set_option(tcp::acceptor::reuse_address(true), error);
            if ((acceptor.bind(tcp::endpoint(tcp::v4(), static_cast<uint16_t>(port)), error),
                 error) ||
                (acceptor.listen(asio::socket_base::max_listen_connections, error), error)) {
                continue;
            }
            if ((portSocket.open(udp::v4(), error), error))
                return PeerResult::ProtocolFailed;
            if ((portSocket.bind(udp::endpoint(udp::v4(), static_cast<uint16_t>(port)), error),
                 error)) {
                continue;
            }
            acceptor_ = std::make_shared<tcp::acceptor>(std::move(acceptor));
            portSocket_ = std::make_shared<udp::socket>(std::move(portSocket));
            listenPort_ = static_cast<uint16_t>(port);
            break;
        }
        if (!acceptor_)
            return PeerResult::Failed;
        // The shared discovery port: every session on this machine binds it with reuse, so
        // that a broadcast query reaches all of them. Without it the own-port socket still
        // answers unicast searches.
        udp::socket discovery(io_);
        if (!(discovery.open(udp::v4(), error), error)) {
            discovery.set_option(udp::socket::reuse_address(true), error);
            int one = 1;
            ::setsockopt(discovery.native_handle(), SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
            if (!(discovery.bind(udp::endpoint(udp::v4(), options_.discoveryPort), error), error)) {
                discoverySocket_ = std::make_shared<udp::socket>(std::move(discovery));
            }
        }
        // Friends on the internet reach us directly where the router agrees to forward our
        // ports; it is asked on a thread of its own, and a refusal only leaves relays.
        if (portMapping_)
            portMapping_->Start(listenPort_);
        Accept();
        if (portSocket_)
            ReceiveQuery(portSocket_);
        if (discoverySocket_)
            ReceiveQuery(discoverySocket_);
        return PeerResult::Ok;
    }

    void CloseSockets() {
        asio::error_code error;
        if (acceptor_)
            acceptor_->close(error);
        if (portSocket_)
            portSocket_->close(error);
        if (discoverySocket_)
            discoverySocket_->close(error);
        acceptor_.reset();
        portSocket_.reset();
        discoverySocket_.reset();
        tick_.cancel();
        listenPort_ = 0;
    }

    void Accept() {
        if (!acceptor_)
            return;
        auto link = std::make_shared<Link>(io_);
        auto acceptor = acceptor_;
        acceptor->async_accept(link->socket, [this, link, acceptor](const asio::error_code& error) {
            if (error == asio::error::operation_aborted || acceptor != acceptor_)
                return;
            if (!error) {
                asio::error_code ignored;
                link->socket.set_option(tcp::no_delay(true), ignored);
                auto remote = link->socket.remote_endpoint(ignored);
                link->remoteIpv4 =
                    remote.address().is_v4() ? remote.address().to_v4().to_uint() : 0;
                link->role = Role::Incoming;
                link->started = link->lastHeard = Clock::now();
                if (options_.incomingForTest == PeerOptions::Incoming::Reset) {
                    link->socket.set_option(asio::socket_base::linger(true, 0), ignored);
                    link->socket.close(ignored);
                    return Accept();
                }
                if (options_.incomingForTest == PeerOptions::Incoming::Ignore) {
                    ignored_.push_back(link);
                    return Accept();
                }
                MakeRoomForHandshake();
                handshakes_.insert(link);
                Read(link);
            }
            Accept();
        });
    }

    // ---- discovery answers ---------------------------------------------------------------

    struct QueryBuffer {
        std::array<uint8_t, 512> bytes{};
        udp::endpoint from;
    };

    void ReceiveQuery(const std::shared_ptr<udp::socket>& socket) {
        auto buffer = std::make_shared<QueryBuffer>();
        socket->async_receive_from(
            asio::buffer(buffer->bytes), buffer->from,
            [this, socket, buffer](const asio::error_code& error, size_t size) {
                if (error == asio::error::operation_aborted || !socket->is_open())
                    return;
                if (!error)
                    AnswerQuery(socket, std::span(buffer->bytes.data(), size), buffer->from);
                ReceiveQuery(socket);
            });
    }

    void AnswerQuery(const std::shared_ptr<udp::socket>& socket, std::span<const uint8_t> datagram,
                     const udp::endpoint& from) {
        uint64_t nonce = 0;
        if (!wire::DecodeQuery(datagram, nonce)) {
            Count(&PeerStats::malformedDatagrams);
            return;
        }
        if (!inSession_ || !joined_)
            return;
        wire::Answer answer;
        {
            std::lock_guard lock(mutex_);
            if (localId_ == 0 || localId_ != hostId_)
                return;
            answer.nonce = nonce;
            answer.session = session_;
            answer.players = static_cast<uint16_t>(members_.size());
            answer.maxPlayers = static_cast<uint16_t>(maxPlayers_);
            answer.flags = flags_;
            answer.tcpPort = listenPort_;
            answer.info = answerInfo_;
            answer.name = sessionName_;
        }
        if (!handler_.OnEnumQuery())
            return;
        auto reply = std::make_shared<Bytes>(wire::EncodeAnswer(answer));
        if (reply->size() > datagram.size())
            return;  // never larger than what asked for it
        socket->async_send_to(asio::buffer(*reply), from,
                              [reply, socket](const asio::error_code&, size_t) {});
    }

    // ---- links --------------------------------------------------------------------------

    void Read(const LinkPtr& link) {
        link->socket.async_read_some(
            asio::buffer(link->readBuffer),
            [this, link](const asio::error_code& error, size_t size) {
                if (link->relayed)
                    return;  // its connection was given up for the host's relay
                if (link->role == Role::Closed) {
                    if (link->closing && !error)
                        return Read(link);
                    if (link->closing)
                        Shut(link);
                    return;
                }
                if (error) {
                    Drop(link, DestroyReason::ConnectionLost);
                    return;
                }
                if (link->severed)
                    return Read(link);
                if (!link->reader.Append(std::span(link->readBuffer.data(), size))) {
                    Count(&PeerStats::malformedFrames);
                    Drop(link, DestroyReason::ConnectionLost);
                    return;
                }
                link->lastHeard = Clock::now();
                Bytes body;
                while (link->role != Role::Closed && link->reader.Next(body))
                    OnFrame(link, body);
                if (link->role != Role::Closed)
                    Read(link);
            });
    }

    void Send(const LinkPtr& link, const Bytes& body) {
        if (link->relayed)
            return SendRelayed(link, body);
        if (link->role == Role::Closed || link->severed || link->writeFailed)
            return;
        // A peer that stops reading must not make us hold an ever-growing backlog.
        if (link->queuedBytes + body.size() > kMaxBacklog) {
            Drop(link, DestroyReason::ConnectionLost);
            return;
        }
        link->queuedBytes += body.size() + 4;
        link->writeQueue.push_back(wire::MakeFrame(body));
        if (!link->writing)
            Write(link);
    }

    void Write(const LinkPtr& link) {
        if (link->writeQueue.empty()) {
            link->writing = false;
            if (link->closing)
                Linger(link);
            return;
        }
        link->writing = true;
        asio::async_write(link->socket, asio::buffer(link->writeQueue.front()),
                          [this, link](const asio::error_code& error, size_t) {
                              if (link->relayed || (link->role == Role::Closed && !link->closing))
                                  return;
                              link->queuedBytes -= link->writeQueue.front().size();
                              link->writeQueue.pop_front();
                              if (error) {
                                  link->writeQueue.clear();
                                  link->queuedBytes = 0;
                                  link->writing = false;
                                  if (link->closing) {
                                      Shut(link);
                                  } else {
                                      // The connection is broken: its member is lost, once
                                      // what it already sent (a goodbye, perhaps) is read.
                                      link->writeFailed = true;
                                      link->writeFailedAt = Clock::now();
                                  }
                                  return;
                              }
                              Write(link);
                          });
    }

    // Sends `body` last, then closes the connection once it is written.
    void SendAndClose(const LinkPtr& link, const Bytes& body) {
        if (link->role == Role::Closed)
            return;
        if (link->relayed) {
            Send(link, body);
            handshakes_.erase(link);
            return Shut(link);
        }
        link->queuedBytes += body.size() + 4;
        link->writeQueue.push_back(wire::MakeFrame(body));
        link->role = Role::Closed;
        link->closing = true;
        ++draining_;
        handshakes_.erase(link);
        if (!link->writing)
            Write(link);
    }

    void Linger(const LinkPtr& link) {
        asio::error_code error;
        link->socket.shutdown(tcp::socket::shutdown_send, error);
        if (error)
            return Shut(link);
        link->lingerTimer = std::make_unique<asio::steady_timer>(io_);
        link->lingerTimer->expires_after(std::chrono::seconds(1));
        link->lingerTimer->async_wait([this, link](const asio::error_code& cancelled) {
            if (!cancelled)
                Shut(link);
        });
    }

    void Shut(const LinkPtr& link) {
        asio::error_code error;
        link->role = Role::Closed;
        if (link->meshTimer)
            link->meshTimer->cancel();
        if (link->relayed) {
            auto found = relayLinks_.find(link->playerId);
            if (found != relayLinks_.end() && found->second == link)
                relayLinks_.erase(found);
            link->unacked.clear();
            link->unackedBytes = 0;
            return;
        }
        if (link->closing)
            --draining_;
        link->closing = false;
        if (link->lingerTimer)
            link->lingerTimer->cancel();
        link->socket.shutdown(tcp::socket::shutdown_both, error);
        link->socket.close(error);
    }

    // ---- relayed pairs -------------------------------------------------------------------

    // The host's own connection, through which relayed frames go; null while there is no
    // agreed host to relay (a succession) or we are the host.
    LinkPtr RelayLink() const {
        if (succession_)
            return nullptr;
        std::lock_guard lock(mutex_);
        if (hostId_ == localId_)
            return nullptr;
        auto found = members_.find(hostId_);
        if (found == members_.end() || !found->second.link || found->second.link->relayed)
            return nullptr;
        return found->second.link;
    }

    static bool IsHeartbeat(std::span<const uint8_t> body) {
        const auto type = wire::TypeOf(body);
        return type == wire::FrameType::Ping || type == wire::FrameType::Pong;
    }

    void SendRelayed(const LinkPtr& link, const Bytes& body) {
        if (link->role == Role::Closed || link->severed)
            return;
        if (IsHeartbeat(body)) {  // never repeated: the next one says the same
            if (auto relay = RelayLink())
                Send(relay, wire::EncodeRelay(wire::FrameType::Relay, link->playerId, 0,
                                              link->recvSeq, body));
            return;
        }
        if (link->unackedBytes + body.size() > kMaxBacklog)
            return Drop(link, DestroyReason::ConnectionLost);
        const uint32_t seq = ++link->sendSeq;
        link->unacked.push_back({seq, body, Clock::now()});
        link->unackedBytes += body.size();
        if (auto relay = RelayLink())
            Send(relay, wire::EncodeRelay(wire::FrameType::Relay, link->playerId, seq,
                                          link->recvSeq, body));
    }

    // Sends again, in order, everything the other side has not acknowledged.
    void Repeat(const LinkPtr& link) {
        auto relay = RelayLink();
        if (!relay || link->role == Role::Closed || link->severed)
            return;
        const auto now = Clock::now();
        for (auto& frame : link->unacked) {
            frame.sent = now;
            Send(relay, wire::EncodeRelay(wire::FrameType::Relay, link->playerId, frame.seq,
                                          link->recvSeq, frame.body));
            Count(&PeerStats::repeatedFrames);
        }
    }

    // The joiner's own connection to a member failed (refused, or no answer in time): the same
    // HELLO goes through the host, which passes it on as from us.
    void FallBackToRelay(const LinkPtr& link) {
        asio::error_code ignored;
        if (link->meshTimer)
            link->meshTimer->cancel();
        link->socket.close(ignored);
        link->relayed = true;
        link->started = link->lastHeard = Clock::now();
        if (auto old = relayLinks_.find(link->playerId); old != relayLinks_.end())
            Shut(old->second);
        relayLinks_[link->playerId] = link;
        Send(link, link->meshHello);
    }

    // A member asks us, the host, to pass a frame on.
    void OnRelay(const LinkPtr& link, const Bytes& body) {
        wire::Relay relay;
        if (!wire::DecodeRelay(body, wire::FrameType::Relay, relay)) {
            Count(&PeerStats::malformedFrames);
            return Drop(link, DestroyReason::ConnectionLost);
        }
        const int32_t from = link->playerId;
        LinkPtr target;
        bool host = false;
        {
            std::lock_guard lock(mutex_);
            host = localId_ == hostId_;
            auto found = members_.find(relay.peer);
            if (found != members_.end() && found->second.link && !found->second.link->relayed)
                target = found->second.link;
        }
        // Only the host relays, only between two members other than itself, and only what a
        // pair may say to each other.
        if (!host || link->relayed || relay.peer == from || relay.peer == LocalId() ||
            !wire::Relayable(relay.inner) || (relay.seq == 0) != IsHeartbeat(relay.inner)) {
            Count(&PeerStats::refusedRelays);
            return Drop(link, DestroyReason::ConnectionLost);
        }
        if (!target || target->role != Role::Member || target->queuedBytes > kMaxRelayBacklog) {
            Count(&PeerStats::droppedRelays);  // gone, or the sender repeats it later
            return;
        }
        Count(&PeerStats::relayedFrames);
        Send(target,
             wire::EncodeRelay(wire::FrameType::Relayed, from, relay.seq, relay.ack, relay.inner));
    }

    // The host passes on what another member sent us.
    void OnRelayed(const LinkPtr& link, const Bytes& body) {
        wire::Relay relay;
        if (!wire::DecodeRelay(body, wire::FrameType::Relayed, relay)) {
            Count(&PeerStats::malformedFrames);
            return Drop(link, DestroyReason::ConnectionLost);
        }
        if (link->relayed || link->playerId != HostId()) {
            // A claimant relays before we have agreed that it is the host: the sender repeats
            // what we leave. Anybody else pretends to be a relay.
            auto claim = notices_.find(link->playerId);
            if (!link->relayed && claim != notices_.end() && claim->second.takeOver)
                return;
            Count(&PeerStats::refusedRelays);
            return Drop(link, DestroyReason::ConnectionLost);
        }
        const int32_t from = relay.peer;
        const bool heartbeat = IsHeartbeat(relay.inner);
        if (from == LocalId() || from == link->playerId || !wire::Relayable(relay.inner) ||
            (relay.seq == 0) != heartbeat) {
            Count(&PeerStats::refusedRelays);
            return;
        }
        LinkPtr peer;
        if (auto found = relayLinks_.find(from); found != relayLinks_.end())
            peer = found->second;
        if (!peer) {
            if (MemberLink(from)) {
                Count(&PeerStats::refusedRelays);  // we reach that member ourselves
                return;
            }
            if (wire::TypeOf(relay.inner) != wire::FrameType::Hello || relay.seq != 1)
                return;  // the rest of a pair that has ended
            peer = std::make_shared<Link>(io_);
            peer->relayed = true;
            peer->role = Role::Incoming;
            peer->playerId = from;
            MakeRoomForHandshake();
            handshakes_.insert(peer);
            relayLinks_[from] = peer;
        }
        if (peer->severed)
            return;
        if (relay.ack > peer->sendSeq) {  // acknowledges what was never sent
            Count(&PeerStats::malformedFrames);
            return Drop(peer, DestroyReason::ConnectionLost);
        }
        while (!peer->unacked.empty() && peer->unacked.front().seq <= relay.ack) {
            peer->unackedBytes -= peer->unacked.front().body.size();
            peer->unacked.pop_front();
        }
        peer->lastHeard = Clock::now();
        if (!heartbeat) {
            if (relay.seq != peer->recvSeq + 1)
                return;  // a repeat, or after a gap the sender fills when it repeats
            peer->recvSeq = relay.seq;
        }
        const Bytes inner(relay.inner.begin(), relay.inner.end());
        OnFrame(peer, inner);
    }

    // The members we reach through the host, for everybody's choice of a successor.
    Bytes LinksBody() const {
        std::vector<int32_t> relayed;
        std::lock_guard lock(mutex_);
        for (auto& [id, member] : members_) {
            if (member.link && member.link->relayed)
                relayed.push_back(id);
        }
        return wire::EncodeLinks(relayed);
    }

    void PublishLinks() {
        const Bytes body = LinksBody();
        for (auto& link : MemberLinks())
            Send(link, body);
    }

    void MakeRoomForHandshake() {
        if (handshakes_.size() < kMaxHandshakes)
            return;
        // A flood of connections that never introduce themselves: the oldest makes room, so a
        // real joiner still gets its turn.
        auto oldest = std::min_element(
            handshakes_.begin(), handshakes_.end(),
            [](const LinkPtr& a, const LinkPtr& b) { return a->started < b->started; });
        Count(&PeerStats::refusedConnections);
        Drop(*oldest, DestroyReason::ConnectionLost);
    }

    // The first round trip of a new member is measured at once, not at the next heartbeat.
    void Ping(const LinkPtr& link) {
        Send(link, wire::EncodeStamp(wire::FrameType::Ping, NowMicros()));
    }

    void Refuse(const LinkPtr& link, wire::RefuseReason reason) {
        Count(&PeerStats::refusedConnections);
        SendAndClose(link, wire::EncodeRefuse(reason));
    }

    // A connection ends: a member leaves with `reason`; anything else leaves no trace.
    void Drop(const LinkPtr& link, DestroyReason reason) {
        const Role role = link->role;
        const int32_t id = link->playerId;
        // A joiner that cannot reach a member itself asks the host to relay the pair.
        if (join_ && role == Role::OutgoingMesh && !link->relayed)
            return FallBackToRelay(link);
        Shut(link);
        handshakes_.erase(link);
        if (join_ && (role == Role::OutgoingJoin || role == Role::OutgoingMesh ||
                      (role == Role::Member && id == join_->hostId && !joined_))) {
            FinishJoin(PeerResult::Refused);
            return;
        }
        if (role == Role::Member)
            DestroyMember(id, link, reason);
    }

    void DestroyMember(int32_t id, const LinkPtr& link, DestroyReason reason) {
        bool lostHost = false;
        {
            std::lock_guard lock(mutex_);
            auto found = members_.find(id);
            if (found == members_.end() || found->second.link != link)
                return;
            members_.erase(found);
            lostHost = id == hostId_;
        }
        notices_.erase(id);
        relayedPeers_.erase(id);
        if (joined_)
            handler_.OnDestroyPlayer(id, reason);
        if (lostHost) {
            StartSuccession(id);
        } else {
            SettleSuccession();
        }
    }

    // ---- host succession ----------------------------------------------------------------
    //
    // When the host goes, the successor takes over: the oldest remaining player (ids grow with
    // arrival) with a direct link to every other, since it must relay for the pairs that went
    // through the old host; where nobody has them all, the oldest with the most, and members it
    // cannot reach are lost. Every member knows who reaches whom through the host (LINKS), so
    // all of them name the same successor; the outcome is still agreed rather than assumed. Every
    // member that loses the host tells the others with HOST_LOST; the successor's notice claims the
    // succession, and a member accepts it only once it has lost the old host itself. A member that
    // still has the old host pings it: the answer proves that the sender of the notice is the one
    // cut off from the host, and its link is treated as lost (a full mesh has no room for a member
    // without a link to the host). A member waiting for a successor that never claims (because that
    // player still has the old host) drops it and awaits the next one. So no two members of one
    // mesh ever follow different hosts.

    // Whether two remaining members reach each other only through the host.
    bool RelayedPair(int32_t a, int32_t b) const {
        const int32_t self = localId_;
        if (a == self || b == self) {
            auto found = members_.find(a == self ? b : a);
            return found == members_.end() || !found->second.link || found->second.link->relayed;
        }
        const auto says = [this](int32_t who, int32_t about) {
            auto found = relayedPeers_.find(who);
            return found != relayedPeers_.end() && found->second.count(about) != 0;
        };
        return says(a, b) || says(b, a);
    }

    int32_t Successor() const {
        std::lock_guard lock(mutex_);
        int32_t best = localId_;
        int bestDirect = -1;
        for (auto& [candidate, member] : members_) {
            int direct = 0;
            for (auto& [other, ignored] : members_) {
                if (other != candidate && !RelayedPair(candidate, other))
                    ++direct;
            }
            if (direct > bestDirect) {  // ids ascend: of equals, the oldest
                best = candidate;
                bestDirect = direct;
            }
        }
        return best;
    }

    LinkPtr MemberLink(int32_t id) const {
        std::lock_guard lock(mutex_);
        auto found = members_.find(id);
        return found == members_.end() ? nullptr : found->second.link;
    }

    // The host is gone: tell everybody, and take over when we are the oldest left.
    void StartSuccession(int32_t previous) {
        succession_ = Succession{previous, Clock::now()};
        // Pairs the old host relayed wait for the new one: they get a whole time-out for it.
        for (auto& [id, link] : relayLinks_)
            link->lastHeard = Clock::now();
        if (Successor() != LocalId()) {
            const Bytes body = wire::EncodeHostLost({previous, false});
            for (auto& link : MemberLinks())
                Send(link, body);
        }
        SettleSuccession();
    }

    void SettleSuccession() {
        if (!succession_)
            return;
        const int32_t previous = succession_->previousHost;
        const int32_t successor = Successor();
        const bool self = successor == LocalId();
        auto claim = notices_.find(successor);
        const bool claimed = claim != notices_.end() && claim->second.takeOver &&
                             claim->second.previousHost == previous;
        if (!self && !claimed)
            return;  // the successor has not claimed yet
        std::vector<wire::Announce> held;
        std::vector<Bytes> heldMessages;
        if (claimed) {
            held = std::move(claim->second.announces);
            heldMessages = std::move(claim->second.messages);
        }
        // Anybody else who claimed the succession is a second host: the older one stays.
        std::vector<int32_t> refused;
        for (auto& [sender, notice] : notices_) {
            if (sender != successor && notice.takeOver)
                refused.push_back(sender);
        }
        notices_.clear();
        succession_.reset();
        // Pairs the new host cannot pass frames between are lost; a member that reaches the new
        // host only through the old one is cut off from everybody.
        std::vector<LinkPtr> unreachable;
        LinkPtr successorLink;
        {
            std::lock_guard lock(mutex_);
            hostId_ = successor;
            auto found = members_.find(successor);
            const bool cutOff = !self && (found == members_.end() || !found->second.link ||
                                          found->second.link->relayed);
            for (auto& [id, member] : members_) {
                if (!member.link)
                    continue;
                if (id == successor)
                    successorLink = cutOff ? member.link : nullptr;
                else if (cutOff || RelayedPair(successor, id))
                    unreachable.push_back(member.link);
            }
        }
        if (successorLink)
            unreachable.push_back(successorLink);  // last: the others are gone by then
        for (auto& link : unreachable)
            Drop(link, DestroyReason::ConnectionLost);
        if (HostId() != successor)
            return;  // we were cut off, and have settled alone
        if (self) {
            const Bytes body = wire::EncodeHostLost({previous, true});
            for (auto& link : MemberLinks())
                Send(link, body);
        }
        // What the old host may not have passed on goes again through the new one.
        for (auto& [id, link] : std::map<int32_t, LinkPtr>(relayLinks_))
            Repeat(link);
        if (joined_)
            handler_.OnHostMigrate(successor);
        for (const auto& announce : held)
            OnAnnounce(announce);
        if (joined_) {
            for (const auto& message : heldMessages)
                handler_.OnReceive(successor, message);
        }
        for (int32_t sender : refused)
            CutOff(sender);
    }

    void OnHostLost(int32_t sender, const wire::HostLost& notice) {
        int32_t host = 0;
        bool hostAlive = false;
        {
            std::lock_guard lock(mutex_);
            host = hostId_;
            hostAlive = members_.count(hostId_) != 0;
        }
        if (sender == host)
            return;  // our host already; a late word about its predecessor
        if (notice.previousHost != host) {
            // About a host we do not follow (any more): harmless, unless the sender claims to be
            // host beside ours.
            if (notice.takeOver)
                CutOff(sender);
            return;
        }
        if (hostAlive && host == LocalId())
            return CutOff(sender);  // we are that host, and alive: the sender lost its link to us
        notices_[sender] = Notice{notice.previousHost, notice.takeOver, NowMicros(), {}, {}};
        if (!hostAlive)
            return SettleSuccession();
        // We still have the host: ask it. A ping sent after the notice that comes back proves
        // the host is alive for us; losing the host instead settles the succession.
        if (auto link = MemberLink(host))
            Send(link, wire::EncodeStamp(wire::FrameType::Ping, NowMicros()));
    }

    // The host answered a ping sent at `stamp`: whoever said it was lost before that is cut off.
    void HostAnswered(uint64_t stamp) {
        std::vector<int32_t> refused;
        for (auto& [sender, notice] : notices_) {
            if (notice.receivedMicros <= stamp)
                refused.push_back(sender);
        }
        for (int32_t sender : refused)
            CutOff(sender);
    }

    // A member cut off from the host, or a second host: its link is treated as lost.
    void CutOff(int32_t member) {
        notices_.erase(member);
        Count(&PeerStats::refusedSuccessions);
        if (auto link = MemberLink(member))
            Drop(link, DestroyReason::ConnectionLost);
    }

    void OnFrame(const LinkPtr& link, const Bytes& body) {
        switch (link->role) {
            case Role::Incoming:
                return OnIncomingHello(link, body);
            case Role::ParkedMesh:
                Count(&PeerStats::malformedFrames);
                return Drop(link, DestroyReason::ConnectionLost);
            case Role::OutgoingJoin:
                return OnWelcome(link, body);
            case Role::OutgoingMesh:
                return OnMeshOk(link, body);
            case Role::Member:
                return OnMemberFrame(link, body);
            case Role::Closed:
                return;
        }
    }

    void OnIncomingHello(const LinkPtr& link, const Bytes& body) {
        wire::Hello hello;
        if (!wire::DecodeHello(body, hello)) {
            Count(&PeerStats::malformedFrames);
            return Refuse(link, wire::RefuseReason::Malformed);
        }
        if (!inSession_)
            return Refuse(link, wire::RefuseReason::BadSession);
        if (link->relayed &&
            (hello.kind != wire::HelloKind::Mesh || hello.playerId != link->playerId)) {
            // Through the host comes only a mesh HELLO, and only of the member it names.
            Count(&PeerStats::refusedRelays);
            return Refuse(link, wire::RefuseReason::BadSession);
        }
        if (hello.kind == wire::HelloKind::Join)
            return AdmitJoiner(link, hello);
        {
            std::lock_guard lock(mutex_);
            if (hello.session != session_ || hello.playerId <= 0 ||
                hello.playerId > wire::kMaxPlayerId || members_.count(hello.playerId) != 0) {
                ++stats_.refusedConnections;
                SendAndClose(link, wire::EncodeRefuse(wire::RefuseReason::BadSession));
                return;
            }
        }
        link->parkedHello = std::move(hello);
        link->role = Role::ParkedMesh;
        AdmitParked(link);
    }

    // A mesh HELLO meets the host's announcement: only the joiner the host admitted, with the
    // token it was given, gets in. Until the announcement comes the HELLO waits.
    void AdmitParked(const LinkPtr& link) {
        auto found = announced_.find(link->parkedHello.playerId);
        if (found == announced_.end())
            return;
        const Announced& announced = found->second;
        // The address the host saw is a second check, where both sides see a real address (a
        // joiner on the host's or on our machine reaches us from another one). Through the host
        // there is no address to check: the host vouches for the sender.
        const bool addressesKnown = !link->relayed && announced.ipv4 != 0 &&
                                    !IsLoopback(announced.ipv4) && !IsLoopback(link->remoteIpv4);
        if (link->parkedHello.token != announced.token ||
            (addressesKnown && announced.ipv4 != link->remoteIpv4)) {
            {
                std::lock_guard lock(mutex_);
                ++stats_.refusedMeshHellos;
                ++stats_.refusedConnections;
            }
            SendAndClose(link, wire::EncodeRefuse(wire::RefuseReason::BadSession));
            return;
        }
        AcceptMesh(link);
    }

    void AdmitJoiner(const LinkPtr& link, const wire::Hello& hello) {
        int32_t id = 0;
        wire::Welcome welcome;
        std::vector<LinkPtr> others;
        {
            std::lock_guard lock(mutex_);
            if (localId_ == 0 || localId_ != hostId_ || !joined_) {
                ++stats_.refusedConnections;
                SendAndClose(link, wire::EncodeRefuse(wire::RefuseReason::BadSession));
                return;
            }
            if (static_cast<int>(members_.size()) >= maxPlayers_ || maxId_ >= wire::kMaxPlayerId) {
                ++stats_.refusedConnections;
                SendAndClose(link, wire::EncodeRefuse(wire::RefuseReason::Full));
                return;
            }
        }
        // The secret is the application's business: it is shown to the handler and kept nowhere.
        if (!handler_.OnIndicateConnect(hello.secret))
            return Refuse(link, wire::RefuseReason::NotAccepting);
        asio::error_code error;
        const auto local = link->socket.local_endpoint(error);
        const uint32_t ownAddress = error ? 0 : local.address().to_v4().to_uint();
        {
            std::lock_guard lock(mutex_);
            id = ++maxId_;
            welcome.assignedId = id;
            welcome.hostId = hostId_;
            welcome.session = session_;
            welcome.token = SecretRandom64();
            welcome.hostListenPort = listenPort_;
            welcome.maxPlayers = static_cast<uint8_t>(maxPlayers_);
            welcome.flags = flags_;
            welcome.name = sessionName_;
            welcome.hostData = localData_;
            for (auto& [otherId, member] : members_) {
                if (!member.link)
                    continue;
                // Players on this machine are reachable by the joiner at our own address.
                const uint32_t ip =
                    IsLoopback(member.address.ipv4) ? ownAddress : member.address.ipv4;
                welcome.roster.push_back({otherId, ip, member.address.port});
                others.push_back(member.link);
            }
            link->role = Role::Member;
            link->playerId = id;
            members_[id] = Member{link, hello.data, {link->remoteIpv4, hello.listenPort}, -1};
        }
        handshakes_.erase(link);
        const Bytes announce =
            wire::EncodeAnnounce({{id, link->remoteIpv4, hello.listenPort}, welcome.token});
        for (auto& other : others)
            Send(other, announce);
        // Our own table holds the newcomer before it learns it is in, so nothing it sends
        // once admitted can arrive before its record.
        handler_.OnCreatePlayer(id);
        Send(link, wire::EncodeWelcome(welcome));
        Ping(link);  // after the welcome: the joiner expects nothing else first
    }

    void AcceptMesh(const LinkPtr& link) {
        const wire::Hello& hello = link->parkedHello;
        const int32_t id = hello.playerId;
        {
            std::lock_guard lock(mutex_);
            if (members_.count(id) != 0) {
                ++stats_.refusedConnections;
                SendAndClose(link, wire::EncodeRefuse(wire::RefuseReason::BadSession));
                return;
            }
            if (static_cast<int>(members_.size()) >= maxPlayers_) {
                ++stats_.refusedConnections;
                SendAndClose(link, wire::EncodeRefuse(wire::RefuseReason::Full));
                return;
            }
            link->role = Role::Member;
            link->playerId = id;
            members_[id] = Member{link, hello.data, {link->remoteIpv4, hello.listenPort}, -1};
            maxId_ = std::max(maxId_, id);
        }
        announced_.erase(id);
        handshakes_.erase(link);
        Send(link, wire::EncodeMeshOk({LocalId(), LocalData()}));
        Ping(link);
        if (link->relayed) {
            PublishLinks();  // the newcomer included
        } else {
            const Bytes links = LinksBody();
            if (links.size() > 2)
                Send(link, links);  // what the newcomer must know of our relayed pairs
        }
        if (joined_)
            handler_.OnCreatePlayer(id);
    }

    void OnAnnounce(const wire::Announce& announce) {
        const int32_t joiner = announce.entry.id;
        {
            std::lock_guard lock(mutex_);
            if (members_.count(joiner) != 0)
                return;
            maxId_ = std::max(maxId_, joiner);
        }
        announced_[joiner] = Announced{Clock::now(), announce.token, announce.entry.ipv4};
        for (auto parked : std::set<LinkPtr>(handshakes_)) {
            if (parked->role == Role::ParkedMesh && parked->parkedHello.playerId == joiner)
                AdmitParked(parked);
        }
    }

    Bytes LocalData() {
        std::lock_guard lock(mutex_);
        return localData_;
    }

    void OnMemberFrame(const LinkPtr& link, const Bytes& body) {
        const auto type = wire::TypeOf(body);
        if (!type) {
            Count(&PeerStats::droppedUnknownFrames);
            return;
        }
        const int32_t id = link->playerId;
        switch (*type) {
            case wire::FrameType::Relay:
                return OnRelay(link, body);
            case wire::FrameType::Relayed:
                return OnRelayed(link, body);
            case wire::FrameType::Links: {
                std::vector<int32_t> ids;
                if (!wire::DecodeLinks(body, ids))
                    break;
                relayedPeers_[id] = std::set<int32_t>(ids.begin(), ids.end());
                return;
            }
            case wire::FrameType::Info: {
                Bytes data;
                if (!wire::DecodeInfo(body, data))
                    break;
                {
                    std::lock_guard lock(mutex_);
                    auto found = members_.find(id);
                    if (found == members_.end())
                        return;
                    found->second.data = std::move(data);
                }
                if (joined_)
                    handler_.OnPeerInfo(id);
                return;
            }
            case wire::FrameType::Message: {
                // A claimant speaks as host before we have agreed that it is one: what it says
                // waits for the claim to be settled, and is heard only if the claim holds.
                auto claim = notices_.find(id);
                if (claim != notices_.end() && claim->second.takeOver) {
                    if (claim->second.messages.size() >= kMaxHeldMessages)
                        return CutOff(id);
                    claim->second.messages.emplace_back(body.begin() + 1, body.end());
                    return;
                }
                if (joined_)
                    handler_.OnReceive(id, std::span(body).subspan(1));
                return;
            }
            case wire::FrameType::Ping: {
                uint64_t stamp = 0;
                if (!wire::DecodeStamp(body, wire::FrameType::Ping, stamp))
                    break;
                Send(link, wire::EncodeStamp(wire::FrameType::Pong, stamp));
                return;
            }
            case wire::FrameType::Pong: {
                uint64_t stamp = 0;
                if (!wire::DecodeStamp(body, wire::FrameType::Pong, stamp))
                    break;
                const uint64_t now = NowMicros();
                if (stamp > now)
                    break;
                {
                    std::lock_guard lock(mutex_);
                    auto found = members_.find(id);
                    if (found != members_.end()) {
                        found->second.latency = static_cast<int32_t>(
                            std::min<uint64_t>((now - stamp + 500) / 1000, 0x7FFFFFFF));
                    }
                }
                if (id == HostId() && !notices_.empty())
                    HostAnswered(stamp);
                return;
            }
            case wire::FrameType::Bye:
                if (body.size() != 1)
                    break;
                return Drop(link, DestroyReason::Normal);
            case wire::FrameType::Announce: {
                wire::Announce announce;
                if (!wire::DecodeAnnounce(body, announce) || announce.entry.id <= 0 ||
                    announce.entry.id > wire::kMaxPlayerId) {
                    break;
                }
                if (id == HostId()) {
                    OnAnnounce(announce);
                    return;
                }
                // A successor's admissions wait until its claim is settled: its ANNOUNCE may
                // overtake the old host's goodbye, which travels on another connection.
                auto claim = notices_.find(id);
                if (claim == notices_.end() || !claim->second.takeOver)
                    break;  // only the host admits players
                if (claim->second.announces.size() < static_cast<size_t>(kMaxSessionPlayers))
                    claim->second.announces.push_back(announce);
                return;
            }
            case wire::FrameType::HostLost: {
                wire::HostLost notice;
                if (!wire::DecodeHostLost(body, notice))
                    break;
                OnHostLost(id, notice);
                return;
            }
            default:
                break;
        }
        // A known type in the wrong place or with a bad layout: the peer breaks the protocol.
        Count(&PeerStats::malformedFrames);
        Drop(link, DestroyReason::ConnectionLost);
    }

    // ---- joining ------------------------------------------------------------------------

    struct JoinState {
        explicit JoinState(asio::io_context& io) : timer(io) {}
        std::promise<PeerResult>* done = nullptr;
        asio::steady_timer timer;
        int32_t hostId = 0;
        std::vector<LinkPtr> links;
        size_t meshPending = 0;
    };

    void StartJoin(const PeerAddress& host, std::span<const uint8_t> secret,
                   std::promise<PeerResult>& done) {
        if (inSession_ || join_)
            return done.set_value(PeerResult::Failed);
        const PeerResult opened = OpenSockets();
        if (opened != PeerResult::Ok) {
            CloseSockets();
            return done.set_value(opened);
        }
        inSession_ = true;
        join_ = std::make_unique<JoinState>(io_);
        join_->done = &done;
        join_->timer.expires_after(std::chrono::milliseconds(options_.connectTimeoutMs));
        join_->timer.async_wait([this](const asio::error_code& error) {
            if (!error && join_)
                FinishJoin(PeerResult::Refused);
        });
        auto link = std::make_shared<Link>(io_);
        link->role = Role::OutgoingJoin;
        link->remoteIpv4 = host.ipv4;
        join_->links.push_back(link);
        wire::Hello hello;
        hello.kind = wire::HelloKind::Join;
        hello.listenPort = listenPort_;
        hello.data = LocalData();
        hello.secret.assign(secret.begin(), secret.end());
        ConnectLink(link, host, wire::EncodeHello(hello));
    }

    void ConnectLink(const LinkPtr& link, const PeerAddress& to, Bytes hello) {
        const tcp::endpoint endpoint(asio::ip::address_v4(to.ipv4), to.port);
        if (link->role == Role::OutgoingMesh) {
            // A member behind a router that forwards nothing never answers: after a while the
            // host relays the pair instead.
            link->meshHello = hello;
            link->meshTimer = std::make_unique<asio::steady_timer>(io_);
            link->meshTimer->expires_after(std::chrono::milliseconds(options_.meshConnectMs));
            link->meshTimer->async_wait([this, link](const asio::error_code& error) {
                if (!error && join_ && link->role == Role::OutgoingMesh && !link->relayed)
                    FallBackToRelay(link);
            });
        }
        link->socket.async_connect(
            endpoint, [this, link, hello = std::move(hello)](const asio::error_code& error) {
                if (link->role == Role::Closed || link->relayed)
                    return;
                if (error)
                    return Drop(link, DestroyReason::ConnectionLost);
                asio::error_code ignored;
                link->socket.set_option(tcp::no_delay(true), ignored);
                link->lastHeard = Clock::now();
                Send(link, hello);
                Read(link);
            });
    }

    // Ids an honest host could have given: in range, each player once, the joiner the newest
    // (ids grow with arrival, and the oldest player is the next host), no more players than
    // the session holds. Anything else is refused whole, so no id can overflow later and no
    // connection is left without its player.
    static bool PlausibleWelcome(const wire::Welcome& welcome) {
        const auto valid = [](int32_t id) { return id > 0 && id <= wire::kMaxPlayerId; };
        if (!valid(welcome.assignedId) || !valid(welcome.hostId))
            return false;
        std::set<int32_t> ids = {welcome.hostId};
        for (const auto& entry : welcome.roster) {
            if (!valid(entry.id) || !ids.insert(entry.id).second)
                return false;
        }
        return welcome.assignedId > *ids.rbegin() &&
               static_cast<int>(ids.size()) <
                   std::clamp<int>(welcome.maxPlayers, 2, kMaxSessionPlayers);
    }

    void OnWelcome(const LinkPtr& link, const Bytes& body) {
        wire::RefuseReason reason;
        wire::Welcome welcome;
        if (wire::DecodeRefuse(body, reason) || !wire::DecodeWelcome(body, welcome) || !join_ ||
            !PlausibleWelcome(welcome)) {
            if (!wire::TypeOf(body) || wire::TypeOf(body) != wire::FrameType::Refuse) {
                Count(&PeerStats::malformedFrames);
            }
            return Drop(link, DestroyReason::ConnectionLost);
        }
        {
            std::lock_guard lock(mutex_);
            session_ = welcome.session;
            sessionName_ = welcome.name;
            maxPlayers_ = std::clamp<int>(welcome.maxPlayers, 1, kMaxSessionPlayers);
            flags_ = welcome.flags;
            answerInfo_ = 0;
            localId_ = welcome.assignedId;
            hostId_ = welcome.hostId;
            maxId_ = std::max(welcome.assignedId, welcome.hostId);
            members_.clear();
            members_[localId_] = Member{nullptr, localData_, {0, listenPort_}, -1};
            members_[hostId_] =
                Member{link, welcome.hostData, {link->remoteIpv4, welcome.hostListenPort}, -1};
        }
        link->role = Role::Member;
        link->playerId = welcome.hostId;
        Ping(link);
        join_->hostId = welcome.hostId;
        wire::Hello hello;
        hello.kind = wire::HelloKind::Mesh;
        hello.playerId = welcome.assignedId;
        hello.session = welcome.session;
        hello.token = welcome.token;
        hello.listenPort = listenPort_;
        hello.data = LocalData();
        const Bytes helloBody = wire::EncodeHello(hello);
        for (const auto& entry : welcome.roster) {
            auto mesh = std::make_shared<Link>(io_);
            mesh->role = Role::OutgoingMesh;
            mesh->playerId = entry.id;
            mesh->remoteIpv4 = entry.ipv4 != 0 ? entry.ipv4 : link->remoteIpv4;
            mesh->remoteListenPort = entry.port;
            join_->links.push_back(mesh);
            ++join_->meshPending;
            ConnectLink(mesh, {mesh->remoteIpv4, entry.port}, helloBody);
        }
        if (join_->meshPending == 0)
            FinishJoin(PeerResult::Ok);
    }

    void OnMeshOk(const LinkPtr& link, const Bytes& body) {
        wire::MeshOk ok;
        if (!wire::DecodeMeshOk(body, ok) || ok.id != link->playerId || !join_) {
            if (wire::TypeOf(body) != wire::FrameType::Refuse)
                Count(&PeerStats::malformedFrames);
            // The member answered and said no: the host could not change its mind.
            Shut(link);
            if (join_)
                FinishJoin(PeerResult::Refused);
            return;
        }
        if (link->meshTimer)
            link->meshTimer->cancel();
        {
            std::lock_guard lock(mutex_);
            members_[ok.id] = Member{link, ok.data, {link->remoteIpv4, link->remoteListenPort}, -1};
        }
        link->role = Role::Member;
        Ping(link);
        if (--join_->meshPending == 0)
            FinishJoin(PeerResult::Ok);
    }

    void FinishJoin(PeerResult result) {
        auto join = std::move(join_);
        join->timer.cancel();
        if (result != PeerResult::Ok) {
            for (auto& link : join->links) {
                if (link->role == Role::Member) {
                    SendAndClose(link, wire::EncodeBye());
                } else {
                    Shut(link);
                }
            }
            ResetSession();
            join->done->set_value(result);
            return;
        }
        joined_ = true;
        BeginTicks();
        std::vector<int32_t> ids;
        bool relayed = false;
        {
            std::lock_guard lock(mutex_);
            for (auto& [id, member] : members_) {
                ids.push_back(id);
                relayed = relayed || (member.link && member.link->relayed);
            }
        }
        if (relayed)
            PublishLinks();
        for (int32_t id : ids)
            handler_.OnCreatePlayer(id);
        join->done->set_value(PeerResult::Ok);
    }

    void ResetSession() {
        CloseSockets();
        for (auto link : std::set<LinkPtr>(handshakes_))
            Shut(link);
        handshakes_.clear();
        for (auto& [id, link] : std::map<int32_t, LinkPtr>(relayLinks_))
            Shut(link);
        relayLinks_.clear();
        relayedPeers_.clear();
        for (auto& link : ignored_)
            Shut(link);
        ignored_.clear();
        announced_.clear();
        notices_.clear();
        succession_.reset();
        std::lock_guard lock(mutex_);
        members_.clear();
        localId_ = hostId_ = maxId_ = 0;
        session_ = 0;
        inSession_ = false;
        joined_ = false;
    }

    void CloseOnIo() {
        if (join_)
            FinishJoin(PeerResult::Refused);
        if (!inSession_)
            return;
        const bool wasJoined = joined_;
        std::vector<int32_t> ids;
        // Goodbyes through the host first: they must be on its connection before ours closes.
        for (auto& link : MemberLinks()) {
            if (link->relayed)
                SendAndClose(link, wire::EncodeBye());
        }
        for (auto& link : MemberLinks())
            SendAndClose(link, wire::EncodeBye());
        {
            std::lock_guard lock(mutex_);
            for (auto& [id, member] : members_)
                ids.push_back(id);
        }
        ResetSession();
        if (!wasJoined)
            return;
        for (int32_t id : ids)
            handler_.OnDestroyPlayer(id, DestroyReason::SessionTerminated);
        handler_.OnTerminateSession();
    }

    // ---- heartbeats ---------------------------------------------------------------------

    void BeginTicks() {
        lastTick_ = Clock::now();
        StartTick();
    }

    void StartTick() {
        // Fine enough that a silent peer is noticed well before a second time-out has passed.
        const int period = std::max(10, std::min(options_.heartbeatMs / 4, options_.timeoutMs / 8));
        tick_.expires_after(std::chrono::milliseconds(period));
        tick_.async_wait([this](const asio::error_code& error) {
            if (error || !inSession_)
                return;
            Tick();
            StartTick();
        });
    }

    void Tick() {
        const auto now = Clock::now();
        const auto silence = std::chrono::milliseconds(options_.timeoutMs);
        const auto handshakeLimit = std::chrono::milliseconds(options_.connectTimeoutMs);
        const bool ping = now - lastPing_ >= std::chrono::milliseconds(options_.heartbeatMs);
        if (ping)
            lastPing_ = now;
        const Bytes pingBody = wire::EncodeStamp(wire::FrameType::Ping, NowMicros());
        const auto readLeft = std::chrono::milliseconds(options_.heartbeatMs);
        // Our own thread did not run for a while (the machine was loaded, or paused): what the
        // others sent meanwhile is still waiting to be read, so their silence says nothing yet.
        // They get a heartbeat to be heard before anybody is judged lost.
        if (now - lastTick_ > silence / 2)
            judgeFrom_ = now + readLeft;
        lastTick_ = now;
        const bool judge = now >= judgeFrom_;
        // A relayed frame takes one more hop, through a host that judges the sender by the same
        // time-out: the host's verdict comes first, and a member the host still hears is not
        // lost to us for a late heartbeat.
        const auto relayedSilence = silence + readLeft;
        for (auto& link : MemberLinks()) {
            bool lost = false;
            if (!judge) {
            } else if (link->relayed) {
                // A relayed member is silent, or the host that relays it: while the host is
                // not heard either, its own time-out comes first, and its successor gets a
                // whole time-out to relay the pair again.
                if (now - link->lastHeard > relayedSilence) {
                    const LinkPtr relay = RelayLink();
                    lost = !relay || now - relay->lastHeard <= silence / 2;
                }
            } else {
                lost = now - link->lastHeard > silence ||
                       (link->writeFailed && now - link->writeFailedAt > readLeft);
            }
            if (lost)
                Drop(link, DestroyReason::ConnectionLost);
            else if (ping)
                Send(link, pingBody);
        }
        for (auto link : std::set<LinkPtr>(handshakes_)) {
            if (now - link->started > handshakeLimit)
                Drop(link, DestroyReason::ConnectionLost);
        }
        // Relayed frames that no acknowledgement came for (the host dropped them, or a new host
        // began while they were on their way) go again.
        const auto repeatAfter = std::chrono::milliseconds(std::max(2 * options_.heartbeatMs, 200));
        for (auto& [id, link] : std::map<int32_t, LinkPtr>(relayLinks_)) {
            if (!link->unacked.empty() && now - link->unacked.front().sent > repeatAfter)
                Repeat(link);
        }
        for (auto it = announced_.begin(); it != announced_.end();) {
            it = now - it->second.when > handshakeLimit ? announced_.erase(it) : std::next(it);
        }
        // A host that is still heard from long after a claim, without answering the ping that
        // asked, is alive all the same.
        const auto settle = std::chrono::milliseconds(options_.timeoutMs + options_.heartbeatMs);
        const uint64_t settleMicros = static_cast<uint64_t>(settle.count()) * 1000;
        std::vector<int32_t> overdue;
        for (auto& [sender, notice] : notices_) {
            if (!succession_ && NowMicros() - notice.receivedMicros > settleMicros)
                overdue.push_back(sender);
        }
        for (int32_t sender : overdue)
            CutOff(sender);
        // A successor that never claims still has the old host: it is cut off from us.
        if (succession_ && now - succession_->since > settle) {
            succession_->since = now;
            const int32_t successor = Successor();
            if (auto link = MemberLink(successor))
                Drop(link, DestroyReason::ConnectionLost);
        }
    }

    PeerHandler& handler_;
    const PeerOptions options_;
    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::thread thread_;
    asio::steady_timer tick_;
    Clock::time_point lastPing_{};
    Clock::time_point lastTick_{};
    Clock::time_point judgeFrom_{};  // after a stall of our own, nobody is lost before this

    // I/O thread only.
    std::shared_ptr<tcp::acceptor> acceptor_;
    std::shared_ptr<udp::socket> portSocket_;
    std::shared_ptr<udp::socket> discoverySocket_;
    std::set<LinkPtr> handshakes_;
    std::map<int32_t, LinkPtr> relayLinks_;              // pairs through the host, by peer
    std::map<int32_t, std::set<int32_t>> relayedPeers_;  // whom each member reaches so
    std::vector<LinkPtr> ignored_;                       // test hook: accepted, never answered
    struct Announced {
        Clock::time_point when;
        uint64_t token = 0;
        uint32_t ipv4 = 0;  // the joiner's address as the host saw it
    };
    std::map<int32_t, Announced> announced_;
    struct Notice {  // a member's word that it lost the host
        int32_t previousHost = 0;
        bool takeOver = false;
        uint64_t receivedMicros = 0;
        std::vector<wire::Announce> announces;  // a successor's, held until it is accepted
        std::vector<Bytes> messages;            // likewise
    };
    std::map<int32_t, Notice> notices_;  // by sender
    struct Succession {
        int32_t previousHost = 0;
        Clock::time_point since;
    };
    std::optional<Succession> succession_;  // the host is lost; its successor has not claimed
    std::unique_ptr<JoinState> join_;
    std::unique_ptr<PortMapping> portMapping_;  // null unless asked for
    std::atomic<uint16_t> listenPort_{0};

    std::atomic<bool> inSession_{false};
    std::atomic<bool> joined_{false};
    std::atomic<int> draining_{0};      // connections still closing on purpose
    std::atomic<bool> stopped_{false};  // the thread was stopped: the session is out of use

    // Shared with callers, under mutex_.
    mutable std::mutex mutex_;
    std::map<int32_t, Member> members_;
    Bytes localData_;
    int32_t localId_ = 0;
    int32_t hostId_ = 0;
    int32_t maxId_ = 0;
    uint64_t session_ = 0;
    std::u16string sessionName_;
    int maxPlayers_ = kMaxSessionPlayers;
    uint32_t flags_ = 0;
    uint32_t answerInfo_ = 0;  // published in our answers while we host
    PeerStats stats_;
};

// ---- searching ----------------------------------------------------------------------------

// This machine's IPv4 interfaces: their own addresses, and the broadcast addresses of those up.
struct Interfaces {
    std::vector<uint32_t> addresses;
    std::vector<uint32_t> broadcasts;
};

Interfaces LocalInterfaces() {
    Interfaces found;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return found;
    const auto add = [](std::vector<uint32_t>& to, const sockaddr* address) {
        const uint32_t value =
            ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
        if (value != 0 && std::find(to.begin(), to.end(), value) == to.end())
            to.push_back(value);
    };
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        add(found.addresses, entry->ifa_addr);
        if ((entry->ifa_flags & IFF_UP) && (entry->ifa_flags & IFF_BROADCAST) &&
            entry->ifa_broadaddr) {
            add(found.broadcasts, entry->ifa_broadaddr);
        }
    }
    ::freeifaddrs(list);
    return found;
}

}  // namespace

PeerResult AsioPeerSession::EnumHosts(const std::string& hostName) {
    asio::io_context io;
    asio::error_code error;
    const Interfaces interfaces = LocalInterfaces();
    std::vector<udp::endpoint> targets;
    const auto addRange = [&](const asio::ip::address_v4& address) {
        targets.emplace_back(address, options_.discoveryPort);
        for (uint32_t port = options_.basePort; port <= options_.lastPort && port <= 65535;
             ++port) {
            targets.emplace_back(address, static_cast<uint16_t>(port));
        }
    };
    if (hostName.empty()) {
        for (uint32_t broadcast :
             options_.broadcastSearch ? interfaces.broadcasts : std::vector<uint32_t>{}) {
            targets.emplace_back(asio::ip::address_v4(broadcast), options_.discoveryPort);
        }
        addRange(asio::ip::address_v4::loopback());
    } else {
        udp::resolver resolver(io);
        auto results = resolver.resolve(udp::v4(), hostName, "", error);
        if (error || results.empty())
            return PeerResult::AddressFailed;
        addRange(results.begin()->endpoint().address().to_v4());
    }
    udp::socket socket(io);
    if ((socket.open(udp::v4(), error), error))
        return PeerResult::ProtocolFailed;
    socket.set_option(asio::socket_base::broadcast(true), error);
    if ((socket.bind(udp::endpoint(udp::v4(), 0), error), error))
        return PeerResult::ProtocolFailed;

    const uint64_t base = Random64();
    std::map<uint64_t, Clock::time_point> sent;  // nonce -> when its round was sent
    // Sessions already reported, by session id and where to connect. A session reached by
    // several routes to this machine (loopback, each interface) is one; two machines that give
    // the same session id (one of them forging it) are both listed, so that neither hides the
    // other.
    std::set<std::tuple<uint64_t, uint32_t, uint16_t>> seen;
    const std::vector<uint32_t>& ownAddresses = interfaces.addresses;
    const auto route = [&](uint32_t address) {
        const bool local =
            IsLoopback(address) ||
            std::find(ownAddresses.begin(), ownAddresses.end(), address) != ownAddresses.end();
        return local ? 0x7F000001u : address;
    };
    const auto start = Clock::now();
    const auto end = start + std::chrono::milliseconds(options_.searchMs);
    // Two rounds: a lost datagram in the first is covered by the second.
    const std::array<Clock::time_point, 2> rounds = {
        start, start + std::chrono::milliseconds(options_.searchMs / 3)};
    size_t nextRound = 0;
    std::array<uint8_t, 1024> buffer{};
    udp::endpoint from;
    asio::steady_timer timer(io);
    bool receiving = false;

    while (Clock::now() < end) {
        if (nextRound < rounds.size() && Clock::now() >= rounds[nextRound]) {
            const uint64_t nonce = base + nextRound;
            const Bytes query = wire::EncodeQuery(nonce);
            sent[nonce] = Clock::now();
            for (const auto& target : targets)
                socket.send_to(asio::buffer(query), target, 0, error);
            ++nextRound;
        }
        auto wake = end;
        if (nextRound < rounds.size())
            wake = std::min(wake, rounds[nextRound]);
        if (!receiving) {
            receiving = true;
            socket.async_receive_from(
                asio::buffer(buffer), from, [&](const asio::error_code& failure, size_t size) {
                    receiving = false;
                    if (failure)
                        return;
                    const auto now = Clock::now();
                    wire::Answer answer;
                    if (!wire::DecodeAnswer(std::span(buffer.data(), size), answer)) {
                        std::lock_guard lock(mutex_);
                        ++stats_.malformedDatagrams;
                        return;
                    }
                    auto round = sent.find(answer.nonce);
                    if (round == sent.end())
                        return;
                    // The address to connect to is always the one the answer came from.
                    const uint32_t source = from.address().to_v4().to_uint();
                    const auto key = std::make_tuple(answer.session, route(source), answer.tcpPort);
                    if (seen.count(key) != 0)
                        return;
                    if (seen.size() >= kMaxSearchParties) {
                        std::lock_guard lock(mutex_);
                        ++stats_.droppedAnswers;
                        return;
                    }
                    seen.insert(key);
                    SessionAnswer found;
                    found.sessionName = answer.name;
                    found.currentPlayers = answer.players;
                    found.maxPlayers = answer.maxPlayers;
                    found.latency = static_cast<int32_t>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(now - round->second)
                            .count());
                    found.address = {source, answer.tcpPort};
                    found.session = answer.session;
                    found.info = answer.info;
                    handler_.OnEnumResponse(found);
                });
        }
        io.restart();
        io.run_until(wake);
    }
    socket.cancel(error);
    io.restart();
    io.poll();
    return PeerResult::Ok;
}

std::unique_ptr<PeerSession> PeerSession::Create(PeerHandler& handler, const PeerOptions& options) {
    try {
        return std::make_unique<AsioPeerSession>(handler, options);
    } catch (const std::exception&) {
        return nullptr;
    }
}

}  // namespace platform
