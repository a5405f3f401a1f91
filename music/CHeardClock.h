#ifndef CHIPDISK_CHEARDCLOCK_H
#define CHIPDISK_CHEARDCLOCK_H

#include <cstdint>

// Which rendered audio frame is heard at a given moment. The audio thread notes
// when each buffer was rendered; a buffer comes as late as the scheduler makes it,
// never early, so the most punctual of the recent ones fixes the stream's clock,
// and the output's latency (from a punctual render to the speaker) places what
// is heard on it. Times are steady-clock nanoseconds. No locking: the owner
// guards it.
class CHeardClock {
public:
    static constexpr int MARKS = 64;  // about 0.7 s of 512-frame buffers

    explicit CHeardClock(int rate) : rate(rate) {}

    // A buffer rendered at ns; `written` frames are out of the renderer in all.
    void rendered(int64_t ns, uint64_t written);

    // The frame heard at ns, latencyNs after its punctual render; false before any
    // buffer was rendered.
    bool heardAt(int64_t ns, int64_t latencyNs, double& frame) const;

    // The latency from a punctual render to hearing, given the sound server's word
    // that the last of `written` frames is heard at heardNs.
    bool latencyFor(uint64_t written, int64_t heardNs, int64_t& latencyNs) const;

    // Where an analysis window of `window` frames ends (exclusive) to be centred on
    // the frame heard: never past the `written` frames rendered so far, nor back
    // beyond the last `kept` frames.
    static int64_t windowEnd(double heard, uint64_t written, int window, int kept);

private:
    // frames rendered by time 0 at the most punctual recent render
    bool origin(double& frames) const;

    int rate;
    int64_t ns[MARKS] = {};
    uint64_t frames[MARKS] = {};
    int count = 0;
    int next = 0;
};

#endif
