#include "CSpect.h"

#include "CF3D.h"
#include "CZoomSum.h"
#include "SoundLib.h"

#include <cmath>
#include <cstring>

CSpect::CSpect(CF3D* f3d) : spectrum(nullptr), f3d(f3d) {
    std::memset(prevSpectrum, 0, sizeof(prevSpectrum));
    blurTexture = f3d->emptyTexture(128, 128);
}

// Drawn with the blend state and line width the previous frame left behind.
void CSpect::draw() {
    glLoadIdentity();
    gluLookAt(0, 40, 40, 0, 0, 0, 0, 0, 1);
    spectrum = FSOUND_DSP_GetSpectrum();

    for (int i = 0; i < 55; ++i) {
        const float r = 0.3f * i;
        const float h = 10.0f * spectrum[i];
        const float g = h / 2;
        glColor4f(g, g, g, 1);
        glEnable(GL_LINE_SMOOTH);
        // A band that stayed level counts as falling.
        const float s = (spectrum[i] - prevSpectrum[i] > 0) ? 1.0f : -1.0f;
        for (int j = 0; j < 2; ++j) {
            glColor4f(g, g, g, 1 - 0.3f * j);
            ringPoints.clear();
            for (int k = 0; k <= 360; ++k) {
                const float phi = k * 3.141592654f / 180;
                ringPoints.insert(ringPoints.end(), {r * std::sin(phi), h + 0.3f * s * j, r * std::cos(phi)});
            }
            if (smoothLines.available()) {  // the same pixels as the line strip, drawn cheaper
                smoothLines.drawStrip(ringPoints.data(), 361);
                continue;
            }
            glBegin(GL_LINE_STRIP);
            for (int k = 0; k <= 360; ++k) glVertex3fv(&ringPoints[k * 3]);
            glEnd();
        }
    }
    std::memcpy(prevSpectrum, spectrum, sizeof(prevSpectrum));
}

void CSpect::drawTest() {
    const double t = f3d->getTicks();
    glLoadIdentity();
    // Multiplied before the look-at, so they act in view space: centre the graph, then spin it.
    glRotatef(static_cast<float>(180 * std::sin(t / 10000) + 90 * std::sin(t / 2000)), 0, 0, 1);
    glTranslatef(-5, 0, 0);
    spectrum = FSOUND_DSP_GetSpectrum();
    gluLookAt(0, 0, 15 + 10 * std::sin(t / 5000), 0, 0, 0, 0, 1, 0);

    glColor4f(static_cast<float>(0.75 + 0.25 * std::sin(t / 2000)), static_cast<float>(std::sin(t / 500)),
              static_cast<float>(std::sin(t / 1000) - 0.2), 1);
    glEnable(GL_LINE_SMOOTH);
    glBegin(GL_LINE_STRIP);
    for (int i = 0; i < 100; ++i) glVertex3f(0.1f * i, 5 * spectrum[i], 0);
    glEnd();
    glBegin(GL_LINE_STRIP);
    for (int i = 0; i < 100; ++i) glVertex3f(0.1f * i, -5 * spectrum[i], 0);
    glEnd();
}

void CSpect::renderToText() {
    // The projection stays the full view's, so the graph is squeezed into the corner.
    glViewport(0, 0, 128, 128);
    drawTest();
    glBindTexture(GL_TEXTURE_2D, blurTexture);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, 0, 0, 128, 128, 0);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, f3d->getWidth(), f3d->getHeight());
}

void CSpect::drawBlur(int passes, float step) {
    const double t = f3d->getTicks();
    const float alpha = 0.5f;
    const float alphaStep = alpha / passes;

    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, blurTexture);

    const float w = static_cast<float>(f3d->getWidth());
    const float h = static_cast<float>(f3d->getHeight());
    const float red = static_cast<float>(0.75 + 0.25 * std::sin(t / 2000));
    const float green = static_cast<float>(std::sin(t / 500));
    const float blue = static_cast<float>(std::sin(t / 1000));

    f3d->openMode2D();
    blurCopies.drawRamp(blurTexture, passes, step, alpha, alphaStep, red, green, blue, w, h);
    f3d->closeMode2D();
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, 0);
}
