#include "CF3D.h"
#include "CPNGWriter.h"
#include "CSongCtrl.h"
#include "FakeSound.h"
#include "OffscreenGL.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace {

// Runs each test inside a fresh directory holding data/songs/ (unless told not to).
class SongCtrlTest : public testing::Test {
protected:
    void SetUp() override {
        char buf[4096];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        home = buf;
        ASSERT_EQ(chdir(tmp.path().c_str()), 0);
        fakeSound().clear();
    }
    void TearDown() override { ASSERT_EQ(chdir(home.c_str()), 0); }

    void makeFolder() { std::filesystem::create_directories("data/songs"); }
    void addSong(const std::string& name) { std::ofstream("data/songs/" + name) << "x"; }

    // the folder's entries as readdir gives them, minus the skipped names
    static std::vector<std::string> listing() {
        std::vector<std::string> names;
        DIR* d = opendir("./data/songs/");
        while (struct dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != ".." && n != "kirrowane-chipdiskintro.xm") names.push_back(n);
        }
        closedir(d);
        return names;
    }

    TempDir tmp;
    std::string home;
    CF3D f3d;
};

}  // namespace

TEST_F(SongCtrlTest, ScanKeepsListingOrderAndStartsTheFirstSong) {
    makeFolder();
    for (const char* n : {"b_side.xm", "a.xm", "kirrowane-chipdiskintro.xm", "kirrowane-intro.xm",
                          "zz_top.mod", "m", "c.xm", "notes.txt"})
        addSong(n);
    std::filesystem::create_directory("data/songs/sub_dir");
    const auto names = listing();

    CSongCtrl ctrl(&f3d);
    const auto& songs = ctrl.getSongs();
    ASSERT_EQ(ctrl.getSongCount(), 2 + static_cast<int>(names.size()));
    ASSERT_EQ(songs.size(), 2 + names.size());
    EXPECT_EQ(songs[0].name, " ");
    EXPECT_EQ(songs[1].name, "tavro chipdisk");
    EXPECT_EQ(songs[1].path, "data/songs/kirrowane-intro.xm");
    for (std::size_t i = 0; i < names.size(); i++)
        EXPECT_EQ(songs[2 + i].path, "data/songs/" + names[i]);
    for (const auto& s : songs) EXPECT_NE(s.path, "data/songs/kirrowane-chipdiskintro.xm");

    const std::vector<std::string> expected = {
        "init", "stop #0", "load data/songs/" + names[0] + " #1", "play #1", "active 1"};
    EXPECT_EQ(fakeSound().calls, expected);
    EXPECT_EQ(ctrl.getCurrentSong(), 2);
    EXPECT_EQ(ctrl.getShownSong(), 1);
}

TEST_F(SongCtrlTest, DisplayNames) {
    makeFolder();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"deep_blue_sea.xm", "deep blue sea"}, {"_intro.xm", "_intro"}, {"a.b.xm", "a"},
        {"kirrowane-intro.xm", "kirrowane-intro"}, {".hidden_one", ".hidden one"},
        {"no_dot", "no dot"}, {"x", "x"}, {"__x__.it", "_ x  "}};
    for (const auto& c : cases) addSong(c.first);
    CSongCtrl ctrl(&f3d);
    for (const auto& slot : ctrl.getSongs()) {
        if (slot.path.empty() || slot.name == "tavro chipdisk") continue;
        const std::string file = slot.path.substr(std::strlen("data/songs/"));
        bool found = false;
        for (const auto& c : cases)
            if (c.first == file) {
                EXPECT_EQ(slot.name, c.second) << file;
                found = true;
            }
        EXPECT_TRUE(found) << file;
    }
}

TEST_F(SongCtrlTest, ManySongsAndLongNames) {
    makeFolder();
    for (int i = 0; i < 120; i++) addSong("song_" + std::to_string(i) + ".xm");
    // a file name cannot be longer than 255 bytes; this is far past the old 100-byte slots
    const std::string longName = std::string(120, 'l') + "_" + std::string(130, 'n') + ".xm";
    addSong(longName);
    CSongCtrl ctrl(&f3d);
    ASSERT_EQ(ctrl.getSongCount(), 2 + 121);
    int longSlot = 0;
    for (int i = 2; i < ctrl.getSongCount(); i++)
        if (ctrl.getSongs()[i].path == "data/songs/" + longName) longSlot = i;
    ASSERT_GT(longSlot, 0);
    EXPECT_EQ(ctrl.getSongs()[longSlot].name, std::string(120, 'l') + " " + std::string(130, 'n'));

    // every slot is reachable by stepping forward, the last one plays
    for (int i = 2; i < ctrl.getSongCount() + 5; i++) ctrl.playNext();
    EXPECT_EQ(ctrl.getCurrentSong(), 122);
    EXPECT_EQ(fakeSound().count("load "), 121);
    EXPECT_EQ(fakeSound().calls.back(), "play #121");
}

