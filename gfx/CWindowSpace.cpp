#include "CWindowSpace.h"

namespace {

void multiply(const GLdouble m[16], const double v[4], double out[4]) {
    for (int row = 0; row < 4; ++row)
        out[row] = m[row] * v[0] + m[4 + row] * v[1] + m[8 + row] * v[2] + m[12 + row] * v[3];
}

}  // namespace

CWindowSpace::CWindowSpace() {
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, view);
}

bool CWindowSpace::project(const float* p, double out[3]) const {
    const double v[4] = {p[0], p[1], p[2], 1.0};
    double eye[4], clip[4];
    multiply(modelview, v, eye);
    multiply(projection, eye, clip);
    if (!(clip[3] > 0) || clip[2] < -clip[3] || clip[2] > clip[3]) return false;
    out[0] = (clip[0] / clip[3] + 1) * 0.5 * view[2] + view[0];
    out[1] = (clip[1] / clip[3] + 1) * 0.5 * view[3] + view[1];
    out[2] = clip[2] / clip[3];
    return true;
}
