#define GL_GLEXT_PROTOTYPES  // programs
#include "CZoomSum.h"

#include "CF3D.h"
#include "GlProgram.h"

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

void CZoomSum::clear() {
    insets.clear();
    weights.clear();
}

bool CZoomSum::fastAvailable() {
    if (CF3D::plainPath("glow")) return false;
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
        std::snprintf(line, sizeof line, "    sum += copy(vec2(%#.9g) + uv * %#.9g, %#.1f);\n", insets[i],
                      1.0f - 2.0f * insets[i], alpha);
        copies += line;
    }
    GLuint& program = programs[copies];
    if (program) return program;
    const std::string source =
        "uniform sampler2D picture;\n"
        "uniform vec3 tint;\n"
        // the fragment's colour as the blender receives it, then the blender's 8-bit product
        "vec3 copy(vec2 at, float alpha) {\n"
        "    vec3 colour = floor(clamp(tint * texture2D(picture, at).r, 0.0, 1.0) * 255.0 + 0.5);\n"
        "    vec3 p = colour * alpha + 128.0;\n"
        "    return floor((p + floor(p / 256.0)) / 256.0);\n"
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
    const float tint[3] = {clamp01(r), clamp01(g), clamp01(b)};
    glBlendFunc(GL_ONE, GL_ONE);
    const GLuint program = programForCopies();
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    if (!program) return;
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "picture"), 0);
    glUniform3fv(glGetUniformLocation(program, "tint"), 1, tint);
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
