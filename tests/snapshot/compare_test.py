#!/usr/bin/env python3
"""The saved environment against the construction it replaces.

Usage: compare_test.py VYR

Starts VYR both ways (from the image appended to it, and by the construction with
VYR_CONSTRUCT=1) in a process unlike the build's (another HOME, current directory, command
line and time zone; no display, then Xvfb with VYR_DISPLAY=x11 when Xvfb is installed) and
compares the whole environments as VYR_DUMP_ENVIRONMENT writes them. Then checks that the
comparison sees a damaged image, and that an image of another build, or a cut one, is
refused with a message before anything of it is loaded.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

TRAILER = b"VYRSNAPT"


def run(vyr, env, cwd, args, timeout=600):
    return subprocess.run([vyr] + args, env=env, cwd=cwd, capture_output=True,
                          timeout=timeout)


def dump(vyr, base_env, cwd, extra, path):
    env = dict(base_env, VYR_DUMP_ENVIRONMENT=path, **extra)
    r = run(vyr, env, cwd, ["script.vyr", "one", "two words", ""])
    if r.returncode != 0:
        sys.exit(f"FAIL: {extra} ended with {r.returncode}: {r.stderr.decode(errors='replace')}")
    with open(path, "rb") as f:
        return f.read()


def first_difference(a, b):
    la, lb = a.split(b"\n"), b.split(b"\n")
    for i, (x, y) in enumerate(zip(la, lb)):
        if x != y:
            return f"line {i + 1}: {x[:120]!r} against {y[:120]!r}"
    return f"lengths {len(la)} and {len(lb)} lines"


def compare(vyr, env, cwd, tmp, label):
    snap = dump(vyr, env, cwd, {}, os.path.join(tmp, "snapshot.txt"))
    built = dump(vyr, env, cwd, {"VYR_CONSTRUCT": "1"}, os.path.join(tmp, "built.txt"))
    # The environment carries this process's facts, not the build's.
    for fact in (b"two words", cwd.encode(), env["HOME"].encode()):
        if fact not in built:
            sys.exit(f"FAIL ({label}): {fact!r} is not in the environment")
    if snap != built:
        sys.exit(f"FAIL ({label}): the environments differ at {first_difference(snap, built)}")
    return built


def start_xvfb():
    if not shutil.which("Xvfb"):
        return None, None
    r, w = os.pipe()
    p = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                         pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    with os.fdopen(r, "rb") as f:
        while not number.endswith(b"\n"):
            c = f.read(1)
            if not c:
                break
            number += c
    return p, ":" + number.decode().strip()


def image_of(vyr):
    with open(vyr, "rb") as f:
        data = f.read()
    if data[-24:-16] != TRAILER:
        sys.exit("FAIL: the executable carries no saved environment")
    start, length = struct.unpack("<QQ", data[-16:])
    return data[start:start + length]


def main():
    vyr = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as tmp:
        home = os.path.join(tmp, "home dir")
        cwd = os.path.join(tmp, "work")
        os.makedirs(home)
        os.makedirs(cwd)
        with open(os.path.join(cwd, "script.vyr"), "w") as f:
            f.write("Vyr []\n")
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "VYR_DISPLAY", "VYR_CONSOLE", "VYR_HEADLESS_INPUT",
                            "VYR_BOOT_DIR", "VYR_BOOT_IMAGE", "VYR_CONSTRUCT", "VYR_SNAPSHOT")}
        env.update(HOME=home, TZ="Pacific/Chatham", LANG="C.UTF-8")
        built = compare(vyr, env, cwd, tmp, "no display")

        xvfb, display = start_xvfb()
        if xvfb:
            try:
                compare(vyr, dict(env, DISPLAY=display, VYR_DISPLAY="x11"), cwd, tmp, "X11")
            finally:
                xvfb.terminate()
                xvfb.wait()
        else:
            print("Xvfb is not installed: the X11 comparison is skipped")

        image = image_of(vyr)
        page = 4096
        # A damaged image that still loads: one letter of a doc string in its pages.
        text = b"Returns true if the value is this type"
        at = image.find(text, page)
        if at < 0:
            sys.exit("FAIL: the doc string is not in the image")
        broken = image[:at] + b"X" + image[at + 1:]
        path = os.path.join(tmp, "broken.snapshot")
        with open(path, "wb") as f:
            f.write(broken)
        damaged = dump(vyr, env, cwd, {"VYR_SNAPSHOT": path}, os.path.join(tmp, "damaged.txt"))
        if damaged == built:
            sys.exit("FAIL: the comparison does not see a damaged image")

        # Another build's image (its build id changed), and a cut one: refused, the script
        # not run.
        id_length = struct.unpack("<Q", image[8:16])[0]
        other = bytearray(image)
        other[16] = ord("0") if other[16] != ord("0") else ord("1")
        cases = [(bytes(other), b"another build"), (image[:page + 100], b"damaged"),
                 (b"not an image", b"not a snapshot")]
        if id_length == 0:
            sys.exit("FAIL: the image carries no build id")
        with open(os.path.join(cwd, "script.vyr"), "w") as f:
            f.write('Vyr []\nprint "ran"\n')
        for data, message in cases:
            with open(path, "wb") as f:
                f.write(data)
            r = run(vyr, dict(env, VYR_SNAPSHOT=path), cwd, ["script.vyr"])
            if r.returncode != 99 or message not in r.stderr or b"ran" in r.stdout:
                sys.exit(f"FAIL: an image expected to be refused ({message!r}) gave status "
                         f"{r.returncode}, {r.stdout!r}, {r.stderr!r}")
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
