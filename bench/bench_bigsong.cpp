// How long the GUI thread stalls when the songs step onto a big module: loading
// (reading and decoding the whole file) and starting it, for modules of 1 and 10 MB
// and for a 10 MB file that is not a module. No sound device needed (SDL's dummy).
// Usage: bench_bigsong [runs]
#include "SoundLib.h"
#include "XmWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    FSOUND_Init(44100, 32, 0);
    const std::string dir = "/tmp/chipdisk-bench-bigsong";
    std::system(("mkdir -p " + dir).c_str());
    struct Case {
        const char* name;
        std::vector<char> bytes;
    };
    std::vector<char> junk(10 << 20, 'x');
    const Case cases[] = {{"1 MB module", makeSineXm(49, 0, 1 << 20)},
                          {"10 MB module", makeSineXm(49, 0, 10 << 20)},
                          {"10 MB not a module", junk}};
    std::printf("stall of one step onto the song, median of %d runs (ms):\n", runs);
    for (const Case& c : cases) {
        const std::string path = dir + "/song.xm";
        writeFile(path, c.bytes);
        std::vector<double> ms;
        for (int i = 0; i < runs; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            FMUSIC_MODULE* mod = FMUSIC_LoadSong(path.c_str());
            FMUSIC_PlaySong(mod);
            ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
            FMUSIC_StopSong(mod);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("  %-20s %8.1f\n", c.name, ms[ms.size() / 2]);
    }
    std::system(("rm -rf " + dir).c_str());
    return 0;
}
