#!/usr/bin/env bash
# End-to-end benchmark of the native command-line program: a generated file
# (256 MiB unless DASHTAB_BENCH_MIB says otherwise) converted both ways,
# timed against cp of the same file and sed doing the same replacement, all
# in this one run. Prints the best of three wall times, the ratios, and the
# peak memory (maximum resident set) against the file size.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mib=${DASHTAB_BENCH_MIB:-256}
runs=3

if [ ! -x /usr/bin/time ]; then
  echo "bench/cli.sh: /usr/bin/time is missing (apt-get install time)" >&2
  exit 1
fi
cmake --preset native >/dev/null
cmake --build --preset native --target dashtab_cli >/dev/null
program=$root/build/native/src/cli/dashtab

work=$(mktemp -d "${TMPDIR:-/tmp}/dashtab-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Table-like text with runs of dashes and TABs, a few GBK characters and
# CRLF line ends: whole lines up to 1 MiB, repeated, cut to the size.
line=$'id-0042----\xc3\xfb\xb3\xc6----3.14159\tcomment with a few words\t--- not three\r\n'
for _ in $(seq 16384); do printf '%s' "$line"; done >"$work/mib"
for _ in $(seq "$mib"); do cat "$work/mib"; done >"$work/input"
truncate -s $((mib << 20)) "$work/input"
rm "$work/mib"
bytes=$(stat -c %s "$work/input")
cat "$work/input" >/dev/null  # into the page cache for every contender alike

# best_of NAME COMMAND...: the best wall time in seconds, the processor time
# (user + system) of that run and the largest peak resident set in KiB over
# $runs runs, stored in time_NAME, cpu_NAME and rss_NAME. The processor time
# shows how much of the wall time was waiting for a busy machine. Before
# each run the output is removed, or, with prepare=copy, made a fresh copy
# of the input (outside the timing) for a conversion in place.
best_of() {
  local name=$1 best="" cpu="" peak=0 start end t m u s
  shift
  for _ in $(seq "$runs"); do
    rm -f "$work/output"
    if [ "${prepare:-}" = copy ]; then
      cp "$work/input" "$work/output"
      sync "$work/output"
    fi
    start=$(date +%s%N)
    /usr/bin/time -f '%M %U %S' -o "$work/time" "$@"
    end=$(date +%s%N)
    t=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", (e - s) / 1e9 }')
    read -r m u s <"$work/time"
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best=$t
      cpu=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.2f", u + s }')
    fi
    if [ "$m" -gt "$peak" ]; then peak=$m; fi
  done
  printf -v "time_$name" '%s' "$best"
  printf -v "rss_$name" '%s' "$peak"
  printf -v "cpu_$name" '%s' "$cpu"
}

best_of cp cp "$work/input" "$work/output"
# cat passes every byte through user space, as any converter must; cp may
# copy inside the kernel (copy_file_range) and never touch the bytes.
best_of cat sh -c 'cat "$1" >"$2"' sh "$work/input" "$work/output"
best_of sed_tab sh -c 'sed "s/----/\t/g" "$1" >"$2"' sh "$work/input" "$work/output"
best_of sed_dashes sh -c 'sed "s/\t/----/g" "$1" >"$2"' sh "$work/input" "$work/output"
best_of to_tab "$program" to-tab "$work/input" -o "$work/output"
best_of to_dashes "$program" to-dashes "$work/input" -o "$work/output"
best_of to_tab_stdout sh -c '"$1" to-tab "$2" >"$3"' sh "$program" "$work/input" "$work/output"
# Replacing a file waits until the new copy is on the disk (fsync).
prepare=copy best_of in_place "$program" to-tab --in-place "$work/output"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
memory() { awk -v k="$1" -v n="$bytes" 'BEGIN { printf "%.2f", k * 1024 / n }'; }

echo "dashtab command line, end to end: $mib MiB file ($bytes bytes), best of $runs runs"
row() { printf '%-38s %8s %8s %8s %9s %12s\n' "$@"; }
row "" "seconds" "cpu s" "/ cp" "sed / it" "peak / file"
row "cp" "$time_cp" "$cpu_cp"
row "cat > file" "$time_cat" "$cpu_cat" "$(ratio "$time_cat" "$time_cp")"
row "sed 's/----/\t/g'" "$time_sed_tab" "$cpu_sed_tab" "$(ratio "$time_sed_tab" "$time_cp")"
row "sed 's/\t/----/g'" "$time_sed_dashes" "$cpu_sed_dashes" \
  "$(ratio "$time_sed_dashes" "$time_cp")"
# program_row LABEL NAME SED: a run of the program against cp and the sed
# run of the same direction, by the names best_of stored them under.
program_row() {
  local time cpu rss sed
  time=time_$2 cpu=cpu_$2 rss=rss_$2 sed=time_$3
  row "$1" "${!time}" "${!cpu}" "$(ratio "${!time}" "$time_cp")" "$(ratio "${!sed}" "${!time}")" \
    "$(memory "${!rss}")"
}
program_row "dashtab to-tab -o new-file" to_tab sed_tab
program_row "dashtab to-dashes -o new-file" to_dashes sed_dashes
program_row "dashtab to-tab > file" to_tab_stdout sed_tab
program_row "dashtab to-tab --in-place (fsync)" in_place sed_tab
echo "cp and sed write a new file and do not wait for the disk; neither do the first three rows"
echo "targets: at most 1.5 x cp, at least 10 x faster than sed, peak at most 2.2 x the file"
