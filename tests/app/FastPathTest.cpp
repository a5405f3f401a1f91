// The cheaper drawing of every effect against the plain drawing it stands in for: the
// same frames, with the real pictures and levels recorded from our songs, drawn both
// ways and compared channel by channel.
#include "CDirector.h"
#include "FakeSound.h"
#include "GlFixture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <sstream>

namespace {

namespace fs = std::filesystem;

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
        // 100 bands a line, one line per frame: 20 frames each of night drive, pixel rain and
        // iron comet, 10 s in, at 25 frames a second (tools/write_test_levels.py)
        std::ifstream in(CHIPDISK_SOURCE_DIR "/tests/app/songs.levels");
        for (std::string line; std::getline(in, line);) {
            std::istringstream row(line);
            levels.emplace_back(std::istream_iterator<float>(row), std::istream_iterator<float>());
        }
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

// The mean and the 99.9th percentile of the differences of every colour channel.
TEST_F(FastPath, EveryEffectLooksAsDrawnPlainly) {
    for (int effect = 0; effect < 4; ++effect) {
        const std::vector<Frame> plain = frames(effect, "1");
        const std::vector<Frame> fast = frames(effect, "");
        std::vector<unsigned char> diffs;
        for (std::size_t f = 0; f < plain.size(); ++f)
            for (std::size_t i = 0; i < plain[f].size(); ++i)
                for (int ch = 0; ch < 3; ++ch) diffs.push_back(std::abs((&plain[f][i].r)[ch] - (&fast[f][i].r)[ch]));
        const auto p999 = diffs.begin() + (diffs.size() * 999 - 1) / 1000;
        std::nth_element(diffs.begin(), p999, diffs.end());
        EXPECT_LE(std::accumulate(diffs.begin(), diffs.end(), 0.0) / diffs.size(), 0.5) << "effect " << effect;
        EXPECT_LE(*p999, 6) << "effect " << effect;
    }
}

}  // namespace
