#!/usr/bin/env bash
# The Debian 13 (Qt 6.8) leg by its old name: scripts/test-debian.sh trixie.
set -euo pipefail
if [ -n "${PULSE_DEBIAN13_CHROOT:-}" ]; then export PULSE_CHROOT=$PULSE_DEBIAN13_CHROOT; fi
exec "$(dirname "$0")/test-debian.sh" "$@" trixie
