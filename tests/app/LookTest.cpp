// The shipped background and ball, drawn through the director with levels like
// those of the shipped songs: the graph effect must not drown in a flat wash of
// its tint, and the ball must not fill the view.
#include "CDirector.h"
#include "FakeSound.h"
#include "OffscreenGL.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

const int W = 395, H = 260;  // the view; the drawing is one pixel wider

// Share of the view that is a wash: on the frame box-filtered 4x down, pixels
// brighter than 0.15 whose 5 x 5 neighbourhood varies by less than 3 levels.
double flatLitShare(const std::vector<OffscreenGL::RGBA>& f) {
    const int w = W / 4, h = H / 4;
    std::vector<double> small(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double s = 0;
            for (int i = 0; i < 16; ++i) {
                const OffscreenGL::RGBA& p = f[static_cast<size_t>(y * 4 + i / 4) * 396 + x * 4 + i % 4];
                s += 0.299 * p.r + 0.587 * p.g + 0.114 * p.b;
            }
            small[static_cast<size_t>(y) * w + x] = s / 16;
        }
    int flat = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double c = small[static_cast<size_t>(y) * w + x];
            double lo = c, hi = c;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx) {
                    const double v = small[static_cast<size_t>(std::clamp(y + dy, 0, h - 1)) * w +
                                           std::clamp(x + dx, 0, w - 1)];
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
            flat += c > 0.15 * 255 && hi - lo < 3;
        }
    return flat / double(w * h);
}

class Look : public ::testing::Test {
protected:
    void SetUp() override {
        gl = std::make_unique<OffscreenGL>(396, 260);
        ASSERT_TRUE(gl->ok()) << gl->error();
        // a folder of its own: other tests write made-up pictures beside it
        ASSERT_TRUE(getcwd(home, sizeof home));
        const std::string dir = std::string("look-") + testing::UnitTest::GetInstance()->current_test_info()->name();
        for (const std::string& d : {dir, dir + "/data", dir + "/data/gfx", dir + "/data/3d"}) mkdir(d.c_str(), 0755);
        ASSERT_EQ(0, chdir(dir.c_str()));
        for (const char* file : {"data/gfx/bg.png", "data/3d/boll3.md2"}) {
            std::ifstream in(std::string(CHIPDISK_SOURCE_DIR "/") + file, std::ios::binary);
            std::ofstream(file, std::ios::binary) << in.rdbuf();
        }
        // low bands near where the songs' 90th percentile lies, the rest faint
        float* levels = fakeSpectrum();
        for (int i = 0; i < 512; ++i) levels[i] = i < 100 ? 0.12f : 0.01f;
        director = std::make_unique<CDirector>(std::vector<std::string>{"data/songs/song.xm"});
        director->InitGL();
    }
    void TearDown() override { ASSERT_EQ(0, chdir(home)); }

    char home[4096] = {};
    std::unique_ptr<OffscreenGL> gl;
    std::unique_ptr<CDirector> director;
};

// Each moment is reached in one step from the one before, so the background
// sphere and the ball have turned a long way in between.

TEST_F(Look, GraphIsNotAWashOfItsTint) {
    director->holdEffect(2);
    for (int t : {1000, 2000, 3000, 4000}) {
        director->beginFrame(t);
        director->drawEffect();
        EXPECT_LT(flatLitShare(gl->readFrame()), 0.30) << "t = " << t;
        director->toggleEffect();
        director->drawHud();
    }
}

TEST_F(Look, BallLeavesMostOfTheViewFree) {
    director->holdEffect(3);
    double share = 0;
    director->sceneDrawn = [&] {
        std::vector<float> depth(396 * H);
        glReadPixels(0, 0, 396, H, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
        int n = 0;
        for (int i = 0; i < 396 * H; ++i) n += i % 396 < W && depth[i] < 0.995f;  // nearer than the sphere
        share = n / double(W * H);
    };
    for (int t : {3000, 7000, 11000, 15000, 19000}) {
        director->Render(t);
        EXPECT_GT(share, 0.01) << "t = " << t;
        EXPECT_LT(share, 0.40) << "t = " << t;
    }
}

}  // namespace
