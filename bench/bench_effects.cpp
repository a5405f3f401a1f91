// Median time of one whole frame per effect (effect, glow or blur, fade quad, HUD,
// song line), drawn offscreen at 396 x 260 with a clock advancing 16 ms per frame,
// then where the tunnel and ring frames spend their time. Run from the project root.
// Plain (CHIPDISK_PLAIN=1) and fast paths alternate frame by frame in one run.
// BENCH_EFFECTS_SAVE=1 writes the last frame of each effect as bench_effectN.png.
#include "CDirector.h"
#include "CF3D.h"
#include "CHeadlessGL.h"
#include "CHud.h"
#include "CMD2Model.h"
#include "CSongCtrl.h"
#include "CSpect.h"
#include "CTunnel.h"
#include "FakeSound.h"
#include "PlainPath.h"

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A moving spectrum so the rings and the graph change from frame to frame.
void animateSpectrum(int ticks) {
    float* levels = fakeSpectrum();
    for (int i = 0; i < 512; ++i) levels[i] = 0.15f + 0.15f * std::sin(ticks / 300.0f + i * 0.2f) / (1 + i / 64.0f);
}

// The director's own objects are private: the phase profile below draws with
// objects of its own on the director's toolkit.
struct Parts {
    CF3D* f3d;
    CHud hud;
    CTunnel tunnel;
    CSpect spect;
    CSongCtrl songs;
    GLuint bgTexture;
    explicit Parts(CF3D* f3d)
        : f3d(f3d), hud(f3d), tunnel(f3d), spect(f3d), songs(f3d), bgTexture(f3d->loadTexture("data/gfx/bg.png")) {}

    void begin(int ticks) {
        f3d->setTicks(ticks);
        f3d->calcDt();
        animateSpectrum(ticks);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glClearColor(0, 0, 0, 1);
        glLoadIdentity();
    }
};

// Runs 'frames' frames of 'body', timing each 'phase' with a glFinish after it.
std::map<std::string, double> profile(int frames, int& ticks,
                                      const std::vector<std::pair<std::string, std::function<void()>>>& phases) {
    std::map<std::string, std::vector<double>> times;
    for (int n = 0; n < frames; ++n) {
        ticks += 16;
        for (const auto& [name, fn] : phases) {
            const auto a = Clock::now();
            fn();
            glFinish();
            times[name].push_back(ms(a, Clock::now()));
        }
    }
    std::map<std::string, double> medians;
    for (const auto& [name, v] : times) medians[name] = median(v);
    return medians;
}

}  // namespace

