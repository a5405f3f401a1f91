#!/usr/bin/python3
"""The real chipdisk on hostile data folders, without sound, installed and scaled: it starts,
draws, goes on and prints nothing unexpected. Usage: hostile.py SCENARIO CHIPDISK SWAPCOUNT_SO OUT BUILD"""
import os
import random
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from desktop import RATE, REPO, App, Desktop, brightness, check, lit_share, rms, wait_for  # noqa: E402

SONGS, NO_FOLDER = os.path.join(REPO, "data", "songs"), "Couldn't open the directory.\n"
DATA_FILES = ["gfx/" + n for n in os.listdir(os.path.join(REPO, "data", "gfx"))] + [
    "3d/boll3.md2",
    "songs",
    "songs/kirrowane-intro.xm",
    "",
]  # and the whole folder


def fill_hostile(songs, junk, keep_only=False):  # what a user might drop into the folder, and junk
    if keep_only:  # only the odd entries and one real song, so that key steps reach every one
        shutil.rmtree(songs)
        os.mkdir(songs)
        shutil.copy(os.path.join(SONGS, "pixel_rain.xm"), songs)
    rng = random.Random(junk)
    entries = [(b"junk_%05d.xm" % i, bytes(rng.randrange(256) for _ in range(rng.randrange(65)))) for i in range(junk)]
    entries += [
        (b"L" * 246 + b".xm", b""),
        (b"n" * 250, b"not a module"),
        (b"caf\xe9_latin1.xm", b"\0" * 9),
        (b"\xff\xfe\xfd.mod", b"Extended Module: \x1a" * 3),
        (b"half_\xc3.xm", b""),
        (b"tab\tand\nnewline.xm", b"x"),
        (b"kirrowane-chipdiskintro.xm", b"skipped by name"),
        (b"picture.xm", open(os.path.join(REPO, "data", "gfx", "ico_stop.png"), "rb").read()),
        (b"truncated.xm", open(os.path.join(SONGS, "pixel_rain.xm"), "rb").read()[:400]),
    ]
    for name, data in entries:
        with open(os.path.join(songs.encode(), name), "wb") as f:
            f.write(data)
    os.mkdir(os.path.join(songs, "folder.xm"))
    os.mkfifo(os.path.join(songs, "pipe.xm"))  # opening it would block
    for name, target in (("dangling.xm", "/nonexistent/a.xm"), ("loop.xm", "."), ("endless.xm", "/dev/zero")):
        os.symlink(target, os.path.join(songs, name))
    return len(os.listdir(songs))


def start(desk, moving=True, program=None, cwd=None, **kw):  # a missing picture may leave the view plain
    app = App(desk, program or PROGRAM, cwd=cwd or desk.work, swapcount=SWAPCOUNT, **kw)
    wait_for(lambda: app.swaps() > 0, "the first frame", timeout=30)
    change = app.moving() if moving else 2
    check(app.frames_come() and change > 1, "started in %.1f s, view change %.1f" % (time.time() - app.started, change))
    return app


