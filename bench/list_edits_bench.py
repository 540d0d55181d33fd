#!/usr/bin/python3.11
"""Edits of a shown list's `data` on the headless display: 300 edits of each kind on a
text-list and a drop-list whose `data` holds 20,000 strings, and on a tab-panel with 2,000
tabs (the tab control lays out every tab for each tab it takes), against 300 appends. An edit that touches a few items should cost about what an append costs, whatever
the list's length; a sort rewrites the whole list and a put searches for its key.

Each case runs in a fresh `vyr --cli` process; the time is taken inside it around the
edits alone (now/utc/time/precise), in ms, best of five runs.
Usage: list_edits_bench.py path/to/vyr
"""
import subprocess
import sys

SETUP = """
items: make block! %d repeat i %d [append items rejoin ["item " i]]
w: make face! [type: 'window size: 400x300 pane: []] view/no-wait w
f: make face! [type: '%s size: 300x200 data: items selected: 1]
append w/pane f
t0: now/utc/time/precise
repeat i 300 [%s]
t1: now/utc/time/precise
print ["RESULT" (to float! t1 - t0) * 1000]
"""

EDITS = {
    "append": 'append f/data "new"',
    "take/last": "take/last f/data",
    "move to tail": "move f/data tail f/data",
    "move/part 2 to tail": "move/part f/data tail f/data 2",
    "put": 'put f/data pick f/data 2 * i "v"',
    "change": 'change at f/data i "x"',
    "poke": 'poke f/data i "p"',
    "append to an item": 'append pick f/data i "x"',
    "sort": "sort/reverse f/data",
}

TYPES = {"text-list": 20000, "drop-list": 20000, "tab-panel": 2000}


def run(exe, script):
    p = subprocess.run([exe, "--cli"], input=script, capture_output=True, text=True,
                       env={"PATH": "/usr/bin:/bin"})
    if "Error" in p.stdout:
        raise SystemExit("vyr failed:\n" + p.stdout)
    for line in p.stdout.splitlines():
        if line.startswith("RESULT"):
            return float(line.split()[1])
    raise SystemExit("no result from vyr:\n" + p.stdout + p.stderr)


def main():
    exe = sys.argv[1]
    for kind, n in TYPES.items():
        for name, edit in EDITS.items():
            best = min(run(exe, SETUP % (n, n, kind, edit)) for _ in range(5))
            print("%-10s %5d items, 300 x %-20s %10.1f ms" % (kind, n, name, best))


if __name__ == "__main__":
    main()
