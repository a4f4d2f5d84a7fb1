# Rkrename: rename fields by a list of old:new pairs, pass the others.
#
# Groups (each case title starts with its group):
#   usage:    missing list, unknown options, lists beginning with "^",
#             -D names Rkrename does not have.
#   rename:   which fields get which new name: every occurrence, the first
#             entry for a name, the empty name, colons, escapes.
#   unnamed:  lines without a colon are dropped; every record still ends
#             with its empty line.
#   errors:   entries without a new name, list text that is not valid in
#             the locale's encoding: messages, status 2, no input read.
#   input:    several files, standard input, files that cannot be opened.
#   scale:    a list of 10,000 pairs, many records, records of 100,000 fields.
# Every case ends with its "--- status" line so that the blank line after it
# belongs to no expected text.

=== usage: no list argument: usage text, status 2, standard input not read
--- stdin
a:1
--- run
Rkrename
--- stderr escaped
Rkrename field-rename-list [input-file ..]
\trenames fields of records by field rename list as "oldname:newname, .."
--- status 2

=== usage: an unknown option, even with a list and a file
--- file r.rk
a:1
--- run
Rkrename -x a:b r.rk
--- stderr escaped
Rkrename field-rename-list [input-file ..]
\trenames fields of records by field rename list as "oldname:newname, .."
--- status 2

=== usage: a list beginning with ^ is refused with the usage text before any input
--- run
Rkrename '^a:x,b:y' missing.rk
--- stderr escaped
Rkrename field-rename-list [input-file ..]
\trenames fields of records by field rename list as "oldname:newname, .."
--- status 2

=== usage: -D knows rsize, tsize and nsize only; an unknown name stops before input
--- file r.rk
a:1
--- run
Rkrename -D rsize=1,tsize=1,nsize=1 a:b r.rk
Rkrename -D nsize=2,ksize=1 a:b missing.rk
--- stdout
b:1

--- stderr
Rkrename: -D ksize is unknown.
--- status 2

=== rename: a:x,b:y renames every a and b and keeps the other fields and all values
--- file r.rk
a:1
b:2
a:3
c:4

c:5
--- run
Rkrename a:x,b:y r.rk
echo --
Rkrename 'a:x b:y' r.rk
--- stdout
x:1
y:2
x:3
c:4

c:5

--
x:1
y:2
x:3
c:4

c:5

--- status 0

=== rename: a:x,a:z renames every a to x: the first entry for a name wins
--- file r.rk
a:1
b:2
a:3
c:4
--- run
Rkrename a:x,a:z r.rk
--- stdout
x:1
b:2
x:3
c:4

--- status 0

=== rename: each field is looked up by its own name: a:b,b:a swaps the two
--- file r.rk
a:1
b:2
a:3
c:4
--- run
Rkrename a:b,b:a r.rk
--- stdout
b:1
a:2
b:3
c:4

--- status 0

=== rename: a: renames a to the empty name
--- file r.rk
a:1
b:2
a:3
c:4
--- run
Rkrename a: r.rk
--- stdout
:1
b:2
:3
c:4

--- status 0

=== rename: values keep their colons; a new name may hold colons; empty values stay empty
--- file r.rk
url:http://h:80/p
x:1:2
t:
--- run
Rkrename url:u,x:y:z,t:time r.rk
--- stdout
u:http://h:80/p
y:z:1:2
time:

--- status 0

=== rename: fields with the empty name: :e renames them, other lists leave them alone
--- file r.rk
:1
a:2
::3
--- run
Rkrename :e r.rk
echo --
Rkrename a:x r.rk
--- stdout
e:1
a:2
e::3

--
:1
x:2
::3

--- status 0

=== rename: backslashes put blanks, commas and a leading ^ into old and new names
--- file r.rk
a b:1
^a:2
a,b:3
c:4
^b:5
--- run
Rkrename 'a\ b:c\,d' r.rk
echo --
Rkrename '\^a:x,a\,b:y\ z,^b:w' r.rk
echo --
Rkrename 'c:p\q' r.rk
--- stdout
c,d:1
^a:2
a,b:3
c:4
^b:5

--
a b:1
x:2
y z:3
c:4
w:5

