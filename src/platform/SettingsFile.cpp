// The settings file format: a regedit export of the game's one key.
#include "platform/SettingsFile.h"

#include <cctype>
#include <cstdio>

#include "platform/Cp1252.h"

namespace platform {
namespace {

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

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool IsSectionLine(std::string_view line) {
    line = Trim(line);
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

bool IsOurSection(std::string_view line) {
    line = Trim(line);
    return EqualsIgnoreCase(line.substr(1, line.size() - 2), kSettingsKey);
}

// Reads a quoted, regedit-escaped string starting at s[pos] == '"'. On success `pos` is just
// past the closing quote.
std::optional<std::string> ReadQuoted(std::string_view s, size_t& pos) {
    if (pos >= s.size() || s[pos] != '"')
        return std::nullopt;
    std::string out;
    for (size_t i = pos + 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\\') {
            if (i + 1 >= s.size())
                return std::nullopt;
            out += s[++i];
        } else if (c == '"') {
            pos = i + 1;
            return out;
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<uint32_t> ParseDword(std::string_view digits) {
    digits = Trim(digits);
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    uint32_t value = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0)
            return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(d);
    }
    return value;
}

std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view list) {
    std::vector<uint8_t> bytes;
    size_t i = 0;
    while (i < list.size()) {
        const char c = list[i];
        if (c == ',' || c == '\\' || std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (i + 1 >= list.size())
            return std::nullopt;
        const int hi = HexDigit(list[i]);
        const int lo = HexDigit(list[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
        i += 2;
    }
    return bytes;
}

// UTF-16LE text up to its first zero, as Windows-1252.
std::string Utf16ToCp1252(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t unit = bytes[i] | (bytes[i + 1] << 8);
        if (unit == 0)
            break;
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            // A surrogate pair has no Windows-1252 form either way.
            if (unit < 0xDC00 && i + 3 < bytes.size())
                i += 2;
            out += '?';
            continue;
        }
        out += CodePointToCp1252(unit);
    }
    return out;
}

struct ParsedLine {
    std::string name;
    SettingValue value;
};

std::optional<ParsedLine> ParseValueLine(std::string_view line) {
    line = Trim(line);
    size_t pos = 0;
    auto name = ReadQuoted(line, pos);
    if (!name)
        return std::nullopt;
    std::string_view rest = Trim(line.substr(pos));
    if (rest.empty() || rest.front() != '=')
        return std::nullopt;
    rest = Trim(rest.substr(1));
    ParsedLine parsed;
    parsed.name = *name;
    if (!rest.empty() && rest.front() == '"') {
        size_t p = 0;
        auto text = ReadQuoted(rest, p);
        if (!text || !Trim(rest.substr(p)).empty())
            return std::nullopt;
        parsed.value.type = SettingType::String;
        parsed.value.text = Utf8ToCp1252(*text);
    } else if (rest.substr(0, 6) == "dword:") {
        auto value = ParseDword(rest.substr(6));
        if (!value)
            return std::nullopt;
        parsed.value.type = SettingType::Dword;
        parsed.value.dword = *value;
    } else if (rest.substr(0, 7) == "hex(4):") {
        auto bytes = ParseHexBytes(rest.substr(7));
        if (!bytes)
            return std::nullopt;
        if (bytes->size() == 4) {
            parsed.value.type = SettingType::Dword;
            parsed.value.dword = (*bytes)[0] | ((*bytes)[1] << 8) | ((*bytes)[2] << 16) |
                                 (static_cast<uint32_t>((*bytes)[3]) << 24);
        } else {
            parsed.value.type = SettingType::Other;
        }
    } else if (rest.substr(0, 7) == "hex(2):") {
        auto bytes = ParseHexBytes(rest.substr(7));
        if (!bytes)
            return std::nullopt;
        parsed.value.type = SettingType::ExpandString;
        parsed.value.text = Utf16ToCp1252(*bytes);
    } else {
        parsed.value.type = SettingType::Other;
    }
    return parsed;
}

std::string QuotedName(std::string_view name) {
    return "\"" + EscapeRegString(Cp1252ToUtf8(name)) + "\"";
}

}  // namespace

std::string EscapeRegString(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

SettingsDocument SettingsDocument::Parse(std::string_view utf8) {
    SettingsDocument doc;
    if (utf8.size() >= 3 && utf8.substr(0, 3) == "\xEF\xBB\xBF")
        utf8.remove_prefix(3);
    std::string pending;
    size_t start = 0;
    while (start <= utf8.size()) {
        size_t end = utf8.find('\n', start);
        if (end == std::string_view::npos)
            end = utf8.size();
        std::string_view line = utf8.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        pending += line;
        // Hex data continues on the next line after a trailing backslash.
        const std::string_view trimmed = Trim(pending);
        const bool continues = !trimmed.empty() && trimmed.back() == '\\' &&
                               trimmed.find("=hex") != std::string_view::npos && end < utf8.size();
        if (!continues) {
            doc.lines_.push_back(std::move(pending));
            pending.clear();
        }
        if (end == utf8.size())
            break;
        start = end + 1;
    }
    while (!doc.lines_.empty() && Trim(doc.lines_.back()).empty())
        doc.lines_.pop_back();
    return doc;
}

SettingsDocument SettingsDocument::Empty() {
    SettingsDocument doc;
    doc.lines_ = {"REGEDIT4", "", std::string("[") + kSettingsKey + "]"};
    return doc;
}

std::optional<SettingValue> SettingsDocument::Find(std::string_view name) const {
    std::optional<SettingValue> found;
    bool inside = false;
    for (const auto& line : lines_) {
        if (IsSectionLine(line)) {
            inside = IsOurSection(line);
            continue;
        }
        if (!inside)
            continue;
        auto parsed = ParseValueLine(line);
        if (parsed && EqualsIgnoreCase(Cp1252ToUtf8(name), parsed->name))
            found = parsed->value;
    }
    return found;
}

void SettingsDocument::SetDword(std::string_view name, uint32_t value) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08x", value);
    Set(name, QuotedName(name) + "=dword:" + digits);
}

void SettingsDocument::SetString(std::string_view name, std::string_view cp1252) {
    Set(name, QuotedName(name) + "=\"" + EscapeRegString(Cp1252ToUtf8(cp1252)) + "\"");
}

void SettingsDocument::Set(std::string_view name, std::string line) {
    const std::string utf8Name = Cp1252ToUtf8(name);
    bool inside = false;
    bool replaced = false;
    size_t sectionEnd = std::string::npos;  // index after the last line of our section
    for (size_t i = 0; i < lines_.size();) {
        if (IsSectionLine(lines_[i])) {
            inside = IsOurSection(lines_[i]);
            if (inside)
                sectionEnd = i + 1;
            ++i;
            continue;
        }
        if (inside) {
            auto parsed = ParseValueLine(lines_[i]);
            if (parsed && EqualsIgnoreCase(utf8Name, parsed->name)) {
                if (!replaced) {
                    lines_[i] = line;
                    replaced = true;
                } else {
                    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
                    continue;
                }
            }
            if (!Trim(lines_[i]).empty())
                sectionEnd = i + 1;
        }
        ++i;
    }
    if (replaced)
        return;
    if (sectionEnd == std::string::npos) {
        if (lines_.empty())
            lines_.push_back("REGEDIT4");
        lines_.push_back("");
        lines_.push_back(std::string("[") + kSettingsKey + "]");
        lines_.push_back(std::move(line));
        return;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(sectionEnd), std::move(line));
}

std::string SettingsDocument::Serialize() const {
    std::string out;
    for (const auto& line : lines_) {
        out += line;
        out += '\n';
    }
    return out;
}

}  // namespace platform
