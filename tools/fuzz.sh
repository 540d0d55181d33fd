#!/bin/sh
# Builds every libFuzzer target in tests/fuzz with clang and runs each briefly. A target
# runs on a scratch corpus in the build tree, seeded from tests/fuzz/<name>_corpus when that
# exists. Any finding (crash, leak of time, out-of-memory) fails the run.
# Usage: tools/fuzz.sh BUILD_DIR JOBS SECONDS
set -e
BUILD=$1 JOBS=$2 SECONDS_EACH=$3
if ! command -v clang++ >/dev/null 2>&1; then
  echo "clang++ not found: fuzz targets skipped"; exit 0
fi
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_COMPILER=clang -DVYR_FUZZ=ON -DVYR_BENCH=OFF >/dev/null
targets=$(ls tests/fuzz/*_fuzz.cpp | sed 's|.*/||; s|\.cpp$||')
ninja -C "$BUILD" -j "$JOBS" $targets
for t in $targets; do
  name=${t%_fuzz}
  mkdir -p "$BUILD/${name}_corpus"
  seeds=""
  [ -d "tests/fuzz/${name}_corpus" ] && seeds="tests/fuzz/${name}_corpus"
  echo "== fuzz $name ($SECONDS_EACH s)"
  ASAN_OPTIONS=detect_leaks=0 "./$BUILD/$t" -max_total_time="$SECONDS_EACH" -timeout=5 \
    -rss_limit_mb=2048 -artifact_prefix="$BUILD/" -print_final_stats=1 \
    "$BUILD/${name}_corpus" $seeds
done
