#!/usr/bin/python3
"""Makes every picture and the bitmap font under data/gfx/.

Usage: tools/gen_pictures.py [OUTPUT_DIR]   (default: data/gfx next to this folder)

Deterministic: fixed seeds and no metadata, so two runs give byte-identical files.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from gen_pictures_common import save_png  # noqa: E402
import gen_pictures_font  # noqa: E402
import gen_pictures_frame  # noqa: E402
import gen_pictures_hud as hud  # noqa: E402
import gen_pictures_space  # noqa: E402


def pictures():
    """(file name, builder) in the order they are written."""
    items = [
        ("star.png", gen_pictures_frame.make_star),
        ("test2.png", hud.make_top),
        ("overlay_darken.png", hud.make_darken),
        ("overlay.png", hud.make_sheen),
    ]
    for name in ("prev", "play", "stop", "next"):
        items.append(("ico_%s.png" % name, lambda n=name: hud.make_button(n, True)))
    items.append(("ico_close.png", lambda: hud.make_close(True)))
    items.append(("bg.png", gen_pictures_space.make_bg))
    items.append(("font_test2.png", gen_pictures_font.make_font))
    return items


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out = argv[1] if len(argv) > 1 else os.path.join(here, "..", "data", "gfx")
    os.makedirs(out, exist_ok=True)
    for name, build in pictures():
        save_png(build(), os.path.join(out, name))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
