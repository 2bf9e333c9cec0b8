#!/bin/sh
# Makes the pristine Wine prefix that each integration case starts from a copy of: once per
# test run, since making a prefix takes tens of seconds.
# usage: pristine_prefix.sh WINE_RUN PREFIX PROBE_PROGRAM
set -eu
wine_run=$1 prefix=$2 probe=$3
rm -rf "$prefix"
VEXTRA_WINE_PREFIX="$prefix" "$wine_run" "$probe"
# The server wine-run.sh starts; the prefix is complete once it has saved the registry.
WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w
