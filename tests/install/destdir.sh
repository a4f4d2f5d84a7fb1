#!/bin/bash
# destdir.sh SOURCE BUILD: installs the build into a scratch DESTDIR under
# PREFIX=/opt/rk with the Makefile, checks what landed there, uninstalls
# and checks that nothing of it is left.
set -u
src=$1 build=$2
stage=$build/install-test
rm -rf "$stage"
mkdir -p "$stage"
fail() { echo "install.destdir: $*"; exit 1; }
make -s -C "$src" install BUILD="$build" PREFIX=/opt/rk DESTDIR="$stage" > "$stage.log" 2>&1 || { cat "$stage.log"; fail "make install failed"; }
for p in Rkcat Rkhead Rktail Rkproj Rkrename Rksort Rkgrep; do
  [[ -x $stage/opt/rk/bin/$p ]] || fail "no $stage/opt/rk/bin/$p"
  [[ -f $stage/opt/rk/share/man/man1/$p.1 ]] || fail "no manual page $p.1"
  grep -q '^\.TH .* "Rk tools [0-9]' "$stage/opt/rk/share/man/man1/$p.1" || fail "$p.1 has no version in .TH"
done
[[ $("$stage/opt/rk/bin/Rkcat" --version) == "Rkcat (Rk tools) "* ]] || fail "the installed Rkcat does not run"
make -s -C "$src" uninstall BUILD="$build" DESTDIR="$stage" > "$stage.log" 2>&1 || { cat "$stage.log"; fail "make uninstall failed"; }
left=$(find "$stage" -type f)
[[ -z $left ]] || fail "left after uninstall: $left"
rm -rf "$stage" "$stage.log"
echo "installed and uninstalled 14 files"
