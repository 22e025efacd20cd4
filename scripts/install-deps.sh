#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs, only when missing, the Debian packages of one layer of work and
# of every layer below it. Quiet when everything is present.
#
#   scripts/install-deps.sh [run|test|all]      (default: run)
#
#   run   building and running the programs (`make run`, `make build`)
#   test  the Linux tests and benchmarks (`make test`, test-asan, bench)
#   all   everything CI does besides: the fuzzers, the Debian package, both
#         Windows builds and their tests under Wine (32-bit Wine from i386)
#
# `--list` prints the layer's packages instead of installing them.
set -euo pipefail

layer=run
list_only=false
for argument in "$@"; do
  case $argument in
    run|test|all) layer=$argument ;;
    --list) list_only=true ;;
    *) echo "install-deps: unknown layer '$argument' (run, test or all)" >&2; exit 2 ;;
  esac
done

run_packages=(
  cmake g++ ninja-build make pkg-config
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-qpa-plugins fonts-dejavu-core libasound2-dev libfftw3-dev
  scdoc
)
test_packages=(
  libbenchmark-dev alsa-utils sox libsox-fmt-all
  xvfb xauth xdotool xclip x11-utils imagemagick dbus-daemon at-spi2-core
  appstream desktop-file-utils librsvg2-bin man-db bash-completion
  dpkg-dev file lintian python3 chromium
)
all_packages=(
  clang libclang-rt-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest zip wine wine64
)

packages=("${run_packages[@]}")
case $layer in
  test) packages+=("${test_packages[@]}") ;;
  all)
    packages+=("${test_packages[@]}" "${all_packages[@]}")
    # The 32-bit Windows build's tests need Wine's 32-bit half.
    if [[ "$(dpkg --print-architecture)" == amd64 ]]; then
      packages+=(wine32:i386)
    fi
    ;;
esac

if $list_only; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  if [[ "$status" != "install ok installed" ]]; then
    missing+=("$package")
  fi
done

[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -eq 0 ]]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "install-deps: missing packages (${missing[*]}) and not root, no sudo" >&2
  exit 1
fi

echo "install-deps ($layer): installing ${missing[*]}" >&2
log=$(mktemp)
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
fi
# A mirror caught mid-sync fails an update now and then: try again, and if
# one index still fails go on with the others (apt says it ignored it); only
# a package that then cannot be installed is fatal.
for attempt in 1 2 3; do
  if "${sudo[@]}" apt-get update >"$log" 2>&1; then break; fi
  if [[ $attempt -eq 3 ]]; then
    grep '^[EW]:' "$log" >&2 || cat "$log" >&2
    echo "install-deps: apt-get update failed; trying the install with the indexes it has" >&2
  else
    sleep $((attempt * 5))
  fi
done
install() {
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "$@" >"$log" 2>&1
}
# One transaction is fast; only when it fails do we go package by package to
# name the culprit. Wine's 32-bit half is the one package whose absence only
# narrows what runs: when the archive cannot give it (its i386 indexes out of
# step with the amd64 ones, as a mirror mid-sync leaves them) the 32-bit
# Windows tests are skipped, and `make test-windows` says so.
if ! install "${missing[@]}"; then
  for package in "${missing[@]}"; do
    if ! install "$package"; then
      if [[ $package == wine32:i386 ]]; then
        grep -A3 'unmet dependencies' "$log" >&2 || true
        echo "install-deps: WARNING: wine32:i386 cannot be installed from this archive now;" \
             "the 32-bit Windows build's tests under Wine will be skipped" >&2
        continue
      fi
      cat "$log" >&2
      echo "install-deps: failed to install package: $package" >&2
      exit 1
    fi
  done
fi
rm -f "$log"
