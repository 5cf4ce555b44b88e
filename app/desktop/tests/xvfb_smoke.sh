#!/usr/bin/env bash
# Runs the real desktop program on a virtual X server and works it with real
# key presses: Tab to the input field, type a page path and an output folder,
# Enter for "Process File", Enter again to close "Finished processing", Esc to
# quit. Passes when the BMP is written and the program ends with status 0,
# having written its settings.
# Usage: xvfb_smoke.sh PATH/TO/glimmer
set -euo pipefail

if [[ "${1:-}" != --inside ]]; then
  program=$(realpath "$1")
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # A copy of its own, so that the settings file beside the program is this test's alone.
  cp "$program" "$work/glimmer"
  mkdir "$work/out" "$work/home"
  { printf 'P5\n64 48\n255\n'; head -c 3072 /dev/zero | tr '\0' '\320'; } >"$work/page.pnm"
  unset QT_QPA_PLATFORM
  export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
  timeout 180 xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside "$work"
  exit
fi

work=$2
cd "$work"
fail() {
  echo "xvfb smoke: $*" >&2
  exit 1
}

./glimmer >glimmer.log 2>&1 &
glimmer_pid=$!
trap 'kill "$glimmer_pid" 2>/dev/null || true' EXIT

# Waits for a top-level window with exactly this title and gives it the keyboard.
focus_window() {
  local window
  window=$(timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1) || fail "no window \"$1\""
  xdotool windowfocus --sync "$window"
}

focus_window Glimmer
# Focus starts on "Process File"; the input field is the sixth control in tab order.
xdotool key --delay 50 Tab Tab Tab Tab Tab
xdotool type --delay 20 "$work/page.pnm"
xdotool key Tab
xdotool type --delay 20 "$work/out"
xdotool key Return

focus_window Done
xdotool key Return
[[ -s out/page.bmp && $(head -c 2 out/page.bmp) == BM ]] || fail "out/page.bmp was not written"

focus_window Glimmer
xdotool key Escape
status=0
timeout 30 tail --pid="$glimmer_pid" -f /dev/null || fail "the program did not end on Esc"
wait "$glimmer_pid" || status=$?
[[ $status -eq 0 ]] || fail "exit status $status"
grep -qx 'pref_request=No' glimmer.ini || fail "settings not written"
echo "xvfb smoke: page processed, settings written"
