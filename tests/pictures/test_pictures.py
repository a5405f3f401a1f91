#!/usr/bin/python3
"""Checks the generated pictures under data/gfx/.

Usage: test_pictures.py TestCaseClass   (runs that group only; no argument runs all)
"""

import filecmp
import os
import subprocess
import sys
import tempfile
import unittest

from PIL import Image

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
GFX = os.path.join(ROOT, "data", "gfx")
GENERATOR = os.path.join(ROOT, "tools", "gen_pictures.py")

KEY = (255, 0, 255)
EXPECTED = {
    "star.png": ((465, 330), ("RGB", "RGBA")),
    "test2.png": ((397, 260), ("RGBA",)),
    "overlay_darken.png": ((396, 260), ("RGBA",)),
    "overlay.png": ((396, 260), ("RGBA",)),
    "ico_prev.png": ((20, 13), ("RGBA",)),
    "ico_play.png": ((20, 13), ("RGBA",)),
    "ico_stop.png": ((20, 13), ("RGBA",)),
    "ico_next.png": ((20, 13), ("RGBA",)),
    "ico_close.png": ((16, 16), ("RGBA",)),
    "bg.png": (((256, 256), (512, 256)), ("RGB",)),
    "font_test2.png": ((256, 256), ("RGBA",)),
}
# The view inside star.png, inclusive.
VIEW = (35, 35, 429, 294)
RIM = 3
SPRITES = {"prev": (105, 241, 20, 13), "next": (145, 241, 20, 13),
           "stop": (184, 241, 20, 13), "play": (225, 241, 20, 13),
           "close": (377, 1, 16, 16)}


def load(name):
    return Image.open(os.path.join(GFX, name))


def near_key(rgb):
    r, g, b = rgb[:3]
    return abs(r - 255) <= 80 and g <= 80 and abs(b - 255) <= 80


class Regeneration(unittest.TestCase):
    def test_generator_reproduces_committed_files(self):
        with tempfile.TemporaryDirectory() as tmp:
            subprocess.run([sys.executable, GENERATOR, tmp], check=True)
            made = sorted(os.listdir(tmp))
            self.assertEqual(made, sorted(EXPECTED))
            for name in made:
                self.assertTrue(filecmp.cmp(os.path.join(tmp, name), os.path.join(GFX, name),
                                            shallow=False), name + " differs from a fresh run")


class Formats(unittest.TestCase):
    def test_sizes_and_modes(self):
        for name, (size, modes) in EXPECTED.items():
            with self.subTest(name=name):
                img = load(name)
                sizes = size if isinstance(size[0], tuple) else (size,)
                self.assertIn(img.size, sizes)
                self.assertIn(img.mode, modes)
                self.assertEqual(img.format, "PNG")

    def test_no_key_colour_outside_the_frame_picture(self):
        for name in EXPECTED:
            if name == "star.png":
                continue
            with self.subTest(name=name):
                img = load(name).convert("RGBA")
                keyed = [p for p in img.getdata() if p[3] > 0 and p[:3] == KEY]
                self.assertEqual(keyed, [])


