# Rktie, Rkuntie, Rkpack, Rkunpack, Rkbundle and Rkunbundle. The table rows
# are "records :: command => output", the records as their field lines
# joined by | (printf %b, so \t stands for a tab), the output lines joined
# by | and followed by the status and the messages.

=== table: grouping algorithms, packing, bundling, messages
--- run
while IFS= read -r l; do in=${l%% ::*} rest=${l#* :: } cmd=${rest%% =>*} want=${rest#*=> }
  got=$(printf '%b' "${in//|/\\n}" | { eval "$cmd" 2> err; echo "status $?"; cat err; } | paste -sd'|')
  [[ $got == "$want" ]] || echo "$in :: $cmd => $got (expected $want)"; done <<'EOF2'
a:1|b:2|c:3|| :: Rktie a,b new => new:1	2|c:3||status 0
a:1|b:2|a:3|b:4|| :: Rktie -N a,b new => new:1	2|new:3	4||status 0
a:1|a:2|b:3|| :: Rktie -S a,b new => new:1|new:2	3||status 0
a:1|a:2|b:3|| :: Rktie -S 'a:*,b' new => new:1	2	3||status 0
b:0|a:1|b:2|a:3|| :: Rktie -L a,b new => new:0|new:1	2|new:3||status 0
b:0|a:1|b:2|a:3|| :: Rktie -N a,b new => new:0	1|new:2	3||status 0
a:1|b:2|b:3|a:4|| :: Rktie -N a,b new => new:1	2|new:3	4||status 0
a:1|b:2|b:3|a:4|| :: Rktie -S a,b new => new:1	2|new:3|new:4||status 0
a:1|b:2|b:3|a:4|| :: Rktie -L a,b new => new:1	2	3|new:4||status 0
a:1|b:2|b:3|a:4|| :: Rkunbundle -S a,b => a:1|b:2||b:3||a:4||status 0
a:1|a:2|b:3|| :: Rktie -L -t , 'a:*,b' new => new:1,2,3||status 0
x:1|y:2|x:3|| :: Rktie -t + ^z new => new:1+2|new:3||status 0
 :: Rktie -S '^x' new => status 2|Rktie: exclusive list is not allowed for -S option.
 :: Rktie -L '^x' new => status 2|Rktie: exclusive list is not allowed for -L option.
d:202401|n:1|| :: Rkuntie d 'y:0-3,m:4-5' => y:2024|m:01|n:1||status 0
n:1|| :: Rkuntie d 'y:0-3' => n:1||status 0
a:1|b:2|a:3|| :: Rkpack a => a:1	3|b:2||status 0
a:1\t3|b:2|| :: Rkunpack a => a:1|a:3|b:2||status 0
a:1|b:2|a:3|c:4|c:5|b:6|| :: Rkpack '^b' => a:1	3|b:2|c:4	5|b:6||status 0
a:123|a:456|| :: Rkpack 'a:(3)' => a:123456||status 0
a:123456|| :: Rkunpack 'a:(3)' => a:123|a:456||status 0
a:|b:1|| :: Rkunpack a => b:1||status 0
a:x,y|a:z|| :: Rkpack -t , -z q a => a:"x,y","z"||status 0
a:"x,y","z"|| :: Rkunpack -t , -z q a => a:x,y|a:z||status 0
 :: Rkpack 'a:5(2)' => status 2|Rkpack: absolute position of the field a is not allowed in Rkpack.
 :: Rkpack 'a:f' => status 2|Rkpack: f option of the field a is not allowed in Rkpack.
 :: Rkunpack 'a:f,b:5(1)' => status 2|Rkunpack: f option of the field a is not allowed in Rkunpack.|Rkunpack: absolute position of the field b is not allowed in Rkunpack.
 :: Rkunpack 'a:()' => status 2|Rkunpack: zero length field repeats in the field a.
 :: Rkunpack 'a:-3' => status 2|Rkunpack: end position and * conflicts in the format of the field a.
 :: Rktie 'a:-' new => status 2|Rktie: format syntax error in the field a at ''.
c:yz|d:x  w|| :: Rkunpack -t ' +' c => c:yz|d:x  w||status 0
c:yz|d:xx|| :: Rkuntie c 'p:@x+@,q' => q:yz|d:xx||status 0
a:xyz|b:keep|| :: Rkunpack -t 'A?' a => a:xyz|b:keep||status 0
a:AAx|| :: Rkunpack -t 'A?' a => a:|a:|a:x||status 0
a:xAyAz|| :: Rkunpack -t '(A|)' a => a:x|a:y|a:z||status 0
a:|b:1|| :: Rkunpack -t 'A?' a => b:1||status 0
d:xyz|| :: Rkuntie -t '[^x]?' d p,q => p:x|q:||status 0
d:xAyz|| :: Rkuntie d 'p:@(A)?@,q' => p:xA|q:yz||status 0
a:xy|b:2||c:3|| :: Rkunpack 'a:@.*@' => a:xy|b:2||c:3||status 0
:1\t2|b:2|| :: Rkunpack '^a' => :1	2|b:2||status 0
id:1|x:a||id:1|x:b||id:2|x:c|| :: Rkbundle id => id:1|x:a|x:b||id:2|x:c||status 0
id:1||id:2||id:1|| :: Rkbundle id => id:1||id:2||id:1||status 0
id:10|x:a||id:10.0|x:b|| :: Rkbundle -k n id => id:10|x:a|x:b||status 0
id:1|x:a|x:b||y:1|| :: Rkunbundle x => id:1|x:a||id:1|x:b||y:1||status 0
x:1|y:2|x:3|| :: Rkunbundle -S x,y => x:1|y:2||x:3||status 0
a:0|x:1|y:2|x:3|y:4|| :: Rkunbundle -L x,y => a:0|x:1|y:2||a:0|x:3|y:4||status 0
 :: Rkunbundle -L '^x' => status 2|Rkunbundle: exclusive list is not allowed for -L option.
 :: Rkbundle -k q id => status 2|Rkbundle: unknown key flag 'q' in -k option.
EOF2

=== usage: no list, no new field, an unknown option
--- run
for c in "Rktie" "Rktie a" "Rkuntie d" "Rkuntie d ^y" "Rkpack" "Rkunpack -q a" "Rkbundle" "Rkunbundle -x a"; do $c < /dev/null; echo "status $?"; done 2>&1 | grep -v '^	'
--- stdout
Rktie [-options] [^]field-format-list new-field [input-file ..]
status 2
Rktie [-options] [^]field-format-list new-field [input-file ..]
status 2
Rkuntie [-options] fieldname [^]field-format-list [input-file ..]
status 2
Rkuntie [-options] fieldname [^]field-format-list [input-file ..]
status 2
Rkpack [-options] [^]field-formatl-list [input-file ..]
status 2
Rkunpack [-options] [^]field-format-list [input-file ..]
status 2
Rkbundle [-options] [^]key-field-list [input-file ..]
status 2
Rkunbundle [-options] [^]leaf-field-list [input-file ..]
status 2
=== size: a record of 200,000 fields of one name, each of them a group, in time proportional to the output
--- run
python3 -c "print(''.join('a:%d\n' % i for i in range(200000)) + 'b:x')" > a.rk
timeout 60 Rkunbundle a a.rk | grep -c '^b:x$'
timeout 60 Rktie -t , a new a.rk | grep -c '^new:'
timeout 60 Rkpack a a.rk | Rkunpack a | cmp - <(Rkcat a.rk) && echo same
--- stdout
200000
200000
same
=== round trips: generated records through Rkpack | Rkunpack (also quoted and escaped) and Rkbundle | Rkunbundle
--- run
python3 - <<'PY'
import random, subprocess
r = random.Random(19)
def run(cmd, data):
    return subprocess.run(cmd, input=data.encode(), capture_output=True).stdout.decode()
bad = {}
for case in range(150):
    names = ["a", "b", "c"]
    # Pack: values without tab or newline (and, unquoted, without the
    # delimiter); the packed field takes the place of the name's first.
    recs = []
    for _ in range(r.randint(1, 20)):
        recs.append([(r.choice(names), "".join(r.choice("xy z,;\"\\é") for _ in range(r.randint(1, 5)))) for _ in range(r.randint(1, 6))])
    text = "".join("".join("%s:%s\n" % f for f in rec) + "\n" for rec in recs)
    for opts in (["-t", ";", "-z", "q"], ["-t", ";", "-z", "b"]):
        back = run(["Rkunpack"] + opts + ["a,b"], run(["Rkpack"] + opts + ["a,b"], text))
        want = ""
        for rec in recs:
            out, done = [], set()
            for n, v in rec:
                if n in ("a", "b"):
                    if n not in done:
                        done.add(n)
                        out += [(n, w) for m, w in rec if m == n]
                else:
                    out.append((n, v))
            want += "".join("%s:%s\n" % f for f in out) + "\n"
        bad[opts[3]] = bad.get(opts[3], 0) + (back != want)
    # Bundle: runs of records of one key; each record's leaves once.
    text = ""
    for k in range(r.randint(1, 10)):
        for _ in range(r.randint(1, 4)):
            text += "id:%d\nx:%s\n\n" % (k, "".join(r.choice("pq r") for _ in range(r.randint(1, 4))))
    back = run(["Rkunbundle", "x"], run(["Rkbundle", "id"], text))
    bad["bundle"] = bad.get("bundle", 0) + (back != text)
print("cases 150 differences", bad)
PY
--- stdout
cases 150 differences {'q': 0, 'b': 0, 'bundle': 0}
