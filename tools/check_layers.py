#!/usr/bin/env python3
"""Checks every `#include "..."` line of the tree against the table of layers below.

A file may include headers of its own layer and of the layers below it; an include that
reaches up is reported with its file and line, and the check fails. The calls a lower
layer must make upwards go through the hook registry (runtime/hooks.h) instead.

DEBTS lists the upward includes the tree still has, each with why; the check also fails
when one of them is gone, so that the list only shrinks. Tests, tools, benchmarks and
generated files may include anything.

The GUI module reaches the runtime through the host API alone (MODULE): a file under gui/
includes, of the tree outside gui/, only runtime/api/, runtime/cell.h and base/, and the
host API's headers include no more than that themselves. MODULE_PENDING lists the module's
files that still include other runtime headers; like DEBTS it only shrinks.

Blind folders (BLIND) hold code that never sees a language value: the windowing layer and
the capture devices. A file there includes only headers under the blind folders and base/,
system headers, and the few headers listed for its folder; any other header of the tree,
wherever it ranks, is reported.

Usage: check_layers.py [SOURCE_DIR]
"""
import os
import re
import sys

# (layer, rank, path prefixes). A file belongs to the layer of its longest matching
# prefix; a lower rank is a lower layer, and layers of one rank are siblings that may
# include each other.
LAYERS = [
    # Plain C++ every layer may use: no cells, no arena, no raising (UTF-8, screen
    # descriptions, the clipboard's record, colours, globs).
    ("base", 0, ["base/"]),
    # Cells, the arena, memory, the collector, errors, the value stack and hash tables.
    ("core", 1, ["runtime/"]),
    # Pixel buffers, and the codecs that work on bytes and pixels only.
    ("imaging", 2, ["runtime/imaging/"]),
    ("byte codecs", 3, [
        "runtime/codecs/base_n", "runtime/codecs/bit_writer", "runtime/codecs/byte_buffer",
        "runtime/codecs/deflate", "runtime/codecs/lz", "runtime/codecs/images",
    ]),
    # The value types, their actions and the action dispatch between them.
    ("datatypes", 4, ["runtime/datatypes/"]),
    ("lexer", 5, ["runtime/lexer/"]),
    ("interpreter", 6, ["runtime/interpreter/"]),
    ("host", 7, ["runtime/host/"]),
    ("natives", 8, ["runtime/natives/"]),
    # The binary value format of saved values and of the boot image.
    ("value codec", 9, ["runtime/codecs/vyrbin"]),
    ("routines", 10, ["environment/routines/"]),
    # Start-up, the consoles and the runtime's entry to the GUI module: they call each
    # other (the consoles evaluate through boot, boot registers their natives).
    # gui_entry/ is the executable's side of the GUI module: its loader, the host API's
    # table and the routines that reach the module.
    ("boot", 11, ["boot/", "console/", "gui_entry/"]),
    # The GUI. The windowing layer first, its controls, menus and dialogs above it, and the
    # displays (drivers) on top of them, so that the input player, the answer queue and
    # pop-ups may use menus and controls.
    ("gui/win", 12, ["gui/win/"]),
    ("gui/win/controls", 13, ["gui/win/controls/"]),
    ("gui/win/menus", 14, ["gui/win/menus/"]),
    ("gui/win/dialogs", 15, ["gui/win/dialogs/"]),
    ("gui/win drivers", 16, ["gui/win/x11/", "gui/win/headless/"]),
    # Capture devices: blind like the windowing layer, which they may use.
    ("gui/camera", 17, ["gui/camera/"]),
    # The drawing and text code, and the face readers with the table of face types that
    # they and everything above reach a type through. Then the backend, which decides by
    # the types' records alone, the widgets (the records) on top of it, and the module's
    # entry point.
    ("gui/draw", 18, ["gui/draw/", "gui/text/"]),
    ("gui/face", 18, ["gui/face/"]),
    ("gui/backend", 19, ["gui/backend/"]),
    ("gui/widgets", 20, ["gui/widgets/"]),
    ("gui", 21, ["gui/"]),
]
FREE = ["tests/", "tools/", "bench/"]

# Blind folders: (prefix, headers of the tree it may include besides the blind folders).
# A capture thread decodes JPEG frames through the host API's status-returning decode_jpeg.
BLIND = [
    ("gui/win/", []),
    ("gui/camera/", ["runtime/api/host.h"]),
]
# Headers any blind file may include: plain C++ that never sees a language value.
BLIND_ANYWHERE = ["base/"]

# Confined folders: (prefix, the only prefixes of the tree it may include). The GUI module
# and the host API it is built against.
MODULE = [
    ("gui/", ["gui/", "runtime/api/", "runtime/cell.h", "base/"]),
    ("runtime/api/", ["runtime/api/", "runtime/cell.h", "base/"]),
]
# Module files that still include runtime headers beside the host API, each until its
# calls go through the host table.
MODULE_PENDING = {
    "gui/backend/base_face.cpp",
    "gui/backend/core.cpp",
    "gui/backend/draw_face.cpp",
    "gui/backend/events.cpp",
    "gui/backend/events.h",
    "gui/backend/fonts.cpp",
    "gui/backend/init.cpp",
    "gui/backend/lifecycle.cpp",
    "gui/backend/platform.cpp",
    "gui/backend/window_proc.cpp",
    "gui/widgets/lists.cpp",
    "gui/widgets/tab_panel.cpp",
}

