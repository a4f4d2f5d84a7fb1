# The frame every program shares, exercised through Rkcat, Rkhead and Rktail:
# option scanning, -D storage settings, the common messages and exit statuses.
#
# Groups (each case title starts with its group):
#   usage:    unknown options print the program's usage text, status 2.
#   options:  clusters, "--", the first non-option ending the options.
#   -D:       the settings tokenizer, unknown names, odd and huge sizes.
#   code:     undecodable input is fatal, naming the input and the record.
#   write:    write errors on standard output, closed pipes.
#   big:      very large records and very long inputs, directories as input.
#   open:     files that can't be opened, with the reason the system gives.
#   half:     a fatal error leaves whole records (lines, pages) on the output.
#   closed:   standard descriptors closed when the program starts.
#   filename: names that would break a record in the filename field.
#   numbers:  numbers read the same in every locale; -D digits where numbers
#             are computed and written.
# Every case ends with its "--- status" line so that the blank line after it
# belongs to no expected text.

=== usage: Rkcat with an unknown option writes its usage text and nothing else
--- file a.rk
a:1
--- run
Rkcat -x a.rk
--- stderr escaped
Rkcat [-options] [input-file ..]
\tconcatenate Rk-files.
\tOptions:
\t-n\tnumbering, add seq: field.
\t-g key-field-list\tgrouped by numbering.
\t-k key-flags\tdefault key-flags for -g option.
\t-F\tadd filename: field; seq number (if any) for each input file.
--- status 2

=== usage: Rkhead with an unknown option
--- file a.rk
a:1
--- run
Rkhead -n a.rk
--- stderr escaped
Rkhead [-N] [input-file ..]
\tcopies first N (default 1) records to stdout.
--- status 2

=== usage: Rktail with an unknown option after valid ones
--- file a.rk
a:1
--- run
Rktail -2 -D rsize=1 -F a.rk
--- stderr escaped
Rktail [-N] [input-file ..]
\tcopies last N (default 1) records to stdout.
--- status 2

=== usage: digits are not options of Rkcat
--- stdin
a:1
--- run
Rkcat -5
--- stderr escaped
Rkcat [-options] [input-file ..]
\tconcatenate Rk-files.
\tOptions:
\t-n\tnumbering, add seq: field.
\t-g key-field-list\tgrouped by numbering.
\t-k key-flags\tdefault key-flags for -g option.
\t-F\tadd filename: field; seq number (if any) for each input file.
--- status 2

=== usage: an unknown letter inside a cluster rejects the whole cluster: -Fn5
--- file a.rk
a:1
--- run
Rkcat -Fn5 a.rk
--- stderr escaped
Rkcat [-options] [input-file ..]
\tconcatenate Rk-files.
\tOptions:
\t-n\tnumbering, add seq: field.
\t-g key-field-list\tgrouped by numbering.
\t-k key-flags\tdefault key-flags for -g option.
\t-F\tadd filename: field; seq number (if any) for each input file.
--- status 2

=== usage: a letter with an argument cannot follow flags in a cluster: -nD
--- file a.rk
a:1
--- run
Rkcat -nD rsize=8 a.rk
--- stderr escaped
Rkcat [-options] [input-file ..]
\tconcatenate Rk-files.
\tOptions:
\t-n\tnumbering, add seq: field.
\t-g key-field-list\tgrouped by numbering.
\t-k key-flags\tdefault key-flags for -g option.
\t-F\tadd filename: field; seq number (if any) for each input file.
--- status 2

=== usage: nor digits in Rkhead: -2D
--- file a.rk
a:1
--- run
Rkhead -2Drsize=1 a.rk
--- stderr escaped
Rkhead [-N] [input-file ..]
\tcopies first N (default 1) records to stdout.
--- status 2

=== options: flags cluster: -nF and -Fn both set the two flags
--- file a.rk
a:1
--- file b.rk
b:1
--- run
Rkcat -nF a.rk b.rk
Rkcat -Fn b.rk
--- stdout
filename:a.rk
seq:1
a:1

