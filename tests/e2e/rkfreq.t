# Rkfreq: counts per distinct key. The table rows are "records :: arguments
# => the output lines joined by |", the records given as their field lines
# joined by | with an empty field line ending each record (printf %b), the
# messages merged in front.
#
# Beyond -D xmem the counts go to run files in the temporary directory,
# merged at the end of each table: the "runs", "signals", "fatal" and
# "memory" cases. Each points TMPDIR at a fresh directory t and lists it at
# the end: an empty listing means that no file was left.

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

=== setup runs
--- run
mkdir t; export TMPDIR=$PWD/t; ulimit -c 0
# 30,000 distinct keys: with -D xmem=1 hundreds of runs and merge passes,
# and 500 KB of output, so that a reader that takes one byte and then stops
# (the pause, as in rksort.t) keeps Rkfreq in its final merge
awk 'BEGIN { for (i = 0; i < 30000; i++) printf "k:%05d\nn:%d\n\n", i * 7 % 30000, i }' > in.rk
mkfifo go done
pause() { { "$@"; echo "status $?" > st; } | { dd bs=1 count=1 status=none; echo > go; read < done; cat; } > out.rk & read < go; }
resume() { echo > done; wait; cat st; }
# the run files in directory $1
runs() { ls $1 | grep -c '^Rkfreq[A-Za-z0-9]\{6\}\.[0-9a-z]\{3\}$'; }

=== runs: the final merge reads at most 16 runs (4 with 12 descriptors), from the -T directory (TMPDIR when -T is no directory), readable by their owner only; none is left
--- setup runs
--- run
mkdir d; touch f
Rkfreq k in.rk > want.rk
for how in "-T d" "-T f/sub" "-T d, 12 descriptors"; do
  dir=d; [[ $how == *f/sub ]] && dir=t
  n=12; [[ $how == *descriptors ]] || n=1024
  pause bash -c "ulimit -n $n; exec Rkfreq ${how%%,*} -D xmem=1 k in.rk"
  r=$(runs $dir); max=16; ((n == 12)) && max=4
  echo "$how: runs in $dir: $((r >= 2 && r <= max)), others: $(($(ls -A d t | grep -c '^Rkfreq') - r)), modes: $(stat -c %a $dir/* | sort -u)"
  resume
  cmp out.rk want.rk && echo same
done
ls d t
--- stdout
-T d: runs in d: 1, others: 0, modes: 600
status 0
same
-T f/sub: runs in t: 1, others: 0, modes: 600
status 0
same
-T d, 12 descriptors: runs in d: 1, others: 0, modes: 600
status 0
same
d:

t:
--- timeout 120
--- status 0

=== signals: every signal that ends a process, during the final merge: the process ends by the signal, runs removed
--- setup runs
--- run
mkfifo out
for sig in INT HUP TERM QUIT XCPU USR1 USR2 ALRM VTALRM PROF RTMIN+3; do
  python3 "$RK_E2E_DIR/sig.py" Rkfreq -D xmem=1 k in.rk > out 2> err &
  pid=$!
  { dd bs=1 count=1 status=none; echo > go; read < done; cat; } < out > /dev/null &
  read < go
  echo "$sig: runs: $(($(runs t) >= 2))"
  kill -$sig $pid
  wait $pid 2> /dev/null; echo "status $?"  # without bash's note "Hangup"
  echo > done; wait
  ls t; cat err
done
--- stdout
INT: runs: 1
status 130
HUP: runs: 1
status 129
TERM: runs: 1
status 143
QUIT: runs: 1
status 131
XCPU: runs: 1
status 152
USR1: runs: 1
status 138
USR2: runs: 1
status 140
ALRM: runs: 1
status 142
VTALRM: runs: 1
status 154
PROF: runs: 1
status 155
RTMIN+3: runs: 1
status 165
--- timeout 240
--- status 0

