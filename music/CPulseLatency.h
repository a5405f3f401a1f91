#ifndef CHIPDISK_CPULSELATENCY_H
#define CHIPDISK_CPULSELATENCY_H

#include <atomic>
#include <cstdint>
#include <mutex>

// Asks the PulseAudio server, five times a second, when the audio this process has
// written will be heard: its stream's buffer plus the sink's latency. SDL reports
// no device latency, so this is where the output's delay comes from. Runs on a
// thread of its own for the rest of the process; without a server it keeps trying
// now and then and answers nothing.
class CPulseLatency {
public:
    // written: the frames rendered so far, read around each question to tie the
    // answer to them; wantedNs: when (steady clock) an answer was last wanted. No
    // question is asked a second after that, so a hidden window costs nothing.
    static void start(const std::atomic<uint64_t>* written, const std::atomic<int64_t>* wantedNs);

    // The newest answer: the last of `written` frames is heard at heardNs (steady
    // clock). `seq` counts the answers, to tell a new one from the last; false
    // while there is none.
    static bool latest(uint64_t& written, int64_t& heardNs, unsigned& seq);
};

#endif
