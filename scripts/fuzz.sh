#!/usr/bin/env bash
# `make fuzz`: runs each libFuzzer target for a bounded time (seconds, default 60)
# on its seed corpus.
set -euo pipefail
build=${1:-build/fuzz}
seconds=${2:-60}
found=0
for target in "$build"/fuzz/fuzz_*; do
  [[ -x $target ]] || continue
  found=1
  name=$(basename "$target")
  corpus=$build/fuzz/corpus/$name
  artifacts=$build/fuzz/artifacts/$name
  mkdir -p "$corpus" "$artifacts"
  seeds=fuzz/seeds/$name
  echo "== $name for ${seconds}s"
  # Crashes and slow inputs land beside the corpus, not in the work tree.
  "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$corpus" $( [[ -d $seeds ]] && echo "$seeds" )
done
[[ $found -eq 1 ]] || echo "no fuzz targets built yet" >&2
