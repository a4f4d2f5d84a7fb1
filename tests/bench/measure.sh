#!/bin/sh
# rkmeasure with several command lines: they take turns, one run each per
# round (the warm-ups too), each has its own line, a failing one its status,
# and `paired` is the median of the rounds' time ratios.
set -u
rkmeasure=$1
dir=$(mktemp -d "${TMPDIR:-/tmp}/rkmeasure.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
fail() { echo "FAIL: $*"; cat out; exit 1; }

"$rkmeasure" -r 3 -w 1 -- 'echo a >> turns; sleep 0.2' 'echo b >> turns; sleep 0.4' 'echo c >> turns; exit 4' > out
status=$?
[ "$status" = 1 ] || fail "exit status $status, not 1 for a failing command"
[ "$(tr -d '\n' < turns)" = abcabcabcabc ] || fail "turns: $(tr -d '\n' < turns)"
[ "$(wc -l < out)" = 3 ] || fail "not one line per command"
sed -n 1p out | grep -q 'runs=3 status=0$' || fail "first line"
sed -n 3p out | grep -q 'status=4 paired=' || fail "third line"
# The first command takes half the time of the second, whatever the load.
paired=$(sed -n '2s/.* paired=//p' out)
awk -v p="$paired" 'BEGIN { exit !(p > 0.3 && p < 0.8) }' || fail "paired=$paired, not about 0.5"
echo ok
