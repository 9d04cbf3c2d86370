#!/usr/bin/env bash
# Cross-builds the Windows program and its tests with mingw-w64 and runs the tests under Wine, in a
# fresh Wine prefix with a scratch home that is removed afterwards. Needs a native build for the
# picture generator: scripts/windows-test.sh <native build folder> [ctest arguments...]
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
native="${1:?usage: windows-test.sh <native build folder> [ctest arguments...]}"
shift
jobs=$(nproc 2>/dev/null || echo 2)
build="$here/build-windows"

scratch="$(mktemp -d /tmp/tx-wine.XXXXXX)"
# Wine links the prefix's Documents folder to $HOME/Documents: a scratch home keeps the tests out
# of the real one. The prefix is made before anything runs in it.
export HOME="$scratch/home"
export WINEPREFIX="$scratch/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
mkdir -p "$HOME/Documents" "$WINEPREFIX"

xvfb_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

# Windows need a display under Wine: a private X server, on a number it picks itself.
unset DISPLAY
if command -v Xvfb >/dev/null; then
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 1 100); do
    [[ -s "$scratch/display" ]] && break
    sleep 0.1
  done
  if [[ ! -s "$scratch/display" ]]; then
    echo "Xvfb did not start"
    exit 1
  fi
  export DISPLAY=":$(head -n 1 "$scratch/display")"
fi

# A running server makes every later start quick (and lets go of the test's output at once).
wineserver -p >/dev/null 2>&1
if ! wineboot -i >"$scratch/wineboot.log" 2>&1; then
  cat "$scratch/wineboot.log"
  echo "Making the Wine prefix failed"
  exit 1
fi
# A crash prints a backtrace and ends instead of waiting on a dialog; without a window manager a
# window is destroyed at once instead of after 2 s.
cat >"$scratch/settings.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
REG
# Without a display Wine's null graphics driver still makes windows (the tests' simulator window,
# found by its class), where the X11 driver refuses them.
if [[ -z "${DISPLAY:-}" ]]; then
  printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Graphics"="null"\n' >>"$scratch/settings.reg"
fi
wine regedit /S "$scratch/settings.reg" >/dev/null 2>&1

# Wine's desktop process comes and goes with the last window, and bringing it back takes up to
# ten seconds: a minimised window kept for the whole run keeps it, so a test's first window
# appears at once. Minimised windows are not drawn on a display without a window manager.
if [[ -n "${DISPLAY:-}" ]]; then
  wine start /min notepad >/dev/null 2>&1
fi

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" \
  -DTX_HOST_PICTURE_GEN="$native/bin/picture-gen" >/dev/null || exit 1
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
