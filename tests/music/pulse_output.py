#!/usr/bin/python3
"""Real output: plays through a private PulseAudio null sink and records its monitor.

Usage: pulse_output.py PLAYER
Starts its own server (private runtime dir, stopped by pid), records
nullsink.monitor with parec before the player opens its device, then checks that
the music comes out, that stop silences it and that the next song changes it.
"""
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

RATE = 44100
FRAME = 4  # s16le stereo


class Recorder:
    def __init__(self, env):
        self.proc = subprocess.Popen(
            ["parec", "-d", "nullsink.monitor", "--raw", "--format=s16le",
             "--rate=%d" % RATE, "--channels=2", "--latency-msec=20"],
            stdout=subprocess.PIPE, env=env)
        self.data = bytearray()
        self.lock = threading.Lock()
        threading.Thread(target=self._pump, daemon=True).start()

    def _pump(self):
        while True:
            chunk = self.proc.stdout.read1(8192)
            if not chunk:
                return
            with self.lock:
                self.data += chunk

    def size(self):
        with self.lock:
            return len(self.data) // FRAME

    def mono(self, start, end=None):
        with self.lock:
            raw = bytes(self.data[start * FRAME:(end * FRAME if end is not None else None)])
        raw = raw[:len(raw) // FRAME * FRAME]
        s = array.array("h", raw)
        return [(s[i] + s[i + 1]) / 2 for i in range(0, len(s), 2)]


def rms(x):
    return math.sqrt(sum(v * v for v in x) / len(x)) if x else 0.0


def frequency(x):
    """Median period between upward zero crossings: a dropout under load only
    adds a few long periods, which the median ignores."""
    ups = [i for i in range(1, len(x)) if x[i - 1] < 0 <= x[i]]
    periods = sorted(b - a for a, b in zip(ups, ups[1:]))
    return RATE / periods[len(periods) // 2] if periods else 0.0


class Player:
    def __init__(self, path, scratch, env):
        self.proc = subprocess.Popen([path, scratch], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, env=env, text=True)

    def read(self, timeout=5):
        box = []
        t = threading.Thread(target=lambda: box.append(self.proc.stdout.readline()), daemon=True)
        t.start()
        t.join(timeout)
        return box[0].strip() if box else None

    def send(self, cmd, timeout=5):
        self.proc.stdin.write(cmd + "\n")
        self.proc.stdin.flush()
        return self.read(timeout)


failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def wait_for_sound(rec, since, limit=10.0):
    """Seconds from now until the recording after frame `since` turns loud, or None."""
    began = time.monotonic()
    while time.monotonic() - began < limit:
        x = rec.mono(since)
        for i in range(0, len(x) - 441, 441):
            if rms(x[i:i + 441]) > 500:
                return time.monotonic() - began, since + i
        time.sleep(0.01)
    return None, None


def main():
    player_path = sys.argv[1]
    base = tempfile.mkdtemp(prefix="chipdisk-pulse-")
    run = os.path.join(base, "run")
    os.makedirs(os.path.join(run, "pulse"), mode=0o700)
    os.makedirs(os.path.join(base, "home"))
    os.makedirs(os.path.join(base, "scratch"))
    env = dict(os.environ)
    for k in ("PULSE_SERVER", "PULSE_SINK", "PULSE_CLIENTCONFIG", "SDL_AUDIODRIVER"):
        env.pop(k, None)
    env.update(XDG_RUNTIME_DIR=run, PULSE_RUNTIME_PATH=os.path.join(run, "pulse"),
               HOME=os.path.join(base, "home"))
    server_pid = None
    rec = player = None
    try:
        subprocess.run(["pulseaudio", "-D", "--exit-idle-time=-1", "-n",
                        "--load=module-native-protocol-unix",
                        "--load=module-null-sink sink_name=nullsink rate=44100"],
                       env=env, check=True, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if subprocess.run(["pactl", "info"], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0:
                break
            time.sleep(0.1)
        with open(os.path.join(run, "pulse", "pid")) as f:
            server_pid = int(f.read().strip())

        # a fresh null sink holds back its first stream for a while: let the
        # recording flow before the player opens its device
        rec = Recorder(env)
        for _ in range(100):
            if rec.size() > 0:
                break
            time.sleep(0.1)
        check(rec.size() > 0, "recorder runs")
        env_player = dict(env, SDL_AUDIODRIVER="pulseaudio")
        player = Player(player_path, os.path.join(base, "scratch"), env_player)
        ready = player.read(10)
        check(ready == "ready pulseaudio", "player opened the server's device (%s)" % ready)
        time.sleep(0.5)
        check(rms(rec.mono(max(0, rec.size() - RATE // 4))) < 20, "silent before play")

        since = rec.size()
        player.send("play low")
        delay, at = wait_for_sound(rec, since)
        check(delay is not None, "music comes out")
        if delay is None:
            return
        print("delay from play to sound at the monitor: %.0f ms" % (delay * 1000), flush=True)
        time.sleep(1.0)
        x = rec.mono(rec.size() - RATE // 2)
        f = frequency(x)
        check(rms(x) > 1000 and 250 < f < 275, "first song heard: rms %.0f, %.1f Hz" % (rms(x), f))

        player.send("stop")
        time.sleep(0.6)
        x = rec.mono(rec.size() - RATE * 3 // 10)
        check(max(abs(v) for v in x) < 20, "stop silences it (peak %.0f)" % max(abs(v) for v in x))

        since = rec.size()
        player.send("play high")
        d2, _ = wait_for_sound(rec, since)
        check(d2 is not None, "next song comes out")
        time.sleep(1.0)
        x = rec.mono(rec.size() - RATE // 2)
        f = frequency(x)
        check(rms(x) > 1000 and 500 < f < 545, "next song changes it: rms %.0f, %.1f Hz" % (rms(x), f))
        answer = player.send("spectrum")
        check(answer is not None and answer.startswith("peak 12 "), "spectrum follows it (%s)" % answer)

        # the server dies mid-song: the player must neither crash nor block
        os.kill(server_pid, signal.SIGKILL)
        server_pid = None
        time.sleep(0.5)
        answer = player.send("spectrum")
        check(answer is not None and answer.startswith("peak "), "player answers after the server died")
        check(player.send("play low") is not None, "player still takes commands")
        check(player.send("quit") == "bye", "player quits")
        try:
            code = player.proc.wait(5)
        except subprocess.TimeoutExpired:
            code = None
        check(code == 0, "player exits cleanly (%s)" % code)
    finally:
        if player and player.proc.poll() is None:
            player.proc.kill()
            player.proc.wait()
        if rec:
            rec.proc.terminate()
            rec.proc.wait()
        if server_pid:
            os.kill(server_pid, signal.SIGTERM)
            for _ in range(50):
                try:
                    os.kill(server_pid, 0)
                except ProcessLookupError:
                    break
                time.sleep(0.1)
        shutil.rmtree(base, ignore_errors=True)
    if failures:
        print("%d check(s) failed" % len(failures))
        sys.exit(1)


if __name__ == "__main__":
    main()
