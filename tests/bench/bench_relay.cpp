// Relayed pairs on loopback: what a hop through the host adds to a message's round trip, and
// what relaying costs the host while eight players play a campaign behind routers that forward
// nothing (their records change every phase; every pair of them goes through the host).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/PeerSession.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::PeerOptions;

// Counts what arrives; the echoing one sends every message straight back to its sender.
class Counter : public platform::PeerHandler {
  public:
    bool OnEnumQuery() override { return true; }
    bool OnIndicateConnect(std::span<const uint8_t>) override { return true; }
    void OnEnumResponse(const platform::SessionAnswer&) override {}
    void OnCreatePlayer(int32_t) override {}
    void OnDestroyPlayer(int32_t, platform::DestroyReason) override {}
    void OnPeerInfo(int32_t) override {}
    void OnHostMigrate(int32_t) override {}
    void OnReceive(int32_t sender, std::span<const uint8_t> bytes) override {
        ++received;
        if (echo && session)
            session->SendTo(sender, bytes);
    }
    void OnTerminateSession() override {}
    std::atomic<int> received{0};
    bool echo = false;
    platform::PeerSession* session = nullptr;
};

struct Member {
    explicit Member(const PeerOptions& options)
        : session(platform::PeerSession::Create(counter, options)) {
        counter.session = session.get();
    }
    ~Member() {
        counter.session = nullptr;
        if (session)
            session->Close();
    }
    Counter counter;
    std::unique_ptr<platform::PeerSession> session;
};

PeerOptions Options(PeerOptions::Incoming incoming) {
    PeerOptions options;
    options.discoveryPort = 47401;
    options.basePort = 47402;
    options.lastPort = 47420;
    options.broadcastSearch = false;
    options.meshConnectMs = 300;
    options.incomingForTest = incoming;
    return options;
}

bool SpinUntil(const std::function<bool()>& done,
               std::chrono::seconds limit = std::chrono::seconds(10)) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::yield();
    }
    return true;
}

double CpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// A message from one player to another and straight back: range(0) 0 for players that reach
// each other, 1 for two players behind routers that forward nothing (through the host both
// ways).
void BM_MessageRoundTrip(benchmark::State& state) {
    const bool relayed = state.range(0) == 1;
    const auto incoming = relayed ? PeerOptions::Incoming::Ignore : PeerOptions::Incoming::Accept;
    Member host(Options(PeerOptions::Incoming::Accept));
    if (host.session->Host(u"3.00a Banc", 8, 0) != platform::PeerResult::Ok)
        return state.SkipWithError("no session");
    const platform::PeerAddress address{0x7F000001u, host.session->ListenPort()};
    Member a(Options(incoming)), b(Options(incoming));
    b.counter.echo = true;
    if (a.session->Connect(address) != platform::PeerResult::Ok ||
        b.session->Connect(address) != platform::PeerResult::Ok) {
        return state.SkipWithError("join failed");
    }
    const int32_t to = b.session->LocalId();
    if (b.session->Links().relayed != (relayed ? 1 : 0))
        return state.SkipWithError("not the links asked for");
    const std::vector<uint8_t> message(64, 7);
    for (auto _ : state) {
        const int before = a.counter.received;
        const auto start = Clock::now();
        a.session->SendTo(to, message);
        if (!SpinUntil([&] { return a.counter.received > before; }))
            return state.SkipWithError("no answer");
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.counters["relayed_by_host"] = static_cast<double>(host.session->Stats().relayedFrames);
}
BENCHMARK(BM_MessageRoundTrip)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The host alone in this process; seven players behind routers in a child process, each
// publishing its 2952-byte record twice per status (ready, then not) at one status every
// 250 ms, a quick computer players' campaign. Every record reaches six players through the
// host. Reports the host process's CPU per second of play.
void BM_HostRelayingEightPlayers(benchmark::State& state) {
    constexpr int kPlayers = 7;
    constexpr int kStatusMs = 250;
    Member host(Options(PeerOptions::Incoming::Accept));
    if (host.session->Host(u"3.00a Banc", 8, 0) != platform::PeerResult::Ok)
        return state.SkipWithError("no session");
    const uint16_t port = host.session->ListenPort();
    int ready[2];
    if (::pipe(ready) != 0)
        return state.SkipWithError("no pipe");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        std::vector<std::unique_ptr<Member>> players;
        for (int i = 0; i < kPlayers; ++i) {
            players.push_back(std::make_unique<Member>(Options(PeerOptions::Incoming::Ignore)));
            if (players.back()->session->Connect({0x7F000001u, port}) != platform::PeerResult::Ok)
                ::_exit(1);
        }
        SpinUntil([&] {
            for (auto& player : players) {
                if (player->session->Links().relayed != kPlayers - 1)
                    return false;
            }
            return true;
        });
        char go = 1;
        if (::write(ready[1], &go, 1) != 1)
            ::_exit(1);
        std::vector<uint8_t> record(2952, 0);
        // Plays until the host's side closes the pipe's other end by killing us.
        for (uint32_t status = 0;; ++status) {
            for (int half = 0; half < 2; ++half) {
                record[60] = static_cast<uint8_t>(status);
                record[61] = static_cast<uint8_t>(half);
                for (auto& player : players)
                    player->session->SetPeerInfo(record);
                std::this_thread::sleep_for(std::chrono::milliseconds(kStatusMs / 2));
            }
        }
    }
    ::close(ready[1]);
    char go = 0;
    if (::read(ready[0], &go, 1) != 1) {
        ::close(ready[0]);
        ::waitpid(child, nullptr, 0);
        return state.SkipWithError("the players did not all join");
    }
    ::close(ready[0]);
    const uint64_t relayedBefore = host.session->Stats().relayedFrames;
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpuStart = CpuSeconds();
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        cpu += CpuSeconds() - cpuStart;
        wall += std::chrono::duration<double>(Clock::now() - start).count();
    }
    const uint64_t relayed = host.session->Stats().relayedFrames - relayedBefore;
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    state.counters["host_cpu_percent"] = wall > 0 ? 100.0 * cpu / wall : 0;
    state.counters["relayed_frames_per_s"] = wall > 0 ? static_cast<double>(relayed) / wall : 0;
}
BENCHMARK(BM_HostRelayingEightPlayers)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
