// Modal error boxes with the caption "Torvane Error" and an OK button.
#pragma once

#include <functional>
#include <string>

namespace platform {

inline constexpr const char* kErrorCaption = "Torvane Error";

// Shows `text` (Windows-1252) to the player and waits for OK. Without a display the text goes
// to standard error and the program goes on.
void ShowErrorBox(const std::string& text);

// Where error boxes go. The window backend installs the on-screen box; tests install a
// collector. Returns the previous sink. An empty sink restores the standard-error default.
using ErrorSink = std::function<void(const std::string& text)>;
ErrorSink SetErrorSink(ErrorSink sink);

}  // namespace platform
