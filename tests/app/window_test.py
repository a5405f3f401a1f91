#!/usr/bin/python3
"""Drives the real chipdisk on a private Xvfb with XTEST (xdotool) and checks it
from outside. Usage: window_test.py SCENARIO CHIPDISK OUTPUT_DIR
Run from the repository root (the program reads data/ relative to it)."""
import os
import re
import signal
import subprocess
import sys
import time

from PIL import Image, ImageChops, ImageStat

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from xvfb import start_xvfb  # noqa: E402

MAGENTA = (255, 0, 255)
CANVAS = (35, 35, 395, 260)  # x, y, width, height inside the frame
STEP = 0.1  # GTK compresses motion events under render load


class Session:
    def __init__(self, program, outdir, window_manager=False):
        self.outdir = outdir
        self.procs = []
        display = start_xvfb(self.spawn)
        self.env = dict(os.environ, DISPLAY=display,
                        SDL_AUDIODRIVER="dummy")
        # wx, GTK and the never-freed director objects are not what these tests are about
        self.env["ASAN_OPTIONS"] = self.env.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
        self.env.pop("GDK_BACKEND", None)
        if window_manager:
            self.spawn(["openbox", "--sm-disable"], env=self.env)
            self.wait_for(lambda: "window id" in self.run("xprop", "-root",
                                                           "_NET_SUPPORTING_WM_CHECK"),
                          "openbox")
        self.err_path = os.path.join(outdir, "stderr.txt")
        self.app = self.spawn([program], env=self.env, stderr=open(self.err_path, "wb"))
        self.win = self.wait_for(self.find_window, "the chipdisk window")
        self.wait_for(self.view_is_drawn, "the first frame", timeout=30)

    def spawn(self, args, **kw):
        kw.setdefault("stdout", subprocess.DEVNULL)
        kw.setdefault("stderr", subprocess.DEVNULL)
        p = subprocess.Popen(args, **kw)
        self.procs.append(p)
        return p

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.send_signal(signal.SIGKILL)
            p.wait()

    def run(self, *args):
        return subprocess.run(args, env=self.env, capture_output=True, text=True,
                              timeout=20).stdout

    def wait_for(self, probe, what, timeout=15):
        end = time.time() + timeout
        while time.time() < end:
            value = probe()
            if value:
                return value
            time.sleep(0.2)
        raise AssertionError("timed out waiting for " + what)

    def find_window(self):
        ids = self.run("xdotool", "search", "--onlyvisible", "--pid", str(self.app.pid)).split()
        return ids[0] if ids else None

    def geometry(self):
        info = self.run("xwininfo", "-id", self.win)
        fields = {}
        for line in info.splitlines():
            key, _, value = line.strip().partition(":")
            fields[key] = value.strip()
        return (int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"]),
                int(fields["Width"]), int(fields["Height"]))

    def shape_extents(self):
        """Extents of the bounding shape, or None when the window has no shape."""
        out = self.run("xwininfo", "-id", self.win, "-shape")
        match = re.search(r"Window shape extents:\s+(\S+)", out)
        return match.group(1) if match else None

    def screenshot(self, name=None):
        path = os.path.join(self.outdir, (name or "scratch") + ".png")
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True,
                       timeout=20)
        return Image.open(path).convert("RGB")

    def view_crop(self, shot):
        x, y, _, _ = self.geometry()
        cx, cy, cw, ch = CANVAS
        return shot.crop((x + cx, y + cy, x + cx + cw, y + cy + ch))

    def view_is_drawn(self):
        return brightness(self.view_crop(self.screenshot())) > 10

    def xdo(self, *args):
        self.run("xdotool", *[str(a) for a in args])
        time.sleep(STEP)

    def to_screen(self, frame_point):
        x, y, _, _ = self.geometry()
        return x + frame_point[0], y + frame_point[1]

    def to_screen_from_view(self, view_point):
        return self.to_screen((CANVAS[0] + view_point[0], CANVAS[1] + view_point[1]))

    def click(self, screen_point, button=1, repeat=1):
        self.xdo("mousemove", *screen_point)
        self.xdo("click", "--repeat", repeat, "--delay", 80, button)

    def exits(self, timeout=8):
        try:
            self.app.wait(timeout)
            return True
        except subprocess.TimeoutExpired:
            return False


def brightness(image):
    return sum(ImageStat.Stat(image).mean) / 3


def difference(a, b):
    return sum(ImageStat.Stat(ImageChops.difference(a, b)).mean) / 3


def margin_point():
    """A point of the star picture outside the canvas that is not magenta."""
    star = Image.open("data/gfx/star.png").convert("RGB")
    for y in range(CANVAS[1] + 60, CANVAS[1] + 200, 10):
        for x in range(4, CANVAS[0] - 6):
            if all(star.getpixel((x + d, y + e)) != MAGENTA
                   for d in (-3, 0, 3) for e in (-3, 0, 3)):
                return (x, y)
    raise AssertionError("no margin found left of the canvas in data/gfx/star.png")


