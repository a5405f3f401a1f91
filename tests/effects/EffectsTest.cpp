#include "CHud.h"
#include "CSpect.h"
#include "CTunnel.h"
#include "FakeSound.h"
#include "GlFixture.h"

#include <GL/glu.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

const float kPi = 3.141592654f;

// HUD pictures: a half-dark band over rows 230..259, a white bar over columns 20..21,
// a red top-left square on top; a font whose every cell but the blank is white.
class Hud : public GlFixture {
protected:
    void SetUp() override {
        GlFixture::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(writePicture("data/gfx/overlay_darken.png", 396, 260, {{0, 230, 395, 259, 0, 0, 0, 128}}));
        ASSERT_TRUE(writePicture("data/gfx/overlay.png", 396, 260, {{20, 0, 21, 259, 255, 255, 255, 255}}));
        ASSERT_TRUE(writePicture("data/gfx/test2.png", 396, 260, {{0, 0, 9, 9, 255, 0, 0, 255}}));
        ASSERT_TRUE(writePicture("font.png", 256, 256, {{0, 0, 255, 255, 255, 255, 255, 255}, {0, 32, 15, 47, 0, 0, 0, 0}}));
        hud = std::make_unique<CHud>(f3d.get());
        f3d->init2DFont("font.png", 0, 16, 16, 16, 16, 256);
    }
    void place(int i, float x) { hud->setScrollPos(x - 12.0f * i); }  // character i at x
    std::unique_ptr<CHud> hud;
};

TEST_F(Hud, ScrollerFadesInAndOutAtTheEdges) {
    float x, alpha;
    place(0, 130);
    EXPECT_FALSE(hud->glyphAt(0, x, alpha));
    for (const auto& c : {std::pair{131.0f, 1.0f / 30}, {145, 0.5f}, {160, 1}, {340, 1}, {351, 0.5f}, {362, 0}, {384, -1}}) {
        place(5, c.first);
        ASSERT_TRUE(hud->glyphAt(5, x, alpha)) << c.first;
        EXPECT_FLOAT_EQ(c.first, x);
        EXPECT_NEAR(c.second, alpha, 1e-6) << "at x = " << c.first;
    }
    hud = std::make_unique<CHud>(f3d.get());  // a new scroller starts at 50: the eighth blank is the first shown
    EXPECT_EQ(363u, std::strlen(hud->getScrollText()));
    EXPECT_FALSE(hud->glyphAt(6, x, alpha));
    ASSERT_TRUE(hud->glyphAt(7, x, alpha));
    EXPECT_FLOAT_EQ(134.0f, x);
}

TEST_F(Hud, ScrollMovesHalfAPixelPerDeltaAndWrapsOncePerFrame) {
    frame(1000);
    frame(1016);  // delta 1.6
    hud->drawScroller();
    EXPECT_NEAR(49.2f, hud->getScrollPos(), 1e-5);
    hud->setScrollPos(-4199.9f);
    frame(1026);  // -4200.4: wraps, and this frame already draws from 80
    glClear(GL_COLOR_BUFFER_BIT);
    hud->drawBase();
    hud->drawScroller();
    EXPECT_FLOAT_EQ(80.0f, hud->getScrollPos());
    EXPECT_NEAR(255 * 18.0 / 22, px(350, 52).r, 3);  // 'H' (character 22) at 344, alpha 18/22
    EXPECT_EQ(0, px(350, 40).r);
    hud->setScrollPos(100.0f);
    frame(1026 + 10000000);  // a stalled frame wraps once, too
    hud->drawScroller();
    EXPECT_FLOAT_EQ(80.0f, hud->getScrollPos());
}

