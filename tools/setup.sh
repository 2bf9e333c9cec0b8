#!/usr/bin/env bash
# Installs what the builds need on Debian 12, starting from a minimal system. Safe to run
# again: what is present is only checked.
#   tools/setup.sh        everything the four builds and their tests need
#   tools/setup.sh main   only the native worker and the main job (no Wine, mingw-w64, Xvfb)
set -euo pipefail
profile=${1:-all}
case "$profile" in
  all|main) ;;
  *) echo "usage: $0 [all|main]" >&2; exit 2 ;;
esac
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tools/machine.sh"

# The native build: worker, engine stand-in (oneDNN's CMake package asks for OpenCL), tools,
# tests and benchmarks.
native=(
  cmake ninja-build g++ pkg-config file
  googletest libgtest-dev libbenchmark-dev libyuv-dev
  libpugixml-dev libdnnl-dev ocl-icd-opencl-dev
  libflatbuffers-dev flatbuffers-compiler libssl-dev
  ffmpeg
)
# The Windows builds and everything their tests run: Wine (64-bit; 32-bit below) with the
# GStreamer plug-ins behind its AVI splitter and decoders, a virtual display, clang for the
# fuzz targets; and what cross-builds the worker's libraries from Debian's source packages
# (tools/debian-source.sh, OpenSSL's Configure).
windows=(
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  dpkg-dev xz-utils perl make
  wine wine64 gstreamer1.0-plugins-base gstreamer1.0-plugins-good xvfb xauth util-linux
  clang libclang-rt-14-dev
)
packages=("${native[@]}")
[ "$profile" = main ] || packages+=("${windows[@]}")
# npm only where there is none: a machine may have its own Node.js outside Debian's packages.
command -v npm >/dev/null || packages+=(npm)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

# Every step's output goes to a log of its own; a failing step names itself and shows the
# end of its log, instead of stopping the caller without a word.
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
log_of() { echo "$logs/$(echo "$1" | cksum | cut -d' ' -f1).log"; }  # one log per step name
show_log() {  # show_log NAME: the last lines of that step's output
  tail -n 25 "$(log_of "$1")" | sed 's/^/  | /' >&2
}
try() {  # try NAME COMMAND...: runs it, output into NAME's log; the command's status
  local name=$1; shift
  "$@" >>"$(log_of "$name")" 2>&1
}
step() {  # step NAME COMMAND...: as try, but a failure ends the set-up
  local name=$1; shift
  try "$name" "$@" && return 0
  echo "setup: failed: $name" >&2
  show_log "$name"
  exit 1
}
apt_update() {
  # One index failing to download must not stop the rest: what then cannot install says so.
  "${sudo_cmd[@]}" apt-get update -q || true
}
apt_install() {
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "$@"
}

missing=()
for p in "${packages[@]}"; do have_package "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  try "apt-get install of ${missing[*]}" apt_update
  step "apt-get install of ${missing[*]}" apt_install "${missing[@]}"
fi

# 32-bit Wine only where 32-bit programs run: elsewhere its loader fails with "Exec format
# error" and the win32 tests are skipped. The 64-bit tests never use it (see wine-run.sh.in).
if [ "$profile" = all ] && ! have_package wine32:i386; then
  if ! can_run_32bit "$top/build"; then
    echo "setup: this machine cannot run 32-bit programs; wine32 not installed, win32 tests will be skipped"
  else
    step "dpkg --add-architecture i386" "${sudo_cmd[@]}" dpkg --add-architecture i386
    try "apt-get install of wine32:i386" apt_update
    if try "apt-get install of wine32:i386" apt_install wine32:i386; then
      echo "setup: installed wine32"
    else
      echo "setup: wine32 is not installable here; win32 tests will be skipped. apt-get said:"
      show_log "apt-get install of wine32:i386"
    fi
  fi
fi

# The segmentation model comes from a pinned npm package, installed into the tree once.
npm_dir=$top/third_party/npm
if ! [ -f "$npm_dir/node_modules/@mediapipe/selfie_segmentation/selfie_segmentation_landscape.tflite" ]; then
  echo "setup: installing the segmentation model (npm)"
  step "npm ci in third_party/npm" \
    sh -c 'cd "$1" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error' sh "$npm_dir"
fi

# Real photographs for the worker's tests and the main job's sample: scikit-image's data
# pictures, taken from the Debian package without installing it (nothing else of it is used).
pictures_dir=$top/third_party/pictures
pictures=(astronaut.png coffee.png grass.png gravel.png brick.png)
if ! [ -f "$pictures_dir/${pictures[-1]}" ]; then
  echo "setup: fetching sample photographs (python3-skimage)"
  scratch=$logs/skimage
  mkdir -p "$scratch"
  chmod 777 "$scratch"  # apt-get download drops to the _apt user where it can
  if ! try "apt-get download python3-skimage" sh -c 'cd "$1" && apt-get download python3-skimage' sh "$scratch"; then
    try "apt-get download python3-skimage" apt_update
    step "apt-get download python3-skimage" sh -c 'cd "$1" && apt-get download python3-skimage' sh "$scratch"
  fi
  step "unpacking python3-skimage" dpkg-deb -x "$scratch"/python3-skimage_*.deb "$scratch/x"
  mkdir -p "$pictures_dir"
  for p in "${pictures[@]}"; do
    cp "$scratch/x/usr/lib/python3/dist-packages/skimage/data/$p" "$pictures_dir/"
  done
fi
