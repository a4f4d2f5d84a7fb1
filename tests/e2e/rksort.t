# Rksort: a stable sort of records by a key-field list, in memory up to the
# -D xmem limit and through run files in the temporary directory beyond it,
# merged sixteen at a time.
#
# Groups (each case title starts with its group):
#   usage:     no key-field list, unknown options: usage text, status 2.
#   errors:    bad key flags and -D names: every error reported, status 2,
#              no input read, no temporary file.
#   order:     text order by code value, missing field and empty value,
#              output form, equal keys in input order, repeated key fields.
#   numbers:   n: numbers, non-numbers, nan and infinities.
#   reverse:   r per field and from -k; ties stay in input order.
#   keys:      several key fields; an entry's flags replace -k's.
#   flags:     b d f i.
#   exclusive: "^" lists: every other named field, in order of first
#              appearance.
#   files:     several inputs and "-", inputs that can't be opened or read.
#   memory:    records far larger than the initial areas, sorted in memory.
#   runs:      tiny -D xmem limits: output identical to the in-memory sort,
#              merge passes of 16, run names, stability across runs.
#   tmpdir:    -T, then TMPDIR, then /tmp/.
#   fatal:     a record larger than the limit, a run file that can't be
#              written or comes back short: status 3 and no file left.
#   signals:   SIGINT, SIGHUP and SIGTERM while reading and while merging,
#              a reader of the output that goes away, an ignored SIGINT.
#   progress:  the progress line on a terminal (standard error on a
#              pseudo-terminal; RK_PROGRESS_DELAY shortens its delays).
#   merge:     -m against a model of the merge of sorted inputs; the
#              sorted parts of a file merged as the whole file sorted.
#
# Every case that may write runs points TMPDIR at a fresh directory t and
# lists it at the end: an empty listing means that no file was left.
#
# Observing runs. While merging to standard output Rksort holds exactly the
# runs of the final merge; so a consumer that reads one byte and then stops
# reading ("the pause") keeps it there, blocked on the full pipe, as long as
# more than the pipe (64 KB) and the output buffer (64 KB) remain to be
# written. The pause used below:
#   mkfifo go done
#   { Rksort ...; echo "status $?" > st; } |
#     { dd bs=1 count=1 status=none; echo > go; read < done; cat; } > out.rk &
#   read < go; <look at the directory>; echo > done; wait
# The names seen then give the number of runs: with R runs (17 <= R <= 256)
# one pass merges 0-15 into run R, 16-31 into R+1, ..., and renames a
# single run left over, so the final merge reads runs R, R+1, ...
#
# Records of known size make run counts exact. The text area holds records
# as 32-bit characters plus a terminating 0, and the limit xmem=1 is below
# the total of the initial areas, so no area ever grows. A record of 180
# characters takes 724 bytes: two never fit in a 1 KB text area (rsize=1),
# so each record is written as a run of its own when the next one is read,
# and the last when the input ends: N records make N runs. Likewise records
# of 12,000 characters (48,004 bytes) with rsize=64. All records of such a
# file have the same size (the reader can move a record being read only into
# the room left before the previous one).
#
# Signals: bash starts background commands with SIGINT ignored, and Rksort
# keeps an ignored signal ignored; sig.py restores the default action of
# every signal (SIGPIPE too, which python3 ignores) before it runs the
# command.
# Every case ends with its "--- status" line so that the blank line after it
# belongs to no expected text.

=== usage: without a key-field list the usage text is written, status 2
--- run
Rksort; echo "status $?"
Rksort -k n; echo "status $?"
Rksort -D xmem=1 -T . --; echo "status $?"
--- stdout
status 2
status 2
status 2
--- stderr escaped
Rksort [-options] [^]key-field-list [input-file ..]
\tsorts Rk-files.
\tOptions:
\t-k key-flags\tdefault key flags.
\t-m\t\tmerge sorted input-files.
\t-T directory\ttmp file directory.
\t-D xmem=N\tmax memory for sort (KB).
Rksort [-options] [^]key-field-list [input-file ..]
\tsorts Rk-files.
\tOptions:
\t-k key-flags\tdefault key flags.
\t-m\t\tmerge sorted input-files.
\t-T directory\ttmp file directory.
\t-D xmem=N\tmax memory for sort (KB).
Rksort [-options] [^]key-field-list [input-file ..]
\tsorts Rk-files.
\tOptions:
\t-k key-flags\tdefault key flags.
\t-m\t\tmerge sorted input-files.
\t-T directory\ttmp file directory.
\t-D xmem=N\tmax memory for sort (KB).
--- status 0

=== usage: an unknown option after valid ones; the input is not read
--- stdin
k:1
--- run
Rksort -k n -x k
--- stderr escaped
Rksort [-options] [^]key-field-list [input-file ..]
\tsorts Rk-files.
\tOptions:
\t-k key-flags\tdefault key flags.
\t-m\t\tmerge sorted input-files.
\t-T directory\ttmp file directory.
\t-D xmem=N\tmax memory for sort (KB).
--- status 2

=== errors: bad key flags in -k and in fields: all reported, status 2, no input read, no file made
--- run
mkdir t; export TMPDIR=$PWD/t
Rksort -D xmem=1 -k nq 'a:x,b,c:rB' missing.rk; echo "status $?"
Rksort a:n- missing.rk; echo "status $?"
ls t
--- stdout
status 2
status 2
--- stderr
Rksort: unknown key flag 'q' in -k option.
Rksort: unknown key flag 'x' in field a.
Rksort: unknown key flag 'B' in field c.
Rksort: unknown key flag '-' in field a.
--- status 0

=== errors: an unknown -D name is reported, the others are taken, status 2
--- run
Rksort -D 'xmem=1,bogus=3 rsize=1' k missing.rk
--- stderr
Rksort: -D bogus is unknown.
--- status 2

=== order: text keys by code value; a missing field first, then an empty value; records come out whole
--- file r.rk noeol
k:b
v:1



k:a
v:2

v:3

k:
v:4

k:Z
v:5

k:é
v:6

k:z
v:7

v:8
k:a
x:9
--- run
mkdir t; export TMPDIR=$PWD/t
Rksort k r.rk
Rksort -D xmem=1 k < /dev/null
ls t
--- stdout
v:3

k:
v:4

k:Z
v:5

k:a
v:2

v:8
k:a
x:9

k:b
v:1

k:z
v:7

k:é
v:6

--- status 0

=== order: 3,000 records with five keys come out in input order within each key
--- run
mkdir t; export TMPDIR=$PWD/t
gen() { awk -v only="$1" 'BEGIN { for (i = 1; i <= 3000; i++) {
  k = substr("dbeac", i * 7 % 5 + 1, 1); if (i % 11 == 0) k = "-"
  if (only != "" && k != only) continue
  if (k == "-") printf "i:%d\n\n", i; else if (i % 2) printf "k:%s\ni:%d\n\n", k, i; else printf "i:%d\nk:%s\n\n", i, k } }'; }
