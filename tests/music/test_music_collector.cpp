// Gathering the user's songs from folders and playlists; a song here is any file
// whose content starts with "song", followed by its number of subsongs if it has
// several; a file that says "roms" needs system ROMs.
#include "CSongCollector.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

CSongCollector::Song startsWithSong(const std::string& path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    CSongCollector::Song song;
    song.needsRoms = text == "roms";
    if (text.compare(0, 4, "song") != 0) return song;
    const int subsongs = text.size() > 4 ? std::stoi(text.substr(4)) : 1;
    for (int s = subsongs - 1; s >= 0; s--) song.subsongs.push_back(s);
    return song;
}

void write(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The songs found, relative to `root` (":n" for subsong n of several), and the summary lines.
struct Collected {
    Strings songs;
    Strings lines;
};

Collected collect(const TempDir& root, const Strings& given, std::size_t cap = CSongCollector::MAX_SONGS) {
    CSongCollector collector(startsWithSong, cap);
    Collected out;
    Strings absolute;
    for (const std::string& g : given) absolute.push_back(root / g);
    collector.collect(absolute, [&](const std::string& path, const std::vector<int>& subsongs) {
        const std::string relative = fs::path(path).lexically_normal().string().substr(root.path().size() + 1);
        for (int s : subsongs) out.songs.push_back(relative + (subsongs.size() > 1 ? ":" + std::to_string(s) : ""));
        return true;
    });
    out.lines = CSongCollector::summaryLines(collector.summary());
    return out;
}

// Root reads every folder; without these two capabilities this thread reads as its owner would.
class NoReadOverride {
public:
    NoReadOverride() {
        syscall(SYS_capget, &header, saved);
        __user_cap_data_struct lowered[2] = {saved[0], saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        syscall(SYS_capset, &header, lowered);
    }
    ~NoReadOverride() { syscall(SYS_capset, &header, saved); }

private:
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2] = {};
};

}  // namespace

TEST(NaturalOrder, DigitsByValueCaseFoldedTiesByBytes) {
    const std::pair<const char*, const char*> ordered[] = {
        {"track9", "track10"}, {"a", "B"},        {"Apple", "apple"}, {"01 intro.it", "1 intro.it"},
        {"song", "song1"},     {"x2y3", "x2y10"}, {"Z", "\xff"},
    };
    for (const auto& [first, second] : ordered) {
        EXPECT_TRUE(CSongCollector::naturalLess(first, second)) << first << " < " << second;
        EXPECT_FALSE(CSongCollector::naturalLess(second, first)) << second << " < " << first;
    }
    EXPECT_FALSE(CSongCollector::naturalLess("same", "same"));
}

// Nested folders depth first in natural order, hidden entries, a link loop, a link
// to nothing, a folder that cannot be read, files that are not songs.
TEST(Collect, AFolderIsWalkedInNaturalOrder) {
    TempDir tmp;
    for (const char* song : {"Artist A/track10.xm", "Artist A/track2.xm", "Artist A/album/01 intro.it", "b/song.it",
                             "b/.hidden.xm", "c/d/e.mod", "Closed/inside.xm"})
        write(tmp / std::string("mods/") + song, "song");
    write(tmp / "mods/b/playlist.m3u", "track2.xm\n");  // in a walked folder, not read
    write(tmp / "mods/readme.txt", "text");
    write(tmp / "empty/.keep", "");
    fs::create_directory_symlink(tmp / "mods", tmp / "mods/c/d/loop");
    fs::create_symlink(tmp / "nothing", tmp / "mods/c/dangling.xm");
    fs::permissions(tmp / "mods/Closed", fs::perms::none);
    Collected c;
    {
        NoReadOverride asOwner;
        c = collect(tmp, {"mods", "empty"});
    }
    fs::permissions(tmp / "mods/Closed", fs::perms::owner_all);
    const Strings songs = {"mods/Artist A/album/01 intro.it", "mods/Artist A/track2.xm", "mods/Artist A/track10.xm",
                           "mods/b/song.it", "mods/c/d/e.mod"};
    EXPECT_EQ(c.songs, songs);
    const Strings lines = {"3 files are not songs, 1 folder could not be read", tmp / "empty holds no song"};
    EXPECT_EQ(c.lines, lines);
}

