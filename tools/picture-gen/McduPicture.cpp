#include <cmath>
#include <map>
#include <stdexcept>
#include <string>

#include "tools/picture-gen/Decor.h"
#include "tools/picture-gen/Noise.h"
#include "tools/picture-gen/Pictures.h"
#include "tools/picture-gen/Shapes.h"
#include "web/McduKeyTable.h"

namespace {

constexpr int kWidth = 576;
constexpr int kHeight = 930;
// The display is painted by the page over this area; black pixels of the display let the
// picture show through, so the area itself is pure black.
constexpr int kScreenLeft = 103;
constexpr int kScreenTop = 72;
constexpr int kScreenWidth = 370;
constexpr int kScreenHeight = 364;

const Color kLegend = Color::Hex(0xF1F3F5);

struct Caption {
    const char* text;  // "\n" separates two lines
    Face face;
    int size;
    bool round = false;  // the digit block's keys are round
};

// What each key shows; every label of McduKeyTable has an entry.
const std::map<std::string, Caption>& Captions() {
    static const std::map<std::string, Caption> captions = [] {
        std::map<std::string, Caption> c;
        for (const char* lsk : {"LSK 1", "LSK 2", "LSK 3", "LSK 4", "LSK 5", "LSK 6", "RSK 1",
                                "RSK 2", "RSK 3", "RSK 4", "RSK 5", "RSK 6"}) {
            c[lsk] = {"", Face::Condensed, 12};
        }
        c["FN DIR"] = {"DIR", Face::Condensed, 13};
        c["FN PRG"] = {"PROG", Face::Condensed, 13};
        c["FN PRF"] = {"PERF", Face::Condensed, 13};
        c["FN INI"] = {"INIT", Face::Condensed, 13};
        c["FN DAT"] = {"DATA", Face::Condensed, 13};
        c["FN FPLN"] = {"F-PLN", Face::Condensed, 13};
        c["FN RADN"] = {"RAD\nNAV", Face::Condensed, 11};
        c["FN FUEL"] = {"FUEL\nPRED", Face::Condensed, 11};
        c["FN SECF"] = {"SEC\nF-PLN", Face::Condensed, 11};
        c["FN MENU"] = {"MCDU\nMENU", Face::Condensed, 11};
        c["FN ARPT"] = {"AIRPORT", Face::Condensed, 11};
        c["AR L"] = {"\xE2\x86\x90", Face::Bold, 22};
        c["AR U"] = {"\xE2\x86\x91", Face::Bold, 22};
        c["AR R"] = {"\xE2\x86\x92", Face::Bold, 22};
        c["AR D"] = {"\xE2\x86\x93", Face::Bold, 22};
        static const char* const kDigits[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
        for (int d = 0; d <= 9; ++d)
            c[std::string("AL ") + kDigits[d]] = {kDigits[d], Face::Bold, 18, true};
        c["AL ."] = {".", Face::Bold, 20, true};
        c["AL +"] = {"+", Face::Bold, 20, true};
        static const char* const kLetters[] = {"A", "B", "C", "D", "E", "F", "G", "H", "I",
                                               "J", "K", "L", "M", "N", "O", "P", "Q", "R",
                                               "S", "T", "U", "V", "W", "X", "Y", "Z"};
        for (const char* letter : kLetters)
            c[std::string("AL ") + letter] = {letter, Face::Bold, 19};
        c["AL /"] = {"/", Face::Bold, 19};
        c["AL SP"] = {"SP", Face::Condensed, 14};
        c["AL OVFY"] = {"OVFY", Face::Condensed, 12};
        c["AL CLR"] = {"CLR", Face::Condensed, 14};
        return c;
    }();
    return captions;
}

Color BodyColor(double x, double y) {
    Color base =
        Color::Mix(Color::Hex(0x363B41), Color::Hex(0x2A2E33), static_cast<float>(y / kHeight));
    const float grain = noise::Hash01(static_cast<int>(x), static_cast<int>(y), 97u) - 0.5f;
    const float mottle = noise::Fractal(x / 40.0, y / 40.0, 89u, 3) - 0.5f;
    return base.Scaled(1.0f + 0.05f * grain + 0.05f * mottle);
}

void DrawBody(Canvas& mcdu) {
    const double x1 = 1.0, y1 = 1.0, x2 = kWidth - 1.0, y2 = kHeight - 1.0, radius = 22.0;
    mcdu.Paint(
        mcdu.Bounds(),
        [&](double x, double y) {
            return shape::Coverage(shape::RoundBox(x, y, x1, y1, x2, y2, radius));
        },
        BodyColor);
    mcdu.Fill(
        mcdu.Bounds(),
        [&](double x, double y) {
            const double d = shape::RoundBox(x, y, x1, y1, x2, y2, radius);
            const double lit = std::clamp(1.0 - y / 60.0, 0.0, 1.0);
            return (0.08 + 0.22 * lit) * shape::Coverage(std::abs(d + 1.8) - 0.6);
        },
        Color::Grey(1.0f));
    decor::Screw(mcdu, 17.0, 17.0, 6.0, 0.4);
    decor::Screw(mcdu, kWidth - 17.0, 17.0, 6.0, 1.2);
    decor::Screw(mcdu, 17.0, kHeight - 17.0, 6.0, 0.9);
    decor::Screw(mcdu, kWidth - 17.0, kHeight - 17.0, 6.0, 0.1);
}

void DrawScreen(Canvas& mcdu) {
    const double x1 = kScreenLeft - 15.0, y1 = kScreenTop - 16.0;
    const double x2 = kScreenLeft + kScreenWidth + 15.0, y2 = kScreenTop + kScreenHeight + 16.0;
    const PixelBox box{static_cast<int>(x1) - 8, static_cast<int>(y1) - 8, static_cast<int>(x2) + 8,
                       static_cast<int>(y2) + 8};
    // The bezel is set slightly into the body: lit lower lip, shaded upper one.
    mcdu.Fill(
        box,
        [&](double x, double y) {
            return 0.30 * shape::Coverage(
                              std::abs(shape::RoundBox(x, y - 1.5, x1, y1, x2, y2, 12.0)) - 0.8);
        },
        Color::Grey(1.0f));
    mcdu.Paint(
        box,
        [&](double x, double y) {
            return shape::Coverage(shape::RoundBox(x, y, x1, y1, x2, y2, 12.0));
        },
        [&](double x, double y) {
            const double depth = shape::RoundBox(x, y, x1, y1, x2, y2, 12.0);
            const float shade = static_cast<float>(shape::Smoothstep(-8.0, 0.0, depth) *
                                                   (y < (y1 + y2) / 2 ? 0.5 : 0.15));
            return Color::Mix(Color::Hex(0x1A1D21), Color::Hex(0x0C0E10), shade);
        });
    // Soft inner shadow round the glass.
    mcdu.Fill(
        box,
        [&](double x, double y) {
            const double d = shape::RoundBox(x, y, kScreenLeft - 2.0, kScreenTop - 2.0,
                                             kScreenLeft + kScreenWidth + 2.0,
                                             kScreenTop + kScreenHeight + 2.0, 4.0);
            return d < 0.0 ? 0.0 : 0.8 * shape::SoftCoverage(d, 6.0);
        },
        Color::Grey(0.0f));
    for (int y = kScreenTop; y < kScreenTop + kScreenHeight; ++y) {
        for (int x = kScreenLeft; x < kScreenLeft + kScreenWidth; ++x)
            mcdu.Set(x, y, Color::Grey(0.0f));
    }
}

// Short marks on the bezel that point each line select key to its display line.
void DrawLineMarks(Canvas& mcdu) {
    for (int row = 0; row < 6; ++row) {
        const double y = 138.0 + 49.6 * row;
        for (const auto& mark : {std::pair{70.0, 82.0}, std::pair{494.0, 506.0}}) {
            // Plain copies: clang 14 cannot capture structured bindings in a lambda.
            const double a = mark.first;
            const double b = mark.second;
            mcdu.Fill(
                {60, static_cast<int>(y) - 4, 516, static_cast<int>(y) + 5},
                [&](double px, double py) {
                    return shape::Coverage(shape::Segment(px, py, {a, y}, {b, y}) - 1.1);
                },
                Color::Hex(0xC9CED4));
        }
    }
}

void DrawAnnunciator(Canvas& mcdu, FontLibrary& fonts, double x, double y, const char* text) {
    const double x1 = x, y1 = y, x2 = x + 44.0, y2 = y + 16.0;
    const PixelBox box{static_cast<int>(x1) - 3, static_cast<int>(y1) - 3, static_cast<int>(x2) + 4,
                       static_cast<int>(y2) + 4};
    mcdu.Fill(
        box,
        [&](double px, double py) {
            return 0.25 * shape::Coverage(
                              std::abs(shape::RoundBox(px, py - 1.0, x1, y1, x2, y2, 3.0)) - 0.6);
        },
        Color::Grey(1.0f));
    mcdu.Fill(
        box,
        [&](double px, double py) {
            return shape::Coverage(shape::RoundBox(px, py, x1, y1, x2, y2, 3.0));
        },
        Color::Hex(0x17191C));
    fonts.Get(Face::Condensed, 9)
        .Draw(mcdu, text, (x1 + x2) / 2.0, (y1 + y2) / 2.0, Color::Hex(0x6B5A3A), Align::Centre, 1);
}

void DrawKey(Canvas& mcdu, FontLibrary& fonts, const web::McduKey& key) {
    const auto found = Captions().find(key.label);
    if (found == Captions().end())
        throw std::logic_error(std::string("no caption for key ") + key.label);
    const Caption& caption = found->second;
    const double x1 = key.x1, y1 = key.y1, x2 = key.x2, y2 = key.y2;
    const double radius = caption.round ? (x2 - x1) / 2.0 : 5.0;
    auto distance = [&](double x, double y, double grow) {
        return shape::RoundBox(x, y, x1 - grow, y1 - grow, x2 + grow, y2 + grow, radius + grow);
    };
    const PixelBox box{static_cast<int>(x1) - 8, static_cast<int>(y1) - 8, static_cast<int>(x2) + 9,
                       static_cast<int>(y2) + 10};
    // Drop shadow and the dark gap the key stands in.
    mcdu.Fill(
        box,
        [&](double x, double y) {
            return 0.7 * shape::SoftCoverage(distance(x, y - 2.5, 1.0), 5.0);
        },
        Color::Grey(0.0f));
    mcdu.Fill(
        box, [&](double x, double y) { return shape::Coverage(distance(x, y, 1.5)); },
        Color::Hex(0x121416));
    // Cap: lighter top, a lit upper edge and a darker lower one.
    mcdu.Paint(
        box, [&](double x, double y) { return shape::Coverage(distance(x, y, 0.0)); },
        [&](double x, double y) {
            const float t = static_cast<float>((y - y1) / (y2 - y1));
            const float edge =
                static_cast<float>(shape::Smoothstep(-3.0, 0.0, distance(x, y, 0.0)));
            Color c = Color::Mix(Color::Hex(0x5B636C), Color::Hex(0x3C4248), t);
            return c.Scaled(1.0f - 0.25f * edge * t);
        });
    mcdu.Fill(
        box,
        [&](double x, double y) {
            const double d = distance(x, y, 0.0);
            const double upper = std::clamp(1.0 - (y - y1) / ((y2 - y1) * 0.5), 0.0, 1.0);
            return 0.40 * upper * shape::Coverage(std::abs(d + 1.0) - 0.5);
        },
        Color::Grey(1.0f));

    const std::string text = caption.text;
    if (text.empty()) return;
    const double cx = (x1 + x2) / 2.0;
    const double cy = (y1 + y2) / 2.0;
    const Font& font = fonts.Get(caption.face, caption.size);
    const std::size_t split = text.find('\n');
    if (split == std::string::npos) {
        font.Draw(mcdu, text, cx, cy, kLegend);
    } else {
        const double gap = font.CapHeight() * 0.75 + 1.0;
        font.Draw(mcdu, text.substr(0, split), cx, cy - gap, kLegend);
        font.Draw(mcdu, text.substr(split + 1), cx, cy + gap, kLegend);
    }
}

}  // namespace

Canvas DrawMcdu(FontLibrary& fonts) {
    Canvas mcdu(kWidth, kHeight, Color::Grey(0.0f));
    DrawBody(mcdu);
    DrawScreen(mcdu);
    DrawLineMarks(mcdu);
    DrawAnnunciator(mcdu, fonts, 20.0, 737.0, "FAIL");
    DrawAnnunciator(mcdu, fonts, 20.0, 763.0, "FM1");
    DrawAnnunciator(mcdu, fonts, 513.0, 600.0, "IND");
    DrawAnnunciator(mcdu, fonts, 513.0, 626.0, "RDY");
    DrawAnnunciator(mcdu, fonts, 513.0, 652.0, "FM2");
    for (const web::McduKey& key : web::McduKeyTable) DrawKey(mcdu, fonts, key);
    return mcdu;
}
