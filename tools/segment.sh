#!/usr/bin/env bash
# The main job: a picture or video through the segmentation worker, masks, a copy with its
# background blurred or replaced, and an overview out.
# Usage: tools/segment.sh [--background FILE] [--blur RADIUS] [INPUT] [OUTPUT_DIR]
# Without INPUT: the sample photograph. Without OUTPUT_DIR: build/linux/segment-output.
# The program checks the arguments; this script only makes their paths absolute.
set -euo pipefail
# Paths are the caller's, relative to where it stands, not to the tree.
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --blur) args+=("$1"); shift; [ $# -gt 0 ] && { args+=("$1"); shift; } ;;
    --background) args+=("$1"); shift; [ $# -gt 0 ] && { args+=("$(realpath -m -- "$1")"); shift; } ;;
    -*) args+=("$1"); shift ;;
    *) args+=("$(realpath -m -- "$1")"); shift ;;
  esac
done
cd "$(dirname "$0")/.."

tools/setup.sh main
# Quiet unless it fails, so that the demo's own lines are what is left on the screen.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
if ! { cmake --preset linux && cmake --build --preset linux --target segment-demo segworker; } >"$log" 2>&1; then
  cat "$log"
  echo "segment.sh: the build failed" >&2
  exit 1
fi
rm -f "$log"
trap - EXIT INT TERM
exec build/linux/tools/segment-demo/segment-demo "${args[@]}"
