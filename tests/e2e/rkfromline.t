# RkfromLine: lines cut into records by a field-format list. The table rows
# are "line :: arguments => the output lines joined by |", the line fed on
# standard input (printf %b) and the messages merged in front.

=== cut: delimiters, fixed fields, quotes, repeats and conversions, line by line
--- run
while IFS= read -r l; do line=${l%% ::*} rest=${l#* :: } args=${rest%% =>*} want=${rest#*=> }
  eval "set -- $args"
  got=$(printf '%b\n' "$line" | RkfromLine "$@" 2>&1 | paste -sd'|')
  [[ $got == "$want" ]] || echo "$line :: $args => $got (expected $want)"; done <<'EOF2'
a,b :: x,y => x:a,b|
1,2 :: -t , x,y,z => x:1|y:2|
a,,b, :: -t , 'a:*' => a:a|a:|a:b|a:|
  a  b   :: -t ' +' 'a:*' => a:a|a:b|
 :: -t '' x,y => x:|
 :: x => 
abc :: -t , a:0-4 => RkfromLine: field a truncated by the end of line at (stdin)(1).|a:abc|
abcde :: -t , 'a:5(2)' => RkfromLine: field a start position exceeds the end of line at (stdin)(1).
ab   cdefg :: 'a:(4)l,b:(3)r,c:(3)l' => a:ab|b:cd|c:efg|
"x,y",z :: -t , 'a:/\,/q,b' => a:x,y|b:z|
p,q\\,r :: -t , -z b 'a,b' => a:p|b:q,r|
abcdef :: ':(3),a' => a:def|
x1y22z :: 'a:@[0-9]+@*' => a:x1|a:y22|
abcdef :: 'a:2(2)*,b:(2),:0(1)*,c' => a:cd|b:ef|c:bcdef|
12abc,abc :: -t , 'a::%d,b::%d' => a:12|b:|
k:v :: a:f => k:v|
xyz :: -t 'A?' a,b => a:xyz|
xAyz :: 'a:@(A)?@,b' => a:xA|b:yz|
xyz :: 'a:@(A)?@,b' => a:xyz|
EOF2
--- status 0

=== files: -F names the file, standard input gets none; a file that can't be opened is counted and skipped
--- run
printf 'a\n' > one.txt
printf 'b\n' | RkfromLine -F x one.txt missing.txt -
echo "status $?"
--- stdout
x:a
filename:one.txt

x:b

status 1
--- stderr
RkfromLine: can't open missing.txt.
RkfromLine: missing.txt: No such file or directory
--- status 0

=== continue: -c joins the lines of an open quote with the -n text; messages name the real line numbers
--- run
printf '"x\ny",z\n1,2,3\n"open\n' | RkfromLine -c -n ' ' -t , 'a:q,b,c:(5)'
echo "status $?"
--- stdout
a:x y
b:z

a:1
b:2
c:3

a:open

status 1
--- stderr
RkfromLine: field c truncated by the end of line at (stdin)(3).
--- status 0

=== usage: an unknown option, no list or an exclusive list give the usage; list faults stop before any input
--- run
for a in "-y x" "" "^x" "a:s" "a:(" "-t ( x" "-z y x"; do RkfromLine $a < /dev/null; echo "status $?"; done 2>&1 | grep -v '^	'
--- stdout
RkfromLine [-options] field-format-list [input-file ..]
status 2
RkfromLine [-options] field-format-list [input-file ..]
status 2
RkfromLine [-options] field-format-list [input-file ..]
status 2
RkfromLine: format syntax error in the field a at 's'.
status 2
RkfromLine: format syntax error in the field a at ''.
status 2
RkfromLine: regular expression error (unmatched ()) in -t parameter or format.
status 2
RkfromLine: -z option error 'y'.
status 2
--- status 0

=== empty matches: a delimiter or pattern that can match the empty text ends a field only where it matches some text; the pieces and the delimiters give back the whole value (Rkunpack, RkfromLine against a model)
--- run
python3 - <<'PY'
import random, re, subprocess
r = random.Random(34)
def run(cmd, data):
    p = subprocess.run(cmd, input=data.encode(), capture_output=True)
    return p.stdout.decode() + p.stderr.decode() + "status %d" % p.returncode
def find(d, s, p):
    # The first non-empty match from p; an empty one is passed over.
    while p <= len(s):
        m = d.search(s, p)
        if not m or m.end() > m.start():
            return m
        p = m.start() + 1
def repeatable(d, t):
    m = d.match(t + t)
    return m is not None and m.end() == 2 * len(t)
def unpack(d, s):
    # Rkunpack's repeating delimited entry: the pieces, and the value again
    # from the pieces and the delimiters found.
    pieces, back, pos, more = [], "", 0, len(s) == 0 and find(d, "\n", 0) is not None
    while pos < len(s) or more:
        m = find(d, s, pos)
        if m and m.start() == pos and repeatable(d, m.group()):
            back, pos = back + m.group(), m.end()
            if pos == len(s) and not more:
                break
            m = find(d, s, pos)
        more = False
        end = m.start() if m else len(s)
        pieces.append(s[pos:end])
        back += s[pos:end] + (m.group() if m else "")
        pos = m.end() if m else len(s)
        more = m is not None and pos == len(s) and not repeatable(d, m.group())
    assert back == s, (d.pattern, s, pieces)
    return pieces
def by_pattern(d, s):
    pieces, pos = [], 0
    while pos < len(s):
        m = find(d, s, pos)
        if not m:
            # Only empty matches left: the value runs to the end.
            if d.search(s, pos):
                pieces.append(s[pos:])
                pos = len(s)
            break
        pieces.append(s[pos:m.end()])
        pos = m.end()
    assert "".join(pieces) + s[pos:] == s
    return pieces, s[pos:]
delims = ["A?", "(A|)", "[^x]?", "A*", "(AB?|y?)", "A", "A+", "AB|y", "x?A", "[^x]*"]
bad, cases = [], 0
for _ in range(300):
    d = r.choice(delims)
    values = ["".join(r.choice("AAxyB") for _ in range(r.randint(0, 7))) for _ in range(5)]
    text = "".join("v:%s\nk:1\n\n" % v for v in values)
    want = "".join("".join("v:%s\n" % p for p in unpack(re.compile(d), v)) + "k:1\n\n" for v in values) + "status 0"
    got = run(["Rkunpack", "-t", d, "v"], text)
    lines = "".join(v + "\n" for v in values)
    want2 = ""
    for v in values:
        pieces, rest = by_pattern(re.compile(d), v)
        # An empty line whose first pattern matches a newline gives one
        # empty field.
        due = rest or (v == "" and find(re.compile(d), "\n", 0))
        fields = ["a:" + p for p in pieces] + (["b:" + rest] if due else [])
        want2 += "".join(f + "\n" for f in fields) + ("\n" if fields else "")
    got2 = run(["RkfromLine", "a:@%s@*,b" % d], lines)
    cases += 1
    if got != want or got2 != want2 + "status 0":
        bad.append((d, values, got, want, got2, want2))
print("cases", cases, "differences", len(bad), bad[:1])
PY
--- stdout
cases 300 differences 0 []
