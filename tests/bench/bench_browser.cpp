// Frame cost of the network browser once it has settled (the screen the game idles in first),
// with the heap allocations each frame makes: 0 headless; 1 on a 640 x 480 window; 2 on a
// 1366 x 768 window (the picture scaled by 1.6, letterboxed). Windows are the dummy video
// driver's, drawn by the software renderer.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "input/Directinput.h"
#include "network/Directplay.h"
#include "platform/Application.h"
#include "platform/ResourcePath.h"
#include "platform/ScriptedWindow.h"
#include "platform/Settings.h"
#include "screen/Directscreen.h"
#include "states/Statenetwork.h"
#include "support/AllocationCounter.h"

using namespace torvane;

namespace {

void BM_BrowserFrame(benchmark::State& state) {
    char folder[] = "/tmp/torvane-bench-browser-XXXXXX";
    if (!::mkdtemp(folder)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    ::setenv("XDG_CONFIG_HOME", folder, 1);
    ::setenv("SDL_VIDEODRIVER", "dummy", 0);
    ::setenv("SDL_RENDER_DRIVER", "software", 0);
    ::setenv("TORVANE_FRAME_CAP", "0", 1);
    ::setenv("TORVANE_BUNDLED_FONT", "1", 1);
    ::setenv("TORVANE_SEARCH", "local", 1);
    ::setenv("TORVANE_PORT", "46174", 1);
    ::setenv("TORVANE_DISCOVERY_PORT", "46173", 1);
    platform::SetBoolSetting("FullScreen", false);
    {
        const bool onWindow = state.range(0) >= 1;
        platform::ScriptedWindow scripted;
        std::unique_ptr<platform::Application> app;
        std::unique_ptr<platform::Form> form;
        platform::Window* window = &scripted;
        if (onWindow) {
            app = std::make_unique<platform::Application>();
            platform::FormOptions options;
            options.title = "Torvane";
            options.visible = true;
            form = app->CreateForm(options);
            window = form.get();
        }
        DirectScreen screen(window);
        DirectInput input(window);
        if (!screen.IsReady()) {
            state.SkipWithError("the screen engine could not be built");
            return;
        }
        if (state.range(0) == 2)
            SDL_SetWindowSize(static_cast<SDL_Window*>(form->NativeHandle()), 1366, 768);
        std::unique_ptr<DirectPlay> network;
        NetworkState browser(&screen, nullptr, &input, &network);
        const auto frame = [&] {
            if (app)
                app->ProcessMessages();
            scripted.AdvanceTime(16);
            browser.Run();
        };
        for (int i = 0; i < 200; ++i)
            frame();  // the frame has slid in and the highlight settled
        testsupport::StartCountingAllocations();
        long long frames = 0;
        for (auto _ : state) {
            frame();
            ++frames;
        }
        state.counters["allocations_per_frame"] =
            static_cast<double>(testsupport::StopCountingAllocations()) /
            static_cast<double>(frames);
    }
    std::error_code error;
    std::filesystem::remove_all(folder, error);
}
BENCHMARK(BM_BrowserFrame)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
