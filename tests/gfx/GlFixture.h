#ifndef CHIPDISK_TESTS_GLFIXTURE_H
#define CHIPDISK_TESTS_GLFIXTURE_H

#include "CF3D.h"
#include "OffscreenGL.h"
#include "PngWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

// A current offscreen context of the view's size with a CF3D set up as the director does.
class GlFixture : public ::testing::Test {
protected:
    void SetUp() override {
        gl = std::make_unique<OffscreenGL>(396, 260);
        ASSERT_TRUE(gl->ok()) << gl->error();
        f3d = std::make_unique<CF3D>();
        f3d->initGL(396, 260);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    // Saves the frame beside the test binary when CHIPDISK_SAVE_FRAMES is set, for looking at.
    void saveFrame(const std::string& name) const {
        if (std::getenv("CHIPDISK_SAVE_FRAMES")) gl->savePNG(name + ".png");
    }

    OffscreenGL::RGBA px(int x, int y) const { return gl->pixel(x, y); }

    static bool black(const OffscreenGL::RGBA& p) { return p.r == 0 && p.g == 0 && p.b == 0; }

    GLuint loadRgba(const std::string& name, int w, int h, const std::vector<uint8_t>& rgba) {
        const std::string path = scratchDir() + "/" + name;
        if (!writeRgba(path, w, h, rgba)) return 0;
        return f3d->loadTexture(path.c_str());
    }

    std::unique_ptr<OffscreenGL> gl;
    std::unique_ptr<CF3D> f3d;
};

inline ::testing::AssertionResult colourIs(const OffscreenGL::RGBA& p, int r, int g, int b,
                                           int tol = 2) {
    if (std::abs(p.r - r) <= tol && std::abs(p.g - g) <= tol && std::abs(p.b - b) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << int(p.r) << ", " << int(p.g) << ", "
                                         << int(p.b) << "), expected (" << r << ", " << g << ", "
                                         << b << ")";
}

#endif