filename:b.rk
seq:1
b:1

filename:b.rk
seq:1
b:1

--- status 0

=== options: "--" ends the options and is not an input file
--- file -F
f:1
--- stdin
x:1
--- run
Rkcat -n -- -F
Rkcat --
--- stdout
seq:1
f:1

x:1

--- status 0

=== options: after "--" a second "--" is a file name
--- run
Rkcat -- --
--- stderr
Rkcat: can't open --.
Rkcat: --: No such file or directory
--- status 3

=== options: the first non-option ends the options: a later -n is a file name
--- file a.rk
a:1
--- run
Rkcat a.rk -n
--- stdout
a:1

--- stderr
Rkcat: can't open -n.
Rkcat: -n: No such file or directory
--- status 1

=== options: a lone "-" is standard input and ends the options
--- stdin
x:1
--- run
Rkcat - -F
--- stdout
x:1

--- stderr
Rkcat: can't open -F.
Rkcat: -F: No such file or directory
--- status 1

=== options: in Rkhead a count after a file name is a file name
--- file a.rk
a:1

a:2
--- run
Rkhead a.rk -2
--- stdout
filename:a.rk
a:1

--- stderr
Rkhead: can't open -2.
Rkhead: -2: No such file or directory
--- status 3

=== -D: -D takes the next argument even when it looks like an option
--- file a.rk
a:1
--- run
Rkcat -D -n a.rk
--- stderr
Rkcat: -D -n is unknown.
--- status 2

=== -D: -D as the last argument has an empty argument and sets nothing
--- stdin
x:1
--- run
Rkcat -n -D
--- stdout
seq:1
x:1

--- status 0

=== -D: the accepted forms all read the input normally
--- file a.rk
a:1
--- run
Rkcat -D rsize=64,tsize=8 a.rk
Rkcat -D 'rsize = 64 tsize=8' a.rk
Rkcat -Drsize=2 a.rk
Rkcat -D rsize a.rk
Rkcat -D rsize= -D tsize=abc a.rk
Rkcat -D ksize=1,nsize=1 a.rk
--- stdout
a:1

a:1

a:1

a:1

a:1

a:1

--- status 0

=== -D: items separated by a comma: the second size is set
--- file a.rk
a:1
--- run
Rkcat -D rsize=1,tsize=2000000000 a.rk
--- stderr
Rkcat: can't allocate storage for tsize=2000000000.
--- unsanitized
--- status 3

=== -D: items separated by white space, blanks around "=": the second size is set
--- file a.rk
a:1
--- run
Rkcat -D 'tsize = 1 rsize = 2000000000' a.rk
--- stderr
Rkcat: can't allocate storage for rsize=2000000000.
--- unsanitized
--- status 3

=== -D: a tab separates items, and a name without value is followed by the next name
--- file a.rk
a:1
--- run
Rktail -D $'rsize=1\ttsize=2000000000' a.rk
Rkhead -D 'rsize tsize=2000000000' a.rk
--- stderr
Rktail: can't allocate storage for tsize=2000000000.
Rkhead: can't allocate storage for tsize=2000000000.
--- unsanitized
--- status 3

=== -D: the value attached to -D, and a huge size for each program
--- file a.rk
a:1
--- run
Rkcat -Drsize=2000000000 a.rk
Rkhead -D rsize=2000000000 a.rk
Rktail -Dtsize=2000000000, a.rk
--- stderr
Rkcat: can't allocate storage for rsize=2000000000.
Rkhead: can't allocate storage for rsize=2000000000.
Rktail: can't allocate storage for tsize=2000000000.
--- unsanitized
--- status 3

=== -D: several -D options accumulate and a later value wins
--- file a.rk
a:1
--- run
Rkcat -D rsize=2000000000 -D rsize=4 a.rk
Rkcat -D rsize=4 -D tsize=1 -D rsize=2000000000 a.rk
--- stdout
a:1

