// Measures, for the music subsystem: the decoding cost of every song in
// data/songs/ or the folder given, of whatever format (CPU seconds per second of
// audio, i.e. share of one core, and the cost of opening it), the
// cost of following the song's loudness per hop of audio, and the cost of one
// spectrum call. Run from the project root.
#include "CDecoder.h"
#include "CLevelGain.h"
#include "CSpectrumAnalyser.h"
#include "SoundLib.h"

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

static double cpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "data/songs";
    const double seconds = 60.0;  // audio rendered per song
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());

    std::printf("decoding, 44100 Hz stereo float, %.0f s of audio per song\n", seconds);
    std::vector<float> buf(2 * 512);
    for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto* head = reinterpret_cast<const unsigned char*>(bytes.data());
        std::string why;
        const double opened = cpuSeconds();
        std::unique_ptr<CDecoder> dec =
            CDecoder::open(CDecoder::identify(head, bytes.size(), bytes.size()), bytes, -1, path.string(), why);
        const double openCpu = cpuSeconds() - opened;
        if (!dec) {
            std::printf("  %-40s not a song (%s)\n", path.filename().c_str(), why.c_str());
            continue;
        }
        dec->setLooping(true);
        const long frames = static_cast<long>(seconds * 44100);
        long rendered = 0;
        double energy = 0;
        const double t0 = cpuSeconds();
        for (long done = 0; done < frames; done += 512) {
            rendered += dec->read(buf.data(), 512);
            energy += double(buf[0]) * buf[0];
        }
        const double cpu = cpuSeconds() - t0;
        // rendered frames and a sampled level show the work was real
        std::printf("  %-40s %6.2f%% of a core (%.3f CPU s for %.1f s, level %.3f; opening %.1f ms)\n",
                    path.filename().c_str(), 100.0 * cpu / seconds, cpu, rendered / 44100.0,
                    std::sqrt(energy / (frames / 512)), 1000 * openCpu);
        // seeking back starts a console song again and plays it up to the place, unheard
        if (dec->canSeek()) {
            const double s0 = cpuSeconds();
            const bool ahead = dec->seek(120.0);
            const double s1 = cpuSeconds();
            const bool back = dec->seek(90.0);
            const double s2 = cpuSeconds();
            std::printf("  %-40s seek from 60 s to 120 s: %.1f ms%s, back to 90 s: %.1f ms%s\n", "", 1000 * (s1 - s0),
                        ahead ? "" : " (failed)", 1000 * (s2 - s1), back ? "" : " (failed)");
        }
    }

    // the audio thread's work per hop: analyse the window, hear it; and the drawing
    // thread's gains per frame, on noise so that no group is skipped as silent
    {
        CSpectrumAnalyser analyser;
        CLevelGain gain;
        std::vector<float> samples(CSpectrumAnalyser::WINDOW), levels(CSpectrumAnalyser::BANDS);
        unsigned noise = 1;
        for (float& v : samples) {
            noise = noise * 1103515245u + 12345u;
            v = static_cast<float>(noise >> 16 & 0x7fff) / 65536.0f;
        }
        const int hops = 20000;
        const double t0 = cpuSeconds();
        for (int i = 0; i < hops; i++) analyser.measure(samples.data(), levels.data());
        const double t1 = cpuSeconds();
        for (int i = 0; i < hops; i++) gain.hear(levels.data());
        const double t2 = cpuSeconds();
        float sink = 0;
        for (int i = 0; i < hops; i++) {
            std::vector<float> shown = levels;
            CLevelGain::apply(gain.gains(), shown.data());
            sink += shown[i % CSpectrumAnalyser::BANDS];
        }
        const double t3 = cpuSeconds();
        const double hopSeconds = CLevelGain::HOP / 44100.0;
        std::printf(
            "level gain per hop of %d samples: analysis %.2f us, hearing %.2f us (%.3f%% of a core "
            "together); per frame: applying %.2f us (checksum %g)\n",
            CLevelGain::HOP, 1e6 * (t1 - t0) / hops, 1e6 * (t2 - t1) / hops, 100 * (t2 - t0) / hops / hopSeconds,
            1e6 * (t3 - t2) / hops, sink);
    }

    // the spectrum while a song plays on SDL's dummy driver
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    FSOUND_Init(44100, 32, 0);
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
    if (!files.empty()) FMUSIC_PlaySong(FMUSIC_LoadSong(files.front().c_str()));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const int calls = 20000;
    float sink = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; i++) sink += FSOUND_DSP_GetSpectrum()[i % 512];
    const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
    std::printf("spectrum: %.2f us per call (%d calls, checksum %g)\n", us / calls, calls, sink);
    return 0;
}
