#ifndef CHIPDISK_GFX_PLAINPATH_H
#define CHIPDISK_GFX_PLAINPATH_H

// The slower plain paths, kept to compare against, are asked for with CHIPDISK_PLAIN:
// "1" asks for all of them, a name for one: "glow" for the glow and blur copies one
// quad each, "points" for the tunnel points one call per vertex, "splat" for them
// drawn by the renderer from one buffer rather than worked out on the CPU, "rings"
// for the rings as the renderer's own smoothed lines, "hud" for the HUD's darkening
// and overlay pictures one after the other, "malloc" for the allocator's default
// thresholds, "avsync" for the window's spectrum of the newest audio, with nothing
// rendered ahead, rather than of the audio heard when the frame is shown.
// Read from the environment at every call, so that tests and benchmarks may switch
// between frames; any thread. No GL.
bool plainPath(const char* part);

// Only when CHIPDISK_PLAIN names `part` itself, not with "1": for "levels", the
// analyser's fixed scale, which the benchmarks that switch everything must not touch.
bool plainPathByName(const char* part);

#endif
