# Rkproj: keep the fields a field list selects, drop the rest.
#
# Groups (each case title starts with its group):
#   usage:    missing list, unknown options, -D names Rkproj does not have.
#   select:   which fields are written: record order, every occurrence,
#             records left without a field vanish, empty list, lone "^".
#   list:     how the list argument is cut into names: commas and blanks,
#             empty entries, "^", backslashes, names given twice, old:new.
#   unnamed:  lines without a colon never match; the empty name does.
#   code:     list text that is not valid in the locale's encoding.
#   input:    several files, standard input, files that cannot be opened.
#   scale:    a list of 10,000 names, many records, records of 100,000
#             fields, the smallest areas.
# Every case ends with its "--- status" line so that the blank line after it
# belongs to no expected text.

=== usage: no list argument: usage text, status 2, standard input not read
--- stdin
a:1
--- run
Rkproj
--- stderr escaped
Rkproj [^]field-list [input-file ..]
\toutputs specified fields.
--- status 2

=== usage: options and "--" but no list argument
--- stdin
a:1
--- run
Rkproj -D rsize=8 --
--- stderr escaped
Rkproj [^]field-list [input-file ..]
\toutputs specified fields.
--- status 2

=== usage: an unknown option, even with a list and a file
--- file r.rk
a:1
--- run
Rkproj -n a r.rk
--- stderr escaped
Rkproj [^]field-list [input-file ..]
\toutputs specified fields.
--- status 2

=== usage: -D knows rsize, tsize and nsize only; an unknown name stops before input
--- file r.rk
a:1
--- run
Rkproj -D rsize=8,tsize=2,nsize=1 a r.rk
Rkproj -D ksize=1,nsize=2 a missing.rk
--- stdout
a:1

--- stderr
Rkproj: -D ksize is unknown.
--- status 2

=== usage: after "--" a list may begin with "-"
--- file r.rk
-a:1
a:2
--- run
Rkproj -- -a r.rk
--- stdout
-a:1

--- status 0

=== select: a,c on fields a, b, c, a writes a, c, a; c,a writes the same
--- file r.rk
a:1
b:2
c:3
a:4
--- run
Rkproj a,c r.rk
Rkproj c,a r.rk
--- stdout
a:1
c:3
a:4

a:1
c:3
a:4

--- status 0

=== select: ^b writes the other fields; a record of only b vanishes without an empty line
--- file r.rk
b:0

a:1
b:2
c:3
a:4

b:5

b:6
d:7

b:8
b:9
--- run
Rkproj ^b r.rk
--- stdout
a:1
c:3
a:4

d:7

--- status 0

=== select: the empty list selects nothing; a lone ^ selects every field with a colon
--- file r.rk
a:1
no colon here
b:2

:e

words
--- run
Rkproj '' r.rk
echo --
Rkproj ^ r.rk
--- stdout
--
a:1
b:2

:e

--- status 0

=== select: values are written as they are: colons, blanks, tabs, non-ASCII
--- file r.rk escaped
url:http://h:80/p
 a:\x20x\t
名前:Ünïcödé € ½
a:1
--- run
Rkproj 'url 名前' r.rk
echo --
Rkproj '\ a' r.rk
--- stdout escaped
url:http://h:80/p
名前:Ünïcödé € ½

--
 a:\x20x\t

--- status 0

=== list: commas and blanks both separate: "a,b c" is three names
--- file r.rk
a:1
a,b c:2
b:3
c:4
d:5
--- run
Rkproj 'a,b c' r.rk
--- stdout
a:1
b:3
c:4

--- status 0

=== list: blanks, tabs and newlines around a comma make no extra entry
--- file r.rk
a:1
:2
b:3
c:4
--- run
Rkproj 'a , b' r.rk
Rkproj $' \ta\n b,\n' r.rk
--- stdout
a:1
b:3

a:1
b:3

--- status 0

=== list: a comma right after a comma makes an entry with the empty name
--- file r.rk
a:1
:2
b:3
c:4
:5
--- run
Rkproj a,,b r.rk
echo --
Rkproj 'a, ,b' r.rk
echo --
Rkproj ,c r.rk
echo --
Rkproj a,b r.rk
echo --
Rkproj c, r.rk
--- stdout
a:1
:2
b:3
:5

