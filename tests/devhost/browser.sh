#!/usr/bin/env bash
# The development host's web console in headless Chromium
# (tests/devhost/console_check.py), on the release build that ./run.sh makes.
set -euo pipefail
cd "$(dirname "$0")/../.."

echo "=== browser: the console in headless Chromium"
# ./run.sh configures and builds the release configuration; --help then only
# prints the options.
./run.sh --help >/dev/null
ninja -C build/release zvm-be-example-notes
# Debian's Selenium is a module of /usr/bin/python3 only.
timeout 300 /usr/bin/python3 tests/devhost/console_check.py build/release
