#include "CFrameFolderSink.h"

#include "CPNGWriter.h"

int CFrameFolderSink::open(int frameWidth, int frameHeight, int) {
    width = frameWidth;
    height = frameHeight;
    const std::string wavPath = folder + "/audio.wav";
    return wav.open(wavPath) ? 0 : fail("cannot write '" + wavPath + "'", 2);
}

bool CFrameFolderSink::addSound(const float* stereo, int frames) { return wav.append(stereo, frames); }

bool CFrameFolderSink::addFrame(long index, const uint8_t* rgba) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06ld.png", index + 1);
    return CPNGWriter::write(folder + name, width, height, rgba, true);
}

int CFrameFolderSink::finish(bool written, long, uint64_t samples) {
    const bool ok = wav.finish(samples) && written;
    return ok ? 0 : fail("writing the recording to '" + folder + "' failed", 1);
}
