#pragma once
// The arithmetic every figure shares: time on one steady clock, the medians and percentiles the
// table gives, and the fixed-decimal text its cells hold.

#include <chrono>
#include <string>
#include <vector>

namespace txbench {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point from, Clock::time_point to = Clock::now());
double MicrosSince(Clock::time_point from, Clock::time_point to = Clock::now());

double Median(std::vector<double> values);
// Nearest-rank percentile; `share` 0.99 for the 99th.
double Percentile(std::vector<double> values, double share);
double Largest(const std::vector<double>& values);  // 0 for none

std::string Fixed(double value, int decimals);
// "a/b x" with `decimals`, empty when there is nothing to compare with.
std::string Ratio(double a, double b, int decimals);

// Per-round figures of latencies in microseconds, in milliseconds: the medians over the rounds of
// each round's median and 99th percentile, and the range of the rounds' p99. A round without a
// single sample is left out, so that it cannot pass for a quick one.
struct Spread {
    double p50 = 0, p99 = 0, low = 0, high = 0;
};
Spread RoundFigures(const std::vector<std::vector<double>>& rounds);

}  // namespace txbench