--
a:1
:2
b:3
:5

--
:2
c:4
:5

--
a:1
b:3

--
c:4

--- status 0

=== list: a leading ^ excludes the whole list; a ^ anywhere else is part of a name
--- file r.rk
a:1
b:2
c:3
^c:4
x^:5
--- run
Rkproj '^a,b' r.rk
echo --
Rkproj 'a,^c' r.rk
echo --
Rkproj 'x^' r.rk
echo --
Rkproj '^^c' r.rk
--- stdout
c:3
^c:4
x^:5

--
a:1
^c:4

--
x^:5

--
a:1
b:2
c:3
x^:5

--- status 0

=== list: a backslash puts a comma, a blank or a leading ^ into a name
--- file r.rk
a,b:1
a:2
b:3
a b:4
^a:5
a\b:6
--- run
Rkproj 'a\,b' r.rk
echo --
Rkproj 'a\ b' r.rk
echo --
Rkproj '\^a' r.rk
echo --
Rkproj '\^a,a\ b' r.rk
--- stdout
a,b:1

--
a b:4

--
^a:5

--
a b:4
^a:5

--- status 0

=== list: any other backslash stays, and the character after it is read as usual
--- file r.rk
a\b:1
ab:2
a\\,b:3
a,b:4
a\\:5
b:6
x\^:7
x\\^:8
x^:9
--- run
Rkproj 'a\b' r.rk
echo --
Rkproj 'a\\\,b' r.rk
echo --
Rkproj 'a\\,b' r.rk
echo --
Rkproj 'x\\^' r.rk
--- stdout
a\b:1

--
a\\,b:3

--
a\\:5
b:6

--
x\^:7

--- status 0

=== list: a backslash before a colon stays in the name, which no field can have
--- file r.rk
a:1
a\:2
a\:b:3
b:4
a\b:5
--- run
Rkproj 'a\:b' r.rk
echo --
Rkproj '^a\:b' r.rk
--- stdout
--
a:1
a\:2
a\:b:3
b:4
a\b:5

--- status 0

=== list: a name given twice writes each field once
--- file r.rk
a:1
b:2
a:3
--- run
Rkproj a,b,a r.rk
echo --
Rkproj '^b b' r.rk
--- stdout
a:1
b:2
a:3

--
a:1
a:3

--- status 0

=== list: old:new entries select the old name and write the field unchanged
--- file r.rk
a:1
x:2
b:3
:4
y:z:5
--- run
Rkproj a:x,b r.rk
echo --
Rkproj 'b: a:y:z' r.rk
echo --
Rkproj '^a:x' r.rk
--- stdout
a:1
b:3

--
a:1
b:3

--
x:2
b:3
:4
y:z:5

--- status 0

=== list: non-ASCII names
--- file r.rk
ä:1
a:2
名前:3
ß:4
--- run
Rkproj 'ä,名前' r.rk
--- stdout
ä:1
名前:3

--- status 0

=== unnamed: lines without a colon match no list, inclusive or exclusive
--- file r.rk
hello
a:1
hello world
b:2

just words

   
--- run
Rkproj hello r.rk
Rkproj 'hello\ world' r.rk
Rkproj '\ \ \ ' r.rk
echo --
Rkproj a,hello r.rk
echo --
Rkproj ^b r.rk
--- stdout
--
a:1

--
a:1

--- status 0

=== unnamed: ":x" has the empty name and selects the fields whose line begins with a colon
--- file r.rk
x:1
:2
::3
a:4
--- run
Rkproj :x r.rk
--- stdout
:2
::3

--- status 0

=== code: an invalid byte in the list: message, status 2, input not read
--- run
Rkproj $'a,\xff' missing.rk
--- stderr
Rkproj: code error in the field-list argument.
--- status 2

=== code: a non-ASCII list is not valid text in the C locale
--- env LC_ALL=C
--- run
Rkproj 'a,ä' missing.rk
--- stderr
Rkproj: code error in the field-list argument.
--- status 2

=== input: all files in turn, "-" for standard input, one list for all
--- file a.rk
a:1
b:2
--- file b.rk
a:5
--- stdin
a:3

b:4
--- run
Rkproj a a.rk - b.rk
echo --
Rkproj b < a.rk
--- stdout
a:1

