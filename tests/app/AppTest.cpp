#include "CDataRoot.h"
#include "CEffectCycle.h"
#include "HotSpots.h"

#include <gtest/gtest.h>
#include <wx/defs.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace {

// Every corner of every spot and one pixel outside each edge; the keys.
TEST(Input, SpotsHighlightsAndKeys) {
    const Highlight none{-1, 0, 0, 0, 0}, prev{0, 105, 241, 20, 13}, play{1, 225, 241, 20, 13},
                    stop{2, 184, 241, 20, 13}, next{3, 145, 241, 20, 13}, close{4, 377, 1, 16, 16};
    using S = HotSpot;
    struct Case { int x, y; HotSpot spot; Highlight hl; };
    const Case cases[] = {
        {108, 237, S::Prev, prev}, {128, 257, S::Prev, prev}, {107, 237, S::None, none}, {108, 236, S::None, none},
        {129, 257, S::None, none}, {128, 258, S::None, none}, {221, 237, S::Play, play}, {245, 257, S::Play, play},
        {220, 240, S::None, none}, {246, 240, S::None, none}, {230, 236, S::None, none}, {230, 258, S::None, none},
        {181, 237, S::Stop, stop}, {206, 257, S::Stop, stop}, {180, 240, S::None, none}, {207, 240, S::None, none},
        {190, 236, S::None, none}, {190, 258, S::None, none}, {142, 237, S::Next, next}, {165, 257, S::Next, next},
        {141, 240, S::None, none}, {166, 240, S::None, none}, {150, 236, S::None, none}, {150, 258, S::None, none},
        {383, 3, S::Close, close}, {391, 11, S::Close, close}, {382, 5, S::None, none}, {392, 5, S::None, none},
        {385, 2, S::None, none}, {385, 12, S::None, none}, {199, 210, S::Iconize, none}, {208, 218, S::Iconize, none},
        {198, 214, S::None, none}, {209, 214, S::None, none}, {199, 209, S::None, none}, {203, 219, S::None, none},
        {135, 247, S::None, none}, {105, 241, S::None, none}, {0, 0, S::None, none}, {-1, -1, S::None, none},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(int(c.spot), int(hotSpotAt(c.x, c.y))) << c.x << ", " << c.y;
        const Highlight h = highlightAt(c.x, c.y);
        EXPECT_EQ(c.hl.icon, h.icon) << c.x << ", " << c.y;
        if (c.hl.icon >= 0)
            EXPECT_TRUE(h.x == c.hl.x && h.y == c.hl.y && h.width == c.hl.width && h.height == c.hl.height) << c.x << ", " << c.y;
    }
    const std::pair<int, KeyAction> keys[] = {
        {WXK_UP, KeyAction::PrevSong}, {WXK_DOWN, KeyAction::NextSong}, {WXK_RIGHT, KeyAction::NextEffect},
        {WXK_LEFT, KeyAction::None}, {WXK_SPACE, KeyAction::None}, {WXK_RETURN, KeyAction::None},
        {'A', KeyAction::None}, {WXK_NUMPAD_UP, KeyAction::None}, {WXK_NUMPAD_RIGHT, KeyAction::None}};
    for (const auto& [key, action] : keys) EXPECT_EQ(int(action), int(keyActionFor(key))) << "key " << key;
}

