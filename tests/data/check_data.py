#!/usr/bin/python3
"""Checks the generated data: regenerate (each generator writes the committed bytes
again), star (the frame picture's outline) and songs (each song renders audible).
Usage: check_data.py CHECK"""
import array
import filecmp
import os
import shutil
import subprocess
import sys
import tempfile
import wave

from PIL import Image

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
DATA = os.path.join(ROOT, "data")
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    failures.extend([] if ok else [what])


def regenerate(tmp):
    for tool, folder in (("gen_pictures.py", "gfx"), ("gen_songs.py", "songs"), ("gen_ball.py", "3d")):
        out = os.path.join(tmp, folder)
        os.mkdir(out)
        subprocess.run([sys.executable, "-B", os.path.join(ROOT, "tools", tool),
                        out + ("/boll3.md2" if folder == "3d" else "")], check=True, stdout=subprocess.DEVNULL)
        names = sorted(os.listdir(out))
        _, differ, missing = filecmp.cmpfiles(out, os.path.join(DATA, folder), names, shallow=False)
        check(names == sorted(os.listdir(os.path.join(DATA, folder))) and not differ and not missing,
              "%s writes data/%s again, byte for byte (%s differ)" % (tool, folder, differ + missing))


def star(tmp):
    img = Image.open(os.path.join(DATA, "gfx", "star.png")).convert("RGB")
    w, h = img.size
    px = img.load()
    solid = {(x, y) for y in range(h) for x in range(w) if px[x, y] != (255, 0, 255)}
    view = {(x, y) for y in range(32, 298) for x in range(32, 433)}  # the view and a 3-pixel rim
    check(view <= solid, "the view and its rim are solid")
    near_key = [p for p in solid if px[p][0] > 175 and px[p][1] <= 80 and px[p][2] > 175]
    check(not near_key, "a hard edge: no pink fringe against the key (%s)" % near_key[:5])
    border = [(x, y) for x in range(w) for y in (0, h - 1)] + [(x, y) for y in range(h) for x in (0, w - 1)]
    check(sum(p not in solid for p in border) > 0.9 * len(border), "the corners and most of the border lie outside")
    runs = [sum(1 for a, b in zip(line, line[1:]) if b and not a) for line in
            ([(x, 12) in solid for x in range(w)], [(x, h - 13) in solid for x in range(w)])]
    check(min(runs) >= 2, "points reach into the top and bottom margins (%s)" % runs)
    seen, stack = set(), [(w // 2, h // 2)]
    while stack:
        p = stack.pop()
        if p in solid and p not in seen:
            seen.add(p)
            stack.extend(((p[0] + 1, p[1]), (p[0] - 1, p[1]), (p[0], p[1] + 1), (p[0], p[1] - 1)))
    check(seen == solid, "one piece: no islands in the margin (%d stray pixels)" % len(solid - seen))


def songs(tmp):
    for name in sorted(os.listdir(os.path.join(DATA, "songs"))):
        song = shutil.copy(os.path.join(DATA, "songs", name), tmp)
        r = subprocess.run(["openmpt123", "--render", "--samplerate", "11025", "--no-float", "--end-time", "200",
                            "--force", "-q", song], capture_output=True, text=True)
        with wave.open(song + ".wav") as f:
            seconds, pcm = f.getnframes() / 11025, array.array("h", f.readframes(f.getnframes()))
        rms = (sum(v * v for v in pcm[::7]) / len(pcm[::7])) ** 0.5 / 32768
        sides = [max(map(abs, pcm[i::14])) for i in (0, 1)]
        win = 11025 * 10  # 5 s of stereo
        quiet = [i // win for i in range(0, len(pcm) - win, win) if max(map(abs, pcm[i:i + win:7])) < 1000]
        check(r.returncode == 0 and 60 <= seconds <= 180 and max(map(abs, pcm)) < 32100 and rms > 0.03
              and min(sides) > 3000 and not quiet, "%s: %.0f s, rms %.3f, sides %s, silent 5 s windows %s"
              % (name, seconds, rms, sides, quiet))


with tempfile.TemporaryDirectory() as scratch:
    {"regenerate": regenerate, "star": star, "songs": songs}[sys.argv[1]](scratch)
sys.exit(1 if failures else 0)
