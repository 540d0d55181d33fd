#!/usr/bin/python3.11
"""Drives `vyr` on a pseudo-terminal (TERM=xterm) and checks what a user sees.

Usage: console_pty.py path/to/vyr. Each check starts a fresh process, types keys, and
reads the screen through a small screen model (carriage return, line feed, erase to the
end of the row, cursor right, clear screen; wide characters take two cells). The
terminal's settings are compared before and after every session.
"""
import fcntl
import os
import re
import select
import signal
import struct
import subprocess
import sys
import termios
import time
import unicodedata

EXE = None
# Under the collector stress switch every allocation collects: start-up alone takes seconds,
# and more on a loaded machine. Waits grow with it; what is checked stays the same.
SLOW = 5 if os.environ.get("VYR_GC_STRESS") else 1
LEFT, RIGHT, UP, DOWN = "\x1b[D", "\x1b[C", "\x1b[A", "\x1b[B"
CTRL_LEFT, CTRL_RIGHT = "\x1b[1;5D", "\x1b[1;5C"
HOME, END, DELETE = "\x1b[H", "\x1b[F", "\x1b[3~"


class Screen:
    def __init__(self):
        self.rows = [[]]
        self.row = 0
        self.col = 0

    def _line(self):
        while len(self.rows) <= self.row:
            self.rows.append([])
        return self.rows[self.row]

    def feed(self, text):
        i = 0
        while i < len(text):
            c = text[i]
            if c == "\x1b":
                m = re.match(r"\x1b\[([0-9;]*)([A-Za-z~])", text[i:])
                if m:
                    arg, final = m.group(1), m.group(2)
                    if final == "K":
                        del self._line()[self.col:]
                    elif final == "C":
                        self.col += int(arg or 1)
                    elif final == "H":
                        self.row, self.col = 0, 0
                    elif final == "J":
                        self.rows = [[]]
                    i += len(m.group(0))
                    continue
                m = re.match(r"\x1b\][^\x07]*\x07", text[i:])
                i += len(m.group(0)) if m else 1
                continue
            if c == "\r":
                self.col = 0
            elif c == "\n":
                self.row += 1
                self.col = 0
            elif c == "\x07":
                pass
            else:
                line = self._line()
                while len(line) < self.col:
                    line.append(" ")
                w = 2 if unicodedata.east_asian_width(c) in "WF" else 1
                cells = [c] + [""] * (w - 1)
                line[self.col:self.col + w] = cells
                self.col += w
            i += 1

    def text(self, r):
        return "".join(self.rows[r]).rstrip() if r < len(self.rows) else ""

    def current(self):
        return self.text(self.row)

    def all(self):
        return [self.text(r) for r in range(len(self.rows))]


