// Helpers shared by the test programs.
#pragma once

#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/Settings.h"

namespace testsupport {

// Runs `step` until `done` holds; false once `limit` has passed.
inline bool StepUntil(const std::function<bool()>& done, const std::function<void()>& step,
                      std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        step();
    }
    return true;
}

// Collects every error box shown while it lives.
class ErrorBoxes {
  public:
    ErrorBoxes() {
        previous_ =
            platform::SetErrorSink([this](const std::string& text) { texts.push_back(text); });
    }
    ~ErrorBoxes() { platform::SetErrorSink(previous_); }
    ErrorBoxes(const ErrorBoxes&) = delete;
    ErrorBoxes& operator=(const ErrorBoxes&) = delete;

    std::vector<std::string> texts;

  private:
    platform::ErrorSink previous_;
};

// While it lives, a new platform::Application finds no video driver at all, so no window can be
// created.
class NoVideo {
  public:
    NoVideo() {
        const char* driver = std::getenv("SDL_VIDEODRIVER");
        hadDriver_ = driver != nullptr;
        driver_ = hadDriver_ ? driver : "";
        ::setenv("SDL_VIDEODRIVER", "torvane-no-such-driver", 1);
    }
    ~NoVideo() {
        if (hadDriver_) {
            ::setenv("SDL_VIDEODRIVER", driver_.c_str(), 1);
        } else {
            ::unsetenv("SDL_VIDEODRIVER");
        }
    }
    NoVideo(const NoVideo&) = delete;
    NoVideo& operator=(const NoVideo&) = delete;

  private:
    bool hadDriver_ = false;
    std::string driver_;
};

// Starts a test with no settings file at all.
inline void ClearSettings() {
    std::error_code error;
    const std::filesystem::path file(platform::SettingsFilePath());
    std::filesystem::remove(file, error);
    std::filesystem::remove(file.string() + ".lock", error);
}

}  // namespace testsupport
