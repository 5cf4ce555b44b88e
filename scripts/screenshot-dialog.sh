#!/usr/bin/env bash
# Runs the desktop program on a virtual X server, processes the sample page by
# typing its path into the dialog, and saves a picture of the dialog as it
# stands after the run in docs/dialog.png. Needs a build (scripts/build.sh).
# Usage: scripts/screenshot-dialog.sh [PATH/TO/glimmer]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [[ "${1:-}" != --inside ]]; then
  program=$(realpath "${1:-build/app/desktop/glimmer}")
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cp "$program" "$work/glimmer"  # its settings file stays in the scratch folder
  mkdir -p "$work/pages" "$work/cleaned" "$work/home" docs
  cp samples/sample-page.pnm "$work/pages/"
  unset QT_QPA_PLATFORM
  export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
  timeout 300 xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside "$work"
  echo "Wrote docs/dialog.png"
  exit
fi

work=$2
cd "$work"
./glimmer >/dev/null 2>&1 &
glimmer_pid=$!
trap 'kill "$glimmer_pid" 2>/dev/null || true' EXIT

# Waits for a top-level window with exactly this title, gives it the keyboard and prints its id.
focus_window() {
  local window
  window=$(timeout "$2" xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1)
  xdotool windowfocus --sync "$window"
  echo "$window"
}

dialog=$(focus_window Glimmer 30)
xdotool key --delay 50 Tab Tab Tab Tab Tab  # from "Process File" to the input field
# Paths relative to the program's folder keep the picture free of this machine's folders.
xdotool type --delay 10 pages/sample-page.pnm
xdotool key Tab
xdotool type --delay 10 cleaned
xdotool key Return
focus_window Done 240 >/dev/null
xdotool key Return
sleep 0.5  # let the dialog repaint once the box has gone
import -window "$dialog" "$root/docs/dialog.png"
xdotool windowfocus --sync "$dialog" key Escape