gen > in.rk
for k in - a b c d e; do gen $k; done > want.rk
Rksort k in.rk | cmp - want.rk && echo same
Rksort '' in.rk | cmp - in.rk && echo "empty key list: input order"
ls t
--- stdout
same
empty key list: input order
--- status 0

=== order: every occurrence of a key field counts; a separator sorts below every character
--- file r.rk
g:ab
g:c
n:1

g:abc
n:2

g:ab
n:3

g:1
g:2
n:4

g:1
n:5

g:
g:
n:6

g:
n:7
--- run
Rksort g r.rk | sed -n 's/^n://p' | paste -sd' ' -
--- stdout
7 6 5 4 3 1 2
--- status 0

=== numbers: n compares numbers; non-numbers, empty values and -0 are 0; a missing field is first; ties keep input order
--- file r.rk escaped
v:10
n:1

v:9
n:2

v:-2.5
n:3

v:1e1
n:4

v:abc
n:5

v:\x203\x20
n:6

n:7

v:0.5
n:8

v:10.0
n:9

v:
n:10

v:-10
n:11

v:-0
n:12
--- run
nums() { sed -n 's/^n://p' | paste -sd' ' -; }
Rksort v:n r.rk | nums
Rksort -k n v r.rk | nums
Rksort v r.rk | nums
--- stdout
7 11 3 5 10 12 8 6 2 1 4 9
7 11 3 5 10 12 8 6 2 1 4 9
7 10 6 12 11 3 8 1 9 4 2 5
--- status 0

=== numbers: nan equals nan and sorts below every other number, -inf included; r turns it all round but ties
--- file r.rk
v:1
n:1

v:nan
n:2

v:-inf
n:3

n:4

v:NaN
n:5

v:inf
n:6

v:-1e308
n:7

v:nan
n:8
--- run
nums() { sed -n 's/^n://p' | paste -sd' ' -; }
Rksort v:n r.rk | nums
Rksort v:nr r.rk | nums
--- stdout
4 2 5 8 3 7 1 6
6 1 7 3 2 5 8 4
--- status 0

=== reverse: r per field or from -k; a missing field goes last; equal keys stay in input order
--- file r.rk
k:b
n:1

k:a
n:2

n:3

k:b
n:4

k:c
n:5

k:a
n:6
--- run
nums() { sed -n 's/^n://p' | paste -sd' ' -; }
Rksort k:r r.rk | nums
Rksort -k r k r.rk | nums
Rksort -k r k: r.rk | nums
--- stdout
5 1 4 2 6 3
5 1 4 2 6 3
3 2 6 1 4 5
--- status 0

=== keys: several key fields in list order; an entry's own flags replace those of -k
--- file r.rk
a:x
b:10
n:1

a:y
b:9
n:2

a:x
b:9
n:3

b:10
a:y
n:4

a:x
n:5

a:x
b:10.0
n:6
--- run
nums() { sed -n 's/^n://p' | paste -sd' ' -; }
Rksort a,b:nr r.rk | nums
Rksort 'b:n a:r' r.rk | nums
Rksort -k n b,a: r.rk | nums
Rksort -k n b,a r.rk | nums
--- stdout
1 6 3 5 4 2
5 2 3 4 1 6
5 3 2 1 6 4
5 2 3 1 4 6
--- status 0

=== flags: b skips white space at the start; d keeps only letters, digits and white space
--- file r.rk escaped
k:\x20b
d:a-c
n:1

k:a
d:ab
n:2

k:\x20\x20c
d:a.b
n:3

k:b
d:a c
n:4

k:\tb
n:5
--- run
nums() { sed -n 's/^n://p' | paste -sd' ' -; }
Rksort k:b r.rk | nums
Rksort k r.rk | nums
Rksort d:d r.rk | nums
Rksort -k d d r.rk | nums
Rksort d r.rk | nums
--- stdout
2 1 4 5 3
5 3 1 2 4
5 4 2 3 1
5 4 2 3 1
5 4 1 3 2
--- status 0

=== flags: f folds lower case to upper case, non-ASCII too; i keeps only printable characters
--- file r.rk escaped
k:b
i:a\tc
n:1

k:B
i:ab
n:2

k:a
i:a\x01a
n:3

k:A
i:a b
n:4

k:c
n:5

k:ä
n:6

k:Ä
n:7

k:_
n:8
--- run
nums() { sed -n 's/^n://p' | paste -sd' ' -; }
Rksort k:f r.rk | nums
Rksort k r.rk | nums
Rksort -k df k r.rk | nums
Rksort i:i r.rk | nums
Rksort i r.rk | nums
--- stdout
3 4 1 2 5 8 6 7
4 2 8 3 1 5 7 6
8 3 4 1 2 5 6 7
5 6 7 8 4 3 2 1
5 6 7 8 3 1 4 2
--- status 0

=== exclusive: ^x,n: the other named fields, in order of first appearance; earlier keys lack the later fields
--- file r.rk
x:3
b:2
n:1

a:1
n:2

b:1
x:1
n:3

b:2
a:0
n:4

b:2
n:5

a:1
b:0
n:6
--- run
nums() { sed -n 's/^n://p' | paste -sd' ' -; }
Rksort ^x,n r.rk | nums
Rksort -k n ^x,n r.rk | nums
Rksort -k r ^x,n r.rk | nums
--- stdout
2 6 3 1 5 4
2 6 3 1 5 4
4 1 5 3 6 2
--- status 0

=== files: all inputs are sorted together, "-" reading standard input in its place; equal keys in reading order
--- file a.rk
k:2
f:a1

k:1
f:a2
--- file b.rk
k:1
f:b1

k:2
f:b2
--- stdin
k:1
f:s1
--- run
Rksort k a.rk - b.rk | sed -n 's/^f://p' | paste -sd' ' -
Rksort k < a.rk | sed -n 's/^f://p' | paste -sd' ' -
--- stdout
a2 s1 b1 a1 b2
a2 a1
--- status 0

=== files: a later input that can't be opened: the records read so far are sorted, later inputs unread, status 1
--- file a.rk
k:2
f:a1

k:1
f:a2
--- file b.rk
k:0
f:b1
--- run
mkdir t; export TMPDIR=$PWD/t
Rksort k a.rk missing.rk b.rk; echo "status $?"
Rksort k missing.rk a.rk; echo "status $?"
ls t
--- stdout
k:1
f:a2

k:2
f:a1

status 1
status 3
--- stderr
Rksort: can't open missing.rk.
Rksort: missing.rk: No such file or directory
Rksort: can't open missing.rk.
Rksort: missing.rk: No such file or directory
--- status 0

