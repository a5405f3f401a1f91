#include "CPNGLoader.h"
#include "PngWriter.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

namespace {

struct FreeTexture {
    void operator()(gl_texture_t* t) const {
        if (t) std::free(t->pixels);
        std::free(t);
    }
};
using TexturePtr = std::unique_ptr<gl_texture_t, FreeTexture>;

TexturePtr load(const std::string& path) {
    CPNGLoader loader;
    return TexturePtr(loader.ReadPNGFromFile(path.c_str()));
}

std::vector<uint8_t> bytes(const gl_texture_t& t) {
    return std::vector<uint8_t>(t.pixels, t.pixels + static_cast<size_t>(t.imageWidth) *
                                                         t.imageHeight * t.components);
}

std::string fileFor(const char* name) { return scratchDir() + "/" + name; }

PngPicture greyRow(int depth, std::vector<uint8_t> row, int width) {
    PngPicture p;
    p.width = width;
    p.height = 1;
    p.bitDepth = depth;
    p.colorType = PNG_COLOR_TYPE_GRAY;
    p.rows = {row};
    return p;
}

}  // namespace

TEST(PngLoader, PaletteExpandsToRgbOrRgbaWithTransparency) {
    PngPicture pic;
    pic.width = 2;
    pic.height = 1;
    pic.colorType = PNG_COLOR_TYPE_PALETTE;
    pic.palette = {255, 0, 0, 0, 255, 0};
    pic.rows = {{0, 1}};
    ASSERT_TRUE(writePng(fileFor("pal.png"), pic));
    TexturePtr plain = load(fileFor("pal.png"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->format, static_cast<GLenum>(GL_RGB));
    EXPECT_EQ(plain->components, 3);
    EXPECT_EQ(bytes(*plain), (std::vector<uint8_t>{255, 0, 0, 0, 255, 0}));

    pic.hasTrns = true;
    pic.trnsAlpha = {128, 255};
    ASSERT_TRUE(writePng(fileFor("pal_trns.png"), pic));
    TexturePtr alpha = load(fileFor("pal_trns.png"));
    ASSERT_TRUE(alpha);
    EXPECT_EQ(alpha->format, static_cast<GLenum>(GL_RGBA));
    EXPECT_EQ(alpha->components, 4);
    EXPECT_EQ(bytes(*alpha), (std::vector<uint8_t>{255, 0, 0, 128, 0, 255, 0, 255}));
}

TEST(PngLoader, LowDepthGreyExpandsToEightBitLuminance) {
    struct Case { int depth; uint8_t packed; std::vector<uint8_t> expected; };
    const Case cases[] = {
        {1, 0xA0, {255, 0, 255, 0}},          // bits 1 0 1 0
        {2, 0x1B, {0, 85, 170, 255}},         // values 0 1 2 3
        {4, 0xF1, {255, 17, 0, 0}},           // values 15 1, second byte zero
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        std::vector<uint8_t> row = {c.packed};
        if (c.depth == 4) row.push_back(0x00);  // four 4-bit pixels need two bytes
        ASSERT_TRUE(writePng(fileFor("grey.png"), greyRow(c.depth, row, 4)));
        TexturePtr t = load(fileFor("grey.png"));
        ASSERT_TRUE(t);
        EXPECT_EQ(t->format, static_cast<GLenum>(GL_LUMINANCE));
        EXPECT_EQ(t->components, 1);
        EXPECT_EQ(bytes(*t), c.expected);
    }
}

TEST(PngLoader, LowDepthGreyWithTransparencyGainsAlpha) {
    PngPicture pic = greyRow(4, {0x0F, 0x30}, 4);  // values 0 15 3 0
    pic.hasTrns = true;
    pic.trnsGrey = 0;
    ASSERT_TRUE(writePng(fileFor("grey_trns.png"), pic));
    TexturePtr t = load(fileFor("grey_trns.png"));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->format, static_cast<GLenum>(GL_LUMINANCE_ALPHA));
    EXPECT_EQ(t->components, 2);
    EXPECT_EQ(bytes(*t), (std::vector<uint8_t>{0, 0, 255, 255, 51, 255, 0, 0}));
}

TEST(PngLoader, SixteenBitRgbaIsReducedToEightBits) {
    PngPicture pic;
    pic.width = 2;
    pic.height = 1;
    pic.bitDepth = 16;
    pic.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    pic.rows = {{0x12, 0x12, 0xAB, 0xAB, 0x00, 0x00, 0xFF, 0xFF,
                 0x80, 0x80, 0x01, 0x01, 0xFE, 0xFE, 0x40, 0x40}};
    ASSERT_TRUE(writePng(fileFor("rgba16.png"), pic));
    TexturePtr t = load(fileFor("rgba16.png"));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->format, static_cast<GLenum>(GL_RGBA));
    EXPECT_EQ(t->components, 4);
    EXPECT_EQ(t->imageWidth, 2);
    EXPECT_EQ(bytes(*t), (std::vector<uint8_t>{0x12, 0xAB, 0x00, 0xFF, 0x80, 0x01, 0xFE, 0x40}));
}

