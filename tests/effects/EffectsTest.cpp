#include "CHud.h"
#include "CSpect.h"
#include "CTunnel.h"
#include "FakeSound.h"
#include "GlFixture.h"

#include <GL/glu.h>

#include <cmath>
#include <cstdlib>

namespace {

const float kPi = 3.141592654f;

using Effects = GlFixture;

TEST_F(Effects, ScrollerFadesAtTheEdgesAndWrapsOncePerFrame) {
    ASSERT_TRUE(writePicture("font.png", 256, 256,
                             {{0, 0, 255, 255, 255, 255, 255, 255}, {0, 32, 15, 47, 0, 0, 0, 0}}));  // a blank space
    CHud hud(f3d.get());
    f3d->init2DFont("font.png", 0, 16, 16, 16, 16, 256);
    float x, alpha;
    for (const auto& c : {std::pair{130.0f, NAN}, {131, 1.0f / 30}, {160, 1}, {362, 0}, {384, -1}}) {
        hud.setScrollPos(c.first - 60);                                         // character 5 at c.first
        EXPECT_EQ(!std::isnan(c.second), hud.glyphAt(5, x, alpha)) << c.first;  // shown right of 130
        EXPECT_TRUE(x == c.first && (std::isnan(c.second) || std::fabs(c.second - alpha) < 1e-6))
            << "at x = " << c.first;
    }
    frame(1000);
    frame(1010);
    hud.setScrollPos(-4199.9f);  // -4200.4 after this frame's step: wraps, and draws from 80 already
    glClear(GL_COLOR_BUFFER_BIT);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    hud.drawScroller();
    EXPECT_FLOAT_EQ(80.0f, hud.getScrollPos());
    EXPECT_NEAR(255 * 18.0 / 22, px(350, 52).r, 3);  // 'H' (character 22) at 344, alpha 18/22
    EXPECT_EQ(0, px(350, 40).r + px(343, 52).r);     // above the line; the blank before it adds nothing
    hud.setScrollPos(100.0f);
    frame(1010 + 10000000);  // a stalled frame wraps once, too
    hud.drawScroller();
    EXPECT_FLOAT_EQ(80.0f, hud.getScrollPos());
}

TEST_F(Effects, TunnelStrandsStepOneAndAHalfPiAndAFractionalCountDrawsOneMore) {
    CTunnel tunnel(f3d.get());
    auto strandsAt = [&](int t) {  // one pass with no delta (phases 0), in a view mapping back to the tunnel's x and y
        frame(t);
        frame(t);
        tunnel.draw();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-33, 33, -30, 30, -1, 300);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        return captureFeedback([&] { tunnel.drawStrands(1, 1, 1, 1); });
    };
    auto expectAt = [](const FbVertex& v, float a) {  // the depth-0 point at angle a: radius 15 about (6, 0)
        EXPECT_NEAR(15 * std::sin(a) + 6, v.x / 396 * 66 - 33, 2e-3) << a;
        EXPECT_NEAR(15 * std::cos(a), v.y / 260 * 60 - 30, 2e-3) << a;
    };
    auto pts = strandsAt(0);
    EXPECT_FLOAT_EQ(10.0f, tunnel.getStrandCount());
    ASSERT_EQ(10u * 400, pts.size());
    for (int u = 0; u < 10; ++u) {
        expectAt(pts[u * 400].v[0], u * 1.5f * kPi);
        expectAt(pts[u * 400 + 1].v[0], (u + 1) * 1.5f * kPi);
        EXPECT_GT(pts[u * 400 + 398].v[0].z, pts[u * 400].v[0].z);  // deeper along the strand
    }
    pts = strandsAt(6401);  // 15 sin(6401 / 240000) + 10 is about 10.4
    const float n = tunnel.getStrandCount();
    ASSERT_NEAR(10.4f, n, 1e-3);
    ASSERT_EQ(11u * 400, pts.size());
    expectAt(pts[10 * 400].v[0], 10 / n * 15 * kPi);
    expectAt(pts[10 * 400 + 1].v[0], 11 / n * 15 * kPi);
}

