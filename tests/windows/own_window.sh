#!/bin/sh
# Runs the Windows program alone in a console of its own under Wine (a
# terminal, through script), as a double-click starts it: it must show its
# messages, then "Press Enter to close this window.", wait, and end after
# Enter, or Ctrl+C, with the run's exit status. (Sharing a console, it never
# waits: the code page check starts it so.)
#   own_window.sh WINDOWS_BUILD_DIR WORK_DIR
set -eu
. "$(dirname "$0")/alone.sh"
build=$1
work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work"
cp "$build/quillmar.exe" .
wine=$(loader_alone quillmar.exe)
asked() { grep -q 'Press Enter to close this window.' shown.txt || [ -e ended ]; }
# Runs the program alone in a terminal; once it asks for Enter and has
# waited 2 s, types KEY, then Enter if it is still waiting 10 s later.
#   alone KEY KEY_NAME
alone() {
  rm -f ended waited after_key status
  : >shown.txt
  {
    wait_until 300 asked
    sleep 2
    [ -e ended ] || touch waited
    printf "$1"
    wait_until 50 test -e ended || true
    [ -e ended ] || { touch after_key && printf '\r'; }
  } | in_terminal "$wine quillmar.exe"
  status=$(cat status)
  tr -d '\r' <shown.txt | sed 's/\x1b\[[?0-9;]*[A-Za-z]//g'
  [ -e waited ] || { echo "the window did not wait for Enter"; exit 1; }
  [ ! -e after_key ] || { echo "the wait did not end with $2"; exit 1; }
  [ "$status" = 1 ] || { echo "exit status $status after $2, not the usage text's 1"; exit 1; }
  grep -q 'The directory has to exist before calling Quillmar.' shown.txt ||
    { echo "the usage text was not shown"; exit 1; }
}
alone '\r' Enter
# Ctrl+C ends the wait as Enter does, and the status stays the run's.
alone '\003' Ctrl+C
# Its messages redirected to a file, a run alone in its console never waits:
# no key comes, and a run that waited would be ended by the timeout (124).
rm -f keys && mkfifo keys
status=0
timeout 20 script -qec "$wine quillmar.exe >redirected.txt" /dev/null <keys >/dev/null 2>&1 &
exec 3>keys
wait $! || status=$?
exec 3>&-
[ "$status" = 1 ] || { echo "messages in a file: exit status $status, not 1 (124: it waited)"; exit 1; }
grep -q 'The directory has to exist' redirected.txt || { echo "the usage text is not in the file"; exit 1; }
! grep -q 'Press Enter' redirected.txt || { echo "a run with its messages in a file waited"; exit 1; }
