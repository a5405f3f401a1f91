#!/usr/bin/python3
"""How far the rings (effect 1) follow the sound heard, in the running window.
Usage, from the repository root after building:
    bench/bench_avsync.py [seconds per run] [runs] [build dir]
The real chipdisk plays a song of sharp clicks on a private Xvfb (software GL) into
a private PulseAudio null sink. Runs alternate between the compensated spectrum and
CHIPDISK_PLAIN=avsync (the spectrum of the newest audio but one buffer), so load
changes hit both alike.

Clocks: everything is on CLOCK_MONOTONIC. The preloaded build/bench/swapcount.so
notes each frame's swap time and the light in the middle of the view just before
the swap. parec records the sink's monitor in small blocks, each stamped on
arrival; sample n was rendered by the sink at most at arrival(block) - (samples
after n)/rate, and the lower envelope of that over the run is the recording's time
base. The null sink renders ahead of its clock by its latency; what counts as heard
is the sink's clock, so the sink's latency (pactl, sampled during the run) is added.

Per click: the time the light crosses halfway from its level before the click to
its peak (interpolated between the two frames around the crossing) minus the click's
onset in the recording, and the delay of the first frame past halfway. Positive:
the picture is late. Clicks whose frames around the crossing are more than 60 ms
apart are left out.

AVSYNC_NICE=N runs the program, the X and sound servers and the recorder at
niceness N (a busy machine); AVSYNC_KEEP=FOLDER keeps each run's frames and clicks
there; AVSYNC_VOLUME=0..64 sets the clicks' volume (64)."""
import os
import re
import statistics
import struct
import subprocess
import sys
import threading
import time

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
from desktop import App, Desktop  # noqa: E402

RATE = 44100
BEAT_ROWS = 5  # a click every 5 rows of 100 ms
PARTIAL_BANDS = range(4, 44, 4)  # the rings' bands the click sounds in


def click_sample(rate):
    """150 ms of equal sines on the rings' band centres, random phases, no fade-in: the
    rings light up within one analysis window of the onset and stay lit for a few
    frames, so the frame before the answer and the answer are both seen."""
    rng = np.random.default_rng(7)
    t = np.arange(int(0.150 * rate)) / rate
    x = sum(np.sin(2 * np.pi * k * 44100 / 1024 * t + rng.uniform(0, 2 * np.pi)) for k in PARTIAL_BANDS)
    return np.round(127 * x / np.max(np.abs(x))).astype(int)


def click_song(volume):
    """A FastTracker 2 module: one pattern of 2 * BEAT_ROWS rows at 150 BPM, speed 6
    (100 ms a row), a click on its first row and on row BEAT_ROWS."""
    b = bytearray()
    u8 = lambda v: b.append(v & 0xFF)  # noqa: E731
    u16 = lambda v: b.extend(struct.pack("<H", v & 0xFFFF))  # noqa: E731
    u32 = lambda v: b.extend(struct.pack("<I", v))  # noqa: E731
    text = lambda s, n: b.extend(s.encode().ljust(n, b"\0")[:n])  # noqa: E731
    rows, channels = 2 * BEAT_ROWS, 2
    text("Extended Module: ", 17)
    text("clicks", 20)
    u8(0x1A)
    text("chipdisk bench", 20)
    u16(0x0104)
    u32(276)
    for v in (1, 0, channels, 1, 1, 1, 6, 150):  # length, restart, channels, patterns,
        u16(v)  # instruments, linear, speed, BPM
    b.extend(bytes(256))
    cells = bytearray()
    for r in range(rows):
        for c in range(channels):
            if c == 0 and r % BEAT_ROWS == 0:
                cells += bytes([49, 1, 0x10 + volume, 0, 0])  # C-4, instrument 1
            else:
                cells.append(0x80)
    u32(9)
    u8(0)
    u16(rows)
    u16(len(cells))
    b.extend(cells)
    # relative note +24: C-4 plays the sample at 4 x 8363 Hz
    sample = click_sample(4 * 8363)
    u32(263)
    text("click", 22)
    u8(0)
    u16(1)
    u32(40)
    b.extend(bytes(96))
    u16(0)
    u16(64)
    b.extend(bytes(44 + 48 + 2 + 6 + 2 + 4))
    u16(0)
    b.extend(bytes(22))
    u32(len(sample))
    u32(0)
    u32(0)
    for v in (64, 0, 0, 128, 24, 0):  # volume, finetune, no loop, panning, relative note
        u8(v)
    text("click", 22)
    prev = 0
    for v in sample:  # 8-bit deltas
        u8(int(v) - prev)
        prev = int(v)
    return bytes(b)


