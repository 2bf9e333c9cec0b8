#!/usr/bin/env bash
# The renderer at work under Wine: builds the filter, the camera stand-in and this host
# (win64 build), registers both COM servers in the build's Wine prefix, and runs the host.
# Usage: tools/pixora-host/run.sh [HOST OPTIONS] [PICTURE-OR-VIDEO]
# Without an input it shows third_party/pictures/astronaut.png. Paths are the caller's.
set -euo pipefail

windows_path() { printf 'Z:%s' "$(realpath -m -- "$1" | tr / '\\')"; }

# Options pass through; a file argument becomes a Windows path.
args=()
have_input=no
while [ $# -gt 0 ]; do
  case "$1" in
    --device|--format|--fill|--seconds) args+=("$1" "$2"); shift 2 ;;
    --snapshot) args+=("$1" "$(windows_path "$2")"); shift 2 ;;
    --*) args+=("$1"); shift ;;
    *) args+=("$(windows_path "$1")"); have_input=yes; shift ;;
  esac
done
cd "$(dirname "$0")/../.."
[ "$have_input" = yes ] || args+=("$(windows_path third_party/pictures/astronaut.png)")

log=$(mktemp)
if ! { cmake --preset win64 && cmake --build --preset win64 --target PixoraRenderer pixora_camera pixora-host; } >"$log" 2>&1; then
  cat "$log"
  rm -f "$log"
  echo "run.sh: the build failed" >&2
  exit 1
fi
rm -f "$log"

run=build/win64/wine-run.sh
"$run" regsvr32 /s "$(windows_path build/win64/standins/pixora-camera/pixora_camera.dll)"
"$run" regsvr32 /s "$(windows_path build/win64/renderer/module/PixoraRenderer.ax)"
exec "$run" build/win64/tools/pixora-host/pixora-host.exe "${args[@]}"
