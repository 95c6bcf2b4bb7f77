#!/usr/bin/env bash
# The demo: installs what is missing, builds, starts the simulated sensor on
# COM1 and then the program; the simulator stops when the program ends.
#
#   scripts/demo.sh [build-folder] [simulator options...]
#
# The build folder defaults to "build". Options after it go to the simulator,
# e.g. "scripts/demo.sh build --heart-rate 90". Record files land in
# <build-folder>/records.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
shift || true

scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja >/dev/null
# Every program: pulse-record looks at the records afterwards.
cmake --build "$build" --target pulse-demo pulse-sensor-sim pulse-record

build=$(cd "$build" && pwd)
program=$build/src/pulse-demo
simulator=$build/tools/pulse-sensor-sim/pulse-sensor-sim
records=$build/records
mkdir -p "$records"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: no desktop session to show the window on (DISPLAY is not set)" >&2
  exit 1
fi

# The program finds the simulator's link under $XDG_RUNTIME_DIR; without one
# (a root shell, say) both get a private folder for this run.
private_runtime=
if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -d "$XDG_RUNTIME_DIR" ] || [ ! -w "$XDG_RUNTIME_DIR" ]; then
  private_runtime=$(mktemp -d "${TMPDIR:-/tmp}/pulse-demo-run.XXXXXX")
  chmod 700 "$private_runtime"
  export XDG_RUNTIME_DIR=$private_runtime
fi

sim_output=$(mktemp "${TMPDIR:-/tmp}/pulse-demo-sim.XXXXXX")
sim_pid=
# shellcheck disable=SC2317 # called by the trap
cleanup() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -f "$sim_output"
  if [ -n "$private_runtime" ]; then
    rm -rf "$private_runtime"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

"$simulator" --com 1 "$@" >"$sim_output" 2>&1 &
sim_pid=$!

# Wait for the link before the program starts, so COM1 is there to pick.
for _ in $(seq 100); do
  if grep -q '^ready COM1 ' "$sim_output"; then
    break
  fi
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "demo: the simulated sensor did not start:" >&2
    cat "$sim_output" >&2
    sim_pid=
    exit 1
  fi
  sleep 0.1
done
if ! grep -q '^ready COM1 ' "$sim_output"; then
  echo "demo: the simulated sensor did not link COM1 within 10 s" >&2
  exit 1
fi

echo "The simulated sensor is on COM1: pick COM1 in the port list, then press 开始."
echo "Record files are saved in $records; look at them with"
echo "  $build/tools/pulse-record/pulse-record show $records/1"
status=0
(cd "$records" && exec "$program") || status=$?
exit "$status"
