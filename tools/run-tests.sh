#!/usr/bin/env bash
# The test command: set-up, then every build and its tests. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/machine.sh

if ! tools/setup.sh; then
  echo "FAILED: set-up (tools/setup.sh; the failing step is named above)"
  exit 1
fi

mkdir -p build
failed=()
# What did not run, and why: said in the last line even when everything else passed.
skipped=()

# Why the win32 tests cannot run here, or nothing when they can: asked of the machine each
# time, by starting a 32-bit program and then a 32-bit Windows program.
win32_skip_reason() {
  if ! can_run_32bit build; then
    echo "this machine cannot run 32-bit programs"
  elif ! [ -e /usr/lib/wine/wine ]; then
    echo "wine32 is not installed (the set-up could not install it here)"
  elif ! build/win32/wine-run.sh build/win32/wine_probe.exe >/dev/null 2>&1; then
    echo "32-bit Wine does not start a 32-bit Windows program here"
  fi
}

run() {
  local preset=$1
  echo "== $preset"
  if cmake --preset "$preset" >"build/$preset.configure.log" 2>&1 || { cat "build/$preset.configure.log"; false; }; then
    rm -f "build/$preset.configure.log"
  else
    failed+=("$preset (configure)"); return
  fi
  cmake --build --preset "$preset" || { failed+=("$preset (build)"); return; }
  if [ "$preset" = win32 ]; then
    local reason
    reason=$(win32_skip_reason)
    if [ -n "$reason" ]; then
      echo "win32: built; tests that start Windows programs skipped: $reason"
      skipped+=("win32: only the image tests ran ($reason)")
      # What needs no Wine still runs: checks of the shipped images themselves.
      run_ctest win32 -L image --no-tests=ignore || failed+=("win32 (image tests)")
      return
    fi
  fi
  run_ctest "$preset" || failed+=("$preset (tests)")
}

# ctest, and the names of the tests it skipped with the reason each printed.
run_ctest() {
  local preset=$1 log="build/$1.ctest.log" status=0 name reason
  ctest --preset "$@" 2>&1 | tee "$log" || status=$?
  while read -r name; do
    reason=$(skip_reason "$preset" "$name")
    skipped+=("$preset: $name skipped${reason:+ ($reason)}")
  done < <(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (Skipped)$/\1/p' "$log")
  return "$status"
}

# The line a skipped GoogleTest case printed after "Skipped", from ctest's full log.
skip_reason() {
  awk -v test="$2" '
    $0 ~ "^[0-9]+/[0-9]+ Test: " test "$" { inside = 1; next }
    inside && /^[0-9]+\/[0-9]+ Test: / { exit }
    inside && seen { print; exit }
    inside && /: Skipped$/ { seen = 1 }
  ' "build/$1/Testing/Temporary/LastTest.log" 2>/dev/null
}

for preset in linux linux-asan linux-tsan fuzz win64 win32; do run "$preset"; done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
summary="all builds and tests passed"
for s in "${skipped[@]}"; do summary+="; $s"; done
echo "$summary"
