#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the host tests and the
# Windows programs, runs the host tests (plain and under the sanitizers) and
# the fuzz targets, checks that Q8.exe builds reproducibly, then runs the
# end-to-end tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

cmake --preset host >/dev/null
cmake --build --preset host -j"$(nproc)"
ctest --preset host
build/host/q8_host_tests --gtest_filter='FaultMatrix.*' | grep '^fault matrix'

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
cmake --preset host-asan >/dev/null
cmake --build --preset host-asan -j"$(nproc)"
ctest --preset host-asan

# The byte-string routines under libFuzzer, a short fixed time each.
bash scripts/fuzz.sh 15

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$(nproc)"

# Two clean builds must give the same bytes.
rm -rf build/repro
cmake -S . -B build/repro --toolchain cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build build/repro --target Q8 >/dev/null
if cmp -s build/win32/Q8.exe build/repro/Q8.exe; then
  echo "reproducible: two clean builds give the same Q8.exe"
else
  echo "NOT reproducible: build/win32/Q8.exe and build/repro/Q8.exe differ" >&2
  exit 1
fi

source scripts/wine-env.sh
ctest --preset win32

# The release bundle: two runs give the same zip, a signed one verifies
# against a throwaway CA, and its signed Q8.exe runs end to end.
bash tests/release/release_test.sh
