#include "CCommandLine.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Whole-string numbers only: "12x", "", "nan" and "inf" are not numbers here.
bool toDouble(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}

bool toInt(const std::string& text, int& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < -1000000 || v > 1000000) return false;
    value = static_cast<int>(v);
    return true;
}

command_t failure(const std::string& why) {
    command_t c;
    c.mode = command_t::Error;
    c.error = why;
    return c;
}

}  // namespace

const char* CCommandLine::usage() {
    return "usage: chipdisk [--repeat song|list|none] [--shuffle] [FOLDER | FILE...]\n"
           "       chipdisk --record OUT [--seconds S] [--fps N] [--scale K] [--song FILE [--subsong N]]\n"
           "                [--effect E]\n"
           "       chipdisk --help | --version\n"
           "\n"
           "The chipdisk opens its window and plays the songs of FOLDER and every folder\n"
           "below it, or the FILEs (songs or .m3u, .m3u8 and .pls playlists) in the order\n"
           "given, or without either its own songs folder. Songs, folders or playlists\n"
           "dropped onto the window become the song list the same way.\n"
           "The data (pictures, ball, songs) is read from $CHIPDISK_DATA if set, else\n"
           "from ../share/chipdisk beside the program, else from ./data.\n"
           "\n"
           "  --help          show this text and exit\n"
           "  --version       show the version and exit\n"
           "  --repeat MODE   at a song's end: song plays it again, list the next song (the\n"
           "                  first after the last), none the next until the list's end\n"
           "                  (default: as last chosen with the R key, at first song)\n"
           "  --shuffle       play the list in a random order (default: as last chosen with\n"
           "                  the S key, at first off)\n"
           "  --record OUT    record what the chipdisk shows and plays, without a window or\n"
           "                  sound device: OUT ending in .mp4, .mkv or .webm is a video made\n"
           "                  with ffmpeg; any other OUT is a folder (created if missing) of\n"
           "                  frame-000001.png ... and audio.wav (44.1 kHz, 16-bit stereo)\n"
           "  --seconds S     length, 0 < S <= 3600 (default: one pass of the song, at most 600)\n"
           "  --fps N         frames per second, 1..240 (default: 60)\n"
           "  --scale K       magnify each frame K times, K in 1..4 (default: 1)\n"
           "  --song FILE     play this song file (default: the first song of the songs folder)\n"
           "  --subsong N     play the file's subsong N, from 1 (default: the one the file names)\n"
           "  --effect E      show effect E (0..3) the whole time (default: the effects rotate)\n";
}

std::string CCommandLine::checkSongs(const std::vector<std::string>& songs) {
    // what a folder or a playlist holds is told once the songs are gathered
    for (const std::string& song : songs) {
        struct stat st;
        if (stat(song.c_str(), &st) != 0)
            return "'" + song + "' does not exist; " + (songs.size() == 1 ? "no songs to play" : "it is left out");
    }
    return "";
}

std::string CCommandLine::videoKind(const std::string& out) {
    for (const char* kind : {"mp4", "mkv", "webm"})
        if (endsWith(out, std::string(".") + kind)) return kind;
    return "";
}

command_t CCommandLine::parse(const std::vector<std::string>& args) {
    command_t c;
    bool recordOnly = false;  // an option that means something only when recording
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i], value;
        bool hasValue = false;
        const std::size_t eq = name.find('=');
        if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
        if (name.compare(0, 1, "-") != 0 || name == "-") {
            c.songs.push_back(args[i]);
            continue;
        }
        if (name == "--") {  // everything after it is a song, even "--help"
            c.songs.insert(c.songs.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        }
        if (name == "--help" || name == "--version") {
            command_t asked;
            asked.mode = name == "--help" ? command_t::Help : command_t::Version;
            return asked;
        }
        if (name == "--shuffle" && !hasValue) {
            c.shuffle = true;
            continue;
        }
        const bool takesValue = name == "--record" || name == "--seconds" || name == "--fps" || name == "--scale" ||
                                name == "--song" || name == "--subsong" || name == "--effect" || name == "--repeat";
        if (!takesValue) return failure("unknown option '" + args[i] + "' (see chipdisk --help)");
        if (!hasValue) {
            if (i + 1 >= args.size()) return failure(name + " needs a value");
            value = args[++i];
        }
        if (name == "--record") {
            if (value.empty()) return failure("--record needs a folder or a video file name");
            c.mode = command_t::Record;
            c.out = value;
            continue;
        }
        if (name == "--repeat") {
            if (value != "song" && value != "list" && value != "none")
                return failure("--repeat must be song, list or none, not '" + value + "'");
            c.repeat = value;
            continue;
        }
        recordOnly = true;
        if (name == "--seconds") {
            if (!toDouble(value, c.seconds) || c.seconds <= 0 || c.seconds > 3600)
                return failure("--seconds must be a number above 0 and at most 3600, not '" + value + "'");
        } else if (name == "--fps") {
            if (!toInt(value, c.fps) || c.fps < 1 || c.fps > 240)
                return failure("--fps must be a whole number from 1 to 240, not '" + value + "'");
        } else if (name == "--scale") {
            if (!toInt(value, c.scale) || c.scale < 1 || c.scale > 4)
                return failure("--scale must be 1, 2, 3 or 4, not '" + value + "'");
        } else if (name == "--song") {
            if (value.empty()) return failure("--song needs a file");
            c.song = value;
        } else if (name == "--subsong") {
            if (!toInt(value, c.subsong) || c.subsong < 1 || c.subsong > 256)
                return failure("--subsong must be a whole number from 1 to 256, not '" + value + "'");
        } else if (name == "--effect") {
            if (!toInt(value, c.effect) || c.effect < 0 || c.effect > 3)
                return failure("--effect must be 0, 1, 2 or 3, not '" + value + "'");
        }
    }
    if (recordOnly && c.mode != command_t::Record)
        return failure("--seconds, --fps, --scale, --song, --subsong and --effect go with --record OUT");
    if (c.subsong > 0 && c.song.empty()) return failure("--subsong goes with --song FILE");
    if (c.mode == command_t::Record && (c.shuffle || !c.repeat.empty()))
        return failure("--repeat and --shuffle are for the window, not for --record");
    if (c.mode == command_t::Record && !c.songs.empty())
        return failure("a recording plays one song: give it with --song FILE");
    return c;
}
