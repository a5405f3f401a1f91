#include "GlFixture.h"

#include <png.h>

#include <cmath>
#include <vector>

namespace {

std::vector<uint8_t> solid(int w, int h, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    std::vector<uint8_t> v;
    for (int i = 0; i < w * h; ++i) v.insert(v.end(), {r, g, b, a});
    return v;
}

GLint boundTexture() {
    GLint name = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return name;
}

}  // namespace

using Textures = GlFixture;

TEST_F(Textures, UnpaddedRowsUploadIntact) {
    // 3 RGB pixels make 9-byte rows, which the default unpack alignment would misread.
    PngPicture pic;
    pic.width = 3;
    pic.height = 2;
    pic.colorType = PNG_COLOR_TYPE_RGB;
    pic.rows = {{10, 11, 12, 20, 21, 22, 30, 31, 32}, {40, 41, 42, 50, 51, 52, 60, 61, 62}};
    const std::string path = scratchDir() + "/odd.png";
    ASSERT_TRUE(writePng(path, pic));
    GLuint name = f3d->loadTexture(path.c_str());
    ASSERT_NE(name, 0u);
    EXPECT_EQ(boundTexture(), static_cast<GLint>(name));
    GLint w = 0, h = 0, filter = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(filter, GL_LINEAR);
    std::vector<uint8_t> back(18);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, back.data());
    // Bottom row of the picture comes first in the texture.
    EXPECT_EQ(back, (std::vector<uint8_t>{40, 41, 42, 50, 51, 52, 60, 61, 62,
                                          10, 11, 12, 20, 21, 22, 30, 31, 32}));
    GLint align = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &align);
    EXPECT_EQ(align, 4);
}

TEST_F(Textures, UnreadablePictureGivesNameZero) {
    EXPECT_EQ(f3d->loadTexture((scratchDir() + "/missing.png").c_str()), 0u);
    EXPECT_EQ(f3d->loadTexture("/"), 0u);
}

TEST_F(Textures, EmptyTextureIsTransparentBlackRgba) {
    // Dirty the memory a new texture might reuse.
    loadRgba("white.png", 128, 128, solid(128, 128, 255, 255, 255));
    GLuint name = f3d->emptyTexture(128, 128);
    ASSERT_NE(name, 0u);
    EXPECT_EQ(boundTexture(), static_cast<GLint>(name));
    GLint w = 0, h = 0, alphaBits = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alphaBits);
    EXPECT_EQ(w, 128);
    EXPECT_EQ(h, 128);
    EXPECT_GT(alphaBits, 0);
    std::vector<uint8_t> texels(128 * 128 * 4, 7);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_EQ(texels, std::vector<uint8_t>(128 * 128 * 4, 0));
}

using Sprites = GlFixture;

TEST_F(Sprites, CoversExactlyItsPixelRectangle) {
    GLuint white = loadRgba("white.png", 4, 4, solid(4, 4, 255, 255, 255));
    f3d->draw2DSprite(105, 241, 20, 13, white);
    saveFrame("sprite_rect");
    int lit = 0, minX = 999, maxX = -1, minY = 999, maxY = -1;
    const auto frame = gl->readFrame();
    for (int y = 0; y < 260; ++y)
        for (int x = 0; x < 396; ++x) {
            const auto& p = frame[static_cast<size_t>(y) * 396 + x];
            if (black(p)) continue;
            ++lit;
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
            EXPECT_TRUE(colourIs(p, 255, 255, 255, 0));
        }
    EXPECT_EQ(lit, 20 * 13);
    EXPECT_EQ(minX, 105);
    EXPECT_EQ(maxX, 124);
    EXPECT_EQ(minY, 241);
    EXPECT_EQ(maxY, 253);
}