def check(condition, message):
    if not condition:
        raise AssertionError(message)
    print("ok:", message)


# ---------------------------------------------------------------- scenarios

def outside_star_shown(s, shot):
    """Fraction of the star picture's magenta (outside) pixels that show it on screen."""
    x, y, w, h = s.geometry()
    star = Image.open("data/gfx/star.png").convert("RGB")
    outside = [(px, py) for py in range(0, h, 2) for px in range(0, w, 2)
               if star.getpixel((px, py)) == MAGENTA]
    shown = sum(shot.getpixel((x + px, y + py)) != (0, 0, 0) for px, py in outside)
    return shown / len(outside)


def shape(s):
    _, _, w, h = s.geometry()
    full = "%dx%d+0+0" % (w, h)
    star = s.shape_extents()
    check(star is not None and star != full, "the frame carries a shape: %s" % star)
    check(outside_star_shown(s, s.screenshot("shape_star")) < 0.01,
          "the root shows through outside the star")
    point = s.to_screen(margin_point())
    s.click(point, repeat=2)
    time.sleep(0.5)
    rect = s.shape_extents()
    check(rect in (None, full), "a double click on the margin gives the full rectangle: %s"
          % rect)
    check(outside_star_shown(s, s.screenshot("shape_rectangle")) > 0.99,
          "the frame covers the corners outside the star")
    time.sleep(1.0)
    s.click(point, repeat=2)
    time.sleep(0.5)
    check(s.shape_extents() == star, "a second double click brings the star back")
    check(outside_star_shown(s, s.screenshot("shape_star_again")) < 0.01,
          "the root shows through outside the star again")


def drag(s):
    x0, y0, _, _ = s.geometry()
    start = s.to_screen(margin_point())
    s.xdo("mousemove", *start)
    s.xdo("mousedown", 1)
    for i in range(1, 6):
        s.xdo("mousemove", start[0] + 30 * i, start[1] + 20 * i)
    s.xdo("mouseup", 1)
    time.sleep(0.3)
    x1, y1, _, _ = s.geometry()
    check((x1 - x0, y1 - y0) == (150, 100), "the frame moved by the drag: %+d %+d"
          % (x1 - x0, y1 - y0))
    s.xdo("mousemove", start[0] + 200, start[1] + 200)
    time.sleep(0.3)
    check(s.geometry()[:2] == (x1, y1), "the drag ends with the button release")


def right_click(s):
    s.click(s.to_screen_from_view((200, 130)), button=3)
    check(not s.exits(2), "a right click on the view does not close")
    s.click(s.to_screen(margin_point()), button=3)
    check(s.exits(), "a right click on the margin ends the program")
    check(s.app.returncode == 0, "and it exits cleanly (status %d)" % s.app.returncode)


def close_spot(s):
    s.click(s.to_screen_from_view((387, 7)))
    check(s.exits(), "the close spot ends the program")
    check(s.app.returncode == 0, "and it exits cleanly (status %d)" % s.app.returncode)


def wm_state(s):
    return s.run("xprop", "-id", s.win, "WM_STATE", "_NET_WM_STATE")


def iconize(s):
    state = wm_state(s)
    check("Normal" in state, "mapped normally under the window manager")
    check("_NET_WM_STATE_ABOVE" in state, "kept above other windows")
    # just outside the spot: nothing happens
    s.click(s.to_screen_from_view((203, 209)))
    time.sleep(0.5)
    check("Normal" in wm_state(s), "a click one pixel above the iconize spot does nothing")
    s.click(s.to_screen_from_view((203, 214)))
    s.wait_for(lambda: "Iconic" in wm_state(s), "the iconized state", timeout=5)
    check(True, "the iconize spot iconizes the frame")
    check(s.app.poll() is None, "still running when iconized")


