#include "CSpect.h"
#include "EffectsSupport.h"
#include "FakeSound.h"

#include <GL/glu.h>

#include <cmath>
#include <cstdlib>

namespace {

class SpectrumEffect : public EffectsGl {
protected:
    void SetUp() override {
        EffectsGl::SetUp();
        if (HasFatalFailure()) return;
        setFakeSpectrum(0);
        spect = std::make_unique<CSpect>(f3d.get());
        f3d->initGL(396, 260);
    }

    // Object (or, with an identity model-view, eye) coordinates of a feedback vertex
    // under the matrices that were current when it was emitted.
    static void unproject(const FbVertex& v, const std::vector<double>& mv,
                          const std::vector<double>& proj, double out[3]) {
        const GLint viewport[4] = {0, 0, 396, 260};
        gluUnProject(v.x, v.y, v.z, mv.data(), proj.data(), viewport, &out[0], &out[1], &out[2]);
    }
    static std::vector<double> matrixd(GLenum which) {
        std::vector<double> m(16);
        glGetDoublev(which, m.data());
        return m;
    }

    // Runs draw() under a wide orthographic projection and splits the lines into strips.
    std::vector<std::vector<FbVertex>> ringStrips(std::vector<double>& mv,
                                                  std::vector<double>& proj) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-40, 40, -40, 40, 1, 150);
        glMatrixMode(GL_MODELVIEW);
        const auto prims = captureFeedback([&] { spect->draw(); });
        mv = matrixd(GL_MODELVIEW_MATRIX);
        proj = matrixd(GL_PROJECTION_MATRIX);
        // Each 361-vertex strip comes back as 360 segments.
        std::vector<std::vector<FbVertex>> strips;
        for (size_t n = 0; n < prims.size(); ++n) {
            if (n % 360 == 0) strips.emplace_back();
            strips.back().push_back(prims[n].v[0]);
            strips.back().push_back(prims[n].v[1]);
        }
        return strips;
    }

    // Checks ring i: radius, height, grey and the faint copy on the side 'side'.
    void expectRing(const std::vector<std::vector<FbVertex>>& strips, int i, float level,
                    float side) {
        const float h = 10 * level, g = std::fmin(h / 2, 1.0f);
        for (int j = 0; j < 2; ++j) {
            const auto& strip = strips[2 * i + j];
            ASSERT_EQ(2u * 360, strip.size()) << "ring " << i;
            for (size_t k = 0; k < strip.size(); k += 37) {
                double p[3];
                unproject(strip[k], mv, proj, p);
                EXPECT_NEAR(0.3 * i, std::hypot(p[0], p[2]), 2e-3) << "ring " << i;
                EXPECT_NEAR(h + 0.3 * side * j, p[1], 2e-3) << "ring " << i << " copy " << j;
                EXPECT_NEAR(g, strip[k].r, 1e-3);
                EXPECT_NEAR(1 - 0.3 * j, strip[k].a, 1e-3);
            }
        }
    }

    std::unique_ptr<CSpect> spect;
    std::vector<double> mv, proj;
};

TEST_F(SpectrumEffect, RingsFollowTheBandsAndTheFaintCopyTheirDirection) {
    float* levels = fakeSpectrum();
    for (int i = 0; i < 512; ++i) levels[i] = 0.01f * i;  // band 0 silent, 20 and up white
    auto strips = ringStrips(mv, proj);
    ASSERT_EQ(110u, strips.size());
    expectRing(strips, 0, 0, -1);  // silent on the first frame: below
    for (int i : {1, 7, 19, 20, 54}) expectRing(strips, i, levels[i], +1);

    strips = ringStrips(mv, proj);  // unchanged: counts as falling
    for (int i : {0, 1, 30, 54}) expectRing(strips, i, levels[i], -1);

    levels[3] = 0.5f;
    levels[4] = 0.02f;
    strips = ringStrips(mv, proj);
    expectRing(strips, 3, 0.5f, +1);
    expectRing(strips, 4, 0.02f, -1);
}

TEST_F(SpectrumEffect, DrawKeepsAllFiveHundredTwelveLevels) {
    float* levels = fakeSpectrum();
    for (int i = 0; i < 512; ++i) levels[i] = static_cast<float>(i % 97) / 97;
    frame(1000);
    spect->draw();
    for (int i = 0; i < 512; ++i) ASSERT_EQ(levels[i], spect->getPrevSpectrum()[i]) << i;
}

