"""Bitmap font: Terminus 14 bold (iso-8859-1) in a 16 x 16 grid of 16 x 16 cells, code n in cell n."""

from PIL import Image

from gen_pictures_common import clamp8, load_terminus, new_rgba, ramp

FONT_SIZE = 256
CELL = 16
# Glyph box offset inside its cell; with 8-pixel-wide glyphs this leaves room for the halo
# and keeps neighbouring cells apart at a 10-pixel advance.
GLYPH_X, GLYPH_Y = 3, 1
CODES = list(range(33, 127)) + list(range(161, 256))

GRADIENT = [
    (0.00, (255, 255, 255)),
    (0.45, (215, 250, 255)),
    (0.60, (140, 225, 255)),
    (1.00, (110, 170, 255)),
]
HALO = (40, 90, 200)
HALO_ALPHA = 110


def make_font():
    glyphs = load_terminus("ter-u14b_iso-8859-1")
    img = new_rgba(FONT_SIZE, FONT_SIZE)
    px = img.load()
    for code in CODES:
        g = glyphs.get(code)
        if g is None:
            continue
        gw, gh = g.size
        gp = g.load()
        ox = (code % 16) * CELL + GLYPH_X
        oy = (code // 16) * CELL + GLYPH_Y
        ink = {(x, y) for y in range(gh) for x in range(gw) if gp[x, y]}
        # Text is drawn additively, so a dim blue halo reads as a glow around the letters.
        halo = set()
        for x, y in ink:
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                halo.add((x + dx, y + dy))
        for x, y in sorted(halo - ink):
            px[ox + x, oy + y] = HALO + (HALO_ALPHA,)
        for x, y in sorted(ink):
            col = ramp(GRADIENT, y / float(gh - 1))
            px[ox + x, oy + y] = tuple(clamp8(c) for c in col) + (255,)
    return img
