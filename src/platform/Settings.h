// The game's persistent settings: typed values in one settings file, read and written one value
// at a time with no cache, so a value written anywhere is seen by the next read anywhere.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Reads never fail: a missing, unreadable or wrongly typed value yields `fallback`.
bool GetBoolSetting(const std::string& name, bool fallback);
int32_t GetIntSetting(const std::string& name, int32_t fallback);
// Strings are Windows-1252; an empty stored string reads as `fallback`.
std::string GetStringSetting(const std::string& name, const std::string& fallback);

// Writes never report failure; a settings file that cannot be written keeps its old content.
void SetBoolSetting(const std::string& name, bool value);
void SetIntSetting(const std::string& name, int32_t value);
void SetStringSetting(const std::string& name, const std::string& value);

// ${XDG_CONFIG_HOME:-$HOME/.config}/Quillmere/Torvane/settings.reg
std::string SettingsFilePath();

}  // namespace platform
