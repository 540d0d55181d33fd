"""What vyr and the GUI module link against.

Usage: check_link.py VYR MODULE [--sanitized]

- vyr needs libc and libm only, besides the dynamic loader (a sanitized build adds its
  runtimes: not checked there);
- the module unwinds with vyr's unwinder: no _Unwind_ reference bound to a libgcc_s version,
  no libgcc_s among its needs, and every _Unwind_ symbol it uses exported by vyr.
"""
import re
import subprocess
import sys


def needed(path):
    out = subprocess.run(["readelf", "-dW", path], capture_output=True, text=True, check=True).stdout
    return re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", out)


def dynamic_symbols(path):
    out = subprocess.run(["nm", "-D", path], capture_output=True, text=True, check=True).stdout
    symbols = []
    for line in out.splitlines():
        parts = line.split()
        if len(parts) >= 2:
            symbols.append((parts[-2], parts[-1]))  # (kind, name[@version])
    return symbols


def main():
    vyr, module = sys.argv[1], sys.argv[2]
    sanitized = "--sanitized" in sys.argv[3:]
    faults = []
    if not sanitized:
        extra = sorted(n for n in set(needed(vyr)) - {"libc.so.6", "libm.so.6"}
                       if not n.startswith("ld-linux"))
        if extra:
            faults.append(f"vyr needs more than libc and libm: {extra}")
    if any(n.startswith("libgcc_s") for n in needed(module)):
        faults.append("the module needs libgcc_s")
    exported = {name for kind, name in dynamic_symbols(vyr) if kind in ("T", "W")}
    used = [name for kind, name in dynamic_symbols(module) if kind == "U" and name.startswith("_Unwind_")]
    for name in used:
        if "@GCC_" in name:
            faults.append(f"the module's {name} binds to libgcc_s")
        elif name.split("@")[0] not in exported:
            faults.append(f"vyr does not export {name}")
    if not used:
        faults.append("the module uses no _Unwind_ symbol: the check looks at the wrong file")
    for f in faults:
        print(f)
    print(f"{len(used)} unwinder symbols checked, {len(faults)} faults")
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
