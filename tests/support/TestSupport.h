// Helpers shared by the test programs.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/Settings.h"

namespace testsupport {

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

// Starts a test with no settings file at all.
inline void ClearSettings() {
    std::error_code error;
    const std::filesystem::path file(platform::SettingsFilePath());
    std::filesystem::remove(file, error);
    std::filesystem::remove(file.string() + ".lock", error);
}

}  // namespace testsupport
