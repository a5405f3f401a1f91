// Feeds a fuzz target its seeds (there must be some) and every input it once crashed on,
// so that a normal and a sanitizer build keep them fixed. Usage: replay SEEDS [REGRESSION...]
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs(argv + 1, argv + argc);
    for (const auto& entry : std::filesystem::directory_iterator(inputs.at(0))) inputs.push_back(entry.path());
    for (std::size_t i = 1; i < inputs.size(); i++) {
        std::ifstream in(inputs[i], std::ios::binary);
        const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    return inputs.size() > std::size_t(argc - 1) ? 0 : 1;
}
