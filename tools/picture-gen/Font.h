#pragma once
// One typeface at one pixel size, rendering text into alpha masks that the canvas composites.

#include <string>
#include <string_view>
#include <vector>

#include "tools/picture-gen/Canvas.h"

typedef struct _TTF_Font TTF_Font;

enum class Align { Left, Centre, Right };

struct TextMask {
    int width = 0;
    int height = 0;
    int ascent = 0;  // rows from the mask's top to the baseline
    std::vector<float> alpha;
};

class Font {
  public:
    // Throws std::runtime_error naming the file when it cannot be opened.
    Font(const std::string& path, int pixelSize);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // `tracking` adds that many pixels between characters (for spaced capitals).
    TextMask Render(std::string_view text, int tracking = 0) const;
    int Width(std::string_view text, int tracking = 0) const;
    int CapHeight() const { return m_capHeight; }

    // Draws `text` anchored horizontally at x by `align`, with the middle of its capital letters
    // on `capMiddleY`. Text is placed on whole pixels so that hinted glyphs stay sharp.
    void Draw(Canvas& canvas, std::string_view text, double x, double capMiddleY,
              const Color& color, Align align = Align::Centre, int tracking = 0) const;

  private:
    TextMask RenderRun(const std::string& text) const;

    TTF_Font* m_font = nullptr;
    int m_capHeight = 0;
    std::string m_path;
};
