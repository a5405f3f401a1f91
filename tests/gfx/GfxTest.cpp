#define GL_GLEXT_PROTOTYPES  // glWindowPos2i
#include "CPNGLoader.h"
#include "GlFixture.h"

#include <dirent.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

namespace {

using Bytes = std::vector<uint8_t>;

// Decodes path; on success fills format, components, width and the bottom-first bytes.
bool decode(const std::string& path, GLenum& format, int& comps, int& width, Bytes& out) {
    gl_texture_t* t = CPNGLoader().ReadPNGFromFile(path.c_str());
    if (!t) return false;
    format = t->format;
    comps = t->components;
    width = t->imageWidth;
    out.assign(t->pixels, t->pixels + static_cast<size_t>(t->imageWidth) * t->imageHeight * comps);
    std::free(t->pixels);
    std::free(t);
    return true;
}

PngPicture png(int w, int depth, int type, std::vector<Bytes> rows) {
    PngPicture p;
    p.width = w;
    p.bitDepth = depth;
    p.colorType = type;
    p.rows = std::move(rows);
    return p;
}

int openFiles() {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (d && readdir(d)) ++n;
    if (d) closedir(d);
    return n;
}

}  // namespace

TEST(Png, ColourTypesDecodeToTheirGlLayout) {
    PngPicture pal = png(2, 8, PNG_COLOR_TYPE_PALETTE, {{0, 1}});
    pal.palette = {255, 0, 0, 0, 255, 0};
    PngPicture palTrns = pal;
    palTrns.hasTrns = true;
    palTrns.trnsAlpha = {128, 255};
    PngPicture greyTrns = png(4, 4, PNG_COLOR_TYPE_GRAY, {{0x0F, 0x30}});  // 0 15 3 0
    greyTrns.hasTrns = true;
    PngPicture adam7 = png(9, 8, PNG_COLOR_TYPE_RGB, {});
    for (int y = 0; y < 9; ++y) {  // 9 x 9: every interlace pass holds pixels
        adam7.rows.emplace_back();
        for (int x = 0; x < 9; ++x) adam7.rows.back().insert(adam7.rows.back().end(), {uint8_t(x * 28), uint8_t(y), 7});
    }
    PngPicture plain = adam7;
    adam7.interlaced = true;
    Bytes plainBytes;
    for (int y = 8; y >= 0; --y) plainBytes.insert(plainBytes.end(), plain.rows[y].begin(), plain.rows[y].end());
    struct Case { const char* what; PngPicture pic; GLenum format; int comps; Bytes bytes; };
    const Case cases[] = {
        {"palette", pal, GL_RGB, 3, {255, 0, 0, 0, 255, 0}},
        {"palette + tRNS", palTrns, GL_RGBA, 4, {255, 0, 0, 128, 0, 255, 0, 255}},
        {"grey 1", png(4, 1, PNG_COLOR_TYPE_GRAY, {{0xA0}}), GL_LUMINANCE, 1, {255, 0, 255, 0}},
        {"grey 2", png(4, 2, PNG_COLOR_TYPE_GRAY, {{0x1B}}), GL_LUMINANCE, 1, {0, 85, 170, 255}},
        {"grey 4", png(4, 4, PNG_COLOR_TYPE_GRAY, {{0xF1, 0}}), GL_LUMINANCE, 1, {255, 17, 0, 0}},
        {"grey 4 + tRNS", greyTrns, GL_LUMINANCE_ALPHA, 2, {0, 0, 255, 255, 51, 255, 0, 0}},
        {"grey + alpha", png(1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {{7, 9}}), GL_LUMINANCE_ALPHA, 2, {7, 9}},
        {"rgb, rows bottom first", png(1, 8, PNG_COLOR_TYPE_RGB, {{1, 2, 3}, {4, 5, 6}}), GL_RGB, 3, {4, 5, 6, 1, 2, 3}},
        {"rgba 16", png(2, 16, PNG_COLOR_TYPE_RGB_ALPHA, {{0x12, 0x12, 0xAB, 0xAB, 0, 0, 0xFF, 0xFF, 0x80, 0x80, 1, 1, 0xFE, 0xFE, 0x40, 0x40}}),
         GL_RGBA, 4, {0x12, 0xAB, 0, 0xFF, 0x80, 1, 0xFE, 0x40}},
        {"interlaced", adam7, GL_RGB, 3, plainBytes},
        {"widest allowed", png(CPNGLoader::maxDimension, 8, PNG_COLOR_TYPE_GRAY, {Bytes(CPNGLoader::maxDimension, 200)}),
         GL_LUMINANCE, 1, Bytes(CPNGLoader::maxDimension, 200)},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(writePng("p.png", c.pic)) << c.what;
        GLenum format = 0;
        int comps = 0, width = 0;
        Bytes got;
        ASSERT_TRUE(decode("p.png", format, comps, width, got)) << c.what;
        EXPECT_EQ(c.format, format) << c.what;
        EXPECT_EQ(c.comps, comps) << c.what;
        EXPECT_EQ(c.pic.width, width) << c.what;
        EXPECT_EQ(c.bytes, got) << c.what;
    }
}

