# Rkgrep: keep the records whose fields match regular expressions.
#
# Groups (each case title starts with its group):
#   usage:    unknown options and a missing expression: usage text, status 2.
#   match:    an expression against each field's whole line name:value,
#             anchors per field, several expressions, -v, option forms.
#   multi:    -m: every expression against the whole record text, newlines
#             between the fields included.
#   efile:    expressions from -f files, one per line; empty lines and files.
#   files:    several inputs, "-", -F, records written as read, inputs that
#             cannot be opened or decoded.
#   text:     non-ASCII characters in records, expressions, sets and ranges.
#   regerr:   expressions that do not compile: the place and number given,
#             every expression compiled, status 2 before any input is read.
#   code:     undecodable bytes and NUL bytes in arguments and in
#             expression files, line by line and whole.
#   -D:       storage settings, tiny areas, unknown names.
#   big:      a 10 MB field, a large input with a literal that never occurs.
# Every case ends with its "--- status" line so that the blank line after it
# belongs to no expected text.

=== usage: an unknown option writes the usage text and nothing else
--- file a.rk
a:1
--- run
Rkgrep -x a a.rk
--- stderr escaped
Rkgrep [-options] expression [input-file ..]
Rkgrep [-options] [-e expression ..][-f efilename ..] [input-file ..]
\tsearches Rk-records by regular expression match.
\t-Options
\t-F\tadds filename: field.
\t-i\tignores case distinctions.
\t-m\tenables multi field matching.
\t-v\toutput records which doesn't match.
--- status 2

=== usage: no -e, no -f and no operand: there is no expression, standard input is not read
--- stdin
a:1
--- run
Rkgrep
echo "status $?" >&2
Rkgrep -vF -D rsize=8 --
--- stderr escaped
Rkgrep [-options] expression [input-file ..]
Rkgrep [-options] [-e expression ..][-f efilename ..] [input-file ..]
\tsearches Rk-records by regular expression match.
\t-Options
\t-F\tadds filename: field.
\t-i\tignores case distinctions.
\t-m\tenables multi field matching.
\t-v\toutput records which doesn't match.
status 2
Rkgrep [-options] expression [input-file ..]
Rkgrep [-options] [-e expression ..][-f efilename ..] [input-file ..]
\tsearches Rk-records by regular expression match.
\t-Options
\t-F\tadds filename: field.
\t-i\tignores case distinctions.
\t-m\tenables multi field matching.
\t-v\toutput records which doesn't match.
--- status 2

=== usage: -e cannot follow flags in a cluster (-me), nor can an unknown letter (-vx)
--- file a.rk
a:1
--- run
Rkgrep -me a a.rk
echo "status $?" >&2
Rkgrep -vx a a.rk
--- stderr escaped
Rkgrep [-options] expression [input-file ..]
Rkgrep [-options] [-e expression ..][-f efilename ..] [input-file ..]
\tsearches Rk-records by regular expression match.
\t-Options
\t-F\tadds filename: field.
\t-i\tignores case distinctions.
\t-m\tenables multi field matching.
\t-v\toutput records which doesn't match.
status 2
Rkgrep [-options] expression [input-file ..]
Rkgrep [-options] [-e expression ..][-f efilename ..] [input-file ..]
\tsearches Rk-records by regular expression match.
\t-Options
\t-F\tadds filename: field.
\t-i\tignores case distinctions.
\t-m\tenables multi field matching.
\t-v\toutput records which doesn't match.
--- status 2

=== usage: an unknown option after a bad -e: the options are scanned before anything is compiled
--- file a.rk
a:1
--- run
Rkgrep -e '(' -f missing.txt -q a.rk
--- stderr escaped
Rkgrep [-options] expression [input-file ..]
Rkgrep [-options] [-e expression ..][-f efilename ..] [input-file ..]
\tsearches Rk-records by regular expression match.
\t-Options
\t-F\tadds filename: field.
\t-i\tignores case distinctions.
\t-m\tenables multi field matching.
\t-v\toutput records which doesn't match.
--- status 2

