# Rkfd. The table rows are "input :: command => output", the input and the
# output given as their lines joined by | (the input through printf %b),
# the output followed by the status and the messages, through cat -vT.

=== table: counts, lengths, classes, blocks, the split mark and the merged order of names
--- run
while IFS= read -r l; do in=${l%% ::*} rest=${l#* :: } cmd=${rest%% =>*} want=${rest#*=> }
  got=$(printf '%b\n' "${in//|/\\n}" | { eval "$cmd" 2> err; echo "status $?"; cat err; } | cat -vT | paste -sd'|')
  [[ $got == "$want" ]] || echo "$in :: $cmd => $got (expected $want)"; done <<'EOF2'
a:1||a:2|b:x :: Rkfd => fieldname:a|min:1|max:1|exists:2/2|minlen:1|maxlen:1|avglen:1|attribute:Int||fieldname:b|min:0|max:1|exists:1/2|minlen:1|maxlen:1|avglen:1|attribute:Asc||status 0
a:1|b:2|a:3 :: Rkfd => fieldname:a|min:2|max:2|exists:1/1|minlen:1|maxlen:1|avglen:1|attribute:Int|position:split||fieldname:b|min:1|max:1|exists:1/1|minlen:1|maxlen:1|avglen:1|attribute:Int||status 0
a:1|b:1|a:1|b:1|b:2 :: Rkfd => fieldname:a|min:2|max:2|exists:1/1|minlen:1|maxlen:1|avglen:1|attribute:Int|position:split||fieldname:b|min:3|max:3|exists:1/1|minlen:1|maxlen:1|avglen:1|attribute:Int|position:split||status 0
a:|a:||a: :: Rkfd => fieldname:a|min:1|max:2|exists:2/2|minlen:0|maxlen:0|avglen:0||status 0
a:12|a:3.5|b: -7 |c:0x1F|d:1e5|e:09|f:abc||b:+1|d:2|e:1 :: Rkfd => fieldname:a|min:0|max:2|exists:1/2|minlen:2|maxlen:3|avglen:2.5|attribute:Num||fieldname:b|min:1|max:1|exists:2/2|minlen:2|maxlen:4|avglen:3|attribute:Int-||fieldname:c|min:0|max:1|exists:1/2|minlen:4|maxlen:4|avglen:4|attribute:Hex||fieldname:d|min:1|max:1|exists:2/2|minlen:1|maxlen:3|avglen:2|attribute:Num||fieldname:e|min:1|max:1|exists:2/2|minlen:1|maxlen:2|avglen:1.5|attribute:?||fieldname:f|min:0|max:1|exists:1/2|minlen:3|maxlen:3|avglen:3|attribute:Asc||status 0
noname|:x|a:\t7 :: Rkfd => fieldname:|min:2|max:2|exists:1/1|minlen:1|maxlen:6|avglen:3.5|attribute:Asc||fieldname:a|min:1|max:1|exists:1/1|minlen:2|maxlen:2|avglen:2|attribute:Int||status 0
a:1|b:1||b:1|a:1||c:1|a:1 :: Rkfd => fieldname:c|min:0|max:1|exists:1/3|minlen:1|maxlen:1|avglen:1|attribute:Int||fieldname:b|min:0|max:1|exists:2/3|minlen:1|maxlen:1|avglen:1|attribute:Int||fieldname:a|min:1|max:1|exists:3/3|minlen:1|maxlen:1|avglen:1|attribute:Int||status 0
a:é\x01|a:語|b:é1|c:x\xf0\x9f\x98\x80\xe0\xa0\x80|d:1 :: Rkfd -e => fieldname:a|min:2|max:2|exists:1/1|minlen:1|maxlen:2|avglen:1.5|attribute:AscNAsc+NPrt|NAsc:Latin-1 Supplement|NAsc:CJK Unified Ideographs||fieldname:b|min:1|max:1|exists:1/1|minlen:2|maxlen:2|avglen:2|attribute:AscNAsc|NAsc:Latin-1 Supplement||fieldname:c|min:1|max:1|exists:1/1|minlen:3|maxlen:3|avglen:3|attribute:AscNAsc||fieldname:d|min:1|max:1|exists:1/1|minlen:1|maxlen:1|avglen:1|attribute:Int||status 0
k:a\x01b|x:1||k:a|k:b|x:2 :: Rkfd -g k | Rkproj k,exists => k:a^Ab|exists:1/1||k:a|k:b|exists:1/1||status 0
a:x :: Rkfd -D dsize=1,tsize=1,rsize=1 => fieldname:a|min:1|max:1|exists:1/1|minlen:1|maxlen:1|avglen:1|attribute:Asc||status 0
a:x :: Rkfd -q => status 2|Rkfd [-options] [input-file ..]|^Ireports field description of input files.|^IOptions:|^I-e^Ioutput extended attribute of the field.|^I-g key-field-list^Igrouped by description.|^I-k key-flags^Idefault key-flags for -g option.
a:x :: Rkfd -D vsize=1 => status 2|Rkfd: -D vsize is unknown.
a:x :: Rkfd -g a -k z => status 2|Rkfd: unknown key flag 'z' in -k option.
EOF2
--- stdout
--- status 0

=== files and groups: a profile per named file or run of equal keys, key fields left out, standard input unnamed
--- run
printf 'k:1\na:x\n\nk:1\na:yy\nb:2\n\nk:2\na:z\n\nk:1\na:w\n' > one.rk
printf '\n\n' > empty.rk
printf 'k:1\nk:3\na:1\n\n' | Rkfd -g k one.rk empty.rk - | paste -sd'|' | sed 's/||/\n/g'
echo "status $?"
Rkfd one.rk missing.rk
echo "status $?"
--- stdout
filename:one.rk|k:1|fieldname:a|min:1|max:1|exists:2/2|minlen:1|maxlen:2|avglen:1.5|attribute:Asc
filename:one.rk|k:1|fieldname:b|min:0|max:1|exists:1/2|minlen:1|maxlen:1|avglen:1|attribute:Int
filename:one.rk|k:2|fieldname:a|min:1|max:1|exists:1/1|minlen:1|maxlen:1|avglen:1|attribute:Asc
filename:one.rk|k:1|fieldname:a|min:1|max:1|exists:1/1|minlen:1|maxlen:1|avglen:1|attribute:Asc
k:1|k:3|fieldname:a|min:1|max:1|exists:1/1|minlen:1|maxlen:1|avglen:1|attribute:Int|
status 0
filename:one.rk
fieldname:k
min:1
max:1
exists:4/4
minlen:1
maxlen:1
avglen:1
attribute:Int

filename:one.rk
fieldname:a
min:1
max:1
exists:4/4
minlen:1
maxlen:2
avglen:1.25
attribute:Asc

filename:one.rk
fieldname:b
min:0
max:1
exists:1/4
minlen:1
maxlen:1
avglen:1
attribute:Int

status 3
--- stderr
Rkfd: can't open missing.rk.
Rkfd: missing.rk: No such file or directory
--- status 0
