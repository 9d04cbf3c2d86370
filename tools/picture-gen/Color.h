#pragma once
// A colour with straight (not premultiplied) alpha, each channel 0..1.

#include <algorithm>
#include <cstdint>

struct Color {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 1.0f;

    static constexpr Color Hex(std::uint32_t rgb, float alpha = 1.0f) {
        return {static_cast<float>((rgb >> 16) & 0xFF) / 255.0f,
                static_cast<float>((rgb >> 8) & 0xFF) / 255.0f,
                static_cast<float>(rgb & 0xFF) / 255.0f, alpha};
    }
    static constexpr Color Grey(float v, float alpha = 1.0f) { return {v, v, v, alpha}; }

    constexpr Color WithAlpha(float alpha) const { return {r, g, b, alpha}; }
    // Scales the colour channels (brightens above 1, darkens below), alpha unchanged.
    constexpr Color Scaled(float k) const { return {r * k, g * k, b * k, a}; }
    constexpr Color Plus(float v) const { return {r + v, g + v, b + v, a}; }

    static constexpr Color Mix(const Color& x, const Color& y, float t) {
        t = std::clamp(t, 0.0f, 1.0f);
        return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t,
                x.a + (y.a - x.a) * t};
    }
};
