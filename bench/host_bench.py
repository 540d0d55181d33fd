#!/usr/bin/python3.11
"""Host services against the same work in CPython: read/binary and read of a 200 MB file,
and call/output of 200 MB from a child, each in a fresh process.

Each case runs in its own process, timed inside the process around the operation alone
(vyr with now/utc/time/precise, Python with time.perf_counter), best of three; peak memory
is the process's maximum resident set (GNU time). The data is ASCII text in lines of 100
bytes with LF ends, so both sides do the same decoding work.
Usage: host_bench.py path/to/vyr [megabytes]
"""
import os
import subprocess
import sys
import tempfile

PY = "/usr/bin/python3.11"


def run(argv, stdin_text):
    # GNU time reports the maximum resident set of exactly this process.
    p = subprocess.run(["/usr/bin/time", "-f", "MAXRSS %M"] + argv, input=stdin_text,
                       capture_output=True, text=True)
    if p.returncode != 0:
        raise SystemExit("failed: %r\n%s%s" % (argv, p.stdout, p.stderr))
    rss = [int(l.split()[1]) for l in p.stderr.splitlines() if l.startswith("MAXRSS")]
    return p.stdout, rss[-1] * 1024


def vyr_case(exe, body):
    # One line, so the console shows only the last result (print's, which it does not).
    script = ("t0: now/utc/time/precise %s "
              "t1: now/utc/time/precise print [\"SECONDS\" to float! t1 - t0]\n" % body)
    out, rss = run([exe, "--cli"], script)
    for line in out.splitlines():
        if line.startswith("SECONDS"):
            return float(line.split()[1]), rss
    raise SystemExit("no timing from vyr:\n" + out)


def py_case(body):
    script = ("import time, subprocess\nt0 = time.perf_counter()\n%s\n"
              "print('SECONDS', time.perf_counter() - t0)\n" % body)
    out, rss = run([PY, "-"], script)
    for line in out.splitlines():
        if line.startswith("SECONDS"):
            return float(line.split()[1]), rss
    raise SystemExit("no timing from python:\n" + out)


def best(f, *args):
    runs = [f(*args) for _ in range(3)]
    return min(r[0] for r in runs), max(r[1] for r in runs)


def main():
    exe = os.path.abspath(sys.argv[1])
    mb = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    d = tempfile.mkdtemp(prefix="vyr-hostbench-")
    path = os.path.join(d, "data.txt")
    line = ("x" * 99 + "\n").encode()
    with open(path, "wb") as f:
        for _ in range(mb * 1024 * 1024 // len(line)):
            f.write(line)
    size = os.path.getsize(path)
    cases = [
        ("read/binary", "data: read/binary %%%s" % path,
         "data = open(%r, 'rb').read()" % path),
        ("read (text)", "data: read %%%s" % path,
         "data = open(%r, encoding='utf-8').read()" % path),
        ("call/output", 'out: copy "" call/output "cat %s" out' % path,
         "out = subprocess.run(['cat', %r], stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)"
         ".stdout.decode('utf-8').replace('\\r\\n', '\\n').replace('\\r', '\\n')" % path),
    ]
    print("data: %d bytes" % size)
    print("%-12s %10s %10s %7s %12s %12s" % ("case", "vyr s", "python s", "ratio",
                                            "vyr peak MB", "py peak MB"))
    try:
        for name, v, p in cases:
            vt, vr = best(vyr_case, exe, v)
            pt, pr = best(py_case, p)
            print("%-12s %10.3f %10.3f %7.2f %12.1f %12.1f" %
                  (name, vt, pt, vt / pt, vr / 1e6, pr / 1e6))
    finally:
        os.unlink(path)
        os.rmdir(d)


if __name__ == "__main__":
    main()
