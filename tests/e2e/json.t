# RkfromJson and RktoJson. The table rows are "input :: command => output"
# as in stanza.t: the input and the output given as their lines joined by |,
# the input through printf %b (so a JSON escape is written \\u, \\n), the
# output followed by the status and the messages, through cat -v.

=== table: values, arrays, nesting, newlines, escapes, top-level arrays, bad input, the way back
--- run
mkdir loc; localedef -i de_DE -f ISO-8859-1 loc/l1 2> /dev/null
while IFS= read -r l; do in=${l%% ::*} rest=${l#* :: } cmd=${rest%% =>*} want=${rest#*=> }
  got=$(printf '%b\n' "${in//|/\\n}" | { eval "$cmd" 2> err; echo "status $?"; cat err; } | cat -v | paste -sd'|')
  [[ $got == "$want" ]] || echo "$in :: $cmd => $got (expected $want)"; done <<'EOF2'
{"a":"x","b":1.50,"c":true,"d":false,"e":null,"f":-0e+3, "g" : "" } :: RkfromJson => a:x|b:1.50|c:true|d:false|e:|f:-0e+3|g:||status 0
{"a":[1,[2,3],{"b":4,"c":{"d":5}}],"e":{},"f":[]}|{"g":1} :: RkfromJson => a:1|a:2|a:3|a.b:4|a.c.d:5||g:1||status 0
{}|{"o":{"p":1,"":{"q":2}}} :: RkfromJson -s / => o/p:1|o//q:2||status 0
{}|{"o":1} :: RkfromJson -F => o:1||status 0
{"a":"x\\ny","b":"1\\n"} :: RkfromJson => a:x|a:y|b:1|b:||status 0
{"a":"x\\ny","b":"1\\n"} :: RkfromJson -n ' / ' => a:x / y|b:1 / ||status 0
\xef\xbb\xbf{"a":"\\"\\\\\\u00e9\\ud83d\\ude00\\/\\r"} :: RkfromJson => a:"\M-CM-)M-pM-^_M-^XM-^@/^M||status 0
[{"a":1},|{"a":2}] {"a":3}|[]|[ ] :: RkfromJson => a:1||a:2||a:3||status 0
{"a":1}|{"a":2|{"a":3}|nope|{"a":4}|"s"|[5,{"a":6}]|{"a":7} :: RkfromJson => a:1||a:3||a:4||a:6||a:7||status 1|RkfromJson: text that is not JSON in (stdin)(3) (Missing a comma or '}' after an object member), read on from the next line.|RkfromJson: text that is not JSON in (stdin)(4) (Invalid value), read on from the next line.|RkfromJson: a value that is not an object in (stdin)(6), left out.|RkfromJson: a value that is not an object in (stdin)(7), left out.
[{"a":1},{"a":2} :: RkfromJson => a:1||a:2||status 1|RkfromJson: text that is not JSON in (stdin)(2) (The top-level array does not end), read on from the next line.
[{"a":1} {"a":2},|{"a":3}] :: RkfromJson => a:1||a:3||status 1|RkfromJson: text that is not JSON in (stdin)(1) (Missing a comma or ']' after an array element), read on from the next line.
{"a\\u0000":"x\\u0000y","k:v":1,"l\\nm":2} :: RkfromJson => a:xy|k:v:1|l?m:2||status 1|RkfromJson: skips a NULL character in the file (stdin)(1).|RkfromJson: skips a NULL character in the file (stdin)(1).|RkfromJson: the member name in (stdin)(1) holds a colon, where a field name ends.|RkfromJson: a line break in a member name in (stdin)(1), written as ?.
{"a":"\xff"}|{"a":"\\ud800"}|{"a":"\\udc00x"}|{"a":1} :: RkfromJson => a:?||a:?x||a:1||status 1|RkfromJson: a byte that is not UTF-8 in (stdin)(1), written as ?.|RkfromJson: text that is not JSON in (stdin)(2) (The surrogate pair in string is invalid), read on from the next line.|RkfromJson: a character the locale can't encode in (stdin)(3), written as ?.
{"a":"\xc3\xa9\xe2\x82\xac"} :: LC_ALL=C RkfromJson => a:??||status 1|RkfromJson: a character the locale can't encode in (stdin)(1), written as ?.|RkfromJson: a character the locale can't encode in (stdin)(1), written as ?.
{"a":"\xc3\xa9\\u20ac"} :: LOCPATH=loc LC_ALL=l1 RkfromJson => a:M-i?||status 1|RkfromJson: a character the locale can't encode in (stdin)(1), written as ?.
{|  "a": 1,|  "b": [|    "x"|  ]|}|{"c":2} :: RkfromJson => a:1|b:x||c:2||status 0
{"a":1}\r|{"b":2} {"c":3}{"d":4}\r :: RkfromJson => a:1||b:2||c:3||d:4||status 0
{"a":[1,2],"b":{"c":[{"d":"x\\ny"}]}} :: RkfromJson -s __ -n ' ' => a:1|a:2|b__c__d:x y||status 0
[[{"a":1}],{"b":2}] :: RkfromJson => b:2||status 1|RkfromJson: a value that is not an object in (stdin)(1), left out.
{"o":{"p":1}} :: RkfromJson -s a:b 2> /dev/null => status 2
{"o":{"p":1}} :: RkfromJson -s $'\n' 2> /dev/null => status 2
{"a":"x\\ny"} :: RkfromJson -n $'\n!' 2> /dev/null => status 2
{"a":1} :: RkfromJson <&- => status 3|RkfromJson: code error in the file (stdin)(1), irrecoverable.
{"a":1e400,"b":-2e999,"c":1e-400,"d":-0,"e":1E+0400,"f":[0.5e-99999,"1e400"]} :: RkfromJson => a:1e400|b:-2e999|c:1e-400|d:-0|e:1E+0400|f:0.5e-99999|f:1e400||status 0
{"a":1e400,"b":01}|{"a":1e400,"b":1.}|{"a":.5}|{"a":1e999,"b":1e}|{"a":+1}|{"a":-}|{"a":-1e400} :: RkfromJson => a:-1e400||status 1|RkfromJson: text that is not JSON in (stdin)(1) (Missing a comma or '}' after an object member), read on from the next line.|RkfromJson: text that is not JSON in (stdin)(2) (Miss fraction part in number), read on from the next line.|RkfromJson: text that is not JSON in (stdin)(3) (Invalid value), read on from the next line.|RkfromJson: text that is not JSON in (stdin)(4) (Miss exponent in number), read on from the next line.|RkfromJson: text that is not JSON in (stdin)(5) (Invalid value), read on from the next line.|RkfromJson: text that is not JSON in (stdin)(6) (Invalid value), read on from the next line.
a:1e400|b:-0|c:1E+0400|d:1e-400 :: RktoJson => {"a":1e400,"b":-0,"c":1E+0400,"d":1e-400}|status 0
a:1|a:2|b:007|c:1.|d:-0.5e+10|e:|f:nan|g:true|:x|h:0|i:-|j:01.5|k:1e5|l:.5 :: RktoJson => {"a":[1,2],"b":"007","c":"1.","d":-0.5e+10,"e":"","f":"nan","g":"true","":"x","h":0,"i":"-","j":"01.5","k":1e5,"l":".5"}|status 0
a:1|b:x||c:2 :: RktoJson -A -s => {"a":["1"],"b":["x"]}|{"c":["2"]}|status 0
a:"\\\\\b\f\r\t\001\x7f\xc3\xa9 :: RktoJson => {"a":"\"\\\\\b\f\r\t\u0001^?M-CM-)"}|status 0
a:\xe9|b\x80:1 :: LOCPATH=loc LC_ALL=l1 RktoJson => {"a":"M-CM-)","bM-BM-^@":1}|status 0
o.p:1|o.r:x|o.p:2|s:3|t.u.v:4|.w:5 :: RktoJson -u . => {"o":{"p":[1,2],"r":"x"},"s":3,"t":{"u":{"v":4}},"":{"w":5}}|status 0
x:1|x.y:2|x.y.z:3|z.w:3||x.y:1 :: RktoJson -u . => {"x":1,"x.y":2,"x.y.z":3,"z":{"w":3}}|{"x":{"y":1}}|status 0|RktoJson: names that are both a value and an object, from (stdin)(1) on, are written as given.
a__b:1|c.d:2 :: RktoJson -u __ => {"a":{"b":1},"c.d":2}|status 0
a:1||b:2 :: RktoJson -a => [|{"a":1},|{"b":2}|]|status 0
 :: RktoJson -a => [|]|status 0
a:1||a:2 :: RktoJson -a -A -s => [|{"a":["1"]},|{"a":["2"]}|]|status 0
.:1|a..b:2|a.:3 :: RktoJson -u . => {"":{"":1},"a":{"":3,".b":2}}|status 0|RktoJson: names that are both a value and an object, from (stdin)(1) on, are written as given.
EOF2
# -F names files only; a file that can't be opened is counted and skipped;
# -a makes one array of all the files.
printf '{"a":1}' > nonl
printf '{"c":2}\n' | RkfromJson -F nonl missing -
echo "status $?"
printf 'x:1\n\n' > x.rk
RktoJson -a x.rk x.rk
--- stdout
a:1
filename:nonl

c:2

status 1
[
{"x":1},
{"x":1}
]
--- stderr
RkfromJson: can't open missing.
RkfromJson: missing: No such file or directory
=== property: numbers as written, beyond a double's range too, across the end of the read buffer; bad ones errors
--- run
python3 - <<'PY'
import random, re, subprocess
rnd = random.Random(400)
NUMBER = re.compile(r'-?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?')
def number():
    runs = [''.join(rnd.choice('-+.eE0123456789') for _ in range(rnd.randint(1, 8)))]
    runs += ['-'[:rnd.randint(0, 1)] + '9' * rnd.choice([1, 309, 400]) + rnd.choice(['', '.5', 'e', 'E+']) + '0' * rnd.randint(0, 3)
             + str(rnd.randint(0, 10**6))]
    return rnd.choice(runs)
# A number that the end of the first read of 65536 bytes cuts, one longer
# than the buffer, and one big number before each of half the others (the
# parser is shown stand-ins for the whole value then).
cut = '{"n":-12.5e+00'
lines = [('{"p":"%s"}' % ('x' * (65536 - len(cut) - 9)), 'p:' + 'x' * (65536 - len(cut) - 9) + '\n'),
         (cut + '00400}', 'n:-12.5e+0000400\n'), ('{"n":%s}' % ('1' * 100000), 'n:' + '1' * 100000 + '\n')]
for _ in range(3000):
    n, big = number(), rnd.random() < 0.5
    line = ('{"a":1e400,' if big else '{') + '"n":%s}' % n
    lines.append((line, ('a:1e400\n' if big else '') + 'n:%s\n' % n if NUMBER.fullmatch(n) else None))
open('in.json', 'w').write(''.join(l + '\n' for l, _ in lines))
rk = subprocess.run(['RkfromJson', 'in.json'], capture_output=True, text=True)
bad = [i + 1 for i, (_, want) in enumerate(lines) if want is None]
told = [int(m) for m in re.findall(r'not JSON in in\.json\((\d+)\)', rk.stderr)]
print(rk.returncode, len(bad) > 500, told == bad, rk.stdout == ''.join(w + '\n' for _, w in lines if w))
back = subprocess.run(['RktoJson'], input=rk.stdout, capture_output=True, text=True)
print(back.returncode, back.stdout == ''.join(l + '\n' for l, w in lines if w))
PY
--- stdout
1 True True True
0 True
=== property: generated JSON Lines come back as the same values, and Rk-files as the same records
--- run
python3 - <<'PY'
import json, random, re, subprocess
rnd = random.Random(37)
NUMBER = re.compile(r'-?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?')
CHARS = 'ab "\\\t/é€\u00ad\u2028\U0001F600\x01\x7f'
def text(no=''):
    s = ''.join(rnd.choice(CHARS) for _ in range(rnd.choice([0, 1, 3, 12])))
    s = ''.join(c for c in s if c not in no)
    return s + 'x' if NUMBER.fullmatch(s) else s
def scalar():
    return rnd.choice([text(), rnd.randint(-10**12, 10**12), rnd.uniform(-1e6, 1e6), rnd.random() * 1e-9])
def obj(depth):
    o = {}
    for _ in range(rnd.randint(1, 5)):
        kind = rnd.random()
        o[text('.:')] = ([scalar() for _ in range(rnd.randint(2, 4))] if kind < 0.2 else
                         obj(depth + 1) if kind < 0.35 and depth < 3 else scalar())
    return o
objs = [obj(0) for _ in range(3000)]
lines = ''.join(json.dumps(o, ensure_ascii=rnd.random() < 0.5) + '\n' for o in objs).encode()
rk = subprocess.run(['RkfromJson'], input=lines, capture_output=True)
back = subprocess.run(['RktoJson', '-u', '.'], input=rk.stdout, capture_output=True)
got = [json.loads(l) for l in back.stdout.decode().split('\n')[:-1]]
print('json:', rk.returncode, back.returncode, rk.stderr, back.stderr, len(got), got == objs)
# Rk-files whose names hold no dot: through JSON and back, the same fields,
# those of a name together in the order of the name's first occurrence.
records = [[(text('.:\n'), text('\n')) for _ in range(rnd.randint(1, 8))] for _ in range(3000)]
for r in records:
    for i in range(len(r)):
        if rnd.random() < 0.3: r[i] = (r[rnd.randrange(i + 1)][0], r[i][1])
# Records of a few kinds in turn: the names of one of the last records.
for i in range(1, len(records)):
    if rnd.random() < 0.6:
        records[i] = [(n, text('\n')) for n, _ in records[i - rnd.randint(1, min(i, 6))]]
rkfile = ''.join(''.join(f'{n}:{v}\n' for n, v in r) + '\n' for r in records).encode()
js = subprocess.run(['RktoJson'], input=rkfile, capture_output=True)
again = subprocess.run(['RkfromJson'], input=js.stdout, capture_output=True)
def grouped(r):
    order = list(dict.fromkeys(n for n, _ in r))
    return ''.join(f'{n}:{v}\n' for name in order for n, v in r if n == name) + '\n'
print('rk:', js.returncode, again.returncode, again.stdout.decode() == ''.join(grouped(r) for r in records))
PY
--- stdout
json: 0 0 b'' b'' 3000 True
rk: 0 0 True
