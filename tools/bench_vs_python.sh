#!/bin/sh
# Runs each bench/programs/NAME.vyr with build/vyr and NAME.py with python3, RUNS times
# each (default 5), and prints the best times and their ratio (vyr / python; below 1.0 is
# faster than python). "net" repeats the ratio with each interpreter's start-up (the best
# time of an empty program) taken off, which compares the evaluators alone. Not part of
# `make test`: timings depend on the machine. PY=/path/to/python3 picks another CPython.
set -e
cd "$(dirname "$0")/.."
RUNS=${RUNS:-5}
# The interpreter itself, not a launcher script in front of it (which adds its own start-up).
PY=${PY:-$(python3 -c 'import sys; print(sys.executable)')}
# Seconds since the epoch, to the nanosecond; arithmetic in awk, which every system has.
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
less() { awk "BEGIN { exit !($1 < $2) }"; }
best() {
  b=""
  for i in $(seq "$RUNS"); do
    s=$(now)
    "$@" >/dev/null
    e=$(now)
    t=$(calc "$e - $s")
    if [ -z "$b" ] || less "$t" "$b"; then b=$t; fi
  done
  echo "$b"
}
empty=$(mktemp -d)
trap 'rm -rf "$empty"' EXIT
echo 'Vyr []' >"$empty/empty.vyr"
: >"$empty/empty.py"
sv=$(best ./build/vyr "$empty/empty.vyr")
sp=$(best "$PY" "$empty/empty.py")
printf "%-14s vyr %6.3fs  python %6.3fs  (%s)\n" "start-up" "$sv" "$sp" "$PY"
for v in bench/programs/*.vyr; do
  n=$(basename "$v" .vyr)
  tv=$(best ./build/vyr "$v")
  if [ -f "bench/programs/$n.py" ]; then
    tp=$(best "$PY" "bench/programs/$n.py")
    printf "%-14s vyr %6.3fs  python %6.3fs  ratio %5.2f  net %5.2f\n" "$n" "$tv" "$tp" \
      "$(calc "$tv / $tp")" "$(calc "($tv - $sv) / ($tp - $sp)")"
  else
    printf "%-14s vyr %6.3fs\n" "$n" "$tv"
  fi
done