// Each subsong is a song, and counts as one.
TEST(Collect, TheCapKeepsTheFirstSongsInOrder) {
    TempDir tmp;
    for (const char* song : {"f/3", "f/1", "f/10"}) write(tmp / song, "song");
    write(tmp / "f/2", "song3");
    write(tmp / "f/4", "roms");
    const Collected capped = collect(tmp, {"f"}, 2);
    EXPECT_EQ(capped.songs, (Strings{"f/1", "f/2"}));
    EXPECT_EQ(capped.lines, Strings{"only the first 2 songs are listed"});
    const Collected all = collect(tmp, {"f"}, 6);
    EXPECT_EQ(all.songs, (Strings{"f/1", "f/2:2", "f/2:1", "f/2:0", "f/3", "f/10"}));
    EXPECT_EQ(all.lines, Strings{"1 tune needs system ROMs"});
}

// Comments, relative and absolute paths, CRLF, a byte-order mark, URLs, missing
// entries, a playlist naming a playlist, a loop of playlists; PLS by entry number.
TEST(Collect, PlaylistsInTheirOwnOrder) {
    TempDir tmp;
    for (const char* song : {"s/one.xm", "s/two.xm", "s/three.xm", "s/sub/four.xm"}) write(tmp / song, "song");
    write(tmp / "s/notes.txt", "text");
    const std::string three = tmp / "s/three.xm";
    write(tmp / "lists/a.m3u", "#EXTM3U\r\n#EXTINF:1,x\r\n../s/two.xm\r\n  \r\n" + three + "\r\nhttp://x/y.xm\r\n");
    write(tmp / "lists/b.M3U8", "\xEF\xBB\xBF../s/one.xm\nmissing.xm\n../s/notes.txt\na.m3u\nc.m3u\n");
    write(tmp / "lists/c.m3u", "b.M3U8\n../s/sub\nfile://" + tmp.path() + "/s/one.xm\n");
    write(tmp / "lists/d.pls",
          "[playlist]\nFile2=../s/two.xm\nTitle1=x\nfile1=../s/one.xm\nFile3=\nNumberOfEntries=3\n");
    const struct {
        const char* list;
        Strings songs;
        Strings lines;
    } cases[] = {
        {"lists/a.m3u", {"s/two.xm", "s/three.xm"}, {"1 playlist entry is a URL"}},
        {"lists/b.M3U8",
         {"s/one.xm", "s/two.xm", "s/three.xm", "s/sub/four.xm", "s/one.xm"},
         {"1 file is not a song, 1 playlist entry names no file, 1 playlist entry is a URL"}},
        {"lists/d.pls", {"s/one.xm", "s/two.xm"}, {}},
    };
    for (const auto& c : cases) {
        const Collected got = collect(tmp, {c.list});
        EXPECT_EQ(got.songs, c.songs) << c.list;
        EXPECT_EQ(got.lines, c.lines) << c.list;
    }
}

TEST(Collect, PlaylistsNestAtMostEightDeep) {
    TempDir tmp;
    write(tmp / "song.xm", "song");
    for (int n = 1; n <= 9; n++)
        write(tmp / ("l" + std::to_string(n) + ".m3u"), "l" + std::to_string(n + 1) + ".m3u\n");
    write(tmp / "l9.m3u", "song.xm\n");
    EXPECT_EQ(collect(tmp, {"l2.m3u"}).songs, Strings{"song.xm"});
    const Collected tooDeep = collect(tmp, {"l1.m3u"});
    EXPECT_TRUE(tooDeep.songs.empty());
    EXPECT_EQ(tooDeep.lines, Strings{"1 playlist could not be read"});
}