=== files: undecodable input after six runs were written: fatal, the runs are removed
--- run
mkdir t; export TMPDIR=$PWD/t
# six records of 180 characters, one run each with rsize=1 (see the top)
awk 'BEGIN { for (p = "x"; length(p) < 200;) p = p p; for (i = 1; i <= 6; i++) printf "k:%d\np:%s\n\n", 7 - i, substr(p, 1, 180 - 7) }' > in.rk
printf 'k:\377\n' >> in.rk
Rksort -D xmem=1,rsize=1 k in.rk; echo "status $?"
ls t
--- stdout
status 3
--- stderr
Rksort: code error in Rk-file in.rk(7), irrecoverable.
--- status 0

=== memory: a 200,000-character value, 6,000 fields and 6,000 key occurrences among small records: areas grow, records move
--- run
mkdir t; export TMPDIR=$PWD/t
gen() { ORDER="$1" awk 'function rec(n,   i, v) {
    if (n == 1) printf "k:m\nn:1\n\n"
    if (n == 2) { for (v = "y"; length(v) < 200000;) v = v v; print "k:c"; print "n:2"; print "v:" substr(v, 1, 200000); print "" }
    if (n == 3) { printf "k:a\nn:3\n"; for (i = 1; i <= 6000; i++) printf "f%d:%d\n", i, i; print "" }
    if (n == 4) { printf "n:4\n"; for (i = 1; i <= 6000; i++) printf "k:z%d\n", i; print "" }
    if (n == 5) printf "k:b\nn:5\n\n" }
  BEGIN { n = split(ENVIRON["ORDER"], o, " "); for (j = 1; j <= n; j++) rec(o[j]) }'; }
gen "1 2 3 4 5" > in.rk
gen "3 5 2 1 4" > want.rk
Rksort k in.rk | cmp - want.rk && echo same
Rksort -D rsize=1,tsize=1,dsize=1,ksize=1 k in.rk | cmp - want.rk && echo "same from 1 KB areas"
ls t
--- stdout
same
same from 1 KB areas
--- timeout 120
--- status 0

=== runs: 12,000 records with -D xmem=1: the same output as in memory and as a stable sort by key
--- run
mkdir t; export TMPDIR=$PWD/t
awk 'BEGIN { n = split("pear apple fig apricot plum kiwi lime date nut ap", w, " ")
  for (i = 1; i <= 12000; i++) {
    k = w[i * 7919 % 10007 % n + 1]
    if (i % 97 == 0) printf "id:%d\nt:no key\n\n", i
    else if (i % 2) printf "k:%s\nid:%d\n\n", k, i
    else printf "id:%d\nt:%s\nk:%s\n\n", i, substr("xyzzy", 1, i % 6), k } }' > in.rk
# the expectation: each record on one line behind its key, sort -s, back
awk 'BEGIN { RS = ""; FS = "\n" } { key = ""; for (j = 1; j <= NF; j++) if ($j ~ /^k:/) key = substr($j, 3)
  r = $0; gsub(/\n/, "\001", r); print key "\t" r }' in.rk |
  LC_ALL=C sort -s -t "$(printf '\t')" -k1,1 | cut -f2- | awk '{ gsub(/\001/, "\n"); print $0 "\n" }' > want.rk
# in memory with the default limit: no run exists when the output begins
mkfifo go done
{ Rksort k in.rk; echo "status $?" > st; } | { dd bs=1 count=1 status=none; echo > go; read < done; cat; } > mem.rk &
read < go; ls t; echo > done; wait
cat st
cmp mem.rk want.rk && echo "in memory: same"
# the default areas: dozens of runs and one merge pass
Rksort -D xmem=1 k in.rk | cmp - want.rk && echo "xmem=1: same"
# a 1 KB text area and sort table: hundreds of runs and two merge passes
Rksort -D xmem=1,rsize=1,dsize=1 k in.rk | cmp - want.rk && echo "xmem=1,rsize=1,dsize=1: same"
# the areas grow up to 230 KB, then runs are written
Rksort -D xmem=230 k in.rk | cmp - want.rk && echo "xmem=230: same"
# the same input in three parts, the middle one from standard input
awk 'BEGIN { RS = ""; ORS = "\n\n" } { print > ("part" (NR <= 4000 ? 1 : NR <= 9000 ? 2 : 3)) }' in.rk
Rksort -D xmem=1 k part1 - part3 < part2 | cmp - want.rk && echo "three inputs: same"
ls t
--- stdout
status 0
in memory: same
xmem=1: same
xmem=1,rsize=1,dsize=1: same
xmem=230: same
three inputs: same
--- timeout 300
--- status 0

=== runs: equal keys keep their input order across runs
--- run
mkdir t; export TMPDIR=$PWD/t
awk 'BEGIN { for (i = 1; i <= 5000; i++) if (i % 3) printf "k:same\ni:%d\n\n", i; else printf "i:%d\nk:same\nv:%d\n\n", i, i % 7 }' > in.rk
Rksort -D xmem=1 k in.rk | cmp - in.rk && echo "one key for all"
Rksort -D xmem=1,rsize=1 '' in.rk | cmp - in.rk && echo "empty key list"
Rksort -D xmem=1 -k n k in.rk | cmp - in.rk && echo "all 0 as numbers"
ls t
--- stdout
one key for all
empty key list
all 0 as numbers
--- timeout 120
--- status 0

=== runs: numeric, reverse and several keys across runs match sort -s -k1,1 -k2,2gr
--- run
mkdir t; export TMPDIR=$PWD/t
awk 'BEGIN { for (i = 1; i <= 10000; i++) printf "id:%d\ng:%c\nv:%g\n\n", i, 97 + i * 13 % 6, (i * 37 % 41 - 20) / 4 }' > in.rk
awk 'BEGIN { RS = ""; FS = "\n" } { r = $0; gsub(/\n/, "\001", r); print substr($2, 3) "\t" substr($3, 3) "\t" r }' in.rk |
  LC_ALL=C sort -s -t "$(printf '\t')" -k1,1 -k2,2gr | cut -f3- | awk '{ gsub(/\001/, "\n"); print $0 "\n" }' > want.rk
Rksort g,v:nr in.rk | cmp - want.rk && echo "in memory: same"
Rksort -D xmem=1 g,v:nr in.rk | cmp - want.rk && echo "xmem=1: same"
Rksort -D xmem=1,rsize=1 -k nr g:,v in.rk | cmp - want.rk && echo "xmem=1,rsize=1, flags from -k: same"
ls t
--- stdout
in memory: same
xmem=1: same
xmem=1,rsize=1, flags from -k: same
--- timeout 300
--- status 0

=== runs: one record per run: text, numbers, nan, missing fields and a "^" list merge as in memory
--- file r.rk
k:b
v:3
n:1