TEST(Png, RejectsWhatIsNotAReadableSanePngAndClosesTheFile) {
    Bytes noise(64 * 64 * 4);
    unsigned seed = 12345;
    for (uint8_t& b : noise) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    PngPicture full = png(64, 8, PNG_COLOR_TYPE_RGB_ALPHA, {});
    for (int y = 0; y < 64; ++y) full.rows.emplace_back(noise.begin() + y * 256, noise.begin() + y * 256 + 256);
    ASSERT_TRUE(writePng("full.png", full));
    std::ifstream in("full.png", std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string crc = whole;
    crc[29] ^= 0x55;  // inside the header's checksum
    const unsigned over = CPNGLoader::maxDimension + 1;
    ASSERT_TRUE(writePng("wide.png", png(over, 8, PNG_COLOR_TYPE_GRAY, {Bytes(over, 1)})));
    ASSERT_TRUE(writePng("tall.png", png(1, 1, PNG_COLOR_TYPE_GRAY, std::vector<Bytes>(40000, Bytes{0}))));
    for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"text.png", "plain text, not a picture\n"},
                                      {"short.png", "\x89PNG"}, {"cut.png", whole.substr(0, whole.size() / 2)},
                                      {"crc.png", crc}})
        std::ofstream(name, std::ios::binary) << bytes;
    const int before = openFiles();
    for (const char* name : {"missing.png", "text.png", "short.png", "cut.png", "crc.png", "wide.png", "tall.png"})
        EXPECT_EQ(nullptr, CPNGLoader().ReadPNGFromFile(name)) << name;
    EXPECT_EQ(before, openFiles());
}

using Gfx = GlFixture;

TEST_F(Gfx, TexturesUploadUnpaddedRowsAndEmptyOnesAreTransparentBlack) {
    ASSERT_TRUE(writePng("odd.png", png(3, 8, PNG_COLOR_TYPE_RGB, {{10, 11, 12, 20, 21, 22, 30, 31, 32},
                                                                    {40, 41, 42, 50, 51, 52, 60, 61, 62}})));
    ASSERT_NE(0u, f3d->loadTexture("odd.png"));
    Bytes back(18);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, back.data());
    EXPECT_EQ((Bytes{40, 41, 42, 50, 51, 52, 60, 61, 62, 10, 11, 12, 20, 21, 22, 30, 31, 32}), back);
    EXPECT_EQ(0u, f3d->loadTexture("missing.png"));

    texture("white.png", 128, 128, {{0, 0, 127, 127, 255, 255, 255, 255}});  // memory to reuse
    ASSERT_NE(0u, f3d->emptyTexture(128, 128));
    Bytes texels(128 * 128 * 4, 7);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_EQ(Bytes(128 * 128 * 4, 0), texels);
}

