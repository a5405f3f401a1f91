#!/usr/bin/python3
"""The real chipdisk on a private desktop, driven with XTEST and checked from outside.
Usage: window_test.py SCENARIO CHIPDISK UNUSED OUTPUT_DIR"""
import os
import sys
import time

from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from desktop import CANVAS, REPO, App, Desktop, brightness, check, difference, lit_share, wait_for  # noqa: E402

MAGENTA = (255, 0, 255)
STAR = Image.open(os.path.join(REPO, "data", "gfx", "star.png")).convert("RGB")
REST = (300, 150)  # a view point with no hot spot
SPRITES = {
    "prev": (140, 276, 160, 289),
    "next": (180, 276, 200, 289),
    "stop": (219, 276, 239, 289),
    "play": (260, 276, 280, 289),
    "close": (412, 36, 428, 52),
}  # the highlights: their boxes in the frame


def margin_point():  # a point of the frame left of the view, well inside the star
    return next(
        (x, y)
        for y in range(CANVAS[1] + 60, CANVAS[1] + 200, 10)
        for x in range(4, CANVAS[0] - 6)
        if all(STAR.getpixel((x + d, y + e)) != MAGENTA for d in (-3, 0, 3) for e in (-3, 0, 3))
    )


def outside_shown(app, name):  # the share of the star's outside not showing the black root
    shot = app.grab(name=name)
    outside = [
        (x, y) for y in range(0, shot.height, 2) for x in range(0, shot.width, 2) if STAR.getpixel((x, y)) == MAGENTA
    ]
    return sum(shot.getpixel(p) != (0, 0, 0) for p in outside) / len(outside)


def shape(app):
    full, star = "465x330+0+0", app.shape()
    # the root shows through outside the star
    check(star not in (None, full) and outside_shown(app, "star") < 0.01, "the frame is cut to the star: %s" % star)
    for want, shown in ((full, 0.99), (star, 0.01)):
        time.sleep(1.0)  # apart from the last double click
        app.click(app.to_screen(margin_point(), (0, 0)), repeat=2, pause=0.6)
        share = outside_shown(app, "shape_" + want)
        check(
            app.shape() in (want, None if want == full else want) and (share > shown) == (want == full),
            "a double click on the margin: %s, %.2f of the outside covered" % (want, share),
        )


def drag(app):
    x0, y0, _, _ = app.geometry()
    start = app.to_screen(margin_point(), (0, 0))
    app.xdo("mousemove", *start)
    app.xdo("mousedown", 1)
    for i in range(1, 6):
        app.xdo("mousemove", start[0] + 30 * i, start[1] + 20 * i)
    app.xdo("mouseup", 1, pause=0.3)
    x1, y1, _, _ = app.geometry()
    check((x1 - x0, y1 - y0) == (150, 100), "the frame follows the drag: %+d %+d" % (x1 - x0, y1 - y0))
    app.xdo("mousemove", start[0] + 200, start[1] + 200, pause=0.3)
    check(app.geometry()[:2] == (x1, y1), "the drag ends with the button release")


def rightclick(app):
    app.click(app.to_screen(REST), button=3)
    time.sleep(2)
    check(app.proc.poll() is None, "a right click on the view does not close")
    app.click(app.to_screen(margin_point(), (0, 0)), button=3)
    app.finish(ended=True)


def iconize(app):
    state = ["xprop", "-id", app.win, "WM_STATE", "_NET_WM_STATE"]
    wait_for(lambda: "Normal" in app.desk.run(*state) and "_ABOVE" in app.desk.run(*state), "mapped, above", timeout=10)
    app.click(app.to_screen((203, 214)))
    wait_for(lambda: "Iconic" in app.desk.run(*state), "the iconize spot to iconize the frame", timeout=5)
    check(app.proc.poll() is None, "iconized, it keeps running")


def picture(app):
    app.xdo("mousemove", *app.to_screen(REST), pause=0.5)
    plain = app.grab(name="plain")
    cx, cy, cw, ch = CANVAS
    # the view is left out: the glow may well be tinted magenta itself
    ring = [
        (x, y)
        for y in range(0, 330, 3)
        for x in range(0, 465, 3)
        if STAR.getpixel((x, y)) != MAGENTA and not (cx <= x < cx + cw and cy <= y < cy + ch)
    ]
    same = sum(plain.getpixel(p) == STAR.getpixel(p) for p in ring)
    check(same > 0.98 * len(ring), "the star painted around the view: %d of %d" % (same, len(ring)))
    for name, (left, top, right, bottom) in SPRITES.items():
        app.xdo("mousemove", *app.to_screen(((left + right) // 2, (top + bottom) // 2), (0, 0)))

        def lit():  # the view moves under the close sprite: compare with the other spots
            shot = app.grab(name="hover_" + name)
            change = {n: difference(plain.crop(box), shot.crop(box)) for n, box in SPRITES.items()}
            return change if change[name] > 15 else None

        change = wait_for(lit, "hovering %s to light its sprite" % name, timeout=5)
        check(
            change[name] > 2 * max(d for n, d in change.items() if n != name),
            "hovering %s lights it alone: %s" % (name, change),
        )
        app.xdo("mousemove", *app.to_screen(REST), pause=0.3)
    check(app.moving() > 1, "the view changes")


def effects(app):
    app.xdo("mousemove", *app.to_screen(REST), pause=0.5)  # focus follows the mouse
    # a fade is black 2 s after the key and back 2 s later, all well before the cycle's own
    # change at 40 s; the first effect, the tunnel, lights the view whatever plays
    for key, fades in [("Left", False), ("Home", False), ("End", False)] + [("Right", True)] * 4:
        app.xdo("key", key, pause=0)
        end = time.time() + (4.3 if fades else 3.0)
        dark = min(lit_share(app.view()) for _ in iter(lambda: time.time() < end, False))
        after = lit_share(app.view("after_" + key))
        check((dark < 0.01) == fades, "%s: %.3f lit at the darkest, then %.3f" % (key, dark, after))


if __name__ == "__main__":
    name, program, _, outdir = sys.argv[1:5]
    desk = Desktop(os.path.join(outdir, name), wm=name == "iconize")
    try:
        app = App(desk, os.path.abspath(program))
        wait_for(lambda: brightness(app.view()) > 10, "the first frame", timeout=30)
        globals()[name](app)
        if app.proc.poll() is None and name != "iconize":
            app.finish()
    finally:
        desk.close()