=== signals: SIGINT while reading from a fifo after runs were written, and a reader of the output that goes away: runs removed
--- setup runs
--- run
mkfifo in
python3 "$RK_E2E_DIR/sig.py" Rkfreq -D xmem=1 k in > out.rk 2> err &
pid=$!
exec 3> in
head -c 100000 in.rk >&3
for i in $(seq 600); do [ "$(runs t)" -ge 2 ] && break; sleep 0.1; done
echo "runs: $(($(runs t) >= 2))"
kill -INT $pid
wait $pid; echo "status $?"
exec 3>&-
ls t; cat out.rk err
python3 "$RK_E2E_DIR/sig.py" Rkfreq -D xmem=1 k in.rk 2> err | head -c 8; st=${PIPESTATUS[0]}
echo "status $st"
ls t; cat err
--- stdout
runs: 1
status 130
k:00000
status 141
--- timeout 120
--- status 0

=== fatal: a run that can't be written (file size limit, on the first run and in a merge pass), an input that does not decode after runs: status 3, no output, runs removed
--- setup runs
--- run
# runs of a few KB fit in 8 KB, a pass's merge of 16 does not; the
# messages go through a pipe, which the limit leaves alone
for limit in 0 8; do
  ( ulimit -f $limit; exec Rkfreq -D xmem=1 k in.rk 2>&1 > out.rk ) |
    sed "s|$PWD/t/Rkfreq[A-Za-z0-9]\{6\}\.|T/STEM.|; /STEM\.000\.$/!s|STEM\.[0-9a-z]\{3\}\.$|STEM.NNN.|"
  echo "status ${PIPESTATUS[0]}, output: $(wc -c < out.rk)"
  ls t
done
{ cat in.rk; printf 'k:\xff\n\n'; } > bad.rk
Rkfreq -D xmem=1 k bad.rk | wc -c; echo "status ${PIPESTATUS[0]}"
ls t
--- stdout
Rkfreq: can't write tmpfile T/STEM.000.
status 3, output: 0
Rkfreq: can't write tmpfile T/STEM.NNN.
status 3, output: 0
0
status 3
--- stderr
Rkfreq: code error in Rk-file bad.rk(30001), irrecoverable.
--- timeout 120
--- status 0

=== memory: 300,000 distinct keys (some 20 MB in memory) counted with -D xmem=1024 within 16 MB of address space; with the default xmem, which that space can't give, runs are written once memory runs out
--- unsanitized
--- run
mkdir t; export TMPDIR=$PWD/t
awk 'BEGIN { for (i = 0; i < 300000; i++) printf "k:%07d\nv:x\n\n", i * 7919 % 1000003 }' > m.rk
Rkfreq k m.rk > want.rk
( ulimit -v 16000; exec Rkfreq -D xmem=1024 k m.rk ) | cmp - want.rk && echo "xmem=1024: same"
( ulimit -v 16000; exec Rkfreq k m.rk ) | cmp - want.rk && echo "default xmem: same"
ls t
--- stdout
xmem=1024: same
default xmem: same
--- timeout 120
--- status 0

=== progress: on a terminal, once runs are written, the line shows counting, then merging, and is erased; redirected, nothing
--- env RK_PROGRESS_DELAY=1
--- run
mkdir t; export TMPDIR=$PWD/t
awk 'BEGIN { for (i = 1; i <= 60000; i++) printf "k:%d\n\n", i * 7919 % 60011 }' > in.rk
Rkfreq -D xmem=1 k in.rk > want.rk 2> err; echo "redirected: status $?, $(wc -c < err) bytes on stderr"
python3 "$RK_E2E_DIR/progress_on_pty.py" Rkfreq -D xmem=1 k in.rk
cmp out.rk want.rk && echo same
python3 "$RK_E2E_DIR/progress_on_pty.py" Rkfreq k in.rk
ls t
--- stdout
redirected: status 0, 0 bytes on stderr
status 0
Rkfreq: counting, N KB read, N runs written<erase>
Rkfreq: merging N runs<erase>
<erase>
same
status 0

--- status 0
