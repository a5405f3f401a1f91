#include "CSettings.h"

#include "../music/TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

using R = CSettings::Repeat;

std::string slurp(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

std::string shown(const CSettings& s) {
    const std::string head = std::string(repeatModeName(s.repeat())) + (s.shuffle() ? " on " : " off ");
    if (!s.hasWindowPosition()) return head + "-";
    return head + std::to_string(s.windowX()) + "," + std::to_string(s.windowY());
}

// The user's own lines stay where they were, known keys are rewritten in place, and
// a fresh reader gets back every value, extremes included.
TEST(Settings, RoundTripKeepsTheUsersLines) {
    struct Case {
        R repeat;
        bool shuffle, position;
        int x, y;
        std::string saved;
    };
    const Case cases[] = {
        {R::List, true, true, INT_MIN, INT_MAX,
         "# me\nrepeat = list\nzoom=2\n\nshuffle = true\nwindow_x = -2147483648\nwindow_y = 2147483647\n"},
        {R::Song, false, false, 0, 0, "# me\nrepeat = song\nzoom=2\n\nshuffle = false\n"},
    };
    for (const Case& c : cases) {
        TempDir tmp;
        const std::string file = tmp / "made/chipdisk.conf";
        ASSERT_EQ("", CSettings(file).save());
        std::ofstream(file) << "# me\n  repeat=none  \nzoom=2\n\n";
        CSettings a(file);
        ASSERT_EQ("", a.load());
        a.setRepeat(c.repeat);
        a.setShuffle(c.shuffle);
        if (c.position) a.setWindowPosition(c.x, c.y);
        ASSERT_EQ("", a.save());
        EXPECT_EQ(c.saved, slurp(file));
        CSettings b(file);
        EXPECT_EQ("", b.load());
        EXPECT_EQ(shown(a), shown(b));
    }
}

// What is bad takes its default, even over values set before; the good keys are kept,
// and the one line says where.
TEST(Settings, MalformedFilesGiveDefaultsForWhatIsBad) {
    struct Case {
        std::string text, settings, told;
    };
    const Case cases[] = {
        {"repeat = sometimes\nshuffle = YES\nwindow_x=3\nwindow_y = -4\n", "song on 3,-4", " line 1: repeat"},
        {"repeat = List\n\n# x\nshuffle = maybe\n", "list off -", " line 4: shuffle"},
        {"shuffle=1\nwindow_x = 12px\nwindow_y = 4\n", "song on -", " line 2: window_x"},
        {"window_x = 1\nwindow_y = 99999999999\n", "song off -", " line 2: window_y"},
        {"repeat = none\nshuffle = off\nno setting here\nwindow_y = 1\n", "none off -", " line 3:"},
        {"", "song off -", ": cannot read"},  // a folder where the file should be
    };
    for (const Case& c : cases) {
        TempDir tmp;
        const std::string file = tmp / "chipdisk.conf";
        if (c.text.empty())
            std::filesystem::create_directory(file);
        else
            std::ofstream(file) << c.text;
        CSettings s(file);
        s.setRepeat(R::List);
        s.setShuffle(true);
        s.setWindowPosition(1, 2);
        const std::string told = s.load();
        EXPECT_EQ(c.settings, shown(s)) << c.text;
        EXPECT_EQ(0u, told.find(file + c.told)) << told;
        EXPECT_EQ(std::string::npos, told.find('\n')) << told;
    }
}

// A home that cannot take the file is told, and nothing is left behind.
TEST(Settings, SaveWhereNothingCanBeWritten) {
    TempDir tmp;
    std::ofstream(tmp / "plain") << "x";
    std::filesystem::create_directory(tmp / "taken");
    for (const std::string& file : {tmp / "plain/chipdisk/chipdisk.conf", tmp / "taken"}) {
        const std::string told = CSettings(file).save();
        EXPECT_EQ(0u, told.find("cannot write " + file + ": ")) << told;
        EXPECT_EQ(std::string::npos, told.find('\n')) << told;
    }
    EXPECT_EQ("x", slurp(tmp / "plain"));
    using Dir = std::filesystem::directory_iterator;
    EXPECT_EQ(2, std::distance(Dir(tmp.path()), Dir()));
}

// The environment is read once a process, so each case runs in a fresh one.
TEST(Settings, DefaultPathFollowsTheDesktop) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // an empty XDG_CONFIG_HOME counts as unset
    const std::pair<const char*, const char*> cases[] = {
        {"/x/cfg", "/x/cfg/chipdisk/chipdisk.conf"},
        {"", "/h/.config/chipdisk/chipdisk.conf"},
    };
    for (const auto& [xdg, want] : cases) {
        EXPECT_EXIT(
            {
                setenv("XDG_CONFIG_HOME", xdg, 1);
                setenv("HOME", "/h", 1);
                std::fputs(CSettings::defaultPath().c_str(), stderr);
                std::exit(0);
            },
            testing::ExitedWithCode(0), std::string("^") + want + "$");
    }
}

}  // namespace
