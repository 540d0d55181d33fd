#!/usr/bin/env python3
"""Compares what the evaluator lets programs see against a recorded baseline.

The corpus (tests/eval_compare/corpus/*.txt) holds snippets, one a line, in files whose
snippets run in order in one `vyr --cli` process, so definitions carry over. Each file runs
in four modes, each snippet wrapped: `plain` (the snippet itself: results, printed text and
error reports with their Where and Near lines), `raw` (`trace/raw [...]`: every interpreter
event with its data-stack positions), `deep` (`trace/deep [...]`: the guided tracer) and
`profile` (`profile [...]` with a ticking clock, so its figures are counts of events). The
corpus also reads frames and data-stack positions directly (`collect-calls`,
`frame-index?`). Expected outputs (tests/eval_compare/expected/FILE.MODE.txt) are recorded
with the binary of the evaluator as it was before a change to it, so any difference is a
change of behaviour.

    tools/eval_compare.py check EXE          compare EXE's outputs with the recorded ones
    tools/eval_compare.py record EXE         record EXE's outputs as the expected ones
    tools/eval_compare.py build-corpus EXE   (re)make the corpus, keeping only snippets whose
                                             outputs EXE gives the same twice and that no
                                             open change of behaviour elsewhere touches

With VYR_GC_STRESS set (every allocation collects), `check` runs the plain and raw modes of
the hand-written file only: the rest takes too long there.

The baseline is the evaluator before a change to it: after merging other work, build the
merge-base (`git worktree add /tmp/base $(git merge-base main HEAD)`, `make build` there),
then run `build-corpus` and `record` with that binary, so that only the change itself can
make a difference.
"""
import difflib
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HERE = os.path.join(ROOT, "tests", "eval_compare")
CORPUS = os.path.join(HERE, "corpus")
EXPECTED = os.path.join(HERE, "expected")
MARK = "<<eval-compare>>"
MODES = ("plain", "raw", "deep", "profile")

# Set up in every run before the snippets: a clock that ticks once per reading, so that the
# profiler's times depend only on the events it sees.
PRELUDE = [
    "eval-compare-tick: 0",
    "now: func [/precise] [eval-compare-tick: eval-compare-tick + 1 "
    "1-Jan-2026/0:00 + to time! eval-compare-tick]",
]

WRAP = {
    "plain": "{}",
    "raw": "trace/raw [{}]",
    "deep": "trace/deep [{}]",
    "profile": "profile [{}]",
}

# Words whose behaviour other work changes, or that wait, leave, read the clock, the
# machine's state or the collector: snippets naming them stay out of the corpus.
EXCLUDED_WORDS = {
    "trace", "debug", "profile", "put", "split", "replace", "quit", "halt", "q", "ask",
    "input", "wait", "now", "random", "recycle", "stats", "call", "browse", "launch",
    "do-events", "view", "unview", "show", "read", "write", "delete", "rename", "open",
    "close", "create", "modify", "query", "update", "make-dir", "change-dir", "cd",
    "list-dir", "ls", "ll", "dir", "pwd", "what-dir", "clean-path", "exists?", "dir?",
    "size?", "modified?", "info?", "suffix?", "to-local-file", "get-env", "set-env",
    "list-env", "checksum", "echo", "help", "?", "source", "what", "about", "secure",
    "read-clipboard", "write-clipboard", "do-file", "load-thru", "path-thru", "exit-console",
    "sample", "system", "draw", "layout", "to-image", "save", "load", "do", "set-current-dir",
    "get-current-dir", "evoke", "script?", "request-file", "request-dir", "alert",
}
# Output that another change makes differ: action errors of types an action does not
# support, and the no-memory reports.
EXCLUDED_OUTPUT = re.compile(r"for its value argument|not enough memory|stack overflow|"
                             r"cannot reserve|Runtime Error|0x[0-9a-fA-F]{6,}")
# Parse's break inside sub-rules is changed elsewhere.
PARSE_BREAK = re.compile(r"\bparse\b.*\bbreak\b")

TRANSCRIPTS = ["evaluation", "functions", "control", "loops", "lean-calls", "objects-errors",
               "objects", "apply", "operators", "operator-operands", "set-path-write-back",
               "reduce-compose", "functions-making", "error-cycles", "self-modification"]


def words_of(snippet):
    return set(re.findall(r"(?<![\w\-?!'/:%#\"])([a-z?][\w\-?!~]*)", snippet))


def admissible(snippet):
    if not snippet.strip() or ";" in snippet or "\t" in snippet:
        return False
    if words_of(snippet) & EXCLUDED_WORDS:
        return False
    if PARSE_BREAK.search(snippet):
        return False
    return True


def run(exe, snippets, mode, cwd, timeout=600):
    script = list(PRELUDE)
    for s in snippets:
        script.append('print "%s"' % MARK)
        script.append(WRAP[mode].format(s))
    script.append('print "%s"' % MARK)
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = "detect_leaks=0"
    p = subprocess.run([exe, "--cli"], input="\n".join(script) + "\n", capture_output=True,
                       text=True, errors="replace", cwd=cwd, env=env, timeout=timeout)
    parts = p.stdout.split(MARK + "\n")
    outs = parts[1:len(snippets) + 1]
    outs += ["<no output>"] * (len(snippets) - len(outs))
    status = "" if p.returncode in (0, 1) else "exit status %d\n%s" % (p.returncode, p.stderr[-2000:])
    return outs, status


def scratch():
    return tempfile.mkdtemp(prefix="vyr-eval-compare-")