--- stderr
Rkcat: can't allocate storage for rsize=2000000000.
--- unsanitized
--- status 3

=== -D: sizes of 0, negative or without digits still work, with records that need growth
--- run
awk 'BEGIN { s = ""; for (j = 0; j < 5000; j++) s = s (j % 10); for (i = 1; i <= 3; i++) { for (f = 1; f <= 300; f++) print "f" f ":" i s; print "" } }' > a.rk
Rkcat -D rsize=0,tsize=0 a.rk | cmp - a.rk
Rkcat -D rsize=-5,tsize=-2000000000 a.rk | cmp - a.rk
Rkhead -9 -D rsize=-1 -D tsize=x a.rk | cmp - a.rk
Rktail -3 -D rsize -D tsize=-7 a.rk | cmp - a.rk
--- status 0

=== -D: an unknown name is counted; nothing is read, not even a missing file
--- run
Rkcat -D bogus=1 missing.rk
--- stderr
Rkcat: -D bogus is unknown.
--- status 2

=== -D: every unknown name is reported, names are case-sensitive
--- file a.rk
a:1
--- run
Rkcat -D 'bogus=1,RSIZE=2 rsize=4' -D x a.rk
--- stderr
Rkcat: -D bogus is unknown.
Rkcat: -D RSIZE is unknown.
Rkcat: -D x is unknown.
--- status 2

=== -D: Rkhead and Rktail know only rsize and tsize
--- file a.rk
a:1
--- run
Rkhead -D ksize=1 missing.rk
Rktail -D rsize=8,nsize=1 a.rk
--- stderr
Rkhead: -D ksize is unknown.
Rktail: -D nsize is unknown.
--- status 2

=== code: an invalid byte in the third record: the first two are written
--- file f.rk escaped
a:1

a:2

a:\xff3

a:4
--- run
Rkcat f.rk
--- stdout
a:1

a:2

--- stderr
Rkcat: code error in Rk-file f.rk(3), irrecoverable.
--- status 3

=== code: standard input is named (stdin)
--- stdin escaped
x:1

x:2\x80
--- run
Rkcat
--- stdout
x:1

--- stderr
Rkcat: code error in Rk-file (stdin)(2), irrecoverable.
--- status 3

=== code: the record number counts within the file being read
--- file a.rk
a:1

a:2

a:3
--- file f.rk escaped
b:1

b:\xc0\x80
--- run
Rkcat -n a.rk f.rk
--- stdout
seq:1
a:1

seq:2
a:2

seq:3
a:3

seq:4
b:1

--- stderr
Rkcat: code error in Rk-file f.rk(2), irrecoverable.
--- status 3

=== code: "-" among files is named (stdin) too
--- file a.rk
a:1
--- stdin escaped
x:1
x:2\xed\xa0\x80
--- run
Rkcat a.rk - a.rk
--- stdout
a:1

--- stderr
Rkcat: code error in Rk-file (stdin)(1), irrecoverable.
--- status 3

=== code: an invalid byte among the empty lines belongs to the next record
--- file f.rk escaped
a:1


\xfe

a:2
--- run
Rkcat f.rk
--- stdout
a:1

--- stderr
Rkcat: code error in Rk-file f.rk(2), irrecoverable.
--- status 3

=== code: an incomplete sequence at the end of the file
--- file f.rk escaped noeol
a:1

b:2

\xe2\x82
--- file g.rk escaped noeol
a:1

b:\xc3
--- run
Rkcat f.rk
Rkcat g.rk
--- stdout
a:1

b:2

a:1

--- stderr
Rkcat: code error in Rk-file f.rk(3), irrecoverable.
Rkcat: code error in Rk-file g.rk(2), irrecoverable.
--- status 3

=== code: a sequence cut short by an ASCII character, in Rkhead
--- file f.rk escaped
a:1

