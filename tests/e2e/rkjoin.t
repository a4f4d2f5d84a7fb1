# Rkjoin and Rkupdate. The table rows are "a :: b :: arguments => output",
# the files a and b given as their field lines joined by | with an empty
# field line ending each record (printf %b); the output lines are joined by
# | and followed by the status and the messages.

=== merge: specs, repeated keys, key flags, updates and deletions
--- run
while IFS= read -r l; do a=${l%% ::*} rest=${l#* :: } b=${rest%% ::*} rest=${rest#* :: } args=${rest%% =>*} want=${rest#*=> }
  printf '%b' "${a//|/\\n}" > a; printf '%b' "${b//|/\\n}" > b
  eval "set -- $args"
  got=$( { "$@" 2> err; echo "status $?"; cat err; } | paste -sd'|')
  [[ $got == "$want" ]] || echo "$args => $got (expected $want)"; done <<'EOF2'
id:1|x:a||id:2|x:b|| :: id:2|y:c||id:3|y:d|| :: Rkjoin id a b => id:2|x:b|y:c||status 0
id:1|x:a||id:2|x:b|| :: id:2|y:c||id:3|y:d|| :: Rkjoin -o any id a b => id:1|x:a||id:2|x:b|y:c||id:3|y:d||status 0
id:1|x:a||id:2|x:b|| :: id:2|y:c||id:3|y:d|| :: Rkjoin -o 10 id a b => id:1|x:a||status 0
id:1|x:a||id:2|x:b|| :: id:2|y:c||id:3|y:d|| :: Rkjoin -o 01 id a b => id:3|y:d||status 0
id:1|x:a||id:2|x:b|| :: id:2|y:c||id:3|y:d|| :: Rkjoin -o matched -o 1x id a b => id:1|x:a||id:2|x:b|y:c||status 0
id:1|x:a||id:2|x:b|| :: id:2|y:c||id:3|y:d|| :: Rkjoin -o 10 -o 01 id a b => id:1|x:a||id:3|y:d||status 0
id:2|x:a||id:2|x:b|| :: id:2|y:1||id:2|y:2||id:2|y:3|| :: Rkjoin id a b => id:2|x:a|y:1||id:2|x:a|y:2||id:2|x:a|y:3||id:2|x:b|y:1||id:2|x:b|y:2||id:2|x:b|y:3||status 0
y:0|id:9|z:1||id:10|| :: id:9|w:2||id:10|w:3|| :: Rkjoin -k n id a b => y:0|id:9|z:1|w:2||id:10|w:3||status 0
id:10||id:9|| :: id:10|w:3||id:9|w:2|| :: Rkjoin id:nr a b => id:10|w:3||id:9|w:2||status 0
id:1|k:a||id:1|k:b|| :: id:1|k:b|v:1|| :: Rkjoin id,k a b => id:1|k:b|v:1||status 0
id:1|x:a||id:2|x:b|| :: id:1|y:c||id:3|y:d||id:2|| :: Rkjoin -o any id a b => id:1|x:a|y:c||status 3|Rkjoin: key sequence error, stop at b(3)!|Rkjoin: sort each input with Rksort by the same key-field list and key flags, or use -c.
id:2|x:a||id:1|x:b|| :: id:2|y:c|| :: Rkjoin id a b => status 3|Rkjoin: key sequence error, stop at a(2)!|Rkjoin: sort each input with Rksort by the same key-field list and key flags, or use -c.
id:1||id:2||id:3|| :: id:1|| :: Rkjoin id a b => id:1||status 0
id:3|x:a||id:1|x:b||id:3|x:c|| :: id:3|y:c||id:3|y:d||id:4|y:e|| :: Rkjoin -c id a b => id:3|x:a|y:c||id:3|x:a|y:d||id:1|x:b||id:3|x:c|y:c||id:3|x:c|y:d||status 0
id:3|x:a||id:1|x:b|| :: id:4|y:c||id:3|y:d|| :: Rkjoin -c -o 11 id a b => id:3|x:a|y:d||status 0
id:3|x:a||id:1|x:b|| :: id:4|y:c||id:3|y:d|| :: Rkjoin -c -o 10 id a b => id:1|x:b||status 0
id:3|| :: id:3|| :: Rkjoin -c -o 01 id a b => status 2|Rkjoin: with -c option, -o option's top must be '1'.
id:1|v:m||id:2|v:m||id:2|v:n||id:3|v:m|| :: id:2|v:u||id:4|v:u|| :: Rkupdate id a b => id:1|v:m||id:2|v:u||id:3|v:m||id:4|v:u||status 0
id:1|v:m||id:2|v:m||id:3|v:m|| :: id:2||id:4|| :: Rkupdate -d id a b => id:1|v:m||id:3|v:m||status 0
id:1|v:m||id:3|v:m|| :: id:1|v:u||id:3|v:u||id:2|v:u|| :: Rkupdate id a b => id:1|v:u||status 3|Rkupdate: key sequence error, stop at b(3)!|Rkupdate: sort each input with Rksort by the same key-field list and key flags.
origin:A|x:1||origin:B|| :: code:A||code:B|| :: Rkjoin orgin a b => status 0
origin:A|x:1||origin:B|| :: code:A||code:B|| :: Rkjoin -o any orgin a b => origin:A|x:1||origin:B||code:A||code:B||status 0
origin:A|x:1||origin:B|| :: code:A||code:B|| :: Rkjoin -o 1x orgin a b => origin:A|x:1||origin:B||status 0
origin:A|x:1||origin:B|| :: code:A||code:B|| :: Rkjoin -c orgin a b => origin:A|x:1||origin:B||status 0
id:1||x:1||id:2|| :: x:2||id:1|z:b|| :: Rkjoin -o 10 id a b => x:1||id:2||status 0
id:1||x:mid||id:1|y:2||id:2|| :: id:1|z:b||id:2|z:c|| :: Rkjoin id a b => id:1|z:b||id:1|y:2|z:b||id:2|z:c||status 0
id:1||x:mid||id:1|y:2||id:2|| :: id:1|z:b||id:2|z:c|| :: Rkjoin -o any id a b => x:mid||id:1|z:b||id:1|y:2|z:b||id:2|z:c||status 0
id:2||x:mid||id:1|| :: id:1|| :: Rkjoin id a b => status 3|Rkjoin: key sequence error, stop at a(3)!|Rkjoin: sort each input with Rksort by the same key-field list and key flags, or use -c.
id:1|v:m||v:keep||id:2|v:m|| :: id:2|v:u||v:lost||id:3|| :: Rkupdate id a b => v:keep||id:1|v:m||id:2|v:u||id:3||status 1|Rkupdate: record without key in b(2), not applied.
id:1||id:2|| :: x:1||id:2|| :: Rkupdate -d id a b => id:1||status 1|Rkupdate: record without key in b(1), not applied.
EOF2
# Three files: the delete file wins over the update; standard input as the
# second input of a single file argument.
printf 'id:1\nv:m\n\nid:2\nv:m\n\n' > m; printf 'id:1\nv:u\n\nid:2\nv:u\n\n' > u; printf 'id:2\n\n' > d
Rkupdate -d id m u d
printf 'id:2\ny:s\n\n' | Rkjoin id m
# A misspelled key, thousands of records on each side: no pair at all.
seq -f 'origin:%g' 20000 | sed G > f; seq -f 'code:%g' 3376 | sed G > p
{ Rkjoin orgin f p; Rkjoin -c -o 11 orgin f p; } | wc -c
--- stdout
id:1
v:u

id:2
v:m
y:s

0
--- status 0

=== model: generated joins and updates against an independent model of the rules
--- timeout 120
--- run
# 2 to 4 inputs, repeated and missing keys, numeric and reversed keys,
# every form of output spec, -c, -d, keys out of order, standard input.
python3 "$RK_E2E_DIR/merge_model.py" --bin "$(dirname "$(command -v Rkjoin)")" --cases 3000 --jobs 4
--- stdout
cases 3000 differences 0
--- status 0

=== usage: no key list, no file, an unknown option, a bad flag
--- run
for c in "Rkjoin" "Rkjoin id" "Rkjoin -q id a" "Rkupdate" "Rkupdate id" "Rkupdate -k q id a"; do $c < /dev/null; echo "status $?"; done 2>&1 | grep -v '^	'
--- stdout
Rkjoin [-options] [^]key-field-list [input-file ..]
status 2
Rkjoin [-options] [^]key-field-list [input-file ..]
status 2
Rkjoin [-options] [^]key-field-list [input-file ..]
status 2
Rkupdate [-options] [^]key-field-list input-file [update-file ..]
status 2
Rkupdate [-options] [^]key-field-list input-file [update-file ..]
status 2
Rkupdate: unknown key flag 'q' in -k option.
status 2
--- status 0
