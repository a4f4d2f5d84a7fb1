# Hostile input: every program, with its usual arguments, fed input that no
# well-behaved producer writes. Whatever comes in, a run ends by itself with
# status 0, 1 or 3, never by a signal and never with a sanitizer report, says
# what it has to say about the input (the code error naming the file and the
# record), takes time in proportion to the input, and Rksort leaves no file
# in its temporary directory.
#
# Groups (each case title starts with its group):
#   random:    seeded random bytes: uniform, 7-bit text, UTF-8 text of every
#              character width, and that text with random bytes overwritten;
#              a small reference reader in Python says what must come out.
#   code:      undecodable sequences of every kind at several places of a
#              record; sequences beyond U+10FFFF; bytes above 127 in the C
#              locale.
#   NUL:       NUL bytes everywhere: each program's output is its output on
#              the same input without them.
#   big:       a 50 MB line of one letter, a 50 MB line of multibyte
#              characters, a million empty lines, a record of 200,000 fields.
#   truncated: a valid file cut inside a character of each width, inside a
#              name, after a colon, after a field's newline.
#   buffer:    record ends and characters at every byte around the end of
#              the reader's 64 KB buffer, from files and pipes.
#
# The cases of the groups above share the set-up block "programs": the list
# of programs, a function "run" that runs one of them on one input and notes
# in $bad what is wrong with the run, a temporary directory t for Rksort, and
# the reference reader ref.py. The cases tagged "scanner" (all but the 50 MB
# lines) run once more at each lower vector level of the reader. Each case prints
# one line per program, "ok" when every input passed. Time limits are per run,
# in seconds, and four times as long for the sanitizer build; a run that goes
# on well past its limit is killed and reported as having no end.
# Every case ends with its "--- status" line so that the blank line after it
# belongs to no expected text.

=== setup programs
--- file ref.py
# ref.py FILE [C]: what a correct reader makes of FILE, in UTF-8 or, with C,
# in the C locale (ASCII only): prints the number of the record holding the
# first undecodable byte (0 when there is none) and writes to ref.out the
# records read before it as Rkcat writes them.
import re, sys
data = open(sys.argv[1], "rb").read()
if len(sys.argv) > 2:
    m = re.search(rb"[\x80-\xff]", data)
    bad = m.start() if m else None
else:
    try:
        data.decode("utf-8")
        bad = None
    except UnicodeDecodeError as e:
        bad = e.start
text = data[:bad].decode("utf-8").replace("\0", "")
lines = text.split("\n")
last = lines.pop()  # after the last newline: an unfinished line
recs, cur = [], []
for line in lines:
    if line:
        cur.append(line)
    elif cur:
        recs.append(cur)
        cur = []
if bad is None:
    if last:
        cur.append(last)
    if cur:
        recs.append(cur)
print(0 if bad is None else len(recs) + 1)
with open("ref.out", "wb") as f:
    f.write("".join("\n".join(r) + "\n\n" for r in recs).encode("utf-8"))
--- run
set -f
shopt -s extglob
mkdir t && export TMPDIR=$PWD/t
slow=1; [[ $RK_SANITIZED == 1 ]] && slow=4
progs=("Rkcat" "Rkcat -n -g a" "Rkhead -3" "Rktail -3" "Rkproj a,b" "Rkrename a:x"
       "Rksort a" "Rksort -D xmem=1 a:n" "Rkgrep a.*b" "Rkgrep -m x"
       "Rkselect a =~ a.*b" "Rked x = CAT a" "Rked a = FIELD a SG a BY b"
       "RktoLine -t , -p a:q,b" "Rkfreq -p a" "Rkmeans a"
       "Rkjoin -c a" "Rkjoin -o any nokey" "Rkupdate nokey"
       "RktoCsv -p a,b" "RktoTex -b a" "Rktie a,b new" "Rkuntie a b"
       "Rkpack a" "Rkunpack a" "Rkbundle a" "Rkunbundle c" "Rkfd" "Rkfd -e" "Rkprint" "Rkprint -x 20 -y 6 -n" "Rkprint -x 200 -y 70 -g a")
