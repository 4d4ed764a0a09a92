#!/bin/sh
# Runs the Windows program alone in a console of its own under Wine (a
# terminal, through script), as a double-click starts it: it must show its
# messages, then "Press Enter to close this window.", wait, and end after
# Enter with the run's exit status. (Sharing a console, it never waits: the
# code page check starts it so.)
#   own_window.sh WINDOWS_BUILD_DIR WORK_DIR
set -eu
build=$1
work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work"
cp "$build/quillmar.exe" .
# Wine's 32-bit loader starts a 64-bit program from a process of its own,
# which shares the console; the 64-bit loader starts it alone, as Explorer.
wine=wine
pe=$(od -An -tu4 -j60 -N4 quillmar.exe | tr -d ' ')
if [ "$(od -An -tx2 -j$((pe + 4)) -N2 quillmar.exe | tr -d ' ')" = 8664 ] &&
  [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
fi
: >shown.txt
status=0
{
  i=0
  until grep -q 'Press Enter to close this window.' shown.txt || [ -e ended ] || [ $i = 300 ]; do
    sleep 0.2 && i=$((i + 1))
  done
  sleep 2
  [ -e ended ] || touch waited
  printf '\r'
} | timeout 120 script -qec "$wine quillmar.exe; s=\$?; touch ended; exit \$s" /dev/null >shown.txt 2>&1 ||
  status=$?
tr -d '\r' <shown.txt | sed 's/\x1b\[[?0-9;]*[A-Za-z]//g'
[ -e waited ] || { echo "the window did not wait for Enter"; exit 1; }
[ "$status" = 1 ] || { echo "exit status $status, not the usage text's 1"; exit 1; }
grep -q 'The directory has to exist before calling Quillmar.' shown.txt ||
  { echo "the usage text was not shown"; exit 1; }
