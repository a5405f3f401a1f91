#include "CLevelGain.h"

#include "CSpectrumAnalyser.h"

#include <algorithm>
#include <cmath>

namespace {

const double HOP_SECONDS = CLevelGain::HOP / 44100.0;
const int HISTORY_HOPS = static_cast<int>(1.4 / HOP_SECONDS);
const int RECENT_HOPS = static_cast<int>(0.25 / HOP_SECONDS);
// A hop three times the song's usual loudness is only a loud beat; far above it
// the song has changed, and the reference jumps rather than let it flash.
const float PEAK_SHARE = 1.0f / 3;
const float EASE_DOWN = static_cast<float>(std::exp(-HOP_SECONDS / 0.25));
const float MIN_GAIN = 0.25f;
const float MAX_GAIN = 16.0f;
// Quieter than this against the drawn-for level a hop is silence, not music: a
// quiet song's soft passages lie above it, a fade's tail and a pause in the music
// below.
const float SILENCE = 1.0f / 64;

float percentile90(std::vector<float> v) {
    const auto k = v.begin() + static_cast<long>(0.9 * static_cast<double>(v.size() - 1) + 0.5);
    std::nth_element(v.begin(), k, v.end());
    return *k;
}

float centre(int group) {
    return 0.5f * static_cast<float>(CLevelGain::EDGES[group] + CLevelGain::EDGES[group + 1] - 1);
}

}  // namespace

constexpr std::array<int, CLevelGain::GROUPS + 1> CLevelGain::EDGES;
constexpr CLevelGain::Gains CLevelGain::TARGETS;

CLevelGain::CLevelGain() {
    for (int g = 0; g < GROUPS; g++) groups[g].reference = TARGETS[g];
}

void CLevelGain::hear(const float* levels) {
    for (int g = 0; g < GROUPS; g++) {
        Group& group = groups[g];
        float sum = 0.0f;
        for (int band = EDGES[g]; band < EDGES[g + 1]; band++) sum += levels[band];
        const float mean = sum / static_cast<float>(EDGES[g + 1] - EDGES[g]);
        // silence and near silence are not heard: they neither lift the gain nor, when
        // the music comes back, leave it lifted
        if (!(mean >= SILENCE * TARGETS[g])) continue;
        if (static_cast<int>(group.history.size()) < HISTORY_HOPS)
            group.history.push_back(mean);
        else
            group.history[group.next] = mean;
        float recentPeak = 0.0f;
        const int kept = static_cast<int>(group.history.size());
        for (int back = 0; back < std::min(RECENT_HOPS, kept); back++)
            recentPeak = std::max(recentPeak, group.history[(group.next - back + kept) % kept]);
        group.next = (group.next + 1) % HISTORY_HOPS;

        const float wanted = std::max(percentile90(group.history), PEAK_SHARE * recentPeak);
        // eased in proportion, as loudness is heard
        if (wanted >= group.reference)
            group.reference = wanted;
        else
            group.reference *= std::pow(wanted / group.reference, 1 - EASE_DOWN);
    }
}

CLevelGain::Gains CLevelGain::gains() const {
    Gains out;
    for (int g = 0; g < GROUPS; g++) out[g] = std::clamp(TARGETS[g] / groups[g].reference, MIN_GAIN, MAX_GAIN);
    return out;
}

void CLevelGain::apply(const Gains& gains, float* levels) {
    int upper = 0;  // the first group whose centre lies above the band
    for (int band = 0; band < CSpectrumAnalyser::BANDS; band++) {
        while (upper < GROUPS && centre(upper) < static_cast<float>(band)) upper++;
        float gain;
        if (upper == 0)
            gain = gains[0];
        else if (upper == GROUPS)
            gain = gains[GROUPS - 1];
        else {
            // in proportion, so that a silent group's boost reaches little into a loud neighbour
            const float t = (static_cast<float>(band) - centre(upper - 1)) / (centre(upper) - centre(upper - 1));
            gain = gains[upper - 1] * std::pow(gains[upper] / gains[upper - 1], t);
        }
        levels[band] = std::min(levels[band] * gain, 1.0f);
    }
}
