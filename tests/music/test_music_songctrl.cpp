// The song table and the song line over a recording stand-in for the sound layer.
#include "CF3D.h"
#include "CSongCtrl.h"
#include "FakeSound.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <tuple>

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
const std::string INTRO = "data/songs/kirrowane-intro.xm";
const int STOPPED = int(Playback::Stopped);
const int PLAYING = int(Playback::Playing);
const int PAUSED = int(Playback::Paused);
// current slot, slot on the song line, song sounding, playback, songs loaded so far
using State = std::tuple<int, int, std::string, int, int>;

// Each test runs in a fresh folder.
class SongCtrl : public testing::Test {
protected:
    void SetUp() override {
        fs::current_path(tmp.path());
        fakeSound() = FakeSound();
    }
    void TearDown() override { fs::current_path(home); }
    static void addSongs(const std::string& folder, const Names& names) {
        fs::create_directories(folder);
        for (const auto& n : names) std::ofstream(folder + "/" + n) << "x";
    }
    static void finishWalk(CSongCtrl& c) {
        while (c.isCollecting()) c.update();
    }
    static State state(const CSongCtrl& c) {
        return {c.getCurrentSong(), c.getShownSong(), fakeSound().playing(), int(c.playback()),
                fakeSound().count("load ")};
    }
    fs::path home = fs::current_path();
    TempDir tmp;
    CF3D f3d;
};

TEST_F(SongCtrl, TheTableIsTheFolderAfterTheIntroByDisplayName) {
    addSongs("data/songs/sub_dir", {});
    addSongs("data/songs", {"b_side.xm", "a.xm", "kirrowane-chipdiskintro.xm", "kirrowane-intro.xm", "notes"});
    CSongCtrl ctrl(&f3d);
    const auto& songs = ctrl.getSongs();
    ASSERT_EQ(std::make_pair(ctrl.getSongCount(), songs.size()), std::make_pair(7, 7ul));
    Names paths;
    for (const auto& song : songs) paths.push_back(song.name + ":" + song.path);
    std::sort(paths.begin() + 2, paths.end());
    EXPECT_EQ(paths, (Names{" :", "tavro chipdisk:" + INTRO, "a:data/songs/a.xm", "b side:data/songs/b_side.xm",
                            "kirrowane-intro:" + INTRO, "notes:data/songs/notes", "sub dir:data/songs/sub_dir"}));
    EXPECT_EQ(fakeSound().calls, (Names{"init", "stop #0", "load " + songs[2].path + " #1", "play #1", "active 1"}));
    EXPECT_EQ(state(ctrl), State(2, 1, songs[2].path, PLAYING, 1));
    for (bool exists : {true, false}) {  // an empty folder starts nothing, a missing one says so
        fs::remove_all("data");
        fakeSound() = FakeSound();
        addSongs(exists ? "data/songs" : "elsewhere", {});
        testing::internal::CaptureStdout();
        CSongCtrl none(&f3d);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), exists ? "" : "Couldn't open the directory.\n");
        EXPECT_EQ(std::make_pair(none.getSongCount(), none.getSongs().size()), std::make_pair(exists ? 2 : 0, 2ul));
        none.playNext();
        none.playPrev();
        none.play();
        EXPECT_EQ(state(none), State(1, 1, "", STOPPED, 0));
    }
    // names are file names up to the first dot after the first letter, with spaces for underscores
    const std::pair<const char*, const char*> cases[] = {
        {"_intro.xm", "_intro"}, {"a.b.xm", "a"}, {".hidden_one", ".hidden one"}, {"/music/far_away.it", "far away"}};
    for (const auto& [file, name] : cases) EXPECT_EQ(songDisplayName(file), name) << file;
    // a file of several subsongs names each with its number, in the order the file lists them
    Names names;
    for (const song_slot_t& slot : subsongSlots("/c64/two_tunes.sid", {1, 0, 2})) names.push_back(slot.name);
    EXPECT_EQ(names, (Names{"two tunes 2", "two tunes 1", "two tunes 3"}));
    EXPECT_EQ(subsongSlots("one.sid", {0}).at(0).name, "one");
    EXPECT_EQ(subsongSlots("x.nsf", {4, 0}).at(0).subsong, 4);
}

