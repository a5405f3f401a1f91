#ifndef CHIPDISK_MUSIC_STEADYCLOCK_H
#define CHIPDISK_MUSIC_STEADYCLOCK_H

#include <chrono>
#include <cstdint>

// Now on the steady clock (CLOCK_MONOTONIC), in nanoseconds: the time base of the
// moments the sound layer is heard and the window's frames are shown. Any thread.
inline int64_t steadyClockNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

#endif