class Session:
    def __init__(self, args=(), env=None, cols=80, rows=24, leader=False):
        self.master, slave = os.openpty()
        self.set_size(cols, rows, fd=slave)
        e = dict(os.environ)
        e.update({"TERM": "xterm", "LC_ALL": "C"})
        e.pop("DISPLAY", None)
        if env:
            e.update(env)

        def child():
            os.setsid()
            fcntl.ioctl(0, termios.TIOCSCTTY, 0)

        self.before = termios.tcgetattr(slave)
        cmd = [EXE, "--cli", *args]
        if leader:
            cmd = [sys.executable, os.path.abspath(__file__), "--leader", *cmd]
        self.proc = subprocess.Popen(cmd, stdin=slave, stdout=slave,
                                     stderr=slave, env=e, preexec_fn=child, close_fds=True)
        self.slave = slave
        self.screen = Screen()
        self.raw = b""

    def set_size(self, cols, rows, fd=None):
        fcntl.ioctl(self.master if fd is None else fd, termios.TIOCSWINSZ,
                    struct.pack("HHHH", rows, cols, 0, 0))

    def settings(self):
        return termios.tcgetattr(self.slave)

    def pump(self, timeout):
        r, _, _ = select.select([self.master], [], [], timeout)
        if not r:
            return False
        try:
            data = os.read(self.master, 65536)
        except OSError:
            return False
        if not data:
            return False
        self.raw += data
        self.screen.feed(data.decode("utf-8", "replace"))
        return True

    def expect(self, pattern, timeout=10):
        """Waits until the pattern shows in the raw output after what was matched before."""
        end = time.time() + timeout * SLOW
        rx = re.compile(pattern.encode() if isinstance(pattern, str) else pattern)
        while True:
            m = rx.search(self.raw, getattr(self, "pos", 0))
            if m:
                self.pos = m.end()
                return m
            if time.time() > end or (not self.pump(0.05) and self.proc.poll() is not None
                                     and not self.pump(0.05)):
                raise AssertionError("timed out waiting for %r; screen:\n%s\nraw tail: %r"
                                     % (pattern, "\n".join(self.screen.all()), self.raw[-300:]))

    def settle(self, t=0.3):
        end = time.time() + t
        while time.time() < end:
            self.pump(0.05)

    def wait_row(self, want, timeout=10):
        """Waits until the cursor's row reads `want` (a string or a predicate)."""
        ok = want if callable(want) else (lambda row: row == want)
        end = time.time() + timeout * SLOW
        while not ok(self.screen.current()):
            if time.time() > end:
                raise AssertionError("row is %r, not %r" % (self.screen.current(), want))
            self.pump(0.05)
        return self.screen.current()

    def send(self, text, pause=0.0):
        os.write(self.master, text.encode("utf-8") if isinstance(text, str) else text)
        if pause:
            time.sleep(pause)

    def paste(self, text, timeout=60):
        """Writes a long text as a terminal paste does, reading what comes back meanwhile
        (a plain write would wait on the echo that nobody reads)."""
        data = text.encode("utf-8")
        i = 0
        end = time.time() + timeout * SLOW
        while i < len(data):
            assert time.time() < end, "the paste was not taken"
            _, w, _ = select.select([], [self.master], [], 0.05)
            if w:
                fl = fcntl.fcntl(self.master, fcntl.F_GETFL)
                fcntl.fcntl(self.master, fcntl.F_SETFL, fl | os.O_NONBLOCK)
                try:
                    i += os.write(self.master, data[i:i + 4096])
                except BlockingIOError:
                    pass
                finally:
                    fcntl.fcntl(self.master, fcntl.F_SETFL, fl)
            self.pump(0)

    def prompt(self):
        """Waits for a fresh, empty prompt (not a redraw of a line being typed)."""
        self.expect(r"(?<=\n)\r>> \x1b\[K")

    def finish(self, timeout=10):
        end = time.time() + timeout * SLOW
        while self.proc.poll() is None and time.time() < end:
            self.pump(0.05)
        if self.proc.poll() is None:
            self.proc.kill()
            raise AssertionError("vyr did not end")
        self.settle(0.1)
        after = termios.tcgetattr(self.slave)
        os.close(self.master)
        os.close(self.slave)
        return self.proc.returncode, after


failures = []


def check(name):
    def wrap(fn):
        try:
            fn()
            print("ok   %s" % name)
        except Exception as e:  # noqa: BLE001 - every failure is reported
            failures.append(name)
            print("FAIL %s: %s" % (name, e))
        return fn
    return wrap


def same_settings(s, after):
    assert after == s.before, "terminal settings changed:\n%s\n%s" % (s.before, after)


def ends_cleanly(s):
    """Ctrl+D at a fresh prompt ends the console with status 0, the terminal as it was."""
    s.prompt()
    s.send("\x04")
    rc, after = s.finish()
    assert rc == 0, rc
    same_settings(s, after)


