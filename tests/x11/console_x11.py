"""The graphical console on a private Xvfb with twm, worked with xdotool as a person would.

Runs `vyr` with VYR_CONSOLE=gui and, before its prompt, a probe (--catch) that writes what
the terminal sees to out.txt: each key with the input line and the caret after it, each
scroll with the top line and the scroller's position, each pointer move over the text with
the same, and the values `see` is given. The cases:
- dragging the scroll bar's thumb moves the view with it, in proportion, and the view stays
  where the thumb is dropped;
- a busy command is halted by Esc and by Ctrl+Break: "(halted)", a new prompt, keys typed
  meanwhile kept in order for it, and the window works on; closing the window (twm's
  f.delete, bound to Alt+F4 here) while a command runs ends the console;
- Ctrl+Alt+A does nothing (Alt+A selects all), and with a keymap that has AltGr, AltGr+a,
  o, q, e type their characters and trigger no Alt shortcut.
With VYR_X11_SHOTS naming a folder, a screenshot of the screen is saved there after each case
(ImageMagick's import).
Usage: console_x11.py path/to/vyr
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "gui-console"))
from clipboard_x11 import start_xvfb  # noqa: E402
from fonts import font_env  # noqa: E402

SLOW = float(os.environ.get("VYR_TEST_SLOW", "1"))

PROBE = r"""Vyr []
t: gui-console-ctx/terminal
see: func [value] [write/append %out.txt append mold/all :value newline]
key-press: :t/press-key
t/press-key: func [event] [
    key-press event
    see reduce ['key event/key copy t/line t/pos]
]
scroll-event: :t/scroll
t/scroll: func [event] [
    scroll-event event
    see reduce ['scroll t/top gui-console-ctx/scroller/position]
]
mouse-move: :t/mouse-move
t/mouse-move: func [offset /local s] [
    mouse-move offset
    s: gui-console-ctx/scroller
    see reduce ['over t/top s/position s/page-size s/max-size gui-console-ctx/console/size/y]
]
all-selected: :t/select-all
t/select-all: func [] [see 'all-selected all-selected]
"""

CFG = 'Vyr [\n\tPurpose: "Vyr Console Configuration File"\n]\n\nwin-pos: (20, 40)\nwin-size: 560x360\n'

failures = []


def check(name, got, want):
    if got != want:
        failures.append("%s:\n  got  %r\n  want %r" % (name, got, want))


def xdo(env, *args):
    return subprocess.run(["xdotool"] + [str(a) for a in args], env=env, capture_output=True,
                          text=True, timeout=30).stdout


class Console:
    def __init__(self, exe, env):
        self.home = tempfile.mkdtemp()
        cfg = os.path.join(self.home, ".vyr", "Vyr-Console")
        os.makedirs(cfg, mode=0o700)
        with open(os.path.join(cfg, "console-cfg.vyr"), "w") as f:
            f.write(CFG)
        os.chmod(os.path.join(cfg, "console-cfg.vyr"), 0o600)
        with open(os.path.join(self.home, "probe.vyr"), "w") as f:
            f.write(PROBE)
        self.env = dict(env, HOME=self.home, VYR_CONSOLE="gui", **font_env(self.home))
        self.proc = subprocess.Popen([exe, "--catch", "probe.vyr"], cwd=self.home, env=self.env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.window = self.wait_for(lambda: xdo(env, "search", "--name", "^Vyr Console$").split(),
                                    "the console window")[0]
        geometry = dict(line.split("=") for line in
                        xdo(env, "getwindowgeometry", "--shell", self.window).split())
        self.width, self.height = int(geometry["WIDTH"]), int(geometry["HEIGHT"])
        # twm gives the keys to the window under the pointer; End is the first key the
        # probe hears once the prompt waits.
        self.move(self.width // 2, self.height // 3)
        self.wait_for(lambda: self.key("End") or self.records("key"), "the prompt", 0.5)

    def out(self):
        path = os.path.join(self.home, "out.txt")
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8") as f:
            return f.read().splitlines()

    def records(self, kind):
        return [line for line in self.out() if line.startswith("[" + kind + " ") or line == kind]

    def wait_for(self, test, what, pause=0.1):
        deadline = time.time() + 20 * SLOW
        while time.time() < deadline:
            got = test()
            if got:
                return got
            if self.proc.poll() is not None:
                raise AssertionError("the console ended waiting for %s: %s" % (what, self.proc.stderr.read()))
            time.sleep(pause * SLOW)
        raise AssertionError("no %s; out.txt: %r" % (what, self.out()))

    def wait_seen(self, value):
        """Waits for the line `value` (a molded value the probe's `see` writes)."""
        return self.wait_for(lambda: value in self.out(), value)

    def over(self):
        """The last pointer move's record: the top line, the scroller's position, page
        size and largest position, and the console's height."""
        last = self.records("over")[-1:]
        return [int(v) for v in last[0].strip("[]").split()[1:]] if last else None

    def move(self, x, y):
        xdo(self.env, "mousemove", "--window", self.window, x, y)

    def key(self, *keys):
        xdo(self.env, "key", "--delay", 30, *keys)

    def type(self, text):
        xdo(self.env, "type", "--delay", 15, text)

    def run(self, line):
        self.type(line)
        self.key("Return")

    def end(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()
        shutil.rmtree(self.home, ignore_errors=True)


def settle(seconds=0.5):
    time.sleep(seconds * SLOW)


def shot(env, name):
    folder = os.environ.get("VYR_X11_SHOTS")
    if folder and shutil.which("import"):
        subprocess.run(["import", "-window", "root", os.path.join(folder, name + ".png")], env=env,
                       timeout=30)


def thumb_drag(c):
    # 100 lines, the view at the prompt. The thumb is taken at its middle and dragged up
    # twice by the same distance: each time the view moves to the row the thumb's place
    # stands for, by as many rows; let go, it stays there.
    c.run("repeat i 100 [print i] see 'printed")
    c.wait_seen("printed")
    c.move(c.width // 2, c.height // 2)
    top, pos, page, most, console_h = c.wait_for(lambda: c.over(), "a pointer move's record")
    # The bar's parts as the layer lays them out: arrows as long as the bar is wide (17
    # pixels at 96 dpi), a thumb as long as the page is in the range.
    arrow, track = 17, console_h - 2 * 17
    thumb = max(8, track * page // most)
    free, max_pos = track - thumb, most - page + 1
    offset = free * (pos - 1) // (max_pos - 1)
    menu_h = c.height - console_h
    x, y = c.width - 8, menu_h + arrow + offset + thumb // 2
    step = free // 4
    c.move(x, y)
    settle(0.3)
    xdo(c.env, "mousedown", 1)
    settle(0.3)
    tops = []
    for i in (1, 2):
        c.move(x, y - i * step)
        settle(0.5)
        tops.append(c.wait_for(lambda: c.records("scroll"), "a scroll")[-1])
    xdo(c.env, "mouseup", 1)
    settle(0.5)
    c.move(c.width // 2, c.height // 2 + 10)
    settle(0.5)
    got = [[int(v) for v in r.strip("[]").split()[1:]] for r in tops] + [c.over()[:2]]
    want = [[p, p] for p in (1 + ((max_pos - 1) * (offset - i * step) * 2 + free) // (2 * free)
                             for i in (1, 2, 2))]
    check("thumb: the view follows the thumb and stays", got, want)
    shot(c.env, "h64-thumb")


def halt(c):
    # Esc halts a busy loop; keys typed while it ran, before the Esc and after it, come to
    # the next prompt in order. Ctrl+Break halts it too; the window works on.
    c.run("n: 0 forever [n: n + 1]")
    settle()
    c.type("see n")
    c.key("Escape")
    c.type(" > 0")
    c.key("Return")
    c.wait_seen("#(true)")
    c.run("forever [n: n + 1]")
    settle()
    c.key("ctrl+Pause")
    c.run("see skip tail t/lines -8")
    for shown in ('">> n: 0 forever [n: n + 1]" "(halted)" ">> see n > 0"',
                  '">> forever [n: n + 1]" "(halted)" ">> see skip tail t/lines -8"'):
        c.wait_for(lambda: [line for line in c.out() if shown in line], shown)
    c.run("print 'alive")
    c.run("see pick tail t/lines -2")
    c.wait_seen('"alive"')
    shot(c.env, "h64-halt")
    # A close while a command runs halts it and ends the console.
    c.run("forever [n: n + 1]")
    settle()
    c.key("alt+F4")
    try:
        rc = c.proc.wait(timeout=20 * SLOW)
    except subprocess.TimeoutExpired:
        rc = "still running"
    check("close while busy", rc, 0)


def chords(c):
    # Ctrl+Alt+A does nothing here (no caret to the line start, no select-all); Alt+A
    # selects all.
    c.type("abc")
    c.key("Left", "ctrl+alt+a")
    c.type("X")
    c.key("Right")
    c.wait_seen('[key right "abXc" 4]')
    check("Ctrl+Alt+A: nothing selected", c.records("all-selected"), [])
    c.key("alt+a")
    c.wait_seen("all-selected")
    c.key("End", "BackSpace", "BackSpace", "BackSpace", "BackSpace")
    # A keymap with AltGr (German): AltGr with a, o, q and e types æ ø @ €, and neither
    # selects all (Alt+A) nor opens the settings (Alt+O).
    subprocess.run(["setxkbmap", "-layout", "de"], env=c.env, check=True, timeout=30)
    settle()
    c.key("End")
    xdo(c.env, "keydown", "ISO_Level3_Shift")
    c.key("a", "o", "q", "e")
    xdo(c.env, "keyup", "ISO_Level3_Shift")
    c.key("Left")
    c.wait_seen('[key left "^(E6)^(F8)@^(20AC)" 3]')
    settle()
    check("AltGr: no select-all", len(c.records("all-selected")), 1)
    check("AltGr: no settings", xdo(c.env, "search", "--name", "^Settings$").split(), [])
    shot(c.env, "h64-altgr")


CASES = [thumb_drag, halt, chords]


def main():
    exe = os.path.abspath(sys.argv[1])
    needed = ("Xvfb", "twm", "xdotool", "setxkbmap")
    if not all(shutil.which(n) for n in needed):
        print("Xvfb, twm, xdotool or setxkbmap is not installed: skipped")
        return
    xvfb, display = start_xvfb()
    env = {k: v for k, v in os.environ.items()
           if k not in ("VYR_CONSOLE", "VYR_DISPLAY", "VYR_HEADLESS_INPUT", "VYR_GC_STRESS")}
    env["DISPLAY"] = display
    rc = tempfile.NamedTemporaryFile("w", suffix=".twmrc", delete=False)
    # Windows where their program puts them, the focus following the pointer; Alt+F4 asks
    # the window under the pointer to close.
    rc.write('UsePPosition "on"\nRandomPlacement\n"F4" = m : window : f.delete\n')
    rc.close()
    twm = subprocess.Popen(["twm", "-f", rc.name], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    try:
        settle(1)
        for case in CASES:
            c = None
            try:
                c = Console(exe, env)
                case(c)
            except AssertionError as e:
                failures.append("%s: %s" % (case.__name__, e))
            finally:
                if c:
                    c.end()
    finally:
        twm.kill()
        twm.wait()
        os.unlink(rc.name)
        xvfb.kill()
        xvfb.wait()
    if failures:
        print("\n".join(failures))
        sys.exit(1)
    print("all passed")


if __name__ == "__main__":
    main()
