#include "tools/picture-gen/Shapes.h"

namespace shape {

double Segment(double x, double y, Point a, Point b) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = 0.0;
    if (length2 > 0.0) t = std::clamp(((x - a.x) * dx + (y - a.y) * dy) / length2, 0.0, 1.0);
    return std::hypot(x - (a.x + dx * t), y - (a.y + dy * t));
}

double Polygon(double x, double y, const std::vector<Point>& points) {
    if (points.size() < 3) return 1e9;
    double best = 1e18;
    bool inside = false;
    for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
        const Point& a = points[i];
        const Point& b = points[j];
        best = std::min(best, Segment(x, y, a, b));
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) {
            inside = !inside;
        }
    }
    return inside ? -best : best;
}

std::vector<Point> Transform(const std::vector<Point>& points, Point pivot, double radians,
                             double scale, Point offset) {
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    std::vector<Point> out;
    out.reserve(points.size());
    for (const Point& p : points) {
        const double x = (p.x - pivot.x) * scale;
        const double y = (p.y - pivot.y) * scale;
        out.push_back({x * c - y * s + offset.x, x * s + y * c + offset.y});
    }
    return out;
}

}  // namespace shape
