#!/bin/sh
# The questions that a window of the program's own asks before a file is
# replaced, answered as a person would under Wine (a terminal, through
# script): quillmar.exe given an output file that exists, and the companion
# given an emptied file whose earlier copy differs. Enter alone and Ctrl+C
# keep the file as it was, y replaces it; a file that does not exist is
# written without a question.
#   questions.sh WINDOWS_BUILD_DIR WORK_DIR
set -eu
. "$(dirname "$0")/alone.sh"
build=$1
work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work"
cp "$build/quillmar.exe" "$build/Convert dropped files.exe" .
fail() { echo "$1"; tr -d '\r' <shown.txt; exit 1; }
# Whether the window showed TEXT, which it may have wrapped.
shows() { tr -d '\r\n' <shown.txt | sed 's/\x1b\[[?0-9;]*[A-Za-z]//g' | grep -qF "$1"; }
seen() { shows "$1" || [ -e ended ]; }
# Runs COMMAND alone in a terminal; once QUESTION shows, types KEYS; then
# Enter to close the window.
#   ask COMMAND QUESTION KEYS
ask() {
  rm -f ended status
  : >shown.txt
  {
    wait_until 300 seen "$2"
    sleep 2
    [ -e ended ] || printf "$3"
    # Under Wine's terminal a lone Enter typed at the question is at times
    # not read: Enter is typed again below, as a person would.
    wait_until 100 seen 'Press Enter to close this window.' || true
    # Keys typed before the wait are not taken for Enter: typed again.
    for i in 1 2 3 4 5; do
      wait_until 10 test -e ended || true
      [ -e ended ] || printf '\r'
    done
  } | in_terminal "$1"
  status=$(cat status)
}
same() { [ "$(od -An -c "$1")" = "$(printf "$2" | od -An -c)" ]; }

exe=$(loader_alone quillmar.exe)
printf '1000-4=HP600\r\n4162-1=10\r\n' >in.kvr
replace='Type y and press Enter to replace it; press Enter alone to keep it.'
for keys in '\r' '\003'; do
  printf 'second\r\n' >out.kvr
  ask "$exe quillmar.exe in.kvr out.kvr" "$replace" "$keys"
  [ "$status" = 1 ] || fail "quillmar.exe, answered '$keys': exit status $status, not 1"
  same out.kvr 'second\r\n' || fail "quillmar.exe, answered '$keys': the second file changed"
  shows 'Nothing was written: out.kvr was kept as it was.' || fail "quillmar.exe did not say it kept the file"
done
ask "$exe quillmar.exe in.kvr out.kvr" "$replace" 'y\r'
[ "$status" = 0 ] || fail "quillmar.exe, answered y: exit status $status"
same out.kvr '1000-4=HP600\r\n4172-1=63\r\n' || fail "quillmar.exe, answered y: no copy"
rm out.kvr
ask "$exe quillmar.exe in.kvr out.kvr" 'Press Enter to close this window.' ''
[ "$status" = 0 ] && same out.kvr '1000-4=HP600\r\n4172-1=63\r\n' || fail "a new file was not written"
! shows "$replace" || fail "quillmar.exe asked about a file that did not exist"
ask "$exe quillmar.exe" 'Press Enter to close this window.' ''
shows 'To convert files, drop them on "Convert dropped files.exe".' || fail "the usage text does not point to the companion"

exe=$(loader_alone 'Convert dropped files.exe')
file=$(printf 'Z:%s/emptied.kvr' "$PWD" | tr / '\\')
keep='Enter alone keeps the earlier copies.'
for keys in '\r' '\003' 'y\r'; do
  rm -rf converted && mkdir converted
  printf '1000-4=HP600\r\n4172-1=63\r\n' >converted/emptied.kvr
  : >emptied.kvr
  ask "$exe 'Convert dropped files.exe' '$file'" "$keep" "$keys"
  [ -z "$(find . -name '*.quillmar-unfinished')" ] || fail "an unfinished copy is left"
  if [ "$keys" = 'y\r' ]; then
    [ "$status" = 0 ] && [ ! -s converted/emptied.kvr ] || fail "the companion, answered y: not replaced"
  else
    [ "$status" = 1 ] || fail "the companion, answered '$keys': exit status $status, not 1"
    same converted/emptied.kvr '1000-4=HP600\r\n4172-1=63\r\n' ||
      fail "the companion, answered '$keys': the earlier copy changed"
    shows 'The earlier copies were kept, and the new ones removed:  converted\emptied.kvr' || fail "the companion did not say it kept the copy"
  fi
done
# Worth a look, but the same as the earlier copy, which is held open while
# it is compared: no question.
printf '4162-1=10\r\n' >bare.kvr
printf '4172-1=19\r\n' >converted/bare.kvr
ask "$exe 'Convert dropped files.exe' '$(printf 'Z:%s/bare.kvr' "$PWD" | tr / '\\')'" 'Press Enter to close this window.' ''
[ "$status" = 0 ] && ! shows "$keep" || fail "the companion asked about a copy the same as before"
echo "questions: Enter and Ctrl+C keep the file; y replaces it; a new file is not asked for"