a:3

a:5

--
b:2

--- status 0

=== input: a first file that can't be opened is fatal, a later one is counted
--- file a.rk
a:1
--- file b.rk
a:2
--- run
Rkproj a missing.rk a.rk
echo "status $?"
Rkproj a a.rk gone.rk b.rk
--- stdout
status 3
a:1

--- stderr
Rkproj: can't open missing.rk.
Rkproj: missing.rk: No such file or directory
Rkproj: can't open gone.rk.
Rkproj: gone.rk: No such file or directory
--- status 1

=== scale: a list of 10,000 names over 20,000 records, inclusive and with ^
--- run
seq 2 2 20000 | awk '{ print "f" $1 }' | paste -sd, - > list
awk 'BEGIN { for (i = 1; i <= 20000; i++) { print "f" i ":" i; print "x:" i; print "f" (i + 1) ":" i; print "" } }' > in.rk
awk -F: -v want=1 'NR == FNR { n = split($0, L, ","); for (k = 1; k <= n; k++) keep[L[k]] = 1; next }
  /^$/ { if (w) print ""; w = 0; next }
  (($1 in keep) ? 1 : 0) == want { print; w = 1 }' list in.rk > want-in.rk
awk -F: -v want=0 'NR == FNR { n = split($0, L, ","); for (k = 1; k <= n; k++) keep[L[k]] = 1; next }
  /^$/ { if (w) print ""; w = 0; next }
  (($1 in keep) ? 1 : 0) == want { print; w = 1 }' list in.rk > want-ex.rk
Rkproj "$(cat list)" in.rk > out-in.rk || echo "status $?"
diff out-in.rk want-in.rk
Rkproj -D nsize=1,rsize=1,tsize=1 "$(cat list)" in.rk > out-small.rk || echo "status $?"
diff out-small.rk want-in.rk
Rkproj "^$(cat list)" in.rk > out-ex.rk || echo "status $?"
diff out-ex.rk want-ex.rk
wc -l < want-in.rk
wc -l < want-ex.rk
--- stdout
40000
60000
--- timeout 30
--- status 0

=== select: names that move between lines, share a start, run past 16 bytes, lack a colon or hold accents, against a model
--- run
python3 - <<'PY'
import random, subprocess
r = random.Random(7)
names = ["a", "ab", "name", "price", "pricey", "é", "nameé", "a_name_longer_than_sixteen", "a_name_longer_than_sixteen2"]
bad = 0
for round in range(60):
    recs = [[r.choice(names) + (":" + r.choice(["1", "", "v:w", "ü"]) if r.random() < .9 else "") for _ in range(r.randrange(1, 9))]
            for _ in range(r.randrange(1, 30))]
    text = "\n".join("\n".join(rec) + "\n" for rec in recs)
    for inverse in (False, True):
        keep = r.sample(names, 3)
        arg = ("^" if inverse else "") + ",".join(keep)
        want = ""
        for rec in recs:
            kept = [l for l in rec if ":" in l and (l.split(":")[0] in keep) != inverse]  # no colon: never
            want += "".join(l + "\n" for l in kept) + ("\n" if kept else "")
        got = subprocess.run(["Rkproj", arg], input=text.encode(), capture_output=True).stdout.decode()
        bad += got != want
print("differ:", bad)
PY
--- stdout
differ: 0
--- status 0

=== scale: records of 100,000 fields, with the smallest areas
--- run
awk 'BEGIN { for (r = 1; r <= 3; r++) { for (i = 1; i <= 100000; i++) print "n" (i % 1000) ":" r "." i; print "" } }' > in.rk
awk -F: '/^$/ || ($1 != "n7" && $1 != "n42")' in.rk > want-ex.rk
awk -F: '/^$/ || $1 == "n999"' in.rk > want-in.rk
Rkproj '^n7,n42' in.rk > out-ex.rk || echo "status $?"
diff out-ex.rk want-ex.rk
Rkproj -D rsize=1,tsize=1 n999 in.rk > out-in.rk || echo "status $?"
diff out-in.rk want-in.rk
wc -l < want-ex.rk
wc -l < want-in.rk
--- stdout
299403
303
--- timeout 30
--- status 0
