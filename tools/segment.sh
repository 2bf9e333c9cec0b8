#!/usr/bin/env bash
# The main job: a picture or video through the segmentation worker, masks and a
# background-blurred copy out. Usage: tools/segment.sh [INPUT] [OUTPUT_DIR]
# Without INPUT: the sample photograph. Without OUTPUT_DIR: build/linux/segment-output.
set -euo pipefail
if [ $# -gt 2 ]; then
  echo "usage: $0 [INPUT] [OUTPUT_DIR]" >&2
  exit 1
fi
# Paths are the caller's, relative to where it stands, not to the tree.
args=()
for a in "$@"; do args+=("$(realpath -m -- "$a")"); done
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
