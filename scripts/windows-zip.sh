#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Packs one Windows build into dist/tallowmere-<version>-<suffix>.zip: the
# programs, the README and the licence.
# Usage: windows-zip.sh BUILD_DIR SUFFIX   (SUFFIX: win32 or win64)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: windows-zip.sh BUILD_DIR SUFFIX}
suffix=${2:?usage: windows-zip.sh BUILD_DIR SUFFIX}
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
cp README.md "$stage/$name/README.md"
cp LICENSE "$stage/$name/LICENSE.txt"
mkdir -p dist
rm -f "dist/$name.zip"
(cd "$stage" && zip -qr9 "$OLDPWD/dist/$name.zip" "$name")
echo "dist/$name.zip"
