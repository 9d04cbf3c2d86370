#include "tools/gauge-standin/McduDisplay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>

namespace {

using C = McduColour;

constexpr int kScratchpadLength = 22;  // the last two cells hold the slew arrows
constexpr double kPi = std::numbers::pi;

const char* const kKeyNames[] = {
    "LSK 1",     "LSK 2",     "LSK 3",     "LSK 4", "LSK 5", "LSK 6", "RSK 1", "RSK 2",
    "RSK 3",     "RSK 4",     "RSK 5",     "RSK 6", "DIR",   "PROG",  "F-PLN", "RAD NAV",
    "AIRPORT",   "UP",        "NEXT PAGE", "DOWN",  "PERF",  "INIT",  "DATA",  "FUEL PRED",
    "SEC F-PLN", "PREV PAGE", "MCDU MENU", "0",     "1",     "2",     "3",     "4",
    "5",         "6",         "7",         "8",     "9",     ".",     "/",     "A",
    "B",         "C",         "D",         "E",     "F",     "G",     "H",     "I",
    "J",         "K",         "L",         "M",     "N",     "O",     "P",     "Q",
    "R",         "S",         "T",         "U",     "V",     "W",     "X",     "Y",
    "Z",         "+",         "SP",        "OVFY",  "CLR"};
constexpr int kKeyCount = static_cast<int>(sizeof kKeyNames / sizeof kKeyNames[0]);
static_assert(kKeyCount == 69, "one name for each key of the remote MCDU");

// Key codes with a meaning of their own.
enum : int {
    kKeyDir = 12,
    kKeyProg = 13,
    kKeyFlightPlan = 14,
    kKeyRadNav = 15,
    kKeyAirport = 16,
    kKeyUp = 17,
    kKeyNextPage = 18,
    kKeyDown = 19,
    kKeyPerf = 20,
    kKeyInit = 21,
    kKeyData = 22,
    kKeyFuelPred = 23,
    kKeySecFlightPlan = 24,
    kKeyPrevPage = 25,
    kKeyMenu = 26,
    kKeyZero = 27,
    kKeyOne = 28,
    kKeyNine = 36,
    kKeyDot = 37,
    kKeySlash = 38,
    kKeyA = 39,
    kKeyZ = 64,
    kKeyPlus = 65,
    kKeySpace = 66,
    kKeyOverfly = 67,
    kKeyClear = 68,
};

struct Airport {
    std::u32string_view ident;
    std::u32string_view latitude;   // as the INIT page shows it: ddmm.mN
    std::u32string_view longitude;  // dddmm.mE
    int elevation;                  // feet
    std::u32string_view runway;
};

constexpr Airport kAirports[] = {
    {U"EBBR", U"5054.1N", U"00429.1E", 184, U"25R"},
    {U"EDDF", U"5002.0N", U"00834.3E", 364, U"25C"},
    {U"EDDM", U"4821.2N", U"01147.2E", 1487, U"26R"},
    {U"EGKK", U"5108.9N", U"00011.4W", 202, U"26L"},
    {U"EGLL", U"5128.7N", U"00027.7W", 83, U"27R"},
    {U"EHAM", U"5218.5N", U"00445.8E", 11, U"24"},
    {U"EKCH", U"5537.1N", U"01239.4E", 17, U"22R"},
    {U"ENGM", U"6011.9N", U"01106.0E", 681, U"19R"},
    {U"LEMD", U"4028.3N", U"00334.2W", 1998, U"36L"},
    {U"LFPG", U"4900.6N", U"00232.9E", 392, U"26R"},
    {U"LIRF", U"4148.0N", U"01215.0E", 15, U"16R"},
    {U"LOWW", U"4806.6N", U"01634.2E", 600, U"29"},
    {U"LPPT", U"3846.5N", U"00908.1W", 374, U"03"},
    {U"LSGG", U"4614.3N", U"00606.6E", 1411, U"22"},
    {U"LSZH", U"4727.5N", U"00832.9E", 1416, U"28"},
    {U"KJFK", U"4038.4N", U"07346.7W", 13, U"31L"},
};

constexpr std::u32string_view kFixNames[] = {
    U"ABNED", U"AMADA", U"BOMBI", U"CPT",   U"DVR",   U"KONAN", U"KOK",   U"LAMSO",
    U"MTD",   U"NIK",   U"PAM",   U"REMBA", U"RUDUS", U"SOMVA", U"SPI",   U"TUSKA",
    U"XAMAB", U"ODINA", U"GIMER", U"ROLIS", U"BENUX", U"DITON", U"LUMAN", U"VEBIT",
};
constexpr int kFixCount = static_cast<int>(sizeof kFixNames / sizeof kFixNames[0]);

const Airport* FindAirport(std::u32string_view ident) {
    for (const Airport& airport : kAirports)
        if (airport.ident == ident) return &airport;
    return nullptr;
}

uint32_t Hash(std::u32string_view text) {
    uint32_t hash = 2166136261u;
    for (char32_t ch : text) hash = (hash ^ static_cast<uint32_t>(ch)) * 16777619u;
    return hash;
}

// Decodes UTF-8 (the formats below carry a degree sign now and then).
std::u32string FromUtf8(std::string_view text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t ch = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < text.size(); ++k)
            ch = (ch << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out += ch;
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

std::u32string Format(const char* format, double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return FromUtf8(buffer);
}

std::u32string Format(const char* format, int value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return FromUtf8(buffer);
}

bool IsDigit(char32_t ch) {
    return ch >= U'0' && ch <= U'9';
}
bool IsLetter(char32_t ch) {
    return ch >= U'A' && ch <= U'Z';
}
bool AllOf(std::u32string_view text, bool (*test)(char32_t)) {
    return std::all_of(text.begin(), text.end(), test);
}
bool IsAlphanumeric(char32_t ch) {
    return IsDigit(ch) || IsLetter(ch);
}

std::optional<int> Number(std::u32string_view text, size_t minDigits, size_t maxDigits) {
    if (text.size() < minDigits || text.size() > maxDigits || !AllOf(text, IsDigit))
        return std::nullopt;
    int value = 0;
    for (char32_t ch : text) value = value * 10 + static_cast<int>(ch - U'0');
    return value;
}

// "ddd.dd" (or "ddd.d", "dddd.d" for ADF) within [low, high].
bool IsFrequency(std::u32string_view text, double low, double high) {
    const size_t dot = text.find(U'.');
    if (dot == std::u32string_view::npos || dot == 0 || dot + 1 >= text.size()) return false;
    const auto whole = Number(text.substr(0, dot), 3, 4);
    const auto fraction = Number(text.substr(dot + 1), 1, 2);
    if (!whole || !fraction) return false;
    const double value = *whole + *fraction / (text.size() - dot - 1 == 1 ? 10.0 : 100.0);
    return value >= low && value <= high;
}

// ddmm.mN / dddmm.mE to signed degrees.
double Degrees(std::u32string_view text, int degreeDigits) {
    const auto degrees = Number(text.substr(0, degreeDigits), 1, 3).value_or(0);
    const auto minutes = Number(text.substr(degreeDigits, 2), 1, 2).value_or(0);
    const auto tenths = Number(text.substr(degreeDigits + 3, 1), 1, 1).value_or(0);
    const double value = degrees + (minutes + tenths / 10.0) / 60.0;
    const char32_t hemisphere = text.back();
    return (hemisphere == U'S' || hemisphere == U'W') ? -value : value;
}

void Put(McduScreen& screen, int row, int column, std::u32string_view text, C colour,
         bool small = false) {
    for (size_t i = 0; i < text.size(); ++i) {
        const int x = column + static_cast<int>(i);
        if (x >= 0 && x < kMcduColumns) screen[row][x] = McduCell{text[i], colour, small};
    }
}

void PutRight(McduScreen& screen, int row, std::u32string_view text, C colour, bool small = false) {
    Put(screen, row, kMcduColumns - static_cast<int>(text.size()), text, colour, small);
}

void PutCentre(McduScreen& screen, int row, std::u32string_view text, C colour,
               bool small = false) {
    Put(screen, row, (kMcduColumns - static_cast<int>(text.size())) / 2, text, colour, small);
}

std::string Utf8(char32_t ch) {
    std::string out;
    if (ch < 0x80) {
        out += static_cast<char>(ch);
    } else if (ch < 0x800) {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (ch >> 12));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
    return out;
}

// International standard atmosphere temperature at a flight level, whole degrees.
int IsaTemperature(int flightLevel) {
    return static_cast<int>(std::lround(std::max(15.0 - 1.98 * flightLevel / 10.0, -56.5)));
}

}  // namespace

McduDisplay::McduDisplay() {
    Compose();
}

const char* McduDisplay::KeyName(int code) {
    return code >= 0 && code < kKeyCount ? kKeyNames[code] : nullptr;
}

std::string McduDisplay::RowText(int row) const {
    std::string text;
    if (row < 0 || row >= kMcduRows) return text;
    for (const McduCell& cell : m_screen[row]) text += Utf8(cell.ch);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

bool McduDisplay::PressKey(int code) {
    if (code < 0 || code >= kKeyCount) return false;
    const McduScreen before = m_screen;
    if (code < 12) {
        PressLineKey(code);
    } else if (code == kKeyZero) {
        TypeCharacter(U'0');
    } else if (code >= kKeyOne && code <= kKeyNine) {
        TypeCharacter(static_cast<char32_t>(U'1' + (code - kKeyOne)));
    } else if (code >= kKeyA && code <= kKeyZ) {
        TypeCharacter(static_cast<char32_t>(U'A' + (code - kKeyA)));
    } else {
        switch (code) {
            case kKeyDot:
                TypeCharacter(U'.');
                break;
            case kKeySlash:
                TypeCharacter(U'/');
                break;
            case kKeyPlus:
                TypeCharacter(U'+');
                break;
            case kKeySpace:
                TypeCharacter(U' ');
                break;
            case kKeyOverfly:
                TypeCharacter(U'Δ');
                break;
            case kKeyClear:
                PressClear();
                break;
            case kKeyDir:
                ShowPage(Page::DirTo);
                break;
            case kKeyProg:
                ShowPage(Page::Prog);
                break;
            case kKeyPerf:
                ShowPage(Page::Perf);
                break;
            case kKeyInit:
                ShowPage(Page::Init);
                break;
            case kKeyRadNav:
                ShowPage(Page::RadNav);
                break;
            case kKeyFuelPred:
                ShowPage(Page::FuelPred);
                break;
            case kKeySecFlightPlan:
                ShowPage(Page::SecIndex);
                break;
            case kKeyMenu:
                ShowPage(Page::McduMenu);
                break;
            case kKeyData:
                m_dataPage = 0;
                ShowPage(Page::Data);
                break;
            case kKeyFlightPlan:
                m_flightPlanTop = 0;
                ShowPage(Page::FlightPlan);
                break;
            case kKeyAirport:
                // The next airport of the flight plan comes to the top line.
                m_flightPlanTop = m_route.empty() ? 0 : static_cast<int>(m_route.size()) - 1;
                ShowPage(Page::FlightPlan);
                break;
            case kKeyUp:
                Slew(+1);
                break;
            case kKeyDown:
                Slew(-1);
                break;
            case kKeyNextPage:
                TurnPage(+1);
                break;
            case kKeyPrevPage:
                TurnPage(-1);
                break;
            default:
                break;
        }
    }
    Compose();
    return m_screen != before;
}

void McduDisplay::TypeCharacter(char32_t ch) {
    m_message.clear();
    m_clearArmed = false;
    if (static_cast<int>(m_scratchpad.size()) < kScratchpadLength) m_scratchpad += ch;
}

void McduDisplay::PressClear() {
    if (!m_message.empty()) {
        m_message.clear();  // the entry underneath comes back
    } else if (!m_scratchpad.empty()) {
        m_scratchpad.clear();
    } else {
        m_clearArmed = !m_clearArmed;
    }
}

void McduDisplay::ShowMessage(std::u32string_view message) {
    m_message = message;
}

void McduDisplay::ShowPage(Page page) {
    m_page = page;
    if (page != Page::McduMenu) {
        m_lastFmgcPage = page;
        m_fmgcSelected = true;
    }
}

void McduDisplay::SelectFmgc() {
    m_fmgcSelected = true;
    m_page = m_lastFmgcPage;
}

void McduDisplay::Slew(int step) {
    if (m_page != Page::FlightPlan) return;
    m_flightPlanTop = std::clamp(m_flightPlanTop + step, 0, FlightPlanLines() - 1);
}

void McduDisplay::TurnPage(int step) {
    if (m_page == Page::Data) m_dataPage = (m_dataPage + 2 + step) % 2;
    if (m_page == Page::FlightPlan) m_flightPlanPage = (m_flightPlanPage + 2 + step) % 2;
}

int McduDisplay::FlightPlanLines() const {
    return static_cast<int>(m_route.size()) + 2;  // the end line and the alternate line
}

void McduDisplay::PressLineKey(int key) {
    const bool left = key < 6;
    const int line = key % 6;
    const bool entry = !m_scratchpad.empty() || m_clearArmed;
    std::optional<Field> field;
    switch (m_page) {
        case Page::McduMenu:
            if (left && line == 0) {
                SelectFmgc();
            } else if (left && line < 4) {
                ShowMessage(U"NOT ALLOWED");
            }
            return;
        case Page::Init:
            if (!left && line == 2 && !m_route.empty()) {
                m_irsAligned = true;
                return;
            }
            field = left ? (line == 0   ? std::optional<Field>(kCoRoute)
                            : line == 1 ? std::optional<Field>(kAltn)
                            : line == 2 ? std::optional<Field>(kFlightNumber)
                            : line == 4 ? std::optional<Field>(kCostIndex)
                            : line == 5 ? std::optional<Field>(kCruiseLevel)
                                        : std::nullopt)
                         : (line == 0   ? std::optional<Field>(kFromTo)
                            : line == 5 ? std::optional<Field>(kTropo)
                                        : std::nullopt);
            break;
        case Page::DirTo:
            if (left && line >= 1 && line <= 4) {
                const size_t index = static_cast<size_t>(line);  // route line 0 is the origin
                if (index < m_route.size()) m_fields[kDirTo] = m_route[index].ident;
                return;
            }
            if (left && line == 0) field = kDirTo;
            break;
        case Page::Perf:
            field = left ? (line == 0   ? std::optional<Field>(kV1)
                            : line == 1 ? std::optional<Field>(kVr)
                            : line == 2 ? std::optional<Field>(kV2)
                            : line == 3 ? std::optional<Field>(kTransAlt)
                                        : std::nullopt)
                         : (line == 3 ? std::optional<Field>(kFlexTemp) : std::nullopt);
            break;
        case Page::RadNav:
            field = left ? (line == 0   ? std::optional<Field>(kVor1)
                            : line == 2 ? std::optional<Field>(kIls)
                            : line == 4 ? std::optional<Field>(kAdf1)
                                        : std::nullopt)
                         : (line == 0   ? std::optional<Field>(kVor2)
                            : line == 4 ? std::optional<Field>(kAdf2)
                                        : std::nullopt);
            break;
        default:
            break;
    }
    if (!entry) return;  // nothing to put anywhere
    if (!field) {
        ShowMessage(U"NOT ALLOWED");
        return;
    }
    m_message.clear();
    if (m_clearArmed) {
        m_clearArmed = false;
        m_fields[*field].clear();
        if (*field == kFromTo) BuildRoute();
        return;
    }
    if (EnterField(*field, m_scratchpad)) m_scratchpad.clear();
}

bool McduDisplay::EnterField(Field field, const std::u32string& text) {
    auto formatError = [this] {
        ShowMessage(U"FORMAT ERROR");
        return false;
    };
    auto outOfRange = [this] {
        ShowMessage(U"ENTRY OUT OF RANGE");
        return false;
    };
    std::u32string value = text;
    switch (field) {
        case kCoRoute:
            if (text.size() > 10 || !AllOf(text, IsAlphanumeric)) return formatError();
            break;
        case kFlightNumber:
            if (text.size() > 8 || !AllOf(text, IsAlphanumeric)) return formatError();
            break;
        case kFromTo: {
            if (text.size() != 9 || text[4] != U'/' || !AllOf(text.substr(0, 4), IsLetter) ||
                !AllOf(text.substr(5), IsLetter) || text.substr(0, 4) == text.substr(5))
                return formatError();
            if (!FindAirport(text.substr(0, 4)) || !FindAirport(text.substr(5))) {
                ShowMessage(U"NOT IN DATA BASE");
                return false;
            }
            m_fields[kFromTo] = value;
            m_irsAligned = false;
            BuildRoute();
            return true;
        }
        case kAltn:
            if (text.size() != 4 || !AllOf(text, IsLetter)) return formatError();
            if (!FindAirport(text)) {
                ShowMessage(U"NOT IN DATA BASE");
                return false;
            }
            break;
        case kCostIndex: {
            if (!Number(text, 1, 3)) return formatError();
            break;
        }
        case kCruiseLevel: {
            const std::u32string digits = text.rfind(U"FL", 0) == 0 ? text.substr(2) : text;
            const auto level = Number(digits, 2, 3);
            if (!level) return formatError();
            if (*level < 10 || *level > 410) return outOfRange();
            value = Format("FL%03d", *level);
            break;
        }
        case kTropo: {
            const auto feet = Number(text, 4, 5);
            if (!feet) return formatError();
            if (*feet < 1000 || *feet > 60000) return outOfRange();
            value = Format("%05d", *feet);
            break;
        }
        case kDirTo: {
            if (text.size() < 2 || text.size() > 5 || !AllOf(text, IsAlphanumeric))
                return formatError();
            const bool known =
                std::any_of(m_route.begin() + (m_route.empty() ? 0 : 1), m_route.end(),
                            [&](const Waypoint& point) { return point.ident == text; });
            if (!known) {
                ShowMessage(U"NOT IN DATA BASE");
                return false;
            }
            break;
        }
        case kV1:
        case kVr:
        case kV2: {
            const auto speed = Number(text, 2, 3);
            if (!speed) return formatError();
            if (*speed < 90 || *speed > 350) return outOfRange();
            m_fields[field] = value;
            const auto v1 = Number(m_fields[kV1], 2, 3);
            const auto vr = Number(m_fields[kVr], 2, 3);
            const auto v2 = Number(m_fields[kV2], 2, 3);
            if ((v1 && vr && *v1 > *vr) || (vr && v2 && *vr > *v2) || (v1 && v2 && *v1 > *v2))
                ShowMessage(U"V1/VR/V2 DISAGREE");
            return true;
        }
        case kTransAlt: {
            const auto feet = Number(text, 3, 5);
            if (!feet) return formatError();
            if (*feet < 1000 || *feet > 39000) return outOfRange();
            break;
        }
        case kFlexTemp: {
            const auto temperature = Number(text, 1, 2);
            if (!temperature) return formatError();
            if (*temperature > 80) return outOfRange();
            break;
        }
        case kVor1:
        case kVor2:
        case kIls:
        case kAdf1:
        case kAdf2: {
            const bool ils = field == kIls;
            const bool adf = field == kAdf1 || field == kAdf2;
            const size_t longest = ils ? 4 : 3;
            if (!text.empty() && text.size() <= longest && AllOf(text, IsLetter)) {
                // Tuned by identifier: the frequency comes from the data base.
                const uint32_t hash = Hash(text);
                const std::u32string frequency =
                    adf ? Format("%.1f", 200.0 + hash % 1500)
                        : Format("%.2f", (ils ? 108.10 : 108.00) +
                                             (hash % (ils ? 38 : 200)) * (ils ? 0.1 : 0.05));
                value = text + U"/" + frequency;
            } else if (adf ? IsFrequency(text, 190.0, 1750.0)
                           : IsFrequency(text, ils ? 108.10 : 108.00, ils ? 111.95 : 117.95)) {
                value = U"/" + text;
            } else {
                return formatError();
            }
            break;
        }
        case kFieldCount:
            return false;
    }
    m_fields[field] = value;
    return true;
}

void McduDisplay::BuildRoute() {
    m_route.clear();
    m_fields[kDirTo].clear();
    m_flightPlanTop = 0;
    const std::u32string& fromTo = m_fields[kFromTo];
    if (fromTo.size() != 9) return;
    const Airport* from = FindAirport(fromTo.substr(0, 4));
    const Airport* to = FindAirport(fromTo.substr(5));
    if (!from || !to) return;

    const double lat1 = Degrees(from->latitude, 2) * kPi / 180.0;
    const double lon1 = Degrees(from->longitude, 3) * kPi / 180.0;
    const double lat2 = Degrees(to->latitude, 2) * kPi / 180.0;
    const double lon2 = Degrees(to->longitude, 3) * kPi / 180.0;
    const double angle = std::acos(std::clamp(
        std::sin(lat1) * std::sin(lat2) + std::cos(lat1) * std::cos(lat2) * std::cos(lon2 - lon1),
        -1.0, 1.0));
    const double distance = angle * 3440.065;  // nautical miles
    const double course =
        std::fmod(std::atan2(std::sin(lon2 - lon1) * std::cos(lat2),
                             std::cos(lat1) * std::sin(lat2) -
                                 std::sin(lat1) * std::cos(lat2) * std::cos(lon2 - lon1)) *
                          180.0 / kPi +
                      360.0,
                  360.0);

    const uint32_t hash = Hash(fromTo);
    const int fixes = std::clamp(static_cast<int>(distance / 70.0), 3, 10);
    const int legs = fixes + 1;
    std::vector<double> weights;
    double weightSum = 0.0;
    for (int i = 0; i < legs; ++i) {
        weights.push_back(0.8 + 0.4 * static_cast<double>((hash >> (i % 29)) & 7u) / 7.0);
        weightSum += weights.back();
    }

    Waypoint origin;
    origin.ident = from->ident;
    origin.speed = -1;
    origin.level = from->elevation;
    m_route.push_back(origin);
    double travelled = 0.0;
    const int stride = 7;  // co-prime with the number of fix names: no name comes twice
    for (int i = 0; i < legs; ++i) {
        const double leg = distance * weights[i] / weightSum;
        travelled += leg;
        Waypoint point;
        point.legMiles = static_cast<int>(std::lround(leg));
        point.track =
            (static_cast<int>(std::lround(course)) + static_cast<int>((hash >> i) % 11) - 5 + 360) %
            360;
        if (point.track == 0) point.track = 360;
        point.minutes = static_cast<int>(std::lround(travelled * 60.0 / 430.0)) + 3;
        if (i == legs - 1) {
            point.ident = to->ident;
            point.speed = -1;
            point.level = to->elevation;
        } else {
            point.ident = kFixNames[(hash + static_cast<uint32_t>(i * stride)) % kFixCount];
            if (i == 0) {
                point.speed = 250;
                point.level = 100;
                point.constraint = true;
            } else if (i == 1) {
                point.speed = 290;
                point.level = 220;
            } else if (i == legs - 2) {
                point.speed = 250;
                point.level = 110;
                point.constraint = true;
            } else {
                point.speed = 0;  // cruise: Mach and the cruise level
                point.level = -1;
            }
        }
        m_route.push_back(point);
    }
    const int total = m_route.back().minutes;
    for (Waypoint& point : m_route) point.fuel = 3.0 + 0.045 * (total - point.minutes);
}

// ---- Drawing -------------------------------------------------------------------------------

void McduDisplay::Compose() {
    m_screen = McduScreen{};
    switch (m_page) {
        case Page::McduMenu:
            ComposeMenu();
            break;
        case Page::Init:
            ComposeInit();
            break;
        case Page::Data:
            ComposeData();
            break;
        case Page::FlightPlan:
            ComposeFlightPlan();
            break;
        case Page::DirTo:
            ComposeDirTo();
            break;
        case Page::Prog:
            ComposeProg();
            break;
        case Page::Perf:
            ComposePerf();
            break;
        case Page::RadNav:
            ComposeRadNav();
            break;
        case Page::FuelPred:
            ComposeFuelPred();
            break;
        case Page::SecIndex:
            ComposeSecIndex();
            break;
    }
    ComposeScratchpad();
}

void McduDisplay::PutField(int row, int column, Field field, std::u32string_view empty,
                           McduColour emptyColour, bool right) {
    const bool set = !m_fields[field].empty();
    const std::u32string_view text = set ? std::u32string_view(m_fields[field]) : empty;
    const C colour = set ? C::Cyan : emptyColour;
    if (right) {
        PutRight(m_screen, row, text, colour);
    } else {
        Put(m_screen, row, column, text, colour);
    }
}

void McduDisplay::ComposeMenu() {
    PutCentre(m_screen, 0, U"MCDU MENU", C::White);
    Put(m_screen, 2, 0, U"<FMGC", m_fmgcSelected ? C::Green : C::White);
    Put(m_screen, 4, 0, U"<ATSU", C::White);
    Put(m_screen, 6, 0, U"<AIDS", C::White);
    Put(m_screen, 8, 0, U"<CFDS", C::White);
    PutCentre(m_screen, 11, U"SELECT DESIRED SYSTEM", C::White, true);
}

void McduDisplay::ComposeInit() {
    const bool routed = !m_route.empty();
    PutCentre(m_screen, 0, U"INIT", C::White);
    Put(m_screen, 1, 0, U" CO RTE", C::White, true);
    PutRight(m_screen, 1, U"FROM/TO  ", C::White, true);
    PutField(2, 0, kCoRoute, U"□□□□□□□□□□", C::Amber, false);
    PutField(2, 0, kFromTo, U"□□□□/□□□□", C::Amber, true);
    Put(m_screen, 3, 0, U"ALTN/CO RTE", C::White, true);
    PutRight(m_screen, 3, U"INIT ", C::Amber, true);
    PutField(4, 0, kAltn, U"----", C::White, false);
    Put(m_screen, 4, 4, U"/----------", C::White);
    PutRight(m_screen, 4, U"REQUEST*", C::Amber);
    Put(m_screen, 5, 0, U"FLT NBR", C::White, true);
    PutField(6, 0, kFlightNumber, U"□□□□□□□□", C::Amber, false);
    if (routed && !m_irsAligned) PutRight(m_screen, 6, U"ALIGN IRS→", C::Amber);
    Put(m_screen, 7, 0, U"LAT", C::White, true);
    PutRight(m_screen, 7, U"LONG", C::White, true);
    if (routed) {
        const Airport* origin = FindAirport(m_route.front().ident);
        const C colour = m_irsAligned ? C::Green : C::Cyan;
        Put(m_screen, 8, 0, origin->latitude, colour);
        PutRight(m_screen, 8, origin->longitude, colour);
    } else {
        Put(m_screen, 8, 0, U"----.-", C::White);
        PutRight(m_screen, 8, U"-----.--", C::White);
    }
    Put(m_screen, 9, 0, U"COST INDEX", C::White, true);
    PutField(10, 0, kCostIndex, routed ? U"□□□" : U"---", routed ? C::Amber : C::White, false);
    PutRight(m_screen, 10, U"WIND/TEMP>", C::White);
    Put(m_screen, 11, 0, U"CRZ FL/TEMP", C::White, true);
    PutRight(m_screen, 11, U"TROPO", C::White, true);
    if (m_fields[kCruiseLevel].empty()) {
        Put(m_screen, 12, 0, routed ? U"□□□□□/□□□°" : U"-----/---°", routed ? C::Amber : C::White);
    } else {
        const int level =
            Number(std::u32string_view(m_fields[kCruiseLevel]).substr(2), 3, 3).value_or(0);
        Put(m_screen, 12, 0, m_fields[kCruiseLevel] + Format("/%d°", IsaTemperature(level)),
            C::Cyan);
    }
    if (m_fields[kTropo].empty()) {
        PutRight(m_screen, 12, U"36090", C::Cyan, true);
    } else {
        PutRight(m_screen, 12, m_fields[kTropo], C::Cyan);
    }
}

void McduDisplay::ComposeData() {
    PutCentre(m_screen, 0, U"DATA INDEX", C::White);
    Put(m_screen, 0, 19, m_dataPage == 0 ? U"1/2" : U"2/2", C::White, true);
    Put(m_screen, 0, 22, U"←→", C::White);
    if (m_dataPage == 0) {
        Put(m_screen, 1, 0, U" POSITION", C::White, true);
        Put(m_screen, 2, 0, U"<MONITOR", C::White);
        Put(m_screen, 3, 0, U" IRS", C::White, true);
        Put(m_screen, 4, 0, U"<MONITOR", C::White);
        Put(m_screen, 5, 0, U" GPS", C::White, true);
        Put(m_screen, 6, 0, U"<MONITOR", C::White);
        Put(m_screen, 8, 0, U"<A/C STATUS", C::White);
        Put(m_screen, 9, 0, U" CLOSEST", C::White, true);
        Put(m_screen, 10, 0, U"<AIRPORTS", C::White);
        Put(m_screen, 11, 0, U" EQUITIME", C::White, true);
        Put(m_screen, 12, 0, U"<POINT", C::White);
        PutRight(m_screen, 9, U"ACARS/PRINT ", C::White, true);
        PutRight(m_screen, 10, U"FUNCTION>", C::White);
        PutRight(m_screen, 11, U"MCDU ", C::White, true);
        PutRight(m_screen, 12, U"FUNCTION>", C::White);
    } else {
        Put(m_screen, 2, 0, U"<WAYPOINTS", C::White);
        Put(m_screen, 4, 0, U"<NAVAIDS", C::White);
        Put(m_screen, 6, 0, U"<RUNWAYS", C::White);
        Put(m_screen, 8, 0, U"<ROUTES", C::White);
        Put(m_screen, 9, 0, U" ACTIVE F-PLN", C::White, true);
        Put(m_screen, 10, 0, U"<WINDS", C::White);
        const std::u32string_view stored[] = {U"WAYPOINTS>", U"NAVAIDS>", U"RUNWAYS>", U"ROUTES>"};
        for (int i = 0; i < 4; ++i) {
            PutRight(m_screen, 1 + 2 * i, U"PILOTS ", C::White, true);
            PutRight(m_screen, 2 + 2 * i, stored[i], C::White);
        }
        PutRight(m_screen, 9, U"SEC F-PLN ", C::White, true);
        PutRight(m_screen, 10, U"WINDS>", C::White);
    }
}

void McduDisplay::ComposeFlightPlan() {
    const bool fuelPage = m_flightPlanPage == 1;
    if (m_flightPlanTop == 0 && !m_route.empty()) Put(m_screen, 0, 1, U"FROM", C::White, true);
    if (!m_fields[kFlightNumber].empty())
        PutRight(m_screen, 0, m_fields[kFlightNumber] + U"  ", C::White);  // clear of the arrows
    Put(m_screen, 1, 8, fuelPage ? U"EFOB" : U"TIME", C::White, true);
    Put(m_screen, 1, fuelPage ? 17 : 15, fuelPage ? U"T.WIND" : U"SPD/ALT", C::White, true);

    const int routeSize = static_cast<int>(m_route.size());
    const std::u32string& cruise = m_fields[kCruiseLevel];
    for (int slot = 0; slot < 5; ++slot) {
        const int line = m_flightPlanTop + slot;
        const int row = 2 + 2 * slot;
        if (line == routeSize) {
            Put(m_screen, row, 0, U"------END OF F-PLN------", C::White);
            continue;
        }
        if (line == routeSize + 1) {
            Put(m_screen, row, 0, U"-----NO ALTN F-PLN------", C::White);
            continue;
        }
        if (line > routeSize) break;
        const Waypoint& point = m_route[line];
        const bool airport = line == 0 || line == routeSize - 1;
        if (slot > 0 && line > 0) {
            Put(m_screen, row - 1, 1, Format("C%03d°", point.track), C::White, true);
            Put(m_screen, row - 1, 8, Format("%dNM", point.legMiles), C::White, true);
        }
        Put(m_screen, row, 0, point.ident, line == 1 ? C::White : C::Green);
        if (fuelPage) {
            Put(m_screen, row, 8, Format("%4.1f", point.fuel), C::Green);
            const uint32_t hash = Hash(point.ident);
            PutRight(m_screen, row,
                     airport ? U"---/---"
                             : Format("%03d/", 240 + static_cast<int>(hash % 60)) +
                                   Format("%03d", 10 + static_cast<int>(hash % 50)),
                     C::Green);
            continue;
        }
        Put(m_screen, row, 8,
            Format("%02d", point.minutes / 60) + Format("%02d", point.minutes % 60), C::Green);
        const std::u32string speed = point.speed > 0    ? Format("%3d", point.speed)
                                     : point.speed == 0 ? std::u32string(U".78")
                                                        : std::u32string(U"---");
        const std::u32string altitude = airport           ? Format("%5d", point.level)
                                        : point.level < 0 ? (cruise.empty() ? U"-----" : cruise)
                                                          : Format("FL%03d", point.level);
        Put(m_screen, row, 15, speed + U"/", C::Green);
        Put(m_screen, row, 19, altitude, point.constraint ? C::Magenta : C::Green);
        if (point.constraint) Put(m_screen, row, 14, U"*", C::Magenta);
    }

    Put(m_screen, 11, 0, U"DEST", C::White, true);
    Put(m_screen, 11, 8, U"TIME", C::White, true);
    Put(m_screen, 11, 14, U"DIST", C::White, true);
    Put(m_screen, 11, 20, U"EFOB", C::White, true);
    if (m_route.empty()) {
        Put(m_screen, 12, 0, U"----    ----  ----  ----", C::White);
    } else {
        const Waypoint& destination = m_route.back();
        int distance = 0;
        for (const Waypoint& point : m_route) distance += point.legMiles;
        Put(m_screen, 12, 0, destination.ident, C::White);
        Put(m_screen, 12, 8,
            Format("%02d", destination.minutes / 60) + Format("%02d", destination.minutes % 60),
            C::Green);
        Put(m_screen, 12, 14, Format("%4d", distance), C::Green);
        Put(m_screen, 12, 20, Format("%4.1f", destination.fuel), C::Green);
    }
    Put(m_screen, 0, 22, U"←→", C::White);
}

void McduDisplay::ComposeDirTo() {
    PutCentre(m_screen, 0, U"DIR TO", C::White);
    Put(m_screen, 1, 0, U" WAYPOINT", C::White, true);
    PutRight(m_screen, 1, U"DIST  UTC ", C::White, true);
    const std::u32string& target = m_fields[kDirTo];
    if (target.empty()) {
        Put(m_screen, 2, 0, U"[     ]", C::Cyan);
        PutRight(m_screen, 2, U"---  ----", C::White);
    } else {
        Put(m_screen, 2, 0, target, C::Cyan);
        int distance = 0;
        for (size_t i = 1; i < m_route.size(); ++i) {
            distance += m_route[i].legMiles;
            if (m_route[i].ident == target) {
                PutRight(m_screen, 2,
                         Format("%3d  ", distance) + Format("%02d", m_route[i].minutes / 60) +
                             Format("%02d", m_route[i].minutes % 60),
                         C::Green);
                break;
            }
        }
    }
    Put(m_screen, 3, 0, U" F-PLN WPTS", C::White, true);
    for (size_t i = 1; i < m_route.size() && i <= 4; ++i)
        Put(m_screen, 2 + 2 * static_cast<int>(i), 0, U"←" + m_route[i].ident, C::White);
}

void McduDisplay::ComposeProg() {
    Put(m_screen, 0, 1, U"PREFLIGHT", C::Green);
    if (!m_fields[kFlightNumber].empty())
        PutRight(m_screen, 0, m_fields[kFlightNumber] + U" ", C::White);
    Put(m_screen, 1, 0, U" CRZ", C::White, true);
    Put(m_screen, 1, 10, U"OPT", C::White, true);
    PutRight(m_screen, 1, U"REC MAX", C::White, true);
    PutField(2, 0, kCruiseLevel, U"-----", C::White, false);
    Put(m_screen, 2, 9, U"-----", C::White);
    PutRight(m_screen, 2, U"FL398", C::Magenta);
    Put(m_screen, 4, 0, U"<REPORT", C::White);
    Put(m_screen, 5, 0, U" POSITION UPDATE AT", C::White, true);
    Put(m_screen, 6, 0, U"*[     ]", C::Cyan);
    Put(m_screen, 7, 0, U" BRG / DIST", C::White, true);
    Put(m_screen, 8, 0, U"---° /----.-", C::White);
    Put(m_screen, 8, 13, U"TO", C::White, true);
    PutRight(m_screen, 8, U"[     ]", C::Cyan);
    Put(m_screen, 9, 0, U" PREDICTIVE", C::White, true);
    Put(m_screen, 10, 0, U"<GPS", C::White);
    PutRight(m_screen, 10, U"GPS PRIMARY", C::Green);
    Put(m_screen, 11, 0, U"REQUIRED ACCUR ESTIMATED", C::White, true);
    Put(m_screen, 12, 0, U"3.7NM", C::Cyan);
    Put(m_screen, 12, 10, U"HIGH", C::Green);
    PutRight(m_screen, 12, U"0.06NM", C::Green);
}

void McduDisplay::ComposePerf() {
    Put(m_screen, 0, 2, U"TAKE OFF RWY ", C::White);
    if (!m_route.empty()) {
        Put(m_screen, 0, 15, FindAirport(m_route.front().ident)->runway, C::Green);
    } else {
        Put(m_screen, 0, 15, U"---", C::White);
    }
    const std::u32string_view names[] = {U" V1", U" VR", U" V2"};
    const std::u32string_view retractions[] = {U"FLP RETR", U"SLT RETR", U"CLEAN"};
    const std::u32string_view speeds[] = {U"F=---", U"S=---", U"O=---"};
    const Field fields[] = {kV1, kVr, kV2};
    for (int i = 0; i < 3; ++i) {
        Put(m_screen, 1 + 2 * i, 0, names[i], C::White, true);
        Put(m_screen, 1 + 2 * i, 6, retractions[i], C::White, true);
        PutField(2 + 2 * i, 0, fields[i], U"□□□", C::Amber, false);
        Put(m_screen, 2 + 2 * i, 6, speeds[i], C::Green);
    }
    PutRight(m_screen, 3, U"TO SHIFT ", C::White, true);
    PutRight(m_screen, 4, U"[M][    ]*", C::Cyan);
    PutRight(m_screen, 5, U"FLAPS/THS ", C::White, true);
    PutRight(m_screen, 6, U"[ ]/[    ]", C::Cyan);
    Put(m_screen, 7, 0, U"TRANS ALT", C::White, true);
    PutRight(m_screen, 7, U"FLEX TO TEMP", C::White, true);
    if (m_fields[kTransAlt].empty()) {
        Put(m_screen, 8, 0, U"5000", C::Cyan, true);
    } else {
        Put(m_screen, 8, 0, m_fields[kTransAlt], C::Cyan);
    }
    PutRight(m_screen, 8, m_fields[kFlexTemp].empty() ? U"[   ]°" : m_fields[kFlexTemp] + U"°",
             C::Cyan);
    Put(m_screen, 9, 0, U"THR RED/ACC", C::White, true);
    PutRight(m_screen, 9, U"ENG OUT ACC", C::White, true);
    Put(m_screen, 10, 0, U"1500/1500", C::Cyan, true);
    PutRight(m_screen, 10, U"1500", C::Cyan, true);
    PutRight(m_screen, 11, U"NEXT ", C::White, true);
    PutRight(m_screen, 12, U"PHASE>", C::White);
}

void McduDisplay::ComposeRadNav() {
    PutCentre(m_screen, 0, U"RADIO NAV", C::White);
    Put(m_screen, 1, 0, U"VOR1/FREQ", C::White, true);
    PutRight(m_screen, 1, U"FREQ/VOR2", C::White, true);
    Put(m_screen, 3, 0, U"CRS", C::White, true);
    PutRight(m_screen, 3, U"CRS", C::White, true);
    Put(m_screen, 5, 0, U"ILS /FREQ", C::White, true);
    Put(m_screen, 7, 0, U"CRS", C::White, true);
    Put(m_screen, 9, 0, U"ADF1/FREQ", C::White, true);
    PutRight(m_screen, 9, U"FREQ/ADF2", C::White, true);
    Put(m_screen, 4, 0, U"[ ]", C::Cyan);
    PutRight(m_screen, 4, U"[ ]", C::Cyan);
    Put(m_screen, 8, 0, U"[ ]", C::Cyan);

    // Left columns read IDENT/FREQ, right columns FREQ/IDENT.
    auto left = [this](int row, Field field, std::u32string_view empty) {
        const std::u32string& value = m_fields[field];
        if (value.empty()) {
            Put(m_screen, row, 0, empty, C::Cyan);
        } else if (value.front() == U'/') {
            Put(m_screen, row, 0, U"[  ]" + value, C::Cyan);
        } else {
            Put(m_screen, row, 0, value, C::Cyan);
        }
    };
    auto right = [this](int row, Field field, std::u32string_view empty) {
        const std::u32string& value = m_fields[field];
        if (value.empty()) {
            PutRight(m_screen, row, empty, C::Cyan);
            return;
        }
        const size_t slash = value.find(U'/');
        const std::u32string ident = value.substr(0, slash);
        const std::u32string frequency = value.substr(slash + 1);
        PutRight(m_screen, row, frequency + U"/" + (ident.empty() ? U"[  ]" : ident), C::Cyan);
    };
    left(2, kVor1, U"[  ]/[  . ]");
    right(2, kVor2, U"[  . ]/[  ]");
    left(6, kIls, U"[  ]/[  . ]");
    left(10, kAdf1, U"[ ]/[   . ]");
    right(10, kAdf2, U"[   . ]/[ ]");
}

void McduDisplay::ComposeFuelPred() {
    const bool routed = !m_route.empty();
    PutCentre(m_screen, 0, U"FUEL PRED", C::White);
    Put(m_screen, 1, 0, U" AT", C::White, true);
    Put(m_screen, 1, 10, U"UTC", C::White, true);
    PutRight(m_screen, 1, U"EFOB ", C::White, true);
    if (routed) {
        const Waypoint& destination = m_route.back();
        Put(m_screen, 2, 0, destination.ident, C::Green);
        Put(m_screen, 2, 10,
            Format("%02d", destination.minutes / 60) + Format("%02d", destination.minutes % 60),
            C::Green);
        PutRight(m_screen, 2, Format("%.1f ", destination.fuel), C::Green);
    } else {
        Put(m_screen, 2, 0, U"----", C::White);
        Put(m_screen, 2, 10, U"----", C::White);
        PutRight(m_screen, 2, U"---.- ", C::White);
    }
    Put(m_screen, 3, 0, U" ALTN", C::White, true);
    PutField(4, 0, kAltn, U"----", C::White, false);
    Put(m_screen, 4, 10, U"----", C::White);
    PutRight(m_screen, 4, U"---.- ", C::White);
    Put(m_screen, 5, 0, U"RTE RSV/%", C::White, true);
    PutRight(m_screen, 5, U"ZFW/ZFWCG", C::White, true);
    Put(m_screen, 6, 0, U"0.1/5.0", C::Cyan);
    PutRight(m_screen, 6, U"□□.□/□□.□", C::Amber);
    Put(m_screen, 7, 0, U"ALTN /TIME", C::White, true);
    PutRight(m_screen, 7, U"FOB", C::White, true);
    Put(m_screen, 8, 0, U"---.-/----", C::White);
    PutRight(m_screen, 8, routed ? Format("%.1f", m_route.front().fuel) : U"---.-",
             routed ? C::Green : C::White);
    Put(m_screen, 9, 0, U"FINAL/TIME", C::White, true);
    PutRight(m_screen, 9, U"GW/  CG", C::White, true);
    Put(m_screen, 10, 0, U"---.-/0030", C::Cyan);
    PutRight(m_screen, 10, U"---.-/--.-", C::White);
    Put(m_screen, 11, 0, U"MIN DEST FOB", C::White, true);
    PutRight(m_screen, 11, U"EXTRA/TIME", C::White, true);
    Put(m_screen, 12, 0, U"---.-", C::Cyan);
    PutRight(m_screen, 12, U"---.-/----", C::White);
}

void McduDisplay::ComposeSecIndex() {
    PutCentre(m_screen, 0, U"SEC INDEX", C::White);
    Put(m_screen, 2, 0, U"<COPY ACTIVE", C::White);
    PutRight(m_screen, 2, U"SEC F-PLN>", C::White);
    Put(m_screen, 4, 0, U"<SWAP ACTIVE", C::White);
    PutRight(m_screen, 4, U"INIT>", C::White);
    Put(m_screen, 6, 0, U"<DELETE SEC", C::White);
    PutRight(m_screen, 6, U"PERF>", C::White);
}

void McduDisplay::ComposeScratchpad() {
    const int row = kMcduScratchpadRow;
    if (!m_message.empty()) {
        Put(m_screen, row, 0, m_message, C::White);
    } else if (m_clearArmed) {
        Put(m_screen, row, 0, U"CLR", C::White);
    } else {
        Put(m_screen, row, 0, m_scratchpad, C::White);
    }
    if (m_page == Page::FlightPlan) Put(m_screen, row, 22, U"↑↓", C::White);
}
