#!/usr/bin/python3.11
"""replace/all and split on texts of 100 KB and 1 MB with a match every 10 characters,
against CPython's str.replace and str.split on the same data. The 1 MB time must stay
within 12 times the 100 KB time (linear: no shifting of the whole tail per match).

Each case runs in a fresh process, timed inside it around the operation alone (vyr with
now/precise/utc, Python with time.perf_counter), best of three.
Usage: series_library_bench.py path/to/vyr
"""
import subprocess
import sys
import time

PY = "/usr/bin/python3.11"


def vyr_time(exe, size, op):
    script = ('s: head clear skip append/dup copy "" "123456789," %d %d %s '
              't0: now/precise/utc r: %s t1: now/precise/utc '
              'print ["SECONDS" to float! difference t1 t0 length? r]\n'
              % (size // 10 + 1, size, "", op))
    best = None
    for _ in range(3):
        out = subprocess.run([exe, "--cli"], input=script, capture_output=True,
                             text=True, timeout=600).stdout
        line = [l for l in out.splitlines() if l.startswith("SECONDS")]
        if not line:
            raise SystemExit("no timing from vyr:\n" + out)
        t = float(line[0].split()[1])
        best = t if best is None else min(best, t)
    return best


def py_time(size, op):
    s = ("123456789," * (size // 10 + 1))[:size]
    best = None
    for _ in range(3):
        t0 = time.perf_counter()
        (s.replace(",", ";;") if op == "replace" else s.split(","))
        t = time.perf_counter() - t0
        best = t if best is None else min(best, t)
    return best


def main():
    exe = sys.argv[1]
    ops = {"replace": 'replace/all s "," ";;"', "split": 'split s #","'}
    failed = False
    for name, expr in ops.items():
        small = vyr_time(exe, 100_000, expr)
        large = vyr_time(exe, 1_000_000, expr)
        ratio = large / small
        py = py_time(1_000_000, name)
        print("%-8s vyr 100 KB %.4f s, 1 MB %.4f s (x%.1f); python3.11 1 MB %.5f s "
              "(vyr/python %.0f)" % (name, small, large, ratio, py, large / py))
        if ratio > 12:
            print("  1 MB takes more than 12 times the 100 KB time")
            failed = True
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
