#ifndef CHIPDISK_GFX_CPOINTSPLAT_H
#define CHIPDISK_GFX_CPOINTSPLAT_H

#include <GL/gl.h>

#include <cstdint>
#include <vector>

// Smoothed points of at most two pixels, added into a cleared frame on the CPU and
// written to it with one call. The software renderer draws each such point as a small
// quad of its own, which costs it far more than the few pixels it lights: the pixels
// whose centres lie within a pixel of the point, at the point's full colour and
// alpha. Here those pixels are worked out directly, with the frame buffer's own
// arithmetic: the colour rounded to 8 bits and added as the blender adds it, the depth
// rounded to the depth buffer's bits and tested less-or-equal.
class CPointSplat {
public:
    // True when CHIPDISK_PLAIN does not ask for the renderer's own smoothed points
    // ("splat") and the frame buffer is one this can imitate (8 bits a colour channel,
    // a depth buffer of at most 32 bits). Needs a current context.
    bool available();

    // Starts a frame as glClear would leave it, in the current clear colour, the depth
    // at its far end, over the current viewport.
    void begin();
    // Adds `count` points (x, y, z each) in the colour (r, g, b, a), as GL_POINTS would
    // with GL_POINT_SMOOTH on, a point size of at most 2, blending (SRC_ALPHA, ONE) and
    // the depth test LEQUAL with depth writes, under the current modelview and
    // projection. Points outside the near or far plane are left out.
    void add(const float* points, int count, float r, float g, float b, float a);
    // Writes the frame's colours into the frame buffer. Leaves the GL state as it found
    // it; the GL depth buffer keeps what it held.
    void end();

private:
    int state = 0;  // 0: not tried, 1: can run here, -1: cannot
    GLint viewport[4] = {0, 0, 0, 0};
    double depthScale = 0;        // largest depth value the buffer holds
    std::vector<uint8_t> colour;  // RGBA, bottom row first
    std::vector<uint32_t> depth;  // in the depth buffer's units
};

#endif