# Upward includes still in the tree: (including file, included header) -> why.
DEBTS = {
    ("runtime/hashtable.cpp", "runtime/datatypes/string.h"):
        "keys are hashed and compared by their text",
    ("runtime/hashtable.cpp", "runtime/datatypes/symbol.h"):
        "word keys are hashed by their canonical symbol",
    ("runtime/hashtable.cpp", "runtime/datatypes/series.h"):
        "string keys are hashed from their head index",
    ("runtime/ownership.cpp", "runtime/datatypes/context.h"):
        "owners are found through an object's words",
    ("runtime/ownership.cpp", "runtime/datatypes/series.h"): "owned series are walked",
    ("runtime/unicode_case.cpp", "runtime/datatypes/string.h"):
        "case changes of whole string! values",
    ("runtime/unicode_case.cpp", "runtime/datatypes/series.h"):
        "case changes of whole string! values",
    ("runtime/word_tables.cpp", "runtime/datatypes/symbol.h"):
        "the fixed vocabulary is interned at start-up",
    ("runtime/word_tables.cpp", "runtime/datatypes/word.h"):
        "the fixed vocabulary is interned at start-up",
    ("runtime/stack.cpp", "runtime/datatypes/context.h"):
        "the call-trace walks name each frame's word",
    ("runtime/stack.cpp", "runtime/datatypes/word.h"):
        "the call-trace walks name each frame's word",
    ("runtime/stack.cpp", "runtime/datatypes/series.h"):
        "the call lists are answered as blocks",
    ("runtime/halt.cpp", "runtime/datatypes/word.h"): "the halt is thrown as a word",
    ("runtime/memory_stats.cpp", "runtime/datatypes/cells.h"):
        "the statistics are answered as blocks",
    ("runtime/codecs/images.cpp", "runtime/datatypes/integer.h"):
        "codec options arrive as integer! values",
    ("runtime/datatypes/file.cpp", "runtime/host/simple_io.h"):
        "file! actions read and write through the host",
    ("runtime/datatypes/url.cpp", "runtime/host/http.h"):
        "url! actions read and write through the host",
    ("runtime/interpreter/calls.cpp", "runtime/natives/natives.h"):
        "the evaluator reads the natives' entry table",
    ("runtime/interpreter/interpreter.cpp", "runtime/natives/natives.h"):
        "the evaluator reads the natives' entry table",
}

INCLUDE = re.compile(r'^\s*#\s*include\s+(?:"([^"]+)"|<([^>]+)>)')
SOURCES = (".h", ".cpp", ".c", ".inc")


def layer_of(path):
    """The (name, rank) of a tree path, or None for files outside the layers."""
    if any(path.startswith(p) for p in FREE):
        return None
    best = None
    for name, rank, prefixes in LAYERS:
        for p in prefixes:
            if path.startswith(p) and (best is None or len(p) > best[0]):
                best = (len(p), name, rank)
    return (best[1], best[2]) if best else None


def blind_rule(path, header, root, quoted):
    """The allowance of a blind file for a header: None when the file is not blind or the
    header is allowed, else the reason it is refused."""
    rule = next((allowed for prefix, allowed in BLIND if path.startswith(prefix)), None)
    if rule is None:
        return None
    if any(header.startswith(prefix) for prefix, _ in BLIND) or header in rule:
        return None
    if any(header.startswith(prefix) for prefix in BLIND_ANYWHERE):
        return None
    # A system header: <...> that is no file of the tree.
    if not quoted and not os.path.exists(os.path.join(root, header)):
        return None
    return "a blind file includes only the blind folders' and the system's headers"


def module_rule(path, header, root, quoted):
    """Whether a confined file may include a header of the tree."""
    rule = next((allowed for prefix, allowed in MODULE if path.startswith(prefix)), None)
    if rule is None or any(header.startswith(p) for p in rule):
        return True
    return not quoted and not os.path.exists(os.path.join(root, header))


def tracked_sources(root):
    for base, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs if not d.startswith(".") and not d.startswith("build")]
        for f in files:
            if f.endswith(SOURCES):
                yield os.path.relpath(os.path.join(base, f), root).replace(os.sep, "/")


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    root = os.path.abspath(root)
    failures = []
    used_debts = set()
    pending_seen = set()
    for path in sorted(tracked_sources(root)):
        own = layer_of(path)
        if own is None:
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                header = m.group(1) or m.group(2)
                blind = blind_rule(path, header, root, m.group(1) is not None)
                if blind:
                    failures.append(f"{path}:{number}: {header}: {blind}")
                    continue
                if not module_rule(path, header, root, m.group(1) is not None):
                    if path in MODULE_PENDING:
                        pending_seen.add(path)
                    else:
                        failures.append(f"{path}:{number}: {header}: the GUI module reaches "
                                        "the runtime through runtime/api/ only")
                    continue
                if m.group(1) is None:
                    continue
                target = layer_of(header)
                if target is None or target[1] <= own[1]:
                    continue
                if (path, header) in DEBTS:
                    used_debts.add((path, header))
                    continue
                failures.append(f"{path}:{number}: the {own[0]} layer includes {header} "
                                f"from the {target[0]} layer above it")
    for debt in sorted(set(DEBTS) - used_debts):
        failures.append(f"{debt[0]}: no longer includes {debt[1]}; "
                        "drop it from DEBTS in tools/check_layers.py")
    for path in sorted(MODULE_PENDING - pending_seen):
        failures.append(f"{path}: reaches the runtime through runtime/api/ only; "
                        "drop it from MODULE_PENDING in tools/check_layers.py")
    for f in failures:
        print(f)
    if failures:
        print(f"{len(failures)} layer violation(s); calls upwards go through runtime/hooks.h")
        return 1
    print(f"layers: no upward include ({len(DEBTS)} known debts)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
