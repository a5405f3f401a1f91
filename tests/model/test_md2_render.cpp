#include "CMD2Model.h"
#include "Md2Builder.h"
#include "OffscreenGL.h"

#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

struct FbVertex {
    float pos[3];  // object coordinates (identity matrices)
    float rgba[4];
};

// One context for the whole run: destroying it unloads the driver, and what
// the driver still holds would then be reported as leaks of an unknown module.
OffscreenGL& sharedContext() {
    static OffscreenGL* gl = new OffscreenGL;
    return *gl;
}

class MD2Render : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gl.ok()) << gl.error();
        glDisable(GL_LIGHTING);
        glDisable(GL_LIGHT1);
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_DEPTH_TEST);
        glViewport(0, 0, gl.width(), gl.height());
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();

        // Two keyframes of one triangle; frame 1 is frame 0 moved and bent.
        Md2Builder b;
        b.numVerts = 3;
        b.tris = {{0, 1, 2, 0, 0, 0}};
        Md2Builder::Frame a;
        a.translate = {-128, -128, -128};
        a.verts = {{100, 110, 120, 0}, {150, 100, 130, 0}, {120, 160, 90, 0}};
        Md2Builder::Frame c = a;
        c.verts = {{120, 100, 150, 0}, {170, 120, 110, 0}, {110, 140, 100, 0}};
        b.frames = {a, c};
        const std::string path = writeTempFile(b.bytes(), "render.md2");
        model.LoadModel(path.c_str());
        std::remove(path.c_str());
        ASSERT_NE(model.getMesh(), nullptr);
    }

    // Draws through feedback mode and returns the vertices as GL saw them.
    std::vector<FbVertex> capture(float x, float y, float z, int fa, int fb, float t, CMD2Model* m = nullptr) {
        std::vector<GLfloat> buf(4096);
        glFeedbackBuffer(GLsizei(buf.size()), GL_3D_COLOR, buf.data());
        glRenderMode(GL_FEEDBACK);
        (m ? m : &model)->Render(x, y, z, fa, fb, t);
        const GLint n = glRenderMode(GL_RENDER);
        std::vector<FbVertex> out;
        for (GLint i = 0; i < n;) {
            EXPECT_EQ(buf[i], GLfloat(GL_POLYGON_TOKEN));
            const int count = int(buf[i + 1]);
            i += 2;
            for (int k = 0; k < count; ++k, i += 7) {
                FbVertex v;
                v.pos[0] = buf[i] / (gl.width() / 2.0f) - 1;
                v.pos[1] = buf[i + 1] / (gl.height() / 2.0f) - 1;
                v.pos[2] = buf[i + 2] * 2 - 1;
                for (int c = 0; c < 4; ++c) v.rgba[c] = buf[i + 3 + c];
                out.push_back(v);
            }
        }
        return out;
    }

    const float* pos(int frame, int v) const { return model.getMesh()->frames[frame * 3 + v].pos; }

    OffscreenGL& gl = sharedContext();
    CMD2Model model;
};

void expectAt(const FbVertex& v, float x, float y, float z) {
    EXPECT_NEAR(v.pos[0], x, 2e-4f);
    EXPECT_NEAR(v.pos[1], y, 2e-4f);
    EXPECT_NEAR(v.pos[2], z, 2e-4f);
}

}  // namespace

TEST_F(MD2Render, BlendsBetweenKeyframesWithOffset) {
    const float ox = 0.05f, oy = -0.1f, oz = 0.02f;
    struct Case { int fa, fb; float t, expectT; };
    // Same frame twice ignores t; t above 1 stops at 1; below 0 extrapolates.
    const Case cases[] = {{1, 1, 0.7f, 0.0f}, {0, 0, -3.0f, 0.0f}, {0, 1, 0.0f, 0.0f}, {0, 1, 0.5f, 0.5f},
                          {0, 1, 1.0f, 1.0f}, {0, 1, 3.0f, 1.0f}, {0, 1, -1.0f, -1.0f}, {1, 0, 0.25f, 0.25f}};
    for (const Case& c : cases) {
        SCOPED_TRACE("frames " + std::to_string(c.fa) + "," + std::to_string(c.fb) + " t=" + std::to_string(c.t));
        const auto verts = capture(ox, oy, oz, c.fa, c.fb, c.t);
        ASSERT_EQ(verts.size(), 3u);
        for (int v = 0; v < 3; ++v) {
            const float* a = pos(c.fa, v);
            const float* b = pos(c.fb, v);
            expectAt(verts[v], ox + a[0] + c.expectT * (b[0] - a[0]), oy + a[1] + c.expectT * (b[1] - a[1]),
                     oz + a[2] + c.expectT * (b[2] - a[2]));
        }
    }
}

