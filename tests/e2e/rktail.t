# Rktail: the last N records of each input file.
#
# Groups (each case title starts with its group):
#   count:  default, -0, window larger or smaller than the file, exactly full.
#   files:  several files and the filename field, empty files, standard input,
#           "-", files that cannot be opened; the window restarts per file.
#   text:   records are written field by field: every character must survive.
#   window: records larger than the areas, windows that wrap many times;
#           expectations are computed independently with awk.
# Every case ends with its "--- status" line so that the blank line after it
# belongs to no expected text.

=== count: without a count the last record is copied
--- file a.rk
a:1

a:2
a:2b


--- run
Rktail a.rk
--- stdout
a:2
a:2b

--- status 0

=== count: -0 copies the last record
--- file a.rk
a:1

a:2
--- run
Rktail -0 a.rk
--- stdout
a:2

--- status 0

=== count: -3 on 10 records writes 8, 9 and 10 in input order
--- run
seq 1 10 | awk '{ print "n:" $1; print "" }' > a.rk
Rktail -3 a.rk
--- stdout
n:8

n:9

n:10

--- status 0

=== count: -3 on 2 records writes both
--- file a.rk
a:1


a:2
--- run
Rktail -3 a.rk
--- stdout
a:1

a:2

--- status 0

=== count: a window exactly full, and full plus one
--- file three.rk
a:1

a:2

a:3
--- file four.rk
b:1

b:2

b:3

b:4
--- run
Rktail -3 three.rk
Rktail -3 four.rk
--- stdout
a:1

a:2

a:3

b:2

b:3

b:4

--- status 0

=== count: a large window over many small records
--- run
seq 1 30000 | awk '{ print "n:" $1; print "m:" $1 % 7; print "" }' > a.rk
seq 10001 30000 | awk '{ print "n:" $1; print "m:" $1 % 7; print "" }' > want.rk
Rktail -20000 a.rk > out.rk && diff out.rk want.rk
--- status 0

=== files: -1 writes the last record of each file with its filename
--- file a.rk
a:1

a:2
--- file b.rk
b:1
b:1b
--- run
Rktail -1 a.rk b.rk
--- stdout
filename:a.rk
a:2

filename:b.rk
b:1
b:1b

--- status 0

=== files: the window starts empty for each file
--- file a.rk
a:1

a:2

a:3

a:4

a:5
--- file b.rk
b:1
--- run
Rktail -3 a.rk b.rk
--- stdout
filename:a.rk
a:3

filename:a.rk
a:4

filename:a.rk
a:5

filename:b.rk
b:1

--- status 0

=== files: an empty file and a file of empty lines between others give nothing
--- file a.rk
a:1

a:2

a:3
--- file e.rk
--- file blank.rk



--- file b.rk
b:1

b:2
--- run
Rktail -2 a.rk e.rk blank.rk b.rk
--- stdout
filename:a.rk
a:2

filename:a.rk
a:3

filename:b.rk
b:1

filename:b.rk
b:2

--- status 0

=== files: standard input when no file is named, without filename field
--- stdin
x:1

x:2

x:3
--- run
Rktail -2
--- stdout
x:2

x:3

--- status 0

=== files: "-" among files gives records without filename; "-" twice finds it at its end
--- file a.rk
a:1

a:2
--- stdin
x:1

x:2

x:3
--- run
Rktail -2 a.rk - -
--- stdout
filename:a.rk
a:1

filename:a.rk
a:2

x:2

x:3

--- status 0

=== files: a missing later file is fatal, after the earlier files' output
--- file a.rk
a:1

a:2
--- file b.rk
b:1
--- run
Rktail a.rk missing.rk b.rk
--- stdout
filename:a.rk
a:2

--- stderr
Rktail: can't open missing.rk.
Rktail: missing.rk: No such file or directory
--- status 3

=== files: a missing first file is fatal
--- run
Rktail missing.rk
--- stderr
Rktail: can't open missing.rk.
Rktail: missing.rk: No such file or directory
--- status 3

=== text: blanks, CR, colons, non-ASCII and a last line without newline survive
--- file a.rk escaped noeol
skip:1

x:y:z\r
\x20\x20
:v
wörd:€ 😀
no colon here
last:\x00line
--- run
Rktail -1 a.rk
--- stdout escaped
x:y:z\r
\x20\x20
:v
wörd:€ 😀
no colon here
last:line

--- status 0

=== window: -1000 over records larger than the record area
--- run
gen() {
  awk -v from="$1" -v to="$2" 'BEGIN {
    pat = ""; for (j = 0; j < 200; j++) pat = pat "abcdefghij"
    for (i = from; i <= to; i++) {
      print "id:" i
      print "v:" substr(pat, 1 + i % 10, 1500 + i % 37)
      print ""
    }
  }'
}
gen 1 1500 > a.rk
gen 501 1500 > want.rk
Rktail -1000 -D rsize=1 a.rk > out.rk && diff out.rk want.rk
--- status 0

=== window: -7 over 1000 records of very different sizes, tiny areas wrapping many times
--- run
gen() {
  awk -v from="$1" -v to="$2" 'BEGIN {
    pat = ""; for (j = 0; j < 400; j++) pat = pat "0123456789"
    for (i = from; i <= to; i++) {
      nf = 1 + (i * 7) % 13
      for (f = 1; f <= nf; f++) {
        v = substr(pat, 1 + (i + f) % 10, (i * 131 + f * 977) % 3001)
        if (i % 3 == 0) v = "é" v "ß"
        print "f" f ":" i ":" v
      }
      print ""
    }
  }'
}
gen 1 1000 > a.rk
gen 994 1000 > want.rk
Rktail -7 -D rsize=1 -D tsize=1 a.rk > out.rk && diff out.rk want.rk
--- status 0

=== window: the same over several files, each with its own window and filename
--- run
gen() {
  awk -v from="$1" -v to="$2" -v name="$3" 'BEGIN {
    pat = ""; for (j = 0; j < 300; j++) pat = pat "0123456789"
    for (i = from; i <= to; i++) {
      if (name != "") print "filename:" name
      for (f = 1; f <= 1 + i % 5; f++) print "f" f ":" substr(pat, 1 + i % 10, (i * 613) % 2900)
      print ""
    }
  }'
}
gen 1 300 > a.rk
gen 1 2 > b.rk
gen 1 77 > c.rk
{ gen 296 300 a.rk; gen 1 2 b.rk; gen 73 77 c.rk; } > want.rk
Rktail -5 -D rsize=1,tsize=1 a.rk b.rk c.rk > out.rk && diff out.rk want.rk
--- status 0

=== window: a record of 10 MB between small ones, with the smallest record area
--- run
{ echo a:1; echo; printf 'big:'; head -c 10000000 /dev/zero | tr '\0' b; printf '\nend:x\n\nc:3\n\nd:4\n'; } > a.rk
{ printf 'big:'; head -c 10000000 /dev/zero | tr '\0' b; printf '\nend:x\n\nc:3\n\nd:4\n\n'; } > want.rk
Rktail -3 -D rsize=1 a.rk > out.rk && cmp out.rk want.rk
--- timeout 120
--- status 0
