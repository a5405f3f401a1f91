#ifndef CHIPDISK_TEST_FAKESOUNDLIB_H
#define CHIPDISK_TEST_FAKESOUNDLIB_H

#include <string>
#include <vector>

// Stands in for the sound layer under the song controller and records every call:
// "init", "load <path> #n", "play #n", "stop #n", "active <0|1>". Handle #0 is null;
// a path containing "broken" fails to load.
struct FakeSound {
    std::vector<std::string> calls;
    int loads = 0;
    void clear() { calls.clear(); }
    int count(const std::string& prefix) const;
};

FakeSound& fakeSound();

#endif
