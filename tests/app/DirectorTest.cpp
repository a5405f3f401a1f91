// The real frame, drawn offscreen through the director with pictures made so that
// every layer shows where it lies; expected values are worked out by hand.
#include "CDirector.h"
#include "CF3D.h"
#include "CSongCtrl.h"
#include "EffectsSupport.h"
#include "FakeSound.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

namespace {

using Frame = std::vector<OffscreenGL::RGBA>;
const std::string kSongA = "data/songs/a_one.xm", kSongB = "data/songs/b_two.xm";
const std::string kIntro = "data/songs/kirrowane-intro.xm";

void writePictures() {
    writeTestPictures();  // font: white cells, blank space
    Picture darken(396, 260);  // halves whatever lies under the scroller's row
    darken.fill(0, 40, 395, 70, 0, 0, 0, 128);
    ASSERT_TRUE(darken.save("data/gfx/overlay_darken.png"));
    Picture top(396, 260);
    top.fill(0, 0, 9, 9, 255, 0, 0, 255);          // red corner
    top.fill(10, 217, 13, 220, 0, 0, 255, 255);    // blue over the song line's first glyph
    top.fill(225, 241, 229, 245, 255, 255, 0, 255);  // yellow under the play highlight
    ASSERT_TRUE(top.save("data/gfx/test2.png"));
    Picture icon(20, 13);
    icon.fill(0, 0, 19, 12, 255, 0, 255, 255);
    for (const char* name : {"prev", "play", "stop", "next"})
        ASSERT_TRUE(icon.save(std::string("data/gfx/ico_") + name + ".png"));
    Picture bg(64, 64);
    bg.fill(0, 0, 63, 63, 0, 0, 0, 255);
    ASSERT_TRUE(bg.save("data/gfx/bg.png"));
    mkdir("data/3d", 0755);
    std::ifstream in(CHIPDISK_SOURCE_DIR "/data/3d/boll3.md2", std::ios::binary);
    std::ofstream("data/3d/boll3.md2", std::ios::binary) << in.rdbuf();
}

class Director : public ::testing::Test {
protected:
    void SetUp() override {
        gl = std::make_unique<OffscreenGL>(396, 260);
        ASSERT_TRUE(gl->ok()) << gl->error();
        // a folder of its own, so that tests run side by side never read a half-written picture
        ASSERT_TRUE(getcwd(home, sizeof home));
        const std::string dir = std::string("director-") + testing::UnitTest::GetInstance()->current_test_info()->name();
        mkdir(dir.c_str(), 0755);
        ASSERT_EQ(0, chdir(dir.c_str()));
        writePictures();
        if (HasFatalFailure()) return;
        setFakeSpectrum(0);
        closeWin = iconizeWin = false;
        director = std::make_unique<CDirector>(std::vector<std::string>{kSongA, kSongB});
        director->InitGL();
    }

    const OffscreenGL::RGBA at(const Frame& f, int x, int y) { return f[y * 396 + x]; }
    static int sum(const OffscreenGL::RGBA& p) { return p.r + p.g + p.b; }

    // The steps of one frame, with the picture after the effect and after the fade.
    void frameInSteps(int t, Frame& effect, Frame& faded) {
        director->beginFrame(t);
        director->drawEffect();
        effect = gl->readFrame();
        director->toggleEffect();
        faded = gl->readFrame();
        director->drawHud();
    }

    // How much of the effect the fade quad let through, over the rows the HUD leaves free.
    double fadeAlphaSeen(int t) {
        Frame effect, faded;
        frameInSteps(t, effect, faded);
        double before = 0, after = 0;
        for (int y = 80; y < 200; ++y)
            for (int x = 0; x < 396; ++x) {
                before += sum(at(effect, x, y));
                after += sum(at(faded, x, y));
            }
        EXPECT_GT(before, 396 * 120 * 30) << "the effect under the fade is too dark to measure";
        return 1.0 - after / before;
    }

    void TearDown() override { ASSERT_EQ(0, chdir(home)); }

