#define GL_GLEXT_PROTOTYPES  // programs
#include "CSmoothLines.h"

#include "CWindowSpace.h"
#include "GlProgram.h"
#include "PlainPath.h"

#include <GL/glext.h>

#include <cmath>

namespace {

// The coverage the renderer multiplies into the alpha: across the line, one minus the
// distance from its middle in pixels; along it, the distance to the quad's nearer end,
// scaled down on a segment shorter than a pixel so that it peaks at the segment's length.
const char* const kCoverageShader =
    "void main() {\n"
    "    vec4 a = gl_TexCoord[0];\n"
    "    float along = clamp(a.w - abs(a.z), 0.0, 1.0) * min(1.0, (a.w * 2.0 - 1.0) / a.w);\n"
    "    float c = clamp(a.y - abs(a.x), 0.0, 1.0) * along;\n"
    "    gl_FragColor = vec4(gl_Color.rgb, gl_Color.a * c);\n"
    "}\n";

// Half the quad's width in pixels: the line's half width and half a pixel, but never
// less than a pixel.
float quadHalfWidth() {
    GLfloat width = 1;
    glGetFloatv(GL_LINE_WIDTH, &width);
    return width <= 1 ? 1.0f : 0.5f * width + 0.5f;
}

}  // namespace

bool CSmoothLines::available() {
    if (plainPath("rings")) return false;
    if (state == 0) {
        program = buildFragmentProgram(kCoverageShader);
        state = program ? 1 : -1;
    }
    return state == 1;
}

void CSmoothLines::drawStrip(const float* points, int count) {
    const CWindowSpace space;
    const GLint* viewport = space.viewport();
    const double halfW = viewport[2] / 2.0, halfH = viewport[3] / 2.0;
    const float across = quadHalfWidth();

    // Each point in window space (x, y) with its normalised depth; NaN depth outside the
    // near or far plane, where its segments are left out (the renderer would clip them)
    window.resize(static_cast<size_t>(count) * 3);
    for (int i = 0; i < count; ++i)
        if (!space.project(points + i * 3, &window[i * 3])) window[i * 3 + 2] = NAN;

    quads.clear();
    auto corner = [&](double x, double y, double z, float s, float halfLength, float t) {
        quads.insert(quads.end(), {static_cast<float>((x - viewport[0]) / halfW - 1),
                                   static_cast<float>((y - viewport[1]) / halfH - 1), static_cast<float>(z), s, across,
                                   t, halfLength});
    };
    for (int i = 0; i + 1 < count; ++i) {
        const double* a = &window[i * 3];
        const double* b = &window[(i + 1) * 3];
        if (std::isnan(a[2]) || std::isnan(b[2])) continue;
        const float dx = static_cast<float>(b[0] - a[0]);
        const float dy = static_cast<float>(b[1] - a[1]);
        const float length = std::sqrt(dx * dx + dy * dy);
        if (!(length > 0)) continue;  // a segment of no length has no direction: nothing is drawn
        const float c = dx / length, s = dy / length;
        const float halfLength = 0.5f * length + 0.5f;
        const float along = 0.5f;  // half a pixel past each end
        // corners 0 and 1 at the first end, 2 and 3 at the second, as the renderer orders them
        corner(a[0] + (-along * c - across * s), a[1] + (-along * s + across * c), a[2], -across, halfLength,
               -halfLength);
        corner(a[0] + (-along * c + across * s), a[1] + (-along * s - across * c), a[2], across, halfLength,
               -halfLength);
        corner(b[0] + (along * c + across * s), b[1] + (along * s - across * c), b[2], across, halfLength, halfLength);
        corner(b[0] + (along * c - across * s), b[1] + (along * s + across * c), b[2], -across, halfLength, halfLength);
    }
    if (quads.empty()) return;

    GLint previousProgram = 0, matrixMode = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &previousProgram);
    glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glUseProgram(program);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 7 * sizeof(float), quads.data());
    glTexCoordPointer(4, GL_FLOAT, 7 * sizeof(float), quads.data() + 3);
    glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(quads.size() / 7));
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glUseProgram(static_cast<GLuint>(previousProgram));
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(static_cast<GLenum>(matrixMode));
}
