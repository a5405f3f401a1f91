#!/usr/bin/python3
"""The chipdisk as a desktop program: installed under a prefix and started from
elsewhere with a songs folder, and on a scaled (HiDPI) desktop.
Usage: desktop.py SCENARIO CHIPDISK SWAPCOUNT OUTPUT_DIR BUILD_DIR"""
import os
import re
import shutil
import subprocess
import sys
import time

from PIL import ImageGrab

from harness import (REPO, App, Display, Processes, Pulse, base_env, brightness, check, copy_data,
                     rms, scratch_dir, unexpected_stderr, wait_for)


def finish(app):
    status = app.close_by_spot()
    check(status == 0, "the close spot ends it cleanly (status %s)" % status)
    out, err = app.output()
    bad = unexpected_stderr(err)
    check(not bad and not out, "nothing on standard output, nothing unexpected on standard error (%r %r)"
          % (out[:200], bad[:5]))


def installed(procs, display, program, swapcount, work, outdir, build):
    prefix = os.path.join(work, "prefix")
    subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True, stdout=subprocess.DEVNULL)
    share = os.path.join(prefix, "share")
    for args in (["desktop-file-validate", os.path.join(share, "applications", "chipdisk.desktop")],
                 ["appstreamcli", "validate", "--no-net", os.path.join(share, "metainfo", "chipdisk.metainfo.xml")]):
        r = subprocess.run(args, capture_output=True, text=True)
        check(r.returncode == 0, "%s passes (%s)" % (args[0], (r.stdout + r.stderr).strip()[-200:]))
    for size in (48, 128, 256):
        check(os.path.exists(os.path.join(share, "icons", "hicolor", "%dx%d" % (size, size), "apps", "chipdisk.png")),
              "the %d-pixel icon is installed" % size)
    mods = os.path.join(work, "my mods")
    os.makedirs(mods)
    for song in ("night_drive.xm", "pixel_rain.xm"):
        shutil.copy(os.path.join(REPO, "data", "songs", song), mods)
    elsewhere = os.path.join(work, "elsewhere")  # no data/ here
    os.makedirs(elsewhere)

    pulse = Pulse(procs, display.env)
    try:
        app = App(procs, display, os.path.join(prefix, "bin", "chipdisk"), elsewhere, outdir,
                  swapcount=swapcount, args=[mods])
        wait_for(lambda: app.swaps() > 10, "frames", timeout=30)
        shape = display.run("xwininfo", "-id", app.win, "-shape")
        extents = re.search(r"Window shape extents:\s+(\S+)", shape)
        check(extents and extents.group(1) != "465x330+0+0", "the window is cut to the star (%s)"
              % (extents.group(1) if extents else None))
        time.sleep(2)
        view = app.view()
        view.save(os.path.join(outdir, "installed.png"))
        check(brightness(view) > 10, "the view is lit (brightness %.1f)" % brightness(view))
        start = pulse.frames()
        time.sleep(1.0)
        level = rms(pulse.mono(start))
        check(level > 300, "the folder's first song sounds at the sink (RMS %.0f)" % level)
        inputs = subprocess.run(["pactl", "list", "sink-inputs"], env=display.env, capture_output=True,
                                text=True).stdout
        check('application.name = "chipdisk"' in inputs, "the sound server shows the stream as chipdisk")
        finish(app)
    finally:
        pulse.stop()


def hidpi(procs, display, program, swapcount, work, outdir, build):
    copy_data(work)
    env = dict(display.env, GDK_SCALE="2")
    app = App(procs, display, program, work, outdir, env=env, swapcount=swapcount)
    wait_for(lambda: app.swaps() > 10, "frames", timeout=30)
    x, y, w, h = app.geometry()
    check((w, h) == (930, 660), "the frame is twice its size (%dx%d)" % (w, h))
    def grab(left, top, right, bottom):
        return ImageGrab.grab(bbox=(x + 70 + left, y + 70 + top, x + 70 + right, y + 70 + bottom),
                              xdisplay=display.env["DISPLAY"]).convert("RGB")

    # the play button's place at twice its size, before and while the mouse is over it
    # (in the toolkit's unscaled coordinates; xdotool moves in screen pixels)
    app.xdo("mousemove", x + 2 * (35 + 300), y + 2 * (35 + 150), pause=1)
    plain = brightness(grab(450, 482, 490, 508))
    app.xdo("mousemove", x + 2 * (35 + 230), y + 2 * (35 + 247))
    lit = wait_for(lambda: (lambda b: b if b > plain + 10 else None)(brightness(grab(450, 482, 490, 508))),
                   "the play highlight", timeout=10)
    check(True, "hovering play lights its button (%.1f over %.1f)" % (lit, plain))
    view = grab(0, 0, 790, 520)
    view.save(os.path.join(outdir, "hidpi.png"))
    px = view.load()
    # magnified pixel for pixel: every 2 x 2 block holds one colour
    blocks = [(bx, by) for bx in range(0, 790, 14) for by in range(0, 520, 14)]
    same = sum(px[bx, by] == px[bx + 1, by] == px[bx, by + 1] == px[bx + 1, by + 1] for bx, by in blocks)
    check(same > 0.9 * len(blocks), "2 x 2 blocks of one colour (%d of %d)" % (same, len(blocks)))
    upper_right = view.crop((395, 0, 790, 260))
    check(brightness(upper_right) > 5, "the picture fills the whole canvas, not a quarter (upper right %.1f)"
          % brightness(upper_right))
    # the close spot at twice its place closes it
    app.xdo("mousemove", x + 2 * (35 + 387), y + 2 * (35 + 7))
    app.xdo("click", "1")
    status = app.exit_status()
    check(status == 0, "the close spot, scaled, ends it (status %s)" % status)
    _, err = app.output()
    check(not unexpected_stderr(err), "nothing unexpected on standard error (%r)" % unexpected_stderr(err)[:5])


SCENARIOS = {"installed": installed, "hidpi": hidpi}


def main():
    name, program, swapcount, outdir, build = sys.argv[1:6]
    outdir = os.path.join(os.path.abspath(outdir), name)
    os.makedirs(outdir, exist_ok=True)
    work = scratch_dir("chipdisk-desktop-")
    procs = Processes()
    try:
        env = base_env(os.path.join(work, "env"))
        if name != "installed":
            env["SDL_AUDIODRIVER"] = "dummy"
        display = Display(procs, env, window_manager=False)
        SCENARIOS[name](procs, display, os.path.abspath(program), os.path.abspath(swapcount), work, outdir,
                        os.path.abspath(build))
    finally:
        procs.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
