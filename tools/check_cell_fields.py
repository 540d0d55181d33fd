#!/usr/bin/env python3
"""Ratchet on raw cell-word access.

Outside runtime/cell.h and the datatype modules (runtime/datatypes/, which own the
layouts), code reads and writes a cell's payload words through the owning module's
accessors (series::node, word::index, ...), never as data1/data2/data3. Existing raw uses
are counted per file in tools/cell_fields_baseline.txt; this check fails when the total
rises above the baseline's total and names the uses in every file that went above its own
count. When the total falls, it says so: lower the baseline with --update.

Usage: check_cell_fields.py [--update] [source root]
"""
import os
import re
import sys

RAW = re.compile(r"(?:\.|->)\s*data[123]\b")
SKIP_DIRS = {".git", "tests", "third_party"}
# The host API's header-only readers stand for the datatype modules in the GUI module.
OWNERS = ("runtime/cell.h", "runtime/datatypes/", "runtime/api/values.h")


def counted(rel):
    if not rel.endswith((".cpp", ".h")):
        return False
    return not any(rel == o or rel.startswith(o) for o in OWNERS)


def code_of(line):
    # A comment may name a word by its old name; only code counts.
    return line.split("//", 1)[0]


def scan(root):
    uses = {}
    for top, dirs, files in os.walk(root):
        rel_top = os.path.relpath(top, root)
        dirs[:] = sorted(d for d in dirs if d not in SKIP_DIRS and not d.startswith(".")
                         and not (rel_top == "." and d.startswith("build")))
        for name in sorted(files):
            rel = os.path.normpath(os.path.join(rel_top, name)).replace(os.sep, "/")
            if not counted(rel):
                continue
            with open(os.path.join(top, name), encoding="utf-8", errors="replace") as f:
                for n, line in enumerate(f, 1):
                    k = len(RAW.findall(code_of(line)))
                    if k:
                        uses.setdefault(rel, []).append((n, k, line.rstrip()))
    return uses


def read_baseline(path):
    base = {}
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                line = line.strip()
                if line and not line.startswith("#"):
                    count, rel = line.split(None, 1)
                    base[rel] = int(count)
    return base


def main(argv):
    update = "--update" in argv
    args = [a for a in argv if a != "--update"]
    root = os.path.abspath(args[0] if args else os.path.join(os.path.dirname(__file__), ".."))
    baseline_path = os.path.join(root, "tools", "cell_fields_baseline.txt")
    uses = scan(root)
    counts = {rel: sum(k for _, k, _ in v) for rel, v in uses.items()}
    total = sum(counts.values())
    if update:
        with open(baseline_path, "w") as f:
            f.write("# Raw data1/data2/data3 uses per file outside cell.h and runtime/datatypes/.\n")
            f.write("# Written by tools/check_cell_fields.py --update; the total may only fall.\n")
            for rel in sorted(counts):
                f.write(f"{counts[rel]} {rel}\n")
        print(f"baseline: {total} raw cell-word uses")
        return 0
    base = read_baseline(baseline_path)
    allowed = sum(base.values())
    if total > allowed:
        print(f"raw cell-word uses rose from {allowed} to {total}; use the owning module's "
              f"accessors (see the layout table in runtime/cell.h):")
        for rel in sorted(counts):
            if counts[rel] > base.get(rel, 0):
                print(f"  {rel}: {counts[rel]} (baseline {base.get(rel, 0)})")
                for n, _, text in uses[rel]:
                    print(f"    {rel}:{n}: {text.strip()}")
        return 1
    if total < allowed:
        print(f"raw cell-word uses fell from {allowed} to {total}: "
              f"run tools/check_cell_fields.py --update to lower the baseline")
    else:
        print(f"{total} raw cell-word uses (baseline {allowed})")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
