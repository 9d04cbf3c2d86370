#include "ui/sdl/AddressFont.h"

#include <fontconfig/fontconfig.h>
#include <strings.h>
#include <sys/stat.h>

#include "platform/Mutex.h"

namespace ui {

namespace {

// Where Debian's fonts-wine puts Tahoma.
constexpr const char* kWineFontFolder = "/usr/share/wine/fonts";

struct Candidate {
    const char* pattern;
    const char* family;  // the family the match must have; none: any
};

constexpr Candidate kCandidates[] = {
    {"Tahoma:bold", "Tahoma"},
    {"DejaVu Sans:bold", "DejaVu Sans"},
    {"sans-serif:bold", nullptr},
};

void AddWineFonts(FcConfig* config) {
    // Once per process, by the first search.
    static const bool added = [config] {
        struct stat info {};
        if (::stat(kWineFontFolder, &info) != 0 || !S_ISDIR(info.st_mode)) return false;
        return FcConfigAppFontAddDir(config, reinterpret_cast<const FcChar8*>(kWineFontFolder)) ==
               FcTrue;
    }();
    static_cast<void>(added);
}

bool MatchFont(FcConfig* config, const Candidate& candidate, FontFile& found) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(candidate.pattern));
    if (pattern == nullptr) return false;
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) return false;

    bool accepted = false;
    FcChar8* file = nullptr;
    FcChar8* family = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
        FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        int weight = FC_WEIGHT_REGULAR;
        FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
        const char* familyText = reinterpret_cast<const char*>(family);
        // fontconfig always answers with its best guess; a guess of another family means the
        // asked one is not installed.
        accepted = candidate.family == nullptr || ::strcasecmp(familyText, candidate.family) == 0;
        if (accepted) {
            found = {reinterpret_cast<const char*>(file), index, familyText,
                     weight >= FC_WEIGHT_BOLD};
        }
    }
    FcPatternDestroy(match);
    return accepted;
}

}  // namespace

FontFile FindAddressFontFile() {
    // One search at a time in the process: two windows may each start one, and fontconfig's own
    // locking (its atomics, outside our builds) is then all that would keep its caches sound.
    static platform::Mutex searching;
    platform::MutexLock lock(searching);
    FontFile found;
    if (FcInit() != FcTrue) return found;
    FcConfig* config = FcConfigGetCurrent();
    AddWineFonts(config);
    for (const Candidate& candidate : kCandidates) {
        if (MatchFont(config, candidate, found)) break;
    }
    return found;
}

TTF_Font* OpenAddressFont(const FontFile& file) {
    if (file.path.empty()) return nullptr;
    TTF_Font* font = TTF_OpenFontIndex(file.path.c_str(), kAddressFontPixels, file.index);
    if (font == nullptr) return nullptr;
    // A regular face taken as the last resort is made bold by the renderer.
    if (!file.bold) TTF_SetFontStyle(font, TTF_STYLE_BOLD);
    TTF_SetFontHinting(font, TTF_HINTING_NORMAL);
    return font;
}

}  // namespace ui
