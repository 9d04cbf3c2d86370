#include <cmath>
#include <numbers>

#include "tools/picture-gen/Decor.h"
#include "tools/picture-gen/Noise.h"
#include "tools/picture-gen/Pictures.h"
#include "tools/picture-gen/Shapes.h"

namespace {

constexpr int kSkinSize = 320;
// The lamp's place on the window (144 x 144) and the socket's centre within it.
constexpr int kLampLeft = 87;
constexpr int kLampTop = 87;
constexpr int kLampSize = 144;
constexpr double kSocketX = kLampLeft + kLampSize / 2.0;
constexpr double kSocketY = kLampTop + kLampSize / 2.0;
constexpr double kRecessRadius = 71.0;
constexpr double kBezelRadius = 86.0;
// The exit strip's place, flush with the right edge.
constexpr int kExitLeft = 240;
constexpr int kExitTop = 243;
constexpr int kExitWidth = 80;
constexpr int kExitHeight = 25;
// The band along the bottom where the program writes the server address.
constexpr double kBandTop = 276.0;
constexpr double kBandBottom = 303.0;

const Color kGreenAccent = Color::Hex(0x4FD46E);
const Color kRedAccent = Color::Hex(0xE0483C);

Color FaceColor(double x, double y) {
    const float t = static_cast<float>(y / kSkinSize);
    Color base = Color::Mix(Color::Hex(0x2B3138), Color::Hex(0x16191D), t);
    // A soft light from above the title.
    const double dx = x - 160.0;
    const double dy = y - 40.0;
    base = base.Plus(
        static_cast<float>(0.035 * std::exp(-(dx * dx + dy * dy) / (2.0 * 130.0 * 130.0))));
    return decor::BrushedMetal(base, x, y, 11u, 1.0f);
}

void DrawFace(Canvas& skin) {
    skin.Paint(
        skin.Bounds(), [](double, double) { return 1.0; }, FaceColor);
    // Window edge: a dark outline and a lit inner rim, then the engraved face plate.
    skin.Fill(
        skin.Bounds(),
        [](double x, double y) {
            const double edge = std::min({x, y, kSkinSize - x, kSkinSize - y});
            return edge < 1.0 ? 1.0 : 0.0;
        },
        Color::Hex(0x050607));
    skin.Fill(
        skin.Bounds(),
        [](double x, double y) {
            const double edge = std::min(x, y);
            return (edge >= 1.0 && edge < 2.0) ? 0.22 : 0.0;
        },
        Color::Grey(1.0f));
    decor::EngravedBox(skin, 5.5, 5.5, 314.5, 314.5, 9.0, 0.65f);
}

void DrawTitle(Canvas& skin, FontLibrary& fonts) {
    const Font& title = fonts.Get(Face::Title, 21);
    title.Draw(skin, "TarvelX Connect", 160, 31.5, Color::Grey(0.0f, 0.85f));
    title.Draw(skin, "TarvelX Connect", 160, 30, Color::Hex(0xE3E7EB));
    const Font& small = fonts.Get(Face::Title, 9);
    const int width = small.Width("EXTENDED", 3);
    small.Draw(skin, "EXTENDED", 160, 51, kGreenAccent, Align::Centre, 3);
    const double gap = width / 2.0 + 9.0;
    for (int side = -1; side <= 1; side += 2) {
        const shape::Point a{160.0 + side * gap, 51.0};
        const shape::Point b{160.0 + side * (gap + 52.0), 51.0};
        skin.Fill(
            {0, 44, kSkinSize, 58},
            [&](double x, double y) {
                const double fade = 1.0 - std::abs(x - (a.x + b.x) / 2.0) / 26.0;
                return 0.55 * std::max(0.0, fade * 1.6) *
                       shape::Coverage(shape::Segment(x, y, a, b) - 0.5);
            },
            Color::Hex(0x6A737D));
    }
}

void DrawSocket(Canvas& skin) {
    const PixelBox box{40, 40, 280, 280};
    const double cx = kSocketX;
    const double cy = kSocketY;
    // Scale ticks around the bezel, longer every 30 degrees.
    for (int i = 0; i < 36; ++i) {
        const double angle = i * std::numbers::pi / 18.0;
        const bool major = i % 3 == 0;
        const double r1 = kBezelRadius + (major ? 5.0 : 7.0);
        const double r2 = kBezelRadius + 12.0;
        const shape::Point a{cx + r1 * std::cos(angle), cy + r1 * std::sin(angle)};
        const shape::Point b{cx + r2 * std::cos(angle), cy + r2 * std::sin(angle)};
        const double half = major ? 0.9 : 0.55;
        skin.Fill(
            box,
            [&](double x, double y) {
                return shape::Coverage(shape::Segment(x, y - 1.0, a, b) - half);
            },
            Color::Grey(1.0f, 0.10f));
        skin.Fill(
            box,
            [&](double x, double y) { return shape::Coverage(shape::Segment(x, y, a, b) - half); },
            Color::Hex(major ? 0x7A848F : 0x545C65));
    }
    // Shadow of the bezel on the face.
    skin.Fill(
        box,
        [&](double x, double y) {
            return 0.65 * shape::SoftCoverage(shape::Circle(x, y, cx, cy + 2.5, kBezelRadius), 9.0);
        },
        Color::Grey(0.0f));
    // Bezel ring: turned metal with a sheen that follows the angle and light from above.
    skin.Paint(
        box,
        [&](double x, double y) {
            return shape::Coverage(shape::Circle(x, y, cx, cy, kBezelRadius));
        },
        [&](double x, double y) {
            const double dx = x - cx;
            const double dy = y - cy;
            const double r = std::hypot(dx, dy);
            const double theta = std::atan2(dy, dx);
            const float turned = noise::Value(theta * 60.0, r * 0.35, 23u) - 0.5f;
            const double v =
                0.36 + 0.13 * std::cos(2.0 * (theta + 0.65)) - 0.10 * dy / r + 0.05 * turned;
            const float f = static_cast<float>(v);
            return Color{f * 0.96f, f * 0.99f, f * 1.04f, 1.0f};
        });
    // Lit outer lip and the dark step into the recess.
    skin.Fill(
        box,
        [&](double x, double y) {
            const double d = std::abs(shape::Circle(x, y, cx, cy, kBezelRadius - 1.0)) - 0.6;
            const double lit = std::clamp(-(y - cy) / kBezelRadius, 0.0, 1.0);
            return (0.15 + 0.45 * lit) * shape::Coverage(d);
        },
        Color::Grey(1.0f));
    skin.Fill(
        box,
        [&](double x, double y) {
            const double d = std::abs(shape::Circle(x, y, cx, cy, kRecessRadius + 1.5)) - 1.2;
            return 0.75 * shape::Coverage(d);
        },
        Color::Grey(0.02f));
    // The recess itself, darker towards its upper rim where the bezel shades it.
    skin.Paint(
        box,
        [&](double x, double y) {
            return shape::Coverage(shape::Circle(x, y, cx, cy, kRecessRadius));
        },
        [&](double x, double y) {
            const double dx = x - cx;
            const double dy = y - cy;
            const double r = std::hypot(dx, dy);
            const double rim = shape::Smoothstep(45.0, kRecessRadius, r);
            const double shade = 1.0 - rim * (0.55 - 0.35 * dy / std::max(r, 1.0));
            Color c = Color::Mix(Color::Hex(0x191D22), Color::Hex(0x0B0D10),
                                 static_cast<float>(r / kRecessRadius));
            c = c.Scaled(static_cast<float>(shade));
            const float grain = noise::Hash01(static_cast<int>(x), static_cast<int>(y), 31u) - 0.5f;
            return c.Plus(0.006f * grain);
        });
}

void DrawLegend(Canvas& skin, FontLibrary& fonts) {
    const Font& font = fonts.Get(Face::Title, 8);
    const Color text = Color::Hex(0x7D8791);
    double x = 16.0;
    const double y = 258.0;
    const struct {
        Color dot;
        const char* label;
    } items[] = {{kGreenAccent, "ONLINE"}, {kRedAccent, "OFFLINE"}};
    for (const auto& item : items) {
        skin.Fill(
            {0, 240, 240, 275},
            [&](double px, double py) {
                return shape::Coverage(shape::Circle(px, py, x + 3.0, y, 3.0));
            },
            item.dot);
        skin.Fill(
            {0, 240, 240, 275},
            [&](double px, double py) {
                return 0.35 * shape::Coverage(shape::Circle(px, py, x + 2.2, y - 0.9, 1.1));
            },
            Color::Grey(1.0f));
        font.Draw(skin, item.label, x + 10.0, y, text, Align::Left, 1);
        x += 10.0 + font.Width(item.label, 1) + 14.0;
    }
}

void DrawExitSlot(Canvas& skin) {
    const PixelBox box{kExitLeft - 4, kExitTop - 4, kSkinSize, kExitTop + kExitHeight + 4};
    const double x1 = kExitLeft - 0.5;
    const double y1 = kExitTop - 0.5;
    const double x2 = kSkinSize + 12.0;
    const double y2 = kExitTop + kExitHeight + 0.5;
    skin.Fill(
        box,
        [&](double x, double y) {
            return 0.45 * shape::Coverage(
                              std::abs(shape::RoundBox(x, y - 1.0, x1, y1, x2, y2, 6.5)) - 0.5);
        },
        Color::Grey(1.0f, 0.5f));
    skin.Fill(
        box,
        [&](double x, double y) {
            return shape::Coverage(shape::RoundBox(x, y, x1, y1, x2, y2, 6.5));
        },
        Color::Hex(0x08090B));
}

void DrawAddressBand(Canvas& skin, FontLibrary& fonts) {
    const PixelBox box{0, static_cast<int>(kBandTop) - 2, kSkinSize,
                       static_cast<int>(kBandBottom) + 2};
    skin.Paint(
        box,
        [](double x, double y) {
            return (y > kBandTop && y < kBandBottom && x > 2.0 && x < kSkinSize - 2.0) ? 1.0 : 0.0;
        },
        [](double, double y) {
            // Deeper just under the top edge, as if the band were set into the plate.
            const double depth = shape::Smoothstep(kBandTop + 4.0, kBandTop, y);
            return Color::Mix(Color::Hex(0x0C0E11), Color::Hex(0x030405),
                              static_cast<float>(depth));
        });
    skin.Fill(
        box,
        [](double x, double y) {
            return (std::abs(y - (kBandBottom + 0.5)) < 0.5 && x > 2.0 && x < kSkinSize - 2.0)
                       ? 0.16
                       : 0.0;
        },
        Color::Grey(1.0f));
    const Font& font = fonts.Get(Face::Title, 8);
    font.Draw(skin, "WEB SERVER", 14.0, (kBandTop + kBandBottom) / 2.0, Color::Hex(0x5B646E),
              Align::Left, 1);
}

void DrawScrews(Canvas& skin) {
    decor::Screw(skin, 13.0, 13.0, 4.5, 0.35);
    decor::Screw(skin, 307.0, 13.0, 4.5, 1.10);
    decor::Screw(skin, 13.0, 311.5, 4.5, 0.80);
    decor::Screw(skin, 307.0, 311.5, 4.5, 0.15);
}

}  // namespace

