#ifndef CHIPDISK_GFX_BLEND8_H
#define CHIPDISK_GFX_BLEND8_H

#include <cmath>

// The software renderer's 8-bit colour arithmetic, for drawing that imitates it.

// A colour or alpha in [0, 1] (clamped) as the frame buffer stores it.
inline unsigned to8(float v) {
    const float c = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
    return static_cast<unsigned>(std::lround(c * 255.0f));
}

// The blender's product of two 8-bit values, rounded as it rounds.
inline unsigned mul8(unsigned a, unsigned b) {
    const unsigned p = a * b + 128;
    return (p + (p >> 8)) >> 8;
}

#endif
