#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UBSan) in build/fuzz
# and runs each one for the given number of seconds (default 30) on a scratch
# copy of its seed corpus, with its dictionary when it has one. Fails when a
# target does not build or finds anything; what it found is kept in
# build/fuzz/findings/<name>/.
# Usage: fuzz/run.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
build=build/fuzz

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZVM_FUZZ=ON -DZVM_BENCH=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
ninja -C "$build" -j2 zvm_fuzzers

# The fuzzers add to their working corpus; the seeds in the repository stay
# as they are.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

failed=()
for source in fuzz/*_fuzz.cc; do
  target=$(basename "$source" .cc)
  name=${target%_fuzz}
  corpus=$scratch/$name
  findings=$build/findings/$name
  mkdir -p "$corpus" "$findings"
  if [ -d "fuzz/corpus/$name" ]; then
    cp -R "fuzz/corpus/$name/." "$corpus/"
  fi
  options=(-max_total_time="$seconds" -max_len=65536 -rss_limit_mb=4096 -timeout=30
    -artifact_prefix="$findings/" -print_final_stats=1)
  if [ -f "fuzz/$name.dict" ]; then
    options+=(-dict="fuzz/$name.dict")
  fi
  echo "=== $target: $seconds s"
  if ! "$build/fuzz/$target" "${options[@]}" "$corpus"; then
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "=== findings in: ${failed[*]} (see $build/findings/)" >&2
  exit 1
fi
echo "=== no findings"
