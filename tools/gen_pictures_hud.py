"""The head-up display pictures: top frame with the controls, their lit versions, and the two overlays."""

import math

from PIL import Image

from gen_pictures_common import blend_px, clamp8, lerp, load_terminus, new_rgba, ramp, smoothstep, text_pixels

TOP_W, TOP_H = 397, 260
VIEW_W, VIEW_H = 396, 260

# Button sprites: name -> top-left corner, all 20 x 13; the close sprite is 16 x 16.
BUTTONS = {"prev": (105, 241), "next": (145, 241), "stop": (184, 241), "play": (225, 241)}
BTN_W, BTN_H = 20, 13
CLOSE = (377, 1)
CLOSE_SIZE = 16
ICONIZE = (199, 210, 208, 218)
SCROLL_BAND = (130, 45, 362, 61)
SONG_BAND = (10, 217, 290, 233)
PANEL_TOP = 234

CYAN = (90, 220, 255)
DEEP = (12, 10, 40)


def _button_symbol(name):
    """Pixels of a transport symbol in button-local coordinates."""
    pts = set()

    def tri_right(x0, y_mid, half):
        for dy in range(-half, half + 1):
            for dx in range(half - abs(dy) + 1):
                pts.add((x0 + dx, y_mid + dy))

    def tri_left(x1, y_mid, half):
        for dy in range(-half, half + 1):
            for dx in range(half - abs(dy) + 1):
                pts.add((x1 - dx, y_mid + dy))

    def bar(x, y0, y1):
        for y in range(y0, y1 + 1):
            pts.add((x, y))
            pts.add((x + 1, y))

    if name == "play":
        tri_right(8, 6, 4)
    elif name == "stop":
        for y in range(3, 10):
            for x in range(7, 14):
                pts.add((x, y))
    elif name == "prev":
        bar(5, 3, 9)
        tri_left(11, 6, 3)
        tri_left(15, 6, 3)
    elif name == "next":
        tri_right(4, 6, 3)
        tri_right(8, 6, 3)
        bar(13, 3, 9)
    return pts


def _close_symbol():
    # The x covers the click spot, 6..14 x 2..10 inside the sprite.
    pts = set()
    for i in range(9):
        for t in (0, 1):
            if 0 <= i + t <= 8:
                pts.add((6 + i + t, 2 + i))
                pts.add((14 - i - t, 2 + i))
    return pts


def _draw_plate(px, ox, oy, w, h, lit):
    """A bevelled button cap; lit caps glow cyan."""
    for y in range(h):
        for x in range(w):
            edge = x == 0 or y == 0 or x == w - 1 or y == h - 1
            corner = (x in (0, w - 1)) and (y in (0, h - 1))
            if corner:
                continue
            t = y / float(h - 1)
            if lit:
                face = ramp([(0, (70, 150, 230)), (0.5, (40, 90, 190)), (1, (30, 60, 150))], t)
            else:
                face = ramp([(0, (62, 62, 140)), (0.5, (40, 38, 104)), (1, (26, 24, 72))], t)
            if edge:
                col = (6, 6, 24)
            elif x == 1 or y == 1:
                col = (200, 250, 255) if lit else (130, 150, 220)
            elif x == w - 2 or y == h - 2:
                col = (40, 90, 170) if lit else (18, 16, 52)
            else:
                col = face
            px[ox + x, oy + y] = tuple(clamp8(c) for c in col) + (255,)


def _draw_symbol(px, ox, oy, pts, lit):
    if lit:
        # soft halo first, so the symbol itself stays crisp on top
        halo = set()
        for x, y in pts:
            for dx in (-1, 0, 1):
                for dy in (-1, 0, 1):
                    halo.add((x + dx, y + dy))
        for x, y in sorted(halo - pts):
            r, g, b, a = px[ox + x, oy + y]
            if a and not (r, g, b) == (6, 6, 24):
                px[ox + x, oy + y] = (clamp8(lerp(r, 150, 0.6)), clamp8(lerp(g, 235, 0.6)), 255, a)
        for x, y in sorted(pts):
            px[ox + x, oy + y] = (255, 255, 255, 255)
    else:
        for x, y in sorted(pts):
            # engraved look: dark notch under and right of the symbol
            if (x + 1, y + 1) not in pts:
                q = px[ox + x + 1, oy + y + 1]
                px[ox + x + 1, oy + y + 1] = (8, 8, 28, q[3])
        for x, y in sorted(pts):
            px[ox + x, oy + y] = (170, 195, 240, 255)


