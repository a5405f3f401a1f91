#include "CTunnel.h"
#include "EffectsSupport.h"

#include <cmath>
#include <map>

namespace {

const float kPi = 3.141592654f;

class Tunnel : public EffectsGl {
protected:
    void SetUp() override {
        EffectsGl::SetUp();
        if (HasFatalFailure()) return;
        tunnel = std::make_unique<CTunnel>(f3d.get());
    }

    // Draws at t with a zero delta, so the phases stay at 0 and px(0) = 6, py(0) = 0.
    void drawStill(int t) {
        frame(t);
        frame(t);
        tunnel->draw();
    }

    // One strand pass under an orthographic view that holds the whole tunnel; the
    // window coordinates map straight back to the tunnel's x and y.
    std::vector<FbPrim> strandsFlat() {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-33, 33, -30, 30, -1, 300);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        return captureFeedback([&] { tunnel->drawStrands(1, 1, 1, 1); });
    }
    static float tunnelX(const FbVertex& v) { return v.x / 396 * 66 - 33; }
    static float tunnelY(const FbVertex& v) { return v.y / 260 * 60 - 30; }

    // Point at depth 0 of strand u, angle a, with both phases at 0.
    static void expectAt(const FbVertex& v, float a, const char* what) {
        EXPECT_NEAR(15 * std::sin(a) + 6, tunnelX(v), 2e-3) << what;
        EXPECT_NEAR(15 * std::cos(a), tunnelY(v), 2e-3) << what;
    }

    std::unique_ptr<CTunnel> tunnel;
};

TEST_F(Tunnel, TenStrandsAtStartWithAngleStepOneAndAHalfPi) {
    drawStill(0);
    EXPECT_FLOAT_EQ(10.0f, tunnel->getStrandCount());
    const auto pts = strandsFlat();
    ASSERT_EQ(10u * 400, pts.size());
    for (int u = 0; u < 10; ++u) {
        const auto& first = pts[u * 400];
        const auto& second = pts[u * 400 + 1];
        expectAt(first.v[0], u * 1.5f * kPi, "a0");
        expectAt(second.v[0], (u + 1) * 1.5f * kPi, "a1");
        EXPECT_GT(pts[u * 400 + 398].v[0].z, first.v[0].z);  // w = 199 deeper
    }
}

TEST_F(Tunnel, FractionalCountDrawsOneMoreStrand) {
    drawStill(6401);  // 15 sin(6401 / 240000) + 10 is about 10.4
    const float n = tunnel->getStrandCount();
    ASSERT_NEAR(10.4f, n, 1e-3);
    const auto pts = strandsFlat();
    ASSERT_EQ(11u * 400, pts.size());
    expectAt(pts[10 * 400].v[0], 10 / n * 15 * kPi, "a0 of strand 10");
    expectAt(pts[10 * 400 + 1].v[0], 11 / n * 15 * kPi, "a1 of strand 10");
}

TEST_F(Tunnel, NonPositiveCountShowsAClearedEmptyFrame) {
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 1);
    const int t = 1131000;  // count near -5
    frame(t);
    frame(t);
    const auto prims = captureFeedback([&] { tunnel->draw(); });
    EXPECT_LT(tunnel->getStrandCount(), 0.0f);
    EXPECT_TRUE(prims.empty());
    tunnel->draw();
    EXPECT_EQ(0, gl->pixel(198, 130).r);
    EXPECT_EQ(0, gl->pixel(5, 5).r);
}

TEST_F(Tunnel, MainPassMirrorsColoursTrailsClampThemAndFade) {
    // At t = 20000: sin(t/5000) + 0.3 < 0, sin(t/1000) > 0, sin(t/2000) < 0.
    const int t = 20000;
    frame(t - 16);
    frame(t);
    const double d = f3d->getDt();
    const auto pts = captureFeedback([&] { tunnel->draw(); });
    std::map<int, FbVertex> byAlpha;  // alpha in hundredths -> one point
    for (const auto& p : pts) byAlpha[static_cast<int>(std::lround(p.v[0].a * 100))] = p.v[0];
    ASSERT_EQ(4u, byAlpha.size());
    for (int a : {100, 21, 14, 7}) ASSERT_EQ(1u, byAlpha.count(a)) << a;

    const FbVertex& main = byAlpha[100];
    EXPECT_NEAR(std::fabs(std::sin(t / 5000.0) + 0.3), main.r, 1e-3);
    EXPECT_NEAR(std::fabs(std::sin(t / 1000.0)), main.g, 1e-3);
    EXPECT_NEAR(std::fabs(std::sin(t / 2000.0)), main.b, 1e-3);
    const int alphas[] = {21, 14, 7};
    for (int k = 0; k < 3; ++k) {
        const FbVertex& trail = byAlpha[alphas[k]];
        EXPECT_EQ(0.0f, trail.r) << k;
        EXPECT_NEAR(std::sin((t - d * k) / 1000), trail.g, 1e-3) << k;
        EXPECT_EQ(0.0f, trail.b) << k;
    }
}

TEST_F(Tunnel, PhasesAdvanceByTheFrameDelta) {
    frame(1000);
    frame(1016);
    tunnel->draw();
    EXPECT_NEAR(0.024f, tunnel->getZoomPhase(), 1e-6);
    EXPECT_NEAR(0.040f, tunnel->getPathPhaseX(), 1e-6);
    EXPECT_NEAR(0.056f, tunnel->getPathPhaseY(), 1e-6);
}

TEST_F(Tunnel, LeavesTheStandardViewAndItsOwnState) {
    f3d->resizeWindow(396, 260);
    const auto standard = matrix(GL_PROJECTION_MATRIX);
    GLint projDepth = 0, mvDepth = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projDepth);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &mvDepth);
    glBlendFunc(GL_ONE, GL_ZERO);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);

    frame(5000);
    frame(5016);
    tunnel->draw();

    EXPECT_EQ(standard, matrix(GL_PROJECTION_MATRIX));
    const std::vector<float> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_EQ(identity, matrix(GL_MODELVIEW_MATRIX));
    GLint depth = 0, mode = 0, viewport[4];
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(projDepth, depth);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(mvDepth, depth);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(GL_MODELVIEW, mode);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(396, viewport[2]);
    EXPECT_EQ(260, viewport[3]);

    GLfloat width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_FLOAT_EQ(0.3f, width);
    GLint src = 0, dst = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(GL_SRC_ALPHA, src);
    EXPECT_EQ(GL_ONE, dst);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_POINT_SMOOTH));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_FOG));
}

}  // namespace
