#!/usr/bin/env bash
# Sets the machine up, then builds and tests every configuration: native,
# 32-bit (under qemu-i386 where needed), AddressSanitizer+UBSan,
# ThreadSanitizer and Windows (MinGW-w64, tests under wine64), checks the
# release archive (./release.sh, read back by tests/release/release_check.py),
# and runs every fuzz target for FUZZ_SECONDS (default 10) each; then the
# development host's checks (tests/devhost/check.sh) and its web console in
# headless Chromium (tests/devhost/browser.sh); last a small fixed sample of
# the mutation runner, to show it still works.
# Usage: ./test.sh [native|i386|asan|tsan|windows|release|fuzz|devhost|browser|mutants-sample ...]
#                                                                    (default: all)
#        ./test.sh mutants [--cap N] [--seed S] [--own-tests] [--by-test] [path ...]
#                                                 mutation testing (tools/mutants/)
#        ./test.sh coverage                      line and branch coverage of the native tests
set -euo pipefail
cd "$(dirname "$0")"

if [ "$(id -u)" -eq 0 ] || command -v sudo >/dev/null; then
  ./setup.sh
fi

echo "=== format"
git ls-files -co --exclude-standard '*.h' '*.cc' | xargs clang-format --dry-run -Werror

# Mutation testing: reports in build/mutants/ (summary.txt, report.json,
# report.html).
if [ "${1:-}" = mutants ]; then
  shift
  exec /usr/bin/python3 tools/mutants/mutants.py "$@"
fi

configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(native i386 asan tsan windows release fuzz devhost browser mutants-sample)

configure() {
  local name=$1
  shift
  echo "=== $name: configure and build"
  cmake -S . -B "build/$name" -G Ninja "$@" >/dev/null
}

run_config() {
  local name=$1
  configure "$@"
  ninja -C "build/$name" -j2
  echo "=== $name: test"
  ctest --test-dir "build/$name" --output-on-failure -j2
}

# A first start of wine in a new prefix has been seen to fail to load its own
# kernel32 (exit 53) right after making the prefix, where the same start had
# passed before. The second try starts wine again in the prefix the first one
# made; the third starts from nothing.
wine_prefix() {
  local try
  for try in 1 2 3; do
    echo "=== windows: wine prefix (try $try)"
    if /usr/lib/wine/wine64 wineboot --init && /usr/lib/wine/wineserver --wait &&
      [ -f "$WINEPREFIX/system.reg" ]; then
      return 0
    fi
    timeout 60 /usr/lib/wine/wineserver --wait || /usr/lib/wine/wineserver --kill || true
    if [ "$try" -eq 2 ]; then rm -rf "$WINEPREFIX"; fi
    sleep 5
  done
  echo "=== windows: no wine prefix after three tries" >&2
  return 1
}

# The 32-bit DLLs are the ones the client loads: built, and their export
# tables checked. This machine runs no 32-bit Windows program, so the suite
# runs in the 64-bit build, under wine64 in a prefix of its own.
windows() {
  export WINEPREFIX="$PWD/build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine_prefix
  fi
  configure windows-i686 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE=cmake/windows-i686.cmake -DZVM_BENCH=OFF
  ninja -C build/windows-i686 -j2 zvm_plugins
  ctest --test-dir build/windows-i686 --output-on-failure -R '_exports$'
  run_config windows-x86_64 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE=cmake/windows-x86_64.cmake -DZVM_BENCH=OFF
}

# The native tests, built with gcov's counters: the HTML report is
# build/coverage/report/index.html, and a summary per product folder.
coverage() {
  configure coverage -DCMAKE_BUILD_TYPE=Debug -DZVM_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic" \
    -DCMAKE_C_FLAGS="--coverage -fprofile-update=atomic"
  ninja -C build/coverage -j2
  find build/coverage -name '*.gcda' -delete
  echo "=== coverage: test"
  ctest --test-dir build/coverage --output-on-failure -j2
  mkdir -p build/coverage/report
  gcovr --root . --object-directory build/coverage \
    --filter '(email_verification|plugin|api|binding|formats|logging|util|boundary|host|platform)/' \
    --exclude 'platform/.*windows\.cc' --exclude-directories '.*/CMakeFiles/[0-9.]+' \
    --exclude-unreachable-branches --exclude-throw-branches \
    --html-details build/coverage/report/index.html --json-summary build/coverage/summary.json \
    build/coverage
  /usr/bin/python3 tools/coverage/summary.py build/coverage/summary.json
}

# Line tables only in the builds that CI alone uses: reports still name
# file and line, and GCC compiles in about two thirds of the time it takes
# with full debug information. The Windows builds keep it: ./release.sh packs
# their DLLs and debug files.
lines_only=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")

for config in "${configs[@]}"; do
  case "$config" in
    native) run_config native -DCMAKE_BUILD_TYPE=RelWithDebInfo "${lines_only[@]}" ;;
    i386) run_config i386 -DCMAKE_BUILD_TYPE=RelWithDebInfo "${lines_only[@]}" \
            -DCMAKE_TOOLCHAIN_FILE=cmake/i386.cmake -DZVM_BENCH=OFF ;;
    asan) run_config asan -DCMAKE_BUILD_TYPE=Debug -DZVM_SANITIZE=ON -DZVM_BENCH=OFF ;;
    tsan) run_config tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo "${lines_only[@]}" -DZVM_TSAN=ON \
            -DZVM_BENCH=OFF ;;
    windows) windows ;;
    # After windows, whose build folders it shares, it only packs.
    release)
      archive=$(./release.sh)
      echo "=== release: check $archive"
      /usr/bin/python3 tests/release/release_check.py "$archive" build/windows-i686
      ;;
    fuzz) fuzz/run.sh "${FUZZ_SECONDS:-10}" ;;
    devhost) tests/devhost/check.sh ;;
    browser) tests/devhost/browser.sh ;;
    mutants-sample)
      /usr/bin/python3 tools/mutants/mutants.py --cap 6 --own-tests util/
      # It shows the runner works: every mutant drawn built, and the tests
      # killed some.
      awk '$1 == "all" && $2 > 0 && $6 == 0 { works = 1 } END { exit !works }' \
        build/mutants/summary.txt || { echo "mutants-sample: no mutant killed, or one did not build" >&2; exit 1; }
      ;;
    coverage) coverage ;;
    *) echo "unknown configuration: $config" >&2; exit 2 ;;
  esac
  # CI has 40 minutes; the running total shows where they go.
  echo "=== $config: done after $SECONDS s"
done
