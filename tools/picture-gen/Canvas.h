#pragma once
// An RGBA picture in floating point (premultiplied alpha) that the pictures are painted on. Shapes
// are painted through a coverage function (0..1 at a pixel centre) and a colour function, both
// taking picture coordinates in pixels where pixel (i, j) has its centre at (i + 0.5, j + 0.5).

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tools/picture-gen/Color.h"

enum class Blend { Over, Add };

// Pixel bounds, left and top inclusive, right and bottom exclusive.
struct PixelBox {
    int x1, y1, x2, y2;
};

class Canvas {
  public:
    Canvas(int width, int height, Color fill = {0.0f, 0.0f, 0.0f, 0.0f});

    int width() const { return m_width; }
    int height() const { return m_height; }
    PixelBox Bounds() const { return {0, 0, m_width, m_height}; }

    // The pixel with straight alpha; channels may exceed 1 after additive painting.
    Color At(int x, int y) const;
    void Set(int x, int y, const Color& color);
    void Composite(int x, int y, const Color& color, float coverage, Blend blend = Blend::Over);

    template <class Coverage, class Shader>
    void Paint(PixelBox area, Coverage coverage, Shader shader, Blend blend = Blend::Over) {
        area = Clip(area);
        for (int y = area.y1; y < area.y2; ++y) {
            for (int x = area.x1; x < area.x2; ++x) {
                const double px = x + 0.5;
                const double py = y + 0.5;
                const float k = static_cast<float>(coverage(px, py));
                if (k <= 0.0f) continue;
                Composite(x, y, shader(px, py), std::min(k, 1.0f), blend);
            }
        }
    }

    template <class Coverage>
    void Fill(PixelBox area, Coverage coverage, const Color& color, Blend blend = Blend::Over) {
        Paint(
            area, coverage, [&color](double, double) { return color; }, blend);
    }

    // Paints an alpha mask (row-major, `maskWidth` wide) with its top left corner at (x, y).
    void DrawMask(const std::vector<float>& mask, int maskWidth, int x, int y, const Color& color);
    // Composites `source` over this picture with its top left corner at (x, y).
    void DrawCanvas(const Canvas& source, int x, int y);
    Canvas Crop(int x, int y, int width, int height) const;

    // 8-bit channels with rounding and a fixed, position-based dither that hides banding in
    // gradients; the same picture always gives the same bytes.
    std::vector<std::uint8_t> ToRgb8() const;
    std::vector<std::uint8_t> ToRgba8() const;

  private:
    PixelBox Clip(PixelBox area) const;
    std::uint8_t Quantize(float value, int x, int y, int channel) const;

    int m_width;
    int m_height;
    std::vector<float> m_pixels;  // premultiplied r, g, b, a
};
