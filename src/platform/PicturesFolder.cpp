// Where the player's screenshots go.
#include "platform/PicturesFolder.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace platform {
namespace {

bool IsFolder(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

// Reads XDG_PICTURES_DIR="$HOME/Pictures" from user-dirs.dirs.
std::string FromUserDirs(const std::string& home) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string base = config && *config ? std::string(config) : home + "/.config";
    std::ifstream file(base + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_PICTURES_DIR=";
    while (std::getline(file, line)) {
        if (line.rfind(key, 0) != 0)
            continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        return value;
    }
    return {};
}

}  // namespace

std::string PicturesFolder() {
    if (const char* env = std::getenv("XDG_PICTURES_DIR"); env && IsFolder(env))
        return env;
    const char* homeEnv = std::getenv("HOME");
    const std::string home = homeEnv ? homeEnv : "";
    if (!home.empty()) {
        if (std::string dirs = FromUserDirs(home); IsFolder(dirs))
            return dirs;
        if (IsFolder(home))
            return home;
    }
    return ".";
}

std::string ScreenshotPath(const std::string& folder) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &local);
    const std::string base = folder + "/Torvane " + stamp;
    std::string path = base + ".png";
    std::error_code error;
    for (int n = 2; std::filesystem::exists(path, error) && n < 1000; ++n) {
        path = base + " (" + std::to_string(n) + ").png";
    }
    return path;
}

}  // namespace platform
