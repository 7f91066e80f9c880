#!/usr/bin/env bash
# The stage runner of scripts/test.sh on stages of its own: a chain of stages
# each needing the one before, and a fan of stages all needing its first, run
# many times over while every waiting stage polls every millisecond. A stage
# must never read the result of one it needs before that result is whole: no
# stage may be skipped or fail by chance.
#   tests/runner/stages_test.sh [RUNS]
set -euo pipefail
runner="$(cd "$(dirname "$0")/../.." && pwd)/scripts/stages.sh"
runs="${1:-10}" chain=8 fan=16
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

for run in $(seq "$runs"); do
  if ! (
    source "$runner"
    Q8_STAGE_POLL=0.001
    stage c0 - true
    for i in $(seq "$chain"); do stage "c$i" "c$((i - 1))" true; done
    for i in $(seq "$fan"); do stage "f$i" c0 true; done
    run_stages
  ) >table 2>&1 || ! grep -qx "stages: $((chain + fan + 1)) passed, 0 failed, 0 skipped" table; then
    echo "stage runner: run $run of $runs went wrong:"
    cat table
    exit 1
  fi
done
# One stage asked for alone, which needs nothing, while the stage to run first
# is not asked for: no stage has been started when the runner first waits.
if ! (
  source "$runner"
  stage first - true
  stage alone - true
  select_stages alone
  run_stages_first first
  run_stages
) >table 2>&1 || ! grep -qx "stages: 1 passed, 0 failed, 0 skipped" table; then
  echo "stage runner: a stage asked for alone went wrong:"
  cat table
  exit 1
fi
echo "stage runner: $runs runs of $((chain + fan + 1)) stages, none skipped or failed by chance"