a:\xc3(

a:3
--- run
Rkhead -5 f.rk
--- stdout
a:1

--- stderr
Rkhead: code error in Rk-file f.rk(2), irrecoverable.
--- status 3

=== code: Rktail reads every record: an invalid byte in a record it would not keep
--- file f.rk escaped
a:1

a:2\xff

a:3

a:4
--- run
Rktail -1 f.rk
--- stderr
Rktail: code error in Rk-file f.rk(2), irrecoverable.
--- status 3

=== code: Rktail writes the earlier file's records before failing on the next
--- file a.rk
a:1

a:2
--- file f.rk escaped
b:1

b:2

b:\xed\xa0\x80
--- run
Rktail -2 a.rk f.rk
--- stdout
filename:a.rk
a:1

filename:a.rk
a:2

--- stderr
Rktail: code error in Rk-file f.rk(3), irrecoverable.
--- status 3

=== code: the C locale takes ASCII and NUL but not bytes above 127
--- file ascii.rk escaped
a:1\x00\x01~

b:\x7f
--- file f.rk
a:1

name:é
--- env LC_ALL=C
--- run
Rkcat ascii.rk
Rkcat f.rk
--- stdout escaped
a:1\x01~

b:\x7f

a:1

--- stderr
Rkcat: code error in Rk-file f.rk(2), irrecoverable.
Rkcat: the locale "C" reads ASCII only; for UTF-8 data set LC_ALL=C.UTF-8.
--- status 3

=== code: the record number of a late record
--- run
seq 1 100000 | awk '{ print "n:" $1; print "" }' > f.rk
printf 'n:\xff\n' >> f.rk
Rkcat f.rk > /dev/null
--- stderr
Rkcat: code error in Rk-file f.rk(100001), irrecoverable.
--- status 3

=== code: multibyte characters cut by a pipe between two reads are whole characters
--- run
feed() { printf 'a:\xc3'; sleep 0.2; printf '\xa9\xe2\x82'; sleep 0.2; printf '\xac\xf0\x9f'; sleep 0.2; printf '\x98\x80\n'; }
feed | Rkcat
feed | Rkhead
feed | Rktail
--- stdout
a:é€😀

a:é€😀

a:é€😀

--- status 0

=== code: characters of every width at every position of the read and write buffers
--- run
awk 'BEGIN { for (i = 1; i <= 4000; i++) { s = substr("xxxxxxxxx", 1, i % 9); for (j = 0; j < 1 + i % 53; j++) s = s "aé€😀"; print "k" i ":" s; if (i % 7 == 0) print "" } print "" }' > in.rk
Rkcat in.rk | cmp - in.rk
cat in.rk | Rkcat | cmp - in.rk
Rkhead -100000 < in.rk | cmp - in.rk
Rktail -100000 -D rsize=1 in.rk | cmp - in.rk
--- status 0

=== write: a write error on standard output, small output
--- file a.rk
a:1
--- run
Rkcat a.rk > /dev/full
--- stderr
Rkcat: can't write!
--- status 3

=== write: a write error on standard output, large output
--- run
seq 1 200000 | awk '{ print "n:" $1; print "" }' > big.rk
Rkcat -n big.rk > /dev/full
--- stderr
Rkcat: can't write!
--- status 3

=== write: Rkhead and Rktail report write errors too
--- file a.rk
a:1

a:2
--- run
Rkhead -2 a.rk > /dev/full
echo "Rkhead $?" >&2
Rktail -2 a.rk > /dev/full
echo "Rktail $?" >&2
--- stderr
Rkhead: can't write!
Rkhead 3
Rktail: can't write!
Rktail 3
--- status 0

=== write: a pipe closed by the reader ends Rkcat quietly by SIGPIPE
--- run
seq 1 200000 | awk '{ print "n:" $1; print "" }' > big.rk
Rkcat big.rk | head -1
echo "${PIPESTATUS[0]}"
--- stdout
n:1
141
--- status 0

=== write: and Rktail the same
--- run
seq 1 200000 | awk '{ print "n:" $1; print "" }' > big.rk
Rktail -100000 big.rk | head -1
echo "${PIPESTATUS[0]}"
--- stdout
n:100001
141
--- status 0

=== big: a record of 100 MB in one field read with the smallest record area
--- run
set -o pipefail
{ printf 'big:'; head -c 100000000 /dev/zero | tr '\0' a; echo; } > in.rk
Rkcat -D rsize=1 in.rk | cmp - <(cat in.rk; echo) && echo same
--- stdout
same
--- timeout 300
--- status 0

=== big: a million empty lines hold no record
--- run
head -c 1000000 /dev/zero | tr '\0' '\n' > e.rk
Rkcat e.rk
Rktail -5 e.rk
Rkhead -5 < e.rk
--- status 0

=== big: a record after a million empty lines, and the record number after it
--- run
{ head -c 1000000 /dev/zero | tr '\0' '\n'; printf 'a:1\n'; head -c 1000000 /dev/zero | tr '\0' '\n'; printf '\xff'; } > f.rk
Rkcat f.rk
--- stdout
a:1

--- stderr
Rkcat: code error in Rk-file f.rk(2), irrecoverable.
--- status 3

=== big: a megabyte of NUL bytes is no record at all
--- run
head -c 1000000 /dev/zero > z.rk
Rkcat -n z.rk
--- status 0

=== big: a directory as input can't be opened
--- run
mkdir d
Rkcat d
--- stderr
Rkcat: can't open d.
Rkcat: d: Is a directory
--- status 3

=== open: every program that opens a file gives the reason it can't, a directory too
--- file a.rk
a:1
--- run
mkdir d
# the record reader (first file, later file), the converters, expression
# and program files
for cmd in "Rkcat d" "Rkcat a.rk missing.rk" "RkfromCsv d /dev/null" "RkfromLine a d" "Rkgrep -f d a.rk" "Rked -f d"; do
  { $cmd < /dev/null > /dev/null; echo "$?"; } 2>&1 | paste -sd'|' -
done
--- stdout
Rkcat: can't open d.|Rkcat: d: Is a directory|3
Rkcat: can't open missing.rk.|Rkcat: missing.rk: No such file or directory|1
RkfromCsv: can't open d.|RkfromCsv: d: Is a directory|1
RkfromLine: can't open d.|RkfromLine: d: Is a directory|1
Rkgrep: can't open d|Rkgrep: d: Is a directory|2
Rked: can't open d.|Rked: d: Is a directory|3
--- status 0

=== half: a fatal error in the middle of a record leaves the records before it, whole
--- run
printf 'name,age\nAnn,3\nJos\xe9,4\n' > name.csv
printf 'a:1\n\na:2\n\na:\xff\n' > bad.rk
printf '1\n2\n\xff\n' > bad.txt
for cmd in "RkfromCsv name.csv" "RkfromLine a bad.txt" "Rkcat bad.rk" "RktoCsv -p a bad.rk" "RktoLine -p a bad.rk" "RktoTex bad.rk"; do
  { $cmd 2> /dev/null; echo "$?"; } | paste -sd'|' -
done
cat bad.rk | Rkcat 2> /dev/null | paste -sd'|' -
{ for i in $(seq 200); do printf 'a:%d\nb:xx\n\n' $i; done; printf 'a:\xff\n'; } > pages.rk
Rkprint -x 40 -y 10 pages.rk 2> /dev/null > pages
echo "Rkprint: $(grep -c $'\f' pages) pages, the last one ending in $(tail -c 2 pages | od -An -c)"
--- stdout
name:Ann|age:3||3
a:1||a:2||3
a:1||a:2||3
1|2|3
1|2|3
\a 1||\a 2||3
a:1||a:2|
Rkprint: 28 pages, the last one ending in   \f  \n
--- status 0

=== half: more output than the 64 KB buffer before the fatal error, records larger than it, read from a file or a pipe
--- run
awk 'BEGIN { print "k,v"; for (i = 0; i < 3000; i++) printf "%d,%040d\n", i, i }' > many.csv
awk 'BEGIN { s = "x"; while (length(s) < 200000) s = s s; print "k,v"; print "1," s; print "2," s }' > wide.csv
# the last row: an undecodable byte at the start, after the first character,
# in the first cell, and after 100,000 characters
long=$(head -c 100000 /dev/zero | tr '\0' x)
for input in many wide; do
  RkfromCsv $input.csv > $input.rk
  whole=0
  for last in '3000,\xe9' '3000,a\xe9' '3\xe9,x' "3,$long\xe9"; do
    { cat $input.csv; printf "$last\n"; } > in.csv
    RkfromCsv in.csv | cmp -s - $input.rk && whole=$((whole + 1))
    cat in.csv | RkfromCsv | cmp -s - $input.rk && whole=$((whole + 1))
  done 2> /dev/null
  echo "$input: $whole of 8 whole"
done
--- stdout
many: 8 of 8 whole
wide: 8 of 8 whole
--- status 0

=== half: past a file size limit the output file is cut back to whole records or lines, with the message and status 3
--- run
awk 'BEGIN { for (i = 0; i < 3000; i++) printf "a:%07d\nc:%040d\n\n", i, i }' > big.rk
for cmd in "Rkcat big.rk" "Rksort a big.rk" "RktoCsv big.rk" "RktoLine -p a,c big.rk"; do
  (ulimit -f 5; $cmd > out 2> err; echo "$? $(cat err)")
  if [[ $cmd == Rk[cs]* ]]; then Rkcat out | cmp -s - out; else [[ ! -s out || $(tail -c 1 out) == '' ]]; fi && echo whole
done
--- stdout
3 Rkcat: can't write!
whole
3 Rksort: can't write!
whole
3 RktoCsv: can't write!
whole
3 RktoLine: can't write!
whole
--- status 0

=== memory: an area that can't grow any further is fatal and names its new size
--- unsanitized
--- run
head -c 100000000 /dev/zero | tr '\0' a > big.rk
ulimit -v 220000
Rkcat big.rk
--- stderr
Rkcat: can't resize rsize=262144
--- status 3

=== memory: Rktail can't set up a window of two billion records in little memory
--- unsanitized
--- stdin
a:1
--- run
ulimit -v 100000
Rktail -2000000000
--- stderr
Rktail: can't allocate necessary memory!
--- status 3

=== closed: "-" on a closed standard input is a read error, never another file's data; a closed output can't be written
--- run
# more than one read of the reader's buffer, so that a shared descriptor would be seen
awk 'BEGIN { for (i = 0; i < 3000; i++) printf "a:%d\nb:%020d\n\n", i, i }' > med.rk
Rkcat med.rk - <&- | tail -3; echo "status ${PIPESTATUS[0]}"
Rkhead -1 med.rk - <&-; echo "status $?"
Rkcat med.rk >&-; echo "status $?"
Rktail -1 med.rk 2>&-; echo "status $?"
--- stdout
a:2999
b:00000000000000002999

status 3
filename:med.rk
a:0
b:00000000000000000000

status 3
status 3
a:2999
b:00000000000000002999

status 0
--- stderr
Rkcat: code error in Rk-file (stdin)(1), irrecoverable.
Rkhead: code error in Rk-file (stdin)(1), irrecoverable.
Rkcat: can't write!
--- status 0

=== filename: a newline or an undecodable byte in a file name is written as "?", by every program that writes the name
--- run
printf 'a:1\n\n' > "$(printf 'evil\n\nk:injected')"
printf 'a:2\n\n' > "$(printf 'bad\xffname\xc3')"
printf 'a:3\n\n' > 'ok é'
for cmd in "Rkcat -F" "Rkgrep -F a" "Rkhead -1" "Rktail -1"; do $cmd evil* bad* ok* | paste -sd'|' -; done
LC_ALL=C Rkcat -F ok*
--- stdout
filename:evil??k:injected|a:1||filename:bad?name?|a:2||filename:ok é|a:3|
filename:evil??k:injected|a:1||filename:bad?name?|a:2||filename:ok é|a:3|
filename:evil??k:injected|a:1||filename:bad?name?|a:2||filename:ok é|a:3|
filename:evil??k:injected|a:1||filename:bad?name?|a:2||filename:ok é|a:3|
filename:ok ??
a:3

--- status 0

=== numbers: a locale whose decimal point is a comma reads numbers as the C locale does
--- run
mkdir loc; localedef -i de_DE -f UTF-8 loc/de_DE.UTF-8 2> /dev/null
de() { LOCPATH=$PWD/loc LC_ALL=de_DE.UTF-8 "$@"; }
de locale decimal_point
printf 'k:7.5\n\nk:3\n\nk:2.5\n\nk:1e3\n\nk:0x10\n\nk:1,5\n\n' | de Rksort k:n | paste -sd' ' -
printf 'k:2.5\n\nk:7.5\n\nk:7.50\n\n' | de Rkcat -n -g k:n | paste -sd' ' -
--- stdout
,
k:1,5  k:2.5  k:3  k:7.5  k:0x10  k:1e3 
seq:1 k:2.5  seq:1 k:7.5  seq:2 k:7.50 
--- status 0

=== numbers: -D digits=N gives the significant digits of computed numbers in Rkmeans, Rkfreq, Rked and Rkselect; out of range is a command-line error
--- run
set -f
while IFS= read -r l; do recs=${l%% ::*} rest=${l#* :: } args=${rest%% =>*} want=${rest#*=> }
  got=$(printf '%b\n' "${recs//|/\\n}" | $args 2>&1; echo "status $?")
  got=$(paste -sd'|' <<< "$got")
  [[ $got == "$want" ]] || echo "$recs :: $args => $got (expected $want)"; done <<'EOF2'
x:539616.88189499127||x:539617.88189499127||x:539618.88189499127| :: Rkmeans -D digits=17 x => n.x:3|sum.x:1618853.6456849738|avg.x:539617.88189499127|min.x:539616.88189499127|max.x:539618.88189499127|std.x:1||status 0
x:539616.88189499127||x:539617.88189499127||x:539618.88189499127| :: Rkmeans x => n.x:3|sum.x:1.61885e+06|avg.x:539618|min.x:539617|max.x:539619|std.x:1||status 0
x:1.25||x:12343.75| :: Rkmeans -D digits=1 x => n.x:2|sum.x:12345|avg.x:6e+03|min.x:1|max.x:1e+04|std.x:9e+03||status 0
k:a||k:b||k:b| :: Rkfreq -p -D digits=17 k => k:a|count:1|percent:33.333333333333336||k:b|count:2|percent:66.666666666666671||status 0
k:a||k:b||k:b| :: Rkfreq -p -D rsize=8,digits=2 k => k:a|count:1|percent:33||k:b|count:2|percent:67||status 0
k:0.1234567||k:0.1234567| :: Rkfreq -D digits=3 k:n => k:0.123|count:2||status 0
x:1| :: Rked -D digits=17 v = FIELD x:n / 3 ; w = FIELD v . CONST s => x:1|v:0.33333333333333331|w:0.33333333333333331s||status 0
x:1| :: Rked -D digits=1 IF EPILOGUE THEN v = 2 / 3 ; OUTPUT FI => x:1||v:0.7||status 0
x:1||x:2| :: Rkselect -D digits=3 FIELD x:n / 3 LIKE ^0.333$ => x:1||status 0
x:1| :: Rkmeans -D digits=0 x => Rkmeans: -D digits=0 is out of range (1 to 17).|status 2
x:1| :: Rkfreq -D digits=18 x => Rkfreq: -D digits=18 is out of range (1 to 17).|status 2
x:1| :: Rked -D digits=-1 x = CONST 1 => Rked: -D digits=-1 is out of range (1 to 17).|status 2
x:1| :: Rkselect -D digits x => Rkselect: -D digits=0 is out of range (1 to 17).|status 2
x:1| :: Rksort -D digits=9 x => Rksort: -D digits is unknown.|status 2
EOF2
--- status 0
