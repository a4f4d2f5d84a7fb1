# The large-data recipes of the README: work spread by GNU parallel over
# parts of a file (or of a stream) cut at record ends, each recipe's output
# compared byte for byte with one run of the program over the whole file.
# The parts are small (--block 40k of a 1.4 MB file, about 35 parts) so that
# every recipe meets many part ends.

=== setup data
--- run
python3 - <<'PY'
import random
random.seed(38)
cities = ["Tokyo", "Lyon", "Oslo", "Lima", "Łódź", "Kraków", "Cairo"]
with open("big.rk", "w") as f:
    for i in range(12000):
        f.write("id:%d\ncity:%s\nprice:%d.%02d\nqty:%d\n" % (i, random.choice(cities),
                random.randint(0, 999), random.randint(0, 99), random.randint(1, 500)))
        for _ in range(random.randint(0, 2)):
            f.write("tag:%s\n" % random.choice(["alpha", "beta", "gamma"]))
        f.write("note:%s\n\n" % " ".join(random.choice(["a", "bb", "c:d", "é"]) for _ in range(5)))
PY
# parts CMD..: CMD over the parts of big.rk, their outputs in the order of
# the parts.
parts() { parallel --will-cite --pipe-part -a big.rk --block 40k --recend '\n\n' -k "$@"; }
# files CMD..: the same, each part's output in a file, their names in order
# in the file "list".
files() { parts --files --tmpdir . "$@" > list; }
# same NAME: the recipe's output (r) against one run's (w).
same() { cmp -s r w && echo "$1: same" || echo "$1: differs"; }

=== programs that go record by record give one run's output over parts of a file, and of a stream
--- setup data
--- needs parallel GNU parallel
--- timeout 120
--- run
while IFS= read -r c; do
  eval "$c" big.rk > w
  parts "$c" > r; same "$c"
  # A stream: parallel cuts standard input at record ends as it reads.
  parallel --will-cite --pipe --recend '\n\n' --block 40k -k "$c" < big.rk > r; same "$c (stream)"
done <<'EOF'
Rkcat
Rkselect price:n GT 500
Rked total = FIELD price:n TIMES FIELD qty:n
Rkproj city,qty
Rkgrep 'city:(Lyon|Oslo)$'
Rkrename qty:quantity
RktoLine
Rkpack tag
EOF
--- stdout
Rkcat: same
Rkcat (stream): same
Rkselect price:n GT 500: same
Rkselect price:n GT 500 (stream): same
Rked total = FIELD price:n TIMES FIELD qty:n: same
Rked total = FIELD price:n TIMES FIELD qty:n (stream): same
Rkproj city,qty: same
Rkproj city,qty (stream): same
Rkgrep 'city:(Lyon|Oslo)$': same
Rkgrep 'city:(Lyon|Oslo)$' (stream): same
Rkrename qty:quantity: same
Rkrename qty:quantity (stream): same
RktoLine: same
RktoLine (stream): same
Rkpack tag: same
Rkpack tag (stream): same
--- status 0

=== programs that need a combining step: a sort ends with Rksort -m, counts and sums are added up by a grouped Rkmeans, heads and tails are taken again
--- setup data
--- needs parallel GNU parallel
--- timeout 120
--- run
Rksort city,price:nr big.rk > w
files Rksort city,price:nr; Rksort -m city,price:nr $(cat list) > r; same "sort"
Rkfreq city big.rk > w
files Rkfreq city
Rksort -m city $(cat list) | Rkmeans -g city count | Rkproj city,sum.count | Rkrename sum.count:count > r
same "count"
Rksort city big.rk | Rkmeans -g city qty | Rkproj city,n.qty,sum.qty > w
files "Rksort city | Rkmeans -g city qty | Rkproj city,n.qty,sum.qty"
Rksort -m city $(cat list) | Rkmeans -g city n.qty,sum.qty | Rkproj city,sum.n.qty,sum.sum.qty |
  Rkrename sum.n.qty:n.qty,sum.sum.qty:sum.qty > r
same "grouped sums"
Rkhead -25 big.rk > w; parts Rkhead -25 | Rkhead -25 > r; same "head"
Rktail -25 big.rk > w; parts Rktail -25 | Rktail -25 > r; same "tail"
--- stdout
sort: same
count: same
grouped sums: same
head: same
tail: same
