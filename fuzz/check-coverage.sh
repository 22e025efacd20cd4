#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails unless every library of the fuzz build carries coverage counters:
# without them libFuzzer sees only its harness and mutates blind.
set -euo pipefail
build=${1:-build/fuzz}
mapfile -t libraries < <(find "$build/src" -name 'lib*.a' | sort)
if [[ ${#libraries[@]} -eq 0 ]]; then
  echo "check-coverage: no libraries under $build/src; build the fuzz targets first" >&2
  exit 1
fi
status=0
for library in "${libraries[@]}"; do
  # Inline 8-bit counters: each instrumented object has a __sancov_cntrs
  # section and calls the comparison hooks.
  counters=$(objdump -h "$library" 2>/dev/null | grep -c '__sancov_cntrs' || true)
  hooks=$(nm -A "$library" 2>/dev/null | grep -c '__sanitizer_cov_trace' || true)
  printf '%-60s %6s counter sections %6s hook references\n' "${library#"$build"/}" "$counters" "$hooks"
  if [[ $counters -eq 0 || $hooks -eq 0 ]]; then
    echo "check-coverage: $library has no coverage instrumentation (-fsanitize=fuzzer-no-link)" >&2
    status=1
  fi
done
exit $status
