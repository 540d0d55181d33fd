#!/bin/sh
# Runs each bench/programs/NAME.vyr with build/vyr, NAME.py with CPython and NAME.lua with
# Lua 5.4 (when both exist), RUNS times each (default 5), and prints the best times and the
# ratios vyr / python and vyr / lua (below 1.0 is faster). "net" repeats the python ratio
# with each interpreter's start-up (the best time of an empty program) taken off, which
# compares the evaluators alone. Not part of `make test`: timings depend on the machine.
# PY=/path/to/python3 and LUA=/path/to/lua pick other interpreters (LUA= skips Lua);
# VYR=/path/to/vyr times another build (a saved binary, to compare before and after).
set -e
cd "$(dirname "$0")/.."
RUNS=${RUNS:-5}
VYR=${VYR:-./build/vyr}
# The distribution's optimised CPython, called directly (a launcher script in front of it
# adds its own start-up); any other CPython only when that one is missing.
if [ -z "$PY" ]; then
  if [ -x /usr/bin/python3.11 ]; then PY=/usr/bin/python3.11
  else PY=$(python3 -c 'import sys; print(sys.executable)'); fi
fi
if [ -z "${LUA+set}" ]; then LUA=$(command -v lua5.4 || true); fi
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
sv=$(best "$VYR" "$empty/empty.vyr")
sp=$(best "$PY" "$empty/empty.py")
printf "%-14s vyr %6.3fs  python %6.3fs  (%s)" "start-up" "$sv" "$sp" "$PY"
if [ -n "$LUA" ]; then
  : >"$empty/empty.lua"
  printf "  lua %6.3fs (%s)" "$(best "$LUA" "$empty/empty.lua")" "$LUA"
fi
printf "\n"
for v in bench/programs/*.vyr; do
  n=$(basename "$v" .vyr)
  tv=$(best "$VYR" "$v")
  printf "%-14s vyr %6.3fs" "$n" "$tv"
  if [ -f "bench/programs/$n.py" ]; then
    tp=$(best "$PY" "bench/programs/$n.py")
    printf "  python %6.3fs  ratio %5.2f  net %5.2f" "$tp" \
      "$(calc "$tv / $tp")" "$(calc "($tv - $sv) / ($tp - $sp)")"
  fi
  if [ -n "$LUA" ] && [ -f "bench/programs/$n.lua" ]; then
    tl=$(best "$LUA" "bench/programs/$n.lua")
    printf "  lua %6.3fs  ratio %5.2f" "$tl" "$(calc "$tv / $tl")"
  fi
  printf "\n"
done
