#ifndef CHIPDISK_CRECORDINGSINK_H
#define CHIPDISK_CRECORDINGSINK_H

#include <cstdint>
#include <cstdio>
#include <string>

// Where a recording goes: a folder of PNG frames and a WAV, or a video made by ffmpeg.
// Called from the recorder's one thread in this order: open, then sound and frames as
// they are made, then finish once.
class CRecordingSink {
public:
    virtual ~CRecordingSink() = default;

    // Frames will be width x height pixels, fps a second. Returns 0, or the program's
    // exit status after saying why on stderr.
    virtual int open(int width, int height, int fps) = 0;
    // The next 'frames' sample frames of the sound: stereo floats in [-1, 1] at 44 100 Hz.
    virtual bool addSound(const float* stereo, int frames) = 0;
    // Frame 'index' (0 first): RGBA rows, top first; alpha 0 is outside the star.
    virtual bool addFrame(long index, const uint8_t* rgba) = 0;
    // Keeps the first 'frames' frames and 'samples' sample frames of sound; 'written'
    // says whether everything handed in until now went out. Returns 0, or the exit
    // status after saying why.
    virtual int finish(bool written, long frames, uint64_t samples) = 0;

    static int fail(const std::string& why, int status) {
        std::fprintf(stderr, "chipdisk: %s\n", why.c_str());
        return status;
    }
};

#endif
