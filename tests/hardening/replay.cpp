// Runs a fuzz target's input function over its seeds and every input it once
// crashed on, so that a normal (and a sanitizer) build keeps them fixed.
// Usage: replay SEEDS_DIR [REGRESSIONS_DIR]
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Defined by targets whose seeds must also be accepted as valid input.
bool seedAccepted(const std::string& path) __attribute__((weak));

namespace fs = std::filesystem;

static int replay(const fs::path& dir, bool seeds) {
    int files = 0, rejected = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(data.data(), data.size());
        ++files;
        if (seeds && seedAccepted && !seedAccepted(entry.path().string())) {
            std::printf("seed not accepted: %s\n", entry.path().c_str());
            ++rejected;
        }
    }
    std::printf("%s: %d inputs\n", dir.c_str(), files);
    if (seeds && files == 0) {
        std::printf("no seeds found\n");
        return 1;
    }
    return rejected ? 1 : 0;
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    int status = replay(argv[1], true);
    if (argc > 2) status |= replay(argv[2], false);
    return status;
}