def t_results_and_keys():
    s = Session()
    s.expect(r"--== Vyr")
    cases = [
        ('"ac' + LEFT + "b" + END + '"', '== "abc"'),
        ("1 + 22\x17" + "3", "== 4"),               # Ctrl+W: word back
        ("1 + 55\x7f", "== 6"),                     # Backspace
        ("1 + 5\x08" + "7", "== 8"),                # Ctrl+H
        ("1 + 79" + HOME + RIGHT * 5 + DELETE, "== 8"),
        ("2 * 3" + CTRL_LEFT + "1", "== 26"),
        ("2 * 3" + HOME + CTRL_RIGHT + "0", "== 60"),
        ("+ 1\x01" + "1 \x05" + "0", "== 11"),      # Ctrl+A, Ctrl+E
        ("garbage\x155", "== 5"),                   # Ctrl+U
        ("1 + 1" + HOME + "\x1b[3;5~" + "7", "== 7 + 1"[0:0] + "== 8"),  # Ctrl+Delete
    ]
    for keys, want in cases:
        s.prompt()
        s.send(keys + "\r")
        s.expect(re.escape(want) + r"\r?\n")
    s.prompt()
    s.send("\x0c")  # Ctrl+L clears and draws the prompt again
    s.expect(r"\x1b\[2J")
    s.send("3\r")
    s.expect(r"== 3")
    # A line and Ctrl+D typed while a command runs (the terminal cooked, where Ctrl+D is an
    # end-of-file mark, not a byte) reach the next prompts: the line runs, then the console
    # ends as on Ctrl+D typed at an empty prompt.
    s.prompt()
    s.send("wait 1\r")
    s.expect(r"wait 1[^\n]*\n")
    s.send("1 + 1\r\x04")
    s.expect(r"== 2")
    rc, after = s.finish()
    assert rc == 0, rc
    same_settings(s, after)


def t_terminal_keys():
    # The terminal's conventions: Ctrl+K to the end of the line, Ctrl+U to its start,
    # Ctrl+W the word before the caret, Alt+B / Alt+F by word, Alt+D the next word;
    # other Alt keys type nothing.
    s = Session()
    ALT_B, ALT_F, ALT_D = "\x1bb", "\x1bf", "\x1bd"
    cases = [
        ("1 + 2 junk" + LEFT * 5 + "\x0b", ">> 1 + 2", "== 3"),
        ("junk 4 + 5" + LEFT * 5 + "\x15", ">> 4 + 5", "== 9"),
        ("6 * 7 junk\x17", ">> 6 * 7", "== 42"),
        ("10 + 1" + ALT_B + "2", ">> 10 + 21", "== 31"),
        ("10 + 1\x01" + ALT_F + "0", ">> 100 + 1", "== 101"),
        ("junk 3\x01" + ALT_D, ">>  3", "== 3"),
        ("2 * 3" + CTRL_LEFT + "1" + CTRL_RIGHT + "0", ">> 2 * 130", "== 260"),
        ("5\x1bx\x1b.\x1b\u00e9" + "5", ">> 55", "== 55"),
    ]
    for keys, row, want in cases:
        s.prompt()
        s.send(keys)
        s.wait_row(row)
        s.send("\r")
        s.expect(re.escape(want) + r"\r?\n")
    ends_cleanly(s)


def t_history():
    s = Session()
    for line in ["10 + 1", "20 + 2", "20 + 2", ""]:
        s.prompt()
        s.send(line + "\r")
    s.prompt()
    s.send(UP + UP + "\r")     # the repeated line was kept once
    s.expect(r"== 11")
    s.prompt()
    s.send("3" + UP + UP + UP + UP + DOWN + DOWN + DOWN + DOWN + "\r")
    s.expect(r"== 3\r?\n")
    s.prompt()
    s.send("4" + UP)           # the caret goes to the entry's end
    s.wait_row(">> 3")
    s.send("0\r")
    s.expect(r"== 30")
    s.prompt()
    s.send("\x04")
    rc, after = s.finish()
    same_settings(s, after)