k:a
n:2

k:b
v:nan
n:3

v:-1
n:4

k:a
v:2
n:5

k:c
v:10
n:6

k:b
v:3
n:7

w:1
n:8

k:a
v:-inf
n:9

k:b
v:nan
n:10

k:c
n:11

k:a
v:2
w:0
n:12

v:1e1
n:13

k:b
v:3
n:14

k:a
w:1
n:15

k:c
v:0
n:16

k:b
v:2.5
n:17

k:a
v:2
n:18
--- run
mkdir t; export TMPDIR=$PWD/t
# every record padded to 180 characters: 18 runs (see the top)
awk 'BEGIN { RS = ""; for (p = "x"; length(p) < 200;) p = p p } { printf "%s\np:%s\n\n", $0, substr(p, 1, 180 - length($0) - 4) }' r.rk > in.rk
nums() { sed -n 's/^n://p' | paste -sd' ' -; }
for keys in v:n ^p,n k:r,v:nr; do
  Rksort "$keys" in.rk | nums
  Rksort -D xmem=1,rsize=1 "$keys" in.rk | nums
done
ls t
--- stdout
2 8 11 15 3 10 9 4 16 5 12 18 17 1 7 14 6 13
2 8 11 15 3 10 9 4 16 5 12 18 17 1 7 14 6 13
8 4 13 2 15 9 5 18 12 17 1 7 14 3 10 11 16 6
8 4 13 2 15 9 5 18 12 17 1 7 14 3 10 11 16 6
6 16 11 1 7 14 17 3 10 5 12 18 9 2 15 13 4 8
6 16 11 1 7 14 17 3 10 5 12 18 9 2 15 13 4 8
--- status 0

=== runs: keys of 2.4 KB, larger than the merge's 1 KB key areas
--- run
mkdir t; export TMPDIR=$PWD/t
gen() { awk -v sorted="$1" 'BEGIN { for (p = "q"; length(p) < 600;) p = p p; p = substr(p, 1, 600)
  for (m = 0; m < (sorted ? 50 : 1); m++) for (i = 1; i <= 400; i++) if (!sorted || i * 7 % 50 == m) printf "k:%s%03d\nid:%d\n\n", p, i * 7 % 50, i }'; }
gen 0 > in.rk
gen 1 > want.rk
Rksort -D xmem=1 k in.rk | cmp - want.rk && echo same
ls t
--- stdout
same
--- timeout 120
--- status 0

=== runs: 17 runs: one pass merges runs 0-15 into run 17 and renames run 16 to 18; the final merge reads 17 and 18
--- run
mkdir t; export TMPDIR=$PWD/t
# records of 12,000 characters and rsize=64: one run per record (see the top)
gen() { awk -v n=17 -v sorted="$1" 'BEGIN { for (p = "x"; length(p) < 12000;) p = p p; p = substr(p, 1, 12000 - 13)
  for (k = 0; k < (sorted ? 3 : 1); k++) for (i = 1; i <= n; i++) if (!sorted || i * 7 % 3 == k) printf "k:%d\nn:%03d\np:%s\n\n", i * 7 % 3, i, p }'; }
gen 0 > in.rk
gen 1 > want.rk
mkfifo go done
{ Rksort -D xmem=1,rsize=64 k in.rk; echo "status $?" > st; } | { dd bs=1 count=1 status=none; echo > go; read < done; cat; } > out.rk &
read < go
ls t | sed 's/^Rksort[A-Za-z0-9]\{6\}\./STEM./'
ls t | cut -c1-12 | uniq | wc -l
echo > done; wait
cat st
cmp out.rk want.rk && echo same
ls t
--- stdout
STEM.017
STEM.018
1
status 0
same
--- timeout 120
--- status 0

=== runs: 17 runs under ulimit -n 12 (hard limit too): merges as wide as the free descriptors allow, in passes
--- run
mkdir t; export TMPDIR=$PWD/t
awk 'BEGIN { for (p = "x"; length(p) < 12000;) p = p p; p = substr(p, 1, 12000 - 13)
  for (i = 1; i <= 17; i++) printf "k:%d\nn:%03d\np:%s\n\n", i * 7 % 3, i, p }' > in.rk
Rksort k in.rk > want.rk
( ulimit -n 12; exec Rksort -D xmem=1,rsize=64 k in.rk > out.rk ); echo "status $?"
cmp out.rk want.rk && echo same
ls t
--- stdout
status 0
same
--- timeout 120
--- status 0

=== runs: 40 runs: one pass merges 0-15, 16-31 and 32-39 into runs 40, 41 and 42, then the final merge
--- run
mkdir t; export TMPDIR=$PWD/t
gen() { awk -v n=40 -v sorted="$1" 'BEGIN { for (p = "x"; length(p) < 12000;) p = p p; p = substr(p, 1, 12000 - 13)
  for (k = 0; k < (sorted ? 3 : 1); k++) for (i = 1; i <= n; i++) if (!sorted || i * 7 % 3 == k) printf "k:%d\nn:%03d\np:%s\n\n", i * 7 % 3, i, p }'; }
gen 0 > in.rk
gen 1 > want.rk
mkfifo go done
{ Rksort -D xmem=1,rsize=64 k in.rk; echo "status $?" > st; } | { dd bs=1 count=1 status=none; echo > go; read < done; cat; } > out.rk &
read < go
ls t | sed 's/^Rksort[A-Za-z0-9]\{6\}\./STEM./'
echo > done; wait
cat st
cmp out.rk want.rk && echo same
ls t
--- stdout
STEM.040
STEM.041
STEM.042
status 0
same
--- timeout 120
--- status 0

=== runs: records of 70,000 characters through a merge pass: each goes to the merged run after the key and count before it
--- run
mkdir t; export TMPDIR=$PWD/t
awk 'BEGIN { for (p = "x"; length(p) < 70000;) p = p p; p = substr(p, 1, 70000)
  for (i = 1; i <= 17; i++) printf "k:%d\nn:%03d\np:%s\n\n", i * 7 % 3, i, p }' > in.rk
Rksort k in.rk > want.rk
Rksort -D xmem=1,rsize=300 k in.rk | cmp - want.rk && echo same
ls t
--- stdout
same
--- timeout 60
--- status 0

=== runs: 1,100 runs: indices from 1000 take a letter and two digits; two passes leave runs 1169-1173 (b69-b73)
--- run
mkdir t; export TMPDIR=$PWD/t
# records of 180 characters and rsize=1: one run per record (see the top);
# pass 1 makes runs 1100-1168 (68 groups of 16 and one of 12), pass 2 runs
# 1169-1173 (four groups of 16 and one of 5)
gen() { awk -v n=1100 -v sorted="$1" 'BEGIN { for (p = "x"; length(p) < 200;) p = p p; p = substr(p, 1, 180 - 15)
  for (k = 0; k < (sorted ? 7 : 1); k++) for (i = 1; i <= n; i++) if (!sorted || i * 5 % 7 == k) printf "k:%d\nn:%05d\np:%s\n\n", i * 5 % 7, i, p }'; }
