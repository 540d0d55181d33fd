"""A drop-list and an alert under a window manager whose focus follows the pointer (twm).

Runs a script with VYR_DISPLAY=x11 on a private Xvfb with twm, and works it with xdotool as
a person would: the drop-list's list stays open as the pointer enters it and an item is
chosen with the mouse; while an alert is open the window beneath takes no clicks (a second
click on the button that opened it opens no second alert), and Return closes the alert
with the pointer moved onto it; after the file dialog closes, the keys typed next reach
the window that opened it. twm runs with its default focus settings.
Usage: twm_x11.py path/to/vyr
"""
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from clipboard_x11 import start_xvfb  # noqa: E402

SLOW = float(os.environ.get("VYR_TEST_SLOW", "1"))

SCRIPT = """Vyr []
opened: 0
view/no-wait/options layout [
    dl: drop-list data ["alpha" "beta" "gamma"] on-change [print ["chosen" face/selected]]
    b: button "Alert" [
        opened: opened + 1
        print ["alert" opened]
        alert "A message long enough to wrap in the alert box, so that it takes more lines."
        print "closed"
    ]
    return
    fd: field 120 on-enter [print ["typed" face/text]]
    fb: button "File" [print ["file" mold request-file] set-focus fd]
] [offset: 100x100]
print ["ready" to-pair dl/offset to-pair dl/size to-pair b/offset to-pair b/size to-pair fb/offset to-pair fb/size]
do-events
"""


class Run:
    def __init__(self, exe, env):
        fd, self.path = tempfile.mkstemp(suffix=".vyr")
        os.write(fd, SCRIPT.encode())
        os.close(fd)
        self.proc = subprocess.Popen([exe, "--cli", self.path], env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, text=True)
        self.lines = []

    def expect(self, start):
        # The script prints a line an event; reads until one starts with `start`.
        deadline = time.time() + 15 * SLOW
        while time.time() < deadline:
            ready, _, _ = select.select([self.proc.stdout], [], [], 0.2)
            if not ready:
                continue
            line = self.proc.stdout.readline()
            if not line:
                break
            self.lines.append(line.rstrip("\n"))
            if line.startswith(start):
                return line.split()
        raise AssertionError("no %r line; got %r" % (start, self.lines))

    def end(self):
        self.proc.kill()
        self.proc.wait()
        os.unlink(self.path)


def xdo(env, *args):
    out = subprocess.run(["xdotool"] + [str(a) for a in args], env=env, capture_output=True,
                         text=True, timeout=30)
    return out.stdout


def settle():
    time.sleep(0.6 * SLOW)


def pair(text):
    x, y = text.split("x")
    return int(x), int(y)


def main():
    exe = sys.argv[1]
    if not (shutil.which("Xvfb") and shutil.which("twm") and shutil.which("xdotool")):
        print("Xvfb, twm or xdotool is not installed: skipped")
        return
    xvfb, display = start_xvfb()
    env = dict(os.environ, DISPLAY=display, VYR_DISPLAY="x11")
    for name in ("VYR_CONSOLE", "VYR_HEADLESS_INPUT"):
        env.pop(name, None)
    rc = tempfile.NamedTemporaryFile("w", suffix=".twmrc", delete=False)
    # Windows where their program puts them; the focus follows the pointer into a window.
    rc.write('UsePPosition "on"\nRandomPlacement\n')
    rc.close()
    twm = subprocess.Popen(["twm", "-f", rc.name], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    run = None
    try:
        time.sleep(1 * SLOW)
        run = Run(exe, env)
        ready = run.expect("ready")
        (dx, dy), (dw, dh), (bx, by), (bw, bh), (fx, fy), (fw, fh) = (pair(v) for v in ready[1:7])
        # The window's client area starts at 100x100 on the screen.
        drop = (100 + dx + dw // 2, 100 + dy + dh // 2)
        button = (100 + bx + bw // 2, 100 + by + bh // 2)

        xdo(env, "mousemove", *drop, "click", 1)
        settle()
        # Into the list, onto its second item, whose rows are as high as the control.
        xdo(env, "mousemove", drop[0], drop[1] + dh // 2 + dh + dh // 2)
        settle()
        xdo(env, "click", 1)
        assert run.expect("chosen")[1] == "2", run.lines

        xdo(env, "mousemove", *button, "click", 1)
        run.expect("alert")
        settle()
        xdo(env, "mousemove", *button, "click", 1)
        settle()
        alerts = xdo(env, "search", "--name", "^Message$").split()
        assert len(alerts) == 1, "alerts open: %d" % len(alerts)
        geometry = dict(line.split("=") for line in
                        xdo(env, "getwindowgeometry", "--shell", alerts[0]).split())
        xdo(env, "mousemove", int(geometry["X"]) + 20, int(geometry["Y"]) + 10)
        settle()
        xdo(env, "key", "Return")
        run.expect("closed")
        settle()
        assert not xdo(env, "search", "--name", "^Message$").split(), "the alert stays open"
        assert not any(line.startswith("alert 2") for line in run.lines), run.lines

        # After the file dialog closes, the keys typed next reach the window that opened it.
        xdo(env, "mousemove", 100 + fx + fw // 2, 100 + fy + fh // 2, "click", 1)
        settle()
        dialogs = xdo(env, "search", "--name", "^Open$").split()
        assert len(dialogs) == 1, "file dialogs open: %d" % len(dialogs)
        xdo(env, "key", "Escape")
        assert run.expect("file")[1] == "none", run.lines
        settle()
        xdo(env, "type", "abc")
        xdo(env, "key", "Return")
        assert run.expect("typed")[1] == "abc", run.lines
        print("all passed")
    finally:
        if run:
            run.end()
        twm.kill()
        twm.wait()
        os.unlink(rc.name)
        xvfb.kill()
        xvfb.wait()


if __name__ == "__main__":
    main()
