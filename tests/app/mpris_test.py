#!/usr/bin/python3
"""The desktop's media controls: the real chipdisk on a private session bus, driven
with playerctl and dbus-send and heard at a PulseAudio null sink; and the program
with no session bus at all. Its songs are two tones, low.xm and high.xm, each after
a silent lead-in of 1.44 s. Usage: mpris_test.py SCENARIO CHIPDISK SONG_WRITER OUTPUT_DIR"""
import os
import shutil
import subprocess
import sys
import time

from gi.repository import Gio

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from desktop import RATE, App, Desktop, check, frequency, longest_silence, rms, wait_for  # noqa: E402

DEST, PATH = "org.mpris.MediaPlayer2.chipdisk", "/org/mpris/MediaPlayer2"
TONES = {"low": 261.6, "high": 523.3}  # song title: its tone in Hz


def ctl(desk, *args, timeout=20):
    return subprocess.run(["playerctl", "-p", "chipdisk", *args], env=desk.env, capture_output=True,
                          text=True, timeout=timeout).stdout.strip()


def send(desk, member, *args):
    iface = "org.mpris.MediaPlayer2" + ("" if member in ("Quit", "Raise") else ".Player")
    r = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=" + DEST, PATH,
                        iface + "." + member, *args], env=desk.env, capture_output=True, text=True, timeout=20)
    return r.returncode, r.stdout + r.stderr


def skips(desk, count):
    """Next and Previous in turn, on one connection as fast as it takes them, with no
    answer awaited: every call loads a song and signals a change."""
    f = Gio.DBusConnectionFlags
    bus = Gio.DBusConnection.new_for_address_sync(desk.env["DBUS_SESSION_BUS_ADDRESS"],
                                                  f.AUTHENTICATION_CLIENT | f.MESSAGE_BUS_CONNECTION, None, None)
    for i in range(count):
        call = Gio.DBusMessage.new_method_call(DEST, PATH, "org.mpris.MediaPlayer2.Player",
                                               "Previous" if i % 2 else "Next")
        call.set_flags(Gio.DBusMessageFlags.NO_REPLY_EXPECTED)
        bus.send_message(call, Gio.DBusSendMessageFlags.NONE)
    bus.flush_sync(None)
    bus.close_sync(None)


def tone(desk, seconds=0.3):
    """The title of the song whose tone the sink played over the last `seconds`."""
    x = desk.mono(-int(seconds * RATE))
    f = frequency(x) if rms(x) > 500 else 0
    return next((title for title, hz in TONES.items() if abs(f - hz) < 0.05 * hz), None)


def media(desk, app, work):
    follow = os.path.join(desk.outdir, "follow.txt")  # what the change signals tell, a line each
    desk.spawn(["playerctl", "-p", "chipdisk", "--follow", "metadata", "--format", "{{status}} {{title}}"],
               env=desk.env, stdout=open(follow, "w"))
    wait_for(lambda: ctl(desk, "status") == "Playing", "the player on the bus", timeout=20)
    first = ctl(desk, "metadata", "title")
    wait_for(lambda: tone(desk) == first, "the first song, %r, at the sink" % first)
    ctl(desk, "next")
    second = ctl(desk, "metadata", "title")
    check(second in TONES and second != first, "next changes the title (%s -> %s)" % (first, second))
    wait_for(lambda: tone(desk) == second, "the next song at the sink")
    start, held_from = desk.frames(), time.time()
    ctl(desk, "pause")
    time.sleep(1.0)
    quiet = rms(desk.mono(-RATE // 2))
    check(ctl(desk, "status") == "Paused" and quiet < 30, "pause silences the sink (rms %.1f)" % quiet)
    ctl(desk, "play")
    held = time.time() - held_from
    check(ctl(desk, "status") == "Playing", "status: Playing")
    wait_for(lambda: tone(desk) == second, "the song at the sink after play")
    gap = longest_silence(desk.mono(start))
    check(gap < held + 0.48, "play resumes where it was held (%.2f s silent, %.2f s held)" % (gap, held))
    ctl(desk, "stop")
    time.sleep(1.0)
    quiet = rms(desk.mono(-RATE // 2))
    check(ctl(desk, "status") == "Stopped" and quiet < 30, "stop silences the sink (rms %.1f)" % quiet)
    ctl(desk, "previous")
    check(ctl(desk, "status") == "Playing" and ctl(desk, "metadata", "title") == first,
          "previous plays the song before, even after a stop")
    app.xdo("mousemove", *app.to_screen((300, 150)))  # the view takes the keys
    app.xdo("key", "Down")
    told = ["Playing " + first, "Playing " + second, "Paused " + second, "Playing " + second,
            "Stopped " + second, "Playing " + first, "Playing " + second]
    seen = lambda: (lambda rest: all(w in rest for w in told))(iter(open(follow).read().splitlines()))  # noqa: E731
    wait_for(seen, "every change, by the bus or by key, signalled in order", timeout=5)
    for call, error in ((("OpenUri", "int32:7"), "Error.InvalidArgs"), (("Shuffle",), "Error.UnknownMethod"),
                        (("OpenUri", "string:http://example.org/a.xm"), "Error.InvalidArgs")):
        status, out = send(desk, *call)
        check(status != 0 and error in out, "%s answers %s (%s)" % (call, error, out.strip()))
    check(ctl(desk, "metadata", "title") == second, "the bad calls changed nothing")
    uri = "file://" + os.path.join(work, "data", "songs", first + ".xm")
    check(send(desk, "OpenUri", "string:" + uri)[0] == 0 and ctl(desk, "metadata", "xesam:url") == uri,
          "OpenUri plays a module file")
    app.xdo("windowminimize", app.win)
    wait_for(lambda: "Iconic" in desk.run("xprop", "-id", app.win, "WM_STATE"), "the iconized window", timeout=5)
    send(desk, "Raise")
    wait_for(lambda: "Normal" in desk.run("xprop", "-id", app.win, "WM_STATE"), "Raise to map it again", timeout=5)
    skips(desk, 100)  # loads both songs and warms up the allocators: the baseline holds them
    rss = app.rss_kb()
    skips(desk, 1000)
    sanitized = os.environ.get("CHIPDISK_SANITIZED")  # several times slower, and holds freed memory
    status, grown = ctl(desk, "status", timeout=60 if sanitized else 5), app.rss_kb() - rss
    check(status == "Playing" and (grown < 5 * 1024 or sanitized),
          "status answers after 1000 skips (%r), memory within 5 MB (%+d kB)" % (status, grown))
    send(desk, "Quit")
    app.finish(ended=True)


def nobus(desk, app, work):
    wait_for(lambda: tone(desk) in TONES, "a song at the sink")
    app.finish()


if __name__ == "__main__":
    name, program, writer, outdir = sys.argv[1:5]
    desk = Desktop(os.path.join(outdir, name), wm=name == "media", bus=name == "media")
    try:
        songs = os.path.join(desk.copy_data(), "songs")
        shutil.rmtree(songs)
        os.mkdir(songs)
        subprocess.run([writer, songs, "write"], check=True)
        desk.start_pulse()
        app = App(desk, os.path.abspath(program), cwd=desk.work)
        {"media": media, "nobus": nobus}[name](desk, app, desk.work)
    finally:
        desk.close()
