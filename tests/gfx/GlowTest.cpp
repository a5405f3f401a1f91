#define GL_GLEXT_PROTOTYPES  // glWindowPos2i
#include "GlFixture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// Fills a rectangle in GL window coordinates (origin bottom-left) with a grey level.
void paint(int x, int y, int w, int h, float grey) {
    glEnable(GL_SCISSOR_TEST);
    glScissor(x, y, w, h);
    glClearColor(grey, grey, grey, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 0);
}

class Glow : public GlFixture {
protected:
    void SetUp() override {
        GlFixture::SetUp();
        f3d->initGlow();
    }
    bool allBlack() const {
        for (const auto& p : gl->readFrame())
            if (!black(p)) return false;
        return true;
    }
};

// A soft blob as the captured square (256 x 256, rows from the bottom), dim enough that
// no sum of copies saturates.
std::vector<GLubyte> softBlob() {
    std::vector<GLubyte> grey(256 * 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const double d2 = (x - 140.0) * (x - 140.0) + (y - 110.0) * (y - 110.0);
            grey[y * 256 + x] = static_cast<GLubyte>(std::lround(38 * std::exp(-d2 / 3200)));
        }
    return grey;
}

// Bilinear sample of the repeating 256 x 256 square at (s, t), as GL filters it.
double sample(const std::vector<GLubyte>& grey, double s, double t) {
    const double u = s * 256 - 0.5, v = t * 256 - 0.5;
    const double fu = u - std::floor(u), fv = v - std::floor(v);
    auto at = [&](double a, double b) {
        const int x = ((static_cast<int>(std::floor(a)) % 256) + 256) % 256;
        const int y = ((static_cast<int>(std::floor(b)) % 256) + 256) % 256;
        return static_cast<double>(grey[y * 256 + x]);
    };
    return (1 - fu) * (1 - fv) * at(u, v) + fu * (1 - fv) * at(u + 1, v) +
           (1 - fu) * fv * at(u, v + 1) + fu * fv * at(u + 1, v + 1);
}

}  // namespace

TEST_F(Glow, NoPassesLeaveABlackFrame) {
    paint(0, 0, 396, 260, 1.0f);
    f3d->renderGlow(0, 0.009f, 1, 1, 1);
    EXPECT_TRUE(allBlack());
}

TEST_F(Glow, OnePassShowsTheCapturedSquareTintedAtHalfWeight) {
    paint(0, 0, 396, 260, 200.0f / 255.0f);
    f3d->renderGlow(1, 0.0f, 1.0f, 0.5f, 0.25f);
    saveFrame("glow_one_pass");
    for (int y : {0, 130, 259})
        for (int x : {0, 198, 395}) EXPECT_TRUE(colourIs(px(x, y), 100, 50, 25)) << x << "," << y;
}

TEST_F(Glow, OnlyTheCentralSquareIsCaptured) {
    paint(0, 0, 64, 260, 1.0f);     // left margin
    paint(320, 0, 76, 260, 1.0f);   // right margin
    paint(0, 256, 396, 4, 1.0f);    // top four rows
    f3d->renderGlow(25, 0.009f, 1, 1, 1);
    EXPECT_TRUE(allBlack());

    glClear(GL_COLOR_BUFFER_BIT);
    paint(64, 0, 256, 256, 1.0f);
    f3d->renderGlow(1, 0.0f, 1, 1, 1);
    for (int y : {0, 259})
        for (int x : {0, 395}) EXPECT_TRUE(colourIs(px(x, y), 128, 128, 128)) << x << "," << y;
}

TEST_F(Glow, CaptureIsStretchedOverTheWholeView) {
    paint(64, 0, 128, 256, 1.0f);  // left half of the captured square
    f3d->renderGlow(1, 0.0f, 1, 1, 1);
    saveFrame("glow_stretch");
    EXPECT_TRUE(colourIs(px(10, 130), 128, 128, 128));
    EXPECT_TRUE(colourIs(px(190, 130), 128, 128, 128));
    EXPECT_TRUE(black(px(210, 130)));
    EXPECT_TRUE(black(px(385, 130)));
}

TEST_F(Glow, PassWeightsAddUpAndSaturate) {
    // Grey 0.4 under 4 passes of weights 0.5, 0.375, 0.25, 0.125 (sum 1.25) gives 0.5.
    paint(0, 0, 396, 260, 0.4f);
    f3d->renderGlow(4, 0.0f, 1, 1, 1);
    EXPECT_TRUE(colourIs(px(198, 130), 128, 128, 128, 3));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[3], 0.125f);

    // Sum 6.5 for 25 passes: a dim 0.2 grey is driven past white.
    paint(0, 0, 396, 260, 0.2f);
    f3d->renderGlow(25, 0.0f, 0.5f, 1, 0);
    EXPECT_TRUE(colourIs(px(198, 130), 166, 255, 0, 4));
}

TEST_F(Glow, BrightCentreSmearsOutwards) {
    // A dim square in the middle of the captured area, dim enough not to saturate outside it.
    paint(64 + 112, 112, 32, 32, 0.1f);
    f3d->renderGlow(25, 0.009f, 1, 1, 1);
    saveFrame("glow_smear");
    // One pass alone would light only the square's stretched footprint, x 173..222, y 114..146.
    const auto centre = px(198, 130);
    const auto nearOutside = px(198, 108);
    const auto farOutside = px(198, 20);
    EXPECT_TRUE(colourIs(centre, 166, 166, 166, 8));  // 26 x 6.5
    EXPECT_GT(nearOutside.r, 10);
    EXPECT_LT(nearOutside.r, centre.r);
    EXPECT_TRUE(black(farOutside));
    // The tint replaces the scene's colours with a grey level.
    EXPECT_EQ(centre.r, centre.g);
    EXPECT_EQ(centre.g, centre.b);
}

