// A game window driven by a script instead of a window system.
#include "platform/ScriptedWindow.h"

namespace platform {

ScriptedWindow::ScriptedWindow() = default;

bool ScriptedWindow::IsKeyDown(int virtualKey) const {
    if (virtualKey < 0 || virtualKey >= static_cast<int>(keys_.size()))
        return false;
    return keys_[static_cast<size_t>(virtualKey)];
}

void ScriptedWindow::ProcessMessages() {
    ++processMessagesCalls;
    if (onProcessMessages)
        onProcessMessages();
}

void ScriptedWindow::SetKeyDown(int virtualKey, bool down) {
    if (virtualKey < 0 || virtualKey >= static_cast<int>(keys_.size()))
        return;
    keys_[static_cast<size_t>(virtualKey)] = down;
}

void ScriptedWindow::ReleaseAllKeys() {
    keys_.fill(false);
}

void ScriptedWindow::AdvanceTime(int milliseconds) {
    int64_t total = static_cast<int64_t>(now_.seconds) * 1000 + now_.milliseconds + milliseconds;
    now_.seconds = static_cast<int32_t>(total / 1000);
    now_.milliseconds = static_cast<int16_t>(total % 1000);
}

}  // namespace platform