class Star(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        img = load("star.png").convert("RGB")
        cls.w, cls.h = img.size
        cls.px = img.load()

    def outside(self, x, y):
        return self.px[x, y] == KEY

    def test_view_and_rim_are_solid(self):
        x0, y0, x1, y1 = VIEW
        holes = [(x, y) for y in range(y0 - RIM, y1 + RIM + 1)
                 for x in range(x0 - RIM, x1 + RIM + 1) if self.outside(x, y)]
        self.assertEqual(holes, [])

    def test_hard_edge_against_the_key(self):
        soft = [(x, y) for y in range(self.h) for x in range(self.w)
                if not self.outside(x, y) and near_key(self.px[x, y])]
        self.assertEqual(soft, [])

    def test_outline_is_a_star(self):
        # The picture's corners and border midpoints between the points lie outside.
        for x, y in ((0, 0), (self.w - 1, 0), (0, self.h - 1), (self.w - 1, self.h - 1)):
            self.assertTrue(self.outside(x, y), (x, y))
        border = [(x, 0) for x in range(self.w)] + [(x, self.h - 1) for x in range(self.w)] + \
                 [(0, y) for y in range(self.h)] + [(self.w - 1, y) for y in range(self.h)]
        self.assertGreater(sum(self.outside(x, y) for x, y in border), 0.9 * len(border))

        # Points reach well into the margin on every side, and there are several of them.
        x0, y0, x1, y1 = VIEW

        def runs(cells):
            count, prev = 0, False
            for c in cells:
                if c and not prev:
                    count += 1
                prev = c
            return count

        top = [not self.outside(x, 12) for x in range(self.w)]
        bottom = [not self.outside(x, self.h - 13) for x in range(self.w)]
        left = [not self.outside(12, y) for y in range(self.h)]
        right = [not self.outside(self.w - 13, y) for y in range(self.h)]
        self.assertGreaterEqual(runs(top), 2)
        self.assertGreaterEqual(runs(bottom), 2)
        self.assertGreaterEqual(runs(left), 1)
        self.assertGreaterEqual(runs(right), 1)
        # ...but the band just outside the rim is not solid all round (it is a star, not a box).
        ring = [(x, 12) for x in range(self.w)] + [(12, y) for y in range(self.h)]
        self.assertGreater(sum(self.outside(x, y) for x, y in ring), len(ring) // 2)

    def test_shape_is_one_piece(self):
        # Flood fill from the view must reach every non-key pixel: no islands in the margin.
        seen = set()
        stack = [(self.w // 2, self.h // 2)]
        while stack:
            x, y = stack.pop()
            if (x, y) in seen or not (0 <= x < self.w and 0 <= y < self.h) or self.outside(x, y):
                continue
            seen.add((x, y))
            stack.extend(((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)))
        solid = sum(1 for y in range(self.h) for x in range(self.w) if not self.outside(x, y))
        self.assertEqual(len(seen), solid)


class Hud(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.top = load("test2.png").convert("RGBA")
        cls.tp = cls.top.load()

    def mean_alpha(self, px, box):
        x0, y0, x1, y1 = box
        vals = [px[x, y][3] for y in range(y0, y1 + 1) for x in range(x0, x1 + 1)]
        return sum(vals) / float(len(vals))

    def test_text_bands_and_centre_stay_clear(self):
        self.assertLess(self.mean_alpha(self.tp, (130, 45, 362, 61)), 10)
        self.assertLess(self.mean_alpha(self.tp, (10, 219, 190, 233)), 10)
        self.assertLess(self.mean_alpha(self.tp, (40, 70, 356, 200)), 5)

    def test_frame_edge_and_panel_are_painted(self):
        self.assertGreater(self.mean_alpha(self.tp, (0, 0, 396, 0)), 200)
        self.assertGreater(self.mean_alpha(self.tp, (4, 236, 392, 256)), 180)

    def test_controls_are_painted_where_they_are_clicked(self):
        for name, (x, y, w, h) in SPRITES.items():
            with self.subTest(name=name):
                self.assertGreater(self.mean_alpha(self.tp, (x, y, x + w - 1, y + h - 1)), 100)
        # the iconize mark
        self.assertGreater(self.mean_alpha(self.tp, (199, 210, 208, 218)), 100)

    def test_lit_sprites_match_and_outshine_the_painted_buttons(self):
        def lum(p):
            return 0.3 * p[0] + 0.59 * p[1] + 0.11 * p[2]
        for name, (x, y, w, h) in SPRITES.items():
            with self.subTest(name=name):
                lit = load("ico_%s.png" % name).convert("RGBA")
                self.assertEqual(lit.size, (w, h))
                lp = lit.load()
                cells = [(i, j) for j in range(h) for i in range(w)]
                # same silhouette: opaque where the painted control is opaque
                same = sum((lp[i, j][3] > 0) == (self.tp[x + i, y + j][3] > 0) for i, j in cells)
                self.assertGreater(same, 0.9 * len(cells))
                lit_l = sum(lum(lp[i, j]) for i, j in cells if lp[i, j][3])
                dim_l = sum(lum(self.tp[x + i, y + j]) for i, j in cells if lp[i, j][3])
                self.assertGreater(lit_l, dim_l * 1.2)

    def test_overlays(self):
        dark = load("overlay_darken.png").convert("RGBA").load()
        sheen = load("overlay.png").convert("RGBA").load()
        # darker under the scroller and at the corners than in the middle
        self.assertGreater(self.mean_alpha(dark, (140, 47, 350, 59)), 90)
        self.assertGreater(self.mean_alpha(dark, (0, 0, 15, 15)), 90)
        self.assertLess(self.mean_alpha(dark, (170, 100, 230, 160)), 20)
        self.assertTrue(all(max(dark[x, y][:3]) < 40 for y in range(0, 260, 7) for x in range(0, 396, 7)))
        # the added light is visible somewhere but subtle everywhere
        mean = self.mean_alpha(sheen, (0, 0, 395, 259))
        self.assertGreater(mean, 2)
        self.assertLess(mean, 40)


class Background(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        img = load("bg.png").convert("RGB")
        cls.w, cls.h = img.size
        cls.px = img.load()

    @staticmethod
    def diff(a, b):
        return sum(abs(p - q) for p, q in zip(a, b))

    def test_wraps_horizontally(self):
        seam = [self.diff(self.px[0, y], self.px[self.w - 1, y]) for y in range(self.h)]
        inner = [self.diff(self.px[x, y], self.px[x + 1, y])
                 for y in range(self.h) for x in range(0, self.w - 1, 16)]
        # across the seam no rougher than between ordinary neighbours
        self.assertLess(sum(seam) / len(seam), 2 * sum(inner) / len(inner) + 3)

    def test_poles_are_calm(self):
        for y in (0, self.h - 1):
            row = [self.px[x, y] for x in range(self.w)]
            spread = max(self.diff(row[0], p) for p in row)
            self.assertLess(spread, 12, "row %d" % y)

    def test_dark_but_not_flat(self):
        lum = [sum(self.px[x, y]) / 3.0 for y in range(0, self.h, 2) for x in range(0, self.w, 2)]
        mean = sum(lum) / len(lum)
        self.assertLess(mean, 70)
        self.assertGreater(mean, 5)
        self.assertGreater(max(lum) - min(lum), 100)


class Font(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.img = load("font_test2.png").convert("RGBA")
        cls.px = cls.img.load()

    def cell(self, code):
        cx, cy = (code % 16) * 16, (code // 16) * 16
        return [(x, y, self.px[cx + x, cy + y]) for y in range(16) for x in range(16)]

    def test_printable_ascii_has_ink_and_blank_is_empty(self):
        for code in range(33, 127):
            with self.subTest(code=code):
                self.assertTrue(any(p[3] == 255 and min(p[:3]) > 90 for _, _, p in self.cell(code)))
        self.assertTrue(all(p[3] == 0 for _, _, p in self.cell(32)))
        self.assertTrue(all(p[3] == 0 for _, _, p in self.cell(0)))

    def test_ink_stays_inside_its_cell(self):
        for code in range(256):
            with self.subTest(code=code):
                ink = [(x, y) for x, y, p in self.cell(code) if p[3] > 0]
                if not ink:
                    continue
                xs = [x for x, _ in ink]
                ys = [y for _, y in ink]
                # Clear edge columns keep neighbours apart at 10 and 12 pixel advances.
                self.assertGreaterEqual(min(xs), 1)
                self.assertLessEqual(max(xs), 12)
                self.assertLessEqual(max(xs) - min(xs) + 1, 12)
                solid = [x for x, _, p in self.cell(code) if p[3] == 255]
                self.assertLessEqual(max(solid) - min(solid) + 1, 10)
                self.assertLessEqual(max(ys), 15)

    def test_glyphs_sit_at_the_cell_origin(self):
        # Capitals and digits start near the top-left, so text lines up with its drawing position.
        for code in list(range(ord("A"), ord("Z") + 1)) + list(range(ord("0"), ord("9") + 1)):
            with self.subTest(code=code):
                solid = [(x, y) for x, y, p in self.cell(code) if p[3] == 255]
                self.assertIn(min(x for x, _ in solid), range(2, 6))
                self.assertIn(min(y for _, y in solid), range(1, 6))

    def test_background_is_fully_transparent(self):
        alphas = set(p[3] for p in self.img.getdata())
        self.assertIn(0, alphas)
        empty = sum(1 for p in self.img.getdata() if p[3] == 0)
        self.assertGreater(empty, 256 * 256 * 0.6)
        # glyph colours are light so that additive drawing shows them
        solid = [p for p in self.img.getdata() if p[3] == 255]
        self.assertGreater(min(sum(p[:3]) for p in solid), 3 * 100)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(globals()[sys.argv[1]])
    else:
        suite = unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)
