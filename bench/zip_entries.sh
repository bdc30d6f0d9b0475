#!/usr/bin/env bash
# The zip reader and writer on a workbook of many small entries, against a plain read of
# the same file (its directory and every entry) by Python's zipfile in the same run:
#   bench/zip_entries.sh [ENTRIES [BUILD_DIR]]     (default 4000, build-bench)
# Prints the best of five wall times of `hushcel inspect` and `hushcel mask --compat`
# (the original format: no key derivation, so the run is the package's reading and
# writing) with their ratio to the Python read (goal: at most 1.0), then the system
# calls per entry of each (strace -c). Whole processes on both sides, start-up included.
# The machine is shared: ratios, not absolute times.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
entries=${1:-4000}
build=${2:-$root/build-bench}
"$root/scripts/setup"
if [[ ! -x "$build/hushcel" || ! -x "$build/bench/hushcel_make_workbook" ]]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DHUSHCEL_BENCH=ON -DHUSHCEL_GUI=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target hushcel hushcel_make_workbook >/dev/null
fi
cli="$build/hushcel"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_CONFIG_HOME="$work" HUSHCEL_PASSWORD=bench-password
book="$work/many.xlsx"
"$build/bench/hushcel_make_workbook" "$book" --entries "$entries"

python_read() {
  python3 -c 'import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
for i in z.infolist(): z.read(i)' "$book"
}
inspect() { "$cli" inspect "$book" >/dev/null; }
mask() {
  "$cli" mask --compat --columns A "$book" >/dev/null 2>&1
  rm -f "$work/●many.xlsx"
}

# best of five, in seconds
best() {
  local best="" t0 t1 t
  for _ in 1 2 3 4 5; do
    t0=$(date +%s.%N)
    "$@"
    t1=$(date +%s.%N)
    t=$(echo "$t1 - $t0" | bc -l)
    if [[ -z "$best" ]] || (( $(echo "$t < $best" | bc -l) )); then best=$t; fi
  done
  echo "$best"
}

peer=$(best python_read)
printf '%-34s %8.3f s\n' "python3 zipfile, every entry read" "$peer"
for run in inspect mask; do
  t=$(best "$run")
  printf '%-34s %8.3f s   %5.2fx python   (goal: at most 1.0x)\n' "hushcel $run" "$t" "$(echo "$t / $peer" | bc -l)"
done

# System calls per entry: every call, then the reads and writes among them.
calls() {  # label command...
  local label=$1
  shift
  strace -f -c -o "$work/strace.txt" "$@" >/dev/null 2>&1 || true
  rm -f "$work/●many.xlsx"
  awk -v label="$label" -v n="$entries" '
    $NF == "total" { total = $4 }
    $NF ~ /^(read|pread64|readv|preadv)$/ { reads += $4 }
    $NF ~ /^(write|pwrite64|writev|pwritev)$/ { writes += $4 }
    END { printf "%-34s %8d calls   %6.3f per entry   reads %6d   writes %6d\n", label, total, total / n, reads, writes }
  ' "$work/strace.txt"
}
echo
echo "system calls ($entries entries):"
calls "hushcel inspect" "$cli" inspect "$book"
calls "hushcel mask --compat" "$cli" mask --compat --columns A "$book"
calls "python3 zipfile, every entry read" python3 -c 'import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
for i in z.infolist(): z.read(i)' "$book"