class Spectrum : public GlFixture {
protected:
    void SetUp() override {
        GlFixture::SetUp();
        setFakeSpectrum(0);
        spect = std::make_unique<CSpect>(f3d.get());
    }
    // Object coordinates of a feedback vertex under the current matrices (or an identity model-view).
    static void unproject(const FbVertex& v, double out[3], bool eye = false) {
        double mv[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, proj[16];
        if (!eye) glGetDoublev(GL_MODELVIEW_MATRIX, mv);
        glGetDoublev(GL_PROJECTION_MATRIX, proj);
        const GLint viewport[4] = {0, 0, 396, 260};
        gluUnProject(v.x, v.y, v.z, mv, proj, viewport, &out[0], &out[1], &out[2]);
    }
    struct Ring {
        int i;
        float level, side;
    };
    // Draws the rings under a wide view; checks ring i's radius, height, grey and the
    // faint copy 0.3 above (side +1, rising) or below (side -1).
    void expectRings(std::vector<Ring> rings) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-40, 40, -40, 40, 1, 150);
        glMatrixMode(GL_MODELVIEW);
        setenv("CHIPDISK_PLAIN", "rings", 1);  // the rings as lines, not as the quads that stand in for them
        const auto prims = captureFeedback([&] { spect->draw(); });
        unsetenv("CHIPDISK_PLAIN");
        ASSERT_EQ(110u * 360, prims.size());  // 55 rings and their copies, 360 segments each
        for (const auto& [i, level, side] : rings) {
            const float h = 10 * level, grey = std::fmin(h / 2, 1.0f);
            for (int copy = 0; copy < 2; ++copy)
                for (int k = 0; k < 360; k += 37) {
                    const FbVertex& v = prims[(2 * i + copy) * 360 + k].v[0];
                    double p[3];
                    unproject(v, p);
                    EXPECT_TRUE(std::fabs(0.3 * i - std::hypot(p[0], p[2])) < 2e-3 &&
                                std::fabs(h + 0.3 * side * copy - p[1]) < 2e-3 && std::fabs(grey - v.r) < 1e-3 &&
                                std::fabs(1 - 0.3 * copy - v.a) < 1e-3)
                        << "ring " << i << " copy " << copy;
                }
        }
    }
    // the graph's and the blur's tint at t = 1000
    static void expectTint(const FbVertex& v, double blue) {
        EXPECT_TRUE(std::fabs(0.75 + 0.25 * std::sin(0.5) - v.r) + std::fabs(std::sin(2.0) - v.g) +
                        std::fabs(std::sin(1.0) + blue - v.b) <
                    3e-3);
    }
    std::unique_ptr<CSpect> spect;
};

TEST_F(Spectrum, RingsFollowTheBandsAndTheFaintCopyTheirDirection) {
    float* levels = fakeSpectrum();
    for (int i = 0; i < 512; ++i) levels[i] = 0.01f * i;  // band 0 silent, 20 and up white
    expectRings({{0, 0, -1}, {1, 0.01f, 1}, {19, 0.19f, 1}, {20, 0.2f, 1}, {54, 0.54f, 1}});
    expectRings({{1, 0.01f, -1}, {54, 0.54f, -1}});  // unchanged counts as falling
    levels[3] = 0.5f;
    levels[4] = 0.02f;
    expectRings({{3, 0.5f, 1}, {4, 0.02f, -1}});
}

TEST_F(Spectrum, GraphIsCentredThenTurnedAboutTheViewAxis) {
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
    const double th = (180 * std::sin(t / 10000.0) + 90 * std::sin(t / 2000.0)) * M_PI / 180;
    for (int strip = 0; strip < 2; ++strip)
        for (int i = 0; i < 99; i += 7) {
            double p[3];
            unproject(prims[strip * 99 + i].v[0], p, true);
            const double gx = 0.1 * i - 5, gy = (strip ? -5 : 5) * levels[i];
            EXPECT_TRUE(std::fabs(std::cos(th) * gx - std::sin(th) * gy - p[0]) < 2e-3 &&
                        std::fabs(std::sin(th) * gx + std::cos(th) * gy - p[1]) < 2e-3 &&
                        std::fabs(-15 - 10 * std::sin(t / 5000.0) - p[2]) < 2e-3)
                << strip << " " << i;
        }
    expectTint(prims[0].v[0], -0.2);
}

TEST_F(Spectrum, BlurTakesTheCornerAndItsCopiesZoomInWithFallingAlphas) {
    glClearColor(0.6f, 0.2f, 0.1f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    frame(1000);
    spect->renderToText();
    EXPECT_TRUE(allBlack());
    std::vector<uint8_t> texels(128 * 128);
    glBindTexture(GL_TEXTURE_2D, spect->getBlurTexture());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_NEAR(153, texels[2 * 128 + 2], 2);  // the red of what was there
    int lit = 0;
    for (uint8_t l : texels) lit += l > 160;
    EXPECT_GT(lit, 20);  // the small graph over it

    glDisable(GL_DEPTH_TEST);
    setenv("CHIPDISK_PLAIN", "glow", 1);  // one quad per copy, to see every copy's corner
    const auto prims = captureFeedback([&] { spect->drawBlur(25, 0.05f); });
    unsetenv("CHIPDISK_PLAIN");
    std::vector<FbVertex> corners;  // the top-left corner of every copy, in drawing order
    for (const auto& p : prims)
        for (const auto& v : p.v)
            if (std::fabs(v.x) + std::fabs(v.y - 260) < 1e-3 &&
                (corners.empty() || std::fabs(corners.back().a - v.a) > 1e-4))
                corners.push_back(v);
    ASSERT_EQ(25u, corners.size());
    for (int n = 0; n < 25; ++n)
        EXPECT_TRUE(std::fabs(0.5 - n * 0.02 - corners[n].a) + std::fabs(n * 0.05 - corners[n].s) +
                        std::fabs(1 - n * 0.05 - corners[n].t) <
                    1e-4)
            << n;
    expectTint(corners[0], 0);  // no -0.2 here
}

}  // namespace