TEST_F(SongCtrlTest, EmptyFolderStartsNothing) {
    makeFolder();
    CSongCtrl ctrl(&f3d);
    EXPECT_EQ(ctrl.getSongCount(), 2);
    EXPECT_EQ(ctrl.getSongs().size(), 2u);
    EXPECT_EQ(ctrl.getCurrentSong(), 1);
    ctrl.playNext();
    ctrl.playPrev();
    ctrl.stop();
    ctrl.play();
    EXPECT_EQ(fakeSound().count("load "), 0);
    EXPECT_EQ(fakeSound().calls.back(), "play #0");
    EXPECT_TRUE(ctrl.isFading());
}

TEST_F(SongCtrlTest, MissingFolderSaysSoAndCountsNothing) {
    testing::internal::CaptureStdout();
    CSongCtrl ctrl(&f3d);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Couldn't open the directory.\n");
    EXPECT_EQ(ctrl.getSongCount(), 0);
    ASSERT_EQ(ctrl.getSongs().size(), 2u);
    EXPECT_EQ(ctrl.getSongs()[1].name, "tavro chipdisk");
    ctrl.playNext();
    ctrl.playPrev();
    EXPECT_EQ(fakeSound().count("load "), 0);
    EXPECT_EQ(ctrl.getCurrentSong(), 1);
}

TEST_F(SongCtrlTest, SongsGivenAsFilesOrAFolderOrDroppedLater) {
    std::filesystem::create_directories("mods");
    std::ofstream("mods/z_last.xm") << "x";
    CSongCtrl files(&f3d, {"mods/b_two.xm", "a.xm"});
    ASSERT_EQ(files.getSongs().size(), 4u);
    EXPECT_EQ(files.getSongs()[2].name, "b two");
    EXPECT_EQ(files.getSongs()[3].path, "a.xm");
    EXPECT_EQ(fakeSound().playing(), "mods/b_two.xm");

    testing::internal::CaptureStdout();
    CSongCtrl missing(&f3d, {"no_such_folder/"});  // already reported by the command line
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    files.replaceSongs({"mods"});
    ASSERT_EQ(files.getSongs().size(), 3u);
    EXPECT_EQ(files.getSongs()[1].name, "tavro chipdisk");
    EXPECT_EQ(fakeSound().playing(), "mods/z_last.xm");
    EXPECT_EQ(files.getShownSong(), 2);  // the new name fades in
    EXPECT_EQ(files.getMenuAlpha(), 0.0f);
    std::filesystem::create_directories("empty");
    files.replaceSongs({"empty"});
    EXPECT_EQ(fakeSound().playing(), "");
    EXPECT_EQ(files.getCurrentSong(), 1);
}

TEST_F(SongCtrlTest, StepsStopAtBothEnds) {
    makeFolder();
    addSong("one.xm");
    addSong("two.xm");
    const auto names = listing();
    CSongCtrl ctrl(&f3d);
    fakeSound().clear();

    ctrl.playNext();
    EXPECT_EQ(ctrl.getCurrentSong(), 3);
    EXPECT_EQ(ctrl.getShownSong(), 2);  // the old name fades out first
    EXPECT_EQ(fakeSound().calls,
              (std::vector<std::string>{"stop #1", "load data/songs/" + names[1] + " #2", "play #2"}));

    fakeSound().clear();
    ctrl.playNext();  // at the last slot: plays on, still fades
    EXPECT_TRUE(fakeSound().calls.empty());
    EXPECT_EQ(ctrl.getCurrentSong(), 3);
    EXPECT_EQ(ctrl.getShownSong(), 3);
    EXPECT_TRUE(ctrl.isFading());
    EXPECT_EQ(ctrl.getFadeDir(), -1);

    ctrl.playPrev();
    ctrl.playPrev();
    EXPECT_EQ(ctrl.getCurrentSong(), 1);
    EXPECT_EQ(fakeSound().calls.at(4), "load data/songs/kirrowane-intro.xm #4");
    fakeSound().clear();
    ctrl.playPrev();  // the intro is the lowest slot
    EXPECT_TRUE(fakeSound().calls.empty());
    EXPECT_EQ(ctrl.getCurrentSong(), 1);

    ctrl.stop();
    ctrl.play();
    EXPECT_EQ(fakeSound().calls, (std::vector<std::string>{"stop #4", "play #4"}));
}

