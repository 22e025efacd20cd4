#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Creates the private Wine prefix the Windows tests run in, once; later
# calls return at once. Wine's audio goes through its ALSA driver, so the
# tests' private ALSA configurations decide which devices WinMM lists.
# Usage: windows-wine-prefix.sh PREFIX
set -euo pipefail
prefix=$(realpath -m "${1:?usage: windows-wine-prefix.sh PREFIX}") # Wine wants it absolute
[[ -f "$prefix/.tallowmere-ready" ]] && exit 0
command -v wine >/dev/null || { echo "windows-wine-prefix: wine is not installed" >&2; exit 1; }
mkdir -p "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all
# No desktop integration or Mono/Gecko prompts in a test prefix.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
timeout 300 wineboot --init >/dev/null 2>&1 || { echo "windows-wine-prefix: wineboot failed" >&2; exit 1; }
timeout 120 wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d alsa /f >/dev/null 2>&1
timeout 120 wineserver --wait || true
touch "$prefix/.tallowmere-ready"
