#!/usr/bin/python3
"""Writes the desktop icons packaging/icons/chipdisk-{48,128,256}.png from the
star picture data/gfx/star.png: the star on a transparent square with a glowing
ring in its view, as the tunnel shows it, scaled down. The same bytes on every run."""
import os

from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def main():
    star = Image.open(os.path.join(ROOT, "data", "gfx", "star.png")).convert("RGBA")
    # magenta marks the outside of the star
    star.putdata([(0, 0, 0, 0) if p[:3] == (255, 0, 255) else p for p in star.getdata()])
    # the view (395 x 260 at 35, 35): a warm ring of light around a dark centre
    view = star.load()
    cx, cy = 35 + 395 / 2, 35 + 260 / 2
    for y in range(35, 295):
        for x in range(35, 430):
            d = (((x - cx) / 170) ** 2 + ((y - cy) / 110) ** 2) ** 0.5
            light = max(0.0, 1.0 - abs(d - 0.55) / 0.45) ** 2
            view[x, y] = (int(255 * light), int(230 * light), int(120 * light), 255)
    side = max(star.size)
    square = Image.new("RGBA", (side, side), (0, 0, 0, 0))
    square.paste(star, ((side - star.width) // 2, (side - star.height) // 2))
    for size in (48, 128, 256):
        out = os.path.join(ROOT, "packaging", "icons", "chipdisk-%d.png" % size)
        square.resize((size, size), Image.LANCZOS).save(out, optimize=True)


if __name__ == "__main__":
    main()
