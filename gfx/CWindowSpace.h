#ifndef CHIPDISK_GFX_CWINDOWSPACE_H
#define CHIPDISK_GFX_CWINDOWSPACE_H

#include <GL/gl.h>

// Where the current modelview, projection and viewport put points, worked out on the
// CPU in double precision: for drawing that imitates the renderer's. Reads the GL
// state once, at construction (needs a current context).
class CWindowSpace {
public:
    CWindowSpace();

    // Window x and y in pixels (y up, from the viewport's corner at x, y = viewport
    // x, y) and the normalised depth (-1 near to 1 far) of object point p (x, y, z);
    // false when p lies outside the near or far plane, and `out` is then unset.
    bool project(const float* p, double out[3]) const;

    const GLint* viewport() const { return view; }

private:
    GLdouble modelview[16];
    GLdouble projection[16];
    GLint view[4];
};

#endif
