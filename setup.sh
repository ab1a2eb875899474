#!/usr/bin/env bash
# Installs, with apt-get, only the packages this project needs that are missing.
# Safe to run again; runs as root on a fresh Debian machine.
set -euo pipefail

native=(cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  rapidjson-dev libyaml-dev libgtest-dev libgmock-dev googletest libbenchmark-dev
  nlohmann-json3-dev g++-multilib qemu-user libcpp-httplib-dev pkg-config)
i386=(libyaml-dev:i386 libc6-dev:i386)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

update_index() {
  # A mirror that is syncing can fail one index; retry, then go on and let
  # the install itself decide.
  local i
  for i in 1 2 3; do
    "${sudo_cmd[@]}" apt-get update -qq && return 0
    sleep $((i * 5))
  done
  echo "setup: apt-get update kept failing; trying the install anyway" >&2
}

# ./run.sh needs only the build tools and the development host's library.
if [ "${1:-}" = run ]; then
  todo=($(missing cmake ninja-build g++ rapidjson-dev libyaml-dev libgtest-dev libgmock-dev \
    googletest libcpp-httplib-dev pkg-config))
  if [ ${#todo[@]} -gt 0 ]; then
    update_index
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${todo[@]}"
  fi
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  need_update=1
fi

todo=($(missing "${native[@]}" "${i386[@]}"))
if [ ${#todo[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  update_index
  todo=($(missing "${native[@]}" "${i386[@]}"))
  if [ ${#todo[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${todo[@]}"
  fi
fi

# The development host's test checks its OpenAPI 3.1 document with an npm
# validator (test only; Debian has none for 3.1), kept under build/.
if ! command -v npm >/dev/null; then
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends nodejs npm
fi
npm_dir="$(dirname "$0")/build/npm"
if [ ! -x "$npm_dir/node_modules/.bin/validate-api" ]; then
  npm install --prefix "$npm_dir" --no-audit --no-fund --loglevel=error \
    @seriousme/openapi-schema-validator@2.11.0
fi
