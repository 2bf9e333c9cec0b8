#!/bin/sh
# export_table_check.sh OBJDUMP DLL: the plug-in exports exactly its fourteen names,
# undecorated.
set -eu
# objdump's headings are read as text: always in its untranslated words.
export LC_ALL=C
expected="CheckAccelerationSupport Configure Encode GetEncoderCaps GetEncoderStat GetEncodersNum GetFrame GetHeader GetHeaderSize Init ReleaseFrame StartEncoding StopEncoding Uninit"
actual=$("$1" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exports: $actual"
  echo "expected: $expected"
  exit 1
fi
echo "$(basename "$2"): the fourteen exports, undecorated"
