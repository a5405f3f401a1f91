#!/usr/bin/python3
"""The generated data written again byte for byte, the frame picture's outline and the songs
heard. Usage: check_data.py regenerate|star|songs CHIPDISK"""
import array
import filecmp
import os
import shutil
import subprocess
import sys
import tempfile
import wave

from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from desktop import check  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
DATA = os.path.join(ROOT, "data")


def regenerate(tmp):
    tools = (("pictures", "gfx", ""), ("songs", "songs", ""), ("chiptunes", "songs", ""), ("ball", "3d", "/boll3.md2"))
    for tool, folder, name in tools:
        out = os.path.join(tmp, folder)
        os.makedirs(out, exist_ok=True)
        subprocess.run([sys.executable, "-B", "%s/tools/gen_%s.py" % (ROOT, tool), out + name], check=True)
    for folder in ("gfx", "songs", "3d"):
        out = os.path.join(tmp, folder)
        names = sorted(os.listdir(out))
        _, differ, missing = filecmp.cmpfiles(out, os.path.join(DATA, folder), names, shallow=False)
        check(
            names == sorted(os.listdir(os.path.join(DATA, folder))) and not differ + missing,
            "data/%s written again (%s differ)" % (folder, differ + missing),
        )


def star(tmp):
    img = Image.open(os.path.join(DATA, "gfx", "star.png")).convert("RGB")
    (w, h), px = img.size, img.load()
    solid = {(x, y) for y in range(h) for x in range(w) if px[x, y] != (255, 0, 255)}
    check({(x, y) for y in range(32, 298) for x in range(32, 433)} <= solid, "the view and a 3-pixel rim are solid")
    fringe = [p for p in solid if px[p][0] > 175 and px[p][1] <= 80 and px[p][2] > 175]
    check(not fringe, "no pink fringe against the key: %s" % fringe[:5])
    border = [(x, y) for x in range(w) for y in (0, h - 1)] + [(x, y) for y in range(h) for x in (0, w - 1)]
    runs = [sum((x, y) in solid and (x - 1, y) not in solid for x in range(1, w)) for y in (12, h - 13)]
    check(
        len(solid.intersection(border)) < 0.1 * len(border) and min(runs) >= 2,
        "points in the top and bottom margins (%s), the border outside" % runs,
    )
    seen, stack = set(), [(w // 2, h // 2)]
    while stack:
        x, y = stack.pop()
        if (x, y) in solid and (x, y) not in seen:
            seen.add((x, y))
            stack += [(x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)]
    check(seen == solid, "one piece: %d stray pixels" % len(solid - seen))


# Modules through openmpt123; the chip songs, which it does not play, through the chipdisk's
# own recorder (one frame a second), both to SONG.wav at 11025 Hz. The player's status.
def render(song, tmp, chipdisk):
    if song.endswith(".xm"):
        player = "openmpt123 --render --samplerate 11025 --no-float --end-time 200 --force -q".split()
        return subprocess.run(player + [song], capture_output=True).returncode
    out = os.path.join(tmp, os.path.basename(song) + ".rec")
    r = subprocess.run([chipdisk, "--record", out, "--fps", "1", "--song", song], capture_output=True)
    subprocess.run(["sox", out + "/audio.wav", "-r", "11025", song + ".wav"], check=True)
    return r.returncode


def songs(tmp):
    for name in sorted(os.listdir(os.path.join(DATA, "songs"))):
        song = shutil.copy(os.path.join(DATA, "songs", name), tmp)
        returncode = render(song, tmp, sys.argv[2])
        with wave.open(song + ".wav") as f:
            seconds, pcm = f.getnframes() / 11025, array.array("h", f.readframes(f.getnframes()))
        rms = (sum(v * v for v in pcm[::7]) / len(pcm[::7])) ** 0.5 / 32768
        sides = [max(map(abs, pcm[i::14])) for i in (0, 1)]
        quiet = [
            i // 110250 for i in range(0, len(pcm) - 110250, 110250) if max(map(abs, pcm[i : i + 110250 : 7])) < 1000
        ]
        # unclipped, heard on both sides, no silent 5 s windows
        check(
            returncode == 0
            and 60 <= seconds <= 180
            and max(map(abs, pcm)) < 32100
            and rms > 0.03
            and min(sides) > 3000
            and not quiet,
            "%s: %.0f s, rms %.3f, sides %s, quiet %s" % (name, seconds, rms, sides, quiet),
        )


with tempfile.TemporaryDirectory() as scratch:
    {"regenerate": regenerate, "star": star, "songs": songs}[sys.argv[1]](scratch)
