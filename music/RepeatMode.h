#ifndef CHIPDISK_REPEATMODE_H
#define CHIPDISK_REPEATMODE_H

// What follows the end of a song: the same song again for ever, the next song of the
// list (the first after the last), or the next until the list's end.
enum class RepeatMode { Song, List, None };

// "song", "list", "none": the names the keys show, the options and the settings file take.
inline const char* repeatModeName(RepeatMode mode) {
    switch (mode) {
        case RepeatMode::List:
            return "list";
        case RepeatMode::None:
            return "none";
        case RepeatMode::Song:
            break;
    }
    return "song";
}

#endif
