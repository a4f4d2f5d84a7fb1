# RktoLine: records written as lines by field-format lists. The table rows
# are "record :: arguments => the output lines joined by |", the record's
# fields given joined by | (printf %b, so \t is a tab) and the messages
# merged in front.

=== write: delimiters, -p in both forms, fixed widths, quoting and conversions
--- run
while IFS= read -r l; do rec=${l%% ::*} rest=${l#* :: } args=${rest%% =>*} want=${rest#*=> }
  eval "set -- $args"
  got=$(printf '%b\n\n' "${rec//|/\\n}" | RktoLine "$@" 2>&1 | paste -sd'|')
  [[ $got == "$want" ]] || echo "$rec :: $args => $got (expected $want)"; done <<'EOF2'
a:1|b:2 :: -t , => 1,2
a:1|b:2 :: -t , -p b,c,a => 2,,1
a:1|b:2|a:3|c:4 :: -t , -p ^b => 1,3,4
a:1|b:2|a:3|c:4 :: -t , -p ^b -f 'a:/;/' => 1;3;4
a:12|b:x :: -f 'a:(5)r' =>    12x
a:1|a:2|b:3 :: -t , -p a,b,a:q => 1,2,3,"1","2"
x:1 :: -p ':(4),x' =>     1
a:say "hi"|b:c\\d :: -t , -z q => "say ""hi""","c\d"
a:x,y\\z :: -t , -z b => x\,y\\z
a:3.14159|b:255|c:abc :: -t ' ' -p 'a::%.2f,b::%x,c::[%s]' => 3.14 ff [abc]
a:7 :: -p 'a:f' => a:7
a:ab|b:cd :: -p 'a:(3),b:1(2)' => RktoLine: field b start position over at (stdin)(1).|ab cd
line without colon|a:1 :: -t , => line without colon,1
EOF2
--- status 0

=== every record gives one line, also an empty one; several files in turn
--- run
printf 'a:1\n\nb:2\n\n' > one.rk
printf 'c:3\n\n' | RktoLine -p a one.rk -
--- stdout
1


--- status 0

=== usage and list faults: nothing is read, status 2
--- run
for a in "-y" "-f ^a" "-p a:s" "-f a:@x@" "-p a::%d%d" "-z k" "-p a::%ls"; do RktoLine $a < /dev/null; echo "status $?"; done 2>&1 | grep -v '^	'
--- stdout
RktoLine [-options] [input-file ..]
status 2
RktoLine [-options] [input-file ..]
status 2
RktoLine: format syntax error in the field a at 's'.
status 2
RktoLine: pattern is not allowed in output format in the field a.
status 2
RktoLine: cfmt conversion error in the field a.
status 2
RktoLine: -z option error 'k'.
status 2
RktoLine: cfmt conversion error in the field a.
status 2
--- status 0

=== round trip: generated records written with quotes or escapes and cut back give the same records
--- run
python3 - <<'PY' > records.rk
import random
random.seed(7)
alphabet = ['a', 'b', ' ', ',', '"', '\\', "'", 'é', '日', '\t']
for _ in range(2000):
    for name in 'abc':
        if random.random() < 0.9:
            print(name + ':' + ''.join(random.choice(alphabet) for _ in range(random.randint(0, 6))))
    print()
PY
# A missing field comes back empty: the model fills it in.
python3 - <<'PY' > want.rk
recs = open('records.rk', encoding='utf-8').read().split('\n\n')[:-1]
for r in recs:
    have = dict(l.split(':', 1) for l in r.split('\n') if l)
    for name in 'abc':
        print(name + ':' + have.get(name, ''))
    print()
PY
for z in q qx b; do
  RktoLine -t ';' -z $z -p a,b,c records.rk | RkfromLine -t ';' -z $z a,b,c > got.rk
  cmp -s got.rk want.rk && echo "$z same" || { echo "$z differs"; diff got.rk want.rk | head -5; }
done
--- stdout
q same
qx same
b same
--- status 0
