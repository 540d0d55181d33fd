#!/usr/bin/env python3
"""The layer check (tools/check_layers.py) on small trees: it passes on includes that go
down or sideways, fails and names the line on one that goes up, holds its debts to the
tree (a paid debt fails until it is struck off), keeps the GUI's ranks (a driver may use
the dialogs, not the other way round), the blind rule (the windowing layer and the
capture devices include no header of the language, however low it ranks) and the GUI
module's confinement to the host API."""
import os
import subprocess
import sys
import tempfile

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools",
                      "check_layers.py")


def write(root, rel, text):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


def run(root):
    r = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
    return r.returncode, r.stdout + r.stderr


# The tree the checked cases start from: every debt of the real table still owed, so that
# only the case's own file decides.
def debts_tree(root):
    sys.path.insert(0, os.path.dirname(SCRIPT))
    import check_layers
    files = {}
    for path, header in sorted(check_layers.DEBTS):
        files[path] = files.get(path, "") + f'#include "{header}"\n'
        write(root, header, "\n")
    for path in sorted(check_layers.MODULE_PENDING):
        files[path] = files.get(path, "") + '#include "runtime/fire.h"\n'
    for path, text in files.items():
        write(root, path, text)


# (name, files written on top of the base tree, expected exit code, text the output holds)
CASES = [
    ("down and sideways pass", {
        "runtime/datatypes/a.cpp": '#include "runtime/cell.h"\n#include "runtime/datatypes/b.h"\n',
        "gui/widgets/new_face.cpp": '#include "gui/win/win.h"\n#include "runtime/api/host.h"\n',
        "gui/win/x11/top.cpp": '#include "gui/win/dialogs/provider.h"\n#include <X11/Xlib.h>\n',
        "gui/win/headless/display.cpp": '#include "gui/win/x11/internal.h"\n',
        "gui/camera/v4l2.cpp": '#include "gui/win/win.h"\n#include "runtime/api/host.h"\n',
        "gui/draw/shape.cpp": '#include "gui/draw/draw.h"\n#include "runtime/api/host.h"\n'
                              '#include "runtime/cell.h"\n#include "base/utf8.h"\n#include <cairo.h>\n',
        "gui_entry/module.cpp": '#include "boot/environment.h"\n#include "runtime/fire.h"\n',
        "tests/unit/t.cpp": '#include "gui/backend/platform.h"\n',
        "base/screens.h": '#include "base/utf8.h"\n#include <vector>\n',
        "gui/win/queue.cpp": '#include "base/utf8.h"\n',
        "gui/camera/provider.cpp": '#include "base/utf8.h"\n',
        "runtime/unicode.cpp": '#include "base/utf8.h"\n',
        "console/text/editor.cpp": '#include "base/utf8.h"\n',
    }, 0, "no upward include"),
    ("the base layer includes nothing of the tree above it", {
        "base/utf8.h": '#include "runtime/cell.h"\n',
    }, 1, "base/utf8.h:1: the base layer includes runtime/cell.h"),
    ("an upward include fails with its line", {
        "runtime/datatypes/a.cpp": '// one\n#include "runtime/interpreter/interpreter.h"\n',
    }, 1, "runtime/datatypes/a.cpp:2: the datatypes layer includes runtime/interpreter/"),
    ("the entry may not reach into the module", {
        "gui_entry/module.cpp": '#include "gui/backend/backend.h"\n',
    }, 1, "gui_entry/module.cpp:1: the boot layer includes gui/backend/backend.h"),
    ("dialogs may not use a driver", {
        "gui/win/dialogs/provider.cpp": '#include "gui/win/headless/display.h"\n',
    }, 1, "the gui/win/dialogs layer includes gui/win/headless/display.h"),
    ("controls may not use menus", {
        "gui/win/controls/button.cpp": '#include "gui/win/menus/menu.h"\n',
    }, 1, "the gui/win/controls layer includes gui/win/menus/menu.h"),
    ("the windowing layer is blind to the runtime", {
        "gui/win/paint.cpp": '#include "gui/win/win.h"\n#include "runtime/cell.h"\n',
    }, 1, "gui/win/paint.cpp:2: runtime/cell.h: a blind file"),
    ("a blind file may not name a tree header in angle brackets", {
        "gui/win/x11/input.cpp": '#include <runtime/host/clipboard.h>\n',
    }, 1, "gui/win/x11/input.cpp:1: runtime/host/clipboard.h: a blind file"),
    ("the camera may decode images, nothing else of the runtime", {
        "gui/camera/capture.cpp": '#include "runtime/api/host.h"\n#include "runtime/fire.h"\n',
    }, 1, "gui/camera/capture.cpp:2: runtime/fire.h: a blind file"),
    ("the module reaches the runtime through the host API only", {
        "gui/draw/shape.cpp": '#include "runtime/api/host.h"\n#include "runtime/stack.h"\n',
    }, 1, "gui/draw/shape.cpp:2: runtime/stack.h: the GUI module reaches"),
    ("the host API's headers include no other runtime header", {
        "runtime/api/host.h": '#include "runtime/cell.h"\n#include "runtime/collector.h"\n',
    }, 1, "runtime/api/host.h:2: runtime/collector.h: the GUI module reaches"),
    ("the windowing layer may not decode images", {
        "gui/win/headless/display.cpp": '#include "runtime/codecs/images.h"\n',
    }, 1, "runtime/codecs/images.h: a blind file"),
    ("the camera is blind to the backend above it too", {
        "gui/camera/capture.cpp": '#include "gui/face/face.h"\n',
    }, 1, "gui/camera/capture.cpp:1: gui/face/face.h: a blind file"),
]


def main():
    failures = []
    for name, files, code, text in CASES:
        with tempfile.TemporaryDirectory() as root:
            debts_tree(root)
            write(root, "runtime/codecs/images.h", "\n")
            write(root, "runtime/host/clipboard.h", "\n")
            for rel, body in files.items():
                write(root, rel, body)
            rc, out = run(root)
            if rc != code or text not in out:
                failures.append(f"{name}: exit {rc} (want {code}), wanted {text!r} in\n{out}")

    # A debt paid but still listed fails until it is struck off.
    with tempfile.TemporaryDirectory() as root:
        debts_tree(root)
        sys.path.insert(0, os.path.dirname(SCRIPT))
        import check_layers
        path, header = sorted(check_layers.DEBTS)[0]
        write(root, path, "// paid\n")
        rc, out = run(root)
        if rc != 1 or f"{path}: no longer includes {header}" not in out:
            failures.append(f"a paid debt is reported: exit {rc}\n{out}")

    # So does a module file that reaches the runtime through the host API alone but is still
    # listed as pending.
    if check_layers.MODULE_PENDING:
        with tempfile.TemporaryDirectory() as root:
            debts_tree(root)
            path = sorted(check_layers.MODULE_PENDING)[0]
            write(root, path, '#include "runtime/api/host.h"\n')
            rc, out = run(root)
            if rc != 1 or f"{path}: reaches the runtime through runtime/api/ only" not in out:
                failures.append(f"a converted module file is reported: exit {rc}\n{out}")

    for f in failures:
        print("FAILED:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
