#!/usr/bin/env python3
"""Random program generator for finding crashes in vyr (not part of `make test`).

Composes expressions from the words of the bootstrap environment (natives, actions and
operators, read from environment/*.vyr) with random arguments of every loadable literal
kind, nested, and runs them in batches through `vyr --cli`. A batch fails when vyr exits
with a status other than 0 or 1, prints a sanitizer report or a runtime error, or does not
finish within the timeout. Failing batches are minimised line by line and saved.

    tools/fuzz_programs.py [--exe build-asan/vyr] [--batches 50] [--lines 40]
                           [--stress] [--sweep] [--deep] [--seed N] [--out DIR]

--sweep runs every native/action once with each argument kind in each argument place;
--deep runs deep nesting and recursion probes. Everything runs in a fresh scratch
directory, and file arguments name only files inside it.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Words whose random use would loop forever or wait; they get safe shapes of their own.
SHAPED = {"forever", "while", "until", "loop", "repeat"}
# Words that touch the file system: their file arguments stay in the scratch directory.
FILE_WORDS = {"create", "close", "delete", "modify", "open", "open?", "query", "read",
              "rename", "update", "write"}
OPERATORS = ["+", "-", "*", "/", "**", "=", "==", "=?", "<", ">", ">=", "<=", "<>",
             "and", "or", "xor"]


TYPES = {}


def read_specs():
    """Returns {name: (args, {refinement: nargs})} for every native and action."""
    specs = {}
    for fname in ("actions.vyr", "natives.vyr"):
        text = open(os.path.join(ROOT, "environment", fname), encoding="utf-8").read()
        for m in re.finditer(r"^([^\s;:]+): make (?:native|action)! \[\[(.*?)\n\] \d+\]",
                             text, re.S | re.M):
            name, body = m.group(1), m.group(2)
            body = re.sub(r'"(?:[^"\\^]|\^.)*"', " ", body)   # drop doc strings
            args, refs, cur = [], {}, None
            for tok in re.findall(r"\[[^\]]*\]|\S+", body):
                if tok.startswith("["):
                    types = tok[1:-1].split()
                    if cur is None and args:
                        TYPES[(name, len(args) - 1)] = types
                    elif cur is not None and refs[cur]:
                        TYPES[(name, cur, refs[cur] - 1)] = types
                elif tok.startswith("/"):
                    cur = tok[1:]
                    refs[cur] = 0
                elif re.match(r"^['':]?[A-Za-z][\w\-?!~]*$", tok):
                    if cur is None:
                        args.append(tok)
                    else:
                        refs[cur] += 1
            specs[name] = (args, refs)
    return specs


INTS = ["0", "1", "-1", "2", "3", "7", "100", "2147483647", "-2147483648", "2147483646",
        "-2147483647", "65535", "256", "1000000"]
FLOATS = ["0.0", "-0.0", "1.5", "-2.5", "1e300", "-1e300", "1e-310", "3.0", "1.#INF",
          "-1.#INF", "1.#NaN", "2147483648.0", "-2147483649.0", "0.1", "4294967296.0"]
STRINGS = ['""', '"a"', '"abc"', '"Hello World"', '"a^/b^-c"', '"^(7F)^(00)x"',
           '"ünïcödé"', '"日本語テキスト"', '"😀👍"', '{multi^/line {nested} }', '"^^"',
           '"123"', '"1.5"', '"[1 2 3]"', '"x: 1"', '"%file"', '"   spaced  "',
           '"' + "ab" * 40 + '"', '"^(1F600)"', '"\\"']
CHARS = ["#\"a\"", "#\"^/\"", "#\"^(00)\"", "#\"日\"", "#\"😀\"", "#\"^(FFFF)\"",
         "#\"^(10FFFF)\"", "#\"Z\"", "#\" \""]
WORDS = ["foo", "'foo", ":foo", "foo:", "'print", ":print", "'append", "a-b",
         "/ref", "#issue", "'x", "x", "'none", "'self", "'system"]
BLOCKS = ["[]", "[1 2 3]", "[a b c]", "[1 [2 [3]] 4]", "[x: 1 y: 2]", "[\"a\" \"b\"]",
          "[1 + 2]", "[print 1]", "[a 1 b 2]", "[[]]", "[none true]", "[1 2 3 4 5 6 7 8]",
          "[break]", "[continue]", "[return 1]", "[exit]", "[throw 1]",
          "(cb: copy [1] append/only cb cb)", "(cp: to paren! [] append/only cp cp)"]
PARENS = ["()", "(1 + 2)", "(1)", "([])"]
PATHS = ["a/b", "'a/b", ":a/b", "a/b:", "a/1", "'system/words", "foo/bar/baz"]
FILES = ["%a.txt", "%sub/", "%\"with space.txt\"", "%.", "%x", "%b%20c", "%nonexist/q"]
URLS = ["http://example.invalid/x", "ftp://a", "mailto:x@y", "http://a/%20b"]
TIMES = ["0:00", "1:00", "12:30:45", "-1:00", "0:00:00.5", "596523:14:07",
         "-596523:14:08", "23:59:59.999999999", "100:00"]
SPECIAL = ["none", "true", "false", "#(none)", "#(unset)", "#(true)",
           "integer!", "string!", "block!", "any-type!", "series!", "object!", "error!",
           "function!", "native!", "op!", "typeset!", "word!", "char!", "float!", "time!"]
OBJECTS = ["make object! [a: 1 b: \"x\"]", "context [f: does [1]]", "make object! []",
           "make error! \"oops\"", "make error! [type: 'math id: 'zero-divide]",
           "try [1 / 0]", "func [a] [a]", "does [1]", "func [a b] [a + b]",
           "make typeset! [integer! string!]", "func [/r x] [x]", ":append", ":if",
           ":+", "make op! :add", "has [l] [l]", "function [a] [b: a]",
           "(co: make object! [s: none] co/s: co)"]

BY_TYPE = {
    "integer!": INTS, "float!": FLOATS, "number!": INTS + FLOATS, "scalar!": INTS + FLOATS + CHARS + TIMES,
    "string!": STRINGS, "any-string!": STRINGS + FILES + URLS, "char!": CHARS, "file!": FILES,
    "url!": URLS, "time!": TIMES, "block!": BLOCKS, "paren!": PARENS, "any-block!": BLOCKS + PARENS + PATHS,
    "any-list!": BLOCKS + PARENS, "series!": BLOCKS + STRINGS + FILES + PATHS, "word!": ["'foo", "'x", "'print"],
    "any-word!": WORDS, "logic!": ["true", "false"], "none!": ["none"], "datatype!": SPECIAL[7:],
    "typeset!": ["make typeset! [integer! string!]", "any-type!"], "object!": OBJECTS[:3],
    "any-object!": OBJECTS[:6], "function!": ["func [a] [a]", "does [1]", "func [a b] [a + b]"],
    "any-function!": [":append", ":if", ":+", "func [a] [a]"], "refinement!": ["/ref", "/part"],
    "path!": ["'a/b"], "any-path!": PATHS,
}

KINDS = [INTS, FLOATS, STRINGS, CHARS, WORDS, BLOCKS, PARENS, PATHS, FILES, URLS, TIMES,
         SPECIAL, OBJECTS]
SWEEP = {"int": INTS[:2] + ["2147483647", "-2147483648"], "float": ["1.5", "1.#NaN", "1.#INF"],
         "string": ['"abc"', '""', '"日本😀"'], "char": ['#"a"'], "word": ["'foo", "foo:"],
         "block": ["[1 2 3]", "[]"], "paren": ["(1)"], "path": ["'a/b"], "file": ["%a.txt"],
         "url": ["http://a"], "time": ["1:00", "-596523:14:08"],
         "none": ["none"], "logic": ["true"], "datatype": ["integer!"], "object":
         ["make object! [a: 1]"], "error": ["make error! \"e\""], "func": ["func [a] [a]"],
         "native": [":print"], "typeset": ["make typeset! [integer!]"], "op": [":+"],
         "unset": ["()"], "issue": ["#a"], "refinement": ["/a"], "set-word": ["[a:]"],
         "get-word": ["first [:a]"], "lit-path": ["first ['a/b]"], "paren2": ["first [(1 2)]"],
         "copied": ["copy [1 2 3]", "copy \"abc\"", "tail copy [1 2]", "tail copy \"ab\""],
         "neg": ["-1", "-2147483647"], "cyclic": ["(cb: copy [1] append/only cb cb)",
         "(co: make object! [s: none] co/s: co)"], "big": ["1000000", "1e10"]}


class Gen:
    def __init__(self, rng, specs):
        self.r = rng
        self.specs = specs
        self.names = sorted(specs)

    def literal(self):
        return self.r.choice(self.r.choice(KINDS))

    def call(self, depth):
        r = self.r
        name = r.choice(self.names)
        args, refs = self.specs[name]
        head = name
        extra = []
        if refs and r.random() < 0.4:
            chosen = r.sample(sorted(refs), r.randint(1, min(2, len(refs))))
            head = name + "".join("/" + c for c in chosen)
            for c in chosen:
                extra += [self.arg(depth, TYPES.get((name, c, i))) for i in range(refs[c])]
        if name in SHAPED:
            return self.shaped(name, depth)
        vals = [self.arg(depth, TYPES.get((name, i))) for i in range(len(args))] + extra
        if name in FILE_WORDS:
            vals = [v if not re.search(r"[a-z]+://|^%|to-local|file!", v) else r.choice(FILES)
                    for v in vals]
            vals = [v if "%" not in v or v in FILES else r.choice(FILES) for v in vals]
        return " ".join([head] + vals)

    def arg(self, depth, types):
        """Mostly a value of an allowed type, sometimes anything."""
        pools = [BY_TYPE[t] for t in (types or []) if t in BY_TYPE]
        if pools and self.r.random() < 0.6:
            v = self.r.choice(self.r.choice(pools))
            if self.r.random() < 0.2:
                v = "copy " + v if v.startswith(("[", '"', "%")) else v
            return v
        return self.expr(depth + 1)

    def shaped(self, name, depth):
        r = self.r
        body = self.block(depth + 1)
        n = r.choice(["0", "1", "3", "-1", "2.5", "-2147483648", "1.#NaN"])
        if name == "forever":
            return "(fn: 0 forever [fn: fn + 1 if fn > 2 [break] " + body[1:-1] + "])"
        if name == "while":
            return "(wn: 0 while [(wn: wn + 1) < 3] " + body + ")"
        if name == "until":
            return "(un: 0 until [un: un + 1 if un > 2 [break] " + body[1:-1] + " un > 2])"
        if name == "loop":
            return "loop " + n + " " + body
        return "repeat i " + n + " " + body

    def block(self, depth):
        return "[" + " ".join(self.expr(depth + 1) for _ in range(self.r.randint(0, 3))) + "]"

    def expr(self, depth=0):
        r = self.r
        if depth > 4:
            return self.literal()
        k = r.random()
        if k < 0.40:
            return self.literal()
        if k < 0.75:
            return self.call(depth)
        if k < 0.85:
            return self.expr(depth + 1) + " " + r.choice(OPERATORS) + " " + self.expr(depth + 1)
        if k < 0.92:
            return "(" + self.expr(depth + 1) + ")"
        if k < 0.96:
            return self.block(depth)
        return "x: " + self.expr(depth + 1)

    def line(self):
        e = self.expr()
        if self.r.random() < 0.3:
            e = "try [" + e + "]"
        return e


SERIES_OPS = [
    "append {s} {v}", "append/only {s} {v}", "append/dup {s} {v} {n}", "insert {s} {v}",
    "insert/part {s} {v} {n}", "insert/dup {s} {v} {n}", "change {s} {v}", "change/part {s} {v} {n}",
    "remove {s}", "remove/part {s} {n}", "take {s}", "take/last {s}", "take/part {s} {n}",
    "clear {s}", "{s}: skip {s} {n}", "{s}: at {s} {n}", "{s}: head {s}", "{s}: tail {s}",
    "{s}: next {s}", "{s}: back {s}", "copy/part {s} {n}", "copy/deep {s}", "sort {s}",
    "sort/reverse {s}", "sort/skip {s} {n}", "reverse {s}", "reverse/part {s} {n}", "find {s} {v}",
    "find/last {s} {v}", "find/reverse {s} {v}", "find/skip {s} {v} {n}", "select {s} {v}",
    "pick {s} {n}", "poke {s} {n} {v}", "length? {s}", "index? {s}", "move {s} {n}",
    "move/to {s} {n}", "swap {s} {t}", "trim {s}", "unique {s}", "union {s} {t}",
    "difference {s} {t}", "mold {s}", "form {s}", "{s} = {t}", "{s} < {t}", "put {s} {v} {v}",
    "foreach x {s} [if x = {v} [break]]", "remove-each x {s} [x = {v}]", "forall {s} [{s}/1]",
    "{s}/1", "{s}/{n}", "{s}/1: {v}", "{s}: copy {t}", "parse {s} [some skip]",
    "parse {s} [any [to {v} remove skip | skip]]", "new-line {s} true", "new-line/all {s} false",
    "to block! {s}", "to string! {s}", "compose {s}", "reduce {s}", "unique/skip {s} {n}",
    "change/dup {s} {v} {n}", "append {s} {s}", "insert {s} {s}", "change {s} {s}",
    "append/only {s} {s}", "mold append/only {s} {s}", "recycle",
]


def chain(r, count):
    """A run of edits on a few shared series, so that values flow from one to the next."""
    lines = ["s1: copy [1 \"two\" #\"3\" [4 5] (6) x: 'y /z]", "s2: copy \"Hello Wörld 日本\"",
             "s3: copy [a 1 b 2 c 3]", "s4: copy %file/name.txt"]
    names = ["s1", "s2", "s3", "s4"]
    nums = ["0", "1", "2", "-1", "3", "100", "-2147483648", "2147483647", "1.5", "none"]
    vals = INTS[:6] + STRINGS[:8] + CHARS[:5] + BLOCKS[:8] + ["s1", "s2", "s3", "'a", "none"]
    for _ in range(count):
        op = r.choice(SERIES_OPS)
        line = op.format(s=r.choice(names), t=r.choice(names), v=r.choice(vals), n=r.choice(nums))
        lines.append("try [" + line + "]" if r.random() < 0.5 else line)
    return [ln for ln in lines if ln != "recycle"]


def run(exe, lines, timeout, stress):
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = "detect_leaks=0:allocator_may_return_null=1"
    env["UBSAN_OPTIONS"] = "print_stacktrace=1"
    if stress:
        env["VYR_GC_STRESS"] = "1"
    else:
        env.pop("VYR_GC_STRESS", None)
    scratch = tempfile.mkdtemp(prefix="vyrfuzz-")
    try:
        p = subprocess.run([exe, "--cli"], input="\n".join(lines) + "\n", capture_output=True,
                           timeout=timeout, cwd=scratch, env=env,
                           text=True, errors="replace")
        out, err, rc = p.stdout, p.stderr, p.returncode
    except subprocess.TimeoutExpired:
        return "hang", ""
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    if "AddressSanitizer" in err or "LeakSanitizer" in err:
        return "asan", err
    if "runtime error:" in err:
        return "ubsan", err
    if "Runtime Error" in err or rc not in (0, 1):
        return "status %d" % rc, err + out[-2000:]
    return None, ""


def minimise(exe, lines, kind, timeout, stress):
    """Drops lines (then chunks) while the failure of the same kind stays."""
    def fails(ls):
        return run(exe, ls, timeout, stress)[0] == kind
    n = 2
    while len(lines) >= 2:
        chunk = max(1, len(lines) // n)
        reduced = False
        for i in range(0, len(lines), chunk):
            trial = lines[:i] + lines[i + chunk:]
            if trial and fails(trial):
                lines, n, reduced = trial, max(n - 1, 2), True
                break
        if not reduced:
            if chunk == 1:
                break
            n = min(len(lines), n * 2)
    return lines


def typical(types):
    """A plain value of the first allowed type (a block when any type will do)."""
    for t in types or []:
        if t in BY_TYPE and t != "any-type!":
            return BY_TYPE[t][min(1, len(BY_TYPE[t]) - 1)]
    return "[1 2 3]"


def sweep_lines(specs):
    out = []
    for name in sorted(specs):
        if name in SHAPED:
            continue
        args, refs = specs[name]
        base = [typical(TYPES.get((name, j))) for j in range(len(args))]
        if name in FILE_WORDS:
            base = ["%a.txt" if b.startswith(("%", '"', "h")) else b for b in base]
        heads = [name] + [name + "/" + r for r in sorted(refs)]
        for head in heads:
            ref = head.split("/")[1] if "/" in head else None
            tail = [typical(TYPES.get((name, ref, k))) for k in range(refs[ref])] if ref else []
            places = len(args) + len(tail)
            for i in range(places):
                for kind, vals in SWEEP.items():
                    for v in vals:
                        if name in FILE_WORDS and kind in ("url", "string", "path", "word", "file"):
                            continue
                        vals_ = base + tail
                        vals_ = vals_[:i] + [v] + vals_[i + 1:]
                        out.append("try [" + " ".join([head] + vals_) + "]")
            if not places:
                out.append("try [" + head + "]")
    return out


DEEP = [
    "f: does [f] try [f]",
    "g: func [n] [g n + 1] try [g 1]",
    "h: func [b] [do b] try [h [h [h [h [h [1]]]]]]",
    "x: [] loop 100000 [x: reduce [x]] try [mold x]",
    "x: [] loop 100000 [x: reduce [x]] try [x = copy/deep x]",
    "x: [] loop 100000 [x: reduce [x]] try [copy/deep x]",
    "x: [] loop 100000 [x: to paren! reduce [x]] try [do x]",
    "x: [] loop 100000 [x: reduce [x]] try [form x]",
    "x: [] loop 100000 [x: reduce [x]] try [find x 1]",
    "x: [] loop 100000 [x: reduce [x]] try [sort reduce [x x]]",
    "x: [] loop 100000 [x: reduce [x]] try [parse x [some into [some skip]]]",
    "r: [into r] try [parse [[[[1]]]] r]",
    "r: [r] try [parse [1] r]",
    "r: [\"a\" r] try [parse \"aaaa\" r]",
    "s: copy \"\" loop 100000 [append s \"[\"] try [load s]",
    "s: copy \"\" loop 100000 [append s \"(\"] try [transcode s]",
    "s: copy \"\" loop 50000 [append s \"[\"] loop 50000 [append s \"]\"] try [transcode s]",
    "s: copy \"\" loop 20000 [append s \"1 + \"] append s \"1\" try [do s]",
    "s: copy \"\" loop 20000 [append s \"(\"] append s \"1\" loop 20000 [append s \")\"] try [do s]",
    "b: copy [] append/only b b try [mold b]",
    "b: copy [] append/only b b try [b = b]",
    "b: copy [] append/only b b try [copy/deep b]",
    "b: copy [] append/only b b try [form b]",
    "o: make object! [s: none] o/s: o try [mold o]",
    "o: make object! [s: none] o/s: o try [o = o]",
    "loop 1000000000 [break]",
    "i: 0 loop 1000000000 [i: i + 1 if i > 1000 [break]]",
    "try [loop 2147483647 [throw 1]]",
    "try [repeat i 2147483647 [if i > 10 [break]]]",
    "try [catch [loop 10 [throw 1]]]",
    "c: 0 try [forever [c: c + 1 if c > 100000 [break]]]",
    "a: func [] [return does [1]] try [a]",
    "try [insert/dup copy [] 1 100000000]",
    "try [length? append/dup copy \"\" \"ab\" 1000000]",
    "try [make block! 2147483647]",
    "try [make string! -1]",
    "try [head insert/dup copy \"\" #\"x\" 2147483647]",
    "try [array 2147483647]",
    "try [to-hex 2147483647]",
    "s: copy \"x\" loop 31 [s: join s s] try [length? s]",
    "s: copy \"x\" loop 40 [s: append copy s s] try [length? s]",
    "b: copy [1] loop 40 [b: append copy b b] try [length? b]",
]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", default=os.path.join(ROOT, "build-asan", "vyr"))
    ap.add_argument("--batches", type=int, default=50)
    ap.add_argument("--lines", type=int, default=40)
    ap.add_argument("--timeout", type=float, default=30)
    ap.add_argument("--seed", type=int, default=None)
    ap.add_argument("--stress", action="store_true")
    ap.add_argument("--sweep", action="store_true")
    ap.add_argument("--deep", action="store_true")
    ap.add_argument("--chain", action="store_true", help="edit shared series")
    ap.add_argument("--no-minimise", action="store_true")
    ap.add_argument("--out", default=os.path.join(ROOT, "build-asan", "fuzz-findings"))
    a = ap.parse_args()
    specs = read_specs()
    os.makedirs(a.out, exist_ok=True)
    seed = a.seed if a.seed is not None else random.randrange(1 << 30)
    print("seed", seed, "words", len(specs))
    rng = random.Random(seed)
    gen = Gen(rng, specs)
    batches = []
    if a.sweep:
        lines = sweep_lines(specs)
        batches += [lines[i:i + 200] for i in range(0, len(lines), 200)]
    if a.deep:
        batches += [[d] for d in DEEP]
    if a.chain:
        batches += [chain(rng, a.lines) for _ in range(a.batches)]
    if not a.sweep and not a.deep and not a.chain:
        batches = [[gen.line() for _ in range(a.lines)] for _ in range(a.batches)]
    found = 0
    for bi, lines in enumerate(batches):
        kind, report = run(a.exe, lines, a.timeout, a.stress)
        if not kind:
            continue
        found += 1
        if not a.no_minimise:
            lines = minimise(a.exe, lines, kind, a.timeout, a.stress)
        path = os.path.join(a.out, "seed%d-batch%d.txt" % (seed, bi))
        with open(path, "w", encoding="utf-8") as f:
            f.write(";; %s%s\n" % (kind, " (stress)" if a.stress else ""))
            f.write("\n".join(lines) + "\n;; ----\n" + report[-4000:])
        print("FAIL %s batch %d -> %s" % (kind, bi, path))
        for ln in lines[:5]:
            print("   ", ln[:200])
    print("%d batches, %d failing" % (len(batches), found))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
