#!/usr/bin/env bash
# Peak resident memory of the CLI masking workbooks made to take far more memory than
# their size, each under a memory budget (--max-memory): a deflate bomb (a valid
# workbook plus four entries of zeros that declare, truthfully, 500 MB each), and the
# shapes of bench/bomb_shapes.py (5 million tiny strings in a 208 KB file, one 300 MiB
# string, 900 MiB of strings, many parts, a large worksheet). The promise: the peak is
# at most the budget plus 64 MiB, whether the workbook is masked or refused (a refusal
# says which budget would do). A refused shape is run again under the budget its refusal
# names, when that is at most 3 GiB, until it is masked: the promise must hold there too. Prints the table Peak RSS / budget per shape; exits 1 when a run breaks
# the promise.
#   bench/bomb_memory.sh [BUILD_DIR [SHAPE...]]   (default build-bench; shapes by name or number)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
shift || true
cli="$build/hushcel"
[[ -x "$cli" ]] || { echo "no CLI at $cli (cmake --build $build --target hushcel)" >&2; exit 2; }
"$root/scripts/setup" time
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_CONFIG_HOME="$work" HUSHCEL_PASSWORD=bench-password LANG=C.UTF-8 LC_ALL=C.UTF-8
RERUN_MAX_MIB=3072
SLACK_KIB=$((64 * 1024))

python3 - "$root/scripts" "$work/bomb.xlsx" <<'PY'
import sys, zlib
sys.path.insert(0, sys.argv[1])
import rawzip
from rawzip import Entry
SIZE, PIECE = 500_000_000, 1 << 24
entries = rawzip.workbook()
for i in range(4):
    c = zlib.compressobj(9, zlib.DEFLATED, -15, 9)
    zero = bytes(PIECE)
    payload, crc, left = bytearray(), 0, SIZE
    while left:
        n = min(PIECE, left)
        payload += c.compress(zero[:n])
        crc = zlib.crc32(zero[:n], crc)
        left -= n
    payload += c.flush()
    entries.append(Entry("xl/media/zeros%d.bin" % i, payload=bytes(payload), crc=crc, uncompressed_size=SIZE))
open(sys.argv[2], "wb").write(rawzip.build(entries))
PY
{
  printf 'deflate bomb (2 GB of zeros)\t%s\t\t\n' "$work/bomb.xlsx"
  python3 "$root/bench/bomb_shapes.py" "$work" "$@"
} >"$work/shapes.tsv"

# The default budget, as the CLI computes it: an eighth of the memory, at most 1 GiB.
default_kib=$(awk '/MemTotal/ { k = $2 / 8; if (k > 1048576) k = 1048576; printf "%d", k }' /proc/meminfo)

printf '%-30s %10s %-9s %12s %12s %14s\n' shape budget result "peak RSS" "peak/budget" "peak - budget"
broken=0
# One masking under a budget ("" for the default): prints its row, sets result and advised (MiB).
run() {  # label file budget [options]
  local name=$1 file=$2 budget=$3 args=() budget_kib
  [[ -n "${4:-}" ]] && read -r -a args <<<"$4"
  if [[ -n "$budget" ]]; then
    args+=(--max-memory "$budget")
    budget_kib=$(( ${budget%M} * 1024 ))
  else
    budget_kib=$default_kib
  fi
  /usr/bin/time -f '%M' -o "$work/rss" "$cli" mask "${args[@]}" "$file" >/dev/null 2>"$work/err" || true
  local peak out over mark=""
  peak=$(tail -1 "$work/rss")
  out="$(dirname "$file")/●$(basename "$file")"
  if [[ -e "$out" ]]; then result=masked; rm -f "$out"; else result=refused; fi
  over=$((peak - budget_kib))
  (( over <= SLACK_KIB )) || { mark="  BROKEN"; broken=1; }
  printf '%-30s %8d M %-9s %8d MiB %12.2f %10d MiB%s\n' "$name" $((budget_kib / 1024)) "$result" $((peak / 1024)) \
    "$(echo "$peak / $budget_kib" | bc -l)" $((over / 1024)) "$mark"
  advised=$(grep -o 'max-memory to at least [0-9]*M' "$work/err" | grep -o '[0-9]*' | head -1 || true)
  [[ "$result" == refused ]] && printf '%-30s   %s\n' "" "$(grep -v warning "$work/err" | head -1 | sed 's/.*Processing stopped. //' | cut -c1-140)"
  return 0
}
while IFS=$'\t' read -r name file budget options; do
  run "$name" "$file" "$budget" "$options"
  # A refusal before unpacking names what unpacking needs; the one after it, what
  # parsing needs too: follow the names until the shape is masked.
  for _ in 1 2 3; do
    [[ "$result" == refused && -n "$advised" && "$name" != deflate* ]] || break
    if (( advised > RERUN_MAX_MIB )); then
      printf '%-30s   not run again: the budget it names (%d MiB) is over %d MiB\n' "" "$advised" "$RERUN_MAX_MIB"
      break
    fi
    run "  at the budget it names" "$file" "${advised}M" "$options"
  done
  rm -f "$file"
done <"$work/shapes.tsv"
(( broken == 0 )) && echo "OK: every peak within the budget plus 64 MiB" || { echo "FAIL: a peak above the budget plus 64 MiB" >&2; exit 1; }
