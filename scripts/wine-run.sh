#!/usr/bin/env bash
# Runs a Windows program under Wine in the test prefix that scripts/windows-test.sh made (or the
# caller's WINEPREFIX): quiet, without Mono or Gecko installers, and never in the user's own home.
set -u
if [[ -z "${WINEPREFIX:-}" ]]; then
  echo "wine-run.sh: WINEPREFIX is not set (scripts/windows-test.sh makes a test prefix)" >&2
  exit 2
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
