#!/usr/bin/env bash
# Runs the real desktop program on a virtual X server and works it with real
# key presses: Tab to the input field, type a page path and an output folder
# (a blank and double quotes in its name), Enter for "Process File", Enter
# again to close "Finished processing", a click on "Open Output Image" with a
# stand-in viewer that notes its arguments, Esc to quit. Passes when the BMP is
# written, the viewer got its path as one argument, and the program ends with
# status 0, having written its settings. First, without any display, the
# program must say so and end with status 1.
# Usage: xvfb_smoke.sh PATH/TO/glimmer
set -euo pipefail

if [[ "${1:-}" != --inside ]]; then
  program=$(realpath "$1")
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # A copy of its own, so that the settings file beside the program is this test's alone.
  cp "$program" "$work/glimmer"
  mkdir "$work/out \"q\" dir" "$work/home" "$work/bin"
  { printf 'P5\n64 48\n255\n'; head -c 3072 /dev/zero | tr '\0' '\320'; } >"$work/page.pnm"
  printf '#!/bin/sh\nprintf "%%s\\n" "$#" "$@" > "%s/viewer-arguments"\n' "$work" >"$work/bin/xdg-open"
  chmod +x "$work/bin/xdg-open"
  unset QT_QPA_PLATFORM

  message=$(env -u DISPLAY -u WAYLAND_DISPLAY "$work/glimmer" 2>&1) && { echo "xvfb smoke: started without a display" >&2; exit 1; }
  [[ $message == "glimmer: no display (set DISPLAY or use glimmer-cli)" ]] || { echo "xvfb smoke: $message" >&2; exit 1; }
  export PATH="$work/bin:$PATH"
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
  window=$(timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1) || fail "no window \"$1\""
  xdotool windowfocus --sync "$window"
}

focus_window Glimmer
# Focus starts on "Process File"; the input field is the sixth control in tab order.
xdotool key --delay 50 Tab Tab Tab Tab Tab
xdotool type --delay 20 "$work/page.pnm"
xdotool key Tab
output_folder="$work/out \"q\" dir"
xdotool type --delay 20 "$output_folder"
xdotool key Return

focus_window Done
xdotool key Return
[[ -s $output_folder/page.bmp && $(head -c 2 "$output_folder/page.bmp") == BM ]] || fail "page.bmp was not written"

focus_window Glimmer
# "Open Output Image" sits at 95, 95 (80 x 15 dialog units, two pixels a unit).
xdotool mousemove --window "$window" 270 205 click 1
for _ in $(seq 100); do [[ -s viewer-arguments ]] && break; sleep 0.1; done
[[ $(cat viewer-arguments) == "1"$'\n'"$output_folder/page.bmp" ]] || fail "viewer got: $(cat viewer-arguments 2>&1)"

focus_window Glimmer
xdotool key Escape
status=0
timeout 30 tail --pid="$glimmer_pid" -f /dev/null || fail "the program did not end on Esc"
wait "$glimmer_pid" || status=$?
[[ $status -eq 0 ]] || fail "exit status $status"
grep -qx 'pref_request=No' glimmer.ini || fail "settings not written"
grep -qxF "last_output_folder=$output_folder" glimmer.ini || fail "output folder not remembered"
echo "xvfb smoke: page processed and shown, settings written"
