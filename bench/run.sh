#!/usr/bin/env bash
# Builds the benchmark driver (in build-bench, Release) and runs it: one table on standard output.
# nginx, the peer of the request rates, comes from Debian's package and is installed when missing.
#   bash bench/run.sh            full run (a few minutes, two 30 s idle windows included)
#   bash bench/run.sh --quick    smaller batches and 5 s idle windows, to try the harness
#   bash bench/run.sh --only X   one figure (stops: the stops at chosen moments, bench/stops.mjs)
# The Windows build's figures under Wine come in the same run when mingw-w64, Wine and Xvfb are
# installed (scripts/install-deps.sh --test): --windows insists on them, --no-windows leaves them out.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TX_BENCH_BUILD:-$here/build-bench}"

if [[ ! -x /usr/sbin/nginx ]]; then
  echo "Installing nginx (Debian package) for the peer figures..." >&2
  if [[ $(id -u) -eq 0 ]]; then apt-get install -y nginx >&2; else sudo apt-get install -y nginx >&2; fi
fi

windows=auto
args=()
only=""
previous=""
for arg in "$@"; do
  case "$arg" in
    --windows) windows=yes ;;
    --no-windows) windows=no ;;
    *) args+=("$arg") ;;
  esac
  [[ $previous == --only ]] && only="$arg"
  previous="$arg"
done
if [[ $windows != no ]]; then
  if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null &&
    command -v wineserver >/dev/null && command -v Xvfb >/dev/null; then
    windows=yes
  elif [[ $windows == yes ]]; then
    echo "--windows needs mingw-w64, Wine and Xvfb (bash scripts/install-deps.sh --test)" >&2
    exit 1
  else
    echo "No mingw-w64, Wine or Xvfb: the Windows build's figures are left out." >&2
    windows=no
  fi
fi

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTX_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target txbench picture-gen gauge-standin -- --no-print-directory >/dev/null

if [[ $windows == yes ]]; then
  winbuild="${TX_BENCH_WINDOWS_BUILD:-$here/build-bench-windows}"
  cmake -S "$here" -B "$winbuild" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" \
    -DTX_HOST_PICTURE_GEN="$build/bin/picture-gen" -DCMAKE_BUILD_TYPE=Release \
    -DTX_BUILD_TESTS=OFF -DTX_BUILD_BENCH=ON >/dev/null
  cmake --build "$winbuild" -j2 --target TarvelXConnectExtended simwindow-standin wingauge winfloor \
    -- --no-print-directory >/dev/null

  # A Wine prefix of the run's own, with a scratch home and a private X server; all gone at the
  # end. A server kept running makes every start of a Windows program quick, as on a desktop
  # where Windows is up already: the start-up figure is the program's, not the prefix's.
  # shellcheck source=../scripts/wine-session.sh
  source "$here/scripts/wine-session.sh"
  wine_session_start "$(mktemp -d /tmp/tx-bench-wine.XXXXXX)"
  args+=(--windows "$winbuild/bin")
fi

cpu="$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
echo "Machine: $(nproc) processors, ${cpu:-unknown CPU}, Linux $(uname -r)"
echo "nginx: $(/usr/sbin/nginx -v 2>&1 | sed 's/^nginx version: //')"
[[ $windows == yes ]] && echo "Wine: $(wine --version), mingw-w64 $(x86_64-w64-mingw32-g++-posix -dumpversion)"
echo "Load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
[[ $only == stops ]] || "$build/bin/txbench" ${args[@]+"${args[@]}"}
# The stops at chosen moments (bench/stops.mjs), rows of the same table.
[[ -n $only && $only != stops ]] || node "$here/bench/stops.mjs" "$build"
echo
echo "Load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
