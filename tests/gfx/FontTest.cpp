#include "GlFixture.h"

#include <vector>

namespace {

// A 256 x 256 font whose cell n (row by row from the top-left) is coloured (n, 255 - n, 200),
// with the top texel row of every cell marked by blue 50 so orientation shows.
std::vector<uint8_t> fontPicture() {
    std::vector<uint8_t> v;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const int n = (y / 16) * 16 + x / 16;
            v.insert(v.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(255 - n),
                               static_cast<uint8_t>(y % 16 == 0 ? 50 : 200), 255});
        }
    return v;
}

class Font : public GlFixture {
protected:
    void SetUp() override {
        GlFixture::SetUp();
        const std::string path = scratchDir() + "/font.png";
        ASSERT_TRUE(writeRgba(path, 256, 256, fontPicture()));
        f3d->init2DFont(path.c_str(), 0, 16, 16, 16, 16, 256);
        glColor4f(1, 1, 1, 1);
        glBlendFunc(GL_ONE, GL_ZERO);  // show the texel as it is
    }

    // The glyph body colour of code n.
    ::testing::AssertionResult cell(int x, int y, int n) const {
        return colourIs(px(x, y), n, 255 - n, 200);
    }
};

}  // namespace

TEST_F(Font, CharacterPicksItsCellAtOnePixelPerTexel) {
    f3d->drawChar('A', 50, 40, 0.0f);
    saveFrame("font_A");
    EXPECT_TRUE(cell(50, 41, 65));
    EXPECT_TRUE(cell(65, 55, 65));
    EXPECT_TRUE(colourIs(px(57, 40), 65, 190, 50));  // the cell's top row is on top
    EXPECT_TRUE(black(px(49, 45)));
    EXPECT_TRUE(black(px(66, 45)));
    EXPECT_TRUE(black(px(57, 39)));
    EXPECT_TRUE(black(px(57, 56)));

    f3d->drawChar(0, 100, 100, 0.0f);
    f3d->drawChar(127, 150, 100, 0.0f);
    EXPECT_TRUE(cell(108, 108, 0));
    EXPECT_TRUE(cell(158, 108, 127));
}

TEST_F(Font, HighCodesWrapToTheLeftOfThePicture) {
    f3d->drawChar(static_cast<char>(0xFF), 200, 100, 0.0f);
    EXPECT_TRUE(cell(208, 108, 15));
    EXPECT_TRUE(cell(201, 114, 15));
}

TEST_F(Font, PositiveAngleTurnsClockwiseAboutTopLeft) {
    f3d->drawChar('A', 50, 40, 90.0f);
    saveFrame("font_turned");
    // The glyph's top edge is now its right-hand column.
    EXPECT_TRUE(colourIs(px(49, 47), 65, 190, 50));
    EXPECT_TRUE(cell(34, 40, 65));
    EXPECT_TRUE(cell(48, 55, 65));
    EXPECT_TRUE(black(px(50, 47)));
    EXPECT_TRUE(black(px(33, 47)));
    EXPECT_TRUE(black(px(40, 39)));
    EXPECT_TRUE(black(px(40, 56)));
}

TEST_F(Font, StringAdvancesTenPixelsWithLaterGlyphsOnTop) {
    f3d->drawStr("", 100, 50);
    for (const auto& p : gl->readFrame()) ASSERT_TRUE(black(p));

    f3d->drawStr("AB", 100, 50);
    saveFrame("font_string");
    EXPECT_TRUE(cell(100, 55, 65));
    EXPECT_TRUE(cell(109, 55, 65));
    EXPECT_TRUE(cell(110, 55, 66));  // B covers the last 6 columns of A
    EXPECT_TRUE(cell(125, 55, 66));
    EXPECT_TRUE(black(px(126, 55)));
    EXPECT_TRUE(black(px(99, 55)));
}

TEST_F(Font, CurrentColourTintsAndStateIsLeftTidy) {
    glColor4f(1.0f, 0.5f, 0.0f, 1.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_LIGHTING);
    f3d->drawChar('A', 10, 10, 0.0f);
    EXPECT_TRUE(colourIs(px(18, 18), 65, 95, 0));

    GLint src = 0, dst = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLfloat mv[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    EXPECT_EQ(mv[0] + mv[5] + mv[10] + mv[15], 4.0f);
    EXPECT_EQ(mv[12] + mv[13], 0.0f);
}

TEST_F(Font, MissingPictureDrawsNoText) {
    CF3D plain;
    plain.initGL(396, 260);
    plain.init2DFont((scratchDir() + "/nofont.png").c_str(), 0, 16, 16, 16, 16, 256);
    glColor3f(0.0f, 1.0f, 0.0f);
    plain.drawStr("xyz", 20, 30);
    for (const auto& p : gl->readFrame()) ASSERT_TRUE(black(p));
}
