#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; then runs the unit
# and end-to-end tests again on a build with AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset default
cmake --build --preset default
ctest --preset default --timeout 600 -j2

cmake --preset asan
# Only what those tests run (a label's <label>-tests target), not everything.
cmake --build --preset asan --target unit-tests e2e-tests
ctest --preset asan --timeout 600 -j2 -L 'unit|e2e'

# Static checks that take a second; scripts/lint.sh adds clang-tidy (minutes).
scripts/lint.sh cppcheck
scripts/lint.sh format
