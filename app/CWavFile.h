#ifndef CHIPDISK_CWAVFILE_H
#define CHIPDISK_CWAVFILE_H

#include <cstdint>
#include <cstdio>
#include <string>

// 16-bit stereo PCM at 44 100 Hz; the sizes in the header are written when the length
// is known, so a file cut short by a crash still has its samples.
class CWavFile {
public:
    CWavFile() = default;
    CWavFile(const CWavFile&) = delete;
    CWavFile& operator=(const CWavFile&) = delete;
    ~CWavFile();

    bool open(const std::string& path);
    // Stereo floats, clamped to [-1, 1].
    bool append(const float* stereo, int frames);
    // Keeps the first 'frames' sample frames (the rest was only rendered ahead) and closes.
    bool finish(uint64_t frames);

private:
    FILE* file = nullptr;
    uint64_t written = 0;
};

#endif
