// Whole frames composed the way the director composes them, read back and saved.
#include "CEffectScene.h"
#include "CHud.h"
#include "CSpect.h"
#include "CTunnel.h"
#include "EffectsSupport.h"
#include "FakeSound.h"

#include <cmath>

namespace {

using Frame = std::vector<OffscreenGL::RGBA>;

class Frames : public EffectsGl {
protected:
    void SetUp() override {
        EffectsGl::SetUp();
        if (HasFatalFailure()) return;
        writeTestPictures();
        Picture bg(64, 64);
        bg.fill(0, 0, 63, 63, 0, 0, 0, 255);
        ASSERT_TRUE(bg.save("data/gfx/frame_bg.png"));
        setFakeSpectrum(0);
        hud = std::make_unique<CHud>(f3d.get());
        tunnel = std::make_unique<CTunnel>(f3d.get());
        spect = std::make_unique<CSpect>(f3d.get());
        f3d->init2DFont("data/gfx/font_test2.png", 0, 16, 16, 16, 16, 256);
        f3d->initGlow();
        bgTexture = f3d->loadTexture("data/gfx/frame_bg.png");
        f3d->initGL(396, 260);
    }

    // One frame at t; the effect layer is kept in 'effectLayer' before the HUD goes on.
    void render(int effect, int t) {
        frame(t);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glClearColor(0, 0, 0, 1);
        glLoadIdentity();
        CEffectScene(f3d.get(), tunnel.get(), spect.get(), nullptr, bgTexture).draw(effect, 0.0f);
        effectLayer = gl->readFrame();
        hud->drawBase();
        hud->drawScroller();
        hud->drawOverlay();
    }

    // Two frames 16 ms apart, so the second starts from the state the first left.
    void renderPair(int effect, int t) {
        render(effect, t - 16);
        render(effect, t);
    }

    static const OffscreenGL::RGBA& at(const Frame& f, int x, int y) { return f[y * 396 + x]; }
    static int count(const Frame& f, int x0, int y0, int x1, int y1,
                     bool (*pred)(const OffscreenGL::RGBA&)) {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) n += pred(at(f, x, y));
        return n;
    }
    static bool lit(const OffscreenGL::RGBA& p) { return p.r + p.g + p.b > 60; }
    static bool dark(const OffscreenGL::RGBA& p) { return p.r + p.g + p.b == 0; }

    // Where the HUD's test pictures and glyphs must show over any effect layer.
    void expectHud() {
        const Frame f = gl->readFrame();
        EXPECT_EQ(255, at(f, 4, 4).r);  // top picture's red square
        EXPECT_EQ(0, at(f, 4, 4).g);
        EXPECT_EQ(255, at(f, 20, 150).b);  // added white bar
        for (int x : {50, 200, 300}) {     // darkened band halves the effect
            const auto before = at(effectLayer, x, 250), after = at(f, x, 250);
            EXPECT_NEAR(before.g * 127 / 255, after.g, 2) << x;
        }
    }

    std::unique_ptr<CHud> hud;
    std::unique_ptr<CTunnel> tunnel;
    std::unique_ptr<CSpect> spect;
    GLuint bgTexture = 0;
    Frame effectLayer;
};

TEST_F(Frames, TunnelWithTintedGlow) {
    // At t = 3404 the tint is about (1.0, 0.5, -0.26): orange light, no blue at all.
    const int t = 3404;
    const double ratio = std::sin(t / 500.0) / (0.25 * std::sin(t / 2000.0) + 0.75);
    renderPair(0, t);
    saveFrame("effect0_tunnel");
    for (const auto& p : effectLayer) {
        ASSERT_EQ(0, p.b);
        // 25 passes, each rounded to 8 bits on its own: allow for the sum of those.
        if (p.r > 20 && p.r < 250) {
            ASSERT_NEAR(p.r * ratio, p.g, 4 + 0.05 * p.r);
        }
    }
    EXPECT_GT(count(effectLayer, 0, 0, 395, 259, lit), 396 * 260 / 10);
    // Streaks all around a dark hole: the far end of the tunnel, where the points thin out.
    EXPECT_GT(count(effectLayer, 0, 0, 197, 129, lit), 198 * 130 / 4);
    EXPECT_GT(count(effectLayer, 198, 0, 395, 129, lit), 198 * 130 / 4);
    EXPECT_GT(count(effectLayer, 0, 130, 197, 259, lit), 198 * 130 / 4);
    EXPECT_GT(count(effectLayer, 198, 130, 395, 259, lit), 198 * 130 / 4);
    expectHud();
}

TEST_F(Frames, SpectrumRingsWithGlow) {
    renderPair(1, 3000);
    EXPECT_EQ(0, count(effectLayer, 0, 0, 395, 259, lit));  // silent bands draw black rings
    float* levels = fakeSpectrum();
    for (int i = 0; i < 512; ++i) levels[i] = 0.05f + 0.25f * std::fabs(std::sin(i * 0.3f));
    render(1, 3016);
    saveFrame("effect1_spectrum");
    EXPECT_GT(count(effectLayer, 0, 0, 395, 259, lit), 396 * 260 / 10);
    for (const auto& p : effectLayer) {
        if (p.g > 20 && p.g < 250) {
            ASSERT_NEAR(p.g * 0.46 / 0.82, p.b, 4 + 0.05 * p.g);
        }
    }
    expectHud();
}

TEST_F(Frames, BlurredSpectrumGraph) {
    float* levels = fakeSpectrum();
    for (int i = 0; i < 512; ++i) levels[i] = 0.3f * std::fabs(std::sin(i * 0.2f));
    renderPair(2, 1000);
    saveFrame("effect2_blur");
    // The graph turns about the centre; its blurred copies spread over the whole view.
    EXPECT_GT(count(effectLayer, 168, 110, 228, 150, lit), 61 * 41 / 3);
    EXPECT_GT(count(effectLayer, 0, 0, 395, 259, lit), 396 * 260 / 3);
    expectHud();
}

}  // namespace
