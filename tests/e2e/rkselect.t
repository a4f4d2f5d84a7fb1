# Rkselect: keep the records for which an Rkl condition holds.
#
# Groups (each case title starts with its group): args, file (-f), truth,
# group (precedence where it changes the result), compare (lists, fields on
# either side, numbers or strings, inclusion, matching), errors.
# The tables hold "condition => ids of the records kept" ("-" for none), or
# "condition => standard error|(status)"; a run prints only the rows that
# come out otherwise. With set -f each word of a condition is one argument.

=== args: the first word that cannot continue the program is the first input file; "--" ends it too
--- stdin
name:smith
id:5
--- run
printf 'id:%s\n%b\n\n' 1 name:smith 2 name:jones > x.rk
printf 'id:%s\n%b\n\n' 3 'name:smith\nname:smith' 4 name:smith > y.rk
printf 'id:%s\n%b\n\n' 6 price:3 7 price:0 > n:n
printf 'id:8\nname:smith\n' > OR
Rkselect -F name == smith x.rk - y.rk
Rkselect price n:n
Rkselect name == smith -- OR
echo "-- -- x.rk => $(Rkselect -- -- x.rk | wc -c) bytes"
--- stdout
filename:x.rk
id:1
name:smith

name:smith
id:5

filename:y.rk
id:4
name:smith

id:6
price:3

id:8
name:smith

-- -- x.rk => 0 bytes
--- status 0

=== file: -f reads words with quotes, backslashes and comments; every operand is an input file
--- file prog.rkl
/* a comment over
   two lines */ name == "a b"c OR name == 'x\y'
OR na\
me == a\ b\"q OR name == "p\"q\\r\k" OR /*x*/
--- file AND
name:a bc

name:a b

name:x\y

name:a b"q

name:p"q\r\k

/*x*/:1

name:"a b"c
--- run
Rkselect -f prog.rkl AND | paste -sd'|'
--- stdout
name:a bc||name:x\y||name:a b"q||name:p"q\r\k||/*x*/:1|
--- status 0

