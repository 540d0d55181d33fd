#!/usr/bin/env python3
"""The caret's blink rate through launch on the headless display: VYR_HEADLESS_BLINK (one
phase in milliseconds, -1 for a steady caret) read before the first window and again by the
display once it is open. Usage: blink.py VYR. Runs without the collector stress switch: it
checks values read from the environment, not memory."""
import os
import subprocess
import sys
import tempfile

vyr = os.path.abspath(sys.argv[1])
failures = []
# VYR_HEADLESS_BLINK, what get-caret-blink-time answers, the caret-rate launch sets, and a
# warning on stderr.
table = [
    (None, "500", "0:00:00.5", False),
    ("0", "0", "2", False),
    ("-1", "-1", "none", False),
    ("530", "530", "0:00:00.53", False),
    ("-5", "500", "0:00:00.5", True),
    ("1e3", "500", "0:00:00.5", True),
]
with tempfile.TemporaryDirectory() as home:
    script = os.path.join(home, "blink.vyr")
    with open(script, "w") as f:
        f.write("Vyr [] write %out.txt mold reduce [get-caret-blink-time gui-console-ctx/caret-rate] quit\n")
    for blink, ms, rate, warned in table:
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "VYR_DISPLAY", "VYR_HEADLESS_INPUT", "VYR_HEADLESS_BLINK", "VYR_GC_STRESS")}
        env.update(HOME=home, VYR_CONSOLE="gui")
        if blink is not None:
            env["VYR_HEADLESS_BLINK"] = blink
        r = subprocess.run([vyr, script], env=env, cwd=home, capture_output=True, timeout=60)
        with open(os.path.join(home, "out.txt")) as f:
            got = f.read()
        err = r.stderr.decode()
        want = f"[{ms} {rate}]"
        if r.returncode != 0 or got != want or ("VYR_HEADLESS_BLINK" in err) != warned:
            failures.append(f"{blink!r}: status {r.returncode}, got {got!r}, want {want!r}, stderr {err!r}")
        os.remove(os.path.join(home, "out.txt"))
for f in failures:
    print(f)
sys.exit(1 if failures else 0)
