#!/usr/bin/env bash
# Peak memory of the CLI on a 2 MB deflate bomb: a valid workbook plus four entries of
# zeros that declare (truthfully) 500 MB each, 2 GB in all. The package is refused by
# the memory budget before anything is inflated. The floor is `hushcel --help` in the
# same run; the bomb's peak must stay under 200 MiB.
#   bench/bomb_memory.sh [BUILD_DIR]     (default build-bench; any build of hushcel)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
cli="$build/hushcel"
[[ -x "$cli" ]] || { echo "no CLI at $cli (cmake --build $build --target hushcel)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

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
printf 'bench-password\n' >"$work/pw"
export HOME="$work" XDG_CONFIG_HOME="$work"

peak_kib() {  # command...: peak resident KiB; the command's own status is ignored
  /usr/bin/time -f '%M' -o "$work/rss" "$@" >/dev/null 2>"$work/err" || true
  tail -1 "$work/rss"
}
floor=$(peak_kib "$cli" --help)
bomb=$(peak_kib "$cli" --password-file "$work/pw" "$work/bomb.xlsx")
printf 'bomb file: %s bytes, declared inflated size: 2000000000 bytes\n' "$(stat -c %s "$work/bomb.xlsx")"
printf 'message: %s\n' "$(cat "$work/err")"
printf 'peak RSS: --help %d KiB, bomb %d KiB (%.2f x the floor)\n' "$floor" "$bomb" "$(echo "$bomb / $floor" | bc -l)"
[[ -e "$work/●bomb.xlsx" ]] && { echo "FAIL: the bomb was processed" >&2; exit 1; }
(( bomb < 200 * 1024 )) || { echo "FAIL: peak over 200 MiB" >&2; exit 1; }
echo "OK: under 200 MiB"
