# Rkfreq: counts per distinct key. The table rows are "records :: arguments
# => the output lines joined by |", the records given as their field lines
# joined by | with an empty field line ending each record (printf %b), the
# messages merged in front.

=== count: keys, percents, missing keys, flags, groups, keys of one hash (ySCutV and IpxBy8 share the 32-bit hash of their key words)
--- run
while IFS= read -r l; do recs=${l%% ::*} rest=${l#* :: } args=${rest%% =>*} want=${rest#*=> }
  eval "set -- $args"
  got=$(printf '%b\n' "${recs//|/\\n}" | Rkfreq "$@" 2>&1 | paste -sd'|')
  [[ $got == "$want" ]] || echo "$recs :: $args => $got (expected $want)"; done <<'EOF2'
k:a||k:b||k:a||k:c||k:a| :: k => k:a|count:3||k:b|count:1||k:c|count:1|
k:a||k:b||k:a||k:c||k:a| :: -p k => k:a|count:3|percent:60||k:b|count:1|percent:20||k:c|count:1|percent:20|
k:a||k:b||k:c||x:1| :: -p k => k:a|count:1|percent:33.3333||k:b|count:1|percent:33.3333||k:c|count:1|percent:33.3333|
k:a||x:1||x:2| :: -m k => count:2||k:a|count:1|
k:2||k:10||k:9| :: k:nr => k:10|count:1||k:9|count:1||k:2|count:1|
g:x|k:1||g:x|k:2||g:y|k:1||g:x|k:1| :: -g g k => g:x|k:1|count:1||g:x|k:2|count:1||g:y|k:1|count:1||g:x|k:1|count:1|
t:a|t:b||t:b|t:a||t:a|t:b| :: t => t:a|t:b|count:2||t:b|t:a|count:1|
k:a|j:1||k:a|j:2||k:a|j:1| :: ^k => j:1|count:2||j:2|count:1|
k:ySCutV||k:IpxBy8||k:ySCutV| :: k => k:IpxBy8|count:1||k:ySCutV|count:2|
EOF2
--- status 0

=== files: -F counts each file apart; standard input has no filename field; a file that can't be opened is fatal
--- run
printf 'k:a\n\nk:b\n\n' > one.rk
printf 'k:a\n\n' | Rkfreq -F k one.rk - missing.rk
echo "status $?"
--- stdout
filename:one.rk
k:a
count:1

filename:one.rk
k:b
count:1

k:a
count:1

status 3
--- stderr
Rkfreq: can't open missing.rk.
Rkfreq: missing.rk: No such file or directory
--- status 0

=== usage: no list or an unknown option
--- run
for a in "" "-y k" "-k z k"; do Rkfreq $a < /dev/null; echo "status $?"; done 2>&1 | grep -v '^	'
--- stdout
Rkfreq [-options] [^]key-field-list [input-file ..]
status 2
Rkfreq [-options] [^]key-field-list [input-file ..]
status 2
Rkfreq: unknown key flag 'z' in -k option.
status 2
--- status 0

=== model: generated records counted as an independent model counts them
--- run
python3 - <<'PY'
import random, subprocess
r = random.Random(11)
recs = []
for _ in range(5000):
    fields = []
    if r.random() < 0.9: fields.append("k:" + str(r.randint(0, 400)))
    if r.random() < 0.3: fields.append("k:" + str(r.randint(0, 3)))
    fields.append("g:" + r.choice("xy"))
    recs.append(fields)
text = "".join("\n".join(f) + "\n\n" for f in recs)
def model(numeric, groups):
    out, table, group, counted = [], {}, None, 0
    def flush():
        for key in sorted(table, key=lambda t: [float(v) for v in t] if numeric else t):
            out.append("".join(gl + "\n" for gl in ([group] if groups else [])) +
                       "".join("k:" + v + "\n" for v in key) + "count:%d\n\n" % table[key])
    for f in recs:
        g = [x for x in f if x.startswith("g:")][0]
        if groups and g != group:
            flush(); table.clear()
            group = g
        key = tuple(x[2:] for x in f if x.startswith("k:"))
        if key: table[key] = table.get(key, 0) + 1
    flush()
    return "".join(out)
for args, numeric, groups in [(["k"], False, False), (["k:n"], True, False), (["-g", "g", "k:n"], True, True)]:
    got = subprocess.run(["Rkfreq"] + args, input=text.encode(), capture_output=True).stdout.decode()
    print(" ".join(args), "same" if got == model(numeric, groups) else "DIFFERS")
PY
--- stdout
k same
k:n same
-g g k:n same
--- status 0

=== runs: counts spilled to runs and merged, in passes too, equal the counts in memory (generated records, every kind of key)
--- run
mkdir t; export TMPDIR=$PWD/t
python3 - <<'PY'
import random, resource, subprocess
# Keys of several occurrences, missing and empty, text that folds, blanks,
# punctuation and Unicode, numbers of equal value in other spellings.
texts = ["a", "A", " a", "b", "ä", "Ä", "日本", "x-y", "", "z1", "Zürich", "a\tb"]
nums = ["1", "1.0", "-0", "0", "2e3", "nan", "inf", "-inf", "x", ""]
def records(r, n):
    out = []
    for i in range(n):
        f = ["k:" + r.choice(texts) + (str(r.randint(0, 400)) if r.random() < .8 else "")
             for _ in range(r.choice((0, 1, 1, 1, 2)))]
        if r.random() < .7: f.append("n:" + r.choice(nums + [str(r.randint(-60, 60))]))
        if r.random() < .3: f.append(r.choice("pqr") + ":" + str(r.randint(0, 9)))
        f.append("g:" + "xy"[i // 300 % 2])
        r.shuffle(f)
        out.append("".join(x + "\n" for x in f) + "\n")
    return "".join(out)
def run(args, limits=()):
    def limit():
        for what, value in limits: resource.setrlimit(what, (value, value))
    p = subprocess.run(["Rkfreq"] + args + ["a.rk", "b.rk"], capture_output=True, preexec_fn=limit)
    return p.returncode, p.stdout, p.stderr
argsets = [["k"], ["-m", "k"], ["-p", "k:f"], ["k:b,n:n"], ["-k", "nr", "n"], ["k:d"], ["k:i,n"], ["^g"],
           ["-g", "g", "-p", "k"], ["-F", "-m", "k:r"]]
bad = {}
for seed in range(3):
    r = random.Random(seed)
    open("a.rk", "w").write(records(r, 2500))
    open("b.rk", "w").write(records(r, 1500))
    for args in argsets:
        want = run(args)
        spill = ["-D", "xmem=1"] + args
        # a limit of 11 descriptors leaves three runs to a merge
        for what, got in (("xmem=1", run(spill)), ("xmem=1, 3 ways", run(spill, [(resource.RLIMIT_NOFILE, 11)]))):
            if got != want: bad.setdefault(" ".join(args), []).append("%s differs, seed %d" % (what, seed))
        # no file may grow: the spill fails, which shows there was one
        st, out, err = run(spill, [(resource.RLIMIT_FSIZE, 0)])
        if st != 3 or b"can't write tmpfile" not in err: bad.setdefault(" ".join(args), []).append("no spill, seed %d" % seed)
for args in argsets:
    print(" ".join(args) + ":", "; ".join(bad.get(" ".join(args), ["same"])))
PY
ls t
--- stdout
k: same
-m k: same
-p k:f: same
k:b,n:n: same
-k nr n: same
k:d: same
k:i,n: same
^g: same
-g g -p k: same
-F -m k:r: same
--- timeout 240
--- status 0
