#include <cmath>
#include <vector>

#include "tools/picture-gen/Noise.h"
#include "tools/picture-gen/Pictures.h"
#include "tools/picture-gen/Shapes.h"

namespace {

constexpr int kWidth = 619;
constexpr int kHeight = 100;

// The airliner, seen from the side, nose to the right: outlines in units of its length, origin at
// the tail, y downwards.
const std::vector<shape::Point> kFuselage = {
    {0.000, -0.040}, {0.060, -0.052}, {0.880, -0.052}, {0.930, -0.046}, {0.965, -0.032},
    {0.990, -0.012}, {1.000, 0.004},  {0.992, 0.022},  {0.970, 0.036},  {0.930, 0.046},
    {0.850, 0.050},  {0.300, 0.050},  {0.200, 0.040},  {0.100, 0.010},  {0.020, -0.028}};
const std::vector<shape::Point> kFin = {
    {0.200, -0.048}, {0.080, -0.232}, {0.030, -0.236}, {-0.012, -0.060}, {0.000, -0.040}};
const std::vector<shape::Point> kStabiliser = {
    {0.170, -0.012}, {0.070, -0.034}, {0.012, -0.040}, {0.030, -0.018}, {0.120, 0.000}};
const std::vector<shape::Point> kWing = {
    {0.585, 0.030}, {0.400, 0.042}, {0.245, 0.162}, {0.292, 0.166}};

struct Airliner {
    double cx, cy, length, pitch;

    shape::Point ToLocal(double x, double y) const {
        const double c = std::cos(-pitch);
        const double s = std::sin(-pitch);
        const double dx = (x - cx) / length;
        const double dy = (y - cy) / length;
        return {dx * c - dy * s + 0.5, dx * s + dy * c};
    }
    shape::Point ToPicture(shape::Point p) const {
        const double c = std::cos(pitch);
        const double s = std::sin(pitch);
        const double dx = (p.x - 0.5) * length;
        const double dy = p.y * length;
        return {cx + dx * c - dy * s, cy + dx * s + dy * c};
    }
    // Signed distance in pixels to the whole silhouette.
    double Distance(double x, double y) const {
        const shape::Point p = ToLocal(x, y);
        double d = shape::Polygon(p.x, p.y, kFuselage);
        d = std::min(d, shape::Polygon(p.x, p.y, kFin));
        d = std::min(d, shape::Polygon(p.x, p.y, kStabiliser));
        d = std::min(d, shape::Polygon(p.x, p.y, kWing));
        d = std::min(d, shape::RoundBox(p.x, p.y, 0.445, 0.062, 0.575, 0.108, 0.022));
        return d * length;
    }
};

Color Sky(double x, double y) {
    const float t = static_cast<float>(y / kHeight);
    Color sky = Color::Mix(Color::Hex(0x071631), Color::Hex(0x21507F), t);
    // Evening light low on the right.
    const double dx = (x - 560.0) / 330.0;
    const double dy = (y - 135.0) / 120.0;
    const float glow = static_cast<float>(std::exp(-(dx * dx + dy * dy) * 1.6));
    sky = Color::Mix(sky, Color::Hex(0xF39A52), glow * 0.75f);
    // Faint stars in the dark upper left.
    const float dark = static_cast<float>(std::clamp(1.0 - x / 420.0, 0.0, 1.0) * (1.0 - t * 1.4));
    const float star = noise::Hash01(static_cast<int>(x), static_cast<int>(y), 71u);
    if (star > 0.9975f && dark > 0.0f) sky = sky.Plus(0.55f * dark * (star - 0.9975f) / 0.0025f);
    return sky;
}

// Thin evening stratus, lit from below on the side of the low sun.
void DrawClouds(Canvas& banner) {
    banner.Paint(
        banner.Bounds(),
        [](double x, double y) {
            const double density = noise::Fractal(x / 150.0, y / 4.5, 83u, 4);
            return shape::Smoothstep(0.52, 0.70, density) * shape::Smoothstep(46.0, 90.0, y) * 0.75;
        },
        [](double x, double y) {
            const double dx = (x - 560.0) / 280.0;
            const float lit = static_cast<float>(std::exp(-dx * dx * 1.4));
            const float under = static_cast<float>(noise::Value(x / 150.0, (y + 2.0) / 4.5, 83u));
            const Color shadow = Color::Hex(0x1B2942);
            const Color bright = Color::Mix(Color::Hex(0x8E6E86), Color::Hex(0xFFB878), lit);
            return Color::Mix(shadow, bright, (0.25f + 0.75f * lit) * (0.4f + 0.6f * under));
        });
}

void DrawAirliner(Canvas& banner) {
    const Airliner plane{528.0, 40.0, 128.0, -0.13};
    // Contrails from both engines, forming a little behind them and thinning out.
    for (double offset : {0.0, 0.012}) {
        const shape::Point start = plane.ToPicture({0.42, 0.086 + offset});
        const shape::Point end = plane.ToPicture({-2.2, 0.086 + offset + 0.02});
        banner.Fill(
            banner.Bounds(),
            [&](double x, double y) {
                const double along =
                    ((x - start.x) * (end.x - start.x) + (y - start.y) * (end.y - start.y)) /
                    ((end.x - start.x) * (end.x - start.x) + (end.y - start.y) * (end.y - start.y));
                if (along < 0.0 || along > 1.0) return 0.0;
                const double width = 0.7 + along * 3.0;
                const double fade = shape::Smoothstep(0.0, 0.06, along) * (1.0 - along);
                return 0.40 * fade *
                       shape::SoftCoverage(shape::Segment(x, y, start, end) - width, 2.0);
            },
            Color::Hex(0xF6E7D8));
    }
    banner.Fill(
        banner.Bounds(), [&](double x, double y) { return shape::Coverage(plane.Distance(x, y)); },
        Color::Hex(0x06101E));
    // Evening light catching the lower edges.
    banner.Fill(
        banner.Bounds(),
        [&](double x, double y) {
            const double d = plane.Distance(x, y);
            const double below = plane.Distance(x, y - 1.2);
            return 0.45 * shape::Coverage(std::abs(d + 0.6) - 0.6) * (below > d ? 1.0 : 0.0);
        },
        Color::Hex(0xF0A060));
}

}  // namespace

Canvas DrawBanner(FontLibrary& fonts) {
    Canvas banner(kWidth, kHeight, Color::Grey(0.0f));
    banner.Paint(
        banner.Bounds(), [](double, double) { return 1.0; }, Sky);
    DrawClouds(banner);
    DrawAirliner(banner);
    const Font& title = fonts.Get(Face::Title, 30);
    title.Draw(banner, "Tarvel X Connect Extended", 24, 38, Color::Grey(0.0f, 0.55f), Align::Left);
    title.Draw(banner, "Tarvel X Connect Extended", 22, 36, Color::Grey(1.0f), Align::Left);
    const Font& line = fonts.Get(Face::Regular, 13);
    line.Draw(banner, "Remote MCDU  \xC2\xB7  Live flight data  \xC2\xB7  Pause control", 23, 67,
              Color::Hex(0xB4D0EE), Align::Left);
    banner.Fill(
        banner.Bounds(),
        [](double x, double y) {
            return (y >= 80.0 && y < 82.0 && x > 23.0) ? shape::Smoothstep(260.0, 23.0, x) : 0.0;
        },
        Color::Hex(0x4FD46E));
    return banner;
}
