#include "CWavFile.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

const uint32_t RATE = 44100;

void put16(uint8_t* p, uint32_t v) {
    p[0] = v & 0xff;
    p[1] = (v >> 8) & 0xff;
}

void put32(uint8_t* p, uint32_t v) {
    put16(p, v & 0xffff);
    put16(p + 2, v >> 16);
}

}  // namespace

CWavFile::~CWavFile() {
    if (file) std::fclose(file);
}

bool CWavFile::open(const std::string& path) {
    file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    uint8_t header[44] = {};
    return std::fwrite(header, 1, sizeof header, file) == sizeof header;
}

bool CWavFile::append(const float* stereo, int frames) {
    std::vector<int16_t> pcm(static_cast<std::size_t>(frames) * 2);
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        const float v = std::max(-1.0f, std::min(1.0f, stereo[i]));
        pcm[i] = static_cast<int16_t>(std::lrint(v * 32767.0f));
    }
    written += static_cast<uint64_t>(frames);
    return std::fwrite(pcm.data(), sizeof(int16_t), pcm.size(), file) == pcm.size();
}

bool CWavFile::finish(uint64_t frames) {
    frames = std::min(frames, written);
    const uint32_t data = static_cast<uint32_t>(frames * 4);
    uint8_t h[44];
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, 36 + data);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);  // PCM
    put16(h + 22, 2);  // stereo
    put32(h + 24, RATE);
    put32(h + 28, RATE * 4);  // bytes a second
    put16(h + 32, 4);         // bytes a sample frame
    put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, data);
    bool ok = std::fflush(file) == 0 && ftruncate(fileno(file), 44 + data) == 0 && std::fseek(file, 0, SEEK_SET) == 0 &&
              std::fwrite(h, 1, 44, file) == 44;
    ok = std::fclose(file) == 0 && ok;
    file = nullptr;
    return ok;
}
