// Any bytes through every decoder: identification, the listing of subsongs, loading
// each of the first few and a second of rendering; nothing may crash, hang or read
// past the input, whichever decoder the bytes claim to be for. A GBS is loaded but not
// played: libgme's Game Boy emulation runs the file's own code and crashes on some of
// it, which no check of the bytes can foresee (tests/fuzz/unguarded/).
#include "CDecoder.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<char> bytes(data, data + size);
    const std::size_t head = std::min(size, CDecoder::headBytes());
    CDecoder::identify(data, head, size);
    std::vector<float> out(2 * 4410);
    for (CDecoder::Kind kind : {CDecoder::Kind::Module, CDecoder::Kind::Console, CDecoder::Kind::Sid}) {
        std::string why;
        std::vector<int> subsongs = CDecoder::subsongsOf(kind, bytes, why);
        if (subsongs.size() > 3) subsongs.resize(3);
        for (int subsong : subsongs) {
            std::unique_ptr<CDecoder> dec = CDecoder::open(kind, bytes, subsong, "/nonexistent/fuzz", why);
            if (!dec || (size >= 3 && std::memcmp(data, "GBS", 3) == 0)) continue;
            dec->setLooping(false);
            for (int chunk = 0; chunk < 10; chunk++) {
                const int got = dec->read(out.data(), 4410);
                if (got < 0 || got > 4410) __builtin_trap();
                for (int i = 0; i < 2 * got; i++)
                    if (!std::isfinite(out[i])) __builtin_trap();
            }
            std::string title, artist;
            dec->tags(title, artist);
        }
    }
    return 0;
}
