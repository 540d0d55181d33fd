#!/usr/bin/python3.11
"""load-json and to-json against CPython's json.loads and json.dumps on the same text.

A 4 MB document (fixed seed): an array of objects of integers, floats, strings, booleans,
nulls and nested arrays. Each case runs in its own process, timed inside the process
around the operation alone, best of three. Memory: the peak resident set of the decoding
process minus that of a process that only reads the text, against the text's size.
Targets: each time within 3x Python's; peak growth below 10x the text.
Usage: json_bench.py path/to/vyr [megabytes]
"""
import json
import os
import random
import subprocess
import sys
import tempfile

PY = "/usr/bin/python3.11"


def run(argv, stdin_text):
    p = subprocess.run(["/usr/bin/time", "-f", "MAXRSS %M"] + argv, input=stdin_text,
                       capture_output=True, text=True)
    if p.returncode != 0:
        raise SystemExit("failed: %r\n%s%s" % (argv, p.stdout, p.stderr))
    rss = [int(l.split()[1]) for l in p.stderr.splitlines() if l.startswith("MAXRSS")]
    return p.stdout, rss[-1] * 1024


def timed(out):
    for line in out.splitlines():
        if line.startswith("SECONDS"):
            return float(line.split()[1])
    raise SystemExit("no timing:\n" + out)


def vyr_case(exe, path, body):
    script = ("t: to string! read/binary %%%s d: load-json t t0: now/utc/time/precise %s "
              "t1: now/utc/time/precise print [\"SECONDS\" to float! t1 - t0]\n" % (path, body))
    out, rss = run([exe, "--cli"], script)
    return timed(out), rss


def py_case(path, body):
    script = ("import json, time\nt = open(%r, encoding='utf-8').read()\nd = json.loads(t)\n"
              "t0 = time.perf_counter()\n%s\nprint('SECONDS', time.perf_counter() - t0)\n"
              % (path, body))
    out, rss = run([PY, "-"], script)
    return timed(out), rss


def best(f, *args):
    runs = [f(*args) for _ in range(3)]
    return min(r[0] for r in runs), max(r[1] for r in runs)


def document(rng, size):
    items, total = [], 0
    while total < size:
        o = {"id": rng.randrange(1 << 30), "score": rng.random() * 1000,
             "name": "".join(rng.choice("abcdefghij klmn\"é") for _ in range(rng.randrange(4, 20))),
             "ok": rng.random() < 0.5, "none": None,
             "tags": [rng.randrange(100) for _ in range(rng.randrange(5))],
             "nested": [[rng.random(), "x"], []]}
        items.append(o)
        total += len(json.dumps(o, ensure_ascii=False)) + 1
    return json.dumps(items, ensure_ascii=False)


def main():
    exe = os.path.abspath(sys.argv[1])
    mb = float(sys.argv[2]) if len(sys.argv) > 2 else 4
    d = tempfile.mkdtemp(prefix="vyr-jsonbench-")
    path = os.path.join(d, "doc.json")
    with open(path, "w", encoding="utf-8") as f:
        f.write(document(random.Random(105), int(mb * 1024 * 1024)))
    size = os.path.getsize(path)
    try:
        _, base = run([exe, "--cli"], "t: to string! read/binary %%%s\n" % path)
        print("document: %d bytes" % size)
        print("%-8s %10s %10s %7s" % ("case", "vyr s", "python s", "ratio"))
        rss = 0
        for name, v, p in [("decode", "d: load-json t", "d = json.loads(t)"),
                           ("encode", "s: to-json d", "s = json.dumps(d, ensure_ascii=False)")]:
            vt, vr = best(vyr_case, exe, path, v)
            pt, _ = best(py_case, path, p)
            rss = max(rss, vr)
            print("%-8s %10.3f %10.3f %7.2f" % (name, vt, pt, vt / pt))
        print("peak memory growth: %.1f MB, %.1fx the text" % ((rss - base) / 1e6, (rss - base) / size))
    finally:
        os.unlink(path)
        os.rmdir(d)


if __name__ == "__main__":
    main()