TEST_F(MD2Render, CornersCarryFixedNormalsUnderLight1) {
    const auto verts = capture(0, 0, 0, 0, 0, 0);
    ASSERT_EQ(verts.size(), 3u);
    // Default material (ambient 0.2, diffuse 0.8, alpha 1) under the scene
    // ambient 0.2 and light 1 (ambient 1, diffuse 1).
    const float normals[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int v = 0; v < 3; ++v) {
        const float* p = pos(0, v);
        float l[3] = {0 - p[0], 10 - p[1], 2 - p[2]};
        const float len = std::sqrt(l[0] * l[0] + l[1] * l[1] + l[2] * l[2]);
        const float ndotl = (normals[v][0] * l[0] + normals[v][1] * l[1] + normals[v][2] * l[2]) / len;
        const float lit = std::min(1.0f, 0.2f * 0.2f + 1.0f * 0.2f + 0.8f * std::max(0.0f, ndotl));
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(verts[v].rgba[c], lit, 0.01f) << "corner " << v << " channel " << c;
        EXPECT_NEAR(verts[v].rgba[3], 1.0f, 0.01f);
    }
    GLfloat n[4], col[4];
    glGetFloatv(GL_CURRENT_NORMAL, n);
    glGetFloatv(GL_CURRENT_COLOR, col);
    EXPECT_EQ(n[0], 0.0f);
    EXPECT_EQ(n[2], 1.0f);
    EXPECT_FLOAT_EQ(col[0], 1.0f);
    EXPECT_FLOAT_EQ(col[1], 0.0f);
    EXPECT_FLOAT_EQ(col[3], 0.1f);
}

TEST_F(MD2Render, LeavesLightingBlendingOnTexturingOffMatricesAlone) {
    glEnable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-2, 2, -2, 2, -5, 5);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1, 2, 3);
    GLfloat mvBefore[16], prBefore[16], mvAfter[16], prAfter[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, mvBefore);
    glGetFloatv(GL_PROJECTION_MATRIX, prBefore);

    EXPECT_EQ(model.Render(0, 0, 0, 0, 1, 0.5f), 1);

    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLint src = 0, dst = 0, mode = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE);
    EXPECT_EQ(mode, GL_MODELVIEW);
    glGetFloatv(GL_MODELVIEW_MATRIX, mvAfter);
    glGetFloatv(GL_PROJECTION_MATRIX, prAfter);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(mvAfter[i], mvBefore[i]);
        EXPECT_EQ(prAfter[i], prBefore[i]);
    }

    GLfloat amb[4], dif[4], lp[4];
    glGetLightfv(GL_LIGHT1, GL_AMBIENT, amb);
    glGetLightfv(GL_LIGHT1, GL_DIFFUSE, dif);
    glGetLightfv(GL_LIGHT1, GL_POSITION, lp);
    EXPECT_FLOAT_EQ(amb[0], 1.0f);
    EXPECT_FLOAT_EQ(amb[3], 0.4f);
    EXPECT_FLOAT_EQ(dif[1], 1.0f);
    EXPECT_FLOAT_EQ(dif[3], 1.0f);
    // The position goes through the modelview current at the call.
    EXPECT_FLOAT_EQ(lp[0], 1.0f);
    EXPECT_FLOAT_EQ(lp[1], 12.0f);
    EXPECT_FLOAT_EQ(lp[2], 5.0f);
    EXPECT_FLOAT_EQ(lp[3], 1.0f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(MD2Render, NoMeshOrBadFramesDrawNothing) {
    CMD2Model empty;
    empty.LoadModel("/nonexistent/chipdisk/model.md2");
    EXPECT_TRUE(capture(0, 0, 0, 0, 0, 1, &empty).empty());
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));  // without a mesh nothing is touched

    for (auto [fa, fb] : {std::pair{2, 0}, {0, 2}, {-1, 0}, {0, -1}, {1000000, 1000000}})
        EXPECT_TRUE(capture(0, 0, 0, fa, fb, 0.5f).empty()) << fa << "," << fb;
    EXPECT_EQ(capture(0, 0, 0, 1, 0, 0.5f).size(), 3u);
}

