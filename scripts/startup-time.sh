#!/usr/bin/env bash
# Start-up time of the desktop program: from launch to the main dialog shown
# (its window mapped with its title), with the virtual devices, in a private
# X server. Prints each run and the median in milliseconds.
# Usage: scripts/startup-time.sh [build-dir] [runs]   (default build/default, 9 runs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/default}")
runs=${2:-9}
program=$build/src/ui/qt/tallowmere
[[ -x $program ]] || { echo "build the program first: $program" >&2; exit 1; }

if [[ -z ${TALLOWMERE_TIMING_SERVER:-} ]]; then
  export TALLOWMERE_TIMING_SERVER=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$runs"
fi

export TALLOWMERE_AUDIO=virtual QT_QPA_PLATFORM=xcb
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE
times=()
for ((run = 0; run < runs; run++)); do
  start=$(date +%s%N)
  "$program" &
  pid=$!
  # Polled every few milliseconds (xdotool's own --sync waits half a second);
  # a program that dies or never shows its dialog ends the measurement.
  until xdotool search --onlyvisible --name '^Brellick - Tallowmere$' >/dev/null 2>&1; do
    if ! kill -0 "$pid" 2>/dev/null || (($(date +%s%N) - start > 60000000000)); then
      kill "$pid" 2>/dev/null || true
      echo "run $((run + 1)): the main dialog did not show" >&2
      exit 1
    fi
    sleep 0.005
  done
  end=$(date +%s%N)
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  ms=$(((end - start) / 1000000))
  times+=("$ms")
  echo "run $((run + 1)): $ms ms"
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
echo "median: $median ms over $runs runs"
