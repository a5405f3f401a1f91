// Writes low.xm and high.xm into a folder, each about BYTES big, sounding a steady tone
// from their first sample to their last (1.92 s a pass): a silence at a change of song
// is the player's. Usage: write_bench_songs FOLDER BYTES
#include "XmWriter.h"

#include <algorithm>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const long bytes = std::strtol(argv[2], nullptr, 10);
    const int cycles = static_cast<int>(std::max(1L, bytes / 32));
    writeFile(std::string(argv[1]) + "/low.xm", makeSineXm(49, 0, 32 * cycles, 128, "low", cycles));
    writeFile(std::string(argv[1]) + "/high.xm", makeSineXm(61, 0, 32 * cycles, 128, "high", cycles));
    return 0;
}
