#!/usr/bin/python3.11
"""The text console fed through a pipe and pasted on a pseudo-terminal, against CPython's
REPL doing the same work.

- 100,000 one-line commands ("i + i"): `vyr --cli` prints each result; Python reads the
  lines and prints "==" and eval() of each. Target: vyr within 3x.
- A block of 1,000 and of 3,000 lines with brackets on every line, the console checking the
  pending text after every line: piped to `vyr --cli` (against `python3.11 -i` reading the
  same list literal from a pipe) and pasted on a pseudo-terminal (against python3.11's REPL
  there). Targets: 1,000 lines under 0.1 s; 3,000 lines at most 3.5x the time of 1,000.
- One line of 128,000 and of 256,000 characters pasted on a pseudo-terminal (a braced
  string whose length is asked for): the line editor and the check. Target: 256,000 at most
  2.5x the time of 128,000.
Each case is a fresh process, timed from outside (wall clock), best of three; a pty case is
timed from the first byte pasted to the result.
Usage: console_bench.py path/to/vyr
"""
import fcntl
import os
import select
import struct
import subprocess
import sys
import termios
import time

PY = "/usr/bin/python3.11"


def best(argv, text, runs=3):
    t = None
    for _ in range(runs):
        t0 = time.perf_counter()
        p = subprocess.run(argv, input=text, capture_output=True, text=True)
        dt = time.perf_counter() - t0
        if p.returncode != 0:
            raise SystemExit("failed: %r\n%s" % (argv, p.stdout[-500:] + p.stderr[-500:]))
        t = dt if t is None else min(t, dt)
    return t, p.stdout


def pty_paste(argv, prompt, text, want, runs=3):
    """Starts argv on a pseudo-terminal, waits for its prompt, pastes text (reading what it
    echoes meanwhile) and answers the seconds until `want` shows."""
    t = None
    for _ in range(runs):
        master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
        env = dict(os.environ, TERM="xterm", LC_ALL="C")
        env.pop("DISPLAY", None)
        p = subprocess.Popen(argv, stdin=slave, stdout=slave, stderr=slave, env=env,
                             preexec_fn=os.setsid, close_fds=True)
        os.set_blocking(master, False)
        out = b""

        def pump(until, limit):
            nonlocal out
            while until not in out:
                r, _, _ = select.select([master], [], [], 1)
                if r:
                    try:
                        out += os.read(master, 1 << 20)
                    except (BlockingIOError, OSError):
                        pass
                if time.perf_counter() > limit:
                    raise SystemExit("timed out: %r; tail %r" % (argv, out[-300:]))

        pump(prompt, time.perf_counter() + 30)
        out = b""
        data = text.encode()
        i = 0
        t0 = time.perf_counter()
        limit = t0 + 300
        while i < len(data) or want not in out:
            r, w, _ = select.select([master], [master] if i < len(data) else [], [], 1)
            if r:
                try:
                    out += os.read(master, 1 << 20)
                except (BlockingIOError, OSError):
                    pass
            if w:
                try:
                    i += os.write(master, data[i:i + 4096])
                except BlockingIOError:
                    pass
            if time.perf_counter() > limit:
                raise SystemExit("timed out: %r; tail %r" % (argv, out[-300:]))
        dt = time.perf_counter() - t0
        p.kill()
        p.wait()
        os.close(master)
        os.close(slave)
        t = dt if t is None else min(t, dt)
    return t


def vyr_block(n):
    return "x: [\n" + "".join("[%d [x y] (z) {s}]\n" % i for i in range(n)) + "]\nlength? x\n"


def py_block(n):
    return ("x = [\n" + "".join('  [%d, ["x", "y"], ("z",), "s"],\n' % i for i in range(n))
            + "]\n\nlen(x)\n")


def main():
    exe = sys.argv[1]
    failed = False
    cmds = "".join("%d + %d\n" % (i, i) for i in range(100000))
    tv, out = best([exe, "--cli"], cmds)
    assert out.endswith("== 199998\n"), out[-100:]
    tp, _ = best([PY, "-c", "import sys\nfor l in sys.stdin: print('==', eval(l))"], cmds)
    print("100,000 piped commands: vyr %.3f s, python3.11 %.3f s, ratio %.2f (target <= 3)"
          % (tv, tp, tv / tp))
    failed |= tv / tp > 3

    piped, pasted = {}, {}
    for n in (1000, 3000):
        tv, out = best([exe, "--cli"], vyr_block(n))
        assert out.endswith("== %d\n" % n), out[-100:]
        tp, out = best([PY, "-i", "-q"], py_block(n))
        piped[n] = tv
        print("%5d-line block piped:  vyr %.4f s, python3.11 -i %.4f s" % (n, tv, tp))
        tv = pty_paste([exe, "--cli"], b">> ", vyr_block(n).replace("\n", "\r"),
                       b"== %d" % n)
        tp = pty_paste([PY, "-q"], b">>> ", py_block(n).replace("\n", "\r"), b"\r\n%d\r\n" % n)
        pasted[n] = tv
        print("%5d-line block pasted: vyr %.4f s, python3.11 REPL %.4f s" % (n, tv, tp))
    for name, t in (("piped", piped), ("pasted", pasted)):
        print("  %s: 1,000 lines %.4f s (target < 0.1 s), 3,000 / 1,000 = %.2f (target <= 3.5)"
              % (name, t[1000], t[3000] / t[1000]))
        failed |= t[1000] >= 0.1 or t[3000] / t[1000] > 3.5

    line = {}
    for n in (128000, 256000):
        tv = pty_paste([exe, "--cli"], b">> ", "length? {%s}\r" % ("a" * n), b"== %d" % n)
        tp = pty_paste([PY, "-q"], b">>> ", "len('%s')\r" % ("a" * n), b"\r\n%d\r\n" % n)
        line[n] = tv
        print("%d-character line pasted: vyr %.4f s, python3.11 REPL %.4f s" % (n, tv, tp))
    print("  256,000 / 128,000 = %.2f (target <= 2.5)" % (line[256000] / line[128000]))
    failed |= line[256000] / line[128000] > 2.5
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
