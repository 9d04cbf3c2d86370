#include <cstdint>
#include <fstream>
#include <optional>
#include <string_view>

#include "platform/ProfileReader.h"

namespace platform {
namespace {

// As a 260-character buffer holds.
constexpr size_t kProfileStringMax = 259;

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n\v\f");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n\v\f");
    return text.substr(first, last - first + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

int ParseLeadingInt(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = (text[i++] == '-');
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    if (negative) value = 0u - value;
    return static_cast<int>(value);
}

std::optional<std::string> FindValue(const std::string& section, const std::string& key,
                                     const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string line;
    bool inSection = false;
    bool sectionSeen = false;
    while (std::getline(in, line)) {
        const std::string_view text = Trim(line);
        if (text.empty()) continue;
        if (text.front() == '[') {
            const auto close = text.find(']');
            if (close == std::string_view::npos) continue;
            const bool match = EqualNoCase(Trim(text.substr(1, close - 1)), section);
            // Only the first section of that name counts; a later duplicate is not read.
            if (match && sectionSeen) return std::nullopt;
            inSection = match;
            sectionSeen = sectionSeen || match;
            continue;
        }
        if (!inSection) continue;
        const auto equals = text.find('=');
        if (equals == std::string_view::npos) continue;
        if (EqualNoCase(Trim(text.substr(0, equals)), key))
            return std::string(Trim(text.substr(equals + 1)));
    }
    return std::nullopt;
}

}  // namespace

int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path) {
    const std::optional<std::string> value = FindValue(section, key, path);
    return value ? ParseLeadingInt(*value) : defaultValue;
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path) {
    const std::optional<std::string> value = FindValue(section, key, path);
    return value ? value->substr(0, kProfileStringMax) : defaultValue;
}

}  // namespace platform
