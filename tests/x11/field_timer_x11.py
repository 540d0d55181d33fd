"""Typing into a field and a ticking `text` face, on a private Xvfb, without and with a
window manager (twm, when installed).

A `field "12"` gets a click, End, two Backspaces, then "3.5" and Return through xdotool:
its `data` is the typed value in each `change` and in `enter`. A `text` face with a
`rate` ticks: its `time` ends the blocking `view`.
Usage: field_timer_x11.py path/to/vyr
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from clipboard_x11 import start_xvfb  # noqa: E402

FIELD = """Vyr []
log: copy []
view [
    title "field-data"
    field "12" on-change [append log reduce [copy face/text face/data]]
        on-enter [append log reduce ['enter face/data] unview]
]
print mold log
"""

CLOCK = """Vyr []
n: 0
view [title "clock" text "0" rate 20 on-time [n: n + 1 face/text: form n if n = 5 [unview]]]
print n
"""

WANT = '["1" 1 "" none "3" 3 "3." 3.0 "3.5" 3.5 enter 3.5]'


def xdotool(env, *args):
    return subprocess.run(["xdotool"] + list(args), env=env, capture_output=True, text=True, timeout=30)


def run_field(exe, env, work):
    path = os.path.join(work, "field.vyr")
    with open(path, "w") as f:
        f.write(FIELD)
    proc = subprocess.Popen([exe, "--cli", path], env=env, text=True,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        found = xdotool(env, "search", "--sync", "--onlyvisible", "--name", "field-data")
        win = found.stdout.split()[0]
        time.sleep(0.3)
        # The field is the layout's first face: its middle is a few pixels in.
        xdotool(env, "mousemove", "--window", win, "30", "20")
        xdotool(env, "click", "1")
        time.sleep(0.2)
        for key in ("End", "BackSpace", "BackSpace"):
            xdotool(env, "key", "--delay", "60", key)
            time.sleep(0.1)
        xdotool(env, "type", "--delay", "100", "3.5")
        time.sleep(0.2)
        xdotool(env, "key", "Return")
        out, err = proc.communicate(timeout=30)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    assert out.strip() == WANT, "typed field: %r (stderr %r)" % (out, err)


def run_clock(exe, env, work):
    path = os.path.join(work, "clock.vyr")
    with open(path, "w") as f:
        f.write(CLOCK)
    out = subprocess.run([exe, "--cli", path], env=env, capture_output=True, text=True, timeout=30)
    assert out.stdout.strip() == "5", "text clock: %r (stderr %r)" % (out.stdout, out.stderr)


def main():
    exe = sys.argv[1]
    if not shutil.which("Xvfb") or not shutil.which("xdotool"):
        print("Xvfb or xdotool is not installed: skipped")
        return
    managers = [None] + (["twm"] if shutil.which("twm") else [])
    for manager in managers:
        xvfb, display = start_xvfb()
        wm = None
        try:
            env = dict(os.environ, DISPLAY=display, VYR_DISPLAY="x11")
            env.pop("VYR_HEADLESS_INPUT", None)
            if manager:
                wm = subprocess.Popen([manager], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                time.sleep(0.5)
            with tempfile.TemporaryDirectory() as work:
                run_field(exe, env, work)
                run_clock(exe, env, work)
        finally:
            if wm:
                wm.kill()
                wm.wait()
            xvfb.kill()
            xvfb.wait()
        print("passed", manager or "without a window manager")
    print("all passed")


if __name__ == "__main__":
    main()
