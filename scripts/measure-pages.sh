#!/usr/bin/env bash
# Runs glimmer-cli on every page given (default: the full pages in ../shared/pages)
# at one band and at N bands (default: glimmer-cli's own, one per physical core), RUNS times each,
# and prints the median wall time of each, the word boxes, letters and valid
# words found with one band, and how many output pixels the N-band run changes.
#   scripts/measure-pages.sh [-n BANDS] [-r RUNS] [PAGE...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/app/cli/glimmer-cli"
bands=""
runs=3
while getopts "n:r:" option; do
  case $option in
    n) bands=$OPTARG ;;
    r) runs=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
pages=()
for page in "$@"; do pages+=("$(realpath "$page")"); done
if ((${#pages[@]} == 0)); then
  for page in "$root"/../shared/pages/*.pgm; do [[ $page == *.gt.pgm ]] || pages+=("$(realpath "$page")"); done
fi
band_option=()
[ -z "$bands" ] || band_option=(--bands "$bands")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

median_seconds() {  # median wall time of $runs runs of: glimmer-cli -o OUTPUT PAGE [OPTION...]
  local output=$1 page=$2 times=()
  shift 2
  for ((i = 0; i < runs; i++)); do
    local start end
    start=$(date +%s.%N)
    "$cli" --yes -o "$output" "$page" "$@"
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc)")
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

printf '%-40s %9s %9s %6s %8s %6s %10s\n' page "1 band s" "${bands:-cores} s" rows letters valid "px differ"
for page in "${pages[@]}"; do
  one=$(median_seconds one.bmp "$page" --bands 1)
  many=$(median_seconds many.bmp "$page" "${band_option[@]}")
  "$cli" --yes --bands 1 --rows --chars --output-dir . "$page"
  name=$(basename "$page")
  rows=$(grep -c '(x1 ' "$name.rows.coords.lisp" || true)
  letters=$(grep -c 'top_left' "$name.chars.coords.lisp" || true)
  valid=$(sed -n 's/^0:\([0-9]*\)$/\1/p' scores.txt | tail -1)
  rm -f "$name".*.coords.lisp
  differ=$(( $( (cmp -l one.bmp many.bmp || true) | wc -l) / 3 ))
  printf '%-40s %9.2f %9.2f %6d %8d %6d %10d\n' "${name:0:40}" "$one" "$many" "$rows" "$letters" "$valid" "$differ"
done
