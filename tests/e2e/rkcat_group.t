# Rkcat -g and -k: the sequence restarts whenever the key of a record
# differs from the key of the record before it.
#
# Most cases show only the sequence numbers, one line per run: the helper
#   seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
# turns a run of Rkcat -n into "1 2 1 ...".
#
# Groups (each case title starts with its group):
#   group:      text keys: equal and different values, missing field vs
#               empty value, several key fields, repeated key fields,
#               -g without -n, an empty key list.
#   flags:      key flags b d f i n r, per field and as defaults from -k;
#               flags of an entry replace the defaults.
#   numbers:    n with repeated values, non-numbers, nan and inf.
#   exclusive:  "^" key lists: every other named field is a key field, in
#               order of first appearance.
#   errors:     unknown key flags in -k and per field, invalid text in the
#               lists: every error reported, status 2, no input read.
#   files:      -g with -F and -n over several files.
#   scale:      a key list of 10,000 names, a "^" list over many records,
#               records with 100,000 key fields, a "^" list over records of
#               100,000 distinct names.
# Every case ends with its "--- status" line so that the blank line after it
# belongs to no expected text.

=== group: -g g over values a, a, b, a numbers 1, 2, 1, 1; records pass unchanged
--- file r.rk
g:a
v:1

v:2
g:a

g:b
v:3

g:a
v:4
--- run
Rkcat -n -g g r.rk
--- stdout
seq:1
g:a
v:1

seq:2
v:2
g:a

seq:1
g:b
v:3

seq:1
g:a
v:4

--- status 0

=== group: without -n the sequence shows nowhere: records as without -g, filename with -F
--- file r.rk
g:a

g:a

g:b
--- run
Rkcat -g g r.rk
Rkcat -F -g g -k n r.rk
--- stdout
g:a

g:a

g:b

filename:r.rk
g:a

filename:r.rk
g:a

filename:r.rk
g:b

--- status 0

=== group: a missing key field, an empty value and a blank value are three different keys
--- file r.rk escaped
a:1

g

g:

g:

g:\x20

g:\x20

g:x

g:x
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g g r.rk
--- stdout
1 2 1 2 1 2 1 2
--- status 0

=== group: several key fields; other fields and the order of fields in the record don't count
--- file r.rk
a:1
b:1
c:1

b:1
c:2
a:1

a:1
b:2

a:2
b:2

b:2
a:2

a:2

b:2

b:2
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g a,b r.rk
seqs -g 'b a' r.rk
seqs -g a r.rk
--- stdout
1 2 1 1 2 1 1 2
1 2 1 1 2 1 1 2
1 2 3 1 2 3 1 2
--- status 0

=== group: a repeated key field: every occurrence counts, in record order
--- file r.rk
g:1
g:2

g:1
g:2

g:1

g:2
g:1

g:a
g:b

g:ab

g:ab

g:ab
g:

g:ab
x:1
g:
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g g r.rk
--- stdout
1 2 1 1 1 1 2 1 2
--- status 0

=== group: a key field listed twice: the first entry takes every occurrence
--- file r.rk
g:10

g:10.0
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g g:n,g r.rk
seqs -g g,g:n r.rk
--- stdout
1 2
1 1
--- status 0

=== group: -g as the last argument is an empty key list: all records are one group
--- stdin
a:1

b:2

c:3
--- run
Rkcat -n -g
--- stdout
seq:1
a:1

seq:2
b:2

seq:3
c:3

--- status 0

=== flags: b skips white space at the start of the value, not at its end
--- file r.rk escaped
g:\x20x

g:x

g:\t\x20x

g:x\x20
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g g:b r.rk
seqs -g g r.rk
--- stdout
1 2 3 1
1 1 1 1
--- status 0

=== flags: d keeps only letters, digits and white space
--- file r.rk
g:a-b

g:ab

g:a.b!

g:a b

g:ab

g:é-1

g:é1
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g g:d r.rk
seqs -k d -g g r.rk
seqs -g g r.rk
--- stdout
1 2 3 1 1 1 2
1 2 3 1 1 1 2
1 1 1 1 1 1 1
--- status 0

