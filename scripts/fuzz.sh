#!/usr/bin/env bash
# Builds the fuzz targets (tests/fuzz) with clang and runs each for SECONDS
# (default 15), starting from a temporary copy of its seed corpus so the
# committed seeds never change. Prints the executions per target; exits
# non-zero if any target crashes or finds the launcher disagreeing with its
# model. Inputs that fail are kept in build/fuzz/artifacts/. AT_ONCE targets
# run side by side (default 1). --build only builds them.
#   scripts/fuzz.sh [SECONDS_PER_TARGET [AT_ONCE]]
#   scripts/fuzz.sh --build
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/project.sh"
build="$root/build/fuzz"
build_targets() {
  cmake -S "$root/tests/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="clang++-$Q8_CLANG_VERSION" \
    -DCMAKE_C_COMPILER="clang-$Q8_CLANG_VERSION" && cmake --build "$build" -j"$(nproc)"
}
if [ "${1:-}" = --build ]; then
  build_targets
  exit
fi
seconds="${1:-15}"
at_once="${2:-1}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ && "$at_once" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [SECONDS_PER_TARGET [AT_ONCE]]  (whole numbers, at least 1)" >&2
  exit 2
fi

artifacts="$build/artifacts"
log="$build/build.log"
mkdir -p "$build" "$artifacts"
if ! build_targets >"$log" 2>&1; then
  cat "$log" >&2
  echo "fuzz: the build failed" >&2
  exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Paths longer than 300 characters (600 bytes, for the UTF-16 target path) are
# cut by the targets themselves; longer inputs would only repeat shorter ones.
declare -A max_len=([fuzz_presence_name]=300 [fuzz_trim]=1024 [fuzz_target_path]=600
                    [fuzz_command_tail]=2048)

targets=(fuzz_presence_name fuzz_trim fuzz_target_path fuzz_command_tail)

run_target() {
  local target="$1" corpus="$work/$1" status=0
  cp -R "$root/tests/fuzz/corpus/$target" "$corpus"
  # From the work directory, so nothing (a crash input, a fork's log) can land
  # in the caller's directory.
  (cd "$work" && "$build/$target" -max_total_time="$seconds" -max_len="${max_len[$target]}" \
     -print_final_stats=1 -artifact_prefix="$artifacts/$target-" "$corpus") \
    >"$work/$target.log" 2>&1 || status=$?
  echo "$status" >"$work/$target.status"
}

running=0
for target in "${targets[@]}"; do
  if [[ "$running" -ge "$at_once" ]]; then
    wait -n
    running=$((running - 1))
  fi
  run_target "$target" &
  running=$((running + 1))
done
wait

failed=0
for target in "${targets[@]}"; do
  status="$(cat "$work/$target.status")"
  runs="$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$work/$target.log" | tail -n 1)"
  if [[ -z "$runs" ]]; then
    runs="$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$work/$target.log" | tail -n 1)"
  fi
  if [[ "$status" -eq 0 ]]; then
    printf '%-20s ok      %12s executions in %s s\n' "$target" "${runs:-?}" "$seconds"
  else
    failed=1
    printf '%-20s FAILED  %12s executions (exit code %d)\n' "$target" "${runs:-?}" "$status"
    # The start of the mismatch or sanitizer report, and where libFuzzer kept
    # the input (run the target on that file to see it again).
    first="$(grep -n -m 1 -E 'MISMATCH|ERROR:|runtime error' "$work/$target.log" | cut -d: -f1)"
    first="${first:-1}"
    sed -n "${first},$((first + 24))p" "$work/$target.log" | sed 's/^/    /' >&2
    grep -h 'Test unit written to' "$work/$target.log" | sed 's/^/    /' >&2 || true
  fi
done
exit "$failed"
