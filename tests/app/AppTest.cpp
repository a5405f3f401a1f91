#include "CCommandLine.h"
#include "CEffectCycle.h"
#include "HotSpots.h"

#include <gtest/gtest.h>
#include <wx/defs.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Every corner of every spot and one pixel outside each edge; the keys.
TEST(Input, SpotsHighlightsAndKeys) {
    using S = HotSpot;  // the highlight of each spot, in the order of HotSpot
    const Highlight highlights[] = {{-1, 0, 0, 0, 0},      {0, 105, 241, 20, 13}, {1, 225, 241, 20, 13},
                                    {2, 184, 241, 20, 13}, {3, 145, 241, 20, 13}, {4, 377, 1, 16, 16},
                                    {-1, 0, 0, 0, 0}};
    struct Case {
        int x, y;
        HotSpot spot;
    };
    const Case cases[] = {
        {108, 237, S::Prev},    {128, 257, S::Prev},    {107, 237, S::None},
        {108, 236, S::None},    {129, 257, S::None},    {128, 258, S::None},
        {221, 237, S::Play},    {245, 257, S::Play},    {220, 240, S::None},
        {246, 240, S::None},    {230, 236, S::None},    {230, 258, S::None},
        {181, 237, S::Stop},    {206, 257, S::Stop},    {180, 240, S::None},
        {207, 240, S::None},    {190, 236, S::None},    {190, 258, S::None},
        {142, 237, S::Next},    {165, 257, S::Next},    {141, 240, S::None},
        {166, 240, S::None},    {150, 236, S::None},    {150, 258, S::None},
        {383, 3, S::Close},     {391, 11, S::Close},    {382, 5, S::None},
        {392, 5, S::None},      {385, 2, S::None},      {385, 12, S::None},
        {199, 210, S::Iconize}, {208, 218, S::Iconize}, {198, 214, S::None},
        {209, 214, S::None},    {199, 209, S::None},    {203, 219, S::None},
        {135, 247, S::None},    {105, 241, S::None},    {0, 0, S::None},
        {-1, -1, S::None},  // between prev and next; on a sprite, off its spot
    };
    for (const Case& c : cases) {
        const Highlight h = highlightAt(c.x, c.y), e = highlights[int(c.spot)];
        EXPECT_EQ(int(c.spot), int(hotSpotAt(c.x, c.y))) << c.x << ", " << c.y;
        EXPECT_TRUE(h.icon == e.icon &&
                    (h.icon < 0 || (h.x == e.x && h.y == e.y && h.width == e.width && h.height == e.height)))
            << c.x << ", " << c.y;
    }
    const std::pair<int, KeyAction> keys[] = {
        {WXK_UP, KeyAction::PrevSong},      {WXK_DOWN, KeyAction::NextSong},
        {WXK_RIGHT, KeyAction::NextEffect}, {WXK_LEFT, KeyAction::None},
        {WXK_SPACE, KeyAction::PlayPause},  {'R', KeyAction::CycleRepeat},
        {'S', KeyAction::ToggleShuffle},    {'A', KeyAction::None},
        {WXK_NUMPAD_UP, KeyAction::None},   {WXK_NUMPAD_RIGHT, KeyAction::None},
    };
    for (const auto& [key, action] : keys) EXPECT_EQ(int(action), int(keyActionFor(key))) << "key " << key;
}

