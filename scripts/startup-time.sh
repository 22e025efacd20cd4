#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up time of a desktop program: from launch to its window shown (mapped
# with its title), with the virtual devices, in a private X server. Prints
# each run and the median in milliseconds.
# Usage: scripts/startup-time.sh [build-dir] [runs] [tallowmere|tallowmere-measure]
#        (default build/default, 9 runs, the test dialog)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/default}")
runs=${2:-9}
which=${3:-tallowmere}
case $which in
  tallowmere) program=$build/src/ui/qt/tallowmere title='Brellick - Tallowmere' ;;
  tallowmere-measure) program=$build/src/desk/tallowmere-measure title='Tallowmere Measurements' ;;
  *) echo "no such desktop program: $which" >&2; exit 2 ;;
esac
[[ -x $program ]] || { echo "build the program first: $program" >&2; exit 1; }

if [[ -z ${TALLOWMERE_TIMING_SERVER:-} ]]; then
  export TALLOWMERE_TIMING_SERVER=1
  # Away from the displays the tests start their search at.
  exec xvfb-run -a -n 240 -s "-screen 0 1024x768x24" "$0" "$build" "$runs" "$which"
fi

export TALLOWMERE_AUDIO=virtual QT_QPA_PLATFORM=xcb
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE
times=()
log=$(mktemp)
trap 'rm -rf "$log" "$XDG_CONFIG_HOME"' EXIT
# The measurement window keeps its settings; a private home starts it fresh.
export XDG_CONFIG_HOME=$(mktemp -d)
# One launch; prints the milliseconds to the window. Status 2 when the
# program could not reach the X server (a busy shared machine refuses a
# connection now and then), 1 when it died or never showed its dialog.
launch() {
  local start pid end
  start=$(date +%s%N)
  "$program" 2>"$log" &
  pid=$!
  # Polled every few milliseconds (xdotool's own --sync waits half a second).
  until xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; do
    if ! kill -0 "$pid" 2>/dev/null || (($(date +%s%N) - start > 60000000000)); then
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
      grep -q "could not connect to display" "$log" && return 2
      cat "$log" >&2
      return 1
    fi
    sleep 0.005
  done
  end=$(date +%s%N)
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo $(((end - start) / 1000000))
}

for ((run = 0; run < runs; run++)); do
  for attempt in 1 2 3; do
    status=0
    ms=$(launch) || status=$?
    ((status == 2)) || break
    echo "run $((run + 1)): no connection to the X server, launched again" >&2
  done
  if ((status != 0)); then
    echo "run $((run + 1)): the window did not show" >&2
    exit 1
  fi
  times+=("$ms")
  echo "run $((run + 1)): $ms ms"
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
echo "median: $median ms over $runs runs"
