#!/usr/bin/env bash
# Races `hushcel mask --overwrite` against other writers of the same workbook and counts
# the silent losses: work that was reported done but is not in the file afterwards.
#
#  - pairs: two runs at once on one plain workbook, one masking column B, the other
#    column F. A run that reports success (exit 0 or 4) must find its column masked in
#    the final file; a readable one is a lost masking.
#  - editor: one run against an editor that saves its own version (one row more) by
#    writing a new file and renaming it over the name, at a random moment from before the
#    run starts working to after it usually ends. The editor's save always completes, so
#    the final file must hold its version (plain, or masked when the run read it); a final
#    file made from the older version is a lost save.
#
# Not for CI: run it by hand.
#   bench/overwrite_race.sh [BUILD_DIR] [PAIR_TRIALS] [EDITOR_TRIALS] [ROWS]
#   (defaults build-bench 200 400 2000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
pairs=${2:-200}
editors=${3:-400}
rows=${4:-2000}
cli="$build/hushcel"
[[ -x "$cli" ]] || { echo "no CLI at $cli (cmake --build $build --target hushcel)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/books"
book="$work/books/book.xlsx"
python3 "$root/examples/make_sample.py" "$work/original.xlsx" "$rows" >/dev/null
python3 "$root/examples/make_sample.py" "$work/edited.xlsx" "$((rows + 1))" >/dev/null
printf 'race-test-password\n' >"$work/pw"
export HOME="$work" XDG_CONFIG_HOME="$work"
run() { "$cli" mask --overwrite --password-file "$work/pw" "$@" "$book" >/dev/null 2>&1; }

# What the final workbook is: "<rows> <B readable> <F readable>", or "damaged".
# Readable: a value of the column from the original stands as it was in the strings.
look() {
  python3 - "$book" "$work/original.xlsx" <<'PY'
import re, sys, zipfile
def strings(path):
    with zipfile.ZipFile(path) as z:
        if z.testzip():
            raise SystemExit
        return z.read("xl/sharedStrings.xml").decode(), z.read("xl/worksheets/sheet1.xml").decode()
try:
    final, sheet = strings(sys.argv[1])
except BaseException:
    print("damaged"); sys.exit()
original, original_sheet = strings(sys.argv[2])
texts = re.findall(r"<t[^>]*>([^<]*)</t>", original)
def column_values(letter):
    cells = re.findall(r'<c r="' + letter + r'\d+"[^>]*t="s"[^>]*><v>(\d+)</v>', original_sheet)
    return [texts[int(i)] for i in cells[1:50]]  # below the header
def readable(letter):
    return "1" if any("<t>" + v + "</t>" in final for v in column_values(letter) if v) else "0"
print(len(re.findall(r"<row ", sheet)), readable("B"), readable("F"))
PY
}

# How long one run takes, to spread the editor's saves over it.
cp "$work/original.xlsx" "$book"
start=$(date +%s%N)
run --columns B || true
run_ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "workbook: $(stat -c %s "$work/original.xlsx") bytes, $rows rows; one run takes about ${run_ms} ms"

# ---- two runs at once ----
lost=0 both=0 one=0 none=0 damaged=0
for ((t = 0; t < pairs; t++)); do
  cp "$work/original.xlsx" "$book"
  run --columns B & a=$!
  run --columns F & b=$!
  ra=0 rb=0
  wait $a || ra=$?
  wait $b || rb=$?
  okb=0 okf=0
  [[ $ra == 0 || $ra == 4 ]] && okb=1
  [[ $rb == 0 || $rb == 4 ]] && okf=1
  read -r final_rows readb readf <<<"$(look)" || true
  if [[ $final_rows == damaged ]]; then damaged=$((damaged + 1)); continue; fi
  (( okb && readb == 1 )) && lost=$((lost + 1))
  (( okf && readf == 1 )) && lost=$((lost + 1))
  case $((okb + okf)) in 2) both=$((both + 1)) ;; 1) one=$((one + 1)) ;; *) none=$((none + 1)) ;; esac
done
echo "pairs: $pairs trials; both reported masked $both, one $one, none $none; damaged $damaged; silent losses $lost"

# ---- a run against an editor's save ----
lost=0 before=0 after=0 refused=0 damaged=0 other=0
for ((t = 0; t < editors; t++)); do
  cp "$work/original.xlsx" "$book"
  cp "$work/edited.xlsx" "$work/books/.saving"
  delay=$(awk -v ms="$run_ms" -v r="$RANDOM" 'BEGIN { printf "%.3f", ms * 1.3 * r / 32768 / 1000 }')
  ( sleep "$delay"; mv -f "$work/books/.saving" "$book" ) & e=$!
  rc=0
  run --columns B || rc=$?
  wait $e
  read -r final_rows readb _ <<<"$(look)" || true
  if [[ $final_rows == damaged ]]; then damaged=$((damaged + 1)); continue; fi
  if (( final_rows != rows + 2 )); then lost=$((lost + 1))     # the editor's version is gone
  elif (( rc == 1 )); then refused=$((refused + 1))            # told that the file changed
  elif (( readb == 1 )); then before=$((before + 1))           # masked, then the editor saved
  elif (( readb == 0 )); then after=$((after + 1))             # the editor's version masked
  else other=$((other + 1)); fi
done
echo "editor: $editors trials; masked before the save $before, the saved version masked $after," \
     "refused as changed $refused, other $other; damaged $damaged; silent losses $lost"
