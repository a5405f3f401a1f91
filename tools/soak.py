#!/usr/bin/python3
"""Soak run: the real chipdisk on a private Xvfb with openbox, playing into a private
PulseAudio null sink, under a seeded random stream of clicks, keys and drags.
Usage: soak.py CHIPDISK SWAPCOUNT_SO OUTPUT_DIR SECONDS [SEED]
Fails on a crash, a stall (no new frame or an unchanged view for 5 s), resident
memory that keeps growing, or a silent stretch in the music longer than 0.5 s.
Stop is never pressed, so the music should never pause. A stall leaves every thread's
stack (stacks.txt), the last actions before it (actions.txt) and the view (stalled.png)
in the output folder, and says whether the frames came back."""
import os
import collections
import random
import subprocess
import sys
import threading
import time
import warnings

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import audioop

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
from desktop import App, CANVAS, Desktop, EXPECTED_STDERR, REPO, check, difference, wait_for  # noqa: E402
from PIL import Image

BLOCK = 441  # 10 ms at 44.1 kHz
SILENT_RMS = 40  # s16 level below which a 10 ms block counts as silent
LONGEST_GAP = 50  # blocks: 0.5 s
MAGENTA = (255, 0, 255)
# view rectangles never clicked: close, iconize, stop
AVOID = [(372, 0, 396, 22), (192, 204, 215, 224), (176, 232, 211, 260)]
SPOTS = {"prev": (118, 247), "next": (153, 247), "play": (233, 247)}
BURST_STEPS = 60
BURST_LIMIT_KB = 20 * 1024  # a kept song costs about 0.8 MB: 60 steps would add ~48 MB
KEYS = ["Up", "Down", "Right", "Right", "Left", "Home", "s", "a", "Page_Down"]  # not Space: it pauses


class LevelRecorder:
    """Records the null sink's monitor and keeps only one RMS level per 10 ms."""

    def __init__(self, desk):
        self.proc = desk.monitor()
        self.levels = []
        self.lock = threading.Lock()
        threading.Thread(target=self._pump, daemon=True).start()

    def _pump(self):
        pending = b""
        size = BLOCK * 4
        while True:
            chunk = self.proc.stdout.read1(65536)
            if not chunk:
                return
            pending += chunk
            n = len(pending) // size
            levels = [audioop.rms(pending[i * size : (i + 1) * size], 2) for i in range(n)]
            pending = pending[n * size :]
            with self.lock:
                self.levels.extend(levels)

    def count(self):
        with self.lock:
            return len(self.levels)

    def since(self, start):
        with self.lock:
            return self.levels[start:]


def margin_point():
    """A point of the star picture left of the view that is not magenta."""
    star = Image.open(os.path.join(REPO, "data", "gfx", "star.png")).convert("RGB")
    for y in range(CANVAS[1] + 60, CANVAS[1] + 200, 10):
        for x in range(4, CANVAS[0] - 6):
            if all(star.getpixel((x + d, y + e)) != MAGENTA for d in (-3, 0, 3) for e in (-3, 0, 3)):
                return (x, y)
    raise AssertionError("no margin found in data/gfx/star.png")


def rss_kb(app):
    with open("/proc/%d/status" % app.proc.pid) as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))


def view_point(rng):
    while True:
        p = (rng.randrange(0, 395), rng.randrange(0, 260))
        if not any(x0 <= p[0] <= x1 and y0 <= p[1] <= y1 for x0, y0, x1, y1 in AVOID):
            return p


