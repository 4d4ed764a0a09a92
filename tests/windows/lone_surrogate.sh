#!/bin/sh
# Gives both Windows programs a name that holds a surrogate without its pair,
# as NTFS allows, under Wine: each must say so and go on, never end without
# a word. The messages go to a file, so the name shows there as it was
# kept: the lone surrogate as the three bytes \355\240\200.
#   lone_surrogate.sh WINDOWS_BUILD_DIR WORK_DIR
set -eu
build=$1
work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work"
printf '4162-1=10\r\n' >good.kvr
dir=$(printf 'Z:%s' "$PWD" | tr / '\\')
bad=$(printf 'bad\355\240\200.kvr')
fail() { echo "$1"; cat console.txt errors.txt; exit 1; }
run() {  # EXPECTED_STATUS PROGRAM ARGS...
  want=$1 && shift
  status=0
  wine "$build/lone_surrogate.exe" "$@" </dev/null >console.txt 2>errors.txt || status=$?
  [ "$status" = "$want" ] || fail "exit status $status, not $want"
  [ ! -s errors.txt ] || fail "standard error is not empty"
}

run 1 "$build/quillmar.exe" 'bad%LONE%.kvr' out.kvr
printf '\r\nConverting %s -> out.kvr.\r\nCannot open input file %s: its name is not valid Unicode.\r\n' \
  "$bad" "$bad" >expected.txt
cmp expected.txt console.txt || fail "quillmar.exe: the messages differ from $work/expected.txt"

run 1 "$build/quillmar.exe" good.kvr 'bad%LONE%.kvr'
printf '\r\nConverting good.kvr -> %s.\r\nCannot open output file %s: its name is not valid Unicode.\r\n' \
  "$bad" "$bad" >expected.txt
cmp expected.txt console.txt || fail "quillmar.exe: the messages differ from $work/expected.txt"

run 1 "$build/Convert dropped files.exe" "$dir\\bad%LONE%.kvr" "$dir\\good.kvr"
{
  printf '\r\nConverting %s\\%s -> %s\\converted\\%s.\r\n' "$dir" "$bad" "$dir" "$bad"
  printf 'Cannot open input file %s\\%s: its name is not valid Unicode.\r\n' "$dir" "$bad"
  printf 'No copy was made.\r\n'
  printf '\r\nConverting %s\\good.kvr -> %s\\converted\\good.kvr.\r\n' "$dir" "$dir"
  printf 'Conversion Complete.\r\n'
  printf '\r\nFailed:\r\n  %s: Cannot open input file %s\\%s: its name is not valid Unicode.\r\n' \
    "$bad" "$dir" "$bad"
  printf '\r\nConverted, worth a look:\r\n'
  printf '  good.kvr: it names no head type: the Xaar500 factor was used.\r\n'
  printf '\r\nConverted: 1, failed: 1.\r\n'
} >expected.txt
cmp expected.txt console.txt || fail "the companion: the messages differ from $work/expected.txt"
[ "$(od -An -c converted/good.kvr)" = "$(printf '4172-1=19\r\n' | od -An -c)" ] ||
  fail "the good file's copy holds the wrong bytes"
echo "a lone surrogate: refused with its reason by both programs; the other file converted"
