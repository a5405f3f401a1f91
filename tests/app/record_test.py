#!/usr/bin/python3
"""The recorder, run as a user would: no display, no sound device.
Usage: record_test.py SCENARIO CHIPDISK WORK_DIR (run from the repository root)."""
import filecmp
import json
import os
import shutil
import subprocess
import sys

from PIL import Image, ImageStat


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        sys.exit(1)


def record(program, *args, env=None):
    run_env = dict(os.environ, **(env or {}))
    run_env.pop("DISPLAY", None)
    run_env["ASAN_OPTIONS"] = run_env.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
    return subprocess.run([program, "--record", *args], env=run_env, capture_output=True,
                          text=True, timeout=600)


def view_brightness(path):
    # the view lies at (35, 35), 395 x 260; the HUD's top rows and transport bar left out
    view = Image.open(path).convert("RGB").crop((35, 100, 430, 250))
    return sum(ImageStat.Stat(view).mean) / 3


def video(program, work):
    out = os.path.join(work, "two.mp4")
    r = record(program, out, "--seconds", "2", "--fps", "30")
    check(r.returncode == 0, "a 2-second MP4 is written (status %d, %s)" % (r.returncode, r.stderr.strip()))
    probe = json.loads(subprocess.run(
        ["ffprobe", "-v", "error", "-count_frames", "-show_entries",
         "stream=codec_type,codec_name,pix_fmt,nb_read_frames", "-of", "json", out],
        capture_output=True, text=True, check=True).stdout)["streams"]
    kinds = sorted(s["codec_type"] for s in probe)
    check(kinds == ["audio", "video"], "one video and one audio stream (%s)" % kinds)
    v = next(s for s in probe if s["codec_type"] == "video")
    check(v["codec_name"] == "h264" and v["pix_fmt"] == "yuv420p", "H.264 in yuv420p (%s)" % v)
    check(int(v["nb_read_frames"]) == 60, "60 frames (%s)" % v["nb_read_frames"])
    check(not [f for f in os.listdir(work) if ".chipdisk-" in f], "no temporary files are left")

    r = record(program, os.path.join(work, "none.mp4"), env={"PATH": "/nonexistent"})
    check(r.returncode == 2 and "FOLDER" in r.stderr, "without ffmpeg: status 2 and the PNG + WAV way named")
    check(os.listdir(work) == ["two.mp4"], "and nothing half-written")


def same_bytes(program, work):
    runs = [os.path.join(work, name) for name in ("a", "b")]
    for out in runs:
        r = record(program, out, "--seconds", "1", "--fps", "30", "--effect", "1")
        check(r.returncode == 0, "1-second PNG + WAV recording (%s)" % r.stderr.strip())
    names = sorted(os.listdir(runs[0]))
    check(names[0] == "audio.wav" and names[1] == "frame-000001.png" and names[-1] == "frame-000030.png",
          "frame-000001.png to frame-000030.png and audio.wav")
    # 44 header bytes and 4 bytes a sample frame
    check(os.path.getsize(os.path.join(runs[0], "audio.wav")) == 44 + 44100 * 4, "one second of audio")
    match, mismatch, errors = filecmp.cmpfiles(runs[0], runs[1], names, shallow=False)
    check(not mismatch and not errors, "two runs are byte-identical (%s differ)" % (mismatch + errors))
    first = Image.open(os.path.join(runs[0], "frame-000001.png"))
    check(first.size == (465, 330) and first.getpixel((0, 0))[3] == 0 and first.getpixel((200, 150))[3] == 255,
          "465 x 330, transparent outside the star, opaque view")


def change(program, work):
    out = os.path.join(work, "cycle")
    r = record(program, out, "--seconds", "45", "--fps", "2")
    check(r.returncode == 0, "45 s at 2 frames a second (%s)" % r.stderr.strip())
    light = [view_brightness(os.path.join(out, "frame-%06d.png" % (k + 1))) for k in range(90)]
    # frame k shows k / 2 s: the fade starts after 40 s, is black 2 s later, then the
    # next effect comes back over 2 s
    two_darkest = sorted(sorted(range(90), key=lambda k: light[k])[:2])
    check(two_darkest == [84, 85], "the view is black at 42.0 and 42.5 s and only then (%s)" % two_darkest)
    check(light[84] < 6 and light[83] > light[84] and light[86] > light[85],
          "fading out before, back in after (%s)" % [round(v, 1) for v in light[82:88]])


def bad_arguments(program, work):
    for args in (["--fps", "0"], ["--fps", "241"], ["--seconds", "0"], ["--seconds", "3601"],
                 ["--scale", "5"], ["--effect", "4"], ["--song", "/nonexistent.xm"],
                 ["--song", "README.md"], ["--frobnicate"]):
        out = os.path.join(work, "bad")
        r = record(program, out, *args)
        check(r.returncode == 2 and len(r.stderr.strip().splitlines()) == 1 and not os.path.exists(out),
              "%s: status 2, one line, nothing written (%s)" % (" ".join(args), r.stderr.strip()))
    r = record(program, "/proc/no/such/folder")
    check(r.returncode == 2, "an unwritable OUT: status 2")
    r = subprocess.run([program, "--help"], capture_output=True, text=True)
    check(r.returncode == 0 and all(o in r.stdout for o in
                                    ("--record", "--seconds", "--fps", "--scale", "--song", "--effect",
                                     "--version")), "--help lists every option")


def main():
    scenario, program, work = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3]
    work = os.path.join(work, scenario)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    {"video": video, "bytes": same_bytes, "change": change, "arguments": bad_arguments}[scenario](program, work)


if __name__ == "__main__":
    main()
