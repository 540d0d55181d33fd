#!/usr/bin/python3.11
"""The View engine's costs, each in a fresh `vyr --cli` process on the headless display:
a `down` event through `system/view/awake` to an actor two parents up with two global
handlers installed (target: 50 us), 10,000 `color` sets on a shown `base` face (target:
0.5 s), and the bytes a face takes.

Times are taken inside the process around the work alone (now/utc/time/precise), best of
three runs; a face's bytes are the growth of `stats` over 1,000 faces, after a `recycle`.
Usage: view_bench.py path/to/vyr
"""
import subprocess
import sys

SETUP = """
w: make face! [type: 'window size: 200x200 actors: object [on-down: func [f e] ['done]]]
p: make face! [type: 'panel size: 100x100]
b: make face! [type: 'base size: 50x50]
p/pane: reduce [b] w/pane: reduce [p] view/no-wait w
"""

CASES = {
    "awake: down to an actor two parents up, two handlers (us/event)": SETUP + """
insert system/view/handlers reduce ['one func [f e] [none] 'two func [f e] [none]]
e: make event! [type: 'down face: b]
n: 20000
t0: now/utc/time/precise loop n [system/view/awake e] t1: now/utc/time/precise
print ["RESULT" (to float! t1 - t0) * 1e6 / n]
""",
    "10,000 color sets on a shown base (s)": SETUP + """
t0: now/utc/time/precise repeat i 10000 [b/color: as-color i 0 0] t1: now/utc/time/precise
print ["RESULT" to float! t1 - t0]
""",
    "bytes per face (make face! [type: 'base size: 10x10])": """
faces: make block! 1000
recycle s0: stats
loop 1000 [append faces make face! [type: 'base size: 10x10]]
recycle s1: stats
print ["RESULT" (s1 - s0) / 1000]
""",
}


def run(exe, script):
    p = subprocess.run([exe, "--cli"], input=script, capture_output=True, text=True)
    for line in p.stdout.splitlines():
        if line.startswith("RESULT"):
            return float(line.split()[1])
    raise SystemExit("no result from vyr:\n" + p.stdout + p.stderr)


def main():
    exe = sys.argv[1]
    for name, script in CASES.items():
        print("%-62s %10.2f" % (name, min(run(exe, script) for _ in range(3))))


if __name__ == "__main__":
    main()
