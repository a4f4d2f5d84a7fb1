# Rked: run an Rkl program over every record, then once more as an epilogue.
#
# Groups (each case title starts with its group): args, values (operators
# and functions seen through an assigned field v), assign (fields, FIELDS,
# variables), records (VAR, STATIC, epilogue, OUTPUT, EXIT, loops), match
# (MATCH and the rest, SUBST, SUBSTG), errors, qx (shell commands).
# The tables hold "program => result" ("-" for nothing), lines of output
# joined by "|"; a run prints only the rows that come out otherwise. With
# set -f each word of a program is one argument.

=== args: "--" ends the program; an empty program copies; -F; FILENAME, FNR and NR over three inputs
--- stdin
k:4
--- run
printf 'k:1\n\nk:2\n' > a.rk; printf 'k:3\n' > b.rk
Rked -- -- b.rk
Rked < b.rk
Rked price = CONST 0 -- < b.rk
Rked -F f = FILENAME . CONST / . FNR . CONST / . NR a.rk - b.rk
--- stdout
k:3

k:3

k:3
price:0

filename:a.rk
k:1
f:a.rk/1/1

filename:a.rk
k:2
f:a.rk/2/2

k:4
f:/1/3

filename:b.rk
k:3
f:b.rk/1/4

--- status 0