// Steps stop at both ends: Up from the intro never lands on the blank slot, Down on
// the last song plays on; the song line first fades out the name it showed.
TEST_F(SongCtrl, StepsPauseAndStop) {
    addSongs("data/songs", {"one.xm", "two.xm"});
    CSongCtrl ctrl(&f3d);
    const std::string p[] = {ctrl.getSongs()[2].path, ctrl.getSongs()[3].path};
    using C = CSongCtrl;
    const struct {
        void (C::*act)();
        State after;
    } steps[] = {{&C::pause, {2, 1, p[0], PAUSED, 1}},      {&C::play, {2, 1, p[0], PLAYING, 1}},
                 {&C::stop, {2, 1, "", STOPPED, 1}},        {&C::pause, {2, 1, "", STOPPED, 1}},
                 {&C::play, {2, 1, p[0], PLAYING, 1}},      {&C::pause, {2, 1, p[0], PAUSED, 1}},
                 {&C::playNext, {3, 2, p[1], PLAYING, 2}},  {&C::playNext, {3, 3, p[1], PLAYING, 2}},
                 {&C::stop, {3, 3, "", STOPPED, 2}},        {&C::playPrev, {2, 3, p[0], PLAYING, 3}},
                 {&C::playPrev, {1, 2, INTRO, PLAYING, 4}}, {&C::playPrev, {1, 1, INTRO, PLAYING, 4}}};
    for (const auto& s : steps) {
        (ctrl.*s.act)();
        EXPECT_EQ(state(ctrl), s.after) << "step " << &s - steps;
    }
    ctrl.playSong(0);
    EXPECT_EQ(ctrl.getCurrentSong(), 1) << "the blank slot plays nothing";
}

// The user's songs: folders walked, only songs take slots, and what was left out is
// one line on standard error. A drop replaces the list; a file opened reuses its slot
// or gets a new one, unless it does not load.
TEST_F(SongCtrl, SongsGivenDroppedOrOpened) {
    addSongs("mods/sub", {"z_last.xm"});
    addSongs("mods", {"broken.xm", "a10.xm", "a9.xm"});
    addSongs(".", {"one.xm"});
    testing::internal::CaptureStderr();
    CSongCtrl ctrl(&f3d, {"missing.xm", "mods", "one.xm"});
    finishWalk(ctrl);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "chipdisk: 1 file is not a song\n");
    Names paths;
    for (const auto& song : ctrl.getSongs()) paths.push_back(song.path);
    EXPECT_EQ(paths, (Names{"", INTRO, "mods/a9.xm", "mods/a10.xm", "mods/sub/z_last.xm", "one.xm"}));
    EXPECT_EQ(state(ctrl), State(2, 1, "mods/a9.xm", PLAYING, 1));
    ctrl.replaceSongs({"mods/sub"});
    finishWalk(ctrl);
    EXPECT_EQ(state(ctrl), State(2, 2, "mods/sub/z_last.xm", PLAYING, 2));
    EXPECT_EQ(ctrl.getMenuAlpha(), 0.0f) << "the new name fades in";
    EXPECT_TRUE(ctrl.openFile("/music/far_away.it"));
    EXPECT_EQ(state(ctrl), State(3, 2, "/music/far_away.it", PLAYING, 3));
    ctrl.playPrev();
    ctrl.playNext();  // the new slot is part of the table
    EXPECT_EQ(state(ctrl), State(3, 2, "/music/far_away.it", PLAYING, 5));
    const std::string last = fs::absolute("mods/sub/z_last.xm").string();
    EXPECT_TRUE(ctrl.openFile(last));
    EXPECT_FALSE(ctrl.openFile("/music/broken.xm"));
    EXPECT_EQ(state(ctrl), State(2, 3, last, PLAYING, 7));
    EXPECT_EQ(ctrl.getSongCount(), 4);
}

