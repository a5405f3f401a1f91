#include "CZoomSum.h"

#include "CF3D.h"

#include <GL/glext.h>

#include <algorithm>

namespace {

// The combiner's largest output scale: a group's weights may add up to this much.
constexpr float kMaxGroupWeight = 4.0f;

int textureUnits() {
    static GLint units = -1;
    if (units < 0) {
        units = 1;
        glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    }
    return units;
}

// Copies per quad: every unit but the last samples a copy; the last applies tint and scale.
int copiesPerQuad() { return std::min(textureUnits(), 8) - 1; }

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

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
    return !CF3D::plainPath("glow") && copiesPerQuad() >= 2;
}

void CZoomSum::drawCombined(GLuint texture, float r, float g, float b, float w,
                            float h) const {
    const float tint[3] = {clamp01(r), clamp01(g), clamp01(b)};
    glBlendFunc(GL_ONE, GL_ONE);

    // Copies of weight 0 or less add nothing (the plain path's colour clamps them to 0).
    const size_t n = weights.size();
    const size_t perQuad = static_cast<size_t>(copiesPerQuad());
    size_t first = 0;
    while (first < n) {
        while (first < n && weights[first] <= 0.0f) ++first;
        size_t count = 0;
        float sum = 0.0f;
        // The glow's and blur's weights are at most 0.5, so seven always fit under the
        // scale; a single heavier copy would be clamped at 4.
        while (first + count < n && count < perQuad && weights[first + count] > 0.0f &&
               (count == 0 || sum + weights[first + count] <= kMaxGroupWeight)) {
            sum += weights[first + count];
            ++count;
        }
        if (count == 0) break;
        drawGroup(texture, first, count, tint, w, h);
        first += count;
    }

    // Hand on the fixed-function defaults: only unit 0 textures, every unit modulates.
    for (int u = textureUnits() - 1; u >= 0; --u) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(u));
        glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, 1.0f);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        if (u > 0) {
            glDisable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, 0);
        }
    }
    glBindTexture(GL_TEXTURE_2D, texture);
}

// One quad for copies first..first+count-1. Unit 0 takes the first copy, unit k mixes in
// copy k as a running weighted mean (interpolation keeps every stage within [0, 1]), and
// the unit after the last copy multiplies the mean by tint x (sum of weights), through a
// scale of 4 so that the product may pass 1 before the frame buffer clamps it.
void CZoomSum::drawGroup(GLuint texture, size_t first, size_t count, const float tint[3],
                         float w, float h) const {
    float sum = 0.0f;
    for (size_t k = 0; k <= count; ++k) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(k));
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, GL_PRIMARY_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
        if (k == count) {
            glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_MODULATE);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_PREVIOUS);
            glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_PRIMARY_COLOR);
            glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
            glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, kMaxGroupWeight);
            break;
        }
        sum += weights[first + k];
        const float mix = weights[first + k] / sum;
        const GLfloat constant[4] = {mix, mix, mix, mix};
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, constant);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, k == 0 ? GL_REPLACE : GL_INTERPOLATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_PREVIOUS);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE2_RGB, GL_CONSTANT);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_RGB, GL_SRC_COLOR);
        glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, 1.0f);
    }
    // Units past this group's last one stay off.
    for (int u = static_cast<int>(count) + 1; u < std::min(textureUnits(), 8); ++u) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(u));
        glDisable(GL_TEXTURE_2D);
    }

    const float scale = sum / kMaxGroupWeight;
    glColor4f(tint[0] * scale, tint[1] * scale, tint[2] * scale, 1.0f);
    const float xs[4] = {0.0f, 0.0f, w, w}, ys[4] = {0.0f, h, h, 0.0f};
    const int sSide[4] = {0, 0, 1, 1}, tSide[4] = {0, 1, 1, 0};
    glBegin(GL_QUADS);
    for (int v = 0; v < 4; ++v) {
        for (size_t k = 0; k < count; ++k) {
            const float in = insets[first + k];
            const float s = sSide[v] ? 1.0f - in : in;
            const float t = tSide[v] ? in : 1.0f - in;
            glMultiTexCoord2f(GL_TEXTURE0 + static_cast<GLenum>(k), s, t);
        }
        glVertex2f(xs[v], ys[v]);
    }
    glEnd();
}