TEST_F(Hud, GlyphsAddOverTheDarkenedAndBarredBaseAndTheTopPictureLiesUpright) {
    glClearColor(100 / 255.0f, 100 / 255.0f, 100 / 255.0f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    place(22, 145.5f);  // 'H' drawn at 145 with alpha 0.5167
    frame(0);
    hud->drawBase();
    hud->drawScroller();
    const double added = 100 + 255 * (15.5 / 30);
    EXPECT_NEAR(added, px(145, 52).r, 3);
    EXPECT_NEAR(added, px(156, 60).r, 3);  // 'H' covers 145..160, truncated not rounded
    EXPECT_EQ(100, px(144, 52).r);         // the blank before it adds nothing
    EXPECT_EQ(100, px(150, 61).r);
    hud->drawOverlay();
    EXPECT_NEAR(50, px(200, 245).r, 2);  // darkened band
    EXPECT_EQ(255, px(20, 100).g);       // added bar
    EXPECT_TRUE(colourIs(px(4, 4), 255, 0, 0, 0));
    EXPECT_NEAR(50, px(4, 250).r, 2);  // no square at the bottom: not upside down
    // the top picture reaches one pixel past the view, where s has only come to 396 / 397
    float maxX = 0, sAtRight = 0;
    for (const auto& p : captureFeedback([&] { hud->drawOverlay(); }))
        for (const auto& v : p.v)
            if (v.x >= maxX) { maxX = v.x; sAtRight = v.s; }
    EXPECT_FLOAT_EQ(396.0f, maxX);
    EXPECT_NEAR(396.0f / 397.0f, sAtRight, 1e-4);
}

class Tunnel : public GlFixture {
protected:
    void SetUp() override {
        GlFixture::SetUp();
        tunnel = std::make_unique<CTunnel>(f3d.get());
    }
    // One strand pass at t with no delta (phases 0), under a view that maps window
    // coordinates straight back to the tunnel's x and y.
    std::vector<FbPrim> strandsAt(int t) {
        frame(t);
        frame(t);
        tunnel->draw();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-33, 33, -30, 30, -1, 300);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        return captureFeedback([&] { tunnel->drawStrands(1, 1, 1, 1); });
    }
    // the depth-0 point of a strand at angle a: radius 15 about (6, 0)
    static void expectAt(const FbVertex& v, float a) {
        EXPECT_NEAR(15 * std::sin(a) + 6, v.x / 396 * 66 - 33, 2e-3) << a;
        EXPECT_NEAR(15 * std::cos(a), v.y / 260 * 60 - 30, 2e-3) << a;
    }
    std::unique_ptr<CTunnel> tunnel;
};

TEST_F(Tunnel, StrandsStepOneAndAHalfPiAndAFractionalCountDrawsOneMore) {
    auto pts = strandsAt(0);
    EXPECT_FLOAT_EQ(10.0f, tunnel->getStrandCount());
    ASSERT_EQ(10u * 400, pts.size());
    for (int u = 0; u < 10; ++u) {
        expectAt(pts[u * 400].v[0], u * 1.5f * kPi);
        expectAt(pts[u * 400 + 1].v[0], (u + 1) * 1.5f * kPi);
        EXPECT_GT(pts[u * 400 + 398].v[0].z, pts[u * 400].v[0].z);  // deeper along the strand
    }
    pts = strandsAt(6401);  // 15 sin(6401 / 240000) + 10 is about 10.4
    const float n = tunnel->getStrandCount();
    ASSERT_NEAR(10.4f, n, 1e-3);
    ASSERT_EQ(11u * 400, pts.size());
    expectAt(pts[10 * 400].v[0], 10 / n * 15 * kPi);
    expectAt(pts[10 * 400 + 1].v[0], 11 / n * 15 * kPi);
    glClearColor(1, 0, 0, 1);  // a count below zero: a cleared, empty frame
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 1);
    frame(1131000);
    EXPECT_TRUE(captureFeedback([&] { tunnel->draw(); }).empty());
    EXPECT_LT(tunnel->getStrandCount(), 0.0f);
    tunnel->draw();
    EXPECT_TRUE(allBlack());
}

TEST_F(Tunnel, MainPassMirrorsColoursTrailsClampThemAndFade) {
    const int t = 20000;  // sin(t/5000) + 0.3 < 0, sin(t/1000) > 0, sin(t/2000) < 0
    frame(t - 16);
    frame(t);
    const double d = f3d->getDt();
    std::map<int, FbVertex> byAlpha;  // alpha in hundredths -> one point
    for (const auto& p : captureFeedback([&] { tunnel->draw(); })) byAlpha[std::lround(p.v[0].a * 100)] = p.v[0];
    ASSERT_EQ(4u, byAlpha.size());
    const FbVertex& main = byAlpha[100];
    EXPECT_NEAR(std::fabs(std::sin(t / 5000.0) + 0.3), main.r, 1e-3);
    EXPECT_NEAR(std::fabs(std::sin(t / 1000.0)), main.g, 1e-3);
    EXPECT_NEAR(std::fabs(std::sin(t / 2000.0)), main.b, 1e-3);
    const int alphas[] = {21, 14, 7};
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(1u, byAlpha.count(alphas[k])) << alphas[k];
        const FbVertex& trail = byAlpha[alphas[k]];
        EXPECT_EQ(0.0f, trail.r) << k;
        EXPECT_NEAR(std::sin((t - d * k) / 1000), trail.g, 1e-3) << k;
        EXPECT_EQ(0.0f, trail.b) << k;
    }
}

