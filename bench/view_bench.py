#!/usr/bin/python3.11
"""The View engine's costs, each in a fresh `vyr --cli` process on the headless display:
a `down` event through `system/view/awake` to an actor two parents up with two global
handlers installed (target: 50 us), 10,000 `color` sets on a shown `base` face (target:
0.5 s), the bytes a face takes, `rtd-layout` of a spec giving 1,000 segments (target:
50 ms), Tab on a window of 500 faces (target: 5 ms), and `layout` of 200 `base` faces, 10
per row (target: 100 ms), with its time per face and per option.

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

# 200 faces in rows of 10, bare and with four options each.
VID_SETUP = """
plain: copy [] optioned: copy []
repeat i 200 [
    append plain 'base
    append optioned [base 20x20 255.0.0 "x" font-size 12]
    if zero? i // 10 [append plain 'return append optioned 'return]
]
if 200 <> length? (layout plain)/pane [print "faces missing"]
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
    "rtd-layout/only of a spec giving 1,000 segments (ms)": """
spec: copy []
loop 250 [append spec [b "ab" /b i ["cd" u ["e"]] blue ["fg"]]]
n: length? second rtd-layout/only spec
if n <> 2000 [print ["segments:" n / 2]]
t0: now/utc/time/precise loop 10 [rtd-layout/only spec] t1: now/utc/time/precise
print ["RESULT" (to float! t1 - t0) * 100]
""",
    "Tab on a window of 500 faces (ms/key)": """
faces: collect [repeat i 500 [keep make face! [
    type: 'base size: 10x10 offset: as-pair i // 25 * 10 i / 25 * 10
    flags: either odd? i ['focusable] [none]
]]]
w: make face! [type: 'window size: 300x300 pane: faces] view/no-wait w
f: pick faces 101
e: make event! [type: 'key-down key: #"^-" face: f]
n: 200
t0: now/utc/time/precise loop n [send-event e] t1: now/utc/time/precise
print ["RESULT" (to float! t1 - t0) * 1000 / n]
""",
    "layout of 200 base faces, 10 per row (ms)": VID_SETUP + """
t0: now/utc/time/precise loop 10 [layout plain] t1: now/utc/time/precise
print ["RESULT" (to float! t1 - t0) * 100]
""",
    "layout: time per face (us)": VID_SETUP + """
t0: now/utc/time/precise loop 10 [layout plain] t1: now/utc/time/precise
print ["RESULT" (to float! t1 - t0) * 1e6 / 2000]
""",
    "layout: time per option (us; size, colour, text, font-size)": VID_SETUP + """
t0: now/utc/time/precise loop 10 [layout plain] t1: now/utc/time/precise
t2: now/utc/time/precise loop 10 [layout optioned] t3: now/utc/time/precise
print ["RESULT" (to float! (t3 - t2) - (t1 - t0)) * 1e6 / 8000]
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