=== match: an expression matches anywhere in a field's line, the field name included, case counts
--- stdin
name:Bob
city:Oslo

city:Rome
who:Ann

x:bar

title:x:y

banana
--- run
Rkgrep a
--- stdout
name:Bob
city:Oslo

x:bar

banana

--- status 0

=== match: ^ and $ bind to each field's line, in any position of the record
--- file in.rk
name:Bob
city:Oslo

city:Rome
who:Ann

x:city:Oslo

Oslo
--- run
echo '> ^city:'
Rkgrep '^city:' in.rk
echo '> Oslo$'
Rkgrep 'Oslo$' in.rk
echo '> ^Oslo'
Rkgrep '^Oslo' in.rk
echo '> ^city:Oslo$'
Rkgrep '^city:Oslo$' in.rk
--- stdout
> ^city:
name:Bob
city:Oslo

city:Rome
who:Ann

> Oslo$
name:Bob
city:Oslo

x:city:Oslo

Oslo

> ^Oslo
Oslo

> ^city:Oslo$
name:Bob
city:Oslo

--- status 0

=== match: without -m a match never spans two fields, not even with a newline in the expression
--- file in.rk
a:1
b:2
--- run
Rkgrep 'a:1.b' in.rk
Rkgrep $'1\nb' in.rk
Rkgrep '1.*2' in.rk
echo '> 1$'
Rkgrep '1$' in.rk
--- stdout
> 1$
a:1
b:2

--- status 0

=== match: two -e must both match, in the same field or in different ones
--- file in.rk
name:Ann
age:30

name:Bob
age:30

name:Ann
age:41

age:30 name:Ann
--- run
echo '> ^name:Ann$ and ^age:30$'
Rkgrep -e '^name:Ann$' -e '^age:30$' in.rk
echo '> Ann and 30'
Rkgrep -e Ann -e 30 in.rk
--- stdout
> ^name:Ann$ and ^age:30$
name:Ann
age:30

> Ann and 30
name:Ann
age:30

age:30 name:Ann

--- status 0

=== match: -v writes the records in which at least one expression fails
--- file in.rk
name:Ann
age:30

name:Bob
age:30

name:Ann
age:41

age:30 name:Ann
--- run
echo '> -v ^name:Ann$ and ^age:30$'
Rkgrep -v -e '^name:Ann$' -e '^age:30$' in.rk
echo '> -v Ann'
Rkgrep -v Ann in.rk
--- stdout
> -v ^name:Ann$ and ^age:30$
name:Bob
age:30

name:Ann
age:41

age:30 name:Ann

> -v Ann
name:Bob
age:30

--- status 0

=== match: -e takes the next argument even if it looks like an option; with -e the first operand is an input file
--- file x.rk
-v:1

k:x.rk
--- stdin
k:stdin
--- run
Rkgrep -e -v x.rk
Rkgrep -- -v x.rk
Rkgrep -ek x.rk
Rkgrep -e k x.rk
--- stdout
-v:1

-v:1

k:x.rk

k:x.rk

--- status 0

=== match: -e as the last argument is the empty expression, which every record matches
--- file in.rk
k:1

j:2
--- run
Rkgrep -e < in.rk
Rkgrep -v -e < in.rk
--- stdout
k:1

j:2

--- status 0

=== match: the first operand after the expression ends the options: a later -v is an input file
--- file a.rk
a:1
--- run
Rkgrep a -v a.rk
--- stderr
Rkgrep: can't open -v.
Rkgrep: -v: No such file or directory
--- status 3

=== match: a backslash makes special characters plain, \" matches a double quote
--- file in.rk
v:a.b

v:axb

q:say "hi"

p:(1+2)*3
--- run
echo '> a\.b'
Rkgrep 'a\.b' in.rk
echo '> a.b'
Rkgrep 'a.b' in.rk
echo '> \"hi\"$'
Rkgrep '\"hi\"$' in.rk
echo '> ^p:\(1\+2\)\*3$'
Rkgrep '^p:\(1\+2\)\*3$' in.rk
--- stdout
> a\.b
v:a.b

