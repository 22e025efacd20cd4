#!/usr/bin/env bash
# `make run`: the desktop program where a display exists, otherwise the
# command-line test on the default devices, saving the recording.
set -euo pipefail
build=${1:-build/default}
gui=$build/src/ui/qt/tallowmere
cli=$build/src/cli/tallowmere-cli

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -x $gui ]]; then
  exec "$gui"
fi
if [[ -x $cli ]]; then
  out=${TALLOWMERE_RUN_SAVE:-tallowmere-recording.wav}
  echo "No display: running the command-line test; the recording goes to $out" >&2
  exec "$cli" --save "$out"
fi
echo "Neither the desktop program ($gui) nor the command-line program ($cli) is built yet." >&2
echo "What exists so far is the library and its tests: run 'make test'." >&2
exit 1
