#!/usr/bin/python3.11
"""Checks the JSON and CSV codecs and the URL parser against Python's own libraries.

1. Every file of tests/data/json gets the same verdict from load-json as from json.loads
   (y_ files accepted, n_ files refused), apart from the listed differences.
2. Seeded JSON documents go through `to-json load-json` and decode in Python to equal
   values: floats bit-exact, keys differing only in case kept apart.
3. Rows written by csv.writer go through load-csv and to-csv and read back equal.
4. Generated valid URLs split by decode-url as urllib.parse.urlsplit and unquote do.
Usage: formats_oracle.py path/to/vyr
"""
import csv
import io
import json
import math
import os
import random
import struct
import subprocess
import sys
import tempfile
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "..", "data", "json")
# Python accepts these; JSON does not, and neither does load-json.
PYTHON_ONLY = {"n_number_NaN", "n_number_Infinity", "n_string_lone_high_surrogate",
               "n_string_lone_low_surrogate", "n_string_high_then_text"}


def run(vyr, script):
    p = subprocess.run([vyr, "--cli"], input=script, capture_output=True, text=True,
                       timeout=600)
    # The console shows the value of a definition line: only the printed lines count.
    return "\n".join(l for l in p.stdout.split("\n") if not l.startswith("== ")) + "\n"



def vyr_path(path):
    return "%" + path


def python_accepts(text):
    try:
        json.loads(text)
        return True
    except (ValueError, RecursionError):
        return False


# load-json with its native fast path switched off: the grammar alone.
SLOW = ("dec: context? first find body-of :load-json 'fast-decode fast: :dec/fast-decode "
        "slow-json: func [t /local r] [dec/fast-decode: func [x] [none] "
        "set/any 'r try [load-json t] dec/fast-decode: :fast :r]\n"
        "same-json: func [t /local a b] [set/any 'a try [load-json t] set/any 'b slow-json t "
        "either all [error? :a error? :b] [all [a/id = b/id a/arg1 = b/arg1]] "
        "[equal? mold/all :a mold/all :b]]\n"
        "enc: context? first find body-of :to-json 'fast-encode fast-e: :enc/fast-encode "
        "slow-enc: func [f] [enc/fast-encode: func [a b c d] [none] f: try f "
        "enc/fast-encode: :fast-e :f]\n"
        "same-enc: func [v] [all [(to-json :v) == slow-enc [to-json :v] "
        "(to-json/pretty :v {  }) == slow-enc [to-json/pretty :v {  }] "
        "(to-json/ascii :v) == slow-enc [to-json/ascii :v]]]\n")


def check_fast_path(vyr, tmp, texts):
    """The fast path and the grammar give the same values and the same errors."""
    lines = []
    for i, t in enumerate(texts):
        p = os.path.join(tmp, "fast%d.json" % i)
        with open(p, "w", encoding="utf-8", newline="", errors="surrogatepass") as f:
            f.write(t)
        lines.append('print ["F%d" same-json t: to string! read/binary %s '
                     'either error? v: try [load-json t] [true] [same-enc :v]]' % (i, vyr_path(p)))
    out = run(vyr, SLOW + "\n".join(lines) + "\n").split("\n")
    bad = 0
    for i, t in enumerate(texts):
        if "F%d true true" % i not in out:
            print("fast path differs from the grammar on %r" % t[:200])
            bad += 1
    return bad


def check_corpus(vyr, tmp):
    names = sorted(f[:-5] for f in os.listdir(CORPUS) if f.endswith(".json"))
    lines = []
    for n in names:
        p = os.path.join(os.path.abspath(CORPUS), n + ".json")
        lines.append('print ["%s" either error? load-json to string! read/binary %s ["n"] ["y"]]'
                     % (n, vyr_path(p)))
    out = run(vyr, "\n".join(lines) + "\n").split("\n")
    got = dict(l.split(" ", 1) for l in out if l.count(" ") == 1)
    bad = 0
    for n in names:
        with open(os.path.join(CORPUS, n + ".json"), encoding="utf-8", newline="") as f:
            text = f.read()
        want = n[0]
        py = "y" if python_accepts(text) else "n"
        if n in PYTHON_ONLY:
            py = "n"
        if got.get(n) != want or py != want:
            print("corpus %s: load-json %s, python %s, expected %s" % (n, got.get(n), py, want))
            bad += 1
    return bad