gen 0 > in.rk
gen 1 > want.rk
mkfifo go done
{ Rksort -D xmem=1,rsize=1 k in.rk; echo "status $?" > st; } | { dd bs=1 count=1 status=none; echo > go; read < done; cat; } > out.rk &
read < go
ls t | sed 's/^Rksort[A-Za-z0-9]\{6\}\./STEM./' | paste -sd' ' -
echo > done; wait
cat st
cmp out.rk want.rk && echo same
ls t
--- stdout
STEM.b69 STEM.b70 STEM.b71 STEM.b72 STEM.b73
status 0
same
--- timeout 300
--- status 0

=== runs: 4,000 runs: indices from 3600 take three letters; two passes leave runs 4250-4265 (aza-azp)
--- run
mkdir t; export TMPDIR=$PWD/t
# one run per record; pass 1 makes runs 4000-4249 (250 groups of 16),
# pass 2 runs 4250-4265 (15 groups of 16 and one of 10), 16 for the final merge
gen() { awk -v n=4000 -v sorted="$1" 'BEGIN { for (p = "x"; length(p) < 200;) p = p p; p = substr(p, 1, 180 - 15)
  for (k = 0; k < (sorted ? 7 : 1); k++) for (i = 1; i <= n; i++) if (!sorted || i * 5 % 7 == k) printf "k:%d\nn:%05d\np:%s\n\n", i * 5 % 7, i, p }'; }
gen 0 > in.rk
gen 1 > want.rk
mkfifo go done
{ Rksort -D xmem=1,rsize=1 k in.rk; echo "status $?" > st; } | { dd bs=1 count=1 status=none; echo > go; read < done; cat; } > out.rk &
read < go
ls t | sed 's/^Rksort[A-Za-z0-9]\{6\}\./STEM./' | paste -sd' ' -
echo > done; wait
cat st
cmp out.rk want.rk && echo same
ls t
--- stdout
STEM.aza STEM.azb STEM.azc STEM.azd STEM.aze STEM.azf STEM.azg STEM.azh STEM.azi STEM.azj STEM.azk STEM.azl STEM.azm STEM.azn STEM.azo STEM.azp
status 0
same
--- timeout 300
--- status 0

=== tmpdir: the runs go to the -T directory, not to TMPDIR, readable by their owner only
--- run
mkdir t d; export TMPDIR=$PWD/t
# 20 records of 12,000 characters, one run each: the final merge reads 20 and 21
gen() { awk -v n=20 -v sorted="$1" 'BEGIN { for (p = "x"; length(p) < 12000;) p = p p; p = substr(p, 1, 12000 - 13)
  for (k = 0; k < (sorted ? 3 : 1); k++) for (i = 1; i <= n; i++) if (!sorted || i * 7 % 3 == k) printf "k:%d\nn:%03d\np:%s\n\n", i * 7 % 3, i, p }'; }
gen 0 > in.rk
gen 1 > want.rk
mkfifo go done
{ Rksort -T d -D xmem=1,rsize=64 k in.rk; echo "status $?" > st; } | { dd bs=1 count=1 status=none; echo > go; read < done; cat; } > out.rk &
read < go
echo "d: $(ls d | sed 's/^Rksort[A-Za-z0-9]\{6\}\./STEM./' | paste -sd' ' -)"
echo "t: $(ls t)"
echo "modes: $(stat -c %a d/* | sort -u)"
echo > done; wait
cat st
cmp out.rk want.rk && echo same
ls d t
--- stdout
d: STEM.020 STEM.021
t: 
modes: 600
status 0
same
d:

t:
--- timeout 120
--- status 0

=== tmpdir: a -T directory that can't be made or doesn't exist: TMPDIR is used
--- run
mkdir t; export TMPDIR=$PWD/t
touch f
gen() { awk -v n=20 -v sorted="$1" 'BEGIN { for (p = "x"; length(p) < 12000;) p = p p; p = substr(p, 1, 12000 - 13)
  for (k = 0; k < (sorted ? 3 : 1); k++) for (i = 1; i <= n; i++) if (!sorted || i * 7 % 3 == k) printf "k:%d\nn:%03d\np:%s\n\n", i * 7 % 3, i, p }'; }
gen 0 > in.rk
gen 1 > want.rk
mkfifo go done
for dir in f/sub missing/; do
  { Rksort -T $dir -D xmem=1,rsize=64 k in.rk; echo "status $?" > st; } | { dd bs=1 count=1 status=none; echo > go; read < done; cat; } > out.rk &
  read < go
  echo "-T $dir: $(ls t | sed 's/^Rksort[A-Za-z0-9]\{6\}\./STEM./' | paste -sd' ' -)"
  echo > done; wait
  cat st
  cmp out.rk want.rk && echo same
done
ls t; [ -e missing ] || echo "no directory missing"
--- stdout
-T f/sub: STEM.020 STEM.021
status 0
same
-T missing/: STEM.020 STEM.021
status 0
same
no directory missing
--- timeout 120
--- status 0

=== tmpdir: without a usable -T or TMPDIR the runs go to /tmp/ and are removed there
--- run
touch f
gen() { awk -v n=20 -v sorted="$1" 'BEGIN { for (p = "x"; length(p) < 12000;) p = p p; p = substr(p, 1, 12000 - 13)
  for (k = 0; k < (sorted ? 3 : 1); k++) for (i = 1; i <= n; i++) if (!sorted || i * 7 % 3 == k) printf "k:%d\nn:%03d\np:%s\n\n", i * 7 % 3, i, p }'; }
gen 0 > in.rk
gen 1 > want.rk
mkfifo go done
# /tmp is shared with every other program: only the files of this sort's own
# stem count, which the names of the runs it holds open tell
mine() { ls /tmp | grep "^$stem\."; }
for how in "-T f/a, TMPDIR=f/b" "no -T, no TMPDIR"; do
  if [ "$how" = "no -T, no TMPDIR" ]; then sorter() { exec env -u TMPDIR Rksort "$@"; }; else sorter() { TMPDIR=f/b exec Rksort -T f/a "$@"; }; fi
  { sorter -D xmem=1,rsize=64 k in.rk & echo $! > pid; wait $!; echo "status $?" > st; } | { dd bs=1 count=1 status=none; echo > go; read < done; cat; } > out.rk &
  read < go
  stem=$(ls -l /proc/$(cat pid)/fd | grep -o '/tmp/Rksort[A-Za-z0-9]\{6\}\.' | head -1 | cut -c6-17)
  echo "$how: $(mine | sed 's/^Rksort[A-Za-z0-9]\{6\}\./STEM./' | paste -sd' ' -)"
  echo > done; wait
  cat st
  cmp out.rk want.rk && echo same
  echo "left:" $(mine)