def t_hidden_and_prin():
    s = Session()
    s.prompt()
    s.send('x: ask/hide "pw: "\r')
    s.expect(r"pw: ")
    s.send("secret")
    s.wait_row("pw: ******")
    s.send("\r")
    s.prompt()
    s.send("x\r")
    s.expect(r'== "secret"')
    s.prompt()
    s.send(UP + UP)             # the hidden answer is not in the history
    s.wait_row('>> x: ask/hide "pw: "')
    s.send("\x15\r")
    s.prompt()
    s.send('prin "abc" y: ask "? "\r')
    s.expect(r"abc\? ")
    s.send("12")
    s.wait_row("abc? 12")
    s.send("\r")
    s.prompt()
    s.send("y\r")
    s.expect(r'== "12"')
    s.prompt()
    s.send("\x04")
    s.finish()


def t_interrupts():
    s = Session()
    s.prompt()
    s.send("[\r")
    s.expect(r"\[    ")
    s.send("1 2\x03")            # Ctrl+C at a prompt: the gathered lines are dropped
    s.expect(r"\(escape\)")
    s.prompt()
    s.send("forever []\r")
    end = time.time() + 10
    while not s.settings()[3] & termios.ICANON:  # cooked again while evaluating
        assert time.time() < end, "raw mode while evaluating"
        time.sleep(0.02)
    time.sleep(0.2)
    s.send("\x03")
    s.expect(r"\(halted\)")
    s.prompt()
    s.send("f: func [] [f] n: 0 loop 3 [n: n + 1] n\r")
    s.expect(r"== 3")
    s.prompt()
    s.send("while [true] [1 + 1]\r")
    time.sleep(0.3)
    s.send("\x03")
    s.expect(r"\(halted\)")
    s.prompt()
    s.send("1 + 1\r")
    s.expect(r"== 2")
    s.prompt()
    s.send("\x04")
    rc, after = s.finish()
    assert rc == 0, rc
    same_settings(s, after)


def children_running(argv):
    """The processes whose command line is argv."""
    want = "\0".join(argv).encode()
    found = []
    for pid in os.listdir("/proc"):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if f.read().rstrip(b"\0") == want:
                    found.append(pid)
        except OSError:
            pass
    return found


def t_interrupt_waits():
    # Ctrl+C while a command waits on a child (call/wait, with or without its output
    # captured) or on the clock halts it like any other command: the halt report, the
    # child ended, the console going on.
    s = Session()
    for cmd in ['call/wait "sleep 7.54"', 'o: copy {} call/wait/output "sleep 7.54" o',
                "wait 7.54"]:
        s.prompt()
        s.send(cmd + "\r")
        end = time.time() + 5
        while "sleep" in cmd and not children_running(["sleep", "7.54"]):
            assert time.time() < end, "the child never started"
            time.sleep(0.02)
        time.sleep(0.3)
        t0 = time.time()
        s.send("\x03")
        s.expect(r"\(halted\)\r?\n", timeout=3)
        assert time.time() - t0 < 2, "the halt waited for the child"
        assert b"halt-request" not in s.raw, s.raw[-200:]
        end = time.time() + 2
        while children_running(["sleep", "7.54"]):
            assert time.time() < end, "the child outlived the halt"
            time.sleep(0.02)
    # A halt while the console runs its own code (the prompt's) drops just that.
    s.prompt()
    s.send('system/console/prompt: does [wait 7.54 ">> "]\r')
    s.expect(r"== func")
    time.sleep(0.3)
    s.send("\x03")
    s.expect(r"\(halted\)\r?\n", timeout=3)
    s.send('system/console/prompt: ">> "\r')
    s.expect(r'== ">> "')
    s.prompt()
    s.send("1 + 1\r")
    s.expect(r"== 2")
    ends_cleanly(s)


def t_second_interrupt():
    s = Session()
    s.prompt()
    s.send("x: append/dup #{} #{00} 400000000 ()\r")
    s.prompt()
    # One long native: no call or loop check inside. "go" shows just before it starts.
    s.send("print {g} print {o} compress x 'gzip\r")
    s.expect(r"g\r?\no\r?\n")
    time.sleep(0.1)
    s.send("\x03")
    time.sleep(0.1)
    s.send("\x03")
    rc, after = s.finish()
    assert rc == 130, rc
    same_settings(s, after)


