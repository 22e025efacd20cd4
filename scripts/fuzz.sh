#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# `make fuzz`: checks that the fuzz build is instrumented, then runs each
# libFuzzer target for a bounded time (seconds, default 60), starting from
# the kept corpus (fuzz/corpus/<target>) and the named seeds. New inputs
# land in the build tree. With FUZZ_MERGE=1 the kept corpus is replaced by
# a minimised merge of itself, the seeds and what this run found.
set -euo pipefail
build=${1:-build/fuzz}
seconds=${2:-60}
bash fuzz/check-coverage.sh "$build"
found=0
for target in "$build"/fuzz/fuzz_*; do
  [[ -x $target ]] || continue
  found=1
  name=$(basename "$target")
  grown=$build/fuzz/corpus/$name
  artifacts=$build/fuzz/artifacts/$name
  kept=fuzz/corpus/$name
  seeds=fuzz/seeds/$name
  mkdir -p "$grown" "$artifacts" "$kept"
  inputs=("$kept")
  [[ -d $seeds ]] && inputs+=("$seeds")
  echo "== $name for ${seconds}s"
  # Crashes and slow inputs land beside the grown corpus, not in the work tree.
  "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$grown" "${inputs[@]}"
  if [[ ${FUZZ_MERGE:-0} == 1 ]]; then
    merged=$(mktemp -d)
    "$target" -merge=1 "$merged" "${inputs[@]}" "$grown" 2>&1 | grep -E 'MERGE-OUTER: [0-9]+ new files' || true
    rm -rf "$kept"
    mv "$merged" "$kept"
    chmod 755 "$kept"
  fi
done
[[ $found -eq 1 ]] || echo "no fuzz targets built yet" >&2
