// Conversion between the game's Windows-1252 text and UTF-8 at the system boundary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Unicode code point of a Windows-1252 byte (undefined bytes map to U+FFFD).
char32_t Cp1252ToCodePoint(uint8_t byte);

// Windows-1252 byte for a code point, or '?' when it has no Windows-1252 form.
char CodePointToCp1252(char32_t codePoint);

std::string Cp1252ToUtf8(std::string_view text);

// Malformed UTF-8 sequences and characters without a Windows-1252 form read as '?'.
std::string Utf8ToCp1252(std::string_view text);

}  // namespace platform