TEST_F(SongCtrlTest, FailedLoadStillMovesOnWithANullHandle) {
    makeFolder();
    addSong("broken.xm");
    CSongCtrl ctrl(&f3d);
    EXPECT_EQ(ctrl.getCurrentSong(), 2);
    fakeSound().clear();
    ctrl.stop();
    ctrl.play();
    EXPECT_EQ(fakeSound().calls, (std::vector<std::string>{"stop #0", "play #0"}));
}

TEST_F(SongCtrlTest, PauseHoldsPlayResumesStopRestartsAndStepsPlay) {
    makeFolder();
    addSong("one.xm");
    addSong("two.xm");
    CSongCtrl ctrl(&f3d);
    // each step: the action, then the status it leaves
    const struct {
        void (CSongCtrl::*act)();
        Playback after;
    } steps[] = {
        {&CSongCtrl::pause, Playback::Paused},   {&CSongCtrl::play, Playback::Playing},
        {&CSongCtrl::stop, Playback::Stopped},   {&CSongCtrl::pause, Playback::Stopped},
        {&CSongCtrl::play, Playback::Playing},   {&CSongCtrl::pause, Playback::Paused},
        {&CSongCtrl::playNext, Playback::Playing}, {&CSongCtrl::stop, Playback::Stopped},
        {&CSongCtrl::playPrev, Playback::Playing},
    };
    EXPECT_EQ(ctrl.playback(), Playback::Playing);
    for (std::size_t i = 0; i < std::size(steps); i++) {
        (ctrl.*steps[i].act)();
        EXPECT_EQ(ctrl.playback(), steps[i].after) << "step " << i;
    }
    EXPECT_EQ(ctrl.getCurrentSong(), 2);
}

TEST_F(SongCtrlTest, OpenFileReusesItsSlotOrAddsOneAndRefusesWhatDoesNotLoad) {
    makeFolder();
    addSong("one.xm");
    CSongCtrl ctrl(&f3d);
    ASSERT_EQ(ctrl.getSongCount(), 3);

    EXPECT_TRUE(ctrl.openFile("/music/far_away.it"));
    EXPECT_EQ(ctrl.getCurrentSong(), 3);
    EXPECT_EQ(ctrl.getSongs().at(3).name, "far away");
    EXPECT_EQ(ctrl.getShownSong(), 2);  // the old name fades out first
    EXPECT_TRUE(ctrl.isFading());
    EXPECT_EQ(fakeSound().playing(), "/music/far_away.it");
    ctrl.playPrev();
    ctrl.playNext();  // the new slot is part of the table
    EXPECT_EQ(fakeSound().playing(), "/music/far_away.it");

    EXPECT_TRUE(ctrl.openFile(std::filesystem::absolute("data/songs/one.xm")));
    EXPECT_EQ(ctrl.getCurrentSong(), 2);
    EXPECT_EQ(ctrl.getSongCount(), 4);

    fakeSound().clear();
    EXPECT_FALSE(ctrl.openFile("/music/broken.xm"));
    EXPECT_EQ(fakeSound().calls, (std::vector<std::string>{"load /music/broken.xm #0"}));
    EXPECT_EQ(ctrl.getCurrentSong(), 2);
    EXPECT_EQ(ctrl.getSongCount(), 4);
    EXPECT_EQ(ctrl.playback(), Playback::Playing);
}

namespace {

// Song line drawing needs GL; the font picture is all white, so glyphs are plain
// quads in the current colour, blended by its alpha.
class SongLineTest : public SongCtrlTest {
protected:
    void SetUp() override {
        SongCtrlTest::SetUp();
        ASSERT_TRUE(gl.ok()) << gl.error();
        std::filesystem::create_directories("data/gfx");
        const std::vector<uint8_t> white(256 * 256 * 4, 255);
        ASSERT_TRUE(CPNGWriter::write("data/gfx/font_test2.png", 256, 256, white.data(), true));
        f3d.init2DFont("data/gfx/font_test2.png", 0, 16, 16, 16, 16, 256);
        f3d.initGL(396, 260);
        makeFolder();
    }

