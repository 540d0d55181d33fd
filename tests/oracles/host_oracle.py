#!/usr/bin/python3.11
"""Checks files, processes and the system natives against what Python sees of them.

Runs `vyr --cli` in a fresh temporary directory holding the fixtures (CR LF files, a FIFO,
a fake xdg-open on PATH that logs its argv), compares every answer, then checks from
outside what only the system can tell: files written, no zombie left, the child's stdin
not inherited, the arguments browse handed over.
Usage: host_oracle.py path/to/vyr
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

MARK = "<<oracle-case>>"
NOT_DONE = "*** Internal Error: reserved for future use (or not yet implemented)"


def run(exe, cases, cwd, env, stdin_extra=""):
    script = []
    for inp, _ in cases:
        script.append('print "%s"' % MARK)
        script.append(inp)
    proc = subprocess.run([exe, "--cli"], input="\n".join(script) + "\n" + stdin_extra,
                          capture_output=True, text=True, timeout=120, cwd=cwd, env=env)
    got = proc.stdout.split(MARK + "\n")[1:]
    failed = 0
    for i, (inp, want) in enumerate(cases):
        out = got[i].rstrip("\n") if i < len(got) else "<no output>"
        if want is not None and out != want:
            failed += 1
            print("FAIL %s\n  expected %r\n  got      %r" % (inp, want, out))
    if proc.returncode not in (0, 1):
        print("vyr exited with status %d\n%s" % (proc.returncode, proc.stderr[-2000:]))
        failed += 1
    return failed, got


def main():
    exe = os.path.abspath(sys.argv[1])
    d = tempfile.mkdtemp(prefix="vyr-host-")
    failed = 0
    checks = []
    try:
        with open(os.path.join(d, "crlf.bin"), "wb") as f:
            f.write(b"a\r\nb\r")
        with open(os.path.join(d, "lf2.bin"), "wb") as f:
            f.write(b"a\n\nb\n")
        with open(os.path.join(d, "digits"), "wb") as f:
            f.write(b"0123456789")
        open(os.path.join(d, "empty"), "wb").close()
        os.mkdir(os.path.join(d, "sub"))
        os.mkfifo(os.path.join(d, "fifo"))
        with open(os.path.join(d, "sparse"), "wb") as f:
            f.truncate(3 << 30)
        bindir = os.path.join(d, "bin")
        os.mkdir(bindir)
        log = os.path.join(d, "xdg.log")
        with open(os.path.join(bindir, "xdg-open"), "w") as f:
            f.write('#!/bin/sh\nfor a in "$@"; do printf "%%s\\n" "$a" >> %s; done\n' % log)
        os.chmod(os.path.join(bindir, "xdg-open"), 0o755)
        big = os.path.join(d, "big.bin")
        with open(big, "wb") as f:
            f.write(bytes(range(256)) * 4096)  # 1 MiB
        env = dict(os.environ)
        env["PATH"] = bindir + ":" + env.get("PATH", "/usr/bin:/bin")
        env["TZ"] = "Asia/Kathmandu"
        env["VYR_EMPTY"] = ""
        env.pop("VYR_GONE", None)

        cases = [
            # Reading
            ("read/lines %crlf.bin", '== ["a" "b"]'),
            ("read %crlf.bin", '== "a^/b^/"'),
            ("read/lines %lf2.bin", '== ["a" "" "b"]'),
            ("read %empty", '== ""'),
            ("read/binary %empty", "== #{}"),
            ("read/lines %empty", '== ""'),
            ("read/part %digits 0", '== ""'),
            ("read/seek/part %digits 3 2", '== "34"'),
            ("read/seek %digits 20", '== ""'),
            ("read/part %digits 1.5",
             "*** Script Error: invalid /part argument: 1.5\n*** Where: read\n"
             "*** Near : read/part %digits 1.5"),
            ("read/seek %digits -1",
             "*** Script Error: value out of range: -1\n*** Where: read\n"
             "*** Near : read/seek %digits -1"),
            ("read %.",
             '== [%big.bin %bin/ %crlf.bin %digits %empty %fifo %lf2.bin %sparse %sub/]'),
            ("read %sub/", "== []"),
            ("find read %/ %tmp/", None),
            ("read %missing",
             "*** Access Error: cannot open: %missing\n*** Where: read\n"
             "*** Near : read %missing"),
            ('copy/part read %/proc/self/status 5', '== "Name:"'),
            ('copy/part read/seek %/proc/self/status 2 3', '== "me:"'),
            # Writing
            ('write %w1 "a^/b" read/binary %w1', "== #{610A62}"),
            ("write %w2 [1 \"a\" [b]] read %w2", '== {[1 "a" [b]]}'),
            ("write/lines %w3 [1 \"a\" [b] #{00}] read/binary %w3",
             "== #{310A610A5B625D0A000A}"),
            ('write/lines %w4 "x" read/binary %w4', "== #{780A}"),
            ('write/append %w5 "a" write/append %w5 "b" read %w5', '== "ab"'),
            ('write %w5 "z" read %w5', '== "z"'),
            ('write/part %w6 "abc" -1 exists: size? %w6', "== none"),
            ('write/part %w6 "abc" 2 read %w6', '== "ab"'),
            ('write/part %w6 "abc" "x"',
             '*** Script Error: write does not allow string! for its length argument\n'
             '*** Where: write\n*** Near : write/part %w6 "abc" "x"'),
            ('write/part %w6 "abc" 1.5',
             '*** Script Error: invalid /part argument: 1.5\n*** Where: write\n'
             '*** Near : write/part %w6 "abc" 1.5'),
            ('write/seek %digits "AB" 2 read %digits', '== "01AB456789"'),
            ('write %nodir/x "a"',
             '*** Access Error: cannot open: %nodir/x\n*** Where: write\n'
             '*** Near : write %nodir/x "a"'),
            ('write %/dev/full "a"',
             '*** Access Error: cannot open: %/dev/full\n*** Where: write\n'
             '*** Near : write %/dev/full "a"'),
            # rename never replaces
            ('write %r1 "1" write %r2 "2" rename %r1 %r2', "== false"),
            ("reduce [read %r1 read %r2]", '== ["1" "2"]'),
            ("rename %r1 %r3", "== true"),
            # Past the longest series: refused before anything is allocated.
            ("read/binary %sparse",
             "*** Script Error: content too long\n*** Where: read\n*** Near : read/binary %sparse"),
            ("read/binary/part %sparse 4", "== #{00000000}"),
            ("size? %sparse", "== 3221225472.0"),
            # size?
            ("size? %digits", "== 10"),
            ("size? %sub/", "== none"),
            ("size? %sub", "== none"),
            ("size? %missing", "== none"),
            ("size? %fifo", "== 0"),
            ("size? %.", "== none"),
            # Processes
            ('out: copy "" call/output {printf "a\\r\\nb\\rc"} out out', '== "a^/b^/c"'),
            ('out: copy "x" call/output "printf y" out out', '== "xy"'),
            ('b: #{FF} call/output {printf "a\\r\\n"} b b', "== #{610D0AFF}"),
            ('call/wait "true"', "== 0"),
            ('call/wait "false"', "== 1"),
            ('call/shell/wait "kill -TERM $$"', "== 143"),
            ('call/shell/wait "exit 300"', "== 44"),
            ('call "no-such-program-anywhere"', "== -1"),
            ('call/wait "no-such-program-anywhere"', "== -1"),
            ('call ""', "== 0"),
            ('call/console "true"', NOT_DONE + '\n*** Where: call\n*** Near : call/console "true"'),
            ('e: copy "" call/error/shell "echo oops >&2; exit 3" e', "== 3"),
            ("e", '== "oops^/"'),
            ('x: copy "" call/input/output "cat" "héllo^/wörld" x x', '== "héllo^/wörld"'),
            ('x: copy "" call/input/output "cat" #{C3A9} x x', '== "é"'),
            ('x: copy "" call/input/output "cat" %digits x x', '== "01AB456789"'),
            ('call/input "cat" %missing', "== -1"),
            ('call/output "echo hi" %missing-dir/x', "== -1"),
            ('call/output "echo a" %log.txt call/output "echo b" %log.txt read %log.txt',
             '== "a^/b^/"'),
            ('call/wait {sh -c "exit 5"}', "== 5"),
            ('x: copy "" call/output {printf "[%s]" "a b" ""} x x', '== "[a b][]"'),
            # 1 MiB in, 1 MiB out on both streams: the pipes are served together.
            ("data: read/binary %big.bin length? data", "== 1048576"),
            ('o: copy #{} e: copy #{} call/input/output/error {sh -c "tee /dev/stderr"} '
             'data o e reduce [o = data e = data]', "== [true true]"),
            # A CR LF cut between two capture chunks (1 MiB each) is still one line end.
            ('x: copy "" call/output {sh -c "head -c 1048575 /dev/zero | tr \'\\0\' a; '
             'printf \'\\r\\nb\'"} x reduce [length? x copy skip x 1048574]',
             '== [1048577 "a^/b"]'),
            # stdin is not the console's: the child reads end of input at once.
            ('x: copy "" call/output "wc -c" x x', '== "0^/"'),
            # A started program's pid, reaped later.
            ('pid: call "sleep 0.2" pid > 0', "== true"),
            ("wait 0.6 pid", None),
            # browse: xdg-open with the URL as one argument of its own.
            ('browse to url! "http://example.com/a?b=1&c=$(id) x"', ""),
            ("browse %some/file.txt", ""),
            # A file goes as an absolute path; anything the opener would read as an
            # option is refused before it starts.
            ("browse %-x", ""),
            ('browse to url! "--version"',
             '*** Script Error: invalid argument: --version\n*** Where: browse\n'
             '*** Near : browse to url! "--version"'),
            ('browse to url! "-"',
             '*** Script Error: invalid argument: -\n*** Where: browse\n'
             '*** Near : browse to url! "-"'),
            ("wait 0.5", "== none"),
            # Environment
            ('get-env "VYR_GONE"', "== none"),
            ('get-env "VYR_EMPTY"', "== none"),
            ('select list-env "VYR_EMPTY"', '== ""'),
            ('set-env "VYR_NEW" "v" get-env \'VYR_NEW', '== "v"'),
            ('select list-env "VYR_NEW"', '== "v"'),
            ('set-env \'VYR_NEW none', "== none"),
            ('get-env "VYR_NEW"', "== none"),
            ('x: copy "" set-env "VYR_KID" "k" call/output "printenv VYR_KID" x x', '== "k^/"'),
            ('set-env "A=B" "1"',
             '*** Script Error: invalid argument: "A=B"\n*** Where: set-env\n'
             '*** Near : set-env "A=B" "1"'),
            ('set-env "" "1"',
             '*** Script Error: invalid argument: ""\n*** Where: set-env\n'
             '*** Near : set-env "" "1"'),
            ('set-env "X" "a^@b"',
             '*** Script Error: invalid argument: "a^@b"\n*** Where: set-env\n'
             '*** Near : set-env "X" "a^@b"'),
            # now under TZ=Asia/Kathmandu (+5:45)
            ("now/zone", "== 5:45:00"),
            ("now/utc/zone", "== 0:00:00"),
            ("now/year/month",
             "*** Script Error: incompatible or invalid refinements\n*** Where: now\n"
             "*** Near : now/year/month"),
            ("type? now/time/precise", "== time!"),
            ("now/year", None),
            ("now/month", None),
            ("now/day", None),
            ("now/weekday", None),
            ("now/yearday", None),
            ("now/time", None),
            ("now/utc/time", None),
            ("d: now d/zone", "== 5:45:00"),
            ("d: now/date d/zone", "== none"),
        ]
        f1, got = run(exe, cases, d, env)
        failed += f1
        index = {inp: i for i, (inp, _) in enumerate(cases)}

        def answer(inp):
            i = index[inp]
            return got[i].rstrip("\n") if i < len(got) else ""

        # The listing of / holds tmp/.
        checks.append(("read %/ lists /", answer("find read %/ %tmp/").startswith("== [%tmp/")))
        # The pid: no zombie left.
        pid_line = answer("wait 0.6 pid")
        pid = int(pid_line[3:]) if pid_line.startswith("== ") else -1
        checks.append(("a started child is reaped",
                       pid > 0 and not os.path.exists("/proc/%d" % pid)))
        # browse's argv.
        try:
            logged = open(log).read().split("\n")[:-1]
        except OSError:
            logged = []
        checks.append(("browse passes each URL as one argument",
                       sorted(logged) == sorted(["http://example.com/a?b=1&c=$(id)%20x",
                                                 os.path.realpath(d) + "/some/file.txt",
                                                 os.path.realpath(d) + "/-x"])))
        # now against Python under the same zone.
        os.environ["TZ"] = "Asia/Kathmandu"
        time.tzset()
        lt = time.localtime()
        want = {"now/year": lt.tm_year, "now/month": lt.tm_mon, "now/day": lt.tm_mday,
                "now/weekday": lt.tm_wday + 1, "now/yearday": lt.tm_yday}
        for k, v in want.items():
            checks.append((k, answer(k) == "== %d" % v))
        t = answer("now/time")[3:].split(":")
        secs = lt.tm_hour * 3600 + lt.tm_min * 60 + lt.tm_sec
        ok = len(t) == 3 and abs(int(t[0]) * 3600 + int(t[1]) * 60 + float(t[2]) - secs) < 30
        checks.append(("now/time is local", ok))
        u = answer("now/utc/time")[3:].split(":")
        gt = time.gmtime()
        gsecs = gt.tm_hour * 3600 + gt.tm_min * 60 + gt.tm_sec
        ok = len(u) == 3 and abs(int(u[0]) * 3600 + int(u[1]) * 60 + float(u[2]) - gsecs) < 30
        checks.append(("now/utc/time is UTC", ok))
        # Files written as the cases said.
        checks.append(("write/part -1 creates nothing", not os.path.exists(os.path.join(d, "w6"))
                       or open(os.path.join(d, "w6"), "rb").read() == b"ab"))

        # A child that exits without reading its input must not end vyr by SIGPIPE, and
        # a waited call keeps its own status while detached children come and go.
        f2, got2 = run(exe, [
            ('data: read/binary %big.bin call/input/wait "true" data', "== 0"),
            ('call "true" call "true" call/wait {sh -c "sleep 0.2; exit 7"}', "== 7"),
            ("loop 50 [call \"true\"] wait 0.5 \"alive\"", '== "alive"'),
        ], d, env)
        failed += f2
    finally:
        shutil.rmtree(d, ignore_errors=True)
    for name, ok in checks:
        if not ok:
            failed += 1
            print("FAIL check: %s" % name)
    print("%s" % ("all passed" if not failed else "%d failed" % failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
