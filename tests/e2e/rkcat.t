# Rkcat: concatenation, numbering, file names.

=== no options: one empty line after each record, whatever the input had
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

