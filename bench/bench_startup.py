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
import sys
import tempfile
import time
import warnings

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
from desktop import App, Desktop, wait_for

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import audioop


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    build = sys.argv[2] if len(sys.argv) > 2 else "build"
    program = os.path.abspath(os.path.join(build, "app", "chipdisk"))
    counter = os.path.abspath(os.path.join(build, "bench", "swapcount.so"))
    out = tempfile.mkdtemp(prefix="chipdisk-startup-")
    desk = Desktop(out)
    frames, sounds = [], []
    try:
        desk.start_pulse()
        desk.copy_data()
        for _ in range(runs):
            time.sleep(1.0)
            at = desk.frames()
            launched = time.time()
            app = App(desk, program, cwd=desk.work, swapcount=counter)
            wait_for(lambda: app.swaps() > 0, "the first frame", timeout=30)
            with open(app.swap_path) as f:
                first_ns = int(f.read().split()[1])
            frames.append(first_ns / 1e9 - launched)
            time.sleep(2.0)
            raw = bytes(desk.sound[at * 4 :])
            block = 441 * 4
            onset = next(
                (i for i in range(0, len(raw) - block, block) if audioop.rms(raw[i : i + block], 2) > 100), None
            )
            sounds.append(onset / 4 / 44100 if onset is not None else float("nan"))
            app.proc.kill()
            app.proc.wait()
        print(
            "start to first frame: median %.0f ms (%s)"
            % (1000 * statistics.median(frames), " ".join("%.0f" % (1000 * f) for f in frames))
        )
        print(
            "start to first sound: median %.0f ms (%s)"
            % (1000 * statistics.median(sounds), " ".join("%.0f" % (1000 * s) for s in sounds))
        )
    finally:
        desk.close()
        shutil.rmtree(out, ignore_errors=True)


if __name__ == "__main__":
    main()
