#!/usr/bin/python3
"""Start-up time of the real chipdisk to its first frame and to its first sound,
on a private Xvfb (software GL) and a private PulseAudio null sink.
Usage, from the repository root after building: bench/bench_startup.py [runs] [build dir]
First frame: the first buffer swap seen by the preloaded build/bench/swapcount.so.
First sound: the first 10 ms block above a low level in the null sink's monitor,
counted in samples from the moment of launch (the recording runs in real time, so
the figure is late by the recorder's own latency, about 20 ms, at most)."""
import os
import shutil
import statistics
import subprocess
import sys
import time
import warnings

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..",
                                "tests", "hardening"))
from harness import App, Display, Processes, Pulse, base_env, copy_data, scratch_dir, wait_for

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import audioop


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    build = sys.argv[2] if len(sys.argv) > 2 else "build"
    program = os.path.abspath(os.path.join(build, "app", "chipdisk"))
    counter = os.path.abspath(os.path.join(build, "bench", "swapcount.so"))
    work = scratch_dir("chipdisk-startup-")
    out = os.path.join(work, "out")
    os.makedirs(out)
    procs = Processes()
    pulse = None
    frames, sounds = [], []
    try:
        env = base_env(os.path.join(work, "env"))
        display = Display(procs, env)
        pulse = Pulse(procs, env)
        copy_data(work)
        for _ in range(runs):
            time.sleep(1.0)
            at = pulse.frames()
            launched = time.time()
            app = App(procs, display, program, work, out, dict(env, SDL_AUDIODRIVER="pulseaudio"),
                      counter)
            wait_for(lambda: app.swaps() > 0, "the first frame", timeout=30)
            with open(app.swap_path) as f:
                first_ns = int(f.read().split()[1])
            frames.append(first_ns / 1e9 - launched)
            time.sleep(2.0)
            with pulse.lock:
                raw = bytes(pulse.data[at * 4:])
            block = 441 * 4
            onset = next((i for i in range(0, len(raw) - block, block)
                          if audioop.rms(raw[i:i + block], 2) > 100), None)
            sounds.append(onset / 4 / 44100 if onset is not None else float("nan"))
            app.proc.kill()
            app.proc.wait()
        print("start to first frame: median %.0f ms (%s)" % (
            1000 * statistics.median(frames), " ".join("%.0f" % (1000 * f) for f in frames)))
        print("start to first sound: median %.0f ms (%s)" % (
            1000 * statistics.median(sounds), " ".join("%.0f" % (1000 * s) for s in sounds)))
    finally:
        procs.stop()
        if pulse:
            pulse.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
