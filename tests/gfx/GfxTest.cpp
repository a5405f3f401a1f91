#define GL_GLEXT_PROTOTYPES  // glWindowPos2i
#include "CPNGLoader.h"
#include "CPNGWriter.h"
#include "CPointSplat.h"
#include "CSmoothLines.h"
#include "CZoomSum.h"
#include "GlFixture.h"

#include <png.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using Bytes = std::vector<uint8_t>;

PngPicture png(int w, int depth, int type, std::vector<Bytes> rows) {
    return {w, depth, type, std::move(rows), {}, {}, false};
}

}  // namespace

TEST(Png, ColourTypesDecodeToTheirGlLayout) {
    PngPicture pal = png(2, 8, PNG_COLOR_TYPE_PALETTE, {{0, 1}});
    pal.palette = {255, 0, 0, 0, 255, 0};
    PngPicture palTrns = pal, greyTrns = png(4, 4, PNG_COLOR_TYPE_GRAY, {{0x0F, 0x30}});
    palTrns.hasTrns = greyTrns.hasTrns = true;
    palTrns.trnsAlpha = {128, 255};  // greyTrns: grey 0 is transparent in 0 15 3 0
    struct Case {
        const char* what;
        PngPicture pic;
        GLenum format;
        int comps;
        Bytes bytes;
    };
    const Case cases[] = {
        {"palette", pal, GL_RGB, 3, {255, 0, 0, 0, 255, 0}},
        {"palette + tRNS", palTrns, GL_RGBA, 4, {255, 0, 0, 128, 0, 255, 0, 255}},
        {"grey 2", png(4, 2, PNG_COLOR_TYPE_GRAY, {{0x1B}}), GL_LUMINANCE, 1, {0, 85, 170, 255}},
        {"grey 4", png(4, 4, PNG_COLOR_TYPE_GRAY, {{0xF1, 0}}), GL_LUMINANCE, 1, {255, 17, 0, 0}},
        {"grey 4 + tRNS", greyTrns, GL_LUMINANCE_ALPHA, 2, {0, 0, 255, 255, 51, 255, 0, 0}},
        {"grey + alpha", png(1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {{7, 9}}), GL_LUMINANCE_ALPHA, 2, {7, 9}},
        {"rgb, rows bottom first",
         png(1, 8, PNG_COLOR_TYPE_RGB, {{1, 2, 3}, {4, 5, 6}}),
         GL_RGB,
         3,
         {4, 5, 6, 1, 2, 3}},
        {"rgba 16",
         png(2, 16, PNG_COLOR_TYPE_RGB_ALPHA,
             {{0x12, 0x12, 0xAB, 0xAB, 0, 0, 0xFF, 0xFF, 0x80, 0x80, 1, 1, 0xFE, 0xFE, 0x40, 0x40}}),
         GL_RGBA,
         4,
         {0x12, 0xAB, 0, 0xFF, 0x80, 1, 0xFE, 0x40}},
        {"widest allowed",
         png(CPNGLoader::maxDimension, 8, PNG_COLOR_TYPE_GRAY, {Bytes(CPNGLoader::maxDimension, 200)}), GL_LUMINANCE, 1,
         Bytes(CPNGLoader::maxDimension, 200)},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(writePng("p.png", c.pic)) << c.what;
        gl_texture_t* t = CPNGLoader().ReadPNGFromFile("p.png");
        ASSERT_NE(nullptr, t) << c.what;
        const Bytes bytes(t->pixels, t->pixels + size_t(t->imageWidth) * t->imageHeight * t->components);
        EXPECT_TRUE(c.format == t->format && c.comps == t->components && c.pic.width == t->imageWidth &&
                    c.bytes == bytes)
            << c.what;  // bytes bottom row first
        std::free(t->pixels);
        std::free(t);
    }
}

