#include "bench/Stats.h"

#include <algorithm>
#include <cstdio>

namespace txbench {

double MsSince(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double MicrosSince(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 != 0 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    size_t rank = static_cast<size_t>(share * static_cast<double>(values.size()) + 0.999999);
    rank = std::clamp<size_t>(rank, 1, values.size());
    return values[rank - 1];
}

double Largest(const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Ratio(double a, double b, int decimals) {
    return b > 0 ? Fixed(a / b, decimals) + " x" : "";
}

Spread RoundFigures(const std::vector<std::vector<double>>& rounds) {
    std::vector<double> p50s, p99s;
    for (const auto& micros : rounds) {
        if (micros.empty()) continue;
        p50s.push_back(Median(micros) / 1000.0);
        p99s.push_back(Percentile(micros, 0.99) / 1000.0);
    }
    if (p99s.empty()) return {};
    return {Median(p50s), Median(p99s), *std::min_element(p99s.begin(), p99s.end()),
            *std::max_element(p99s.begin(), p99s.end())};
}

}  // namespace txbench