    void frame(int ms) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        f3d.setTicks(ms);
        f3d.calcDt();
        ctrl->drawSongMenu();
        glFinish();
    }

    OffscreenGL gl;
    CSongCtrl* ctrl = nullptr;
};

}  // namespace

TEST_F(SongLineTest, NameFadesOutSwitchesAndFadesIn) {
    addSong("only.xm");
    CSongCtrl c(&f3d);
    ctrl = &c;
    int t = 1000;
    frame(t);
    EXPECT_EQ(gl.pixel(12, 225).r, 255);  // steady line at x = 10, top at 260 - 43
    EXPECT_EQ(gl.pixel(8, 225).r, 0);
    EXPECT_EQ(gl.pixel(12, 215).r, 0);

    c.playNext();  // at the last slot: same song, same fade
    c.playPrev();  // to the intro
    ASSERT_EQ(c.getShownSong(), 2);
    int frames = 0;
    while (c.getShownSong() == 2 && frames < 100) {
        frame(t += 10);
        frames++;
        if (frames == 10) {
            EXPECT_NEAR(c.getMenuAlpha(), 0.5f, 1e-4f);
            EXPECT_NEAR(gl.pixel(12, 225).r, 128, 2);
        }
    }
    // 200 ms of fade-out: alpha reaches 0 after 20 frames of 10 ms, drops below on 20 or 21
    EXPECT_GE(frames, 20);
    EXPECT_LE(frames, 21);
    EXPECT_EQ(c.getShownSong(), 1);
    EXPECT_EQ(c.getFadeDir(), 1);
    EXPECT_EQ(c.getMenuAlpha(), 0.0f);

    frames = 0;
    while (c.isFading() && frames < 100) {
        frame(t += 10);
        frames++;
    }
    EXPECT_GE(frames, 20);
    EXPECT_LE(frames, 21);
    EXPECT_EQ(c.getMenuAlpha(), 1.0f);
    EXPECT_EQ(gl.pixel(12, 225).r, 255);

    // a step mid-fade restarts the fade-out from full opacity
    c.playNext();
    frame(t += 50);
    c.playNext();
    EXPECT_EQ(c.getMenuAlpha(), 1.0f);
    EXPECT_EQ(c.getFadeDir(), -1);
}

TEST_F(SongLineTest, LongNamesSwingLeft) {
    const std::string name27(27, 'm');
    const std::string name28 = std::string(27, 'm') + "x";
    addSong(name27);
    addSong(name28);
    CSongCtrl c(&f3d);
    ctrl = &c;
    int slot27 = c.getSongs()[2].name == name27 ? 2 : 3;
    int slot28 = 5 - slot27;

    // step onto each name and finish the fade
    int t = 0;
    auto show = [&](int slot) {
        while (c.getCurrentSong() < slot) c.playNext();
        while (c.getCurrentSong() > slot) c.playPrev();
        for (int i = 0; i < 50; i++) frame(t += 100);
        ASSERT_EQ(c.getShownSong(), slot);
    };

    show(slot27);
    for (int ms : {0, 1800, 2356, 30000, 1000000}) {
        f3d.setTicks(ms);
        EXPECT_EQ(c.songLineX(), 10) << ms;
    }

    show(slot28);
    // offset = trunc(sin(ms / 500) * 10): rests while the sine is positive
    const std::pair<int, int> expected[] = {
        {0, 10}, {785, 10}, {1571, 10}, {1800, 6}, {2356, 1}, {3000, 8}, {3142, 10}};
    for (const auto& e : expected) {
        f3d.setTicks(e.first);
        EXPECT_EQ(c.songLineX(), e.second) << e.first;
    }

    frame(2356);
    EXPECT_EQ(gl.pixel(2, 225).r, 255);  // the first glyph now starts at x = 1
    EXPECT_EQ(gl.pixel(0, 225).r, 0);
}

TEST(Absf, FlipsOnlyNegatives) {
    EXPECT_EQ(absf(-2.5f), 2.5f);
    EXPECT_EQ(absf(3.0f), 3.0f);
    EXPECT_EQ(absf(-std::numeric_limits<float>::infinity()), std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::signbit(absf(-0.0f)));  // -0 is not < 0
    EXPECT_TRUE(std::isnan(absf(std::nanf(""))));
    EXPECT_TRUE(std::signbit(absf(-std::nanf(""))));
}
