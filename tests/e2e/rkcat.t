# Rkcat: concatenation, numbering, file names.
#
# Groups (each case title starts with its group):
#   format:  the record format as the reader sees it, shown through Rkcat's
#            pass-through (blank lines, final line, blanks, colons, NUL, CR,
#            non-ASCII text); -n makes record boundaries visible.
#   -n:      the sequence field across files.
#   -F:      the filename field, and -n -F restarting per input file.
#   stdin:   "-" among the files, "-" twice.
#   open:    files that cannot be opened (first: fatal; later: counted).
# Every case ends with its "--- status" line so that the blank line after it
# belongs to no expected text.

=== format: no options: one empty line after each record, whatever the input had
--- file a.rk


a:1
b:2



c:3
--- run
Rkcat a.rk
--- stdout
a:1
b:2

c:3

--- status 0

=== format: empty file and empty standard input give no output
--- file e.rk
--- run
Rkcat e.rk
Rkcat < /dev/null
Rkcat -n -F e.rk
--- status 0

=== format: input of only empty lines holds no record
--- file e.rk




--- stdin



--- run
Rkcat -n e.rk
Rkcat -n
--- status 0

=== format: a last line without newline is a complete line and ends the record
--- file a.rk noeol
a:1
b:2
--- run
Rkcat a.rk
--- stdout
a:1
b:2

--- status 0

=== format: a last record without newline after earlier records
--- file a.rk noeol
a:1


b:2
--- run
Rkcat -n a.rk
--- stdout
seq:1
a:1

seq:2
b:2

--- status 0

=== format: lines of blanks or tabs are fields, not record separators
--- file a.rk escaped
a:1
\x20\x20\x20
b:2
\t
c:3
--- run
Rkcat -n a.rk
--- stdout escaped
seq:1
a:1
\x20\x20\x20
b:2
\t
c:3

--- status 0

=== format: further colons, empty names, lone colons and lines without colon pass unchanged
--- file a.rk
x:y:z
:v
:
name:
just some words
url:http://h:80/p
--- run
Rkcat -n a.rk
--- stdout
seq:1
x:y:z
:v
:
name:
just some words
url:http://h:80/p

--- status 0

=== format: NUL bytes vanish wherever they are
--- file a.rk escaped
\x00a:1\x002
b\x00:\x00x\x00
\x00\x00c\x00
--- run
Rkcat a.rk
--- stdout
a:12
b:x
c

--- status 0

=== format: a line of only NUL bytes is an empty line and ends the record
--- file a.rk escaped
a:1
\x00\x00
b:2
\x00
--- run
Rkcat -n a.rk
--- stdout
seq:1
a:1

seq:2
b:2

--- status 0

=== format: NUL bytes before the end of a file without final newline
--- file a.rk escaped noeol
a:1\x00\x00
--- run
Rkcat a.rk
--- stdout
a:1

--- status 0

=== format: carriage returns are ordinary characters; a line of CR is a field, noted once per file
--- file a.rk escaped
x:0

a:1\r
\r
b:\r2\r
--- file b.rk escaped
\r3
--- run
Rkcat -n a.rk b.rk - < a.rk
--- stdout escaped
seq:1
x:0

seq:2
a:1\r
\r
b:\r2\r

seq:3
\r3

seq:4
x:0

seq:5
a:1\r
\r
b:\r2\r

--- stderr escaped
Rkcat: a line holds only a carriage return in a.rk(2): the file has CR LF line ends, so its records run together; convert it with tr -d '\\r' or dos2unix.
Rkcat: a line holds only a carriage return in (stdin)(2): the file has CR LF line ends, so its records run together; convert it with tr -d '\\r' or dos2unix.
--- status 0

=== format: a UTF-8 byte-order mark at the start of each file and of standard input is dropped, any locale
--- run
printf '\xef\xbb\xbfname:a\n\n' > bom.rk
printf '\xef\xbb\xbfname:b\n\xef\xbb\xbfx:1\n\n' | Rkcat bom.rk - | cat -v | paste -sd'|' -
LC_ALL=C Rkcat bom.rk | od -An -c
--- stdout
name:a||name:b|M-oM-;M-?x:1|
   n   a   m   e   :   a  \n  \n
=== format: non-ASCII names and values pass unchanged
--- file a.rk
名前:Ünïcödé € ½
κλειδί:τιμή:ναι

emoji:😀👍🏽
:ß
--- run
Rkcat -n a.rk
--- stdout
seq:1
名前:Ünïcödé € ½
κλειδί:τιμή:ναι

seq:2
emoji:😀👍🏽
:ß

--- status 0

=== format: repeated field names keep their order
--- file a.rk
b:1
a:2
b:3
a:4
--- run
Rkcat a.rk
--- stdout
b:1
a:2
b:3
a:4

--- status 0

=== -n: the sequence runs on across files, empty files included
--- file a.rk
a:1

a:2
--- file e.rk
--- file b.rk


