#!/usr/bin/python3
"""The recorder as a user runs it, without display or sound device.
Usage, from the repository root: record_test.py SCENARIO CHIPDISK UNUSED WORK_DIR"""
import filecmp
import os
import shutil
import struct
import subprocess
import sys

from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from desktop import brightness, check  # noqa: E402


def record(out, options="", *more, env=None):  # `options` split at spaces, `more` taken whole
    run_env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0", **(env or {}))
    run_env.pop("DISPLAY", None)
    return subprocess.run(
        [PROGRAM, "--record", out, *options.split(), *more], env=run_env, capture_output=True, text=True, timeout=600
    )


def video(work):
    out = os.path.join(work, "two.mp4")
    r = record(out, "--seconds 2 --fps 30")
    probe = (
        "ffprobe -v error -count_frames -show_entries stream=codec_type,codec_name,pix_fmt,nb_read_frames -of csv=p=0"
    )
    streams = subprocess.check_output(probe.split() + [out], text=True)
    kinds = sorted(s.split(",")[1] for s in streams.split())
    check(
        r.returncode == 0 and kinds == ["audio", "video"] and "h264,video,yuv420p,60" in streams,
        "2 s of H.264 and audio: %s %s" % (streams.split(), r.stderr),
    )
    # the PNG + WAV way named; no temporary or half-written files left
    r = record(os.path.join(work, "none.mp4"), env={"PATH": "/nonexistent"})
    check(r.returncode == 2 and "FOLDER" in r.stderr and os.listdir(work) == ["two.mp4"], "without ffmpeg")


def same_bytes(work):
    runs = [work + "/a", work + "/b"]
    for out in runs:
        record(out, "--seconds 1 --fps 30 --effect 1")
    names = sorted(os.listdir(runs[0]))
    with open(os.path.join(runs[0], "audio.wav"), "rb") as f:
        head = struct.unpack("<4sI8sIHHIIHH4sI", f.read(44)) + (len(f.read()),)
    # 30 frames, 1 s of 16-bit stereo PCM at 44.1 kHz, its header as players read it
    check(
        names == ["audio.wav"] + ["frame-%06d.png" % (i + 1) for i in range(30)]
        and head == (b"RIFF", 36 + 176400, b"WAVEfmt ", 16, 1, 2, 44100, 176400, 4, 16, b"data", 176400, 176400),
        "frames and WAV header %s" % (head,),
    )
    _, differ, errors = filecmp.cmpfiles(runs[0], runs[1], names, shallow=False)
    first = Image.open(os.path.join(runs[0], "frame-000001.png")).convert("RGBA")
    star = Image.open("data/gfx/star.png").convert("RGBA")  # its magenta outside becomes transparent
    star.putdata([(0, 0, 0, 0) if p[:3] == (255, 0, 255) else p for p in star.getdata()])
    star.paste(first.crop((35, 35, 430, 295)), (35, 35))
    # the view, opaque, inside the star picture as it is
    check(
        not differ + errors and first.getpixel((200, 150))[3] == 255 and star.tobytes() == first.tobytes(),
        "two runs byte-identical (%s differ), the frame right" % (differ + errors),
    )
    record(work + "/c", "--seconds 1 --fps 1 --effect=1 --scale=2")  # both forms of option
    big = Image.open(work + "/c/frame-000001.png").convert("RGBA")  # bytes: an RGBA bbox sees only alpha
    check(first.resize((930, 660), Image.NEAREST).tobytes() == big.tobytes(), "--scale 2 magnifies it")


def chips(work):
    subprocess.run([sys.executable, "-B", "tools/gen_chiptunes.py", "--tests", work], check=True)
    songs = [
        ("data/songs/iron_comet.sid", ""),
        ("data/songs/mint_circuit.vgm", ""),
        (work + "/tone.nsf", "--subsong 2"),
        (work + "/two.sid", "--subsong 1"),
    ]
    for song, subsong in songs:
        runs = ["%s/%s-%s" % (work, os.path.basename(song), run) for run in "ab"]
        codes = [record(out, "--seconds 1 --fps 10 %s --song" % subsong, song).returncode for out in runs]
        _, differ, errors = filecmp.cmpfiles(runs[0], runs[1], sorted(os.listdir(runs[0])), shallow=False)
        check(codes == [0, 0] and not differ + errors, "%s: byte-identical (%s differ)" % (song, differ + errors))
    default = work + "/two.sid-default"
    record(default, "--seconds 1 --fps 10 --song", work + "/two.sid")
    check(
        not filecmp.cmp(default + "/audio.wav", work + "/two.sid-a/audio.wav", shallow=False),
        "the file's own first subsong is another than --subsong 1",
    )
    r = record(work + "/none", "--subsong 3 --song", work + "/two.sid")
    check(
        r.returncode == 2 and r.stderr.strip().endswith("has no subsong 3") and not os.path.exists(work + "/none"),
        "--subsong 3 of two: %s" % r.stderr,
    )


def change(work):
    r = record(work + "/cycle", "--seconds 45 --fps 2")
    # the view without the HUD's top rows and transport bar; frame k shows k / 2 s
    frames = ["%s/cycle/frame-%06d.png" % (work, k + 1) for k in range(90)]
    light = [brightness(Image.open(f).convert("RGB").crop((35, 100, 430, 250))) for f in frames]
    # the fade starts after 40 s, is black 2 s later, and the next effect is back 2 s after:
    # black at 42.0 and 42.5 s only, fading out before and in after
    darkest = sorted(sorted(range(90), key=lambda k: light[k])[:2])
    check(
        r.returncode == 0 and darkest == [84, 85] and light[84] < min(6, light[83]) and light[85] < light[86],
        "the fade at 40 s: %s" % [round(v) for v in light[82:88]],
    )


def bad_arguments(work):
    out = os.path.join(work, "bad")  # each: status 2, one line, nothing written; the bounds the unit test leaves
    for args in (
        "--fps 0",
        "--fps 241",
        "--seconds 0",
        "--seconds 3601",
        "--effect 4",
        "--song /nonexistent.xm",
        "--song README.md",
    ):
        r = record(out, args)
        check(
            r.returncode == 2 and len(r.stderr.strip().splitlines()) == 1 and not os.path.exists(out),
            "%s: %s" % (args, r.stderr),
        )
    check(record("/proc/no/such/folder").returncode == 2, "an unwritable OUT: status 2")
    r = record(work + "/song", "--fps 1 --seconds 1 --song data/songs/pixel_rain.xm")
    check(r.returncode == 0, "a readable --song records")
    r = record(out, "--fps 1", env={"CHIPDISK_DATA": work})  # no songs: a minute of the silent effects
    check(r.returncode == 0 and len(os.listdir(out)) == 61, "without songs: 60 frames and the audio")


if __name__ == "__main__":
    scenario, PROGRAM, work = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.join(sys.argv[4], sys.argv[1])
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    {"video": video, "bytes": same_bytes, "change": change, "arguments": bad_arguments, "chips": chips}[scenario](work)
