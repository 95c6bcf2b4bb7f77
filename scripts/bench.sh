#!/usr/bin/env bash
# The benchmarks, in one command: installs what is missing, builds the probe
# program, the simulated sensor and the micro-benchmark (Release, in
# build-bench/), runs everything (about five minutes) and prints one table.
# Options go to bench/run_bench.py (e.g. --only paced10, --runs 3).
#
#   scripts/bench.sh real-pulse [bench/real_pulse.py options]
#
# measures the pulse rate on the real recordings beside the project instead
# (../shared/realpulse, or --folder DIR), in about ten seconds.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=${BENCH_BUILD_DIR:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPULSE_BENCH=ON >/dev/null
if [ "${1:-}" = real-pulse ]; then
  shift
  say() { echo "bench: $*"; }
  # shellcheck source=scripts/lib/packages.sh
  . scripts/lib/packages.sh
  install_missing python3-numpy
  cmake --build "$build" --target real-pulse-feed
  exec /usr/bin/python3 -B bench/real_pulse.py --feed "$build/bench/real-pulse-feed" "$@"
fi
cmake --build "$build" --target pulse-demo-probe pulse-sensor-sim pulse-bench-sample
# Debian's interpreter: the runner uses its standard library only.
exec /usr/bin/python3 -B bench/run_bench.py --build "$build" "$@"
