#pragma once

#include <string>
#include <vector>

// Stands in for the sound layer, recording "init", "load <path> #n", "play #n", "stop #n",
// "pause #n <0|1>", "active <0|1>", "loop <0|1>", "queue #n"; #0 is null, a path with
// "broken" is no song.
struct FakeSound {
    std::vector<std::string> calls;
    std::vector<std::string> paths;  // path of handle #n at n - 1
    int playingHandle = 0;           // 0: nothing sounds
    bool paused = false;             // the playing handle is held
    int queuedHandle = 0;            // takes over when the playing song ends
    unsigned ends = 0;               // songs that reached their end
    void endSong();                  // the playing song ends: the queued one sounds, or nothing
    int count(const std::string& prefix) const;
    std::string playing() const { return playingHandle ? paths[playingHandle - 1] : ""; }  // "": silence
};
FakeSound& fakeSound();
float* fakeSpectrum();  // the 512 levels handed out
void setFakeSpectrum(float level);
