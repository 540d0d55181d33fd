#!/usr/bin/env python3
"""The console's front end as the switch and the environment choose it, and the input
script's errors. Usage: front_end.py VYR. Runs without the collector stress switch: it
checks choices, not memory."""
import os
import subprocess
import sys
import tempfile

vyr = os.path.abspath(sys.argv[1])
failures = []


def run(env_extra, args=(), stdin="1 + 1\n", cwd=None):
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "VYR_DISPLAY", "VYR_CONSOLE", "VYR_HEADLESS_INPUT",
                        "VYR_GC_STRESS")}
    env.update(env_extra)
    return subprocess.run([vyr, *args], input=stdin.encode(), env=env, cwd=cwd,
                          capture_output=True, timeout=60)


def check(name, r, status, stdout, stderr_has=None):
    out, err = r.stdout.decode(), r.stderr.decode()
    ok = r.returncode == status and out == stdout
    ok = ok and (err == "" if stderr_has is None else stderr_has in err)
    if not ok:
        failures.append(f"{name}: status {r.returncode}, stdout {out!r}, stderr {err!r}")


with tempfile.TemporaryDirectory() as home:
    base = {"HOME": home}
    text = "== 2\n"
    # Text mode: with --cli, without a display, with VYR_DISPLAY=headless alone.
    check("--cli", run({**base, "VYR_CONSOLE": "gui", "DISPLAY": ":0"}, ["--cli"]), 0, text)
    check("no DISPLAY", run(base), 0, text)
    check("VYR_DISPLAY=headless", run({**base, "DISPLAY": ":0", "VYR_DISPLAY": "headless"}), 0, text)
    # An unreachable X server: the warning, then text mode.
    check("unreachable DISPLAY", run({**base, "DISPLAY": ":987654"}), 0, text, "no X server answers")
    # The GUI console on the headless display: no script plays an empty one, which ends at
    # once; nothing reaches standard output, not even a script's print.
    check("VYR_CONSOLE=gui", run({**base, "VYR_CONSOLE": "gui"}), 0, "")
    script = os.path.join(home, "s.vyr")
    with open(script, "w") as f:
        f.write('Vyr [] print "printed" quit/return 3\n')
    check("gui script", run({**base, "VYR_CONSOLE": "gui"}, [script]), 3, "")
    # A missing script: text mode prints the read error and ends with status 1; the window
    # shows the error, the banner and a prompt, where a command still runs.
    missing = os.path.join(home, "nonexist.vyr")
    r = run({**base, "DISPLAY": ""}, [missing])
    if r.returncode != 1 or "nonexist.vyr" not in r.stdout.decode():
        failures.append(f"missing script, text mode: {r.returncode} {r.stdout!r}")
    probe = os.path.join(home, "in-missing.txt")
    with open(probe, "w") as f:
        f.write("text write %seen.txt mold gui-console-ctx/terminal/lines\n"
                "key Enter\nclose\n")
    r = run({**base, "VYR_CONSOLE": "gui", "VYR_HEADLESS_INPUT": probe}, [missing], cwd=home)
    seen_path = os.path.join(home, "seen.txt")
    seen = open(seen_path).read() if os.path.exists(seen_path) else ""
    if r.returncode != 0 or "nonexist.vyr" not in seen or "Vyr" not in seen or ">> write" not in seen:
        failures.append(f"missing script, window: {r.returncode} {seen!r} {r.stderr!r}")
    # Both front ends define the same global words: the GUI console's are built in text
    # mode too, and launch only rebinds ask, input and _save-cfg.
    dump = os.path.join(home, "words.vyr")
    with open(dump, "w") as f:
        f.write("Vyr [] out: copy [] foreach w words-of system/words [if value? w [append out w]]\n"
                "write %words.txt mold sort out quit\n")
    words = []
    for mode in ({"DISPLAY": ""}, {"VYR_CONSOLE": "gui"}):
        r = run({**base, **mode}, [dump], cwd=home)
        with open(os.path.join(home, "words.txt")) as f:
            words.append(f.read())
    if words[0] != words[1] or "gui-console-ctx" not in words[0] or "tips!" not in words[0]:
        failures.append("the global words differ between the front ends")
    # A bad line of the input script: named on stderr, status 2, before anything runs.
    bad = os.path.join(home, "in.txt")
    with open(bad, "w") as f:
        f.write("text a\n# comment\nkey Hyper+Q\n")
    check("bad line", run({**base, "VYR_CONSOLE": "gui", "VYR_HEADLESS_INPUT": bad}), 2, "",
          "VYR_HEADLESS_INPUT line 3: unknown key: key Hyper+Q")
    check("no file", run({**base, "VYR_CONSOLE": "gui", "VYR_HEADLESS_INPUT": bad + "x"}), 2, "",
          "VYR_HEADLESS_INPUT: cannot read")

if failures:
    print("\n".join(failures))
    sys.exit(1)
