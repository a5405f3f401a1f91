#!/usr/bin/python3
"""Writes the ball model data/3d/boll3.md2 (or the path given).

A frequency-9 geodesic sphere with 32 round bumps on it, one at each vertex
and one at each face centre of the underlying icosahedron (the pattern of a
football's patches), kept only where the patches are: the faces between them are
left out. Every face is drawn lit and added to what is behind it, so wherever a
near face covers a far one both add up and clip to white under the glow; with
gaps between the patches that happens only where two patches overlap.
Only +, -, *, / and sqrt are used so the output is the same bytes on every run
and every IEEE machine.
"""
import math
import os
import re
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FREQ = 9  # each icosahedron edge is cut into this many pieces
RADIUS = 0.5  # in drawing units: the camera's eye comes within about 3 units of
# the ball a tenth of the time, and a larger ball then fills the view
BUMP_HEIGHT = 0.10  # relative to the sphere's radius
BUMP_RADIUS = 0.42  # chord length on the unit sphere
PATCH_RADIUS = 0.29  # faces with every corner within this chord of a patch centre are kept
UNITS = 64.0  # the loader divides file coordinates by this


def normal_table():
    # The loader's table is the one source of truth for the 162 normals.
    src = open(os.path.join(ROOT, "model", "CMD2Model.cpp")).read()
    body = src[src.index("avertexnormals[162][3] = {") :]
    body = body[: body.index("};")]
    nums = [float(v) for v in re.findall(r"-?\d+\.\d+", body)]
    assert len(nums) == 162 * 3
    return [tuple(nums[i : i + 3]) for i in range(0, len(nums), 3)]


def unit(v):
    n = math.sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2])
    return (v[0] / n, v[1] / n, v[2] / n)


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def icosahedron():
    p = (1.0 + math.sqrt(5.0)) / 2.0
    verts = [
        unit(v)
        for v in [
            (-1, p, 0),
            (1, p, 0),
            (-1, -p, 0),
            (1, -p, 0),
            (0, -1, p),
            (0, 1, p),
            (0, -1, -p),
            (0, 1, -p),
            (p, 0, -1),
            (p, 0, 1),
            (-p, 0, -1),
            (-p, 0, 1),
        ]
    ]
    faces = [
        (0, 11, 5),
        (0, 5, 1),
        (0, 1, 7),
        (0, 7, 10),
        (0, 10, 11),
        (1, 5, 9),
        (5, 11, 4),
        (11, 10, 2),
        (10, 7, 6),
        (7, 1, 8),
        (3, 9, 4),
        (3, 4, 2),
        (3, 2, 6),
        (3, 6, 8),
        (3, 8, 9),
        (4, 9, 5),
        (2, 4, 11),
        (6, 2, 10),
        (8, 6, 7),
        (9, 8, 1),
    ]
    return verts, faces


def geodesic(freq):
    """Unit-sphere points and triangles (counter-clockwise seen from outside)."""
    ico, faces = icosahedron()
    index = {}
    points = []

    def point(weights):
        # Keyed by exact integer barycentric weights on icosahedron vertices,
        # so points on shared edges are made once and computed identically.
        key = tuple(sorted((v, w) for v, w in weights if w))
        if key not in index:
            acc = [0.0, 0.0, 0.0]
            for v, w in key:
                for k in range(3):
                    acc[k] += ico[v][k] * w
            index[key] = len(points)
            points.append(unit(acc))
        return index[key]

    tris = []
    for a, b, c in faces:

        def at(i, j):
            return point(((a, freq - i - j), (b, i), (c, j)))

        for i in range(freq):
            for j in range(freq - i):
                tris.append((at(i, j), at(i + 1, j), at(i, j + 1)))
                if i + j < freq - 1:
                    tris.append((at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)))
    centres = list(ico) + [unit(tuple(ico[a][k] + ico[b][k] + ico[c][k] for k in range(3))) for a, b, c in faces]
    return points, tris, centres


