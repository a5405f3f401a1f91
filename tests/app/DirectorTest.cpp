// The real frame, drawn offscreen through the director over the fake sound layer,
// with pictures made so that every layer shows where it lies.
#include "CDirector.h"
#include "CHud.h"
#include "CSongCtrl.h"
#include "FakeSound.h"
#include "GlFixture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

const std::string kSongA = "data/songs/a_one.xm", kSongB = "data/songs/b_two.xm";
const std::string kIntro = "data/songs/kirrowane-intro.xm";

class Director : public GlFixture {
protected:
    void SetUp() override {
        GlFixture::SetUp();
        if (HasFatalFailure()) return;
        // font: white cells, a blank space; darken: halves what lies under the scroller's row; top: a red corner, blue
        // over the song line's first glyph, yellow under the play highlight; magenta icons; a black background
        ASSERT_TRUE(writePicture("data/gfx/font_test2.png", 256, 256,
                                 {{0, 0, 255, 255, 255, 255, 255, 255}, {0, 32, 15, 47, 0, 0, 0, 0}}));
        ASSERT_TRUE(writePicture("data/gfx/overlay_darken.png", 396, 260, {{0, 40, 395, 70, 0, 0, 0, 128}}));
        ASSERT_TRUE(writePicture("data/gfx/overlay.png", 396, 260, {{20, 0, 21, 259, 255, 255, 255, 255}}));
        ASSERT_TRUE(writePicture("data/gfx/test2.png", 396, 260,
                                 {{0, 0, 9, 9, 255, 0, 0, 255},
                                  {10, 217, 13, 220, 0, 0, 255, 255},
                                  {225, 241, 229, 245, 255, 255, 0, 255}}));
        for (const char* name : {"prev", "play", "stop", "next"})
            ASSERT_TRUE(
                writePicture(std::string("data/gfx/ico_") + name + ".png", 20, 13, {{0, 0, 19, 12, 255, 0, 255, 255}}));
        ASSERT_TRUE(writePicture("data/gfx/bg.png", 64, 64, {{0, 0, 63, 63, 0, 0, 0, 255}}));
        std::filesystem::copy_file(CHIPDISK_SOURCE_DIR "/data/3d/boll3.md2", "data/3d/boll3.md2");
        std::filesystem::create_directories("data/songs");
        for (const std::string& song : {kSongA, kSongB}) std::ofstream(song) << "song";
        setFakeSpectrum(0);
        closeWin = iconizeWin = false;
        director = std::make_unique<CDirector>(std::vector<std::string>{kSongA, kSongB});
        director->InitGL();
        while (songCtrl->isCollecting()) songCtrl->update();
    }
    void renderTo(int from, int to) {
        for (int t = from; t <= to; t += 50) director->Render(t);
    }
    // How much of the effect the fade quad let through, over the rows the HUD leaves free.
    double fadeAlphaSeen(int t) {
        director->beginFrame(t);
        director->drawEffect();
        const double before = light(gl->readFrame());
        director->toggleEffect();
        const double after = light(gl->readFrame());
        director->drawHud();
        EXPECT_GT(before, 396 * 120 * 30) << "the effect under the fade is too dark to measure";
        return 1.0 - after / before;
    }
    static double light(const Frame& f) {
        double sum = 0;
        for (int i = 80 * 396; i < 200 * 396; ++i) sum += f[i].r + f[i].g + f[i].b;
        return sum;
    }
    std::unique_ptr<CDirector> director;
};

TEST_F(Director, LayersLieInOrderEffectFadeBaseScrollerSongLineTopHighlight) {
    director->setMouse(230, 245);  // over play
    director->Render(0);
    director->key(KeyAction::NextEffect);
    renderTo(50, 1000);  // half way to black
    const Frame f = gl->readFrame();
    EXPECT_TRUE(colourIs(at(f, 4, 4), 255, 0, 0, 0));  // the HUD over the fade keeps its full light
    EXPECT_EQ(255, at(f, 20, 150).g);
    // the scroller's 'H' (index 22 at 50 + 12 * 22, less 0.5 per 10 ms) over the half-dark band
    EXPECT_TRUE(colourIs(at(f, 50 + 12 * 22 - 50 + 4, 52), 255, 255, 255, 0));
    EXPECT_GE(at(f, 18, 225).r, 250);  // the song line over the scroller, under the top picture
    EXPECT_TRUE(colourIs(at(f, 11, 218), 0, 0, 255, 0));
    EXPECT_TRUE(colourIs(at(f, 227, 243), 255, 0, 255, 0));  // the highlight over the top picture
}

TEST_F(Director, FadeQuadDarkensByTheFadeCurve) {
    director->Render(0);
    director->holdEffect(1);
    setFakeSpectrum(0.12f);  // rings that the glow spreads over the whole view
    renderTo(50, 1000);
    director->key(KeyAction::NextEffect);
    // 0.0005 per ms: a quarter after 500 ms, half after 1000, black after 2000; then the
    // next effect fading back in, three quarters dark 500 ms after that
    int from = 1050;
    for (const auto& [t, alpha] : {std::pair{1500, 0.25}, {2000, 0.5}, {3550, 0.75}}) {
        renderTo(from, t - 50);
        from = t + 50;
        EXPECT_NEAR(alpha, fadeAlphaSeen(t), t > 3000 ? 0.03 : 0.02) << "t = " << t;
    }
    EXPECT_EQ(2, director->effectCycle().effect);
}

