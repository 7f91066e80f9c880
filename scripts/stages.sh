# The stage runner of scripts/test.sh, sourced by it. A stage is a command
# that runs in the background, in a process group of its own, as soon as the
# stages it needs have passed; a stage whose needs failed is skipped. Its
# output goes to build/logs/NAME.log. The run ends with a table of the stages
# and the seconds each took, and stops every stage when it is interrupted.
#
#   stage NAME NEEDS COMMAND...
#     NEEDS: stage names joined by commas, or -. NAME? only orders: the stage
#     waits for NAME to end, if it runs, but neither needs it to pass nor
#     brings it into a run of chosen stages.
#   select_stages [--quick | NAME...]    none: every stage but those on request
#   on_request NAME...                   those stages run only when named
#   stage_selected NAME
#   stage_needs_instead NAME NEEDS       NAME needs NEEDS (before run_stages)
#   stage_unable NAME REASON             a stage this host cannot run: it shows
#                                        as skipped with its reason, as do the
#                                        stages that need it
#   stage_one_must_pass NAME...          the run fails unless one of these
#                                        passes, when any is selected
#   stage_low_priority NAME...           those run niced: they take the
#                                        processor time the others leave
#   stages_begin                         starts the run (run_stages does, if need be)
#   run_stages_first NAME...             runs those to their end first
#   run_stages                           runs the rest; at the end of the run
#                                        Q8_STAGES_CLEANUP, if set, and the table

Q8_LOGS="$PWD/build/logs"
stage_names=()
stage_on_request=()
# Each set empty: bash counts an array declared without a value as unbound.
declare -A stage_needs=() stage_cmd=() stage_wanted=() stage_pid=() stage_unable_reason=() \
  stage_low=()
stage_one_of=()

stage() {
  local name="$1" needs="$2"
  shift 2
  stage_names+=("$name")
  stage_needs[$name]=""
  [ "$needs" = - ] || stage_needs[$name]="${needs//,/ }"
  stage_cmd[$name]="$(printf '%q ' "$@")"
}

want_stage() {
  local need needs
  [ -n "${stage_cmd[$1]:-}" ] || { echo "no such stage: $1 (stages: ${stage_names[*]})" >&2; exit 2; }
  [ -z "${stage_wanted[$1]:-}" ] || return 0
  stage_wanted[$1]=1
  read -ra needs <<<"${stage_needs[$1]}"
  for need in "${needs[@]}"; do
    [[ "$need" == *\? ]] || want_stage "$need"
  done
}

on_request() { stage_on_request+=("$@"); }

select_stages() {
  local name
  if [ $# -eq 0 ]; then
    for name in "${stage_names[@]}"; do
      [[ " ${stage_on_request[*]} " == *" $name "* ]] || set -- "$@" "$name"
    done
  fi
  for name in "$@"; do
    case "$name" in
      --quick) want_stage host; want_stage asan ;;
      *) want_stage "$name" ;;
    esac
  done
}

stage_needs_instead() {
  stage_needs[$1]="${2//,/ }"
  if stage_selected "$1"; then
    unset "stage_wanted[$1]"
    want_stage "$1"
  fi
}

stage_selected() { [ -n "${stage_wanted[$1]:-}" ]; }

stage_unable() { stage_unable_reason[$1]="$2"; }

stage_one_must_pass() { stage_one_of=("$@"); }

stage_low_priority() {
  local name
  for name in "$@"; do stage_low[$name]=1; done
}

now() { date +%s.%N; }

# Waits $1 seconds without starting a process, as the stages that wait for
# others poll often: a read that times out on a pipe nobody writes to.
exec {stage_pause_fd}<> <(:)
stage_pause() { read -rt "$1" -u "$stage_pause_fd" || true; }

# A stage's result, 0, another exit status or skipped, in NAME.rc: whole the
# moment it appears, as stages that wait for it read it as soon as it does.
stage_result() {
  echo "$2" >"$Q8_LOGS/$1.rc.new"
  mv -f "$Q8_LOGS/$1.rc.new" "$Q8_LOGS/$1.rc"
}

launch_stage() {
  local name="$1" log="$Q8_LOGS/$1"
  set -m  # a process group of its own, stopped as one
  (
    set +m
    trap - INT
    trap 'exit 143' TERM  # stopped: see stop_stages
    exec </dev/null >"$log.log" 2>&1
    if [ -n "${stage_unable_reason[$name]:-}" ]; then
      echo "${stage_unable_reason[$name]}"
      stage_result "$name" skipped
      exit 0
    fi
    read -ra needs <<<"${stage_needs[$name]}"
    for need in "${needs[@]}"; do
      stage_selected "${need%\?}" || continue
      while [ ! -f "$Q8_LOGS/${need%\?}.rc" ]; do stage_pause "${Q8_STAGE_POLL:-0.1}"; done
      if [[ "$need" != *\? ]] && [ "$(cat "$Q8_LOGS/$need.rc")" != 0 ]; then
        echo "skipped: $need did not pass"
        stage_result "$name" skipped
        exit 0
      fi
    done
    [ -z "${stage_low[$name]:-}" ] || renice -n 10 -p "$BASHPID" >/dev/null
    now >"$log.start"
    trap "status=\$?; now >$(printf %q "$log.end"); stage_result $(printf %q "$name") \$status" EXIT
    eval "${stage_cmd[$name]}"
  ) &
  stage_pid[$name]=$!
  set +m
}