TEST(Png, RejectsWhatIsNotAReadableSanePng) {
    std::ifstream in(CHIPDISK_SOURCE_DIR "/data/gfx/bg.png", std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(whole.size(), 1000u);  // cut inside the picture data
    const unsigned over = CPNGLoader::maxDimension + 1;
    ASSERT_TRUE(writePng("wide.png", png(over, 8, PNG_COLOR_TYPE_GRAY, {Bytes(over, 1)})));
    ASSERT_TRUE(writePng("tall.png", png(1, 1, PNG_COLOR_TYPE_GRAY, std::vector<Bytes>(40000, Bytes{0}))));
    std::ofstream("text.png") << "plain text, not a picture\n";
    std::ofstream("cut.png", std::ios::binary) << whole.substr(0, whole.size() / 2);
    for (const char* name : {"missing.png", "text.png", "cut.png", "wide.png", "tall.png"})
        EXPECT_EQ(nullptr, CPNGLoader().ReadPNGFromFile(name)) << name;
}

// A picture the disk cannot take is reported, and no part of it is left behind.
TEST(Png, AWriteThatFailsLeavesNoFile) {
    Bytes noise(200 * 200 * 4);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    auto writeBeyondTheLimit = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit twoKilobytes = {2048, 2048};
        setrlimit(RLIMIT_FSIZE, &twoKilobytes);
        const bool written = CPNGWriter::write("big.png", 200, 200, noise.data(), true);
        std::exit(written || std::filesystem::exists("big.png") ? 1 : 0);
    };
    EXPECT_EXIT(writeBeyondTheLimit(), testing::ExitedWithCode(0), "");
}

using Gfx = GlFixture;

// What a drawing call puts where: one row per pixel looked at, on a black view.
TEST_F(Gfx, SpritesAndGlyphsLandOnTheirPixels) {
    std::vector<Rect>
        cells;  // font cell n coloured (n, 255 - n, 200), its top texel row blue 50, its right column blue 100
    for (int n = 0; n < 256; ++n)
        for (Rect r :
             {Rect{0, 1, 14, 15, 0, 0, 200, 255}, {15, 1, 15, 15, 0, 0, 100, 255}, {0, 0, 15, 0, 0, 0, 50, 255}})
            cells.push_back({r.x0 + n % 16 * 16, r.y0 + n / 16 * 16, r.x1 + n % 16 * 16, r.y1 + n / 16 * 16, uint8_t(n),
                             uint8_t(255 - n), r.b, 255});
    ASSERT_TRUE(writePicture("font.png", 256, 256, cells));
    const GLuint redBlue = texture("rb.png", 4, 4, {{0, 0, 3, 1, 255, 0, 0, 255}, {0, 2, 3, 3, 0, 0, 255, 255}});
    const GLuint red = texture("r.png", 1, 1, {{0, 0, 0, 0, 255, 0, 0, 255}});
    struct Probe {
        int x, y, r, g, b;
    };
    struct Case {
        const char* what;
        std::function<void()> draw;
        std::vector<Probe> probes;
    };
    const std::vector<Case> cases = {
        {"sprite, upright, untinted",
         [&] {
             glColor4f(.2f, .2f, .2f, .2f);
             f3d->draw2DSprite(100, 100, 40, 40, redBlue);
         },
         {{120, 110, 255, 0, 0},
          {120, 130, 0, 0, 255},
          {100, 112, 255, 0, 0},
          {139, 112, 255, 0, 0},
          {120, 100, 140, 0, 115},
          {120, 139, 115, 0, 140},
          {140, 112, 0, 0, 0},
          {120, 140, 0, 0, 0}}},  // repeat blends the edges
        {"sprite of a missing picture",
         [&] { f3d->draw2DSprite(10, 10, 5, 5, f3d->loadTexture("missing.png")); },
         {{12, 12, 0, 0, 0}}},
        {"char A, top row on top",
         [&] { f3d->drawChar('A', 50, 40, 0); },
         {{50, 41, 65, 190, 200},
          {65, 41, 65, 190, 100},
          {57, 40, 65, 190, 50},
          {49, 45, 0, 0, 0},
          {66, 45, 0, 0, 0},
          {57, 56, 0, 0, 0}}},
        {"codes 0, 127 and 255",
         [&] {
             f3d->drawChar(0, 100, 100, 0);
             f3d->drawChar(127, 150, 100, 0);
             f3d->drawChar(char(0xFF), 200, 100, 0);
         },
         {{108, 108, 0, 255, 200}, {158, 108, 127, 128, 200}, {208, 108, 15, 240, 200}}},
        {"string advances ten pixels",
         [&] {
             f3d->drawStr("AB", 100, 50);
             f3d->drawStr("", 0, 0);
         },
         {{100, 55, 65, 190, 200},
          {109, 55, 65, 190, 200},
          {110, 55, 66, 189, 200},
          {125, 55, 66, 189, 100},
          {126, 55, 0, 0, 0},
          {99, 55, 0, 0, 0}}},
        {"tinted by the current colour",
         [&] {
             glColor4f(1, .5f, 0, 1);
             f3d->drawChar('A', 10, 10, 0);
         },
         {{18, 18, 65, 95, 0}}},
        {"background sphere all round, textured, untinted",
         [&] {
             glColor4f(.2f, .2f, .2f, .2f);
             f3d->drawBG(red);
         },
         {{5, 5, 255, 0, 0}, {300, 200, 255, 0, 0}}},
        {"background without a picture", [&] { f3d->drawBG(0); }, {{5, 5, 0, 0, 0}}},
    };
    f3d->init2DFont("font.png", 0, 16, 16, 16, 16, 256);
    for (const Case& c : cases) {
        glClear(GL_COLOR_BUFFER_BIT);
        glColor4f(1, 1, 1, 1);
        glBlendFunc(GL_ONE, GL_ZERO);  // the texel as it is
        c.draw();
        for (const Probe& p : c.probes)
            EXPECT_TRUE(colourIs(px(p.x, p.y), p.r, p.g, p.b)) << c.what << " at " << p.x << ", " << p.y;
    }
    CF3D noFont;  // a font picture that is missing draws no text
    glClear(GL_COLOR_BUFFER_BIT);
    noFont.init2DFont("nofont.png", 0, 16, 16, 16, 16, 256);
    noFont.drawStr("xyz", 20, 30);
    EXPECT_TRUE(allBlack());
}

