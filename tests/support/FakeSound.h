#ifndef CHIPDISK_TEST_FAKESOUND_H
#define CHIPDISK_TEST_FAKESOUND_H

#include <string>
#include <vector>

// Stands in for the sound layer and records every call: "init", "load <path> #n",
// "play #n", "stop #n", "pause #n <0|1>", "active <0|1>". Handle #0 is null; a path
// containing "broken" fails to load. The spectrum is whatever the test writes.
struct FakeSound {
    std::vector<std::string> calls;
    std::vector<std::string> paths;  // path of handle #n at n - 1
    int playingHandle = 0;           // 0: nothing sounds
    bool paused = false;             // the playing handle is held
    int loads = 0;
    void clear() { calls.clear(); }
    int count(const std::string& prefix) const;
    // path of the song that sounds now, "" when none does
    std::string playing() const { return playingHandle ? paths[playingHandle - 1] : ""; }
};

FakeSound& fakeSound();
float* fakeSpectrum();  // the 512 levels handed out
void setFakeSpectrum(float level);

#endif