Canvas DrawSkin(FontLibrary& fonts) {
    Canvas skin(kSkinSize, kSkinSize, Color::Grey(0.0f));
    DrawFace(skin);
    DrawTitle(skin, fonts);
    DrawSocket(skin);
    DrawLegend(skin, fonts);
    DrawExitSlot(skin);
    DrawAddressBand(skin, fonts);
    DrawScrews(skin);
    return skin;
}

Canvas DrawLamp(const Canvas& skin, bool online) {
    Canvas lamp = skin.Crop(kLampLeft, kLampTop, kLampSize, kLampSize);
    const double c = kLampSize / 2.0;
    const PixelBox all = lamp.Bounds();
    const Color hot = online ? Color::Hex(0xD8FFD0) : Color::Hex(0xFFD2C2);
    const Color body = online ? Color::Hex(0x1FD04A) : Color::Hex(0xE01E1E);
    const Color rim = online ? Color::Hex(0x064A14) : Color::Hex(0x5A0608);
    const Color glow = online ? Color::Hex(0x2BFF5A) : Color::Hex(0xFF2A1A);
    constexpr double kDome = 50.0;
    constexpr double kRing = 58.0;
    // Light spilling into the socket, gone before the socket's edge so the corners stay skin.
    lamp.Fill(
        all,
        [&](double x, double y) {
            const double r = std::hypot(x - c, y - c);
            if (r < kRing - 1.0 || r > kRecessRadius - 1.0) return 0.0;
            return 0.55 * std::exp(-(r - kRing) / 4.5) *
                   shape::Smoothstep(kRecessRadius - 1.0, kRing + 3.0, r);
        },
        glow, Blend::Add);
    // Retaining ring.
    lamp.Paint(
        all, [&](double x, double y) { return shape::Coverage(shape::Circle(x, y, c, c, kRing)); },
        [&](double x, double y) {
            const double dx = x - c;
            const double dy = y - c;
            const double r = std::max(std::hypot(dx, dy), 1.0);
            const double theta = std::atan2(dy, dx);
            const float turned = noise::Value(theta * 50.0, r * 0.5, 41u) - 0.5f;
            const double v =
                0.30 + 0.14 * std::cos(2.0 * (theta + 0.65)) - 0.12 * dy / r + 0.04 * turned;
            const float f = static_cast<float>(v);
            return Color{f * 0.96f, f, f * 1.04f, 1.0f};
        });
    lamp.Fill(
        all,
        [&](double x, double y) {
            const double lit = std::clamp(-(y - c) / kRing, 0.0, 1.0);
            return (0.10 + 0.40 * lit) *
                   shape::Coverage(std::abs(shape::Circle(x, y, c, c, kRing - 0.8)) - 0.5);
        },
        Color::Grey(1.0f));
    lamp.Fill(
        all,
        [&](double x, double y) {
            return 0.9 * shape::Coverage(std::abs(shape::Circle(x, y, c, c, kDome + 1.2)) - 1.3);
        },
        Color::Grey(0.02f));
    // The lens: bright core, saturated body, deep rim, faint Fresnel rings.
    lamp.Paint(
        all, [&](double x, double y) { return shape::Coverage(shape::Circle(x, y, c, c, kDome)); },
        [&](double x, double y) {
            const double r = std::hypot(x - c, y - c + 4.0) / kDome;
            Color col = Color::Mix(hot, body, static_cast<float>(shape::Smoothstep(0.0, 0.62, r)));
            col = Color::Mix(col, rim, static_cast<float>(shape::Smoothstep(0.55, 1.05, r)));
            const double ringStrength = 0.05 * shape::Smoothstep(0.35, 0.85, r);
            const double rings = 1.0 + ringStrength * std::sin(std::hypot(x - c, y - c) * 1.25);
            return col.Scaled(static_cast<float>(rings));
        });
    // Reflections of a light above: a broad soft one and a small sharp glint.
    lamp.Fill(
        all,
        [&](double x, double y) {
            const double dx = (x - (c - 10.0)) / 27.0;
            const double dy = (y - (c - 27.0)) / 14.0;
            const double inside = 1.0 - std::hypot(dx, dy);
            const double onLens = shape::Coverage(shape::Circle(x, y, c, c, kDome - 3.0));
            return 0.42 * shape::Smoothstep(0.0, 0.9, inside) * onLens;
        },
        Color::Grey(1.0f));
    lamp.Fill(
        all,
        [&](double x, double y) {
            return 0.7 * shape::SoftCoverage(shape::Circle(x, y, c - 22.0, c - 27.0, 2.5), 3.0);
        },
        Color::Grey(1.0f));
    lamp.Fill(
        all,
        [&](double x, double y) {
            const double d = std::abs(shape::Circle(x, y, c, c, kDome - 6.0)) - 1.0;
            const double below = std::clamp((y - c) / kDome, 0.0, 1.0);
            const double side = std::clamp(1.0 - std::abs(x - c) / kDome, 0.0, 1.0);
            return 0.22 * below * side * shape::Coverage(d);
        },
        Color::Grey(1.0f));
    return lamp;
}

