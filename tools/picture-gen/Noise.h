#pragma once
// Deterministic noise for surface textures: the same arguments always give the same value, on
// every run and every machine, so the pictures come out byte for byte the same.

#include <cstdint>

namespace noise {

// A value in [0, 1) hashed from an integer position and a seed.
float Hash01(int x, int y, std::uint32_t seed);

// Smooth value noise in [0, 1): the hashed lattice interpolated with a smoothstep. Stretch the
// coordinates to get streaks (brushed metal: large x scale, small y scale).
float Value(double x, double y, std::uint32_t seed);

// Value noise summed over `octaves` octaves of doubling frequency, in [0, 1).
float Fractal(double x, double y, std::uint32_t seed, int octaves);

}  // namespace noise
