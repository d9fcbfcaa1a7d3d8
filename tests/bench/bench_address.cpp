// The browser's start-up address: reading "ConnectIP" from the largest settings file still read
// (a hand-edited value of about 1 MiB) and repairing it, against an ordinary settings file; and
// the repair alone on texts of growing length, which should grow linearly.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "input/Directinput.h"
#include "platform/Settings.h"
#include "states/Statenetwork.h"

namespace {

// Settings in a folder of their own, removed afterwards.
struct SettingsFolder {
    SettingsFolder() {
        char folder[] = "/tmp/torvane-bench-XXXXXX";
        if (!::mkdtemp(folder))
            std::abort();
        root = folder;
        ::setenv("XDG_CONFIG_HOME", root.c_str(), 1);
    }
    ~SettingsFolder() {
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }
    std::filesystem::path root;
};

// A valid start followed by digits that every repair has to cut.
std::string LongAddress(size_t length) {
    std::string text = "10.0.0.7";
    text.resize(length, '9');
    return text;
}

void BM_StoredAddress(benchmark::State& state) {
    SettingsFolder folder;
    const bool huge = state.range(0) != 0;
    platform::SetStringSetting("ConnectIP", huge ? LongAddress((1 << 20) - 100) : "192.168.0.1");
    for (auto _ : state)
        benchmark::DoNotOptimize(torvane::StoredConnectAddress());
    state.SetLabel(huge ? "1 MiB value" : "ordinary value");
}
BENCHMARK(BM_StoredAddress)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RepairAddress(benchmark::State& state) {
    // Zeros keep every prefix valid, so the whole text is walked.
    std::string text = "10.0.0.";
    text.resize(static_cast<size_t>(state.range(0)), '0');
    for (auto _ : state)
        benchmark::DoNotOptimize(torvane::RepairAddress(text));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RepairAddress)->RangeMultiplier(8)->Range(64, 1 << 20)->Complexity();

}  // namespace

BENCHMARK_MAIN();
