"""Private X display, private PulseAudio and the real chipdisk, for the hardening
tests and the soak run. Everything started here is stopped here, by pid."""
import array
import math
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

from PIL import ImageChops, ImageGrab, ImageStat

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from xvfb import start_xvfb  # noqa: E402

CANVAS = (35, 35, 395, 260)  # x, y, width, height of the view inside the frame
CLOSE_SPOT = (387, 7)        # view coordinates
RATE = 44100
EXPECTED_STDERR = "chipdisk: no sound device"
REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def check(condition, message):
    print(("ok   " if condition else "FAIL ") + message, flush=True)
    if not condition:
        raise AssertionError(message)


def brightness(image):
    return sum(ImageStat.Stat(image).mean) / 3


def difference(a, b):
    return sum(ImageStat.Stat(ImageChops.difference(a, b)).mean) / 3


def base_env(home):
    env = dict(os.environ)
    for k in ("PULSE_SERVER", "PULSE_SINK", "PULSE_CLIENTCONFIG", "SDL_AUDIODRIVER",
              "GDK_BACKEND", "AUDIODEV", "ALSA_CONFIG_PATH"):
        env.pop(k, None)
    run = os.path.join(home, "run")
    os.makedirs(os.path.join(run, "pulse"), mode=0o700, exist_ok=True)
    os.makedirs(os.path.join(home, "home"), exist_ok=True)
    env.update(HOME=os.path.join(home, "home"), XDG_RUNTIME_DIR=run,
               PULSE_RUNTIME_PATH=os.path.join(run, "pulse"))
    # no session bus unless a test starts its own (start_session_bus): the program
    # must not reach the desktop's bus, nor have one launched for it
    env.pop("DBUS_SESSION_BUS_PID", None)
    env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + os.path.join(home, "no-bus")
    # wx, GTK and the never-freed director objects are not what these tests are about
    env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
    return env


class Processes:
    def __init__(self):
        self.procs = []

    def spawn(self, args, **kw):
        kw.setdefault("stdout", subprocess.DEVNULL)
        kw.setdefault("stderr", subprocess.DEVNULL)
        p = subprocess.Popen(args, **kw)
        self.procs.append(p)
        return p

    def stop(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.send_signal(signal.SIGKILL)
            p.wait()


def wait_for(probe, what, timeout=15):
    end = time.time() + timeout
    while time.time() < end:
        value = probe()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError("timed out waiting for " + what)


class Display:
    def __init__(self, procs, env, window_manager=False):
        env["DISPLAY"] = start_xvfb(procs.spawn)
        self.env = env
        if window_manager:
            procs.spawn(["openbox", "--sm-disable"], env=env)
            wait_for(lambda: "window id" in self.run("xprop", "-root",
                                                      "_NET_SUPPORTING_WM_CHECK"), "openbox")

    def run(self, *args):
        return subprocess.run([str(a) for a in args], env=self.env, capture_output=True,
                              text=True, timeout=20).stdout


def start_pulse_server(env):
    """Starts a private PulseAudio with a null sink; returns its pid."""
    subprocess.run(["pulseaudio", "-D", "--exit-idle-time=-1", "-n",
                    "--load=module-native-protocol-unix",
                    "--load=module-null-sink sink_name=nullsink rate=44100"],
                   env=env, check=True, stderr=subprocess.DEVNULL)
    wait_for(lambda: subprocess.run(["pactl", "info"], env=env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL).returncode == 0,
             "the sound server")
    with open(os.path.join(env["PULSE_RUNTIME_PATH"], "pid")) as f:
        return int(f.read().strip())


def start_session_bus(procs, env):
    """Starts a private session bus (stopped with procs) and points env at it."""
    bus = procs.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                      stdout=subprocess.PIPE, env=env)
    env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
    # GTK's accessibility bridge would have the bus start its services for every program
    env["NO_AT_BRIDGE"] = "1"
    check(env["DBUS_SESSION_BUS_ADDRESS"].startswith("unix:"), "a private session bus")


