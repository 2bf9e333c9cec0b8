#!/bin/sh
# Checks a shipped devinstall image without running it: its word size, the GUI subsystem, a
# manifest that requires administrator rights, and its imports (the platform's libraries,
# never "newdev.dll", which is loaded at run time, nor IsWow64Process2, which older systems
# lack, and nothing that makes a console).
# usage: image_check.sh OBJDUMP OBJCOPY IMAGE MAGIC     (MAGIC: 010b for PE32, 020b for PE32+)
set -eu
# objdump's headings are read as text: always in its untranslated words.
export LC_ALL=C
objdump=$1 objcopy=$2 image=$3 magic=$4
fail() { echo "image_check: $image: $*" >&2; exit 1; }

dump=$("$objdump" -p "$image")
echo "$dump" | grep -q "^Magic[[:space:]]*$magic" || fail "not of magic $magic"
echo "$dump" | grep -q "^Subsystem[[:space:]]*00000002[[:space:]]*(Windows GUI)" || fail "not of the GUI subsystem"

dlls=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
[ "$dlls" = "advapi32.dll kernel32.dll msvcrt.dll setupapi.dll shell32.dll " ] || fail "imports from $dlls"
for f in CommandLineToArgvW SetupDiGetClassDevsExW SetupDiCallClassInstaller CM_Get_DevNode_Status_Ex \
         CM_Get_Device_ID_ExW GetPrivateProfileStringW RegSetValueExW LoadLibraryW GetProcAddress FreeLibrary; do
  echo "$dump" | grep -q "[[:space:]]$f\$" || fail "does not import $f"
done
for f in AllocConsole AttachConsole WriteConsoleA WriteConsoleW UpdateDriverForPlugAndPlayDevicesW IsWow64Process2; do
  if echo "$dump" | grep -q "[[:space:]]$f\$"; then fail "imports $f"; fi
done

# The manifest is resource type 24, id 1.
echo "$dump" | grep -q "^010[[:space:]]*Entry: ID: 0x000018," || fail "has no manifest resource"
echo "$dump" | grep -q "^028[[:space:]]*Entry: ID: 0x000001," || fail "has no manifest of id 1"
rsrc=$(mktemp)
trap 'rm -f "$rsrc"' EXIT
"$objcopy" -O binary --only-section=.rsrc "$image" "$rsrc"
grep -q 'requestedExecutionLevel level="requireAdministrator"' "$rsrc" || fail "its manifest does not require administrator rights"
echo "image_check: $image: ok"
