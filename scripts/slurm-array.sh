#!/usr/bin/env bash
#SBATCH --job-name=glimmer
#SBATCH --cpus-per-task=4
#SBATCH --mem-per-cpu=1G
#SBATCH --time=04:00:00
#SBATCH --output=glimmer-%A_%a.log
#
# One task of a Slurm job array over a list of pages (one path a line). Task T
# takes lines T*K+1 to T*K+K of the list and runs glimmer-cli on them, one page
# a core at a time, skipping pages whose output is already there; the task ends
# with glimmer-cli's exit status.
#
# Submit from the folder the list's relative paths start from, with one task
# per K lines (%M: at most M tasks at once):
#
#   K=100
#   tasks=$(( ($(wc -l < pages.txt) + K - 1) / K ))
#   sbatch --array=0-$((tasks - 1))%20 scripts/slurm-array.sh pages.txt out $K
#
# Usage: slurm-array.sh [--dry-run] LIST OUTDIR [PAGES_PER_TASK [OPTION...]]
#   PAGES_PER_TASK  K above, default 100
#   OPTION...       passed on to glimmer-cli (--format png, --time-limit 600, ...)
# Environment:
#   SLURM_ARRAY_TASK_ID  the task (set by Slurm)
#   GLIMMER_CLI          the program to run (default: glimmer-cli on PATH)
#   DIAGNOSTICS_DIR      each page's diagnostic files go to DIAGNOSTICS_DIR/NAME/
#                        (default OUTDIR/diagnostics; set it empty for none)
#   DRY_RUN=1            as --dry-run: print the task's slice of the list on
#                        standard output and the command on standard error, run nothing
# Resubmitting the same array resumes an interrupted or partly failed run.
set -euo pipefail

usage() {
  echo "usage: slurm-array.sh [--dry-run] LIST OUTDIR [PAGES_PER_TASK [OPTION...]]" >&2
  exit 2
}

dry_run=${DRY_RUN:-0}
if [[ "${1:-}" == --dry-run ]]; then
  dry_run=1
  shift
fi
(($# >= 2)) || usage
list=$1
output_dir=$2
pages_per_task=${3:-100}
shift $(($# < 3 ? $# : 3))
task=${SLURM_ARRAY_TASK_ID:-}

[[ $pages_per_task =~ ^[1-9][0-9]*$ ]] || {
  echo "slurm-array: pages per task must be a positive number, not '$pages_per_task'" >&2
  usage
}
[[ $task =~ ^[0-9]+$ ]] || {
  echo "slurm-array: SLURM_ARRAY_TASK_ID is '$task'; submit with sbatch --array" >&2
  exit 2
}
[[ -f $list && -r $list ]] || {
  echo "slurm-array: cannot read the page list '$list'" >&2
  exit 2
}

task=$((10#$task))
first=$((task * pages_per_task + 1))
last=$((first + pages_per_task - 1))
slice=$(sed -n "${first},${last}p;${last}q" "$list")
if [[ -z $slice ]]; then
  echo "slurm-array: task $task: no pages in lines $first to $last of $list, nothing to do" >&2
  exit 0
fi

diagnostics_dir=${DIAGNOSTICS_DIR-$output_dir/diagnostics}
command=("${GLIMMER_CLI:-glimmer-cli}" --jobs 0 --skip-existing --output-dir "$output_dir")
[[ -z $diagnostics_dir ]] || command+=(--diagnostics "$diagnostics_dir")
command+=("$@" --from -)

if ((dry_run)); then
  printf '%s\n' "$slice"
  echo "slurm-array: task $task: lines $first to $last of $list" >&2
  { printf '%q' "${command[0]}" && printf ' %q' "${command[@]:1}" && echo; } >&2
  exit 0
fi

# Tasks start together: mkdir -p lets each of them create the folders.
mkdir -p "$output_dir" ${diagnostics_dir:+"$diagnostics_dir"}
exec "${command[@]}" <<<"$slice"
