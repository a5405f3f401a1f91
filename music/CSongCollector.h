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
// .pls) read in their own order, song files taken as they are. Only files the
// `isSong` test accepts are songs; the rest is counted for one line of summary.
// Runs on any one thread; touches nothing but the file system and its own state.
class CSongCollector {
public:
    using IsSong = std::function<bool(const std::string& path)>;
    // Called for each song in order; false stops the collection (the caller gave up).
    using Found = std::function<bool(const std::string& path)>;

    struct Summary {
        int songs = 0;
        int notSongs = 0;           // files and playlist entries that are not songs
        int missingEntries = 0;     // playlist entries naming nothing
        int urlEntries = 0;         // playlist entries on the network
        int unreadableFolders = 0;  // folders that could not be listed
        int unreadablePlaylists = 0;
        bool capped = false;                 // more songs than the cap: the rest left out
        std::vector<std::string> songless;   // given folders that hold no song
    };

    static const std::size_t MAX_SONGS = 100000;

    explicit CSongCollector(IsSong isSong, std::size_t cap = MAX_SONGS)
        : isSong(std::move(isSong)), cap(cap) {}

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
    bool walk(const std::string& folder, const Found& found);
    bool readPlaylist(const std::string& path, int depth, const Found& found);
    bool entry(const std::string& path, int depth, const Found& found);

    IsSong isSong;
    std::size_t cap;
    Summary sum;
    std::set<std::pair<unsigned long, unsigned long>> seenFolders;    // device, inode
    std::set<std::pair<unsigned long, unsigned long>> seenPlaylists;  // device, inode
};

#endif
