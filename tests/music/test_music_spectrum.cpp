#include "CSpectrumAnalyser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const int N = CSpectrumAnalyser::WINDOW;

std::vector<float> sine(double cyclesPerWindow) {
    std::vector<float> s(N);
    for (int n = 0; n < N; n++)
        s[n] = static_cast<float>(CSpectrumAnalyser::FULL_SCALE * std::sin(2.0 * M_PI * cyclesPerWindow * n / N + 0.3));
    return s;
}

std::vector<float> analyse(const std::vector<float>& samples) {
    CSpectrumAnalyser a;
    std::vector<float> levels(CSpectrumAnalyser::BANDS, -1.0f);
    a.analyse(samples.data(), levels.data());
    return levels;
}

int peak(const std::vector<float>& levels) {
    return static_cast<int>(std::max_element(levels.begin(), levels.end()) - levels.begin());
}

}  // namespace

TEST(Spectrum, FullScaleSineOnABandReadsOne) {
    for (int k : {5, 64, 300, 500}) {
        auto levels = analyse(sine(k));
        EXPECT_NEAR(levels[k], 1.0f, 0.01f) << "band " << k;
        // Hann leaks into the two neighbours only (at half height)
        EXPECT_NEAR(levels[k - 1], 0.5f, 0.01f);
        EXPECT_NEAR(levels[k + 1], 0.5f, 0.01f);
        for (int j = 0; j < CSpectrumAnalyser::BANDS; j++)
            if (std::abs(j - k) > 1) {
                EXPECT_LT(levels[j], 1e-3f) << "band " << j;
            }
    }
}

TEST(Spectrum, SineBetweenBandsSplitsOverTheTwo) {
    auto levels = analyse(sine(100.5));
    // Hann's scalloping loss at half a band: 8 / (3 pi) = 0.849
    EXPECT_NEAR(levels[100], 0.849f, 0.01f);
    EXPECT_NEAR(levels[101], 0.849f, 0.01f);
    EXPECT_LT(levels[97], 0.05f);
    EXPECT_LT(levels[104], 0.05f);
}

TEST(Spectrum, SilenceIsAllZeros) {
    auto levels = analyse(std::vector<float>(N, 0.0f));
    for (float v : levels) EXPECT_EQ(v, 0.0f);
}

TEST(Spectrum, ClampedToZeroOne) {
    // an overdriven square wave and a DC offset both exceed the scale
    std::vector<float> square(N);
    for (int n = 0; n < N; n++) square[n] = (n / 16) % 2 ? 3.0f : -3.0f;
    auto levels = analyse(square);
    EXPECT_EQ(*std::max_element(levels.begin(), levels.end()), 1.0f);
    EXPECT_EQ(analyse(std::vector<float>(N, 1.0f))[0], 1.0f);
    std::vector<float> broken(N, 0.0f);
    broken[10] = NAN;
    for (float v : analyse(broken)) EXPECT_FALSE(std::isnan(v));
}

TEST(Spectrum, BandOfHzMatchesThePeak) {
    for (double hz : {261.6, 440.0, 1000.0, 5000.0, 15000.0}) {
        std::vector<float> s(N);
        for (int n = 0; n < N; n++) s[n] = static_cast<float>(0.5 * CSpectrumAnalyser::FULL_SCALE * std::sin(2.0 * M_PI * hz * n / 44100.0));
        int band = CSpectrumAnalyser::bandOf(hz);
        EXPECT_EQ(band, static_cast<int>(std::lround(hz * 1024 / 44100)));
        EXPECT_EQ(peak(analyse(s)), band) << hz << " Hz";
    }
}
