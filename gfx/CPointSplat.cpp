#define GL_GLEXT_PROTOTYPES  // glWindowPos2i
#include "CPointSplat.h"

#include "Blend8.h"
#include "CWindowSpace.h"
#include "PlainPath.h"

#include <algorithm>
#include <cmath>

bool CPointSplat::available() {
    if (plainPath("splat")) return false;
    if (state == 0) {
        GLint red = 0, green = 0, blue = 0, depthBits = 0;
        glGetIntegerv(GL_RED_BITS, &red);
        glGetIntegerv(GL_GREEN_BITS, &green);
        glGetIntegerv(GL_BLUE_BITS, &blue);
        glGetIntegerv(GL_DEPTH_BITS, &depthBits);
        state = red == 8 && green == 8 && blue == 8 && depthBits > 0 && depthBits <= 32 ? 1 : -1;
        if (state == 1) depthScale = std::ldexp(1.0, depthBits) - 1;
    }
    return state == 1;
}

void CPointSplat::begin() {
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    GLdouble clearDepth = 1;
    glGetDoublev(GL_DEPTH_CLEAR_VALUE, &clearDepth);
    const size_t pixels = static_cast<size_t>(viewport[2]) * static_cast<size_t>(viewport[3]);
    colour.resize(pixels * 4);
    for (size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 4; ++c) colour[i * 4 + c] = static_cast<uint8_t>(to8(clear[c]));
    depth.assign(pixels, static_cast<uint32_t>(std::lround(clearDepth * depthScale)));
}

void CPointSplat::add(const float* points, int count, float r, float g, float b, float a) {
    const CWindowSpace space;
    const unsigned alpha = to8(a);
    const unsigned add[4] = {mul8(to8(r), alpha), mul8(to8(g), alpha), mul8(to8(b), alpha), mul8(alpha, alpha)};
    const int width = viewport[2], height = viewport[3];
    for (int i = 0; i < count; ++i) {
        double window[3];
        if (!space.project(points + i * 3, window)) continue;
        // relative to the viewport's corner
        const double x = window[0] - viewport[0];
        const double y = window[1] - viewport[1];
        if (!(x > -2 && x < width + 2 && y > -2 && y < height + 2)) continue;  // lights no pixel of the frame
        const auto z = static_cast<uint32_t>(std::lround((window[2] * 0.5 + 0.5) * depthScale));
        // the pixels whose centres lie within a pixel of the point
        const int x0 = std::max(0, static_cast<int>(std::floor(x - 1.5)));
        const int x1 = std::min(width - 1, static_cast<int>(std::floor(x + 0.5)));
        const int y0 = std::max(0, static_cast<int>(std::floor(y - 1.5)));
        const int y1 = std::min(height - 1, static_cast<int>(std::floor(y + 0.5)));
        for (int py = y0; py <= y1; ++py)
            for (int px = x0; px <= x1; ++px) {
                const double dx = px + 0.5 - x;
                const double dy = py + 0.5 - y;
                if (dx * dx + dy * dy > 1) continue;
                const size_t at = static_cast<size_t>(py) * static_cast<size_t>(width) + static_cast<size_t>(px);
                if (z > depth[at]) continue;
                depth[at] = z;
                for (int c = 0; c < 4; ++c)
                    colour[at * 4 + c] = static_cast<uint8_t>(std::min(255u, colour[at * 4 + c] + add[c]));
            }
    }
}

void CPointSplat::end() {
    glPushAttrib(GL_ENABLE_BIT | GL_PIXEL_MODE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_FOG);
    glDisable(GL_ALPHA_TEST);
    glDepthMask(GL_FALSE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glWindowPos2i(viewport[0], viewport[1]);
    glDrawPixels(viewport[2], viewport[3], GL_RGBA, GL_UNSIGNED_BYTE, colour.data());
    glPopClientAttrib();
    glPopAttrib();
}
