// Which renderer the game draws with: the accelerated one where a GPU draws, SDL's software one
// where the "accelerated" one would be OpenGL emulated on the CPU, and whatever the user named.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/RendererChoice.h"

using namespace platform;

namespace {

TEST(RendererChoice, CpuRasterisersAreToldFromGpusWhateverElseTheirNamesSay) {
    for (const char* cpu :
         {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Software Rasterizer", "Mesa DRI swrast",
          "D3D12 (Microsoft Basic Render Driver)", "LLVMPIPE (LLVM 11.0.1, 128 bits)"}) {
        EXPECT_TRUE(IsSoftwareRasteriser(cpu)) << cpu;
    }
    // A real GPU may name LLVM (AMD's shader compiler) without being one.
    for (const char* gpu :
         {"AMD Radeon RX 580 Series (polaris10, LLVM 15.0.6, DRM 3.49)",
          "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "NVIDIA GeForce GTX 1060 6GB/PCIe/SSE2",
          "D3D12 (NVIDIA GeForce RTX 3060)", "virgl (ANGLE (Intel, Mesa Intel(R) Xe Graphics))",
          ""}) {
        EXPECT_FALSE(IsSoftwareRasteriser(gpu)) << gpu;
    }
}

TEST(RendererChoice, AnEmulatedOpenGlGivesWayUnlessTheUserChoseIt) {
    RendererReport emulated{"opengl", false, "llvmpipe (LLVM 15.0.6, 256 bits)"};
    RendererReport gpu{"opengl", false, "Mesa Intel(R) UHD Graphics 620 (KBL GT2)"};
    RendererReport gles{"opengles2", false, "softpipe"};
    RendererReport software{"software", true, ""};
    RendererReport unknown{"opengl", false, ""};  // no GL_RENDERER could be read

    EXPECT_TRUE(PreferSoftwareRenderer(emulated, nullptr));
    EXPECT_TRUE(PreferSoftwareRenderer(emulated, ""));
    EXPECT_TRUE(PreferSoftwareRenderer(gles, nullptr));
    EXPECT_FALSE(PreferSoftwareRenderer(gpu, nullptr));
    EXPECT_FALSE(PreferSoftwareRenderer(software, nullptr));
    EXPECT_FALSE(PreferSoftwareRenderer(unknown, nullptr));
    // SDL_RENDER_DRIVER set: the user's renderer stands, whatever draws it.
    EXPECT_FALSE(PreferSoftwareRenderer(emulated, "opengl"));
    EXPECT_FALSE(PreferSoftwareRenderer(gles, "opengles2"));
}

TEST(RendererChoice, WithoutAGpuDeviceTheAcceleratedRendererIsNotEvenTried) {
    const std::filesystem::path dev =
        std::filesystem::temp_directory_path() / ("torvane-dev-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dev);
    std::filesystem::create_directories(dev);
    auto touch = [&](const std::string& name) {
        std::filesystem::create_directories((dev / name).parent_path());
        std::ofstream(dev / name) << "";
    };
    EXPECT_FALSE(HasGpuDevice(dev.string()));
    std::filesystem::create_directories(dev / "dri" / "by-path");
    EXPECT_FALSE(HasGpuDevice(dev.string()));  // the folder alone is no device
    touch("dri/renderD128");
    EXPECT_TRUE(HasGpuDevice(dev.string()));
    std::filesystem::remove(dev / "dri" / "renderD128");
    touch("dri/card0");
    EXPECT_TRUE(HasGpuDevice(dev.string()));
    std::filesystem::remove_all(dev / "dri");
    touch("nvidia0");
    EXPECT_TRUE(HasGpuDevice(dev.string()));
    std::filesystem::remove_all(dev);
    EXPECT_FALSE(HasGpuDevice(dev.string()));

    EXPECT_TRUE(SkipAcceleratedRenderer(false, nullptr));
    EXPECT_TRUE(SkipAcceleratedRenderer(false, ""));
    EXPECT_FALSE(SkipAcceleratedRenderer(true, nullptr));
    EXPECT_FALSE(SkipAcceleratedRenderer(false, "opengl"));  // the user asked for it
}

TEST(WindowChoice, TheFirstWindowIsTheLargestWholeFactorThatLeavesAFifthOfTheDesktop) {
    EXPECT_EQ(FirstWindowFactor(3840, 2160 - 48), 3);  // 4K: 1920 x 1440
    EXPECT_EQ(FirstWindowFactor(2560, 1440 - 32), 2);  // 1280 x 960
    EXPECT_EQ(FirstWindowFactor(1920, 1080), 1);       // 1280 x 960 would fill it
    EXPECT_EQ(FirstWindowFactor(1600, 1200), 2);       // 1280 x 960 leaves exactly a fifth
    EXPECT_EQ(FirstWindowFactor(1024, 768), 1);
    EXPECT_EQ(FirstWindowFactor(640, 480), 1);
    EXPECT_EQ(FirstWindowFactor(0, 0), 1);
    EXPECT_EQ(FirstWindowFactor(-5, 100000), 1);
    EXPECT_EQ(FirstWindowFactor(2147483647, 2147483647), 64);  // no overflow, a bound
}

}  // namespace
