#!/usr/bin/python3
"""The user's collection, on a private Xvfb (software GL) and a private PulseAudio null sink.
1. A made tree of 20 000 files in 2 000 folders, half of them songs, against a folder of one
   song, and a folder of 1 000 C64 tunes (and one text file): start to the first sound, start
   to the whole list (the walk's line on standard error), and frames a second while the list
   fills.
2. The silence at the sink when a song makes way for the next in repeat list, median and worst
   of 20 changes, for songs of 100 kB and of 10 MB that sound from their first sample to their last.
Usage, from the repository root after building: bench/bench_collection.py [build dir]"""
import os
import shutil
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
from desktop import RATE, App, Desktop, rms, wait_for  # noqa: E402

FOLDERS = 2000
SONGS_EACH = 5  # and as many text files
SILENT = 30  # s16 level below which a millisecond counts as silent


def make_tree(root, song):
    for n in range(FOLDERS):
        folder = os.path.join(root, "artist %d" % (n // 40), "album %d" % (n % 40))
        os.makedirs(folder)
        for i in range(SONGS_EACH):
            os.link(song, os.path.join(folder, "track %d.xm" % (i + 1)))
            with open(os.path.join(folder, "notes %d.txt" % (i + 1)), "w") as f:
                f.write("not a song\n")


def first_sound(desk, start_frame):
    x = desk.mono(start_frame)
    return next((i / RATE for i in range(0, len(x) - 441, 441) if rms(x[i : i + 441]) > 100), None)


def collection(desk, program, counter, folder, summary):
    """Seconds to the first sound and to the whole list, frames a second meanwhile."""
    time.sleep(1)
    at = desk.frames()
    launched = time.time()
    app = App(desk, program, cwd=desk.work, args=[folder], swapcount=counter)
    wait_for(lambda: app.swaps() > 0, "the first frame", timeout=60)
    swaps0, t0 = app.swaps(), time.time()
    listed = None
    if summary:
        listed = wait_for(lambda: summary in app.output()[1] and time.time(), "the whole list", timeout=300) - launched
    # the frames while the list fills, and at least over 3 s after the first frame
    time.sleep(max(0.0, t0 + 3 - time.time()))
    fps = (app.swaps() - swaps0) / (time.time() - t0)
    time.sleep(2)
    sound = first_sound(desk, at)
    app.proc.kill()
    app.proc.wait()
    return sound, listed, fps


def gaps(desk, program, folder, changes=20):
    """Milliseconds of silence at each change of song, in repeat list."""
    time.sleep(1)
    at = desk.frames()
    app = App(desk, program, cwd=desk.work, args=["--repeat", "list", folder])
    time.sleep(2.2 + 1.92 * (changes + 1))
    app.proc.kill()
    app.proc.wait()
    x = desk.mono(at)
    start = next(i for i in range(0, len(x) - 441, 441) if rms(x[i : i + 441]) > 100)

    # the tone of each 10 ms: rising zero crossings, 2.6 for the low song, 5.2 for the high
    def pitch(i):
        return sum(1 for j in range(i + 1, i + 441) if x[j - 1] < 0 <= x[j]) > 4

    blocks = list(range(start, len(x) - 441, 441))
    tones = [pitch(i) for i in blocks]
    found = []
    for k in range(1, len(tones)):
        if tones[k] != tones[k - 1] and len(found) < changes:
            around = range(blocks[k] - 4410, min(len(x) - 44, blocks[k] + 4410), 44)
            run = longest = 0
            for i in around:
                run = run + 1 if rms(x[i : i + 44]) < SILENT else 0
                longest = max(longest, run)
            found.append(longest)  # in milliseconds
    return found


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    program = os.path.abspath(os.path.join(build, "app", "chipdisk"))
    counter = os.path.abspath(os.path.join(build, "bench", "swapcount.so"))
    writer = os.path.abspath(os.path.join(build, "bench", "write_bench_songs"))
    out = tempfile.mkdtemp(prefix="chipdisk-collection-")
    desk = Desktop(out)
    try:
        desk.start_pulse()
        desk.copy_data()
        songs = os.path.join(out, "small")
        os.makedirs(songs)
        os.system("%s %s 1000" % (writer, songs))
        one = os.path.join(out, "one")
        os.makedirs(one)
        shutil.copy(os.path.join(songs, "low.xm"), one)
        tree = os.path.join(out, "tree")
        began = time.time()
        make_tree(tree, os.path.join(songs, "low.xm"))
        print(
            "made %d folders of %d songs and %d text files in %.1f s"
            % (FOLDERS, SONGS_EACH, SONGS_EACH, time.time() - began)
        )
        sids = os.path.join(out, "sids")
        os.makedirs(sids)
        for n in range(1000):
            os.link(os.path.join(desk.work, "data", "songs", "iron_comet.sid"), os.path.join(sids, "tune %d.sid" % n))
        with open(os.path.join(sids, "readme.txt"), "w") as f:
            f.write("not a song\n")
        for name, folder, summary in (
            ("one song", one, None),
            ("20 000 files", tree, "%d files are not songs" % (FOLDERS * SONGS_EACH)),
            ("1 000 SIDs", sids, "1 file is not a song"),
        ):
            sound, listed, fps = collection(desk, program, counter, folder, summary)
            print(
                "%-12s first sound %s, whole list %s, %.1f frames a second from the first frame on"
                % (
                    name,
                    "%.0f ms" % (1000 * sound) if sound is not None else "none",
                    "%.0f ms" % (1000 * listed) if listed is not None else "at once",
                    fps,
                )
            )
        for size in (100 * 1000, 10 * 1000 * 1000):
            folder = os.path.join(out, "gap%d" % size)
            os.makedirs(folder)
            os.system("%s %s %d" % (writer, folder, size))
            found = gaps(desk, program, folder)
            print(
                "songs of %5.1f MB, repeat list: silence at %d changes: median %.0f ms, worst %d ms"
                % (
                    size / 1e6,
                    len(found),
                    statistics.median(found) if found else float("nan"),
                    max(found) if found else -1,
                )
            )
    finally:
        desk.close()
        shutil.rmtree(out, ignore_errors=True)


if __name__ == "__main__":
    main()
