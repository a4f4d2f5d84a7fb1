#!/usr/bin/env bash
# Times the suite's programs against peer tools on generated data.
#
#   bench/run.sh [--big] [--no-build]
#
#   --big       also generate a ~1 GB file (bench/data/big.rk) and time
#               Rkcat, Rkhead -10, Rktail -10 and Rksort price:n on it
#   --no-build  use the programs already in build/bin as they are
#
#   RUNS=n      timed runs per command (default 5); the median is reported
#   WARMUP=n    untimed runs before them (default 1)
#   ONLY=regex  time only the benchmarks whose name matches
#   BIG_PEER=1  with --big, also time the peer sort pipeline on big.rk and
#               compare outputs (slow; keeps two ~1 GB outputs in data/out)
#
# Works from any directory. See bench/README.md for what the columns mean and
# how to add a benchmark.

# The measured command lines are single-quoted on purpose: /bin/sh expands
# them, with the variables exported further down.
# shellcheck disable=SC2016

set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
build=$repo/build
bin=$build/bin
data=$here/data
out=$data/out
rkgen=$build/bench/rkgen
rkmeasure=$build/bench/rkmeasure

RUNS=${RUNS:-5}
WARMUP=${WARMUP:-1}
BIG_PEER=${BIG_PEER:-0}
ONLY=${ONLY:-}
BIG_RECORDS=8500000
RECORDS=500000
SEED=1

big=0
do_build=1
for arg in "$@"; do
    case $arg in
        --big) big=1 ;;
        --no-build) do_build=0 ;;
        -h | --help)
            sed -n '2,16p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
            exit 0
            ;;
        *)
            echo "run.sh: unknown argument '$arg' (try --help)" >&2
            exit 2
            ;;
    esac
done
if ! [[ $RUNS =~ ^[1-9][0-9]*$ && $WARMUP =~ ^[0-9]+$ ]]; then
    echo "run.sh: RUNS must be a positive integer and WARMUP a count" >&2
    exit 2
fi

# All data is UTF-8; every command below, ours and the peers', runs with it.
export LC_ALL=C.UTF-8

say() { printf '%s\n' "$*" >&2; }

mkdir -p "$data" "$out"

# ---------------------------------------------------------------- building

if ((do_build)); then
    say "== building (make -C $repo; log in bench/data/build.log)"
    if ! make -C "$repo" >"$data/build.log" 2>&1; then
        say "!! the build failed; last lines of bench/data/build.log:"
        tail -n 15 "$data/build.log" | sed 's/^/   /' >&2
        say "!! going on with whatever is already in build/bin (it may be stale)"
    fi
fi

