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
