"""Small helpers shared by the picture generators: colour ramps, PNG output, Terminus glyphs."""

import gzip
import io

from PIL import Image, PcfFontFile

TERMINUS_DIR = "/usr/share/fonts/X11/misc"

# The frame's shape key. Only star.png may contain it, and only outside the star.
KEY = (255, 0, 255)


def clamp8(v):
    v = int(round(v))
    return 0 if v < 0 else 255 if v > 255 else v


def lerp(a, b, t):
    return a + (b - a) * t


def smoothstep(e0, e1, x):
    if e1 == e0:
        return 0.0 if x < e0 else 1.0
    t = (x - e0) / (e1 - e0)
    t = 0.0 if t < 0 else 1.0 if t > 1 else t
    return t * t * (3 - 2 * t)


def ramp(stops, t):
    """Piecewise linear colour ramp; stops are (position, (r, g, b)) in ascending order."""
    if t <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            f = (t - p0) / (p1 - p0) if p1 > p0 else 1.0
            return tuple(lerp(a, b, f) for a, b in zip(c0, c1))
    return stops[-1][1]


def save_png(img, path):
    # Fixed compression and no metadata chunks keep the output byte-identical between runs.
    img.save(path, "PNG", optimize=False, compress_level=9)


def load_terminus(name):
    """Returns {code: 1-bit glyph image} of a Terminus iso-8859-1 PCF font."""
    with gzip.open("%s/%s.pcf.gz" % (TERMINUS_DIR, name)) as fp:
        data = fp.read()
    pcf = PcfFontFile.PcfFontFile(io.BytesIO(data), "iso8859-1")
    glyphs = {}
    for code, glyph in enumerate(pcf.glyph):
        if glyph is not None:
            glyphs[code] = glyph[3]
    return glyphs


def glyph_pixels(glyph):
    """Set pixels of a 1-bit glyph as a list of (x, y)."""
    w, h = glyph.size
    px = glyph.load()
    return [(x, y) for y in range(h) for x in range(w) if px[x, y]]


def text_pixels(glyphs, text, advance):
    """Set pixels of a line of text, glyph after glyph at a fixed advance."""
    out = []
    for i, ch in enumerate(text):
        g = glyphs.get(ord(ch))
        if g is None:
            continue
        out.extend((x + i * advance, y) for x, y in glyph_pixels(g))
    return out


def new_rgba(w, h):
    return Image.new("RGBA", (w, h), (0, 0, 0, 0))


def blend_px(px, x, y, rgb, a):
    """Source-over blend of one non-premultiplied RGBA pixel (a in 0..1)."""
    r0, g0, b0, a0 = px[x, y]
    a0 /= 255.0
    ao = a + a0 * (1 - a)
    if ao <= 0:
        return
    col = tuple(clamp8((c * a + c0 * a0 * (1 - a)) / ao) for c, c0 in zip(rgb, (r0, g0, b0)))
    px[x, y] = col + (clamp8(ao * 255),)
