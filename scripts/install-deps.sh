#!/usr/bin/env bash
# Installs everything the build and the tests need on Debian 12 (bookworm);
# with --renderer only what building velmorloom-render needs, with --with-host also Ardour.
# Runs as root, or through sudo when started by another user.
set -euo pipefail

# What the renderer alone needs (scripts/demo.sh installs only these, with --renderer):
# the native tool chain and build system; it links the instrument without its panel.
RENDERER_PACKAGES=(
  build-essential cmake ninja-build pkg-config ca-certificates
)
PACKAGES=(
  "${RENDERER_PACKAGES[@]}" git
  # the panel: Xlib, cairo and fontconfig
  libx11-dev libcairo2-dev libfontconfig-dev
  # Windows cross compilers (the -posix variants provide std::thread) and PE tools
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64
  # Windows tests: the 64-bit wine loader, its fonts and the X libraries its
  # display driver loads, and a virtual X server for anything that opens a window
  wine64 fonts-wine libxrender1 libxcursor1 libxi6 libxrandr2 libxcomposite1 libxinerama1
  xvfb xauth
  # GoogleTest (library natively, sources for the cross builds) and Google Benchmark
  googletest libgtest-dev libbenchmark-dev
  # Linux panel (Xlib window, cairo drawing, fontconfig fonts) and the XTest
  # extension the panel tests use to press keys and buttons
  libx11-dev libcairo2-dev libfontconfig-dev fonts-dejavu-core libxtst-dev
  # Linux standalone program: JACK and ALSA audio and MIDI; the JACK server for its tests
  libjack-jackd2-dev libasound2-dev jackd2 alsa-utils
  # packages and their checks: dpkg-deb and dpkg-shlibdeps, lintian, the desktop entry's
  # validator, groff for the manual pages, zip and unzip for the Windows archive
  dpkg-dev lintian desktop-file-utils groff-base zip unzip
  # LV2 bundle: the headers; lilv's tools, library and jalv for its tests
  lv2-dev lilv-utils liblilv-dev jalv
  # 32-bit x86 Linux build of the core (multilib compiler and run-time) and the user-mode
  # emulator that runs its tests and renders here
  g++-multilib qemu-user
)
case "${1:-}" in
  # real third-party hosts: Ardour for the session tests, Qtractor for its plug-in scanner
  --with-host) PACKAGES+=(ardour qtractor) ;;
  --renderer) PACKAGES=("${RENDERER_PACKAGES[@]}") ;;
  "") ;;
  *) echo "usage: install-deps.sh [--with-host | --renderer]" >&2; exit 2 ;;
esac

SUDO=()
if [[ $(id -u) -ne 0 ]]; then
  SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

missing=()
for p in "${PACKAGES[@]}"; do
  if [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) != "install ok installed" ]]; then
    missing+=("$p")
  fi
done

echo "== apt-get update"
if ! "${SUDO[@]}" apt-get update -q; then
  if (( ${#missing[@]} == 0 )); then
    echo "warning: apt-get update failed; every package is already installed, going on"
    exit 0
  fi
  echo "error: apt-get update failed and these packages are missing: ${missing[*]}" >&2
  exit 1
fi

echo "== apt-get install (${#PACKAGES[@]} packages, ${#missing[@]} missing)"
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${PACKAGES[@]}"
