#include "CCommandLine.h"
#include "CEffectCycle.h"
#include "HotSpots.h"

#include "../music/TempDir.h"

#include <gtest/gtest.h>
#include <wx/defs.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

// Both corners of every spot and one pixel past each edge; the keys.
TEST(Input, SpotsHighlightsAndKeys) {
    struct Spot {
        HotSpot spot;
        int x0, y0, x1, y1;  // inclusive
        Highlight highlight;
    };
    const Spot spots[] = {
        {HotSpot::Prev, 108, 237, 128, 257, {0, 105, 241, 20, 13}},
        {HotSpot::Play, 221, 237, 245, 257, {1, 225, 241, 20, 13}},
        {HotSpot::Stop, 181, 237, 206, 257, {2, 184, 241, 20, 13}},
        {HotSpot::Next, 142, 237, 165, 257, {3, 145, 241, 20, 13}},
        {HotSpot::Close, 383, 3, 391, 11, {4, 377, 1, 16, 16}},
        {HotSpot::Iconize, 199, 210, 208, 218, {-1, 0, 0, 0, 0}},
    };
    const Spot none{HotSpot::None, 0, 0, 0, 0, {-1, 0, 0, 0, 0}};
    auto expectSpot = [](int x, int y, const Spot& want) {
        const Highlight h = highlightAt(x, y);
        const Highlight& e = want.highlight;
        EXPECT_EQ(int(want.spot), int(hotSpotAt(x, y))) << x << ", " << y;
        EXPECT_TRUE(h.icon == e.icon &&
                    (h.icon < 0 || (h.x == e.x && h.y == e.y && h.width == e.width && h.height == e.height)))
            << x << ", " << y;
    };
    for (const Spot& s : spots) {
        const int midX = (s.x0 + s.x1) / 2;
        const int midY = (s.y0 + s.y1) / 2;
        expectSpot(s.x0, s.y0, s);
        expectSpot(s.x1, s.y1, s);
        for (auto [x, y] : {std::pair{s.x0 - 1, midY}, {s.x1 + 1, midY}, {midX, s.y0 - 1}, {midX, s.y1 + 1}})
            expectSpot(x, y, none);
    }
    const std::pair<int, KeyAction> keys[] = {
        {WXK_UP, KeyAction::PrevSong},   {WXK_DOWN, KeyAction::NextSong},   {WXK_RIGHT, KeyAction::NextEffect},
        {WXK_LEFT, KeyAction::None},     {WXK_SPACE, KeyAction::PlayPause}, {'R', KeyAction::CycleRepeat},
        {'S', KeyAction::ToggleShuffle},
    };
    for (const auto& [key, action] : keys) EXPECT_EQ(int(action), int(keyActionFor(key))) << "key " << key;
}