def t_paste_and_utf8():
    s = Session()
    s.prompt()
    s.send("1 + 1\r2 + 2\r[\r3\r]\r")  # one write
    s.expect(r"== 2")
    s.expect(r"== 4")
    s.expect(r"== \[\r?\n    3\r?\n\]")  # the typed line breaks are molded
    s.prompt()
    s.send('"é日本x"' + LEFT + LEFT + "語" + "\r")
    s.expect('== "é日本語x"')
    s.prompt()
    s.send('length? "é日"\r')
    s.expect(r"== 2")
    s.prompt()
    s.send(b'"a\xffb"\r')         # a malformed byte becomes U+FFFD
    s.expect('== "a\ufffdb"')
    s.prompt()
    s.send("\x04")
    rc, after = s.finish()
    same_settings(s, after)


def t_long_paste():
    # A 3,000-line block and a 100,000-character line pasted at the prompt (their times
    # are in bench/console_bench.py): the continuation prompts follow the block, and the
    # results are whole.
    s = Session()
    s.prompt()
    s.paste("x: [\r" + "".join("[%d [a b] {s}]\r" % i for i in range(3000)) + "]\r")
    s.expect(r"== \[\r?\n    \[0 \[a b\] \"s\"\]", timeout=60)
    assert s.raw.count(b"[    ") >= 3000, "a continuation prompt per line"
    s.prompt()
    s.send("length? x\r")
    s.expect(r"== 3000\r?\n")
    s.prompt()
    s.paste("length? {" + "a" * 100000 + "}\r")
    s.expect(r"== 100000\r?\n", timeout=60)
    ends_cleanly(s)


def t_resize():
    s = Session(cols=80)
    s.prompt()
    s.set_size(20, 10)
    os.kill(s.proc.pid, signal.SIGWINCH)
    s.settle(0.2)
    s.send("append/dup {} {x} 40")
    s.wait_row(lambda row: len(row) <= 19 and row.endswith("40"))
    s.send(HOME)
    s.wait_row(lambda row: row.startswith(">> append") and len(row) <= 19)
    s.send("\r")
    m = s.expect(r"== [^\r\n]*")
    assert m.group(0) == b'== "xxxxxxxxxxxx...', m.group(0)
    s.set_size(0, 0)
    os.kill(s.proc.pid, signal.SIGWINCH)
    s.settle(0.2)
    s.prompt()
    s.send("append/dup {} {x} 100\r")
    m = s.expect(r"== [^\r\n]*")
    assert len(m.group(0)) == 79 and m.group(0).endswith(b"..."), m.group(0)
    s.prompt()
    s.send("\x04")
    s.finish()


def t_completion():
    s = Session()
    s.prompt()
    s.send("vyr-complete-input: func [s c] [either find head s {one} [reduce [at {1 + 41} 7]]"
           " [either find head s {bad} [1 / 0] [reduce [{co} {cow} {cod}]]]]\r")
    s.prompt()
    s.send("one\t\r")
    s.expect(r"== 42")
    s.prompt()
    s.send("c\t")
    s.expect(r"cow cod")
    s.wait_row(">> co")
    s.send(END + "\x15" + "bad\t")   # a failing completer keeps the line
    s.wait_row(">> bad")
    s.send("\x15\t" + "7\r")   # Tab on an empty line does nothing
    s.expect(r"== 7")
    s.prompt()
    s.send("\x04")
    s.finish()


