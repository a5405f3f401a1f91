"""The frame picture: a chrome star whose body holds the GL view and whose points poke out of it."""

import math

from PIL import Image, ImageDraw, ImageFilter

from gen_pictures_common import KEY, clamp8, ramp

W, H = 465, 330
# The view sits in a 35-pixel margin; the body leaves a 9-pixel rim around it.
VIEW = (35, 35, 429, 294)
BODY = (26, 26, 438, 303)
BODY_RADIUS = 14

# Sky-over-ground chrome: dark blue, pale cyan horizon, then violet below.
CHROME = [
    (0.00, (18, 26, 84)),
    (0.30, (70, 140, 225)),
    (0.47, (215, 245, 255)),
    (0.50, (34, 18, 82)),
    (0.68, (104, 58, 184)),
    (0.85, (150, 110, 220)),
    (1.00, (56, 38, 130)),
]


def _spikes():
    """Star points as (base_a, base_b, tip) triangles."""
    cx, cy = W // 2, H // 2
    sp = []
    # long points at the middle of every side
    sp.append(((cx - 42, 32), (cx + 42, 32), (cx, 1)))
    sp.append(((cx - 42, H - 33), (cx + 42, H - 33), (cx, H - 2)))
    sp.append(((32, cy - 40), (32, cy + 40), (1, cy)))
    sp.append(((W - 33, cy - 40), (W - 33, cy + 40), (W - 2, cy)))
    # diagonal points at the corners
    sp.append(((30, 78), (78, 30), (2, 2)))
    sp.append(((W - 31, 78), (W - 79, 30), (W - 3, 2)))
    sp.append(((30, H - 79), (78, H - 31), (2, H - 3)))
    sp.append(((W - 31, H - 79), (W - 79, H - 31), (W - 3, H - 3)))
    # short points between them on the long sides
    for x in (120, W - 121):
        sp.append(((x - 22, 30), (x + 22, 30), (x, 11)))
        sp.append(((x - 22, H - 31), (x + 22, H - 31), (x, H - 12)))
    return sp


def _in_triangle(p, a, b, c):
    def cross(o, u, v):
        return (u[0] - o[0]) * (v[1] - o[1]) - (u[1] - o[1]) * (v[0] - o[0])

    d1, d2, d3 = cross(a, b, p), cross(b, c, p), cross(c, a, p)
    neg = d1 < 0 or d2 < 0 or d3 < 0
    pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (neg and pos)


def _norm(v):
    n = math.sqrt(sum(c * c for c in v))
    return tuple(c / n for c in v)


LIGHT = _norm((-0.45, -0.65, 0.62))
VIEWER = (0.0, 0.0, 1.0)


def _shade(n, y, shine):
    diff = max(0.0, sum(a * b for a, b in zip(n, LIGHT)))
    # reflection vector of the light decides the specular spot
    d = sum(a * b for a, b in zip(n, LIGHT))
    r = tuple(2 * d * nc - lc for nc, lc in zip(n, LIGHT))
    spec = max(0.0, r[2]) ** 24
    t = y / H * 0.55 + 0.22 + 0.42 * n[1]
    base = ramp(CHROME, t)
    k = 0.45 + 0.75 * diff
    return tuple(clamp8(c * k + 235 * spec * shine) for c in base)


def make_star():
    mask = Image.new("L", (W, H), 0)
    d = ImageDraw.Draw(mask)
    d.rounded_rectangle(BODY, radius=BODY_RADIUS, fill=255)
    spikes = _spikes()
    for a, b, tip in spikes:
        d.polygon([a, b, tip], fill=255)
    m = mask.load()
    # A soft height field, with the view cut out, bevels both edges of the rim.
    relief = mask.copy()
    ImageDraw.Draw(relief).rectangle(VIEW, fill=0)
    height = relief.filter(ImageFilter.GaussianBlur(2.5)).load()

    img = Image.new("RGB", (W, H), KEY)
    px = img.load()
    vx0, vy0, vx1, vy1 = VIEW
    for y in range(H):
        for x in range(W):
            if not m[x, y]:
                continue
            gx = (height[min(x + 1, W - 1), y] - height[max(x - 1, 0), y]) / 255.0
            gy = (height[x, min(y + 1, H - 1)] - height[x, max(y - 1, 0)]) / 255.0
            bx0, by0, bx1, by1 = BODY
            in_body = bx0 <= x <= bx1 and by0 <= y <= by1
            if in_body:
                nx, ny = -gx * 1.6, -gy * 1.6
            else:
                # each point is two flat facets split along its axis
                nx = ny = 0.0
                for a, b, tip in spikes:
                    if _in_triangle((x, y), a, b, tip):
                        mx, my = (a[0] + b[0]) / 2.0, (a[1] + b[1]) / 2.0
                        ax, ay = _norm((tip[0] - mx, tip[1] - my))
                        side = (x - mx) * -ay + (y - my) * ax
                        s = 0.55 if side >= 0 else -0.55
                        nx, ny = -ay * s + ax * 0.25, ax * s + ay * 0.25
                        break
                nx, ny = nx - gx * 1.2, ny - gy * 1.2
            n = _norm((nx, ny, 1.0))
            px[x, y] = _shade(n, y, 1.0)

    # inset groove around the view: dark on the lit side, light on the far side
    for x in range(vx0 - 2, vx1 + 3):
        for y in range(vy0 - 2, vy1 + 3):
            inside = vx0 <= x <= vx1 and vy0 <= y <= vy1
            if inside:
                px[x, y] = (6, 5, 18)
                continue
            ring = max(vx0 - x, x - vx1, vy0 - y, y - vy1)
            if ring == 1:
                px[x, y] = (8, 8, 26)
            elif ring == 2:
                lit = x > vx1 or y > vy1
                px[x, y] = (150, 215, 255) if lit else (30, 24, 70)

    # a crisp dark outline keeps the silhouette readable on any desktop
    edge = []
    for y in range(H):
        for x in range(W):
            if not m[x, y]:
                continue
            if (
                x == 0
                or y == 0
                or x == W - 1
                or y == H - 1
                or not (m[x - 1, y] and m[x + 1, y] and m[x, y - 1] and m[x, y + 1])
            ):
                edge.append((x, y))
    for x, y in edge:
        px[x, y] = (12, 10, 34)

    # cyan status lamps on the side points
    for cx, cy in ((16, H // 2), (W - 17, H // 2)):
        for dy in range(-2, 3):
            for dx in range(-2, 3):
                r2 = dx * dx + dy * dy
                if r2 <= 5:
                    g = 1.0 - r2 / 6.0
                    px[cx + dx, cy + dy] = (clamp8(40 + 200 * g), clamp8(150 + 105 * g), 255)
    return img