=== values: grouping, arithmetic, ranges, joining, indexing, functions and specials (the values of v)
--- run
set -f
printf 'a:1\na:2\na:3\ns:banana\n1:one\n' > in.rk
while IFS= read -r l; do p=${l%% =>*} w=${l#*=> }; g=$(Rked v = $p in.rk </dev/null | sed -n 's/^v://p' | paste -sd'|')
  [[ ${g:--} == "$w" ]] || echo "$p => $g (expected $w)"; done <<'EOF'
1 + 2 * 3 => 7
2 ** 3 ** 2 => 64
10 - 2 - 3 => 5
SQRT CONST 16 + 1 => 5
1 + 2 . 3 => 24
1 .. 3 + 1 => 1|2|3|4
x , CONST y . z => x|yz
FIELD a OR CONST none => 1|2|3
FIELD nofield OR CONST none => none
{ 1 2 3 } + 10 => 11|12|13
1 + { 1 2 3 } => 2|3|4
{ 1 2 3 } * { 2 2 } => 2|4
{ } + 1 => -
7 / 2 => 3.5
-7 % 3 => -1
7.9 % 2 => 1
100000 * 100000 => 10000000000
- a => 0
- FIELD a => -1|-2|-3
FIELD a + 0.5 => 1.5|2.5|3.5
{ 0 7 } .. 5 => 0|7|6|5
3 .. 1 => 3|2|1
3 .. { 5 9 } => 3|4|5|9
2.7 .. 4 => 2|3|4
x . FIELD a => x1|x2|x3
( CONST 1 + 1 ) . x => 2x
( 1 , 2 ) => one
{ a b c } [ { 2 0 } ] => c|a
{ a b c } [ 5 ] => -
FIELD a [ 1 ] => 2
FIELDS [ 3 ] => s:banana
COUNT { } , EXISTS { } , COUNT a , EXISTS nofield , EXISTS a , EXISTS s => 0|0|3|0|1|1
MAX { 3 10 2 } , MIN a , SUM a , AVG a => 10|1|6|2
AVG { } , SUM nofield => -
INT CONST -2.7 , ABS CONST -3 => -2|3
LENGTH { abc de } , LENGTH s => 3|2|6
CAT { a b c } . CAPS s => abcBANANA
NUM CONST 0x10 , NUM CONST 1e3 , NUM CONST 12abc => 16|1000|0
EPILOGUE , STATUS , FNR , NR => 0|0|1|1
LOCALE => C.UTF-8
EOF
--- status 0

=== values: a field of 300 occurrences, whose values outgrow the first storage for values
--- run
seq -f a:%g 0 299 > many.rk
Rked v = CAT a ';' w = FIELD a [ 299 ] many.rk > out
echo "status $?, $(sed -n 's/^[vw]://p' out | wc -c) bytes in v and w"
--- stdout
status 0, 795 bytes in v and w
--- status 0

=== assign: fields replaced, inserted after the last target, appended, removed; FIELDS; variables
--- run
set -f
printf 'a:1\nb:2\na:3\n' > in.rk
while IFS= read -r l; do p=${l%% =>*} w=${l#*=> }; g=$(Rked $p in.rk </dev/null | paste -sd'|')
  [[ ${g:--} == "$w" ]] || echo "$p => $g (expected $w)"; done <<'EOF'
a = { x y z } => a:x|b:2|a:y|a:z|
a = x => a:x|b:2|
a = { } => b:2|
c = x => a:1|b:2|a:3|c:x|
a = FIELD a , CONST x => a:1|b:2|a:3|a:x|
a = FIELD a:n * 2 => a:2|b:2|a:6|
a [ 1 ] = z => a:1|b:2|a:z|
a [ 5 ] = z => a:1|b:2|a:3|
a [ { 0 1 } ] = z => a:z|b:2|
a [ { 0 5 } ] = { x y z } => a:x|b:2|a:3|
a [ { 5 0 } ] = { x y z } => a:x|a:y|a:z|b:2|a:3|
a [ 0 ] = { x y } => a:x|a:y|b:2|a:3|
c [ 0 ] = x => a:1|b:2|a:3|
a = FIELD b = x => a:x|b:x|
FIELDS = { } => -
FIELDS = FIELDS [ { 2 0 } ] , CONST x:9 => a:3|a:1|x:9|
VAR v = FIELD a ; b = VAR v => a:1|b:1|b:3|a:3|
VAR v = { p q r } ; VAR v [ { 2 0 } ] = { X Y } ; c = VAR v => a:1|b:2|a:3|c:Y|c:q|c:X|
VAR v = { p q r } ; VAR v [ 1 ] = { X Y } ; c = VAR v => a:1|b:2|a:3|c:p|c:X|c:Y|c:r|
VAR v [ 0 ] = x ; c = VAR v => a:1|b:2|a:3|
VAR v = { 1 2 } + 0 ; VAR v [ 0 ] = 5x ; c = VAR v => a:1|b:2|a:3|c:0|c:2|
VAR v = { 1 2 } + 0 ; VAR v = 5 + 0 ; c = VAR v => a:1|b:2|a:3|c:5|
STATIC t = STATIC t + 1 ; c = STATIC t => a:1|b:2|a:3|
EOF
--- status 0

=== records: VAR is unassigned in each record, STATIC lasts; the epilogue writes through OUTPUT; EXIT; loops
--- run
set -f
printf 'price:%s\n\n' 5 7 1 > in.rk; printf 'a:%s\n' 1 2 3 > a.rk
Rked IF VAR seen THEN again = x FI ';' VAR seen = 1 ';' IF NOT STATIC n THEN STATIC n = 0 FI ';' \
  STATIC n = STATIC n + 1 ';' n = STATIC n in.rk | paste -sd'|'
Rked IF EPILOGUE THEN total = SUM STATIC s ';' at = NR , FNR , EPILOGUE ';' \
  f = CONST '<' . FILENAME . CONST '>' ';' OUTPUT ELSE STATIC s = STATIC s , FIELD price FI in.rk | paste -sd'|'
Rked OUTPUT ';' IF price == 7 THEN EXIT FI ';' price = 0 ';' IF EPILOGUE THEN OUTPUT FI in.rk | paste -sd'|'
Rked IF a == 9 THEN v = x ELIF COUNT a == 3 THEN v = y ELSE v = z FI ';' VAR s = 0 ';' \
  FOR i IN FIELD a DO VAR s = VAR s + VAR i DONE ';' w = VAR s ';' \
  VAR n = 1 ';' WHILE VAR n '<' 100 DO VAR n = VAR n '*' 2 DONE ';' u = VAR n a.rk | paste -sd'|'
--- stdout
price:5|n:1||price:7|n:2||price:1|n:3|
price:5||price:7||price:1||total:13|at:0|at:0|at:1|f:<>|
price:5||price:0||price:7|
a:1|a:2|a:3|v:y|w:6|u:128|
--- status 0

=== match: the match context of LIKE and SUBST, cleared in the next record; a SUBST of a constant still runs for each record
--- run
printf 'name:%s\n\n' banana cherry > m.rk
Rked name LIKE '^(b)an' ';' m = MATCH , PREMATCH , POSTMATCH m.rk | paste -sd'|'
Rked VAR x = FIELD name S n. BY X ';' m = MATCH , PREMATCH , POSTMATCH m.rk | paste -sd'|'
Rked VAR x = CONST name S n. BY X ';' m = MATCH , PREMATCH , POSTMATCH m.rk | paste -sd'|'
--- stdout
name:banana|m:ban|m:|m:ana||name:cherry|m:|m:|m:|
name:banana|m:na|m:ba|m:na||name:cherry|m:|m:|m:|
name:banana|m:na|m:|m:me||name:cherry|m:na|m:|m:me|
--- status 0

=== match: SUBST replaces the first match of each pattern in turn, SUBSTG every match, empty ones included
--- run
set -f
printf 'name:%s\n\n' banana xax abc > s.rk
while IFS= read -r l; do p=${l%% =>*} w=${l#*=> }; g=$(Rked $p s.rk </dev/null | sed -n 's/^name://p' | paste -sd'|')
  [[ ${g:--} == "$w" ]] || echo "$p => $g (expected $w)"; done <<'EOF'
name = FIELD name S a BY b => bbnana|xbx|bbc
name = FIELD name SG a BY b => bbnbnb|xbx|bbc
name SG a BY b => banana|xax|abc
name = FIELD name S { a n } BY { 1 } => b1ana|x1x|1bc
name = FIELD name SG (x) BY <\1> => banana|<x>a<x>|abc
name = FIELD name SG an BY <&> => b<an><an>a|xax|abc
name = FIELD name SG ^. BY CONST - => ------|---|---
name = FIELD name SG b* BY CONST - => -a-n-a-n-a-|-x-a-x-|-a-c-
EOF
--- status 0

=== errors: zero division stops at load time with status 2, and is counted per record at run time
--- run
printf 'x:4\nx:0\n\ny:1\n\nx:2\n' > in.rk
Rked v = CONST 5 / 0 in.rk; echo "status $?" >&2
Rked v = 7 % 0 in.rk; echo "status $?" >&2
Rked v = FIELD x:n / 0 in.rk | paste -sd'|'; echo "status ${PIPESTATUS[0]}" >&2
Rked v = FIELD x:n / 0 ';' EXIT < in.rk; echo "status $?" >&2
--- stdout
x:4|x:0|v:inf|v:inf||y:1||x:2|v:inf|
--- stderr
Rked: zero division.
status 2
Rked: zero division.
status 2
Rked: zero division at in.rk(1).
Rked: zero division at in.rk(3).
status 1
Rked: zero division at (stdin)(1).
status 1
--- status 0

=== errors: an unknown option writes the usage; status 2, no input read
--- stdin
a:1
--- run
Rked -x a = b
--- stderr escaped
Rked [-options] program [input-file ..]
\tedit Rk-records by the Rkl program.
\tOptions:
\t\t-F\tadds filename: field.
\tCondition: field == value like form; see the manual.
--- status 2

=== errors: messages about the command line and program files, each with its status; an open comment ends a file
--- file c.rkl
s = y /* still open
--- file u.rkl
a == b c
--- file q.rkl
a = x ;
b = "abc
def
--- file s.rkl
a ==
  == b
--- file z.rkl escaped
a\x00
--- run
set -f
printf 's:x\n' > in.rk
while IFS= read -r l; do p=${l%% =>*} w=${l#*=> }; g=$(Rked $p 2>&1 </dev/null; echo "($?)")
  [[ ${g//$'\n'/|} == "$w" ]] || echo "$p => ${g//$'\n'/|} (expected $w)"; done <<'EOF'
-D bogus=1 a = b => Rked: -D bogus is unknown.|(2)
CONST 1 = x in.rk => Rked: invalid left hand of '=' before the arguemnt 4 (in.rk).|(2)
a . b = x in.rk => Rked: invalid left hand of '=' before the arguemnt 5 (in.rk).|(2)
CONST 1 = x => Rked: invalid left hand of '='.|(2)
FIELD => Rked: missing field name after 'FIELD' at the end of arguments (1).|(2)
a = VAR => Rked: missing variable name at the end of arguments (3).|(2)
a = CONST => Rked: missing arg after 'CONST' at the end of arguments (3).|(2)
a == ) in.rk => Rked: syntax error at the argument 2 ()).|(2)
v = { x => Rked: missing '}' at the end of arguments (4).|(2)
v = FIELD s SG x** BY y in.rk => Rked: regular expression error (nested *?+) in 'x**'.|(2)
-f missing.rkl => Rked: can't open missing.rkl.|Rked: missing.rkl: No such file or directory|(3)
-f c.rkl in.rk => s:y||(0)
-f u.rkl in.rk => Rked: unknown token 'c' at line 1, char 8.|(2)
-f q.rkl in.rk => Rked: unterminated quotation from line 2, char 5|(3)
-f s.rkl in.rk => Rked: syntax error at line 2, char 3.|(2)
-f z.rkl in.rk => Rked: code error in the file z.rkl(1,).|(3)
EOF
--- status 0

=== qx: a constant command runs once at load time; output order; STATUS; the command reads no record
--- run
printf 'cmd:%s\n\n' cat 'echo one >&3' 'echo two >&3; exit 3' > q.rk
Rked VAR c = QX CONST cat ';' v = QX 'echo ran >> log; echo hi' ';' b = STATUS ';' \
  o = QX FIELD cmd ';' s = STATUS 3>&1 < q.rk | paste -sd'|'
cat log
--- stdout
cmd:cat|v:hi|b:0|s:0||one|cmd:echo one >&3|v:hi|b:0|s:0||two|cmd:echo two >&3; exit 3|v:hi|b:0|s:768|
ran
--- status 0

=== deep: a program nested 9990 levels deep runs within the stack; deeper than 10000 levels is refused
--- run
words() { printf 'y = FIELD x'; for ((i = 0; i < $1; i++)); do printf ' + FIELD x'; done; echo; }
words 9990 > deep.rkl
words 10001 > deeper.rkl
printf 'x:1\n\n' | Rked -f deep.rkl
printf 'x:1\n\n' | Rked -f deeper.rkl
echo "status $?"
--- stdout
x:1
y:9991

status 2
--- stderr
Rked: the program is nested too deeply (10003 levels, at most 10000).
--- status 0

=== assign: a chain of assignments passes on values that outgrew the first storage blocks
--- run
printf 'k:300\n\n' | Rked x = FIELD y = CONST 1 .. FIELD k:n ';' s = SUM FIELD x ';' n = COUNT FIELD y ';' FIELDS = FIELDS [ { 0 601 602 } ] ';' t = FIELD s . FIELD n
printf 'k:300\n\n' | Rked VAR x = CONST 1 .. FIELD k:n ';' VAR x = VAR x , VAR x ';' c = COUNT VAR x ';' u = CAPS '(' CONST a . VAR x ')' [ 599 ]
--- stdout
k:300
s:45150
n:300
t:45150300

k:300
c:600
u:A300

--- status 0

=== records: an empty field text is not written; one holding a newline is a counted error and left out, wherever it is written; -F names only records written
--- file nl.rkl
x = "l1

l2"
--- run
printf 'a:1\nb:2\nc:3\n\n' | Rked FIELDS = FIELDS S '^b:.*' BY ''; echo "status $?"
printf 'a:1\n\n' > in.rk
Rked x = CONST $'p\n\nq:evil' in.rk; echo "status $?"
Rked -f nl.rkl in.rk; echo "status $?"
Rked -F FIELDS = CONST $'x\ny' in.rk; echo "status $?"
Rked a = CONST $'u\nv' ';' OUTPUT ';' b = COUNT a ';' IF EPILOGUE THEN FIELDS = { '' z:1 } ';' OUTPUT FI in.rk
echo "status $?"
--- stdout
a:1
c:3

status 0
a:1

status 1
a:1

status 1
status 1
b:0

z:1

status 1
--- stderr
Rked: field 'x' holds a newline in in.rk(1), left out.
Rked: field 'x' holds a newline in in.rk(1), left out.
Rked: field 'x' holds a newline in in.rk(1), left out.
Rked: field 'a' holds a newline in in.rk(1), left out.
Rked: field 'a' holds a newline, left out.
--- status 0
