#!/usr/bin/env bash
# Times quillmar beside `cat IN > OUT` (the cost of moving the bytes at all)
# and `unix2dos` (a byte translator users know) on generated settings files,
# and measures its peak memory.
#
#   bash bench/run.sh [ROUNDS]
#
# The commands take turns, one run each per round, so that a slow moment of
# the machine falls on all of them alike; the figures are medians. Every
# output is deleted before each timed run: truncating a file that the
# kernel is still writing back would time the disk, not the program.
# QUILLMAR=PATH times another build of the program instead of this one.
#
# The files: input 1, the short-line file of the speed targets (121 MB, CR
# LF, from ../shared/bench/short_lines.py), its LF-only twin, and generated
# files of the project's own mix (bench/make_settings.cc).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-11}

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v hyperfine >/dev/null || need+=(hyperfine)
command -v unix2dos >/dev/null || need+=(dos2unix)
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

cmake --workflow --preset bench >/dev/null
bin=build/bench
data=$bin/data
mkdir -p "$data"
q=${QUILLMAR:-$bin/quillmar}
for size in 4096 10000000 100000000 1000000000; do
  [ -f "$data/$size.kvr" ] || "$bin/bench/make_settings" "$size" "$data/$size.kvr"
done
if [ ! -f "$data/input1-lf.kvr" ]; then
  python3 ../shared/bench/short_lines.py 8000000 7 >"$data/input1.kvr"
  tr -d '\r' <"$data/input1.kvr" >"$data/input1-lf.kvr"
fi

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
mem=$(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo)
echo "machine: $(nproc) cores, $cpu, $mem; $(uname -sr)"
echo "rounds: $rounds"

# Prints the median over the rounds of each command's time in ms, as
# "name median" lines. Each round runs each command `runs` times.
time_file() {
  local in=$1 runs=$2 all
  all=$(mktemp)
  for ((r = 0; r <= rounds; r++)); do
    hyperfine --runs "$runs" --export-csv "$all.round" --output=null --style none \
      --prepare "rm -f $data/out.cat $data/out.kvr $data/out.u2d" \
      -n cat "cat $in > $data/out.cat" \
      -n quillmar "$q $in $data/out.kvr" \
      -n unix2dos "unix2dos -q -n $in $data/out.u2d" >/dev/null 2>&1
    # The first round only warms the caches.
    [ "$r" -gt 0 ] && tail -n +2 "$all.round" >>"$all"
  done
  local name
  for name in cat quillmar unix2dos; do
    awk -F, -v n="$name" '$1 == n { print $4 * 1000 }' "$all" | sort -g |
      awk -v n="$name" '{ v[NR] = $1 } END {
        printf "%s %.3f\n", n, (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
  done
  rm -f "$all" "$all.round"
}

report() {
  local label=$1 times=$2
  local cat q u2d
  cat=$(awk '$1 == "cat" { print $2 }' <<<"$times")
  q=$(awk '$1 == "quillmar" { print $2 }' <<<"$times")
  u2d=$(awk '$1 == "unix2dos" { print $2 }' <<<"$times")
  awk -v l="$label" -v c="$cat" -v q="$q" -v u="$u2d" 'BEGIN {
    printf "| %-7s | %9.2f ms | %9.2f ms | %9.2f ms | %5.2f x | %5.2f x |\n", l, c, q, u, q / c, u / q }'
}

echo
echo "| file    | cat          | quillmar     | unix2dos     | quillmar / cat | unix2dos / quillmar |"
echo "|---------|--------------|--------------|--------------|----------------|---------------------|"
report "input 1" "$(time_file "$data/input1.kvr" 1)"
report "LF only" "$(time_file "$data/input1-lf.kvr" 1)"
report "100 MB" "$(time_file "$data/100000000.kvr" 1)"
report "4 KB" "$(time_file "$data/4096.kvr" 30)"

echo
echo "peak resident memory of quillmar:"
for size in 10000000 100000000 1000000000; do
  kib=$("$bin/bench/peak_rss" "$q" "$data/$size.kvr" "$data/out.kvr" | tail -n 1)
  awk -v s="$size" -v k="$kib" 'BEGIN { printf "  %5d MB input: %.1f MiB\n", s / 1e6, k / 1024 }'
done
rm -f "$data/out.cat" "$data/out.kvr" "$data/out.u2d"
