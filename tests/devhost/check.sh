#!/usr/bin/env bash
# The development host's checks, on the release build that ./run.sh makes:
# the demo, the replay of its recorded session, the plugin loaded and
# unloaded 200 times, then the HTTP checks (with the OpenAPI validator that
# setup.sh installs), the notes example served, and the load check. The
# host's own tests in process (devhost_tests) run with the other suites.
set -euo pipefail
cd "$(dirname "$0")/../.."

echo "=== devhost: ./run.sh --demo"
./run.sh --demo
echo "=== devhost: the demo's recorded session replayed"
build/release/host/devhost/zvm-devhost --replay=tests/devhost/demo_session.jsonl
ninja -C build/release zvm-devhost-reload zvm-be-example-notes
echo "=== devhost: reload check"
build/release/zvm-devhost-reload build/release/email_verification/zvm-be-qor-email-verification.so \
  host/devhost/devhost.yaml
echo "=== devhost: HTTP checks and load check"
timeout 900 /usr/bin/python3 tests/devhost/devhost_checks.py build/release \
  build/npm/node_modules/.bin/validate-api
