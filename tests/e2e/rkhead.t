# Rkhead: the first N records of each input file.
#
# Groups (each case title starts with its group):
#   count:  the count as a run of digit options (default, -0, clusters,
#           digits spread over several options).
#   files:  several files and the filename field, standard input, "-",
#           empty files, files that cannot be opened.
#   stop:   Rkhead stops reading a file after the record past its count.
#   grow:   records larger than the record area.
# Every case ends with its "--- status" line so that the blank line after it
# belongs to no expected text.

=== count: without a count the first record is copied
--- file a.rk

a:1
a:1b

a:2

a:3
--- run
Rkhead a.rk
--- stdout
a:1
a:1b

--- status 0

=== count: -0 copies one record too
--- file a.rk
a:1

a:2
--- run
Rkhead -0 a.rk
Rkhead -00 a.rk
--- stdout
a:1

a:1

--- status 0

=== count: -3 on a file of 2 records copies both
--- file a.rk
a:1


a:2
--- run
Rkhead -3 a.rk
--- stdout
a:1

a:2

--- status 0

=== count: -3 on a file of 10 records copies the first 3
--- run
seq 1 10 | awk '{ print "n:" $1; print "" }' > a.rk
Rkhead -3 a.rk
--- stdout
n:1

n:2

n:3

--- status 0

=== count: -10 is the number ten, not one and zero
--- run
seq 1 12 | awk '{ print "n:" $1; print "" }' > a.rk
seq 1 10 | awk '{ print "n:" $1; print "" }' > want.rk
Rkhead -10 a.rk > out.rk && diff out.rk want.rk
--- status 0

=== count: digits accumulate over several options: -1 -5 means 15
--- run
seq 1 40 | awk '{ print "n:" $1; print "" }' > a.rk
seq 1 15 | awk '{ print "n:" $1; print "" }' > want.rk
Rkhead -1 -5 a.rk > out.rk && diff out.rk want.rk
Rkhead -1 -D rsize=2 -5 a.rk > out.rk && diff out.rk want.rk
--- status 0

=== count: a cluster of three digits after a separate digit: -1 -02 means 102
--- run
seq 1 150 | awk '{ print "n:" $1; print "" }' > a.rk
seq 1 102 | awk '{ print "n:" $1; print "" }' > want.rk
Rkhead -1 -02 a.rk > out.rk && diff out.rk want.rk
--- status 0

=== files: standard input when no file is named, without filename field
--- stdin
x:1

y:2

z:3
--- run
Rkhead -2
--- stdout
x:1

y:2

--- status 0

=== files: one file argument gives no filename field
--- file a.rk
a:1

a:2
--- run
Rkhead -5 a.rk
--- stdout
a:1

a:2

--- status 0

=== files: several files, each counted separately, each record with its filename
--- file a.rk
a:1

a:2

a:3
--- file b.rk
b:1
--- file c.rk
c:1
c:1b

c:2

c:3
--- run
Rkhead -2 a.rk b.rk c.rk
--- stdout
filename:a.rk
a:1

filename:a.rk
a:2

filename:b.rk
b:1

filename:c.rk
c:1
c:1b

filename:c.rk
c:2

--- status 0

=== files: empty files and files of empty lines among others give nothing
--- file a.rk
a:1
--- file e.rk
--- file blank.rk



--- file b.rk
b:1
--- run
Rkhead e.rk a.rk blank.rk b.rk e.rk
--- stdout
filename:a.rk
a:1

filename:b.rk
b:1

--- status 0

=== files: "-" among several files gives records without filename field
--- file a.rk
a:1

a:2
--- file b.rk
b:1
--- stdin
x:1

x:2

x:3
--- run
Rkhead -2 a.rk - b.rk
--- stdout
filename:a.rk
a:1

filename:a.rk
a:2

x:1

x:2

filename:b.rk
b:1

--- status 0

=== files: file names as given, non-ASCII included
--- file sub/ä.rk
a:1
--- file b.rk
b:1
--- run
Rkhead ./sub/ä.rk b.rk
--- stdout
filename:./sub/ä.rk
a:1

filename:b.rk
b:1

--- status 0

=== files: a missing later file is fatal, after the earlier files' output
--- file a.rk
a:1

a:2
--- file b.rk
b:1
--- run
Rkhead a.rk missing.rk b.rk
--- stdout
filename:a.rk
a:1

--- stderr
Rkhead: can't open missing.rk.
Rkhead: missing.rk: No such file or directory
--- status 3

=== files: a missing first file is fatal
--- file a.rk
a:1
--- run
Rkhead missing.rk a.rk
--- stderr
Rkhead: can't open missing.rk.
Rkhead: missing.rk: No such file or directory
--- status 3

=== stop: a never-ending stream ends Rkhead at once
--- run
yes $'x:1\n' | Rkhead -1
--- stdout
x:1

--- timeout 5
--- status 0

=== stop: a never-ending standard input among files: Rkhead goes on with the next file
--- file a.rk
a:1

a:2
--- run
yes $'x:1\ny:2\n' | Rkhead -2 - a.rk
--- stdout
x:1
y:2

x:1
y:2

filename:a.rk
a:1

filename:a.rk
a:2

--- timeout 5
--- status 0

=== stop: Rkhead ends once the record past the count is complete, without waiting for more input
--- run
exec 3< <(printf 'a:1\n\na:2\n\na:3\n\na:4\n\n'; exec sleep 30 2>/dev/null)
producer=$!
Rkhead -3 <&3
echo "status $?"
kill "$producer"
--- stdout
a:1

a:2

a:3

status 0
--- timeout 10
--- status 0

=== stop: an invalid byte in a record after the one past the count is never read
--- file a.rk escaped
a:1

a:2

a:3

bad:\xff

a:5
--- file b.rk escaped
b:1

b:2

b:\xc3(
--- run
Rkhead -2 a.rk
Rkhead -1 b.rk a.rk
--- stdout
a:1

a:2

filename:b.rk
b:1

filename:a.rk
a:1

--- status 0

=== stop: the record past the count is read, so an invalid byte in it is fatal
--- file a.rk escaped
a:1

a:2

a:3\xff

a:4
--- run
Rkhead -2 a.rk
--- stdout
a:1

a:2

--- stderr
Rkhead: code error in Rk-file a.rk(3), irrecoverable.
--- status 3

=== grow: records far larger than the record area, with tiny areas
--- run
awk 'BEGIN { for (i = 1; i <= 5; i++) { s = ""; for (j = 0; j < 3000 * i; j++) s = s (j % 10); print "k:" i; print "v:" s; for (f = 1; f <= 200; f++) print "f" f ":" i; print "" } }' > a.rk
awk 'BEGIN { for (i = 1; i <= 3; i++) { s = ""; for (j = 0; j < 3000 * i; j++) s = s (j % 10); print "k:" i; print "v:" s; for (f = 1; f <= 200; f++) print "f" f ":" i; print "" } }' > want.rk
Rkhead -3 -D rsize=1,tsize=1 a.rk > out.rk && cmp out.rk want.rk
--- status 0