// What a drawing call puts where: one row per pixel looked at, on a black view.
TEST_F(Gfx, SpritesAndGlyphsLandOnTheirPixels) {
    // font cell n coloured (n, 255 - n, 200), its top texel row blue 50
    PngPicture font = png(256, 8, PNG_COLOR_TYPE_RGB_ALPHA, {});
    for (int y = 0; y < 256; ++y) {
        font.rows.emplace_back();
        for (int x = 0; x < 256; ++x) {
            const int n = (y / 16) * 16 + x / 16;
            font.rows.back().insert(font.rows.back().end(), {uint8_t(n), uint8_t(255 - n), uint8_t(y % 16 ? 200 : 50), 255});
        }
    }
    ASSERT_TRUE(writePng("font.png", font));
    const GLuint redBlue = texture("rb.png", 4, 4, {{0, 0, 3, 1, 255, 0, 0, 255}, {0, 2, 3, 3, 0, 0, 255, 255}});
    struct Probe { int x, y, r, g, b; };
    struct Case { const char* what; std::function<void()> draw; std::vector<Probe> probes; };
    const std::vector<Case> cases = {
        {"sprite, upright, untinted", [&] { glColor4f(.2f, .2f, .2f, .2f); f3d->draw2DSprite(100, 100, 40, 40, redBlue); },
         {{120, 110, 255, 0, 0}, {120, 130, 0, 0, 255}, {99, 120, 0, 0, 0}, {140, 120, 0, 0, 0}, {120, 140, 0, 0, 0}}},
        {"sprite of no size or no picture", [&] { f3d->draw2DSprite(50, 50, 0, 30, redBlue); f3d->draw2DSprite(80, 50, 30, 0, redBlue);
                                                  f3d->draw2DSprite(10, 10, 5, 5, 0); },
         {{50, 60, 0, 0, 0}, {90, 50, 0, 0, 0}, {12, 12, 0, 0, 0}}},
        {"char A, top row on top", [&] { f3d->drawChar('A', 50, 40, 0); },
         {{50, 41, 65, 190, 200}, {65, 55, 65, 190, 200}, {57, 40, 65, 190, 50}, {49, 45, 0, 0, 0}, {66, 45, 0, 0, 0}, {57, 56, 0, 0, 0}}},
        {"codes 0, 127 and 255", [&] { f3d->drawChar(0, 100, 100, 0); f3d->drawChar(127, 150, 100, 0); f3d->drawChar(char(0xFF), 200, 100, 0); },
         {{108, 108, 0, 255, 200}, {158, 108, 127, 128, 200}, {208, 108, 15, 240, 200}}},
        {"char turned clockwise about its top left", [&] { f3d->drawChar('A', 50, 40, 90); },
         {{49, 47, 65, 190, 50}, {34, 40, 65, 190, 200}, {48, 55, 65, 190, 200}, {50, 47, 0, 0, 0}, {33, 47, 0, 0, 0}}},
        {"string advances ten pixels", [&] { f3d->drawStr("AB", 100, 50); f3d->drawStr("", 0, 0); },
         {{100, 55, 65, 190, 200}, {109, 55, 65, 190, 200}, {110, 55, 66, 189, 200}, {125, 55, 66, 189, 200}, {126, 55, 0, 0, 0}, {99, 55, 0, 0, 0}}},
        {"tinted by the current colour", [&] { glColor4f(1, .5f, 0, 1); f3d->drawChar('A', 10, 10, 0); }, {{18, 18, 65, 95, 0}}},
    };
    f3d->init2DFont("font.png", 0, 16, 16, 16, 16, 256);
    for (const Case& c : cases) {
        glClear(GL_COLOR_BUFFER_BIT);
        glColor4f(1, 1, 1, 1);
        glBlendFunc(GL_ONE, GL_ZERO);  // the texel as it is
        c.draw();
        for (const Probe& p : c.probes) EXPECT_TRUE(colourIs(px(p.x, p.y), p.r, p.g, p.b)) << c.what << " at " << p.x << ", " << p.y;
    }
    CF3D noFont;
    noFont.init2DFont("nofont.png", 0, 16, 16, 16, 16, 256);
    glClear(GL_COLOR_BUFFER_BIT);
    noFont.drawStr("xyz", 20, 30);
    EXPECT_TRUE(allBlack());
}