// The ball as the model effect shows it: lit, added onto what was behind it.
TEST(MD2Ball, LitAndAdditiveOverBackground) {
    OffscreenGL& gl = sharedContext();
    ASSERT_TRUE(gl.ok()) << gl.error();
    CMD2Model ball;
    ball.LoadModel(CHIPDISK_SOURCE_DIR "/data/3d/boll3.md2");
    ASSERT_NE(ball.getMesh(), nullptr);

    auto draw = [&](float r, float g, float b) {
        glViewport(0, 0, gl.width(), gl.height());
        glClearColor(r, g, b, 1);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glShadeModel(GL_SMOOTH);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(25, 396.0 / 260.0, 0.1, 900);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        gluLookAt(0, 0, 4, 0, 0, 0, 0, 1, 0);
        glRotatef(30, 0, 0, 1);
        ball.Render(0, 0, 0.45f * std::sin(1.0f) - 0.75f, 0, 0, 1);
        glFinish();
        return gl.readFrame();
    };

    const auto dark = draw(0.0f, 0.0f, 0.0f);
    const auto frame = draw(0.2f, 0.1f, 0.3f);
    gl.savePNG(CHIPDISK_BINARY_DIR "/md2_ball.png");

    auto at = [&](const std::vector<OffscreenGL::RGBA>& f, int x, int y) { return f[size_t(y) * gl.width() + x]; };
    const OffscreenGL::RGBA bg = at(frame, 0, 0);
    EXPECT_NEAR(bg.r, 51, 1);
    EXPECT_NEAR(bg.b, 77, 1);
    for (auto [x, y] : {std::pair{0, 0}, {395, 0}, {0, 259}, {395, 259}, {5, 130}, {390, 130}}) {
        const OffscreenGL::RGBA p = at(frame, x, y);
        EXPECT_EQ(p.r, bg.r) << x << "," << y;
        EXPECT_EQ(p.g, bg.g) << x << "," << y;
        EXPECT_EQ(p.b, bg.b) << x << "," << y;
    }

    // Wherever the ball's patches cover the middle, the pixel is grey light (the
    // material, not the magenta current colour) added to the background; between
    // the patches the background shows.
    int inside = 0, unsaturated = 0;
    for (int y = 80; y < 180; ++y)
        for (int x = 148; x < 248; ++x) {
            const OffscreenGL::RGBA d = at(dark, x, y), p = at(frame, x, y);
            if (d.r == 0 && d.g == 0 && d.b == 0) continue;
            ASSERT_GT(d.r, 40) << x << "," << y;
            EXPECT_NEAR(d.r, d.g, 1);
            EXPECT_NEAR(d.g, d.b, 1);
            ++inside;
            if (p.r < 254 && p.g < 254 && p.b < 254) {
                ++unsaturated;
                EXPECT_NEAR(p.r - d.r, bg.r, 2) << x << "," << y;
                EXPECT_NEAR(p.g - d.g, bg.g, 2) << x << "," << y;
                EXPECT_NEAR(p.b - d.b, bg.b, 2) << x << "," << y;
            }
        }
    EXPECT_GT(inside, 100 * 100 / 2);
    EXPECT_GT(unsaturated, inside / 4);
}