TEST_F(SpectrumEffect, GraphIsCentredThenTurnedAboutTheViewAxis) {
    float* levels = fakeSpectrum();
    for (int i = 0; i < 100; ++i) levels[i] = 0.02f * (i % 10);
    const int t = 1000;
    frame(t);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-10, 10, -10, 10, 0.1, 100);
    glMatrixMode(GL_MODELVIEW);
    const auto prims = captureFeedback([&] { spect->drawTest(); });
    ASSERT_EQ(2u * 99, prims.size());
    const auto eye = std::vector<double>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const auto ortho = matrixd(GL_PROJECTION_MATRIX);

    const double th = (180 * std::sin(t / 10000.0) + 90 * std::sin(t / 2000.0)) * M_PI / 180;
    const double dist = 15 + 10 * std::sin(t / 5000.0);
    for (int strip = 0; strip < 2; ++strip) {
        for (int i = 0; i < 99; i += 7) {
            const FbVertex& v = prims[strip * 99 + i].v[0];
            double p[3];
            unproject(v, eye, ortho, p);
            const double gx = 0.1 * i - 5, gy = (strip ? -5 : 5) * levels[i];
            EXPECT_NEAR(std::cos(th) * gx - std::sin(th) * gy, p[0], 2e-3) << strip << " " << i;
            EXPECT_NEAR(std::sin(th) * gx + std::cos(th) * gy, p[1], 2e-3) << strip << " " << i;
            EXPECT_NEAR(-dist, p[2], 2e-3);
        }
    }
    const FbVertex& c = prims[0].v[0];
    EXPECT_NEAR(0.75 + 0.25 * std::sin(0.5), c.r, 1e-3);
    EXPECT_NEAR(std::sin(2.0), c.g, 1e-3);
    EXPECT_NEAR(std::sin(1.0) - 0.2, c.b, 1e-3);
    EXPECT_TRUE(glIsEnabled(GL_LINE_SMOOTH));
}

TEST_F(SpectrumEffect, RenderToTextCopiesTheCornerAndLeavesTransparentBlack) {
    glClearColor(0.6f, 0.2f, 0.1f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    frame(1000);
    spect->renderToText();

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(0, viewport[0]);
    EXPECT_EQ(396, viewport[2]);
    EXPECT_EQ(260, viewport[3]);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(0.0f, clear[3]);
    for (const auto& p : gl->readFrame())
        ASSERT_TRUE(p.r == 0 && p.g == 0 && p.b == 0 && p.a == 0);

    glBindTexture(GL_TEXTURE_2D, spect->getBlurTexture());
    GLint format = 0, w = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    EXPECT_EQ(GL_LUMINANCE, format);
    EXPECT_EQ(128, w);
    std::vector<uint8_t> texels(128 * 128);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_NEAR(153, texels[2 * 128 + 2], 2);  // the red of what was there
    int lit = 0;
    for (uint8_t l : texels) lit += l > 160;
    EXPECT_GT(lit, 20);  // the small graph over it
}

TEST_F(SpectrumEffect, BlurCopiesZoomInWithFallingAlphas) {
    const int t = 1000;
    frame(t);
    glDisable(GL_DEPTH_TEST);
    setenv("CHIPDISK_PLAIN", "glow", 1);  // one quad per copy, to see every copy's corner
    const auto prims = captureFeedback([&] { spect->drawBlur(25, 0.05f); });
    unsetenv("CHIPDISK_PLAIN");
    // The top-left corner of every copy, in drawing order.
    std::vector<FbVertex> corners;
    for (const auto& p : prims)
        for (const auto& v : p.v)
            if (std::fabs(v.x) < 1e-3 && std::fabs(v.y - 260) < 1e-3 &&
                (corners.empty() || std::fabs(corners.back().a - v.a) > 1e-4))
                corners.push_back(v);
    ASSERT_EQ(25u, corners.size());
    for (int n = 0; n < 25; ++n) {
        EXPECT_NEAR(0.5 - n * 0.02, corners[n].a, 1e-4) << n;
        EXPECT_NEAR(n * 0.05, corners[n].s, 1e-4) << n;
        EXPECT_NEAR(1 - n * 0.05, corners[n].t, 1e-4) << n;
    }
    EXPECT_NEAR(0.75 + 0.25 * std::sin(0.5), corners[0].r, 1e-3);
    EXPECT_NEAR(std::sin(2.0), corners[0].g, 1e-3);
    EXPECT_NEAR(std::sin(1.0), corners[0].b, 1e-3);  // no -0.2 here

    // The state handed on, by the one-quad-per-copy path and by the combined copies.
    for (bool combined : {false, true}) {
        if (combined) {
            glDisable(GL_DEPTH_TEST);
            spect->drawBlur(25, 0.05f);
        }
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
        EXPECT_FALSE(glIsEnabled(GL_BLEND));
        GLint src = 0, dst = 0, bound = -1, active = 0;
        glGetIntegerv(GL_BLEND_SRC, &src);
        glGetIntegerv(GL_BLEND_DST, &dst);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        EXPECT_EQ(GL_SRC_ALPHA, src);
        EXPECT_EQ(GL_ONE, dst);
        EXPECT_EQ(0, bound);
        EXPECT_EQ(GL_TEXTURE0, active);
        const std::vector<float> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        EXPECT_EQ(identity, matrix(GL_MODELVIEW_MATRIX));
        for (GLenum u = 1; u < 8; ++u) {
            glActiveTexture(GL_TEXTURE0 + u);
            GLint mode = 0;
            glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
            EXPECT_EQ(GL_MODULATE, mode) << "unit " << u;
            EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D)) << "unit " << u;
        }
        glActiveTexture(GL_TEXTURE0);
    }
}

}  // namespace
