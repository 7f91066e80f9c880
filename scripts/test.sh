#!/usr/bin/env bash
# Every test, in one CTest run of the tree build/run (cmake/test_run.cmake
# defines the tests and what each needs), after setup. It ends on ctest's
# summary; build/junit.xml holds every result, build/run/Testing/Temporary/
# LastTest.log every test's output.
#   scripts/test.sh              every test but those on request
#   scripts/test.sh --quick      the logic alone: host and sanitizer tests
#   scripts/test.sh NAME...      the tests labelled NAME (e2e-win64, guide, ...),
#                                with what they need
#   scripts/test.sh ... -- ARGS  the same, with ctest's own options (-R REGEX, -j N)
# On request only: mutate (the mutation check), e2e-serial (the scenario table
# as Windows runs it) and e2e-win32-vm (the 32-bit lines in an emulated machine).
# Q8_E2E_TESTS is ctest's -R (tests by a regular expression), Q8_E2E_JOBS its -j.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export Q8_SET_UP=1
names=() options=()
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) names+=(host asan) ;;
    --) shift; options+=("$@"); break ;;
    *) names+=("$1") ;;
  esac
  shift
done
if [ ${#names[@]} -eq 0 ]; then
  options+=(-LE '^(mutate|e2e-serial|e2e-win32-vm)$')
else
  options+=(-L "^($(IFS='|'; echo "${names[*]}"))\$")
fi
[ -z "${Q8_E2E_TESTS:-}" ] || options+=(-R "$Q8_E2E_TESTS")
[ -z "${Q8_E2E_JOBS:-}" ] || options+=(-j "$Q8_E2E_JOBS")
mkdir -p build
cmake --preset run >build/run.log 2>&1 || { cat build/run.log; exit 1; }
rm -f build/mutate/summary.txt
status=0
ctest --preset run "${options[@]}" || status=$?
[ ! -f build/mutate/summary.txt ] || tail -n 1 build/mutate/summary.txt
exit "$status"
