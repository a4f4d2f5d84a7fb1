# Rkmeans: statistics of numeric fields. The table rows are "records ::
# arguments => the output lines joined by |", the records given as their
# field lines joined by | with an empty field line ending each record
# (printf %b), the messages merged in front.

=== statistics: all records, one value, none, text, per record, exclusive lists, groups, large offsets
--- run
while IFS= read -r l; do recs=${l%% ::*} rest=${l#* :: } args=${rest%% =>*} want=${rest#*=> }
  eval "set -- $args"
  got=$(printf '%b\n' "${recs//|/\\n}" | Rkmeans "$@" 2>&1 | paste -sd'|')
  [[ $got == "$want" ]] || echo "$recs :: $args => $got (expected $want)"; done <<'EOF2'
x:1||x:2||x:3| :: x => n.x:3|sum.x:6|avg.x:2|min.x:1|max.x:3|std.x:1|
x:5| :: x => n.x:1|sum.x:5|avg.x:5|min.x:5|max.x:5|
y:5| :: x,z => n.x:0|n.z:0|
x:1||x:abc| :: x => n.x:2|sum.x:1|avg.x:0.5|min.x:0|max.x:1|std.x:0.707107|
x:7||x:7||x:7| :: x => n.x:3|sum.x:21|avg.x:7|min.x:7|max.x:7|std.x:0|
x:1||x:inf||x:2| :: x => n.x:3|sum.x:inf|avg.x:inf|min.x:1|max.x:inf|std.x:nan|
x:1000000001||x:1000000002||x:1000000003| :: x => n.x:3|sum.x:3e+09|avg.x:1000000002|min.x:1000000001|max.x:1000000003|std.x:1|
d:9000000000000001|d:9000000000000006||d:1e155||x:1| :: -r d => n.d:2|sum.d:1.8e+16|avg.d:9e+15|min.d:9e+15|max.d:9e+15|std.d:3.53553||n.d:1|sum.d:1e+155|avg.d:1e+155|min.d:1e+155|max.d:1e+155||x:1|n.d:0|
d:9000000000000001||d:9000000000000006| :: d => n.d:2|sum.d:1.8e+16|avg.d:9e+15|min.d:9e+15|max.d:9e+15|std.d:3.53553|
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