> a.b
v:a.b

v:axb

> \"hi\"$
q:say "hi"

> ^p:\(1\+2\)\*3$
p:(1+2)*3

--- status 0

=== match: alternatives, repeated groups and nine groups in one expression
--- file in.rk
tag:alpha

tag:betax

tag:beta

tag:gamma

n:abab

n:aba

s:abcdefghi
--- run
echo '> tag:(alpha|beta)$'
Rkgrep 'tag:(alpha|beta)$' in.rk
echo '> ^n:(ab)+$'
Rkgrep '^n:(ab)+$' in.rk
echo '> nine groups'
Rkgrep '(a)(b)(c)(d)(e)(f)(g)(h)(i)' in.rk
--- stdout
> tag:(alpha|beta)$
tag:alpha

tag:beta

> ^n:(ab)+$
n:abab

> nine groups
s:abcdefghi

--- status 0

=== match: expressions that can match the empty string select every record
--- file in.rk
k:1

j:2
--- run
Rkgrep 'q*' in.rk
Rkgrep '|zz' in.rk
Rkgrep '(zz)?' in.rk
Rkgrep -v 'q*' in.rk
--- stdout
k:1

j:2

k:1

j:2

k:1

j:2

--- status 0

=== multi: -m tries the whole record text, and . matches the newline between fields
--- file in.rk
a:1
b:2

a:1
c:3
b:2

b:2
a:1
--- run
echo '> -m a:1.b'
Rkgrep -m 'a:1.b' in.rk
echo '> a:1.b'
Rkgrep 'a:1.b' in.rk
echo '> -m 1.*2'
Rkgrep -m '1.*2' in.rk
echo '> -m -v 1.*2'
Rkgrep -mv '1.*2' in.rk
--- stdout
> -m a:1.b
a:1
b:2

> a:1.b
> -m 1.*2
a:1
b:2

a:1
c:3
b:2

> -m -v 1.*2
b:2
a:1

--- status 0

=== multi: with -m, ^ binds to the start of the record only and $ to its end, after the last field's newline
--- file in.rk
a:1
b:2

a:1
c:3
b:2

b:2
a:1
--- run
echo '> -m ^b:'
Rkgrep -m '^b:' in.rk
echo '> ^b:'
Rkgrep '^b:' in.rk
echo '> -m 1$'
Rkgrep -m '1$' in.rk
echo '> -m 1.$'
Rkgrep -m '1.$' in.rk
echo '> -m 2\n$'
Rkgrep -m $'2\n$' in.rk
--- stdout
> -m ^b:
b:2
a:1

> ^b:
a:1
b:2

a:1
c:3
b:2

b:2
a:1

> -m 1$
> -m 1.$
b:2
a:1

> -m 2\n$
a:1
b:2

a:1
c:3
b:2

--- status 0

=== multi: with -m an expression file holding a newline matches across field lines; without -m each line is an expression
--- file ex.txt
a:1
b:2
--- file in.rk
a:1
b:2

a:1
c:3
b:2

x:a:1
b:22

b:2
a:1

a:1
--- run
echo '> -m -f'
Rkgrep -m -f ex.txt in.rk
echo '> -f'
Rkgrep -f ex.txt in.rk
--- stdout
> -m -f
a:1
b:2

x:a:1
b:22

> -f
a:1
b:2

a:1
c:3
b:2

x:a:1
b:22

b:2
a:1

--- status 0

=== multi: with -m only the final newline of the expression file is dropped
--- file nl2.txt
b:2

--- file nl0.txt noeol
b:2
--- file in.rk
b:2

b:22

b:2
c:3
--- run
echo '> two newlines'
Rkgrep -m -f nl2.txt in.rk
echo '> no newline'
Rkgrep -m -f nl0.txt in.rk
--- stdout
> two newlines
b:2

b:2
c:3

> no newline
b:2

b:22

b:2
c:3

--- status 0

=== multi: with -m each -e is tried once against the whole record, so two ^ cannot both hold
--- file in.rk
a:1
b:2

