#!/usr/bin/python3.11
"""The GUI console's costs on the headless display, each in a fresh `vyr` with
VYR_CONSOLE=gui driven by an input script: a one-line print with 1,000 and with 100,000
lines buffered (target: under 40 us, flat within 20%); a paint of a 1920x1080 console full
of 80-character lines (target: 16 ms; 50 ms with `color?` on); a key press with 10,000
lines buffered (target with its paint: 16 ms); and the memory 10,000 80-character
lines take (target: 10 MB). Times are taken inside the process (now/precise) around the
work alone; key presses and paints are spaced by waits. A key press's paint comes after
it, when the caret's paint pace lets it: the two are measured apart.
Usage: gui_console_bench.py path/to/vyr
"""
import os
import statistics
import subprocess
import sys
import tempfile

PROBE = """Vyr []
t: gui-console-ctx/terminal
out: func [v] [write/append %out.txt append form :v newline]
us: func [a b] [1e6 * to float! difference b a]
samples: copy []
key-press: :t/press-key
t/press-key: func [event /local a] [a: now/precise key-press event append samples us a now/precise]
painting: :t/paint
t/paint: func [/dry /local a] [
    a: now/precise either dry [painting/dry] [painting]
    unless dry [append samples us a now/precise]
]
"""

FILL = "l: append/dup copy {} {x} 80 loop {n} [print l] clear samples"

CASES = {
    "print, 1,000 lines buffered (us/line)": (
        "text t/max-lines: 200000 loop 1000 [print 1] a: now/precise loop 2000 [print 1] "
        "out (us a now/precise) / 2000\nkey Enter\nwait 100\n"),
    "print, 100,000 lines buffered (us/line)": (
        "text t/max-lines: 200000 loop 100000 [print 1] a: now/precise loop 2000 [print 1] "
        "out (us a now/precise) / 2000\nkey Enter\nwait 100\n"),
    "key press, 10,000 lines, without its paint (us, median)": (
        "text " + FILL.replace("{n}", "10000") + " t/paint: :painting\nkey Enter\nwait 200\n"
        + "text a\nwait 50\n" * 30 + "key Ctrl+K\ntext out samples\nkey Enter\nwait 100\n"),
    "paint 1920x1080 (us, median)": (
        "resize 1920 1080\nwait 100\ntext " + FILL.replace("{n}", "200") + "\nkey Enter\nwait 200\n"
        + "text a\nwait 50\n" * 20 + "key Ctrl+K\ntext out samples\nkey Enter\nwait 100\n"),
    "paint 1920x1080, color? on (us, median)": (
        "resize 1920 1080\nwait 100\ntext t/color?: true " + FILL.replace("{n}", "200")
        + "\nkey Enter\nwait 200\n" + "text a\nwait 50\n" * 20 + "key Ctrl+K\ntext out samples\nkey Enter\nwait 100\n"),
    "memory, 10,000 80-character lines (MB)": (
        "text rss: does [s: read %/proc/self/status p: find s {VmRSS:} to integer! first split "
        "trim copy/part skip p 6 find p {kB} { }] l: append/dup copy {} {x} 80 recycle a: rss "
        "loop 10000 [print l] recycle out (rss - a) / 1024.0\nkey Enter\nwait 100\n"),
}


def run(vyr, script):
    with tempfile.TemporaryDirectory() as tmp:
        with open(os.path.join(tmp, "probe.vyr"), "w") as f:
            f.write(PROBE)
        with open(os.path.join(tmp, "in.txt"), "w") as f:
            f.write(script)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "VYR_DISPLAY")}
        env.update(HOME=tmp, VYR_CONSOLE="gui", VYR_HEADLESS_INPUT=os.path.join(tmp, "in.txt"))
        subprocess.run([vyr, "--catch", "probe.vyr"], cwd=tmp, env=env, capture_output=True,
                       timeout=600)
        with open(os.path.join(tmp, "out.txt")) as f:
            return f.read().split()


def main():
    vyr = os.path.abspath(sys.argv[1])
    for name, script in CASES.items():
        values = [float(v) for v in run(vyr, script)]
        value = statistics.median(values) if len(values) > 1 else values[0]
        print(f"{name:55s} {value:10.1f}  ({len(values)} samples)")


if __name__ == "__main__":
    main()
