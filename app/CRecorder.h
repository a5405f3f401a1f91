#ifndef CHIPDISK_CRECORDER_H
#define CHIPDISK_CRECORDER_H

#include "CCommandLine.h"

// Records the chipdisk without a window or a sound device: frame k is drawn at
// clock floor(k * 1000 / fps) ms, the song is decoded in lockstep with the frames,
// and each frame's spectrum is that of the 1024 samples centred on its moment.
class CRecorder {
public:
    // Runs the whole recording. Returns the exit status: 0 done, 2 bad arguments
    // or no ffmpeg for a video, 1 a failure while writing, 130 stopped by SIGINT
    // or SIGTERM (what was recorded until then is kept, playable).
    static int run(const command_t& command);
};

#endif