def drive(app, steps):  # Right fades the view within about 2 s; then through the songs by key
    app.xdo("mousemove", *app.to_screen((300, 150)))  # the view takes the keys
    before = lit_share(app.view())  # the first effect lights the view whatever plays
    app.xdo("key", "Right", pause=0)
    darkest, end = before, time.time() + 4
    while time.time() < end and darkest >= 0.3 * before:
        darkest = min(darkest, lit_share(app.view()))
    check(before > 0.02 and darkest < 0.3 * before, "Right fades the view: %.3f -> %.3f" % (before, darkest))
    for key in ["Down"] * steps + ["Up"] * (steps // 2):
        app.xdo("key", key, pause=0.05)
    check(app.frames_come(), "frames come after the song steps")
    app.finish()


def missing(desk):
    data, hidden, failed = desk.copy_data(), os.path.join(desk.work, "hidden"), []
    for name in DATA_FILES:
        os.rename(os.path.join(data, name).rstrip("/"), hidden)
        try:
            start(desk, moving=False).finish(out=NO_FOLDER if name in ("songs", "") else "")
        except AssertionError as e:
            failed.append("without data/%s: %s" % (name, e))  # and go on with the next
            desk.procs[-1].kill()
        os.rename(hidden, os.path.join(data, name).rstrip("/"))
    check(not failed, "each data file missing in turn: %s" % failed)


def serverkilled(desk):
    desk.copy_data()
    desk.start_pulse()
    app = start(desk)
    time.sleep(2.5)
    check(max(map(abs, desk.mono(-RATE))) > 1000, "the song heard through the server")
    desk.stop_pulse(9)  # SIGKILL; the visuals, keys and close spot must go on
    drive(app, 3)


def installed(desk):
    prefix, mods, elsewhere = (os.path.join(desk.work, n) for n in ("prefix", "my mods", "elsewhere"))
    subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix], check=True, stdout=subprocess.DEVNULL)
    share = os.path.join(prefix, "share")
    for args in (
        ["desktop-file-validate", share + "/applications/chipdisk.desktop"],
        ["appstreamcli", "validate", "--no-net", share + "/metainfo/chipdisk.metainfo.xml"],
    ):
        r = subprocess.run(args, capture_output=True, text=True)
        check(r.returncode == 0, "%s: %s" % (args[0], (r.stdout + r.stderr)[-200:]))
    icons = [share + "/icons/hicolor/%dx%d/apps/chipdisk.png" % (s, s) for s in (48, 128, 256)]
    check(all(map(os.path.exists, icons)), "the icons are installed")
    subprocess.run(["update-mime-database", share + "/mime"], check=True, stdout=subprocess.DEVNULL)
    # the chip songs known by their bytes, even under a name that tells nothing
    songs = [desk.work + n for n in ("/tune.sid", "/no name", "/cert.spc")]
    shutil.copy(os.path.join(SONGS, "iron_comet.sid"), songs[0])
    shutil.copy(os.path.join(SONGS, "mint_circuit.vgm"), songs[1])
    with open(songs[2], "wb") as f:
        f.write(b"SNES-SPC700 Sound File Data v0.30\x1a\x1a" + bytes(200))
    guess = "import sys\nfrom gi.repository import Gio\nfor p in sys.argv[1:]:\n"
    guess += "    print(Gio.content_type_guess(p, open(p, 'rb').read(512))[0])"
    env = dict(os.environ, XDG_DATA_DIRS=share + ":/usr/share")
    types = subprocess.run(["/usr/bin/python3", "-c", guess, *songs], env=env, capture_output=True, text=True)
    check(types.stdout.split() == ["audio/prs.sid", "audio/x-vgm", "audio/x-spc"], "types: %r" % types)
    os.makedirs(elsewhere)  # no data/ here
    shutil.copytree(SONGS, mods, ignore=lambda _, names: [n for n in names if n[0] not in "np"])  # three of them
    desk.start_pulse()
    app = start(desk, program=os.path.join(prefix, "bin", "chipdisk"), cwd=elsewhere, args=[mods])
    check(app.shape() not in (None, "465x330+0+0") and brightness(app.view("installed")) > 10, "a lit star")
    streams = desk.run("pactl", "list", "sink-inputs")
    check(rms(desk.mono(-RATE)) > 300 and 'application.name = "chipdisk"' in streams, "the folder's song heard")
    app.finish()


def hidpi(desk):
    desk.copy_data()
    app = start(desk, env={"GDK_SCALE": "2"})
    x, y, w, h = app.geometry()
    play = (520, 552, 560, 578)  # the play button's box at twice its place
    app.xdo("mousemove", x + 2 * 335, y + 2 * 185, pause=1)  # xdotool moves in screen pixels
    plain = brightness(app.grab(play))
    app.xdo("mousemove", x + 2 * 265, y + 2 * 282)
    wait_for(lambda: brightness(app.grab(play)) > plain + 10, "hovering play to light its button", timeout=10)
    view = app.grab((70, 70, 860, 590), "hidpi")
    px, blocks = view.load(), [(bx, by) for bx in range(0, 790, 14) for by in range(0, 520, 14)]
    same = sum(px[bx, by] == px[bx + 1, by] == px[bx, by + 1] == px[bx + 1, by + 1] for bx, by in blocks)
    # magnified pixel for pixel, over the whole canvas
    check(
        (w, h) == (930, 660) and same > 0.9 * len(blocks) and brightness(view.crop((395, 0, 790, 260))) > 5,
        "twice the size (%dx%d), 2 x 2 blocks of one colour (%d of %d)" % (w, h, same, len(blocks)),
    )
    app.click((x + 2 * 422, y + 2 * 42))
    app.finish(ended=True)


def crowded(desk):
    fill_hostile(os.path.join(desk.copy_data(), "songs"), 4980)  # 5000 entries
    drive(start(desk), 60)


def hostile(desk):
    steps = fill_hostile(os.path.join(desk.copy_data(), "songs"), 3, keep_only=True) + 2
    drive(start(desk), steps)


def noserver(desk):  # no sound server and no SDL driver chosen: it falls back and plays on silently
    desk.copy_data()
    drive(start(desk, env={"SDL_AUDIODRIVER": None}), 3)


if __name__ == "__main__":
    name = sys.argv[1]
    PROGRAM, SWAPCOUNT, outdir, BUILD = map(os.path.abspath, sys.argv[2:6])
    desk = Desktop(os.path.join(outdir, name))
    try:
        globals()[name.split(".")[-1]](desk)
    finally:
        desk.close()
