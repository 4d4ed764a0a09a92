#!/bin/sh
# Two companions at once on one folder under Wine: the second starts while
# the first writes its copy (of a file that arrives through a pipe, so that
# the first waits in the middle for as long as the test wants), and removes
# the unfinished copy that a killed run left, but not the first's. Both end
# with their copies.
#   two_windows.sh WINDOWS_BUILD_DIR WORK_DIR
set -eu
. "$(dirname "$0")/alone.sh"
build=$1
work=$2
rm -rf "$work" && mkdir -p "$work/converted" && cd "$work"
fail() { echo "$1"; cat first.txt second.txt 2>/dev/null; exit 1; }
win() { printf 'Z:%s' "$PWD/$1" | tr / '\\'; }
printf '4162-1=10\r\n' >second.kvr
printf '4172' >converted/killed.kvr.quillmar-unfinished
mkfifo first.kvr
exec 3<>first.kvr
printf '1000-4=HP600\r\n4162-1=10\r\n' >&3
wine "$build/Convert dropped files.exe" "$(win first.kvr)" </dev/null >first.txt 2>&1 3>&- &
first=$!
wait_until 300 test -e converted/first.kvr.quillmar-unfinished ||
  fail "the first run wrote no unfinished copy"
status=0
wine "$build/Convert dropped files.exe" "$(win second.kvr)" </dev/null >second.txt 2>&1 3>&- || status=$?
[ "$status" = 0 ] || fail "the second run: exit status $status"
[ ! -e converted/killed.kvr.quillmar-unfinished ] || fail "the killed run's unfinished copy is left"
[ -e converted/first.kvr.quillmar-unfinished ] || fail "the second run removed the first run's unfinished copy"
printf '4162-2=20\r\n' >&3
exec 3>&-
status=0
wait $first || status=$?
[ "$status" = 0 ] || fail "the first run: exit status $status"
[ "$(od -An -c converted/first.kvr)" = "$(printf '1000-4=HP600\r\n4172-1=63\r\n4172-2=125\r\n' | od -An -c)" ] ||
  fail "the first run's copy is wrong"
[ "$(od -An -c converted/second.kvr)" = "$(printf '4172-1=19\r\n' | od -An -c)" ] ||
  fail "the second run's copy is wrong"
[ -z "$(find . -name '*.quillmar-unfinished')" ] || fail "an unfinished copy is left"
echo "two windows at once: both copies made, only the killed run's leftover removed"