=== flags: f folds lower-case letters to upper case, non-ASCII too
--- file r.rk
g:abc

g:ABC

g:aBc

g:abd

g:ÄÖ

g:äö
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g g:f r.rk
seqs -g g r.rk
--- stdout
1 2 3 1 1 2
1 1 1 1 1 1
--- status 0

=== flags: i keeps only printable characters: tabs and control characters go, blanks stay
--- file r.rk escaped
g:a\tb

g:ab

g:a\x01b

g:a b

g:a\x7fb
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g g:i r.rk
seqs -k i -g g r.rk
seqs -g g r.rk
--- stdout
1 2 3 1 1
1 2 3 1 1
1 1 1 1 1
--- status 0

=== flags: r alone changes no grouping; flags combine in one entry
--- file r.rk escaped
g:a
h:\x20abc
k:10

g:a
h:ABC
k:10.0

g:b
h:abc\x20
k:10.0
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g g:r r.rk
seqs -k r -g g r.rk
seqs -g h:bf r.rk
seqs -g h:fb r.rk
seqs -k bf -g h r.rk
seqs -g k:rn r.rk
seqs -k rn -g k r.rk
seqs -g k:r r.rk
--- stdout
1 2 1
1 2 1
1 2 1
1 2 1
1 2 1
1 2 3
1 2 3
1 1 2
--- status 0

=== flags: -k gives the flags of the key fields that have none of their own
--- file r.rk
a:x
b:y

a:X
b:Y

a:x
b:Y
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g a,b r.rk
seqs -k f -g a,b r.rk
seqs -g a,b -k f r.rk
seqs -k f -g a,b: r.rk
seqs -k f -g a,b:b r.rk
--- stdout
1 1 1
1 2 3
1 2 3
1 1 2
1 1 2
--- status 0

=== flags: an entry's flags replace the defaults entirely: a:r and a: with -k n compare text
--- file r.rk escaped
a:10
c:\x20x

a:10.0
c:x

a:9
c:x
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -k n -g a r.rk
seqs -k n -g a:r r.rk
seqs -k n -g a: r.rk
seqs -k b -g c r.rk
seqs -k b -g c: r.rk
--- stdout
1 2 1
1 1 1
1 1 1
1 2 3
1 1 2
--- status 0

=== numbers: n compares values as numbers; non-numbers and the empty value are 0, a missing field is none
--- file r.rk escaped
g:10

g:10.0

g:\x201e1\x20

g:0x0A

g:9

g:abc

g:0

g:12abc

g:-0

g:

x:1
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g g:n r.rk
seqs -k n -g g r.rk
seqs -g g r.rk
--- stdout
1 2 3 4 1 1 2 3 4 5 1
1 2 3 4 1 1 2 3 4 5 1
1 1 1 1 1 1 1 1 1 1 1
--- status 0

=== numbers: two occurrences against one: every value counts
--- file r.rk
g:1
g:2

g:1.0
g:2

g:1

g:1.00

g:1
g:2

g:2
g:1
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g g:n r.rk
--- stdout
1 2 1 2 1 1
--- status 0

=== numbers: nan equals nan and no other number; inf and -inf are numbers like others
--- file r.rk
g:1

g:nan

g:NAN

g:1

g:-inf

g:-INF

g:inf

g:infinity

g:nan

g:1e999

g:-nan

g:nan
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g g:n r.rk
seqs -g g r.rk
--- stdout
1 1 2 1 1 2 1 2 1 1 1 2
1 1 1 1 1 1 1 1 1 1 1 1
--- status 0

=== exclusive: ^x makes every other named field a key field
--- file r.rk
x:1
a:1
b:1

x:2
a:1
b:1

b:1
a:1

a:1
b:1
c:

c:
x:3
a:1
b:1

a:1
b:1
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g ^x r.rk
--- stdout
1 2 3 1 2 1
--- status 0

=== exclusive: key fields come in order of first appearance, not in record or name order
--- file r.rk
b:1

a:1

a:1

b:1
a:2

