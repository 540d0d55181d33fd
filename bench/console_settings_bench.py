#!/usr/bin/python3.11
"""The GUI console's settings file: `save-cfg` with 100 history lines of 60 characters
(target: under 5 ms), timed inside the console (now/precise) over 200 saves, in a fresh
HOME on the headless display; the load at launch is timed the same way.
Usage: console_settings_bench.py path/to/vyr
"""
import os
import statistics
import subprocess
import sys
import tempfile

SCRIPT = (
    "text c: gui-console-ctx us: func [a b] [1e6 * to float! difference b a] "
    "clear c/terminal/history loop 100 [insert c/terminal/history append/dup copy {} {x} 60] "
    "saves: copy [] loop 200 [a: now/precise c/save-cfg append saves us a now/precise] "
    "loads: copy [] loop 200 [a: now/precise c/load-cfg append loads us a now/precise] "
    "write %out.txt mold reduce [saves loads]\nkey Enter\nclose\n")


def main():
    vyr = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as home:
        with open(os.path.join(home, "in.txt"), "w") as f:
            f.write(SCRIPT)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "VYR_DISPLAY")}
        env.update(HOME=home, VYR_CONSOLE="gui", VYR_HEADLESS_INPUT=os.path.join(home, "in.txt"))
        subprocess.run([vyr], env=env, cwd=home, check=True, timeout=120)
        with open(os.path.join(home, "out.txt")) as f:
            text = f.read().strip()[2:-2]
        save, load = ([float(v) for v in part.split()] for part in text.split("] ["))
    for name, samples, target in (("save-cfg, 100 history lines", save, 5000),
                                  ("load-cfg, 100 history lines", load, None)):
        median = statistics.median(samples)
        verdict = "" if target is None else (" (target under %d us: %s)" % (target, "met" if median < target else "MISSED"))
        print("%-30s median %7.0f us, p90 %7.0f us%s" % (name, median, sorted(samples)[len(samples) * 9 // 10], verdict))


if __name__ == "__main__":
    main()
