// Network timings on loopback: search, join, peer-data spread, message round trip, dead peers.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "network/Directplay.h"
#include "platform/PeerWire.h"

using namespace torvane;
using Clock = std::chrono::steady_clock;

namespace {

class Quiet : public Listener {
  public:
    void OnPlayerJoined(const std::string&) override {}
    void OnPlayerLost(const std::string&) override { ++lost; }
    void OnPlayerRemoved(const std::string&) override {}
    void OnTextMessage(int32_t, const std::string&, int32_t) override {}
    void OnTerritories(int32_t, const TerritoryTable&) override {}
    void OnValueMessage(int32_t, int32_t) override {}
    void OnByteMessage(int32_t, uint8_t) override { ++bytes; }
    void OnSessionTerminated() override {}
    int lost = 0;
    int bytes = 0;
};

platform::PeerOptions BenchOptions() {
    platform::PeerOptions options;
    options.discoveryPort = 47301;
    options.basePort = 47302;
    options.lastPort = 47320;
    options.broadcastSearch = false;  // stay on this machine
    return options;
}

HostAddress FindHost(DirectPlay& searcher) {
    searcher.EnumerateGames("127.0.0.1");
    const EnumeratedParty* party = searcher.GetParty(0);
    return party ? party->hostAddress : HostAddress{};
}

void SpinUntil(const std::function<bool()>& done) {
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (!done() && Clock::now() < end)
        std::this_thread::yield();
}

void BM_SearchLoopback(benchmark::State& state) {
    const auto options = BenchOptions();
    DirectPlay host("Hote", options);
    host.HostGame("Partie");
    DirectPlay browser("Bea", options);
    double latency = 0;
    for (auto _ : state) {
        browser.EnumerateGames("");
        if (browser.PartyCount() != 1)
            state.SkipWithError("session not found");
        else
            latency += browser.GetParty(0)->latency;
    }
    state.counters["first_answer_ms"] =
        benchmark::Counter(latency, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_SearchLoopback)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_Join(benchmark::State& state) {
    const auto options = BenchOptions();
    DirectPlay host("Hote", options);
    host.HostGame("Partie");
    DirectPlay finder("Bea", options);
    const HostAddress address = FindHost(finder);
    for (auto _ : state) {
        DirectPlay joiner("Joueur", options);
        const auto start = Clock::now();
        if (!joiner.JoinGame(address))
            state.SkipWithError("join failed");
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}
BENCHMARK(BM_Join)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// A full session of eight; how long until the seven others hold a new record.
void BM_PeerDataToSevenPeers(benchmark::State& state) {
    const auto options = BenchOptions();
    std::vector<std::unique_ptr<DirectPlay>> players;
    players.push_back(std::make_unique<DirectPlay>("P0", options));
    players[0]->HostGame("Partie");
    const HostAddress address = FindHost(*players[0]);
    for (int i = 1; i < 8; ++i) {
        players.push_back(std::make_unique<DirectPlay>("P" + std::to_string(i), options));
        players.back()->JoinGame(address);
    }
    SpinUntil([&] {
        for (auto& p : players) {
            if (p->PlayerCount() != 8)
                return false;
        }
        return true;
    });
    DirectPlay& sender = *players[0];
    const int32_t id = sender.LocalPlayerId();
    PlayerInfo record;
    sender.CopyPlayer(id, record);
    for (auto _ : state) {
        record.reservedWord += 1;
        const int32_t mark = record.reservedWord;
        sender.PublishLocalPlayer(record);
        SpinUntil([&] {
            for (size_t i = 1; i < players.size(); ++i) {
                PlayerInfo seen;
                if (!players[i]->CopyPlayer(id, seen) || seen.reservedWord != mark)
                    return false;
            }
            return true;
        });
    }
}
BENCHMARK(BM_PeerDataToSevenPeers)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_GameMessageRoundTrip(benchmark::State& state) {
    const auto options = BenchOptions();
    DirectPlay a("A", options), b("B", options);
    Quiet listenA, listenB;
    a.SetListener(&listenA);
    b.SetListener(&listenB);
    a.HostGame("Partie");
    b.JoinGame(FindHost(b));
    SpinUntil([&] { return a.PlayerCount() == 2; });
    // Out as the host's objective, back as the member's record: objectives from anyone but the
    // host are refused.
    PlayerInfo record;
    b.CopyPlayer(b.LocalPlayerId(), record);
    for (auto _ : state) {
        const int before = listenB.bytes;
        a.SendObjective(b.LocalPlayerId(), 1);
        SpinUntil([&] {
            b.DeliverEvents();
            return listenB.bytes > before;
        });
        record.syncStatus += 2;
        b.PublishLocalPlayer(record);
        SpinUntil([&] {
            PlayerInfo seen;
            return a.CopyPlayer(b.LocalPlayerId(), seen) && seen.syncStatus == record.syncStatus;
        });
    }
    a.ClearListener(&listenA);
    b.ClearListener(&listenB);
}
BENCHMARK(BM_GameMessageRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A raw peer that joins and then either closes without a goodbye or falls silent.
void DeadPeer(benchmark::State& state, bool silent) {
    const auto options = BenchOptions();  // the default heartbeat and time-out
    DirectPlay host("Hote", options);
    Quiet listener;
    host.SetListener(&listener);
    host.HostGame("Partie");
    DirectPlay finder("Bea", options);
    const HostAddress address = FindHost(finder);
    namespace wire = platform::wire;
    for (auto _ : state) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(address.port);
        to.sin_addr.s_addr = htonl(address.ipv4);
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
        PlayerInfo record;
        record.SetName("Fantome");
        wire::Hello hello;
        const auto bytes = EncodePlayer(record);
        hello.data.assign(bytes.begin(), bytes.end());
        const auto frame = wire::MakeFrame(wire::EncodeHello(hello));
        ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
        SpinUntil([&] { return host.PlayerCount() == 2; });
        const int before = listener.lost;
        const auto start = Clock::now();
        if (!silent)
            ::close(fd);
        SpinUntil([&] {
            host.DeliverEvents();
            return listener.lost > before;
        });
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (silent)
            ::close(fd);
    }
    host.ClearListener(&listener);
}
void BM_DeadPeerClosed(benchmark::State& state) {
    DeadPeer(state, false);
}
void BM_DeadPeerSilent(benchmark::State& state) {
    DeadPeer(state, true);
}
BENCHMARK(BM_DeadPeerClosed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_DeadPeerSilent)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