# run STATUS MESSAGE SECONDS OUTPUT PROGRAM [ARG..] FILE: MESSAGE is the
# expected standard error without the program name when STATUS is not 0,
# OUTPUT a file holding the expected standard output ("" not to compare it).
run() {
  local want=$1 msg=$2 lim=$(($3 * slow)) exp=$4 t0=$SECONDS why= e= w=; shift 4
  timeout -k 5 $((lim + 10)) "$@" > out 2> err; st=$?
  IFS= read -rd '' e < err; ((want == 0)) || w="$1: $msg"$'\n'
  # A line of only a carriage return gets one note, before anything else,
  # where the case says what the note is.
  [[ -n $cr_note ]] && e=${e#"$1: a line holds only a carriage return in ${*: -1}("+([0-9])"$cr_note"}
  [[ $LC_ALL == C && $msg == "code error in Rk-file"* ]] && w+="$1: the locale \"C\" reads ASCII only; for UTF-8 data set LC_ALL=C.UTF-8."$'\n'
  if ((st == 124)); then why="no end after $((SECONDS - t0)) s"
  elif ((st >= 128)); then why="signal $((st - 128))"
  elif [[ $e == *Sanitizer* || $e == *"runtime error"* ]]; then why="sanitizer report"
  elif ((st != want)); then why="status $st, not $want"
  elif [[ $e != "$w" ]]; then why="stderr: ${e:0:300}"
  elif [[ -n $exp ]] && ! cmp -s out "$exp"; then why="output differs"
  elif ((SECONDS - t0 > lim)); then why="$((SECONDS - t0)) s"
  elif [[ $1 == Rksort && -n $(ls -A t) ]]; then why="left $(ls -A t)"; rm -f t/*
  fi
  [[ -z $why ]] || bad+="${bad:+; }${*: -1}: ${why//$'\n'/ | }"
}

=== random: a megabyte of uniform random bytes, read in UTF-8 and in the C locale
--- tags scanner
--- setup programs
--- run
python3 -c 'import random; open("u.rk", "wb").write(random.Random(1).randbytes(1 << 20))'
n=$(python3 ref.py u.rk); mv ref.out u.out
nc=$(python3 ref.py u.rk C); mv ref.out uc.out
for p in "${progs[@]}"; do
  bad=
  for loc in C.UTF-8 C; do
    r=$n o=u.out; [[ $loc == C ]] && r=$nc o=uc.out
    s=3; ((r == 0)) && s=0
    [[ $p == Rkhead* ]] && ((r > 4)) && s=0
    [[ $p == Rkcat ]] || o=
    LC_ALL=$loc run $s "code error in Rk-file u.rk($r), irrecoverable." 5 "$o" $p u.rk
  done
  echo "$p status=$st ${bad:-ok}"
done
--- stdout
Rkcat status=3 ok
Rkcat -n -g a status=3 ok
Rkhead -3 status=3 ok
Rktail -3 status=3 ok
Rkproj a,b status=3 ok
Rkrename a:x status=3 ok
Rksort a status=3 ok
Rksort -D xmem=1 a:n status=3 ok
Rkgrep a.*b status=3 ok
Rkgrep -m x status=3 ok
Rkselect a =~ a.*b status=3 ok
Rked x = CAT a status=3 ok
Rked a = FIELD a SG a BY b status=3 ok
RktoLine -t , -p a:q,b status=3 ok
Rkfreq -p a status=3 ok
Rkmeans a status=3 ok
Rkjoin -c a status=3 ok
Rkjoin -o any nokey status=3 ok
Rkupdate nokey status=3 ok
RktoCsv -p a,b status=3 ok
RktoTex -b a status=3 ok
Rktie a,b new status=3 ok
Rkuntie a b status=3 ok
Rkpack a status=3 ok
Rkunpack a status=3 ok
Rkbundle a status=3 ok
Rkunbundle c status=3 ok
Rkfd status=3 ok
Rkfd -e status=3 ok
Rkprint status=3 ok
Rkprint -x 20 -y 6 -n status=3 ok
Rkprint -x 200 -y 70 -g a status=3 ok
--- status 0

=== random: a megabyte of random 7-bit bytes, NUL and control characters included
--- tags scanner
--- setup programs
--- run
cr_note="): the file has CR LF line ends, so its records run together; convert it with tr -d '\r' or dos2unix."$'\n'
python3 - <<'EOF'
import random
r = random.Random(2)
pool = [chr(c) for c in range(128)] + ["\n"] * 12 + [":"] * 6 + ["a", "b", "x"] * 4
open("a.rk", "w", newline="").write("".join(r.choices(pool, k=1 << 20)))
EOF
python3 ref.py a.rk > /dev/null
# Besides: Rkcat with the smallest areas writes the same, and Rksort through
# runs the same as in memory.
for p in "${progs[@]}"; do
  bad= o=
  case $p in
  Rkcat) o=ref.out; run 0 "" 5 ref.out Rkcat -D rsize=1,tsize=1 a.rk ;;
  "Rksort -D xmem=1 a:n") run 0 "" 5 "" Rksort a:n a.rk; mv out mem.out; o=mem.out ;;
  esac
  run 0 "" 5 "$o" $p a.rk
  echo "$p status=$st ${bad:-ok}"
done
--- stdout
Rkcat status=0 ok
Rkcat -n -g a status=0 ok
Rkhead -3 status=0 ok
Rktail -3 status=0 ok
Rkproj a,b status=0 ok
Rkrename a:x status=0 ok
Rksort a status=0 ok
Rksort -D xmem=1 a:n status=0 ok
Rkgrep a.*b status=0 ok
Rkgrep -m x status=0 ok
Rkselect a =~ a.*b status=0 ok
Rked x = CAT a status=0 ok
Rked a = FIELD a SG a BY b status=0 ok
RktoLine -t , -p a:q,b status=0 ok
Rkfreq -p a status=0 ok
Rkmeans a status=0 ok
Rkjoin -c a status=0 ok
Rkjoin -o any nokey status=0 ok
Rkupdate nokey status=0 ok
RktoCsv -p a,b status=0 ok
RktoTex -b a status=0 ok
Rktie a,b new status=0 ok
Rkuntie a b status=0 ok
Rkpack a status=0 ok
Rkunpack a status=0 ok
Rkbundle a status=0 ok
Rkunbundle c status=0 ok
Rkfd status=0 ok
Rkfd -e status=0 ok
Rkprint status=0 ok
Rkprint -x 20 -y 6 -n status=0 ok
Rkprint -x 200 -y 70 -g a status=0 ok
--- status 0

=== random: UTF-8 text of characters of every width, then with random bytes overwritten
--- tags scanner
--- setup programs
--- run
cr_note="): the file has CR LF line ends, so its records run together; convert it with tr -d '\r' or dos2unix."$'\n'
python3 - <<'EOF'
import random
r = random.Random(3)
wide = ("\u0080\u00e9\u07ff\u0800\u20ac\ud7ff\ue000\ufeff\ufffd\ufffe\uffff"
        "\U00010000\U0001f600\U0010ffff\u0085\u2028")
pool = [chr(c) for c in range(32, 127)] + list("\n" * 10 + ":" * 5 + "\0\t\r\x7f\x01abx") + list(wide) * 4
data = "".join(r.choices(pool, k=300000)).encode("utf-8")
open("w.rk", "wb").write(data)
for i in range(1, 13):
    b = bytearray(data)
    for _ in range(r.randint(1, 3)):
        b[r.randrange(len(b))] = r.randrange(256)
    open("x%d.rk" % i, "wb").write(b)
EOF
files=(w x1 x2 x3 x4 x5 x6 x7 x8 x9 x10 x11 x12)
declare -A num
for f in "${files[@]}"; do num[$f]=$(python3 ref.py $f.rk); mv ref.out $f.out; done
# The text must come through whole, and the overwritten copies must fail where
# the reference reader fails (or not at all). Besides: Rkcat with the smallest
# areas writes the same, and Rksort through runs the same as in memory.
for p in "${progs[@]}"; do
  bad=
  for f in "${files[@]}"; do
    n=${num[$f]} s=3 o=
    ((n == 0)) && s=0
    [[ $p == Rkhead* ]] && ((n > 4)) && s=0
    case $p in
    Rkcat) o=$f.out; run $s "code error in Rk-file $f.rk($n), irrecoverable." 5 $o Rkcat -D rsize=1,tsize=1 $f.rk ;;
    "Rksort -D xmem=1 a:n") [[ $f == w ]] && { run 0 "" 5 "" Rksort a:n w.rk; mv out mem.out; o=mem.out; } ;;
    esac
    run $s "code error in Rk-file $f.rk($n), irrecoverable." 5 "$o" $p $f.rk
  done
  echo "$p ${bad:-ok}"
done
--- stdout
Rkcat ok
Rkcat -n -g a ok
Rkhead -3 ok
Rktail -3 ok
Rkproj a,b ok
Rkrename a:x ok
Rksort a ok
Rksort -D xmem=1 a:n ok
Rkgrep a.*b ok
Rkgrep -m x ok
Rkselect a =~ a.*b ok
Rked x = CAT a ok
Rked a = FIELD a SG a BY b ok
RktoLine -t , -p a:q,b ok
Rkfreq -p a ok
Rkmeans a ok
Rkjoin -c a ok
Rkjoin -o any nokey ok
Rkupdate nokey ok
RktoCsv -p a,b ok
RktoTex -b a ok
Rktie a,b new ok
Rkuntie a b ok
Rkpack a ok
Rkunpack a ok
Rkbundle a ok
Rkunbundle c ok
Rkfd ok
Rkfd -e ok
Rkprint ok
Rkprint -x 20 -y 6 -n ok
Rkprint -x 200 -y 70 -g a ok
--- status 0

=== code: undecodable sequences of every kind, at the start of a line, in a value, across a 64-byte block
--- tags scanner
--- timeout 120
--- setup programs
--- run
# UTF-16 byte-order marks, lone continuation bytes, overlong forms, UTF-16
# surrogates alone and in pairs, sequences cut short by an ASCII character, a
# colon, a newline or a NUL, a lead byte where a continuation byte belongs,
# bytes that never occur.
seqs=('\xff' '\xfe' '\xff\xfe' '\xfe\xff' '\x80' '\xbf' '\xc3\xa9\xa9' '\xc0\x80' '\xc1\xbf'
      '\xe0\x80\x80' '\xe0\x9f\xbf' '\xf0\x80\x80\x80' '\xf0\x8f\xbf\xbf' '\xf8\x80\x80\x80\x80'
      '\xfc\x80\x80\x80\x80\x80' '\xed\xa0\x80' '\xed\xbf\xbf' '\xed\xa0\xbd\xed\xb8\x80'
      '\xc3' '\xe2\x82' '\xf0\x9f\x98' '\xe2\x82:' '\xc3\n' '\xf0\x9f\x98\n' '\xc3\x00\xa9'
      '\xe2\x00\x82\xac' '\xc3\xc3\xa9' '\xe2\xf0\x9f\x98\x80' '\xfe\xfe\xfe\xfe')
# The record that holds the sequence is the second; records follow it. The
# places: the start of the line, the second byte of a value, and the 64th byte
# of the record, so that a sequence of several bytes crosses from one block of
# 64 bytes into the next for a reader that works in such blocks.
mk() {  # mk FILE SEQUENCE PLACE
  local line
  case $3 in
  0) line="$2a:x\n" ;;
  1) line="b:v$2w\n" ;;
  2) line="b:$(printf 'v%.0s' {1..61})$2w\n" ;;
  esac
  printf "a:1\nb:2\n\n$line" > $1
  printf 'a:3\n\nz:4\n' >> $1
}
for i in "${!seqs[@]}"; do
  for at in 0 1 2; do mk m$i.$at.rk "${seqs[i]}" $at; done
done
printf 'a:1\nb:2\n\n' > first.rk
# Sequences beyond U+10FFFF: whatever the C library decodes is a character,
# written back as it was read; what it refuses is a code error.
beyond=('\xf4\x90\x80\x80' '\xf7\xbf\xbf\xbf' '\xf8\x88\x80\x80\x80' '\xfb\xbf\xbf\xbf\xbf'
        '\xfc\x84\x80\x80\x80\x80' '\xfd\xbf\xbf\xbf\xbf\xbf')
python3 - "${beyond[@]}" > libc <<'EOF'
import codecs, ctypes, locale, sys
locale.setlocale(locale.LC_ALL, "C.UTF-8")
libc = ctypes.CDLL(None)
libc.mbrtowc.restype = ctypes.c_size_t
libc.mbrtowc.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t, ctypes.c_void_p]
for s in sys.argv[1:]:
    b = codecs.escape_decode(s)[0]
    wc, st = ctypes.c_uint32(), ctypes.create_string_buffer(32)
    print(0 if libc.mbrtowc(ctypes.byref(wc), b, len(b), st) == len(b) else 3)
EOF
mapfile -t decodes < libc
for i in "${!beyond[@]}"; do
  for at in 0 1 2; do mk b$i.$at.rk "${beyond[i]}" $at; { cat b$i.$at.rk; echo; } > b$i.$at.out; done
done
# In the C locale every byte above 127 is undecodable.
printf 'a:1\nb:2\n\nb:caf\xc3\xa9\n' > c.rk
# Rkcat reads every file; to save time each other program reads each sequence
# at one place, the places taken in turn, so that every file is read by some
# of them.
for k in "${!progs[@]}"; do
  p=${progs[k]} bad=
  for i in "${!seqs[@]}"; do
    for at in 0 1 2; do
      f=m$i.$at.rk o=; [[ $p == Rkcat ]] && o=first.rk
      [[ $p == Rkcat ]] || (((i + k) % 3 == at)) || continue
      run 3 "code error in Rk-file $f(2), irrecoverable." 5 "$o" $p $f
    done
  done
  for i in "${!beyond[@]}"; do
    for at in 0 1 2; do
      f=b$i.$at.rk o=; [[ $p == Rkcat ]] && o=b$i.$at.out
      [[ $p == Rkcat ]] || (((i + k) % 3 == at)) || continue
      ((decodes[i] == 3)) && o=${o:+first.rk}
      run ${decodes[i]} "code error in Rk-file $f(2), irrecoverable." 5 "$o" $p $f
    done
  done
  LC_ALL=C run 3 "code error in Rk-file c.rk(2), irrecoverable." 5 "" $p c.rk
  echo "$p status=$st ${bad:-ok}"
done
--- stdout
Rkcat status=3 ok
Rkcat -n -g a status=3 ok
Rkhead -3 status=3 ok
Rktail -3 status=3 ok
Rkproj a,b status=3 ok
Rkrename a:x status=3 ok
Rksort a status=3 ok
Rksort -D xmem=1 a:n status=3 ok
Rkgrep a.*b status=3 ok
Rkgrep -m x status=3 ok
Rkselect a =~ a.*b status=3 ok
Rked x = CAT a status=3 ok
Rked a = FIELD a SG a BY b status=3 ok
RktoLine -t , -p a:q,b status=3 ok
Rkfreq -p a status=3 ok
Rkmeans a status=3 ok
Rkjoin -c a status=3 ok
Rkjoin -o any nokey status=3 ok
Rkupdate nokey status=3 ok
RktoCsv -p a,b status=3 ok
RktoTex -b a status=3 ok
Rktie a,b new status=3 ok
Rkuntie a b status=3 ok
Rkpack a status=3 ok
Rkunpack a status=3 ok
Rkbundle a status=3 ok
Rkunbundle c status=3 ok
Rkfd status=3 ok
Rkfd -e status=3 ok
Rkprint status=3 ok
Rkprint -x 20 -y 6 -n status=3 ok
Rkprint -x 200 -y 70 -g a status=3 ok
--- status 0


=== NUL: NUL bytes in names, values, lines of their own, long runs: as if they were not there
--- tags scanner
--- timeout 120
--- setup programs
--- run
python3 - <<'EOF'
import random
r = random.Random(4)
pool = [chr(c) for c in range(32, 127)] + list("\n" * 8 + ":" * 4 + "abx") + list("\u00e9\u20ac\U0001f600") * 3
out = ["\0" * 100000]
for ch in r.choices(pool, k=200000):
    if r.random() < 0.1:
        out.append("\0" * r.choice([1, 1, 1, 2, 15, 16, 17, 63, 64, 65, 4095, 4096]))
    out.append(ch)
    if r.random() < 0.0005:
        out.append("\0" * 100000)
open("nul.rk", "w").write("".join(out))
EOF
tr -d '\0' < nul.rk > clean.rk
# Rkprint shows the last part of the name, and a fixed time.
mkdir c && cp clean.rk c/nul.rk && export SOURCE_DATE_EPOCH=0
head -c 1000000 /dev/zero > zeros.rk
yes '' | head -n 100000 | tr '\n' '\0' | sed 's/\x00/\x00\n/g' > zerolines.rk
for p in "${progs[@]}"; do
  bad=
  cf=clean.rk; [[ $p == Rkprint* ]] && cf=c/nul.rk
  run 0 "" 5 "" $p $cf; mv out clean.out
  [[ $p == Rkfd* ]] && sed -i 's/^filename:clean\.rk$/filename:nul.rk/' clean.out
  run 0 "" 5 clean.out $p nul.rk
  # Input without a record: nothing, except Rkmeans's summary of no values.
  none=/dev/null; [[ $p == Rkmeans* ]] && { printf 'n.a:0\n\n' > none.out; none=none.out; }
  run 0 "" 5 $none $p zeros.rk
  run 0 "" 5 $none $p zerolines.rk
  echo "$p status=$st ${bad:-ok}"
done
--- stdout
Rkcat status=0 ok
Rkcat -n -g a status=0 ok
Rkhead -3 status=0 ok
Rktail -3 status=0 ok
Rkproj a,b status=0 ok
Rkrename a:x status=0 ok
Rksort a status=0 ok
Rksort -D xmem=1 a:n status=0 ok
Rkgrep a.*b status=0 ok
Rkgrep -m x status=0 ok
Rkselect a =~ a.*b status=0 ok
Rked x = CAT a status=0 ok
Rked a = FIELD a SG a BY b status=0 ok
RktoLine -t , -p a:q,b status=0 ok
Rkfreq -p a status=0 ok
Rkmeans a status=0 ok
Rkjoin -c a status=0 ok
Rkjoin -o any nokey status=0 ok
Rkupdate nokey status=0 ok
RktoCsv -p a,b status=0 ok
RktoTex -b a status=0 ok
Rktie a,b new status=0 ok
Rkuntie a b status=0 ok
Rkpack a status=0 ok
Rkunpack a status=0 ok
Rkbundle a status=0 ok
Rkunbundle c status=0 ok
Rkfd status=0 ok
Rkfd -e status=0 ok
Rkprint status=0 ok
Rkprint -x 20 -y 6 -n status=0 ok
Rkprint -x 200 -y 70 -g a status=0 ok
--- status 0

=== big: a line of 50 MB of one letter, without a newline
--- timeout 300
--- setup programs
--- run
{ printf 'a:'; head -c 50000000 /dev/zero | tr '\0' a; } > big.rk
# Each program has 20 s for the 50 MB; Rksort needs more than its memory
# limit for the one record.
for p in "${progs[@]}"; do
  bad= s=0 m=
  case $p in
  Rkcat|"Rkjoin -c a"|"Rkjoin -o any nokey"|"Rkupdate nokey"|Rkpack*|Rkunpack*|Rkbundle*|Rkunbundle*|Rkhead*|Rktail*|"Rkproj a,b") o=exp; { cat big.rk; printf '\n\n'; } > exp ;;
  "Rkcat -n -g a") o=exp; { printf 'seq:1\n'; cat big.rk; printf '\n\n'; } > exp ;;
  "Rkrename a:x") o=exp; { printf x; tail -c +2 big.rk; printf '\n\n'; } > exp ;;
  "Rksort a") s=3 m="insufficient xmem(32768) at big.rk(1)."$'\nRksort: the record needs -D xmem=390626 or more.' o= ;;
  "Rksort -D xmem=1 a:n") s=3 m="insufficient xmem(1) at big.rk(1)."$'\nRksort: the record needs -D xmem=195314 or more.' o= ;;
  Rkgrep*|Rkselect*) o=/dev/null ;;
  "Rked x = CAT a") o=exp; { cat big.rk; printf '\nx:'; tail -c +3 big.rk; printf '\n\n'; } > exp ;;
  "Rked a = FIELD a SG a BY b") o=exp; { printf 'a:'; tail -c +3 big.rk | tr a b; printf '\n\n'; } > exp ;;
  RktoLine*) o=exp; { printf '"'; tail -c +3 big.rk; printf '",\n'; } > exp ;;
  Rkfreq*) o=exp; { cat big.rk; printf '\ncount:1\npercent:100\n\n'; } > exp ;;
  Rkmeans*) o=exp; printf 'n.a:0\n\n' > exp ;;
  RktoCsv*) o=exp; { tail -c +3 big.rk; printf ',\n'; } > exp ;;
  RktoTex*) o=exp; { printf '\\a{'; tail -c +3 big.rk; printf '}\n\n'; } > exp ;;
  Rktie*) o=exp; { printf 'new:'; tail -c +3 big.rk; printf '\n\n'; } > exp ;;
  Rkuntie*) o=exp; { printf 'b:'; tail -c +3 big.rk; printf '\n\n'; } > exp ;;
  Rkprint*) o= ;;
  Rkfd*) o=exp; printf 'filename:big.rk\nfieldname:a\nmin:1\nmax:1\nexists:1/1\nminlen:50000000\nmaxlen:50000000\navglen:50000000\nattribute:Asc\n\n' > exp ;;
  esac
  run $s "$m" 20 "$o" $p big.rk
  echo "$p status=$st ${bad:-ok}"
done
--- stdout
Rkcat status=0 ok
Rkcat -n -g a status=0 ok
Rkhead -3 status=0 ok
Rktail -3 status=0 ok
Rkproj a,b status=0 ok
Rkrename a:x status=0 ok
Rksort a status=3 ok
Rksort -D xmem=1 a:n status=3 ok
Rkgrep a.*b status=0 ok
Rkgrep -m x status=0 ok
Rkselect a =~ a.*b status=0 ok
Rked x = CAT a status=0 ok
Rked a = FIELD a SG a BY b status=0 ok
RktoLine -t , -p a:q,b status=0 ok
Rkfreq -p a status=0 ok
Rkmeans a status=0 ok
Rkjoin -c a status=0 ok
Rkjoin -o any nokey status=0 ok
Rkupdate nokey status=0 ok
RktoCsv -p a,b status=0 ok
RktoTex -b a status=0 ok
Rktie a,b new status=0 ok
Rkuntie a b status=0 ok
Rkpack a status=0 ok
Rkunpack a status=0 ok
Rkbundle a status=0 ok
Rkunbundle c status=0 ok
Rkfd status=0 ok
Rkfd -e status=0 ok
Rkprint status=0 ok
Rkprint -x 20 -y 6 -n status=0 ok
Rkprint -x 200 -y 70 -g a status=0 ok
--- status 0


=== big: a line of 50 MB of characters of two, three and four bytes, without a newline
--- timeout 300
--- setup programs
--- run
# Nine bytes repeat, so the reads of the input end inside characters of
# every width.
{ printf 'a:'; yes 'é€😀' | tr -d '\n' | head -c 49999995; } > big.rk
for p in "${progs[@]}"; do
  bad= s=0 m=
  case $p in
  Rkcat|"Rkjoin -c a"|"Rkjoin -o any nokey"|"Rkupdate nokey"|Rkpack*|Rkunpack*|Rkbundle*|Rkunbundle*|Rkhead*|Rktail*|"Rkproj a,b") o=exp; { cat big.rk; printf '\n\n'; } > exp ;;
  "Rkcat -n -g a") o=exp; { printf 'seq:1\n'; cat big.rk; printf '\n\n'; } > exp ;;
  "Rkrename a:x") o=exp; { printf x; tail -c +2 big.rk; printf '\n\n'; } > exp ;;
  "Rksort a") s=3 m="insufficient xmem(32768) at big.rk(1)."$'\nRksort: the record needs -D xmem=130209 or more.' o= ;;
  "Rksort -D xmem=1 a:n") s=3 m="insufficient xmem(1) at big.rk(1)."$'\nRksort: the record needs -D xmem=65105 or more.' o= ;;
  Rkgrep*|Rkselect*) o=/dev/null ;;
  "Rked x = CAT a") o=exp; { cat big.rk; printf '\nx:'; tail -c +3 big.rk; printf '\n\n'; } > exp ;;
  "Rked a = FIELD a SG a BY b") o=exp; { printf 'a:'; tail -c +3 big.rk | tr a b; printf '\n\n'; } > exp ;;
  RktoLine*) o=exp; { printf '"'; tail -c +3 big.rk; printf '",\n'; } > exp ;;
  Rkfreq*) o=exp; { cat big.rk; printf '\ncount:1\npercent:100\n\n'; } > exp ;;
  Rkmeans*) o=exp; printf 'n.a:0\n\n' > exp ;;
  RktoCsv*) o=exp; { tail -c +3 big.rk; printf ',\n'; } > exp ;;
  RktoTex*) o=exp; { printf '\\a{'; tail -c +3 big.rk; printf '}\n\n'; } > exp ;;
  Rktie*) o=exp; { printf 'new:'; tail -c +3 big.rk; printf '\n\n'; } > exp ;;
  Rkuntie*) o=exp; { printf 'b:'; tail -c +3 big.rk; printf '\n\n'; } > exp ;;
  Rkprint*) o= ;;
  # 16,666,665 characters; the emoji's block is newer than the table.
  Rkfd) o=exp; printf 'filename:big.rk\nfieldname:a\nmin:1\nmax:1\nexists:1/1\nminlen:16666665\nmaxlen:16666665\navglen:16666665\nattribute:NAsc\n\n' > exp ;;
  "Rkfd -e") o=exp; printf 'filename:big.rk\nfieldname:a\nmin:1\nmax:1\nexists:1/1\nminlen:16666665\nmaxlen:16666665\navglen:16666665\nattribute:NAsc\nNAsc:Latin-1 Supplement\nNAsc:Currency Symbols\n\n' > exp ;;
  esac
  run $s "$m" 20 "$o" $p big.rk
  echo "$p status=$st ${bad:-ok}"
done
--- stdout
Rkcat status=0 ok
Rkcat -n -g a status=0 ok
Rkhead -3 status=0 ok
Rktail -3 status=0 ok
Rkproj a,b status=0 ok
Rkrename a:x status=0 ok
Rksort a status=3 ok
Rksort -D xmem=1 a:n status=3 ok
Rkgrep a.*b status=0 ok
Rkgrep -m x status=0 ok
Rkselect a =~ a.*b status=0 ok
Rked x = CAT a status=0 ok
Rked a = FIELD a SG a BY b status=0 ok
RktoLine -t , -p a:q,b status=0 ok
Rkfreq -p a status=0 ok
Rkmeans a status=0 ok
Rkjoin -c a status=0 ok
Rkjoin -o any nokey status=0 ok
Rkupdate nokey status=0 ok
RktoCsv -p a,b status=0 ok
RktoTex -b a status=0 ok
Rktie a,b new status=0 ok
Rkuntie a b status=0 ok
Rkpack a status=0 ok
Rkunpack a status=0 ok
Rkbundle a status=0 ok
Rkunbundle c status=0 ok
Rkfd status=0 ok
Rkfd -e status=0 ok
Rkprint status=0 ok
Rkprint -x 20 -y 6 -n status=0 ok
Rkprint -x 200 -y 70 -g a status=0 ok
--- status 0

=== buffer: records that end, and characters that stand, at every byte around the end of the 64 KB buffer, from files and pipes
--- tags scanner
--- run
# Field lines of ASCII with one empty line after each record, which Rkcat
# writes back unchanged; in file k a record's end or a 4-byte character
# stands at byte 65536-70+k.
python3 - <<'PY'
import random
r = random.Random(3)
want = {"all": [], "seq": [], "tokyo": [], "noyt": []}
for k in range(141):
    at = 65536 - 70 + k
    text = b""
    while len(text) < at:
        text += b"f:" + bytes(r.choice(b"abyTo:") for _ in range(r.randrange(1, 300))) + r.choice([b"\n", b"\n\n"])
    piece = b"\n\nk:Tokyo\n\n" if k % 2 else b"\xf0\x9f\x98\x80\n\n"
    cut = at - (0 if k % 2 else k // 2 % 4)
    text = text[:cut - 1] + b"x" + piece + b"t:Tokyo\n\n"
    open("f%03d" % k, "wb").write(text)
    for rec in text.split(b"\n\n")[:-1]:
        rec += b"\n\n"
        want["all"].append(rec)
        want["seq"].append(b"seq:%d\n" % len(want["all"]) + rec)
        if b"Tokyo" in rec: want["tokyo"].append(rec)
        if b"y:T" not in rec: want["noyt"].append(rec)
for name, recs in want.items(): open(name, "wb").write(b"".join(recs))
PY
pipes=$(printf '<(cat %s) ' f*)
Rkcat f* | cmp - all && echo files
eval "Rkcat $pipes" | cmp - all && echo pipes
cat f* | Rkcat -n | cmp - seq && echo stdin
Rkgrep Tokyo f* | cmp - tokyo && echo literal
eval "Rkgrep -v y:T $pipes" | cmp - noyt && echo inverted
--- stdout
files
pipes
stdin
literal
inverted
--- status 0

=== big: a million empty lines, alone, around two records, and before an undecodable byte
--- tags scanner
--- setup programs
--- run
yes '' | head -n 1000000 > e.rk
{ printf 'a:1\n'; cat e.rk; printf 'b:2'; } > r.rk
{ cat e.rk; printf 'a:1\n'; cat e.rk; printf '\xff\n'; } > u.rk
printf 'a:1\n\nb:2\n\n' > cat.out
printf 'x:1\n\nb:2\n\n' > rename.out
printf 'a:1\nx:1\n\nb:2\nx:\n\n' > cat_x.out
for p in "${progs[@]}"; do
  bad= o=
  case $p in
  Rkcat|"Rkjoin -c a"|"Rkjoin -o any nokey"|"Rkupdate nokey"|Rkpack*|Rkunpack*|Rkbundle*|Rkunbundle*|Rkhead*|Rktail*|"Rkproj a,b"|"Rked a = FIELD a SG a BY b") o=cat.out ;;
  "Rkrename a:x") o=rename.out ;;
  "Rked x = CAT a") o=cat_x.out ;;
  Rkgrep*|Rkselect*) o=/dev/null ;;
  esac
  none=/dev/null; [[ $p == Rkmeans* ]] && { printf 'n.a:0\n\n' > none.out; none=none.out; }
  run 0 "" 5 $none $p e.rk
  run 0 "" 5 "$o" $p r.rk
  run 3 "code error in Rk-file u.rk(2), irrecoverable." 5 "" $p u.rk
  echo "$p status=$st ${bad:-ok}"
done
--- stdout
Rkcat status=3 ok
Rkcat -n -g a status=3 ok
Rkhead -3 status=3 ok
Rktail -3 status=3 ok
Rkproj a,b status=3 ok
Rkrename a:x status=3 ok
Rksort a status=3 ok
Rksort -D xmem=1 a:n status=3 ok
Rkgrep a.*b status=3 ok
Rkgrep -m x status=3 ok
Rkselect a =~ a.*b status=3 ok
Rked x = CAT a status=3 ok
Rked a = FIELD a SG a BY b status=3 ok
RktoLine -t , -p a:q,b status=3 ok
Rkfreq -p a status=3 ok
Rkmeans a status=3 ok
Rkjoin -c a status=3 ok
Rkjoin -o any nokey status=3 ok
Rkupdate nokey status=3 ok
RktoCsv -p a,b status=3 ok
RktoTex -b a status=3 ok
Rktie a,b new status=3 ok
Rkuntie a b status=3 ok
Rkpack a status=3 ok
Rkunpack a status=3 ok
Rkbundle a status=3 ok
Rkunbundle c status=3 ok
Rkfd status=3 ok
Rkfd -e status=3 ok
Rkprint status=3 ok
Rkprint -x 20 -y 6 -n status=3 ok
Rkprint -x 200 -y 70 -g a status=3 ok
--- status 0

=== big: one record of 200,000 fields
--- tags scanner
--- setup programs
--- run
# Fields a, b and f<i> in turn, the last one c:ab, which 'a.*b' matches.
awk 'BEGIN { for (i = 0; i < 199999; i++) print (i % 3 == 0 ? "a" : i % 3 == 1 ? "b" : "f" i) ":" i; print "c:ab" }' > f.rk
{ cat f.rk; echo; } > cat.out
{ printf 'seq:1\n'; cat f.rk; echo; } > seq.out
{ grep -E '^(a|b):' f.rk; echo; } > proj.out
{ sed 's/^a:/x:/' f.rk; echo; } > rename.out
{ cat f.rk; printf 'x:'; awk -F: '$1 == "a" { printf "%s", $2 }' f.rk; printf '\n\n'; } > cat_x.out
# Rkpack a: every a value in the place of the first a, tabs between them.
python3 -c "
lines = open('f.rk').read().split('\n')[:-1]
a = [l[2:] for l in lines if l.startswith('a:')]
open('pack.out', 'w').write('a:' + '\t'.join(a) + '\n' + ''.join(l + '\n' for l in lines if not l.startswith('a:')) + '\n')"
for p in "${progs[@]}"; do
  bad= s=0 m= o=
  case $p in
  Rkcat|"Rkjoin -c a"|"Rkjoin -o any nokey"|"Rkupdate nokey"|Rkunpack*|Rkbundle*|Rkunbundle*|Rkhead*|Rktail*|"Rksort a"|"Rkgrep a.*b"|"Rked a = FIELD a SG a BY b") o=cat.out ;;
  "Rked x = CAT a") o=cat_x.out ;;
  Rkselect*) o=/dev/null ;;
  "Rkcat -n -g a") o=seq.out ;;
  Rkpack*) o=pack.out ;;
  "Rkproj a,b") o=proj.out ;;
  "Rkrename a:x") o=rename.out ;;
  "Rksort -D xmem=1 a:n") s=3 m="insufficient xmem(1) at f.rk(1)."$'\nRksort: the record needs -D xmem=13224 or more.' ;;
  "Rkgrep -m x") o=/dev/null ;;
  esac
  run $s "$m" 10 "$o" $p f.rk
  echo "$p status=$st ${bad:-ok}"
done
--- stdout
Rkcat status=0 ok
Rkcat -n -g a status=0 ok
Rkhead -3 status=0 ok
Rktail -3 status=0 ok
Rkproj a,b status=0 ok
Rkrename a:x status=0 ok
Rksort a status=0 ok
Rksort -D xmem=1 a:n status=3 ok
Rkgrep a.*b status=0 ok
Rkgrep -m x status=0 ok
Rkselect a =~ a.*b status=0 ok
Rked x = CAT a status=0 ok
Rked a = FIELD a SG a BY b status=0 ok
RktoLine -t , -p a:q,b status=0 ok
Rkfreq -p a status=0 ok
Rkmeans a status=0 ok
Rkjoin -c a status=0 ok
Rkjoin -o any nokey status=0 ok
Rkupdate nokey status=0 ok
RktoCsv -p a,b status=0 ok
RktoTex -b a status=0 ok
Rktie a,b new status=0 ok
Rkuntie a b status=0 ok
Rkpack a status=0 ok
Rkunpack a status=0 ok
Rkbundle a status=0 ok
Rkunbundle c status=0 ok
Rkfd status=0 ok
Rkfd -e status=0 ok
Rkprint status=0 ok
Rkprint -x 20 -y 6 -n status=0 ok
Rkprint -x 200 -y 70 -g a status=0 ok
--- status 0

=== truncated: a valid file cut inside a character of each width and at several places of a line
--- tags scanner
--- setup programs
--- run
# 1000 records "n:K" "text:é€😀K"; the file is cut in record 700 after the
# bytes named below: inside é, €, 😀; inside the value n:7, the name te, after
# the colon of text:, after the newline of n:700, after the last field's
# newline.
python3 - <<'EOF'
recs = ["n:%d\ntext:\u00e9\u20ac\U0001f600%d\n\n" % (k, k) for k in range(1, 1001)]
whole = [r.encode("utf-8") for r in recs]
head = b"".join(whole[:699])
cuts = {"e1": 12, "euro1": 14, "euro2": 15, "smile1": 17, "smile2": 18, "smile3": 19,
        "value": 3, "name": 8, "colon": 11, "newline": 6, "field": 24}
for name, k in cuts.items():
    part = whole[699][:k]
    open("cut_%s.rk" % name, "wb").write(head + part)
    try:
        part.decode("utf-8")
    except UnicodeDecodeError:  # only the records before it are written
        open("cat_%s.out" % name, "wb").write(head)
        open("tail_%s.out" % name, "wb").write(b"")
        continue
    done = part + (b"\n" if part.endswith(b"\n") else b"\n\n")
    open("cat_%s.out" % name, "wb").write(head + done)
    open("tail_%s.out" % name, "wb").write(whole[697] + whole[698] + done)
EOF
for p in "${progs[@]}"; do
  bad=
  for c in e1 euro1 euro2 smile1 smile2 smile3 value name colon newline field; do
    s=0 o=
    [[ $c == e1 || $c == euro* || $c == smile* ]] && s=3
    [[ $p == Rkhead* ]] && s=0
    [[ $p == Rkcat ]] && o=cat_$c.out
    [[ $p == Rktail* ]] && o=tail_$c.out
    run $s "code error in Rk-file cut_$c.rk(700), irrecoverable." 5 "$o" $p cut_$c.rk
  done
  echo "$p ${bad:-ok}"
done
--- stdout
Rkcat ok
Rkcat -n -g a ok
Rkhead -3 ok
Rktail -3 ok
Rkproj a,b ok
Rkrename a:x ok
Rksort a ok
Rksort -D xmem=1 a:n ok
Rkgrep a.*b ok
Rkgrep -m x ok
Rkselect a =~ a.*b ok
Rked x = CAT a ok
Rked a = FIELD a SG a BY b ok
RktoLine -t , -p a:q,b ok
Rkfreq -p a ok
Rkmeans a ok
Rkjoin -c a ok
Rkjoin -o any nokey ok
Rkupdate nokey ok
RktoCsv -p a,b ok
RktoTex -b a ok
Rktie a,b new ok
Rkuntie a b ok
Rkpack a ok
Rkunpack a ok
Rkbundle a ok
Rkunbundle c ok
Rkfd ok
Rkfd -e ok
Rkprint ok
Rkprint -x 20 -y 6 -n ok
Rkprint -x 200 -y 70 -g a ok
--- status 0


=== regex: nested and overlapping repetitions against 1 MB fields end in time proportional to the field
--- timeout 300
--- run
# Each pattern takes exponential time under plain backtracking on these
# fields; here each run must end within 10 s per MB (four times that under
# the sanitizers) with the right answer.
slow=1; [[ $RK_SANITIZED == 1 ]] && slow=4
python3 - <<'PY'
a = "a" * (1 << 20)
for name, text in [("ab", "k:" + a + "cb"), ("ac", "k:" + a + "bc"), ("at", "k:" + a + "!@"),
                   ("mail", "email:" + a + "!"), ("ctl", "k:" + "\x04" * (1 << 20) + "y")]:
    open(name + ".rk", "w").write(text + "\n")
PY
check() {
  local file=$1 pattern=$2 t0=$EPOCHREALTIME
  timeout -k 5 $((10 * slow + 10)) Rkgrep "$pattern" $file.rk > out 2> err; local st=$?
  local ms=$(( (${EPOCHREALTIME/./} - ${t0/./}) / 1000 ))
  local what=none; [[ -s out ]] && what=match
  cmp -s out <(cat $file.rk; echo) || [[ $what == none ]] || what="wrong output"
  [[ -s err ]] && what+=" $(cat err)"
  ((st > 1)) && what+=" status $st"
  ((ms > 10000 * slow)) && what+=" after $ms ms"
  echo "$pattern: $what"
}
check ab '(a+)+b'
check ac '(a|aa)*c'
check at '([a-z0-9]+)*@'
check mail '^email:([a-z0-9]+)*@'
check ctl $'.+.+\x04+\x04'
--- stdout escaped
(a+)+b: none
(a|aa)*c: match
([a-z0-9]+)*@: match
^email:([a-z0-9]+)*@: none
.+.+\x04+\x04: match
--- status 0

=== lines: RkfromLine on random bytes, NULs, a 50 MB line and continuations that never close
--- timeout 300
--- run
# Random bytes: the records of the lines before the first undecodable byte,
# then the code error naming its line (a reference cut in Python says
# which); NULs are skipped with a counted error each; a 50 MB line is one
# field; an open quote or a backslash at every line end joins every line
# into one field (the line breaks give way to the empty -n text), in time
# proportional to the input.
slow=1; [[ $RK_SANITIZED == 1 ]] && slow=4
check() {  # check NAME STATUS SECONDS COMMAND...: status, time and sanitizer
  local name=$1 want=$2 lim=$(($3 * slow)) t0=$SECONDS; shift 3
  timeout -k 5 $((lim + 10)) "$@" > out 2> err; local st=$?
  local why=
  ((st == want)) || why+=" status $st"
  grep -q -e Sanitizer -e 'runtime error' err && why+=" sanitizer report"
  ((SECONDS - t0 > lim)) && why+=" $((SECONDS - t0)) s"
  echo "$name:${why:- ok}"
}
python3 - <<'PY'
import random
r = random.Random(3)
tokens = [b"a", b"b", b",", b'"', b"\\", b" ", b"\t", b"\n", b"\xc3\xa9", b"\xe6\x97\xa5"]
data = b"".join(r.choice(tokens) for _ in range(1 << 19)) + b"\xff\n"
open("r.txt", "wb").write(data)
good = data[:data.index(b"\xff")]
lines = good.split(b"\n")
bad_line = len(lines)
want = b"".join(b"a:" + l + b"\n\n" for l in lines[:-1])  # with -t '' an empty line is a record too
open("r.want", "wb").write(want)
open("r.err", "w").write("RkfromLine: code error in the file r.txt(%d), irrecoverable.\n" % bad_line)
open("big.txt", "wb").write(b"\"" + b"x," * 25000000 + b"\"\n")
open("nul.txt", "wb").write(b"a\0b\n\0\n")
PY
check random 3 10 RkfromLine -t '' a r.txt
cmp -s out r.want && cmp -s err r.err && echo "random: output and message as the reference"
check big 0 20 RkfromLine -t , a:q big.txt
[[ $(head -c 12 out) == "a:x,x,x,x,x," && $(wc -c < out) == 50000004 ]] && echo "big: one field of 50 MB"
check nul 1 5 RkfromLine a nul.txt
printf 'a:ab\n\n' | cmp -s - out && [[ $(grep -c 'skips a NULL character' err) == 2 ]] && echo "nul: skipped, each counted"
yes 'y' | head -200000 | { echo '"x'; cat; } > open.txt
check open-quote 0 10 RkfromLine -c -t , a:q open.txt
[[ $(wc -c < out) == 200005 ]] && echo "open-quote: every line in the one field"
yes 'y\' | head -200000 > esc.txt
check backslash 0 10 RkfromLine -c -z b a esc.txt
[[ $(wc -c < out) == 200004 ]] && echo "backslash: every line in the one field"
--- stdout
random: ok
random: output and message as the reference
big: ok
big: one field of 50 MB
nul: ok
nul: skipped, each counted
open-quote: ok
open-quote: every line in the one field
backslash: ok
backslash: every line in the one field
--- status 0

=== summaries: a million distinct keys, values that are not numbers, infinite or of a thousand digits
--- timeout 300
--- run
# Rkfreq holds each distinct key once: a million of them in key order, in
# time proportional to the input; Rkmeans leaves nan out as a value that is
# not a number, takes inf and a thousand digits as the numbers they read
# as, and never says -nan (infinities of both signs sum to nan).
slow=1; [[ $RK_SANITIZED == 1 ]] && slow=4
python3 - <<'PY'
with open("m.rk", "w") as f:
    for i in range(1000000):
        f.write("k:%d\n\n" % (i * 7919 % 1000003))
with open("v.rk", "w") as f:
    for v in ["nan", "inf", "-inf", "9" * 1000, "-" + "9" * 1000, "1e400", "0x10", "1"]:
        f.write("x:%s\ny:%s\n\n" % (v, "2"))
PY
t0=$SECONDS
timeout -k 5 $((60 * slow)) Rkfreq k:n m.rk > out 2> err; echo "freq status $?"
python3 -c "
import sys
keys = [int(l[2:]) for l in open('out') if l.startswith('k:')]
counts = [l for l in open('out') if l.startswith('count:')]
print('keys', len(keys), 'in order', keys == sorted(keys), 'counts', set(counts) == {'count:1\n'})"
((SECONDS - t0 <= 60 * slow)) && echo "freq in time"
Rkmeans x,y v.rk
echo "means status $?"
--- stdout
freq status 0
keys 1000000 in order True counts True
freq in time
n.x:7
sum.x:nan
avg.x:nan
min.x:-inf
max.x:inf
std.x:nan
n.y:8
sum.y:16
avg.y:2
min.y:2
max.y:2
std.y:0

means status 0
--- status 0

=== merge: a million records of one key against a few, a hundred inputs at once, bad bytes and disorder in a later input (Rkjoin, Rkupdate, Rksort -m)
--- timeout 300
--- run
slow=1; [[ $RK_SANITIZED == 1 ]] && slow=4
python3 - <<'PY'
with open("m.rk", "w") as f:
    f.write("id:1\nm:x\n\n" * 1000000)
open("f.rk", "w").write("id:1\nf:a\n\nid:1\nf:b\n\nid:2\nf:c\n\n")
# File i holds the keys that are multiples of i + 1, below 300.
for i in range(100):
    with open("in%02d.rk" % i, "w") as f:
        for k in range(0, 300, i + 1):
            f.write("id:%d\nv%d:%d\n\n" % (k, i, k))
PY
# timed NAME COMMAND..: the command's output lines of each kind, counted.
timed() {
  local name=$1 t0=$SECONDS; shift
  timeout -k 5 $((60 * slow)) "$@" > out 2> err; local st=$?
  echo "$name: status $st, $(sort out | uniq -c | sed 's/^ *//' | paste -sd, -)$( ((SECONDS - t0 > 30 * slow)) && echo ", slow")"
  cat err
}
timed join Rkjoin -D rsize=1,tsize=1,dsize=1,ksize=1 id m.rk f.rk
timed core Rkjoin -c id f.rk m.rk
timed update Rkupdate id m.rk f.rk
timed master Rkupdate id f.rk m.rk
# Rksort -m holds two records of each input, however many share a key.
timed sort-merge python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:])
kb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
sys.stderr.write("" if kb < 30000 or sys.argv[1] != "Rksort" else "%d KB\n" % kb)' Rksort -m id m.rk f.rk
# The hundred files: every key with the fields of every file that has it,
# in file order, and of each key the last file's record.
files=(in*.rk)
Rkjoin -o any id:n "${files[@]}" > join.out; echo "join 100: status $?"
Rkupdate id:n "${files[@]}" > update.out; echo "update 100: status $?"
Rksort -m id:n "${files[@]}" | cmp - <(Rksort id:n "${files[@]}") && echo "sort-merge 100: as sorted"
python3 - <<'PY'
join, update = [], []
for k in range(300):
    have = [i for i in range(100) if k % (i + 1) == 0]
    join.append("id:%d\n" % k + "".join("v%d:%d\n" % (i, k) for i in have) + "\n")
    update.append("id:%d\nv%d:%d\n\n" % (k, have[-1], k))