// At a song's end the sound layer moves on to the queued song: in repeat list the
// next, the first after the last (and after the intro); in repeat none nothing after
// the last, and then Play starts the list again. Next wraps only in repeat list.
TEST_F(SongCtrl, RepeatModesAtASongsEnd) {
    addSongs("mods", {"a.xm", "b.xm"});
    CSongCtrl ctrl(&f3d, {"mods"});
    finishWalk(ctrl);
    const std::string a = "mods/a.xm";
    const std::string b = "mods/b.xm";
    EXPECT_EQ(fakeSound().queuedHandle, 0) << "a song on repeat is followed by nothing";
    using Act = std::function<void()>;
    const Act listMode = [&] { ctrl.setRepeat(RepeatMode::List); };
    const Act noneMode = [&] { ctrl.setRepeat(RepeatMode::None); };
    const Act end = [] { fakeSound().endSong(); };
    const Act play = [&] { ctrl.play(); };
    const Act next = [&] { ctrl.playNext(); };
    const Act prev = [&] { ctrl.playPrev(); };
    const struct {
        const Act& act;
        std::string playing;
        int slot;
    } steps[] = {
        {listMode, a, 2}, {end, b, 3},  {end, a, 2},  {prev, INTRO, 1}, {end, a, 2},
        {end, b, 3},      {next, a, 2}, {next, b, 3}, {noneMode, b, 3}, {next, b, 3},
        {end, "", 3},     {play, a, 2}, {end, b, 3},  {end, "", 3},     {next, "", 3},
    };
    for (const auto& step : steps) {
        step.act();
        ctrl.update();
        EXPECT_EQ(std::make_pair(fakeSound().playing(), ctrl.getCurrentSong()), std::make_pair(step.playing, step.slot))
            << "step " << &step - steps;
    }
}

// Shuffled, with a fixed seed: each round plays every song once, from the song playing
// when shuffle came on, and no song plays twice in a row across rounds; Prev goes back
// through what played; off, the list goes on in its order after the song playing.
TEST_F(SongCtrl, ShuffleRoundsAndTheWayBack) {
    addSongs("mods", {"1.xm", "2.xm", "3.xm", "4.xm", "5.xm"});
    CSongCtrl ctrl(&f3d, {"mods"});
    finishWalk(ctrl);
    ctrl.setRepeat(RepeatMode::List);
    ctrl.seedShuffle(7);
    ctrl.playNext();
    ctrl.setShuffle(true);
    std::vector<int> played = {ctrl.getCurrentSong()};
    for (int end = 0; end < 14; end++) {
        fakeSound().endSong();
        ctrl.update();
        played.push_back(ctrl.getCurrentSong());
    }
    EXPECT_EQ(played[0], 3);
    int inListOrder = 0;
    for (int round = 0; round < 3; round++) {
        std::vector<int> slots(played.begin() + 5 * round, played.begin() + 5 * round + 5);
        inListOrder += std::is_sorted(slots.begin(), slots.end());
        std::sort(slots.begin(), slots.end());
        EXPECT_EQ(slots, (std::vector<int>{2, 3, 4, 5, 6})) << "round " << round;
    }
    EXPECT_LT(inListOrder, 2) << "shuffled";
    EXPECT_EQ(std::adjacent_find(played.begin(), played.end()), played.end());
    for (int back = 13; back >= 10; back--) {
        ctrl.playPrev();
        EXPECT_EQ(ctrl.getCurrentSong(), played[back]);
    }
    ctrl.setShuffle(false);
    ctrl.playNext();
    EXPECT_EQ(ctrl.getCurrentSong(), played[10] == 6 ? 2 : played[10] + 1);
}

// The song line fades the old name out in 200 ms, the new one in (no GL: frame tests look).
TEST_F(SongCtrl, TheSongLineFadesAndLongNamesSwingLeft) {
    addSongs("data/songs", {"only.xm", std::string(27, 'm') + "x"});
    CSongCtrl c(&f3d);
    int frames = 0;
    auto frame = [&] {  // 10 ms on
        f3d.setTicks(10 * ++frames);
        f3d.calcDt();
        c.drawSongMenu();
        return c.getMenuAlpha();
    };
    EXPECT_EQ(frame(), 1.0f);
    c.playPrev();
    while (frames < 10) frame();
    EXPECT_NEAR(frame(), 0.5f, 1e-4f);
    while (c.getShownSong() == 2 && frames < 100) frame();
    EXPECT_NEAR(frames - 1, 20.5, 0.5);
    while (c.isFading() && frames < 100) frame();
    EXPECT_NEAR(frames - 1, 41, 1);

    // a name of 28 letters swings left by trunc(sin(ms / 500) * 10) while that is negative
    while (c.getSongs()[c.getCurrentSong()].name.size() != 28 && c.getCurrentSong() < 3) c.playNext();
    c.showCurrentSong();
    const std::pair<int, int> swing[] = {{785, 10}, {1800, 6}, {2356, 1}};
    for (auto [ms, x] : swing) {
        f3d.setTicks(ms);
        EXPECT_EQ(c.songLineX(), x) << ms;
    }
}
