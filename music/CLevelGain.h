#ifndef CHIPDISK_CLEVELGAIN_H
#define CHIPDISK_CLEVELGAIN_H

#include <array>
#include <vector>

// Scales the analyser's levels by the song's own loudness, so that a quiet song
// lights the effects as much as a loud one. The 512 bands fall into four groups
// (0-9, 10-29, 30-99, 100-511); each keeps a reference that follows the loudness
// of its bands over the last 1.4 s (the 90th percentile of their mean per hop),
// rises at once when the song gets much louder and eases down over a quarter of
// a second. A group's gain brings its reference to the level the effects were
// drawn for, within 1/4..16 times the fixed scale. Hops quieter than a sixty-fourth
// of that level are not heard at all, so silence and near silence are never lifted
// and a song that comes back from silence comes back with the gain it had.
//
// It hears the song in hops of HOP mono samples at 44100 Hz, so what it does
// depends on the audio alone, not on how often a frame is drawn. Not thread-safe:
// one thread hears, and the gains it hands out are plain values.
class CLevelGain {
public:
    static const int GROUPS = 4;
    static const int HOP = 512;
    using Gains = std::array<float, GROUPS>;

    CLevelGain();

    // One hop of song: `levels` are the BANDS unscaled, unclamped levels of the
    // analysis window that ends with the hop. Held or stopped songs are not heard,
    // so their reference stays as it was.
    void hear(const float* levels);

    // The groups' gains now, relative to the fixed scale; all 1 before the first hop.
    Gains gains() const;

    // levels (BANDS values): each band times the gain interpolated between the
    // groups' centres (geometrically), then clamped to 0..1.
    static void apply(const Gains& gains, float* levels);

    // first band of each group, and the end of the last
    static constexpr std::array<int, GROUPS + 1> EDGES = {0, 10, 30, 100, 512};
    // the 90th percentile of each group's mean level per hop that the effects were
    // drawn for: the median over the shipped songs with the fixed scale
    static constexpr Gains TARGETS = {0.107f, 0.0594f, 0.0208f, 0.0042f};

private:
    struct Group {
        std::vector<float> history;  // the group's mean level per hop heard, oldest overwritten first
        int next = 0;                // where the next hop goes once the history is full
        float reference = 0.0f;
    };
    std::array<Group, GROUPS> groups;
};

#endif
