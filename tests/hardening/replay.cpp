// Runs a fuzz target's input function over its seeds, which must also be accepted
// where the target says so, and over every input it once crashed on, so that a
// normal (and a sanitizer) build keeps them fixed.
// Usage: replay SEEDS_DIR [REGRESSION_FILE...]
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
bool seedAccepted(const std::string& path) __attribute__((weak));

static void replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(data.data(), data.size());
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    int seeds = 0, failed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        replay(entry.path());
        seeds++;
        if (seedAccepted && !seedAccepted(entry.path())) {
            std::printf("seed not accepted: %s\n", entry.path().c_str());
            failed++;
        }
    }
    for (int i = 2; i < argc; i++) replay(argv[i]);
    std::printf("%d seeds, %d regressions, %d seeds not accepted\n", seeds, argc - 2, failed);
    return seeds == 0 || failed ? 1 : 0;
}