# The helpers are plain standard C++; if the project build did not produce
# them (e.g. a half-edited tree elsewhere), compile them directly.
for helper in rkgen:gen.cpp rkmeasure:measure.cpp; do
    exe=$build/bench/${helper%%:*}
    src=$here/${helper#*:}
    if [[ ! -x $exe || $src -nt $exe ]]; then
        say "== compiling ${exe#"$repo"/} directly"
        mkdir -p "$build/bench"
        "${CXX:-c++}" -std=c++20 -O2 -Wall -Wextra -o "$exe" "$src"
    fi
done

missing=()
for p in Rkcat Rkhead Rktail Rkproj Rkgrep Rksort Rkselect Rked; do
    [[ -x $bin/$p ]] || missing+=("$p")
done
if ((${#missing[@]})); then
    say "!! not built yet: ${missing[*]} (expected in build/bin/)."
    say "!! Their rows show 'not built'; the peers are still measured."
fi

# ---------------------------------------------------------------- peers

if ! command -v mawk >/dev/null 2>&1; then
    say "== installing mawk"
    sudo=
    if ((EUID != 0)) && command -v sudo >/dev/null 2>&1; then sudo=sudo; fi
    if ! $sudo apt-get install -y mawk >&2; then
        if ! { $sudo apt-get update >&2 && $sudo apt-get install -y mawk >&2; }; then
            say "!! could not install mawk; peer columns will be empty"
        fi
    fi
fi
have_mawk=0
command -v mawk >/dev/null 2>&1 && have_mawk=1

# ---------------------------------------------------------------- data

# gen FILE N: writes N records to FILE unless FILE is already the output of
# the current generator for N (the stamp holds the generator's checksum).
gen() {
    local file=$1 n=$2 stamp want
    stamp=$file.stamp
    want="$(sha256sum <"$here/gen.cpp" | cut -d' ' -f1) records=$n seed=$SEED"
    if [[ -f $file && -f $stamp && "$(cat "$stamp")" == "$want" ]]; then
        return
    fi
    say "== generating ${file#"$repo"/} ($n records)"
    rm -f "$stamp"
    "$rkgen" "$n" "$SEED" >"$file.tmp"
    mv "$file.tmp" "$file"
    printf '%s\n' "$want" >"$stamp"
}

# ---------------------------------------------------------------- benchmarks

# Environment of the measured commands (they run under /bin/sh -c): the
# suite's programs come first in PATH, D is the data file, the AWK_* are the
# peer programs, so that a benchmark is one readable line.
export PATH="$bin:$PATH"
export AWK_CAT='BEGIN{RS="";FS="\n"}{print $0 "\n"}'
export AWK_HEAD10='BEGIN{RS="";FS="\n"}{print $0 "\n"} NR==10{exit}'
export AWK_HEAD1='BEGIN{RS="";FS="\n"}{print $0 "\n"; exit}'
# Keeps the name and price lines of each record, as Rkproj name,price does.
export AWK_PROJ='BEGIN{RS="";FS="\n"}{o=""; for(i=1;i<=NF;i++) if(index($i,"name:")==1 || index($i,"price:")==1) o=o $i "\n"; if(o!="") print o}'
# Numbers the records within runs of equal city, as Rkcat -n -g city does.
export AWK_GROUP='BEGIN{RS="";FS="\n"}{k=""; for(i=1;i<=NF;i++) if(index($i,"city:")==1) k=k substr($i,6) "\1"; s=(NR>1 && k==p)?s+1:1; p=k; print "seq:" s "\n" $0 "\n"}'
# Select records as Rkgrep does: an expression without a newline matches
# some field line exactly when it matches the record text, and $ at the end
# of a field line is a newline or the end of the record there.
export AWK_TOKYO='BEGIN{RS="";FS="\n"}/city:Tokyo/{print $0 "\n"}'
export AWK_NOTAG='BEGIN{RS="";FS="\n"}!/tag:(alpha|beta)(\n|$)/{print $0 "\n"}'
export AWK_ZZZQ='BEGIN{RS="";FS="\n"}/zzzq/{print $0 "\n"}'
export AWK_TAIL10='BEGIN{RS="";FS="\n"}{r[NR%10]=$0} END{for(i=NR-9;i<=NR;i++) if(i>0) print r[i%10] "\n"}'
export YREC=$'x:1\n'
# The peer of Rksort price:n: mawk puts each record on one line, its price
# first, then a tab, then its fields joined by \001 (which the data never
# holds); sort -s orders the lines stably by the number before the tab; mawk
# turns them back into records.
export TAB=$'\t'
export AWK_DECORATE='BEGIN{RS="";FS="\n"}{k=""; for(i=1;i<=NF;i++) if(index($i,"price:")==1){k=substr($i,7); break} r=$1; for(i=2;i<=NF;i++) r=r "\001" $i; print k "\t" r}'
export AWK_UNDECORATE='{sub(/^[^\t]*\t/,""); gsub(/\001/,"\n"); print $0 "\n"}'
SORT_PEER='mawk "$AWK_DECORATE" "$D" | sort -s -t "$TAB" -k1,1n | mawk "$AWK_UNDECORATE"'
# Run files of Rksort (and sort's own temporary files) stay in bench/data/.
export TMPDIR=$data/tmp
mkdir -p "$TMPDIR"

# Converts "12.3456" seconds to integer tenths of a millisecond.
ticks() { local s=${1/./}; echo $((10#$s)); }

# measure CMD [PEER]: runs rkmeasure, leaves the result in m_time, m_rss,
# m_status; with PEER, the two take turns and the peer's result is in
# p_time, p_rss, p_status, and m_paired is the median of the rounds' ratios.
measure() {
    local lines kv k=m
    m_time=- m_rss=- m_status=0 m_paired=- p_time=- p_rss=- p_status=0
    lines=$("$rkmeasure" -r "$RUNS" -w "$WARMUP" -- "$@") || true
    while read -r -a kvs; do
        for kv in "${kvs[@]}"; do
            case $kv in
                median_s=*) printf -v "${k}_time" %s "${kv#*=}" ;;
                maxrss_mb=*) printf -v "${k}_rss" %s "${kv#*=}" ;;
                status=*) printf -v "${k}_status" %s "${kv#*=}" ;;
                paired=*) m_paired=${kv#*=} ;;
            esac
        done
        k=p
    done <<<"$lines"
}

# Run files that a sort left behind count as a failure.
check_tmp() {
    local left
    left=$(find "$TMPDIR" -maxdepth 1 -name 'Rksort*' | wc -l)
    if ((left)); then
        echo "!! $left run file(s) of Rksort left in ${TMPDIR#"$repo"/}"
        failures=$((failures + 1))
    fi
}

# sorted_copy FILE ORDER: writes FILE, the records of $D ordered by price
# (ORDER n or nr), unless it is already newer than $D. The peer pipeline
# makes it when mawk is there, else Rksort.
sorted_copy() {
    local file=$1 order=$2
    [[ -f $file && $file -nt $D ]] && return
    say "== writing ${file#"$repo"/} (bench.rk by price:$order)"
    if ((have_mawk)); then
        mawk "$AWK_DECORATE" "$D" | sort -s -t "$TAB" -k1,1"$order" | mawk "$AWK_UNDECORATE" >"$file.tmp"
    elif [[ -x $bin/Rksort ]]; then
        "$bin/Rksort" "price:$order" "$D" >"$file.tmp"
    else
        say "!! neither mawk nor Rksort: ${file#"$repo"/} not written"
        return
    fi
    mv "$file.tmp" "$file"
}

row() { printf '%-24s %9s %9s %9s %9s %9s  %s\n' "$@"; }

failures=0

# bench NAME OURS [PEER [same|- [DATA]]]
#   OURS and PEER are /bin/sh command lines; PEER '-' or absent means none.
#   Timed runs write to /dev/null, so that the figures are the programs' own
#   work and not the file system's. With 'same', one more untimed run of each
#   keeps its output in bench/data/out/, and the two must be byte-identical.
#   DATA, when given, is the data file $D of both commands for this row.
bench() {
    [[ -z $ONLY || $1 =~ $ONLY ]] || return 0
    local name=$1 ours=$2 peer=${3:--} mode=${4:-}
    local -x D=${5:-$D}
    local file=${name//[^A-Za-z0-9._-]/_}
    file=$(tr -s _ <<<"$file")
    local o_out=/dev/null p_out=/dev/null
    local o_time=- o_rss=- p_time=- p_rss=- ratio=- check=-
    local prog absent=()

    if [[ $mode == same ]]; then
        o_out=$out/$file.ours p_out=$out/$file.peer
        rm -f "$o_out" "$p_out"
    fi
    while read -r prog; do
        [[ -z $prog || -x $bin/$prog ]] || absent+=("$prog")
    done < <(grep -oE '\bRk[A-Za-z]+' <<<"$ours" | sort -u || true)
    if [[ $peer == *mawk* ]] && ((!have_mawk)); then peer=-; fi

    if ((${#absent[@]})); then
        o_time="not built" check="(${absent[*]} missing)"
        if [[ $peer != - ]]; then
            measure "$peer"
            p_time=$m_time p_rss=$m_rss p_status=$m_status
        fi
    else
        # Ours and the peer take turns, so that a host whose speed drifts
        # slows both alike; the ratio is the median of the rounds' ratios.
        if [[ $peer != - ]]; then
            measure "$ours" "$peer"
        else
            measure "$ours"
        fi
        o_time=$m_time o_rss=$m_rss
        [[ $o_out == /dev/null ]] || "$rkmeasure" -r 1 -w 0 -o "$o_out" -- "$ours" >/dev/null || true
        if ((m_status == 124)); then
            check="ours TIMED OUT"; failures=$((failures + 1))
        elif ((m_status != 0)); then
            check="ours exit $m_status"; failures=$((failures + 1))
        fi
        if [[ $m_paired =~ ^[0-9.]+$ ]]; then
            local r
            r=$(ticks "$m_paired")
            r=$(((r + 50) / 100))
            ratio=$(printf '%d.%02d' $((r / 100)) $((r % 100)))
        fi
    fi
    if [[ $peer != - ]]; then
        [[ $p_out == /dev/null ]] || "$rkmeasure" -r 1 -w 0 -o "$p_out" -- "$peer" >/dev/null || true
        if ((p_status != 0)) && [[ $check == - ]]; then
            check="peer exit $p_status"; failures=$((failures + 1))
        fi
    fi
    if [[ $mode == same && $check == - && $o_time != "not built" && $p_time != - ]]; then
        if cmp -s "$o_out" "$p_out"; then
            check="identical"
        else
            check="DIFFER: $(cmp "$o_out" "$p_out" 2>&1 | sed -n "1s|$out/||gp" || true)"
            failures=$((failures + 1))
        fi
    fi
    row "$name" "$o_time" "$p_time" "$ratio" "$o_rss" "$p_rss" "$check"
}

header() {
    echo
    echo "$1"
    row benchmark "ours_s" "peer_s" "ours/peer" "ours_MB" "peer_MB" "output"
    row "------------------------" "---------" "---------" "---------" "---------" "---------" "------"
}

gen "$data/bench.rk" "$RECORDS"
export D=$data/bench.rk
cat "$D" >/dev/null # page cache warm for everyone

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "locale LC_ALL=$LC_ALL, median of $RUNS runs after $WARMUP warm-up, peer: $(command -v mawk || echo none)"
echo "data: bench/data/bench.rk, $RECORDS records, $(stat -c %s "$D") bytes"

header "== $RECORDS records"
bench "pass-through"     'Rkcat "$D"'    'mawk "$AWK_CAT" "$D"'    same
bench "  vs read limit"  'Rkcat "$D"'    'cat "$D"'
bench "head -10"         'Rkhead -10 "$D"' 'mawk "$AWK_HEAD10" "$D"' same
bench "tail -10"         'Rktail -10 "$D"' 'mawk "$AWK_TAIL10" "$D"' same
bench "endless | head -1" 'yes "$YREC" | timeout 5 Rkhead -1' 'yes "$YREC" | timeout 5 mawk "$AWK_HEAD1"' same
bench "proj name,price"  'Rkproj name,price "$D"' 'mawk "$AWK_PROJ" "$D"' same
bench "  vs pass-through" 'Rkproj name,price "$D"' 'mawk "$AWK_CAT" "$D"'
bench "cat -n -g city"   'Rkcat -n -g city "$D"' 'mawk "$AWK_GROUP" "$D"' same
bench "  vs pass-through" 'Rkcat -n -g city "$D"' 'mawk "$AWK_CAT" "$D"'
bench "grep city:Tokyo"        'Rkgrep city:Tokyo "$D"' 'mawk "$AWK_TOKYO" "$D"' same
bench "grep -v tag alpha|beta" 'Rkgrep -v '\''tag:(alpha|beta)$'\'' "$D"' 'mawk "$AWK_NOTAG" "$D"' same
bench "grep zzzq (no match)"   'Rkgrep zzzq "$D"' 'mawk "$AWK_ZZZQ" "$D"' same
# Rkl: conditions and edits against the same jobs in awk (paragraph mode, a
# loop over the fields), and against Miller on the same data as DKVP lines.
export AWK_PRICE='BEGIN{RS="";FS="\n"}{for(i=1;i<=NF;i++) if(index($i,"price:")==1){ if (substr($i,7)+0 > 100) print $0 "\n"; break}}'
export AWK_CITY='BEGIN{RS="";FS="\n"}{for(i=1;i<=NF;i++) if(index($i,"city:")==1){ if (substr($i,6) == "Tokyo") print $0 "\n"; break}}'
export AWK_LIKE='BEGIN{RS="";FS="\n"}{for(i=1;i<=NF;i++) if(index($i,"city:")==1){ if (substr($i,6) ~ /^(Tokyo|Lyon)$/) print $0 "\n"; break}}'
export AWK_TOTAL='BEGIN{RS="";FS="\n"}{p="";q="";for(i=1;i<=NF;i++){ if(index($i,"price:")==1) p=substr($i,7); else if(index($i,"qty:")==1) q=substr($i,5)} t=p*q; if (t==int(t) && t>=-2147483648 && t<2147483648) s=sprintf("%d",t); else s=sprintf("%g",t); print $0 "\ntotal:" s "\n"}'
bench "select price:n GT 100"  'Rkselect price:n GT 100 "$D"' 'mawk "$AWK_PRICE" "$D"' same
bench "select city == Tokyo"   'Rkselect city == Tokyo "$D"' 'mawk "$AWK_CITY" "$D"' same
bench "select city LIKE"       'Rkselect city LIKE '\''^(Tokyo|Lyon)$'\'' "$D"' 'mawk "$AWK_LIKE" "$D"' same
bench "ed total = price*qty"   'Rked total = FIELD price:n TIMES FIELD qty:n "$D"' 'mawk "$AWK_TOTAL" "$D"' same
if command -v mlr >/dev/null 2>&1 && ((have_mawk)); then
    export DK=$data/bench.dkvp
    if [[ ! -f $DK || $DK -ot $D ]]; then
        say "== writing ${DK#"$repo"/} (bench.rk as DKVP lines for Miller)"
        mawk 'BEGIN{RS="";FS="\n"}{o=""; for(i=1;i<=NF;i++){c=index($i,":"); o=o (i>1?",":"") substr($i,1,c-1) "=" substr($i,c+1)} print o}' "$D" >"$DK"
    fi
    bench "  price vs Miller"    'Rkselect price:n GT 100 "$D"' 'mlr filter '\''$price > 100'\'' "$DK"'
    bench "  city vs Miller"     'Rkselect city == Tokyo "$D"' 'mlr filter '\''$city == "Tokyo"'\'' "$DK"'
    bench "  LIKE vs Miller"     'Rkselect city LIKE '\''^(Tokyo|Lyon)$'\'' "$D"' 'mlr filter '\''$city =~ "^(Tokyo|Lyon)$"'\'' "$DK"'
    bench "  total vs Miller"    'Rked total = FIELD price:n TIMES FIELD qty:n "$D"' 'mlr put '\''$total = $price * $qty'\'' "$DK"'
else
    say "!! mlr (Miller) not installed: its rows are left out (apt-get install -y miller)"
fi
# Lines: the first eight fields of each record as tab-separated values (the
# first value of each name, empty when a record has none) cut back into
# records; the records written as tab-separated lines; a fixed-width report
# (mawk's printf pads and cuts bytes, not characters, so names with accents
# differ there and the outputs are not compared).
export T=$data/bench.tsv
export AWK_FROMTSV='{print "id:" $1; print "name:" $2; print "city:" $3; print "price:" $4; print "qty:" $5; print "date:" $6; print "tag:" $7; print "note:" $8; print ""}'
export AWK_TOLINE='BEGIN{RS="";FS="\n"}{o=""; for(i=1;i<=NF;i++){c=index($i,":"); o=o (i>1?"\t":"") substr($i,c+1)} print o}'
export AWK_FIXED='BEGIN{RS="";FS="\n"}{id="";nm="";pr=""; for(i=1;i<=NF;i++){c=index($i,":"); k=substr($i,1,c-1); if(k=="id") id=substr($i,c+1); else if(k=="name") nm=substr($i,c+1); else if(k=="price") pr=substr($i,c+1)} printf "%8.8s%-24.24s%10.10s\n", id, nm, pr}'
if ((have_mawk)); then
    if [[ ! -f $T || $T -ot $D ]]; then
        say "== writing ${T#"$repo"/} (the first eight fields of bench.rk as tab-separated lines)"
        mawk 'BEGIN{RS="";FS="\n";OFS="\t"}{split("",v); for(i=1;i<=NF;i++){c=index($i,":"); k=substr($i,1,c-1); if(!(k in v)) v[k]=substr($i,c+1)} print v["id"],v["name"],v["city"],v["price"],v["qty"],v["date"],v["tag"],v["note"]}' "$D" >"$T"
    fi
    bench "fromline tsv"   'RkfromLine id,name,city,price,qty,date,tag,note "$T"' 'mawk -F"	" "$AWK_FROMTSV" "$T"' same
fi
bench "toline tsv"     'RktoLine "$D"' 'mawk "$AWK_TOLINE" "$D"' same
bench "toline fixed"   'RktoLine -p '\''id:(8)r,name:(24),price:(10)r'\'' "$D"' 'mawk "$AWK_FIXED" "$D"'
# Counting: Rkfreq against an awk associative array (sorted, written as the
# same records), against sort | uniq -c and against Miller's count-distinct
# (those two write other formats: timed only).
export AWK_FREQ='BEGIN{RS="";FS="\n"}{for(i=1;i<=NF;i++) if(index($i,"city:")==1){c[substr($i,6)]++; break}} END{for(k in c) print k "\t" c[k]}'
export AWK_FREQ_OUT='BEGIN{FS="\t"}{print "city:" $1; print "count:" $2; print ""}'
export AWK_CITY_LINES='BEGIN{RS="";FS="\n"}{for(i=1;i<=NF;i++) if(index($i,"city:")==1){print substr($i,6); break}}'
# The percent as print_number writes it; ids are all distinct.
export AWK_FREQ_PCT='BEGIN{FS="\t"}{n[NR]=$1; c[NR]=$2; t+=$2} END{for(i=1;i<=NR;i++){p=c[i]*100/t; print "city:" n[i]; print "count:" c[i]; print "percent:" ((p==int(p) && p>=-2147483648 && p<2147483648) ? sprintf("%d",p) : sprintf("%g",p)); print ""}}'
export AWK_ID_LINES='BEGIN{RS="";FS="\n"}{for(i=1;i<=NF;i++) if(index($i,"id:")==1){print substr($i,4); break}}'
export AWK_UNIQ_OUT='{print "id:" $2; print "count:" $1; print ""}'
bench "freq city"              'Rkfreq city "$D"' 'mawk "$AWK_FREQ" "$D" | LC_ALL=C sort | mawk "$AWK_FREQ_OUT"' same
bench "freq -p city"           'Rkfreq -p city "$D"' 'mawk "$AWK_FREQ" "$D" | LC_ALL=C sort | mawk "$AWK_FREQ_PCT"' same
bench "  vs sort | uniq -c"    'Rkfreq city "$D"' 'mawk "$AWK_CITY_LINES" "$D" | LC_ALL=C sort | uniq -c'
bench "freq id (all distinct)" 'Rkfreq id "$D"' 'mawk "$AWK_ID_LINES" "$D" | LC_ALL=C sort | uniq -c | mawk "$AWK_UNIQ_OUT"' same
# Statistics: the same numbers from awk (the deviation by the textbook sum
# of squares, which agrees at %g's six digits on these prices).
export AWK_MEANS='function f(x){return (x==int(x) && x>=-2147483648 && x<2147483648) ? sprintf("%d",x) : sprintf("%g",x)}
function out(k,   a){print "n." k ":" n[k]; if(!n[k]) return; print "sum." k ":" f(s[k]); print "avg." k ":" f(s[k]/n[k]); print "min." k ":" f(lo[k]); print "max." k ":" f(hi[k]); if(n[k]>1){a=(q[k]-s[k]*s[k]/n[k])/(n[k]-1); print "std." k ":" f(sqrt(a>0?a:0))}}
function add(k,x){if(!n[k]||x<lo[k])lo[k]=x; if(!n[k]||x>hi[k])hi[k]=x; n[k]++; s[k]+=x; q[k]+=x*x}
BEGIN{RS="";FS="\n"}{for(i=1;i<=NF;i++){if(index($i,"price:")==1) add("price",substr($i,7)+0); else if(index($i,"qty:")==1) add("qty",substr($i,5)+0)}} END{out("price"); out("qty"); print ""}'
export AWK_MEANS_G='function f(x){return (x==int(x) && x>=-2147483648 && x<2147483648) ? sprintf("%d",x) : sprintf("%g",x)}
function out(k,   a){print "n." k ":" n[k]; if(!n[k]) return; print "sum." k ":" f(s[k]); print "avg." k ":" f(s[k]/n[k]); print "min." k ":" f(lo[k]); print "max." k ":" f(hi[k]); if(n[k]>1){a=(q[k]-s[k]*s[k]/n[k])/(n[k]-1); print "std." k ":" f(sqrt(a>0?a:0))}}
function add(k,x){if(!n[k]||x<lo[k])lo[k]=x; if(!n[k]||x>hi[k])hi[k]=x; n[k]++; s[k]+=x; q[k]+=x*x}
BEGIN{RS="";FS="\n"}{c="";for(i=1;i<=NF;i++) if(index($i,"city:")==1){c=substr($i,6); break}
 if(NR>1 && c!=g){print "city:" g; out("price"); print ""; n["price"]=0; s["price"]=0; q["price"]=0} g=c
 for(i=1;i<=NF;i++) if(index($i,"price:")==1) add("price",substr($i,7)+0)} END{if(NR){print "city:" g; out("price"); print ""}}'
bench "means price,qty"        'Rkmeans price,qty "$D"' 'mawk "$AWK_MEANS" "$D"' same
if [[ ! -f $data/bycity.rk || $data/bycity.rk -ot $D ]] && [[ -x $bin/Rksort ]]; then
    say "== writing bench/data/bycity.rk (bench.rk sorted by city)"
    "$bin/Rksort" city "$D" > "$data/bycity.rk"
fi
bench "means -g city price"    'Rkmeans -g city price "$D"' 'mawk "$AWK_MEANS_G" "$D"' same "$data/bycity.rk"
# Field profiles: the same counts, occurrences per record, lengths and a
# class per field (integer, number, text) from awk, which counts bytes
# where Rkfd counts characters, so the outputs differ on names with
# accents; with -e (-v e=1) awk also marks the fields holding bytes beyond ASCII.
# Miller's summary (types, counts, lengths) is timed as a reference.
export AWK_FD='BEGIN { RS = ""; FS = "\n" }
{
    split("", c); prev = ""
    for (i = 1; i <= NF; i++) {
        p = index($i, ":")
        if (p) { n = substr($i, 1, p - 1); v = substr($i, p + 1) } else { n = ""; v = $i }
        if (!(n in seen)) { seen[n] = 1; order[++k] = n; minl[n] = 1e18; cls[n] = 0 }
        if (n in c) { if (n != prev) sp[n] = 1 }
        c[n]++; prev = n
        l = length(v); if (l < minl[n]) minl[n] = l; if (l > maxl[n]) maxl[n] = l; tl[n] += l
        if (v ~ /^[ \t]*[-+]?[0-9]+[ \t]*$/) t = 1
        else if (v ~ /^[ \t]*[-+]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][-+]?[0-9]+)?[ \t]*$/) t = 2
        else t = 3
        if (t > cls[n]) cls[n] = t
        if (e && t == 3 && v ~ /[\200-\377]/) na[n] = 1
    }
    for (n in c) { r[n]++; if (!(n in minc) || c[n] < minc[n]) minc[n] = c[n]; if (c[n] > maxc[n]) maxc[n] = c[n]; tc[n] += c[n] }
}
END {
    for (j = 1; j <= k; j++) {
        n = order[j]
        print "filename:" FILENAME; print "fieldname:" n
        print "min:" (r[n] < NR ? 0 : minc[n]); print "max:" maxc[n]
        print "exists:" r[n] "/" NR; print "minlen:" minl[n]; print "maxlen:" maxl[n]
        a = tl[n] / tc[n]; print "avglen:" (a == int(a) ? sprintf("%d", a) : sprintf("%g", a))
        if (maxl[n] > 0) print "attribute:" (cls[n] == 1 ? "Int" : cls[n] == 2 ? "Num" : "Asc")
        if (na[n]) print "NAsc:" n
        if (sp[n]) print "position:split"
        print ""
    }
}'
bench "fd"                     'Rkfd "$D"' 'mawk "$AWK_FD" "$D"'
bench "fd -e"                  'Rkfd -e "$D"' 'mawk -v e=1 "$AWK_FD" "$D"'
if command -v mlr >/dev/null 2>&1 && [[ -f ${DK:-} ]]; then
    bench "  freq vs Miller"   'Rkfreq city "$D"' 'mlr count-distinct -f city "$DK"'
    bench "  means vs Miller"  'Rkmeans price,qty "$D"' 'mlr stats1 -a count,sum,mean,min,max,stddev -f price,qty "$DK"'
    bench "  fd vs Miller"     'Rkfd "$D"' 'mlr --ojson summary -a field_type,count,minlen,maxlen "$DK"'
    # Pages: the whole file on 80 by 24, and four fields on 132 by 66,
    # against Miller's aligned table (one page, the whole input held).
    bench "print 80x24 vs Miller" 'Rkprint "$D"' 'mlr --opprint cat "$DK"'
    bench "print -p 132x66 vs Miller" 'Rkprint -x 132 -y 66 -p id,name,city,price "$D"' 'mlr --opprint cut -o -f id,name,city,price "$DK"'
fi
# Joining: the bench file split in two files of different fields, both in
# id order. The peer flattens each record to one tab-separated line led by
# its id, joins the lines with join(1) and makes records of them again.
# The core join looks each record up in every tenth record of the second
# file, against awk's associative array; the update replaces every tenth
# record's price.
split_for_join() {
    local left=$data/left.rk right=$data/right.rk
    [[ -f $right && $right -nt $D ]] && return
    say "== writing bench/data/{left,right,tenth,update}.rk (bench.rk split by fields, every tenth record)"
    "$bin/Rkproj" id,name,city,price "$D" >"$left"
    "$bin/Rkproj" ^name,city,price "$D" >"$data/right.tmp"
    mawk 'BEGIN{RS="";FS="\n"} NR%10==0{print $0 "\n"}' "$data/right.tmp" >"$data/tenth.rk"
    mawk 'BEGIN{RS="";FS="\n"} NR%10==0{sub(/\nprice:[^\n]*/, "\nprice:1.00"); print $0 "\n"}' "$D" >"$data/update.rk"
    mv "$data/right.tmp" "$right"
}
if ((have_mawk)) && [[ -x $bin/Rkproj ]]; then
    split_for_join
    export L=$data/left.rk R=$data/right.rk TENTH=$data/tenth.rk UPD=$data/update.rk
    export AWK_FLAT_ALL='BEGIN{RS="";FS="\n";OFS="\t"}{k="";for(i=1;i<=NF;i++) if(index($i,"id:")==1){k=substr($i,4);break} $1=$1; print k, $0}'
    export AWK_FLAT_REST='BEGIN{RS="";FS="\n"}{k="";r="";for(i=1;i<=NF;i++){if(k=="" && index($i,"id:")==1) k=substr($i,4); else r=r "\t" $i} print k r}'
    export AWK_UNFLAT='BEGIN{FS="\t"}{for(i=2;i<=NF;i++) print $i; print ""}'
    export AWK_LOOKUP='BEGIN{RS="";FS="\n"} FNR==NR{k="";v="";for(i=1;i<=NF;i++){if(k=="" && index($i,"id:")==1) k=substr($i,4); else v=v $i "\n"} a[k]=v; next}
{k="";for(i=1;i<=NF;i++) if(index($i,"id:")==1){k=substr($i,4);break} printf "%s\n%s\n", $0, a[k]}'
    export AWK_UPDATE='BEGIN{RS="";FS="\n"} FNR==NR{u[substr($1,4)]=$0; next} {k=substr($1,4); print ((k in u) ? u[k] : $0) "\n"}'
    export JOIN_PEER=$data/join_peer.sh
    printf '%s\n' 'LC_ALL=C join -t "	" <(mawk "$AWK_FLAT_ALL" "$L") <(mawk "$AWK_FLAT_REST" "$R") | mawk "$AWK_UNFLAT"' >"$JOIN_PEER"
    bench "join id (merge)"       'Rkjoin id "$L" "$R"' 'bash "$JOIN_PEER"' same
    bench "join -c id (lookup)"   'Rkjoin -c id "$L" "$TENTH"' 'mawk "$AWK_LOOKUP" "$TENTH" "$L"' same
    bench "update id"             'Rkupdate id "$D" "$UPD"' 'mawk "$AWK_UPDATE" "$UPD" "$D"' same
fi
# CSV: RktoCsv finds the columns, awk is given them; both quote by the same
# rule and join repeated tags in one cell. RkfromCsv reads the result back,
# and a copy of it without quoted cells (no tags, where awk's split on
# commas is right) against awk; Miller and Python's csv module on the full
# file are timed as reference points.
export AWK_TOCSV='function q(v){if(v ~ /[,"]/ || v ~ /^[ \t\n\v\f\r]/ || v ~ /[ \t\n\v\f\r]$/){gsub(/"/,"\"\"",v); return "\"" v "\""} return v}
BEGIN{RS="";FS="\n"; n=split("id,name,city,price,qty,date,tag,note",col,","); h=col[1]; for(i=2;i<=n;i++) h=h "," col[i]; print h}
{split("",val); split("",cnt); for(i=1;i<=NF;i++){c=index($i,":"); k=substr($i,1,c-1); v=substr($i,c+1); if(k in cnt){val[k]=val[k] "\n" v; cnt[k]++} else {val[k]=v; cnt[k]=1}}
 line=""; for(i=1;i<=n;i++){k=col[i]; s=""; if(k in cnt){if(cnt[k]>1){s=val[k]; gsub(/"/,"\"\"",s); s="\"" s "\""} else s=q(val[k])} line=line (i>1?",":"") s} print line}'
export AWK_FROMCSV='BEGIN{FS=","} NR==1{n=split($0,h,","); next} {for(i=1;i<=n;i++) print h[i] ":" $i; for(i=n+1;i<=NF;i++) print h[n] ":" $i; print ""}'
export PY_FROMCSV='import csv, sys
w = sys.stdout.write
with open(sys.argv[1], newline="") as f:
    rows = csv.reader(f)
    head = next(rows)
    for row in rows:
        for name, cell in zip(head, row):
            for part in cell.split("\n"):
                w(name + ":" + part + "\n")
        w("\n")'
if ((have_mawk)) && [[ -x $bin/RktoCsv ]]; then
    export CSV=$data/bench.csv PLAIN=$data/plain.csv
    if [[ ! -f $PLAIN || $PLAIN -ot $D ]]; then
        say "== writing bench/data/{bench,plain}.csv (bench.rk as CSV, and without its quoted cells)"
        "$bin/RktoCsv" "$D" >"$CSV"
        { echo id,name,city,price,qty,date,note; "$bin/RktoCsv" -p id,name,city,price,qty,date,note "$D" | grep -v '"'; } >"$PLAIN"
    fi
    bench "tocsv"                'RktoCsv "$D"' 'mawk "$AWK_TOCSV" "$D"' same
    bench "fromcsv (plain cells)" 'RkfromCsv "$PLAIN"' 'mawk "$AWK_FROMCSV" "$PLAIN"' same
    bench "  fromcsv vs python"  'RkfromCsv "$CSV"' 'python3 -c "$PY_FROMCSV" "$CSV"' same
    command -v mlr >/dev/null 2>&1 &&
        bench "  fromcsv vs Miller" 'RkfromCsv "$CSV"' 'mlr --icsv --ojson cat "$CSV"'
fi
# JSON: the records as JSON Lines and back, against Miller on the same
# data (DKVP lines one way, the JSON Lines the other) and jq.
if [[ -n ${DK-} && -x $bin/RktoJson ]]; then
    export JSONL=$data/bench.jsonl
    if [[ ! -f $JSONL || $JSONL -ot $D ]]; then
        say "== writing bench/data/bench.jsonl (bench.rk as JSON Lines)"
        "$bin/RktoJson" "$D" >"$JSONL"
    fi
    bench "tojson vs Miller"    'RktoJson "$D"' 'mlr --idkvp --ojson cat "$DK"'
    bench "fromjson vs Miller"  'RkfromJson "$JSONL"' 'mlr --ijson --ojson cat "$JSONL"'
    command -v jq >/dev/null 2>&1 &&
        bench "  fromjson vs jq" 'RkfromJson "$JSONL"' 'jq -c . "$JSONL"'
fi
# Reshaping: the tags of each record packed into one field and back, and
# runs of ten records of one key bundled, each against an awk program that
# does the same.
export AWK_PACK='BEGIN{RS="";FS="\n"}{t="";n=0; for(i=1;i<=NF;i++) if(index($i,"tag:")==1) t=t (n++ ? "\t" : "") substr($i,5)
 d=0; for(i=1;i<=NF;i++){if(index($i,"tag:")==1){if(!d){print "tag:" t; d=1}} else print $i} print ""}'
export AWK_UNPACK='BEGIN{RS="";FS="\n"}{for(i=1;i<=NF;i++){if(index($i,"tag:")==1){n=split(substr($i,5),p,"\t"); for(j=1;j<=n;j++) print "tag:" p[j]} else print $i} print ""}'
export AWK_BUNDLE='BEGIN{RS="";FS="\n"}{k=substr($1,5); if(NR>1 && k==prev){for(i=2;i<=NF;i++) print $i} else {if(NR>1) print ""; print $0} prev=k} END{if(NR) print ""}'
if ((have_mawk)) && [[ -x $bin/Rkpack ]]; then
    export PACKED=$data/packed.rk RUNS10=$data/runs10.rk
    if [[ ! -f $RUNS10 || $RUNS10 -ot $D ]]; then
        say "== writing bench/data/{packed,runs10}.rk (tags packed; a key with runs of ten records)"
        "$bin/Rkpack" tag "$D" >"$PACKED"
        mawk 'BEGIN{RS="";FS="\n"}{print "grp:" int((NR-1)/10); print $0 "\n"}' "$D" >"$RUNS10"
    fi
    bench "pack tag"       'Rkpack tag "$D"' 'mawk "$AWK_PACK" "$D"' same
    bench "unpack tag"     'Rkunpack tag "$PACKED"' 'mawk "$AWK_UNPACK" "$PACKED"' same
    bench "bundle grp"     'Rkbundle grp "$RUNS10"' 'mawk "$AWK_BUNDLE" "$RUNS10"' same
fi
sorted_copy "$data/sorted.rk" n
sorted_copy "$data/reversed.rk" nr
cat "$data/sorted.rk" "$data/reversed.rk" >/dev/null 2>&1 || true
bench "sort price:n"         'Rksort price:n "$D"' "$SORT_PEER" same
bench "  in memory (xmem 1G)" 'Rksort -D xmem=1048576 price:n "$D"' "$SORT_PEER" same
bench "  input sorted"       'Rksort price:n "$D"' "$SORT_PEER" same "$data/sorted.rk"
bench "  input reversed"     'Rksort price:n "$D"' "$SORT_PEER" same "$data/reversed.rk"
check_tmp

if ((big)); then
    gen "$data/big.rk" "$BIG_RECORDS"
    export D=$data/big.rk
    cat "$D" >/dev/null
    echo
    echo "data: bench/data/big.rk, $BIG_RECORDS records, $(stat -c %s "$D") bytes"
    header "== $BIG_RECORDS records"
    bench "big pass-through" 'Rkcat "$D"'      'mawk "$AWK_CAT" "$D"'
    bench "big head -10"     'Rkhead -10 "$D"' 'mawk "$AWK_HEAD10" "$D"' same
    bench "big tail -10"     'Rktail -10 "$D"' 'mawk "$AWK_TAIL10" "$D"' same
    if ((BIG_PEER)); then
        bench "big sort price:n" 'Rksort price:n "$D"' "$SORT_PEER" same
    else
        bench "big sort price:n" 'Rksort price:n "$D"' -
    fi
    check_tmp
fi

echo
if ((failures)); then
    echo "$failures benchmark(s) failed or gave different output (see the output column)"
    exit 1
fi
if ((${#missing[@]})); then
    echo "not built, so not measured: ${missing[*]}"
    exit 1
fi
echo "every run succeeded; every output compared was identical"
