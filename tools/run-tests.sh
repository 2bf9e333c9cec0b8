#!/usr/bin/env bash
# The test command: set-up, then every build and its tests. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh

mkdir -p build
failed=()
run() {
  local preset=$1
  echo "== $preset"
  if cmake --preset "$preset" >"build/$preset.configure.log" 2>&1 || { cat "build/$preset.configure.log"; false; }; then
    rm -f "build/$preset.configure.log"
  else
    failed+=("$preset (configure)"); return
  fi
  cmake --build --preset "$preset" || { failed+=("$preset (build)"); return; }
  if [ "$preset" = win32 ] && ! [ -x /usr/lib/wine/wine ]; then
    echo "win32: built; tests skipped because 32-bit Wine (wine32) is not installed"
    return
  fi
  ctest --preset "$preset" || failed+=("$preset (tests)")
}

for preset in linux linux-asan win64 win32; do run "$preset"; done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all builds and tests passed"
