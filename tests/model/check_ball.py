#!/usr/bin/python3
"""Checks the committed ball model without the project's loader.

  check_ball.py sane SOURCE_DIR        header, sections and geometry
  check_ball.py regenerate SOURCE_DIR  the generator reproduces the file exactly
"""
import math
import os
import struct
import subprocess
import sys
import tempfile


def fail(msg):
    print("FAIL:", msg)
    sys.exit(1)


def sane(data):
    if len(data) < 68:
        fail("shorter than a header")
    magic = data[:4]
    (version, skin_w, skin_h, frame_size, n_skins, n_verts, n_st, n_tris, n_gl, n_frames,
     ofs_skins, ofs_st, ofs_tris, ofs_frames, ofs_gl, ofs_end) = struct.unpack_from("<16i", data, 4)
    if magic != b"IDP2" or version != 8:
        fail("magic %r version %d" % (magic, version))
    if ofs_end != len(data):
        fail("ofs_end %d, file %d" % (ofs_end, len(data)))
    if frame_size != 40 + 4 * n_verts:
        fail("frame size %d for %d vertices" % (frame_size, n_verts))
    if not 300 <= n_tris <= 2500 or n_frames < 1 or n_verts < 3:
        fail("counts: %d triangles, %d frames, %d vertices" % (n_tris, n_frames, n_verts))
    sections = sorted([(ofs_skins, 64 * n_skins, "skins"), (ofs_st, 4 * n_st, "texcoords"),
                       (ofs_tris, 12 * n_tris, "triangles"), (ofs_frames, frame_size * n_frames, "frames"),
                       (ofs_gl, 4 * n_gl, "glcmds")])
    pos = 68
    for ofs, size, name in sections:
        if ofs < pos:
            fail("%s at %d overlaps what lies before it (ends %d)" % (name, ofs, pos))
        pos = ofs + size
    if pos != len(data):
        fail("sections end at %d, file at %d" % (pos, len(data)))

    used = set()
    for i in range(n_tris):
        t = struct.unpack_from("<6H", data, ofs_tris + 12 * i)
        if max(t[:3]) >= n_verts or max(t[3:]) >= max(n_st, 1) or len(set(t[:3])) != 3:
            fail("triangle %d: %r" % (i, t))
        used.update(t[:3])
    if len(used) != n_verts:
        fail("%d of %d vertices unused" % (n_verts - len(used), n_verts))

    for f in range(n_frames):
        base = ofs_frames + f * frame_size
        scale = struct.unpack_from("<3f", data, base)
        trans = struct.unpack_from("<3f", data, base + 12)
        radii, centre = [], [0.0, 0.0, 0.0]
        for j in range(n_verts):
            p = struct.unpack_from("<4B", data, base + 40 + 4 * j)
            if p[3] >= 162:
                fail("normal index %d" % p[3])
            v = [(p[k] * scale[k] + trans[k]) / 64.0 for k in range(3)]
            centre = [centre[k] + v[k] / n_verts for k in range(3)]
            radii.append(math.sqrt(sum(c * c for c in v)))
        if math.sqrt(sum(c * c for c in centre)) > 0.05:
            fail("frame %d centred at %r" % (f, centre))
        # bumpy, and small enough that the wandering camera sees it whole most of the time
        if not (0.4 <= min(radii) and max(radii) <= 0.6 and max(radii) - min(radii) > 0.015):
            fail("frame %d radii %.3f..%.3f" % (f, min(radii), max(radii)))
        print("frame %d: %d vertices, radius %.3f..%.3f" % (f, n_verts, min(radii), max(radii)))
    print("%d triangles, %d bytes" % (n_tris, len(data)))


def main():
    mode, root = sys.argv[1], sys.argv[2]
    committed = open(os.path.join(root, "data", "3d", "boll3.md2"), "rb").read()
    if mode == "sane":
        sane(committed)
    elif mode == "regenerate":
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "boll3.md2")
            subprocess.run([sys.executable, "-B", os.path.join(root, "tools", "gen_ball.py"), out], check=True)
            fresh = open(out, "rb").read()
        if fresh != committed:
            fail("regenerated file differs (%d vs %d bytes)" % (len(fresh), len(committed)))
        print("regenerated %d bytes, identical" % len(fresh))
    else:
        fail("unknown mode " + mode)


if __name__ == "__main__":
    main()
