#!/usr/bin/env bash
# Soak benchmark, not part of CI: the probe build streams 960 samples/s for
# 30 minutes under Xvfb with the simulated sensor, with a Stop and a
# parameter change every minute, and checks that no sample is lost, that
# resident memory stays flat after the first minute and that every record
# file is whole. The figures go to bench/soak-result.md.
#
#   scripts/soak.sh                  # 30 minutes, build in build-bench/
#   SOAK_MINUTES=5 scripts/soak.sh   # a shorter run
#   BUILD_DIR=/path scripts/soak.sh  # an existing build folder (PULSE_BENCH=ON)
#
# Needs what scripts/test.sh needs (scripts/install-deps.sh installs it).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

minutes=${SOAK_MINUTES:-30}
build=${BUILD_DIR:-build-bench}
cmake -S . -B "$build" -G Ninja -DPULSE_BENCH=ON
cmake --build "$build" --target pulse-demo-probe pulse-sensor-sim

exec env PYTHONPATH=tests/support /usr/bin/python3 -B tests/faults/soak.py \
  --program "$build/bench/pulse-demo-probe" \
  --simulator "$build/tools/pulse-sensor-sim/pulse-sensor-sim" \
  --artefacts "$build/soak" \
  --minutes "$minutes" \
  --result "${SOAK_RESULT:-bench/soak-result.md}"