print("join 100 as expected:", open("join.out").read() == "".join(join))
print("update 100 as expected:", open("update.out").read() == "".join(update))
PY
# A bad byte in the second input, a key out of order in the 51st.
printf 'id:1\nv:\xff\n\n' > bad.rk
Rkjoin id f.rk bad.rk; echo "status $?"
Rksort -m id f.rk bad.rk; echo "status $?"
printf 'id:7\n\nid:8\n\nid:3\n\n' > in50.rk
Rkupdate id:n "${files[@]}" | tail -3; echo "status ${PIPESTATUS[0]}"
Rksort -m id:n "${files[@]}" | tail -3; echo "status ${PIPESTATUS[0]}"
--- stdout
join: status 0, 2000000 ,1000000 f:a,1000000 f:b,2000000 id:1,2000000 m:x
core: status 0, 2000001 ,1000000 f:a,1000000 f:b,1 f:c,2000000 id:1,1 id:2,2000000 m:x
update: status 0, 3 ,1 f:a,1 f:b,1 f:c,2 id:1,1 id:2
master: status 0, 1000001 ,1 f:c,1000000 id:1,1 id:2,1000000 m:x
sort-merge: status 0, 1000003 ,1 f:a,1 f:b,1 f:c,1000002 id:1,1 id:2,1000000 m:x
join 100: status 0
update 100: status 0
sort-merge 100: as sorted
join 100 as expected: True
update 100 as expected: True
status 3
status 3

