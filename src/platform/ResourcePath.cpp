// Where the game's pictures, sounds, music and film are found.
#include "platform/ResourcePath.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/ChildProcess.h"

#ifndef TORVANE_SHARE_DIR
#define TORVANE_SHARE_DIR "/usr/local/share/torvane"
#endif

namespace platform {
namespace {

namespace fs = std::filesystem;

bool IsFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> SplitComponents(std::string_view path) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!current.empty())
                parts.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        parts.push_back(std::move(current));
    return parts;
}

// The entry of `folder` named `name` without regard to case; an exact match wins.
fs::path MatchEntry(const fs::path& folder, const std::string& name) {
    std::error_code error;
    if (fs::exists(folder / name, error))
        return folder / name;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (EqualsIgnoreCase(it->path().filename().string(), name))
            return it->path();
    }
    return {};
}

}  // namespace

std::string ResourceRoot() {
    if (const char* env = std::getenv("TORVANE_RESOURCES"); env && *env && IsFolder(env)) {
        return env;
    }
    const fs::path exeFolder = fs::path(ExecutableFolder());
    if (!exeFolder.empty()) {
        // A build folder links the source tree's resources beside bin/.
        const fs::path beside = exeFolder / ".." / "Ressources";
        if (IsFolder(beside))
            return fs::weakly_canonical(beside).string();
        // An installed game, under whatever prefix it was installed or unpacked to.
        const fs::path shared = exeFolder / ".." / "share" / "torvane" / "Ressources";
        if (IsFolder(shared))
            return fs::weakly_canonical(shared).string();
    }
    const fs::path installed = fs::path(TORVANE_SHARE_DIR) / "Ressources";
    if (IsFolder(installed))
        return installed.string();
    return {};
}

std::string ResolveResource(std::string_view gamePath) {
    std::vector<std::string> parts = SplitComponents(gamePath);
    // "..\Ressources\..." names the resource root itself.
    size_t first = 0;
    if (!parts.empty() && parts[0] == "..")
        first = 1;
    if (parts.size() > first && EqualsIgnoreCase(parts[first], "Ressources"))
        ++first;

    const std::string rootText = ResourceRoot();
    fs::path root = rootText.empty() ? fs::path("Ressources") : fs::path(rootText);
    fs::path resolved = root;
    bool matching = !rootText.empty();
    for (size_t i = first; i < parts.size(); ++i) {
        if (matching) {
            const fs::path next = MatchEntry(resolved, parts[i]);
            if (!next.empty()) {
                resolved = next;
                continue;
            }
            matching = false;
        }
        resolved /= parts[i];
    }
    return resolved.string();
}

}  // namespace platform