// The mode's initial (Window, Record, Help, Version, Error), then what a window is given,
// what a recording is set to, or the start of the one line on what is wrong.
TEST(CommandLine, ReadsWhatUsersType) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "W "},
        {{"a.xm", "-", "b.mod"}, "W a.xm|-|b.mod|"},
        {{"a.xm", "--", "--help"}, "W a.xm|--help|"},
        {{"--record", "out", "--fps", "2", "--scale=3", "--effect", "0", "--song=s.xm", "--seconds", "1.5"},
         "R out 2 3 0 s.xm 1.5"},
        {{"--record=out.mkv"}, "R out.mkv 60 1 -1  0"},
        {{"--help", "--frobnicate"}, "H "},
        {{"--record="}, "E --record needs"},
        {{"--record", "out", "--fps"}, "E --fps needs"},
        {{"--record", "out", "--fps", "2x"}, "E --fps must"},
        {{"--record", "out", "--scale", "5"}, "E --scale must"},
        {{"--record", "out", "--seconds", "nan"}, "E --seconds must"},
        {{"--record", "out", "a.xm"}, "E a recording"},
        {{"--fps", "30"}, "E --seconds, --fps"},
        {{"-x"}, "E unknown option '-x'"},
        {{"--repeat", "list", "a.xm"}, "W a.xm|list"},
        {{"--shuffle", "--repeat=none"}, "W none shuffled"},
        {{"--repeat", "all"}, "E --repeat must"},
        {{"--shuffle=yes"}, "E unknown option '--shuffle=yes'"},
        {{"--record", "out", "--shuffle"}, "E --repeat and --shuffle"},
    };
    for (const auto& [args, want] : cases) {
        const command_t got = CCommandLine::parse(args);
        std::ostringstream told;
        told << "WRHVE"[got.mode] << " " << got.error;
        if (got.mode == command_t::Record)
            told << got.out << " " << got.fps << " " << got.scale << " " << got.effect << " " << got.song << " "
                 << got.seconds;
        for (const std::string& song : got.songs) told << song << "|";
        told << got.repeat << (got.shuffle ? " shuffled" : "");
        const std::string shown = told.str();
        EXPECT_EQ(want, got.mode == command_t::Error ? shown.substr(0, want.size()) : shown);
    }
    // the one line before the window opens: a missing file or folder
    TempDir tmp;
    std::ofstream(tmp / "a.xm") << "x";
    EXPECT_EQ("", CCommandLine::checkSongs({tmp.path(), tmp / "a.xm"}));
    EXPECT_NE("", CCommandLine::checkSongs({tmp / "b.xm"}));
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
    struct Step {
        int t;
        bool press;
        int effect;
        bool fading;  // and the quad drawn
        float alpha;
        int lastSwitch;
    };
    const Step steps[] = {
        {40000, false, 0, false, 0, 0},          // no change before 40 s
        {40010, false, 0, true, 0.005f, 40010},  // then one starts
        {42100, false, 1, true, NAN, 40010},     // changed when black, fading back
        {44100, true, 1, false, 0, 40010},       // faded back in; Right
        {45100, true, 1, true, 0.5f, 44100},     // Right while fading out: the timer only
        {46200, false, 2, true, NAN, 45100},
        {46600, true, 2, true, NAN, 45100},  // Right while fading in: out again from here
        {47200, false, 3, true, NAN, 46600},
        {49200, false, 3, false, 0, 46600},
        {86600, false, 3, false, 0, 46600},  // the next automatic change counts from the press
        {86610, false, 3, true, 0.005f, 86610},
        {92000, false, 0, false, 0, 86610},  // wraps
    };
    float rolled = 0;
    for (const Step& s : steps) {
        runTo(s.t);
        SCOPED_TRACE(s.t);
        if (s.t == 49200) rolled = cycle.modelAngle;
        EXPECT_EQ(s.effect, cycle.effect);
        EXPECT_EQ(s.fading, cycle.fading);
        EXPECT_EQ(s.fading, quad);
        EXPECT_EQ(s.lastSwitch, cycle.lastSwitch);
        if (!std::isnan(s.alpha)) {
            EXPECT_NEAR(s.alpha, cycle.fadeAlpha, 1e-4);
        }
        if (s.press) cycle.startChange(t);
    }
    // the ball rolls by the delta only while effect 3 shows
    EXPECT_GT(rolled, 190.0f);
    EXPECT_NEAR(rolled + 3941, cycle.modelAngle, 2);
    // a held effect: a stalled frame changes once and clamps
    cycle.autoChange = false;
    cycle.startChange(t);
    cycle.beginFrame(t + 600000, 60000);
    EXPECT_TRUE(cycle.stepFade(60000) && cycle.effect == 1 && cycle.fadeAlpha == 1.0f);
    cycle.beginFrame(t + 1200000, 60000);
    EXPECT_TRUE(cycle.stepFade(60000) && !cycle.fading && cycle.fadeAlpha == 0.0f && cycle.effect == 1);
}

}  // namespace
