// Raw sockets speaking (or not) the session's wire: the attackers of the network tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "platform/PeerWire.h"

namespace nettest {

namespace wire = platform::wire;

inline sockaddr_in LoopbackTo(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A raw TCP connection to 127.0.0.1:port, or one accepted by a RawListener.
class RawLink {
  public:
    explicit RawLink(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = LoopbackTo(port);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    struct Accepted {
        int fd;
    };
    explicit RawLink(Accepted accepted) : fd_(accepted.fd), connected_(accepted.fd >= 0) {}
    ~RawLink() { Close(); }
    RawLink(const RawLink&) = delete;
    RawLink& operator=(const RawLink&) = delete;

    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    bool Connected() const { return connected_; }
    // Safe from several threads (a heartbeat thread beside the test's own frames).
    bool Send(std::span<const uint8_t> bytes) {
        std::lock_guard lock(sendMutex_);
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    bool SendFrame(std::span<const uint8_t> body) { return Send(wire::MakeFrame(body)); }
    bool SendMessage(std::span<const uint8_t> payload) {
        return SendFrame(wire::EncodeMessage(payload));
    }
    // Next frame body of the given type (others are skipped); false on close or time-out.
    bool Read(wire::FrameType type, std::vector<uint8_t>& body, int ms = 2000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            while (reader_.Next(body)) {
                if (wire::TypeOf(body) == type)
                    return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd fd{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
                return false;
            }
            uint8_t buffer[4096];
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0 || !reader_.Append(std::span(buffer, static_cast<size_t>(got)))) {
                return false;
            }
        }
    }
    // True when the other side has closed the connection.
    bool ClosedByPeer(int ms = 2000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            pollfd fd{fd_, POLLIN, 0};
            if (::poll(&fd, 1, 50) > 0) {
                uint8_t buffer[4096];
                if (::recv(fd_, buffer, sizeof buffer, 0) <= 0)
                    return true;
            }
        }
        return false;
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
    wire::FrameReader reader_;
    std::mutex sendMutex_;
};

// A raw TCP listening socket on 127.0.0.1 (a port of the caller's choice, or any).
class RawListener {
  public:
    explicit RawListener(uint16_t port = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address = LoopbackTo(port);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd_, 8) != 0) {
            return;
        }
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~RawListener() { ::close(fd_); }
    RawListener(const RawListener&) = delete;
    RawListener& operator=(const RawListener&) = delete;

    uint16_t Port() const { return port_; }
    // The next connection, or a link that is not connected after `ms`.
    RawLink::Accepted Accept(int ms = 3000) {
        pollfd fd{fd_, POLLIN, 0};
        if (::poll(&fd, 1, ms) <= 0)
            return {-1};
        return {::accept(fd_, nullptr, nullptr)};
    }

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// Frames sent every `ms` on some links from a thread of their own, so that the engines at
// the other end keep hearing from a raw peer.
class Heartbeat {
  public:
    explicit Heartbeat(int ms = 100)
        : thread_([this, ms] {
              while (!stop_) {
                  {
                      std::lock_guard lock(mutex_);
                      for (RawLink* link : links_)
                          link->SendFrame(wire::EncodeStamp(wire::FrameType::Ping, 1));
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
              }
          }) {}
    ~Heartbeat() {
        stop_ = true;
        thread_.join();
    }
    void Add(RawLink& link) {
        std::lock_guard lock(mutex_);
        links_.push_back(&link);
    }
    void Remove(RawLink& link) {
        std::lock_guard lock(mutex_);
        links_.erase(std::remove(links_.begin(), links_.end(), &link), links_.end());
    }

  private:
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<RawLink*> links_;
    std::thread thread_;
};

inline void SendDatagram(uint16_t port, std::span<const uint8_t> bytes) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = LoopbackTo(port);
    ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&address),
             sizeof address);
    ::close(fd);
}

// Whether a datagram sent to `port` draws any answer within `ms`; `answer` receives it.
inline bool DrawsAnswer(uint16_t port, std::span<const uint8_t> bytes, int ms = 300,
                        std::vector<uint8_t>* answer = nullptr) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = LoopbackTo(port);
    ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&address),
             sizeof address);
    pollfd poll{fd, POLLIN, 0};
    const bool answered = ::poll(&poll, 1, ms) > 0;
    if (answered && answer) {
        answer->resize(2048);
        const ssize_t got = ::recv(fd, answer->data(), answer->size(), 0);
        answer->resize(got > 0 ? static_cast<size_t>(got) : 0);
    }
    ::close(fd);
    return answered;
}

}  // namespace nettest
