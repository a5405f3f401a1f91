#ifndef CHIPDISK_CSPECTRUMANALYSER_H
#define CHIPDISK_CSPECTRUMANALYSER_H

#include <vector>

struct kiss_fftr_state;

// Turns the last 1024 mono samples into 512 band levels: Hann window, real FFT,
// |X[k]| * 4 / 1024 / FULL_SCALE, clamped to 0..1, so a sine of amplitude FULL_SCALE
// centred on a band reads 1.0. The scale is fixed. A ring turns white at a level of
// 0.2 and its glow adds up to about three times its light, so it glows white from
// about 0.07: with this scale the songs' low bands stay below that nine frames in
// ten and reach 0.2-0.3 only at their loudest.
class CSpectrumAnalyser {
public:
    static const int WINDOW = 1024;
    static const int BANDS = WINDOW / 2;
    static constexpr float FULL_SCALE = 1.0f / 3;

    CSpectrumAnalyser();
    ~CSpectrumAnalyser();
    CSpectrumAnalyser(const CSpectrumAnalyser&) = delete;
    CSpectrumAnalyser& operator=(const CSpectrumAnalyser&) = delete;

    // samples: WINDOW mono values, oldest first; levels: BANDS values, lowest band first
    void analyse(const float* samples, float* levels);

    // The same levels before the clamp to 1 (a broken decoder's NaN still reads 0),
    // for a gain to scale before clamping.
    void measure(const float* samples, float* levels);

    // band a frequency falls in, at the 44100 Hz output rate
    static int bandOf(double hz);

private:
    kiss_fftr_state* cfg;
    std::vector<float> window;
    std::vector<float> in;
    std::vector<float> out;  // WINDOW / 2 + 1 complex values, interleaved
};

#endif
