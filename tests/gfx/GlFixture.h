#ifndef CHIPDISK_TESTS_GLFIXTURE_H
#define CHIPDISK_TESTS_GLFIXTURE_H

#include "CF3D.h"
#include "OffscreenGL.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using Frame = std::vector<OffscreenGL::RGBA>;

// A small PNG of any colour type and depth; rows in file order, packed as stored.
struct PngPicture {
    int width = 0, bitDepth = 8, colorType = 6;
    std::vector<std::vector<uint8_t>> rows;
    std::vector<uint8_t> palette;    // r, g, b triples
    std::vector<uint8_t> trnsAlpha;  // palette alphas; else grey 0 is the transparent value
    bool hasTrns = false;
};
bool writePng(const std::string& path, const PngPicture& pic);
// An 8-bit RGBA picture filled with one colour, then rectangles (x0, y0, x1, y1 inclusive).
struct Rect {
    int x0, y0, x1, y1;
    uint8_t r, g, b, a;
};
bool writePicture(const std::string& path, int w, int h, std::vector<Rect> rects);

// One vertex from GL feedback: window coordinates, colour and texture coordinates.
struct FbVertex {
    float x, y, z, r, g, b, a, s, t;
};
struct FbPrim {
    GLenum token;
    std::vector<FbVertex> v;
};
std::vector<FbPrim> captureFeedback(const std::function<void()>& draw);

// A current 396 x 260 offscreen context, a CF3D set up as the director sets it up,
// and a working folder of the test's own (so data/gfx/... written here is what loads).
class GlFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void frame(int ticks) {
        f3d->setTicks(ticks);
        f3d->calcDt();
    }
    OffscreenGL::RGBA px(int x, int y) const { return gl->pixel(x, y); }
    static OffscreenGL::RGBA at(const Frame& f, int x, int y) { return f[y * 396 + x]; }
    static bool black(const OffscreenGL::RGBA& p) { return p.r == 0 && p.g == 0 && p.b == 0; }
    bool allBlack() const;
    GLuint texture(const std::string& name, int w, int h, std::vector<Rect> rects);

    std::unique_ptr<OffscreenGL> gl;
    std::unique_ptr<CF3D> f3d;
    std::string home;
};

::testing::AssertionResult colourIs(const OffscreenGL::RGBA& p, int r, int g, int b, int tol = 2);

#endif
