// Helpers for the network tests: private ports per test, a recording listener, waiting.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "network/Directplay.h"
#include "platform/PeerSession.h"

namespace nettest {

// Ports for one test: blocks of 128 from 20000 to 31903, below the kernel's ephemeral ports (so
// no socket the system opens lands in one), each held by one test process at a time through a
// lock file kept open until the process ends, so tests running in parallel never search or host
// in each other's range. A block holds the game's whole default search span (99 ports) after its
// first port, for the screens whose engines take their ports from the environment. Every call
// takes a fresh block.
inline uint16_t ReservePortBlock() {
    constexpr int kFirstPort = 20000, kBlockSize = 128, kBlocks = 93;
    static std::vector<int> held;  // the locks, for the process's whole life
    static int next = static_cast<int>(::getpid()) % kBlocks;
    for (int tries = 0; tries < kBlocks; ++tries) {
        const int block = next++ % kBlocks;
        const std::string path = "/tmp/torvane-test-ports-" + std::to_string(block) + ".lock";
        const int fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            held.push_back(fd);
            return static_cast<uint16_t>(kFirstPort + block * kBlockSize);
        }
        ::close(fd);
    }
    ADD_FAILURE() << "no free block of test ports";
    return kFirstPort;
}

// A discovery port and the TCP range after it (at most 15 ports) that no other test uses.
inline platform::PeerOptions PrivateOptions(uint16_t rangeSize = 12) {
    platform::PeerOptions options;
    const uint16_t port = ReservePortBlock();
    options.discoveryPort = port;
    options.basePort = static_cast<uint16_t>(port + 1);
    options.lastPort = static_cast<uint16_t>(port + std::min<uint16_t>(rangeSize, 15));
    // Long enough for every answer to arrive on a loaded two-core machine.
    options.searchMs = 500;
    // Nothing these tests send may leave the machine: no broadcast on real interfaces.
    options.broadcastSearch = false;
    options.connectTimeoutMs = 3000;
    return options;
}

// Polls `done` (delivering the engines' events first) until it holds or `limit` passes.
inline bool WaitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::milliseconds(5000),
                    const std::vector<torvane::DirectPlay*>& deliver = {}) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        for (auto* engine : deliver)
            engine->DeliverEvents();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

class RecordingListener : public torvane::Listener {
  public:
    void OnPlayerJoined(const std::string& name) override { joined.push_back(name); }
    void OnPlayerLost(const std::string& name) override { lost.push_back(name); }
    void OnPlayerRemoved(const std::string& name) override { removed.push_back(name); }
    void OnTextMessage(int32_t senderId, const std::string& text, int32_t number) override {
        texts.push_back(text);
        textSenders.push_back(senderId);
        numbers.push_back(number);
    }
    void OnTerritories(int32_t senderId, const torvane::TerritoryTable& table) override {
        tableSenders.push_back(senderId);
        tables.push_back(table);
    }
    void OnValueMessage(int32_t senderId, int32_t number) override {
        valueSenders.push_back(senderId);
        values.push_back(number);
    }
    void OnByteMessage(int32_t senderId, uint8_t value) override {
        byteSenders.push_back(senderId);
        bytes.push_back(value);
    }
    void OnSessionTerminated() override { ++terminated; }

    std::vector<std::string> joined, lost, removed, texts;
    std::vector<int32_t> textSenders, numbers, values, valueSenders, tableSenders, byteSenders;
    std::vector<torvane::TerritoryTable> tables;
    std::vector<uint8_t> bytes;
    int terminated = 0;
};

// One engine and the listener registered on it.
struct Player {
    Player(const std::string& name, const platform::PeerOptions& options)
        : engine(std::make_unique<torvane::DirectPlay>(name, options)) {
        engine->SetListener(&listener);
    }
    ~Player() {
        if (engine)
            engine->ClearListener(&listener);
    }
    RecordingListener listener;
    std::unique_ptr<torvane::DirectPlay> engine;
};

// A bare session-layer handler for raw peers that talk to the engines directly: it answers
// searches and admits joiners when `admit` is set, and ignores every event.
class BareHandler : public platform::PeerHandler {
  public:
    explicit BareHandler(bool admit) : admit(admit) {}
    bool OnEnumQuery() override { return admit; }
    bool OnIndicateConnect(std::span<const uint8_t>) override { return admit; }
    void OnEnumResponse(const platform::SessionAnswer&) override {}
    void OnCreatePlayer(int32_t) override {}
    void OnDestroyPlayer(int32_t, platform::DestroyReason) override {}
    void OnPeerInfo(int32_t) override {}
    void OnHostMigrate(int32_t) override {}
    void OnReceive(int32_t, std::span<const uint8_t>) override {}
    void OnTerminateSession() override {}
    const bool admit;
};

inline torvane::HostAddress Loopback(uint16_t port) {
    return {0x7F000001u, port};
}

// A player record carrying `name` (and claiming `id`), as the bytes of a peer's data.
inline std::vector<uint8_t> Record(const std::string& name, int32_t id = 0) {
    torvane::PlayerInfo record;
    record.SetName(name);
    record.playerId = id;
    const auto bytes = torvane::EncodePlayer(record);
    return {bytes.begin(), bytes.end()};
}

// The address of the one session a search of this machine finds.
inline torvane::HostAddress FindHost(torvane::DirectPlay& searcher) {
    searcher.EnumerateGames("127.0.0.1");
    EXPECT_EQ(searcher.PartyCount(), 1);
    const torvane::EnumeratedParty* party = searcher.GetParty(0);
    return party ? party->hostAddress : torvane::HostAddress{};
}

// Searches loopback for `host`'s own game: the answer from its port, whatever else a test
// running beside this one may be hosting. An empty address when it is not found.
inline torvane::HostAddress FindGameOf(torvane::DirectPlay& searcher,
                                       const torvane::DirectPlay& host) {
    searcher.EnumerateGames("127.0.0.1");
    for (int i = 0; i < searcher.PartyCount(); ++i) {
        const torvane::EnumeratedParty* party = searcher.GetParty(i);
        if (party && party->hostAddress.port == host.ListenPort())
            return party->hostAddress;
    }
    ADD_FAILURE() << "the host's game was not found";
    return {};
}

// The names in an engine's players table, sorted.
inline std::vector<std::string> Names(torvane::DirectPlay& engine) {
    std::vector<std::string> names;
    torvane::PlayerInfo record;
    for (uint8_t i = 0; engine.CopyPlayerAt(i, record); ++i)
        names.push_back(record.Name());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace nettest