class Recorder:
    """parec from the null sink's monitor, mono s16, every block stamped on arrival."""

    def __init__(self, desk):
        self.proc = desk.monitor(channels=1, latency_ms=5)
        self.blocks = []  # (arrival ns, samples so far after this block)
        self.data = bytearray()
        self.lock = threading.Lock()
        threading.Thread(target=self._pump, daemon=True).start()

    def _pump(self):
        fd = self.proc.stdout.fileno()
        while True:
            chunk = os.read(fd, 65536)
            now = time.monotonic_ns()
            if not chunk:
                return
            with self.lock:
                self.data += chunk
                self.blocks.append((now, len(self.data) // 2))

    def samples(self):
        with self.lock:
            raw = bytes(self.data[: len(self.data) // 2 * 2])
            blocks = list(self.blocks)
        return np.frombuffer(raw, dtype="<i2").astype(float), blocks


def sink_latency_us(env):
    out = subprocess.run(["pactl", "list", "sinks"], env=env, capture_output=True, text=True).stdout
    m = re.search(r"Latency: (\d+) usec", out)
    return int(m.group(1)) if m else None


def stream_latency_us(env, streams, second):
    """A stream's buffer in the server plus the latency of the sink or source behind it."""
    out = subprocess.run(["pactl", "list", streams], env=env, capture_output=True, text=True).stdout
    b = re.search(r"Buffer Latency: (\d+) usec", out)
    s = re.search(second + r" Latency: (\d+) usec", out)
    return int(b.group(1)) + int(s.group(1)) if b and s else None


def output_latency_us(env):
    """The program's stream, as heard."""
    return stream_latency_us(env, "sink-inputs", "Sink")


def recorder_latency_us(env):
    """What the server holds back from parec."""
    return stream_latency_us(env, "source-outputs", "Source")


def onsets(x, quiet=0.2):
    """Sample index where each click starts: the first sample above a fifth of the
    loudest, after at least `quiet` seconds below it."""
    loud = np.flatnonzero(np.abs(x) > 0.2 * np.max(np.abs(x)))
    found, last = [], -RATE
    for i in loud:
        if i - last > quiet * RATE:
            found.append(int(i))
        last = i
    return found


def answers(frames, click_ns):
    """(delay of the halfway crossing, delay of the first frame past it) in ms, or None
    when the frames around the answer are too far apart to place it (over 60 ms)."""
    t = frames[:, 0]
    light = frames[:, 1]
    before = light[(t > click_ns - 300e6) & (t < click_ns - 60e6)]
    near = (t >= click_ns - 60e6) & (t < click_ns + 250e6)
    if len(before) == 0 or not near.any():
        return None
    base, peak = np.median(before), light[near].max()
    if peak - base < 3:
        return None
    half = (base + peak) / 2
    i = np.flatnonzero(near & (light >= half))[0]
    if i == 0 or light[i - 1] >= half or t[i] - t[i - 1] > 60e6:
        return None
    cross = t[i - 1] + (half - light[i - 1]) / (light[i] - light[i - 1]) * (t[i] - t[i - 1])
    return (cross - click_ns) / 1e6, (t[i] - click_ns) / 1e6


def set_nice(pid, nice):
    """Every thread of pid at this niceness (AVSYNC_NICE: the program, the X server, the
    sound server and the recorder ahead of other work on a busy machine)."""
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            os.setpriority(os.PRIO_PROCESS, int(task), nice)
        except OSError:
            pass


def run_once(desk, program, counter, song, seconds, plain):
    env = desk.env
    light_path = os.path.join(desk.outdir, "light")
    if os.path.exists(light_path):
        os.remove(light_path)
    app_env = dict(SWAPLIGHT_FILE=light_path, CHIPDISK_PLAIN="avsync" if plain else None)
    rec = Recorder(desk)
    app = App(desk, program, cwd=desk.work, args=[song], env=app_env, swapcount=counter)
    time.sleep(1.0)
    if os.environ.get("AVSYNC_NICE"):
        for p in desk.procs:
            if p.poll() is None:
                set_nice(p.pid, int(os.environ["AVSYNC_NICE"]))
        for pid in (desk.pulse_pid, os.getpid()):
            set_nice(pid, int(os.environ["AVSYNC_NICE"]))
    app.xdo("mousemove", *app.to_screen((300, 150)))
    app.xdo("key", "Right", pause=5.0)  # the fade to the rings and back
    start = time.monotonic_ns()
    latencies, held, output = [], [], []
    while time.monotonic_ns() - start < seconds * 1e9:
        time.sleep(0.5)
        for probe, found in ((sink_latency_us, latencies), (recorder_latency_us, held), (output_latency_us, output)):
            value = probe(env)
            if value is not None:
                found.append(value)
    end = time.monotonic_ns()
    app.proc.kill()
    app.proc.wait()
    time.sleep(0.3)
    rec.proc.kill()
    rec.proc.wait()
    x, blocks = rec.samples()
    frames = np.loadtxt(light_path)
    # sample n was captured at or before arrival - (count - n) / RATE
    t0 = min(arr - count * 1e9 / RATE for arr, count in blocks)
    sink_ns = 1e3 * statistics.median(latencies) if latencies else 0.0
    frames = frames[(frames[:, 0] > start - 300e6) & (frames[:, 0] < end)]
    results = []
    for n in onsets(x):
        click = t0 + n * 1e9 / RATE + sink_ns
        if start <= click <= end - 300e6:
            a = answers(frames, click)
            results.append((click, a))
    if os.environ.get("AVSYNC_KEEP"):  # the raw figures, for a closer look
        np.save(os.path.join(os.environ["AVSYNC_KEEP"], "frames-%d.npy" % plain), frames)
        np.save(os.path.join(os.environ["AVSYNC_KEEP"], "clicks-%d.npy" % plain), np.array([c for c, _ in results]))
    gaps = np.diff(frames[:, 0]) / 1e6
    peak_level = spectrum_peak(x)
    return results, gaps, latencies, held, output, blocks, peak_level


def spectrum_peak(x):
    """Largest level of the rings' bands over the recording, as the program computes it
    (1024 samples, Hann, |X| * 4 / 1024 * 3), to keep the click below the level where a
    ring turns white (0.2) and the light stays close to proportional."""
    w = 0.5 - 0.5 * np.cos(2 * np.pi * np.arange(1024) / 1024)
    best = 0.0
    for i in onsets(x)[:4]:
        for off in range(-512, 1024, 128):
            seg = x[i + off : i + off + 1024] / 32768.0
            if len(seg) == 1024:
                best = max(best, float(np.max(np.abs(np.fft.rfft(seg * w))[:55]) * 12 / 1024))
    return best


def describe(name, results, gaps, latencies, held, output, blocks, peak):
    good = [a for _, a in results if a]
    print(
        "%s: %d clicks, %d answered; frame interval median %.1f ms, 95th pct %.1f ms"
        % (name, len(results), len(good), np.median(gaps), np.percentile(gaps, 95))
    )
    sizes = np.diff([0] + [c for _, c in blocks])
    span = lambda v: "%d-%d (median %d)" % (min(v), max(v), np.median(v)) if v else "?"  # noqa: E731
    print(
        "  recording blocks median %.1f ms, largest %.1f ms; sink latency %s us; held for "
        "parec %s us; click's peak level %.3f"
        % (1e3 * np.median(sizes) / RATE, 1e3 * sizes.max() / RATE, span(latencies), span(held), peak)
    )
    if output:
        print(
            "  the program's output latency (its buffer in the server + the sink's): "
            "median %.1f ms, %.1f .. %.1f" % (np.median(output) / 1e3, min(output) / 1e3, max(output) / 1e3)
        )
    print("  per click, halfway crossing (first frame past it) in ms:")
    print("   " + " ".join("%+.0f(%+.0f)" % a if a else "-" for _, a in results))
    if good:
        cross = [a[0] for a in good]
        first = [a[1] for a in good]
        print(
            "  halfway crossing: median %+.1f ms, quartiles %+.1f / %+.1f, range %+.1f .. %+.1f"
            % (np.median(cross), np.percentile(cross, 25), np.percentile(cross, 75), min(cross), max(cross))
        )
        print(
            "  first frame past halfway: median %+.1f ms, range %+.1f .. %+.1f"
            % (np.median(first), min(first), max(first))
        )
    return [a[0] for a in good]


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 15
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    build = sys.argv[3] if len(sys.argv) > 3 else "build"
    volume = int(os.environ.get("AVSYNC_VOLUME", "64"))
    program = os.path.abspath(os.path.join(build, "app", "chipdisk"))
    counter = os.path.abspath(os.path.join(build, "bench", "swapcount.so"))
    desk = None
    print(
        "load at start: %s%s"
        % (
            open("/proc/loadavg").read().split()[0],
            ", nice %s" % os.environ["AVSYNC_NICE"] if os.environ.get("AVSYNC_NICE") else "",
        )
    )
    try:
        desk = Desktop(os.path.join(os.environ.get("TMPDIR", "/tmp"), "chipdisk-avsync-out"))
        desk.start_pulse(record=False)
        desk.copy_data()
        song = os.path.join(desk.work, "clicks.xm")
        with open(song, "wb") as f:
            f.write(click_song(volume))
        totals = {"compensated": [], "plain (CHIPDISK_PLAIN=avsync)": []}
        for r in range(runs):
            for name, plain in (("plain (CHIPDISK_PLAIN=avsync)", True), ("compensated", False)):
                res = run_once(desk, program, counter, song, seconds, plain)
                totals[name] += describe("%s, run %d" % (name, r + 1), *res)
        if runs > 1:
            for name, cross in totals.items():
                if cross:
                    print(
                        "%s, all runs: median %+.1f ms, quartiles %+.1f / %+.1f (%d clicks)"
                        % (name, np.median(cross), np.percentile(cross, 25), np.percentile(cross, 75), len(cross))
                    )
        print("load at end: %s" % open("/proc/loadavg").read().split()[0])
    finally:
        if desk:
            desk.close()


if __name__ == "__main__":
    main()