TEST_F(Gfx, BackgroundSphereFillsTheViewAndTurnsByTheFrameDelta) {
    std::vector<Rect> checks;  // no black anywhere, a different colour in every region
    for (int i = 0; i < 64; ++i) checks.push_back({i % 8 * 8, i / 8 * 8, i % 8 * 8 + 7, i / 8 * 8 + 7, uint8_t(60 + i * 3), uint8_t(250 - i * 3), uint8_t(i % 2 ? 240 : 60), 255});
    const GLuint bg = texture("bg.png", 64, 64, checks);
    auto after = [&](int ticks, int calls) {
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
    auto differing = [](const Frame& a, const Frame& b) {
        int n = 0;
        for (size_t i = 0; i < a.size(); ++i) n += std::abs(a[i].r - b[i].r) + std::abs(a[i].g - b[i].g) > 4;
        return n;
    };
    const Frame twice = after(200, 2), once = after(400, 1), half = after(200, 1);
    for (const auto& p : once) ASSERT_FALSE(black(p)) << "the sphere fills the whole view";
    EXPECT_EQ(0, differing(twice, once));  // 2 x 20 degrees about x is 1 x 40
    EXPECT_GT(differing(twice, half), 396 * 260 / 10);
}

namespace {

// A soft blob as the captured square (rows from the bottom), with a gain that lets sums saturate.
std::vector<GLubyte> blob(double gain) {
    std::vector<GLubyte> grey(256 * 256);
    for (int i = 0; i < 256 * 256; ++i) {
        const double dx = i % 256 - 140.0, dy = i / 256 - 110.0;
        grey[i] = static_cast<GLubyte>(std::min(255L, std::lround(gain * 38 * std::exp(-(dx * dx + dy * dy) / 3200))));
    }
    return grey;
}

// Bilinear sample of the repeating square at (s, t), as GL filters it.
double sample(const std::vector<GLubyte>& grey, double s, double t) {
    const double u = s * 256 - 0.5, v = t * 256 - 0.5, fu = u - std::floor(u), fv = v - std::floor(v);
    auto at = [&](double a, double b) {
        return double(grey[(int(std::floor(b)) & 255) * 256 + (int(std::floor(a)) & 255)]);
    };
    return (1 - fu) * (1 - fv) * at(u, v) + fu * (1 - fv) * at(u + 1, v) + (1 - fu) * fv * at(u, v + 1) + fu * fv * at(u + 1, v + 1);
}

}  // namespace

// The glow sums weighted, zoomed copies of the view's middle 256 x 256 square over the
// whole view; both drawing paths must stay within rounding of the exact sum.
TEST_F(Gfx, GlowCopiesAddUpToTheExactSum) {
    struct Case { int passes; float step, r, g, b; double gain; int tol = 3; };
    const Case cases[] = {
        {0, 0.009f, 1, 1, 1, 1},             // no copies: black
        {1, 0.0f, 1.0f, 0.5f, 0.25f, 1},      // the square itself, tinted, at half weight
        {25, 0.009f, 1.0f, 0.6f, 0.3f, 1},    // the tunnel's
        {15, 0.009f, 0.809f, 0.82f, 0.46f, 1},  // the rings'
        {4, 0.05f, 1.0f, 1.0f, 1.0f, 1},      // the model's
        {25, 0.05f, 0.9f, -0.5f, 0.7f, 1},    // the blur's: mirrored, repeated, a tint below 0
        {25, 0.0f, 0.5f, 1.0f, 0.0f, 4, 8},   // driven past white, rounded inside the groups
    };
    f3d->initGlow();
    for (const Case& c : cases) {
        const std::vector<GLubyte> grey = blob(c.gain);
        std::vector<double> exact(396 * 260 * 3, 0.0);
        float inset = 0.0f, weight = 0.5f;  // stepped in single precision as the drawing steps them
        const double tint[3] = {std::max(0.0f, c.r), std::max(0.0f, c.g), std::max(0.0f, c.b)};
        for (int i = 0; i < c.passes; ++i, inset += c.step, weight -= 0.5f / c.passes)
            for (int y = 0; y < 260; ++y)
                for (int x = 0; x < 396; ++x) {
                    const double level = weight * sample(grey, inset + (x + 0.5) / 396 * (1 - 2.0 * inset),
                                                         inset + (y + 0.5) / 260 * (1 - 2.0 * inset));
                    for (int ch = 0; ch < 3; ++ch) exact[((259 - y) * 396 + x) * 3 + ch] += tint[ch] * level;
                }
        for (const char* plain : {"1", ""}) {
            setenv("CHIPDISK_PLAIN", plain, 1);
            glClearColor(1, 1, 1, 1);  // white all round the square, which must not be captured
            glClear(GL_COLOR_BUFFER_BIT);
            glClearColor(0, 0, 0, 0);
            glWindowPos2i(64, 0);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glDrawPixels(256, 256, GL_LUMINANCE, GL_UNSIGNED_BYTE, grey.data());
            f3d->renderGlow(c.passes, c.step, c.r, c.g, c.b);
            const Frame f = gl->readFrame();
            long worst = 0;
            for (size_t i = 0; i < f.size(); ++i)
                for (int ch = 0; ch < 3; ++ch)  // away from white, where the last copy's rounding decides
                    if (std::fabs(exact[i * 3 + ch] - 255) > 20)
                        worst = std::max(worst, std::lround(std::fabs((&f[i].r)[ch] - std::min(255.0, exact[i * 3 + ch]))));
            // the plain path rounds once per copy, the combined one once per seven
            EXPECT_LE(worst, *plain ? 3 + c.passes / 3 : c.tol) << c.passes << " passes, step " << c.step << (*plain ? ", plain" : "");
        }
        unsetenv("CHIPDISK_PLAIN");
    }
}
