// The settings file format: a regedit export of the game's one key, so each value keeps its type.
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Quillmere\Torvane]
//   "FullScreen"=dword:00000001
//   "PlayerName"="Anonymous"
//
// The file is UTF-8; strings are converted from and to Windows-1252 at this boundary. Lines that
// cannot be understood are kept as they are and ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr const char* kSettingsKey = "HKEY_CURRENT_USER\\Software\\Quillmere\\Torvane";

enum class SettingType { Dword, String, ExpandString, Other };

struct SettingValue {
    SettingType type = SettingType::Other;
    uint32_t dword = 0;
    std::string text;  // Windows-1252, for the two string types
};

// The parsed file: its lines (continuations joined) and where the game's key lies.
class SettingsDocument {
  public:
    static SettingsDocument Parse(std::string_view utf8);
    static SettingsDocument Empty();

    std::optional<SettingValue> Find(std::string_view name) const;
    void SetDword(std::string_view name, uint32_t value);
    void SetString(std::string_view name, std::string_view cp1252);
    std::string Serialize() const;

  private:
    void Set(std::string_view name, std::string line);
    std::vector<std::string> lines_;
};

// Escapes `\` and `"` the way regedit does.
std::string EscapeRegString(std::string_view utf8);

}  // namespace platform
