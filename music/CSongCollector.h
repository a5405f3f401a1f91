#ifndef CHIPDISK_CSONGCOLLECTOR_H
#define CHIPDISK_CSONGCOLLECTOR_H

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Gathers the songs the user gives, in the order they are to play: folders walked
// depth first with each folder's entries in natural order, playlists (.m3u, .m3u8,
// .pls) read in their own order, song files taken as they are. A file is as many
// songs as the `look` at it finds subsongs; the rest is counted for one line of
// summary. Runs on any one thread; touches nothing but the file system and its own
// state.
class CSongCollector {
public:
    struct Song {
        std::vector<int> subsongs;  // in the order they are listed; none: not a song
        bool needsRoms = false;     // a song that cannot play without system ROMs
    };
    using Look = std::function<Song(const std::string& path)>;
    // Called for each file of songs in order; false stops the collection (the caller
    // gave up). Past the cap, only the subsongs that fit are given.
    using Found = std::function<bool(const std::string& path, const std::vector<int>& subsongs)>;

    struct Summary {
        int songs = 0;              // subsongs, each a song
        int notSongs = 0;           // files and playlist entries that are not songs
        int needRoms = 0;           // tunes left out for want of system ROMs
        int missingEntries = 0;     // playlist entries naming nothing
        int urlEntries = 0;         // playlist entries on the network
        int unreadableFolders = 0;  // folders that could not be listed
        int unreadablePlaylists = 0;
        bool capped = false;                // more songs than the cap: the rest left out
        std::vector<std::string> songless;  // given folders that hold no song
    };

    static const std::size_t MAX_SONGS = 100000;  // subsongs

    explicit CSongCollector(Look look, std::size_t cap = MAX_SONGS) : look(std::move(look)), cap(cap) {}

    // Collects `given` (folders, playlists and song files), in that order.
    void collect(const std::vector<std::string>& given, const Found& found);
    const Summary& summary() const { return sum; }

    // The lines for standard error, without the program's prefix: what was left out
    // ("12 files are not songs, 1 folder could not be read") and each given folder
    // that holds no song. None when nothing was left out.
    static std::vector<std::string> summaryLines(const Summary& s);

    // Natural order of names: case-folded, runs of digits compared as numbers, ties
    // broken by byte order; the same in every locale. Names that are not UTF-8 are
    // compared as bytes.
    static bool naturalLess(const std::string& a, const std::string& b);

    // .m3u, .m3u8 and .pls, whatever their case.
    static bool isPlaylist(const std::string& path);

private:
    // false once the caller has given up or the cap is reached
    bool take(const std::string& path, const Found& found);
    bool take(const std::string& path, std::vector<int> subsongs, const Found& found);
    bool walk(const std::string& folder, const Found& found);
    bool readPlaylist(const std::string& path, int depth, const Found& found);
    bool entry(const std::string& path, int depth, const Found& found);

    Look look;
    std::size_t cap;
    Summary sum;
    std::set<std::pair<unsigned long, unsigned long>> seenFolders;    // device, inode
    std::set<std::pair<unsigned long, unsigned long>> seenPlaylists;  // device, inode
};

#endif
