#ifndef CHIPDISK_CVIDEOSINK_H
#define CHIPDISK_CVIDEOSINK_H

#include "CRecordingSink.h"
#include "CWavFile.h"

#include <sys/types.h>

#include <vector>

// A recording as one video file made by ffmpeg: the frames are encoded while they come,
// the sound goes to a WAV beside the output, and both are put together at the end. Only
// a finished file ever has the output's name. 'kind' is "mp4", "mkv" or "webm".
class CVideoSink : public CRecordingSink {
public:
    CVideoSink(const std::string& out, const std::string& kind);
    ~CVideoSink() override;
    int open(int width, int height, int fps) override;
    bool addSound(const float* stereo, int frames) override;
    bool addFrame(long index, const uint8_t* rgba) override;
    int finish(bool written, long frames, uint64_t samples) override;

private:
    bool endEncoder();
    bool mux();

    std::string out, kind, tmpBase, wavPath, videoPath;
    CWavFile wav;
    int width = 0, height = 0;
    int pipeFd = -1;
    pid_t encoder = -1;
    std::vector<uint8_t> rgb;
};

#endif
