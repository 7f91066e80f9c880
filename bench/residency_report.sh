#!/usr/bin/env bash
# The residency report: wake-ups per second on the simulated clock, then the
# real launcher under Wine watching for 60 s (or the seconds given): the
# 32-bit build where this host runs 32-bit programs, else the x86-64 one.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-run.sh
bash scripts/setup.sh
run_arch
arch="$Q8_RUN_ARCH" build="the 32-bit build"
[ "$arch" = win32 ] || build="the x86-64 build ($Q8_RUN_WHY)"
cmake --preset host >/dev/null && cmake --build --preset host --target q8_wakeups_bench >/dev/null
cmake --preset "$arch" >/dev/null &&
  cmake --build --preset "$arch" --target Q8ResidencyBench >/dev/null
build/host/q8_wakeups_bench
echo
echo "residency under Wine of $build"
wine_session residency "$arch"
"$Q8_WINE" "build/$arch/Q8ResidencyBench.exe" "${1:-60}"