a:2
b:1
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g ^x r.rk
seqs -k n -g ^x r.rk
--- stdout
1 1 2 1 2
1 1 2 1 2
--- status 0

=== exclusive: lines without a colon are no key fields; a lone ^ takes every named field
--- file r.rk
hello

world

x:1
hi there

a:1
--- run
seqs() { Rkcat -n "$@" | sed -n 's/^seq://p' | paste -sd' ' -; }
seqs -g ^x r.rk
seqs -g ^ r.rk
--- stdout
1 2 3 1
1 2 1 1
--- status 0

=== errors: an unknown flag in -k: message, status 2, input not read
--- run
Rkcat -n -g a -k nq missing.rk
--- stderr
Rkcat: unknown key flag 'q' in -k option.
--- status 2

=== errors: an unknown flag of a field names the flag and the bare field name
--- run
Rkcat -n -g a:q missing.rk
Rkcat -n -g 'x,bb:nbN' missing.rk
--- stderr
Rkcat: unknown key flag 'q' in field a.
Rkcat: unknown key flag 'N' in field bb.
--- status 2

=== errors: every error is reported: -k first, then each field in list order, the first bad letter each
--- run
Rkcat -n -k bzy -g 'a:nxy,b,c:B,名前:ä' missing.rk
--- stderr
Rkcat: unknown key flag 'z' in -k option.
Rkcat: unknown key flag 'x' in field a.
Rkcat: unknown key flag 'B' in field c.
Rkcat: unknown key flag 'ä' in field 名前.
--- status 2

=== errors: an invalid byte in the key list or in -k
--- run
Rkcat -n -g $'a,\xff' -k n missing.rk
Rkcat -n -g a -k $'n\xff' missing.rk
Rkcat -n -g $'\xff' -k $'\xff' missing.rk
--- stderr
Rkcat: code error in the field-list argument.
Rkcat: code error in the -k option.
Rkcat: code error in the field-list argument.
Rkcat: code error in the -k option.
--- status 2

=== errors: non-ASCII lists are not valid text in the C locale
--- env LC_ALL=C
--- run
Rkcat -n -g 'a,ä' missing.rk
Rkcat -n -g a -k 'ä' missing.rk
--- stderr
Rkcat: code error in the field-list argument.
Rkcat: code error in the -k option.
--- status 2

=== errors: -k is read only with -g: alone it changes nothing
--- file r.rk
a:1

a:2
--- run
Rkcat -n -k n r.rk
Rkcat -k q r.rk
--- stdout
seq:1
a:1

seq:2
a:2

a:1

a:2

--- status 0

=== files: with -n -F each file restarts the sequence, even inside a group, and the group goes on
--- file a.rk
g:x

g:x
--- file b.rk
g:x

g:x

g:y
--- run
Rkcat -n -F -g g a.rk b.rk
echo --
Rkcat -n -g g a.rk b.rk | sed -n 's/^seq://p' | paste -sd' ' -
--- stdout
filename:a.rk
seq:1
g:x

filename:a.rk
seq:2
g:x

filename:b.rk
seq:1
g:x

filename:b.rk
seq:2
g:x

filename:b.rk
seq:1
g:y

--
1 2 3 4 1
--- status 0

=== scale: a key list of 10,000 names over 20,000 records
--- run
seq 1 10000 | awk '{ print "k" $1 }' | paste -sd, - > list
awk 'BEGIN { for (i = 1; i <= 20000; i++) { print "v:" i; print "k" (int(i / 4) % 10000 + 1) ":" int(i / 8); print "k" (10001 + i % 3) ":" i; print "" } }' > in.rk
awk 'NR == FNR { n = split($0, L, ","); for (k = 1; k <= n; k++) iskey[L[k]] = 1; next }
  /^$/ { if (key == prev) seq++; else seq = 1; prev = key; print "seq:" seq; for (j = 1; j <= m; j++) print line[j]; print ""; m = 0; key = ""; next }
  { line[++m] = $0; c = index($0, ":"); if (substr($0, 1, c - 1) in iskey) key = key "|" $0 }' list in.rk > want.rk
