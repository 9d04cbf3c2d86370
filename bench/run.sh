#!/usr/bin/env bash
# Builds the benchmark driver (in build-bench, Release) and runs it: one table on standard output.
# nginx, the peer of the request rates, comes from Debian's package and is installed when missing.
#   bash bench/run.sh            full run (a few minutes, two 30 s idle windows included)
#   bash bench/run.sh --quick    smaller batches and 5 s idle windows, to try the harness
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TX_BENCH_BUILD:-$here/build-bench}"

if [[ ! -x /usr/sbin/nginx ]]; then
  echo "Installing nginx (Debian package) for the peer figures..." >&2
  if [[ $(id -u) -eq 0 ]]; then apt-get install -y nginx >&2; else sudo apt-get install -y nginx >&2; fi
fi

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTX_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target txbench -- --no-print-directory >/dev/null

cpu="$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
echo "Machine: $(nproc) processors, ${cpu:-unknown CPU}, Linux $(uname -r)"
echo "nginx: $(/usr/sbin/nginx -v 2>&1 | sed 's/^nginx version: //')"
echo "Load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
"$build/bin/txbench" "$@"
echo
echo "Load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
