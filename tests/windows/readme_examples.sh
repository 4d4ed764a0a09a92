#!/bin/sh
# Runs every command that README.txt shows, in the order shown, in a folder
# freshly unpacked from the Windows ZIP, through Windows' own command
# interpreter under Wine; checks each copy they make, and that each line
# README.txt says a line "becomes" does.
#   readme_examples.sh WINDOWS_BUILD_DIR WORK_DIR LINUX_PROGRAM
set -eu
build=$1
work=$2
linux=$3
zip=$(ls "$build"/quillmar-*-win*.zip)
rm -rf "$work" && mkdir -p "$work" && cd "$work"
unzip -q "$zip"
cd quillmar-*
fail() { echo "$1"; cat ../console.txt 2>/dev/null; exit 1; }
tr -d '\r' <README.txt >../readme.txt

# The commands: the indented lines that start as a command does.
grep -E '^    (quillmar |\.\\quillmar|mkdir |copy |cmd /c |if errorlevel )' ../readme.txt |
  sed 's/^    //' >../commands.txt
[ "$(wc -l <../commands.txt)" -ge 10 ] || fail "README.txt shows fewer commands than it did"
{
  echo '@echo off'
  cat ../commands.txt
} | sed 's/$/\r/' >examples.bat
status=0
wine cmd /c examples.bat </dev/null >../console.txt 2>&1 || status=$?
[ "$status" = 0 ] || fail "the examples ended with status $status"
! grep -q 'The conversion failed.' ../console.txt || fail "a conversion failed"
"$linux" ZUL.kvr ../want.kvr >/dev/null
for copy in ZUL1.kvr My 'My Copy.kvr' 'Kopf&Co.kvr' t/ZUL.kvr 'My Heads/ZUL1.kvr'; do
  cmp -s "$copy" ../want.kvr || fail "$copy is not the converted sample"
done
grep -q '^Conversion Complete\.' log.txt || fail "log.txt holds no completed conversion"

# Each line that README.txt says another one becomes, under the head it names.
head=$(sed -n 's/.*With the head \([A-Z0-9+]*\):.*/\1/p' ../readme.txt)
sed -n 's/^      \(4162-[^ ].*[^ ]\)  *becomes  *\([^ ]*\).*/\1|\2/p' ../readme.txt >../becomes.txt
[ "$(wc -l <../becomes.txt)" -ge 4 ] || fail "README.txt shows fewer rewritten lines than it did"
{
  printf '1000-4=%s\r\n' "$head"
  cut -d'|' -f1 ../becomes.txt | sed 's/$/\r/'
} >../lines.kvr
{
  printf '1000-4=%s\r\n' "$head"
  cut -d'|' -f2 ../becomes.txt | sed 's/$/\r/'
} >../lines-want.kvr
"$linux" ../lines.kvr ../lines-got.kvr >/dev/null
cmp ../lines-want.kvr ../lines-got.kvr || fail "a line does not become what README.txt says"
echo "README.txt: $(wc -l <../commands.txt) commands run as shown; $(wc -l <../becomes.txt) rewritten lines as shown"
