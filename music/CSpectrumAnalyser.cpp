#include "CSpectrumAnalyser.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>

CSpectrumAnalyser::CSpectrumAnalyser()
    : cfg(kiss_fftr_alloc(WINDOW, 0, nullptr, nullptr)), window(WINDOW), in(WINDOW), out(2 * (WINDOW / 2 + 1)) {
    // periodic Hann: its coherent gain is exactly 0.5, which the scale below undoes
    for (int n = 0; n < WINDOW; n++) window[n] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * M_PI * n / WINDOW));
}

CSpectrumAnalyser::~CSpectrumAnalyser() { kiss_fftr_free(cfg); }

void CSpectrumAnalyser::analyse(const float* samples, float* levels) {
    measure(samples, levels);
    for (int k = 0; k < BANDS; k++) levels[k] = std::min(levels[k], 1.0f);
}

void CSpectrumAnalyser::measure(const float* samples, float* levels) {
    for (int n = 0; n < WINDOW; n++) in[n] = samples[n] * window[n];
    kiss_fft_cpx* bins = reinterpret_cast<kiss_fft_cpx*>(out.data());
    kiss_fftr(cfg, in.data(), bins);
    const float scale = 4.0f / WINDOW / FULL_SCALE;
    for (int k = 0; k < BANDS; k++) {
        float m = std::sqrt(bins[k].r * bins[k].r + bins[k].i * bins[k].i) * scale;
        // NaN from a broken decoder must not reach the effects
        levels[k] = m > 0.0f ? m : 0.0f;
    }
}

int CSpectrumAnalyser::bandOf(double hz) { return static_cast<int>(std::lround(hz * WINDOW / 44100.0)); }
