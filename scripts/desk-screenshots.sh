#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Screenshots of the measurement window for the README and the metainfo:
# each view after a run on the virtual devices, at 100 % and at 200 %
# (docs/images/measure-VIEW.png and measure-VIEW-200.png). The window draws
# itself on Qt's offscreen platform, so no X server is needed.
# Usage: scripts/desk-screenshots.sh [build-dir]   (default build/default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/default}")
test_program=$build/tests/desk/test_desk_window
[[ -x $test_program ]] || { echo "build the test first: $test_program" >&2; exit 1; }

export QT_QPA_PLATFORM=offscreen TALLOWMERE_DESK_SCREENSHOTS=$root/docs/images
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE
for scale in 1 2; do
  QT_SCALE_FACTOR=$scale "$test_program" --gtest_filter='Screenshots.*' >/dev/null
done
ls -l "$root"/docs/images/measure-*.png
