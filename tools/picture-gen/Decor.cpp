#include "tools/picture-gen/Decor.h"

#include <cmath>

#include "tools/picture-gen/Noise.h"
#include "tools/picture-gen/Shapes.h"

namespace decor {

void Screw(Canvas& canvas, double cx, double cy, double radius, double radians) {
    const PixelBox box{static_cast<int>(cx - radius - 4), static_cast<int>(cy - radius - 4),
                       static_cast<int>(cx + radius + 5), static_cast<int>(cy + radius + 5)};
    // Countersink shadow, then the domed head.
    canvas.Fill(
        box,
        [&](double x, double y) {
            return 0.7 * shape::SoftCoverage(shape::Circle(x, y, cx, cy + 0.6, radius + 1.2), 2.0);
        },
        Color::Grey(0.0f));
    canvas.Paint(
        box,
        [&](double x, double y) { return shape::Coverage(shape::Circle(x, y, cx, cy, radius)); },
        [&](double x, double y) {
            const double nx = (x - cx) / radius;
            const double ny = (y - cy) / radius;
            const double nz = std::sqrt(std::max(0.0, 1.0 - nx * nx - ny * ny));
            const double lit = std::max(0.0, -0.45 * nx - 0.55 * ny + 0.70 * nz);
            const float v = static_cast<float>(0.22 + 0.42 * lit + 0.25 * std::pow(lit, 12.0));
            return Color{v * 0.97f, v * 0.99f, v * 1.03f, 1.0f};
        });
    // Rim.
    canvas.Fill(
        box,
        [&](double x, double y) {
            return 0.55 *
                   shape::Coverage(std::abs(shape::Circle(x, y, cx, cy, radius - 0.5)) - 0.5);
        },
        Color::Grey(0.05f));
    // Cross slot with a lit lower edge.
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    const double arm = radius * 0.62;
    const double half = std::max(0.55, radius * 0.13);
    for (int k = 0; k < 2; ++k) {
        const double ux = k == 0 ? c : -s;
        const double uy = k == 0 ? s : c;
        const shape::Point a{cx - ux * arm, cy - uy * arm};
        const shape::Point b{cx + ux * arm, cy + uy * arm};
        canvas.Fill(
            box,
            [&](double x, double y) {
                return 0.35 * shape::Coverage(shape::Segment(x, y - 0.8, a, b) - half);
            },
            Color::Grey(1.0f));
        canvas.Fill(
            box,
            [&](double x, double y) { return shape::Coverage(shape::Segment(x, y, a, b) - half); },
            Color::Grey(0.06f));
    }
}

Color BrushedMetal(const Color& base, double x, double y, std::uint32_t seed, float strength) {
    const float streak = noise::Value(x / 55.0, y / 0.9, seed) - 0.5f;
    const float fibre = noise::Value(x / 7.0, y / 0.6, seed + 7) - 0.5f;
    const float grain = noise::Hash01(static_cast<int>(x), static_cast<int>(y), seed + 13) - 0.5f;
    const float k = 1.0f + strength * (0.20f * streak + 0.10f * fibre + 0.05f * grain);
    return base.Scaled(k);
}

void EngravedBox(Canvas& canvas, double x1, double y1, double x2, double y2, double radius,
                 float depth) {
    const PixelBox box{static_cast<int>(x1) - 3, static_cast<int>(y1) - 3, static_cast<int>(x2) + 4,
                       static_cast<int>(y2) + 4};
    canvas.Fill(
        box,
        [&](double x, double y) {
            return depth * 0.35 *
                   shape::Coverage(std::abs(shape::RoundBox(x, y - 1.0, x1, y1, x2, y2, radius)) -
                                   0.5);
        },
        Color::Grey(1.0f));
    canvas.Fill(
        box,
        [&](double x, double y) {
            return depth *
                   shape::Coverage(std::abs(shape::RoundBox(x, y, x1, y1, x2, y2, radius)) - 0.5);
        },
        Color::Grey(0.0f));
}

}  // namespace decor