TEST_F(Glow, SceneColourBecomesTintedGrey) {
    glClearColor(0.6f, 0.0f, 0.0f, 1.0f);  // pure red scene
    glClear(GL_COLOR_BUFFER_BIT);
    f3d->renderGlow(1, 0.0f, 0.0f, 1.0f, 1.0f);
    const auto p = px(198, 130);
    EXPECT_EQ(p.r, 0);   // the red channel is tinted away
    EXPECT_GT(p.g, 0);   // but the red scene still shows through its grey level
    EXPECT_EQ(p.g, p.b);
}

TEST_F(Glow, LeavesStateAsTheFollowingLayersExpect) {
    GLint glowName = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &glowName);  // initGlow leaves its texture bound
    ASSERT_NE(glowName, 0);
    GLfloat projBefore[16], projAfter[16], mv[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projBefore);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    paint(0, 0, 396, 260, 0.5f);
    f3d->renderGlow(4, 0.05f, 1, 1, 1);

    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    GLint src = 0, dst = 0, bound = -1;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE);
    EXPECT_EQ(bound, 0);
    glGetFloatv(GL_PROJECTION_MATRIX, projAfter);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(projBefore[i], projAfter[i]);
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    EXPECT_EQ(mv[0] + mv[5] + mv[10] + mv[15], 4.0f);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0] + clear[1] + clear[2] + clear[3], 0.0f);

    // The glow texture now holds the 256 x 256 grey capture.
    glBindTexture(GL_TEXTURE_2D, glowName);
    GLint w = 0, h = 0, lumBits = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_LUMINANCE_SIZE, &lumBits);
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 256);
    EXPECT_GT(lumBits, 0);

    // The combined copies hand on unit 0 active and the other units off and modulating.
    GLint units = 1, active = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE0);
    for (GLint u = 0; u < std::min(units, 8); ++u) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(u));
        GLint mode = 0;
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
        EXPECT_EQ(mode, GL_MODULATE) << "unit " << u;
        if (u > 0) {
            EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D)) << "unit " << u;
        }
    }
    glActiveTexture(GL_TEXTURE0);
}

// The combined path sums several copies per quad; it must stay as close to the exact sum
// of the copies as the one-quad-per-copy path, at every pixel and channel.
TEST_F(Glow, CombinedCopiesStayWithinRoundingOfTheExactSum) {
    struct Case { int passes; float step, r, g, b; };
    const Case cases[] = {
        {25, 0.009f, 1.0f, 0.6f, 0.3f},     // the tunnel's
        {15, 0.009f, 0.809f, 0.82f, 0.46f}, // the rings'
        {4, 0.05f, 1.0f, 1.0f, 1.0f},       // the model's
        {25, 0.05f, 0.9f, -0.5f, 0.7f},     // the blur's zoom: mirrored, repeated, a tint below 0
    };
    const std::vector<GLubyte> grey = softBlob();
    for (const Case& c : cases) {
        // Single-precision insets and weights as the drawing steps them, summed in double.
        std::vector<double> exact(396 * 260 * 3, 0.0);
        float inset = 0.0f, weight = 0.5f;
        const double tint[3] = {std::max(0.0f, c.r), std::max(0.0f, c.g), std::max(0.0f, c.b)};
        for (int i = 0; i < c.passes; ++i, inset += c.step, weight -= 0.5f / c.passes)
            for (int y = 0; y < 260; ++y)
                for (int x = 0; x < 396; ++x) {
                    const double s = inset + (x + 0.5) / 396 * (1 - 2.0 * inset);
                    const double t = inset + (y + 0.5) / 260 * (1 - 2.0 * inset);
                    const double level = weight * sample(grey, s, t);
                    for (int ch = 0; ch < 3; ++ch)
                        exact[((259 - y) * 396 + x) * 3 + ch] += tint[ch] * level;
                }
        long worst[2] = {0, 0};  // in whole levels: plain, combined
        for (int fast = 0; fast < 2; ++fast) {
            if (fast) unsetenv("CHIPDISK_PLAIN"); else setenv("CHIPDISK_PLAIN", "1", 1);
            glWindowPos2i(64, 0);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glDrawPixels(256, 256, GL_LUMINANCE, GL_UNSIGNED_BYTE, grey.data());
            f3d->renderGlow(c.passes, c.step, c.r, c.g, c.b);
            const auto frame = gl->readFrame();
            for (size_t i = 0; i < frame.size(); ++i) {
                const int got[3] = {frame[i].r, frame[i].g, frame[i].b};
                for (int ch = 0; ch < 3; ++ch)
                    worst[fast] = std::max(worst[fast], std::lround(std::fabs(got[ch] - exact[i * 3 + ch])));
            }
        }
        unsetenv("CHIPDISK_PLAIN");
        EXPECT_LE(worst[1], 3) << c.passes << " passes, step " << c.step;
        EXPECT_LE(worst[1], worst[0]) << c.passes << " passes, step " << c.step;
    }
}
