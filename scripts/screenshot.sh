#!/usr/bin/env bash
# Makes docs/screenshot.png, the README's picture of the window with a pulse
# on it: builds, then runs the program and the simulated sensor under a
# private X server (Xvfb), picks COM1, presses Start and captures the window.
#
#   scripts/screenshot.sh [build-folder]
#
# The X display is the first free one of 70-79 (PULSE_E2E_DISPLAYS=80-89
# picks another range).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target pulse-demo pulse-sensor-sim

mkdir -p docs
PYTHONPATH=tests/support /usr/bin/python3 -B tests/e2e/readme_screenshot.py \
  --program "$build/src/pulse-demo" \
  --simulator "$build/tools/pulse-sensor-sim/pulse-sensor-sim" \
  --out docs/screenshot.png
