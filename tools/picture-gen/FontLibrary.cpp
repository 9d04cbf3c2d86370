#include "tools/picture-gen/FontLibrary.h"

#include <SDL_ttf.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const std::string kDejaVu = "/usr/share/fonts/truetype/dejavu/";
const std::string kWine = "/usr/share/wine/fonts/";

std::vector<std::string> Candidates(Face face) {
    switch (face) {
        case Face::Title:
            return {kWine + "tahomabd.ttf", kDejaVu + "DejaVuSans-Bold.ttf"};
        case Face::Regular:
            return {kWine + "tahoma.ttf", kDejaVu + "DejaVuSans.ttf"};
        case Face::Bold:
            return {kDejaVu + "DejaVuSans-Bold.ttf"};
        case Face::Condensed:
            return {kDejaVu + "DejaVuSansCondensed-Bold.ttf", kDejaVu + "DejaVuSans-Bold.ttf"};
    }
    return {};
}

}  // namespace

FontLibrary::FontLibrary() {
    if (TTF_Init() != 0) throw std::runtime_error(std::string("font engine: ") + TTF_GetError());
}

FontLibrary::~FontLibrary() {
    m_fonts.clear();
    TTF_Quit();
}

const Font& FontLibrary::Get(Face face, int pixelSize) {
    auto found = m_fonts.find({face, pixelSize});
    if (found != m_fonts.end()) return *found->second;
    std::string tried;
    for (const std::string& path : Candidates(face)) {
        std::error_code ignored;
        if (std::filesystem::is_regular_file(path, ignored)) {
            auto font = std::make_unique<Font>(path, pixelSize);
            const Font& result = *font;
            m_fonts.emplace(std::make_pair(face, pixelSize), std::move(font));
            return result;
        }
        tried += (tried.empty() ? "" : ", ") + path;
    }
    throw std::runtime_error("no font file found (tried " + tried + "); install fonts-dejavu-core");
}
