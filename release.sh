#!/usr/bin/env bash
# Builds the plugin's release for the client team: both Windows DLLs (i686,
# the client's, and x86_64) optimized and with debug information
# (RelWithDebInfo), stripped, their debug information kept in separate
# files that .gnu_debuglink names; then writes
# build/dist/<name>-<version>-windows.zip with the DLLs (x86/ and x64/), the
# debug files beside them, SHA256SUMS and manifest.json (version, commit,
# compilers, build type). The build folders are those of ./test.sh windows.
# Prints the archive's path last.
set -euo pipefail
cd "$(dirname "$0")"

name=zvm-be-qor-email-verification
build_type=RelWithDebInfo

for arch in i686 x86_64; do
  echo "=== release: $arch DLL" >&2
  cmake -S . -B "build/windows-$arch" -G Ninja -DCMAKE_BUILD_TYPE=$build_type \
    -DCMAKE_TOOLCHAIN_FILE="cmake/windows-$arch.cmake" -DZVM_BENCH=OFF >/dev/null
  ninja -C "build/windows-$arch" -j2 $name >&2
done

# What CMake worked out for the build (cmake/zvm_version.cmake).
define() {
  sed -n "s/^#define $1 \"\(.*\)\"$/\1/p" build/windows-i686/generated/zvm_version.h
}
version=$(define ZVM_VERSION_TEXT)
commit=$(define ZVM_COMMIT)
# The first line of --version of the compiler CMake found for a build.
compiler() {
  local path
  path=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' \
    "build/windows-$1"/CMakeFiles/*/CMakeCXXCompiler.cmake)
  "$path" --version | head -1
}
x86_compiler=$(compiler i686)
x64_compiler=$(compiler x86_64)

release=$name-$version-windows
stage=build/dist/$release
rm -rf "$stage" "$stage.zip"
for pair in i686:x86 x86_64:x64; do
  arch=${pair%:*} folder=$stage/${pair#*:}
  mkdir -p "$folder"
  cp "build/windows-$arch/email_verification/$name.dll" "$folder/"
  # The link records the debug file's name and checksum; a debugger looks for
  # it beside the DLL.
  (cd "$folder" &&
    "$arch-w64-mingw32-objcopy" --only-keep-debug $name.dll $name.dll.debug &&
    "$arch-w64-mingw32-objcopy" --strip-unneeded --add-gnu-debuglink=$name.dll.debug $name.dll)
done
cat >"$stage/manifest.json" <<MANIFEST
{
  "name": "$name",
  "version": "$version",
  "commit": "$commit",
  "buildType": "$build_type",
  "compilers": {
    "x86": "$x86_compiler",
    "x64": "$x64_compiler"
  }
}
MANIFEST
(cd "$stage" && sha256sum manifest.json x86/* x64/* >SHA256SUMS)
(cd build/dist && zip -qrX "$release.zip" "$release")
echo "build/dist/$release.zip"