def t_suspend_and_signals():
    s = Session(leader=True)
    pid = int(s.expect(r"PID:(\d+)").group(1))
    s.prompt()
    s.send("12")
    s.settle()
    s.send("\x1a")                       # Ctrl+Z
    s.expect(r"STOPPED")
    assert s.settings() == s.before, "raw mode left on while suspended"
    os.killpg(pid, signal.SIGCONT)
    s.settle(0.3)
    s.send("3\r")
    s.expect(r"== 123")
    s.prompt()
    s.settle(0.2)
    os.kill(pid, signal.SIGTSTP)         # a stop from outside, while reading
    s.expect(r"STOPPED")
    assert s.settings() == s.before, "raw mode left on while stopped"
    os.killpg(pid, signal.SIGCONT)
    s.settle(0.3)
    s.send("4\r")
    s.expect(r"== 4")
    s.prompt()
    s.settle(0.2)
    os.kill(pid, signal.SIGTERM)         # while reading, in raw mode
    rc, after = s.finish()
    assert rc == 0, rc                   # SIGTERM ends the process quietly with status 0
    same_settings(s, after)
    s = Session()
    s.prompt()
    s.settle(0.2)
    s.proc.send_signal(signal.SIGHUP)
    rc, after = s.finish()
    assert rc == 0, rc
    same_settings(s, after)


def t_catch_script():
    # --catch on a terminal: Ctrl+C halts the script, the prompt follows without banner.
    path = "/tmp/vyr_pty_%d.vyr" % os.getpid()
    with open(path, "w") as f:
        f.write('Vyr [] print "started" forever []\n')
    try:
        s = Session(args=("--catch", path))
        s.expect(r"started")
        time.sleep(0.2)
        s.send("\x03")
        s.expect(r"\(halted\)")
        s.prompt()
        s.send("1 + 1\r")
        s.expect(r"== 2")
        s.prompt()
        s.send("\x04")
        rc, after = s.finish()
        assert rc == 0, rc
        assert b"--== Vyr" not in s.raw, s.raw
        same_settings(s, after)
    finally:
        os.remove(path)


def t_plain_reads():
    # TERM=dumb: prompts, but no editing (the keys arrive as typed).
    s = Session(env={"TERM": "dumb"})
    s.expect(r">> ")
    s.send("1 + 2\n")
    s.expect(r"== 3")
    s.send("\x04")
    rc, after = s.finish()
    assert rc == 0, rc
    assert b"\x1b[" not in s.raw, s.raw


def t_headless_timer_at_prompt():
    # On the headless display too a window's timer falls due while the prompt waits: the
    # time the prompt sleeps moves the display's own clock.
    s = Session(env={"VYR_DISPLAY": "headless"})
    s.prompt()
    s.send('view/no-wait layout [base rate 10 on-time [print "tick" face/rate: none]]\n')
    s.expect(r"tick\r\n")
    s.send("\x04")
    rc, _ = s.finish()
    assert rc == 0, rc


def leader(argv):
    """A session leader holding the terminal, as a shell does: vyr runs as the foreground
    job in a process group of its own, which is not orphaned, so a stop really stops it.
    Reports the job's pid and its stops on the terminal; ends with the job's status."""
    r, w = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(w)
        os.setpgid(0, 0)
        os.read(r, 1)  # until it is the foreground group
        os.execv(argv[0], argv)
    os.setpgid(pid, pid)
    signal.signal(signal.SIGTTOU, signal.SIG_IGN)
    os.tcsetpgrp(0, pid)
    os.write(1, b"PID:%d\r\n" % pid)
    os.write(w, b"x")
    while True:
        _, status = os.waitpid(pid, os.WUNTRACED)
        if os.WIFSTOPPED(status):
            os.write(1, b"STOPPED\r\n")
            continue
        if os.WIFSIGNALED(status):
            signal.signal(os.WTERMSIG(status), signal.SIG_DFL)
            os.kill(os.getpid(), os.WTERMSIG(status))
        os._exit(os.WEXITSTATUS(status))


def main():
    if sys.argv[1] == "--leader":
        leader(sys.argv[2:])
    global EXE
    EXE = sys.argv[1]
    tests = [(n, f) for n, f in globals().items() if n.startswith("t_")]
    only = sys.argv[2:] or None
    for n, f in tests:
        if only and n not in only:
            continue
        check(n)(f)
    if failures:
        print("%d failed: %s" % (len(failures), ", ".join(failures)))
        sys.exit(1)
    print("all passed")


if __name__ == "__main__":
    main()
