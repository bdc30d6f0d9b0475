#!/usr/bin/env bash
# Kills `hushcel --overwrite` with SIGKILL at random moments, over and over, on a large
# private (0600) workbook, and checks after each kill that the workbook is complete
# (Python's zipfile reads every entry and checks every CRC), either as it was or as the
# finished result, and that nothing else is left in its folder: above all no file that
# other users can read. Each finished run flips the workbook between masked and
# restored. Not for CI: run it by hand for a few minutes.
#   bench/crash_overwrite.sh [BUILD_DIR] [SECONDS] [ROWS]   (defaults build-bench 180 60000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
seconds=${2:-180}
rows=${3:-60000}
cli="$build/hushcel"
[[ -x "$cli" ]] || { echo "no CLI at $cli (cmake --build $build --target hushcel)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/books"
book="$work/books/book.xlsx"
python3 "$root/examples/make_sample.py" "$book" "$rows" >/dev/null
chmod 600 "$book"
printf 'crash-test-password\n' >"$work/pw"
export HOME="$work" XDG_CONFIG_HOME="$work"

check() {  # the workbook is whole; prints "masked" or "plain"
  python3 - "$book" <<'PY'
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
bad = z.testzip()
if bad:
    sys.exit("damaged entry " + bad)
print("masked" if z.comment.startswith(b"COMPANY=KESTRIL PRODUCT=Hushcel ") else "plain")
PY
}

# How long one run takes, to spread the kills over it.
start=$(date +%s%N)
"$cli" --overwrite --password-file "$work/pw" "$book" >/dev/null
"$cli" --overwrite --password-file "$work/pw" "$book" >/dev/null
run_ms=$(( ($(date +%s%N) - start) / 2000000 ))
echo "workbook: $(stat -c %s "$book") bytes, $rows rows; one run takes about ${run_ms} ms"

runs=0 killed=0 finished=0 changed=0 leftovers=0 failures=0
state=$(check)
end=$(( $(date +%s) + seconds ))
while (( $(date +%s) < end )); do
  runs=$((runs + 1))
  before=$(sha256sum "$book" | cut -d' ' -f1)
  "$cli" --overwrite --password-file "$work/pw" "$book" >/dev/null 2>&1 &
  pid=$!
  # Anywhere from early in the run to a little after its usual end, where the commit is.
  sleep "$(awk -v ms="$run_ms" -v r="$RANDOM" 'BEGIN { printf "%.3f", ms * (0.3 + 1.1 * r / 32768) / 1000 }')"
  if kill -9 "$pid" 2>/dev/null; then killed=$((killed + 1)); fi
  wait "$pid" 2>/dev/null && finished=$((finished + 1)) || true
  if ! now=$(check); then
    echo "run $runs: the workbook is damaged" >&2
    failures=$((failures + 1))
    break
  fi
  [[ "$(sha256sum "$book" | cut -d' ' -f1)" != "$before" ]] && { changed=$((changed + 1)); state=$now; }
  while IFS= read -r -d '' extra; do
    if [[ -n "$(find "$extra" -perm /o+r)" ]]; then
      echo "run $runs: $(basename "$extra") is left and readable by others" >&2
      failures=$((failures + 1))
    else
      leftovers=$((leftovers + 1))  # private to the owner; counted, then removed
    fi
    rm -f "$extra"
  done < <(find "$work/books" -mindepth 1 ! -name book.xlsx -print0)
  [[ "$(stat -c %a "$book")" == 600 ]] || { echo "run $runs: mode $(stat -c %a "$book")" >&2; failures=$((failures + 1)); }
done
echo "runs: $runs, killed while working: $killed, replaced the workbook: $changed, ended as: $state"
echo "private leftovers: $leftovers, failures: $failures"
(( failures == 0 ))
