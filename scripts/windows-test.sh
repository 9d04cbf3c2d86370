#!/usr/bin/env bash
# Cross-builds the Windows program and its tests with mingw-w64 and runs the tests under Wine, in a
# fresh Wine prefix with a scratch home that is removed afterwards. Needs a native build for the
# picture generator: scripts/windows-test.sh <native build folder> [ctest arguments...]
# The cross build goes to build-windows, or to the folder TX_WINDOWS_BUILD_DIR names.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
native="${1:?usage: windows-test.sh <native build folder> [ctest arguments...]}"
native="$(realpath -m "$native")"
shift
jobs=$(nproc 2>/dev/null || echo 2)
build="$(realpath -m "${TX_WINDOWS_BUILD_DIR:-$here/build-windows}")"

# shellcheck source=wine-session.sh
source "$here/scripts/wine-session.sh"
wine_session_start "$(mktemp -d /tmp/tx-wine.XXXXXX)"

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" \
  -DTX_HOST_PICTURE_GEN="$native/bin/picture-gen" -DTX_BUILD_BENCH=ON >/dev/null || exit 1
if ! cmake --build "$build" -j"$jobs" -- --no-print-directory >/dev/null 2>"$build/build.log"; then
  cat "$build/build.log"
  echo "Windows build failed"
  exit 1
fi
if grep -q "warning:" "$build/build.log"; then
  grep -B2 -A4 "warning:" "$build/build.log"
  echo "Windows build has warnings"
  exit 1
fi
ctest --test-dir "$build" -j"$jobs" --output-on-failure --timeout 300 "$@"
