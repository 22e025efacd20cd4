#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fetches FFTW's source from Debian's source package (fftw3) and unpacks
# the upstream tree into SOURCE_DIR, for the Windows builds to cross-compile.
# apt works in a directory of its own: a private sources list with one
# deb-src line for the archive this machine already uses, private package
# lists and cache. The machine's apt configuration is read, never changed.
# apt checks the files against the archive's signed index.
# Usage: windows-fftw-source.sh VERSION SOURCE_DIR
# Exit status 0 with SOURCE_DIR/configure in place, 1 with the reason on
# standard error (no archive found, download failed, another version).
set -euo pipefail
version=${1:?usage: windows-fftw-source.sh VERSION SOURCE_DIR}
source_dir=$(realpath -m "${2:?usage: windows-fftw-source.sh VERSION SOURCE_DIR}")
fail() {
  echo "windows-fftw-source: $*" >&2
  exit 1
}
command -v apt-get >/dev/null || fail "apt-get is needed to fetch Debian's fftw3 source package"

# The archive and release of the machine's own binary packages.
archive=
for sources in /etc/apt/sources.list.d/*.sources; do
  [[ -f $sources ]] || continue
  # The main archive, not the security one, where both are listed.
  archive=$(awk '/^URIs:/ && $2 !~ /security/ {print $2; exit}' "$sources")
  [[ -n $archive ]] && break
done
if [[ -z $archive && -f /etc/apt/sources.list ]]; then
  archive=$(awk '$1 == "deb" && $0 !~ /security/ {for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) {print $i; exit}}' /etc/apt/sources.list)
fi
[[ -n $archive ]] || fail "no Debian archive found in /etc/apt/sources.list.d/*.sources or /etc/apt/sources.list"
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[[ -n $release ]] || fail "no release codename in /etc/os-release"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
signed_by=
[[ -f $keyring ]] && signed_by="[signed-by=$keyring] "
printf 'deb-src %s%s %s main\n' "$signed_by" "$archive" "$release" >"$work/sources.list"
apt_options=(
  -o "Dir::Etc::sourcelist=$work/sources.list" -o "Dir::Etc::sourceparts=-"
  -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache"
  # As root apt hands downloads to its _apt user, which cannot write here.
  -o "APT::Sandbox::User=$(id -un)"
)
# A mirror caught mid-sync fails now and then: try again.
for attempt in 1 2 3; do
  if apt-get "${apt_options[@]}" -q update >"$work/update.log" 2>&1 &&
     (cd "$work" && apt-get "${apt_options[@]}" -q source --download-only fftw3 >"$work/source.log" 2>&1); then
    break
  fi
  if [[ $attempt -eq 3 ]]; then
    cat "$work/update.log" "$work/source.log" 2>/dev/null >&2 || true
    fail "could not fetch the fftw3 source package from $archive ($release)"
  fi
  sleep $((attempt * 5))
done
tarball="$work/fftw3_$version.orig.tar.gz"
[[ -f $tarball ]] || fail "the archive's fftw3 is not upstream $version: $(cd "$work" && ls fftw3_*)"
rm -rf "$source_dir"
mkdir -p "$source_dir"
tar xzf "$tarball" -C "$source_dir" --strip-components=1
[[ -x "$source_dir/configure" ]] || fail "no configure script in $tarball"
