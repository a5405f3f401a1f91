#ifndef CHIPDISK_CSETTINGS_H
#define CHIPDISK_CSETTINGS_H

#include "RepeatMode.h"

#include <string>
#include <vector>

// What the player remembers from one run to the next, in a file of `key = value`
// lines the user may edit. Lines it does not know (comments, blank lines, other
// keys, even lines it cannot read) are written back as they were, in their order;
// a known key's line is rewritten where it stands, and known keys the file lacks
// are added at its end.
// GUI thread only: nothing here locks, and the file has one writer.
class CSettings {
public:
    using Repeat = RepeatMode;

    // $XDG_CONFIG_HOME/chipdisk/chipdisk.conf, or ~/.config/chipdisk/chipdisk.conf when
    // XDG_CONFIG_HOME is unset or empty. The environment is read on the first call of
    // the process only.
    static std::string defaultPath();

    // Nothing is read until load(); until then every setting has its default.
    explicit CSettings(std::string path);

    // Reads the file over whatever was set before. A missing file is no error and
    // gives the defaults. A file that cannot be read gives the defaults; a line that is
    // not `key = value`, or a known key with a bad value, is passed over, so what it
    // should have set keeps its default; the good keys are kept. Returns "" when all
    // was well, else one line (no program prefix) on the first problem, e.g.
    // "~/.config/chipdisk/chipdisk.conf line 3: repeat must be song, list or none".
    // Never throws.
    std::string load();

    // Writes the file whole or not at all: the folder is created if missing, the text
    // goes to a temporary file beside it, is flushed to the disk and renamed over the
    // file. Returns "" on success, else one line on why not. Never throws.
    std::string save() const;

    Repeat repeat() const { return repeatMode; }
    void setRepeat(Repeat r) { repeatMode = r; }
    bool shuffle() const { return shuffleOn; }
    void setShuffle(bool on) { shuffleOn = on; }

    // The window's top-left corner in desktop pixels, any int, negative included.
    // Without a remembered position windowX() and windowY() are 0.
    bool hasWindowPosition() const { return hasPosition; }
    int windowX() const { return x; }
    int windowY() const { return y; }
    void setWindowPosition(int left, int top);

    // "song", "list" or "none", whatever their case; false (r untouched) for the rest.
    static bool parseRepeat(const std::string& text, Repeat& r);

private:
    enum class Key { Other, Repeat, Shuffle, WindowX, WindowY };
    struct Line {
        std::string text;  // as read, for lines written back as they were
        Key key;
    };

    std::string render() const;
    std::string shownPath() const;

    std::string path;
    std::vector<Line> lines;
    Repeat repeatMode = Repeat::Song;
    bool shuffleOn = false;
    bool hasPosition = false;
    int x = 0;
    int y = 0;
};

#endif
