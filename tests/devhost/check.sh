#!/usr/bin/env bash
# The development host's checks, on the release build that ./run.sh makes:
# the demo, then the HTTP checks (with the OpenAPI validator that setup.sh
# installs), the notes example served, and the load check.
set -euo pipefail
cd "$(dirname "$0")/../.."

echo "=== devhost: ./run.sh --demo"
./run.sh --demo
echo "=== devhost: HTTP checks and load check"
ninja -C build/release zvm-devhost-load zvm-be-example-notes
timeout 900 /usr/bin/python3 tests/devhost/devhost_checks.py build/release \
  build/npm/node_modules/.bin/validate-api
