#!/usr/bin/env bash
# Runs glimmer-cli on every page given (default: the full pages in ../shared/pages)
# at one band and at N bands (default: glimmer-cli's own, one per physical core), RUNS times each,
# and prints the median wall time of each, the word boxes, letters and valid
# words found with one band, and how many output pixels the N-band run changes.
# With -b, the glimmer-cli of another checkout (its build/app/cli/glimmer-cli) runs
# in turn with this one, and its times, the ratios and whether its one-band image
# has the same bytes are printed too.
#   scripts/measure-pages.sh [-n BANDS] [-r RUNS] [-b BASELINE_CHECKOUT] [PAGE...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/app/cli/glimmer-cli"
bands=""
runs=3
baseline=""
while getopts "n:r:b:" option; do
  case $option in
    n) bands=$OPTARG ;;
    r) runs=$OPTARG ;;
    b) baseline=$(realpath "$OPTARG")/build/app/cli/glimmer-cli ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
pages=()
for page in "$@"; do pages+=("$(realpath "$page")"); done
if ((${#pages[@]} == 0)); then
  for page in "$root"/../shared/pages/*.pgm "$root"/../shared/pages/a4-300dpi/*.pgm; do
    [[ $page == *.gt.pgm ]] || pages+=("$(realpath "$page")")
  done
fi
band_option=()
[ -z "$bands" ] || band_option=(--bands "$bands")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

median_seconds() {  # median wall time of $runs runs of: CLI -o OUTPUT PAGE [OPTION...]
  local program=$1 output=$2 page=$3 times=()
  shift 3
  for ((i = 0; i < runs; i++)); do
    local start end
    start=$(date +%s.%N)
    "$program" --yes -o "$output" "$page" "$@"
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc)")
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

printf '%-40s %9s %9s %6s %8s %6s %10s' page "1 band s" "${bands:-cores} s" rows letters valid "px differ"
[ -z "$baseline" ] || printf ' %9s %7s %9s %7s %10s' "base 1 s" ratio "base N s" ratio "1-band bmp"
echo
for page in "${pages[@]}"; do
  if [ -n "$baseline" ]; then
    base_one=$(median_seconds "$baseline" base-one.bmp "$page" --bands 1)
  fi
  one=$(median_seconds "$cli" one.bmp "$page" --bands 1)
  if [ -n "$baseline" ]; then
    base_many=$(median_seconds "$baseline" base-many.bmp "$page" "${band_option[@]}")
  fi
  many=$(median_seconds "$cli" many.bmp "$page" "${band_option[@]}")
  "$cli" --yes --bands 1 --rows --chars --output-dir . "$page"
  name=$(basename "$page")
  rows=$(grep -c '(x1 ' "$name.rows.coords.lisp" || true)
  letters=$(grep -c 'top_left' "$name.chars.coords.lisp" || true)
  valid=$(sed -n 's/^0:\([0-9]*\)$/\1/p' scores.txt | tail -1)
  rm -f "$name".*.coords.lisp
  differ=$(( $( (cmp -l one.bmp many.bmp || true) | wc -l) / 3 ))
  printf '%-40s %9.2f %9.2f %6d %8d %6d %10d' "${name:0:40}" "$one" "$many" "$rows" "$letters" "$valid" "$differ"
  if [ -n "$baseline" ]; then
    same=DIFFER
    cmp -s one.bmp base-one.bmp && same=same
    printf ' %9.2f %7.1f %9.2f %7.1f %10s' "$base_one" "$(echo "$base_one / $one" | bc -l)" "$base_many" \
      "$(echo "$base_many / $many" | bc -l)" "$same"
  fi
  echo
done