// A tunnel point of strand 0 at depth step 40 at 1000 ms, projected by hand through the
// field of view (45.05), the spin (89.07) and the camera offset of the phases 1.5 / 2.5 /
// 3.5; then its first trail, spun and shifted twice. Window coordinates, y up.
TEST_F(Director, TunnelCameraPlacesAPointWhereWorkedOut) {
    const FbVertex wanted[] = {
        {107.801f, 107.413f, 0, 0.49867f, 0.84147f, 0.47943f, 1.0f, 0, 0},
        {218.975f, 48.223f, 0, 0.49867f, 0.84147f, 0.47943f, 0.21f, 0, 0},
    };
    setenv("CHIPDISK_PLAIN", "splat", 1);  // the points as GL points, not worked out on the CPU
    director->Render(0);
    const auto prims = captureFeedback([&] { director->Render(1000); });
    unsetenv("CHIPDISK_PLAIN");
    for (const FbVertex& w : wanted) {
        auto isWanted = [&](const FbPrim& p) {
            const FbVertex& v = p.v[0];
            const float dxy = std::max(std::fabs(v.x - w.x), std::fabs(v.y - w.y));
            const float drgba =
                std::max({std::fabs(v.r - w.r), std::fabs(v.g - w.g), std::fabs(v.b - w.b), std::fabs(v.a - w.a)});
            return p.token == GL_POINT_TOKEN && dxy < 0.05f && drgba < 0.005f;
        };
        EXPECT_TRUE(std::any_of(prims.begin(), prims.end(), isWanted)) << w.x << ", " << w.y;
    }
}

// Where the ball's centre (0, 0, 0.45 sin(t/2000) - 0.75) lands, seen from 4 (sin t/400,
// sin t/4000, sin t/200) looking at the origin through 25 degrees; window coordinates, y up.
TEST_F(Director, BallStaysInViewUnderItsWhiteGlow) {
    const int view = 396 * 260;
    director->holdEffect(3);
    double ballPixels = 0, sumX = 0, sumY = 0, bare = 0;
    director->sceneDrawn = [&] {
        std::vector<float> depth(view);
        glReadPixels(0, 0, 396, 260, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
        ballPixels = sumX = sumY = bare = 0;
        for (int i = 0; i < view; ++i) {
            bare += depth[i] == 1.0f;
            if (depth[i] >= 0.995f) continue;  // the background sphere, 50 units away
            ++ballPixels;
            sumX += i % 396;
            sumY += i / 396;
        }
    };
    struct Case {
        int t;
        double x, y;
    };
    for (const Case& c : {Case{6600, 157.2, 166.1}, {8000, 274.2, 168.0}, {20600, 283.5, 94.7}}) {
        SCOPED_TRACE(c.t);
        director->Render(c.t - 16);
        director->beginFrame(c.t);
        director->drawEffect();
        ASSERT_GT(ballPixels, view / 200);
        EXPECT_EQ(0, bare);                 // the background sphere behind it everywhere
        EXPECT_LT(ballPixels, view * 0.4);  // most of the view stays free
        EXPECT_NEAR(c.x, sumX / ballPixels, 3);
        EXPECT_NEAR(c.y, sumY / ballPixels, 3);
        // the glow is white, and copies the view's middle 256 columns over the whole width
        const Frame f = gl->readFrame();
        for (const auto& p : f) ASSERT_TRUE(p.r == p.g && p.g == p.b);
        EXPECT_GT(at(f, int((c.x - 64) * 396 / 256), 259 - int(c.y * 260 / 256)).r, 40);
    }
}

TEST_F(Director, ClicksAndKeysActOnTheSongsAndTheWindow) {
    struct Step {
        int x, y;
        KeyAction key;
        std::string playing;
    };  // key None: a click at x, y
    const Step steps[] = {
        {150, 240, KeyAction::None, kSongB},  // next
        {190, 240, KeyAction::None, ""},      // stop
        {230, 240, KeyAction::None, kSongB},  // play
        {120, 240, KeyAction::None, kSongA},  // prev
        {0, 0, KeyAction::PrevSong, kIntro},  // up: the intro
        {0, 0, KeyAction::NextSong, kSongA},  // down
        {0, 0, KeyAction::NextSong, kSongB},
    };
    director->Render(0);
    EXPECT_EQ(kSongA, fakeSound().playing());
    for (const Step& s : steps) {
        if (s.key == KeyAction::None)
            director->click(s.x, s.y);
        else
            director->key(s.key);
        EXPECT_EQ(s.playing, fakeSound().playing()) << "step " << &s - steps;
    }
    renderTo(50, 500);  // the name has faded back in
    EXPECT_EQ(3, songCtrl->getShownSong());
    director->key(KeyAction::NextEffect);
    EXPECT_TRUE(director->effectCycle().fading && director->effectCycle().lastSwitch == 500);
    director->click(203, 214);
    EXPECT_TRUE(iconizeWin && !closeWin);
    director->click(387, 7);
    EXPECT_TRUE(closeWin);
}

// The darkening and the overlay go out as one full-view quad, as two where asked for.
TEST_F(Director, HudBasePicturesGoOutAsOneQuad) {
    std::vector<size_t> primitives;
    for (const char* plain : {"", "hud"}) {
        setenv("CHIPDISK_PLAIN", plain, 1);
        CHud hud(f3d.get());
        primitives.push_back(captureFeedback([&] { hud.drawBase(); }).size());
    }
    unsetenv("CHIPDISK_PLAIN");
    ASSERT_GT(primitives[0], 0u);
    EXPECT_EQ(2 * primitives[0], primitives[1]);
}

}  // namespace
