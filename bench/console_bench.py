#!/usr/bin/python3.11
"""The text console fed through a pipe, against CPython doing the same work.

- 100,000 one-line commands ("i + i"): `vyr --cli` prints each result; Python reads the
  lines and prints "==" and eval() of each. Target: vyr within 3x.
- A 1,000-line block with brackets on every line, fed line by line: the console checks
  the whole pending text again at every line. Target: under 1 s.
Each case is a fresh process, timed from outside (wall clock), best of three.
Usage: console_bench.py path/to/vyr
"""
import subprocess
import sys
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


def main():
    exe = sys.argv[1]
    cmds = "".join("%d + %d\n" % (i, i) for i in range(100000))
    tv, out = best([exe, "--cli"], cmds)
    assert out.endswith("== 199998\n"), out[-100:]
    tp, _ = best([PY, "-c", "import sys\nfor l in sys.stdin: print('==', eval(l))"], cmds)
    print("100,000 piped commands: vyr %.3f s, python3.11 %.3f s, ratio %.2f (target <= 3)"
          % (tv, tp, tv / tp))
    block = "[\n" + "".join("[%d [x y] (z) {s}]\n" % i for i in range(1000)) + "]\n"
    tb, out = best([exe, "--cli"], block)
    assert out.startswith("== [[0 [x y] (z)"), out[:100]
    print("1,000-line block fed line by line: %.3f s (target < 1 s)" % tb)


if __name__ == "__main__":
    main()
