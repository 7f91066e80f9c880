#!/usr/bin/env bash
# The residency report: wake-ups per second on the simulated clock, then the
# real launcher under Wine watching for 60 s (or the seconds given).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset host >/dev/null && cmake --build --preset host --target q8_wakeups_bench >/dev/null
cmake --preset win32 >/dev/null && cmake --build --preset win32 --target Q8ResidencyBench >/dev/null
build/host/q8_wakeups_bench
echo
source scripts/wine-run.sh
wine_session residency
wine build/win32/Q8ResidencyBench.exe "${1:-60}"
