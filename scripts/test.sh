#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; then runs the unit
# and end-to-end tests again on a build with AddressSanitizer and
# UndefinedBehaviorSanitizer, and pulse-record's readers under libFuzzer for
# a minute.
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

# libFuzzer comes with Clang; without Clang the fuzz build takes the default
# compiler, finds no libFuzzer, and its test reports itself skipped.
fuzz_compiler=()
if command -v clang++ >/dev/null; then fuzz_compiler=(-DCMAKE_CXX_COMPILER=clang++); fi
cmake --preset fuzz "${fuzz_compiler[@]}"
cmake --build --preset fuzz --target fuzz-tests
ctest --preset fuzz --timeout 600 -L fuzz

# Static checks that take a second; scripts/lint.sh adds clang-tidy (minutes).
scripts/lint.sh cppcheck
scripts/lint.sh format
