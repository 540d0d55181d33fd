#!/usr/bin/python3.11
"""Checks date! arithmetic and fields against Python's datetime and calendar.

About 2,000 random dates of 1600-2400: ISO week, weekday and day of the year, a date plus
or minus a number of days, the days between two dates, Unix time of dates with times and
zones (1902-2037, before 1970 included) against calendar.timegm, to date! of integers,
and query's date of temporary files whose modification times are set here.
Usage: date_oracle.py path/to/vyr
"""
import calendar
import datetime
import os
import random
import subprocess
import sys
import tempfile

MARK = "<<oracle-case>>"
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
EPOCH = datetime.datetime(1970, 1, 1)


def text(d):
    """The date's text as date! writes it (years here are all above 99)."""
    return "%d-%s-%d" % (d.day, MONTHS[d.month - 1], d.year)


def time_text(seconds):
    return "%d:%02d:%02d" % (seconds // 3600, seconds // 60 % 60, seconds % 60)


def random_date(rnd, first=1600, last=2400):
    start = datetime.date(first, 1, 1).toordinal()
    end = datetime.date(last, 12, 31).toordinal()
    return datetime.date.fromordinal(rnd.randint(start, end))


def main():
    exe = sys.argv[1]
    rnd = random.Random(20261210)
    cases = []

    def case(expr, expected):
        cases.append((expr, str(expected)))

    for _ in range(2000):
        d = random_date(rnd)
        lit = text(d)
        kind = rnd.randrange(5)
        if kind == 0:
            case("pick %s 'isoweek" % lit, d.isocalendar()[1])
            case("pick %s 'weekday" % lit, d.isoweekday())
            case("pick %s 'yearday" % lit, d.timetuple().tm_yday)
        elif kind == 1:
            n = rnd.randint(-60000, 60000)
            e = d + datetime.timedelta(days=n)
            if 1 <= e.year <= 9999 and e.year > 99:
                case("%s + %d" % (lit, n), text(e))
                case("%s - %d" % (lit, -n), text(e))
        elif kind == 2:
            o = random_date(rnd)
            case("%s - %s" % (lit, text(o)), (d - o).days)
        elif kind == 3:
            # Unix time of a date with a time and a zone, 1902-2037.
            d = random_date(rnd, 1902, 2037)
            secs = rnd.randrange(86400)
            zone_q = rnd.randint(-40, 40)  # quarter hours
            local = datetime.datetime(d.year, d.month, d.day) + datetime.timedelta(seconds=secs)
            utc = local - datetime.timedelta(minutes=15 * zone_q)
            want = calendar.timegm(utc.timetuple())
            if -2**31 <= want < 2**31:
                sign = "-" if zone_q < 0 else "+"
                q = abs(zone_q)
                zone = "%s%d:%02d" % (sign, q // 4, q % 4 * 15)
                case("to integer! %s/%s%s" % (text(d), time_text(secs), zone), want)
        else:
            n = rnd.randint(-2**31, 2**31 - 1)
            t = EPOCH + datetime.timedelta(seconds=n)
            case("to date! %d" % n, "%s/%s" % (text(t), time_text(t.hour * 3600 + t.minute * 60 + t.second)))

    # query: the modification time as a UTC date with its milliseconds.
    paths = []
    for ns in (1614834367891234000, 0, 946684799999999999, 1700000000500000000):
        fd, path = tempfile.mkstemp(prefix="vyr-date-")
        os.close(fd)
        os.utime(path, ns=(ns, ns))
        paths.append(path)
        t = EPOCH + datetime.timedelta(microseconds=ns // 1000)
        ms = ns // 1000000 % 1000
        seconds = "%02d" % t.second + ("." + ("%03d" % ms).rstrip("0") if ms else "")
        case("query %%%s" % path, "%s/%d:%02d:%s" % (text(t), t.hour, t.minute, seconds))
    case("query %%%s-missing" % paths[0], "none")

    script = []
    for expr, _ in cases:
        script.append('print "%s"' % MARK)
        script.append("print %s" % expr)
    proc = subprocess.run([exe, "--cli"], input="\n".join(script) + "\n",
                          capture_output=True, text=True, timeout=600)
    for path in paths:
        os.unlink(path)
    got = proc.stdout.split(MARK + "\n")[1:]
    failed = 0
    for i, (expr, want) in enumerate(cases):
        answer = got[i].rstrip("\n") if i < len(got) else "<no output>"
        if answer != want:
            failed += 1
            if failed <= 10:
                print("case: %s\n  expected: %s\n  got:      %s" % (expr, want, answer))
    print("%d passed, %d failed" % (len(cases) - failed, failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
