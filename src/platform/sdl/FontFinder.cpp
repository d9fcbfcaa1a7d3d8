// Finds the font file for the game's typeface, through fontconfig or the bundled face.
#include "platform/FontFinder.h"

#include <fontconfig/fontconfig.h>
#include <strings.h>

#include <cstdlib>
#include <filesystem>

#include "platform/ResourcePath.h"

namespace platform {
namespace {

std::string FromFontconfig(const std::string& family, bool bold) {
    if (!FcInit())
        return {};
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return {};
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return {};
    std::string file;
    FcChar8* matchedFamily = nullptr;
    FcChar8* matchedFile = nullptr;
    // fontconfig always answers with something; only the family asked for will do.
    if (FcPatternGetString(match, FC_FAMILY, 0, &matchedFamily) == FcResultMatch &&
        strcasecmp(reinterpret_cast<const char*>(matchedFamily), family.c_str()) == 0 &&
        FcPatternGetString(match, FC_FILE, 0, &matchedFile) == FcResultMatch) {
        file = reinterpret_cast<const char*>(matchedFile);
    }
    FcPatternDestroy(match);
    return file;
}

}  // namespace

std::string BundledFontFile(bool bold) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (bold) {
        const std::string path = ResolveResource("..\\Ressources\\Fonts\\texgyrepagella-bold.otf");
        if (fs::exists(path, error))
            return path;
    }
    const std::string path = ResolveResource("..\\Ressources\\Fonts\\texgyrepagella-regular.otf");
    return fs::exists(path, error) ? path : std::string();
}

std::string FindFontFile(const std::string& family, bool bold) {
    const char* bundledOnly = std::getenv("TORVANE_BUNDLED_FONT");
    if (!(bundledOnly && *bundledOnly)) {
        std::string file = FromFontconfig(family, bold);
        if (!file.empty())
            return file;
    }
    return BundledFontFile(bold);
}

}  // namespace platform
