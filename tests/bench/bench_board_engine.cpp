// Cost of one world-map board frame on the headless software renderer: a 640 x 480 view of a
// 1216 x 640 map picture scrolling across it, the same view of a 1216 x 640 translucent overlay
// the game writes (owners' colours), and 104 small sprites (armies, cities, flags) over them,
// with the heap allocations each frame makes once warm. A second benchmark times rewriting the
// whole overlay, which the game does when the state of the world changes.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Renderer.h"
#include "platform/ResourcePath.h"
#include "platform/ScriptedWindow.h"
#include "screen/Directscreen.h"
#include "support/AllocationCounter.h"

namespace {

constexpr int kMapWidth = 1216;
constexpr int kMapHeight = 640;
constexpr int kSprites = 104;

struct Board {
    Board() {
        char folder[] = "/tmp/torvane-bench-XXXXXX";
        if (!::mkdtemp(folder))
            std::abort();
        root = folder;
        const std::string fonts = platform::ResourceRoot() + "/Fonts";
        std::filesystem::create_directories(root / "Graphics" / "Icones");
        std::filesystem::create_directory_symlink(fonts, root / "Fonts");
        ::setenv("TORVANE_RESOURCES", root.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", root.c_str(), 1);
        ::setenv("TORVANE_BUNDLED_FONT", "1", 1);
        Write("Graphics/Icones/Cursor.png", 32, 32, 0xFF20A040);
        Write("Graphics/Map.png", kMapWidth, kMapHeight, 0xFF305070);
        Write("Graphics/Army.png", 20, 20, 0xFFC08040);
        Write("Graphics/City.png", 16, 16, 0xFF4080C0);

        screen = std::make_unique<torvane::DirectScreen>(&window);
        map = screen->LoadImage("..\\Ressources\\Graphics\\Map.png", 0);
        army = screen->LoadImage("..\\Ressources\\Graphics\\Army.png", 0);
        city = screen->LoadImage("..\\Ressources\\Graphics\\City.png", 0);
        overlay = screen->CreateImage(kMapWidth, kMapHeight);
        // Regions in the owners' colours, half translucent, with unowned land left clear.
        owners.resize(static_cast<size_t>(kMapWidth) * kMapHeight);
        for (int y = 0; y < kMapHeight; ++y) {
            for (int x = 0; x < kMapWidth; ++x) {
                const int region = (x / 48) * 7 + (y / 40) * 13;
                owners[static_cast<size_t>(y * kMapWidth + x)] =
                    region % 5 == 0 ? 0u : 0x80000000u | static_cast<uint32_t>(region * 0x1F3B7D);
            }
        }
        if (overlay)
            overlay->SetPixels(owners);
        window.SetCursor(320, 240);
    }
    ~Board() {
        map.reset();
        army.reset();
        city.reset();
        overlay.reset();
        screen.reset();
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }
    bool Ready() const { return screen->IsReady() && map && army && city && overlay; }

    void Write(const std::string& relative, int w, int h, uint32_t argb) {
        std::vector<uint32_t> pixels(static_cast<size_t>(w * h), argb);
        for (int i = 0; i < w * h; i += 7)
            pixels[static_cast<size_t>(i)] ^= 0x00102030;
        platform::WritePicture((root / relative).string(), w, h, pixels.data());
    }

    void Frame() {
        window.AdvanceTime(16);
        // The view scrolls to and fro over the whole map.
        ++step;
        const int range = kMapWidth - 640;
        const int phase = step % (2 * range);
        const int viewX = phase < range ? phase : 2 * range - phase;
        const int viewY = (step / 3) % (kMapHeight - 480);
        screen->BeginFrame();
        map->DrawRegion(viewX, viewY, 640, 480, 0, 0);
        overlay->DrawRegion(viewX, viewY, 640, 480, 0, 0);
        for (int i = 0; i < kSprites; ++i) {
            const torvane::Image& sprite = i % 2 == 0 ? *army : *city;
            const int x = (i * 97) % kMapWidth - viewX;
            const int y = (i * 61) % kMapHeight - viewY;
            sprite.Draw(x, y, i % 4 == 0 ? 0xFFFFC0C0 : 0xFFFFFFFF);
        }
        screen->EndFrame(true);
    }

    platform::ScriptedWindow window;
    std::filesystem::path root;
    std::unique_ptr<torvane::DirectScreen> screen;
    std::unique_ptr<torvane::Image> map;
    std::unique_ptr<torvane::Image> army;
    std::unique_ptr<torvane::Image> city;
    std::unique_ptr<torvane::Image> overlay;
    std::vector<uint32_t> owners;
    int step = 0;
};

void BM_BoardFrame(benchmark::State& state) {
    Board board;
    if (!board.Ready()) {
        state.SkipWithError("the board could not be built");
        return;
    }
    for (int i = 0; i < 10; ++i)
        board.Frame();
    testsupport::StartCountingAllocations();
    long long frames = 0;
    for (auto _ : state) {
        board.Frame();
        ++frames;
    }
    state.counters["allocations_per_frame"] =
        static_cast<double>(testsupport::StopCountingAllocations()) / static_cast<double>(frames);
}
BENCHMARK(BM_BoardFrame)->Unit(benchmark::kMillisecond);

void BM_OverlayRewrite(benchmark::State& state) {
    Board board;
    if (!board.Ready()) {
        state.SkipWithError("the board could not be built");
        return;
    }
    testsupport::StartCountingAllocations();
    long long rewrites = 0;
    for (auto _ : state) {
        board.owners[static_cast<size_t>(rewrites) % board.owners.size()] ^= 0x00FFFFFF;
        if (!board.overlay->SetPixels(board.owners)) {
            state.SkipWithError("the overlay refused its pixels");
            break;
        }
        ++rewrites;
    }
    state.counters["allocations_per_rewrite"] =
        static_cast<double>(testsupport::StopCountingAllocations()) /
        static_cast<double>(rewrites > 0 ? rewrites : 1);
}
BENCHMARK(BM_OverlayRewrite)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
