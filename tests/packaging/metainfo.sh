#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The AppStream metainfo: valid without network access, and every screenshot
# it names is an image of the repository's docs/images with the size stated.
# Usage: metainfo.sh METAINFO SOURCE-DIR
set -euo pipefail
metainfo=$1 source_dir=$2
appstreamcli validate --no-net --no-color "$metainfo"

failures=0
count=0
while IFS=$'\t' read -r width height url; do
  count=$((count + 1))
  file=$source_dir/docs/images/${url##*/}
  if [[ $url != https://*/docs/images/* ]]; then
    echo "FAIL: screenshot $url is not an https address of docs/images" >&2
    failures=$((failures + 1))
  elif [[ ! -f $file ]]; then
    echo "FAIL: screenshot $url has no file $file" >&2
    failures=$((failures + 1))
  elif [[ $(identify -format '%w %h' "$file") != "$width $height" ]]; then
    echo "FAIL: $file is $(identify -format '%wx%h' "$file"), the metainfo says ${width}x${height}" >&2
    failures=$((failures + 1))
  fi
done < <(sed -nE 's#.*<image type="source" width="([0-9]+)" height="([0-9]+)">([^<]+)</image>.*#\1\t\2\t\3#p' "$metainfo")
((count > 0)) || { echo "FAIL: no screenshots found" >&2; exit 1; }
((failures == 0)) || exit 1
echo "$count screenshots match docs/images"
