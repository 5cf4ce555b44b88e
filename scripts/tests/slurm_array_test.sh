#!/usr/bin/env bash
# Checks scripts/slurm-array.sh without Slurm: its syntax; in dry runs, the slice
# of the page list each task takes (the first, a middle one, the last partial one,
# one past the end) and the command it would run; its usage errors; then two real
# tasks, whose outputs must be those of one-band runs of their pages alone and
# whose exit status is glimmer-cli's.
# Usage: slurm_array_test.sh PATH/TO/glimmer-cli SOURCE_DIR
set -euo pipefail

program=$(realpath "$1")
source_dir=$(realpath "$2")
script="$source_dir/scripts/slurm-array.sh"
source "$source_dir/scripts/tests/sample_strip.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

fail() {
  echo "slurm array: $*" >&2
  exit 1
}

bash -n "$script" || fail "syntax errors"

# Dry runs over a list of 8 lines, 3 a task.
printf '%s\n' p1.pgm "p 2.pgm" p3.pgm p4.pgm p5.pgm p6.pgm "it's 7.pgm" p8.pgm >list.txt
expect_slice() {  # expect_slice TASK FIRST_LINE LAST_LINE
  status=0
  DRY_RUN=1 SLURM_ARRAY_TASK_ID=$1 bash "$script" list.txt out 3 >slice.txt 2>command.txt || status=$?
  ((status == 0)) || fail "task $1: dry run status $status: $(cat command.txt)"
  if (($2 > 0)); then sed -n "$2,$3p" list.txt >expected.txt; else : >expected.txt; fi
  cmp expected.txt slice.txt || fail "task $1: the slice is not lines $2 to $3"
}
expect_slice 0 1 3
expect_slice 1 4 6
expect_slice 2 7 8
expect_slice 3 0 0
[[ ! -e out ]] || fail "a dry run created the output folder"

# The command: its defaults, the options passed on, the program and the diagnostics folder chosen.
SLURM_ARRAY_TASK_ID=0 bash "$script" --dry-run list.txt "the out" 3 2>command.txt >/dev/null
[[ $(tail -n 1 command.txt) == "glimmer-cli --jobs 0 --skip-existing --output-dir the\\ out --diagnostics the\\ out/diagnostics --from -" ]] ||
  fail "unexpected command: $(cat command.txt)"
SLURM_ARRAY_TASK_ID=0 DRY_RUN=1 GLIMMER_CLI=/opt/g/glimmer-cli DIAGNOSTICS_DIR='' \
  bash "$script" list.txt out 3 --format png --time-limit 60 2>command.txt >/dev/null
[[ $(tail -n 1 command.txt) == "/opt/g/glimmer-cli --jobs 0 --skip-existing --output-dir out --format png --time-limit 60 --from -" ]] ||
  fail "unexpected command: $(cat command.txt)"

# Usage errors end with status 2 and a message.
expect_usage_error() {  # expect_usage_error TASK ARGUMENT...
  status=0
  SLURM_ARRAY_TASK_ID=$1 DRY_RUN=1 bash "$script" "${@:2}" >/dev/null 2>message.txt || status=$?
  { ((status == 2)) && [[ -s message.txt ]]; } || fail "${*:2} (task '$1'): status $status"
}
expect_usage_error 0 list.txt
expect_usage_error 0 list.txt out 0
expect_usage_error 0 list.txt out 3x
expect_usage_error "" list.txt out 3
expect_usage_error -1 list.txt out 3
expect_usage_error 0 missing.txt out 3

# Real tasks, 2 pages each.
mkdir pages
for top in 0 150 300 450; do
  sample_strip "$source_dir/samples/sample-page.pnm" "$top" "pages/strip $top.pgm"
done
printf '%s\n' "pages/strip 0.pgm" "pages/strip 150.pgm" "pages/strip 300.pgm" "pages/strip 450.pgm" \
  "pages/missing.pgm" >pages.txt
mkdir reference
(cd reference && "$program" --bands 1 --output-dir . "../pages/strip 300.pgm" "../pages/strip 450.pgm")

SLURM_ARRAY_TASK_ID=1 GLIMMER_CLI=$program bash "$script" pages.txt out 2 2>task.txt ||
  fail "task 1 failed: $(cat task.txt)"
for name in "strip 300" "strip 450"; do
  cmp "reference/$name.bmp" "out/$name.bmp" || fail "out/$name.bmp differs from the one-band run"
  [[ -s "out/diagnostics/$name/scores.txt" ]] || fail "no diagnostics for $name"
done
[[ $(ls out) == $'diagnostics\nstrip 300.bmp\nstrip 450.bmp' ]] || fail "task 1 wrote $(ls out)"

# The last task's slice names a page that is not there: glimmer-cli's status 1 is the task's.
status=0
SLURM_ARRAY_TASK_ID=2 GLIMMER_CLI=$program bash "$script" pages.txt out 2 2>task.txt || status=$?
((status == 1)) || fail "task 2 with a missing page: status $status"
