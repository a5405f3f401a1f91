"""A private desktop for the scenarios that run the real program: Xvfb, openbox, a session
bus, a PulseAudio null sink recorded at its monitor. What starts here is stopped here, by pid."""
import array
import math
import os
import random
import shutil
import subprocess
import tempfile
import threading
import time

from PIL import ImageChops, ImageGrab, ImageStat

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CANVAS = (35, 35, 395, 260)  # x, y, width, height of the view inside the frame
RATE = 44100
EXPECTED_STDERR = "chipdisk: no sound device"


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        raise AssertionError(what)


def wait_for(probe, what, timeout=15):
    end = time.time() + timeout
    while time.time() < end:
        value = probe()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError("timed out waiting for " + what)


def brightness(image):
    return sum(ImageStat.Stat(image).mean) / 3


def difference(a, b):
    return brightness(ImageChops.difference(a, b))


def lit_share(view):  # the share of the view's middle band, clear of the HUD, lit by the effect
    histogram = view.crop((10, 75, 385, 200)).convert("L").histogram()
    return sum(histogram[60:]) / sum(histogram)


def rms(x):
    return math.sqrt(sum(v * v for v in x) / len(x)) if x else 0.0


def frequency(x):  # by the median period: a dropout under load only adds a few long ones
    ups = [i for i in range(1, len(x)) if x[i - 1] < 0 <= x[i]]
    periods = sorted(b - a for a, b in zip(ups, ups[1:]))
    return RATE / periods[len(periods) // 2] if periods else 0.0


class Desktop:  # no session bus unless asked: the program must never reach the user's bus
    def __init__(self, outdir, wm=False, bus=False):
        self.outdir, self.procs, self.pulse_pid, self.work = outdir, [], None, tempfile.mkdtemp(prefix="chipdisk-")
        os.makedirs(outdir, exist_ok=True)
        self.env = env = {
            k: v
            for k, v in os.environ.items()
            if not k.startswith(("PULSE_", "DBUS_")) and k not in ("SDL_AUDIODRIVER", "GDK_BACKEND", "AUDIODEV")
        }
        run = os.path.join(self.work, "run")
        os.makedirs(os.path.join(run, "pulse"), mode=0o700)
        # wx, GTK and the never-freed director objects are not what these scenarios are about
        env.update(
            HOME=run,
            XDG_RUNTIME_DIR=run,
            XDG_CONFIG_HOME=os.path.join(run, "config"),
            PULSE_RUNTIME_PATH=os.path.join(run, "pulse"),
            NO_AT_BRIDGE="1",
            DBUS_SESSION_BUS_ADDRESS="unix:path=" + os.path.join(run, "no-bus"),
            SDL_AUDIODRIVER="dummy",
            ASAN_OPTIONS=env.get("ASAN_OPTIONS", "") + ":detect_leaks=0",
        )
        try:
            # a display far above the ones -displayfd alone hands out first, where
            # parallel runs race for the stale locks of killed servers
            for n in random.sample(range(200, 30000), 5):
                r, w = os.pipe()
                self.spawn(
                    ("Xvfb :%d -displayfd %d -screen 0 1024x768x24 -nolisten tcp" % (n, w)).split(),
                    pass_fds=[w],
                    stderr=open(os.path.join(outdir, "xvfb.log"), "w"),
                )
                os.close(w)
                with os.fdopen(r) as f:
                    if f.readline().strip() == str(n):
                        env["DISPLAY"] = ":%d" % n
                        break
            if wm:
                self.spawn(["openbox", "--sm-disable"], env=env)
                wait_for(lambda: "window id" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), "openbox")
            if bus:
                p = self.spawn(
                    "dbus-daemon --session --nofork --print-address=1".split(), stdout=subprocess.PIPE, env=env
                )
                env["DBUS_SESSION_BUS_ADDRESS"] = p.stdout.readline().decode().strip()
        except BaseException:
            self.close()
            raise

    def spawn(self, args, **kw):
        self.procs.append(subprocess.Popen(args, **{"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL, **kw}))
        return self.procs[-1]

    def run(self, *args):
        return subprocess.run([str(a) for a in args], env=self.env, capture_output=True, text=True, timeout=20).stdout

    def start_pulse(self, record=True):  # with `record`, parec keeps what the sink plays
        subprocess.run(
            "pulseaudio -D --exit-idle-time=-1 -n --load=module-native-protocol-unix".split()
            + ["--load=module-null-sink sink_name=nullsink rate=%d" % RATE],
            env=self.env,
            check=True,
            stderr=subprocess.DEVNULL,
        )
        wait_for(
            lambda: subprocess.run(["pactl", "info"], env=self.env, capture_output=True).returncode == 0,
            "the sound server",
        )
        with open(os.path.join(self.env["PULSE_RUNTIME_PATH"], "pid")) as f:
            self.pulse_pid = int(f.read())
        self.env["SDL_AUDIODRIVER"] = "pulseaudio"
        if record:
            self.sound = bytearray()  # grown by one thread, read by another: each step holds the GIL
            threading.Thread(target=self._pump, args=(self.monitor().stdout,), daemon=True).start()
            wait_for(lambda: self.frames() > 0, "the recording")  # a fresh sink holds back its first stream

    def monitor(self, channels=2, latency_ms=20):  # what the sink plays, raw s16le at RATE, on stdout
        parec = "parec -d nullsink.monitor --raw --format=s16le --rate=%d --channels=%d --latency-msec=%d"
        return self.spawn((parec % (RATE, channels, latency_ms)).split(), stdout=subprocess.PIPE, env=self.env)

    def _pump(self, pipe):
        for chunk in iter(lambda: pipe.read1(8192), b""):
            self.sound += chunk

    def frames(self):
        return len(self.sound) // 4

    def mono(self, start=0):  # from sample frame `start`, or the last -`start` frames
        end = self.frames()
        s = array.array("h", bytes(self.sound[max(0, start if start >= 0 else end + start) * 4 : end * 4]))
        return [(s[i] + s[i + 1]) / 2 for i in range(0, len(s), 2)]

    def stop_pulse(self, sig=15):
        if self.pulse_pid:
            os.kill(self.pulse_pid, sig)
            wait_for(lambda: not os.path.exists("/proc/%d" % self.pulse_pid), "the sound server to end")
            self.pulse_pid = None

    def copy_data(self):
        return shutil.copytree(os.path.join(REPO, "data"), os.path.join(self.work, "data"))

    def close(self):
        for p in reversed(self.procs):  # the X server cleans up its lock and socket on SIGTERM
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        self.stop_pulse()
        shutil.rmtree(self.work, ignore_errors=True)


class App:  # started in `cwd`, which holds data/; with `swapcount` its frames are counted
    def __init__(self, desk, program, cwd=REPO, args=(), env=None, swapcount=None):
        self.desk, self.started, self.count = desk, time.time(), 0
        env = {k: v for k, v in dict(desk.env, **(env or {})).items() if v is not None}
        self.swap_path, self.out_path, self.err_path = (
            os.path.join(desk.outdir, n) for n in ("swaps", "stdout.txt", "stderr.txt")
        )
        if swapcount:
            env.update(LD_PRELOAD=swapcount, SWAPCOUNT_FILE=self.swap_path)
            env["ASAN_OPTIONS"] += ":verify_asan_link_order=0"
            open(self.swap_path, "w").close()
        for attempt in (1, 2, 3):  # GTK at times fails to open the display of a loaded machine
            self.proc = desk.spawn(
                [program, *args], cwd=cwd, env=env, stdout=open(self.out_path, "wb"), stderr=open(self.err_path, "wb")
            )
            try:
                self.win = wait_for(self.find_window, "the chipdisk window", timeout=30)
                break
            except AssertionError as e:
                if attempt == 3 or "initialize GTK" not in str(e):
                    raise

    def find_window(self):
        if self.proc.poll() is not None:
            raise AssertionError("it ended early (status %d): %s" % (self.proc.returncode, self.output()[1][-300:]))
        return (self.desk.run("xdotool", "search", "--onlyvisible", "--pid", self.proc.pid).split() or [None])[0]

    def geometry(self):
        f = dict(line.strip().partition(":")[::2] for line in self.desk.run("xwininfo", "-id", self.win).splitlines())
        return tuple(int(f[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def shape(self):  # the extents of the window's bounding shape, None when it has none
        out = self.desk.run("xwininfo", "-id", self.win, "-shape").split("Window shape extents:")
        return out[1].split()[0] if len(out) > 1 else None

    def grab(self, box=None, name=None):  # the frame, or `box` inside it
        x, y, w, h = self.geometry()
        l, t, r, b = box or (0, 0, w, h)
        shot = ImageGrab.grab((x + l, y + t, x + r, y + b), xdisplay=self.desk.env["DISPLAY"]).convert("RGB")
        if name:
            shot.save(os.path.join(self.desk.outdir, name + ".png"))
        return shot

    def view(self, name=None):
        x, y, w, h = CANVAS
        return self.grab((x, y, x + w, y + h), name)

    def to_screen(self, point, origin=CANVAS):  # a view point, or with origin (0, 0) a frame point
        x, y, _, _ = self.geometry()
        return x + origin[0] + point[0], y + origin[1] + point[1]

    def xdo(self, *args, pause=0.1):
        self.desk.run("xdotool", *args)
        time.sleep(pause)  # GTK compresses motion events under render load

    def click(self, point, button=1, repeat=1, pause=0.1):
        self.xdo("mousemove", *point)
        self.xdo("click", "--repeat", repeat, "--delay", 80, button, pause=pause)

    def moving(self, shots=3, gap=0.4):  # above 1 while frames come
        views = [self.view() for _ in range(shots) if not time.sleep(gap)]
        return min(difference(a, b) for a, b in zip(views, views[1:]))

    def swaps(self):  # the counter replaces its file whole; it is empty only before the first frame
        with open(self.swap_path) as f:
            self.count = int((f.read().split() or [self.count])[0])
        return self.count

    def frames_come(self):  # under load a second may pass without one
        s0 = self.swaps()
        return wait_for(lambda: self.swaps() > s0, "frames to keep coming", timeout=5)

    def output(self):
        with open(self.out_path, errors="replace") as o, open(self.err_path, errors="replace") as e:
            return o.read(), e.read()

    def finish(self, ended=False, out=""):  # by the close spot unless it has `ended`
        if not ended:
            self.click(self.to_screen((387, 7)))
        wait_for(lambda: self.proc.poll() is not None, "it to end", 10)
        status = self.proc.returncode
        printed, err = self.output()
        bad = [line for line in err.splitlines() if line and not line.startswith(EXPECTED_STDERR)]
        check(status == 0 and printed == out and not bad, "ends cleanly: %s %r %r" % (status, printed[:200], bad[:5]))
