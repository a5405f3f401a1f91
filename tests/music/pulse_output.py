#!/usr/bin/python3
"""Real output: the sound layer plays through a private PulseAudio null sink, recorded
at its monitor: the music comes out, stop silences it, the next song changes it, and
the player goes on when the server dies. Usage: pulse_output.py PLAYER OUTPUT_DIR"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from desktop import RATE, Desktop, check, frequency, rms, wait_for  # noqa: E402

desk = Desktop(sys.argv[2])
try:
    desk.start_pulse()
    player = desk.spawn([sys.argv[1], desk.work], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                        env=desk.env, text=True)

    def send(command):
        player.stdin.write(command + "\n")
        player.stdin.flush()
        return player.stdout.readline().strip()

    check(player.stdout.readline().strip() == "ready pulseaudio", "the player opens the server's device")
    for song, hz in (("low", 261.6), ("high", 523.3)):
        send("play " + song)
        wait_for(lambda: rms(desk.mono(-RATE // 10)) > 500, "the %s song at the sink" % song, timeout=10)
        time.sleep(1.0)
        x = desk.mono(-RATE // 2)
        check(rms(x) > 1000 and abs(frequency(x) - hz) < 0.05 * hz,
              "%s song heard: rms %.0f, %.1f Hz" % (song, rms(x), frequency(x)))
        send("stop")
        time.sleep(0.6)
        check(max(map(abs, desk.mono(-RATE * 3 // 10))) < 20, "stop silences it")
    send("play high")
    time.sleep(2.5)
    check(send("spectrum") == "peak 12", "the spectrum follows the high song")
    desk.stop_pulse(9)  # SIGKILL: the server dies mid-song
    check(send("spectrum").startswith("peak ") and send("play low") == "ok", "the player goes on without it")
    check(send("quit") == "bye" and player.wait(5) == 0, "and quits cleanly")
finally:
    desk.close()