TEST_F(Sprites, PictureIsUprightAndLeavesStateForOthers) {
    // 4 x 4: top half red, bottom half blue.
    std::vector<uint8_t> rgba = solid(4, 2, 255, 0, 0);
    const auto blue = solid(4, 2, 0, 0, 255);
    rgba.insert(rgba.end(), blue.begin(), blue.end());
    GLuint t = loadRgba("redblue.png", 4, 4, rgba);
    glColor4f(0.2f, 0.2f, 0.2f, 0.2f);  // the sprite must not be tinted by the caller's colour
    f3d->draw2DSprite(100, 100, 40, 40, t);
    saveFrame("sprite_upright");
    // Away from the edges, where repeat wrapping blends in the opposite side.
    EXPECT_TRUE(colourIs(px(120, 110), 255, 0, 0));
    EXPECT_TRUE(colourIs(px(120, 130), 0, 0, 255));

    GLfloat colour[4], mv[16];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0] + colour[1] + colour[2] + colour[3], 4.0f);
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    EXPECT_EQ(mv[0] + mv[5] + mv[10] + mv[15], 4.0f);
    EXPECT_EQ(mv[12] + mv[13] + mv[14], 0.0f);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_F(Sprites, ZeroSizeAndAPictureThatFailedToLoadDrawNothing) {
    GLuint white = loadRgba("white.png", 4, 4, solid(4, 4, 255, 255, 255));
    f3d->draw2DSprite(50, 50, 0, 30, white);
    f3d->draw2DSprite(80, 50, 30, 0, white);
    f3d->draw2DSprite(10, 10, 5, 5, 0);
    for (const auto& p : gl->readFrame()) ASSERT_TRUE(black(p));
}

TEST_F(Sprites, CallerBlendStateApplies) {
    glClearColor(0.0f, 0.0f, 1.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    GLuint halfRed = loadRgba("halfred.png", 2, 2, solid(2, 2, 255, 0, 0, 128));
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    f3d->draw2DSprite(0, 0, 10, 10, halfRed);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(colourIs(px(5, 5), 128, 0, 127, 2));
}

namespace {

// A background picture with no black anywhere and a different colour in every region.
std::vector<uint8_t> bgPicture() {
    std::vector<uint8_t> v;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            v.insert(v.end(), {static_cast<uint8_t>(60 + x * 3), static_cast<uint8_t>(60 + y * 3),
                               static_cast<uint8_t>(((x / 8 + y / 8) % 2) ? 240 : 60), 255});
    return v;
}

}  // namespace

using Background = GlFixture;

TEST_F(Background, SphereSurroundsTheEyeAndTurnsWithTheFrameDelta) {
    GLuint bg = loadRgba("bg.png", 64, 64, bgPicture());
    f3d->setTicks(300);
    f3d->calcDt();
    f3d->drawBG(bg);
    saveFrame("background");
    const auto first = gl->readFrame();
    for (const auto& p : first) ASSERT_FALSE(black(p)) << "the sphere must fill the whole view";

    // No time passed: the same orientation again.
    f3d->calcDt();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    f3d->drawBG(bg);
    const auto still = gl->readFrame();
    EXPECT_TRUE(std::equal(first.begin(), first.end(), still.begin(), [](auto& a, auto& b) {
        return a.r == b.r && a.g == b.g && a.b == b.b;
    }));

    GLfloat mv[16], colour[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    EXPECT_FLOAT_EQ(mv[14], -6.0f);
    EXPECT_FLOAT_EQ(mv[0] + mv[5] + mv[10], 3.0f);
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0] + colour[1] + colour[2] + colour[3], 4.0f);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(Background, TwoCallsTurnAsFarAsOneCallWithDoubleDelta) {
    GLuint bg = loadRgba("bg.png", 64, 64, bgPicture());
    auto frameAfter = [&](int ticks, int calls) {
        CF3D ctx;
        ctx.initGL(396, 260);
        ctx.setTicks(ticks);
        ctx.calcDt();
        for (int i = 0; i < calls; ++i) {
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            ctx.drawBG(bg);
        }
        return gl->readFrame();
    };
    auto same = [](const std::vector<OffscreenGL::RGBA>& a, const std::vector<OffscreenGL::RGBA>& b) {
        int differing = 0;
        for (size_t i = 0; i < a.size(); ++i)
            differing += std::abs(a[i].r - b[i].r) + std::abs(a[i].g - b[i].g) > 4;
        return differing;
    };
    const auto twice = frameAfter(200, 2);   // 2 x 20 degrees about x
    const auto once = frameAfter(400, 1);    // 1 x 40 degrees about x
    const auto half = frameAfter(200, 1);    // only 20 degrees
    EXPECT_EQ(same(twice, once), 0);
    EXPECT_GT(same(twice, half), 396 * 260 / 10);
}
