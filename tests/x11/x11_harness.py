"""What the X11 tests share: a private Xvfb, the lines of a vyr process, a vyr script run to
its end, and a tally of checks."""
import os
import shutil
import subprocess
import time


def start_xvfb():
    r, w = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "640x480x24",
                             "-nolisten", "tcp", "-noreset"], pass_fds=(w,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    num = b""
    deadline = time.time() + 15
    while time.time() < deadline:
        c = os.read(r, 1)
        if not c or c == b"\n":
            break
        num += c
    os.close(r)
    if not num:
        proc.kill()
        raise SystemExit("Xvfb did not start")
    return proc, ":" + num.decode()


def open_display():
    """A private Xvfb and an environment that sends vyr to it; None, the test counted as
    skipped, where Xvfb is not installed."""
    if not shutil.which("Xvfb"):
        print("Xvfb is not installed: skipped")
        print("0 passed, 0 failed")
        return None
    xvfb, display = start_xvfb()
    return xvfb, dict(os.environ, DISPLAY=display, VYR_DISPLAY="x11")


def read_line(proc):
    line = proc.stdout.readline()
    if not line:
        raise AssertionError("writer ended early: " + proc.stderr.read())
    return line.rstrip("\n")


def run_reader(exe, env, script, cwd):
    path = os.path.join(cwd, "reader.vyr")
    with open(path, "w") as f:
        f.write("Vyr []\n" + script)
    proc = subprocess.run([exe, "--cli", path], env=env, cwd=cwd, capture_output=True,
                          text=True, timeout=120)
    return proc.stdout.strip(), proc.stderr.strip()


class Tally:
    """Checks counted as they pass or fail; a failure says what was seen."""

    def __init__(self):
        self.passed = self.failed = 0

    def check(self, what, ok, detail):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("%s: %s" % (what, detail))

    def equal(self, what, got, want):
        if got == want:
            self.passed += 1
        else:
            self.failed += 1
            print("%s:\n  expected: %r\n  got:      %r" % (what, want, got))

    def report(self):
        """Prints the counts; the exit status."""
        print("%d passed, %d failed" % (self.passed, self.failed))
        return 1 if self.failed else 0
