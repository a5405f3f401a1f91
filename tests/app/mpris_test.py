#!/usr/bin/python3
"""The desktop's media controls: the real chipdisk on a private session bus, driven
with playerctl and dbus-send and heard at a PulseAudio null sink; and the program
with no session bus at all. Its songs are two tones, low.xm and high.xm, each
after a silent lead-in of 1.44 s.
Usage: mpris_test.py SCENARIO CHIPDISK WRITE_SINE_SONGS OUTPUT_DIR"""
import os
import shutil
import subprocess
import sys
import time

from gi.repository import Gio

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "hardening"))
from harness import (RATE, App, Display, Processes, Pulse, base_env, check,  # noqa: E402
                     copy_data, frequency, longest_silence, rms, scratch_dir,
                     start_session_bus, unexpected_stderr, wait_for)

DEST = "org.mpris.MediaPlayer2.chipdisk"
TONES = {"low": 261.6, "high": 523.3}  # song title: its tone in Hz
LEAD_IN = 1.44


def ctl(env, *args, timeout=20):
    return subprocess.run(["playerctl", "-p", "chipdisk"] + list(args), env=env,
                          capture_output=True, text=True, timeout=timeout).stdout.strip()


def send(env, member, *args, reply=True):
    """A call through dbus-send: its exit status and what it printed."""
    iface = "org.mpris.MediaPlayer2" + ("" if member in ("Quit", "Raise") else ".Player")
    r = subprocess.run(["dbus-send", "--session", "--dest=" + DEST]
                       + (["--print-reply"] if reply else [])
                       + ["/org/mpris/MediaPlayer2", iface + "." + member] + list(args),
                       env=env, capture_output=True, text=True, timeout=20)
    return r.returncode, r.stdout + r.stderr


def skips(env, count):
    """Sends count calls, Next and Previous in turn, on one connection as fast as it
    takes them, waiting for no answer: every call loads a song and signals a change."""
    flags = Gio.DBusConnectionFlags
    bus = Gio.DBusConnection.new_for_address_sync(
        env["DBUS_SESSION_BUS_ADDRESS"],
        flags.AUTHENTICATION_CLIENT | flags.MESSAGE_BUS_CONNECTION, None, None)
    for i in range(count):
        call = Gio.DBusMessage.new_method_call(DEST, "/org/mpris/MediaPlayer2",
                                               "org.mpris.MediaPlayer2.Player",
                                               "Previous" if i % 2 else "Next")
        call.set_flags(Gio.DBusMessageFlags.NO_REPLY_EXPECTED)
        bus.send_message(call, Gio.DBusSendMessageFlags.NONE)
    bus.flush_sync(None)
    bus.close_sync(None)


def tone(pulse, seconds=0.3):
    """The title of the song whose tone the sink played over the last `seconds`."""
    x = pulse.mono(pulse.frames() - int(seconds * RATE))
    if rms(x) < 500:
        return None
    f = frequency(x)
    return next((title for title, hz in TONES.items() if abs(f - hz) < 0.05 * hz), None)


def in_order(wanted, lines):
    """True when lines hold every wanted line in this order, with others between."""
    rest = iter(lines)
    return all(any(line == w for line in rest) for w in wanted)


def wm_state(app):
    return app.display.run("xprop", "-id", app.win, "WM_STATE")


