#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows zip as a Windows user unpacks it: the README and the licence
# with CR LF at the end of every line and nowhere else, their text otherwise
# the source tree's, beside the programs built. Runs scripts/windows-zip.sh
# on a stand-in build directory (no cross build needed).
# Usage: windows-zip.sh SOURCE-DIR
set -euo pipefail
source_dir=$1
command -v zip >/dev/null && command -v unzip >/dev/null || { echo "SKIP: zip and unzip are needed" >&2; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

mkdir -p "$work/build/src/cli"
printf 'CMAKE_PROJECT_VERSION:STATIC=9.8.7\n' >"$work/build/CMakeCache.txt"
printf 'MZ stand-in' >"$work/build/src/cli/tallowmere-cli.exe"
bash "$source_dir/scripts/windows-zip.sh" "$work/build" win64 "$work/dist" 2>"$work/err" >/dev/null ||
  fail "windows-zip.sh failed: $(cat "$work/err")"
unzip -q "$work/dist/tallowmere-9.8.7-win64.zip" -d "$work/out" || fail "the zip does not unpack"
folder=$work/out/tallowmere-9.8.7-win64
[[ -f $folder/tallowmere-cli.exe ]] || fail "the program is not in the zip"

for pair in README.md:README.md LICENSE:LICENSE.txt; do
  source=$source_dir/${pair%%:*} packed=$folder/${pair#*:}
  [[ -s $packed ]] || { fail "${pair#*:} is not in the zip"; continue; }
  lines=$(wc -l <"$packed")
  crlf=$(LC_ALL=C grep -c $'\r$' "$packed" || true)
  [[ $lines -eq $crlf ]] || fail "${pair#*:}: $crlf of $lines lines end in CR LF"
  [[ $(LC_ALL=C tr -cd '\r' <"$packed" | wc -c) -eq $lines ]] || fail "${pair#*:}: a CR stands inside a line"
  cmp -s <(tr -d '\r' <"$packed") <(tr -d '\r' <"$source") || fail "${pair#*:} differs from $source beyond line ends"
done

((failures == 0)) || exit 1
echo "README and LICENSE packed with CR LF line ends"
