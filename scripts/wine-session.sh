# A Wine session of its own for a script run, sourced by scripts/windows-test.sh and bench/run.sh:
#   wine_session_start <scratch folder>   (exits the script when the prefix cannot be made)
#   wine_prefix_make <scratch folder>     (the prefix alone, in the session's display)
# exports HOME (a scratch home: Wine links the prefix's Documents folder to $HOME/Documents, which
# keeps runs out of the real one), WINEPREFIX and the quiet Wine variables, and starts a private X
# server when Xvfb is installed (DISPLAY). Everything goes, the scratch folder included, when the
# script exits.

wine_session_xvfb_pid=""
wine_session_scratch=""

wine_session_stop() {
  # The prefix goes only once its server has: removed under a live one it breaks the next start.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [[ -n "$wine_session_xvfb_pid" ]]; then
    kill "$wine_session_xvfb_pid" 2>/dev/null || true
    wait "$wine_session_xvfb_pid" 2>/dev/null || true
  fi
  [[ -n "$wine_session_scratch" ]] && rm -rf "$wine_session_scratch"
}

wine_session_start() {
  local scratch="$1"
  wine_session_scratch="$scratch"
  export HOME="$scratch/home"
  export WINEPREFIX="$scratch/prefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  mkdir -p "$HOME/Documents" "$WINEPREFIX"
  trap wine_session_stop EXIT

  # Windows need a display under Wine: a private X server, on a number it picks itself.
  unset DISPLAY
  if command -v Xvfb >/dev/null; then
    Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
    wine_session_xvfb_pid=$!
    for _ in $(seq 1 100); do
      [[ -s "$scratch/display" ]] && break
      sleep 0.1
    done
    if [[ ! -s "$scratch/display" ]]; then
      echo "Xvfb did not start" >&2
      exit 1
    fi
    export DISPLAY=":$(head -n 1 "$scratch/display")"
  fi

  wine_prefix_make "$scratch" || exit 1
}

# Makes the prefix WINEPREFIX names with its server kept running, for the user HOME and USER name,
# and the window settings every run needs. Also called on its own (tests/windows/program makes a
# prefix for a user whose name is outside the ANSI code page). Returns 1 when wineboot fails.
wine_prefix_make() {
  local scratch="$1"
  # A running server makes every later start quick (and lets go of a test's output at once).
  wineserver -p >/dev/null 2>&1 || true
  if ! wineboot -i >"$scratch/wineboot.log" 2>&1; then
    cat "$scratch/wineboot.log" >&2
    echo "Making the Wine prefix failed" >&2
    return 1
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
  # Without a display Wine's null graphics driver still makes windows (the tests' simulator
  # window, found by its class), where the X11 driver refuses them.
  if [[ -z "${DISPLAY:-}" ]]; then
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Graphics"="null"\n' >>"$scratch/settings.reg"
  fi
  wine regedit /S "$scratch/settings.reg" >/dev/null 2>&1

  # Wine's desktop process comes and goes with the last window, and bringing it back takes up to
  # ten seconds: a minimised window kept for the whole run keeps it, so a program's first window
  # appears at once. Minimised windows are not drawn on a display without a window manager.
  if [[ -n "${DISPLAY:-}" ]]; then
    wine start /min notepad >/dev/null 2>&1
  fi
}