done
--- stdout
-T f/a, TMPDIR=f/b: STEM.020 STEM.021
status 0
same
left:
no -T, no TMPDIR: STEM.020 STEM.021
status 0
same
left:
--- timeout 120
--- status 0

=== fatal: a record larger than the limit after runs were written: message with the input and record, status 3, runs removed
--- run
mkdir t; export TMPDIR=$PWD/t
# three small records, then one of 40,000 characters: 160 KB of wide text,
# more than the 128 KB text area, which may not grow beyond xmem
printf 'k:3\n\nk:1\n\nk:2\n\n' > in.rk
awk 'BEGIN { for (v = "z"; length(v) < 40000;) v = v v; print "k:" substr(v, 1, 40000); print ""; print "k:0" }' >> in.rk
printf 'k:5\n\nk:4\n' > a.rk
Rksort -D xmem=1 k in.rk; echo "status $?"
Rksort -D xmem=100 k < in.rk; echo "status $?"
Rksort -D xmem=1 k a.rk in.rk; echo "status $?"
ls t
Rksort k in.rk | sed -n 's/^\(k:.\).*/\1/p' | paste -sd' ' -
--- stdout
status 3
status 3
status 3
k:0 k:1 k:2 k:3 k:z
--- stderr
Rksort: insufficient xmem(1) at in.rk(4).
Rksort: the record needs -D xmem=314 or more.
Rksort: insufficient xmem(100) at (stdin)(4).
Rksort: the record needs -D xmem=314 or more.
Rksort: insufficient xmem(1) at in.rk(4).
Rksort: the record needs -D xmem=314 or more.
--- status 0

=== fatal: the limit a record needs, as the message tells it: the record's text alone takes that much or less, and with it the record fits
--- run
mkdir t; export TMPDIR=$PWD/t
line() { awk -v c="$2" -v n="$3" -v name="$1" 'BEGIN { s = c; while (length(s) < n) s = s s; print name ":" substr(s, 1, n) }'; }
# a long value outside the key, a long key (also from a pipe), many short fields
{ echo k:2; echo; line k 1 1; line v x 50000; } > value.rk
{ echo k:2; echo; line k y 30000; } > key.rk
{ echo k:2; echo; for i in $(seq 4000); do echo "f$i:v"; done; echo k:1; } > fields.rk
limited() { cat ${f/#-/key.rk} | Rksort -D xmem=$1,rsize=1,tsize=1,dsize=1,ksize=1 k $f; }
for f in value.rk key.rk - fields.rk; do
  limited 16 > /dev/null 2> err
  m=$(sed -n 's/^Rksort: the record needs -D xmem=\([0-9]*\) or more\.$/\1/p' err)
  text=$(tail -n +3 ${f/#-/key.rk} | wc -m)  # 4 bytes a character
  limited $((m - 1)) > /dev/null 2>&1; less=$?  # with one long field a KB less is too little
  echo "$(sed -n 1p err) text within: $((text * 4 <= m * 1024)), a KB less: $less, fits: $(limited $m | grep -c ^k:)"
done
ls t
--- stdout
Rksort: insufficient xmem(16) at value.rk(2). text within: 1, a KB less: 3, fits: 2
Rksort: insufficient xmem(16) at key.rk(2). text within: 1, a KB less: 3, fits: 2
Rksort: insufficient xmem(16) at (stdin)(2). text within: 1, a KB less: 3, fits: 2
Rksort: insufficient xmem(16) at fields.rk(2). text within: 1, a KB less: 0, fits: 2
--- status 0

=== fatal: a run file cut short during the final merge: "tmpfile ... is truncated.", status 3, runs removed
--- run
mkdir t d; export TMPDIR=$PWD/t
# 17 records of 12,000 characters, one run each: the final merge reads run
# 17 (records 1-16, 16 x 12,020 bytes: key, count, text) and run 18. Cut to
# an odd length, run 17 ends inside its thirteenth record, beyond the 128 KB
# that have been read when the output begins.
awk 'BEGIN { for (p = "x"; length(p) < 12000;) p = p p; p = substr(p, 1, 12000 - 13)
  for (i = 1; i <= 17; i++) printf "k:%d\nn:%03d\np:%s\n\n", i * 7 % 3, i, p }' > in.rk
mkfifo go done
{ Rksort -T d/ -D xmem=1,rsize=64 k in.rk 2> err; echo "status $?" > st; } | { dd bs=1 count=1 status=none; echo > go; read < done; cat; } > /dev/null &
read < go
ls -l d | awk '$NF ~ /\.017$/ { print $5 }'
truncate -s 150001 d/Rksort*.017
echo > done; wait
cat st
sed 's|/Rksort[A-Za-z0-9]\{6\}\.|/STEM.|' err
ls d t
--- stdout
192320
status 3
Rksort: tmpfile d/STEM.017 is truncated.
d:

t:
--- timeout 120
--- status 0

=== fatal: a run file that can't be written (file size limit): "can't write tmpfile ...", status 3, runs removed
--- run
mkdir t; export TMPDIR=$PWD/t
# three records of 12,000 characters: the first run alone is 12 KB
awk 'BEGIN { for (p = "x"; length(p) < 12000;) p = p p; p = substr(p, 1, 12000 - 13)
  for (i = 1; i <= 3; i++) printf "k:%d\nn:%03d\np:%s\n\n", 3 - i, i, p }' > in.rk
( ulimit -f 8; exec Rksort -D xmem=1,rsize=64 k in.rk ) 2> err | wc -c
echo "status ${PIPESTATUS[0]}"
sed "s|$PWD/t/Rksort[A-Za-z0-9]\{6\}\.|T/STEM.|" err
ls t
# a limit on the output: 200 records in small runs fit, their 32 KB of output does not
awk 'BEGIN { for (i = 1; i <= 200; i++) printf "k:%d\np:%0150d\n\n", i % 7, i }' > small.rk
( ulimit -f 20; exec Rksort -D xmem=1,rsize=1,tsize=1,dsize=1,ksize=1 k small.rk > out.rk ) 2> err
echo "status $?"
cat err
ls t
--- stdout
0
status 3
Rksort: can't write tmpfile T/STEM.000.
status 3
Rksort: can't write!
--- timeout 60
--- status 0

=== signals: SIGINT while reading from a fifo, after two runs were written: status 130, runs removed
--- run
mkdir t; export TMPDIR=$PWD/t
# three records of 12,000 characters, one run each: when the third has been
# read, runs 0 and 1 exist and the sort waits for more input
awk 'BEGIN { for (p = "x"; length(p) < 12000;) p = p p; p = substr(p, 1, 12000 - 13)
  for (i = 1; i <= 3; i++) printf "k:%d\nn:%03d\np:%s\n\n", 3 - i, i, p }' > in.rk
mkfifo in
python3 "$RK_E2E_DIR/sig.py" Rksort -D xmem=1,rsize=64 k in > out.rk 2> err &
pid=$!
exec 3> in
cat in.rk >&3
for i in $(seq 600); do [ "$(ls t | wc -l)" -ge 2 ] && break; sleep 0.1; done
ls t | sed 's/^Rksort[A-Za-z0-9]\{6\}\./STEM./'
kill -INT $pid
wait $pid; echo "status $?"
exec 3>&-
ls t
cat out.rk err
--- stdout
STEM.000
STEM.001
status 130
--- timeout 120
--- status 0

=== signals: SIGINT during the final merge: status 130, runs removed
--- run
mkdir t; export TMPDIR=$PWD/t
awk 'BEGIN { for (p = "x"; length(p) < 12000;) p = p p; p = substr(p, 1, 12000 - 13)
  for (i = 1; i <= 17; i++) printf "k:%d\nn:%03d\np:%s\n\n", i * 7 % 3, i, p }' > in.rk
