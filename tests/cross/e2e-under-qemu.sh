#!/usr/bin/env bash
# Runs end-to-end files against programs built for another processor, each
# started through qemu-user under its own name:
#   tests/cross/e2e-under-qemu.sh BINDIR SYSROOT FILE...
# Cases that set memory limits are left out (an emulator reserves address
# space of its own), as under the sanitizers, whose time limits apply too.
set -euo pipefail
bin=$(cd "$1" && pwd); sysroot=$2; shift 2
here=$(cd "$(dirname "$0")" && pwd)
wrappers=$(mktemp -d)
trap 'rm -rf "$wrappers"' EXIT
for p in "$bin"/Rk*; do
    name=$(basename "$p")
    printf '#!/bin/sh\nexec qemu-aarch64 -L %s -0 %s %s "$@"\n' "$sysroot" "$name" "$p" > "$wrappers/$name"
    chmod +x "$wrappers/$name"
done
status=0
for f in "$@"; do
    echo "== $f under qemu"
    RK_SANITIZED=1 python3 "$here/../e2e/harness.py" --bin "$wrappers" "$here/../e2e/$f.t" || status=1
done
exit $status
