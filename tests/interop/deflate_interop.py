"""Interop of our DEFLATE codecs with CPython's zlib and gzip, both ways.

Run by CTest as: python3.11 deflate_interop.py PATH/TO/codec_pipe
Our raw, zlib and gzip output must decode in Python; Python's output at every level
(stored, fixed and dynamic blocks), gzip.compress and hand-built gzip headers with every
flag must decode in ours; and a damaged stream must be refused.
"""
import gzip
import random
import struct
import subprocess
import sys
import zlib

PIPE = sys.argv[1]
failures = []


def run(op, framing, data):
    p = subprocess.run([PIPE, op, framing], input=data, capture_output=True)
    return p.returncode, p.stdout


def check(cond, what):
    if not cond:
        failures.append(what)


def inputs():
    rnd = random.Random(19)
    words = [b"block ", b"series", b"value", b"\n", b"compress ", b"[", b"]", b"0x7F", b"the "]
    text = b"".join(rnd.choice(words) for _ in range(200000))[: 1 << 20]
    noise = rnd.randbytes(1 << 20)
    mixed = bytearray()
    while len(mixed) < (1 << 20):
        mixed += text[: rnd.randrange(1, 5000)] if rnd.random() < 0.7 else rnd.randbytes(rnd.randrange(1, 3000))
    return {
        "0 B": b"",
        "1 B": b"x",
        "64 KiB random": noise[: 1 << 16],
        "64 KiB repetitive": b"abcabcabd" * 7282 + b"ab",
        "1 MiB random": noise,
        "1 MiB repetitive": bytes(1 << 20),
        "1 MiB mixed": bytes(mixed[: 1 << 20]),
    }


def raw_deflate(data, level, strategy=zlib.Z_DEFAULT_STRATEGY):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
    return c.compress(data) + c.flush()


def gzip_member(data, flags, name=b"file.txt", comment=b"made by hand", extra=b"AB\x02\x00xy"):
    head = bytearray(b"\x1f\x8b\x08" + bytes([flags]) + struct.pack("<I", 1700000000) + b"\x02\x03")
    if flags & 4:
        head += struct.pack("<H", len(extra)) + extra
    if flags & 8:
        head += name + b"\x00"
    if flags & 16:
        head += comment + b"\x00"
    if flags & 2:
        head += struct.pack("<H", zlib.crc32(head) & 0xFFFF)
    return bytes(head) + raw_deflate(data, 6) + struct.pack("<II", zlib.crc32(data), len(data) & 0xFFFFFFFF)


for name, data in inputs().items():
    # Ours through Python.
    for framing, decode in (("raw", lambda b: zlib.decompress(b, -15)),
                            ("zlib", lambda b: zlib.decompress(b, 15)),
                            ("gzip", gzip.decompress)):
        rc, out = run("compress", framing, data)
        check(rc == 0, f"{name}: compress {framing} failed")
        try:
            check(decode(out) == data, f"{name}: Python reads our {framing} differently")
        except Exception as e:
            failures.append(f"{name}: Python refuses our {framing}: {e}")

    # Python through ours.
    streams = []
    for level in range(10):
        streams.append((f"zlib level {level}", "zlib", zlib.compress(data, level)))
        streams.append((f"raw level {level}", "raw", raw_deflate(data, level)))
        streams.append((f"gzip level {level}", "gzip", gzip.compress(data, level)))
    streams.append(("raw fixed codes", "raw", raw_deflate(data, 6, zlib.Z_FIXED)))
    streams.append(("raw huffman only", "raw", raw_deflate(data, 6, zlib.Z_HUFFMAN_ONLY)))
    if len(data) <= 1 << 16:
        for flags in range(32):
            streams.append((f"gzip flags {flags}", "gzip", gzip_member(data, flags)))
    for what, framing, stream in streams:
        rc, out = run("decompress", framing, stream)
        check(rc == 0 and out == data, f"{name}: we read Python's {what} wrongly (status {rc})")

    # Damaged streams are refused.
    if data:
        z = zlib.compress(data, 6)
        g = gzip.compress(data)
        damaged = {
            "zlib cut short": ("zlib", z[:-1]),
            "zlib wrong Adler-32": ("zlib", z[:-1] + bytes([z[-1] ^ 1])),
            "gzip wrong CRC-32": ("gzip", g[:-8] + bytes([g[-8] ^ 1]) + g[-7:]),
            "gzip wrong ISIZE": ("gzip", g[:-4] + struct.pack("<I", (len(data) + 1) & 0xFFFFFFFF)),
            "gzip ISIZE FFFFFFF0": ("gzip", g[:-4] + b"\xf0\xff\xff\xff"),
            "raw with a trailing byte": ("raw", raw_deflate(data, 6) + b"\x00"),
        }
        for what, (framing, stream) in damaged.items():
            rc, _ = run("decompress", framing, stream)
            check(rc == 1, f"{name}: {what} not refused (status {rc})")

for f in failures:
    print("FAIL:", f)
print(f"{len(failures)} failure(s)")
sys.exit(1 if failures else 0)