// What a window is given, what a recording is set to, or the start of the one line on what is wrong.
TEST(CommandLine, ReadsWhatUsersType) {
    struct Case {
        std::vector<std::string> args;
        command_t::Mode mode;
        std::string told;
    };
    const std::vector<Case> cases = {
        {{}, command_t::Window, ""},
        {{"a.xm", "-", "b.mod"}, command_t::Window, "a.xm|-|b.mod|"},
        {{"a.xm", "--", "--help"}, command_t::Window, "a.xm|--help|"},
        {{"--record", "out", "--fps", "2", "--scale=3", "--effect", "0", "--song=s.xm", "--seconds", "1.5"},
         command_t::Record,
         "out 2 3 0 s.xm 1.5"},
        {{"--record=out.mkv"}, command_t::Record, "out.mkv 60 1 -1  0"},
        {{"--help", "--frobnicate"}, command_t::Help, ""},
        {{"--record="}, command_t::Error, "--record needs"},
        {{"--record", "out", "--fps"}, command_t::Error, "--fps needs a value"},
        {{"--record", "out", "--fps", "2x"}, command_t::Error, "--fps must"},
        {{"--record", "out", "--scale", "5"}, command_t::Error, "--scale must"},
        {{"--record", "out", "--seconds", "nan"}, command_t::Error, "--seconds must"},
        {{"--record", "out", "a.xm"}, command_t::Error, "a recording plays one song"},
        {{"--fps", "30"}, command_t::Error, "--seconds, --fps"},
        {{"-x"}, command_t::Error, "unknown option '-x'"},
        {{"--repeat", "list", "a.xm"}, command_t::Window, "a.xm|list"},
        {{"--shuffle", "--repeat=none"}, command_t::Window, "none shuffled"},
        {{"--repeat", "all"}, command_t::Error, "--repeat must be song, list or none"},
        {{"--repeat"}, command_t::Error, "--repeat needs a value"},
        {{"--shuffle=yes"}, command_t::Error, "unknown option '--shuffle=yes'"},
        {{"--record", "out", "--shuffle"}, command_t::Error, "--repeat and --shuffle are for the window"},
    };
    for (const Case& c : cases) {
        const command_t got = CCommandLine::parse(c.args);
        std::string told = got.error;
        for (const std::string& song : got.songs) told += song + "|";
        told += got.repeat;
        if (got.shuffle) told += " shuffled";
        if (got.mode == command_t::Record) {
            std::ostringstream settings;
            settings << got.out << " " << got.fps << " " << got.scale << " " << got.effect << " " << got.song << " "
                     << got.seconds;
            told = settings.str();
        }
        EXPECT_TRUE(got.mode == c.mode && told.compare(0, c.told.size(), c.told) == 0 &&
                    (c.told.empty() == told.empty()))
            << (c.args.empty() ? "" : c.args[0]) << " ...: " << told;
    }
    // the one line before the window opens: a missing file or folder
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("chipdisk-songs-" + std::to_string(getpid()));
    EXPECT_NE("", CCommandLine::checkSongs({dir.string()}));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "a.xm") << "x";
    EXPECT_EQ("", CCommandLine::checkSongs({dir.string(), (dir / "a.xm").string()}));
    EXPECT_NE("", CCommandLine::checkSongs({(dir / "b.xm").string()}));
    std::filesystem::remove_all(dir);
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
        bool fading, quad;
        float alpha;
        int lastSwitch;
    };
    const Step steps[] = {
        {40000, false, 0, false, false, 0, 0},         // no change before 40 s
        {40010, false, 0, true, true, 0.005f, 40010},  // then one starts
        {42100, false, 1, true, true, NAN, 40010},     // changed when black, fading back
        {44100, true, 1, false, false, 0, 40010},      // faded back in; Right
        {45100, true, 1, true, true, 0.5f, 44100},     // Right while fading out: the timer only
        {46200, false, 2, true, true, NAN, 45100},
        {46600, true, 2, true, true, NAN, 45100},  // Right while fading in: out again from here
        {47200, false, 3, true, true, NAN, 46600},
        {49200, false, 3, false, false, 0, 46600},
        {86600, false, 3, false, false, 0, 46600},  // the next automatic change counts from the press
        {86610, false, 3, true, true, 0.005f, 86610},
        {92000, false, 0, false, false, 0, 86610},  // wraps
    };
    float rolled = 0;
    for (const Step& s : steps) {
        runTo(s.t);
        if (s.t == 49200) rolled = cycle.modelAngle;
        EXPECT_TRUE(s.effect == cycle.effect && s.fading == cycle.fading && s.quad == quad &&
                    s.lastSwitch == cycle.lastSwitch &&
                    (std::isnan(s.alpha) || std::fabs(s.alpha - cycle.fadeAlpha) < 1e-4))
            << "at " << s.t << ": effect " << cycle.effect << ", fading " << cycle.fading << ", quad " << quad
            << ", alpha " << cycle.fadeAlpha << ", last switch " << cycle.lastSwitch;
        if (s.press) cycle.startChange(t);
    }
    // the ball rolls by the delta only while effect 3 shows
    EXPECT_GT(rolled, 190.0f);
    EXPECT_NEAR(rolled + 3941, cycle.modelAngle, 2);
    cycle.autoChange = false, cycle.startChange(t);  // a held effect: a stalled frame changes once and clamps
    cycle.beginFrame(t + 600000, 60000);
    EXPECT_TRUE(cycle.stepFade(60000) && cycle.effect == 1 && cycle.fadeAlpha == 1.0f);
    cycle.beginFrame(t + 1200000, 60000);
    EXPECT_TRUE(cycle.stepFade(60000) && !cycle.fading && cycle.fadeAlpha == 0.0f && cycle.effect == 1);
}

}  // namespace