class Spectrum : public GlFixture {
protected:
    void SetUp() override {
        GlFixture::SetUp();
        setFakeSpectrum(0);
        spect = std::make_unique<CSpect>(f3d.get());
        f3d->initGL(396, 260);
    }
    static std::vector<double> matrixd(GLenum which) {
        std::vector<double> m(16);
        glGetDoublev(which, m.data());
        return m;
    }
    // Object coordinates of a feedback vertex under the given matrices.
    static void unproject(const FbVertex& v, const std::vector<double>& mv, const std::vector<double>& proj, double out[3]) {
        const GLint viewport[4] = {0, 0, 396, 260};
        gluUnProject(v.x, v.y, v.z, mv.data(), proj.data(), viewport, &out[0], &out[1], &out[2]);
    }
    struct Ring { int i; float level, side; };
    // Draws the rings under a wide view; checks ring i's radius, height, grey and the
    // faint copy 0.3 above (side +1, rising) or below (side -1).
    void expectRings(std::vector<Ring> rings) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-40, 40, -40, 40, 1, 150);
        glMatrixMode(GL_MODELVIEW);
        const auto prims = captureFeedback([&] { spect->draw(); });
        const auto mv = matrixd(GL_MODELVIEW_MATRIX), proj = matrixd(GL_PROJECTION_MATRIX);
        ASSERT_EQ(110u * 360, prims.size());  // 55 rings and their copies, 360 segments each
        for (const auto& [i, level, side] : rings) {
            const float h = 10 * level, grey = std::fmin(h / 2, 1.0f);
            for (int copy = 0; copy < 2; ++copy)
                for (int k = 0; k < 360; k += 37) {
                    const FbVertex& v = prims[(2 * i + copy) * 360 + k].v[0];
                    double p[3];
                    unproject(v, mv, proj, p);
                    EXPECT_NEAR(0.3 * i, std::hypot(p[0], p[2]), 2e-3) << "ring " << i;
                    EXPECT_NEAR(h + 0.3 * side * copy, p[1], 2e-3) << "ring " << i << " copy " << copy;
                    EXPECT_NEAR(grey, v.r, 1e-3);
                    EXPECT_NEAR(1 - 0.3 * copy, v.a, 1e-3);
                }
        }
    }
    std::unique_ptr<CSpect> spect;
};

TEST_F(Spectrum, RingsFollowTheBandsAndTheFaintCopyTheirDirection) {
    float* levels = fakeSpectrum();
    for (int i = 0; i < 512; ++i) levels[i] = 0.01f * i;  // band 0 silent, 20 and up white
    expectRings({{0, 0, -1}, {1, 0.01f, 1}, {7, 0.07f, 1}, {19, 0.19f, 1}, {20, 0.2f, 1}, {54, 0.54f, 1}});
    expectRings({{0, 0, -1}, {1, 0.01f, -1}, {30, 0.3f, -1}, {54, 0.54f, -1}});  // unchanged counts as falling
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
    const std::vector<double> eye = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const double th = (180 * std::sin(t / 10000.0) + 90 * std::sin(t / 2000.0)) * M_PI / 180;
    for (int strip = 0; strip < 2; ++strip)
        for (int i = 0; i < 99; i += 7) {
            double p[3];
            unproject(prims[strip * 99 + i].v[0], eye, matrixd(GL_PROJECTION_MATRIX), p);
            const double gx = 0.1 * i - 5, gy = (strip ? -5 : 5) * levels[i];
            EXPECT_NEAR(std::cos(th) * gx - std::sin(th) * gy, p[0], 2e-3) << strip << " " << i;
            EXPECT_NEAR(std::sin(th) * gx + std::cos(th) * gy, p[1], 2e-3) << strip << " " << i;
            EXPECT_NEAR(-15 - 10 * std::sin(t / 5000.0), p[2], 2e-3);
        }
    const FbVertex& c = prims[0].v[0];
    EXPECT_NEAR(0.75 + 0.25 * std::sin(0.5), c.r, 1e-3);
    EXPECT_NEAR(std::sin(2.0), c.g, 1e-3);
    EXPECT_NEAR(std::sin(1.0) - 0.2, c.b, 1e-3);
}

TEST_F(Spectrum, BlurTakesTheCornerAndItsCopiesZoomInWithFallingAlphas) {
    glClearColor(0.6f, 0.2f, 0.1f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    frame(1000);
    spect->renderToText();
    EXPECT_TRUE(allBlack());
    glBindTexture(GL_TEXTURE_2D, spect->getBlurTexture());
    std::vector<uint8_t> texels(128 * 128);
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
            if (std::fabs(v.x) < 1e-3 && std::fabs(v.y - 260) < 1e-3 && (corners.empty() || std::fabs(corners.back().a - v.a) > 1e-4))
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
}

}  // namespace
