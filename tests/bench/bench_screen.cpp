// Cost of one busy frame on the headless software renderer: a background, 200 sprites (150 of
// 24 x 24, 40 of 64 x 48, 10 of 160 x 120; a quarter translucent, a quarter tinted) and 50 texts
// of sizes 0 to 7, half with a shadow, with the heap allocations each frame makes once warm.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
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

// A resource folder of generated pictures beside the game's own font.
struct Scene {
    Scene() {
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
        Write("Graphics/Background.png", 640, 480, 0xFF304050);
        Write("Graphics/Small.png", 24, 24, 0xFFC08040);
        Write("Graphics/Medium.png", 64, 48, 0xFF4080C0);
        Write("Graphics/Large.png", 160, 120, 0xFF80C040);

        screen = std::make_unique<torvane::DirectScreen>(&window);
        background = screen->LoadImage("..\\Ressources\\Graphics\\Background.png", 0);
        for (const char* name : {"Small", "Medium", "Large"}) {
            sprites.push_back(
                screen->LoadImage(std::string("..\\Ressources\\Graphics\\") + name + ".png", 0));
        }
        for (int i = 0; i < 50; ++i) {
            texts.push_back("Texte num\xE9ro " + std::to_string(i) + " - \xC9tat-Unis");
        }
        window.SetCursor(320, 240);
    }
    ~Scene() {
        sprites.clear();
        background.reset();
        screen.reset();
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }
    void Write(const std::string& relative, int w, int h, uint32_t argb) {
        std::vector<uint32_t> pixels(static_cast<size_t>(w * h), argb);
        for (int i = 0; i < w * h; i += 7)
            pixels[static_cast<size_t>(i)] ^= 0x00102030;
        platform::WritePicture((root / relative).string(), w, h, pixels.data());
    }

    void Frame() {
        window.AdvanceTime(16);
        screen->BeginFrame();
        background->Draw(0, 0);
        // Mostly icons and flags, some buttons, a few panels: about 1.3 screens of pixels.
        for (int i = 0; i < 200; ++i) {
            const size_t kind = i < 150 ? 0 : i < 190 ? 1 : 2;
            const torvane::Image& sprite = *sprites[kind];
            const uint32_t colour = i % 4 == 0 ? 0x80FFFFFF : i % 4 == 1 ? 0xFFFFC0C0 : 0xFFFFFFFF;
            sprite.Draw((i * 37) % 600, (i * 53) % 440, colour);
        }
        for (int i = 0; i < 50; ++i) {
            screen->DrawText(10 + (i * 71) % 600, (i * 29) % 460, texts[static_cast<size_t>(i)],
                             0xFFFFFFFF, i % 2, i % 8, i % 3);
        }
        screen->EndFrame(true);
    }

    platform::ScriptedWindow window;
    std::filesystem::path root;
    std::unique_ptr<torvane::DirectScreen> screen;
    std::unique_ptr<torvane::Image> background;
    std::vector<std::unique_ptr<torvane::Image>> sprites;
    std::vector<std::string> texts;
};

void BM_BusyFrame(benchmark::State& state) {
    Scene scene;
    if (!scene.screen->IsReady()) {
        state.SkipWithError("the screen engine could not be built");
        return;
    }
    for (int i = 0; i < 10; ++i)
        scene.Frame();  // builds the glyph atlases used
    testsupport::StartCountingAllocations();
    long long frames = 0;
    for (auto _ : state) {
        scene.Frame();
        ++frames;
    }
    state.counters["allocations_per_frame"] =
        static_cast<double>(testsupport::StopCountingAllocations()) / static_cast<double>(frames);
}
BENCHMARK(BM_BusyFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
