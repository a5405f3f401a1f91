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
BUS = "dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.chipdisk /org/mpris/MediaPlayer2".split()


def ctl(*args):  # on the desktop `desk` the scenario runs on
    run = subprocess.run(
        ["playerctl", "-p", "chipdisk", *args], env=desk.env, capture_output=True, text=True, timeout=60
    )
    return run.stdout.strip()


def can(name):  # a boolean property of the player, as dbus-send prints it
    reply = desk.run(
        *BUS, "org.freedesktop.DBus.Properties.Get", "string:org.mpris.MediaPlayer2.Player", "string:" + name
    )
    return reply.split()[-1] if reply else None


def song():  # the file of the song playing, from its title
    return next((name for name, title in TITLES.items() if ctl("metadata", "title") == title), None)


def heard(hz, share=0.05):  # over the last 0.3 s at the sink
    x = desk.mono(-RATE * 3 // 10)
    return rms(x) > 500 and abs(frequency(x) - hz) < share * hz


def tone():  # the file of the song the sink plays
    return next((name for name, hz in TONES.items() if heard(hz)), None)


def quiet():
    time.sleep(1.0)
    return rms(desk.mono(-RATE // 2)) < 30


def modes(app):  # repeat and shuffle from the bus and by key, remembered; Space pauses and resumes
    ctl("loop", "Playlist")
    ctl("shuffle", "On")
    check(ctl("loop") == "Playlist" and ctl("shuffle") == "On", "loop and shuffle set over the bus")
    app.xdo("key", "r")
    app.xdo("key", "s")
    app.xdo("key", "space")
    wait_for(lambda: ctl("status") == "Paused", "Space to pause")
    check(ctl("loop") == "None" and ctl("shuffle") == "Off", "R steps the repeat mode, S shuffle")
    with open(conf) as f:
        remembered = f.read().split("\n")
    check("repeat = none" in remembered and "shuffle = false" in remembered, "remembered: %r" % remembered)
    app.xdo("key", "space")
    wait_for(lambda: ctl("status") == "Playing", "Space to resume")
    ctl("loop", "Track")


def seeking():  # what the song says of itself, its place and length; seeks within it
    check(ctl("metadata", "xesam:album") == "songs" and ctl("metadata", "xesam:artist") == "", "album, no artist")
    length = int(ctl("metadata", "mpris:length") or 0)
    check(abs(length - PASS_US) < 20000, "the length is one pass (%d us)" % length)
    track = ctl("metadata", "mpris:trackid").strip("'")  # playerctl quotes object paths
    check(track.startswith("/org/chipdisk/list1/song"), "a place in the first list (%s)" % track)
    # SetPosition, Seek back by the offset, and a place past the end, which does nothing
    for to, low, high in (("1.3", 1.3, 1.8), ("1-", 0.3, 0.9), ("30", 0, 1.92)):
        ctl("position", to)
        at = float(ctl("position") or 0)
        check(low <= at < high, "position %s: %.2f s" % (to, at))


def media(app, dragger):
    first = song()
    wait_for(lambda: tone() == first, "the first song, %r, at the sink" % first)
    ctl("next")
    second = song()
    check(second in TONES and second != first, "next changes the title (%s -> %s)" % (first, second))
    check(can("CanGoNext") == "false" and can("CanGoPrevious") == "true", "on the last song only Previous can")
    wait_for(lambda: tone() == second, "the next song at the sink")
    start, held = desk.frames(), time.time()
    ctl("pause")
    check(quiet() and ctl("status") == "Paused", "pause silences the sink")
    ctl("play")
    held = time.time() - held
    wait_for(lambda: tone() == second, "the song at the sink after play")
    x = desk.mono(start)
    loud = [i for i in range(0, len(x) - 441, 441) if rms(x[i : i + 441]) > 30]
    gap = max(b - a for a, b in zip(loud, loud[1:])) / RATE
    # resumed where it was held, not from the start with its lead-in
    check(ctl("status") == "Playing" and gap < held + 0.48, "play resumes (%.2f s silent, %.2f held)" % (gap, held))
    ctl("stop")
    check(quiet() and ctl("status") == "Stopped", "stop silences the sink")
    ctl("previous")  # plays the song before, even after a stop: the signals tell
    app.xdo("key", "Down")
    states = "Playing Playing Paused Playing Stopped Playing Playing".split()
    told = [s + " " + TITLES[t] for s, t in zip(states, (first, second, second, second, second, first, second))]
    wait_for(
        lambda: (lambda lines: all(w in lines for w in told))(iter(open(follow).read().splitlines())),
        "every change, by the bus or by key, signalled in order",
        timeout=5,
    )
    modes(app)
    seeking()
    songs = os.path.join(desk.work, "data", "songs", "")
    url = "file://" + songs + "%s.xm"
    ctl("open", url % first)
    check(ctl("metadata", "xesam:url") == url % first, "OpenUri plays a module file")
    playlist = os.path.join(desk.work, "list.m3u")
    with open(playlist, "w") as f:
        f.write("#EXTM3U\r\ndata/songs/%s.xm\r\n" % second)
    ctl("open", "file://" + playlist)
    wait_for(lambda: ctl("metadata", "xesam:url") == url % second, "a playlist's first song")
    drag = desk.spawn([dragger, songs + first + ".xm"], env=desk.env, stdout=subprocess.PIPE, text=True)
    source = wait_for(lambda: desk.run("xdotool", "search", "--onlyvisible", "--name", "^drag source$"), "the source")
    app.xdo("mousemove", "--window", source.split()[0], 60, 60)
    app.xdo("mousedown", 1)
    for x in (380, 300, 200):  # the toolkit starts a drag only after the pointer has moved
        app.xdo("mousemove", *app.to_screen((x, 150)), pause=0.3)
    app.xdo("mouseup", 1)
    check(drag.communicate(timeout=20)[0].strip() == "taken", "the view takes a dropped file")
    wait_for(lambda: ctl("metadata", "xesam:url") == url % first, "the dropped file to play")
    desk.run(*BUS, "org.mpris.MediaPlayer2.Quit")


def options(app):  # the remembered place and modes; an option wins for its run only
    check(app.geometry()[:2] == (100, 80), "the window opens where it was left (%s)" % (app.geometry()[:2],))
    check(ctl("loop") == "None" and ctl("shuffle") == "Off", "--repeat none wins over the file's list")
    app.xdo("key", "s")
    wait_for(lambda: "shuffle = true" in open(conf).read(), "S to be remembered")
    with open(conf) as f:
        lines = f.read().splitlines()
    check(lines[:2] == ["# mine", "repeat = list"], "the option is not written, the user's line kept (%r)" % lines)


def chips(app):  # every subsong of the made chip files reached, heard, named from the tune
    # natural order, a file's own first subsong first: GBS 2 and 1, NSF 1 and 2, VGM, SID 2 and 1;
    # of them only the SID songs cannot seek
    hz = [660, 440, 440, 660, 440, 880, 440]
    for step in range(7):
        title, seekable = ("Tone", "true") if step < 5 else ("Two Tunes", "false")
        if step:
            ctl("next")
        wait_for(lambda: ctl("metadata", "title") == title, "song %d named %r" % (step + 1, title))
        check(
            ctl("metadata", "artist") == "chipdisk tests" and can("CanSeek") == seekable,
            "song %d: the tune's author, CanSeek %s" % (step + 1, seekable),
        )
        wait_for(lambda: heard(hz[step], 0.03), "song %d heard at %d Hz" % (step + 1, hz[step]))
        check(app.moving() > 1, "song %d moves the view" % (step + 1))
    check(can("CanGoNext") == "false", "the last subsong ends the list")


if __name__ == "__main__":
    name, program, writer, outdir = sys.argv[1:5]
    desk = Desktop(os.path.join(outdir, name), wm=True, bus=True)
    try:
        songs = os.path.join(desk.copy_data(), "songs")
        shutil.rmtree(songs)
        os.mkdir(songs)
        subprocess.run([writer, songs], check=True)
        desk.start_pulse()
        args = []
        conf = os.path.join(desk.env["XDG_CONFIG_HOME"], "chipdisk", "chipdisk.conf")
        if name == "chips":
            args = [os.path.join(desk.work, "chips")]
            subprocess.run(["/usr/bin/python3", "-B", "tools/gen_chiptunes.py", "--tests", args[0]], check=True)
        if name == "options":
            os.makedirs(os.path.dirname(conf))
            with open(conf, "w") as f:
                f.write("# mine\nrepeat = list\nwindow_x = 100\nwindow_y = 80\n")
            args = ["--repeat", "none"]
        app = App(desk, os.path.abspath(program), cwd=desk.work, args=args)
        follow = os.path.join(desk.outdir, "follow.txt")  # what the change signals tell, a line each
        if name == "media":  # from the start
            watch = "playerctl -p chipdisk --follow metadata --format".split() + ["{{status}} {{title}}"]
            desk.spawn(watch, env=desk.env, stdout=open(follow, "w"))
        wait_for(lambda: ctl("status") == "Playing", "the player on the bus", timeout=20)
        app.xdo("mousemove", *app.to_screen((300, 150)))  # the view takes the keys
        if name == "media":
            media(app, os.path.join(os.path.dirname(writer), "drag_file"))
        elif name == "options":
            options(app)
        else:
            chips(app)
        app.finish(ended=name == "media")
    finally:
        desk.close()