def relief(d, centres):
    r = 1.0
    for c in centres:
        s = math.sqrt(dot(sub(d, c), sub(d, c))) / BUMP_RADIUS
        if s < 1.0:
            f = 1.0 - s * s
            r += BUMP_HEIGHT * f * f
    return r


def patches(dirs, tris, centres):
    """The faces inside a patch, and the points they use, renumbered in order."""

    def inside(i):
        return any(dot(sub(dirs[i], c), sub(dirs[i], c)) < PATCH_RADIUS * PATCH_RADIUS for c in centres)

    tris = [t for t in tris if all(inside(v) for v in t)]
    used = sorted(set(v for t in tris for v in t))
    index = {v: i for i, v in enumerate(used)}
    return [dirs[v] for v in used], [tuple(index[v] for v in t) for t in tris]


def build():
    dirs, tris, centres = geodesic(FREQ)
    dirs, tris = patches(dirs, tris, centres)
    pos = [tuple(RADIUS * relief(d, centres) * d[k] for k in range(3)) for d in dirs]

    # Area-weighted vertex normals of the bumpy surface.
    acc = [[0.0, 0.0, 0.0] for _ in pos]
    for t in tris:
        n = cross(sub(pos[t[1]], pos[t[0]]), sub(pos[t[2]], pos[t[0]]))
        for v in t:
            for k in range(3):
                acc[v][k] += n[k]
    normals = [unit(n) for n in acc]

    # Drawing axes -> file axes: the loader reads file (f0, f1, f2) as (x, z, y).
    fpos = [(p[0] * UNITS, p[2] * UNITS, p[1] * UNITS) for p in pos]
    fnorm = [(n[0], n[2], n[1]) for n in normals]
    # The swap mirrors, so reverse the winding to stay counter-clockwise outside.
    ftris = [(a, c, b) for a, b, c in tris]

    f32 = lambda v: struct.unpack("<f", struct.pack("<f", v))[0]
    lo = [min(p[k] for p in fpos) for k in range(3)]
    hi = [max(p[k] for p in fpos) for k in range(3)]
    scale = [f32((hi[k] - lo[k]) / 255.0) for k in range(3)]
    translate = [f32(lo[k]) for k in range(3)]

    table = normal_table()
    packed = []
    for p, n in zip(fpos, fnorm):
        q = [min(255, max(0, int(math.floor((p[k] - translate[k]) / scale[k] + 0.5)))) for k in range(3)]
        best = max(range(len(table)), key=lambda i: (dot(table[i], n), -i))
        packed.append(struct.pack("<4B", q[0], q[1], q[2], best))

    num_verts, num_tris = len(packed), len(ftris)
    frame_size = 40 + 4 * num_verts
    frame = struct.pack("<6f", *(scale + translate)) + b"ball".ljust(16, b"\0") + b"".join(packed)
    texcoords = struct.pack("<2h", 128, 128)
    triangles = b"".join(struct.pack("<6H", a, b, c, 0, 0, 0) for a, b, c in ftris)
    glcmds = struct.pack("<i", 0)  # an empty command list is just its terminator

    ofs_skins = 68
    ofs_st = ofs_skins
    ofs_tris = ofs_st + len(texcoords)
    ofs_frames = ofs_tris + len(triangles)
    ofs_glcmds = ofs_frames + len(frame)
    ofs_end = ofs_glcmds + len(glcmds)
    header = b"IDP2" + struct.pack(
        "<16i",
        8,
        256,
        256,
        frame_size,
        0,
        num_verts,
        1,
        num_tris,
        len(glcmds) // 4,
        1,
        ofs_skins,
        ofs_st,
        ofs_tris,
        ofs_frames,
        ofs_glcmds,
        ofs_end,
    )
    data = header + texcoords + triangles + frame + glcmds
    assert len(data) == ofs_end
    return data


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "data", "3d", "boll3.md2")
    data = build()
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