def gen_value(rng, depth):
    k = rng.randrange(9 if depth < 4 else 6)
    if k == 0:
        return None
    if k == 1:
        return rng.random() < 0.5
    if k == 2:
        return rng.randrange(-2**31, 2**31)
    if k == 3:
        while True:
            f = struct.unpack("<d", struct.pack("<Q", rng.getrandbits(64)))[0]
            if math.isfinite(f):
                return rng.choice([f, rng.random() * 10 ** rng.randrange(-30, 30), 0.1, -0.0])
    if k in (4, 5):
        alphabet = "aAbZ é\"\\/\b\f\n\r\t\x01\x1f\u2028😀{}[],:"
        return "".join(rng.choice(alphabet) for _ in range(rng.randrange(8)))
    if k in (6, 7):
        return [gen_value(rng, depth + 1) for _ in range(rng.randrange(5))]
    obj = {}
    for _ in range(rng.randrange(5)):
        key = rng.choice(["a", "A", "b", "B", "x y", "1a", "", "é", "k-1", "key"])
        obj[key] = gen_value(rng, depth + 1)
    return obj


def same(a, b):
    if type(a) is not type(b):
        return False
    if isinstance(a, float):
        return struct.pack("<d", a) == struct.pack("<d", b)
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    return a == b


def check_json_round_trip(vyr, tmp, rng):
    docs = [gen_value(rng, 0) for _ in range(300)]
    texts = [json.dumps(d, ensure_ascii=rng.random() < 0.5) for d in docs]
    lines = []
    for i, t in enumerate(texts):
        p = os.path.join(tmp, "doc%d.json" % i)
        with open(p, "w", encoding="utf-8", newline="") as f:
            f.write(t)
        lines.append("print to-json load-json to string! read/binary %s" % vyr_path(p))
    out = run(vyr, "\n".join(lines) + "\n").split("\n")
    bad = 0
    for i, d in enumerate(docs):
        try:
            back = json.loads(out[i])
        except (ValueError, IndexError):
            back = "<not JSON: %r>" % (out[i] if i < len(out) else None)
        if not same(d, back):
            print("json round trip %d:\n  in:  %s\n  out: %s" % (i, texts[i], out[i] if i < len(out) else None))
            bad += 1
    return bad


def check_csv(vyr, tmp, rng):
    cells = ["a", "b c", " lead", "trail ", "", "x,y", 'q"q', '"', "l\nm", "c\rr", "cr\r\nlf", "é", "1"]
    tables = []
    lines = []
    for i in range(150):
        width = rng.randrange(2, 6)
        rows = [[rng.choice(cells) for _ in range(width)] for _ in range(rng.randrange(1, 6))]
        buf = io.StringIO(newline="")
        csv.writer(buf).writerows(rows)
        p = os.path.join(tmp, "t%d.csv" % i)
        q = os.path.join(tmp, "t%d.out" % i)
        with open(p, "w", encoding="utf-8", newline="") as f:
            f.write(buf.getvalue())
        tables.append((rows, q))
        lines.append("write/binary %s to binary! to-csv load-csv to string! read/binary %s"
                     % (vyr_path(q), vyr_path(p)))
    run(vyr, "\n".join(lines) + "\n")
    bad = 0
    for i, (rows, q) in enumerate(tables):
        try:
            with open(q, encoding="utf-8", newline="") as f:
                back = list(csv.reader(f))
        except OSError:
            back = None
        if back != rows:
            print("csv %d:\n  rows: %r\n  back: %r" % (i, rows, back))
            bad += 1
    return bad


