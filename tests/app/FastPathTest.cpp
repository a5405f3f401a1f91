// The cheaper drawing of every effect against the plain drawing it stands in for: the
// same frames, with the real pictures and levels recorded from our songs, drawn both
// ways and compared channel by channel.
#include "CDirector.h"
#include "FakeSound.h"
#include "GlFixture.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// 100 bands a line, one line per frame: 20 frames each of night drive, pixel rain and
// iron comet, 10 s in, at 25 frames a second (tools/write_test_levels.py).
std::vector<std::vector<float>> recordedLevels() {
    std::ifstream in(CHIPDISK_SOURCE_DIR "/tests/app/songs.levels");
    std::vector<std::vector<float>> frames;
    for (std::string line; std::getline(in, line);) {
        std::istringstream row(line);
        frames.emplace_back(std::istream_iterator<float>(row), std::istream_iterator<float>());
    }
    return frames;
}

class FastPath : public GlFixture {
protected:
    void SetUp() override {
        GlFixture::SetUp();
        if (HasFatalFailure()) return;
        fs::create_directories("data/songs");  // none: the song line stays empty
        for (const char* sub : {"data/gfx", "data/3d"})
            for (const auto& entry : fs::directory_iterator(fs::path(CHIPDISK_SOURCE_DIR) / sub))
                fs::copy_file(entry.path(), fs::path(sub) / entry.path().filename(),
                              fs::copy_options::overwrite_existing);
        levels = recordedLevels();
        ASSERT_EQ(60u, levels.size());
    }

    // Every frame of `effect`, 16 ms apart, from a fresh director drawing with `plain`.
    std::vector<Frame> frames(int effect, const char* plain) {
        setenv("CHIPDISK_PLAIN", plain, 1);
        gl.reset();
        gl = std::make_unique<OffscreenGL>(396, 260);  // no state left by the other path
        CDirector director(std::vector<std::string>{});
        director.InitGL();
        // one frame of the tunnel first, as the program starts, for the line width it sets
        director.holdEffect(0);
        director.Render(3984);
        director.holdEffect(effect);
        std::vector<Frame> shown;
        for (std::size_t k = 0; k < levels.size(); ++k) {
            float* spectrum = fakeSpectrum();
            std::fill(spectrum, spectrum + 512, 0.0f);
            std::copy(levels[k].begin(), levels[k].end(), spectrum);
            director.Render(static_cast<int>(4000 + 16 * k));
            shown.push_back(gl->readFrame());
        }
        unsetenv("CHIPDISK_PLAIN");
        return shown;
    }

    std::vector<std::vector<float>> levels;
};

// Mean and 99.9th percentile of the absolute differences of every colour channel.
struct Difference {
    double mean;
    int p999;
};

Difference compare(const std::vector<Frame>& a, const std::vector<Frame>& b) {
    std::array<long, 256> histogram{};
    long total = 0;
    double sum = 0;
    for (std::size_t f = 0; f < a.size(); ++f)
        for (std::size_t i = 0; i < a[f].size(); ++i)
            for (int ch = 0; ch < 3; ++ch) {
                const int d = std::abs((&a[f][i].r)[ch] - (&b[f][i].r)[ch]);
                ++histogram[d];
                sum += d;
                ++total;
            }
    int p999 = 0;
    long atMost = histogram[0];
    while (atMost < total * 0.999) {
        ++p999;
        atMost += histogram[p999];
    }
    return {sum / total, p999};
}

TEST_F(FastPath, EveryEffectLooksAsDrawnPlainly) {
    for (int effect = 0; effect < 4; ++effect) {
        const std::vector<Frame> plain = frames(effect, "1");
        const std::vector<Frame> fast = frames(effect, "");
        const Difference d = compare(plain, fast);
        std::printf("effect %d: mean difference %.3f, 99.9th percentile %d\n", effect, d.mean, d.p999);
        EXPECT_LE(d.mean, 0.5) << "effect " << effect;
        EXPECT_LE(d.p999, 6) << "effect " << effect;
    }
}

}  // namespace