a:1
c:3
b:2

b:2
a:1
--- run
echo '> -m ^a: and c:3'
Rkgrep -m -e '^a:' -e 'c:3' in.rk
echo '> -m ^a: and ^b:'
Rkgrep -m -e '^a:' -e '^b:' in.rk
echo '> ^a: and ^b:'
Rkgrep -e '^a:' -e '^b:' in.rk
--- stdout
> -m ^a: and c:3
a:1
c:3
b:2

> -m ^a: and ^b:
> ^a: and ^b:
a:1
b:2

a:1
c:3
b:2

b:2
a:1

--- status 0

=== efile: each line of a -f file is an expression; together with -e all must match
--- file ex.txt
^name:
Ann
--- file in.rk
name:Ann
age:30

name:Bob
age:30

name:Ann
age:41

age:30 name:Ann
--- run
echo '> -f'
Rkgrep -f ex.txt in.rk
echo '> -f -e ^age:30$'
Rkgrep -f ex.txt -e '^age:30$' in.rk
--- stdout
> -f
name:Ann
age:30

name:Ann
age:41

> -f -e ^age:30$
name:Ann
age:30

--- status 0

=== efile: an empty line in an expression file is an expression that matches every field
--- file e1.txt

--- file e2.txt

Ann
--- file in.rk
name:Ann

name:Bob
--- run
echo '> empty line'
Rkgrep -f e1.txt in.rk
echo '> -v empty line'
Rkgrep -v -f e1.txt in.rk
echo '> empty line and Ann'
Rkgrep -f e2.txt in.rk
--- stdout
> empty line
name:Ann

name:Bob

> -v empty line
> empty line and Ann
name:Ann

--- status 0

=== efile: an empty expression file gives no expression and every record is selected
--- file in.rk
name:Ann

name:Bob
--- run
: > empty.txt
echo '> -f'
Rkgrep -f empty.txt in.rk
echo '> -v -f'
Rkgrep -v -f empty.txt in.rk
echo '> -m -f'
Rkgrep -m -f empty.txt in.rk
--- stdout
> -f
name:Ann

name:Bob

> -v -f
> -m -f
name:Ann

name:Bob

--- status 0

=== efile: several -f files add up; the last line needs no newline; the first operand is an input file
--- file f1.txt
^k:
--- file f2.txt noeol
1$
--- file in.rk
k:1

k:2

j:1

k:21
--- run
Rkgrep -f f1.txt -f f2.txt in.rk
--- stdout
k:1

k:21

--- status 0

=== files: several inputs and "-" in order; -F names the file before each record, nothing for standard input
--- file a.rk
k:a1

x:a2

k:a3
--- file b.rk noeol
k:b1
--- stdin
k:s1

j:s2

k:s3
--- run
Rkgrep -F '^k:' a.rk - b.rk
--- stdout
filename:a.rk
k:a1

filename:a.rk
k:a3

k:s1

k:s3

filename:b.rk
k:b1

--- status 0

=== files: -F with -v, a file name with a directory, and standard input read without "-"
--- file a.rk
k:a1

x:a2

k:a3
--- file sub/c.rk
j:c1

k:c2
--- run
Rkgrep -vF '^k:' a.rk sub/c.rk
Rkgrep -F k < a.rk
--- stdout
filename:a.rk
x:a2

filename:sub/c.rk
j:c1

k:a1

k:a3

--- status 0

=== files: selected records are written as read; empty lines between records become one; NUL bytes vanish
--- file in.rk escaped



a:1
x:y:z
:v
a line without colon
\t
\x0d-cr:1\x0d
b:\x00c

b:skip


a:2
last:no newline
--- run
echo '> a'
Rkgrep a in.rk
echo '> b:c$'
Rkgrep 'b:c$' in.rk
--- stdout escaped
> a
a:1
x:y:z
:v
a line without colon
\t
\x0d-cr:1\x0d
b:c

a:2
last:no newline

> b:c$
a:1
x:y:z
:v
a line without colon
\t
\x0d-cr:1\x0d
b:c