--
a b:1
^a:2
a,b:3
p\q:4
^b:5

--- status 0

=== rename: non-ASCII old and new names
--- file r.rk
名前:Ünïcödé
ä:1
a:2
--- run
Rkrename '名前:name,ä:ae,a:ß' r.rk
--- stdout
name:Ünïcödé
ae:1
ß:2

--- status 0

=== unnamed: lines without a colon are dropped; the empty line after a record is always written
--- file r.rk
hello
a:1
words only

just a line

   

b:2
--- run
Rkrename a:x r.rk
--- stdout
x:1



b:2

--- status 0

=== errors: an entry without a new name: message, status 2, input not read
--- run
Rkrename a:x,b missing.rk
--- stderr
Rkrename: no new field name for the field b.
--- status 2

=== errors: every entry without a new name is reported, in list order, the empty one too
--- run
Rkrename 'a,b:y,c,,d: a' missing.rk
--- stderr
Rkrename: no new field name for the field a.
Rkrename: no new field name for the field c.
Rkrename: no new field name for the field .
Rkrename: no new field name for the field a.
--- status 2

=== errors: an invalid byte in the list: one message, the list is not looked at further
--- run
Rkrename $'a,b:\xff' missing.rk
--- stderr
Rkrename: code error in the field-list argument.
--- status 2

=== errors: a non-ASCII list is not valid text in the C locale
--- env LC_ALL=C
--- run
Rkrename 'a:ä' missing.rk
--- stderr
Rkrename: code error in the field-list argument.
--- status 2

=== input: all files in turn, "-" for standard input
--- file a.rk
a:1
b:2
--- file b.rk
a:5
--- stdin
a:3

b:4
--- run
Rkrename a:x a.rk - b.rk
--- stdout
x:1
b:2

x:3

b:4

x:5

--- status 0

=== input: a first file that can't be opened is fatal, a later one is counted
--- file a.rk
a:1
--- file b.rk
a:2
--- run
Rkrename a:x missing.rk a.rk
echo "status $?"
Rkrename a:x a.rk gone.rk b.rk
--- stdout
status 3
x:1

--- stderr
Rkrename: can't open missing.rk.
Rkrename: missing.rk: No such file or directory
Rkrename: can't open gone.rk.
Rkrename: gone.rk: No such file or directory
--- status 1

=== scale: a list of 10,000 pairs over 20,000 records, with the smallest areas
--- run
seq 1 10000 | awk '{ print "f" $1 ":g" $1 }' | paste -sd, - > list
awk 'BEGIN { for (i = 1; i <= 20000; i++) {
    print "f" (i % 10000 + 1) ":" i; print "y:" i; print "f" (10000 + i % 7) ":" i
    if (i % 5 == 0) print "line " i
    print "" } }' > in.rk
awk 'NR == FNR { n = split($0, L, ","); for (k = 1; k <= n; k++) { split(L[k], p, ":"); if (!(p[1] in to)) to[p[1]] = p[2] } next }
  /^$/ { print; next }
  !index($0, ":") { next }
  { c = index($0, ":"); name = substr($0, 1, c - 1); if (name in to) name = to[name]; print name substr($0, c) }' list in.rk > want.rk
Rkrename "$(cat list)" in.rk > out.rk || echo "status $?"
diff out.rk want.rk
Rkrename -D nsize=1,rsize=1,tsize=1 "$(cat list)" in.rk > out-small.rk || echo "status $?"
diff out-small.rk want.rk
grep -c '^g' want.rk
wc -l < want.rk
--- stdout
22857
80000
--- timeout 30
--- status 0

=== scale: records of 100,000 fields
--- run
awk 'BEGIN { for (r = 1; r <= 3; r++) { for (i = 1; i <= 100000; i++) print "n" (i % 1000) ":" r "." i; print "" } }' > in.rk
awk -F: '$1 == "n7" { sub(/^n7/, "seven") } $1 == "n42" { sub(/^n42/, "") } { print }' in.rk > want.rk
Rkrename 'n7:seven n42:' in.rk > out.rk || echo "status $?"
diff out.rk want.rk
grep -c '^seven:' want.rk
--- stdout
300
--- timeout 30
--- status 0
