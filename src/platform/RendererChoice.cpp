#include "platform/RendererChoice.h"

#include <cstdint>

#include "platform/Window.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace platform {

bool HasGpuDevice(const std::string& devices) {
    auto usable = [](const std::string& path) { return ::access(path.c_str(), R_OK | W_OK) == 0; };
    for (const char* name : {"/nvidia0", "/dxg"}) {
        if (usable(devices + name))
            return true;
    }
    DIR* dri = ::opendir((devices + "/dri").c_str());
    if (!dri)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dri)) {
        const std::string_view name = entry->d_name;
        if ((name.rfind("renderD", 0) == 0 || name.rfind("card", 0) == 0) &&
            usable(devices + "/dri/" + entry->d_name)) {
            found = true;
            break;
        }
    }
    ::closedir(dri);
    return found;
}

bool SkipAcceleratedRenderer(bool gpuDevice, const char* userDriver) {
    return !gpuDevice && !(userDriver && userDriver[0] != '\0');
}

bool IsSoftwareRasteriser(const std::string& glRenderer) {
    std::string lower = glRenderer;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // Mesa's CPU drivers ("llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Software
    // Rasterizer", "swrast"), and the one Linux under Windows gets without a GPU ("D3D12
    // (Microsoft Basic Render Driver)").
    static constexpr std::array<std::string_view, 5> kNames = {
        "llvmpipe", "softpipe", "software rasterizer", "swrast", "basic render driver"};
    return std::any_of(kNames.begin(), kNames.end(), [&lower](std::string_view name) {
        return lower.find(name) != std::string::npos;
    });
}

bool PreferSoftwareRenderer(const RendererReport& report, const char* userDriver) {
    if (userDriver && userDriver[0] != '\0')
        return false;  // the user chose: theirs stands
    if (report.software || report.driver == "software")
        return false;  // already there
    return IsSoftwareRasteriser(report.glRenderer);
}

int FirstWindowFactor(int usableWidth, int usableHeight) {
    int factor = 1;
    while (factor < 64 && int64_t{kPictureWidth} * (factor + 1) * 5 <= int64_t{usableWidth} * 4 &&
           int64_t{kPictureHeight} * (factor + 1) * 5 <= int64_t{usableHeight} * 4) {
        ++factor;
    }
    return factor;
}

}  // namespace platform