def gen_url(rng):
    pchar = "abcXYZ019-._~!$&'()*+,;=:@"
    seg = lambda: "".join(rng.choice(pchar) for _ in range(rng.randrange(1, 6))) + \
        rng.choice(["", "%20", "%41", "%7E"])
    scheme = rng.choice(["http", "https", "ftp", "x-y.z+w"])
    url = scheme + ":"
    if rng.random() < 0.85:
        url += "//"
        if rng.random() < 0.3:
            url += rng.choice(["joe", "joe:pw", "a%40b"]) + "@"
        url += rng.choice(["host.com", "h", "a-b.c.org", "127.0.0.1", "H.Com"])
        if rng.random() < 0.4:
            url += ":" + str(rng.randrange(1, 65536))
        if rng.random() < 0.8:
            url += "".join("/" + seg() for _ in range(rng.randrange(0, 4)))
            if rng.random() < 0.3:
                url += "/"
    else:
        url += seg() + "".join("/" + seg() for _ in range(rng.randrange(0, 3)))
    if rng.random() < 0.5:
        url += "?" + seg() + "=" + seg() + rng.choice(["", "&q=/?"])
    if rng.random() < 0.3:
        url += "#" + seg() + rng.choice(["", "/x?"])
    return url


def check_urls(vyr, rng):
    urls = [gen_url(rng) for _ in range(300)]
    lines = []
    for u in urls:
        lines.append('o: decode-url "%s" print either o [rejoin-parts o] ["<none>"]' % u)
    prelude = ('rejoin-parts: func [o /local out] [out: copy "" foreach w [scheme user-info host '
               'port path target query fragment] [append out either none? get in o w ["\\N"] '
               '[form get in o w] append out "^-"] out]\n')
    out = run(vyr, prelude + "\n".join(lines) + "\n").split("\n")
    bad = 0
    unq = urllib.parse.unquote
    for i, u in enumerate(urls):
        s = urllib.parse.urlsplit(u)
        user = host = port = None
        if "//" in u[: len(s.scheme) + 3]:
            userinfo, at, hostport = s.netloc.rpartition("@")
            user = unq(userinfo) if at else None
            host, colon, p = hostport.partition(":")
            host = unq(host)
            port = p if colon else None
        path = unq(s.path)
        d = t = None
        if path:
            if path == "/":
                d = "/"
            else:
                cut = path[:-1].rfind("/") + 1
                d = path[:cut] or "./"
                t = path[cut:]
        want = [s.scheme, user, host, port, d, t,
                unq(s.query) if "?" in u.split("#")[0] else None, unq(s.fragment) if "#" in u else None]
        want = "".join(("\\N" if w is None else w) + "\t" for w in want)
        got = out[i] if i < len(out) else None
        if got != want:
            print("url %s:\n  want %r\n  got  %r" % (u, want, got))
            bad += 1
    return bad


def main():
    vyr = sys.argv[1]
    rng = random.Random(20261210)
    with tempfile.TemporaryDirectory() as tmp:
        bad = check_corpus(vyr, tmp)
        texts = []
        for f in sorted(os.listdir(CORPUS)):
            with open(os.path.join(CORPUS, f), encoding="utf-8", newline="") as h:
                texts.append(h.read())
        for _ in range(200):
            t = json.dumps(gen_value(rng, 0), indent=rng.choice([None, 1]))
            cut = rng.randrange(len(t) + 1)
            texts.append(rng.choice([t, t[:cut], t[:cut] + rng.choice(",]}\"\\x \n") + t[cut:]]))
        bad += check_fast_path(vyr, tmp, texts)
        bad += check_json_round_trip(vyr, tmp, rng)
        bad += check_csv(vyr, tmp, rng)
        bad += check_urls(vyr, rng)
    print("%d failures" % bad)
    sys.exit(1 if bad else 0)


main()
