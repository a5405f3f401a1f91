"""A private X server for the tests that drive the real program."""
import os


def start_xvfb(spawn):
    """Starts Xvfb on a free display number through spawn(args, pass_fds=...) and
    returns the DISPLAY value; -displayfd lets parallel runs never collide."""
    r, w = os.pipe()
    spawn(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
          pass_fds=[w])
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(r, 16)
        if not chunk:
            raise RuntimeError("Xvfb did not start")
        number += chunk
    os.close(r)
    return ":" + number.decode().strip()
