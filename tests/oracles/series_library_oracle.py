"""split, replace/all, mod and pad against Python's str and int on random inputs, and the
shape of clock's line. Texts use digits and punctuation only where find and parse ignore
case; replace/all/case, which heeds it as Python does, also gets letters of both cases."""
import random
import re
import subprocess
import sys

ALPHABET = "0123456789.,;-+"
CASED = "aAbBéÉ.,"


def vyr_text(s):
    return '"' + s.replace("^", "^^").replace('"', '^"') + '"'


def run(exe, exprs):
    script = "\n".join("print mold %s" % e for e in exprs) + "\n"
    out = subprocess.run([exe, "--cli"], input=script, capture_output=True, text=True,
                         timeout=120).stdout
    return out.split("\n")


def main():
    exe = sys.argv[1]
    rng = random.Random(27)
    cases = []  # (expression, expected mold)
    for _ in range(150):
        s = "".join(rng.choice(ALPHABET) for _ in range(rng.randint(0, 20)))
        sep = rng.choice([c for c in ALPHABET[10:]] + [a + b for a in ".,;" for b in ".,-"])
        dlm = "#\"%s\"" % sep if len(sep) == 1 and rng.random() < 0.5 else vyr_text(sep)
        cases.append(("split %s %s" % (vyr_text(s), dlm),
                      "[" + " ".join(vyr_text(p) for p in s.split(sep)) + "]"))
        new = "".join(rng.choice(ALPHABET) for _ in range(rng.randint(0, 3)))
        cases.append(("replace/all %s %s %s" % (vyr_text(s), vyr_text(sep), vyr_text(new)),
                      vyr_text(s.replace(sep, new))))
        t = "".join(rng.choice(CASED) for _ in range(rng.randint(0, 20)))
        pat = "".join(rng.choice(CASED) for _ in range(rng.randint(1, 2)))
        new = "".join(rng.choice(CASED) for _ in range(rng.randint(0, 2)))
        cases.append(("replace/all/case %s %s %s" % (
            vyr_text(t), "#\"%s\"" % pat if len(pat) == 1 else vyr_text(pat),
            "#\"%s\"" % new if len(new) == 1 else vyr_text(new)),
            vyr_text(t.replace(pat, new))))
        n = rng.randint(-5, 25)
        cases.append(("pad %s %d" % (vyr_text(s), n), vyr_text(s.ljust(n))))
        cases.append(("pad/left %s %d" % (vyr_text(s), n), vyr_text(s.rjust(n))))
        a, b = rng.randint(-10**6, 10**6), rng.choice([i for i in range(-50, 51) if i])
        cases.append(("mod %d %d" % (a, b), str(a % abs(b))))
    lines = run(exe, [c[0] for c in cases])
    failed = 0
    for i, (expr, want) in enumerate(cases):
        got = lines[i] if i < len(lines) else "<none>"
        if got != want:
            failed += 1
            print("%s\n  expected %s\n  got      %s" % (expr, want, got))
    # clock: a shortened number, the unit and a tab, the molded code cut to 70.
    out = subprocess.run([exe, "--cli"], input=(
        "x: clock/times [1 + 1] 3 print x\n"
        "clock [wait 0.2]\n"
        "clock [" + " ".join(["123456789"] * 10) + "]\n"), capture_output=True,
        text=True, timeout=60).stdout.split("\n")
    out = [line for line in out if not line.startswith("==")]
    shapes = [
        r"^\d+(\.\d+)? (ms|μs)\t\[1 \+ 1\]$",
        r"^2$",
        r"^(19\d|2\d\d) ms\t\[wait 0\.2\]$",
        r"^\d+(\.\d+)? (ms|μs)\t\[" + "123456789 " * 6 + "123456789$",
    ]
    for pattern, line in zip(shapes, out):
        if not re.match(pattern, line) or len(re.sub(r"\.", "", line.split(" ")[0])) > 3 and \
                "." in line.split(" ")[0]:
            failed += 1
            print("clock line %r does not match %r" % (line, pattern))
    print("%d cases, %d failed" % (len(cases) + len(shapes), failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