def make_button(name, lit):
    img = new_rgba(BTN_W, BTN_H)
    px = img.load()
    _draw_plate(px, 0, 0, BTN_W, BTN_H, lit)
    _draw_symbol(px, 0, 0, _button_symbol(name), lit)
    return img


def make_close(lit):
    img = new_rgba(CLOSE_SIZE, CLOSE_SIZE)
    px = img.load()
    # the plate sits under the x, leaving the sprite's left part see-through
    _draw_plate(px, 4, 0, 12, 13, lit)
    _draw_symbol(px, 0, 0, _close_symbol(), lit)
    return img


def _fill(px, box, rgba):
    x0, y0, x1, y1 = box
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            px[x, y] = rgba


def make_top():
    img = new_rgba(TOP_W, TOP_H)
    px = img.load()
    w, h = TOP_W, TOP_H

    # Thin chrome frame: dark outer line, cyan line, translucent shadow inside.
    for y in range(h):
        for x in range(w):
            ring = min(x, y, w - 2 - x, h - 1 - y)
            if ring == 0:
                px[x, y] = (10, 8, 34, 255)
            elif ring == 1:
                t = y / float(h - 1)
                px[x, y] = tuple(
                    clamp8(c) for c in ramp([(0, (120, 230, 255)), (0.5, (70, 110, 220)), (1, (120, 70, 200))], t)
                ) + (255,)
            elif ring == 2:
                px[x, y] = (20, 14, 60, 200)
            elif ring == 3:
                px[x, y] = (10, 8, 34, 90)
    # the column past the view's width is never seen but keeps the frame closed
    for y in range(h):
        px[w - 1, y] = (10, 8, 34, 255)

    # Bottom control panel.
    for y in range(PANEL_TOP, h - 2):
        t = (y - PANEL_TOP) / float(h - 3 - PANEL_TOP)
        for x in range(2, w - 3):
            if y == PANEL_TOP:
                col, a = (10, 8, 34), 255
            elif y == PANEL_TOP + 1:
                col, a = (110, 225, 255), 255
            elif y == PANEL_TOP + 2:
                col, a = (50, 70, 160), 245
            else:
                col = ramp([(0, (40, 36, 104)), (0.4, (26, 22, 74)), (1, (14, 12, 44))], t)
                # fine horizontal grooves brushed into the panel
                if (y - PANEL_TOP) % 3 == 0:
                    col = tuple(c * 0.82 for c in col)
                a = 235
            px[x, y] = tuple(clamp8(c) for c in col) + (a,)

    # Recessed wells behind the buttons, then the caps themselves.
    for bx, by in BUTTONS.values():
        for y in range(by - 2, by + BTN_H + 2):
            for x in range(bx - 2, bx + BTN_W + 2):
                ring = min(x - (bx - 2), y - (by - 2), bx + BTN_W + 1 - x, by + BTN_H + 1 - y)
                if ring == 0:
                    lit_side = x == bx + BTN_W + 1 or y == by + BTN_H + 1
                    px[x, y] = (90, 130, 210, 255) if lit_side else (4, 4, 16, 255)
                elif ring == 1:
                    px[x, y] = (6, 6, 22, 255)
    for name, (bx, by) in BUTTONS.items():
        img.paste(make_button(name, False), (bx, by), make_button(name, False))

    # Close tab hanging from the top edge.
    cx, cy = CLOSE
    close = make_close(False)
    img.paste(close, (cx, cy), close)

    # Iconize mark: a small frame with an underscore.
    x0, y0, x1, y1 = ICONIZE
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            border = x in (x0, x1) or y in (y0, y1)
            if border:
                px[x, y] = (110, 170, 240, 230)
            else:
                px[x, y] = (16, 12, 48, 170)
    for x in range(x0 + 2, x1 - 1):
        for y in (y1 - 3, y1 - 2):
            px[x, y] = (210, 240, 255, 255)

    # Brackets at both ends of the scroller band, outside the text.
    sx0, sy0, sx1, sy1 = SCROLL_BAND
    for side, bx in ((-1, sx0 - 6), (1, sx1 + 3)):
        for y in range(sy0 - 3, sy1 + 4):
            foot = y in (sy0 - 3, sy0 - 2, sy1 + 2, sy1 + 3)
            xs = (bx, bx + 1, bx + 2, bx + 3) if foot else ((bx, bx + 1) if side < 0 else (bx + 2, bx + 3))
            t = (y - sy0 + 3) / float(sy1 - sy0 + 6)
            col = ramp([(0, (150, 240, 255)), (0.5, (70, 120, 230)), (1, (130, 80, 210))], t)
            for x in xs:
                px[x, y] = tuple(clamp8(c) for c in col) + (255,)

    # Labels engraved into the panel, left and right of the buttons.
    small = load_terminus("ter-u12b_iso-8859-1")
    for text, ox in (("velmo", 20), ("chipdisk", 290)):
        pts = text_pixels(small, text, 7)
        for x, y in pts:
            px[ox + x + 1, 240 + y + 1] = (4, 4, 16, 255)
        for x, y in pts:
            t = y / 12.0
            col = ramp([(0, (170, 240, 255)), (1, (90, 130, 230))], t)
            px[ox + x, 240 + y] = tuple(clamp8(c) for c in col) + (255,)
    # status lamps next to the labels
    for lx in (70, 353, 360, 367):
        for dy in range(2):
            for dx in range(2):
                px[lx + dx, 246 + dy] = (120, 240, 255, 255) if lx == 70 else (60, 90, 190, 255)
    return img


