#!/usr/bin/env python3
"""Runs one GUI console case on the headless display.

Usage: run.py VYR CASE. A case file holds an input script (the commands of
VYR_HEADLESS_INPUT, '#' lines are comments), then a line "== out" and the lines the probe
(probe.vyr, run with --catch before the prompt) writes to out.txt, and optionally a line
"== status N" with the expected exit status (0 by default). Instead of "== out", a line
"== python" may start Python code that sets `expected`, the list of lines. Lines
"== env NAME=VALUE" before it add to the environment. Under the collector stress switch
(VYR_GC_STRESS) only cases with a line "== stress" run, the others run without it: each
console start-up under it takes most of a minute. The console runs with
VYR_CONSOLE=gui in a fresh directory that is also HOME, without DISPLAY.
"""
import os
import shutil
import subprocess
import sys
import tempfile

from fonts import font_env

HERE = os.path.dirname(os.path.abspath(__file__))


def parse(path):
    script, out, status, env, part = [], [], 0, {}, "script"
    # newline="": a carriage return inside a text line is a key typed (Enter), not a line end.
    with open(path, encoding="utf-8", newline="") as f:
        for line in f.read().split("\n"):
            if line.startswith("== out") or line.startswith("== python"):
                part = line[3:].strip()
            elif line.startswith("== status "):
                status = int(line.split()[2])
            elif line.startswith("== stress"):
                env["VYR_GC_STRESS"] = os.environ.get("VYR_GC_STRESS", "")
            elif line.startswith("== env "):
                name, value = line[7:].split("=", 1)
                env[name] = value
            elif part == "script":
                script.append(line)
            else:
                out.append(line)
    while out and out[-1] == "":
        out.pop()
    if part == "python":
        scope = {}
        exec("\n".join(out), scope)
        out = scope["expected"]
    return "\n".join(script) + "\n", out, status, env


def main():
    vyr, case = os.path.abspath(sys.argv[1]), sys.argv[2]
    script, expected, status, case_env = parse(case)
    with tempfile.TemporaryDirectory() as tmp:
        shutil.copy(os.path.join(HERE, "probe.vyr"), tmp)
        with open(os.path.join(tmp, "input.txt"), "w", encoding="utf-8") as f:
            f.write(script)
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "VYR_DISPLAY", "VYR_GC_STRESS")}
        env.update(HOME=tmp, VYR_CONSOLE="gui", VYR_DISPLAY="headless",
                   VYR_HEADLESS_INPUT=os.path.join(tmp, "input.txt"))
        env.update(font_env(tmp))
        env.update(case_env)
        run = subprocess.run([vyr, "--catch", "probe.vyr"], cwd=tmp, env=env,
                             capture_output=True, timeout=120)
        out_path = os.path.join(tmp, "out.txt")
        got = []
        if os.path.exists(out_path):
            with open(out_path, encoding="utf-8") as f:
                got = f.read().split("\n")
            while got and got[-1] == "":
                got.pop()
        ok = got == expected and run.returncode == status
        if not ok:
            print("case:", case)
            print("status:", run.returncode, "expected", status)
            print("stdout:", run.stdout.decode("utf-8", "replace"))
            print("stderr:", run.stderr.decode("utf-8", "replace"))
            for i in range(max(len(got), len(expected))):
                g = got[i] if i < len(got) else "<none>"
                e = expected[i] if i < len(expected) else "<none>"
                mark = "  " if g == e else "!="
                print(f"{mark} {i + 1}: got {g!r}")
                if g != e:
                    print(f"      want {e!r}")
            sys.exit(1)


if __name__ == "__main__":
    main()
