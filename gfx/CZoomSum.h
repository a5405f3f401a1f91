#ifndef CHIPDISK_GFX_CZOOMSUM_H
#define CHIPDISK_GFX_CZOOMSUM_H

#include <GL/gl.h>

#include <cstddef>
#include <vector>

// A stack of zoomed, weighted copies of one texture, all in one tint, added over the
// whole 2D view. The fast path sums up to seven copies per quad in the texture
// combiners, so the software renderer reads and writes the frame once per seven
// copies instead of once per copy.
class CZoomSum {
public:
    // Copy i shows the texture from inset[i] to 1 - inset[i] on both axes, with weight[i].
    void add(float inset, float weight);
    // Adds `count` copies, the first at inset 0 with `weight`, each next one `insetStep`
    // further in and `weightStep` lighter; returns the last copy's weight, which the
    // callers leave as the current alpha.
    float addRamp(int count, float insetStep, float weight, float weightStep);
    void clear();

    // True when the combined path can run here and CHIPDISK_PLAIN does not ask for the
    // one-quad-per-copy path.
    static bool fastAvailable();

    // Draws the copies of `texture` over a w x h view in 2D mode, with the tint clamped
    // to [0, 1]. Expects blending on; sets the blend function to (ONE, ONE) and hands on
    // units 1-7 disabled in modulate mode, unit 0 active and modulating, texturing on
    // unit 0.
    void drawCombined(GLuint texture, float r, float g, float b, float w, float h) const;

private:
    void drawGroup(GLuint texture, std::size_t first, std::size_t count, const float tint[3], float w,
                   float h) const;

    std::vector<float> insets;
    std::vector<float> weights;
};

#endif
