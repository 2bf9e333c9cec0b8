# Sourced by setup.sh and run-tests.sh: what this machine can run, found by trying it.

# A 93-byte static i386 program that only calls exit(0). A kernel without 32-bit support
# refuses it with "Exec format error"; nothing needs to be installed to ask.
run_i386_probe() {
  local dir probe rc
  dir=$(mktemp -d "$1/i386-probe.XXXXXX") || return 1
  probe=$dir/exit0
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  rc=$?
  rm -rf "$dir"
  return $rc
}

# can_run_32bit SCRATCH_DIR: the probe is written into SCRATCH_DIR (a place that allows
# executing files, unlike some /tmp mounts).
can_run_32bit() {
  mkdir -p "$1" && run_i386_probe "$1"
}

have_package() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}