Rkcat -n -g "$(cat list)" in.rk > out.rk || echo "status $?"
diff out.rk want.rk
Rkcat -n -D ksize=1,nsize=1,rsize=1,tsize=1 -g "$(cat list)" in.rk > out-small.rk || echo "status $?"
diff out-small.rk want.rk
grep -c '^seq:1$' want.rk
--- stdout
5001
--- timeout 30
--- status 0

=== scale: a ^ list over 20,000 records keeps its two key fields
--- run
awk 'BEGIN { for (i = 1; i <= 20000; i++) { print "v:" i; print "a:" int(i / 3); print "line " i; print "b:" int(i / 5); print "" } }' > in.rk
awk '/^$/ { if (key == prev) seq++; else seq = 1; prev = key; print "seq:" seq; for (j = 1; j <= m; j++) print line[j]; print ""; m = 0; key = ""; next }
  { line[++m] = $0; if ($0 ~ /^[ab]:/) key = key "|" $0 }' in.rk > want.rk
Rkcat -n -g ^v in.rk > out.rk || echo "status $?"
diff out.rk want.rk
grep -c '^seq:1$' want.rk
--- stdout
9334
--- timeout 30
--- status 0

=== scale: records of 100,000 key fields, text and numeric, and with a ^ list
--- run
awk 'BEGIN { for (r = 1; r <= 4; r++) { for (i = 1; i < 100000; i++) print "k:" i; print "k:" (r < 3 ? "100000" : "100000.0"); print "" } }' > in.rk
awk 'BEGIN { for (r = 1; r <= 3; r++) { for (i = 1; i <= 100000; i++) print "n" (i % 100) ":" (r == 3 && i == 100000 ? "z" : i); print "" } }' > in2.rk
Rkcat -n -g k in.rk | sed -n 's/^seq://p' | paste -sd' ' -
Rkcat -n -k n -g k in.rk | sed -n 's/^seq://p' | paste -sd' ' -
Rkcat -n -g ^n5 in2.rk | sed -n 's/^seq://p' | paste -sd' ' -
Rkcat -D ksize=1,rsize=1,tsize=1 -g k in.rk | cmp - in.rk && echo same
--- stdout
1 2 1 2
1 2 3 4
1 2 1
same
--- timeout 60
--- status 0

=== scale: a ^ list over records of 100,000 distinct names: each name a key field, the order of fields no matter
--- run
# Records 1 and 2 hold the same fields in opposite orders, x aside; 3 changes
# the last value; 4 adds g with an empty value; 5 is 4 reversed with a line
# without a colon; 6 is 3 again (no g, which differs from an empty g). Keys
# are equal when every name but x has the same values in both records.
awk 'function fields(from, to, step, last,  i) { for (i = from; i != to + step; i += step) print "f" i ":" (i == 100000 ? last : i) }
  BEGIN { N = 100000
    print "x:1"; fields(1, N, 1, N); print ""
    fields(N, 1, -1, N); print "x:2"; print ""
    fields(1, N, 1, "z"); print ""
    print "g:"; fields(1, N, 1, "z"); print ""
    fields(N, 1, -1, "z"); print "plain line"; print "g:"; print ""
    fields(1, N, 1, "z"); print "" }' > in.rk
awk '/^$/ { same = n == pn; for (k in val) if (!(k in prev) || prev[k] != val[k]) same = 0
    seq = same ? seq + 1 : 1; print "seq:" seq; for (j = 1; j <= m; j++) print line[j]; print ""
    split("", prev); for (k in val) prev[k] = val[k]; pn = n; split("", val); m = n = 0; next }
  { line[++m] = $0; c = index($0, ":"); if (c == 0) next; name = substr($0, 1, c - 1); if (name == "x") next
    if (!(name in val)) n++
    val[name] = val[name] "\001" substr($0, c + 1) }' in.rk > want.rk
Rkcat -n -g '^x' in.rk > out.rk || echo "status $?"
cmp out.rk want.rk && sed -n 's/^seq://p' want.rk | paste -sd' ' -
--- stdout
1 2 1 1 2 1
--- timeout 60
--- status 0
