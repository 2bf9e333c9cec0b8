#!/usr/bin/env bash
# The test command: set-up, then every build and its tests. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/machine.sh

tools/setup.sh

mkdir -p build
failed=()

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
      # What needs no Wine still runs: checks of the shipped images themselves.
      ctest --preset win32 -L image --no-tests=ignore || failed+=("win32 (image tests)")
      return
    fi
  fi
  ctest --preset "$preset" || failed+=("$preset (tests)")
}

for preset in linux linux-asan linux-tsan fuzz win64 win32; do run "$preset"; done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all builds and tests passed"
