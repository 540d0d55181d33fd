"""A window shown from the text console's prompt is drawn while the prompt waits.

Runs `vyr --cli` on a pseudo-terminal with VYR_DISPLAY=x11 on a private Xvfb, shows a red
window with view/no-wait and, with no further command, counts the red pixels on the screen
through a connection of our own (tests/x11/pixel_count.cpp). The window's timer prints
while a line is being typed: the line stays whole and is drawn again below. A handler that
quits meanwhile leaves the terminal as it found it.
Usage: prompt_x11.py path/to/vyr path/to/pixel_count
"""
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "pty"))
sys.path.insert(0, HERE)
import console_pty  # noqa: E402
from clipboard_x11 import start_xvfb  # noqa: E402


def red_pixels(probe, env):
    out = subprocess.run([probe, "ff0000"], env=env, capture_output=True, text=True, timeout=30)
    return int(out.stdout.strip() or -1)


def main():
    exe, probe = sys.argv[1], sys.argv[2]
    if not shutil.which("Xvfb"):
        print("Xvfb is not installed: skipped")
        return
    xvfb, display = start_xvfb()
    try:
        env = {"DISPLAY": display, "VYR_DISPLAY": "x11"}
        console_pty.EXE = exe
        s = console_pty.Session(env=env)
        s.prompt()
        s.send('view/no-wait layout [base 100x100 255.0.0 rate 5'
               ' on-time [print "tick" face/rate: none show face]]\n')
        s.prompt()
        s.send("1 +")
        s.expect(r"tick\r\n")
        s.wait_row(">> 1 +")
        s.send(" 2\n")
        s.expect(r"== 3")
        penv = dict(os.environ, DISPLAY=display)
        end = time.time() + 10 * console_pty.SLOW
        n = 0
        while time.time() < end:
            n = red_pixels(probe, penv)
            if n >= 100 * 100:
                break
            s.settle(0.1)
        assert n >= 100 * 100, "the window is not drawn while the prompt waits: %d red pixels" % n
        s.send("3 + 4")
        s.wait_row(">> 3 + 4")
        s.send("\n")
        s.expect(r"== 7")
        s.send("\x04")
        rc, _ = s.finish()
        assert rc == 0, rc

        s = console_pty.Session(env=env)
        s.prompt()
        s.send("view/no-wait layout [base rate 5 on-time [quit/return 3]]\n")
        s.prompt()
        s.send("1 +")
        rc, after = s.finish()
        assert rc == 3, rc
        console_pty.same_settings(s, after)
        print("all passed")
    finally:
        xvfb.kill()
        xvfb.wait()


if __name__ == "__main__":
    main()