id:7

status 3

id:7

status 3
--- stderr
Rkjoin: code error in Rk-file bad.rk(1), irrecoverable.
Rksort: code error in Rk-file bad.rk(1), irrecoverable.
Rkupdate: key sequence error, stop at in50.rk(3)!
Rkupdate: sort each input with Rksort by the same key-field list and key flags.
Rksort: key sequence error, stop at in50.rk(3)!
Rksort: sort each input with Rksort by the same key-field list and key flags, or sort them together without -m.
--- status 0

=== csv: a 50 MB quoted cell, 100,000 columns, an unterminated quote at the end, NUL bytes
--- timeout 300
--- run
slow=1; [[ $RK_SANITIZED == 1 ]] && slow=4
python3 - <<'PY'
with open("cell.csv", "w") as f:
    f.write('a,b\n1,"' + "x,\"\"y" * 10000000 + '"\n')
with open("wide.rk", "w") as f:
    f.write("".join("f%d:%d\n" % (i, i) for i in range(100000)) + "\n" + "f99999:last\n\n")
open("open.csv", "w").write('a,b\n1,"xyz')
open("nul.csv", "wb").write(b"a,b\n" + b"\0" * 1000 + b"1,2\n")
PY
# within NAME COMMAND..: the command's status, output size and messages,
# and whether it took more than half its time.
within() {
  local name=$1 t0=$SECONDS; shift
  timeout -k 5 $((60 * slow)) "$@" > out 2> err; local st=$?
  echo "$name: status $st, $(wc -c < out) bytes, $(sort -u err | head -3 | paste -sd' ')$( ((SECONDS - t0 > 30 * slow)) && echo ", slow")"
}
within cell RkfromCsv cell.csv
python3 -c "print(open('out').read() == 'a:1\nb:' + 'x,\"y' * 10000000 + '\n\n')"
RkfromCsv cell.csv > cell.rk
within cell-back RktoCsv cell.rk
cmp -s out cell.csv && echo "cell comes back"
within wide RktoCsv wide.rk
RktoCsv wide.rk > wide.csv
within wide-back RkfromCsv wide.csv
python3 -c "
got = open('out').read().split('\n\n')
print(len(got[0].split('\n')), got[1].split('\n')[-1], got[0].split('\n')[12345])"
within wide-tex RktoTex -b ^f1 wide.rk
python3 -c "
want = ''.join('\\\\f%d{%d}\\n' % (i, i) if i != 1 else '\\\\f1 1\\n' for i in range(100000)) + '\\n\\\\f99999{last}\\n\\n'
print(open('out').read() == want)"
within open RkfromCsv open.csv
cat out
within nul RkfromCsv nul.csv
cat out
--- stdout
cell: status 0, 40000008 bytes, 
True
cell-back: status 0, 50000009 bytes, 
cell comes back
wide: status 0, 1377784 bytes, 
wide-back: status 0, 2066676 bytes, 
100000 f99999:last f12345:12345
wide-tex: status 0, 1477795 bytes, 
True
open: status 1, 11 bytes, RkfromCsv: unexpected eof in QUOTATION MARK at open.csv(2).
a:1
b:xyz

