#!/usr/bin/python3.11
"""Checks binary!, bitset! and the encoding natives against Python's own libraries.

Runs one `vyr --cli` process over generated cases and compares every answer with the
answer of base64/binascii, hashlib, hmac and zlib, a short base-58 reference, and a set
model of bitsets (membership read inside and beyond the arrays, all four flag pairs).
Usage: bytes_oracle.py path/to/vyr
"""
import base64
import hashlib
import hmac
import os
import random
import subprocess
import sys
import tempfile
import zlib

MARK = "<<oracle-case>>"
B58 = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz"


def b58encode(data):
    zeros = len(data) - len(data.lstrip(b"\0"))
    n = int.from_bytes(data, "big")
    out = ""
    while n:
        n, r = divmod(n, 58)
        out = B58[r] + out
    return "1" * zeros + out


def signed32(u):
    return u - (1 << 32) if u >= 1 << 31 else u


def hexbin(data):
    return "#{" + data.hex().upper() + "}"


def tcp(data):
    s = 0
    for i in range(0, len(data) - 1, 2):
        s += data[i] << 8 | data[i + 1]
    if len(data) % 2:
        s += data[-1] << 8
    while s >> 16:
        s = (s & 0xFFFF) + (s >> 16)
    return ~s & 0xFFFF


def main():
    exe = sys.argv[1]
    rnd = random.Random(20261210)
    cases = []  # (vyr expression printed, expected text)

    def case(expr, expected):
        cases.append((expr, expected))

    # Base-N both ways on random data of 0-100 bytes.
    for _ in range(60):
        data = bytes(rnd.randrange(256) for _ in range(rnd.randrange(101)))
        lit = hexbin(data)
        case("enbase %s" % lit, base64.b64encode(data).decode())
        case("enbase/base %s 16" % lit, data.hex().upper())
        case("enbase/base %s 2" % lit, "".join(format(b, "08b") for b in data))
        case("enbase/base %s 58" % lit, b58encode(data))
        case('mold/flat debase "%s"' % base64.b64encode(data).decode(), hexbin(data))
        case('mold/flat debase "%s"' % base64.b64encode(data).decode().rstrip("="), hexbin(data))
        case('mold/flat debase/base "%s" 16' % data.hex(), hexbin(data))
        case('mold/flat debase/base "%s" 2' % "".join(format(b, "08b") for b in data), hexbin(data))
        case('mold/flat debase/base "%s" 58' % b58encode(data), hexbin(data))
    # Leading zero bytes are the base-58 special case.
    for zeros in range(4):
        data = b"\0" * zeros + bytes(rnd.randrange(256) for _ in range(rnd.randrange(5)))
        case("enbase/base %s 58" % hexbin(data), b58encode(data))
        case('mold/flat debase/base "%s" 58' % b58encode(data), hexbin(data))

    # Checksums of strings (UTF-8) and of a file.
    texts = ["", "abc", "The quick brown fox", "é€𝄞 mixed", "x" * 1000]
    for t in texts:
        data = t.encode()
        lit = '"%s"' % t
        case("checksum %s 'crc32" % lit, str(signed32(zlib.crc32(data))))
        case("checksum %s 'adler32" % lit, str(signed32(zlib.adler32(data))))
        case("checksum %s 'tcp" % lit, str(tcp(data)))
        for m in ["md5", "sha1", "sha256", "sha384", "sha512"]:
            case("mold/flat checksum %s '%s" % (lit, m), hexbin(hashlib.new(m, data).digest()))
            case('mold/flat checksum/with %s \'%s "key"' % (lit, m),
                 hexbin(hmac.new(b"key", data, m).digest()))
    fd, path = tempfile.mkstemp(prefix="vyr-oracle-")
    data = bytes(rnd.randrange(256) for _ in range(5000))
    os.write(fd, data)
    os.close(fd)
    case("checksum %%%s 'crc32" % path, str(signed32(zlib.crc32(data))))
    case("mold/flat checksum %%%s 'sha256" % path, hexbin(hashlib.sha256(data).digest()))

    # Bitsets: a model set with a flag (complemented: every value but the listed ones).
    probe = 420
    ops = {
        "union": lambda a, b: a | b, "or~": lambda a, b: a | b,
        "intersect": lambda a, b: a & b, "and~": lambda a, b: a & b,
        "exclude": lambda a, b: a & ~b,
        "difference": lambda a, b: a ^ b, "xor~": lambda a, b: a ^ b,
    }

    def spec(values, flag):
        items = " ".join(str(v) for v in sorted(values))
        return "make bitset! [%s%s]" % ("not " if flag else "", items)

    def member(values, flag, v):
        return (v in values) != flag

    for fa in (False, True):
        for fb in (False, True):
            for _ in range(3):
                a = set(rnd.sample(range(rnd.choice([8, 64, 300])), rnd.randrange(1, 8)))
                b = set(rnd.sample(range(rnd.choice([8, 64, 300])), rnd.randrange(1, 8)))
                for name, f in ops.items():
                    expr = ('r: %s %s %s s: copy "" repeat i %d [append s either find r i - 1 '
                            '["1"] ["0"]] s' % (name, spec(a, fa), spec(b, fb), probe))
                    want = "".join("1" if f(member(a, fa, v), member(b, fb, v)) else "0"
                                   for v in range(probe))
                    case(expr, want)
                expr = ('r: %s s: copy "" repeat i %d [append s either pick r i - 1 ["1"] ["0"]] s'
                        % (spec(a, fa), probe))
                case(expr, "".join("1" if member(a, fa, v) else "0" for v in range(probe)))

    script = []
    for expr, _ in cases:
        script.append('print "%s"' % MARK)
        script.append("print %s" % expr if not expr.startswith("r: ") else
                      "print (%s)" % expr)
    proc = subprocess.run([exe, "--cli"], input="\n".join(script) + "\n",
                          capture_output=True, text=True, timeout=600)
    os.unlink(path)
    got = proc.stdout.split(MARK + "\n")[1:]
    failed = 0
    for i, (expr, want) in enumerate(cases):
        answer = got[i].rstrip("\n") if i < len(got) else "<no output>"
        if answer != want:
            failed += 1
            if failed <= 10:
                print("case: %s\n  expected: %s\n  got:      %s" % (expr, want, answer))
    print("%d passed, %d failed" % (len(cases) - failed, failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
