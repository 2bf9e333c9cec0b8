#!/usr/bin/env bash
# The shipped worker's round trip per frame: natively, then segworker.exe under Wine, on the
# same frames (the native worker's run of the sample photographs). Needs both builds:
#   cmake --build --preset linux && cmake --build --preset win64
#   segworker/bench/wine-round-trip.sh [FRAMES]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
frames_file=$top/build/win64/segworker/tests/native-photo-masks.bin
frames=${1:-200}
echo "native:      $("$top/build/linux/segworker/bench/segworker_round_trip_bench" "$frames_file" "$frames")"
echo "Wine (win64): $("$top/build/win64/wine-run.sh" "$top/build/win64/segworker/tests/segworker_round_trip_bench.exe" \
  "$frames_file" "$frames")"
