#include "CHeardClock.h"

#include <gtest/gtest.h>

// Buffers of 441 frames every 10 ms at 44100 Hz; the last one `late` ns off time.
static CHeardClock renders(int64_t late) {
    CHeardClock clock(44100);
    for (int i = 1; i <= 5; i++) clock.rendered(i * 10000000LL + (i == 5 ? late : 0), 441u * i);
    return clock;
}

TEST(HeardClock, FrameHeardFollowsTheMostPunctualRenders) {
    struct {
        int64_t late, at, latency;
        double frame;
    } rows[] = {
        {0, 50000000, 0, 2205},           // the newest frame, heard at once
        {4000000, 50000000, 0, 2205},     // a late buffer does not move the clock
        {-4000000, 50000000, 0, 2381.4},  // an earlier one does
        {0, 50000000, 20000000, 1323},    // 20 ms of latency: 882 frames back
        {0, 55000000, 20000000, 1543.5},  // between two renders
    };
    for (const auto& r : rows) {
        double frame = 0;
        ASSERT_TRUE(renders(r.late).heardAt(r.at, r.latency, frame));
        EXPECT_NEAR(frame, r.frame, 1e-6) << r.late << " " << r.at << " " << r.latency;
    }
    int64_t latency = 0;
    ASSERT_TRUE(renders(4000000).latencyFor(2205, 70000000, latency));
    EXPECT_EQ(latency, 20000000);
    double frame;
    EXPECT_FALSE(CHeardClock(44100).heardAt(0, 0, frame));
}

TEST(HeardClock, WindowIsCentredOnTheFrameHeardWithinWhatIsRendered) {
    struct {
        double heard;
        uint64_t written;
        int64_t end;
    } rows[] = {
        {1000.4, 5000, 1512},  // centred
        {4800, 5000, 5000},    // not yet rendered: the newest audio
        {1000, 20000, 5024},   // older than the ring keeps: its oldest window
    };
    for (const auto& r : rows) EXPECT_EQ(CHeardClock::windowEnd(r.heard, r.written, 1024, 16000), r.end) << r.heard;
}