def make_darken():
    """Black-blue shade, blended by alpha: vignette plus bands under the text and the panel."""
    img = new_rgba(VIEW_W, VIEW_H)
    px = img.load()
    sx0, sy0, sx1, sy1 = SCROLL_BAND
    tx0, ty0, tx1, ty1 = SONG_BAND
    for y in range(VIEW_H):
        for x in range(VIEW_W):
            u = (x + 0.5) / VIEW_W * 2 - 1
            v = (y + 0.5) / VIEW_H * 2 - 1
            vignette = smoothstep(0.55, 1.45, math.sqrt(u * u * 0.9 + v * v * 1.1)) * 0.8
            # soft-edged boxes under the scroller and the song line
            ds = max(sx0 - 8 - x, x - sx1 - 8, sy0 - 3 - y, y - sy1 - 3)
            scroll = (1 - smoothstep(-4, 4, ds)) * 0.55
            dt = max(tx0 - 6 - x, x - tx1 - 30, ty0 - 2 - y, y - ty1)
            song = (1 - smoothstep(-6, 6, dt)) * 0.5
            panel = smoothstep(PANEL_TOP - 10, PANEL_TOP + 2, y) * 0.6
            a = 1 - (1 - vignette) * (1 - scroll) * (1 - song) * (1 - panel)
            px[x, y] = (0, 0, 10, clamp8(a * 255))
    return img


def make_sheen():
    """Added light: faint scanlines, a diagonal sheen and glow lines along the scroller band."""
    img = new_rgba(VIEW_W, VIEW_H)
    px = img.load()
    sx0, sy0, sx1, sy1 = SCROLL_BAND
    for y in range(VIEW_H):
        for x in range(VIEW_W):
            a = 0.0
            col = (120, 200, 255)
            if y % 2 == 0:
                a += 0.035
            # the sheen runs from the top-left corner, like light on a screen
            d = (x * 0.6 + y) - 70
            a += 0.10 * math.exp(-(d * d) / 900.0) * (1 - y / float(VIEW_H))
            for gy in (sy0 - 4, sy1 + 4):
                if sx0 - 4 <= x <= sx1 + 4:
                    fade = min(1.0, (x - sx0 + 4) / 30.0, (sx1 + 4 - x) / 30.0)
                    a += 0.22 * fade * math.exp(-((y - gy) ** 2) / 1.5)
            if a > 0:
                px[x, y] = col + (clamp8(a * 255),)
    return img
