#include "tools/picture-gen/Canvas.h"

#include <cmath>
#include <stdexcept>

#include "tools/picture-gen/Noise.h"

Canvas::Canvas(int width, int height, Color fill) : m_width(width), m_height(height) {
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) {
        throw std::invalid_argument("picture size out of range");
    }
    m_pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) Set(x, y, fill);
    }
}

Color Canvas::At(int x, int y) const {
    const float* p = &m_pixels[(static_cast<std::size_t>(y) * m_width + x) * 4];
    if (p[3] <= 0.0f) return {0.0f, 0.0f, 0.0f, 0.0f};
    return {p[0] / p[3], p[1] / p[3], p[2] / p[3], p[3]};
}

void Canvas::Set(int x, int y, const Color& color) {
    float* p = &m_pixels[(static_cast<std::size_t>(y) * m_width + x) * 4];
    p[0] = color.r * color.a;
    p[1] = color.g * color.a;
    p[2] = color.b * color.a;
    p[3] = color.a;
}

void Canvas::Composite(int x, int y, const Color& color, float coverage, Blend blend) {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
    float* p = &m_pixels[(static_cast<std::size_t>(y) * m_width + x) * 4];
    const float alpha = std::clamp(color.a, 0.0f, 1.0f) * coverage;
    if (blend == Blend::Add) {
        p[0] += color.r * alpha;
        p[1] += color.g * alpha;
        p[2] += color.b * alpha;
        return;
    }
    const float keep = 1.0f - alpha;
    p[0] = color.r * alpha + p[0] * keep;
    p[1] = color.g * alpha + p[1] * keep;
    p[2] = color.b * alpha + p[2] * keep;
    p[3] = alpha + p[3] * keep;
}

void Canvas::DrawMask(const std::vector<float>& mask, int maskWidth, int x, int y,
                      const Color& color) {
    if (maskWidth <= 0) return;
    const int maskHeight = static_cast<int>(mask.size()) / maskWidth;
    for (int j = 0; j < maskHeight; ++j) {
        for (int i = 0; i < maskWidth; ++i) {
            const float k = mask[static_cast<std::size_t>(j) * maskWidth + i];
            if (k > 0.0f) Composite(x + i, y + j, color, k);
        }
    }
}

void Canvas::DrawCanvas(const Canvas& source, int x, int y) {
    for (int j = 0; j < source.height(); ++j) {
        for (int i = 0; i < source.width(); ++i) {
            const Color c = source.At(i, j);
            if (c.a > 0.0f) Composite(x + i, y + j, c.WithAlpha(1.0f), c.a);
        }
    }
}

Canvas Canvas::Crop(int x, int y, int width, int height) const {
    Canvas part(width, height);
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            const int sx = std::clamp(x + i, 0, m_width - 1);
            const int sy = std::clamp(y + j, 0, m_height - 1);
            part.Set(i, j, At(sx, sy));
        }
    }
    return part;
}

std::uint8_t Canvas::Quantize(float value, int x, int y, int channel) const {
    const float dither = noise::Hash01(x, y, 0x5eedu + static_cast<std::uint32_t>(channel)) - 0.5f;
    const float scaled = std::floor(std::clamp(value, 0.0f, 1.0f) * 255.0f + 0.5f + dither * 0.9f);
    return static_cast<std::uint8_t>(std::clamp(scaled, 0.0f, 255.0f));
}

std::vector<std::uint8_t> Canvas::ToRgb8() const {
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(m_width) * m_height * 3);
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            const float* p = &m_pixels[(static_cast<std::size_t>(y) * m_width + x) * 4];
            // Opaque pictures: whatever alpha is missing shows black.
            for (int c = 0; c < 3; ++c) out.push_back(Quantize(p[c], x, y, c));
        }
    }
    return out;
}

std::vector<std::uint8_t> Canvas::ToRgba8() const {
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(m_width) * m_height * 4);
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            const Color c = At(x, y);
            const std::uint8_t alpha =
                static_cast<std::uint8_t>(std::lround(std::clamp(c.a, 0.0f, 1.0f) * 255.0f));
            if (alpha == 0) {
                for (int k = 0; k < 4; ++k) out.push_back(0);
                continue;
            }
            out.push_back(Quantize(c.r, x, y, 0));
            out.push_back(Quantize(c.g, x, y, 1));
            out.push_back(Quantize(c.b, x, y, 2));
            out.push_back(alpha);
        }
    }
    return out;
}

PixelBox Canvas::Clip(PixelBox area) const {
    return {std::max(area.x1, 0), std::max(area.y1, 0), std::min(area.x2, m_width),
            std::min(area.y2, m_height)};
}
