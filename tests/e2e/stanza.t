# RkfromStanza and RktoStanza. The table rows are "input :: command =>
# output" as in csv.t: the input and the output given as their lines joined
# by |, the input through printf %b, the output followed by the status and
# the messages, through cat -v.

=== table: names, blanks after the colon, continuations, paragraph ends, bad lines, the way back
--- run
while IFS= read -r l; do in=${l%% ::*} rest=${l#* :: } cmd=${rest%% =>*} want=${rest#*=> }
  got=$(printf '%b\n' "${in//|/\\n}" | { eval "$cmd" 2> err; echo "status $?"; cat err; } | cat -v | paste -sd'|')
  [[ $got == "$want" ]] || echo "$in :: $cmd => $got (expected $want)"; done <<'EOF2'
A: b|C:\td| e| .|\tf||X: y :: RkfromStanza => A:b|C:d|C:e|C:.|C:f||X:y||status 0
Name:|Other:  two|Tag: a::b, c::d|Empty: :: RkfromStanza => Name:|Other: two|Tag:a::b, c::d|Empty:||status 0
a: 1| \t|b: 2||||\t||c: 3|| :: RkfromStanza => a:1||b:2||c:3||status 0
a: 1\r| x\r|\r|b:2\r|  \r :: RkfromStanza => a:1|a:x||b:2||status 0
a: 1|oops| more|b: 2 :: RkfromStanza => a:1|oops|more|b:2||status 1|RkfromStanza: line without a colon in (stdin)(2), written as a field without a name.
 x|a: 1|| y :: RkfromStanza => :x|a:1||:y||status 1|RkfromStanza: continuation line without a field above in (stdin)(1), written with an empty name.|RkfromStanza: continuation line without a field above in (stdin)(4), written with an empty name.
a: 1\0 2|b\0: 3 :: RkfromStanza => a:1 2|b:3||status 1|RkfromStanza: skips a NULL character in the file (stdin)(1).|RkfromStanza: skips a NULL character in the file (stdin)(2).
\xef\xbb\xbfa: \xc3\xa9|  \xe2\x82\xac :: RkfromStanza => a:M-CM-)|a: M-bM-^BM-,||status 0
a: 1||b: 2|c:\xff :: RkfromStanza => a:1||status 3|RkfromStanza: code error in the file (stdin)(4), irrecoverable.
 :: RkfromStanza => status 0
a: 1 :: RkfromStanza <&- => status 3|RkfromStanza: code error in the file (stdin)(1), irrecoverable.
A:b|C:d|C:e|C:.||X:y :: RktoStanza => A: b|C: d| e| .||X: y||status 0
a:|a:x|a:|a: |b: x|b:\t :: RktoStanza => a:| x|a:|a:  |b:  x|b: 	||status 0
noname|a:1||:e|b:2|| c:3||:e|noname :: RktoStanza => noname|a: 1||: e|b: 2|| c: 3||: e|noname||status 1|RktoStanza: fields without a name, beginning with a blank or ending with a carriage return, from (stdin)(1) on, can't be read back.
a:x\r|b:y||c:\r :: RktoStanza => a: x^M|b: y||c: ^M||status 1|RktoStanza: fields without a name, beginning with a blank or ending with a carriage return, from (stdin)(1) on, can't be read back.
EOF2
# -F names files only; a file without a newline at its end; a file that
# can't be opened is counted and skipped.
printf 'a: 1\n b' > nonl
printf 'c: 2\n' | RkfromStanza -F nonl missing -
echo "status $?"
--- stdout
a:1
a:b
filename:nonl

c:2

status 1
--- stderr
RkfromStanza: can't open missing.
RkfromStanza: missing: No such file or directory
=== round trip: a canonical file comes back byte for byte, and so does an Rk-file through stanzas
--- run
cat > f <<'EOF'
Package: rk-tools
Depends: libc6 (>= 2.36),
 libstdc++6 (>= 12)
Description: filters for tagged text records
 Tools that select, sort and print records.
 .
 	a tab	inside
Conffiles:
 /etc/rk/rc 0123abcd
 /etc/rk/more 4567ef01 obsolete
Tag: role::program, use::filtering

Package: other
Multi-Arch: same
Empty:
Dots: ...

EOF
RkfromStanza f | RktoStanza | cmp - f && echo same
RkfromStanza f | RktoStanza | RkfromStanza | cmp - <(RkfromStanza f) && echo same again
printf 'a:1\na:2\nb: lead\nc:\nd:x:y\n\ne:tail\t\n\n' > r.rk
RktoStanza r.rk | RkfromStanza | cmp - r.rk && echo rk same
--- stdout
same
same again
rk same
=== property: generated canonical files with lines across the reading buffer come back whole, and read as a model reads them
--- run
python3 - <<'EOF'
import random, subprocess
rnd = random.Random(35)
def value():
    n = rnd.choice([0, 1, 5, 40, 70000, 200000])
    return ''.join(rnd.choices('ab: \t.é€x', k=n)).strip(' \t') or 'v'
def paragraph():
    lines, fields, names = [], [], ['A', 'Long-Name', 'x1', 'Tag']
    rnd.shuffle(names)
    for name in names[:rnd.randint(1, 4)]:
        first = rnd.choice(['', value()])
        lines.append(f'{name}: {first}' if first else f'{name}:')
        fields.append(f'{name}:{first}')
        for _ in range(rnd.choice([0, 0, 1, 3])):
            more = rnd.choice(['.', value()])
            lines.append(' ' + more)
            fields.append(f'{name}:{more}')
    return lines, fields
for trial in range(12):
    paras = [paragraph() for _ in range(rnd.randint(1, 30))]
    text = ''.join('\n'.join(l) + '\n\n' for l, _ in paras).encode()
    want = ''.join('\n'.join(f) + '\n\n' for _, f in paras).encode()
    got = subprocess.run(['RkfromStanza'], input=text, capture_output=True)
    back = subprocess.run(['RktoStanza'], input=got.stdout, capture_output=True)
    if got.stdout != want or back.stdout != text or got.returncode or back.returncode:
        print('trial', trial, 'differs', len(text)); break
else:
    print('all alike')
EOF
--- stdout
all alike
