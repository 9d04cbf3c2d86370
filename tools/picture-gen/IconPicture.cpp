#include <cmath>
#include <numbers>

#include "tools/picture-gen/Pictures.h"
#include "tools/picture-gen/Shapes.h"

// A dark rounded tile with a green lamp sending waves to both sides: the link the program keeps.
// Every measure is given for 256 pixels and scaled, with strokes kept at least 1.5 px wide.
Canvas DrawIcon(int size) {
    Canvas icon(size, size);
    const double k = size / 256.0;
    const PixelBox all = icon.Bounds();
    const double x1 = 14 * k, y1 = 12 * k, x2 = 242 * k, y2 = 240 * k, radius = 50 * k;

    icon.Fill(
        all,
        [&](double x, double y) {
            return 0.45 * shape::SoftCoverage(shape::RoundBox(x, y - 5 * k, x1, y1, x2, y2, radius),
                                              std::max(1.0, 10 * k));
        },
        Color::Grey(0.0f));
    icon.Paint(
        all,
        [&](double x, double y) {
            return shape::Coverage(shape::RoundBox(x, y, x1, y1, x2, y2, radius));
        },
        [&](double x, double y) {
            const float t = static_cast<float>((y - y1) / (y2 - y1));
            const double dx = (x - 128 * k) / (150 * k);
            const double dy = (y - 110 * k) / (150 * k);
            const float light = static_cast<float>(0.06 * std::exp(-(dx * dx + dy * dy) * 2.0));
            return Color::Mix(Color::Hex(0x3A434D), Color::Hex(0x14171B), t).Plus(light);
        });
    const double rim = std::max(0.8, 3.0 * k);
    icon.Fill(
        all,
        [&](double x, double y) {
            const double d = shape::RoundBox(x, y, x1, y1, x2, y2, radius);
            const double lit = std::clamp(1.0 - (y - y1) / (y2 - y1) * 1.6, 0.0, 1.0);
            return (0.10 + 0.30 * lit) * shape::Coverage(std::abs(d + rim) - rim * 0.5);
        },
        Color::Grey(1.0f));

    const double cx = 128 * k, cy = 128 * k;
    const Color green = Color::Hex(0x3DEB6E);
    const double stroke = std::max(0.75, 8.5 * k);
    // Soft glow behind everything green.
    icon.Fill(
        all,
        [&](double x, double y) {
            return 0.55 *
                   shape::SoftCoverage(shape::Circle(x, y, cx, cy, 30 * k), std::max(2.0, 40 * k));
        },
        Color::Hex(0x1EC850), Blend::Add);
    // Waves: arcs of +-42 degrees on both sides.
    for (double r : {62.0 * k, 94.0 * k}) {
        icon.Fill(
            all,
            [&](double x, double y) {
                const double angle = std::atan2(y - cy, std::abs(x - cx));
                if (std::abs(angle) > 0.74) {
                    // Rounded ends.
                    const double a = angle > 0 ? 0.74 : -0.74;
                    const double ex = cx + (x > cx ? 1 : -1) * r * std::cos(a);
                    const double ey = cy + r * std::sin(a);
                    return shape::Coverage(std::hypot(x - ex, y - ey) - stroke);
                }
                return shape::Coverage(std::abs(std::hypot(x - cx, y - cy) - r) - stroke);
            },
            green);
    }
    // The lamp.
    icon.Paint(
        all,
        [&](double x, double y) { return shape::Coverage(shape::Circle(x, y, cx, cy, 28 * k)); },
        [&](double x, double y) {
            const double r = std::hypot(x - cx, y - cy + 6 * k) / (28 * k);
            return Color::Mix(Color::Hex(0xE4FFE2), Color::Hex(0x22C94F),
                              static_cast<float>(shape::Smoothstep(0.0, 1.0, r)));
        });
    return icon;
}
