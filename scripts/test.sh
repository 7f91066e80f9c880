#!/usr/bin/env bash
# Runs every test, in stages that run side by side as soon as the stages they
# need have passed: the host tests (the launcher's logic on the simulated
# platform, plain and under the sanitizers), the fuzz targets, the Windows
# build and its reproducibility, the end-to-end tests under Wine, and the
# release bundle (reproducible, signed with a throwaway certificate, and its
# signed Q8.exe end to end).
#   scripts/test.sh              every stage: the project's one gate
#   scripts/test.sh --quick      the logic alone: host and sanitizer tests
#   scripts/test.sh STAGE...     the stages named, with the stages they need
#   scripts/test.sh mutate       the mutation check of the logic (only when named)
# Each stage writes build/logs/STAGE.log, shown when the stage fails. The run
# ends with a table of its stages and the seconds each took.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/stages.sh
source scripts/wine-run.sh

build_windows() {
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 -j2
}

host_tests() {
  cmake --preset host >/dev/null
  cmake --build --preset host -j2
  ctest --preset host -j2
  build/host/q8_host_tests --gtest_filter='FaultMatrix.*' | grep '^fault matrix'
}

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitizer_tests() {
  cmake --preset host-asan >/dev/null
  cmake --build --preset host-asan -j2
  ctest --preset host-asan -j2
}

# Two clean builds must give the same bytes.
check_reproducible() {
  rm -rf build/repro
  cmake -S . -B build/repro --toolchain cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel \
    >/dev/null
  cmake --build build/repro --target Q8 >/dev/null
  if cmp -s build/win32/Q8.exe build/repro/Q8.exe; then
    echo "reproducible: two clean builds give the same Q8.exe"
  else
    echo "NOT reproducible: build/win32/Q8.exe and build/repro/Q8.exe differ"
    return 1
  fi
}

# The fuzz targets' build on its own, so that it can start early;
# scripts/fuzz.sh then finds them built.
build_fuzz() {
  cmake -S tests/fuzz -B build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
  cmake --build build/fuzz -j2
}

# Every scenario at once, each in a prefix of its own; Q8_E2E_TESTS, a CTest
# regular expression, picks some.
e2e_tests() {
  ctest --preset win32 -L e2e -j "${Q8_E2E_JOBS:-64}" -R "${Q8_E2E_TESTS:-.}"
}

# The stages. A stage starts once those it needs have passed; NAME? only
# waits for NAME to end. The end-to-end tests wait for the Windows build, so
# that build shares the cores only with the fuzz targets (which take 15 s a
# target whatever happens); the host builds follow it and run beside the
# end-to-end tests, whose launchers mostly sleep through grace periods and
# time-outs.
#     name       needs              command
stage setup      -                  bash scripts/setup.sh
stage win32      setup              build_windows
stage wine       setup              wine_template
stage e2e        win32,wine         e2e_tests
stage fuzz-build setup              build_fuzz
stage fuzz       fuzz-build         bash scripts/fuzz.sh 15 2
stage host       setup,win32?       host_tests
stage asan       setup,win32?       sanitizer_tests
stage repro      win32              check_reproducible
stage release    win32,wine         bash tests/release/release_test.sh
stage mutate     setup,host?,asan?  python3 scripts/mutate.py
on_request mutate

select_stages "$@"
stages_begin
# What every stage needs installed, Xvfb included, comes first.
run_stages_first setup
if stage_selected wine; then
  # One X server for the whole run, and a directory for its prefixes; every
  # Wine process of the run is ended by its prefix when the run ends.
  Q8_STAGES_CLEANUP=wine_run_end
  wine_run_begin
fi
run_stages
