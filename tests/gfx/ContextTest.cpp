#include "GlFixture.h"

#include <cmath>

namespace {

void matrix(GLenum which, GLfloat m[16]) { glGetFloatv(which, m); }

bool isIdentity(const GLfloat m[16]) {
    for (int i = 0; i < 16; ++i)
        if (std::fabs(m[i] - ((i % 5 == 0) ? 1.0f : 0.0f)) > 1e-6f) return false;
    return true;
}

}  // namespace

TEST(FrameClock, DeltaIsTenthsOfMillisecondsSinceLastFrame) {
    CF3D f;  // needs no GL context
    EXPECT_EQ(f.getTicks(), 0);
    EXPECT_EQ(f.getDt(), 0.0f);
    EXPECT_EQ(f.getWidth(), 0);

    f.setTicks(1000);
    f.calcDt();
    EXPECT_FLOAT_EQ(f.getDt(), 100.0f);  // the first frame spans the time since the clock started
    f.setTicks(1016);
    EXPECT_EQ(f.getLastFrame(), 1000);
    f.calcDt();
    EXPECT_FLOAT_EQ(f.getDt(), 1.6f);
    EXPECT_EQ(f.getLastFrame(), 1016);
    EXPECT_EQ(f.getTicks(), 1016);

    f.calcDt();  // no new tick: nothing has passed
    EXPECT_EQ(f.getDt(), 0.0f);

    f.setTicks(900);  // time never runs backwards in the app, but nothing clamps it
    f.calcDt();
    EXPECT_FLOAT_EQ(f.getDt(), -11.6f);
}

using Context = GlFixture;

TEST_F(Context, InitSetsFixedStateAndStandardProjection) {
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 396);
    EXPECT_EQ(viewport[3], 260);
    EXPECT_EQ(f3d->getWidth(), 396);
    EXPECT_EQ(f3d->getHeight(), 260);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    GLint v = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &v);
    EXPECT_EQ(v, GL_LEQUAL);
    glGetIntegerv(GL_SHADE_MODEL, &v);
    EXPECT_EQ(v, GL_SMOOTH);
    glGetIntegerv(GL_MATRIX_MODE, &v);
    EXPECT_EQ(v, GL_MODELVIEW);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0] + clear[1] + clear[2] + clear[3], 0.0f);

    GLfloat p[16];
    matrix(GL_PROJECTION_MATRIX, p);
    const float focal = 1.0f / std::tan(12.5f * static_cast<float>(M_PI) / 180.0f);
    EXPECT_NEAR(p[5], focal, 1e-4);
    EXPECT_NEAR(p[0], focal / (396.0f / 260.0f), 1e-4);
    EXPECT_NEAR(p[10], -(900.0f + 0.1f) / (900.0f - 0.1f), 1e-5);
    EXPECT_NEAR(p[14], -2.0f * 900.0f * 0.1f / (900.0f - 0.1f), 1e-5);
    GLfloat mv[16];
    matrix(GL_MODELVIEW_MATRIX, mv);
    EXPECT_TRUE(isIdentity(mv));
}

TEST_F(Context, ZeroHeightIsTakenAsOne) {
    f3d->resizeWindow(396, 0);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[3], 1);
    GLfloat p[16];
    matrix(GL_PROJECTION_MATRIX, p);
    EXPECT_NEAR(p[5] / p[0], 396.0f, 1e-2);
    EXPECT_EQ(f3d->getHeight(), 260);  // the stored size is not touched
}

TEST_F(Context, Mode2DAddressesPixelsFromTopLeft) {
    f3d->openMode2D();
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    glVertex2i(0, 0);
    glVertex2i(0, f3d->getHeight());
    glVertex2i(f3d->getWidth(), f3d->getHeight());
    glVertex2i(f3d->getWidth(), 0);
    glColor3f(1, 0, 0);  // one pixel marker at (10, 20)
    glVertex2i(10, 20);
    glVertex2i(10, 21);
    glVertex2i(11, 21);
    glVertex2i(11, 20);
    glEnd();
    f3d->closeMode2D();

    int white = 0;
    for (const auto& p : gl->readFrame()) white += (p.r == 255 && p.g == 255 && p.b == 255);
    EXPECT_EQ(white, 396 * 260 - 1);  // the quad covers every pixel but the marker
    EXPECT_TRUE(colourIs(px(10, 20), 255, 0, 0, 0));
    EXPECT_TRUE(colourIs(px(11, 20), 255, 255, 255, 0));
    EXPECT_TRUE(colourIs(px(10, 21), 255, 255, 255, 0));
}

TEST_F(Context, Mode2DRestoresProjectionAndLeavesIdentityModelview) {
    glEnable(GL_LIGHTING);
    glTranslatef(1, 2, 3);
    GLfloat before[16], after[16], mv[16];
    matrix(GL_PROJECTION_MATRIX, before);
    GLint depthBefore = 0, depthInside = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depthBefore);

    f3d->openMode2D();
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depthInside);
    EXPECT_EQ(depthInside, depthBefore + 1);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    f3d->closeMode2D();

    matrix(GL_PROJECTION_MATRIX, after);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(before[i], after[i]) << i;
    GLint mode = 0, depthAfter = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depthAfter);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_EQ(depthAfter, depthBefore);
    matrix(GL_MODELVIEW_MATRIX, mv);
    EXPECT_TRUE(isIdentity(mv));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}
