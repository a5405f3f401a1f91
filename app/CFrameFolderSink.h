#ifndef CHIPDISK_CFRAMEFOLDERSINK_H
#define CHIPDISK_CFRAMEFOLDERSINK_H

#include "CRecordingSink.h"
#include "CWavFile.h"

// A recording as frame-000001.png, frame-000002.png, ... and audio.wav in one folder,
// which must exist.
class CFrameFolderSink : public CRecordingSink {
public:
    explicit CFrameFolderSink(const std::string& folder) : folder(folder) {}
    int open(int width, int height, int fps) override;
    bool addSound(const float* stereo, int frames) override;
    bool addFrame(long index, const uint8_t* rgba) override;
    int finish(bool written, long frames, uint64_t samples) override;

private:
    std::string folder;
    int width = 0, height = 0;
    CWavFile wav;
};

#endif
