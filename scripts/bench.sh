#!/usr/bin/env bash
# The performance bench of an update run (bench/README.md explains the tables).
# Builds the bench host, qelmoset.dll and the emulated handset's RAPI.dll for
# x86 (the primary target) and x64, makes update files of 1 MiB, 64 MiB and
# 1 GiB, times cp on them, runs the bench host under Wine in a prefix of its
# own, and prints the tables. Its exit status does not depend on any figure.
#   QEL_BENCH_DIR      builds, prefix, data and results (default: build/bench)
#   QEL_BENCH_PRESETS  the builds to measure (default: "win32 win64")
#   QEL_BENCH_REPEAT   samples per figure, of which the median is shown (default: 5)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dir=$(realpath -m "${QEL_BENCH_DIR:-$root/build/bench}")
presets=${QEL_BENCH_PRESETS:-"win32 win64"}
repeat=${QEL_BENCH_REPEAT:-5}
sizes=(1048576 67108864 1073741824)
work=$dir/work
prefix=$dir/wineprefix
results=$dir/results.md

bash scripts/setup.sh
mkdir -p "$dir"
for preset in $presets; do
  echo "bench: building $preset"
  cmake --preset "$preset" -B "$dir/$preset" >"$dir/$preset.configure.log"
  cmake --build "$dir/$preset" --target qel_bench -- -j"$(nproc)" >"$dir/$preset.build.log"
done

# The update files, two copies of the largest, the grown log: about 2.5 GB.
free_kib=$(df -Pk "$dir" | awk 'NR == 2 { print $4 }')
if [ "$free_kib" -lt $((4 * 1024 * 1024)) ]; then
  echo "bench: less than 4 GiB free under $dir" >&2
  exit 1
fi

echo "bench: making the Wine prefix"
scripts/wine-prefix create "$prefix" >/dev/null
trap 'scripts/wine-prefix stop "$prefix" >/dev/null; rm -rf "$work"' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The median of the numbers on standard input.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] + 0 : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The update files, and the time cp takes to copy each on the same disk.
rm -rf "$work"
cp_args=()
for size in "${sizes[@]}"; do
  mkdir -p "$work/src-$size" "$work/cp"
  head -c "$size" /dev/urandom >"$work/src-$size/update.qel"
  seconds=$(for _ in $(seq "$repeat"); do
    rm -f "$work/cp/update.qel"
    start=$(date +%s%N)
    cp "$work/src-$size/update.qel" "$work/cp/update.qel"
    end=$(date +%s%N)
    echo "$(( end - start ))e-9"
  done | median)
  rm -f "$work/cp/update.qel"
  cp_args+=(--cp "$size=$seconds")
done

load() { cut -d' ' -f1-3 /proc/loadavg; }
{
  echo "# Bench of an update run, $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
  echo "Machine: $(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')), Linux $(uname -r), $(wine --version 2>/dev/null || echo Wine)."
  if grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; then
    echo "32-bit programs (x86 Wine with it) run through qemu-i386 user-mode emulation on this machine."
  fi
  echo "cp: median of $repeat copies of each file, timed in bash."
} >"$results"
for preset in $presets; do
  loader=/usr/lib/wine/wine
  [ "$preset" = win64 ] && loader=/usr/lib/wine/wine64
  echo "bench: measuring $preset"
  before=$(load)
  status=0
  "$loader" "$dir/$preset/bin/qel_bench.exe" --repeat "$repeat" "${cp_args[@]}" "Z:${work//\//\\}" \
    >"$dir/$preset.out" 2>&1 </dev/null || status=$?
  { echo; cat "$dir/$preset.out"; echo; echo "Load average (1, 5, 15 min) before: $before; after: $(load)."; } >>"$results"
  if [ "$status" -ne 0 ]; then
    cat "$results"
    echo "bench: the $preset bench host failed (exit $status)" >&2
    exit 1
  fi
done
cat "$results"
echo
echo "bench: tables saved in $results"