Canvas DrawExitStrip(const Canvas& skin, FontLibrary& fonts, bool hover) {
    Canvas strip = skin.Crop(kExitLeft, kExitTop, kExitWidth, kExitHeight);
    const PixelBox all = strip.Bounds();
    const double x1 = 1.0, y1 = 1.0, x2 = kExitWidth + 10.0, y2 = kExitHeight - 1.0;
    const Color top = hover ? Color::Hex(0x5B6570) : Color::Hex(0x343A42);
    const Color bottom = hover ? Color::Hex(0x3B434C) : Color::Hex(0x1F2328);
    strip.Paint(
        all,
        [&](double x, double y) {
            return shape::Coverage(shape::RoundBox(x, y, x1, y1, x2, y2, 5.0));
        },
        [&](double x, double y) {
            const float t = static_cast<float>((y - y1) / (y2 - y1));
            return decor::BrushedMetal(Color::Mix(top, bottom, t), x, y, hover ? 53u : 59u, 0.6f);
        });
    strip.Fill(
        all,
        [&](double x, double y) {
            const double d = shape::RoundBox(x, y, x1, y1, x2, y2, 5.0);
            return (hover ? 0.35 : 0.18) * shape::Coverage(std::abs(d + 1.0) - 0.5) *
                   (y < 6.0 ? 1.0 : 0.0);
        },
        Color::Grey(1.0f));
    strip.Fill(
        all,
        [&](double x, double y) {
            return shape::Coverage(std::abs(shape::RoundBox(x, y, x1, y1, x2, y2, 5.0)) - 0.5);
        },
        Color::Hex(0x050607));
    // Power symbol: an open ring with a bar through its gap.
    const double px = 16.0, py = 12.5, pr = 5.2;
    const Color symbol = hover ? Color::Hex(0xFF5B4B) : kRedAccent.Scaled(0.85f);
    if (hover) {
        strip.Fill(
            all,
            [&](double x, double y) {
                return 0.45 * shape::SoftCoverage(shape::Circle(x, y, px, py, pr + 1.5), 6.0);
            },
            Color::Hex(0xFF3020), Blend::Add);
    }
    strip.Fill(
        all,
        [&](double x, double y) {
            const double angle = std::atan2(x - px, -(y - py));
            if (std::abs(angle) < 0.75) return 0.0;
            return shape::Coverage(std::abs(shape::Circle(x, y, px, py, pr)) - 0.85);
        },
        symbol);
    strip.Fill(
        all,
        [&](double x, double y) {
            return shape::Coverage(shape::Segment(x, y, {px, py - 7.0}, {px, py - 0.5}) - 0.85);
        },
        symbol);
    const Font& font = fonts.Get(Face::Title, 11);
    font.Draw(strip, "EXIT", 47.0, 13.5, Color::Grey(0.0f, 0.6f), Align::Centre, 2);
    font.Draw(strip, "EXIT", 47.0, 12.5, hover ? Color::Grey(1.0f) : Color::Hex(0xB7BEC6),
              Align::Centre, 2);
    return strip;
}
