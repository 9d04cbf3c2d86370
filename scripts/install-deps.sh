#!/usr/bin/env bash
# Installs what building, running and (with --test) testing need, from Debian's packages and npm;
# --windows adds what cross-building and packing the Windows program needs, without the test tools.
# Only missing packages are installed; apt-get runs through sudo when we are not root.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
want_tests=0
want_windows=0
for option in "$@"; do
  case "$option" in
    --test) want_tests=1 ;;
    --windows) want_windows=1 ;;
    *) echo "usage: install-deps.sh [--test] [--windows]" >&2; exit 2 ;;
  esac
done

packages=(build-essential cmake pkg-config libsdl2-dev libsdl2-ttf-dev libsdl2-image-dev
          libfontconfig-dev fonts-wine fonts-dejavu-core xdg-user-dirs xdg-utils)
if [[ $want_tests == 1 ]]; then
  packages+=(libgtest-dev libgmock-dev googletest xvfb xauth xdotool imagemagick x11-apps
             chromium nodejs npm clang libclang-rt-14-dev clang-format-14
             g++-mingw-w64-x86-64-posix wine wine64)
fi
if [[ $want_windows == 1 ]]; then
  # The native packages above stay: the pictures are drawn by a generator built for this machine.
  packages+=(g++-mingw-w64-x86-64-posix zip unzip file)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    # A package may be provided under another name (npm ships inside nodesource's nodejs).
    case "$package" in
      npm) command -v npm >/dev/null 2>&1 && continue ;;
    esac
    missing+=("$package")
  fi
done

if [[ ${#missing[@]} -gt 0 ]]; then
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [[ $want_tests == 1 && -f "$here/tests/browser/package.json" ]]; then
  # The browser tests drive Debian's chromium; no browser is ever downloaded.
  if [[ ! -d "$here/tests/browser/node_modules/playwright-core" ]]; then
    (cd "$here/tests/browser" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --silent)
  fi
fi

if [[ $want_tests == 1 && -f "$here/tests/interop/package.json" ]]; then
  # node-simconnect: the independent client our simulator link is compared with.
  if [[ ! -d "$here/tests/interop/node_modules/node-simconnect" ]]; then
    (cd "$here/tests/interop" && npm ci --no-audit --no-fund --silent)
  fi
fi
