#!/usr/bin/python3.11
"""Checks the compress and decompress natives against Python's zlib and gzip, both ways.

One `vyr --cli` process reads each input from a file, writes what `compress` makes in the
three framings, and writes what `decompress` makes of Python's streams (every level, fixed
codes, gzip with a file name) and of damaged ones; Python then reads ours and compares.
Usage: compress_oracle.py path/to/vyr
"""
import gzip
import io
import os
import random
import subprocess
import sys
import tempfile
import zlib


def raw(data, level, strategy=zlib.Z_DEFAULT_STRATEGY):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
    return c.compress(data) + c.flush()


def named_gzip(data):
    buf = io.BytesIO()
    with gzip.GzipFile(filename="data.bin", mode="wb", fileobj=buf, mtime=1) as f:
        f.write(data)
    return buf.getvalue()


def main():
    exe = sys.argv[1]
    rnd = random.Random(23)
    words = [b"block ", b"series", b"value", b"\n", b"compress ", b"[", b"]"]
    inputs = {
        "empty": b"",
        "one": b"\x00",
        "random": rnd.randbytes(1 << 16),
        "repetitive": b"0123456789" * 6554,
        "mixed": b"".join(rnd.choice(words) if rnd.random() < 0.9 else rnd.randbytes(40)
                          for _ in range(150000))[: 1 << 20],
    }
    readers = {"zlib": lambda b: zlib.decompress(b, 15), "deflate": lambda b: zlib.decompress(b, -15),
               "gzip": gzip.decompress}
    failures = []
    with tempfile.TemporaryDirectory() as d:
        script, expect_back, damaged = [], [], []
        for name, data in inputs.items():
            src = os.path.join(d, name + ".in")
            open(src, "wb").write(data)
            script.append("d: read/binary %%%s ()" % src)  # no result printed
            for method in readers:
                script.append("write/binary %%%s compress d '%s" % (os.path.join(d, name + "." + method), method))
            theirs = {"zlib-%d" % lv: ("zlib", zlib.compress(data, lv)) for lv in (0, 1, 6, 9)}
            theirs.update({"deflate-%d" % lv: ("deflate", raw(data, lv)) for lv in (0, 6)})
            theirs["deflate-fixed"] = ("deflate", raw(data, 6, zlib.Z_FIXED))
            theirs["gzip"] = ("gzip", gzip.compress(data, 6))
            theirs["gzip-named"] = ("gzip", named_gzip(data))
            for tag, (method, stream) in theirs.items():
                p = os.path.join(d, "%s.%s.py" % (name, tag))
                open(p, "wb").write(stream)
                script.append("write/binary %%%s.back decompress read/binary %%%s '%s" % (p, p, method))
                expect_back.append((p + ".back", data, "%s %s" % (name, tag)))
            if data:
                z = zlib.compress(data)
                for tag, (method, stream) in {"cut": ("zlib", z[:-1]),
                                              "adler": ("zlib", z[:-1] + bytes([z[-1] ^ 1]))}.items():
                    p = os.path.join(d, "%s.%s.bad" % (name, tag))
                    open(p, "wb").write(stream)
                    script.append("print type? try [decompress read/binary %%%s '%s]" % (p, method))
                    damaged.append("%s %s" % (name, tag))
        proc = subprocess.run([exe, "--cli"], input="\n".join(script) + "\n", capture_output=True, text=True)
        printed = [l for l in proc.stdout.splitlines() if not l.startswith("== ")]
        if printed != ["error"] * len(damaged):
            failures.append("damaged streams: %r (stderr %r)" % (printed, proc.stderr[-300:]))
        for name, data in inputs.items():
            for method, read in readers.items():
                try:
                    ours = open(os.path.join(d, name + "." + method), "rb").read()
                    if read(ours) != data:
                        failures.append("Python reads our %s of %s differently" % (method, name))
                except Exception as e:
                    failures.append("Python refuses our %s of %s: %s" % (method, name, e))
        for path, data, what in expect_back:
            if not os.path.exists(path) or open(path, "rb").read() != data:
                failures.append("we read Python's %s wrongly" % what)
    for f in failures:
        print("FAIL:", f)
    print("%d failure(s)" % len(failures))
    sys.exit(1 if failures else 0)


main()