def corpus_files():
    return sorted(f[:-4] for f in os.listdir(CORPUS) if f.endswith(".txt"))


def read_corpus(name):
    with open(os.path.join(CORPUS, name + ".txt"), encoding="utf-8") as f:
        return [ln.rstrip("\n") for ln in f if ln.strip() and not ln.startswith(";;")]


def render(snippets, outs):
    lines = []
    for s, o in zip(snippets, outs):
        lines.append(">> " + s)
        lines.append(o.rstrip("\n"))
    return "\n".join(lines) + "\n"


def check(exe):
    stress = bool(os.environ.get("VYR_GC_STRESS"))
    failed = 0
    work = scratch()
    try:
        for name in corpus_files():
            if stress and name != "evaluator":
                continue
            snippets = read_corpus(name)
            for mode in MODES:
                if stress and mode not in ("plain", "raw"):
                    continue
                outs, status = run(exe, snippets, mode, work)
                got = render(snippets, outs)
                path = os.path.join(EXPECTED, "%s.%s.txt" % (name, mode))
                with open(path, encoding="utf-8") as f:
                    want = f.read()
                if got != want or status:
                    failed += 1
                    print("DIFFERENT: %s in mode %s %s" % (name, mode, status))
                    diff = difflib.unified_diff(want.splitlines(), got.splitlines(),
                                                "expected", "got", lineterm="", n=2)
                    for i, line in enumerate(diff):
                        if i > 80:
                            print("...")
                            break
                        print(line)
                else:
                    print("same: %s %s (%d snippets)" % (name, mode, len(snippets)))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


def record(exe):
    os.makedirs(EXPECTED, exist_ok=True)
    work = scratch()
    try:
        for name in corpus_files():
            snippets = read_corpus(name)
            for mode in MODES:
                outs, status = run(exe, snippets, mode, work)
                if status:
                    print("%s %s: %s" % (name, mode, status))
                    return 1
                with open(os.path.join(EXPECTED, "%s.%s.txt" % (name, mode)), "w",
                          encoding="utf-8") as f:
                    f.write(render(snippets, outs))
                print("recorded %s %s" % (name, mode))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


# ---- Building the corpus ------------------------------------------------------------------

def transcript_inputs(name):
    path = os.path.join(ROOT, "tests", "transcripts", name + ".txt")
    if not os.path.exists(path):
        return []
    out, cur = [], None
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if line.startswith(">> "):
                cur = [line[3:]]
                out.append(cur)
            elif line.startswith(".. ") and cur is not None:
                cur.append(line[3:])
            else:
                cur = None
    # Multi-line inputs are kept only when joining their lines changes nothing.
    return [" ".join(c) for c in out if len(c) == 1 or not any("{" in l or '"' in l for l in c)]


def fuzz_snippets(seed, count):
    sys.path.insert(0, os.path.join(ROOT, "tools"))
    import fuzz_programs as fp
    specs = fp.read_specs()
    rng = random.Random(seed)
    gen = fp.Gen(rng, specs)
    lines = [gen.line() for _ in range(count)]
    lines += fp.chain(rng, count // 4)
    return lines


def stable(exe, snippets, work):
    """The snippets whose outputs are admissible and the same in two runs of every mode."""
    keep = list(snippets)
    for _ in range(6):
        bad = set()
        for mode in MODES:
            a, sa = run(exe, keep, mode, work, timeout=900)
            b, sb = run(exe, keep, mode, work, timeout=900)
            if sa or sb:
                # Find the snippet that stops the run: drop everything from the first one
                # with no output.
                for i, o in enumerate(a):
                    if o == "<no output>":
                        bad.add(i if i == 0 else i - 1)
                        break
            for i, (x, y) in enumerate(zip(a, b)):
                if x != y or EXCLUDED_OUTPUT.search(x) or len(x) > 20000 or \
                        "Syntax Error" in x or x == "<no output>":
                    bad.add(i)
        if not bad:
            return keep
        keep = [s for i, s in enumerate(keep) if i not in bad]
    return keep


def build_corpus(exe):
    os.makedirs(CORPUS, exist_ok=True)
    work = scratch()
    try:
        sources = {}
        hand = os.path.join(HERE, "evaluator.vyr")
        with open(hand, encoding="utf-8") as f:
            sources["evaluator"] = [ln.rstrip("\n") for ln in f
                                    if ln.strip() and not ln.startswith(";")]
        for t in TRANSCRIPTS:
            sources["transcript-" + t] = [s for s in transcript_inputs(t) if admissible(s)]
        for k, seed in enumerate((5601, 5602, 5603)):
            sources["fuzz-%d" % (k + 1)] = [s for s in fuzz_snippets(seed, 120) if admissible(s)]
        for name, snippets in sources.items():
            kept = stable(exe, snippets, work)
            with open(os.path.join(CORPUS, name + ".txt"), "w", encoding="utf-8") as f:
                f.write(";; Built by tools/eval_compare.py build-corpus; one snippet a line.\n")
                f.write("\n".join(kept) + "\n")
            print("%s: %d of %d snippets kept" % (name, len(kept), len(snippets)))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("check", "record", "build-corpus"):
        print(__doc__)
        return 2
    cmd, exe = sys.argv[1], os.path.abspath(sys.argv[2])
    if cmd == "check":
        return check(exe)
    if cmd == "record":
        return record(exe)
    return build_corpus(exe)


if __name__ == "__main__":
    sys.exit(main())
