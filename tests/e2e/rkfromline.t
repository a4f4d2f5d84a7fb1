# RkfromLine: lines cut into records by a field-format list. The table rows
# are "line :: arguments => the output lines joined by |", the line fed on
# standard input (printf %b) and the messages merged in front.

=== cut: delimiters, fixed fields, quotes, repeats and conversions, line by line
--- run
while IFS= read -r l; do line=${l%% ::*} rest=${l#* :: } args=${rest%% =>*} want=${rest#*=> }
  eval "set -- $args"
  got=$(printf '%b\n' "$line" | RkfromLine "$@" 2>&1 | paste -sd'|')
  [[ $got == "$want" ]] || echo "$line :: $args => $got (expected $want)"; done <<'EOF2'
a,b :: x,y => x:a,b|
1,2 :: -t , x,y,z => x:1|y:2|
a,,b, :: -t , 'a:*' => a:a|a:|a:b|a:|
  a  b   :: -t ' +' 'a:*' => a:a|a:b|
 :: -t '' x,y => x:|
 :: x => 
abc :: -t , a:0-4 => RkfromLine: field a truncated by the end of line at (stdin)(1).|a:abc|
abcde :: -t , 'a:5(2)' => RkfromLine: field a start position exceeds the end of line at (stdin)(1).
ab   cdefg :: 'a:(4)l,b:(3)r,c:(3)l' => a:ab|b:cd|c:efg|
"x,y",z :: -t , 'a:/\,/q,b' => a:x,y|b:z|
p,q\\,r :: -t , -z b 'a,b' => a:p|b:q,r|
abcdef :: ':(3),a' => a:def|
x1y22z :: 'a:@[0-9]+@*' => a:x1|a:y22|
abcdef :: 'a:2(2)*,b:(2),:0(1)*,c' => a:cd|b:ef|c:bcdef|
12abc,abc :: -t , 'a::%d,b::%d' => a:12|b:|
k:v :: a:f => k:v|
EOF2
--- status 0

=== files: -F names the file, standard input gets none; a file that can't be opened is counted and skipped
--- run
printf 'a\n' > one.txt
printf 'b\n' | RkfromLine -F x one.txt missing.txt -
echo "status $?"
--- stdout
x:a
filename:one.txt

x:b

status 1
--- stderr
RkfromLine: can't open missing.txt.
RkfromLine: missing.txt: No such file or directory
--- status 0

=== continue: -c joins the lines of an open quote with the -n text; messages name the real line numbers
--- run
printf '"x\ny",z\n1,2,3\n"open\n' | RkfromLine -c -n ' ' -t , 'a:q,b,c:(5)'
echo "status $?"
--- stdout
a:x y
b:z

a:1
b:2
c:3

a:open

status 1
--- stderr
RkfromLine: field c truncated by the end of line at (stdin)(3).
--- status 0

=== usage: an unknown option, no list or an exclusive list give the usage; list faults stop before any input
--- run
for a in "-y x" "" "^x" "a:s" "a:(" "-t ( x" "-z y x"; do RkfromLine $a < /dev/null; echo "status $?"; done 2>&1 | grep -v '^	'
--- stdout
RkfromLine [-options] field-format-list [input-file ..]
status 2
RkfromLine [-options] field-format-list [input-file ..]
status 2
RkfromLine [-options] field-format-list [input-file ..]
status 2
RkfromLine: format syntax error in the field a at 's'.
status 2
RkfromLine: format syntax error in the field a at ''.
status 2
RkfromLine: regular expression error (unmatched ()) in -t parameter or format.
status 2
RkfromLine: -z option error 'y'.
status 2
--- status 0
