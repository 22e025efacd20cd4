#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Screenshots of the desktop program for the README, made in a private X
# server on the virtual devices: the main dialog idle, a test running with
# the progress bar part-way, and the results dialog.
# Usage: scripts/screenshots.sh [build-dir]   (default build/default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/default}")
program=$build/src/ui/qt/tallowmere
[[ -x $program ]] || { echo "build the program first: $program" >&2; exit 1; }

if [[ -z ${TALLOWMERE_SCREENSHOT_SERVER:-} ]]; then
  export TALLOWMERE_SCREENSHOT_SERVER=1
  # Away from the displays the tests start their search at.
  exec xvfb-run -a -n 200 -s "-screen 0 1024x768x24 -dpi 96" "$0" "$build"
fi

source "$root/tests/ui/qt/x11-driver.sh"
images=$root/docs/images
mkdir -p "$images"
export TALLOWMERE_AUDIO=virtual QT_QPA_PLATFORM=xcb
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE

pid=
trap 'kill ${pid:-} 2>/dev/null || true' EXIT
start_program "$program"

main=$(wait_window "Brellick - Tallowmere")
# Repainted once the focus frame is drawn; the idle bar is the reference.
keys "$main" ctrl+a
import -window "$main" "$images/main-dialog.png"

# The bar's colour at about 40% of its width changes once the test is that far.
bar=$(progress_bar_crop "$main")
read -r w h x y < <(echo "$bar" | tr 'x+' '  ')
probe="1x1+$((x + w * 2 / 5))+$((y + h / 2))"
idle=$(window_area_sum "$main" "$probe")
keys "$main" alt+r
wait_until 30 "the progress bar at 40%" progress_moved "$main" "$probe" "$idle"
import -window "$main" "$images/test-running.png"

results=$(wait_window "Test Results" 30)
import -window "$results" "$images/results-dialog.png"
keys "$results" Escape
wait_until 10 "the results to close" window_gone "Test Results"
keys "$main" alt+c
echo "screenshots in $images:" && ls "$images"
