#!/usr/bin/python3
"""The media controls on a private bus, heard at a null sink, and a file dropped on the view; and no
bus at all. The songs are two tones, each after 1.44 s of silence; the drag source lies beside the
song writer. Usage: mpris_test.py SCENARIO CHIPDISK SONG_WRITER OUTPUT_DIR"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from desktop import RATE, App, Desktop, check, frequency, rms, wait_for  # noqa: E402

TONES = {"low": 261.6, "high": 523.3}  # song file: its tone in Hz
TITLES = {"low": "Low tone", "high": "High tone"}  # as the songs name themselves
PASS_US = 1920000  # one pass of either: 16 rows of 6 ticks at 125 BPM


def ctl(desk, *args):
    return subprocess.run(
        ["playerctl", "-p", "chipdisk", *args], env=desk.env, capture_output=True, text=True, timeout=60
    ).stdout.strip()


def can(desk, name):  # a boolean property of the player, as dbus-send prints it
    reply = desk.run(
        "dbus-send",
        "--session",
        "--print-reply",
        "--dest=org.mpris.MediaPlayer2.chipdisk",
        "/org/mpris/MediaPlayer2",
        "org.freedesktop.DBus.Properties.Get",
        "string:org.mpris.MediaPlayer2.Player",
        "string:" + name,
    )
    return reply.split()[-1] if reply else None


def song(desk):  # the file of the song playing, from its title
    return next((name for name, title in TITLES.items() if ctl(desk, "metadata", "title") == title), None)


def tone(desk):  # the file of the song the sink played over the last 0.3 s
    x = desk.mono(-RATE * 3 // 10)
    f = frequency(x) if rms(x) > 500 else 0
    return next((title for title, hz in TONES.items() if abs(f - hz) < 0.05 * hz), None)


def quiet(desk):
    time.sleep(1.0)
    return rms(desk.mono(-RATE // 2)) < 30


def modes(desk, app):  # repeat and shuffle from the bus and by key, remembered; Space pauses and resumes
    ctl(desk, "loop", "Playlist")
    ctl(desk, "shuffle", "On")
    check(ctl(desk, "loop") == "Playlist" and ctl(desk, "shuffle") == "On", "loop and shuffle set over the bus")
    app.xdo("key", "r")
    app.xdo("key", "s")
    app.xdo("key", "space")
    wait_for(lambda: ctl(desk, "status") == "Paused", "Space to pause")
    check(ctl(desk, "loop") == "None" and ctl(desk, "shuffle") == "Off", "R steps the repeat mode, S shuffle")
    with open(os.path.join(desk.env["XDG_CONFIG_HOME"], "chipdisk", "chipdisk.conf")) as f:
        remembered = f.read().split("\n")
    check(
        "repeat = none" in remembered and "shuffle = false" in remembered,
        "the changes are remembered (%r)" % remembered,
    )
    app.xdo("key", "space")
    wait_for(lambda: ctl(desk, "status") == "Playing", "Space to resume")
    ctl(desk, "loop", "Track")


def seeking(desk):  # what the song says of itself, its place and length; seeks within it
    check(
        ctl(desk, "metadata", "xesam:album") == "songs" and ctl(desk, "metadata", "xesam:artist") == "",
        "the album is the song's folder; the songs name no artist",
    )
    length = int(ctl(desk, "metadata", "mpris:length") or 0)
    check(abs(length - PASS_US) < 20000, "the length is one pass (%d us)" % length)
    track = ctl(desk, "metadata", "mpris:trackid").strip("'")  # playerctl quotes object paths
    check(track.startswith("/org/chipdisk/list1/song"), "a place in the first list (%s)" % track)
    ctl(desk, "position", "1.3")
    at = float(ctl(desk, "position") or 0)
    check(1.3 <= at < 1.8, "SetPosition moves the song (%.2f s)" % at)
    ctl(desk, "position", "1-")
    at = float(ctl(desk, "position") or 0)
    check(0.3 <= at < 0.9, "Seek goes back by the offset (%.2f s)" % at)
    ctl(desk, "position", "30")
    at = float(ctl(desk, "position") or 0)
    check(at < 1.92, "a place past the end does nothing (%.2f s)" % at)


def media(desk, app, dragger):
    follow = os.path.join(desk.outdir, "follow.txt")  # what the change signals tell, a line each
    desk.spawn(
        ["playerctl", "-p", "chipdisk", "--follow", "metadata", "--format", "{{status}} {{title}}"],
        env=desk.env,
        stdout=open(follow, "w"),
    )
    wait_for(lambda: ctl(desk, "status") == "Playing", "the player on the bus", timeout=20)
    first = song(desk)
    wait_for(lambda: tone(desk) == first, "the first song, %r, at the sink" % first)
    ctl(desk, "next")
    second = song(desk)
    check(second in TONES and second != first, "next changes the title (%s -> %s)" % (first, second))
    check(
        can(desk, "CanGoNext") == "false" and can(desk, "CanGoPrevious") == "true",
        "on the last song Next can do nothing, Previous can",
    )
    wait_for(lambda: tone(desk) == second, "the next song at the sink")
    start, held = desk.frames(), time.time()
    ctl(desk, "pause")
    check(quiet(desk) and ctl(desk, "status") == "Paused", "pause silences the sink")
    ctl(desk, "play")
    held = time.time() - held
    wait_for(lambda: tone(desk) == second, "the song at the sink after play")
    x = desk.mono(start)
    loud = [i for i in range(0, len(x) - 441, 441) if rms(x[i : i + 441]) > 30]
    gap = max(b - a for a, b in zip(loud, loud[1:])) / RATE
    check(
        ctl(desk, "status") == "Playing" and gap < held + 0.48,
        "play resumes where it was held, not from the "
        "start with its lead-in (%.2f s silent, %.2f s held)" % (gap, held),
    )
    ctl(desk, "stop")
    check(quiet(desk) and ctl(desk, "status") == "Stopped", "stop silences the sink")
    ctl(desk, "previous")
    check(ctl(desk, "status") == "Playing" and song(desk) == first, "previous plays the song before, even after a stop")
    app.xdo("mousemove", *app.to_screen((300, 150)))  # the view takes the keys
    app.xdo("key", "Down")
    told = [
        s + " " + TITLES[t]
        for s, t in zip(
            "Playing Playing Paused Playing Stopped Playing Playing".split(),
            (first, second, second, second, second, first, second),
        )
    ]
    wait_for(
        lambda: (lambda lines: all(w in lines for w in told))(iter(open(follow).read().splitlines())),
        "every change, by the bus or by key, signalled in order",
        timeout=5,
    )
    modes(desk, app)
    seeking(desk)
    uri = "file://" + os.path.join(desk.work, "data", "songs", first + ".xm")
    ctl(desk, "open", uri)
    check(ctl(desk, "metadata", "xesam:url") == uri, "OpenUri plays a module file")
    playlist = os.path.join(desk.work, "list.m3u")
    with open(playlist, "w") as f:
        f.write("#EXTM3U\r\ndata/songs/%s.xm\r\n" % second)
    ctl(desk, "open", "file://" + playlist)
    listed = "file://" + os.path.join(desk.work, "data", "songs", second + ".xm")
    wait_for(lambda: ctl(desk, "metadata", "xesam:url") == listed, "OpenUri to play a playlist's first song")
    dropped = os.path.join(desk.work, "data", "songs", first + ".xm")
    drag = desk.spawn([dragger, dropped], env=desk.env, stdout=subprocess.PIPE, text=True)
    source = wait_for(
        lambda: desk.run("xdotool", "search", "--onlyvisible", "--name", "^drag source$").split(), "the drag source"
    )[0]
    app.xdo("mousemove", "--window", source, 60, 60)
    app.xdo("mousedown", 1)
    for x in (380, 300, 200):  # the toolkit starts a drag only after the pointer has moved
        app.xdo("mousemove", *app.to_screen((x, 150)), pause=0.3)
    app.xdo("mouseup", 1)
    check(drag.communicate(timeout=20)[0].strip() == "taken", "the view takes a dropped file")
    wait_for(lambda: ctl(desk, "metadata", "xesam:url") == "file://" + dropped, "the dropped module file to play")
    desk.run(
        "dbus-send",
        "--session",
        "--print-reply",
        "--dest=org.mpris.MediaPlayer2.chipdisk",
        "/org/mpris/MediaPlayer2",
        "org.mpris.MediaPlayer2.Quit",
    )


def options(desk, app, conf):  # the remembered place and modes; an option wins for its run only
    wait_for(lambda: ctl(desk, "status") == "Playing", "the player on the bus", timeout=20)
    check(app.geometry()[:2] == (100, 80), "the window opens where it was left (%s)" % (app.geometry()[:2],))
    check(ctl(desk, "loop") == "None" and ctl(desk, "shuffle") == "Off", "--repeat none wins over the file's list")
    app.xdo("mousemove", *app.to_screen((300, 150)))
    app.xdo("key", "s")
    wait_for(lambda: "shuffle = true" in open(conf).read(), "S to be remembered")
    with open(conf) as f:
        lines = f.read().splitlines()
    check(lines[:2] == ["# mine", "repeat = list"], "the option is not written, the user's line kept (%r)" % lines)


def chips(desk, app, folder):  # every subsong of the made chip files reached, heard, named from the tune
    wait_for(lambda: ctl(desk, "status") == "Playing", "the player on the bus", timeout=20)
    # natural order; a file's own first subsong first
    expected = [
        ("Tone", 660, "true"),
        ("Tone", 440, "true"),
        ("Tone", 440, "true"),
        ("Tone", 660, "true"),
        ("Tone", 440, "true"),
        ("Two Tunes", 880, "false"),
        ("Two Tunes", 440, "false"),
    ]
    # GBS 2 and 1, NSF 1 and 2, VGM, SID 2 and 1
    for step, (title, hz, seekable) in enumerate(expected):
        if step:
            ctl(desk, "next")
        wait_for(lambda: ctl(desk, "metadata", "title") == title, "song %d named %r" % (step + 1, title))
        check(
            ctl(desk, "metadata", "artist") == "chipdisk tests" and can(desk, "CanSeek") == seekable,
            "song %d: the tune's author, CanSeek %s" % (step + 1, seekable),
        )
        wait_for(
            lambda: rms(desk.mono(-RATE // 4)) > 500 and abs(frequency(desk.mono(-RATE // 4)) - hz) < 0.03 * hz,
            "song %d heard at %d Hz" % (step + 1, hz),
        )
        check(app.moving() > 1, "song %d moves the view" % (step + 1))
    check(can(desk, "CanGoNext") == "false", "the last subsong ends the list")


if __name__ == "__main__":
    name, program, writer, outdir = sys.argv[1:5]
    desk = Desktop(os.path.join(outdir, name), wm=name != "nobus", bus=name != "nobus")
    try:
        songs = os.path.join(desk.copy_data(), "songs")
        shutil.rmtree(songs)
        os.mkdir(songs)
        subprocess.run([writer, songs], check=True)
        desk.start_pulse()
        args = []
        if name == "chips":
            args = [os.path.join(desk.work, "chips")]
            subprocess.run(["/usr/bin/python3", "-B", "tools/gen_chiptunes.py", "--tests", args[0]], check=True)
        if name == "options":
            conf = os.path.join(desk.env["XDG_CONFIG_HOME"], "chipdisk", "chipdisk.conf")
            os.makedirs(os.path.dirname(conf))
            with open(conf, "w") as f:
                f.write("# mine\nrepeat = list\nwindow_x = 100\nwindow_y = 80\n")
            args = ["--repeat", "none"]
        app = App(desk, os.path.abspath(program), cwd=desk.work, args=args)
        if name == "media":
            media(desk, app, os.path.join(os.path.dirname(writer), "drag_file"))
        elif name == "options":
            options(desk, app, conf)
        elif name == "chips":
            chips(desk, app, args[0])
        else:
            wait_for(lambda: tone(desk) in TONES, "a song at the sink")
        app.finish(ended=name == "media")
    finally:
        desk.close()
