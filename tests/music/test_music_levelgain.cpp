// How the levels follow a song's loudness, fed hop by hop with levels in proportion
// to what the effects were drawn for.
#include "CLevelGain.h"
#include "CSpectrumAnalyser.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const double HOPS_A_SECOND = 44100.0 / CLevelGain::HOP;

// `seconds` of song whose loudness goes from `from` to `to` times the drawn-for level
struct Stretch {
    double seconds, from, to;
};

// the level the song shows in group 0 at the end: its loudness times the gain
double play(CLevelGain& gain, std::initializer_list<Stretch> song) {
    double loudness = 0;
    for (const Stretch& s : song) {
        const int hops = static_cast<int>(s.seconds * HOPS_A_SECOND);
        for (int hop = 0; hop < hops; hop++) {
            loudness = s.from + (s.to - s.from) * (hop + 1) / hops;
            std::vector<float> levels(CSpectrumAnalyser::BANDS);
            for (int g = 0; g < CLevelGain::GROUPS; g++)
                for (int band = CLevelGain::EDGES[g]; band < CLevelGain::EDGES[g + 1]; band++)
                    levels[band] = static_cast<float>(loudness * CLevelGain::TARGETS[g]);
            gain.hear(levels.data());
        }
    }
    const CLevelGain::Gains gains = gain.gains();
    for (int g = 1; g < CLevelGain::GROUPS; g++) EXPECT_NEAR(gains[g] / gains[0], 1, 1e-5);
    return loudness * gains[0];
}

}  // namespace

TEST(LevelGain, FollowsTheSongsLoudness) {
    const struct {
        std::initializer_list<Stretch> song;
        double low, high;  // the level shown at the end, in drawn-for levels
    } cases[] = {
        {{{3, 0.07, 0.07}}, 0.97, 1.03},                       // a sixteenth as loud is raised
        {{{3, 10, 10}}, 2.49, 2.51},                           // ten times as loud is lowered, to a quarter at most
        {{{3, 0.01, 0.01}}, 0.01, 0.01},                       // noise from the start is not lifted
        {{{3, 1, 1}, {5, 0, 0}, {0.05, 1, 1}}, 0.97, 1.03},    // silence leaves the gain as it was
        {{{3, 0.125, 0.125}, {0.012, 1, 1}}, 1, 3.1},          // louder: the first hop does not flash
        {{{3, 0.125, 0.125}, {0.5, 1, 1}}, 0.97, 1.03},        // louder: settled within half a second
        {{{3, 1, 1}, {1, 0.125, 0.125}}, 0.12, 0.13},          // quieter: held for a second
        {{{3, 1, 1}, {1.45, 0.125, 0.125}}, 0.25, 0.6},        // then eased in, not dropped
        {{{3, 1, 1}, {2.2, 0.125, 0.125}}, 0.9, 1.03},         // settled within two seconds
        {{{3, 1, 1}, {0.012, 8, 8}, {0.2, 1, 1}}, 0.3, 0.45},  // a lone loud hop holds the gain down
        {{{3, 0.125, 0.125}, {0.1, 0.25, 0.25}}, 1.9, 2.1},    // another quiet song keeps the gain
        {{{3, 1, 1}, {3.5, 1, 0.125}}, 0, 0.4},                // a fade-out still fades
    };
    for (const auto& c : cases) {
        CLevelGain gain;
        const double shown = play(gain, c.song);
        EXPECT_GE(shown, c.low) << "case " << &c - cases;
        EXPECT_LE(shown, c.high) << "case " << &c - cases;
    }
}

// between the groups' centres (4.5, 19.5, 64.5, 305.5) the gain goes in proportion
TEST(LevelGain, GainsMeetBetweenTheGroups) {
    std::vector<float> levels(CSpectrumAnalyser::BANDS, 0.1f);
    levels[511] = 0.5f;
    CLevelGain::apply({1, 2, 4, 8}, levels.data());
    const std::pair<int, float> cases[] = {{4, 0.1f},      {12, 0.1414f}, {42, 0.2828f},
                                           {185, 0.5657f}, {306, 0.8f},   {511, 1.0f}};
    for (const auto& [band, level] : cases) EXPECT_NEAR(levels[band], level, 1e-3f) << "band " << band;
}
