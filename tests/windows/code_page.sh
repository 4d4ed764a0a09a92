#!/bin/sh
# Runs the Windows program on a console under Wine (a terminal, through
# script) and checks that it leaves the console's code page as it found it
# and still shows a path with any letters right.
#   code_page.sh WINDOWS_BUILD_DIR WORK_DIR
set -eu
build=$1
work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work"
printf 'A\r\n' >Düsen.kvr
cp "$build/quillmar.exe" "$build/code_page_check.exe" .
status=0
script -qec "wine code_page_check.exe quillmar.exe Düsen.kvr out.kvr" /dev/null </dev/null >console.txt 2>&1 ||
  status=$?
tr -d '\r' <console.txt | sed 's/\x1b\[[?0-9;]*[A-Za-z]//g' >shown.txt
cat shown.txt
[ "$status" = 0 ] || { echo "the code page changed, or the check could not be made ($status)"; exit 1; }
grep -q 'Converting Düsen.kvr -> out.kvr.' shown.txt || { echo "the path was not shown right"; exit 1; }
# A console shared with the program that started it is not a window of its own.
! grep -q 'Press Enter' shown.txt || { echo "a shared console waited for Enter"; exit 1; }
