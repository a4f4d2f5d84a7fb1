# Rkprint: whole pages of a few layouts, the messages, and properties of
# pages of random records. The time stamp is fixed by SOURCE_DATE_EPOCH.

=== pages: numbers on their decimal point, rows of several lines, display forms, index fields, groups, titles, cuts at the edge
--- run
export SOURCE_DATE_EPOCH=1765289100 TZ=UTC
printf 'n:1.5\nw:12\nt:x\nt:y\nt:z\n\nn:10.25\nw:abc\n\nn:3\nv\tx:\001\302\205\n\n' > a.rk
printf 'k:a,b\nk:c\nq:2\nx:1\n\nk:a,b\nk:c\nq:2.0\nx:2\n\nk:z\nq:7\nx:3\n\n' > g.rk
Rkprint -x 30 -y 12 -n a.rk
Rkprint -x 16 -y 15 -i n -n a.rk
Rkprint -g k,q:n -x 24 -y 8 -n g.rk
Rkprint -h Title -h Sub -x 20 -y 5 -n -p n,t:r g.rk a.rk
printf 'a:\350\252\236\350\252\236\350\252\236\350\252\236\350\252\236\350\252\236\nb:x\n\n' | Rkprint -x 13 -y 4 | cat -A
--- stdout
            a.rk             1

rec#  n    v^Ix     w   t
   1  1.5           12  x
                        y
                        z
   2 10.25          abc
   3  3    ^A<c285>




     a.rk      1

 n    v^Ix
 1.5
10.25
 3    ^A<c285>

 n    w   t
 1.5  12  x
          y
          z
10.25 abc
 3


         g.rk          1
        k:a,b/c
          q:2

rec# x
   1 1
   2 2

         g.rk          2
          k:z
          q:7

rec# x
   3 3


Title              1
        Sub

rec# n t
   1
Title              2
        Sub

rec# n t
   2
Title              3
        Sub

rec# n t
   3
Title              1
        Sub

rec# n   t
   1 1.5 x
Title              2
        Sub

rec#  n    t
   2 10.25
Title              3
        Sub

rec# n t
   3 3
$
rec# a$
   1 M-hM-*M-^^M-hM-*M-^^M-hM-*M-^^M-hM-*M-^^^L$
--- status 0

