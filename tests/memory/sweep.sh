#!/usr/bin/env bash
# Sweeps a limit on the program's memory (ulimit -v) from where it cannot
# start to where it converts untroubled, over files of ordinary lines and of
# long ones, and checks that a run on two threads never does worse than a
# run on one: at every limit it converts exactly, or fails where the run on
# one thread fails, with the same message.
#
#   bash tests/memory/sweep.sh PROGRAM WORKDIR [STEP_KB]
#
# The run on one thread is the same program under `taskset -c 0`: a process
# that may use one core converts on one thread, and so is the copy that
# every run is compared with. FILES may name some of the files below;
# STEP_KB is 1024 if not given. The sweep gives up, and fails, where no
# limit up to MOST_KB (1 GiB if not given) lets both runs convert a file,
# or where the run on two cores started no second thread (strace tells):
# it would compare one thread with itself. Where only one core can be
# had, it says so and ends with status 77, skipped.
set -euo pipefail
program=$(realpath "$1")
work=$2
step=${3:-1024}
most=${MOST_KB:-1048576}
mkdir -p "$work"
cd "$work"
if [ "$(nproc)" -lt 2 ]; then
  echo "skipped: one core, so no run on two threads to compare"
  exit 77
fi

# The files: ordinary text; one 40 MiB line; thirty 2 MiB lines; a 20 MiB
# line of CRs; and an over-long line far past the first stretch.
[ -f late-long.kvr ] || python3 - <<'PY'
import random
random.seed(7)
def lines(n):
    out = []
    for i in range(n):
        r = random.random()
        if r < 0.25: out.append(b"4162-%d=%d\r\n" % (i % 90, random.randint(-9999, 99999)))
        elif r < 0.27: out.append(b"1000-4=%s\r\n" % random.choice([b"XAAR128", b"HP600", b"XAAR500", b"FOO"]))
        elif r < 0.28: out.append(b"9040-1=True\r\n")
        else: out.append(b"%d-%d=%s\r\n" % (random.randint(1000, 9999), i % 40, b"v" * random.randint(0, 40)))
    return b"".join(out)
open("ordinary.kvr", "wb").write(lines(1_000_000))
open("one-long.kvr", "wb").write(lines(1000) + b"K=" + b"w" * (40 << 20) + b"\r\n" + lines(1000))
open("many-long.kvr", "wb").write(b"".join(lines(2000) + b"K=" + b"w" * (2 << 20) + b"\n" for _ in range(30)))
open("cr-line.kvr", "wb").write(lines(1000) + b"K=" + b"\r" * (20 << 20) + b"x\n" + lines(1000))
open("late-long.kvr", "wb").write(lines(200_000) + b"K=" + b"w" * (24 << 20) + b"\r\n" + lines(10))
PY

# Whether the program, on two cores and with no limit, starts a thread of
# its own for FILE: whether the two-thread path took it.
starts_a_thread() {  # FILE
  rm -f out.traced
  strace -f -qq -e trace=clone,clone3 -o trace.txt taskset -c 0,1 "$program" "$1" out.traced \
    >/dev/null
  grep -q CLONE_THREAD trace.txt
}

# Runs the program on FILE under a limit of KB, on the cores given; prints
# its status and its last message, or that it could not start (it printed
# nothing), and leaves its copy in out.$TAG.
run() {  # TAG KB FILE CORES
  local tag=$1 kb=$2 file=$3 cores=$4
  rm -f "out.$tag"
  local status=0
  taskset -c "$cores" sh -c 'ulimit -v "$1" && exec "$2" "$3" "$4"' sh \
    "$kb" "$program" "$file" "out.$tag" >"console.$tag" 2>&1 || status=$?
  if [ -s "console.$tag" ]; then
    echo "$status $(tail -n 1 "console.$tag")"
  else
    echo "could not start"
  fi
}

failures=0 runs=0
for file in ${FILES:-ordinary.kvr one-long.kvr many-long.kvr cr-line.kvr late-long.kvr}; do
  taskset -c 0 "$program" "$file" want.kvr >/dev/null
  if ! starts_a_thread "$file"; then
    failures=$((failures + 1))
    echo "$file: the run on two cores started no thread"
    continue
  fi
  first_ok=""
  for ((kb = 1024; kb <= most; kb += step)); do
    one=$(run one "$kb" "$file" 0)
    two=$(run two "$kb" "$file" 0,1)
    runs=$((runs + 1))
    verdict=ok
    if [ "${two%% *}" = 0 ]; then
      cmp -s out.two want.kvr || verdict="a wrong copy"
    elif [ "${one%% *}" = 0 ]; then
      verdict="failed where one thread converts"
    elif [ "$one" != "$two" ]; then
      verdict="failed otherwise than one thread"
    fi
    if [ "$verdict" != ok ]; then
      failures=$((failures + 1))
      echo "$file at $kb KB: $verdict: one thread: $one; two: $two"
    fi
    if [ "${one%% *}" = 0 ] && [ "${two%% *}" = 0 ]; then
      [ -n "$first_ok" ] || first_ok=$kb
      # Untroubled well past the first limit where both convert.
      [ $((kb - first_ok)) -lt $((16 * 1024)) ] || break
    fi
  done
  if [ -z "$first_ok" ]; then
    failures=$((failures + 1))
    echo "$file: no limit up to $most KB lets both runs convert it"
  else
    echo "$file: both convert from $first_ok KB on"
  fi
done
echo "$runs limits, $failures runs on two threads worse than one"
[ "$failures" = 0 ]
