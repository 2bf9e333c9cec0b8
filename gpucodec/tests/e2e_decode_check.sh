#!/usr/bin/env bash
# e2e_decode_check.sh FOLDER NAME...: decodes FOLDER/NAME.mp4 with the native ffmpeg and
# compares codec, size, and per frame the key-frame flag, timestamp and picture checksum
# with FOLDER/NAME.expected, written by gpucodec_e2e_encode_test.
set -euo pipefail
folder=$1
shift
for name in "$@"; do
  mp4=$folder/$name.mp4
  expected=$folder/$name.expected
  [ -s "$mp4" ] && [ -s "$expected" ] || { echo "$name: no encoded file"; exit 1; }
  actual=$(
    ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height -of csv=p=0 "$mp4"
    paste -d, \
      <(ffprobe -v error -select_streams v:0 -show_entries frame=key_frame,pts -of csv=p=0 "$mp4") \
      <(ffmpeg -v error -i "$mp4" -pix_fmt nv12 -f framecrc - | grep -v '^#' | awk -F', *' '{print $6}')
  )
  if ! diff <(echo "$actual") "$expected" >"$folder/$name.diff"; then
    echo "$name: decoded stream differs from the input (first differences):"
    head -n 10 "$folder/$name.diff"
    exit 1
  fi
  echo "$name: $(($(wc -l <"$expected") - 1)) frames decoded back exactly"
done