--- status 0

=== files: the first input that cannot be opened is fatal, with a period unlike a -f file
--- file a.rk
a:1
--- run
Rkgrep a missing.rk a.rk
--- stderr
Rkgrep: can't open missing.rk.
Rkgrep: missing.rk: No such file or directory
--- status 3

=== files: an undecodable byte in an input record is fatal, naming the input and the record
--- file f.rk escaped
k:1

k:\xff2

k:3
--- stdin escaped
k:1

j:2

k:\xc3(
--- run
Rkgrep k f.rk
echo "status $?" >&2
Rkgrep -v zzz
--- stdout
k:1

k:1

j:2

--- stderr
Rkgrep: code error in Rk-file f.rk(2), irrecoverable.
status 3
Rkgrep: code error in Rk-file (stdin)(3), irrecoverable.
--- status 3

=== text: a range of Greek letters, a negated ASCII range and . as one whole character
--- file in.rk
w:λόγος

w:ΛΟΓΟΣ

w:logos

c:é

c:ab
--- run
echo '> ^w:[α-ω]'
Rkgrep '^w:[α-ω]' in.rk
echo '> ^w:[^a-z]+$'
Rkgrep '^w:[^a-z]+$' in.rk
echo '> ^c:.$'
Rkgrep '^c:.$' in.rk
--- stdout
> ^w:[α-ω]
w:λόγος

> ^w:[^a-z]+$
w:λόγος

w:ΛΟΓΟΣ

> ^c:.$
c:é

--- status 0

=== text: a range from ASCII into Latin-1 compares characters, not bytes; so does a negated multibyte member
--- file in.rk
c:}

c:~

c:à

c:é

c:ÿ

c:è
--- file ex.txt
é$
--- run
echo '> ^c:[~-é]$'
Rkgrep '^c:[~-é]$' in.rk
echo '> ^c:[^é]$'
Rkgrep '^c:[^é]$' in.rk
echo '> -f é$'
Rkgrep -f ex.txt in.rk
--- stdout
> ^c:[~-é]$
c:~

c:à

c:é

c:è

> ^c:[^é]$
c:}

c:~

c:à

c:ÿ

c:è

> -f é$
c:é

--- status 0

=== text: non-ASCII field names, an expression file and a file name with -F
--- file ünï.rk
größe:1

name:ß

größe:2
--- file ex.txt
^grö
--- run
Rkgrep -F -f ex.txt ünï.rk
Rkgrep 'ß$' ünï.rk
--- stdout
filename:ünï.rk
größe:1

filename:ünï.rk
größe:2

name:ß

--- status 0

=== case: -i against the reference of Python's re with IGNORECASE, on ASCII and non-ASCII letters, sets, ranges and negated sets
--- run
python3 - <<'PY'
import random, re, subprocess
r = random.Random(35)
letters = 'aAbBcCxXéÉжЖωΩ"'
atoms = list('aBéÉжЖΩω".') + ['[a-c]', '[A-C]', '[^b-z]', '[à-ÿ]', '[Α-Ω]', '[éX]', '[^ÉЖ]']
subjects = sorted({''.join(r.choice(letters) for _ in range(r.randrange(7))) for _ in range(300)})
open('s.rk', 'w').write(''.join('s:%s\n\n' % t for t in subjects))
bad = 0
for _ in range(150):
    pat = ''.join(r.choice(atoms) + r.choice(['', '', '*', '+', '?']) for _ in range(r.randrange(1, 4)))
    got = subprocess.run(['Rkgrep', '-i', pat, 's.rk'], capture_output=True, text=True).stdout
    want = ''.join('s:%s\n\n' % t for t in subjects if re.search(pat, 's:' + t, re.I))
    if got != want:
        bad += 1
        print('differs:', pat)
print('patterns differing:', bad)
PY
--- stdout
patterns differing: 0
--- status 0

=== case: -i with -e, -f and -m; without -i case counts; the record is written as read
--- file a.rk
Name:Ann LEE
City:Åre

Name:bob
City:oslo

