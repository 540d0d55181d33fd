#!/bin/sh
# Builds every libFuzzer target in tests/fuzz with clang and runs each briefly. A target
# runs on a scratch corpus in the build tree, seeded from tests/fuzz/<name>_corpus when that
# exists; its output goes to BUILD/<name>.log, and one line tells its executions and the
# coverage it reached beside what the empty input alone reaches. Any finding (crash, leak of
# time, out-of-memory) fails the run, and so does a target whose coverage stays at the
# empty input's: its inputs never reach the code it is for.
# Usage: tools/fuzz.sh BUILD_DIR JOBS SECONDS
set -e
BUILD=$1 JOBS=$2 SECONDS_EACH=$3
if ! command -v clang++ >/dev/null 2>&1; then
  echo "clang++ not found: fuzz targets skipped"; exit 0
fi
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_COMPILER=clang -DVYR_FUZZ=ON -DVYR_BENCH=OFF >/dev/null
targets=$(ls tests/fuzz/*_fuzz.cpp | sed 's|.*/||; s|\.cpp$||')
ninja -C "$BUILD" -j "$JOBS" --quiet $targets
export ASAN_OPTIONS=detect_leaks=0
failed=0
for t in $targets; do
  name=${t%_fuzz}
  log="$BUILD/$name.log"
  mkdir -p "$BUILD/${name}_corpus" "$BUILD/${name}_empty"
  # With an empty corpus and no runs, libFuzzer executes the empty input only.
  "./$BUILD/$t" -runs=0 "$BUILD/${name}_empty" >"$log" 2>&1 || true
  empty=$(sed -n 's/.*INITED cov: \([0-9]*\).*/\1/p' "$log" | head -n 1)
  seeds=""
  [ -d "tests/fuzz/${name}_corpus" ] && seeds="tests/fuzz/${name}_corpus"
  if "./$BUILD/$t" -max_total_time="$SECONDS_EACH" -timeout=5 -rss_limit_mb=2048 \
      -artifact_prefix="$BUILD/" -print_final_stats=1 "$BUILD/${name}_corpus" $seeds >>"$log" 2>&1
  then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    cov=$(sed -n 's/.*DONE *cov: \([0-9]*\).*/\1/p' "$log" | tail -n 1)
    if [ -n "$cov" ] && [ -n "$empty" ] && [ "$cov" -gt "$empty" ]; then
      printf 'fuzz %-16s %9s runs in %s s, coverage %s (empty input %s)\n' \
        "$name" "$runs" "$SECONDS_EACH" "$cov" "$empty"
    else
      echo "fuzz $name: coverage ${cov:-?} stays at the empty input's ${empty:-?} (log: $log)"
      failed=1
    fi
  else
    echo "fuzz $name: FAILED (log: $log)"
    tail -n 40 "$log"
    failed=1
  fi
done
exit $failed
