#!/usr/bin/python3
"""Resident memory and CPU use of the real chipdisk left running with sound, on a
private Xvfb (software GL) and a private PulseAudio null sink, without input.
Usage, from the repository root after building: bench/bench_memory.py [seconds] [build dir]
CPU is user + system time of all the program's threads, per second of running.
CHIPDISK_PLAIN, when set, is handed to the program."""
import os
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
from desktop import App, Desktop, wait_for


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def status_kb(pid, field):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 60
    build = sys.argv[2] if len(sys.argv) > 2 else "build"
    out = tempfile.mkdtemp(prefix="chipdisk-memory-")
    desk = Desktop(out)
    try:
        desk.start_pulse(record=False)
        desk.copy_data()
        app = App(
            desk,
            os.path.abspath(os.path.join(build, "app", "chipdisk")),
            cwd=desk.work,
            env={k: v for k, v in os.environ.items() if k == "CHIPDISK_PLAIN"},
            swapcount=os.path.abspath(os.path.join(build, "bench", "swapcount.so")),
        )
        wait_for(lambda: app.swaps() > 0, "the first frame", timeout=30)
        t0, c0, s0 = time.time(), cpu_seconds(app.proc.pid), app.swaps()
        marks = [m for m in (5, 30, 60, 120, 300, 600, 1800, 3600) if m < seconds] + [seconds]
        for m in marks:
            time.sleep(max(0.0, t0 + m - time.time()))
            t, c, s = time.time() - t0, cpu_seconds(app.proc.pid) - c0, app.swaps() - s0
            print(
                "after %5.0f s: resident %6.1f MB (anonymous %5.1f MB), CPU %5.1f %% of one core,"
                " %5.1f fps"
                % (
                    t,
                    status_kb(app.proc.pid, "VmRSS") / 1024,
                    status_kb(app.proc.pid, "RssAnon") / 1024,
                    100 * c / t,
                    s / t,
                ),
                flush=True,
            )
    finally:
        desk.close()
        shutil.rmtree(out, ignore_errors=True)


if __name__ == "__main__":
    main()
