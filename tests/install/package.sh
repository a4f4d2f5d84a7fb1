#!/bin/bash
# package.sh BUILD: installs the Debian package that make package left in
# BUILD into a scratch root with dpkg (the machine's own packages are not
# touched), runs a program from it, removes it and checks that nothing of
# it is left. CI runs it after make package.
set -eu
build=$(cd "$1" && pwd)
deb=$(ls "$build"/rk-tools_*.deb)
root=$build/package-test
rm -rf "$root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
fail() { echo "package: $*"; exit 1; }
# The scratch root holds no C library package: the dependency is not checked.
dpkg --root="$root" --force-depends --force-not-root -i "$deb" > "$root.log" 2>&1 || { cat "$root.log"; fail "dpkg -i failed"; }
dpkg --root="$root" -s rk-tools | grep -q '^Status: install ok installed' || fail "not installed"
v=$("$root/usr/bin/Rksort" --version)
[[ $v == "Rksort (Rk tools) "* ]] || fail "the installed Rksort says '$v'"
# Debian's place for the licence and the changes; the pages compressed.
doc=$root/usr/share/doc/rk-tools
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' "$doc/copyright" || fail "no machine-readable copyright"
grep -q '^License: BSD-2-clause$' "$doc/copyright" || fail "the copyright names no licence"
gzip -dc "$doc/changelog.gz" | grep -q '^# Changes' || fail "no changelog.gz"
# A page for every program and the overview.
pages=$(find "$root/usr/share/man" -type f | wc -l) programs=$(ls "$root/usr/bin" | wc -l)
plain=$(find "$root/usr/share/man" -type f ! -name '*.gz')
[[ $pages -eq $((programs + 1)) && -z $plain ]] || fail "$pages manual pages for $programs programs; not compressed: $plain"
gzip -dc "$root/usr/share/man/man7/rk-tools.7.gz" | grep -q '^rk-tools \\- ' || fail "no overview page"
dpkg --root="$root" --force-not-root -r rk-tools > "$root.log" 2>&1 || { cat "$root.log"; fail "dpkg -r failed"; }
left=$(find "$root/usr" -type f 2>/dev/null || true)
[[ -z $left ]] || fail "left after removal: $left"
rm -rf "$root" "$root.log"
echo "package $(basename "$deb"): installed, ran $v, removed"
