#include "CHud.h"
#include "EffectsSupport.h"

#include <cstring>

namespace {

class Hud : public EffectsGl {
protected:
    void SetUp() override {
        EffectsGl::SetUp();
        if (HasFatalFailure()) return;
        writeTestPictures();
        hud = std::make_unique<CHud>(f3d.get());
        f3d->init2DFont("data/gfx/font_test2.png", 0, 16, 16, 16, 16, 256);
        f3d->initGL(396, 260);
    }

    // Sets the scroll position so that character i lands at x.
    void place(int i, float x) { hud->setScrollPos(x - 12.0f * i); }

    std::unique_ptr<CHud> hud;
};

TEST_F(Hud, AlphaBandsAtTheWindowEdges) {
    float x, alpha;
    place(0, 130);
    EXPECT_FALSE(hud->glyphAt(0, x, alpha));
    const struct { float x, alpha; } cases[] = {
        {131, 1.0f / 30}, {145, 0.5f}, {160, 1}, {340, 1}, {351, 0.5f}, {362, 0}};
    for (const auto& c : cases) {
        place(5, c.x);
        ASSERT_TRUE(hud->glyphAt(5, x, alpha)) << c.x;
        EXPECT_FLOAT_EQ(c.x, x);
        EXPECT_NEAR(c.alpha, alpha, 1e-6) << "at x = " << c.x;
    }
    place(5, 380);
    ASSERT_TRUE(hud->glyphAt(5, x, alpha));
    EXPECT_LT(alpha, 0.0f);  // drawn, and GL clamps the colour to nothing
}

TEST_F(Hud, FirstGlyphAfterConstructionIsTheEighthBlank) {
    int first = -1;
    float x = 0, alpha = 0;
    for (int i = 0; hud->getScrollText()[i] && first < 0; ++i)
        if (hud->glyphAt(i, x, alpha)) first = i;
    EXPECT_FLOAT_EQ(50.0f, hud->getScrollPos());
    EXPECT_EQ(363u, std::strlen(hud->getScrollText()));
    EXPECT_EQ(7, first);
    EXPECT_EQ(' ', hud->getScrollText()[7]);
    EXPECT_FLOAT_EQ(134.0f, x);
}

TEST_F(Hud, ScrollMovesHalfAPixelPerDeltaAndWrapsOncePerFrame) {
    frame(1000);
    frame(1016);  // delta 1.6
    hud->drawScroller();
    EXPECT_NEAR(49.2f, hud->getScrollPos(), 1e-5);

    hud->setScrollPos(-4199.9f);
    frame(1026);  // delta 1.0: -4200.4, wraps in the same frame
    hud->drawScroller();
    EXPECT_FLOAT_EQ(80.0f, hud->getScrollPos());

    hud->setScrollPos(100.0f);
    frame(1026 + 10000000);  // a stalled frame
    hud->drawScroller();
    EXPECT_FLOAT_EQ(80.0f, hud->getScrollPos());
}

TEST_F(Hud, WrappedFrameDrawsFromTheRestartPosition) {
    hud->setScrollPos(-4199.9f);
    frame(1000);
    frame(1010);
    glClear(GL_COLOR_BUFFER_BIT);
    hud->drawBase();
    hud->drawScroller();
    saveFrame("hud_wrap_frame");
    // From 80.0 the 'H' (character 22) stands at x = 344 with alpha 18/22.
    const auto p = gl->pixel(350, 52);
    EXPECT_NEAR(255 * 18.0 / 22, p.r, 3);
    EXPECT_EQ(0, gl->pixel(350, 40).r);  // above the line
    EXPECT_EQ(0, gl->pixel(143, 52).g);  // where the unwrapped text would have ended
}

TEST_F(Hud, GlyphsAreAddedWithTheBaseBlendFunction) {
    glClearColor(100 / 255.0f, 100 / 255.0f, 100 / 255.0f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    place(22, 145 + 0.5f);  // 'H' at x = 145.5, drawn at 145 with alpha 0.5167
    frame(0);
    frame(0);
    hud->drawBase();
    GLint src = 0, dst = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(GL_SRC_ALPHA, src);
    EXPECT_EQ(GL_ONE, dst);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));

    hud->drawScroller();
    saveFrame("hud_glyph_additive");
    // 'H' covers x 145..160 (truncated, not rounded); 'i' starts at 157.
    const double added = 100 + 255 * (15.5 / 30);
    EXPECT_NEAR(added, gl->pixel(145, 52).r, 3);
    EXPECT_NEAR(added, gl->pixel(156, 60).r, 3);
    EXPECT_EQ(100, gl->pixel(144, 52).r);  // the blank before it leaves nothing
    EXPECT_EQ(100, gl->pixel(150, 61).r);  // below the line
}

TEST_F(Hud, PicturesAndTheStateTheyLeave) {
    glClearColor(0.4f, 0.4f, 0.4f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    hud->drawBase();
    hud->drawOverlay();
    saveFrame("hud_pictures");
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLint src = 0, dst = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(GL_SRC_ALPHA, src);
    EXPECT_EQ(GL_ONE_MINUS_SRC_ALPHA, dst);

    EXPECT_NEAR(102, gl->pixel(200, 100).r, 2);  // transparent everywhere: untouched
    EXPECT_NEAR(51, gl->pixel(200, 245).r, 2);   // darkened band, alpha 128
    EXPECT_EQ(255, gl->pixel(20, 100).g);        // added white bar
    const auto top = gl->pixel(4, 4);            // top picture, upright
    EXPECT_EQ(255, top.r);
    EXPECT_EQ(0, top.g);
    EXPECT_NEAR(51, gl->pixel(4, 250).r, 2);     // no square at the bottom: not upside down
}

TEST_F(Hud, TopPictureReachesOnePixelPastTheView) {
    const auto prims = captureFeedback([&] { hud->drawOverlay(); });
    ASSERT_FALSE(prims.empty());
    // The quad is clipped at x = 396, where s has only reached 396 / 397.
    float maxX = 0, sAtRight = 0;
    for (const auto& p : prims)
        for (const auto& v : p.v)
            if (v.x >= maxX) { maxX = v.x; sAtRight = v.s; }
    EXPECT_FLOAT_EQ(396.0f, maxX);
    EXPECT_NEAR(396.0f / 397.0f, sAtRight, 1e-4);
}

}  // namespace
