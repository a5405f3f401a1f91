#ifndef CHIPDISK_TESTS_EFFECTSSUPPORT_H
#define CHIPDISK_TESTS_EFFECTSSUPPORT_H

#include "CF3D.h"
#include "OffscreenGL.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Top-row-first RGBA picture written as an 8-bit RGBA PNG.
struct Picture {
    int width, height;
    std::vector<uint8_t> rgba;
    Picture(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4, 0) {}
    void set(int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
    void fill(int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
    bool save(const std::string& path) const;
};

// The HUD pictures and the font, written under data/gfx/ of the working directory.
// darken: half-black band over rows 230..259; overlay: white bar over columns 20..21;
// top: opaque red square over (0..9, 0..9). Font: every cell white except the blank.
void writeTestPictures();

// One vertex from GL feedback: window coordinates, colour and texture coordinates.
struct FbVertex {
    float x, y, z;
    float r, g, b, a;
    float s, t;
};
struct FbPrim {
    GLenum token;  // GL_POINT_TOKEN, GL_LINE_TOKEN, GL_LINE_RESET_TOKEN, GL_POLYGON_TOKEN
    std::vector<FbVertex> v;
};
// Runs draw in feedback mode (GL_3D_COLOR_TEXTURE) and returns what GL emitted.
std::vector<FbPrim> captureFeedback(const std::function<void()>& draw);

// A current offscreen context with a CF3D built as the director builds it.
class EffectsGl : public ::testing::Test {
protected:
    void SetUp() override;
    void frame(int ticks);  // setTicks + calcDt, as at the start of a frame
    void saveFrame(const std::string& name) const;
    static std::vector<float> matrix(GLenum which);

    std::unique_ptr<OffscreenGL> gl;
    std::unique_ptr<CF3D> f3d;
};

#endif