// Rows of three bytes are not padded to four, and a new render target starts transparent black.
TEST_F(Gfx, TexturesHoldTheirPicturesRowForRow) {
    ASSERT_TRUE(writePng("rgb.png", png(1, 8, PNG_COLOR_TYPE_RGB, {{1, 2, 3}, {4, 5, 6}})));
    const struct {
        GLuint texture;
        GLenum format;
        Bytes texels;  // bottom row first
    } cases[] = {
        {f3d->loadTexture("rgb.png"), GL_RGB, {4, 5, 6, 1, 2, 3}},
        {f3d->emptyTexture(2, 3), GL_RGBA, Bytes(2 * 3 * 4, 0)},
    };
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (const auto& c : cases) {
        glBindTexture(GL_TEXTURE_2D, c.texture);
        Bytes got(c.texels.size(), 99);
        glGetTexImage(GL_TEXTURE_2D, 0, c.format, GL_UNSIGNED_BYTE, got.data());
        EXPECT_EQ(c.texels, got) << c.format;
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
}

// A soft blob as the captured square (rows from the bottom), with a gain that lets sums saturate.
static std::vector<GLubyte> blob(double gain) {
    std::vector<GLubyte> grey(256 * 256);
    for (int i = 0; i < 256 * 256; ++i) {
        const double dx = i % 256 - 140.0, dy = i / 256 - 110.0;
        grey[i] = static_cast<GLubyte>(std::min(255L, std::lround(gain * 38 * std::exp(-(dx * dx + dy * dy) / 3200))));
    }
    return grey;
}

// Bilinear sample of the repeating square at (s, t), as GL filters it.
static double sample(const std::vector<GLubyte>& grey, double s, double t) {
    const double u = s * 256 - 0.5, v = t * 256 - 0.5, fu = u - std::floor(u), fv = v - std::floor(v);
    auto at = [&](double a, double b) {
        return double(grey[(int(std::floor(b)) & 255) * 256 + (int(std::floor(a)) & 255)]);
    };
    return (1 - fu) * (1 - fv) * at(u, v) + fu * (1 - fv) * at(u + 1, v) + (1 - fu) * fv * at(u, v + 1) +
           fu * fv * at(u + 1, v + 1);
}

// The cheaper drawings run on the renderer the tests use, and CHIPDISK_PLAIN turns each
// off by its own name or all of them by 1.
TEST_F(Gfx, CheaperDrawingsRunHereAndAnswerToTheirNames) {
    struct Case {
        const char* plain;
        bool glow, rings, splat;
    };
    const Case cases[] = {{"", true, true, true},
                          {"glow", false, true, true},
                          {"rings", true, false, true},
                          {"splat", true, true, false},
                          {"1", false, false, false}};
    CZoomSum copies;
    CSmoothLines lines;
    CPointSplat points;
    for (const Case& c : cases) {
        setenv("CHIPDISK_PLAIN", c.plain, 1);
        EXPECT_EQ(c.glow, copies.fastAvailable()) << c.plain;
        EXPECT_EQ(c.rings, lines.available()) << c.plain;
        EXPECT_EQ(c.splat, points.available()) << c.plain;
    }
    unsetenv("CHIPDISK_PLAIN");
}

// The glow sums weighted, zoomed copies of the view's middle 256 x 256 square over the
// whole view: one quad per copy and the one-pass program both stay within the frame
// buffer's rounding of the exact sum.
TEST_F(Gfx, GlowCopiesAddUpToTheExactSum) {
    struct Case {
        int passes;
        float step, r, g, b;
        double gain;
    };
    const Case cases[] = {
        {0, 0.009f, 1, 1, 1, 1},            // no copies: black
        {1, 0.0f, 1.0f, 0.5f, 0.25f, 1},    // the square itself, tinted, at half weight
        {25, 0.009f, 1.0f, 0.6f, 0.3f, 1},  // the tunnel's
        {4, 0.05f, 1.0f, 1.0f, 1.0f, 1},    // the model's
        {25, 0.05f, 0.9f, -0.5f, 0.7f, 1},  // the blur's: mirrored, repeated, a tint below 0
        {25, 0.0f, 0.5f, 1.0f, 0.0f, 4},    // driven past white
    };
    f3d->initGlow();
    for (const Case& c : cases) {
        const std::vector<GLubyte> grey = blob(c.gain);
        std::vector<double> exact(396 * 260 * 3, 0.0);
        float inset = 0.0f;  // stepped in single precision as the drawing steps them
        float weight = 0.5f;
        const double tint[3] = {std::max(0.0f, c.r), std::max(0.0f, c.g), std::max(0.0f, c.b)};
        for (int i = 0; i < c.passes; ++i) {
            for (int y = 0; y < 260; ++y)
                for (int x = 0; x < 396; ++x) {
                    const double s = inset + (x + 0.5) / 396 * (1 - 2.0 * inset);
                    const double level = weight * sample(grey, s, inset + (y + 0.5) / 260 * (1 - 2.0 * inset));
                    for (int ch = 0; ch < 3; ++ch) exact[((259 - y) * 396 + x) * 3 + ch] += tint[ch] * level;
                }
            inset += c.step;
            weight -= 0.5f / c.passes;
        }
        std::vector<Frame> frames;
        for (const char* plain : {"glow", ""}) {
            setenv("CHIPDISK_PLAIN", plain, 1);
            glClearColor(1, 1, 1, 1);  // white round the square: not captured
            glClear(GL_COLOR_BUFFER_BIT);
            glClearColor(0, 0, 0, 0);
            glWindowPos2i(64, 0);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glDrawPixels(256, 256, GL_LUMINANCE, GL_UNSIGNED_BYTE, grey.data());
            f3d->renderGlow(c.passes, c.step, c.r, c.g, c.b);
            frames.push_back(gl->readFrame());
        }
        unsetenv("CHIPDISK_PLAIN");
        // each copy's colour is rounded to 8 bits before it is added, by both paths
        for (int path = 0; path < 2; ++path) {
            long worst = 0;
            for (size_t i = 0; i < frames[path].size(); ++i)
                for (int ch = 0; ch < 3; ++ch)  // away from white, where the last copy's rounding decides
                    if (std::fabs(exact[i * 3 + ch] - 255) > 20) {
                        const double want = std::min(255.0, exact[i * 3 + ch]);
                        worst = std::max(worst, std::lround(std::fabs((&frames[path][i].r)[ch] - want)));
                    }
            EXPECT_LE(worst, 3 + c.passes / 3) << c.passes << " passes, step " << c.step << (path ? "" : ", plain");
        }
    }
}
