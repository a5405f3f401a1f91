// Median time of each graphics toolkit operation at 396 x 260 on the software renderer:
// decoding and uploading every run-time picture, the background sphere, a line of text,
// a sprite, and the glow with each effect's pass count. Run from the project root.
#include "CF3D.h"
#include "CPNGLoader.h"
#include "CHeadlessGL.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Median over runs of fn, in milliseconds; glFinish makes the renderer's work count.
double medianMs(int runs, const std::function<void()>& fn) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto a = Clock::now();
        fn();
        glFinish();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - a).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    CHeadlessGL gl(396, 260);
    if (!gl.ok()) {
        std::fprintf(stderr, "no offscreen GL: %s\n", gl.error().c_str());
        return 1;
    }
    CF3D f3d;
    f3d.init2DFont("data/gfx/font_test2.png", 0, 16, 16, 16, 16, 256);
    f3d.initGlow();
    f3d.initGL(396, 260);

    std::printf("%-38s %10s\n", "operation", "median ms");
    const char* pictures[] = {"star.png",           "bg.png",    "font_test2.png", "overlay.png",
                              "overlay_darken.png", "test2.png", "ico_play.png"};
    for (const char* name : pictures) {
        const std::string path = std::string("data/gfx/") + name;
        CPNGLoader loader;
        gl_texture_t* probe = loader.ReadPNGFromFile(path.c_str());
        if (!probe) {
            std::printf("%-38s %10s\n", name, "unreadable");
            continue;
        }
        char label[96];
        std::snprintf(label, sizeof label, "loadTexture %s %dx%d", name, probe->imageWidth, probe->imageHeight);
        std::free(probe->pixels);
        std::free(probe);
        std::vector<GLuint> names;
        const double t = medianMs(9, [&] { names.push_back(f3d.loadTexture(path.c_str())); });
        glDeleteTextures(static_cast<GLsizei>(names.size()), names.data());
        std::printf("%-38s %10.3f\n", label, t);
    }

    const GLuint bg = f3d.loadTexture("data/gfx/bg.png");
    const GLuint icon = f3d.loadTexture("data/gfx/ico_play.png");
    int ticks = 0;
    auto frame = [&] {
        ticks += 16;
        f3d.setTicks(ticks);
        f3d.calcDt();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    };
    std::printf("%-38s %10.3f\n", "clear", medianMs(60, frame));
    std::printf("%-38s %10.3f\n", "drawBG", medianMs(60, [&] { f3d.drawBG(bg); }));
    std::printf("%-38s %10.3f\n", "draw2DSprite 20x13",
                medianMs(60, [&] { f3d.draw2DSprite(105, 241, 20, 13, icon); }));
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    const char* line = "Now playing: kirrowane - chipdisk intro";
    char strLabel[64];
    std::snprintf(strLabel, sizeof strLabel, "drawStr %zu characters", std::strlen(line));
    std::printf("%-38s %10.3f\n", strLabel, medianMs(60, [&] { f3d.drawStr(line, 4, 4); }));
    struct {
        int passes;
        float step;
    } glows[] = {{25, 0.009f}, {15, 0.009f}, {4, 0.05f}};
    for (const auto& g : glows) {
        char label[64];
        std::snprintf(label, sizeof label, "drawBG + renderGlow(%d, %.3f)", g.passes, g.step);
        const double t = medianMs(60, [&] {
            frame();
            f3d.drawBG(bg);
            f3d.renderGlow(g.passes, g.step, 0.809f, 0.82f, 0.46f);
        });
        std::printf("%-38s %10.3f\n", label, t);
    }
    if (std::getenv("BENCH_GFX_SAVE")) {
        // The last glow frame with text and a sprite on top, to look at.
        glColor4f(1, 1, 1, 1);
        f3d.drawStr(line, 4, 120);
        f3d.draw2DSprite(105, 241, 20, 13, icon);
        gl.savePNG("bench_gfx_frame.png");
    }
    return 0;
}
