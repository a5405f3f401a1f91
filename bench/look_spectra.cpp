// The levels the shipped songs give through the real analyser, offline: for every
// song in data/songs (or the files named), one pass rendered in lockstep with a
// frame clock, the 512 levels taken where the recorder takes them for each frame.
// Prints per song the median, 90th and 99th percentile of bands 0-99 and 100-511
// over the whole song, and writes the levels of every frame to OUT/<song>.levels
// (float32, 512 per frame) for bench/look_measure. Run from the project root:
//   build/bench/look_spectra OUT [--fps N] [song.xm...]
#include "SoundLib.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const int RATE = 44100;
const int BANDS = 512;

double percentile(std::vector<float> v, double p) {
    if (v.empty()) return 0;
    const std::size_t k = static_cast<std::size_t>(p * (v.size() - 1) + 0.5);
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return v[k];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: look_spectra OUT [--fps N] [song.xm...]\n");
        return 2;
    }
    const std::string out = argv[1];
    int fps = 25;
    std::vector<std::string> songs;
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--fps") && i + 1 < argc)
            fps = std::atoi(argv[++i]);
        else
            songs.push_back(argv[i]);
    }
    if (songs.empty()) {
        for (const auto& e : fs::directory_iterator("data/songs"))
            if (e.path().extension() == ".xm") songs.push_back(e.path().string());
        std::sort(songs.begin(), songs.end());
    }
    fs::create_directories(out);

    soundLayerUseNoDevice();
    FSOUND_Init(RATE, 32, 0);
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
    std::printf(
        "| song | seconds | 0-99 median | 0-99 p90 | 0-99 p99 | 100-511 median | 100-511 p90 | 100-511 p99 |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    std::vector<float> chunk;
    for (const std::string& song : songs) {
        FMUSIC_MODULE* mod = FMUSIC_LoadSong(song.c_str());
        if (!mod || !FMUSIC_PlaySong(mod)) {
            std::fprintf(stderr, "cannot play %s\n", song.c_str());
            return 1;
        }
        const double seconds = soundLayerSongSeconds(mod);
        const long frames = static_cast<long>(seconds * fps);
        std::vector<float> low, high, all(static_cast<std::size_t>(frames) * BANDS);
        uint64_t rendered = 0;
        for (long k = 0; k < frames; ++k) {
            // the last 1024 samples centred on the frame's moment, as the recorder does
            const uint64_t want = static_cast<uint64_t>(k) * RATE / fps + 512;
            while (rendered < want) {
                const int n = static_cast<int>(std::min<uint64_t>(want - rendered, 4096));
                chunk.resize(static_cast<std::size_t>(n) * 2);
                soundLayerRender(chunk.data(), n);
                rendered += static_cast<uint64_t>(n);
            }
            const float* l = FSOUND_DSP_GetSpectrum();
            std::copy(l, l + BANDS, all.begin() + k * BANDS);
            low.insert(low.end(), l, l + 100);
            high.insert(high.end(), l + 100, l + BANDS);
        }
        FMUSIC_StopSong(mod);
        const std::string name = fs::path(song).stem().string();
        FILE* f = std::fopen((out + "/" + name + ".levels").c_str(), "wb");
        if (!f || std::fwrite(all.data(), sizeof(float), all.size(), f) != all.size()) {
            std::fprintf(stderr, "cannot write %s/%s.levels\n", out.c_str(), name.c_str());
            return 1;
        }
        std::fclose(f);
        std::printf("| %s | %.1f | %.4f | %.4f | %.4f | %.4f | %.4f | %.4f |\n", name.c_str(), seconds,
                    percentile(low, 0.5), percentile(low, 0.9), percentile(low, 0.99), percentile(high, 0.5),
                    percentile(high, 0.9), percentile(high, 0.99));
        std::fflush(stdout);
    }
    return 0;
}