=== layout rules: rows are "input :: command => page", lines joined by |, blanks at line ends dropped
--- run
while IFS= read -r l; do in=${l%% ::*} rest=${l#* :: } cmd=${rest%% =>*} want=${rest#*=> }
  got=$(printf '%b\n' "${in//|/\\n}" | { eval "$cmd" 2> err; echo "status $?"; cat err; } | sed 's/ *$//' | cat -vT | paste -sd'|')
  [[ $got == "$want" ]] || echo "$in :: $cmd => $got (expected $want)"; done <<'EOF2'
a:1|b:2||b:3|a:4 :: Rkprint -n -y 5 => |rec# b a|   1 2 1|   2 3 4||status 0
x:1e5|y:ab||x:2.5e10|y:c :: Rkprint -n -y 5 -p y:r,x => |rec#  y x|   1 ab 1e5|   2  c 2.5e10||status 0
x:1||x:2||x:3||x:4||x:5||x:6||x:7||x:8||x:9||x:10 :: Rkprint -n -y 13 -p x => |rec#  x|   1  1|   2  2|   3  3|   4  4|   5  5|   6  6|   7  7|   8  8|   9  9|  10 10||status 0
a:1|b:2||c:3 :: Rkprint -n -y 5 -p ^b => |rec# c a|   1   1|   2 3||status 0
a:x|b:y :: Rkprint -x 12 -p b:l,a:r -y 3 -n => |rec# b a|   1 y x|status 0
a:1|b:xxxxx :: Rkprint -x 12 -y 3 -n => |rec# a b|   1 1 xxxxx|status 0
i:wwwwwwwwww|a:1 :: Rkprint -x 10 -i i => status 3|Rkprint: too long -i fields!
a:1|b:2 :: Rkprint -n -x 20 -y 5 -g a -h t => t                  1|        a:1||rec# b|   1 2|status 0
a:1 :: mkdir d; cat > d/sub; cp d/sub 'p\q'; SOURCE_DATE_EPOCH=0 Rkprint -x 16 -y 4 -n d/sub 'p\q' =>       sub      1||rec# a|   1 1|       q       1||rec# a|   1 1|status 0
EOF2
--- stdout
--- status 0

=== messages: page sizes, lists, titles; an unknown option ends the run without a word
--- run
printf 'a:1\n\n' > a.rk
for args in "-y 2" "-y 3" "-y 4 -h t -h u" "-y 4 -g a" "-x 0" "-x abc" "-y -5" "-f ^a" "-i ^a" "-p ''" "-g ''" "-z q%" "-h \$'\\377'" "-q"; do
  eval "Rkprint $args a.rk" > out 2> err; echo "$args: status $? $(cat err) $(wc -c < out)"
done
--- stdout
-y 2: status 3 Rkprint: too small page size, stop! 0
-y 3: status 3 Rkprint: too small page size, stop! 0
-y 4 -h t -h u: status 3 Rkprint: too small page size, stop! 0
-y 4 -g a: status 3 Rkprint: too small page size, stop! 0
-x 0: status 3 Rkprint: too small page size, stop! 0
-x abc: status 3 Rkprint: too small page size, stop! 0
-y -5: status 3 Rkprint: too small page size, stop! 0
-f ^a: status 2 Rkprint: exclusinve list is not allowed in -f. 0
-i ^a: status 2 Rkprint: exclusinve list is not allowed in -i. 0
-p '': status 2 Rkprint: field-list is required for -p. 0
-g '': status 2 Rkprint: field-list is required for -g. 0
-z q%: status 2 Rkprint: -z option error '%'. 0
-h $'\377': status 3 Rkprint: code error in the -h option. 0
-q: status 2  0
--- status 0

=== reading: what the reading says comes when the pages reach its record
--- run
export SOURCE_DATE_EPOCH=0
python3 -c "
import sys
for i in range(1, 3001):
    sys.stdout.buffer.write(b'a:%s\nb:%d\n%s\n' % (b'x' * 15 if i == 1 else b'%d' % i, i, b'c:\xff\n' if i == 200 else b''))
" > late.rk
head -c 2000 late.rk > clean.rk
for args in "late.rk" "-i a -x 12 late.rk" "-x 30 -y 9 clean.rk -"; do
  Rkprint $args < /dev/null > out 2> err; echo "status $?" >> err
  echo "$args: $(tr '\n' ' ' < err)$(wc -l < out)"
done
# From a pipe as from a file, and inputs that end within a page's records.
python3 -c "
for i in range(20000): print('a:%d\nb:%s\n' % (i, 'x' * (i % 50)))" > pipe.rk
cat pipe.rk | timeout 60 Rkprint | cmp - <(Rkprint < pipe.rk) && echo "pipe: same"
printf 'a:1\n\na:2\n\na:3\n' | timeout 60 Rkprint -y 3 | wc -l
python3 -c "print(('\n'.join('f%d:v' % i for i in range(20)) + '\n\n') * 300, end='')" | timeout 60 Rkprint -x 5 -y 5 | wc -l
--- stdout
late.rk: Rkprint: code error in Rk-file late.rk(200), irrecoverable. status 3 216
-i a -x 12 late.rk: Rkprint: too long -i fields! status 3 0
-x 30 -y 9 clean.rk -: status 0 257
pipe: same
9
1500
--- status 0

=== reading from files and pipes: pages and messages are the same, a message where its record's page goes
--- run
export SOURCE_DATE_EPOCH=0
python3 -c "
import sys
for i in range(1, 40001):
    sys.stdout.buffer.write(b'a:%d\nb:%s\n%s\n' % (i, b'y' * (i % 37), b'c:\xff\n' if i == 36000 else b''))
" > long.rk
head -c 1000000 long.rk > clean.rk
for args in "long.rk" "-y 7 -n clean.rk" "-g b -x 40 clean.rk"; do
  Rkprint $args < /dev/null > out 2> err; echo "status $?" >> err
  echo "$args: $(tr '\n' ' ' < err)$(wc -l < out)"
  opts=${args% *}; [ "$opts" = "$args" ] && opts=
  cat clean.rk | Rkprint $opts | cmp -s - <(Rkprint $opts < clean.rk) || echo "$opts: a pipe differs"
done
# From a pipe, the pages go out before each read of it: a message lands
# among them where its record's page goes (with all of the input in the
# pipe at once, so that the reads are the same).
head -n 300 long.rk > part.rk; printf 'c:\377\n\n' >> part.rk
cat part.rk | Rkprint -y 5 -n > both 2>&1
echo "100: $(grep -n 'code error' both | cut -d: -f1)"
--- stdout
long.rk: Rkprint: code error in Rk-file long.rk(36000), irrecoverable. status 3 41136
-y 7 -n clean.rk: status 0 58989
-g b -x 40 clean.rk: status 0 168525
100: 1
--- status 0

=== reading under a memory limit: a run whose memory is limited prints what an unlimited one prints
--- unsanitized
--- run
python3 -c "
import sys
for i in range(200): sys.stdout.write('a:%d\nb:%s\nc:%s\n\n' % (i, 'y' * 60000, 'z' * (i % 7)))" > wide.rk
export SOURCE_DATE_EPOCH=0
Rkprint wide.rk > want
( ulimit -v 14000; exec Rkprint wide.rk > got ); echo "status $?"
cmp got want && echo same
--- stdout
status 0
same
--- status 0

=== a page is full only once a record has been tried, when its names stand in another order: a column may move, and the bands be fewer
--- run
python3 - > moved.rk <<'PY'
import sys
w = 'w' * 90
sys.stdout.write('f2:12.5e312.5e312.5e3\nf3:' + w + '\nf4:\nf4:' + w[:30] + '\n\nf0:1.5.\nf0:1\nf1:a b\nf3:abc\nf3:abcabcabc\nf4:' + w +
    '\nnocolon\n\nf0:abc\nf1:1\nf1:99999.999\nf2:12.5e312.5e312.5e3\nf2:x\ty\nf3:1\nf4:\u00e9\nf4:' + w +
    '\n\nf0:-2-2-2\nf1:3.25\nf2: 7\n\nf0:1\nf1:3.25\nf2:12.5e3\n\nf0:0x1F\nf1: 7\nf2:0x1F0x1F0x1F\n\nf0:a b\nf1:0x1F\nf2:a b\nf3:0x1F\nf3:12.5e3\nf4:-2\n\n'
    'f0:\x01\nf0:\u8a9ex\nf1:' + w[:30] + '\nf2:\u00e9\nf4:\n\nf0:-2\nf1:\u00e9\nf4:\u00e9\nf4:abc\nf2:abcabcabc\nnocolon\n\n')
PY
Rkprint -x 33 -y 69 -z r moved.rk | tr -cd '\f' | wc -c
--- stdout
1
--- status 0

=== fields without a name: one column; a line without a colon takes no format from ":"; a page is tried with its next record, which may end the run
--- run
{ printf 'nocolon\n:x\n\n' | Rkprint -x 30 -y 4 -n -p ':'
  printf 'n\n:2.5\n\n:3.25\n\n' | Rkprint -x 30 -y 5 -n -f '::%7.3f'
  printf 'a:1\nxyz\n\na:2\nuvw\n\n' | Rkprint -x 30 -y 5 -n -i : -p a
  printf "a:1\na:\na:\n\na:%0200d\n" 0 | Rkprint -x 200 -y 5 -i a -p a; echo "status $?"; } | sed 's/^/|/'
--- stdout
|
|rec# 
|   1 nocolon
|     x
|
|rec# 
|   1 n
|       2.500
|   2   3.250
|
|    a
|xyz 1
|uvw 2
|
|status 3
--- stderr
Rkprint: too long -i fields!
--- status 0

=== reading, differential: random inputs of many records print the same from a file and from a pipe
--- run
python3 - <<'PY'
import os, random, subprocess
r = random.Random(5)
words = ["1", "-2", "3.25", "abc", "a b", "", "語x", "é", "x\ty", "wwwwwwwwwwwwwwwwwwwww"]
bad = 0
for case in range(40):
    names = ["f%d" % i for i in range(r.randint(1, 9))]
    out = []
    for i in range(r.randint(100, 1500)):
        fields = [(n, r.choice(words)) for n in names if r.random() < 0.7 for _ in range(r.choice([1, 1, 1, 2]))]
        if r.random() < 0.1:
            r.shuffle(fields)
        out.append("".join("%s:%s\n" % f for f in fields) + "\n")
    data = "".join(out).encode()
    if case % 4 == 0:
        at = r.randrange(len(data))
        data = data[:at] + b"\xff" + data[at:]
    open("in.rk", "wb").write(data)
    args = ["-x", str(r.randint(10, 150)), "-y", str(r.randint(3, 60))] + r.choice(
        [[], ["-n"], ["-i", "f0"], ["-p", "f2,f1::%5.1f"], ["-g", "f0"], ["-p", "^f1"]])
    env = dict(os.environ, SOURCE_DATE_EPOCH="0")
    runs = [subprocess.run(["Rkprint", "-h", "T"] + args + ["in.rk"], capture_output=True, env=env),
            subprocess.run(["Rkprint", "-h", "T"] + args, input=data, capture_output=True, env=env)]
    runs[0].stderr = runs[0].stderr.replace(b"in.rk(", b"(stdin)(")
    if (runs[0].stdout, runs[0].stderr, runs[0].returncode) != (runs[1].stdout, runs[1].stderr, runs[1].returncode):
        bad += 1
        print(args, runs[0].stderr[:100], runs[1].stderr[:100])
print("cases", case + 1, "different", bad)
PY
--- stdout
cases 40 different 0
--- status 0

=== properties: random records on random pages; every page is its height with -n, no line is wider than the page, every record is shown
--- run
python3 - <<'PY'
import random, subprocess, unicodedata
def width(s):
    return sum(0 if unicodedata.combining(c) else 2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in s)
r = random.Random(11)
words = ["1", "-2", "3.25", "1e5", "abc", "a b", "", "語x", "é", "x\ty", "0x1F", "wwwwwwwwwwwwwwwwwwwwwwwww"]
bad = 0
for case in range(250):
    names = ["f%d" % i for i in range(r.randint(1, 12))]
    recs = []
    for _ in range(r.randint(1, 40)):
        fields = [(n, r.choice(words)) for n in names if r.random() < 0.6 for _ in range(r.choice([1, 1, 1, 2, 3]))]
        r.shuffle(fields)
        fields.insert(r.randint(0, len(fields)), ("id", str(len(recs) + 1)))
        recs.append(fields)
    text = "".join("".join("%s:%s\n" % f for f in rec) + "\n" for rec in recs)
    w, h = r.randint(8, 120), r.randint(3, 40)
    args = ["Rkprint", "-n", "-x", str(w), "-y", str(h)] + r.choice([[], ["-i", "id"], ["-p", "f1,f0,f2"], ["-p", "^f1"]])
    p = subprocess.run(args, input=text.encode(), capture_output=True)
    out = p.stdout.decode()
    lines = out.split("\n")[:-1]
    why = []
    if p.returncode != 0:
        why.append("status %d %s" % (p.returncode, p.stderr[:200]))
    if len(lines) % h:
        why.append("%d lines for pages of %d" % (len(lines), h))
    if any(width(l) > w for l in lines):
        why.append("a line wider than %d" % w)
    if "-i" not in args:
        shown = {int(l.split()[0]) for l in lines if l[:1] == " " and l.split() and l.split()[0].isdigit()} | \
                {int(l.split()[0]) for l in lines if l[:1].isdigit()}
        if not set(range(1, len(recs) + 1)) <= shown:
            why.append("records missing")
    if why:
        bad += 1
        if bad <= 3:
            print(args, why)
print("cases", case + 1, "bad", bad)
PY
--- stdout
cases 250 bad 0
--- status 0