// Frames every 10 ms (a delta of 1); Right pressed at some of them, the state checked after.
TEST(EffectCycle, ChangesAutomaticallyAndOnRightThroughAFadeToBlack) {
    CEffectCycle cycle;
    int t = 0;
    bool quad = false;
    auto runTo = [&](int until) {
        while (t < until) {
            cycle.beginFrame(t += 10, 1.0f);
            quad = cycle.stepFade(1.0f);
        }
    };
    struct Step { int t; bool press; int effect; bool fading, quad; float alpha; int lastSwitch; };
    const Step steps[] = {
        {40000, false, 0, false, false, 0, 0},       // no change before 40 s
        {40010, false, 0, true, true, 0.005f, 40010},  // then one starts
        {41010, false, 0, true, true, 0.505f, 40010},  // 0.005 per 10 ms
        {42100, false, 1, true, true, NAN, 40010},     // changed when black, fading back
        {44100, true, 1, false, false, 0, 40010},      // faded back in; Right
        {45100, true, 1, true, true, 0.5f, 44100},     // Right while fading out: the timer only
        {46200, false, 2, true, true, NAN, 45100},
        {46600, true, 2, true, true, NAN, 45100},      // Right while fading in: out again from here
        {47200, false, 3, true, true, NAN, 46600},
        {49200, false, 3, false, false, 0, 46600},
        {86600, false, 3, false, false, 0, 46600},     // the next automatic change counts from the press
        {86610, false, 3, true, true, 0.005f, 86610},
        {92000, false, 0, false, false, 0, 86610},     // wraps
    };
    float rolled = 0;
    for (const Step& s : steps) {
        runTo(s.t);
        if (s.t == 49200) rolled = cycle.modelAngle;
        EXPECT_EQ(s.effect, cycle.effect) << "at " << s.t;
        EXPECT_EQ(s.fading, cycle.fading) << "at " << s.t;
        EXPECT_EQ(s.quad, quad) << "at " << s.t;
        EXPECT_EQ(s.lastSwitch, cycle.lastSwitch) << "at " << s.t;
        if (!std::isnan(s.alpha)) EXPECT_NEAR(s.alpha, cycle.fadeAlpha, 1e-4) << "at " << s.t;
        if (s.press) cycle.startChange(t);
    }
    // the ball rolls by the delta only while effect 3 shows
    EXPECT_GT(rolled, 190.0f);
    EXPECT_NEAR(rolled + 3941, cycle.modelAngle, 2);
    cycle.autoChange = false;  // a held effect: a stalled frame changes once and clamps
    cycle.startChange(t);
    cycle.beginFrame(t + 600000, 60000);
    EXPECT_TRUE(cycle.stepFade(60000));
    EXPECT_EQ(1, cycle.effect);
    EXPECT_FLOAT_EQ(1.0f, cycle.fadeAlpha);
    cycle.beginFrame(t + 1200000, 60000);
    EXPECT_TRUE(cycle.stepFade(60000));
    EXPECT_FALSE(cycle.fading);
    EXPECT_FLOAT_EQ(0.0f, cycle.fadeAlpha);
    EXPECT_EQ(1, cycle.effect);
}

TEST(DataRoot, TheVariableThenTheInstalledShareThenTheWorkingFolder) {
    EXPECT_EQ("/x/data", CDataRoot::choose("/x/data", "/usr/bin/chipdisk"));
    EXPECT_EQ("data", CDataRoot::choose("", "/nonexistent/bin/chipdisk"));
    EXPECT_EQ("data", CDataRoot::choose(nullptr, "chipdisk"));
    std::filesystem::remove_all("inst");
    std::filesystem::create_directories("inst/bin");
    std::filesystem::create_directories("inst/share/chipdisk/gfx");
    EXPECT_EQ("data", CDataRoot::choose(nullptr, "inst/bin/chipdisk"));  // a share without its pictures
    std::ofstream("inst/share/chipdisk/gfx/star.png") << "";
    EXPECT_EQ("inst/bin/../share/chipdisk", CDataRoot::choose(nullptr, "inst/bin/chipdisk"));
    EXPECT_EQ(CDataRoot::root() + "/gfx/a.png", CDataRoot::resolve("./data/gfx/a.png"));
    EXPECT_EQ(CDataRoot::root() + "/b", CDataRoot::resolve("data/b"));
    EXPECT_EQ("datab/c", CDataRoot::resolve("datab/c"));
}

}  // namespace
