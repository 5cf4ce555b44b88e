#!/usr/bin/env bash
# Every long option a program's --help lists must appear in its manual page
# and, when one is given, in its bash completion.
# Usage: check-documented-options.sh PROGRAM MANUAL-PAGE [COMPLETION]
set -euo pipefail
program=$1 manual=$2 completion=${3-}

# Option lines of the help: indented, an optional short form, then --name.
options=$("$program" --help | sed -nE 's/^ +(-[[:alnum:]], +)?(--[[:alnum:]][[:alnum:]-]*).*/\2/p' | sort -u)
[ -n "$options" ] || {
  echo "$program --help lists no long options" >&2
  exit 1
}
missing=0
for option in $options; do
  # The manual page writes each hyphen as \-.
  if ! grep -qF -- "${option//-/\\-}" "$manual"; then
    echo "$option is missing from $manual" >&2
    missing=1
  fi
  if [ -n "$completion" ] && ! grep -qE -- "(^|[[:space:]'|])$option([[:space:]'|)]|\$)" "$completion"; then
    echo "$option is missing from $completion" >&2
    missing=1
  fi
done
exit "$missing"
