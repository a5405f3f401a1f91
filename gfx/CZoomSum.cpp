#define GL_GLEXT_PROTOTYPES  // programs
#include "CZoomSum.h"

#include "GlProgram.h"
#include "PlainPath.h"

#include <GL/glext.h>

#include <cmath>
#include <cstdio>

namespace {

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// A trivial program, to learn once whether programs run here at all.
const char* const kProbeShader = "void main() { gl_FragColor = gl_Color; }\n";

}  // namespace

void CZoomSum::add(float inset, float weight) {
    insets.push_back(inset);
    weights.push_back(weight);
}

float CZoomSum::addRamp(int count, float insetStep, float weight, float weightStep) {
    float inset = 0.0f;
    for (int i = 0; i < count; ++i) {
        add(inset, weight);
        if (i + 1 < count) {
            inset += insetStep;
            weight -= weightStep;
        }
    }
    return weight;
}

void CZoomSum::drawRamp(GLuint texture, int count, float insetStep, float weight, float weightStep, float r, float g,
                        float b, float w, float h) {
    if (fastAvailable()) {
        clear();
        weight = addRamp(count, insetStep, weight, weightStep);
        drawCombined(texture, r, g, b, w, h);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        if (count > 0) glColor4f(r, g, b, weight);
        return;
    }
    float inset = 0.0f;
    glBegin(GL_QUADS);
    // Past an inset of 0.5 the coordinates run backwards and the repeating texture mirrors.
    for (int i = 0; i < count; ++i) {
        glColor4f(r, g, b, weight);
        glTexCoord2f(inset, 1.0f - inset);
        glVertex2f(0.0f, 0.0f);
        glTexCoord2f(inset, inset);
        glVertex2f(0.0f, h);
        glTexCoord2f(1.0f - inset, inset);
        glVertex2f(w, h);
        glTexCoord2f(1.0f - inset, 1.0f - inset);
        glVertex2f(w, 0.0f);
        inset += insetStep;
        weight -= weightStep;
    }
    glEnd();
}

void CZoomSum::clear() {
    insets.clear();
    weights.clear();
}

bool CZoomSum::fastAvailable() {
    if (plainPath("glow")) return false;
    if (state == 0) {
        const GLuint probe = buildFragmentProgram(kProbeShader);
        state = probe ? 1 : -1;
        if (probe) glDeleteProgram(probe);
    }
    return state == 1;
}

// One line of source per copy, its inset, scale and 8-bit weight written in as
// constants: the copies of an effect never change, and a program without loops or
// uniform arrays runs several times faster in the software renderer. Copies of weight
// 0 or less add nothing (one quad per copy clamps their alpha to 0).
GLuint CZoomSum::programForCopies() {
    std::string copies;
    char line[200];
    for (size_t i = 0; i < weights.size(); ++i) {
        const float alpha = std::floor(clamp01(weights[i]) * 255.0f + 0.5f);
        if (alpha <= 0.0f) continue;
        std::snprintf(line, sizeof line, "    sum += copy(vec2(%#.9g) + uv * %#.9g, %#.9g);\n", insets[i],
                      1.0f - 2.0f * insets[i], alpha / 255.0f);
        copies += line;
    }
    GLuint& program = programs[copies];
    if (program) return program;
    const std::string source =
        "uniform sampler2D picture;\n"
        "uniform vec3 tint255;\n"
        // The fragment's colour as the blender receives it (rounded to 8 bits; the tint and
        // the picture lie in [0, 1]), then the blender's 8-bit product with the copy's alpha,
        // rounded: for whole numbers the blender's (p + (p >> 8)) >> 8, p = c a + 128, is
        // c a / 255 rounded, and c a / 255 never falls on a half.
        "vec3 copy(vec2 at, float weight) {  // weight: the 8-bit alpha over 255\n"
        "    vec3 colour = floor(tint255 * texture2D(picture, at).r + 0.5);\n"
        "    return floor(colour * weight + 0.5);\n"
        "}\n"
        "void main() {\n"
        "    vec2 uv = gl_TexCoord[0].st;\n"
        "    vec3 sum = vec3(0.0);\n" +
        copies +
        "    gl_FragColor = vec4(min(sum, 255.0) / 255.0, 1.0);\n"
        "}\n";
    program = buildFragmentProgram(source.c_str());
    return program;
}

void CZoomSum::drawCombined(GLuint texture, float r, float g, float b, float w, float h) {
    const float tint255[3] = {clamp01(r) * 255.0f, clamp01(g) * 255.0f, clamp01(b) * 255.0f};
    glBlendFunc(GL_ONE, GL_ONE);
    const GLuint program = programForCopies();
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    if (!program) return;
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "picture"), 0);
    glUniform3fv(glGetUniformLocation(program, "tint255"), 1, tint255);
    // uv runs from (0, 1) at the view's top left to (1, 0) at its bottom right: pictures
    // are stored bottom row first
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1);
    glVertex2f(0, 0);
    glTexCoord2f(0, 0);
    glVertex2f(0, h);
    glTexCoord2f(1, 0);
    glVertex2f(w, h);
    glTexCoord2f(1, 1);
    glVertex2f(w, 0);
    glEnd();
    glUseProgram(0);
}
