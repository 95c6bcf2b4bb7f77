#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages that building, running and testing need,
# and only those that are missing. Uses sudo when not run as root.
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev
  # pulse-record's EDF+ export
  libedf-dev
  # run: the window's Kai and Song faces, its user-interface face, a sans
  # face, Qt's own texts in Chinese
  fonts-arphic-ukai fonts-arphic-uming fonts-wqy-microhei fonts-dejavu-core qt6-translations-l10n
  # tests that look at the real window, and the tools they use (openbox
  # frames the window for the centring check; libxfixes3 tells the cursor)
  xvfb xauth xdotool x11-apps x11-utils xclip imagemagick python3 openbox libxfixes3
  # reading the window's texts as a screen reader does (tests/support/pulsetest/a11y.py)
  dbus-daemon at-spi2-core python3-gi
  # benchmarks, packaging and install checks
  libbenchmark-dev desktop-file-utils dpkg-dev file
  # the Debian test chroots (scripts/test-debian.sh)
  debootstrap
  # static checks
  cppcheck clang-tidy clang-format
  # pulse-record's readers under the fuzzer (libFuzzer is Clang's runtime)
  clang libclang-rt-dev
)

say() { echo "install-deps: $*"; }
# shellcheck source=scripts/lib/packages.sh
. "$(dirname "$0")/lib/packages.sh"
install_missing "${packages[@]}"
