#!/usr/bin/env python3
"""Runs one transcript file through the real executable.

A transcript holds cases. A case starts with a line ">> input"; following lines that
start with ".. " continue the input. Every other line up to the next ">> " is expected
output, compared exactly (trailing blank lines ignored). Lines starting with ";;" are
comments. All inputs of a file run in one `vyr --cli` process, so definitions carry over
from case to case; each case's output is separated by a marker the driver prints.
"""
import os
import subprocess
import sys

MARK = "<<transcript-case>>"
# A hang guard, not a speed target. The heaviest transcripts take a few seconds plain, but
# under the collector stress switch 70 to 100 s of processor time (every allocation
# collects, and every start alone takes 7.5 s); on a loaded machine a run gets a fraction of
# a core, so the guard grows with the switch, staying below CTest's own 1500 s.
TIMEOUT = 1200 if os.environ.get("VYR_GC_STRESS") else 300


def parse(path):
    cases, cur = [], None
    with open(path, encoding="utf-8") as f:
        for lineno, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if line.startswith(";;"):
                continue
            if line.startswith(">> "):
                cur = {"line": lineno, "input": [line[3:]], "expect": []}
                cases.append(cur)
            elif line.startswith(".. ") and cur is not None and not cur["expect"]:
                cur["input"].append(line[3:])
            elif cur is not None:
                cur["expect"].append(line)
    for c in cases:
        while c["expect"] and c["expect"][-1] == "":
            c["expect"].pop()
    return cases


def main():
    exe, path = sys.argv[1], sys.argv[2]
    cases = parse(path)
    script = []
    for c in cases:
        script.append('print "%s"' % MARK)
        script.extend(c["input"])
    proc = subprocess.run([exe, "--cli"], input="\n".join(script) + "\n",
                          capture_output=True, text=True, timeout=TIMEOUT)
    out = proc.stdout.split(MARK + "\n")
    got = out[1:] if len(out) > 1 else []
    failed = 0
    for i, c in enumerate(cases):
        actual = got[i].rstrip("\n").split("\n") if i < len(got) else ["<no output>"]
        if actual == [""]:
            actual = []
        if actual != c["expect"]:
            failed += 1
            print("%s:%d: %s" % (path, c["line"], " / ".join(c["input"])))
            print("  expected:\n    " + "\n    ".join(c["expect"]))
            print("  got:\n    " + "\n    ".join(actual))
    if proc.returncode not in (0, 1):
        print("vyr exited with status %d\n%s" % (proc.returncode, proc.stderr[-2000:]))
        failed += 1
    print("%d passed, %d failed" % (len(cases) - failed, failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
