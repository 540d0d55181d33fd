"""Helpers of the GUI console's process cases (settings.py, dialogs.py): the console on the
headless display in a fresh HOME that is also its working directory, driven by an input
script; what it shows is asked at its prompt and written to o.txt."""
import os
import subprocess
import sys
import tempfile

from fonts import font_env

vyr = os.path.abspath(sys.argv[1])
failures = []
HEADER = 'Vyr [\n\tPurpose: "Vyr Console Configuration File"\n]\n\n'


def run(home, script, args=(), env_extra=None, gui=True):
    """Runs the console with the input script; `gui` false: text mode, reading \"quit\"."""
    with open(os.path.join(home, "in.txt"), "w") as f:
        f.write(script)
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "VYR_DISPLAY", "VYR_CONSOLE", "VYR_HEADLESS_INPUT",
                        "VYR_GC_STRESS")}
    env["HOME"] = home
    env.update(font_env(home))
    if gui:
        env.update(VYR_CONSOLE="gui", VYR_DISPLAY="headless",
                   VYR_HEADLESS_INPUT=os.path.join(home, "in.txt"))
    env.update(env_extra or {})
    return subprocess.run([vyr, *args], env=env, cwd=home, capture_output=True, timeout=60,
                          input=b"quit\n")


def cfg_dir(home):
    return os.path.join(home, ".vyr", "Vyr-Console")


def cfg_file(home):
    return os.path.join(cfg_dir(home), "console-cfg.vyr")


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def write_cfg(home, body, header=HEADER, mode=0o600):
    os.makedirs(cfg_dir(home), mode=0o700, exist_ok=True)
    with open(cfg_file(home), "w", encoding="utf-8") as f:
        f.write(header + body)
    os.chmod(cfg_file(home), mode)


def ask(words):
    """An input line writing the molded values of `words` (a Vyr block's inside) to o.txt."""
    return f"text write/append %o.txt append mold reduce [{words}] newline\nkey Enter\n"


def seen(home):
    path = os.path.join(home, "o.txt")
    return read(path).splitlines() if os.path.exists(path) else []


def check(name, got, want):
    if got != want:
        failures.append(f"{name}:\n  got  {got!r}\n  want {want!r}")


def case(fn):
    with tempfile.TemporaryDirectory() as home:
        try:
            fn(home)
        except Exception as e:  # a case that cannot even run is a failure too
            failures.append(f"{fn.__name__}: {e!r}")
    return fn


def finish():
    if failures:
        print("\n".join(failures))
        sys.exit(1)
