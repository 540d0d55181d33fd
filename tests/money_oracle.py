#!/usr/bin/python3.11
"""money! arithmetic against Python's decimal module.

Usage: money_oracle.py VYR [COUNT]

Random sums, differences, products, quotients and remainders of amounts (with integer! and
float! operands too) are run through `vyr --cli` and their mold/all text compared with the
same operation done by `decimal` and truncated toward zero to five fraction digits. The
random cases stay where no limit applies; the table below pins the limit cases.
"""
import random
import subprocess
import sys
from decimal import Decimal, Context, ROUND_DOWN, localcontext

STEP = Decimal("0.00001")
LIMIT = Decimal(10) ** 17

# Expressions at and beyond the limits, with their mold/all text or error id.
LIMIT_CASES = [
    ("$99999999999999999.99999 + $0", "$99999999999999999.99999"),
    ("$99999999999999999.99999 + $0.00001", "type-limit"),
    ("-$99999999999999999.99999 - $0.00001", "type-limit"),
    ("$99999999999999999 + $1", "type-limit"),
    ("$99999999999999999 * 2", "type-limit"),
    ("$50000000000000000 * 2", "type-limit"),
    ("$49999999999999999.99999 * 2", "$99999999999999999.99998"),
    ("$99999999999999999.99999 * 1.00001", "type-limit"),
    ("$9999999999.99999 * 9999999", "$99999989999999900.00001"),
    ("$0.00001 * 0.00001", "type-limit"),
    ("$0.00001 * 0.1", "type-limit"),
    ("$0.0001 * 0.1", "$0.00001"),
    ("$0.00001 / 2", "type-limit"),
    ("$0.00002 / 2", "$0.00001"),
    ("$99999999999999999 / 0.1", "type-limit"),
    ("$10000000000000000 / 0.5", "$20000000000000000.00000"),
    ("$1 / 0", "zero-divide"),
    ("$1 % $0", "zero-divide"),
    ("$0 / 3", "$0.00000"),
    ("-$2147483648 + -2147483648", "-$4294967296.00000"),
    ("$1 + 1e17", "bad-make-arg"),
    ("$1 + 1e-6", "bad-make-arg"),
    ("$1 * 1e-5", "$0.00001"),
]


def text(d):
    """mold/all of an amount."""
    q = d.quantize(STEP, rounding=ROUND_DOWN)
    sign = "-" if q < 0 else ""
    return "%s$%s" % (sign, format(abs(q), "f"))


def amount(rng, max_int_digits=17):
    n = rng.randint(0, max_int_digits)
    integer = rng.randint(0, 10 ** n - 1) if n else 0
    fraction = rng.randint(0, 99999) if rng.random() < 0.8 else 0
    d = Decimal(integer) + Decimal(fraction) * STEP
    return -d if rng.random() < 0.4 else d



def float_operand(rng):
    """A float literal and the amount money! makes of it (shortest digits, truncated)."""
    digits = rng.randint(1, 9)
    places = rng.randint(0, 8)
    v = Decimal(rng.randint(1, 10 ** digits - 1)).scaleb(-places)
    if rng.random() < 0.3:
        v = -v
    f = float(v)
    literal = repr(f)
    if "e" in literal or abs(f) < 1e-5 or abs(f) >= 1e17:
        return None
    return literal, Decimal(repr(f)).quantize(STEP, rounding=ROUND_DOWN)


def cases(rng, count):
    out = []
    exact = Context(prec=80, rounding=ROUND_DOWN)
    while len(out) < count:
        kind = rng.choice(["add", "sub", "mul-int", "mul-float", "div-int", "div-float",
                           "rem", "int-sub", "float-add"])
        a = amount(rng)
        if kind == "add":
            b = amount(rng)
            expr, r = "%s + %s" % (text(a), text(b)), a + b
        elif kind == "sub":
            b = amount(rng)
            expr, r = "%s - %s" % (text(a), text(b)), a - b
        elif kind == "int-sub":
            n = rng.randint(-2 ** 31, 2 ** 31 - 1)
            expr, r = "%d - %s" % (n, text(a)), Decimal(n) - a
        elif kind == "mul-int":
            a = amount(rng, 12)
            n = rng.randint(-99999, 99999)
            expr, r = "%s * %d" % (text(a), n), exact.multiply(a, Decimal(n))
        elif kind == "mul-float" or kind == "float-add":
            f = float_operand(rng)
            if f is None:
                continue
            if kind == "float-add":
                expr, r = "%s + %s" % (f[0], text(a)), f[1] + a
            else:
                a = amount(rng, 10)
                expr, r = "%s * %s" % (text(a), f[0]), exact.multiply(a, f[1])
        elif kind == "div-int":
            n = rng.choice([1, -1]) * rng.randint(1, 10 ** rng.randint(1, 9))
            expr, r = "%s / %d" % (text(a), n), exact.divide(a, Decimal(n))
        elif kind == "div-float":
            f = float_operand(rng)
            if f is None or f[1] == 0:
                continue
            expr, r = "%s / %s" % (text(a), f[0]), exact.divide(a, f[1])
        else:
            b = amount(rng)
            if b == 0:
                continue
            expr, r = "%s %% %s" % (text(a), text(b)), exact.remainder(a, b)
        r = r.quantize(STEP, rounding=ROUND_DOWN)
        # Only where no limit applies: within 17 integer digits, and no product or quotient
        # of non-zero operands that truncates to zero.
        if abs(r) >= LIMIT or (r == 0 and kind.startswith(("mul", "div")) and a != 0):
            continue
        out.append((expr, text(r)))
    return out


def main():
    exe = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 3000
    rng = random.Random(20261210)
    table = cases(rng, count) + LIMIT_CASES
    script = ["r: try [%s] print either error! = type? :r [r/id] [mold/all :r]" % e
              for e, _ in table]
    proc = subprocess.run([exe, "--cli"], input="\n".join(script) + "\n",
                          capture_output=True, text=True, timeout=300)
    got = proc.stdout.split("\n")
    failed = 0
    for i, (expr, expected) in enumerate(table):
        actual = got[i] if i < len(got) else "<no output>"
        if actual != expected:
            failed += 1
            if failed <= 20:
                print("%s\n  expected %s\n  got      %s" % (expr, expected, actual))
    print("%d cases, %d failed" % (len(table), failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
