#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs, only when missing, every Debian package needed to build, test and
# run Tallowmere. Quiet when everything is present.
set -euo pipefail

packages=(
  cmake g++ ninja-build make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-qpa-plugins fonts-dejavu-core libasound2-dev alsa-utils
  sox libsox-fmt-all libsndfile1-dev
  xvfb xauth xdotool xclip x11-utils imagemagick dbus-daemon at-spi2-core
  clang libclang-rt-14-dev
  scdoc appstream desktop-file-utils librsvg2-bin man-db
  dpkg-dev file lintian bash-completion
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest zip wine wine64
  libfftw3-dev
  python3
)

# The 32-bit Windows build's tests need Wine's 32-bit half, from the i386
# architecture.
if [[ "$(dpkg --print-architecture)" == amd64 ]]; then
  packages+=(wine32:i386)
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

echo "install-deps: installing ${missing[*]}" >&2
log=$(mktemp)
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
fi
if ! "${sudo[@]}" apt-get update >"$log" 2>&1; then
  cat "$log" >&2
  echo "install-deps: apt-get update failed" >&2
  exit 1
fi
install() {
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "$@" >"$log" 2>&1
}
# One transaction is fast; only when it fails do we go package by package to
# name the culprit.
if ! install "${missing[@]}"; then
  for package in "${missing[@]}"; do
    if ! install "$package"; then
      cat "$log" >&2
      echo "install-deps: failed to install package: $package" >&2
      exit 1
    fi
  done
fi
rm -f "$log"
