#!/usr/bin/env python3
"""The raw cell-word ratchet (tools/check_cell_fields.py) on a small tree: it passes at the
baseline, fails and names the line when a use is added outside the owners, and ignores
the owners, comments, tests/ and build directories."""
import os
import subprocess
import sys
import tempfile

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools",
                      "check_cell_fields.py")


def write(root, rel, text):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


def run(root, *args):
    r = subprocess.run([sys.executable, SCRIPT, *args, root], capture_output=True, text=True)
    return r.returncode, r.stdout + r.stderr


def main():
    failures = []

    def expect(cond, what, out):
        if not cond:
            failures.append(f"{what}\n{out}")

    with tempfile.TemporaryDirectory() as root:
        os.makedirs(os.path.join(root, "tools"))
        write(root, "runtime/cell.h", "u32 a(const cell* c) { return c->data1; }\n")
        write(root, "runtime/datatypes/word.h", "u32 b(const cell* c) { return c->data3; }\n")
        write(root, "runtime/interpreter/x.cpp", "u32 n = v.data2;  // was v.data1\n")
        write(root, "tests/unit/t.cpp", "u32 n = v.data2;\n")
        write(root, "build/gen.cpp", "u32 n = v.data2;\n")
        rc, out = run(root, "--update")
        expect(rc == 0, "update succeeds", out)
        rc, out = run(root)
        expect(rc == 0 and "1 raw cell-word uses" in out, "passes at the baseline", out)

        write(root, "boot/new.cpp", "void f(cell* c) {\n  c->data3 = 0;\n}\n")
        rc, out = run(root)
        expect(rc == 1, "fails on a new use", out)
        expect("boot/new.cpp:2:" in out and "c->data3 = 0;" in out, "names the new use", out)

        os.remove(os.path.join(root, "boot/new.cpp"))
        write(root, "runtime/interpreter/x.cpp", "u32 n = series::node(&v);\n")
        rc, out = run(root)
        expect(rc == 0 and "fell from 1 to 0" in out, "reports a fall without failing", out)

    for f in failures:
        print("FAILED:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
