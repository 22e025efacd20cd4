#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package CPack makes from this build: named after the project
# version, its contents exactly installed-files.txt, Depends computed, and
# no lintian error. (The warnings are printed; CI lints the hardened build.)
# Usage: lintian.sh BUILD-DIR EXPECTED-FILES VERSION
set -euo pipefail
build=$1 expected=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; echo "FAIL: cpack failed" >&2; exit 1; }
deb=$work/tallowmere_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || { echo "FAIL: cpack made no ${deb##*/}:" >&2; ls "$work" >&2; exit 1; }
if ! diff -u "$expected" <(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's#^\./##' | LC_ALL=C sort); then
  echo "FAIL: the package's files differ from $expected (- expected, + packaged)" >&2
  exit 1
fi
depends=$(dpkg-deb -f "$deb" Depends)
for library in libasound2 libqt6widgets6 qt6-qpa-plugins; do
  [[ $depends == *"$library"* ]] || { echo "FAIL: Depends '$depends' lacks $library" >&2; exit 1; }
done
status=0
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || status=$?
grep -v 'running with root privileges' "$work/lintian.log" || true
((status == 0)) || { echo "FAIL: lintian found errors" >&2; exit 1; }
echo "${deb##*/}: $(wc -l <"$expected") files, no lintian error"
