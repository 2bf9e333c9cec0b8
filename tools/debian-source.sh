#!/usr/bin/env bash
# debian-source.sh PACKAGE WORK_DIR: unpacks Debian's source package PACKAGE of this machine's
# release (its main suite with the point-release updates) into WORK_DIR/source. Apt runs with
# a deb-src list, index and cache of WORK_DIR's own, so the system's apt configuration is
# neither read for sources nor changed. Fails with one line naming the package.
set -euo pipefail
package=$1
work=$(mkdir -p "$2" && cd "$2" && pwd)
fail() { echo "cannot fetch Debian's source package '$package': $*" >&2; exit 1; }

. /etc/os-release
release=${VERSION_CODENAME:?}
# The Debian archive this machine's apt already takes its packages from.
archive=$(sed -nE 's/^URIs:[[:space:]]*//p; s/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+).*/\2/p' \
            /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list 2>/dev/null \
          | tr ' ' '\n' | grep -E '/debian/?$' | head -n 1 || true)
[ -n "$archive" ] || fail "no Debian archive among this machine's apt sources"
apt=$work/apt
mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial"
cat >"$apt/sources.list" <<LIST
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive $release main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive $release-updates main
LIST
options=(
  -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=-
  -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache"
  -o APT::Sandbox::User="$(id -un)" -o Acquire::Languages=none
)
command -v dpkg-source >/dev/null || fail "dpkg-source is missing (dpkg-dev; run tools/setup.sh)"
log=$work/apt.log
apt-get "${options[@]}" update >"$log" 2>&1 || fail "apt-get update failed (see $log)"
rm -rf "$work/download" "$work/source"
mkdir -p "$work/download"
(cd "$work/download" && apt-get "${options[@]}" source "$package" >>"$log" 2>&1) \
  || fail "apt-get source failed (see $log)"
tree=$(find "$work/download" -mindepth 1 -maxdepth 1 -type d -name "$package-*" | head -n 1)
[ -n "$tree" ] || fail "no source tree was unpacked (see $log)"
mv "$tree" "$work/source"
