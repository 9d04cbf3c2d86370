#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds the program three times for Linux
# (normal, AddressSanitizer with UBSan, ThreadSanitizer) and runs the whole suite in each build,
# fuzzes briefly, then cross-builds the Windows program and runs its suites under Wine. Any
# failure or sanitizer report fails the run.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/install-deps.sh" --test || exit 1

jobs=$(nproc 2>/dev/null || echo 2)
configure_and_build() {
  local dir="$1"
  shift
  cmake -S "$here" -B "$here/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null &&
    cmake --build "$here/$dir" -j"$jobs" -- --no-print-directory >/dev/null 2>"$here/$dir/build.log" ||
    { cat "$here/$dir/build.log"; echo "Build failed in $dir"; return 1; }
  # Warnings are errors of their own kind: the tree builds without any.
  if grep -q "warning:" "$here/$dir/build.log"; then
    grep -B2 -A4 "warning:" "$here/$dir/build.log"
    echo "Build of $dir has warnings"
    return 1
  fi
}

# detect_stack_use_after_return: a thread still at work on a frame that has returned (a worker
# outliving the object it was started for) is reported rather than left to chance.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:exitcode=23:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:suppressions=$here/tests/tsan.supp"
export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp"

# Runs a suite (a ctest call, or the Windows stage's script) with its output shown as it comes. The
# test command installs everything its suites need, so a suite that skips for want of a tool or a
# package (exit code 77 to CTest) is a failure here, not a quiet pass.
run_suite() {
  local output rc
  output="$(mktemp)"
  "$@" 2>&1 | tee "$output"
  rc=${PIPESTATUS[0]}
  if grep -qE '\*\*\*(Skipped|Not Run)' "$output"; then
    echo "Suites skipped in the test command, which installs all they need:"
    grep -E '\*\*\*(Skipped|Not Run)' "$output"
    rc=1
  fi
  rm -f "$output"
  return "$rc"
}

status=0
echo "== Formatting"
bash "$here/scripts/check-format.sh" || status=1

# The tests reach the simulator stand-in over TCP: over IPv6 (::1) in the AddressSanitizer suite,
# over IPv4 in the others. The
# ThreadSanitizer build is a clang build, so that clang's thread-safety analysis also sees the tests.
for variant in asan tsan; do
  sim_protocol=IPv4
  compiler=()
  [[ $variant == asan ]] && sim_protocol=IPv6
  [[ $variant == tsan ]] && compiler=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
  echo "== Suite under ${variant} (simulator over ${sim_protocol})"
  if configure_and_build "build-$variant" -DTX_SANITIZE="$variant" "${compiler[@]}"; then
    TX_TEST_SIM_PROTOCOL=$sim_protocol \
      run_suite ctest --test-dir "$here/build-$variant" -j"$jobs" --output-on-failure --timeout 600 ||
      status=1
  else
    status=1
  fi
done

# Each fuzz target for a short while on its seed corpus (the long run: docs/reliability.md). What
# it finds goes to a scratch folder, so the corpus in the repository only changes by hand; a crash
# leaves its input in the build folder and fails the run.
fuzz_seconds=15
echo "== Fuzzing (${fuzz_seconds} s per target)"
if ! command -v clang++ >/dev/null; then
  echo "clang++ not found: the fuzz targets need clang and libclang-rt"
  status=1
elif configure_and_build build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTX_BUILD_TESTS=OFF -DTX_FUZZ=ON; then
  for target in "$here"/build-fuzz/bin/fuzz_*; do
    name="${target##*/fuzz_}"
    scratch="$(mktemp -d)"
    if "$target" -max_total_time="$fuzz_seconds" -max_len=16384 -timeout=10 \
        -artifact_prefix="$here/build-fuzz/crash-$name-" "$scratch" \
        "$here/tests/fuzz/corpus/$name" >"$here/build-fuzz/$name.fuzz.log" 2>&1; then
      echo "$name: $(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$here/build-fuzz/$name.fuzz.log") runs, no crash"
    else
      tail -n 40 "$here/build-fuzz/$name.fuzz.log"
      echo "Fuzzing $name failed"
      status=1
    fi
    rm -rf "$scratch"
  done
else
  status=1
fi

echo "== Suite (simulator over IPv4)"
native_built=0
# The benchmark driver is built here too, not run: what the test command does not build rots.
if configure_and_build build -DTX_BUILD_BENCH=ON; then
  native_built=1
  TX_TEST_SIM_PROTOCOL=IPv4 \
    run_suite ctest --test-dir "$here/build" -j"$jobs" --output-on-failure --timeout 600 || status=1
else
  status=1
fi

# The Windows program, cross-built with mingw-w64, and its suites under Wine in a fresh prefix.
# It takes the picture generator and the Linux stand-ins from the normal build, so it comes last.
echo "== Windows suites under Wine"
if [[ $native_built == 1 ]]; then
  run_suite bash "$here/scripts/windows-test.sh" "$here/build" || status=1
else
  echo "Skipped: the normal build failed"
  status=1
fi
exit $status