=== truth: absent, empty and "0" are false, two occurrences are true; n reads the value as a number
--- run
set -f
printf 'id:%s\n%b\n\n' 1 x:0 2 x: 3 x:0.0 4 x:abc 5 'x:0\nx:0' 6 '' 7 x:7 > t.rk
# Many occurrences (their values outgrow the first storage block): true.
{ echo id:8; yes x:0 | head -n 300; echo; } >> t.rk
while IFS= read -r l; do p=${l%% =>*} w=${l#*=> }; g=$(Rkselect $p t.rk </dev/null | sed -n 's/^id://p' | paste -sd' ')
  [[ ${g:--} == "$w" ]] || echo "$p => $g (expected $w)"; done <<'EOF'
x => 3 4 5 7 8
x:n => 5 7 8
x:n + 0 => 5 7 8
FIELD x [ { 0 1 } ] => 3 4 5 7 8
NOT x => 1 2 6
COUNT x => 1 2 3 4 5 7 8
x == FIELD x => 1 2 3 4 5 6 7 8
CONST 0 => -
{ 0 0 } => 1 2 3 4 5 6 7 8
VAR v = CONST 1 => 1 2 3 4 5 6 7 8
EOF
--- status 0

=== group: OR below AND below NOT below comparison below ",", and ";" lowest; a leading - negates
--- run
set -f
printf 'id:%s\n%b\n\n' 1 'a:1\nb:0' 2 'a:2\nb:1' 3 'name:x\nname:y' 4 name:x > g.rk
while IFS= read -r l; do p=${l%% =>*} w=${l#*=> }; g=$(Rkselect $p g.rk </dev/null | sed -n 's/^id://p' | paste -sd' ')
  [[ ${g:--} == "$w" ]] || echo "$p => $g (expected $w)"; done <<'EOF'
a == 1 OR a == 2 AND a == 3 => 1
NOT a == 1 => 2 3 4
NOT b AND a => 1
name == x , CONST y => 3
name == x , y => 4
a == 1 ; a == 2 => 2
- a => -
- FIELD a => 1 2
EOF
--- status 0

=== compare: lists element by element, fields on either side, numbers or strings, inclusion, matching
--- run
set -f
printf 'id:%s\n%b\n\n' 1 'a:1\na:2' 2 a:5 3 'a:10\nname:kiwi\nname:apple' 4 'a:1\nname:banana' > c.rk
while IFS= read -r l; do p=${l%% =>*} w=${l#*=> }; g=$(Rkselect $p c.rk </dev/null | sed -n 's/^id://p' | paste -sd' ')
  [[ ${g:--} == "$w" ]] || echo "$p => $g (expected $w)"; done <<'EOF'
a == 1 => 4
a == { 1 2 } => 1
{ 1 2 } == FIELD a => 1
a INCL 1 => 1 4
COUNT a == 2 => 1
a => 1 2 3 4
a < { 1 3 } => 1 4
CONST 1 < FIELD a => 1 2 3
CONST 1 > FIELD a => -
a > 9 => -
a:n > 9 => 3
a:n >= 5 => 2 3
a:n <= 5 => 1 2 4
a:n != 5 => 1 3 4
nofield:n < 6 => 1 2 3 4
CONST 10 > FIELD a => 1 4
CONST 10 > FIELD a:n => 1 2 4
a == 10.0 => -
a + 0 == 10.0 => 3
a INCL { 2 1 } => 1
a INCL { } => 1 2 3 4
a INCL CONST 1.0 => -
a:n INCL CONST 1.0 => 1 4
{ 1 2 3 } INCL FIELD a => 1 4
name LIKE ^b => 4
name =~ { ^k e$ } => 3
name UNLIKE a => 3
name !~ ^a => 3 4
FIELDS LIKE ^name:k => 3
EOF
--- status 0

=== compare: a field of 300 occurrences, whose values outgrow the first storage for values
--- run
{ seq -f a:%g 0 299; echo id:1; } > many.rk
# "condition => status, number of records kept"
for p in 'a INCL 299' 'a == 1' 'COUNT a == 300'; do Rkselect $p many.rk > out; echo "$p => $? $(grep -c '^id:1$' out)"; done
--- stdout
a INCL 299 => 0 1
a == 1 => 0 0
COUNT a == 300 => 0 1
--- status 0

=== errors: an unknown option writes the usage and the scan goes on; status 2, no input read
--- stdin
a:1
--- run
Rkselect -x -D bogus=1 a
--- stderr escaped
Rkselect [-options] condition [input-file ..]
\tsearch Rk-records by conditional expression.
\tOptions:
\t\t-F\tadds filename: field.
\tCondition: field == value like form; see the manual.
Rkselect: -D bogus is unknown.
--- status 2

=== errors: each message with its status, before the input or while reading it
--- run
set -f
printf 'name:a\npat:a(\n' > x.rk
while IFS= read -r l; do p=${l%% =>*} w=${l#*=> }; g=$(Rkselect $p x.rk 2>&1 >/dev/null </dev/null; echo "($?)")
  [[ ${g//$'\n'/|} == "$w" ]] || echo "$p => ${g//$'\n'/|} (expected $w)"; done <<'EOF'
price = CONST 1 => Rkselect: invalid left hand of '=' for Rkselect.|(2)
a [ 0 ] = x => Rkselect: invalid left hand of '=' for Rkselect.|(2)
FIELDS = { } => Rkselect: invalid left hand of '=' for Rkselect.|(2)
OUTPUT ; VAR v = x => Rkselect: OUTPUT is not allowed in Rkselect.|(2)
a == == b => Rkselect: syntax error at the argument 2 (==).|(2)
-F a == == b => Rkselect: syntax error at the argument 3 (==).|(2)
a INCL { x y => Rkselect: missing '}' at the end of arguments (6).|(2)
a:x == 1 => Rkselect: unknown qualifier.|(2)
name LIKE a( => Rkselect: regular expression error (unmatched ()) in 'a('.|(2)
CONST 5 / 0 => Rkselect: zero division.|(2)
CONST 7 % 0 => Rkselect: zero division.|(2)
-f missing.rkl => Rkselect: can't open missing.rkl.|Rkselect: missing.rkl: No such file or directory|(3)
name LIKE FIELD pat => Rkselect: regular expression error (unmatched ()) in x.rk(1) with 'a('.|(1)
name:n / 0 => Rkselect: zero division at x.rk(1).|(1)
EOF
--- status 0

=== compare: NaN is unordered: EQ LT LE GT GE are false and NE true with NaN on either side, for numbers, lists and fields
--- run
set -f
printf 'id:%s\n%b\n\n' 1 x:nan 2 x:5 3 'x:-nan\nx:5' > n.rk
while IFS= read -r l; do p=${l%% =>*} w=${l#*=> }; g=$(Rkselect $p n.rk </dev/null | sed -n 's/^id://p' | paste -sd' ')
  [[ ${g:--} == "$w" ]] || echo "$p => $g (expected $w)"; done <<'EOF'
x:n == 5 => 2
x:n == 7 => -
x:n >= 6 => -
x:n <= 4 => -
x:n < 6 => 2
x:n > 4 => 2
x:n != 5 => 1 3
x:n INCL 5 => 2 3
x:n == FIELD x:n => 2
x:n != FIELD x:n => 1 3
CONST 5 <= FIELD x:n => 2
x + 0 >= { -1 5 } => 2
x + 0 != { -1 5 } => 1 2 3
{ 1 2 } + FIELD x:n < { 9 9 } => 2
EOF
--- status 0
