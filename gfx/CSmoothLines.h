#ifndef CHIPDISK_GFX_CSMOOTHLINES_H
#define CHIPDISK_GFX_CSMOOTHLINES_H

#include <GL/gl.h>

#include <vector>

// Smoothed lines drawn the way the software renderer smooths them, for less of its
// cost. The renderer turns every segment of a smoothed line into a quad reaching a
// pixel either side of it (half the width and half a pixel on lines wider than one)
// and half a pixel past each end, with a coverage that falls off linearly to the
// quad's edges, and sends each quad through its slow per-primitive stage. Here the
// same quads are built on the CPU in window space and drawn as plain quads, the
// coverage computed by a small fragment program: the same fragments, depths and alphas.
class CSmoothLines {
public:
    CSmoothLines() = default;
    CSmoothLines(const CSmoothLines&) = delete;
    CSmoothLines& operator=(const CSmoothLines&) = delete;

    // True when the context runs fragment programs and CHIPDISK_PLAIN does not ask for
    // the renderer's own smoothed lines ("rings"). Needs a current context.
    bool available();

    // Draws the line strip through `count` points (x, y, z each) with the current
    // colour, modelview, projection, viewport and line width, as GL_LINE_STRIP would
    // with GL_LINE_SMOOTH on; depth test, depth writes and blending act as they are
    // set. Segments with an end outside the near or far plane are left out, where the
    // renderer would clip them. Leaves the matrices, the matrix mode and the program as
    // it found them; uses and then disables the vertex and texture-coordinate arrays.
    void drawStrip(const float* points, int count);

private:
    int state = 0;  // 0: not tried, 1: ready, -1: cannot run here
    GLuint program = 0;
    std::vector<double> window;  // per point: window x, y and normalised depth
    std::vector<float> quads;    // per corner: x, y, z in normalised device coordinates, then s, t, r, q
};

#endif
