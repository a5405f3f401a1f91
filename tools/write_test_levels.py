#!/usr/bin/env python3
"""Writes tests/app/songs.levels: the first 100 bands of 20 frames each of three songs,
10 s in, from the levels build/bench/look_spectra writes (float32, 512 a frame, 25 a second).

    build/bench/look_spectra /tmp/levels data/songs/night_drive.xm data/songs/pixel_rain.xm \\
        data/songs/iron_comet.sid
    python3 tools/write_test_levels.py /tmp/levels > tests/app/songs.levels
"""
import struct
import sys

SONGS = ["night_drive", "pixel_rain", "iron_comet"]
FIRST_FRAME = 250  # 10 s at 25 frames a second
FRAMES = 20
BANDS = 100

for song in SONGS:
    with open(f"{sys.argv[1]}/{song}.levels", "rb") as f:
        data = f.read()
    for frame in range(FIRST_FRAME, FIRST_FRAME + FRAMES):
        levels = struct.unpack_from(f"<{BANDS}f", data, frame * 512 * 4)
        print(" ".join(f"{v:.4g}" for v in levels))
