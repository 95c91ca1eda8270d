#!/usr/bin/env bash
# Archive figures in one run: the reader against unzip and against a bare inflate (median of 5);
# packages of many one-byte members unpacked and cleaned up on the simulated machine, by count;
# an installation with its waits, and the free-name search among 10,000 printers.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null && cmake --build --preset native --target qm_archive_bench qm_install_bench >/dev/null
bench=build/native/bench/qm_archive_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
archives=("$work/synthetic.zip")
$bench make "$work/synthetic.zip" "${QM_BENCH_MB:-64}"
for p in build/native/driver-package/KVDRV_en.zip; do [ -f "$p" ] && archives+=("$p"); done

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

for zip in "${archives[@]}"; do
  size=$(( $(stat -c %s "$zip") / 1024 ))
  reader=(); readerPeak=(); unz=(); unzPeak=(); floor=()
  for run in 1 2 3 4 5; do
    line=$($bench extract "$zip")
    reader+=("$(sed -E 's/reader ([0-9.]+) s.*/\1/' <<<"$line")")
    readerPeak+=("$(sed -E 's/.*peak ([0-9]+) KiB.*/\1/' <<<"$line")")
    rm -rf "$work/unzip" && mkdir "$work/unzip"
    t=$( { /usr/bin/time -f "%e %M" unzip -o -q "$zip" -d "$work/unzip" ; } 2>&1 | tail -1)
    unz+=("${t% *}"); unzPeak+=("${t#* }")
    floor+=("$($bench inflate "$zip" | sed -E 's/inflate ([0-9.]+) s.*/\1/')")
  done
  r=$(printf '%s\n' "${reader[@]}" | median); u=$(printf '%s\n' "${unz[@]}" | median)
  f=$(printf '%s\n' "${floor[@]}" | median); rp=$(printf '%s\n' "${readerPeak[@]}" | median)
  up=$(printf '%s\n' "${unzPeak[@]}" | median)
  echo "$(basename "$zip") ($size KiB): reader ${r}s, unzip ${u}s, bare inflate ${f}s;" \
    "reader/unzip $(awk "BEGIN {if ($u > 0) printf \"%.2f\", $r / $u; else print \"n/a (unzip under 10 ms)\"}")," \
    "reader/inflate $(awk "BEGIN {printf \"%.2f\", $r / ($f > 0 ? $f : 1e-9)}");" \
    "peak reader ${rp} KiB (archive + $((rp - size)) KiB), unzip ${up} KiB"
done

for members in 1000 2000 4000 8000 10000; do $bench members "$members"; done

build/native/bench/qm_install_bench
echo "Quillmate.exe $(stat -c %s build/windows/Quillmate.exe 2>/dev/null || echo '?') bytes;" \
  "archives $(stat -c %s build/native/driver-package/KVDRV_zh.zip) + $(stat -c %s build/native/driver-package/KVDRV_en.zip) bytes"
