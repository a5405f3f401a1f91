#ifndef CHIPDISK_GFX_CZOOMSUM_H
#define CHIPDISK_GFX_CZOOMSUM_H

#include <GL/gl.h>

#include <map>
#include <string>
#include <vector>

// A stack of zoomed, weighted copies of one luminance texture, all in one tint, added
// over the whole 2D view. The fast path draws one quad whose fragment program samples
// every copy and adds them up the way the frame buffer adds them one quad at a time
// (each copy's colour rounded to 8 bits, scaled by its 8-bit weight with the blender's
// rounding, the sum clamped), so the software renderer reads and writes the frame once
// instead of once per copy, for the same pixels.
class CZoomSum {
public:
    CZoomSum() = default;
    CZoomSum(const CZoomSum&) = delete;
    CZoomSum& operator=(const CZoomSum&) = delete;

    // True when the context runs fragment programs and CHIPDISK_PLAIN does not ask for
    // one quad per copy ("glow"). Needs a current context.
    bool fastAvailable();

    // Draws `count` copies of `texture` over a w x h view, the first at inset 0 with
    // `weight`, each next one `insetStep` further in and `weightStep` lighter, in the tint
    // (r, g, b): one quad for all where the fast path runs, else one quad per copy.
    // Expects 2D mode, texturing and blending (SRC_ALPHA, ONE) on and `texture` bound;
    // leaves that blend function and the last copy's tint and weight as the current colour.
    // The fast path's programs are kept with this object, one for each set of copies, so
    // the object must not outlive its context.
    void drawRamp(GLuint texture, int count, float insetStep, float weight, float weightStep, float r, float g, float b,
                  float w, float h);

private:
    // Copy i shows the texture from inset[i] to 1 - inset[i] on both axes, with weight[i].
    void add(float inset, float weight);
    // Adds the copies of a ramp as drawRamp describes them; returns the last copy's weight.
    float addRamp(int count, float insetStep, float weight, float weightStep);
    void clear();

    // Draws the copies with the tint clamped to [0, 1] as one quad. Expects what drawRamp
    // does and a fast path available; sets the blend function to (ONE, ONE) and leaves
    // texture unit 0 active with `texture` bound and no program.
    void drawCombined(GLuint texture, float r, float g, float b, float w, float h);
    GLuint programForCopies();

    std::vector<float> insets;
    std::vector<float> weights;
    std::map<std::string, GLuint> programs;  // by the source of their copies
    int state = 0;                           // 0: not tried, 1: programs run here, -1: they do not
};

#endif
