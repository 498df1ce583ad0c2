#!/usr/bin/env bash
# The peak memory of converting a 256 MiB file the way the program does,
# as the maximum resident set size that /usr/bin/time reports, against the
# file's size. Run by tools/bench after the benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build --preset native --target convert_file >/dev/null
tool=build/native/bench/convert_file
data=build/native/bench-data
mkdir -p "$data"
trap 'rm -rf "$data"' EXIT

mib=256
printf '%-10s %-14s %12s %12s %14s %8s\n' input direction "file bytes" "output bytes" "max RSS bytes" ratio
for kind in ascii-tsv gbk-text; do
  for direction in dashes-to-tab tab-to-dashes; do
    separator=dashes
    [ "$direction" = tab-to-dashes ] && separator=tab
    "$tool" generate "$kind" "$mib" "$separator" "$data/source"
    /usr/bin/time -v "$tool" "$direction" "$data/source" "$data/output" 2>"$data/time.txt"
    rss_kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$data/time.txt")
    size=$(stat -c %s "$data/source")
    printf '%-10s %-14s %12d %12d %14d %7.2fx\n' "$kind" "$direction" "$size" \
      "$(stat -c %s "$data/output")" $((rss_kib * 1024)) "$(awk "BEGIN { print $rss_kib * 1024 / $size }")"
  done
done
