#!/usr/bin/env bash
# Soak benchmark, not part of CI: the probe build streams 960 samples/s for
# two hours under Xvfb with the simulated sensor, with a Stop and a
# parameter change every minute, and the sensor pulled out while streaming
# every 3 minutes and plugged back 10 s later, to be picked up again by the
# program with no pick. It checks that no sample is lost outside the
# unplugged spans, that every unplug is followed by a reconnect, that
# resident memory and CPU stay flat and that every record file is whole and
# matches its index line. The figures go to bench/soak-result.md.
#
#   scripts/soak.sh                  # 120 minutes, build in build-bench/
#   scripts/soak.sh --short          # a 5-minute trial with 3 replugs, figures in the build folder
#   SOAK_MINUTES=30 scripts/soak.sh  # a shorter run
#   BUILD_DIR=/path scripts/soak.sh  # an existing build folder (PULSE_BENCH=ON)
#
# Further arguments go to tests/faults/soak.py (--plugged MINUTES,
# --unplugged SECONDS). Needs what scripts/test.sh needs
# (scripts/install-deps.sh installs it).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# Absolute: the harness starts the programs from their artefacts folder.
build=$(realpath -m "${BUILD_DIR:-build-bench}")
result=${SOAK_RESULT:-bench/soak-result.md}
for arg in "$@"; do
  # A trial does not overwrite the figures of a full run.
  if [[ $arg == --short ]]; then result=${SOAK_RESULT:-$build/soak-short.md}; fi
done
cmake -S . -B "$build" -G Ninja -DPULSE_BENCH=ON
cmake --build "$build" --target pulse-demo-probe pulse-sensor-sim

# The result names the command that made it.
export SOAK_COMMAND="${SOAK_MINUTES:+SOAK_MINUTES=$SOAK_MINUTES }scripts/soak.sh${*:+ $*}"
exec env PYTHONPATH=tests/support /usr/bin/python3 -B tests/faults/soak.py \
  --program "$build/bench/pulse-demo-probe" \
  --simulator "$build/tools/pulse-sensor-sim/pulse-sensor-sim" \
  --artefacts "$build/soak" \
  --minutes "${SOAK_MINUTES:-120}" \
  --result "$result" \
  "$@"