class Pulse:
    """A private server with a null sink, and parec recording its monitor."""

    def __init__(self, procs, env):
        self.env = env
        self.pid = start_pulse_server(env)
        self.rec = procs.spawn(["parec", "-d", "nullsink.monitor", "--raw", "--format=s16le",
                                "--rate=%d" % RATE, "--channels=2", "--latency-msec=20"],
                               stdout=subprocess.PIPE, env=env)
        self.data = bytearray()
        self.lock = threading.Lock()
        threading.Thread(target=self._pump, daemon=True).start()
        # a fresh null sink holds back its first stream for a while
        wait_for(lambda: self.frames() > 0, "the recording")

    def _pump(self):
        while True:
            chunk = self.rec.stdout.read1(8192)
            if not chunk:
                return
            with self.lock:
                self.data += chunk

    def frames(self):
        with self.lock:
            return len(self.data) // 4

    def mono(self, start=0, end=None):
        with self.lock:
            raw = bytes(self.data[start * 4:(end * 4 if end is not None else None)])
        s = array.array("h", raw[:len(raw) // 4 * 4])
        return [(s[i] + s[i + 1]) / 2 for i in range(0, len(s), 2)]

    def kill(self):
        if self.pid:
            os.kill(self.pid, signal.SIGKILL)
            self.pid = None

    def stop(self):
        if self.pid:
            os.kill(self.pid, signal.SIGTERM)
            for _ in range(50):
                try:
                    os.kill(self.pid, 0)
                except ProcessLookupError:
                    break
                time.sleep(0.1)
            self.pid = None


def rms(x):
    return math.sqrt(sum(v * v for v in x) / len(x)) if x else 0.0


def frequency(x):
    """Median period between upward zero crossings, as a frequency: a dropout under
    load only adds a few long periods, which the median ignores."""
    ups = [i for i in range(1, len(x)) if x[i - 1] < 0 <= x[i]]
    periods = sorted(b - a for a, b in zip(ups, ups[1:]))
    return RATE / periods[len(periods) // 2] if periods else 0.0


def longest_silence(x, block=441, level=30):
    """Longest run of quiet 10 ms blocks in x, in seconds."""
    longest = run = 0
    for i in range(0, len(x) - block + 1, block):
        run = run + 1 if rms(x[i:i + block]) < level else 0
        longest = max(longest, run)
    return longest * block / RATE


class App:
    """The program running in `folder` (which holds data/), output kept in files."""

    def __init__(self, procs, display, program, folder, outdir, env=None, swapcount=None, args=()):
        self.display = display
        env = dict(env or display.env)
        self.swap_path = os.path.join(outdir, "swaps")
        if os.path.exists(self.swap_path):
            os.remove(self.swap_path)
        if swapcount:
            # counts buffer swaps from outside: frames are seen even when the view is plain
            env.update(LD_PRELOAD=swapcount, SWAPCOUNT_FILE=self.swap_path)
            env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"
        self.outdir = outdir
        self.out_path = os.path.join(outdir, "stdout.txt")
        self.err_path = os.path.join(outdir, "stderr.txt")
        self.started = time.time()
        self.proc = procs.spawn([program, *args], cwd=folder, env=env,
                                stdout=open(self.out_path, "wb"),
                                stderr=open(self.err_path, "wb"))
        self.win = wait_for(self.find_window, "the chipdisk window", timeout=30)

    def find_window(self):
        if self.proc.poll() is not None:
            raise AssertionError("the program ended early (status %d)" % self.proc.returncode)
        ids = self.display.run("xdotool", "search", "--onlyvisible", "--pid",
                               self.proc.pid).split()
        return ids[0] if ids else None

    def geometry(self):
        fields = {}
        for line in self.display.run("xwininfo", "-id", self.win).splitlines():
            key, _, value = line.strip().partition(":")
            fields[key] = value.strip()
        return (int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"]),
                int(fields["Width"]), int(fields["Height"]))

    def view(self):
        """The GL view as it is on screen now."""
        x, y, _, _ = self.geometry()
        cx, cy, cw, ch = CANVAS
        return ImageGrab.grab(bbox=(x + cx, y + cy, x + cx + cw, y + cy + ch),
                              xdisplay=self.display.env["DISPLAY"]).convert("RGB")

    def to_screen(self, view_point):
        x, y, _, _ = self.geometry()
        return x + CANVAS[0] + view_point[0], y + CANVAS[1] + view_point[1]

    def xdo(self, *args, pause=0.1):
        self.display.run("xdotool", *args)
        time.sleep(pause)

    def moving(self, shots=3, gap=0.4):
        """Smallest change between successive views: above 1 while frames keep coming."""
        views = [self.view()]
        for _ in range(shots - 1):
            time.sleep(gap)
            views.append(self.view())
        return min(difference(a, b) for a, b in zip(views, views[1:])), views[-1]

    def swaps(self):
        # the counter rewrites its file in place: an empty read is retried
        for _ in range(20):
            try:
                with open(self.swap_path) as f:
                    return int(f.read().split()[0])
            except (OSError, IndexError, ValueError):
                time.sleep(0.01)
        return 0

    def frames_in(self, seconds):
        """Frames swapped in the next `seconds`; the count is written every 100 ms."""
        s0 = self.swaps()
        time.sleep(seconds)
        return self.swaps() - s0

    def rss_kb(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def exit_status(self, timeout=10):
        """The program's exit status once it has ended, None if it is still running."""
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def close_by_spot(self, timeout=10):
        self.xdo("mousemove", *self.to_screen(CLOSE_SPOT))
        self.xdo("click", "1")
        return self.exit_status(timeout)

    def output(self):
        with open(self.out_path, "rb") as f:
            out = f.read().decode(errors="replace")
        with open(self.err_path, "rb") as f:
            err = f.read().decode(errors="replace")
        return out, err


def unexpected_stderr(err):
    return [line for line in err.splitlines() if line and not line.startswith(EXPECTED_STDERR)]


def copy_data(dest):
    shutil.copytree(os.path.join(REPO, "data"), os.path.join(dest, "data"))
    return os.path.join(dest, "data")


def scratch_dir(prefix):
    return tempfile.mkdtemp(prefix=prefix)
