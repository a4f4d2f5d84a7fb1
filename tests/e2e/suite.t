# What every program of the suite does alike: --help and --version, output
# that keeps pace with slow input, the advice after a code error in an
# ASCII-only locale. The first cases go over every program in the build.

=== options: --help and --version of every program; other unknown options keep the usage on stderr and status 2
--- run
bin=$(dirname "$(command -v Rkcat)")
versions=
for path in "$bin"/Rk*; do
  p=${path##*/}
  "$p" --help > help.out 2> help.err; hs=$?
  "$p" --no-such-option > bad.out 2> bad.err; bs=$?
  "$p" --version > version.out 2> version.err; vs=$?
  v=$(cat version.out)
  why=
  [[ $hs == 0 && ! -s help.err ]] || why+=" --help: status $hs or stderr"
  [[ $bs == 2 && ! -s bad.out ]] || why+=" unknown: status $bs or stdout"
  # --help is the usage text and a last line naming the manual page; Rkprint
  # ends on an unknown option without a word.
  [[ $(tail -n 1 help.out) == $'\tManual: man '$p ]] || why+=" --help does not end naming the page"
  if [[ $p == Rkprint ]]; then
    [[ $(wc -l < help.out) -gt 1 && ! -s bad.err ]] || why+=" --help without text or unknown option with one"
  else
    head -n -1 help.out | cmp -s - bad.err && [[ -s bad.err ]] || why+=" --help is not the usage text"
  fi
  [[ $vs == 0 && ! -s version.err ]] || why+=" --version: status $vs or stderr"
  [[ $v =~ ^$p\ \(Rk\ tools\)\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || why+=" --version says '$v'"
  versions+="${v##* }"$'\n'
  [[ -z $why ]] || echo "$p:$why"
done
n=$(sort -u <<< "$versions" | grep -c .)
echo "programs: $(ls "$bin"/Rk* | wc -l), versions: $n"
# The name is the program's own under any other name; an error counted
# before --help ends the run as errors do.
ln -s "$bin/Rkcat" other
./other --version | sed 's/ [0-9.]*$//'
Rkcat -D bogus=1 --help
echo "status $?"
--- stdout
programs: 30, versions: 1
Rkcat (Rk tools)
status 2
--- stderr
Rkcat: -D bogus is unknown.
--- status 0

=== streaming: records reach the output as their input arrives, before the input ends
--- run
# Each filter gets one record through a pipe that stays open: the record
# must come out within 10 s, before the input ends. Then the input closes.
mkfifo in
check() {
  "$@" < in > out.$1 &
  local pid=$! t=0
  exec 3> in
  printf 'a:1\n\n' >&3
  until [[ -s out.$1 ]] || ((t >= 100)); do sleep 0.1; ((t++)); done
  if [[ -s out.$1 ]]; then echo "$1: $(head -c 200 out.$1 | tr '\n' ' ')"; else echo "$1: nothing yet"; fi
  exec 3>&-
  wait $pid
}
check Rkcat -n
check Rkgrep a
check Rkproj a
check Rkrename a:b
check Rkhead -5
# A file, then a named pipe whose writer comes later: the file's records
# come out while the program waits to open the pipe.
printf 'b:1\n\n' > one.rk
mkfifo later
Rkcat one.rk later > out.later &
pid=$! t=0
until [[ -s out.later ]] || ((t >= 100)); do sleep 0.1; ((t++)); done
if [[ -s out.later ]]; then echo "before the pipe: $(tr '\n' ' ' < out.later)"; else echo "before the pipe: nothing"; fi
: > later
wait $pid
--- stdout
Rkcat: seq:1 a:1  
Rkgrep: a:1  
Rkproj: a:1  
Rkrename: b:1  
Rkhead: a:1  
before the pipe: b:1  
--- status 0

=== code: in an ASCII-only locale a byte above 127 gets the code error and one line of advice; in UTF-8 it gets the code error alone
--- file f.rk escaped
a:1

b:\xff
--- file p.txt escaped
\xe9
--- run
LC_ALL=POSIX Rkproj a f.rk
echo "status $?"
LANG= LC_ALL= LC_CTYPE= Rkgrep -f p.txt f.rk
echo "status $?"
LC_ALL=C.UTF-8 Rkcat f.rk
echo "status $?"
--- stdout
a:1

status 3
status 3
a:1

status 3
--- stderr
Rkproj: code error in Rk-file f.rk(2), irrecoverable.
Rkproj: the locale "C" reads ASCII only; for UTF-8 data set LC_ALL=C.UTF-8.
Rkgrep: code error in the file p.txt(1), irrecoverable.
Rkgrep: the locale "C" reads ASCII only; for UTF-8 data set LC_ALL=C.UTF-8.
Rkcat: code error in Rk-file f.rk(2), irrecoverable.
--- status 0