def picture(s):
    s.xdo("mousemove", *s.to_screen_from_view((300, 150)))
    time.sleep(0.5)
    plain = s.screenshot("plain")
    x, y, w, h = s.geometry()
    check((w, h) == (465, 330), "the frame is 465 x 330: %d x %d" % (w, h))
    # the glow may well be tinted magenta itself, so the view is left out
    cx, cy, cw, ch = CANVAS
    outside_view = plain.copy()
    outside_view.paste((0, 0, 0), (x + cx, y + cy, x + cx + cw, y + cy + ch))
    check(MAGENTA not in [c for _, c in outside_view.getcolors(1 << 24)],
          "magenta is nowhere outside the view")

    star = Image.open("data/gfx/star.png").convert("RGB")
    same = total = 0
    for py in range(0, h, 3):
        for px in range(0, w, 3):
            inside_view = cx <= px < cx + cw and cy <= py < cy + ch
            c = star.getpixel((px, py))
            if c == MAGENTA or inside_view:
                continue
            total += 1
            same += plain.getpixel((x + px, y + py)) == c
    check(total and same / total > 0.98, "the star picture is painted around the view "
          "(%d of %d sampled pixels match)" % (same, total))
    view = s.view_crop(plain)
    check(brightness(view) > 10 and difference(view, star.crop((cx, cy, cx + cw, cy + ch))) > 10,
          "the GL view fills the canvas position")

    # highlight sprites: x, y, w, h in view pixels, and a hover point for each
    sprites = {"prev": ((105, 241, 20, 13), (118, 247)),
               "next": ((145, 241, 20, 13), (150, 247)),
               "stop": ((184, 241, 20, 13), (190, 247)),
               "play": ((225, 241, 20, 13), (230, 247)),
               "close": ((377, 1, 16, 16), (383, 11))}

    def sprite_crop(shot, rect):
        sx, sy, sw, sh = rect
        return shot.crop((x + cx + sx, y + cy + sy, x + cx + sx + sw, y + cy + sy + sh))

    for name, (rect, hover) in sprites.items():
        s.xdo("mousemove", *s.to_screen_from_view(hover))
        time.sleep(0.4)
        lit = s.screenshot("hover_" + name)
        # the view moves under the close sprite, so compare against the other spots
        changes = {other: difference(sprite_crop(plain, r), sprite_crop(lit, r))
                   for other, (r, _) in sprites.items()}
        others = max(d for other, d in changes.items() if other != name)
        check(changes[name] > 15 and changes[name] > 2 * others,
              "hovering %s lights its sprite alone (%s)" % (name, ", ".join(
                  "%s %.1f" % item for item in changes.items())))
        s.xdo("mousemove", *s.to_screen_from_view((300, 150)))
        time.sleep(0.3)


def frames(s):
    crops = []
    for i in range(5):
        crops.append(s.view_crop(s.screenshot("frames_%d" % i)))
        time.sleep(0.5)
    for i in range(1, len(crops)):
        d = difference(crops[i - 1], crops[i])
        check(d > 1, "the view changed between shots %d and %d (%.1f)" % (i - 1, i, d))


def lit_share(s, shot):
    """Share of the view's middle band, clear of the HUD, that is lit by the effect."""
    band = s.view_crop(shot).crop((10, 75, 385, 200)).convert("L")
    histogram = band.histogram()
    return sum(histogram[60:]) / sum(histogram)


def effects(s):
    s.xdo("mousemove", *s.to_screen_from_view((300, 150)))  # focus follows the mouse
    time.sleep(0.5)
    shots = [s.screenshot("effect_0")]
    for n in (1, 2, 3, 0):
        s.xdo("key", "Right")
        time.sleep(1.7)  # close to black: the fade out takes 2 s
        dark = lit_share(s, s.screenshot("fade_to_%d" % n))
        time.sleep(2.4)  # and back in 2 s more
        shots.append(s.screenshot("effect_%d%s" % (n, "_again" if len(shots) == 4 else "")))
        check(dark < 0.01, "the view is black in the change to effect %d (%.3f lit)" % (n, dark))
        if n == 0:
            # the tunnel lights the view whatever plays; it would go black in a fade
            for key in ("Left", "Home", "End"):
                s.xdo("key", key)
                time.sleep(1.7)
                lit = lit_share(s, s.screenshot("key_" + key))
                check(lit > 0.05, "%s does not fade the view (%.3f lit)" % (key, lit))
    print("lit shares:", ["%.3f" % lit_share(s, shot) for shot in shots])


SCENARIOS = {"shape": (shape, False), "drag": (drag, False), "rightclick": (right_click, False),
             "closespot": (close_spot, False), "iconize": (iconize, True),
             "picture": (picture, False), "frames": (frames, False),
             "effects": (effects, False)}


def main():
    name, program, outdir = sys.argv[1:4]
    outdir = os.path.join(outdir, name)
    os.makedirs(outdir, exist_ok=True)
    scenario, wm = SCENARIOS[name]
    s = Session(os.path.abspath(program), outdir, window_manager=wm)
    try:
        scenario(s)
        with open(s.err_path, errors="replace") as f:
            asserts = [line for line in f if "toolkit assert" in line]
        check(not asserts, "no toolkit assert fired (%s)" % asserts[:3])
    finally:
        s.close()
        scratch = os.path.join(outdir, "scratch.png")
        if os.path.exists(scratch):
            os.remove(scratch)


if __name__ == "__main__":
    main()