def act(app, rng, margin, loads, log):
    kind = rng.choices(["spot", "click", "key", "hover", "drag", "double", "right"], [3, 3, 6, 3, 2, 1, 1])[0]
    log.append("%.3f %s" % (time.time(), kind))
    if kind == "spot":
        name = rng.choice(list(SPOTS))
        app.xdo("mousemove", *app.to_screen(SPOTS[name]))
        app.xdo("click", "1")
        loads[0] += name != "play"
    elif kind == "click":
        app.xdo("mousemove", *app.to_screen(view_point(rng)))
        app.xdo("click", "1")
    elif kind == "key":
        app.xdo("mousemove", *app.to_screen(view_point(rng)))  # the view takes the keys
        key = rng.choice(KEYS)
        log[-1] += " " + key
        app.xdo("key", key)
        loads[0] += key in ("Up", "Down")
    elif kind == "hover":
        app.xdo("mousemove", *app.to_screen(view_point(rng)))
    elif kind == "right":
        app.xdo("mousemove", *app.to_screen(view_point(rng)))
        app.xdo("click", "3")  # on the view it does nothing
    else:
        x, y, w, h = app.geometry()
        start = (x + margin[0], y + margin[1])
        if kind == "double":
            app.xdo("mousemove", *start)
            app.xdo("click", "--repeat", "2", "--delay", "80", "1")
            return
        # drag towards the middle of the screen, so the frame stays in view
        dx = rng.randrange(10, 60) * (1 if x < 280 else -1)
        dy = rng.randrange(10, 60) * (1 if y < 220 else -1)
        app.xdo("mousemove", *start)
        app.xdo("mousedown", "1")
        for i in range(1, 4):
            app.xdo("mousemove", start[0] + dx * i // 3, start[1] + dy * i // 3)
        app.xdo("mouseup", "1")


def stacks(pid):
    """Every thread's stack of the running program, as gdb prints them."""
    return subprocess.run(
        ["gdb", "-p", str(pid), "-batch", "-ex", "thread apply all bt"], capture_output=True, text=True, timeout=120
    ).stdout


def report_stall(app, outdir, log, view, message):
    """Keeps what shows why frames stopped, then watches whether they come back."""
    view.save(os.path.join(outdir, "stalled.png"))
    with open(os.path.join(outdir, "actions.txt"), "w") as f:
        f.write("\n".join(log) + "\n")
    before = app.swaps()
    with open(os.path.join(outdir, "stacks.txt"), "w") as f:
        f.write(stacks(app.proc.pid))
    time.sleep(10)
    back = app.swaps() - before
    raise AssertionError(
        "%s; %s in the 10 s after the stacks were taken"
        % (message, "%d frames came" % back if back else "no frame came")
    )


def longest_gaps(times_path, start, end, count=3):
    """The longest times between two frames swapped between start and end (seconds
    since the epoch), longest first, as (gap in seconds, when it ended)."""
    with open(times_path) as f:
        times = [int(line) / 1e9 for line in f if line.strip()]
    times = [t for t in times if start <= t <= end]
    return sorted(((b - a, b) for a, b in zip(times, times[1:])), reverse=True)[:count]


def gaps(levels):
    """Silent stretches (start block, length) after the music first sounds."""
    first = next((i for i, v in enumerate(levels) if v > SILENT_RMS), None)
    if first is None:
        return None, []
    found, run = [], 0
    for i in range(first, len(levels)):
        if levels[i] <= SILENT_RMS:
            run += 1
        else:
            if run:
                found.append((i - run, run))
            run = 0
    if run:
        found.append((len(levels) - run, run))
    return first, found


def main():
    program, swapcount, outdir, seconds = sys.argv[1:5]
    seed = int(sys.argv[5]) if len(sys.argv) > 5 else 1
    seconds = float(seconds)
    outdir = os.path.join(os.path.abspath(outdir), "soak")
    os.makedirs(outdir, exist_ok=True)
    desk = Desktop(outdir, wm=True)
    try:
        desk.start_pulse(record=False)
        rec = LevelRecorder(desk)
        wait_for(lambda: rec.count() > 0, "the recording")
        desk.copy_data()
        start_block = rec.count()
        times_path = os.path.join(outdir, "swaptimes")
        open(times_path, "w").close()
        app = App(
            desk,
            os.path.abspath(program),
            cwd=desk.work,
            swapcount=os.path.abspath(swapcount),
            env={"SWAPTIMES_FILE": times_path},
        )
        wait_for(lambda: app.swaps() > 0, "the first frame", timeout=30)
        margin = margin_point()
        # warm-up: every effect and every song once, so that the baseline holds them all
        began = time.time()
        app.xdo("mousemove", *app.to_screen((300, 150)))
        for _ in range(4):
            app.xdo("key", "Right", pause=4.3)
        for key in ["Down"] * 6 + ["Up"] * 6:
            app.xdo("key", key, pause=0.3)
        # a burst of song steps: each loads a song afresh, so memory held per load shows
        # here in seconds, well above the jitter of the allocators underneath
        time.sleep(2)
        burst_before = rss_kb(app)
        for i in range(BURST_STEPS):
            app.xdo("key", "Down" if i % 2 else "Up", pause=0.15)
        time.sleep(2)
        burst_growth = rss_kb(app) - burst_before
        print("resident memory over %d song steps: %+.1f MB" % (BURST_STEPS, burst_growth / 1024))
        seconds -= time.time() - began
        rng = random.Random(seed)
        loads = [0]
        rss = []
        actions = 0
        log = collections.deque(maxlen=60)
        t0 = time.time()
        first_swaps = app.swaps()
        last_check = t0
        last_swaps, last_view = app.swaps(), app.view()
        while time.time() - t0 < seconds:
            if app.proc.poll() is not None:
                raise AssertionError(
                    "the program ended (status %d) after %.0f s" % (app.proc.returncode, time.time() - t0)
                )
            act(app, rng, margin, loads, log)
            actions += 1
            time.sleep(rng.uniform(0.1, 1.0))
            now = time.time()
            if now - last_check >= 5:
                swaps, view = app.swaps(), app.view()
                change = difference(last_view, view)
                if swaps <= last_swaps or change <= 1:
                    report_stall(
                        app,
                        outdir,
                        log,
                        view,
                        "stalled after %.0f s: %d new frames, view change %.1f"
                        % (now - t0, swaps - last_swaps, change),
                    )
                rss.append((now - t0, rss_kb(app)))
                last_check, last_swaps, last_view = now, swaps, view
        elapsed = time.time() - t0
        frames = app.swaps() - first_swaps
        longest = longest_gaps(times_path, t0, t0 + elapsed)
        end_block = rec.count()
        app.click(app.to_screen((387, 7)))  # the close spot
        status = app.proc.wait(10)
        print(
            "ran %.0f s after a %.0f s warm-up: %d actions, %d song loads by key or spot, %d frames (%.1f fps)"
            % (elapsed, time.time() - began - elapsed, actions, loads[0], frames, frames / elapsed)
        )
        print(
            "longest times between two frames: %s"
            % ", ".join("%.0f ms at %.0f s" % (1000 * gap, at - t0) for gap, at in longest)
        )

        # memory: after a warm-up, the last third against the first third
        warm = [kb for _, kb in rss]
        third = max(1, len(warm) // 3)
        early, late = sum(warm[:third]) / third, sum(warm[-third:]) / third
        growth = late - early
        print("resident memory: %s" % " ".join("%.0fs:%dMB" % (t, kb // 1024) for t, kb in rss))
        print(
            "resident memory, first third %.1f MB, last third %.1f MB, growth %+.1f MB "
            "(%.1f kB per song load)" % (early / 1024, late / 1024, growth / 1024, growth / max(1, loads[0]))
        )

        first, found = gaps(rec.since(start_block)[: end_block - start_block])
        check(first is not None, "the music is heard")
        long_gaps = [(b, n) for b, n in found if n > LONGEST_GAP]
        print(
            "music from %.2f s after start; silent stretches over 50 ms: %s; longest %d ms"
            % (first / 100.0, sum(1 for _, n in found if n > 5), 10 * max([n for _, n in found] or [0]))
        )
        check(status == 0, "the close spot still ends it cleanly (status %s)" % status)
        out, err = app.output()
        bad = [line for line in err.splitlines() if line and not line.startswith(EXPECTED_STDERR)]
        check(out == "" and not bad, "nothing printed (%r, %r)" % (out[:100], bad[:3]))
        where = ", ".join("%.1f s at %.1f s" % (n / 100.0, (first + b) / 100.0) for b, n in long_gaps[:5])
        check(not long_gaps, "no silent stretch over 0.5 s in the music " + where)
        with open(program, "rb") as f:
            sanitized = b"__asan_init" in f.read()
        if sanitized:
            # freed memory sits in AddressSanitizer's quarantine: RSS says nothing here
            print("resident memory not checked: AddressSanitizer build")
        else:
            check(
                burst_growth < BURST_LIMIT_KB,
                "song steps do not pile up memory (%+.1f MB over %d steps)" % (burst_growth / 1024, BURST_STEPS),
            )
            # a short run's thirds differ by one-off allocations of a few MB; judge
            # the trend only over long runs
            if elapsed >= 300:
                check(
                    len(warm) >= 3 and growth < 5 * 1024,
                    "resident memory does not keep growing (%+.1f MB)" % (growth / 1024),
                )
    finally:
        desk.close()


if __name__ == "__main__":
    main()