nul: status 1, 9 bytes, RkfromCsv: skips a NULL character in the file nul.csv(2).
a:1
b:2

--- status 0

=== stanza: random bytes, a 50 MB line and continuation, a million blank lines, NULs, a cut character, both ways
--- tags scanner
--- timeout 300
--- run
slow=1; [[ $RK_SANITIZED == 1 ]] && slow=4
python3 - <<'PY'
import random
r = random.Random(35)
open("rand.txt", "wb").write(r.randbytes(1 << 20))
tokens = [b"a", b":", b" ", b"\t", b"\n", b"\r", b"\0", b".", b"\xc3\xa9"]
open("text.txt", "wb").write(b"".join(r.choice(tokens) for _ in range(1 << 19)))
open("long.txt", "wb").write(b"Long: " + b"x" * 50000000 + b"\n " + b"y:" * 25000000 + b"\n")
open("blank.txt", "wb").write(b"\n \t\n" * 500000 + b"a: 1\n" + b" \n" * 500000 + b"b: 2\n")
open("cut.txt", "wb").write(b"a: 1\n\nb: \xe2\x82")
open("many.rk", "wb").write(b"a:x\n" * 200000 + b"noname\n\n")
PY
# within NAME COMMAND..: the command's status, output size and messages,
# and whether it took more than half its time.
within() {
  local name=$1 t0=$SECONDS; shift
  timeout -k 5 $((60 * slow)) "$@" > out 2> err; local st=$?
  echo "$name: status $st, $(wc -c < out) bytes, $(sort -u err | head -2 | cut -c1-60 | paste -sd' ')$( ((SECONDS - t0 > 30 * slow)) && echo ", slow")"
}
within random RkfromStanza rand.txt
within text RkfromStanza text.txt
RkfromStanza text.txt 2> /dev/null > text.rk
within text-back RktoStanza text.rk
within long RkfromStanza long.txt
python3 -c "print(open('out').read() == 'Long:' + 'x' * 50000000 + '\nLong:' + 'y:' * 25000000 + '\n\n')"
RkfromStanza long.txt | RktoStanza | cmp -s - <(cat long.txt; echo) && echo "long comes back"
within blank RkfromStanza blank.txt
cat out
within cut RkfromStanza cut.txt
cat out
within many RktoStanza many.rk
head -c 12 out | od -An -c
--- stdout
random: status 3, 0 bytes, RkfromStanza: code error in the file rand.txt(1), irrecovera
text: status 1, 520403 bytes, RkfromStanza: continuation line without a field above in tex RkfromStanza: continuation line without a field above in tex
text-back: status 1, 523762 bytes, RktoStanza: a line holds only a carriage return in text.rk(1 RktoStanza: fields without a name, beginning with a blank or
long: status 0, 100000013 bytes, 
True
long comes back
blank: status 0, 10 bytes, 
a:1

b:2

cut: status 3, 5 bytes, RkfromStanza: code error in the file cut.txt(3), irrecoverab
a:1

many: status 1, 600010 bytes, RktoStanza: fields without a name, beginning with a blank or
   a   :       x  \n       x  \n       x  \n    
--- status 0
=== json: random bytes, nesting 100,000 deep, a 50 MB string, a long top-level array, bad UTF-8, lone surrogates, NULs, cut input, both ways
--- tags scanner
--- timeout 300
--- run
slow=1; [[ $RK_SANITIZED == 1 ]] && slow=4
python3 - <<'PY'
import random
r = random.Random(37)
open("rand.json", "wb").write(r.randbytes(1 << 20))
tokens = [b"{", b"}", b"[", b"]", b'"', b":", b",", b"1", b"a", b"\n", b"\\u0000", b"\\ud800", b"\xff", b"true", b" "]
open("text.json", "wb").write(b"".join(r.choice(tokens) for _ in range(1 << 19)))
open("deep.json", "wb").write(b'{"a":' + b"[" * 100000 + b"1" + b"]" * 100000 + b"}\n" + b'{"a":' * 100000 + b"2" +
                              b"}" * 100000 + b"\n" + b"[" * 100000 + b"\n")
open("long.json", "wb").write(b'{"s":"' + b"x" * 50000000 + b'","t":"' + b"y\\n" * 1000000 + b'"}\n')
open("array.json", "wb").write(b"[" + b",\n".join(b'{"i":%d,"s":"\\u00e9"}' % i for i in range(200000)) + b"]")
open("bad.json", "wb").write(b'{"a":1}\n{"a":"\xff"}\n{"a":"\xc0\xaf"}\n{"a":"\\ud800"}\n{"a":"\\udfff"}\n{"\\u0000":"x\\u0000y"}\n'
                             b'{"a":[1,\n{"a":"\xe2\x82')
open("wide.rk", "wb").write(b"".join(b"n%d.x:1\n" % i for i in range(200000)) + b"a:x\n" * 200000 + b"\n")
PY
# within NAME COMMAND..: the command's status, output size and messages,
# and whether it took more than half its time.
within() {
  local name=$1 t0=$SECONDS; shift
  timeout -k 5 $((60 * slow)) "$@" > out 2> err; local st=$?
  echo "$name: status $st, $(wc -c < out) bytes, $(sort -u err | head -2 | cut -c1-60 | paste -sd' ')$( ((SECONDS - t0 > 30 * slow)) && echo ", slow")"
}
within random RkfromJson rand.json
within text RkfromJson text.json
RkfromJson text.json 2> /dev/null | RktoJson > text.jsonl
RkfromJson text.jsonl | cmp -s - <(RkfromJson text.json 2> /dev/null | RktoJson | RkfromJson) && echo "text comes back"
within deep RkfromJson deep.json
head -c 20 out; echo; tail -c 10 out | od -An -c
RkfromJson deep.json 2> /dev/null > deep.rk
within deep-back RktoJson -u . deep.rk
head -1 out
sed -n 2p out | cmp -s - <(sed -n 2p deep.json) && echo "deep names nest back"
within long RkfromJson long.json
python3 -c "print(open('out').read() == 's:' + 'x' * 50000000 + '\n' + 't:y\n' * 1000000 + 't:\n\n')"
RkfromJson long.json | RktoJson | cmp -s - <(python3 -c "import json; print(json.dumps({'s': 'x' * 50000000, 't': ['y'] * 1000000 + ['']}, separators=(',', ':')))") && echo "long comes back"
within array RkfromJson array.json
grep -c '^i:' out; tail -3 out
within bad RkfromJson bad.json
cat out err
within wide RktoJson -u . wide.rk
head -c 40 out; echo
--- stdout
random: status 1, 0 bytes, RkfromJson: a value that is not an object in rand.json(10),  RkfromJson: a value that is not an object in rand.json(1026)
text: status 1, 0 bytes, RkfromJson: a byte that is not UTF-8 in text.json(1046), wri RkfromJson: a byte that is not UTF-8 in text.json(11694), wr
text comes back
deep: status 1, 200008 bytes, RkfromJson: text that is not JSON in deep.json(4) (Invalid v RkfromJson: text that is not JSON in deep.json(4) (The top-l
a:1

a.a.a.a.a.a.a.a
   .   a   .   a   .   a   :   2  \n  \n
deep-back: status 0, 600010 bytes, 
{"a":1}
deep names nest back
long: status 0, 54000007 bytes, 
True
long comes back
array: status 0, 2888890 bytes, 
200000
i:199999
s:é

bad: status 1, 26 bytes, RkfromJson: a byte that is not UTF-8 in bad.json(2), written RkfromJson: a byte that is not UTF-8 in bad.json(3), written
a:1

a:?

a:??

a:?

:xy

RkfromJson: a byte that is not UTF-8 in bad.json(2), written as ?.
RkfromJson: a byte that is not UTF-8 in bad.json(3), written as ?.
RkfromJson: a byte that is not UTF-8 in bad.json(3), written as ?.
RkfromJson: text that is not JSON in bad.json(4) (The surrogate pair in string is invalid), read on from the next line.
RkfromJson: a character the locale can't encode in bad.json(5), written as ?.
RkfromJson: skips a NULL character in the file bad.json(6).
RkfromJson: skips a NULL character in the file bad.json(6).
RkfromJson: text that is not JSON in bad.json(8) (Missing a closing quotation mark in string), read on from the next line.
wide: status 0, 4288898 bytes, 
{"n0":{"x":1},"n1":{"x":1},"n2":{"x":1},
--- status 0
