"""Background sphere texture: a dark nebula that wraps around horizontally and calms down at the poles.

The effects that show the sphere copy its red channel as grey and add up to about
6.5 copies of it, so the nebula keeps its red at RED_MAX or below and only the
stars are bright in red: the glow and the blur then have headroom for the rings
and the graph. Green and blue carry the nebula's colour in the picture itself."""

import math
import random

from PIL import Image

from gen_pictures_common import clamp8, lerp, ramp, smoothstep

BG_W, BG_H = 512, 256

RED_MAX = 3
# green and blue of the nebula; its red follows the density alone (see make_bg)
NEBULA = [
    (0.00, (0, 3, 14)),
    (0.35, (0, 8, 40)),
    (0.55, (0, 18, 92)),
    (0.75, (0, 70, 140)),
    (0.90, (0, 170, 210)),
    (1.00, (0, 235, 255)),
]
POLE = (1, 5, 24)


def _wrapped_noise(rng, cells_x, cells_y):
    """Smooth value noise, periodic in x over the picture width, as a flat list of floats in 0..1."""
    pad = 3
    grid = Image.new("F", (cells_x + 2 * pad, cells_y + 2 * pad))
    vals = [[rng.random() for _ in range(cells_x)] for _ in range(cells_y + 2 * pad)]
    gp = grid.load()
    for y in range(cells_y + 2 * pad):
        for x in range(cells_x + 2 * pad):
            gp[x, y] = vals[y][(x - pad) % cells_x]
    sx = BG_W // cells_x
    sy = BG_H // cells_y
    # Integer scale factors keep the padded copy aligned, so the crop repeats exactly.
    big = grid.resize(((cells_x + 2 * pad) * sx, (cells_y + 2 * pad) * sy), Image.BICUBIC)
    big = big.crop((pad * sx, pad * sy, pad * sx + BG_W, pad * sy + BG_H))
    return list(big.getdata())


def _fbm(rng, base_cells, octaves):
    total = [0.0] * (BG_W * BG_H)
    amp, norm = 1.0, 0.0
    cx, cy = base_cells
    for _ in range(octaves):
        layer = _wrapped_noise(rng, cx, cy)
        for i, v in enumerate(layer):
            total[i] += v * amp
        norm += amp
        amp *= 0.55
        cx, cy = cx * 2, cy * 2
    return [v / norm for v in total]


def make_bg():
    rng = random.Random(0xC41D15C)
    density = _fbm(rng, (4, 2), 6)
    warp = _fbm(rng, (8, 4), 4)
    tint = _fbm(rng, (2, 2), 3)
    img = Image.new("RGB", (BG_W, BG_H))
    px = img.load()
    for y in range(BG_H):
        # rows near the poles collapse to a point on the sphere, so they fade to one colour
        pole = smoothstep(0.0, 0.16, y / (BG_H - 1.0)) * smoothstep(0.0, 0.16, 1 - y / (BG_H - 1.0))
        for x in range(BG_W):
            i = y * BG_W + x
            d = density[i] * 0.75 + warp[i] * 0.35 - 0.05
            d = smoothstep(0.24, 0.80, d)
            # the mixing layer pushes some clouds towards blue, others towards teal
            c = ramp(NEBULA, d * 0.92)
            h = tint[i]
            c = (RED_MAX * d * (0.5 + 0.5 * h), c[1] * (1.2 - 0.5 * h), c[2])
            px[x, y] = tuple(clamp8(lerp(p, v, pole)) for p, v in zip(POLE, c))
    # Stars: scattered single pixels, a few with a cross-shaped twinkle.
    for _ in range(900):
        x = rng.randrange(BG_W)
        y = rng.randrange(12, BG_H - 12)
        b = rng.random() ** 3
        col = (lerp(120, 255, b), lerp(130, 255, b), 255)
        k = 0.35 + 0.65 * b
        r0, g0, b0 = px[x, y]
        px[x, y] = (clamp8(max(r0, col[0] * k)), clamp8(max(g0, col[1] * k)), clamp8(max(b0, col[2] * k)))
        if b > 0.6:
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                xx, yy = (x + dx) % BG_W, y + dy
                r1, g1, b1 = px[xx, yy]
                px[xx, yy] = (clamp8(r1 + 60 * b), clamp8(g1 + 70 * b), clamp8(b1 + 90 * b))
    return img