--- file ex.txt
^NAME:
CITY:[Å-Ö]R
--- run
Rkgrep -i -e ann -e 'city:år' a.rk && Rkgrep -i -f ex.txt a.rk && Rkgrep -m -i 'lee.CITY' a.rk && Rkgrep -v -i '^city:[^O]' a.rk && Rkgrep NAME a.rk
--- stdout
Name:Ann LEE
City:Åre

Name:Ann LEE
City:Åre

Name:Ann LEE
City:Åre

Name:bob
City:oslo

--- status 0

=== regerr: a bad -e is reported with the number of -e options so far; every -e is compiled; no input is opened
--- run
Rkgrep -e a -e '(b' -e c -e 'x**' missing.rk
--- stderr
Rkgrep: regular expression error (unmatched ()) in -e(2).
Rkgrep: regular expression error (nested *?+) in -e(4).
--- status 2

=== regerr: parentheses: a lone ( or ), and a tenth group side by side or nested
--- run
Rkgrep -e '(b' -e 'b)' -e 'a(b|c' -e '(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)' -e '((((((((((a))))))))))' missing.rk
--- stderr
Rkgrep: regular expression error (unmatched ()) in -e(1).
Rkgrep: regular expression error (unmatched ()) in -e(2).
Rkgrep: regular expression error (unmatched ()) in -e(3).
Rkgrep: regular expression error (too many ()) in -e(4).
Rkgrep: regular expression error (too many ()) in -e(5).
--- status 2

=== regerr: repetitions: nothing before, two in a row, an operand that can be empty; a good one in between keeps counting
--- run
Rkgrep -e '*a' -e 'a|+b' -e '(?a)' -e 'x**' -e 'x+?' -e '(a*)?' -e '(a*)*' -e '(b?)+' -e '^*' missing.rk
--- stderr
Rkgrep: regular expression error (?+* follows nothing) in -e(1).
Rkgrep: regular expression error (?+* follows nothing) in -e(2).
Rkgrep: regular expression error (?+* follows nothing) in -e(3).
Rkgrep: regular expression error (nested *?+) in -e(4).
Rkgrep: regular expression error (nested *?+) in -e(5).
Rkgrep: regular expression error (*+ operand could be empty) in -e(7).
Rkgrep: regular expression error (*+ operand could be empty) in -e(8).
Rkgrep: regular expression error (*+ operand could be empty) in -e(9).
--- status 2

=== regerr: sets and a trailing backslash; a double quote is no error
--- run
Rkgrep -e '[abc' -e '[]' -e '[a-' -e '[z-a]' -e '[ω-α]' -e 'a\' -e 'say"hi' -e '"' missing.rk
--- stderr
Rkgrep: regular expression error (unmatched []) in -e(1).
Rkgrep: regular expression error (unmatched []) in -e(2).
Rkgrep: regular expression error (unmatched []) in -e(3).
Rkgrep: regular expression error (invalid [] range) in -e(4).
Rkgrep: regular expression error (invalid [] range) in -e(5).
Rkgrep: regular expression error (trailing \) in -e(6).
--- status 2

=== match: a double quote, escaped or not, matches a double quote
--- file q.rk
Maintainer:Ann "Natural" Lee
Package:a

Maintainer:Bob Natural
Package:b

--- run
Rkgrep 'Maintainer:.*"Natural' q.rk && Rkgrep -e '"$' -e 'b' -v q.rk && Rkgrep '\"N' q.rk
--- stdout
Maintainer:Ann "Natural" Lee
Package:a

Maintainer:Ann "Natural" Lee
Package:a

Maintainer:Bob Natural
Package:b

Maintainer:Ann "Natural" Lee
Package:a

--- status 0

=== regerr: a bad third line of a -f file names the file and 3, after the other expressions, before a later bad -e
--- file ex.txt
^name:

