#!/usr/bin/env bash
# Runs the hushcel CLI over every workbook of the shared corpus and of the labelled
# bad-input corpus under a 2 GiB address-space limit, and reports per file the exit
# status, the wall time and the peak resident memory. Fails when the CLI dies (a signal
# or an exit status it never gives) on any input.
#   bench/cli_memory_check.sh [BUILD_DIR]     (default build-bench, a Release build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
cli="$build/hushcel"
[[ -x "$cli" ]] || { echo "no CLI at $cli (cmake --build $build --target hushcel)" >&2; exit 2; }
corpus=${HUSHCEL_CORPUS:-$root/../shared/corpus}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$root/scripts/make_bad_inputs.py" "$work/bad" >/dev/null
mkdir -p "$work/in" "$work/home"
i=0
while IFS= read -r -d '' f; do
  i=$((i + 1))
  cp "$f" "$work/in/$(printf '%03d' $i)-$(basename "$f")"
done < <(find "$corpus" "$work/bad" -type f \( -name '*.xls*' -o -name '*.zip' \) -print0 2>/dev/null | sort -z)
printf 'pw' >"$work/password"

dead=0
printf '%-60s %6s %8s %10s\n' file status seconds peak_mb
for f in "$work"/in/*; do
  start=$(date +%s.%N)
  set +e
  ( ulimit -v 2097152; HOME="$work/home" XDG_CONFIG_HOME="$work/home" \
    /usr/bin/time -f '%M' -o "$work/rss" "$cli" --password-file "$work/password" "$f" >/dev/null 2>"$work/err" )
  status=$?
  set -e
  secs=$(echo "$(date +%s.%N) - $start" | bc)
  peak=$(( $(tail -1 "$work/rss" 2>/dev/null | grep -o '^[0-9]*' || echo 0) / 1024 ))
  printf '%-60s %6s %8.2f %10s\n' "$(basename "$f")" "$status" "$secs" "$peak"
  if (( status > 3 )); then dead=$((dead + 1)); cat "$work/err" >&2; fi
  rm -f "$work"/in/●* "$work"/in/〇*
done
echo "inputs: $(ls "$work/in" | wc -l), died: $dead"
(( dead == 0 ))