int main(int argc, char** argv) {
    // The allocator thresholds the program sets, unless CHIPDISK_PLAIN=1 or =malloc at start.
    const bool plainMalloc = plainPath("malloc");
    if (!plainMalloc) {
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 512 << 20);
    }
    const int frames = argc > 1 ? std::atoi(argv[1]) : 300;
    CHeadlessGL gl(396, 260);
    if (!gl.ok()) {
        std::fprintf(stderr, "no offscreen GL: %s\n", gl.error().c_str());
        return 1;
    }
    std::printf("renderer: %s\nallocator: %s thresholds\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                plainMalloc ? "default" : "the program's");
    CDirector director;
    director.InitGL();
    int ticks = 4000;  // the tunnel's tint is bright here

    // Whole frames with CHIPDISK_PLAIN=plain and without, alternating, so load changes hit
    // both alike.
    auto plainAgainstFast = [&](const char* plain) {
        return profile(frames, ticks,
                       {{"plain",
                         [&] {
                             setenv("CHIPDISK_PLAIN", plain, 1);
                             animateSpectrum(ticks);
                             director.Render(ticks);
                         }},
                        {"fast", [&] {
                             unsetenv("CHIPDISK_PLAIN");
                             animateSpectrum(ticks);
                             director.Render(ticks);
                         }}});
    };
    std::printf(
        "\nwhole frame through the director, median of %d frames each (ms),\n"
        "plain and fast paths alternating:\n",
        frames);
    for (int e = 0; e < 4; ++e) {
        director.holdEffect(e);
        animateSpectrum(ticks);
        director.Render(ticks);  // settle the frame delta
        const auto m = plainAgainstFast("1");
        std::printf("  effect %d: plain %7.2f  fast %7.2f  fast/plain %.2f  (%.0f frames/s fast)\n", e, m.at("plain"),
                    m.at("fast"), m.at("fast") / m.at("plain"), 1000 / m.at("fast"));
        if (std::getenv("BENCH_EFFECTS_SAVE")) gl.savePNG("bench_effect" + std::to_string(e) + ".png");
    }

    // Each cheaper drawing alone: the plain drawing of one part against the fast whole,
    // on the effect that shows the part most.
    std::printf("\neach cheaper drawing alone, whole frame, median of %d frames each (ms):\n", frames);
    const std::pair<const char*, int> parts[] = {{"points", 0}, {"splat", 0}, {"glow", 0}, {"rings", 1},
                                                 {"glow", 1},   {"glow", 2},  {"hud", 3}};
    for (const auto& [part, effect] : parts) {
        director.holdEffect(effect);
        director.Render(ticks);
        const auto m = plainAgainstFast(part);
        std::printf("  %-8s effect %d: plain %7.2f  fast %7.2f  saves %5.2f\n", part, effect, m.at("plain"),
                    m.at("fast"), m.at("plain") - m.at("fast"));
    }

    Parts d(director.toolkit());
    // The second glow of a phase pair captures the first's output; the cost is the same.
    auto glow25 = [&] {
        const double t = d.f3d->getTicks();
        d.f3d->renderGlow(25, 0.009f, 1, static_cast<float>(std::sin(t / 500)), static_cast<float>(std::sin(t / 1000)));
    };
    std::printf("\ntunnel frame by phase, median (ms):\n");
    auto m = profile(frames, ticks,
                     {{"1 clear+clock", [&] { d.begin(ticks); }},
                      {"2 tunnel draw, plain",
                       [&] {
                           setenv("CHIPDISK_PLAIN", "1", 1);
                           d.tunnel.draw();
                       }},
                      {"2b tunnel draw, fast",
                       [&] {
                           unsetenv("CHIPDISK_PLAIN");
                           d.tunnel.draw();
                       }},
                      {"3 glow, plain (25 quads)",
                       [&] {
                           setenv("CHIPDISK_PLAIN", "1", 1);
                           glow25();
                       }},
                      {"4 glow, fast (one pass)",
                       [&] {
                           unsetenv("CHIPDISK_PLAIN");
                           glow25();
                       }},
                      {"5 hud base", [&] { d.hud.drawBase(); }},
                      {"6 scroller", [&] { d.hud.drawScroller(); }},
                      {"7 song line", [&] { d.songs.drawSongMenu(); }},
                      {"8 top picture", [&] { d.hud.drawOverlay(); }}});
    for (const auto& [name, v] : m) std::printf("  %-28s %7.2f\n", name.c_str(), v);

    std::printf("\nspectrum-ring frame by phase, median (ms):\n");
    m = profile(frames, ticks,
                {{"1 clear+clock", [&] { d.begin(ticks); }},
                 {"2 background sphere", [&] { d.f3d->drawBG(d.bgTexture); }},
                 {"3 rings, plain (smoothed lines)",
                  [&] {
                      setenv("CHIPDISK_PLAIN", "rings", 1);
                      d.spect.draw();
                  }},
                 {"3b rings, fast (quads)",
                  [&] {
                      unsetenv("CHIPDISK_PLAIN");
                      d.spect.draw();
                  }},
                 {"4 glow, plain (15 quads)",
                  [&] {
                      setenv("CHIPDISK_PLAIN", "1", 1);
                      d.f3d->renderGlow(15, 0.009f, 0.809f, 0.82f, 0.46f);
                  }},
                 {"4b glow, fast (one pass)",
                  [&] {
                      unsetenv("CHIPDISK_PLAIN");
                      d.f3d->renderGlow(15, 0.009f, 0.809f, 0.82f, 0.46f);
                  }},
                 {"6 blur 25, plain",
                  [&] {
                      setenv("CHIPDISK_PLAIN", "1", 1);
                      d.spect.drawBlur(25, 0.05f);
                  }},
                 {"7 blur 25, fast (one pass)",
                  [&] {
                      unsetenv("CHIPDISK_PLAIN");
                      d.spect.drawBlur(25, 0.05f);
                  }},
                 {"5 hud (the director's layers)", [&] { director.drawHud(); }}});
    for (const auto& [name, v] : m) std::printf("  %-28s %7.2f\n", name.c_str(), v);

    // Inside the tunnel and the glow: the same work with one ingredient isolated.
    std::printf("\ntunnel and glow ingredients, median (ms):\n");
    GLuint copyTex = d.f3d->emptyTexture(128, 128);
    auto strands = [&](bool smooth) {
        // The tunnel's own strand pass under its last projection, four times as in draw.
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(45, 396.0 / 260, 0.1, 300);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        if (smooth)
            glEnable(GL_POINT_SMOOTH);
        else
            glDisable(GL_POINT_SMOOTH);
        for (int k = 0; k < 4; ++k) d.tunnel.drawStrands(1, 0.5f, 0.2f, k ? 0.2f : 1.0f);
        glEnable(GL_POINT_SMOOTH);
        d.f3d->resizeWindow(396, 260);
    };
    auto blendedQuads = [&](int passes) {
        glEnable(GL_TEXTURE_2D);
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glBindTexture(GL_TEXTURE_2D, copyTex);
        d.f3d->openMode2D();
        glBegin(GL_QUADS);
        for (int i = 0; i < passes; ++i) {
            const float s = i * 0.009f;
            glColor4f(1, 1, 1, 0.5f - i * 0.02f);
            glTexCoord2f(s, 1 - s);
            glVertex2f(0, 0);
            glTexCoord2f(s, s);
            glVertex2f(0, 260);
            glTexCoord2f(1 - s, s);
            glVertex2f(396, 260);
            glTexCoord2f(1 - s, 1 - s);
            glVertex2f(396, 0);
        }
        glEnd();
        d.f3d->closeMode2D();
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
    };
    m = profile(frames, ticks,
                {{"a strand points, smoothed", [&] { strands(true); }},
                 {"b strand points, unsmoothed", [&] { strands(false); }},
                 {"c copy 256x256 to luminance",
                  [&] {
                      glBindTexture(GL_TEXTURE_2D, copyTex);
                      glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, 64, 0, 256, 256, 0);
                  }},
                 {"d 25 blended textured quads", [&] { blendedQuads(25); }},
                 {"e 1 blended textured quad", [&] { blendedQuads(1); }}});
    for (const auto& [name, v] : m) std::printf("  %-28s %7.2f\n", name.c_str(), v);
    std::printf("\nstrand count at the end: %.2f (points per pass: %d)\n", d.tunnel.getStrandCount(),
                static_cast<int>(std::ceil(d.tunnel.getStrandCount())) * 400);
    return 0;
}
