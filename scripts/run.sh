#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
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
  # The default devices are the first listed: ALSA's where it has any that
  # open, otherwise the built-in virtual ones.
  out=${TALLOWMERE_RUN_SAVE:-tallowmere-recording.wav}
  echo "No display: running the command-line test; the recording goes to $out" >&2
  status=0
  "$cli" --save "$out" || status=$?
  if [[ $status -eq 0 && -f $out ]]; then
    echo "Saved the recording to $(realpath "$out")" >&2
  fi
  exit $status
fi
echo "Neither the desktop program ($gui) nor the command-line program ($cli) is built yet." >&2
echo "What exists so far is the library and its tests: run 'make test'." >&2
exit 1
