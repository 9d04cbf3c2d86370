#!/usr/bin/env bash
# Builds the Windows program and packs what a user needs into one zip:
#   dist/TarvelXConnectExtended-<version>-win64.zip
# holding the static .exe, the web pages' two pictures and README.txt. Runs on Debian 12 and
# installs what is missing. The pictures are drawn by picture-gen, which runs on this machine, so a
# native build of that one generator comes first (build-pkg-native), then the cross build of the
# program alone (build-pkg-windows). Both folders are kept, so that a second run only rebuilds what
# changed.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
native="$here/build-pkg-native"
windows="$here/build-pkg-windows"
dist="$here/dist"
jobs=$(nproc 2>/dev/null || echo 2)
program=TarvelXConnectExtended

fail() {
  echo "package-windows: $*" >&2
  exit 1
}

# Builds one target; its compiler output goes to a log in the build folder, shown when it fails.
build() {
  local folder="$1" target="$2"
  if ! cmake --build "$folder" --target "$target" -j"$jobs" -- --no-print-directory \
    >"$folder/build.log" 2>&1; then
    cat "$folder/build.log"
    fail "building $target failed (log: $folder/build.log)"
  fi
}

bash "$here/scripts/install-deps.sh" --windows

# The version lives in one place: the root project's VERSION.
version="$(sed -n -E "s/^project\\($program VERSION ([0-9]+(\\.[0-9]+)*)[ )].*/\\1/p" \
  "$here/CMakeLists.txt")"
[[ -n "$version" ]] || fail "no project VERSION found in CMakeLists.txt"
name="$program-$version-win64"

echo "== picture generator (native)"
cmake -S "$here" -B "$native" -DCMAKE_BUILD_TYPE=Release -DTX_BUILD_TESTS=OFF >/dev/null
build "$native" picture-gen
[[ -x "$native/bin/picture-gen" ]] || fail "no picture-gen in $native/bin"

echo "== $program.exe (mingw-w64)"
cmake -S "$here" -B "$windows" -DCMAKE_BUILD_TYPE=Release -DTX_BUILD_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" \
  -DTX_HOST_PICTURE_GEN="$native/bin/picture-gen" >/dev/null
build "$windows" "$program"

exe="$windows/bin/$program.exe"
[[ -f "$exe" ]] || fail "the build made no $exe"
for picture in busbanner.jpg mcdu_bg.jpg; do
  [[ -f "$windows/www/$picture" ]] || fail "the build made no www/$picture"
done

echo "== $name.zip"
stage="$windows/package"
rm -rf "$stage"
mkdir -p "$stage" "$dist"
# No symbols: the user has no use for them, and the exe shrinks to half. The version resource,
# which the log's version line reads, stays.
x86_64-w64-mingw32-strip -o "$stage/$program.exe" "$exe"
cp "$windows/www/busbanner.jpg" "$windows/www/mcdu_bg.jpg" "$stage/"
readme="$here/docs/windows/README.txt"
# README.txt is read in Notepad: plain ASCII, lines of at most 80 columns, Windows line ends.
if LC_ALL=C grep -n '[^[:print:]]' "$readme"; then
  fail "README.txt holds tabs, or characters other than ASCII"
fi
if awk 'length > 80 { print FILENAME ":" FNR ": " length " columns"; bad = 1 } END { exit !bad }' \
  "$readme"; then
  fail "README.txt has lines over 80 columns"
fi
sed 's/\r$//; s/$/\r/' "$readme" >"$stage/README.txt"

# What is shipped: a window program for 64-bit Windows...
shipped="$stage/$program.exe"
description="$(file -b "$shipped")"
echo "$program.exe: $description"
[[ "$description" == PE32+* && "$description" == *"(GUI)"* && "$description" == *x86-64* ]] ||
  fail "$program.exe is not a 64-bit Windows GUI program"
# ...that needs nothing on the PC but Windows' own DLLs: no compiler runtime beside it.
system_dlls='^(kernel32|user32|gdi32|ws2_32|shell32|version|iphlpapi|advapi32|msvcrt|ucrtbase|ntdll|ole32|oleaut32|shlwapi|comctl32|comdlg32|winmm|bcrypt|crypt32|secur32|dwmapi|uxtheme|api-ms-win-[a-z0-9-]+)\.dll$'
dlls="$(x86_64-w64-mingw32-objdump -p "$shipped" | sed -n 's/^[[:space:]]*DLL Name: //p')"
echo "Imports: $(echo $dlls)"
foreign="$(echo "$dlls" | tr 'A-Z' 'a-z' | grep -Ev "$system_dlls" || true)"
[[ -z "$foreign" ]] || fail "$program.exe needs DLLs that Windows does not have: $foreign"
x86_64-w64-mingw32-objdump -h "$shipped" | grep -q '[[:space:]]\.rsrc[[:space:]]' ||
  fail "$program.exe has lost its resources"

zip_file="$dist/$name.zip"
rm -f "$zip_file"
(cd "$stage" && zip -q -X -D "$zip_file" "$program.exe" busbanner.jpg mcdu_bg.jpg README.txt)

unzip -l "$zip_file"
expected="$(printf '%s\n' "$program.exe" busbanner.jpg mcdu_bg.jpg README.txt | sort)"
[[ "$(zipinfo -1 "$zip_file" | sort)" == "$expected" ]] || fail "the zip does not hold what it should"
echo "Written: $zip_file"
