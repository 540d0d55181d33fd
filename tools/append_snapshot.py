#!/usr/bin/env python3
"""Appends a saved environment to the executable that wrote it.

Usage: append_snapshot.py EXECUTABLE SNAPSHOT

The image starts on a page boundary of the file (start-up maps its pages), and a trailer
ends the file: b"VYRSNAPT", the image's start and its length (little-endian u64 each). An
image already appended is replaced.
"""
import os
import struct
import sys

TRAILER = b"VYRSNAPT"
PAGE = 4096


def main():
    exe, snapshot = sys.argv[1], sys.argv[2]
    with open(snapshot, "rb") as f:
        image = f.read()
    with open(exe, "r+b") as f:
        f.seek(0, os.SEEK_END)
        size = f.tell()
        if size >= 24:
            f.seek(size - 24)
            tail = f.read(24)
            if tail[:8] == TRAILER:
                start = struct.unpack("<Q", tail[8:16])[0]
                f.truncate(start)
                size = start
        start = (size + PAGE - 1) // PAGE * PAGE
        f.seek(size)
        f.write(b"\0" * (start - size))
        f.write(image)
        f.write(TRAILER + struct.pack("<QQ", start, len(image)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
