#!/bin/sh
# Ends the companion with Ctrl+C while it converts a dropped file, in a
# console of its own under Wine (a terminal, through script): the copy it
# was writing must be gone, and the earlier copy kept as it was.
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
wine=$(loader_alone companion.exe)
file=$(printf 'Z:%s/heads.kvr' "$PWD" | tr / '\\')
: >shown.txt
{
  wait_until 300 test -e converted/heads.kvr.quillmar-unfinished
  sleep 1
  [ -e ended ] || touch interrupted
  printf '\003'
  wait_until 50 test -e ended
  printf '\r'
} | in_terminal "$wine companion.exe '$file'"
[ -e interrupted ] || { echo "the conversion ended before it could be interrupted"; exit 1; }
[ -z "$(find . -name '*.quillmar-unfinished')" ] || { echo "an unfinished copy is left"; exit 1; }
[ "$(od -An -c converted/heads.kvr)" = "$(printf 'earlier\r\n' | od -An -c)" ] ||
  { echo "the earlier copy changed"; exit 1; }
echo "interrupted: no unfinished copy left, the earlier copy kept"
