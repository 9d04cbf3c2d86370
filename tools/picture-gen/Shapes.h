#pragma once
// Signed distances to simple shapes (negative inside, in pixels) and the coverage that turns a
// distance into an anti-aliased edge one pixel wide.

#include <algorithm>
#include <cmath>
#include <vector>

namespace shape {

struct Point {
    double x, y;
};

inline double Coverage(double distance) {
    return std::clamp(0.5 - distance, 0.0, 1.0);
}

// 1 well inside, 0 beyond `softness` pixels outside: a soft edge for shadows and glows.
inline double SoftCoverage(double distance, double softness) {
    const double t = std::clamp(0.5 - distance / softness, 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

inline double Smoothstep(double edge0, double edge1, double x) {
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

inline double Circle(double x, double y, double cx, double cy, double radius) {
    return std::hypot(x - cx, y - cy) - radius;
}

// Rectangle from (x1, y1) to (x2, y2) with corners rounded by `radius`.
inline double RoundBox(double x, double y, double x1, double y1, double x2, double y2,
                       double radius) {
    const double hx = (x2 - x1) * 0.5;
    const double hy = (y2 - y1) * 0.5;
    radius = std::min({radius, hx, hy});
    const double qx = std::abs(x - (x1 + x2) * 0.5) - (hx - radius);
    const double qy = std::abs(y - (y1 + y2) * 0.5) - (hy - radius);
    const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

// Distance to the segment from a to b (never negative); subtract a half width for a stroke.
double Segment(double x, double y, Point a, Point b);

// Signed distance to a closed polygon (even-odd rule).
double Polygon(double x, double y, const std::vector<Point>& points);

// Turns a point list around `pivot` by `radians` and scales it, for placing outlines.
std::vector<Point> Transform(const std::vector<Point>& points, Point pivot, double radians,
                             double scale, Point offset);

}  // namespace shape