mkfifo out go done
python3 "$RK_E2E_DIR/sig.py" Rksort -D xmem=1,rsize=64 k in.rk > out 2> err &
pid=$!
{ dd bs=1 count=1 status=none; echo > go; read < done; cat; } < out > /dev/null &
read < go
ls t | sed 's/^Rksort[A-Za-z0-9]\{6\}\./STEM./'
kill -INT $pid
wait $pid; echo "status $?"
echo > done; wait
ls t
cat err
--- stdout
STEM.017
STEM.018
status 130
--- timeout 120
--- status 0

=== signals: every signal that ends a process, during the final merge: the process ends by the signal, runs removed
--- run
mkdir t; export TMPDIR=$PWD/t; ulimit -c 0
awk 'BEGIN { for (p = "x"; length(p) < 12000;) p = p p; p = substr(p, 1, 12000 - 13)
  for (i = 1; i <= 17; i++) printf "k:%d\nn:%03d\np:%s\n\n", i * 7 % 3, i, p }' > in.rk
mkfifo out go done
for sig in HUP TERM QUIT XCPU USR1 USR2 ALRM VTALRM PROF RTMIN+3; do
  python3 "$RK_E2E_DIR/sig.py" Rksort -D xmem=1,rsize=64 k in.rk > out 2> err &
  pid=$!
  { dd bs=1 count=1 status=none; echo > go; read < done; cat; } < out > /dev/null &
  read < go
  echo "$sig: $(ls t | wc -l) runs"
  kill -$sig $pid
  wait $pid 2> /dev/null; echo "status $?"  # without bash's note "Hangup"
  echo > done; wait
  ls t
  cat err
done
--- stdout
HUP: 2 runs
status 129
TERM: 2 runs
status 143
QUIT: 2 runs
status 131
XCPU: 2 runs
status 152
USR1: 2 runs
status 138
USR2: 2 runs
status 140
ALRM: 2 runs
status 142
VTALRM: 2 runs
status 154
PROF: 2 runs
status 155
RTMIN+3: 2 runs
status 165
--- timeout 240
--- status 0

=== signals: the reader of the output goes away during the final merge: runs removed
--- run
mkdir t; export TMPDIR=$PWD/t
# 17 records of 12,000 characters (204 KB of output): the final merge goes on
# writing after head has gone
awk 'BEGIN { for (p = "x"; length(p) < 12000;) p = p p; p = substr(p, 1, 12000 - 13)
  for (i = 1; i <= 17; i++) printf "k:%d\nn:%03d\np:%s\n\n", i * 7 % 3, i, p }' > in.rk
Rksort -D xmem=1,rsize=64 k in.rk 2> err | head -c 6; st=${PIPESTATUS[0]}
echo; echo "status $st"
ls t
cat err
--- stdout
k:0
n:
status 141
--- timeout 120
--- status 0

=== signals: a SIGINT ignored when the sort starts stays ignored: the sort ends normally
--- run
mkdir t; export TMPDIR=$PWD/t
gen() { awk -v n=17 -v sorted="$1" 'BEGIN { for (p = "x"; length(p) < 12000;) p = p p; p = substr(p, 1, 12000 - 13)
  for (k = 0; k < (sorted ? 3 : 1); k++) for (i = 1; i <= n; i++) if (!sorted || i * 7 % 3 == k) printf "k:%d\nn:%03d\np:%s\n\n", i * 7 % 3, i, p }'; }
gen 0 > in.rk
gen 1 > want.rk
mkfifo out go done
( trap '' INT; exec Rksort -D xmem=1,rsize=64 k in.rk ) > out &
pid=$!
{ dd bs=1 count=1 status=none; echo > go; read < done; cat; } < out > got.rk &
read < go
echo "$(ls t | wc -l) runs"
kill -INT $pid
echo > done
wait $pid; echo "status $?"
wait
cmp got.rk want.rk && echo same
ls t
--- stdout
2 runs
status 0
same
--- timeout 120
--- status 0

=== memory: a record that fills most of the text area still fits once the runs before it are written
--- run
mkdir t; export TMPDIR=$PWD/t
# Seventeen records of about 12,000 characters, each one longer than the one
# before: after each run the record being read is all the area holds.
for i in $(seq 1 17); do printf 'k:%d\nv:%s\n\n' $((18 - i)) "$(head -c $((12000 + i)) /dev/zero | tr '\0' x)"; done > in.rk
Rksort -D xmem=1,rsize=64 k:n in.rk | grep '^k:' | tr '\n' ' '; echo
ls t
--- stdout
k:1 k:2 k:3 k:4 k:5 k:6 k:7 k:8 k:9 k:10 k:11 k:12 k:13 k:14 k:15 k:16 k:17 
--- status 0

=== memory: after runs, a record whose key needs more than the emptied areas have gets it; only a record whose own parts exceed xmem is refused
--- run
mkdir t; export TMPDIR=$PWD/t
line() { awk -v c="$2" -v n="$3" -v name="$1" 'BEGIN { s = c; while (length(s) < n) s = s s; print name ":" substr(s, 1, n) }'; }
# three records of 1,500 characters fill the text area to the limit; the
# fourth has a key of 300 characters, more than the 1 KB key area
{ for i in 1 2 3; do line k 1 1; line v x 1500; echo; done; line k y 300; echo; } > xm.rk
Rksort -D xmem=32,rsize=1,tsize=1,dsize=1,ksize=1 k xm.rk | cmp - xm.rk && echo same
# default sizes: 3,000 records of 4,000 characters, then a key of 10,000 characters
{ line v x 4000 > one; for i in $(seq 3000); do echo k:1; cat one; echo; done; line k y 10000; echo; } > big.rk
Rksort k big.rk | cmp - big.rk && echo same
# a record alone: text and key of about 8 bytes a character each, in 32 KB
for n in 4000 4200; do
  { line k 1 1; line v x 6000; echo; line k y $n; echo; } > b$n.rk
  Rksort -D xmem=32,rsize=1,tsize=1,dsize=1,ksize=1 k b$n.rk | cmp - b$n.rk && echo "$n fits"
