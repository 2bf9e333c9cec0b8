#!/usr/bin/env bash
# Installs every package the builds and tests need. Safe to run again: when all is
# present it only checks and returns.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  googletest libgtest-dev libbenchmark-dev libyuv-dev
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 xvfb xauth
  libpugixml-dev libdnnl-dev
  libflatbuffers-dev flatbuffers-compiler libssl-dev
  ffmpeg
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq || true
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# 32-bit Wine is optional: the win32 build still builds, its tests are skipped.
have_wine32() { dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; }
if ! have_wine32; then
  stamp=/var/tmp/vextra-setup-wine32-unavailable
  if [ -n "$(find "$stamp" -mmin -720 2>/dev/null)" ]; then
    echo "setup: wine32 is not installable here (tried within 12 hours); win32 tests will be skipped"
  else
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    # One i386 index failing to download must not stop the rest of the set-up.
    "${sudo_cmd[@]}" apt-get update -qq >/dev/null 2>&1 || true
    if "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null 2>&1; then
      echo "setup: installed wine32"
    else
      touch "$stamp" 2>/dev/null || true
      echo "setup: wine32 could not be installed; win32 tests will be skipped"
    fi
  fi
fi

# The segmentation model comes from a pinned npm package, installed into the tree once.
npm_dir=third_party/npm
npm_dir=$(cd "$(dirname "$0")/.." && pwd)/$npm_dir
if ! [ -f "$npm_dir/node_modules/@mediapipe/selfie_segmentation/selfie_segmentation_landscape.tflite" ]; then
  command -v npm >/dev/null || "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends npm >/dev/null
  echo "setup: installing the segmentation model (npm)"
  (cd "$npm_dir" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
fi

# Real photographs for the worker's tests and the main job's sample: scikit-image's data
# pictures, taken from the Debian package without installing it (nothing else of it is used).
pictures_dir=$(cd "$(dirname "$0")/.." && pwd)/third_party/pictures
pictures=(astronaut.png coffee.png grass.png gravel.png brick.png)
if ! [ -f "$pictures_dir/${pictures[-1]}" ]; then
  echo "setup: fetching sample photographs (python3-skimage)"
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  (cd "$scratch" && chmod 777 . && apt-get download python3-skimage >/dev/null 2>&1) || {
    "${sudo_cmd[@]}" apt-get update -qq >/dev/null 2>&1 || true
    (cd "$scratch" && apt-get download python3-skimage >/dev/null)
  }
  dpkg-deb -x "$scratch"/python3-skimage_*.deb "$scratch/x"
  mkdir -p "$pictures_dir"
  for p in "${pictures[@]}"; do
    cp "$scratch/x/usr/lib/python3/dist-packages/skimage/data/$p" "$pictures_dir/"
  done
fi
