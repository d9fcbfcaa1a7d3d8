// A headless screen engine on a scripted window, with its own resource folder of test pictures.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Renderer.h"
#include "platform/ResourcePath.h"
#include "platform/ScriptedWindow.h"
#include "screen/Directscreen.h"
#include "support/TestSupport.h"

namespace testsupport {

struct Bounds {
    int left = 1 << 30;
    int top = 1 << 30;
    int right = -1;  // inclusive
    int bottom = -1;
    bool Empty() const { return right < left; }
};

class ScreenFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* original = std::getenv("TORVANE_RESOURCES");
        hadRoot = original != nullptr;
        originalRoot = hadRoot ? std::string(original) : platform::ResourceRoot();
        ASSERT_FALSE(originalRoot.empty());
        char folder[] = "/tmp/torvane-res-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        root = folder;
        std::filesystem::create_directories(root / "Graphics" / "Icones");
        std::filesystem::create_directory_symlink(std::filesystem::path(originalRoot) / "Fonts",
                                                  root / "Fonts");
        ::setenv("TORVANE_RESOURCES", root.c_str(), 1);
        ClearSettings();
    }

    void TearDown() override {
        if (hadRoot) {
            ::setenv("TORVANE_RESOURCES", originalRoot.c_str(), 1);
        } else {
            ::unsetenv("TORVANE_RESOURCES");
        }
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }

    // Writes a picture under the test resource folder ("Graphics/x.png").
    void WritePicture(const std::string& relative, int width, int height,
                      const std::vector<uint32_t>& argb) {
        std::filesystem::create_directories((root / relative).parent_path());
        ASSERT_TRUE(platform::WritePicture((root / relative).string(), width, height, argb.data()));
    }
    void WriteSolid(const std::string& relative, int width, int height, uint32_t argb) {
        WritePicture(relative, width, height,
                     std::vector<uint32_t>(static_cast<size_t>(width * height), argb));
    }
    // A 4 x 4 green cursor whose top-left pixel is the cursor's colour key.
    void WriteCursor() {
        std::vector<uint32_t> pixels(16, 0xFF00FF00);
        pixels[0] = 0xFF800080;
        WritePicture("Graphics/Icones/Cursor.png", 4, 4, pixels);
    }

    std::unique_ptr<torvane::DirectScreen> MakeScreen() {
        auto screen = std::make_unique<torvane::DirectScreen>(&window);
        EXPECT_TRUE(screen->IsReady());
        return screen;
    }

    std::vector<uint32_t> Picture(const torvane::DirectScreen& screen) {
        std::vector<uint32_t> pixels;
        EXPECT_TRUE(screen.ReadPicture(pixels));
        return pixels;
    }

    // Bounds of the pixels in a region that satisfy `test`.
    template <typename Test>
    static Bounds Find(const std::vector<uint32_t>& picture, Test test, int x0 = 0, int y0 = 0,
                       int x1 = 640, int y1 = 480) {
        Bounds bounds;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                if (!test(picture[static_cast<size_t>(y * 640 + x)]))
                    continue;
                bounds.left = std::min(bounds.left, x);
                bounds.right = std::max(bounds.right, x);
                bounds.top = std::min(bounds.top, y);
                bounds.bottom = std::max(bounds.bottom, y);
            }
        }
        return bounds;
    }

    static int Red(uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }
    static int Green(uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); }
    static int Blue(uint32_t c) { return static_cast<int>(c & 0xFF); }

    platform::ScriptedWindow window;
    ErrorBoxes boxes;
    std::filesystem::path root;
    std::string originalRoot;
    bool hadRoot = false;
};

}  // namespace testsupport