def media(procs, display, program, work, outdir, pulse):
    env = display.env
    # what the change signals tell, one line each
    follow_path = os.path.join(outdir, "follow.txt")
    procs.spawn(["playerctl", "-p", "chipdisk", "--follow", "metadata", "--format",
                 "{{status}} {{title}}"], env=env, stdout=open(follow_path, "w"))
    app = App(procs, display, program, work, outdir, env=dict(env, SDL_AUDIODRIVER="pulseaudio"))
    wait_for(lambda: ctl(env, "status") == "Playing", "the player on the bus", timeout=20)
    first = ctl(env, "metadata", "title")
    check(first in TONES, "the title is the song's name (%r)" % first)
    wait_for(lambda: tone(pulse) == first, "the first song at the sink")

    ctl(env, "next")
    second = ctl(env, "metadata", "title")
    check(second in TONES and second != first, "next changes the title (%s -> %s)"
          % (first, second))
    wait_for(lambda: tone(pulse) == second, "the next song at the sink")

    start, held_from = pulse.frames(), time.time()
    ctl(env, "pause")
    check(ctl(env, "status") == "Paused", "status: Paused")
    time.sleep(1.0)
    quiet = rms(pulse.mono(pulse.frames() - RATE // 2))
    check(quiet < 30, "pause silences the sink (rms %.1f)" % quiet)
    ctl(env, "play")
    held = time.time() - held_from
    check(ctl(env, "status") == "Playing", "status: Playing")
    wait_for(lambda: tone(pulse) == second, "the song at the sink after play")
    gap = longest_silence(pulse.mono(start))
    check(gap < held + LEAD_IN / 3, "play resumes the song where it was held (%.2f s silent, "
          "%.2f s held; starting over adds %.2f s)" % (gap, held, LEAD_IN))

    ctl(env, "stop")
    check(ctl(env, "status") == "Stopped", "status: Stopped")
    ctl(env, "previous")
    check(ctl(env, "status") == "Playing" and ctl(env, "metadata", "title") == first,
          "previous plays the song before, even after a stop")
    app.xdo("mousemove", *app.to_screen((300, 150)))  # the view takes the keys
    app.xdo("key", "Down")
    wait_for(lambda: ctl(env, "metadata", "title") == second, "the next song by key")
    told = [f"Playing {first}", f"Playing {second}", f"Paused {second}", f"Playing {second}",
            f"Stopped {second}", f"Playing {first}", f"Playing {second}"]
    wait_for(lambda: in_order(told, open(follow_path).read().splitlines()),
             "the change signals", timeout=5)
    check(True, "every change, by the bus or by key, is signalled")

    # bad calls get the standard errors and change nothing
    for call, error in ((("OpenUri", "int32:7"), "Error.InvalidArgs"),
                        (("OpenUri", "string:http://example.org/a.xm"), "Error.InvalidArgs"),
                        (("Shuffle",), "Error.UnknownMethod")):
        status, out = send(env, *call)
        check(status != 0 and error in out, "%s answers %s (%s)" % (call, error, out.strip()))
    check(ctl(env, "status") == "Playing" and ctl(env, "metadata", "title") == second,
          "the bad calls changed nothing")
    uri = "file://" + os.path.join(work, "data", "songs", first + ".xm")
    status, out = send(env, "OpenUri", "string:" + uri)
    check(status == 0 and ctl(env, "metadata", "xesam:url") == uri,
          "OpenUri plays a module file (%s)" % ctl(env, "metadata", "title"))

    app.xdo("windowminimize", app.win)
    wait_for(lambda: "Iconic" in wm_state(app), "the iconized window", timeout=5)
    send(env, "Raise")
    wait_for(lambda: "Normal" in wm_state(app), "the window raised from the bus", timeout=5)
    check(True, "Raise brings the iconized window back")

    # a first burst loads both songs and warms up the allocators: the baseline holds them
    skips(env, 100)
    rss = app.rss_kb()
    skips(env, 1000)
    # a sanitized build is several times slower: there the bound only guards against a hang
    status = ctl(env, "status", timeout=60 if os.environ.get("CHIPDISK_SANITIZED") else 5)
    grown = app.rss_kb() - rss
    check(status == "Playing", "status answers after 1000 skips (%r)" % status)
    # the sanitizer holds freed memory back on purpose: there the figure means nothing
    check(grown < 5 * 1024 or os.environ.get("CHIPDISK_SANITIZED"),
          "resident memory after the skips within 5 MB (%+d kB)" % grown)

    send(env, "Quit")
    code = app.exit_status()
    check(code == 0, "Quit ends the program cleanly (status %s)" % code)
    out, err = app.output()
    check(out == "" and not unexpected_stderr(err), "nothing printed (%r, %r)"
          % (out[:200], err[:200]))


def nobus(procs, display, program, work, outdir, pulse):
    env = dict(display.env, SDL_AUDIODRIVER="pulseaudio",
               DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent")
    app = App(procs, display, program, work, outdir, env=env)
    wait_for(lambda: tone(pulse) in TONES, "a song at the sink")
    code = app.close_by_spot()
    check(code == 0, "the close spot ends it cleanly (status %s)" % code)
    out, err = app.output()
    check(out == "" and not unexpected_stderr(err), "nothing printed (%r, %r)"
          % (out[:200], err[:200]))


SCENARIOS = {"media": media, "nobus": nobus}


def main():
    name, program, writer, outdir = sys.argv[1:5]
    outdir = os.path.join(os.path.abspath(outdir), name)
    os.makedirs(outdir, exist_ok=True)
    work = scratch_dir("chipdisk-mpris-")
    procs = Processes()
    pulse = None
    try:
        env = base_env(os.path.join(work, "env"))
        if name == "media":
            start_session_bus(procs, env)
        display = Display(procs, env, window_manager=name == "media")
        songs = os.path.join(copy_data(work), "songs")
        shutil.rmtree(songs)
        os.mkdir(songs)
        subprocess.run([writer, songs], check=True)
        pulse = Pulse(procs, env)
        SCENARIOS[name](procs, display, os.path.abspath(program), work, outdir, pulse)
    finally:
        if pulse:
            pulse.stop()
        procs.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
