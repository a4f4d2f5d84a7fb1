# Rkmeans: statistics of numeric fields. The table rows are "records ::
# arguments => the output lines joined by |", the records given as their
# field lines joined by | with an empty field line ending each record
# (printf %b), the messages merged in front.

=== statistics: all records, one value, none, missing values in every mode, per record, exclusive lists, groups, large offsets
--- run
while IFS= read -r l; do recs=${l%% ::*} rest=${l#* :: } args=${rest%% =>*} want=${rest#*=> }
  eval "set -- $args"
  got=$(printf '%b\n' "${recs//|/\\n}" | Rkmeans "$@" 2>&1 | paste -sd'|')
  [[ $got == "$want" ]] || echo "$recs :: $args => $got (expected $want)"; done <<'EOF2'
x:1||x:2||x:3| :: x => n.x:3|sum.x:6|avg.x:2|min.x:1|max.x:3|std.x:1|
x:5| :: x => n.x:1|sum.x:5|avg.x:5|min.x:5|max.x:5|
y:5| :: x,z => n.x:0|n.z:0|
x:1||x:abc| :: x => n.x:1|sum.x:1|avg.x:1|min.x:1|max.x:1|
x:||x:abc||x: 2 ||x:nan||x:3x||x:0x10||x:-NaN||x:1e||x:-infinity||x: | :: x => n.x:3|sum.x:-inf|avg.x:-inf|min.x:-inf|max.x:16|std.x:nan|
x:||x:nan| :: x => n.x:0|
a:1|a:|a:x|b:k||a:| :: -r a => b:k|n.a:1|sum.a:1|avg.a:1|min.a:1|max.a:1||n.a:0|
g:x|v:||g:x|v:4||g:y|v:NaN| :: -g g v => g:x|n.v:1|sum.v:4|avg.v:4|min.v:4|max.v:4||g:y|n.v:0|
x:||x:2| :: -F x => n.x:1|sum.x:2|avg.x:2|min.x:2|max.x:2|
id:1|q:|p:3| :: ^id => n.q:0|n.p:1|sum.p:3|avg.p:3|min.p:3|max.p:3|
x:7||x:7||x:7| :: x => n.x:3|sum.x:21|avg.x:7|min.x:7|max.x:7|std.x:0|
x:2||x:-2147483648||x:0.01||x:-4||x:10||x:0.3||x:2147483647| :: -D digits=17 x => n.x:7|sum.x:7.3099999999999996|avg.x:1.0442857142857143|min.x:-2147483648|max.x:2147483647|std.x:1239850261.9644444|
x:1||x:inf||x:2| :: x => n.x:3|sum.x:inf|avg.x:inf|min.x:1|max.x:inf|std.x:nan|
x:1000000001||x:1000000002||x:1000000003| :: x => n.x:3|sum.x:3000000006|avg.x:1000000002|min.x:1000000001|max.x:1000000003|std.x:1|
d:9000000000000001|d:9000000000000006||d:1e155||x:1| :: -r d => n.d:2|sum.d:1.8e+16|avg.d:9000000000000004|min.d:9000000000000001|max.d:9000000000000006|std.d:3.53553||n.d:1|sum.d:1e+155|avg.d:1e+155|min.d:1e+155|max.d:1e+155||x:1|n.d:0|
d:9000000000000001||d:9000000000000006| :: d => n.d:2|sum.d:1.8e+16|avg.d:9000000000000004|min.d:9000000000000001|max.d:9000000000000006|std.d:3.53553|
d:1e155||d:1e155| :: d => n.d:2|sum.d:2e+155|avg.d:1e+155|min.d:1e+155|max.d:1e+155|std.d:0|
a:1|b:hello|a:3| :: -r a => b:hello|n.a:2|sum.a:4|avg.a:2|min.a:1|max.a:3|std.a:1.41421|
id:1|q:2|p:3||id:2|p:5| :: ^id => n.q:1|sum.q:2|avg.q:2|min.q:2|max.q:2|n.p:2|sum.p:8|avg.p:4|min.p:3|max.p:5|std.p:1.41421|
g:x|v:1||g:x|v:3||g:y|v:5| :: -g g v => g:x|n.v:2|sum.v:4|avg.v:2|min.v:1|max.v:3|std.v:1.41421||g:y|n.v:1|sum.v:5|avg.v:5|min.v:5|max.v:5|
x:1| :: -r -g g x => Rkmeans: -r and -g is exclusive.
EOF2
--- status 0

=== files: -F gives each file's own summary; standard input has no filename field
--- run
printf 'x:1\n\nx:3\n\n' > one.rk
printf 'x:10\n\n' | Rkmeans -F x one.rk -
--- stdout
filename:one.rk
n.x:2
sum.x:4
avg.x:2
min.x:1
max.x:3
std.x:1.41421

n.x:1
sum.x:10
avg.x:10
min.x:10
max.x:10

--- status 0

=== no records: -g has no group and writes nothing; -F writes an empty file's n fields, with -g nothing for it
--- run
printf 'x:1\n\n' > one.rk
: > empty.rk
printf '\n\n' | Rkmeans -g g x | wc -c
Rkmeans -F x empty.rk
Rkmeans -F -g g x empty.rk one.rk empty.rk
--- stdout
0
filename:empty.rk
n.x:0

filename:one.rk
n.x:1
sum.x:1
avg.x:1
min.x:1
max.x:1

--- status 0

=== model: generated records summarised as an independent model does it
--- run
python3 - <<'PY'
import math, random, subprocess
r = random.Random(5)
recs = []
for _ in range(3000):
    f = ["g:" + r.choice("ab")]
    for _ in range(r.randint(0, 3)):
        f.append(r.choice("xy") + ":" + str(round(r.uniform(-1e3, 1e3) + 1e6, r.randint(0, 3))))
    recs.append(f)
text = "".join("\n".join(f) + "\n\n" for f in recs)
def fmt(x):
    if x == int(x) and -2**31 <= x < 2**31: return "%d" % int(x)
    return "%g" % x
def stats(name, vals):
    out = ["n.%s:%d" % (name, len(vals))]
    if vals:
        s = sum(vals); n = len(vals)
        out += ["sum.%s:%s" % (name, fmt(s)), "avg.%s:%s" % (name, fmt(s / n)),
                "min.%s:%s" % (name, fmt(min(vals))), "max.%s:%s" % (name, fmt(max(vals)))]
        if n > 1:
            m = sum(vals) / n
            out.append("std.%s:%s" % (name, fmt(math.sqrt(sum((v - m) ** 2 for v in vals) / (n - 1)))))
    return out
def model():
    out, cur, vals = [], None, {"x": [], "y": []}
    def flush():
        out.append("\n".join([cur] + stats("x", vals["x"]) + stats("y", vals["y"])) + "\n\n")
    for f in recs:
        if f[0] != cur:
            if cur is not None: flush()
            cur, vals = f[0], {"x": [], "y": []}
        for l in f[1:]:
            vals[l[0]].append(float(l[2:]))
    flush()
    return "".join(out)
got = subprocess.run(["Rkmeans", "-g", "g", "x,y"], input=text.encode(), capture_output=True).stdout.decode()
want = model()
# Sums and deviations of values near a million may differ from the model in
# the last place of %g only through rounding of the sum itself.
bad = [(a, b) for a, b in zip(got.split("\n"), want.split("\n")) if a != b]
print("groups", sum(1 for l in want.split("\n") if l.startswith("g:")), "differences", len(bad), bad[:3],
      "lines", len(got.split("\n")) == len(want.split("\n")))
PY
--- stdout
groups 1542 differences 0 [] lines True
--- status 0

=== missing: columns with empty cells, text and numbers agree with Python's statistics over the numeric cells, in every mode
--- run
python3 - <<'PY'
import math, random, statistics, subprocess
r = random.Random(11)
def cell():
    k = r.randrange(5)
    if k == 0: return "", None
    if k == 1: return r.choice(["abc", "3x", "nan", "-NaN", "1e", "0x", " ", "n/a"]), None
    v = r.randint(-10**6, 10**6) / 10 ** r.randint(0, 3)
    t = "%d" % v if v == int(v) and r.random() < 0.5 else repr(v)
    return (" %s " % t if r.random() < 0.2 else t), v
recs, g = [], "a"
for _ in range(400):
    if r.random() < 0.1: g = "b" if g == "a" else "a"
    recs.append((g, [cell() for _ in range(r.randint(0, 3))]))
text = lambda rs: "".join("g:%s\n" % g + "".join("x:%s\n" % t for t, _ in cs) + "\n" for g, cs in rs)
open("a.rk", "w").write(text(recs[:150])); open("b.rk", "w").write(text(recs[150:]))
nums = lambda rs: [v for _, cs in rs for _, v in cs if v is not None]
runs = []  # runs of consecutive records with one group value
for rec in recs:
    if runs and runs[-1][0][0] == rec[0]: runs[-1].append(rec)
    else: runs.append([rec])
modes = {"all": ([], [nums(recs)]), "groups": (["-g", "g"], [nums(run) for run in runs]),
         "records": (["-r"], [nums([rec]) for rec in recs]), "files": (["-F"], [nums(recs[:150]), nums(recs[150:])])}
def close(got, want, vals):
    return abs(float(got) - want) <= 1e-12 * len(vals) * max([1] + [abs(v) for v in vals])
def agrees(block, vals):
    f = dict(l.split(":", 1) for l in block.split("\n") if l[:2] in ("n.", "su", "av", "mi", "ma", "st"))
    if int(f.pop("n.x")) != len(vals): return False
    if not vals: return not f
    return (close(f.pop("sum.x"), math.fsum(vals), vals) and close(f.pop("avg.x"), statistics.mean(vals), vals)
            and float(f.pop("min.x")) == min(vals) and float(f.pop("max.x")) == max(vals)
            and (len(vals) < 2 or close(f.pop("std.x"), statistics.stdev(vals), vals)) and not f)
for mode, (opts, want) in modes.items():
    out = subprocess.run(["Rkmeans", "-D", "digits=17"] + opts + ["x", "a.rk", "b.rk"], capture_output=True, text=True).stdout
    got = out[:-2].split("\n\n")
    bad = sum(not agrees(b, v) for b, v in zip(got, want))
    print(mode, "summaries", len(got) == len(want), "disagreeing", bad, "empty", sum(not v for v in want) > 0)
PY
--- stdout
all summaries True disagreeing 0 empty False
groups summaries True disagreeing 0 empty True
records summaries True disagreeing 0 empty True
files summaries True disagreeing 0 empty False
--- status 0

=== usage: no list, an unknown option, a bad key flag
--- run
for a in "" "-y x" "-g a -k z x"; do Rkmeans $a < /dev/null; echo "status $?"; done 2>&1 | grep -v '^	'
--- stdout
Rkmeans [-options] [^]field-list [input-file ..]
status 2
Rkmeans [-options] [^]field-list [input-file ..]
status 2
Rkmeans: unknown key flag 'z' in -k option.
status 2
--- status 0
