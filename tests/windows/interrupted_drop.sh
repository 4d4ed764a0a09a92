#!/bin/sh
# Ends the companion with Ctrl+C while it converts a dropped file, in a
# console of its own under Wine (a terminal, through script): the copy it
# was writing must be gone, and so must a copy held back before it for a
# question (of an emptied file), and the earlier copies kept as they were.
#   interrupted_drop.sh WINDOWS_BUILD_DIR WORK_DIR
set -eu
. "$(dirname "$0")/alone.sh"
build=$1
work=$2
rm -rf "$work" && mkdir -p "$work/converted" && cd "$work"
cp "$build/Convert dropped files.exe" companion.exe
# A file whose every line prints a message: its run lasts for seconds.
awk 'BEGIN { for (i = 0; i < 2000000; i++) printf "1000-4=X\r\n" }' >heads.kvr
printf 'earlier\r\n' >converted/heads.kvr
: >emptied.kvr
printf 'earlier\r\n' >converted/emptied.kvr
wine=$(loader_alone companion.exe)
file() { printf 'Z:%s/%s' "$PWD" "$1" | tr / '\\'; }
: >shown.txt
{
  wait_until 300 test -e converted/heads.kvr.quillmar-unfinished || touch never_written
  [ ! -e converted/emptied.kvr.quillmar-unfinished ] || touch held
  sleep 1
  [ -e ended ] || touch interrupted
  printf '\003'
  # It ends, or waits for Enter.
  wait_until 50 test -e ended || true
  printf '\r'
} | in_terminal "$wine companion.exe '$(file emptied.kvr)' '$(file heads.kvr)'"
[ ! -e never_written ] || { echo "the companion wrote no unfinished copy in 60 s"; exit 1; }
[ -e interrupted ] || { echo "the conversion ended before it could be interrupted"; exit 1; }
[ -e held ] || { echo "the copy of the emptied file was not held back"; exit 1; }
[ -z "$(find . -name '*.quillmar-unfinished')" ] || { echo "an unfinished copy is left"; exit 1; }
for f in heads emptied; do
  [ "$(od -An -c converted/$f.kvr)" = "$(printf 'earlier\r\n' | od -An -c)" ] ||
    { echo "the earlier copy of $f.kvr changed"; exit 1; }
done
echo "interrupted: no unfinished copy left, the earlier copies kept"
