#!/usr/bin/env bash
# Runs the GNU parallel recipes of docs/batch.md, taken from the document as they
# stand, over a few small pages (one named with a blank and a quote, one in a
# subfolder), and checks that every output and every page's diagnostic files are
# byte for byte those of a serial one-band run of that page alone. Then resumes:
# a page missing at the first run fails; once it exists, the same command runs it
# and nothing else. Without the job log, --skip-existing redoes only the page whose
# output was deleted. The machines recipe runs on this machine through a host
# file holding ':'.
# Usage: batch_recipes_test.sh PATH/TO/glimmer-cli SOURCE_DIR
set -euo pipefail

program=$(realpath "$1")
source_dir=$(realpath "$2")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "batch recipes: $*" >&2
  exit 1
}
[[ $(parallel --version 2>/dev/null) == "GNU parallel"* ]] || fail "GNU parallel is not installed (scripts/install-deps.sh installs it)"

# The body of the code block that follows "<!-- tested: NAME -->".
recipe() {
  awk -v marker="<!-- tested: $1 -->" '
    $0 == marker { found = 1; next }
    found && /^```/ { if (inside) exit; inside = 1; next }
    inside { print }' "$source_dir/docs/batch.md"
}

mkdir -p "$scratch/bin" "$scratch/home/.parallel" "$scratch/pages/part 2"
ln -s "$program" "$scratch/bin/glimmer-cli"
touch "$scratch/home/.parallel/will-cite"
export PATH="$scratch/bin:$PATH" HOME="$scratch/home"

# Pages: strips of the sample page, one in a subfolder with a blank and a quote in its name.
source "$source_dir/scripts/tests/sample_strip.sh"
strip() { sample_strip "$source_dir/samples/sample-page.pnm" "$@"; }
strip 0 "$scratch/pages/strip-a.pgm"
strip 150 "$scratch/pages/strip-b.pgm"
strip 450 "$scratch/pages/strip-c.pgm"
strip 600 "$scratch/pages/part 2/it's one.pgm"
mkdir "$scratch/later"
strip 300 "$scratch/later/late page.pgm"
late_page="pages/late page.pgm"

# The reference: each page alone, serially, at one band, in a folder of its own.
cd "$scratch"
find pages -type f | sort >pages.txt
while IFS= read -r page; do
  name=$(basename "${page%.*}")
  mkdir -p "reference/$name"
  (cd "reference/$name" && glimmer-cli --bands 1 --output-dir . "$scratch/$page") ||
    fail "the reference run of $page failed"
done < <(cat pages.txt; echo "later/late page.pgm")
echo "$late_page" >>pages.txt

# Every page of the list has its output and its diagnostic files, each identical to the reference.
check_outputs() {
  while IFS= read -r page; do
    name=$(basename "${page%.*}")
    cmp "reference/$name/$name.bmp" "out/$name.bmp" || fail "$1: out/$name.bmp differs from the reference"
    for file in scores.txt logger.txt skeleton.bmp; do
      cmp "reference/$name/$file" "diag/$name/$file" || fail "$1: diag/$name/$file differs from the reference"
    done
  done <pages.txt
}
# The inode of every output: a page processed again gets a new file.
output_inodes() { stat -c '%n %i' out/*.bmp | sort; }

for recipe_name in parallel-one-machine parallel-machines; do
  commands=$(recipe "$recipe_name")
  [[ $commands == *glimmer-cli* ]] || fail "docs/batch.md has no recipe marked $recipe_name"
  rm -rf out diag jobs.log
  mkdir out diag
  printf '2/:\n' >hosts.txt

  # The late page is not there yet: it alone fails, and parallel says one job failed.
  status=0
  bash -c "$commands" 2>errors.txt || status=$?
  ((status == 1)) || fail "$recipe_name: status $status with one page missing"
  grep -q "late page.pgm" errors.txt || fail "$recipe_name: the missing page is not named: $(cat errors.txt)"
  [[ ! -e "out/late page.bmp" ]] || fail "$recipe_name: an output for the missing page"
  (($(awk -F'\t' 'NR > 1 && $7 != 0' jobs.log | wc -l) == 1)) ||
    fail "$recipe_name: the job log does not hold exactly one failure"

  # The same command once the page exists: only that page runs.
  cp "later/late page.pgm" "$late_page"
  before=$(output_inodes)
  logged=$(wc -l <jobs.log)
  bash -c "$commands" || fail "$recipe_name: the resumed run failed"
  check_outputs "$recipe_name"
  [[ $(output_inodes | grep -v "late page") == "$before" ]] || fail "$recipe_name: the resume redid finished pages"
  (($(wc -l <jobs.log) == logged + 1)) || fail "$recipe_name: the resume ran $(($(wc -l <jobs.log) - logged)) jobs, not 1"

  # The log lost and one output deleted: --skip-existing redoes that page alone.
  rm jobs.log out/strip-b.bmp
  before=$(output_inodes)
  bash -c "$commands" || fail "$recipe_name: the run without a log failed"
  check_outputs "$recipe_name without a log"
  [[ $(output_inodes | grep -v strip-b) == "$before" ]] ||
    fail "$recipe_name: --skip-existing redid pages whose outputs exist"
  rm "$late_page"
done
