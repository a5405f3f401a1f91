#ifndef CHIPDISK_CCOMMANDLINE_H
#define CHIPDISK_CCOMMANDLINE_H

#include <string>
#include <vector>

// What the program was asked to do on its command line.
struct command_t {
    enum Mode { Window, Record, Help, Version, Error } mode = Window;
    std::string error;  // Error: one line saying what is wrong

    // Window: folders, playlists and song files in the order given; empty: the songs folder
    std::vector<std::string> songs;
    std::string repeat;    // "song", "list" or "none"; empty: as remembered
    bool shuffle = false;  // true: shuffled for this run; false: as remembered

    // Record: the recorder's settings
    std::string out;       // a folder, or a file ending in .mp4, .mkv or .webm
    double seconds = 0.0;  // 0: one pass of the song, at most 600
    int fps = 60;          // 1..240
    int scale = 1;         // 1..4, nearest-neighbour magnification
    std::string song;      // empty: the first song of the songs folder
    int subsong = 0;       // 1..: the song file's subsong of that number; 0: the file's default
    int effect = -1;       // 0..3 held; -1: the effects rotate
};

class CCommandLine {
public:
    static command_t parse(const std::vector<std::string>& args);  // args without argv[0]
    static const char* usage();
    // One line on what is wrong with the songs asked for ("" when nothing is): the
    // first folder or file given that does not exist.
    static std::string checkSongs(const std::vector<std::string>& songs);
    // The container a recording goes to: "mp4", "mkv", "webm", or "" for a folder.
    static std::string videoKind(const std::string& out);
};

#endif
