# A name given to a program that matches no field of any record it read is
# noted when standard error is a terminal, and only then: the status and
# the output stay what they are, and scripts stay quiet. Each row is
# "program and arguments => the names noted" (none: nothing is noted).

=== every program with a list notes a misspelt name under a terminal, and nothing without one
--- file in.rk
name:a
age:3

name:b
age:5

--- run
export SOURCE_DATE_EPOCH=0 TZ=UTC
while IFS= read -r l; do args=${l%% =>*} want=${l#*=> }
  eval "set -- $args"
  plain=$("$@" 2>plain.err; echo "status $?")
  notes=""
  for n in $want; do [[ $n == none ]] || notes+="$1: no record has the field $n."$'\n'; done
  got=$(python3 "$RK_E2E_DIR/onpty.py" "$@")
  [[ -s plain.err ]] && echo "$args: without a terminal: $(cat plain.err)"
  [[ $got == "${plain%status*}--"$'\n'"${notes}status ${plain##*status }" ]] || echo "$args => $got"
done <<'EOF2'
Rkproj nmae,age in.rk => nmae
Rkproj ^nmae in.rk => none
Rkproj name,age in.rk => none
Rkproj nmae /dev/null => none
Rkrename nmae:n,age:years in.rk => nmae
Rksort age,nmae:n in.rk => nmae
Rkfreq nmae in.rk => nmae
Rkfreq -g grp age in.rk => grp
Rkmeans age,ega in.rk => ega
Rkcat -g nmae in.rk => nmae
Rkjoin nmae in.rk in.rk => nmae
Rkupdate nmae in.rk /dev/null => nmae
RktoCsv -p nmae,age in.rk => nmae
RktoCsv in.rk => none
RktoLine -p nmae,age in.rk => nmae
RktoLine -f 'age:(5)r,nmae:(3)' -p age in.rk => nmae
Rktie nmae,age both in.rk => nmae
Rkuntie nmae a,b in.rk => nmae
Rkpack nmae in.rk => nmae
Rkunpack nmae in.rk => nmae
Rkbundle nmae in.rk => nmae
Rkunbundle nmae in.rk => nmae
Rkfd -g nmae in.rk => nmae
Rkprint -p nmae,age in.rk => nmae
Rkprint -g grp in.rk => grp
Rkselect nmae EQ a in.rk => nmae
Rkselect name EQ a OR FIELD x:n GT 1 in.rk => x
Rked y = FIELD nmae ';' z = FIELD z in.rk => nmae
Rked IF EXISTS FIELD flag THEN flag = 1 FI in.rk => none
EOF2