done
# areas shrunk to a record of less than 1 KB grow again after it
{ line k q 5000; echo; echo x:2; } > shrunk.rk
{ echo x:2; echo; line k q 5000; echo; } > shrunk-sorted.rk
timeout 60 Rksort -D xmem=64 k shrunk.rk | cmp - shrunk-sorted.rk && echo "small areas grow"
# a record that went round to the start of the text area, behind the room
# the runs left: that room is free once they are written
{ line y q 70000; echo; line y q 40000; echo; for i in $(seq 22); do echo y:; done; echo; line y q 70000; echo; } > round.rk
Rksort -D xmem=300 k round.rk | cmp - round.rk && echo "went round"
ls t
--- stdout
same
same
4000 fits
small areas grow
went round
--- stderr
Rksort: insufficient xmem(32) at b4200.rk(2).
Rksort: the record needs -D xmem=34 or more.
cmp: EOF on - which is empty
--- timeout 120
--- status 0

=== memory: memory the process can't get while the areas grow within xmem: a run is written instead
--- unsanitized
--- run
mkdir t; export TMPDIR=$PWD/t
awk 'BEGIN { srand(1); for (i = 0; i < 150000; i++) printf "k:%d\nv:%0100d\n\n", int(rand() * 1000000000), i }' > in.rk
Rksort k:n in.rk > want.rk
( ulimit -v 80000; exec Rksort -D xmem=2000000 k:n in.rk > got.rk ); echo "status $?"
cmp got.rk want.rk && echo same
ls t
--- stdout
status 0
same
--- timeout 120
--- status 0

=== runs: names that someone else creates in the directory first: the runs take fresh names, the sort goes on, the other files stay untouched
--- run
mkdir t
gen() { awk -v from="$1" -v to="$2" 'BEGIN { for (p = "x"; length(p) < 12000;) p = p p; p = substr(p, 1, 12000 - 13)
  for (i = from; i <= to; i++) printf "k:%d\nn:%03d\np:%s\n\n", i * 7 % 3, i, p }'; }
gen 1 17 > all.rk
echo mine > victim
# the first name of a run in t that isn't planted
seen() { for i in $(seq 600); do n=$(ls t | grep -v -x -F -f planted | grep "$1"); [ -n "$n" ] && { echo "$n"; return; }; sleep 0.1; done; }
: > planted
mkfifo in
Rksort -T t -D xmem=1,rsize=64 k < in > out.rk 2> err &
exec 3> in
gen 1 2 >&3
stem1=$(seen '\.000$'); stem1=${stem1%.000}
# the next names of this stem, one a link to a file of our own
for i in 001 002 003; do echo $stem1.$i >> planted; done
ln -s ../victim t/$stem1.001; echo x > t/$stem1.002; mkdir t/$stem1.003
gen 3 3 >&3
stem2=$(seen '\.001$'); stem2=${stem2%.001}
# the name that the run left over by the merge pass will be renamed to
echo $stem2.018 >> planted; echo x > t/$stem2.018
gen 4 17 >&3
exec 3>&-
wait $!; echo "status $?"
cat err
Rksort k all.rk | cmp - out.rk && echo same
cat victim t/$stem2.018
[ "$stem1" != "$stem2" ] && echo "fresh stem"
ls t | sed "s/^$stem1\./STEM1./; s/^$stem2\./STEM2./" | sort
--- stdout
status 0
same
mine
x
fresh stem
STEM1.001
STEM1.002
STEM1.003
STEM2.018
--- timeout 120
--- status 0

=== merge: -m against a model: several sorted inputs, equal keys across them, records without key fields, every key flag, inputs out of order
--- timeout 120
--- run
python3 "$RK_E2E_DIR/sort_merge_model.py" --bin "$(dirname "$(command -v Rksort)")" --cases 3000 --jobs 4
--- stdout
cases 3000 differences 0
--- status 0

=== merge: the parts of a file sorted through runs, then merged, give the file sorted, for several key lists
--- run
mkdir t; export TMPDIR=$PWD/t
awk 'BEGIN { for (i = 1; i <= 6000; i++) {
    if (i % 50 == 0) { printf "id:%d\n\n", i; continue }
    printf "k:%s\nn:%d\nid:%d\n\n", substr("pqrs", i % 4 + 1, i % 3), i * 7919 % 23, i } }' > in.rk
awk 'BEGIN { RS = ""; ORS = "\n\n" } { print > ("part" int((NR - 1) / 1700)) }' in.rk
for keys in k "k:r n:n" "n:nr,k:f" "^id"; do
  for p in part?; do Rksort -D xmem=1 "$keys" $p > $p.sorted; done
  Rksort -m "$keys" part?.sorted | cmp - <(Rksort "$keys" in.rk) && echo "$keys: same"
done
ls t
--- stdout
k: same
k:r n:n: same
n:nr,k:f: same
^id: same
--- status 0

=== progress: on a terminal the line shows reading, then merging, is erased before a message and at the end; redirected, nothing
--- env RK_PROGRESS_DELAY=1
--- run
mkdir t; export TMPDIR=$PWD/t
awk 'BEGIN { for (i = 1; i <= 30000; i++) printf "k:%d\nv:%s\n\n", i * 7919 % 30011, substr("abcdefghij", 1, i % 11) }' > in.rk
Rksort -D xmem=1 k:n in.rk > want.rk 2> err; echo "redirected: status $?, $(wc -c < err) bytes on stderr"
python3 "$RK_E2E_DIR/progress_on_pty.py" Rksort -D xmem=1 k:n in.rk
cmp out.rk want.rk && echo same
python3 "$RK_E2E_DIR/progress_on_pty.py" Rksort -D xmem=1 k:n in.rk nofile
ls t
--- stdout
redirected: status 0, 0 bytes on stderr
status 0
Rksort: reading, N KB read, N runs written<erase>
Rksort: merging N runs, N% merged<erase>
<erase>
same
status 1
Rksort: reading, N KB read, N runs written<erase>
<erase>Rksort: can't open nofile.
Rksort: nofile: No such file or directory

Rksort: merging N runs, N% merged<erase>
<erase>
--- status 0

