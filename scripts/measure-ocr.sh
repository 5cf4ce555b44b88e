#!/usr/bin/env bash
# How well Glimmer's output reads, with and without --keep-marks.
#
# 1. OCR word agreement: Tesseract (Debian's tesseract-ocr, installed here as a
#    measuring tool; the product does not use it) reads the original page, the
#    default output and the --keep-marks output; each reading is compared with a
#    reference text as a sequence of words separated by white space
#    (punctuation stays part of its word): agreement = the longest common
#    subsequence of words / the reference's words. Pages: the bundled sample
#    page (its text from tools/make-sample-page --text) and every page in
#    scripts/ocr-reference/ (NAME.txt is the transcription of NAME.pgm in the
#    shared pages folder).
# 2. Ink F-measure of both outputs against every ground truth NAME.gt.pgm in the
#    shared pages folder (every pixel below 255 is ink).
#
#   scripts/measure-ocr.sh [-n BANDS] [-p PAGES-FOLDER]
# Default: one band (the reference output), PAGES-FOLDER = ../shared/pages.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/app/cli/glimmer-cli"
sample_text="$root/build/tools/make-sample-page/make-sample-page"
pages="$root/../shared/pages"
bands=1
while getopts "n:p:" option; do
  case $option in
    n) bands=$OPTARG ;;
    p) pages=$OPTARG ;;
    *) exit 2 ;;
  esac
done
pages=$(realpath "$pages")

for tool in tesseract python3; do
  if ! command -v "$tool" >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends tesseract-ocr tesseract-ocr-eng python3
    break
  fi
done
for program in "$cli" "$sample_text"; do
  [ -x "$program" ] || { echo "measure-ocr: build first (missing $program)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

words() { tr -s ' \t\r\n' '\n\n\n\n' | sed '/^$/d'; }

# Percentage of the reference's words that the OCR of IMAGE reproduces in order.
agreement() {  # IMAGE REFERENCE
  tesseract "$1" reading -l eng >/dev/null 2>&1
  words <reading.txt >read.words
  words <"$2" >reference.words
  local total common
  total=$(wc -l <reference.words)
  common=$(diff --minimal --old-line-format= --new-line-format= --unchanged-line-format='%L' \
    reference.words read.words | wc -l || true)
  echo "scale=1; 100 * $common / $total" | bc
}

run() {  # PAGE OUTPUT [OPTION...]
  local page=$1 output=$2
  shift 2
  "$cli" --yes --bands "$bands" -o "$output" "$page" "$@"
}

echo "OCR word agreement (%), $bands band(s):"
printf '%-40s %8s %8s %8s %6s\n' page original default marks words
"$sample_text" --text >sample.txt
references=("$root/samples/sample-page.pnm" "$work/sample.txt")
for text in "$root"/scripts/ocr-reference/*.txt; do
  references+=("$pages/$(basename "$text" .txt).pgm" "$text")
done
for ((i = 0; i < ${#references[@]}; i += 2)); do
  page=${references[i]}
  reference=${references[i + 1]}
  run "$page" default.bmp
  run "$page" marks.bmp --keep-marks
  printf '%-40s %8s %8s %8s %6d\n' "$(basename "$page" | cut -c1-40)" "$(agreement "$page" "$reference")" \
    "$(agreement default.bmp "$reference")" "$(agreement marks.bmp "$reference")" "$(words <"$reference" | wc -l)"
done

echo
echo "Ink F-measure (%) against the ground truth, $bands band(s):"
printf '%-40s %8s %8s\n' page default marks
for truth in "$pages"/*.gt.pgm; do
  page=${truth%.gt.pgm}.pgm
  run "$page" default.bmp
  run "$page" marks.bmp --keep-marks
  printf '%-40s %8s %8s\n' "$(basename "$page" | cut -c1-40)" \
    "$("$root/scripts/ink-fmeasure.py" default.bmp "$truth" | cut -d' ' -f1)" \
    "$("$root/scripts/ink-fmeasure.py" marks.bmp "$truth" | cut -d' ' -f1)"
done
