#pragma once
// The typefaces the pictures use, found among the system's fonts and opened once per size.

#include <map>
#include <memory>
#include <utility>

#include "tools/picture-gen/Font.h"

enum class Face {
    Title,      // bold sans for titles (Tahoma Bold, else DejaVu Sans Bold)
    Regular,    // plain sans (Tahoma, else DejaVu Sans)
    Bold,       // DejaVu Sans Bold, for key captions
    Condensed,  // DejaVu Sans Condensed Bold, for long key captions
};

class FontLibrary {
  public:
    // Starts the font engine; throws std::runtime_error when it cannot.
    FontLibrary();
    ~FontLibrary();
    FontLibrary(const FontLibrary&) = delete;
    FontLibrary& operator=(const FontLibrary&) = delete;

    // Throws std::runtime_error listing the files tried when no file of the face exists.
    const Font& Get(Face face, int pixelSize);

  private:
    std::map<std::pair<Face, int>, std::unique_ptr<Font>> m_fonts;
};
