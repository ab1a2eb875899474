#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and starts the
# development host, which serves the plugin on http://127.0.0.1:8080 until
# Ctrl-C (the email verification plugin, or the one --plugin and --export
# name). While it runs, a change to the plugins' sources rebuilds the plugin
# libraries (only them), and the host reloads the one it serves;
# --no-reload keeps it as it is. Arguments go to the host: ./run.sh --demo
# plays the whole story against its mock service and exits; ./run.sh --help
# lists the options.
set -euo pipefail
cd "$(dirname "$0")"

if [ "$(id -u)" -eq 0 ] || command -v sudo >/dev/null; then
  ./setup.sh run
fi
# -O2: GCC 12 at -O3 takes some string concatenations for overlapping copies
# (-Wrestrict), which -Werror makes fatal.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DZVM_BENCH=OFF >/dev/null
ninja -C build/release zvm-devhost zvm_plugins
# The plugins' sources; the host's own are not among them.
sources=(api binding boundary email_verification examples formats logging platform plugin util)
exec build/release/host/devhost/zvm-devhost \
  --build="ninja -C '$PWD/build/release' zvm_plugins" \
  "${sources[@]/#/--watch=}" "$@"
