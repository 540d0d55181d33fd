#!/usr/bin/env python3
"""The boot image follows its manifest: vyr-mkboot's depfile names every file the manifest
names, in any folder, and a build driven by that depfile makes the image again when one of
them changes.

Two parts. On a copy of the environment whose manifest also names ../view/probe.vyr, a
small ninja build runs vyr-mkboot as the project's build does: after the first build
nothing is left to do; after probe.vyr changes the image is made again. Then the project's
own build: its depfile names each file of environment/manifest.txt.

Usage: boot_image_deps_test.py VYR_MKBOOT SOURCE_DIR BUILD_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile


def manifest_files(path):
    """The files a manifest names, as written (stages have no file)."""
    names = ["manifest.txt"]
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split(";", 1)[0].strip()
            if not line or line.startswith("stage "):
                continue
            for prefix in ("data ", "gui ", "start "):
                if line.startswith(prefix):
                    line = line[len(prefix):].strip()
            names.append(line)
    return names


def depfile_inputs(path):
    with open(path, encoding="utf-8") as f:
        text = f.read().replace("\\\n", " ")
    target, _, inputs = text.partition(": ")
    return target.strip(), inputs.split()


def main():
    mkboot, source, build = (os.path.abspath(a) for a in sys.argv[1:4])
    failures = []

    def expect(cond, what):
        if not cond:
            failures.append(what)

    ninja = shutil.which("ninja")
    with tempfile.TemporaryDirectory() as root:
        for folder in ("environment", "console", "view"):
            shutil.copytree(os.path.join(source, folder), os.path.join(root, folder),
                            ignore=shutil.ignore_patterns("*.cpp", "*.h", "routines"))
        probe = os.path.join(root, "view", "probe.vyr")
        with open(probe, "w") as f:
            f.write("probe-word: 1\n")
        with open(os.path.join(root, "environment", "manifest.txt"), "a") as f:
            f.write("../view/probe.vyr         ; a file outside environment/ and console/\n")
        out = os.path.join(root, "image.cpp")
        with open(os.path.join(root, "build.ninja"), "w") as f:
            f.write(f"rule mkboot\n  command = {mkboot} --depfile $out.d {root}/environment $out\n"
                    f"  depfile = $out.d\n  restat = 1\n"
                    f"build {out}: mkboot {root}/environment/manifest.txt\n")
        if ninja:
            def plan():
                r = subprocess.run([ninja, "-C", root, "-n"], capture_output=True, text=True)
                return r.stdout + r.stderr
            r = subprocess.run([ninja, "-C", root], capture_output=True, text=True)
            expect(r.returncode == 0, f"the first build makes the image\n{r.stdout}{r.stderr}")
            expect("no work to do" in plan(), "nothing to do right after the build")
            future = os.path.getmtime(out) + 10
            os.utime(probe, (future, future))
            expect("mkboot" in plan() or "image.cpp" in plan(),
                   f"editing view/probe.vyr makes the image again\n{plan()}")
        else:
            subprocess.run([mkboot, "--depfile", out + ".d", root + "/environment", out],
                           check=True, capture_output=True)
        target, inputs = depfile_inputs(out + ".d")
        expect(target == out, f"the rule is for the image: {target}")
        expect(probe in inputs, f"the depfile names {probe}: {inputs}")

    # The project's own build: the depfile it keeps beside the image.
    depfile = os.path.join(build, "generated", "boot_image.cpp.d")
    if not os.path.exists(depfile):
        failures.append(f"{depfile} is missing: the build makes the image without a depfile")
    else:
        _, inputs = depfile_inputs(depfile)
        env = os.path.join(source, "environment")
        for name in manifest_files(os.path.join(env, "manifest.txt")):
            path = os.path.normpath(os.path.join(env, name))
            expect(path in inputs, f"the build's depfile names {path}")

    for f in failures:
        print("FAILED:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
