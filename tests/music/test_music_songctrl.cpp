// The song table and the song line over a recording stand-in for the sound layer.
#include "CF3D.h"
#include "CPNGWriter.h"
#include "CSongCtrl.h"
#include "FakeSound.h"
#include "OffscreenGL.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <tuple>

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
const std::string INTRO = "data/songs/kirrowane-intro.xm";
const int STOPPED = int(Playback::Stopped), PLAYING = int(Playback::Playing), PAUSED = int(Playback::Paused);

// Each test runs in a fresh folder.
class SongCtrl : public testing::Test {
protected:
    void SetUp() override {
        fs::current_path(tmp.path());
        fakeSound() = FakeSound();
    }
    void TearDown() override { fs::current_path(home); }

    // puts songs in data/songs/; their paths as readdir lists them, which the table keeps
    static Names addSongs(const Names& names) {
        fs::create_directories("data/songs");
        for (const auto& n : names) std::ofstream("data/songs/" + n) << "x";
        Names listed;
        DIR* d = opendir("data/songs");
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.' && e->d_name != std::string("kirrowane-chipdiskintro.xm"))
                listed.push_back(std::string("data/songs/") + e->d_name);
        closedir(d);
        return listed;
    }
    // current slot, slot on the song line, song sounding, playback, songs loaded so far
    static auto state(const CSongCtrl& c) {
        return std::make_tuple(c.getCurrentSong(), c.getShownSong(), fakeSound().playing(), int(c.playback()),
                               fakeSound().count("load "));
    }

    fs::path home = fs::current_path();
    TempDir tmp;
    CF3D f3d;
};

TEST_F(SongCtrl, TheTableIsTheFolderInListingOrderAfterTheIntro) {
    fs::create_directories("data/songs/sub_dir");
    const auto paths = addSongs({"b_side.xm", "a.xm", "kirrowane-chipdiskintro.xm", "kirrowane-intro.xm", "notes"});
    CSongCtrl ctrl(&f3d);
    ASSERT_EQ(ctrl.getSongCount(), 7);
    ASSERT_EQ(ctrl.getSongs().size(), 7u);
    EXPECT_EQ(ctrl.getSongs()[0].name + ctrl.getSongs()[1].name + ctrl.getSongs()[1].path, " tavro chipdisk" + INTRO);
    for (std::size_t i = 0; i < paths.size(); i++) EXPECT_EQ(ctrl.getSongs()[2 + i].path, paths[i]);
    EXPECT_EQ(fakeSound().calls, (Names{"init", "stop #0", "load " + paths[0] + " #1", "play #1", "active 1"}));
    EXPECT_EQ(state(ctrl), std::make_tuple(2, 1, paths[0], PLAYING, 1));
}

TEST(SongName, FileNameUpToItsDotWithSpacesForUnderscores) {
    const std::pair<std::string, std::string> cases[] = {{"deep_blue_sea.xm", "deep blue sea"},
        {"_intro.xm", "_intro"}, {"a.b.xm", "a"}, {".hidden_one", ".hidden one"}, {"__x__.it", "_ x  "},
        {"/music/far_away.it", "far away"}, {std::string(250, 'l') + "_n.xm", std::string(250, 'l') + " n"}};
    for (const auto& [file, name] : cases) EXPECT_EQ(songDisplayName(file), name) << file;
}

TEST_F(SongCtrl, AnEmptyOrMissingFolderStartsNothing) {
    for (bool exists : {true, false}) {
        if (exists) fs::create_directories("data/songs");
        testing::internal::CaptureStdout();
        CSongCtrl ctrl(&f3d);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), exists ? "" : "Couldn't open the directory.\n");
        EXPECT_EQ(std::make_pair(ctrl.getSongCount(), ctrl.getSongs().size()), std::make_pair(exists ? 2 : 0, 2ul));
        ctrl.playNext();
        ctrl.playPrev();
        ctrl.play();
        EXPECT_EQ(state(ctrl), std::make_tuple(1, 1, "", STOPPED, 0));
        fs::remove_all("data");
    }
}

// Steps stop at both ends: Up from the intro never lands on the blank slot, Down on
// the last song plays on; the song line first fades out the name it showed.
TEST_F(SongCtrl, StepsPauseAndStop) {
    const auto p = addSongs({"one.xm", "two.xm"});
    CSongCtrl ctrl(&f3d);
    using C = CSongCtrl;
    const struct { void (C::*act)(); std::tuple<int, int, std::string, int, int> after; } steps[] = {
        {&C::pause, {2, 1, p[0], PAUSED, 1}},    {&C::play, {2, 1, p[0], PLAYING, 1}},
        {&C::stop, {2, 1, "", STOPPED, 1}},      {&C::pause, {2, 1, "", STOPPED, 1}},
        {&C::play, {2, 1, p[0], PLAYING, 1}},    {&C::pause, {2, 1, p[0], PAUSED, 1}},
        {&C::playNext, {3, 2, p[1], PLAYING, 2}}, {&C::playNext, {3, 3, p[1], PLAYING, 2}},
        {&C::stop, {3, 3, "", STOPPED, 2}},      {&C::playPrev, {2, 3, p[0], PLAYING, 3}},
        {&C::playPrev, {1, 2, INTRO, PLAYING, 4}}, {&C::playPrev, {1, 1, INTRO, PLAYING, 4}}};
    for (const auto& s : steps) {
        (ctrl.*s.act)();
        EXPECT_EQ(state(ctrl), s.after) << "step " << &s - steps;
    }
    EXPECT_EQ(std::make_pair(ctrl.isFading(), ctrl.getFadeDir()), std::make_pair(true, -1));
    ctrl.playSong(0);
    EXPECT_EQ(ctrl.getCurrentSong(), 1) << "the blank slot plays nothing";
}

