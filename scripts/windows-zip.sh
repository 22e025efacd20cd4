#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Packs one Windows build into dist/tallowmere-<version>-<suffix>.zip: the
# programs, the README and the licence, the texts with CR LF line ends as
# Windows' own editors expect them.
# Usage: windows-zip.sh BUILD_DIR SUFFIX [OUT_DIR]   (SUFFIX: win32 or win64;
# OUT_DIR: dist in the source tree)
set -euo pipefail
out=$(realpath -m "${3:-$(dirname "$0")/../dist}")
cd "$(dirname "$0")/.."
build=${1:?usage: windows-zip.sh BUILD_DIR SUFFIX [OUT_DIR]}
suffix=${2:?usage: windows-zip.sh BUILD_DIR SUFFIX [OUT_DIR]}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[[ -n "$version" ]] || { echo "windows-zip: no project version in $build/CMakeCache.txt" >&2; exit 1; }
programs=()
for program in tallowmere.exe tallowmere-cli.exe; do
  found=$(find "$build/src" -name "$program" -print -quit)
  if [[ -n "$found" ]]; then
    programs+=("$found")
  else
    echo "windows-zip: $program was not built; the zip goes without it" >&2
  fi
done
[[ ${#programs[@]} -gt 0 ]] || { echo "windows-zip: no program built in $build" >&2; exit 1; }
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
name=tallowmere-$version-$suffix
mkdir "$stage/$name"
strip_tool=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$build/CMakeCache.txt")
for program in "${programs[@]}"; do
  cp "$program" "$stage/$name/"
  [[ -x "$strip_tool" ]] && "$strip_tool" "$stage/$name/$(basename "$program")"
done
# Each line ends CR LF once, whatever the checkout's line ends were.
sed -e 's/\r*$/\r/' README.md > "$stage/$name/README.md"
sed -e 's/\r*$/\r/' LICENSE > "$stage/$name/LICENSE.txt"
mkdir -p "$out"
rm -f "$out/$name.zip"
(cd "$stage" && zip -qr9 "$out/$name.zip" "$name")
echo "$out/$name.zip"