b:1

b:2

--- run
Rkcat -n a.rk e.rk b.rk
--- stdout
seq:1
a:1

seq:2
a:2

seq:3
b:1

seq:4
b:2

--- status 0

=== -n: on standard input
--- stdin
x:1

y:2
--- run
Rkcat -n
--- stdout
seq:1
x:1

seq:2
y:2

--- status 0

=== -n: many records, each numbered once and in order
--- run
seq 1 50000 | awk '{ print "k:" $1; print "v:" $1 * 3; print "" }' > in.rk
seq 1 50000 | awk '{ print "seq:" $1; print "k:" $1; print "v:" $1 * 3; print "" }' > want.rk
Rkcat -n in.rk > out.rk && cmp out.rk want.rk && echo same
--- stdout
same
--- status 0

=== -F: a filename field in front of each record of each named file
--- file a.rk
a:1

a:2
--- file b.rk
b:1
--- run
Rkcat -F a.rk b.rk
--- stdout
filename:a.rk
a:1

filename:a.rk
a:2

filename:b.rk
b:1

--- status 0

=== -F: standard input has no filename field
--- stdin
x:1

y:2
--- run
Rkcat -F
--- stdout
x:1

y:2

--- status 0

=== -F: "-" among named files gives its records no filename field
--- file a.rk
a:1
--- file b.rk
b:1
--- stdin
x:1

y:2
--- run
Rkcat -F a.rk - b.rk
--- stdout
filename:a.rk
a:1

x:1

y:2

filename:b.rk
b:1

--- status 0

=== -F: the name is written as given on the command line
--- file sub/b.rk
b:1
--- file dätä.rk
d:1
--- run
Rkcat -F ./sub/../sub/b.rk dätä.rk
--- stdout
filename:./sub/../sub/b.rk
b:1

filename:dätä.rk
d:1

--- status 0

=== -F: percent signs in file names are written literally
--- file %s%d.rk
a:1
--- run
Rkcat -F %s%d.rk
Rkcat %s%d.rk %n%s%x.rk
--- stdout
filename:%s%d.rk
a:1

a:1

--- stderr
Rkcat: can't open %n%s%x.rk.
Rkcat: %n%s%x.rk: No such file or directory
--- status 1

=== -F: with -n, filename comes first and seq restarts at 1 for each file
--- file a.rk
a:1

a:2

a:3
--- file e.rk


--- file b.rk
b:1

b:2
--- run
Rkcat -n -F a.rk e.rk b.rk
--- stdout
filename:a.rk
seq:1
a:1

filename:a.rk
seq:2
a:2

filename:a.rk
seq:3
a:3

filename:b.rk
seq:1
b:1

filename:b.rk
seq:2
b:2

--- status 0

=== -F: with -n, standard input among the files restarts the sequence too
--- file a.rk
a:1

a:2
--- file b.rk
b:1
--- stdin
x:1

y:2

z:3
--- run
Rkcat -F -n a.rk - b.rk
--- stdout
filename:a.rk
seq:1
a:1

filename:a.rk
seq:2
a:2

seq:1
x:1

seq:2
y:2

seq:3
z:3

filename:b.rk
seq:1
b:1

--- status 0

=== stdin: "-" reads standard input at its place among the files
--- file a.rk
a:1
--- file b.rk
b:1
--- stdin
x:1

y:2
--- run
Rkcat -n a.rk - b.rk
--- stdout
seq:1
a:1

seq:2
x:1

seq:3
y:2

seq:4
b:1

--- status 0

=== stdin: "-" given twice: the second time standard input is at its end
--- file a.rk
a:1
--- stdin
x:1

y:2
--- run
Rkcat -n - a.rk -
--- stdout
seq:1
x:1

seq:2
y:2

seq:3
a:1

--- status 0

=== open: a later file that cannot be opened is counted; the input ends there
--- file a.rk
a:1

a:2
--- file b.rk
b:1
--- run
Rkcat -n a.rk missing.rk b.rk gone.rk
--- stdout
seq:1
a:1

seq:2
a:2

--- stderr
Rkcat: can't open missing.rk.
Rkcat: missing.rk: No such file or directory
--- status 1

=== open: a later missing file after an empty first file still counts as later
--- file e.rk
--- run
Rkcat e.rk missing.rk
--- stderr
Rkcat: can't open missing.rk.
Rkcat: missing.rk: No such file or directory
--- status 1

=== open: a later missing file after standard input
--- stdin
x:1
--- run
Rkcat - missing.rk
--- stdout
x:1

--- stderr
Rkcat: can't open missing.rk.
Rkcat: missing.rk: No such file or directory
--- status 1

=== open: a first file that cannot be opened is fatal
--- file a.rk
a:1
--- run
Rkcat -n missing.rk a.rk
--- stderr
Rkcat: can't open missing.rk.
Rkcat: missing.rk: No such file or directory
--- status 3