TEST_F(SongCtrl, SongsGivenAsFilesOrAFolderOrDroppedLater) {
    fs::create_directories("mods");
    fs::create_directories("empty");
    std::ofstream("mods/z_last.xm") << "x";
    CSongCtrl ctrl(&f3d, {"broken.xm", "a.xm"});
    ASSERT_EQ(ctrl.getSongs().size(), 4u);
    EXPECT_EQ(ctrl.getSongs()[3].path, "a.xm");
    ctrl.stop();
    ctrl.play();
    EXPECT_EQ(fakeSound().calls.back(), "play #0") << "a song that does not load stays current";
    EXPECT_EQ(state(ctrl), std::make_tuple(2, 1, "", STOPPED, 1));
    ctrl.replaceSongs({"mods"});
    ASSERT_EQ(ctrl.getSongs().size(), 3u);
    EXPECT_EQ(ctrl.getSongs()[1].path, INTRO);
    EXPECT_EQ(state(ctrl), std::make_tuple(2, 2, "mods/z_last.xm", PLAYING, 2));
    EXPECT_EQ(ctrl.getMenuAlpha(), 0.0f) << "the new name fades in";
    ctrl.replaceSongs({"empty"});
    EXPECT_EQ(state(ctrl), std::make_tuple(1, 1, "", STOPPED, 2));
}

TEST_F(SongCtrl, OpenFileReusesItsSlotOrAddsOneAndRefusesWhatDoesNotLoad) {
    const auto p = addSongs({"one.xm"});
    CSongCtrl ctrl(&f3d);
    EXPECT_TRUE(ctrl.openFile("/music/far_away.it"));
    EXPECT_EQ(state(ctrl), std::make_tuple(3, 2, "/music/far_away.it", PLAYING, 2));
    ctrl.playPrev();
    ctrl.playNext();  // the new slot is part of the table
    EXPECT_EQ(state(ctrl), std::make_tuple(3, 2, "/music/far_away.it", PLAYING, 4));
    EXPECT_TRUE(ctrl.openFile(fs::absolute(p[0])));
    EXPECT_FALSE(ctrl.openFile("/music/broken.xm"));
    EXPECT_EQ(state(ctrl), std::make_tuple(2, 3, fs::absolute(p[0]).string(), PLAYING, 6));
    EXPECT_EQ(ctrl.getSongCount(), 4);
}

// The font picture is all white, so glyphs are plain quads in the current colour.
TEST_F(SongCtrl, TheSongLineFadesAndLongNamesSwingLeft) {
    OffscreenGL gl;
    ASSERT_TRUE(gl.ok()) << gl.error();
    const std::vector<uint8_t> white(256 * 256 * 4, 255);
    ASSERT_TRUE(CPNGWriter::write("font.png", 256, 256, white.data(), true));
    f3d.init2DFont("font.png", 0, 16, 16, 16, 16, 256);
    f3d.initGL(396, 260);
    addSongs({"only.xm", std::string(27, 'm') + "x"});
    CSongCtrl c(&f3d);
    int t = 0, frames = 0;
    auto frame = [&] {
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        f3d.setTicks(t += 10);
        f3d.calcDt();
        c.drawSongMenu();
        frames++;
        return std::make_tuple(gl.pixel(12, 225).r, gl.pixel(8, 225).r, gl.pixel(12, 215).r);
    };
    EXPECT_EQ(frame(), std::make_tuple(255, 0, 0)) << "the line starts at x = 10, its top at 260 - 43";

    // 200 ms out, then 200 ms in, at 10 ms a frame; a step restarts the fade-out
    c.playPrev();
    while (frames < 10) frame();
    EXPECT_NEAR(std::get<0>(frame()), 128, 2);
    EXPECT_NEAR(c.getMenuAlpha(), 0.5f, 1e-4f);
    while (c.getShownSong() == 2 && frames < 100) frame();
    EXPECT_NEAR(frames - 1, 20.5, 0.5);
    while (c.isFading() && frames < 100) frame();
    EXPECT_NEAR(frames - 1, 41, 1);
    EXPECT_EQ(c.getMenuAlpha(), 1.0f);
    c.playNext();
    frame();
    c.playNext();
    EXPECT_EQ(c.getMenuAlpha(), 1.0f);

    // a name of 28 letters swings left by trunc(sin(ms / 500) * 10) while that is negative
    if (c.getSongs()[c.getCurrentSong()].name.size() != 28) c.playPrev();
    c.showCurrentSong();
    const std::pair<int, int> swing[] = {{0, 10}, {785, 10}, {1571, 10}, {1800, 6}, {2356, 1}, {3000, 8}, {3142, 10}};
    for (auto [ms, x] : swing) {
        f3d.setTicks(ms);
        EXPECT_EQ(c.songLineX(), x) << ms;
    }
    f3d.setTicks(2356);
    c.playPrev();
    c.showCurrentSong();
    EXPECT_EQ(c.songLineX(), 10) << "shorter names rest";
}