# One line for a stage that ended, with the lines of its log that sum it up;
# all of its log's end if it failed.
report_stage() {
  local name="$1" log="$Q8_LOGS/$1" status
  status="$(cat "$log.rc" 2>/dev/null || echo stopped)"
  case "$status" in
    0)
      printf '%-10s ok      %6.1f s\n' "$name" "$(stage_seconds "$name")"
      grep -E '^[0-9]+% tests passed|^scenarios:|^fault matrix|executions in|^reproducible|^wine:|^mutants:|^stage runner:|^actionlint:|^whole file|^outside resources|^vm: .* in [0-9]* s$' "$log.log" |
        sed 's/^/             /' || true
      ;;
    skipped) printf '%-10s skipped (%s)\n' "$name" "$(head -n 1 "$log.log")" ;;
    *)
      printf '%-10s FAILED  %6.1f s (exit status %s); the end of %s:\n' "$name" \
        "$(stage_seconds "$name")" "$status" "build/logs/$name.log"
      tail -n 150 "$log.log" | sed 's/^/    /'
      ;;
  esac
}

stage_seconds() {
  local log="$Q8_LOGS/$1"
  [ -f "$log.start" ] || { echo 0; return; }
  awk -v a="$(cat "$log.start")" -v b="$(cat "$log.end" 2>/dev/null || now)" \
    'BEGIN { printf "%.1f", b - a }'
}

stage_table() {
  local name status passed=0 failed=0 skipped=0 one_selected="" one_passed=""
  echo
  printf '%-10s %-8s %8s %8s\n' stage result "from s" seconds
  for name in "${stage_names[@]}"; do
    stage_selected "$name" || continue
    status="$(cat "$Q8_LOGS/$name.rc" 2>/dev/null || echo stopped)"
    case " ${stage_one_of[*]} " in
      *" $name "*) one_selected=1; [ "$status" = 0 ] && one_passed=1 ;;
    esac
    case "$status" in
      0) status=ok; passed=$((passed + 1)) ;;
      skipped) skipped=$((skipped + 1)) ;;
      stopped | 143) status=stopped; failed=$((failed + 1)) ;;
      *) status=FAILED; failed=$((failed + 1)) ;;
    esac
    if [ -f "$Q8_LOGS/$name.start" ]; then
      printf '%-10s %-8s %8s %8s\n' "$name" "$status" \
        "$(awk -v a="$run_started" -v b="$(cat "$Q8_LOGS/$name.start")" \
             'BEGIN { printf "%.1f", b - a }')" "$(stage_seconds "$name")"
    elif [ "$status" = skipped ]; then
      printf '%-10s %-8s %s\n' "$name" "$status" "($(head -n 1 "$Q8_LOGS/$name.log"))"
    else
      printf '%-10s %-8s\n' "$name" "$status"
    fi
  done
  printf '%-10s %-8s %8s %8s\n' total "" "" \
    "$(awk -v a="$run_started" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }')"
  echo "stages: $passed passed, $failed failed, $skipped skipped"
  if [ -n "$one_selected" ] && [ -z "$one_passed" ]; then
    echo "none of ${stage_one_of[*]} passed"
    return 1
  fi
  # A stage skipped for a failed need shows that failure above; one this
  # host cannot run fails nothing.
  [ "$failed" -eq 0 ]
}

# Ends every stage still running: its whole process group, given a few
# seconds to clean up after itself.
stop_stages() {
  local name pid i
  for name in "${!stage_pid[@]}"; do
    kill -TERM -- "-${stage_pid[$name]}" 2>/dev/null || true
  done
  for name in "${!stage_pid[@]}"; do
    pid="${stage_pid[$name]}"
    wait "$pid" 2>/dev/null || true
    for i in $(seq 100); do
      kill -0 -- "-$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL -- "-$pid" 2>/dev/null || true
  done
}

stages_finish() {
  local status=$? rest=0
  trap '' INT TERM
  trap - EXIT
  stop_stages
  if [ -n "${Q8_STAGES_CLEANUP:-}" ]; then
    "$Q8_STAGES_CLEANUP" || { rest=1; echo "cleanup: the run left processes behind" >&2; }
  fi
  stage_table || rest=1
  [ "$status" -ne 0 ] || status=$rest
  exit "$status"
}

# Starts the run: its logs, its clock, and the table and clean-up at its end.
stages_begin() {
  [ -n "${stage_wanted[*]:-}" ] || select_stages
  rm -rf "$Q8_LOGS"
  mkdir -p "$Q8_LOGS"
  run_started="$(now)"
  trap stages_finish EXIT
  trap 'echo; echo "interrupted: stopping every stage"; exit 130' INT
  trap 'exit 143' TERM
}

# Runs the stages NAME... (if selected) to their end before anything else
# starts; the other stages may then be set up with what they brought.
run_stages_first() {
  local name
  for name in "$@"; do
    stage_selected "$name" && launch_stage "$name"
  done
  wait_stages
}

# Runs every selected stage not run yet, and waits for them all.
run_stages() {
  local name
  [ -n "${run_started:-}" ] || stages_begin
  for name in "${stage_names[@]}"; do
    # Those run first have ended, each leaving its result.
    stage_selected "$name" && [ ! -f "$Q8_LOGS/$name.rc" ] && launch_stage "$name"
  done
  wait_stages
}

wait_stages() {
  local name finished
  while [ ${#stage_pid[@]} -gt 0 ]; do
    finished=""
    wait -n -p finished "${stage_pid[@]}" || true
    for name in "${!stage_pid[@]}"; do
      if [ "${stage_pid[$name]}" = "$finished" ]; then
        unset "stage_pid[$name]"
        report_stage "$name"
      fi
    done
  done
}
