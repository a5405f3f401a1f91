// The GL state each drawing step hands on to the next, which the later layers of a
// frame rely on: one row per step, from a context that the step before left untidy.
#include "CHud.h"
#include "CMD2Model.h"
#include "CSpect.h"
#include "CTunnel.h"
#include "GlFixture.h"

#include <cstdlib>
#include <filesystem>

namespace {

std::vector<float> matrix(GLenum which) {
    std::vector<float> m(16);
    glGetFloatv(which, m.data());
    return m;
}
const std::vector<float> kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
const std::vector<float> kMoved = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};  // as the untidy step left it

enum Mv { AnyMv, IdentityMv, KeptMv };
struct Row {
    const char* step;
    std::function<void()> draw;
    std::vector<std::pair<GLenum, bool>> caps;  // enabled or not afterwards
    std::function<void()> more;
    Mv mv = IdentityMv;
    bool keepsProjection = true;  // projection as before
    GLenum src = 0, dst = 0;      // blend function; 0: not looked at
    bool tidyUnits = false;       // units 1-7 off and modulating, unit 0 active, no texture bound
};

using GlState = GlFixture;

TEST_F(GlState, EachStepLeavesWhatTheNextExpects) {
    ASSERT_TRUE(writePicture("font.png", 256, 256, {{0, 0, 255, 255, 255, 255, 255, 255}}));
    for (const char* name : {"data/gfx/overlay.png", "data/gfx/test2.png"})
        ASSERT_TRUE(writePicture(name, 396, 260, {{0, 0, 9, 9, 255, 255, 255, 255}}));
    std::filesystem::copy_file(CHIPDISK_SOURCE_DIR "/data/3d/boll3.md2", "data/3d/boll3.md2");
    const GLuint tex = texture("t.png", 4, 4, {{0, 0, 3, 3, 255, 255, 255, 255}});
    f3d->init2DFont("font.png", 0, 16, 16, 16, 16, 256);
    f3d->initGlow();
    CHud hud(f3d.get());
    CTunnel tunnel(f3d.get());
    CSpect spect(f3d.get());
    CMD2Model ball;
    ball.LoadModel("data/3d/boll3.md2");
    const std::vector<float> standard = matrix(GL_PROJECTION_MATRIX);
    auto sumBlur = [&](const char* plain) {
        setenv("CHIPDISK_PLAIN", plain, 1);
        spect.drawBlur(25, 0.05f);
        unsetenv("CHIPDISK_PLAIN");
    };
    auto expectInt = [](GLenum what, int value) {  // the viewport as width * 1000 + height
        GLint got[4] = {};
        glGetIntegerv(what, got);
        EXPECT_EQ(value, what == GL_VIEWPORT ? got[2] * 1000 + got[3] : got[0]) << std::hex << what;
    };
    auto expectFloat = [](GLenum what, float value) {  // the clear colour as its sum, the current colour its alpha
        GLfloat got[4] = {};
        glGetFloatv(what, got);
        EXPECT_FLOAT_EQ(value, what == GL_COLOR_CLEAR_VALUE ? got[0] + got[1] + got[2] + got[3]
                                                            : got[what == GL_CURRENT_COLOR ? 3 : 0])
            << std::hex << what;
    };
    const Row rows[] = {
        {"initGL",
         [&] { f3d->initGL(396, 260); },
         {{GL_DEPTH_TEST, true}, {GL_BLEND, false}, {GL_CULL_FACE, false}},
         [&] {
             expectInt(GL_DEPTH_FUNC, GL_LEQUAL);
             expectInt(GL_SHADE_MODEL, GL_SMOOTH);
             expectInt(GL_VIEWPORT, 396260);
             expectFloat(GL_COLOR_CLEAR_VALUE, 0);
             expectFloat(GL_DEPTH_CLEAR_VALUE, 1);
             EXPECT_EQ(standard, matrix(GL_PROJECTION_MATRIX));
         },
         IdentityMv,
         false},
        {"a window of no height",
         [&] { f3d->resizeWindow(396, 0); },
         {},
         [&] {
             expectInt(GL_VIEWPORT, 396001);
             expectInt(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
             EXPECT_NEAR(396, matrix(GL_PROJECTION_MATRIX)[5] / matrix(GL_PROJECTION_MATRIX)[0], 0.01);
             f3d->resizeWindow(396, 260);
         },
         IdentityMv,
         false},
        {"2D mode and back",
         [&] {
             glEnable(GL_DEPTH_TEST);
             f3d->openMode2D();
         },
         {{GL_DEPTH_TEST, false}, {GL_LIGHTING, false}},
         [&] {
             const std::vector<float> ortho = matrix(GL_PROJECTION_MATRIX);
             EXPECT_TRUE(ortho[10] == -2 && ortho[14] == -1) << "depths 0 to 1";  // x and y: where sprites land
             f3d->closeMode2D();
             EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
             EXPECT_EQ(standard, matrix(GL_PROJECTION_MATRIX));
             expectInt(GL_PROJECTION_STACK_DEPTH, 1);
             expectInt(GL_MATRIX_MODE, GL_MODELVIEW);
         },
         IdentityMv,
         false},
        {"character",
         [&] { f3d->drawChar('A', 10, 10, 0); },
         {{GL_BLEND, false}, {GL_TEXTURE_2D, false}, {GL_LIGHTING, false}, {GL_DEPTH_TEST, true}},
         nullptr,
         IdentityMv,
         true,
         GL_ONE,
         GL_ZERO},  // the caller's blend function: the scroller adds with it
        {"sprite",
         [&] { f3d->draw2DSprite(10, 10, 5, 5, tex); },
         {{GL_TEXTURE_2D, false}, {GL_DEPTH_TEST, true}},
         [&] { expectFloat(GL_CURRENT_COLOR, 1); }},
        {"background",
         [&] { f3d->drawBG(tex); },
         {{GL_TEXTURE_2D, false}},
         [&] {
             EXPECT_EQ((std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -6, 1}),
                       matrix(GL_MODELVIEW_MATRIX));
             expectFloat(GL_CURRENT_COLOR, 1);
         },
         AnyMv},
        {"glow",
         [&] { f3d->renderGlow(4, 0.05f, 1, 1, 1); },
         {{GL_DEPTH_TEST, true},
          {GL_TEXTURE_2D, false},
          {GL_BLEND, false},
          {GL_TEXTURE_GEN_S, false},
          {GL_TEXTURE_GEN_T, false},
          {GL_LIGHTING, false}},
         [&] {
             expectFloat(GL_COLOR_CLEAR_VALUE, 0);
             expectFloat(GL_CURRENT_COLOR, 0.125f);
         },
         IdentityMv,
         true,
         GL_SRC_ALPHA,
         GL_ONE,
         true},
        {"blur, one quad a copy",
         [&] { sumBlur("glow"); },
         {{GL_DEPTH_TEST, true}, {GL_TEXTURE_2D, false}, {GL_BLEND, false}},
         nullptr,
         IdentityMv,
         true,
         GL_SRC_ALPHA,
         GL_ONE,
         true},
        {"blur, combined copies",
         [&] { sumBlur(""); },
         {{GL_DEPTH_TEST, true}, {GL_TEXTURE_2D, false}, {GL_BLEND, false}},
         nullptr,
         IdentityMv,
         true,
         GL_SRC_ALPHA,
         GL_ONE,
         true},
        {"blur source",
         [&] { spect.renderToText(); },
         {},
         [&] {
             expectInt(GL_VIEWPORT, 396260);
             expectFloat(GL_COLOR_CLEAR_VALUE, 0);
         },
         AnyMv,
         false},
        {"tunnel",
         [&] {
             frame(5000);
             frame(5016);
             tunnel.draw();
         },
         {{GL_BLEND, true}, {GL_POINT_SMOOTH, true}, {GL_TEXTURE_2D, false}, {GL_FOG, false}},
         [&] {
             EXPECT_EQ(standard, matrix(GL_PROJECTION_MATRIX));
             expectInt(GL_PROJECTION_STACK_DEPTH, 1);
             expectInt(GL_MODELVIEW_STACK_DEPTH, 1);
             expectInt(GL_MATRIX_MODE, GL_MODELVIEW);
             expectInt(GL_VIEWPORT, 396260);
             expectFloat(GL_LINE_WIDTH, 0.3f);
         },
         IdentityMv,
         false,
         GL_SRC_ALPHA,
         GL_ONE},
        {"HUD base",
         [&] { hud.drawBase(); },
         {{GL_BLEND, false}, {GL_TEXTURE_2D, false}},
         nullptr,
         IdentityMv,
         true,
         GL_SRC_ALPHA,
         GL_ONE},
        {"HUD top picture",
         [&] { hud.drawOverlay(); },
         {{GL_BLEND, true}, {GL_TEXTURE_2D, false}},
         nullptr,
         IdentityMv,
         true,
         GL_SRC_ALPHA,
         GL_ONE_MINUS_SRC_ALPHA},
        {"ball",
         [&] { ball.Render(0, 0, 0, 0, 0, 0.5f); },
         {{GL_LIGHTING, true}, {GL_LIGHT1, true}, {GL_BLEND, true}, {GL_TEXTURE_2D, false}},
         [&] {
             GLfloat p[4];  // the light placed through the model-view of the moment
             glGetLightfv(GL_LIGHT1, GL_POSITION, p);
             EXPECT_TRUE(p[0] == 1 && p[1] == 12 && p[2] == 5 && p[3] == 1);
         },
         KeptMv,
         true,
         GL_SRC_ALPHA,
         GL_ONE},
        {"no ball",
         [&] { CMD2Model().Render(0, 0, 0, 0, 0, 1); },
         {{GL_BLEND, false}, {GL_TEXTURE_2D, true}},
         nullptr,
         KeptMv},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.step);
        f3d->initGL(396, 260);  // then untidy, as a careless step before might leave it
        for (GLenum cap : {GL_TEXTURE_2D, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_LIGHTING}) glEnable(cap);
        glDisable(GL_BLEND);
        glDisable(GL_DEPTH_TEST);
        glBlendFunc(GL_ONE, GL_ZERO);
        glColor4f(0.2f, 0.2f, 0.2f, 0.2f);
        glClearColor(1, 1, 1, 1);
        glClearDepth(0.5);
        glShadeModel(GL_FLAT);
        glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
        glTranslatef(1, 2, 3);
        const std::vector<float> projection = matrix(GL_PROJECTION_MATRIX);
        r.draw();
        for (const auto& [cap, on] : r.caps) EXPECT_EQ(on, bool(glIsEnabled(cap))) << "cap " << std::hex << cap;
        if (r.src) {
            expectInt(GL_BLEND_SRC, int(r.src));
            expectInt(GL_BLEND_DST, int(r.dst));
        }
        EXPECT_TRUE(r.mv == AnyMv || matrix(GL_MODELVIEW_MATRIX) == (r.mv == KeptMv ? kMoved : kIdentity))
            << "model-view";
        EXPECT_TRUE(!r.keepsProjection || matrix(GL_PROJECTION_MATRIX) == projection) << "projection";
        if (r.tidyUnits) {
            expectInt(GL_ACTIVE_TEXTURE, GL_TEXTURE0);
            expectInt(GL_TEXTURE_BINDING_2D, 0);
        }
        for (GLenum u = 0; r.tidyUnits && u < 8; ++u) {
            GLint mode = 0;
            glActiveTexture(GL_TEXTURE0 + u);
            glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
            EXPECT_TRUE(mode == GL_MODULATE && (u == 0 || !glIsEnabled(GL_TEXTURE_2D))) << "unit " << u;
            glActiveTexture(GL_TEXTURE0);
        }
        if (r.more) r.more();
        EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
    }
}

}  // namespace
