#!/bin/sh
# Drops settings files on the companion under Wine, named as Explorer hands
# them over (with spaces, non-ASCII letters and "&"; one damaged; one named
# relative to its drive's current folder; a folder), and checks each copy in
# converted\ beside its file, that the damaged file's earlier copy was kept
# and no unfinished copy is left, that no dropped file changed, and the
# messages with their closing summary.
#   dropped_files.sh WINDOWS_BUILD_DIR WORK_DIR
set -eu
build=$1
work=$2
rm -rf "$work" && mkdir -p "$work/drop/Heads & Co/converted" && cd "$work/drop"
printf '1000-4=HP600\r\n4162-1=10\r\n' >'Heads & Co/ZUL 1.kvr'
printf 'stale\r\n' >'Heads & Co/converted/ZUL 1.kvr'
printf 'old\r\n' >'Heads & Co/converted/keep.kvr'
printf '4162-1=10\n' >'Düse.kvr'
printf '9040-1=True\r\n' >'A&B.kvr'
printf 'A' >'broken.kvr'
mkdir converted
printf '4172-1=63\r\n' >converted/broken.kvr
printf '4172' >converted/ended.kvr.quillmar-unfinished
printf '4162-2=10\r\n' >'drive.kvr'
cp -r "$work/drop" "$work/before"
win() { printf 'Z:%s' "$PWD/$1" | tr / '\\'; }
status=0
wine "$build/Convert dropped files.exe" "$(win 'Heads & Co/ZUL 1.kvr')" "$(win Düse.kvr)" \
  "$(win 'A&B.kvr')" "$(win broken.kvr)" Z:drive.kvr "$(win 'Heads & Co')" </dev/null >"$work/console.txt" 2>"$work/errors.txt" ||
  status=$?
fail() { echo "$1"; cat "$work/console.txt" "$work/errors.txt"; exit 1; }
[ "$status" = 1 ] || fail "exit status $status, not 1"
[ ! -s "$work/errors.txt" ] || fail "standard error is not empty"
c() { printf '\r\nConverting %s -> %s.\r\n' "$(win "$1")" "$(win "$2")"; }
{
  c 'Heads & Co/ZUL 1.kvr' 'Heads & Co/converted/ZUL 1.kvr'
  printf 'Detecting head type: HP600\r\nConversion Complete.\r\n'
  c Düse.kvr converted/Düse.kvr
  printf 'Conversion Complete.\r\n'
  c 'A&B.kvr' 'converted/A&B.kvr'
  printf 'Conversion Complete.\r\n'
  c broken.kvr converted/broken.kvr
  printf 'Error: Wrong Format\r\nThe earlier copy converted\\broken.kvr was kept.\r\n'
  # A path relative to the drive's current folder, which is this one.
  printf '\r\nConverting Z:drive.kvr -> Z:converted\\drive.kvr.\r\nConversion Complete.\r\n'
  printf '\r\nNot converted: %s. It is a folder: open it and drop the files in it.\r\n' "$(win 'Heads & Co')"
  # The summary: the files came from several folders, so it names them whole.
  printf '\r\nFailed:\r\n  %s: Error: Wrong Format (line 1: the file ends without a line break)\r\n' "$(win broken.kvr)"
  printf '  %s: It is a folder: open it and drop the files in it.\r\n' "$(win 'Heads & Co')"
  printf '\r\nConverted, worth a look:\r\n'
  for f in "$(win Düse.kvr)" "$(win 'A&B.kvr')" Z:drive.kvr; do
    printf '  %s: it names no head type: the Xaar500 factor was used.\r\n' "$f"
  done
  printf '\r\nConverted: 4, failed: 2.\r\n'
} >"$work/expected.txt"
cmp "$work/expected.txt" "$work/console.txt" || fail "the messages differ from $work/expected.txt"
check() { [ "$(od -An -c "$1")" = "$(printf "$2" | od -An -c)" ] || fail "$1 holds the wrong bytes"; }
check 'Heads & Co/converted/ZUL 1.kvr' '1000-4=HP600\r\n4172-1=63\r\n'
check 'Heads & Co/converted/keep.kvr' 'old\r\n'
check converted/Düse.kvr '4172-1=19\r\n'
check 'converted/A&B.kvr' '9040-1=False\r\n'
check converted/drive.kvr '4172-2=19\r\n'
check converted/broken.kvr '4172-1=63\r\n'
[ -z "$(find . -name '*.quillmar-unfinished')" ] || fail "an unfinished copy is left: $(find . -name '*.quillmar-unfinished')"
for f in 'Heads & Co/ZUL 1.kvr' Düse.kvr 'A&B.kvr' broken.kvr drive.kvr; do
  cmp "$f" "$work/before/$f" || fail "the dropped file $f changed"
done
echo "dropped files: 4 converted into converted\\, 2 failed, none changed"
