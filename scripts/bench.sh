#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# `make bench`: runs every benchmark program that the bench preset built.
set -euo pipefail
build=${1:-build/bench}
found=0
for program in "$build"/bench/bench_*; do
  [[ -x $program ]] || continue
  found=1
  echo "== $(basename "$program")"
  "$program" --benchmark_counters_tabular=true
done
[[ $found -eq 1 ]] || echo "no benchmarks built yet" >&2
