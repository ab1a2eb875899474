#!/usr/bin/env bash
# Installs, with apt-get, only the packages this project needs that are missing,
# and fetches the libyaml sources the Windows builds compile (into build/sources).
# Safe to run again; runs as root on a fresh Debian machine.
set -euo pipefail
cd "$(dirname "$0")"

native=(cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  rapidjson-dev libyaml-dev libgtest-dev libgmock-dev googletest libbenchmark-dev
  nlohmann-json3-dev libmsgpack-cxx-dev g++-multilib qemu-user locales libcpp-httplib-dev
  pkg-config git)
# Test tools: the mutation runner (libclang's Python binding, clang 14) and
# coverage.
tools=(python3-clang libclang1-14 gcovr)
# The development host's browser test: headless Chromium driven by Selenium.
browser=(chromium chromium-driver python3-selenium)
# The development host's checks run the README's curl lines as given.
devhost=(curl)
i386=(libyaml-dev:i386 libc6-dev:i386)
windows=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 dpkg-dev)
# ./release.sh packs the DLLs with zip; its check reads their version
# resources with pefile.
release=(zip python3-pefile)

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

# apt-get source needs a source entry: mirror the machine's own Debian
# entries, so the sources are those of the installed suite.
if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/zvm-deb-src.sources >/dev/null
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
      "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/zvm-deb-src.list >/dev/null
  fi
  need_update=1
fi

# A mirror caught syncing can leave the i386 index behind the amd64 one: an
# installed package newer than any i386 build of it then blocks its i386
# twin, which must have the same version. apt names what blocks; each round
# pins it: a blocked twin, in both architectures, at the version the i386
# index has, and a package that needs an exact version of a pinned one, at
# that version. One apt-get call takes everything, so nothing already
# installed is removed to make room.
install_pinned() {
  local -A pinned=()
  local pins=() out round name version
  for round in 1 2 3 4 5 6 7 8; do
    if out=$(apt-get install -s --allow-downgrades --no-install-recommends "$@" "${pins[@]}" 2>&1); then
      DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --allow-downgrades \
        --no-install-recommends "$@" "${pins[@]}"
      return
    fi
    local before=${#pins[@]}
    while read -r name; do
      version=$(apt-cache policy "$name:i386" | awk '/Candidate:/ {print $2}')
      [ -z "${pinned[$name]:-}" ] && [ -n "$version" ] && [ "$version" != "(none)" ] || continue
      pinned[$name]=$version
      pins+=("$name=$version" "$name:i386=$version")
    done < <(grep -oP 'Depends: \K[^ :]+(?=:i386)' <<<"$out" | sort -u)
    while read -r name version; do
      [ -z "${pinned[$name]:-}" ] || continue
      pinned[$name]=$version
      pins+=("$name=$version")
    done < <(sed -nE 's/^ (\S+) : Depends: \S+ \(= \S+\) but (\S+) is to be installed.*/\1 \2/p' <<<"$out")
    [ ${#pins[@]} -gt "$before" ] || break
  done
  echo "$out" >&2
  return 1
}

todo=($(missing "${native[@]}" "${tools[@]}" "${browser[@]}" "${devhost[@]}" "${i386[@]}" "${windows[@]}" "${release[@]}"))
if [ ${#todo[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  update_index
  todo=($(missing "${native[@]}" "${tools[@]}" "${browser[@]}" "${devhost[@]}" "${i386[@]}" "${windows[@]}" "${release[@]}"))
  if [ ${#todo[@]} -gt 0 ]; then
    install_pinned "${todo[@]}"
  fi
fi

# No Debian package carries libyaml for Windows: the Windows builds compile
# the distribution's source package. Fetched once; build/ is not versioned.
if ! compgen -G "build/sources/libyaml-*/src/api.c" >/dev/null; then
  mkdir -p build/sources
  # As root, apt would hand the download to its sandbox user, who cannot
  # write here, and warn.
  # With every package present the index was not refreshed, and may be
  # too old to name the source.
  fetch() { (cd build/sources && apt-get source -qq -o APT::Sandbox::User=root libyaml); }
  fetch || { update_index && fetch; }
fi

# A locale with a decimal comma, for the tests that number reading ignores
# the locale the host sets.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

# Test-only npm packages, kept under build/: the development host's test
# checks its OpenAPI 3.1 document with a validator (Debian has none for 3.1),
# and the mutation report's HTML view is the mutation-testing elements.
if ! command -v npm >/dev/null; then
  install_node() { DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends nodejs npm; }
  install_node || { update_index && install_node; }
fi
# Installed from the lock beside the list, so that what they depend on is
# pinned too, not only their own versions.
npm_dir="build/npm"
if [ ! -x "$npm_dir/node_modules/.bin/validate-api" ] ||
  [ ! -f "$npm_dir/node_modules/mutation-testing-elements/dist/mutation-test-elements.js" ] ||
  ! cmp -s tools/npm/package-lock.json "$npm_dir/package-lock.json"; then
  mkdir -p "$npm_dir"
  cp tools/npm/package.json tools/npm/package-lock.json "$npm_dir/"
  npm ci --prefix "$npm_dir" --no-audit --no-fund --loglevel=error
fi
