#!/usr/bin/python3.11
"""The clipboard on a real X server: one vyr process writes the desktop's clipboard and
keeps serving it while it waits (`wait`, then `ask`), another reads it. A 1 MB text with
line feeds and non-ASCII characters (more than one request: INCR both ways), a list of
files (text/uri-list) and an image (image/png, also larger than one request). Then the
writer ends and the clipboard is empty again, as no clipboard manager runs; with one
running (tests/x11/clipboard_manager.cpp), a text written by a process that then quits is
still there for the next process to read (SAVE_TARGETS).

Each side runs `vyr --cli` with VYR_DISPLAY=x11 on a private Xvfb.
Usage: clipboard_x11.py path/to/vyr path/to/clipboard_manager
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
# start_xvfb stays importable from here for the other X11 tests.
from x11_harness import Tally, open_display, read_line, run_reader, start_xvfb  # noqa: E402,F401

# The same values on both sides: a text of about 1 MB and a noisy image.
COMMON = r'''
; Few allocations, so that the collector stress run stays quick.
big-text: does [
    append/dup make string! 1100000 "line gr^(FC)^(DF)e ^(1F600) 12345678901234567890^/" 30000
]
noisy: has [b rgb alpha i] [
    random/seed 7
    b: make binary! 256
    repeat i 256 [append b i - 1]
    rgb: copy/part random append/dup make binary! 360000 b 1407 360000
    alpha: copy/part random append/dup make binary! 120000 b 469 120000
    make image! reduce [400x300 rgb alpha]
]
'''

WRITER = COMMON + r'''
print write-clipboard big-text
print "ready"
until [wait 0.05 exists? %next]
print write-clipboard reduce [%/tmp/a%20b/caf%C3%A9.txt %/srv/x.vyr %rel.txt]
print "ready"
ask ""
print write-clipboard noisy
print "ready"
ask ""
'''

READER_TEXT = COMMON + r'''
t: read-clipboard
print [t = big-text 1000000 < length? to binary! t]
'''

READER_FILES = r'''
print mold read-clipboard
print mold rejoin [what-dir %rel.txt]
'''

READER_IMAGE = COMMON + r'''
i: read-clipboard
n: noisy
print [i/size i = n]
'''


def main():
    exe = os.path.abspath(sys.argv[1])
    manager_exe = os.path.abspath(sys.argv[2])
    started = open_display()
    if not started:
        return 0
    xvfb, env = started
    tally = Tally()
    check = tally.equal

    work = tempfile.mkdtemp()
    writer = None
    try:
        path = os.path.join(work, "writer.vyr")
        with open(path, "w") as f:
            f.write("Vyr []\n" + WRITER)
        writer = subprocess.Popen([exe, "--cli", path], env=env, cwd=work, text=True,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)
        check("writing the text", [read_line(writer), read_line(writer)], ["true", "ready"])
        out, err = run_reader(exe, env, READER_TEXT, work)
        check("the 1 MB text, read while the writer waits", (out, err), ("true true", ""))
        open(os.path.join(work, "next"), "w").close()
        check("writing the files", [read_line(writer), read_line(writer)], ["true", "ready"])
        out, err = run_reader(exe, env, READER_FILES, work)
        lines = out.split("\n")
        want_rel = lines[1] if len(lines) == 2 else "?"
        check("the files, read while the writer asks",
              (lines[0] if lines else "", err),
              ('[%"/tmp/a b/caf\u00e9.txt" %/srv/x.vyr ' + want_rel + ']', ""))
        writer.stdin.write("\n")
        writer.stdin.flush()
        check("writing the image", [read_line(writer), read_line(writer)], ["true", "ready"])
        out, err = run_reader(exe, env, READER_IMAGE, work)
        check("the image", (out, err), ("400x300 true", ""))
        writer.stdin.write("\n")
        writer.stdin.flush()
        writer.wait(timeout=30)
        check("the writer's end", writer.returncode, 0)
        out, err = run_reader(exe, env, "print read-clipboard", work)
        check("the clipboard after the writer ended", (out, err), ("false", ""))
        manager = subprocess.Popen([manager_exe], env=env, text=True, stdout=subprocess.PIPE)
        try:
            check("the manager's start", manager.stdout.readline().strip(), "ready")
            out, err = run_reader(exe, env, 'print write-clipboard "kept^/after the end" quit', work)
            check("writing, then quitting", (out, err), ("true", ""))
            check("the manager's copy", manager.stdout.readline().strip(), "saved 18")
            out, err = run_reader(exe, env, "print mold read-clipboard", work)
            check("the text kept by the manager", (out, err), ('"kept^/after the end"', ""))
            manager.wait(timeout=30)
        finally:
            if manager.poll() is None:
                manager.kill()
    finally:
        if writer and writer.poll() is None:
            writer.kill()
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)
    return tally.report()


if __name__ == "__main__":
    sys.exit(main())