[x
Ann
--- run
Rkgrep -e a -f ex.txt -e '(' missing.rk
--- stderr
Rkgrep: regular expression error (unmatched []) in ex.txt(3).
Rkgrep: regular expression error (unmatched ()) in -e(2).
--- status 2

=== regerr: every bad line of a file is reported, each file counting its own lines
--- file e1.txt
ok
(
ok
x**
--- file e2.txt
fine
a\
--- file in.rk
ok:fine
--- run
Rkgrep -f e1.txt -f e2.txt in.rk
--- stderr
Rkgrep: regular expression error (unmatched ()) in e1.txt(2).
Rkgrep: regular expression error (nested *?+) in e1.txt(4).
Rkgrep: regular expression error (trailing \) in e2.txt(2).
--- status 2

=== regerr: with -m the whole file is one expression, numbered 1
--- file ex.txt
a:1
b:2
c:(3
--- run
Rkgrep -m -f ex.txt missing.rk
--- stderr
Rkgrep: regular expression error (unmatched ()) in ex.txt(1).
--- status 2

=== regerr: the operand expression is reported "in argument"
--- run
Rkgrep '[z-a]' missing.rk
--- stderr
Rkgrep: regular expression error (invalid [] range) in argument.
--- status 2

=== regerr: a -f file that cannot be opened is counted, without a period; the other expressions are still compiled
--- file in.rk
a:1
--- run
Rkgrep -e a -f missing.txt -e '(' in.rk
echo "status $?" >&2
Rkgrep -f missing.txt -e a in.rk
--- stderr
Rkgrep: can't open missing.txt
Rkgrep: missing.txt: No such file or directory
Rkgrep: regular expression error (unmatched ()) in -e(2).
status 2
Rkgrep: can't open missing.txt
Rkgrep: missing.txt: No such file or directory
--- status 2

=== regerr: a literal too long for one program is refused; a shorter one still works
--- run
long=$(head -c 40000 /dev/zero | tr '\0' a)
Rkgrep "$long" missing.rk
echo "status $?" >&2
half=$(head -c 20000 /dev/zero | tr '\0' a)
printf 'k:b%s\n\nk:%sb\n\nk:b%sab\n' "$half" "${half:1}" "$half" > in.rk
Rkgrep "$half" in.rk | wc -l
--- stdout
4
--- stderr
Rkgrep: regular expression error (wregexp too big) in argument.
status 2
--- status 0

=== code: an -e argument that is not valid text is fatal at once, after the errors before it
--- file a.rk
a:1
--- run
Rkgrep -e '(' -e $'\xff' -e ')' a.rk
--- stderr
Rkgrep: regular expression error (unmatched ()) in -e(1).
Rkgrep: code error in the expression argument.
--- status 3

=== code: the operand expression too; in the C locale a non-ASCII expression is not valid text
--- file a.rk
a:é
--- run
Rkgrep $'a\xc3' a.rk
echo "status $?" >&2
LC_ALL=C Rkgrep 'é' a.rk
--- stderr
Rkgrep: code error in the expression argument.
status 3
Rkgrep: code error in the expression argument.
--- status 3

=== code: a NUL byte in an expression file is dropped and counted, naming the file and line: status 2
--- file n.txt escaped
k\x00:
--- file ex.txt escaped
^k:
b\x00c
(
--- file in.rk
k:bc
--- run
Rkgrep -f n.txt in.rk
echo "status $?" >&2
Rkgrep -f ex.txt in.rk
--- stderr
Rkgrep: skips a NULL character in the file n.txt(1).
status 2
Rkgrep: skips a NULL character in the file ex.txt(2).
Rkgrep: regular expression error (unmatched ()) in ex.txt(3).
--- status 2

=== code: an undecodable byte in an expression file is fatal, naming the file and line
--- file bad.txt escaped
^k:
b\xffc
--- file in.rk
k:bc
--- run
Rkgrep -f bad.txt in.rk
--- stderr
Rkgrep: code error in the file bad.txt(2), irrecoverable.
--- status 3

=== code: with -m the whole-file reader counts a NUL byte and an undecodable byte, naming only the file, and reads on
--- file e1.txt escaped
a\x00b
--- file e2.txt escaped
(\xffb
--- file e3.txt escaped
a\xffbb\x00c
--- file in.rk
k:ab
--- run
Rkgrep -m -f e1.txt in.rk
echo "status $?" >&2
Rkgrep -m -f e2.txt -f e3.txt in.rk
--- stderr
Rkgrep: skips a NULL character in the file e1.txt.
status 2
Rkgrep: code error in the file e2.txt.
Rkgrep: regular expression error (unmatched ()) in e2.txt(1).
Rkgrep: code error in the file e3.txt.
Rkgrep: skips a NULL character in the file e3.txt.
--- status 2

=== -D: the three settings in every accepted form
--- file a.rk
k:1

j:2
--- run
Rkgrep -D rsize=64,tsize=8 -D 'nsize = 2' k a.rk
Rkgrep -Drsize=1 -e j -D tsize,nsize a.rk
--- stdout
k:1

j:2

--- status 0

=== -D: an unknown name is reported once, before the expression errors, and nothing is read
--- run
Rkgrep -D ksize=1,rsize=8 a missing.rk
echo "status $?" >&2
Rkgrep -e '(' -D bogus=1 missing.rk
--- stderr
Rkgrep: -D ksize is unknown.
status 2
Rkgrep: -D bogus is unknown.
Rkgrep: regular expression error (unmatched ()) in -e(1).
--- status 2

=== -D: the smallest areas with 2000 expressions and records of 2000 fields
--- run
awk 'BEGIN { v = sprintf("%0100d", 7); for (r = 1; r <= 3; r++) { for (i = 1; i <= 2000; i++) if (r != 2 || i != 1000) print "f" i ":" v; print "" } }' > big.rk
awk 'BEGIN { for (i = 1; i <= 2000; i++) print "^f" i ":0*7$" }' > ex.txt
awk 'NR <= 2001' big.rk > want.rk
awk 'NR > 2001 && NR <= 4001' big.rk > other.rk
awk 'NR > 4001' big.rk >> want.rk
Rkgrep -D rsize=1,tsize=1,nsize=1 -f ex.txt big.rk | cmp - want.rk
Rkgrep -v -D 'rsize=1 tsize=1 nsize=1' -f ex.txt big.rk | cmp - other.rk
--- timeout 300
--- status 0

=== big: a 10 MB field against (a|b)*c and (ab)+ does not exhaust the stack
--- run
{ printf 'f:'; yes ab | head -n 5000000 | tr -d '\n'; printf 'c\n\ng:x\n'; } > big.rk
Rkgrep '(a|b)*c' big.rk | wc -l
Rkgrep '^f:(ab)+c$' big.rk | wc -l
Rkgrep '^f:(ab)+$' big.rk | wc -l
Rkgrep -v '(ab)+' big.rk | wc -l
--- stdout
2
2
0
2
--- timeout 600
--- status 0

=== big: a literal that never occurs, on a large input full of its first characters
--- run
awk 'BEGIN { s = "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz"; for (i = 1; i <= 200000; i++) { print "k:" i; print "z:" s "zzzr" s; print "" } }' > big.rk
Rkgrep zzzq big.rk | wc -l
Rkgrep -v zzzq big.rk | cmp - big.rk
printf 'k:last\nzzzq\n' >> big.rk
Rkgrep zzzq big.rk
--- stdout
0
k:last
zzzq

--- timeout 60
--- status 0

=== errors: an expression that runs out of memory while matching is named by its own place, not the last one compiled
--- unsanitized
--- run
awk 'BEGIN { s = "ab"; while (length(s) < 5000000) s = s s; print "k:" substr(s, 1, 5000000) "a" }' > long.rk
printf '^k:(a|b)*c\n' > ef
ulimit -v 200000
Rkgrep -e '^k:(a|b)*c' -e k long.rk; echo "status $?"
Rkgrep -f ef -e k long.rk; echo "status $?"
--- stdout
status 1
status 1
--- stderr
Rkgrep: regular expression error (out of space) in -e(1).
Rkgrep: regular expression error (out of space) in ef(1).
--- status 0
