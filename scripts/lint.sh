#!/usr/bin/env bash
# Static checks over the program, its companion tools and the fault suite's
# C++ helper: clang-tidy (configured in .clang-tidy), cppcheck (findings
# that are not faults are listed, with reasons, in
# scripts/cppcheck-suppressions.txt) and clang-format (.clang-format) over
# every C++ file. Prints every finding; exits 1 if any.
#
#   scripts/lint.sh                 # all three; configures build-lint/ for the compile commands
#   BUILD_DIR=build scripts/lint.sh # or uses an existing build folder
#   scripts/lint.sh cppcheck        # cppcheck alone, in a second (for CI)
#   scripts/lint.sh format          # the formatting alone (for CI); clang-format -i mends it
#   scripts/lint.sh clang-tidy      # clang-tidy alone
#
# clang-tidy parses Qt's headers for every file: about three minutes on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."

which=${1:-all}
case "$which" in
  all | cppcheck | clang-tidy | format) ;;
  *) echo "usage: $0 [all|cppcheck|clang-tidy|format]" >&2; exit 2 ;;
esac
status=0

if [ "$which" = all ] || [ "$which" = clang-tidy ]; then
  build=${BUILD_DIR:-build-lint}
  if [ ! -f "$build/compile_commands.json" ]; then
    # Configuring is enough: no generated file is included by these sources.
    cmake -S . -B "$build" -G Ninja >/dev/null
  fi
  echo "== clang-tidy"
  log=$(mktemp)
  trap 'rm -f "$log"' EXIT
  run-clang-tidy -quiet -p "$build" '/(src|tools)/.*\.cpp$|/tests/faults/.*\.cpp$' >"$log" 2>&1 || status=1
  # Only the findings, without colour; progress lines and header counts are noise.
  if sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E '(warning|error):'; then
    status=1
  fi
fi

if [ "$which" = all ] || [ "$which" = cppcheck ]; then
  echo "== cppcheck"
  cppcheck --enable=warning,style,performance,portability --std=c++20 --library=qt \
    --inline-suppr --suppressions-list=scripts/cppcheck-suppressions.txt \
    --error-exitcode=1 --quiet --template='{file}:{line}: {severity}: {message} [{id}]' \
    -I src src tools tests/faults || status=1
fi

if [ "$which" = all ] || [ "$which" = format ]; then
  echo "== clang-format"
  # The source folders, not git's list: the chroot runs have no .git.
  find src tools tests bench packaging \( -name '*.cpp' -o -name '*.h' \) -print0 |
    xargs -0 clang-format --dry-run --Werror || status=1
fi

if [ "$status" -eq 0 ]; then
  echo "lint: clean"
else
  echo "lint: findings above"
fi
exit "$status"
