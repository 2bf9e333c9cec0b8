#!/bin/sh
# Runs one Windows program in a fresh copy of the pristine prefix, then removes the copy
# (kept when the program fails, for a look).
# usage: fresh_prefix.sh WINE_RUN PRISTINE COPY PROGRAM [ARGUMENTS...]
set -eu
wine_run=$1 pristine=$2 copy=$3
shift 3
[ -f "$pristine/.vextra-ready" ] || { echo "fresh_prefix: no pristine prefix at $pristine" >&2; exit 1; }

# Wine's program files (most of the prefix's size) are hard links: Wine never writes them in
# place. Everything else, the registry first of all, is copied.
binaries='( -name *.dll -o -name *.exe -o -name *.sys -o -name *.drv -o -name *.ocx -o -name *.cpl -o -name *.acm -o -name *.ax -o -name *.tlb -o -name *.nls )'
rm -rf "$copy"
mkdir -p "$copy"
copy=$(cd "$copy" && pwd)
(
  cd "$pristine"
  set -f
  find . -mindepth 1 -type d -print0 | (cd "$copy" && xargs -0 mkdir -p)
  find . -type f $binaries -print0 | xargs -0 -r cp -l --parents -t "$copy"
  find . ! -type d ! $binaries ! -name wineserver ! -name .lock -print0 | xargs -0 -r cp -P --preserve=mode,timestamps,links --parents -t "$copy"
)

status=0
VEXTRA_WINE_PREFIX="$copy" "$wine_run" "$@" || status=$?
WINEPREFIX="$copy" /usr/lib/wine/wineserver -k 2>/dev/null || true
WINEPREFIX="$copy" /usr/lib/wine/wineserver -w 2>/dev/null || true
if [ "$status" -eq 0 ]; then rm -rf "$copy"; fi
exit "$status"
