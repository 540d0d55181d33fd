#!/usr/bin/python3.11
"""The cost of a key typed at the end of a long input line in the GUI console, on the
headless display: a line of 100 and one of 80,000 characters is pasted, then keys are typed
after it, spaced by waits. A key's cost is its press (the edit) plus the paint that shows
it, each timed inside the process (now/precise) and taken as the median. The two lengths
run in turn, ROUNDS times each, and each keeps its lowest median: one run slowed by the
rest of the machine does not stand for the cost. Target: the cost per key at 80,000
characters at most 3 times that at 100.
Usage: gui_console_long_line_bench.py path/to/vyr
"""
import os
import statistics
import subprocess
import sys
import tempfile

PROBE = """Vyr []
t: gui-console-ctx/terminal
target: {length}
keys: copy [] paints: copy []
us: func [a b] [1e6 * to float! difference b a]
; Only the typed letters after the long line count, and the paints that follow them.
long?: does [target <= length? head t/line]
key-press: :t/press-key
t/press-key: func [event /local a measured?] [
    measured?: all [long? event/key = #"a"]
    a: now/precise key-press event
    if measured? [append keys us a now/precise]
]
painting: :t/paint
t/paint: func [/dry /local a] [
    a: now/precise either dry [painting/dry] [painting]
    if all [not dry long? not empty? keys] [append paints us a now/precise]
]
report: does [write %out.txt mold reduce [keys paints]]
"""

KEYS = 60
ROUNDS = 2


def script(length):
    return ("clip " + "y" * length + "\nkey Ctrl+V\nwait 300\n" + "text a\nwait 60\n" * KEYS
            + "key Ctrl+K\ntext report\nkey Enter\nwait 100\n")


def run(vyr, length):
    with tempfile.TemporaryDirectory() as tmp:
        with open(os.path.join(tmp, "probe.vyr"), "w") as f:
            f.write(PROBE.replace("{length}", str(length)))
        with open(os.path.join(tmp, "in.txt"), "w") as f:
            f.write(script(length))
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "VYR_DISPLAY")}
        env.update(HOME=tmp, VYR_CONSOLE="gui", VYR_DISPLAY="headless",
                   VYR_HEADLESS_INPUT=os.path.join(tmp, "in.txt"))
        subprocess.run([vyr, "--catch", "probe.vyr"], cwd=tmp, env=env, capture_output=True,
                       timeout=1200)
        with open(os.path.join(tmp, "out.txt")) as f:
            text = f.read()
    keys, paints = (block.split() for block in text.strip()[2:-2].split("] ["))
    return [float(v) for v in keys], [float(v) for v in paints]


def main():
    vyr = os.path.abspath(sys.argv[1])
    costs = {}
    for _ in range(ROUNDS):
        for length in (100, 80000):
            keys, paints = run(vyr, length)
            key, paint = statistics.median(keys), statistics.median(paints)
            if length not in costs or key + paint < sum(costs[length][:2]):
                costs[length] = (key, paint, len(keys), len(paints))
    for length, (key, paint, nkeys, npaints) in costs.items():
        print(f"key at the end of a {length:6,d}-character line (us, median): press {key:9.1f}"
              f"  paint {paint:9.1f}  together {key + paint:9.1f}  ({nkeys} keys, {npaints} paints)")
    costs = {length: c[0] + c[1] for length, c in costs.items()}
    print(f"80,000 against 100 characters: {costs[80000] / costs[100]:.2f}x (target: at most 3x)")


if __name__ == "__main__":
    main()
