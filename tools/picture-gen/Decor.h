#pragma once
// Details shared by several pictures: panel screws and metal surfaces.

#include <cstdint>

#include "tools/picture-gen/Canvas.h"

namespace decor {

// A cross-head panel screw, lit from the upper left, with its slot turned by `radians`.
void Screw(Canvas& canvas, double cx, double cy, double radius, double radians);

// `base` with the fine horizontal streaks of brushed metal at (x, y); `strength` scales them.
Color BrushedMetal(const Color& base, double x, double y, std::uint32_t seed, float strength);

// A thin engraved line along the outline of a rounded box: dark in the groove, light just below.
void EngravedBox(Canvas& canvas, double x1, double y1, double x2, double y2, double radius,
                 float depth);

}  // namespace decor
