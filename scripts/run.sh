#!/usr/bin/env bash
# Builds and starts the whole system on this machine: the simulator stand-in, the gauge stand-in
# and TarvelXConnectExtended, with the window when a display exists and headless otherwise.
# Ctrl-C stops all three.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# TX_BUILD_DIR names a build folder whose programs are built already (the tests run this script
# so): they run as they are, and nothing is installed or built.
build="${TX_BUILD_DIR:-}"
if [[ -z "$build" ]]; then
  build="$here/build"
  bash "$here/scripts/install-deps.sh"
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  # Only what runs is built here; the test command builds the rest.
  cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" \
    --target TarvelXConnectExtended sim-standin gauge-standin txpictures -- --no-print-directory >/dev/null
fi
bin="$build/bin"

# The settings folder is the user's own: prepared once, never overwritten.
# The documents folder by the program's own rule: XDG_DOCUMENTS_DIR from user-dirs.dirs, else
# ~/Documents.
documents=""
user_dirs="${XDG_CONFIG_HOME:-$HOME/.config}/user-dirs.dirs"
if [[ -f "$user_dirs" ]]; then
  documents="$(sed -n 's/^[[:space:]]*XDG_DOCUMENTS_DIR="\(.*\)"[[:space:]]*$/\1/p' "$user_dirs" | tail -n 1)"
  documents="${documents/#\$HOME/$HOME}"
  [[ "$documents" == /* ]] || documents=""
fi
documents="${documents:-$HOME/Documents}"
documents="${documents%/}"
settings="$documents/Quennick/Tarvel"
if [[ ! -d "$settings" ]]; then
  mkdir -p "$settings"
  cat >"$settings/TarvelXConnectExtended.ini" <<'INI'
[Common]
Logging=1
DataRequestPeriod=1

[Server]
Enabled=1
Port=4040
WebserverWaits4Sim=1
INI
  echo "Prepared the settings folder $settings"
fi
port="$(sed -n 's/^[[:space:]]*[Pp][Oo][Rr][Tt][[:space:]]*=[[:space:]]*\([0-9]*\).*/\1/p' \
  "$settings/TarvelXConnectExtended.ini" | head -n 1)"
port="${port:-4040}"

# The stand-in serves where the program looks for the simulator: the port of a SimConnect.cfg in
# the settings folder (its first Port line), else the client library's default, 2048.
sim_port=2048
sim_cfg="$settings/SimConnect.cfg"
if [[ -f "$sim_cfg" ]]; then
  cfg_value() {
    sed -n "s/^[[:space:]]*$1[[:space:]]*=[[:space:]]*\([^[:space:];#]*\).*/\1/Ip" "$sim_cfg" | head -n 1
  }
  sim_port="$(cfg_value port)"
  sim_port="${sim_port:-2048}"
  sim_address="$(cfg_value address)"
  case "${sim_address:-127.0.0.1}" in
    127.* | ::1 | localhost) ;;
    *) echo "Note: $sim_cfg names the simulator at $sim_address; the program looks there, not at the stand-in." ;;
  esac
fi

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  export SDL_VIDEODRIVER=dummy
  echo "No display: the program runs without its window."
fi

pids=()
stopping=0
stop_all() {
  # Once stopping has begun, a further INT or TERM (Ctrl-C pressed again, a supervisor's signal to
  # the whole process group after the one to this script) is ignored until every child has been
  # stopped: cut short here, the script would leave the stand-ins running on their ports.
  trap '' INT TERM
  trap - EXIT
  ((stopping == 0)) || return 0
  stopping=1
  # The program first, so that it says goodbye to the gauge while the simulator is still up.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill -TERM "${pids[$i]}" 2>/dev/null || true
    wait "${pids[$i]}" 2>/dev/null || true
  done
  echo "Stopped."
}
trap stop_all INT TERM EXIT

# The stand-ins get sessions of their own: Ctrl-C reaches the program alone, and they are
# stopped after it.
setsid "$bin/sim-standin" --autostart --port "$sim_port" &
pids+=($!)
setsid "$bin/gauge-standin" &
pids+=($!)
(cd "$build/www" && exec "$bin/TarvelXConnectExtended") &
pids+=($!)

address="$(hostname -I 2>/dev/null | awk '{print $1}')"
echo "Open http://${address:-127.0.0.1}:$port/ (status) or http://${address:-127.0.0.1}:$port/MCDU on a tablet."
echo "Press Ctrl-C to stop."
wait -n "${pids[@]}" || true