    char home[4096] = {};
    std::unique_ptr<OffscreenGL> gl;
    std::unique_ptr<CDirector> director;
};

TEST_F(Director, LayersLieInOrderEffectFadeBaseScrollerSongLineTopHighlight) {
    director->setMouse(230, 245);  // over play
    director->Render(0);
    director->key(KeyAction::NextEffect);
    for (int t = 50; t <= 1000; t += 50) director->Render(t);  // half way to black
    const Frame f = gl->readFrame();
    // the HUD lies over the fade: the red corner and the added bar keep their full light
    EXPECT_EQ(255, at(f, 4, 4).r);
    EXPECT_EQ(0, at(f, 4, 4).g);
    EXPECT_EQ(255, at(f, 20, 150).g);
    // the scroller's glyph 'H' (index 22 at 50 + 12 * 22, less 0.5 per 10 ms) lies over the
    // base's half-dark band: full white
    const int glyphX = 50 + 12 * 22 - 50;
    EXPECT_EQ(765, sum(at(f, glyphX + 4, 52)));
    // the song line's first glyph lies over the scroller and under the top picture
    EXPECT_GE(at(f, 18, 225).r, 250);
    EXPECT_EQ(255, at(f, 11, 218).b);
    EXPECT_EQ(0, at(f, 11, 218).r);
    // the play highlight lies over the top picture's yellow square
    const auto hl = at(f, 227, 243);
    EXPECT_EQ(255, hl.r);
    EXPECT_EQ(0, hl.g);
    EXPECT_EQ(255, hl.b);
}

TEST_F(Director, FadeQuadDarkensByTheFadeCurve) {
    director->Render(0);
    director->holdEffect(1);
    setFakeSpectrum(0.12f);  // rings that the glow spreads over the whole view
    for (int t = 50; t <= 1000; t += 50) director->Render(t);
    director->key(KeyAction::NextEffect);
    // 0.0005 per ms: a quarter after 500 ms, half after 1000, black after 2000; then
    // a new effect fading back in, three quarters dark 500 ms after that
    for (int t = 1050; t < 1500; t += 50) director->Render(t);
    EXPECT_NEAR(0.25, fadeAlphaSeen(1500), 0.02);
    for (int t = 1550; t < 2000; t += 50) director->Render(t);
    EXPECT_NEAR(0.5, fadeAlphaSeen(2000), 0.02);
    for (int t = 2050; t < 3550; t += 50) director->Render(t);
    EXPECT_EQ(2, director->effectCycle().effect);
    EXPECT_NEAR(0.75, fadeAlphaSeen(3550), 0.03);
}

// Tunnel point of strand 0 at depth step 40 (z = 2 pi, 40 units away), projected by
// hand through the field of view, the spin and the camera offset of that moment.
struct TunnelCase {
    int t;
    float x, y;        // window coordinates, y up
    float r, g, b, a;  // the pass's colour
};

TEST_F(Director, TunnelCameraPlacesAPointWhereWorkedOut) {
    const TunnelCase cases[] = {
        // t = 0: fov 45, no spin, camera offset (2.0985, 0.1487)
        {0, 181.535f, 241.930f, 0.3f, 0.0f, 0.0f, 1.0f},
        // t = 1000 after a frame at 0: fov 45.05, spin 89.07, phases 1.5 / 2.5 / 3.5
        {1000, 107.801f, 107.413f, 0.49867f, 0.84147f, 0.47943f, 1.0f},
        // its first trail pass: spun and shifted twice, alpha 0.21
        {1000, 218.975f, 48.223f, 0.49867f, 0.84147f, 0.47943f, 0.21f},
    };
    for (int t : {0, 1000}) {
        const auto prims = captureFeedback([&] { director->Render(t); });
        for (const TunnelCase& c : cases) {
            if (c.t != t) continue;
            int found = 0;
            for (const FbPrim& p : prims)
                if (p.token == GL_POINT_TOKEN && std::fabs(p.v[0].x - c.x) < 0.05f &&
                    std::fabs(p.v[0].y - c.y) < 0.05f && std::fabs(p.v[0].a - c.a) < 0.005f) {
                    EXPECT_NEAR(c.r, p.v[0].r, 0.005f);
                    EXPECT_NEAR(c.g, p.v[0].g, 0.005f);
                    EXPECT_NEAR(c.b, p.v[0].b, 0.005f);
                    ++found;
                }
            EXPECT_GE(found, 1) << "no point at " << c.x << ", " << c.y << " at t = " << t;
        }
    }
}

// Where the ball's centre (0, 0, 0.45 sin(t/2000) - 0.75) lands, projected by hand
// from the eye 4 (sin t/400, sin t/4000, sin t/200) looking at the origin with a 25
// degree field of view; window coordinates, y up. The eye is 6.3 to 6.9 away here.
struct BallCase {
    int t;
    double x, y;
};

TEST_F(Director, BallStaysInViewUnderItsWhiteGlow) {
    director->holdEffect(3);
    double ballPixels = 0, sumX = 0, sumY = 0;
    director->sceneDrawn = [&] {
        std::vector<float> depth(396 * 260);
        glReadPixels(0, 0, 396, 260, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
        ballPixels = sumX = sumY = 0;
        for (int i = 0; i < 396 * 260; ++i)
            if (depth[i] < 0.995f) {  // nearer than the background sphere, 50 units away
                ++ballPixels;
                sumX += i % 396;
                sumY += i / 396;
            }
    };
    for (const BallCase& c : {BallCase{6600, 157.2, 166.1}, BallCase{8000, 274.2, 168.0},
                              BallCase{20600, 283.5, 94.7}}) {
        director->Render(c.t - 16);
        director->beginFrame(c.t);
        director->drawEffect();
        ASSERT_GT(ballPixels, 396 * 260 / 200) << "t = " << c.t;
        EXPECT_NEAR(c.x, sumX / ballPixels, 3) << "t = " << c.t;
        EXPECT_NEAR(c.y, sumY / ballPixels, 3) << "t = " << c.t;
        // the white glow of a grey copy: every pixel of the effect is grey, and the
        // glow copies the view's middle 256 columns over the whole width
        const Frame f = gl->readFrame();
        for (const auto& p : f) ASSERT_TRUE(p.r == p.g && p.g == p.b);
        const int gx = static_cast<int>((c.x - 64) * 396 / 256);
        const int gy = 259 - static_cast<int>(c.y * 260 / 256);
        EXPECT_GT(at(f, gx, gy).r, 40) << "t = " << c.t;
    }
}

struct Step {
    enum { Click, Key } kind;
    int x, y;
    KeyAction key;
    std::string playing;  // afterwards; "" is silence
};

TEST_F(Director, ClicksAndKeysActOnTheSongsAndTheWindow) {
    const Step steps[] = {
        {Step::Click, 150, 240, KeyAction::None, kSongB},      // next
        {Step::Click, 190, 240, KeyAction::None, ""},          // stop
        {Step::Click, 230, 240, KeyAction::None, kSongB},      // play
        {Step::Click, 120, 240, KeyAction::None, kSongA},      // prev
        {Step::Key, 0, 0, KeyAction::PrevSong, kIntro},        // up: the intro
        {Step::Key, 0, 0, KeyAction::PrevSong, kIntro},        // up on the intro stays
        {Step::Key, 0, 0, KeyAction::NextSong, kSongA},        // down
        {Step::Key, 0, 0, KeyAction::NextSong, kSongB},        // down
        {Step::Key, 0, 0, KeyAction::NextSong, kSongB},        // down on the last stays
        {Step::Click, 136, 240, KeyAction::None, kSongB},      // between prev and next
    };
    director->Render(0);
    EXPECT_EQ(kSongA, fakeSound().playing());
    for (const Step& s : steps) {
        if (s.kind == Step::Click)
            director->click(s.x, s.y);
        else
            director->key(s.key);
        EXPECT_EQ(s.playing, fakeSound().playing()) << "after " << s.x << ", " << s.y;
    }
    for (int t = 50; t <= 500; t += 50) director->Render(t);  // the name has faded back in
    EXPECT_EQ(3, songCtrl->getShownSong());

    EXPECT_FALSE(director->effectCycle().fading);
    director->key(KeyAction::NextEffect);
    EXPECT_TRUE(director->effectCycle().fading);
    EXPECT_EQ(500, director->effectCycle().lastSwitch);

    EXPECT_FALSE(closeWin || iconizeWin);
    director->click(203, 214);
    EXPECT_TRUE(iconizeWin);
    EXPECT_FALSE(closeWin);
    director->click(387, 7);
    EXPECT_TRUE(closeWin);
}

}  // namespace

// Points drawn from one buffer give the picture of the one-call-per-vertex path: the
// same run of frames of every effect, once each way, from a fresh director.
TEST_F(Director, BufferedPointsKeepThePictureOfEveryEffect) {
    auto lastFrames = [&](const char* plain) {
        if (plain) setenv("CHIPDISK_PLAIN", plain, 1); else unsetenv("CHIPDISK_PLAIN");
        director = std::make_unique<CDirector>(std::vector<std::string>{kSongA, kSongB});
        director->InitGL();
        std::vector<Frame> frames;
        for (int e = 0; e < 4; ++e) {
            director->holdEffect(e);
            for (int t = 4000 + 1000 * e; t <= 4160 + 1000 * e; t += 16) {
                float* levels = fakeSpectrum();  // bands rising and falling
                for (int i = 0; i < 512; ++i) levels[i] = 0.15f + 0.1f * std::sin(t / 300.0f + i * 0.2f);
                director->Render(t);
            }
            frames.push_back(gl->readFrame());
        }
        unsetenv("CHIPDISK_PLAIN");
        return frames;
    };
    const auto plain = lastFrames("points");
    const auto fast = lastFrames(nullptr);
    for (int e = 0; e < 4; ++e) {
        int worst = 0;
        for (size_t i = 0; i < plain[e].size(); ++i)
            worst = std::max({worst, std::abs(plain[e][i].r - fast[e][i].r),
                              std::abs(plain[e][i].g - fast[e][i].g),
                              std::abs(plain[e][i].b - fast[e][i].b)});
        EXPECT_LE(worst, 3) << "effect " << e;
    }
}
