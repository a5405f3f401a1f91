#ifndef CHIPDISK_CDATAROOT_H
#define CHIPDISK_CDATAROOT_H

#include <string>

// Where the pictures, the ball and the songs are: $CHIPDISK_DATA if set, else the
// installed share/chipdisk beside the program (bin/../share/chipdisk, when it holds
// gfx/star.png), else data/ of the working folder, as in the source tree. Read once, on first use.
class CDataRoot {
public:
    static const std::string& root();
    // "data/X" and "./data/X" become root/X; any other path is returned unchanged.
    static std::string resolve(const std::string& path);
    // The rule above for a given $CHIPDISK_DATA (null: unset) and program path.
    static std::string choose(const char* env, const std::string& program);
};

#endif
