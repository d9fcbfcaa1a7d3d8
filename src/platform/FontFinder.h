// Finds the font file for the game's typeface.
#pragma once

#include <string>

namespace platform {

// The file of `family` (regular or bold) through fontconfig when that family is installed,
// else the bundled Palatino-like face under the resource root (Fonts/texgyrepagella-*.otf).
// With TORVANE_BUNDLED_FONT set (tests), the bundled face is always used. Empty when neither
// exists.
std::string FindFontFile(const std::string& family, bool bold);

// The bundled face alone.
std::string BundledFontFile(bool bold);

}  // namespace platform
