#!/usr/bin/python3.11
"""The clipboard against hostile X clients on a private Xvfb (tests/x11/hostile_clipboard.cpp):
an owner whose INCR transfer never ends, sending big parts as fast as it is asked, or small
parts slowly, cannot hang the reader nor fill its memory: `read-clipboard` gives none (a
format was there, but no value) and the session goes on. A requester that lists 2,000
targets in one MULTIPLE request for a 1 MB text we own cannot make us copy it 2,000 times:
the writer's peak resident memory (VmHWM) is measured.
Usage: clipboard_hostile_x11.py path/to/vyr path/to/hostile_clipboard
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from x11_harness import Tally, open_display, read_line, run_reader  # noqa: E402

PEAK = r'''
peak: has [s p] [
    s: to string! read %/proc/self/status
    p: find s "VmHWM:"
    to integer! first split trim copy/part skip p 6 find p "kB" " "
]
'''

# Read twice from the hostile owner, then own the clipboard and read it back.
READER = PEAK + r'''
t: now/precise
r: read-clipboard
print [mold r to integer! difference now/precise t]
t: now/precise
r: read-clipboard
print [mold r to integer! difference now/precise t]
print [write-clipboard "still here" mold read-clipboard]
print peak
'''

WRITER = PEAK + r'''
print write-clipboard append/dup make string! 1000000 "x" 1000000
print peak
print "ready"
until [wait 0.05 exists? %next]
print peak
'''


def main():
    exe = os.path.abspath(sys.argv[1])
    hostile = os.path.abspath(sys.argv[2])
    started = open_display()
    if not started:
        return 0
    xvfb, env = started
    tally = Tally()
    check = tally.check

    work = tempfile.mkdtemp()
    try:
        # The owner's parts: 1 MiB as fast as they are taken; then 1 KiB every half second,
        # which no wait for a single part ever sees as silence.
        for name, part_kib, delay_ms, seconds in (("big parts", 1024, 0, (0, 30)),
                                                  ("slow parts", 1, 500, (15, 30))):
            owner = subprocess.Popen([hostile, "owner", str(part_kib), str(delay_ms)], env=env,
                                     text=True, stdout=subprocess.PIPE)
            try:
                check(name + ": owner", owner.stdout.readline().strip() == "ready", "did not start")
                out, err = run_reader(exe, env, READER, work)
                lines = out.split("\n")
                print("%s: %s" % (name, " | ".join(lines)))
                if len(lines) != 4:
                    check(name, False, (out, err))
                    continue
                for read in lines[:2]:
                    value, took = read.split(" ")
                    check(name + ": none", value == "none", read)
                    check(name + ": seconds", seconds[0] <= int(took) <= seconds[1], read)
                check(name + ": the session goes on", lines[2] == 'true "still here"', lines[2])
                # The reply is given up at 128 MiB: well below 1 GB, even in a sanitizer build.
                check(name + ": peak memory", int(lines[3]) < 1024 * 1024, lines[3] + " kB")
                check(name + ": quiet", err == "", err)
            finally:
                owner.kill()
                owner.wait()

        path = os.path.join(work, "writer.vyr")
        with open(path, "w") as f:
            f.write("Vyr []\n" + WRITER)
        writer = subprocess.Popen([exe, "--cli", path], env=env, cwd=work, text=True,
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)
        try:
            check("writing", read_line(writer) == "true", "no true")
            before = int(read_line(writer))
            check("writing: ready", read_line(writer) == "ready", "no ready")
            asked = subprocess.run([hostile, "multiple", "2000"], env=env, capture_output=True,
                                   text=True, timeout=150)
            words = asked.stdout.split()
            # "served S of 2000, first N bytes"
            ok = len(words) == 7 and words[0] == "served"
            check("MULTIPLE: answered", ok, asked.stdout + asked.stderr)
            if ok:
                served = int(words[1])
                check("MULTIPLE: some pairs served, the rest refused", 1 <= served < 2000, words[1])
                check("MULTIPLE: the text whole", words[5] == "1000000", words[5])
            open(os.path.join(work, "next"), "w").close()
            after = int(read_line(writer))
            print("MULTIPLE: %s; writer's peak %d kB, %d kB before" % (asked.stdout.strip(), after, before))
            writer.wait(timeout=60)
            check("MULTIPLE: peak memory", after < 600 * 1024, "%d kB (%d kB before)" % (after, before))
            check("MULTIPLE: writer's end", (writer.returncode, writer.stderr.read()) == (0, ""),
                  writer.returncode)
        finally:
            if writer.poll() is None:
                writer.kill()
    finally:
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)
    return tally.report()


if __name__ == "__main__":
    sys.exit(main())
