# RktoCsv, RkfromCsv and RktoTex. The table rows are "input :: command =>
# output", the input and the output given as their lines joined by | (the
# input through printf %b, so \r, \0 and \0174 for | may stand in it), the
# output followed by the status and the messages, through cat -v.

=== table: columns found and given, quoting, cells, headers, TeX escapes
--- run
while IFS= read -r l; do in=${l%% ::*} rest=${l#* :: } cmd=${rest%% =>*} want=${rest#*=> }
  got=$(printf '%b\n' "${in//|/\\n}" | { eval "$cmd" 2> err; echo "status $?"; cat err; } | cat -v | paste -sd'|')
  [[ $got == "$want" ]] || echo "$in :: $cmd => $got (expected $want)"; done <<'EOF2'
a:1|b:2||b:3|c:4| :: RktoCsv => a,b,c|1,2,|,3,4|status 0
b:1||a:2|b:3| :: RktoCsv => a,b|,1|2,3|status 0
a: x|b:say "hi"|c:||a:1|a:2|a:3| :: RktoCsv => a,b,c|" x","say ""hi""",|"1|2|3",,|status 0
a:1|b:2|c:3| :: RktoCsv -p b,a => 2,1|status 0
a:x\xe3\x80\x80|b:\tz|c:\xc2\xa0y| :: RktoCsv -p a,b,c => "xM-cM-^@M-^@","	z",M-BM- y|status 0
a:1|b:2|c:3| :: RktoCsv -p ^b => a,c|1,3|status 0
x,y:1|noname| :: RktoCsv => "x,y",|1,noname|status 0
a,b|1,2|1|1,2,3|"x,y","a""b"|"ab"c,"l1|l2"||1,2\r :: RkfromCsv => a:1|b:2||a:1|b:||a:1|b:2|b:3||a:x,y|b:a"b||a:abc|b:l1|b:l2||a:|b:||a:1|b:2||status 0
\xef\xbb\xbfa,"b\r|c"\r|x\ry,"p\rq\r|r"\r|\r|1,\r\r :: RkfromCsv => a:x^My|bc:p^Mq|bc:r||a:|bc:||a:1|bc:^M||status 0
a:1|b:2| :: RktoCsv -H -p b,a => b,a|2,1|status 0
a:1|b:2| :: RktoCsv -H -p ^a => b|2|status 0
x,time:utc|1,12:00 :: RkfromCsv => x:1|time:utc:12:00||status 1|RkfromCsv: the column name time:utc in (stdin)(1) holds a colon, where a field name ends; rename the column.
a,b|"open :: RkfromCsv => a:open|a:|b:||status 1|RkfromCsv: unexpected eof in QUOTATION MARK at (stdin)(3).
a\0,b|1,\0\0 2 :: RkfromCsv -F => a:1|b: 2||status 1|RkfromCsv: skips a NULL character in the file (stdin)(1).|RkfromCsv: skips a NULL character in the file (stdin)(2).|RkfromCsv: skips a NULL character in the file (stdin)(2).
 :: RkfromCsv => status 0
title:A & B|price:$5|x:^~\\\0174{}_<>#%|noname|:e| :: RktoTex => \title A \& B|\price \$5|\x \char94 \char126 $\backslash$$|$$\{$$\}$\_$<$$>$\#\%|noname|e||status 0
title:A & B|price:$5||t:x| :: RktoTex -b title -n price -r endrec => \title{A \& B}|\price $5|\endrec|\t x|\endrec|status 0
a:{x}|b:y|noname| :: RktoTex -b ^a -n ^b => \a {x}|\b{y}|noname||status 0
EOF2
# Files: one table each (an empty one is its empty header), -F names files
# only, a file that can't be opened is counted and skipped.
printf 'a:1\n\n' > one.rk; printf 'b:2\n\n' > two.rk; printf 'a,b\n1,2\n' > t.csv
RktoCsv one.rk /dev/null two.rk
printf 'a\n3\n' | RkfromCsv -F t.csv missing.csv -
echo "status $?"
--- stdout
a
1

b
2
a:1
b:2
filename:t.csv

a:3

status 1
--- stderr
RkfromCsv: can't open missing.csv.
RkfromCsv: missing.csv: No such file or directory
=== CR LF and byte-order marks: a CR LF file with a byte-order mark reads as its LF twin, each file, standard input, the C locale
--- run
i=0; while IFS= read -r l; do i=$((i+1))
  printf '%b\n' "${l//|/\\n}" > lf$i.csv
  { printf '\xef\xbb\xbf'; sed 's/$/\r/' lf$i.csv; } > crlf$i.csv; done <<'EOF2'
name,"note"|1,"two|lines"|2,x||3,
"h|1",h2|a,b
\xc3\xa9t\xc3\xa9,b|\xe2\x82\xac,"c,d"
EOF2
RkfromCsv lf1.csv lf2.csv lf3.csv | tee lf.out | paste -sd'|'
RkfromCsv crlf1.csv crlf2.csv crlf3.csv | cmp - lf.out
RkfromCsv < crlf1.csv | cmp - <(RkfromCsv lf1.csv)
LC_ALL=C RkfromCsv crlf1.csv crlf2.csv | cmp - <(RkfromCsv lf1.csv lf2.csv)
--- stdout
name:1|note:two|note:lines||name:2|note:x||name:|note:||name:3|note:||h1:a|h2:b||été:€|b:c,d|
=== RktoCsv: a regular file is read twice, so a late field is a column; of a pipe or standard input, a field that turns up after the columns were fixed is a counted error
--- run
{ for i in $(seq 300); do printf 'a:%d\n\n' $i; done; printf 'a:x\nb:late\n\n'; } > late.rk
printf 'c:1\n\n' > c.rk
for cmd in "RktoCsv -D rsize=1 late.rk" "RktoCsv -D rsize=1 < late.rk" "RktoCsv -D rsize=1 c.rk - c.rk < late.rk"; do
  eval "$cmd" | grep -v '^[0-9]*,\?$' | paste -sd' '; echo "status ${PIPESTATUS[0]}"; done
# The text area (1 KB) runs full in record 2 and, doubled, in record 3:
# with irecs=2 the columns come from records 1 and 2, so c is one and b not.
v() { printf "%0$1d" 0; }
{ printf 'a:%s\n\n' $(v 100); printf 'a:%s\nc:1\n\n' $(v 200); printf 'a:x\nb:%s\n\n' $(v 250); } > three.rk
for n in 2 3; do cat three.rk | RktoCsv -D rsize=1,irecs=$n | sed -n 1p; echo "status ${PIPESTATUS[1]}"; done
RktoCsv -D rsize=1 three.rk | sed -n 1p
# Records b:1 | c:2 | a:3,c:4 | d:5,b:6 in a file: new names of later records
# go in front of the known ones they precede.
printf 'b:1\n\nc:2\n\na:3\nc:4\n\nd:5\nb:6\n\n' > order.rk
RktoCsv order.rk | paste -sd'|'
--- stdout
a,b x,late
status 0
a x
status 1
c a x c
status 1
a,c
status 1
a,b,c
status 0
a,b,c
d,a,c,b|,,,1|,,2,|,3,4,|5,,,6
--- stderr
RktoCsv: fields not among the columns found are left out from (stdin)(301) on.
RktoCsv: fields not among the columns found are left out from (stdin)(301) on.
RktoCsv: fields not among the columns found are left out from (stdin)(3) on.
=== round trip: generated records with commas, quotes, blanks at both ends and other scripts come back through RktoCsv | RkfromCsv
--- run
python3 - <<'PY'
import random, subprocess
r = random.Random(8)
alphabet = ["a", "b", " ", ",", '"', "\t", "é", "語", "x y", "'", ";"]
bad = 0
for case in range(200):
    names = ["f%d" % i for i in range(r.randint(1, 6))]
    recs = []
    for _ in range(r.randint(1, 30)):
        fields = [n for n in names if r.random() < 0.7]
        r.shuffle(fields)
        recs.append([(n, "".join(r.choice(alphabet) for _ in range(r.randint(0, 6)))) for n in fields])
    text = "".join("".join("%s:%s\n" % f for f in rec) + "\n" for rec in recs if rec)
    csv = subprocess.run(["RktoCsv", "-D", "irecs=%d" % r.randint(1, 5)], input=text.encode(), capture_output=True).stdout
    # A file, a field of its own at the end, gives the table of its whole
    # text held at once from a pipe.
    late = text + "g:%d\n\n" % case
    open("gen.rk", "w").write(late)
    whole = subprocess.run(["RktoCsv", "-D", "rsize=1", "gen.rk"], capture_output=True)
    held = subprocess.run(["RktoCsv", "-D", "irecs=100000"], input=late.encode(), capture_output=True)
    bad += (whole.stdout, whole.stderr, whole.returncode) != (held.stdout, held.stderr, held.returncode)
    back = subprocess.run(["RkfromCsv"], input=csv, capture_output=True).stdout.decode()
    # The columns in the header's order, empty where a record lacks one.
    cols = []
    for line in back.split("\n\n")[0].split("\n"):
        cols.append(line.split(":", 1)[0])
    want = "".join("".join("%s:%s\n" % (c, dict(rec).get(c, "")) for c in cols) + "\n" for rec in recs if rec)
    bad += back != want
print("cases 200 differences", bad)
PY
--- stdout
cases 200 differences 0
=== usage: unknown options
--- run
for c in "RktoCsv -x" "RkfromCsv -p a" "RktoTex -q"; do $c < /dev/null; echo "status $?"; done 2>&1 | grep -v '^	'
--- stdout
RktoCsv [-options] [input-file ..]
status 2
RkfromCsv [-options] field-format-list [input-file ..]
status 2
RktoTex [-options] [input-file ..]
status 2
