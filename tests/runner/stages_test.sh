#!/usr/bin/env bash
# The stage runner of scripts/test.sh on stages of its own: a chain of stages
# each needing the one before, and a fan of stages all needing its first, run
# many times over while every waiting stage polls every millisecond and every
# write lingers. A stage must never read the result of one it needs before
# that result is whole: no stage may be skipped or fail by chance.
#   tests/runner/stages_test.sh [RUNS]
set -euo pipefail
runner="$(cd "$(dirname "$0")/../.." && pwd)/scripts/stages.sh"
runs="${1:-10}" chain=8 fan=16
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

# Runs the stages the function $1 sets up, which must end with $2 passed and
# none failed or skipped; else says that $3 went wrong, with the table.
check_run() {
  if ! (
    source "$runner"
    Q8_STAGE_POLL=0.001
    # Every write holds its file open a moment before the text goes in, as
    # on a busy machine: a result that shows before it is whole is read empty.
    echo() { sleep 0.01; builtin echo "$@"; }
    "$1"
  ) >table 2>&1 || ! grep -qx "stages: $2 passed, 0 failed, 0 skipped" table; then
    echo "stage runner: $3 went wrong:"
    cat table
    exit 1
  fi
}

chain_and_fan() {
  stage c0 - true
  for i in $(seq "$chain"); do stage "c$i" "c$((i - 1))" true; done
  for i in $(seq "$fan"); do stage "f$i" c0 true; done
  run_stages
}
for run in $(seq "$runs"); do check_run chain_and_fan $((chain + fan + 1)) "run $run of $runs"; done

# One stage asked for alone, which needs nothing, while the stage to run first
# is not asked for: no stage has been started when the runner first waits.
one_alone() {
  stage first - true
  stage alone - true
  select_stages alone
  run_stages_first first
  run_stages
}
check_run one_alone 1 "a stage asked for alone"
echo "stage runner: $runs runs of $((chain + fan + 1)) stages, none skipped or failed by chance"