TEST(PngLoader, EightBitTypesKeepTheirLayout) {
    PngPicture grey = greyRow(8, {7, 9}, 2);
    grey.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    grey.width = 1;
    ASSERT_TRUE(writePng(fileFor("ga.png"), grey));
    TexturePtr ga = load(fileFor("ga.png"));
    ASSERT_TRUE(ga);
    EXPECT_EQ(ga->format, static_cast<GLenum>(GL_LUMINANCE_ALPHA));
    EXPECT_EQ(bytes(*ga), (std::vector<uint8_t>{7, 9}));

    PngPicture rgb = greyRow(8, {1, 2, 3}, 1);
    rgb.colorType = PNG_COLOR_TYPE_RGB;
    ASSERT_TRUE(writePng(fileFor("rgb.png"), rgb));
    TexturePtr t = load(fileFor("rgb.png"));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->format, static_cast<GLenum>(GL_RGB));
    EXPECT_EQ(t->components, 3);
    EXPECT_EQ(bytes(*t), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(PngLoader, RowsAreStoredBottomFirst) {
    // Top row red, bottom row blue.
    ASSERT_TRUE(writeRgba(fileFor("rb.png"), 2, 2,
                          {255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 255}));
    TexturePtr t = load(fileFor("rb.png"));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->imageWidth, 2);
    EXPECT_EQ(t->imageHeight, 2);
    EXPECT_EQ(bytes(*t), (std::vector<uint8_t>{0, 0, 255, 255, 0, 0, 255, 255,
                                               255, 0, 0, 255, 255, 0, 0, 255}));
}

TEST(PngLoader, InterlacedReadsLikePlain) {
    PngPicture pic;
    pic.width = pic.height = 9;  // every Adam7 pass holds pixels
    for (int y = 0; y < 9; ++y) {
        pic.rows.emplace_back();
        for (int x = 0; x < 9; ++x) pic.rows.back().insert(pic.rows.back().end(), {uint8_t(x * 28), uint8_t(y * 28), 7, 255});
    }
    ASSERT_TRUE(writePng(fileFor("plain.png"), pic));
    pic.interlaced = true;
    ASSERT_TRUE(writePng(fileFor("adam7.png"), pic));
    TexturePtr plain = load(fileFor("plain.png")), adam7 = load(fileFor("adam7.png"));
    ASSERT_TRUE(plain && adam7);
    EXPECT_EQ(bytes(*plain), bytes(*adam7));
}

TEST(PngLoader, RejectsWhatIsNotAReadablePng) {
    const int before = openFileCount();
    EXPECT_FALSE(load(fileFor("does-not-exist.png")));

    { std::ofstream(fileFor("text.png")) << "this is plain text, not a picture\n"; }
    EXPECT_FALSE(load(fileFor("text.png")));

    { std::ofstream(fileFor("short.png"), std::ios::binary) << "\x89PNG"; }
    EXPECT_FALSE(load(fileFor("short.png")));

    // A noisy picture so the image data spans many bytes, then cut in half.
    std::vector<uint8_t> noise(64 * 64 * 4);
    unsigned seed = 12345;
    for (uint8_t& b : noise) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    ASSERT_TRUE(writeRgba(fileFor("full.png"), 64, 64, noise));
    std::vector<char> whole;
    {
        std::ifstream in(fileFor("full.png"), std::ios::binary);
        whole.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(whole.size(), 1000u);
    std::ofstream(fileFor("cut.png"), std::ios::binary).write(whole.data(), whole.size() / 2);
    EXPECT_TRUE(load(fileFor("full.png")));
    EXPECT_FALSE(load(fileFor("cut.png")));

    // A damaged chunk checksum is a decoding error too.
    whole[29] ^= 0x55;  // inside the IHDR checksum
    std::ofstream(fileFor("crc.png"), std::ios::binary).write(whole.data(), whole.size());
    EXPECT_FALSE(load(fileFor("crc.png")));

    EXPECT_EQ(openFileCount(), before);
}

TEST(PngLoader, DimensionLimitIsInclusive) {
    PngPicture wide = greyRow(8, std::vector<uint8_t>(CPNGLoader::maxDimension, 200),
                              CPNGLoader::maxDimension);
    ASSERT_TRUE(writePng(fileFor("wide.png"), wide));
    TexturePtr ok = load(fileFor("wide.png"));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->imageWidth, static_cast<GLsizei>(CPNGLoader::maxDimension));
    EXPECT_EQ(ok->pixels[CPNGLoader::maxDimension - 1], 200);

    const unsigned tooWide = CPNGLoader::maxDimension + 1;
    ASSERT_TRUE(writePng(fileFor("toowide.png"), greyRow(8, std::vector<uint8_t>(tooWide, 1), tooWide)));
    EXPECT_FALSE(load(fileFor("toowide.png")));

    PngPicture tall;
    tall.width = 1;
    tall.height = 40000;
    tall.bitDepth = 1;
    tall.colorType = PNG_COLOR_TYPE_GRAY;
    tall.rows.assign(tall.height, {0});
    ASSERT_TRUE(writePng(fileFor("tall.png"), tall));
    EXPECT_FALSE(load(fileFor("tall.png")));
}

TEST(PngLoader, UnknownColourTypeLeavesRecordAlone) {
    CPNGLoader loader;
    gl_texture_t t{};
    t.format = 0x1234;
    t.components = 9;
    loader.GetPNGtextureInfo(PNG_COLOR_TYPE_PALETTE, &t);
    EXPECT_EQ(t.format, 0x1234u);
    EXPECT_EQ(t.components, 9);
    loader.GetPNGtextureInfo(PNG_COLOR_TYPE_GRAY_ALPHA, &t);
    EXPECT_EQ(t.format, static_cast<GLenum>(GL_LUMINANCE_ALPHA));
    EXPECT_EQ(t.components, 2);
}
